// The version-2 dispatcher (opcodes 25 to 79), the defaults of the
// version-2 operations as a host sees them, the key opcodes and resume.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <functional>
#include <string>

#include "opcodes.h"
#include "recording_host.h"
#include "test_effects.h"

using ::testing::AllOf;
using ::testing::Field;
using ::testing::Return;
using ::testing::StrictMock;

namespace {

// Sees every operation an opcode of the version-2 table leads to, and the
// operations the unrouted opcodes must not reach.
class MockEffectX : public AudioEffectX {
public:
    MockEffectX() : AudioEffectX(nullptr, 4, 3) {}
    void processReplacing(float**, float**, VstInt32) override {}

    MOCK_METHOD(VstInt32, processEvents, (VstEvents*), (override));
    MOCK_METHOD(bool, canParameterBeAutomated, (VstInt32), (override));
    MOCK_METHOD(bool, string2parameter, (VstInt32, char*), (override));
    MOCK_METHOD(bool, getProgramNameIndexed, (VstInt32, VstInt32, char*), (override));
    MOCK_METHOD(bool, getInputProperties, (VstInt32, VstPinProperties*), (override));
    MOCK_METHOD(bool, getOutputProperties, (VstInt32, VstPinProperties*), (override));
    MOCK_METHOD(VstInt32, getPlugCategory, (), (override));
    MOCK_METHOD(bool, offlineNotify, (VstAudioFile*, VstInt32, bool), (override));
    MOCK_METHOD(bool, offlinePrepare, (VstOfflineTask*, VstInt32), (override));
    MOCK_METHOD(bool, offlineRun, (VstOfflineTask*, VstInt32), (override));
    MOCK_METHOD(bool, processVariableIo, (VstVariableIo*), (override));
    MOCK_METHOD(bool, setSpeakerArrangement, (VstSpeakerArrangement*, VstSpeakerArrangement*), (override));
    MOCK_METHOD(bool, setBypass, (bool), (override));
    MOCK_METHOD(bool, getEffectName, (char*), (override));
    MOCK_METHOD(bool, getVendorString, (char*), (override));
    MOCK_METHOD(bool, getProductString, (char*), (override));
    MOCK_METHOD(VstInt32, getVendorVersion, (), (override));
    MOCK_METHOD(VstIntPtr, vendorSpecific, (VstInt32, VstIntPtr, void*, float), (override));
    MOCK_METHOD(VstInt32, canDo, (char*), (override));
    MOCK_METHOD(VstInt32, getGetTailSize, (), (override));
    MOCK_METHOD(bool, getParameterProperties, (VstInt32, VstParameterProperties*), (override));
    MOCK_METHOD(VstInt32, getVstVersion, (), (override));
    MOCK_METHOD(VstInt32, getMidiProgramName, (VstInt32, MidiProgramName*), (override));
    MOCK_METHOD(VstInt32, getCurrentMidiProgram, (VstInt32, MidiProgramName*), (override));
    MOCK_METHOD(VstInt32, getMidiProgramCategory, (VstInt32, MidiProgramCategory*), (override));
    MOCK_METHOD(bool, hasMidiProgramsChanged, (VstInt32), (override));
    MOCK_METHOD(bool, getMidiKeyName, (VstInt32, MidiKeyName*), (override));
    MOCK_METHOD(bool, beginSetProgram, (), (override));
    MOCK_METHOD(bool, endSetProgram, (), (override));
    MOCK_METHOD(bool, getSpeakerArrangement, (VstSpeakerArrangement**, VstSpeakerArrangement**), (override));
    MOCK_METHOD(VstInt32, getNextShellPlugin, (char*), (override));
    MOCK_METHOD(VstInt32, startProcess, (), (override));
    MOCK_METHOD(VstInt32, stopProcess, (), (override));
    MOCK_METHOD(VstInt32, setTotalSampleToProcess, (VstInt32), (override));
    MOCK_METHOD(bool, setPanLaw, (VstInt32, float), (override));
    MOCK_METHOD(VstInt32, beginLoadBank, (VstPatchChunkInfo*), (override));
    MOCK_METHOD(VstInt32, beginLoadProgram, (VstPatchChunkInfo*), (override));
    MOCK_METHOD(bool, setProcessPrecision, (VstInt32), (override));
    MOCK_METHOD(VstInt32, getNumMidiInputChannels, (), (override));
    MOCK_METHOD(VstInt32, getNumMidiOutputChannels, (), (override));

    // What the unrouted opcodes would lead to if they were routed.
    MOCK_METHOD(VstInt32, getNumCategories, (), (override));
    MOCK_METHOD(bool, copyProgram, (VstInt32), (override));
    MOCK_METHOD(void, inputConnected, (VstInt32, bool), (override));
    MOCK_METHOD(void, outputConnected, (VstInt32, bool), (override));
    MOCK_METHOD(VstInt32, reportCurrentPosition, (), (override));
    MOCK_METHOD(float*, reportDestinationBuffer, (), (override));
    MOCK_METHOD(void, setBlockSizeAndSampleRate, (VstInt32, float), (override));
    MOCK_METHOD(bool, getErrorText, (char*), (override));
    MOCK_METHOD(VstInt32, fxIdle, (), (override));
    MOCK_METHOD(void*, getIcon, (), (override));
    MOCK_METHOD(bool, setViewPosition, (VstInt32, VstInt32), (override));
    MOCK_METHOD(bool, keysRequired, (), (override));
    MOCK_METHOD(VstInt32, offlineGetNumPasses, (), (override));
    MOCK_METHOD(VstInt32, offlineGetNumMetaPasses, (), (override));
    MOCK_METHOD(void, open, (), (override));
    MOCK_METHOD(void, close, (), (override));
    MOCK_METHOD(void, suspend, (), (override));
    MOCK_METHOD(void, resume, (), (override));
};

// The arguments every case sends; each operation must get the ones its
// opcode names, in the right places.
constexpr VstInt32 kIndex = 3;
constexpr VstIntPtr kValue = 5;
constexpr float kOpt = 0.25f;
char hostBuffer[64];
void* const kPtr = hostBuffer;
VstSpeakerArrangement* inputSlot = nullptr;
const VstIntPtr kSlotValue = reinterpret_cast<VstIntPtr>(&inputSlot);

template <class T>
T* ptrAs() {
    return static_cast<T*>(kPtr);
}

// What the operation answers in one run: the truth value for the bool
// operations, the number for the others.
struct Answer {
    bool flag;
    VstInt32 number;
};

enum class Conversion { OneOrZero, AsReturned };

struct RoutedCase {
    VstInt32 opcode;
    const char* operation;
    Conversion conversion;
    std::function<void(MockEffectX&, const Answer&)> expect;
    VstIntPtr value = kValue;
};

using M = MockEffectX;
using A = Answer;
constexpr auto kBool = Conversion::OneOrZero;
constexpr auto kAsIs = Conversion::AsReturned;

const RoutedCase routedCases[] = {
    {25, "processEvents", kAsIs,
     [](M& m, const A& a) { EXPECT_CALL(m, processEvents(ptrAs<VstEvents>())).WillOnce(Return(a.number)); }},
    {26, "canParameterBeAutomated", kBool,
     [](M& m, const A& a) { EXPECT_CALL(m, canParameterBeAutomated(kIndex)).WillOnce(Return(a.flag)); }},
    {27, "string2parameter", kBool,
     [](M& m, const A& a) { EXPECT_CALL(m, string2parameter(kIndex, hostBuffer)).WillOnce(Return(a.flag)); }},
    {29, "getProgramNameIndexed (value is the category, index the program)", kBool,
     [](M& m, const A& a) {
         EXPECT_CALL(m, getProgramNameIndexed(kValue, kIndex, hostBuffer)).WillOnce(Return(a.flag));
     }},
    {33, "getInputProperties", kBool,
     [](M& m, const A& a) {
         EXPECT_CALL(m, getInputProperties(kIndex, ptrAs<VstPinProperties>())).WillOnce(Return(a.flag));
     }},
    {34, "getOutputProperties", kBool,
     [](M& m, const A& a) {
         EXPECT_CALL(m, getOutputProperties(kIndex, ptrAs<VstPinProperties>())).WillOnce(Return(a.flag));
     }},
    {35, "getPlugCategory", kAsIs,
     [](M& m, const A& a) { EXPECT_CALL(m, getPlugCategory()).WillOnce(Return(a.number)); }},
    {38, "offlineNotify (index as the start flag)", kBool,
     [](M& m, const A& a) {
         EXPECT_CALL(m, offlineNotify(ptrAs<VstAudioFile>(), kValue, true)).WillOnce(Return(a.flag));
     }},
    {39, "offlinePrepare", kBool,
     [](M& m, const A& a) {
         EXPECT_CALL(m, offlinePrepare(ptrAs<VstOfflineTask>(), kValue)).WillOnce(Return(a.flag));
     }},
    {40, "offlineRun", kBool,
     [](M& m, const A& a) { EXPECT_CALL(m, offlineRun(ptrAs<VstOfflineTask>(), kValue)).WillOnce(Return(a.flag)); }},
    {41, "processVariableIo", kBool,
     [](M& m, const A& a) { EXPECT_CALL(m, processVariableIo(ptrAs<VstVariableIo>())).WillOnce(Return(a.flag)); }},
    {42, "setSpeakerArrangement (value is the input arrangement)", kBool,
     [](M& m, const A& a) {
         EXPECT_CALL(m, setSpeakerArrangement(reinterpret_cast<VstSpeakerArrangement*>(kSlotValue),
                                              ptrAs<VstSpeakerArrangement>()))
             .WillOnce(Return(a.flag));
     },
     kSlotValue},
    {44, "setBypass", kBool, [](M& m, const A& a) { EXPECT_CALL(m, setBypass(true)).WillOnce(Return(a.flag)); }},
    {45, "getEffectName", kBool,
     [](M& m, const A& a) { EXPECT_CALL(m, getEffectName(hostBuffer)).WillOnce(Return(a.flag)); }},
    {47, "getVendorString", kBool,
     [](M& m, const A& a) { EXPECT_CALL(m, getVendorString(hostBuffer)).WillOnce(Return(a.flag)); }},
    {48, "getProductString", kBool,
     [](M& m, const A& a) { EXPECT_CALL(m, getProductString(hostBuffer)).WillOnce(Return(a.flag)); }},
    {49, "getVendorVersion", kAsIs,
     [](M& m, const A& a) { EXPECT_CALL(m, getVendorVersion()).WillOnce(Return(a.number)); }},
    {50, "vendorSpecific", kAsIs,
     [](M& m, const A& a) { EXPECT_CALL(m, vendorSpecific(kIndex, kValue, kPtr, kOpt)).WillOnce(Return(a.number)); }},
    {51, "canDo", kAsIs, [](M& m, const A& a) { EXPECT_CALL(m, canDo(hostBuffer)).WillOnce(Return(a.number)); }},
    {52, "getGetTailSize", kAsIs,
     [](M& m, const A& a) { EXPECT_CALL(m, getGetTailSize()).WillOnce(Return(a.number)); }},
    {56, "getParameterProperties", kBool,
     [](M& m, const A& a) {
         EXPECT_CALL(m, getParameterProperties(kIndex, ptrAs<VstParameterProperties>())).WillOnce(Return(a.flag));
     }},
    {58, "getVstVersion", kAsIs, [](M& m, const A& a) { EXPECT_CALL(m, getVstVersion()).WillOnce(Return(a.number)); }},
    {62, "getMidiProgramName", kAsIs,
     [](M& m, const A& a) {
         EXPECT_CALL(m, getMidiProgramName(kIndex, ptrAs<MidiProgramName>())).WillOnce(Return(a.number));
     }},
    {63, "getCurrentMidiProgram", kAsIs,
     [](M& m, const A& a) {
         EXPECT_CALL(m, getCurrentMidiProgram(kIndex, ptrAs<MidiProgramName>())).WillOnce(Return(a.number));
     }},
    {64, "getMidiProgramCategory", kAsIs,
     [](M& m, const A& a) {
         EXPECT_CALL(m, getMidiProgramCategory(kIndex, ptrAs<MidiProgramCategory>())).WillOnce(Return(a.number));
     }},
    {65, "hasMidiProgramsChanged", kBool,
     [](M& m, const A& a) { EXPECT_CALL(m, hasMidiProgramsChanged(kIndex)).WillOnce(Return(a.flag)); }},
    {66, "getMidiKeyName", kBool,
     [](M& m, const A& a) { EXPECT_CALL(m, getMidiKeyName(kIndex, ptrAs<MidiKeyName>())).WillOnce(Return(a.flag)); }},
    {67, "beginSetProgram", kBool,
     [](M& m, const A& a) { EXPECT_CALL(m, beginSetProgram()).WillOnce(Return(a.flag)); }},
    {68, "endSetProgram", kBool, [](M& m, const A& a) { EXPECT_CALL(m, endSetProgram()).WillOnce(Return(a.flag)); }},
    {69, "getSpeakerArrangement (value is the input slot's address)", kBool,
     [](M& m, const A& a) {
         EXPECT_CALL(m, getSpeakerArrangement(&inputSlot, ptrAs<VstSpeakerArrangement*>())).WillOnce(Return(a.flag));
     },
     kSlotValue},
    {70, "getNextShellPlugin", kAsIs,
     [](M& m, const A& a) { EXPECT_CALL(m, getNextShellPlugin(hostBuffer)).WillOnce(Return(a.number)); }},
    {71, "startProcess", kAsIs, [](M& m, const A& a) { EXPECT_CALL(m, startProcess()).WillOnce(Return(a.number)); }},
    {72, "stopProcess", kAsIs, [](M& m, const A& a) { EXPECT_CALL(m, stopProcess()).WillOnce(Return(a.number)); }},
    {73, "setTotalSampleToProcess", kAsIs,
     [](M& m, const A& a) { EXPECT_CALL(m, setTotalSampleToProcess(kValue)).WillOnce(Return(a.number)); }},
    {74, "setPanLaw", kBool,
     [](M& m, const A& a) { EXPECT_CALL(m, setPanLaw(kValue, kOpt)).WillOnce(Return(a.flag)); }},
    {75, "beginLoadBank", kAsIs,
     [](M& m, const A& a) { EXPECT_CALL(m, beginLoadBank(ptrAs<VstPatchChunkInfo>())).WillOnce(Return(a.number)); }},
    {76, "beginLoadProgram", kAsIs,
     [](M& m, const A& a) { EXPECT_CALL(m, beginLoadProgram(ptrAs<VstPatchChunkInfo>())).WillOnce(Return(a.number)); }},
    {77, "setProcessPrecision", kBool,
     [](M& m, const A& a) { EXPECT_CALL(m, setProcessPrecision(kValue)).WillOnce(Return(a.flag)); }},
    {78, "getNumMidiInputChannels", kAsIs,
     [](M& m, const A& a) { EXPECT_CALL(m, getNumMidiInputChannels()).WillOnce(Return(a.number)); }},
    {79, "getNumMidiOutputChannels", kAsIs,
     [](M& m, const A& a) { EXPECT_CALL(m, getNumMidiOutputChannels()).WillOnce(Return(a.number)); }},
};

TEST(VersionTwoDispatcher, RoutesEachOpcodeWithItsArgumentsAndConvertsTheResult) {
    // 7 and -2 show whether a number is passed on as it is or turned into 1/0.
    const Answer answers[] = {{true, 7}, {false, -2}, {false, 0}};
    for (const auto& c : routedCases) {
        for (const auto& answer : answers) {
            SCOPED_TRACE(::testing::Message()
                         << "opcode " << c.opcode << " " << c.operation << ", operation answers "
                         << (c.conversion == kBool ? std::to_string(answer.flag) : std::to_string(answer.number)));
            StrictMock<MockEffectX> effect;
            c.expect(effect, answer);
            const VstIntPtr expected = c.conversion == kBool ? (answer.flag ? 1 : 0) : answer.number;
            EXPECT_EQ(effect.dispatcher(c.opcode, kIndex, c.value, kPtr, kOpt), expected);
        }
    }
}

TEST(VersionTwoDispatcher, ReachesTheEffectThroughTheRecord) {
    StrictMock<MockEffectX> effect;
    AEffect* record = effect.getAeffect();
    EXPECT_CALL(effect, getVendorVersion()).WillOnce(Return(1000));
    EXPECT_CALL(effect, canDo(hostBuffer)).WillOnce(Return(-1));
    EXPECT_EQ(record->dispatcher(record, effGetVendorVersion, 0, 0, nullptr, 0.0f), 1000);
    EXPECT_EQ(record->dispatcher(record, effCanDo, 0, 0, hostBuffer, 0.0f), -1);
}

TEST(VersionTwoDispatcher, TurnsZeroIndexAndValueIntoFalseFlags) {
    StrictMock<MockEffectX> effect;
    EXPECT_CALL(effect, offlineNotify(ptrAs<VstAudioFile>(), 2, false)).WillOnce(Return(true));
    EXPECT_CALL(effect, setBypass(false)).WillOnce(Return(true));
    EXPECT_EQ(effect.dispatcher(effOfflineNotify, 0, 2, kPtr, 0.0f), 1);
    EXPECT_EQ(effect.dispatcher(effSetBypass, 1, 0, kPtr, 0.0f), 1);
}

TEST(VersionTwoDispatcher, PassesUnroutedAndUnknownOpcodesToTheVersionOneTableWhichAnswersZero) {
    for (VstInt32 opcode : {28, 30, 31, 32, 36, 37, 43, 46, 53, 54, 55, 57, 80, 81, 1000, INT_MAX}) {
        StrictMock<MockEffectX> effect;
        EXPECT_EQ(effect.dispatcher(opcode, kIndex, kValue, kPtr, kOpt), 0) << "opcode " << opcode;
        EXPECT_EQ(effect.getSampleRate(), 44100.0f) << "opcode " << opcode;
        EXPECT_EQ(effect.getBlockSize(), 1024) << "opcode " << opcode;
    }
}

TEST(VersionTwoDispatcher, PassesVersionOneOpcodesOn) {
    StrictMock<MockEffectX> effect;
    EXPECT_CALL(effect, open());
    EXPECT_CALL(effect, suspend());
    EXPECT_CALL(effect, resume());
    EXPECT_EQ(effect.dispatcher(effOpen, 0, 0, nullptr, 0.0f), 0);
    EXPECT_EQ(effect.dispatcher(effMainsChanged, 0, 0, nullptr, 0.0f), 0);
    EXPECT_EQ(effect.dispatcher(effMainsChanged, 0, 1, nullptr, 0.0f), 0);
    EXPECT_EQ(effect.dispatcher(effIdentify, 0, 0, nullptr, 0.0f), 0x4E764566);
    EXPECT_EQ(effect.dispatcher(effSetBlockSize, 0, 256, nullptr, 0.0f), 0);
    EXPECT_EQ(effect.getBlockSize(), 256);
    EXPECT_EQ(effect.dispatcher(-1, 0, 0, nullptr, 0.0f), 0);
}

// Defaults of the version-2 operations, as the host sees them.

TEST(VersionTwoDefaults, AnswerZeroExceptTheFewWithAFixedValueAndLeaveTheBufferAlone) {
    for (VstInt32 opcode = 25; opcode <= 80; ++opcode) {
        PlainEffectX effect;
        PatternBuffer<64> buffer;
        VstIntPtr expected = 0;
        if (opcode == effCanBeAutomated) {
            expected = 1;
        } else if (opcode == effGetVstVersion) {
            expected = 2400;
        } else if (opcode == effGetCurrentMidiProgram) {
            expected = -1;
        }
        EXPECT_EQ(effect.dispatcher(opcode, 0, 0, buffer.bytes, 0.0f), expected) << "opcode " << opcode;
        if (opcode != effGetSpeakerArrangement) {
            EXPECT_TRUE(buffer.untouched()) << "opcode " << opcode;
        }
    }
}

TEST(VersionTwoDefaults, EveryParameterCanBeAutomatedWhateverItsIndex) {
    PlainEffectX effect;
    for (VstInt32 index : {0, 16, 17, 1000, -1, INT_MIN}) {
        EXPECT_EQ(effect.dispatcher(effCanBeAutomated, index, 0, nullptr, 0.0f), 1) << "index " << index;
    }
}

TEST(VersionTwoDefaults, PlugCategoryIsSynthOnlyForASynth) {
    PlainEffectX effect;
    EXPECT_EQ(effect.dispatcher(effGetPlugCategory, 0, 0, nullptr, 0.0f), 0);
    effect.isSynth(true);
    EXPECT_EQ(effect.dispatcher(effGetPlugCategory, 0, 0, nullptr, 0.0f), 2);
    effect.isSynth(false);
    EXPECT_EQ(effect.dispatcher(effGetPlugCategory, 0, 0, nullptr, 0.0f), 0);
}

TEST(VersionTwoDefaults, SetTotalSampleToProcessAnswersTheValueSent) {
    PlainEffectX effect;
    for (VstIntPtr value : {VstIntPtr{4096}, VstIntPtr{0}, VstIntPtr{-7}}) {
        EXPECT_EQ(effect.dispatcher(effSetTotalSampleToProcess, 0, value, nullptr, 0.0f), value) << "value " << value;
    }
}

TEST(VersionTwoDefaults, CanDoAnswersZeroForEveryString) {
    PlainEffectX effect;
    for (const char* question : {"bypass", "receiveVstEvents", "receiveVstMidiEvent", "noSuchThing", ""}) {
        char text[32];
        std::strcpy(text, question);
        EXPECT_EQ(effect.dispatcher(effCanDo, 0, 0, text, 0.0f), 0) << question;
    }
}

TEST(VersionTwoDefaults, GetSpeakerArrangementStoresNullInBothSlotsAndAnswersZero) {
    PlainEffectX effect;
    VstSpeakerArrangement dummy{};
    VstSpeakerArrangement* input = &dummy;
    VstSpeakerArrangement* output = &dummy;
    EXPECT_EQ(effect.dispatcher(effGetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&input), &output, 0.0f), 0);
    EXPECT_EQ(input, nullptr);
    EXPECT_EQ(output, nullptr);
    // Null slot addresses are skipped.
    EXPECT_EQ(effect.dispatcher(effGetSpeakerArrangement, 0, 0, nullptr, 0.0f), 0);
}

TEST(VersionTwoDefaults, SetBlockSizeAndSampleRateStoresBothWithoutTheSetters) {
    struct Effect : PlainEffectX {
        void setSampleRate(float) override { ++setterCalls; }
        void setBlockSize(VstInt32) override { ++setterCalls; }
        int setterCalls = 0;
    } effect;
    effect.setBlockSizeAndSampleRate(256, 96000.0f);
    EXPECT_EQ(effect.getBlockSize(), 256);
    EXPECT_EQ(effect.getSampleRate(), 96000.0f);
    EXPECT_EQ(effect.setterCalls, 0);
}

// The key and knob-mode opcodes lead to the editor.

class KeyOpcodes : public ::testing::Test {
protected:
    void attachEditor() {
        editor = new StrictMock<MockEditor>;
        effect.setEditor(editor);
        EXPECT_CALL(*editor, destroyed());
    }
    PlainEffectX effect;
    StrictMock<MockEditor>* editor = nullptr;  // owned by effect
};

TEST_F(KeyOpcodes, AnswerZeroWithoutAnEditor) {
    for (VstInt32 opcode : {effEditKeyDown, effEditKeyUp, effSetEditKnobMode}) {
        EXPECT_EQ(effect.dispatcher(opcode, 'a', 1, nullptr, 1.0f), 0) << "opcode " << opcode;
    }
}

TEST_F(KeyOpcodes, FillTheKeyCodeFromIndexValueAndOpt) {
    attachEditor();
    struct Case {
        VstInt32 index;
        VstIntPtr value;
        float opt;
        VstInt32 character;
        unsigned char virt;
        unsigned char modifier;
    };
    const Case cases[] = {
        {'a', 0, 0.0f, 'a', 0, 0},
        {0x12345, 0x1234, 258.9f, 0x12345, 0x34, 2},  // low 8 bits; opt truncated toward zero
        {-1, -1, -1.7f, -1, 0xFF, 0xFF},              // -1.7 truncates to -1
        {7, 0xFF, 0.99f, 7, 0xFF, 0},
        {7, 0x100, 1e20f, 7, 0, 0},  // no integer holds the modifier: 0
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << "index " << c.index << " value " << c.value << " opt " << c.opt);
        auto keyCode = AllOf(Field(&VstKeyCode::character, c.character), Field(&VstKeyCode::virt, c.virt),
                             Field(&VstKeyCode::modifier, c.modifier));
        EXPECT_CALL(*editor, onKeyDown(keyCode)).WillOnce(Return(true));
        EXPECT_CALL(*editor, onKeyUp(keyCode)).WillOnce(Return(false));
        EXPECT_EQ(effect.dispatcher(effEditKeyDown, c.index, c.value, nullptr, c.opt), 1);
        EXPECT_EQ(effect.dispatcher(effEditKeyUp, c.index, c.value, nullptr, c.opt), 0);
    }
}

TEST_F(KeyOpcodes, KnobModeGoesToTheEditorWithTheValue) {
    attachEditor();
    EXPECT_CALL(*editor, setKnobMode(2)).WillOnce(Return(true));
    EXPECT_CALL(*editor, setKnobMode(0)).WillOnce(Return(false));
    EXPECT_EQ(effect.dispatcher(effSetEditKnobMode, 9, 2, nullptr, 0.0f), 1);
    EXPECT_EQ(effect.dispatcher(effSetEditKnobMode, 9, 0, nullptr, 0.0f), 0);
}

// resume asks the host for MIDI events only for effects that take them.

class MidiEffect : public PlainEffectX {
public:
    MidiEffect(bool synth, VstInt32 canDoAnswer) : PlainEffectX(RecordingHost::callback), answer(canDoAnswer) {
        isSynth(synth);
    }
    VstInt32 canDo(char* text) override {
        asked.push_back(text);
        return answer;
    }
    VstInt32 answer;
    std::vector<std::string> asked;
};

TEST(ExtendedResume, AsksForMidiEventsOnlyForASynthOrACanDoOfExactlyOne) {
    struct Case {
        bool synth;
        VstInt32 canDoAnswer;
        bool asks;
    };
    const Case cases[] = {{false, 0, false},  {false, 1, true}, {false, 2, false},
                          {false, -1, false}, {true, 0, true},  {true, 1, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << "synth " << c.synth << ", canDo answers " << c.canDoAnswer);
        RecordingHost host;
        MidiEffect effect(c.synth, c.canDoAnswer);
        effect.resume();
        if (!c.synth) {
            EXPECT_EQ(effect.asked, std::vector<std::string>{"receiveVstMidiEvent"});
        }
        if (c.asks) {
            ASSERT_EQ(host.calls.size(), 1u);
            EXPECT_EQ(host.calls[0].opcode, audioMasterWantMidi);
            EXPECT_EQ(host.calls[0].value, 1);
            EXPECT_EQ(host.calls[0].effect, effect.getAeffect());
        } else {
            EXPECT_TRUE(host.calls.empty());
        }
    }
}

TEST(ExtendedResume, RunsWhenTheHostSwitchesTheEffectOn) {
    RecordingHost host;
    MidiEffect effect(true, 0);
    EXPECT_EQ(effect.dispatcher(effMainsChanged, 0, 0, nullptr, 0.0f), 0);
    EXPECT_TRUE(host.calls.empty()) << "switching off does not resume";
    EXPECT_EQ(effect.dispatcher(effMainsChanged, 0, 1, nullptr, 0.0f), 0);
    ASSERT_EQ(host.calls.size(), 1u);
    EXPECT_EQ(host.calls[0].opcode, audioMasterWantMidi);
}

TEST(ExtendedResume, OfAPlainEffectMakesNoHostCall) {
    RecordingHost host;
    PlainEffectX effect(RecordingHost::callback);
    effect.resume();
    effect.dispatcher(effMainsChanged, 0, 1, nullptr, 0.0f);
    EXPECT_TRUE(host.calls.empty());
}

}  // namespace
