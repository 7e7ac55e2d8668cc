// The host's record as the base constructor leaves it, the setters that
// write it, and the six entry functions the host calls through it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "opcodes.h"
#include "test_effects.h"

using ::testing::Return;
using ::testing::StrictMock;

namespace {

template <class Fn>
std::uintptr_t addressOf(Fn fn) {
    return reinterpret_cast<std::uintptr_t>(fn);
}

TEST(EffectRecord, IsFilledFieldByFieldByTheBaseConstructor) {
    PlainEffect effect(nullptr, 6, 11);
    const AEffect& record = *effect.getAeffect();

    EXPECT_EQ(record.magic, 0x56737450);
    EXPECT_EQ(record.numPrograms, 6);
    EXPECT_EQ(record.numParams, 11);
    EXPECT_EQ(record.numInputs, 1);
    EXPECT_EQ(record.numOutputs, 2);
    EXPECT_EQ(record.flags, 0x10);
    EXPECT_EQ(record.resvd1, 0);
    EXPECT_EQ(record.resvd2, 0);
    EXPECT_EQ(record.initialDelay, 0);
    EXPECT_EQ(record.realQualities, 0);
    EXPECT_EQ(record.offQualities, 0);
    EXPECT_EQ(record.ioRatio, 1.0f);
    EXPECT_EQ(record.object, static_cast<AudioEffect*>(&effect));
    EXPECT_EQ(record.user, nullptr);
    EXPECT_EQ(record.uniqueID, 0x4E6F4566);
    EXPECT_EQ(record.version, 1);
    for (std::size_t i = 0; i < sizeof(record.future); ++i) {
        EXPECT_EQ(record.future[i], 0) << "future byte " << i;
    }

    const std::vector<std::uintptr_t> entries = {
        addressOf(record.dispatcher),   addressOf(record.process),          addressOf(record.setParameter),
        addressOf(record.getParameter), addressOf(record.processReplacing), addressOf(record.processDoubleReplacing),
    };
    for (std::size_t i = 0; i < entries.size(); ++i) {
        EXPECT_NE(entries[i], 0u) << "entry " << i;
    }
    EXPECT_EQ(std::set<std::uintptr_t>(entries.begin(), entries.end()).size(), entries.size())
        << "every record pointer leads to its own entry function";
}

TEST(EffectRecord, StoresFourCharacterCodesWithTheFirstCharacterMostSignificant) {
    PlainEffect effect;
    const auto* magic = reinterpret_cast<const unsigned char*>(&effect.getAeffect()->magic);
    // Little-endian memory: last character first.
    EXPECT_EQ(std::string(magic, magic + 4), "PtsV");
}

TEST(EffectRecord, IsTheInstancesOwnAndDiffersBetweenInstances) {
    PlainEffect first;
    PlainEffectX second;
    EXPECT_NE(first.getAeffect(), second.getAeffect());
    EXPECT_EQ(second.getAeffect()->object, static_cast<AudioEffect*>(&second));
}

TEST(BaseEffect, StartsWithTheDocumentedProperties) {
    PlainEffect effect;
    EXPECT_EQ(effect.getSampleRate(), 44100.0f);
    EXPECT_EQ(effect.getBlockSize(), 1024);
    EXPECT_EQ(effect.getProgram(), 0);
    EXPECT_EQ(effect.getEditor(), nullptr);
}

struct FlagSetter {
    const char* name;
    VstInt32 bit;
    std::function<void(PlainEffectX&, bool)> set;
};

TEST(CapabilitySetters, EachSetsAndClearsOnlyItsOwnBit) {
    const FlagSetter setters[] = {
        {"hasClip", 0x2, [](PlainEffectX& e, bool on) { e.hasClip(on); }},
        {"hasVu", 0x4, [](PlainEffectX& e, bool on) { e.hasVu(on); }},
        {"canMono", 0x8, [](PlainEffectX& e, bool on) { e.canMono(on); }},
        {"canProcessReplacing", 0x10, [](PlainEffectX& e, bool on) { e.canProcessReplacing(on); }},
        {"programsAreChunks", 0x20, [](PlainEffectX& e, bool on) { e.programsAreChunks(on); }},
        {"isSynth", 0x100, [](PlainEffectX& e, bool on) { e.isSynth(on); }},
        {"noTail", 0x200, [](PlainEffectX& e, bool on) { e.noTail(on); }},
        {"wantAsyncOperation", 0x400, [](PlainEffectX& e, bool on) { e.wantAsyncOperation(on); }},
        {"hasExternalBuffer", 0x800, [](PlainEffectX& e, bool on) { e.hasExternalBuffer(on); }},
        {"canDoubleReplacing", 0x1000, [](PlainEffectX& e, bool on) { e.canDoubleReplacing(on); }},
    };
    for (const auto& setter : setters) {
        SCOPED_TRACE(setter.name);
        PlainEffectX effect;
        VstInt32& flags = effect.getAeffect()->flags;

        flags = 0;
        setter.set(effect, true);
        EXPECT_EQ(flags, setter.bit);
        setter.set(effect, true);
        EXPECT_EQ(flags, setter.bit) << "setting twice keeps one bit";

        flags = ~0;
        setter.set(effect, false);
        EXPECT_EQ(flags, ~setter.bit);
        setter.set(effect, false);
        EXPECT_EQ(flags, ~setter.bit);
    }
}

TEST(CapabilitySetters, CanProcessReplacingFalseLeavesDoubleReplacingAsItWas) {
    PlainEffect effect;
    effect.canDoubleReplacing(true);
    effect.canProcessReplacing(false);
    EXPECT_EQ(effect.getAeffect()->flags, 0x1000);
}

TEST(CapabilitySetters, SetEditorSetsTheEditorBitForAnEditorAndClearsItForNull) {
    PlainEffect effect;
    auto* editor = new StrictMock<MockEditor>;
    effect.setEditor(editor);
    EXPECT_EQ(effect.getAeffect()->flags, 0x11);
    EXPECT_EQ(effect.getEditor(), editor);

    effect.setEditor(nullptr);
    EXPECT_EQ(effect.getAeffect()->flags, 0x10);
    EXPECT_EQ(effect.getEditor(), nullptr);
    // Detached, the editor is the test's again.
    EXPECT_CALL(*editor, destroyed());
    delete editor;
}

TEST(BaseEffect, DestructorDeletesTheAttachedEditor) {
    auto* editor = new StrictMock<MockEditor>;
    {
        PlainEffect effect;
        effect.setEditor(editor);
        EXPECT_CALL(*editor, destroyed());
    }  // a missing deletion fails the expectation and leaks under the sanitizer
}

TEST(RecordSetters, WriteTheirFieldAndNothingElse) {
    struct Case {
        const char* name;
        std::function<void(PlainEffect&)> set;
        std::function<VstInt32(const AEffect&)> field;
        VstInt32 expected;
    };
    const Case cases[] = {
        {"setUniqueID", [](PlainEffect& e) { e.setUniqueID(0x4B727678); }, [](const AEffect& r) { return r.uniqueID; },
         0x4B727678},
        {"setNumInputs", [](PlainEffect& e) { e.setNumInputs(2); }, [](const AEffect& r) { return r.numInputs; }, 2},
        {"setNumOutputs", [](PlainEffect& e) { e.setNumOutputs(6); }, [](const AEffect& r) { return r.numOutputs; }, 6},
        {"setInitialDelay", [](PlainEffect& e) { e.setInitialDelay(128); },
         [](const AEffect& r) { return r.initialDelay; }, 128},
        {"setRealtimeQualities", [](PlainEffect& e) { e.setRealtimeQualities(-3); },
         [](const AEffect& r) { return r.realQualities; }, -3},
        {"setOfflineQualities", [](PlainEffect& e) { e.setOfflineQualities(9); },
         [](const AEffect& r) { return r.offQualities; }, 9},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PlainEffect effect;
        AEffect before = *effect.getAeffect();
        c.set(effect);
        AEffect after = *effect.getAeffect();
        EXPECT_EQ(c.field(after), c.expected);
        // The other fields stay as they were.
        for (const auto& other : cases) {
            if (&other != &c) {
                EXPECT_EQ(other.field(after), other.field(before)) << other.name << " changed too";
            }
        }
        EXPECT_EQ(after.flags, before.flags);
    }
}

// The entry functions pass their arguments on unchanged.
class EntryEffect : public AudioEffect {
public:
    EntryEffect() : AudioEffect(nullptr, 1, 1) {}
    MOCK_METHOD(void, processReplacing, (float**, float**, VstInt32), (override));
    MOCK_METHOD(void, processDoubleReplacing, (double**, double**, VstInt32), (override));
    MOCK_METHOD(void, process, (float**, float**, VstInt32), (override));
    MOCK_METHOD(void, setParameter, (VstInt32, float), (override));
    MOCK_METHOD(float, getParameter, (VstInt32), (override));
    MOCK_METHOD(VstIntPtr, dispatcher, (VstInt32, VstInt32, VstIntPtr, void*, float), (override));
};

TEST(RecordEntries, PassTheirArgumentsToTheInstanceUnchanged) {
    StrictMock<EntryEffect> effect;
    AEffect* record = effect.getAeffect();
    float sample = 0.0f;
    float* in[2] = {&sample, &sample};
    float* out[2] = {&sample, &sample};
    double wide = 0.0;
    double* inWide[1] = {&wide};
    double* outWide[1] = {&wide};
    char text[8];

    EXPECT_CALL(effect, processReplacing(in, out, 488));
    EXPECT_CALL(effect, process(in, out, 24));
    EXPECT_CALL(effect, processDoubleReplacing(inWide, outWide, 0));
    EXPECT_CALL(effect, setParameter(-5, 0.625f));
    EXPECT_CALL(effect, getParameter(16)).WillOnce(Return(0.3f));
    EXPECT_CALL(effect, dispatcher(45, -2, 77, text, 1.5f)).WillOnce(Return(-9));

    record->processReplacing(record, in, out, 488);
    record->process(record, in, out, 24);
    record->processDoubleReplacing(record, inWide, outWide, 0);
    record->setParameter(record, -5, 0.625f);
    EXPECT_EQ(record->getParameter(record, 16), 0.3f);
    EXPECT_EQ(record->dispatcher(record, 45, -2, 77, text, 1.5f), -9);
}

TEST(RecordEntries, DefaultProcessVariantsLeaveTheOutputUntouched) {
    PlainEffect effect;
    AEffect* record = effect.getAeffect();
    float input[4] = {0.5f, -0.5f, 0.25f, 1.0f};
    float output[4] = {9.0f, 9.0f, 9.0f, 9.0f};
    float* in[1] = {input};
    float* out[1] = {output};
    record->process(record, in, out, 4);
    double inputWide[4] = {0.5, -0.5, 0.25, 1.0};
    double outputWide[4] = {9.0, 9.0, 9.0, 9.0};
    double* inWide[1] = {inputWide};
    double* outWide[1] = {outputWide};
    record->processDoubleReplacing(record, inWide, outWide, 4);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(output[i], 9.0f) << "sample " << i;
        EXPECT_EQ(outputWide[i], 9.0) << "sample " << i;
    }
    EXPECT_EQ(record->getParameter(record, 0), 0.0f);
}

// Writes into a process-wide log, so that what happens around its
// destruction can be seen after the instance is gone.
std::vector<std::string> lifeLog;

class LoggingEffect : public AudioEffect {
public:
    LoggingEffect() : AudioEffect(nullptr, 1, 1) {}
    ~LoggingEffect() override { lifeLog.push_back("destroyed"); }
    void close() override { lifeLog.push_back("close"); }
    void processReplacing(float**, float**, VstInt32) override {}
};

TEST(RecordEntries, CloseRunsCloseThenDestroysTheInstanceAndAnswersOne) {
    lifeLog.clear();
    auto* effect = new LoggingEffect;
    AEffect* record = effect->getAeffect();
    EXPECT_EQ(record->dispatcher(record, effClose, 0, 0, nullptr, 0.0f), 1);
    EXPECT_EQ(lifeLog, (std::vector<std::string>{"close", "destroyed"}));
}

TEST(RecordEntries, ClosingOneInstanceLeavesAnotherWorking) {
    lifeLog.clear();
    auto* first = new LoggingEffect;
    auto* second = new LoggingEffect;
    AEffect* firstRecord = first->getAeffect();
    AEffect* secondRecord = second->getAeffect();
    firstRecord->dispatcher(firstRecord, effClose, 0, 0, nullptr, 0.0f);
    EXPECT_EQ(secondRecord->dispatcher(secondRecord, effIdentify, 0, 0, nullptr, 0.0f), 0x4E764566);
    EXPECT_EQ(secondRecord->dispatcher(secondRecord, effClose, 0, 0, nullptr, 0.0f), 1);
    EXPECT_EQ(lifeLog.size(), 4u);
}

// Every operation the entry functions reach throws.
class ThrowingEffect : public AudioEffect {
public:
    ThrowingEffect() : AudioEffect(nullptr, 1, 1) {}
    ~ThrowingEffect() override { lifeLog.push_back("destroyed"); }
    VstIntPtr dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) override {
        AudioEffect::dispatcher(opcode, index, value, ptr, opt);
        throw std::runtime_error("dispatcher");
    }
    void close() override { lifeLog.push_back("close"); }
    void processReplacing(float**, float**, VstInt32) override { throw std::runtime_error("processReplacing"); }
    void processDoubleReplacing(double**, double**, VstInt32) override { throw 7; }
    void process(float**, float**, VstInt32) override { throw std::bad_alloc(); }
    void setParameter(VstInt32, float) override { throw std::runtime_error("setParameter"); }
    float getParameter(VstInt32) override { throw std::runtime_error("getParameter"); }
};

TEST(RecordEntries, KeepExceptionsOfTheInstanceFromReachingTheHost) {
    lifeLog.clear();
    auto* effect = new ThrowingEffect;
    AEffect* record = effect->getAeffect();
    float* channels[1] = {nullptr};
    double* wideChannels[1] = {nullptr};

    EXPECT_NO_THROW(record->processReplacing(record, channels, channels, 0));
    EXPECT_NO_THROW(record->processDoubleReplacing(record, wideChannels, wideChannels, 0));
    EXPECT_NO_THROW(record->process(record, channels, channels, 0));
    EXPECT_NO_THROW(record->setParameter(record, 0, 0.5f));
    float value = -1.0f;
    EXPECT_NO_THROW(value = record->getParameter(record, 0));
    EXPECT_EQ(value, 0.0f);
    VstIntPtr answer = -1;
    EXPECT_NO_THROW(answer = record->dispatcher(record, effIdentify, 0, 0, nullptr, 0.0f));
    EXPECT_EQ(answer, 0);

    EXPECT_NO_THROW(answer = record->dispatcher(record, effClose, 0, 0, nullptr, 0.0f));
    EXPECT_EQ(answer, 1);
    EXPECT_EQ(lifeLog, (std::vector<std::string>{"close", "destroyed"})) << "a throwing close still ends the instance";
}

}  // namespace
