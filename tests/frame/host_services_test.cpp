// The calls from the effect back into the host, and the capability
// vocabularies.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "capabilities.h"
#include "opcodes.h"
#include "recording_host.h"
#include "test_effects.h"

namespace {

// Stand-ins for the structures that pass through unread.
char hostObject[64];
char otherObject[64];
char capability[] = "sizeWindow";

template <class T>
T* objectAs() {
    return reinterpret_cast<T*>(hostObject);
}

VstIntPtr addressOf(const void* p) {
    return reinterpret_cast<VstIntPtr>(p);
}

using X = AudioEffectX;

struct ServiceCase {
    const char* name;
    std::function<VstIntPtr(X&)> call;
    VstInt32 opcode;
    VstInt32 index;
    VstIntPtr value;
    void* ptr;
    float opt;
    VstIntPtr answer;
    VstIntPtr result;
};

VstIntPtr none(std::function<void()> call) {
    call();
    return 0;
}

const ServiceCase serviceCases[] = {
    {"wantEvents", [](X& e) { return none([&] { e.wantEvents(3); }); }, 6, 0, 3, nullptr, 0.0f, 5, 0},
    {"getTimeInfo", [](X& e) { return addressOf(e.getTimeInfo(0x0F00)); }, 7, 0, 0x0F00, nullptr, 0.0f,
     addressOf(otherObject), addressOf(otherObject)},
    {"sendVstEventsToHost, host answers 1",
     [](X& e) { return VstIntPtr{e.sendVstEventsToHost(objectAs<VstEvents>())}; }, 8, 0, 0, hostObject, 0.0f, 1, 1},
    {"sendVstEventsToHost, host answers 2",
     [](X& e) { return VstIntPtr{e.sendVstEventsToHost(objectAs<VstEvents>())}; }, 8, 0, 0, hostObject, 0.0f, 2, 0},
    {"tempoAt", [](X& e) { return VstIntPtr{e.tempoAt(512)}; }, 10, 0, 512, nullptr, 0.0f, 1200000, 1200000},
    {"getNumAutomatableParameters", [](X& e) { return VstIntPtr{e.getNumAutomatableParameters()}; }, 11, 0, 0, nullptr,
     0.0f, 17, 17},
    {"getParameterQuantization", [](X& e) { return VstIntPtr{e.getParameterQuantization()}; }, 12, 0, 0, nullptr, 0.0f,
     -4, -4},
    {"ioChanged", [](X& e) { return VstIntPtr{e.ioChanged()}; }, 13, 0, 0, nullptr, 0.0f, 5, 1},
    {"needIdle", [](X& e) { return VstIntPtr{e.needIdle()}; }, 14, 0, 0, nullptr, 0.0f, -1, 1},
    {"needIdle, host answers 0", [](X& e) { return VstIntPtr{e.needIdle()}; }, 14, 0, 0, nullptr, 0.0f, 0, 0},
    {"sizeWindow", [](X& e) { return VstIntPtr{e.sizeWindow(640, 480)}; }, 15, 640, 480, nullptr, 0.0f, 1, 1},
    {"updateSampleRate", [](X& e) { return static_cast<VstIntPtr>(e.updateSampleRate()); }, 16, 0, 0, nullptr, 0.0f,
     48000, 48000},
    {"updateBlockSize", [](X& e) { return VstIntPtr{e.updateBlockSize()}; }, 17, 0, 0, nullptr, 0.0f, 256, 256},
    {"getInputLatency", [](X& e) { return VstIntPtr{e.getInputLatency()}; }, 18, 0, 0, nullptr, 0.0f, 64, 64},
    {"getOutputLatency", [](X& e) { return VstIntPtr{e.getOutputLatency()}; }, 19, 0, 0, nullptr, 0.0f, 128, 128},
    {"getPreviousPlug", [](X& e) { return addressOf(e.getPreviousPlug(3)); }, 20, 0, 0, nullptr, 0.0f,
     addressOf(otherObject), addressOf(otherObject)},
    {"getNextPlug", [](X& e) { return addressOf(e.getNextPlug(4)); }, 21, 0, 0, nullptr, 0.0f, addressOf(otherObject),
     addressOf(otherObject)},
    {"willProcessReplacing", [](X& e) { return VstIntPtr{e.willProcessReplacing()}; }, 22, 0, 0, nullptr, 0.0f, 2, 2},
    {"getCurrentProcessLevel", [](X& e) { return VstIntPtr{e.getCurrentProcessLevel()}; }, 23, 0, 0, nullptr, 0.0f, 4,
     4},
    {"getAutomationState", [](X& e) { return VstIntPtr{e.getAutomationState()}; }, 24, 0, 0, nullptr, 0.0f, 3, 3},
    {"offlineStart", [](X& e) { return VstIntPtr{e.offlineStart(objectAs<VstAudioFile>(), 2, 1)}; }, 25, 1, 2,
     hostObject, 0.0f, 7, 1},
    {"offlineRead from the source", [](X& e) { return VstIntPtr{e.offlineRead(objectAs<VstOfflineTask>(), 4, true)}; },
     26, 1, 4, hostObject, 0.0f, 1, 1},
    {"offlineRead not from the source",
     [](X& e) { return VstIntPtr{e.offlineRead(objectAs<VstOfflineTask>(), 4, false)}; }, 26, 0, 4, hostObject, 0.0f, 0,
     0},
    {"offlineWrite", [](X& e) { return VstIntPtr{e.offlineWrite(objectAs<VstOfflineTask>(), 9)}; }, 27, 0, 9,
     hostObject, 0.0f, 1, 1},
    {"offlineGetCurrentPass", [](X& e) { return VstIntPtr{e.offlineGetCurrentPass()}; }, 28, 0, 0, nullptr, 0.0f, 3, 1},
    {"offlineGetCurrentMetaPass", [](X& e) { return VstIntPtr{e.offlineGetCurrentMetaPass()}; }, 29, 0, 0, nullptr,
     0.0f, -3, 1},
    {"offlineGetCurrentMetaPass, host answers 0", [](X& e) { return VstIntPtr{e.offlineGetCurrentMetaPass()}; }, 29, 0,
     0, nullptr, 0.0f, 0, 0},
    {"setOutputSamplerate", [](X& e) { return none([&] { e.setOutputSamplerate(96000.0f); }); }, 30, 0, 0, nullptr,
     96000.0f, 1, 0},
    {"getOutputSpeakerArrangement", [](X& e) { return addressOf(e.getOutputSpeakerArrangement()); }, 31, 0, 0, nullptr,
     0.0f, addressOf(otherObject), addressOf(otherObject)},
    {"getHostVendorString", [](X& e) { return VstIntPtr{e.getHostVendorString(hostObject)}; }, 32, 0, 0, hostObject,
     0.0f, 1, 1},
    {"getHostProductString", [](X& e) { return VstIntPtr{e.getHostProductString(hostObject)}; }, 33, 0, 0, hostObject,
     0.0f, 0, 0},
    {"getHostVendorVersion", [](X& e) { return VstIntPtr{e.getHostVendorVersion()}; }, 34, 0, 0, nullptr, 0.0f, 1234,
     1234},
    {"hostVendorSpecific", [](X& e) { return e.hostVendorSpecific(11, 22, hostObject, 0.5f); }, 35, 11, 22, hostObject,
     0.5f, -9, -9},
    {"canHostDo, host answers -1", [](X& e) { return VstIntPtr{e.canHostDo(capability)}; }, 37, 0, 0, capability, 0.0f,
     -1, 1},
    {"canHostDo, host answers 0", [](X& e) { return VstIntPtr{e.canHostDo(capability)}; }, 37, 0, 0, capability, 0.0f,
     0, 0},
    {"getHostLanguage", [](X& e) { return VstIntPtr{e.getHostLanguage()}; }, 38, 0, 0, nullptr, 0.0f, 2, 2},
    {"openWindow", [](X& e) { return addressOf(e.openWindow(objectAs<VstWindow>())); }, 39, 0, 0, hostObject, 0.0f,
     addressOf(otherObject), addressOf(otherObject)},
    {"closeWindow", [](X& e) { return VstIntPtr{e.closeWindow(objectAs<VstWindow>())}; }, 40, 0, 0, hostObject, 0.0f, 3,
     1},
    {"getDirectory", [](X& e) { return addressOf(e.getDirectory()); }, 41, 0, 0, nullptr, 0.0f, addressOf(otherObject),
     addressOf(otherObject)},
    {"updateDisplay", [](X& e) { return VstIntPtr{e.updateDisplay()}; }, 42, 0, 0, nullptr, 0.0f, 1, 1},
    {"beginEdit", [](X& e) { return VstIntPtr{e.beginEdit(5)}; }, 43, 5, 0, nullptr, 0.0f, 1, 1},
    {"endEdit", [](X& e) { return VstIntPtr{e.endEdit(5)}; }, 44, 5, 0, nullptr, 0.0f, 0, 0},
    {"openFileSelector", [](X& e) { return VstIntPtr{e.openFileSelector(objectAs<VstFileSelect>())}; }, 45, 0, 0,
     hostObject, 0.0f, 1, 1},
    {"closeFileSelector", [](X& e) { return VstIntPtr{e.closeFileSelector(objectAs<VstFileSelect>())}; }, 46, 0, 0,
     hostObject, 0.0f, 4, 1},
    {"getChunkFile", [](X& e) { return VstIntPtr{e.getChunkFile(hostObject)}; }, 48, 0, 0, hostObject, 0.0f, 1, 1},
    {"getInputSpeakerArrangement", [](X& e) { return addressOf(e.getInputSpeakerArrangement()); }, 49, 0, 0, nullptr,
     0.0f, addressOf(otherObject), addressOf(otherObject)},
};

TEST(HostServices, SendTheirOpcodeWithTheArgumentsInPlaceAndConvertTheAnswer) {
    for (const auto& c : serviceCases) {
        SCOPED_TRACE(::testing::Message() << c.name << " (host opcode " << c.opcode << ", answer " << c.answer << ")");
        RecordingHost host;
        host.answer(c.opcode, c.answer);
        PlainEffectX effect(RecordingHost::callback);
        EXPECT_EQ(c.call(effect), c.result);
        ASSERT_EQ(host.calls.size(), 1u);
        const HostCall& sent = host.calls[0];
        EXPECT_EQ(sent.effect, effect.getAeffect());
        EXPECT_EQ(sent.opcode, c.opcode);
        EXPECT_EQ(sent.index, c.index);
        EXPECT_EQ(sent.value, c.value);
        EXPECT_EQ(sent.ptr, c.ptr);
        EXPECT_EQ(sent.opt, c.opt);
    }
}

TEST(HostServices, WithoutACallbackCallNothingAndAnswerZero) {
    for (const auto& c : serviceCases) {
        SCOPED_TRACE(c.name);
        RecordingHost host;  // alive, but not handed to the effect
        PlainEffectX effect(nullptr);
        VstIntPtr expected = 0;
        if (c.opcode == audioMasterGetSampleRate) {
            expected = 44100;
        } else if (c.opcode == audioMasterGetBlockSize) {
            expected = 1024;
        }
        EXPECT_EQ(c.call(effect), expected);
        EXPECT_TRUE(host.calls.empty());
    }
}

TEST(HostServices, FileServicesRefuseANullPointerWithoutAskingTheHost) {
    RecordingHost host;
    for (VstInt32 opcode : {45, 46, 48}) {
        host.answer(opcode, 1);
    }
    PlainEffectX effect(RecordingHost::callback);
    EXPECT_FALSE(effect.openFileSelector(nullptr));
    EXPECT_FALSE(effect.closeFileSelector(nullptr));
    EXPECT_FALSE(effect.getChunkFile(nullptr));
    EXPECT_TRUE(host.calls.empty());
}

TEST(HostServices, OtherServicesPassANullPointerOn) {
    RecordingHost host;
    host.answer(audioMasterCanDo, 1);
    PlainEffectX effect(RecordingHost::callback);
    EXPECT_EQ(effect.canHostDo(nullptr), 1);
    EXPECT_FALSE(effect.sendVstEventsToHost(nullptr));
    ASSERT_EQ(host.calls.size(), 2u);
    EXPECT_EQ(host.calls[0].ptr, nullptr);
    EXPECT_EQ(host.calls[1].opcode, audioMasterProcessEvents);
}

// Remembers whether the host's numbers went through the setters.
class SetterWatchingEffect : public PlainEffectX {
public:
    SetterWatchingEffect() : PlainEffectX(RecordingHost::callback) {}
    void setSampleRate(float) override { ++setterCalls; }
    void setBlockSize(VstInt32) override { ++setterCalls; }
    int setterCalls = 0;
};

TEST(HostServices, UpdateSampleRateStoresOnlyAPositiveAnswer) {
    struct Case {
        VstIntPtr answer;
        double result;
    };
    for (const Case& c : {Case{48000, 48000.0}, Case{0, 44100.0}, Case{-1, 44100.0}, Case{96001, 96001.0}}) {
        SCOPED_TRACE(::testing::Message() << "host answers " << c.answer);
        RecordingHost host;
        host.answer(audioMasterGetSampleRate, c.answer);
        SetterWatchingEffect effect;
        EXPECT_EQ(effect.updateSampleRate(), c.result);
        EXPECT_EQ(effect.getSampleRate(), static_cast<float>(c.result));
        EXPECT_EQ(effect.setterCalls, 0);
    }
}

TEST(HostServices, UpdateBlockSizeStoresOnlyAPositiveAnswer) {
    struct Case {
        VstIntPtr answer;
        VstInt32 result;
    };
    for (const Case& c : {Case{256, 256}, Case{0, 1024}, Case{-1, 1024}, Case{32, 32}}) {
        SCOPED_TRACE(::testing::Message() << "host answers " << c.answer);
        RecordingHost host;
        host.answer(audioMasterGetBlockSize, c.answer);
        SetterWatchingEffect effect;
        EXPECT_EQ(effect.updateBlockSize(), c.result);
        EXPECT_EQ(effect.getBlockSize(), c.result);
        EXPECT_EQ(effect.setterCalls, 0);
    }
}

TEST(HostServices, UpdatesWithoutACallbackReturnTheStoredValues) {
    PlainEffectX effect(nullptr);
    effect.setBlockSizeAndSampleRate(333, 22050.0f);
    EXPECT_EQ(effect.updateSampleRate(), 22050.0);
    EXPECT_EQ(effect.updateBlockSize(), 333);
}

// Capability vocabularies.

TEST(CapabilityStrings, HostGroupHoldsTheFourteenQuestionsInOrder) {
    const std::vector<std::string> expected = {
        "sendVstEvents",
        "sendVstMidiEvent",
        "sendVstTimeInfo",
        "receiveVstEvents",
        "receiveVstMidiEvent",
        "reportConnectionChanges",
        "acceptIOChanges",
        "sizeWindow",
        "offline",
        "openFileSelector",
        "closeFileSelector",
        "startStopProcess",
        "shellCategory",
        "sendVstMidiEventFlagIsRealtime",
    };
    ASSERT_EQ(kHostCapabilityCount, 14);
    EXPECT_EQ(std::vector<std::string>(hostCapabilities, hostCapabilities + kHostCapabilityCount), expected);
}

TEST(CapabilityStrings, PlugGroupHoldsTheEightQuestionsInOrder) {
    const std::vector<std::string> expected = {
        "sendVstEvents",      "sendVstMidiEvent", "receiveVstEvents", "receiveVstMidiEvent",
        "receiveVstTimeInfo", "offline",          "midiProgramNames", "bypass",
    };
    ASSERT_EQ(kPlugCapabilityCount, 8);
    EXPECT_EQ(std::vector<std::string>(plugCapabilities, plugCapabilities + kPlugCapabilityCount), expected);
}

TEST(CapabilityStrings, TextsInBothGroupsAreStoredOnce) {
    struct Shared {
        int host;
        int plug;
    };
    for (const Shared& s : {Shared{0, 0}, Shared{1, 1}, Shared{3, 2}, Shared{4, 3}, Shared{8, 5}}) {
        EXPECT_EQ(static_cast<const void*>(hostCapabilities[s.host]),
                  static_cast<const void*>(plugCapabilities[s.plug]))
            << hostCapabilities[s.host];
    }
}

}  // namespace
