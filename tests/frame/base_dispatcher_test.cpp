// The version-1 dispatcher (opcodes 0 to 24) and the version-1 host calls.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <functional>
#include <vector>

#include "opcodes.h"
#include "recording_host.h"
#include "test_effects.h"

using ::testing::_;
using ::testing::Return;
using ::testing::StrictMock;

namespace {

// Sees every operation the version-1 table may call.
class MockBaseEffect : public AudioEffect {
public:
    explicit MockBaseEffect(VstInt32 programs = 4) : AudioEffect(nullptr, programs, 3) {}
    MOCK_METHOD(void, open, (), (override));
    MOCK_METHOD(void, close, (), (override));
    MOCK_METHOD(void, suspend, (), (override));
    MOCK_METHOD(void, resume, (), (override));
    MOCK_METHOD(void, setSampleRate, (float), (override));
    MOCK_METHOD(void, setBlockSize, (VstInt32), (override));
    MOCK_METHOD(void, processReplacing, (float**, float**, VstInt32), (override));
    MOCK_METHOD(void, setParameter, (VstInt32, float), (override));
    MOCK_METHOD(float, getParameter, (VstInt32), (override));
    MOCK_METHOD(VstInt32, getProgram, (), (override));
    MOCK_METHOD(void, setProgram, (VstInt32), (override));
    MOCK_METHOD(void, setProgramName, (char*), (override));
    MOCK_METHOD(void, getProgramName, (char*), (override));
    MOCK_METHOD(void, getParameterLabel, (VstInt32, char*), (override));
    MOCK_METHOD(void, getParameterDisplay, (VstInt32, char*), (override));
    MOCK_METHOD(void, getParameterName, (VstInt32, char*), (override));
    MOCK_METHOD(VstInt32, getChunk, (void**, bool), (override));
    MOCK_METHOD(VstInt32, setChunk, (void*, VstInt32, bool), (override));
    MOCK_METHOD(float, getVu, (), (override));
};

char hostText[64];
void* chunkSlot = nullptr;

struct VersionOneCase {
    const char* name;
    VstInt32 opcode;
    VstInt32 index;
    VstIntPtr value;
    void* ptr;
    float opt;
    std::function<void(MockBaseEffect&)> expect;
    VstIntPtr result;
};

auto nothing = [](MockBaseEffect&) {};

TEST(VersionOneDispatcher, CallsTheOperationOfEachOpcodeAndAnswersAsListed) {
    const VersionOneCase cases[] = {
        {"effOpen", effOpen, 3, 5, nullptr, 0.5f, [](MockBaseEffect& m) { EXPECT_CALL(m, open()); }, 0},
        {"effClose", effClose, 3, 5, nullptr, 0.5f, [](MockBaseEffect& m) { EXPECT_CALL(m, close()); }, 0},
        {"effSetProgram", effSetProgram, 3, 2, nullptr, 0.5f, [](MockBaseEffect& m) { EXPECT_CALL(m, setProgram(2)); },
         0},
        {"effGetProgram", effGetProgram, 3, 5, nullptr, 0.5f,
         [](MockBaseEffect& m) { EXPECT_CALL(m, getProgram()).WillOnce(Return(3)); }, 3},
        {"effSetProgramName", effSetProgramName, 3, 5, hostText, 0.5f,
         [](MockBaseEffect& m) { EXPECT_CALL(m, setProgramName(hostText)); }, 0},
        {"effGetProgramName", effGetProgramName, 3, 5, hostText, 0.5f,
         [](MockBaseEffect& m) { EXPECT_CALL(m, getProgramName(hostText)); }, 0},
        {"effGetParamLabel", effGetParamLabel, 3, 5, hostText, 0.5f,
         [](MockBaseEffect& m) { EXPECT_CALL(m, getParameterLabel(3, hostText)); }, 0},
        {"effGetParamDisplay", effGetParamDisplay, -1, 5, hostText, 0.5f,
         [](MockBaseEffect& m) { EXPECT_CALL(m, getParameterDisplay(-1, hostText)); }, 0},
        {"effGetParamName", effGetParamName, 17, 5, hostText, 0.5f,
         [](MockBaseEffect& m) { EXPECT_CALL(m, getParameterName(17, hostText)); }, 0},
        {"effGetVu does not ask getVu", effGetVu, 3, 5, nullptr, 0.5f, nothing, 0},
        {"effSetSampleRate", effSetSampleRate, 3, 5, nullptr, 48000.0f,
         [](MockBaseEffect& m) { EXPECT_CALL(m, setSampleRate(48000.0f)); }, 0},
        {"effSetBlockSize", effSetBlockSize, 3, 512, nullptr, 0.5f,
         [](MockBaseEffect& m) { EXPECT_CALL(m, setBlockSize(512)); }, 0},
        {"effMainsChanged 0", effMainsChanged, 3, 0, nullptr, 0.5f,
         [](MockBaseEffect& m) { EXPECT_CALL(m, suspend()); }, 0},
        {"effMainsChanged 1", effMainsChanged, 0, 1, nullptr, 0.0f, [](MockBaseEffect& m) { EXPECT_CALL(m, resume()); },
         0},
        {"effMainsChanged 2", effMainsChanged, 0, 2, nullptr, 0.0f, [](MockBaseEffect& m) { EXPECT_CALL(m, resume()); },
         0},
        {"effMainsChanged -1", effMainsChanged, 0, -1, nullptr, 0.0f,
         [](MockBaseEffect& m) { EXPECT_CALL(m, resume()); }, 0},
        {"effEditGetRect without editor", effEditGetRect, 3, 5, hostText, 0.5f, nothing, 0},
        {"effEditOpen without editor", effEditOpen, 3, 5, hostText, 0.5f, nothing, 0},
        {"effEditClose without editor", effEditClose, 3, 5, nullptr, 0.5f, nothing, 0},
        {"effEditDraw", effEditDraw, 3, 5, hostText, 0.5f, nothing, 0},
        {"effEditMouse", effEditMouse, 3, 5, nullptr, 0.5f, nothing, 0},
        {"effEditKey", effEditKey, 3, 5, nullptr, 0.5f, nothing, 0},
        {"effEditIdle without editor", effEditIdle, 3, 5, nullptr, 0.5f, nothing, 0},
        {"effEditTop", effEditTop, 3, 5, nullptr, 0.5f, nothing, 0},
        {"effEditSleep", effEditSleep, 3, 5, nullptr, 0.5f, nothing, 0},
        {"effIdentify", effIdentify, 3, 5, nullptr, 0.5f, nothing, 0x4E764566},
        {"effGetChunk for a bank", effGetChunk, 0, 5, &chunkSlot, 0.5f,
         [](MockBaseEffect& m) { EXPECT_CALL(m, getChunk(&chunkSlot, false)).WillOnce(Return(77)); }, 77},
        {"effGetChunk for a preset", effGetChunk, 2, 5, &chunkSlot, 0.5f,
         [](MockBaseEffect& m) { EXPECT_CALL(m, getChunk(&chunkSlot, true)).WillOnce(Return(78)); }, 78},
        {"effSetChunk for a bank", effSetChunk, 0, 100, hostText, 0.5f,
         [](MockBaseEffect& m) { EXPECT_CALL(m, setChunk(hostText, 100, false)).WillOnce(Return(-4)); }, -4},
        {"effSetChunk for a preset", effSetChunk, -1, 64, hostText, 0.5f,
         [](MockBaseEffect& m) { EXPECT_CALL(m, setChunk(hostText, 64, true)).WillOnce(Return(1)); }, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        StrictMock<MockBaseEffect> effect;
        c.expect(effect);
        EXPECT_EQ(effect.dispatcher(c.opcode, c.index, c.value, c.ptr, c.opt), c.result) << "opcode " << c.opcode;
    }
}

TEST(VersionOneDispatcher, ComparesOpcodesAsUnsignedSoNegativeAndLargeOnesDoNothing) {
    for (VstInt32 opcode : {-1, -2, INT_MIN, 25, 26, 58, 79, 80, 1000, INT_MAX}) {
        StrictMock<MockBaseEffect> effect;
        EXPECT_EQ(effect.dispatcher(opcode, 1, 1, hostText, 1.0f), 0) << "opcode " << opcode;
    }
}

TEST(VersionOneDispatcher, SetProgramIgnoresNumbersAtOrAboveTheProgramCount) {
    StrictMock<MockBaseEffect> effect(9);
    EXPECT_CALL(effect, setProgram(8));
    EXPECT_CALL(effect, setProgram(0));
    EXPECT_CALL(effect, setProgram(-1));  // signed comparison: negatives pass on
    for (VstIntPtr program :
         {VstIntPtr{9}, VstIntPtr{10}, VstIntPtr{8}, VstIntPtr{0}, VstIntPtr{-1}, VstIntPtr{1000}}) {
        EXPECT_EQ(effect.dispatcher(effSetProgram, 0, program, nullptr, 0.0f), 0) << "program " << program;
    }
}

TEST(VersionOneDispatcher, SetProgramDropsWideValuesThatNoProgramNumberHolds) {
    if (sizeof(VstIntPtr) == 4) {
        GTEST_SKIP() << "every value of a 32-bit build is a program number";
    }
    StrictMock<MockBaseEffect> effect(9);
    const auto belowEveryNumber = static_cast<VstIntPtr>(std::int64_t{INT32_MIN} - 1);
    const auto cutToTwo = static_cast<VstIntPtr>(std::int64_t{INT32_MIN} * 2 + 2);  // low 32 bits hold 2
    for (VstIntPtr program : {belowEveryNumber, cutToTwo}) {
        EXPECT_EQ(effect.dispatcher(effSetProgram, 0, program, nullptr, 0.0f), 0) << "program " << program;
    }
}

TEST(VersionOneDispatcher, DefaultProgramOperationsKeepTheCurrentProgram) {
    PlainEffect effect(nullptr, 4);
    EXPECT_EQ(effect.dispatcher(effGetProgram, 0, 0, nullptr, 0.0f), 0);
    effect.dispatcher(effSetProgram, 0, 3, nullptr, 0.0f);
    EXPECT_EQ(effect.dispatcher(effGetProgram, 0, 0, nullptr, 0.0f), 3);
    effect.dispatcher(effSetProgram, 0, 4, nullptr, 0.0f);
    EXPECT_EQ(effect.dispatcher(effGetProgram, 0, 0, nullptr, 0.0f), 3);
}

TEST(VersionOneDispatcher, SetSampleRateStoresTheValueSentUnchanged) {
    for (float rate : {48000.0f, 44100.5f, 0.0f, -1.0f, 1e-30f}) {
        PlainEffect effect;
        effect.dispatcher(effSetSampleRate, 7, 9, nullptr, rate);
        EXPECT_EQ(effect.getSampleRate(), rate) << "rate " << rate;
        EXPECT_EQ(effect.getBlockSize(), 1024);
    }
}

TEST(VersionOneDispatcher, SetBlockSizeStoresTheValueSent) {
    for (VstInt32 size : {512, 0, 32, -1}) {
        PlainEffect effect;
        effect.dispatcher(effSetBlockSize, 0, size, nullptr, 96000.0f);
        EXPECT_EQ(effect.getBlockSize(), size) << "size " << size;
        EXPECT_EQ(effect.getSampleRate(), 44100.0f);
    }
}

TEST(VersionOneDispatcher, DefaultTextOperationsWriteAnEmptyText) {
    for (VstInt32 opcode : {effGetProgramName, effGetParamLabel, effGetParamDisplay, effGetParamName}) {
        PlainEffect effect;
        PatternBuffer<16> text;
        EXPECT_EQ(effect.dispatcher(opcode, 0, 0, text.bytes, 0.0f), 0) << "opcode " << opcode;
        EXPECT_EQ(text.bytes[0], 0) << "opcode " << opcode;
        EXPECT_EQ(static_cast<unsigned char>(text.bytes[1]), PatternBuffer<16>::kPattern) << "opcode " << opcode;
    }
}

TEST(VersionOneDispatcher, DefaultChunkOperationsAnswerZero) {
    PlainEffect effect;
    void* data = hostText;
    EXPECT_EQ(effect.dispatcher(effGetChunk, 1, 0, &data, 0.0f), 0);
    EXPECT_EQ(data, hostText);
    EXPECT_EQ(effect.dispatcher(effSetChunk, 0, 16, hostText, 0.0f), 0);
}

class VersionOneEditorOpcodes : public ::testing::Test {
protected:
    VersionOneEditorOpcodes() : editor(new StrictMock<MockEditor>) {
        effect.setEditor(editor);
        EXPECT_CALL(*editor, destroyed());
    }
    StrictMock<MockBaseEffect> effect;
    StrictMock<MockEditor>* editor;  // owned by effect
};

TEST_F(VersionOneEditorOpcodes, GetRectAndOpenAnswerWhatTheEditorSays) {
    EXPECT_CALL(*editor, getRect(hostText)).WillOnce(Return(true)).WillOnce(Return(false));
    EXPECT_CALL(*editor, open(hostText)).WillOnce(Return(true)).WillOnce(Return(false));
    EXPECT_EQ(effect.dispatcher(effEditGetRect, 0, 0, hostText, 0.0f), 1);
    EXPECT_EQ(effect.dispatcher(effEditGetRect, 0, 0, hostText, 0.0f), 0);
    EXPECT_EQ(effect.dispatcher(effEditOpen, 0, 0, hostText, 0.0f), 1);
    EXPECT_EQ(effect.dispatcher(effEditOpen, 0, 0, hostText, 0.0f), 0);
}

TEST_F(VersionOneEditorOpcodes, CloseAndIdleReachTheEditorAndAnswerZero) {
    EXPECT_CALL(*editor, close());
    EXPECT_CALL(*editor, idle());
    EXPECT_EQ(effect.dispatcher(effEditClose, 1, 1, hostText, 1.0f), 0);
    EXPECT_EQ(effect.dispatcher(effEditIdle, 1, 1, hostText, 1.0f), 0);
}

TEST_F(VersionOneEditorOpcodes, DrawMouseKeyTopAndSleepLeaveTheEditorAlone) {
    for (VstInt32 opcode : {effEditDraw, effEditMouse, effEditKey, effEditTop, effEditSleep}) {
        EXPECT_EQ(effect.dispatcher(opcode, 1, 1, hostText, 1.0f), 0) << "opcode " << opcode;
    }
}

// Version-1 host calls.

struct HostCallCase {
    const char* name;
    std::function<VstIntPtr(AudioEffect&)> call;
    VstInt32 opcode;
    VstInt32 index;
    VstIntPtr value;
    float opt;
    VstIntPtr answer;
    VstIntPtr result;
    VstIntPtr resultWithoutHost;
};

const HostCallCase hostCallCases[] = {
    {"getMasterVersion", [](AudioEffect& e) { return e.getMasterVersion(); }, audioMasterVersion, 0, 0, 0.0f, 2400,
     2400, 1},
    {"getMasterVersion, host answers 0", [](AudioEffect& e) { return e.getMasterVersion(); }, audioMasterVersion, 0, 0,
     0.0f, 0, 1, 1},
    {"getCurrentUniqueId", [](AudioEffect& e) { return e.getCurrentUniqueId(); }, audioMasterCurrentId, 0, 0, 0.0f,
     0x4B727678, 0x4B727678, 0},
    {"masterIdle",
     [](AudioEffect& e) {
         e.masterIdle();
         return VstIntPtr{0};
     },
     audioMasterIdle, 0, 0, 0.0f, 5, 0, 0},
    {"isInputConnected, host answers 0", [](AudioEffect& e) { return VstIntPtr{e.isInputConnected(3)}; },
     audioMasterPinConnected, 3, 0, 0.0f, 0, 1, 1},
    {"isInputConnected, host answers 1", [](AudioEffect& e) { return VstIntPtr{e.isInputConnected(3)}; },
     audioMasterPinConnected, 3, 0, 0.0f, 1, 0, 1},
    {"isInputConnected, host answers -1", [](AudioEffect& e) { return VstIntPtr{e.isInputConnected(0)}; },
     audioMasterPinConnected, 0, 0, 0.0f, -1, 0, 1},
    {"isOutputConnected, host answers 0", [](AudioEffect& e) { return VstIntPtr{e.isOutputConnected(2)}; },
     audioMasterPinConnected, 2, 1, 0.0f, 0, 1, 1},
    {"isOutputConnected, host answers 1", [](AudioEffect& e) { return VstIntPtr{e.isOutputConnected(2)}; },
     audioMasterPinConnected, 2, 1, 0.0f, 1, 0, 1},
    {"setParameterAutomated",
     [](AudioEffect& e) {
         e.setParameterAutomated(6, 0.75f);
         return VstIntPtr{0};
     },
     audioMasterAutomate, 6, 0, 0.75f, 9, 0, 0},
};

TEST(VersionOneHostCalls, SendTheirOpcodeAndArgumentsAndConvertTheAnswer) {
    for (const auto& c : hostCallCases) {
        SCOPED_TRACE(c.name);
        RecordingHost host;
        host.answer(c.opcode, c.answer);
        PlainEffect effect(RecordingHost::callback);
        EXPECT_EQ(c.call(effect), c.result);
        ASSERT_EQ(host.calls.size(), 1u);
        const HostCall& sent = host.calls[0];
        EXPECT_EQ(sent.effect, effect.getAeffect());
        EXPECT_EQ(sent.opcode, c.opcode);
        EXPECT_EQ(sent.index, c.index);
        EXPECT_EQ(sent.value, c.value);
        EXPECT_EQ(sent.ptr, nullptr);
        EXPECT_EQ(sent.opt, c.opt);
    }
}

TEST(VersionOneHostCalls, AnswerTheirDefaultsWithoutACallback) {
    for (const auto& c : hostCallCases) {
        SCOPED_TRACE(c.name);
        RecordingHost host;  // alive, but not handed to the effect
        PlainEffect effect(nullptr);
        EXPECT_EQ(c.call(effect), c.resultWithoutHost);
        EXPECT_TRUE(host.calls.empty());
    }
}

// Notes how many host calls had been made when its value was set.
class AutomatedEffect : public PlainEffect {
public:
    explicit AutomatedEffect(RecordingHost& host) : PlainEffect(RecordingHost::callback), host(host) {}
    void setParameter(VstInt32 index, float value) override { stored.push_back({index, value, host.calls.size()}); }
    struct Stored {
        VstInt32 index;
        float value;
        std::size_t hostCallsBefore;
    };
    std::vector<Stored> stored;
    RecordingHost& host;
};

TEST(VersionOneHostCalls, SetParameterAutomatedSetsTheValueBeforeTellingTheHost) {
    RecordingHost host;
    AutomatedEffect effect(host);
    effect.setParameterAutomated(4, 0.125f);
    ASSERT_EQ(effect.stored.size(), 1u);
    EXPECT_EQ(effect.stored[0].index, 4);
    EXPECT_EQ(effect.stored[0].value, 0.125f);
    EXPECT_EQ(effect.stored[0].hostCallsBefore, 0u);
    ASSERT_EQ(host.calls.size(), 1u);
    EXPECT_EQ(host.calls[0].opcode, audioMasterAutomate);
}

TEST(VersionOneHostCalls, ConstructionMakesNoHostCall) {
    RecordingHost host;
    PlainEffect effect(RecordingHost::callback);
    PlainEffectX extended(RecordingHost::callback);
    EXPECT_TRUE(host.calls.empty());
}

}  // namespace
