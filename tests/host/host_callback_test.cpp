#include "plugin/host_callback.h"

#include <gtest/gtest.h>

#include <cstring>

#include "opcodes.h"

namespace {

VstIntPtr ask(AEffect* effect, VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr) {
    return hostCallback(effect, opcode, index, value, ptr, 0.0f);
}

// A record as a plug-in hands it over, with the host's state hung on `user`.
struct AttachedRecord {
    HostState state;
    AEffect record{};
    AttachedRecord() {
        record.magic = kEffectMagic;
        record.user = &state;
    }
};

TEST(HostCallback, AnswersTheVersionQueryWith2400EvenWithoutARecord) {
    EXPECT_EQ(ask(nullptr, audioMasterVersion), 2400);
}

TEST(HostCallback, AnswersSampleRateAndBlockSizeFromTheInstancesState) {
    AttachedRecord attached;
    attached.state.sampleRate = 96000.0f;
    attached.state.blockSize = 64;
    EXPECT_EQ(ask(&attached.record, audioMasterGetSampleRate), 96000);
    EXPECT_EQ(ask(&attached.record, audioMasterGetBlockSize), 64);
}

TEST(HostCallback, DuringCreationAnswersFromTheAnnouncedState) {
    HostState scanner;
    scanner.sampleRate = 0.0f;
    scanner.blockSize = 0;
    scanner.versionAnswer = 2;
    AEffect unfinished{};  // `user` not set yet, as inside the entry point
    {
        HostState::Creating creating(scanner);
        EXPECT_EQ(ask(nullptr, audioMasterVersion), 2);
        EXPECT_EQ(ask(&unfinished, audioMasterGetSampleRate), 0);
        EXPECT_EQ(ask(&unfinished, audioMasterGetBlockSize), 0);
    }
    EXPECT_EQ(ask(nullptr, audioMasterVersion), 2400) << "the announcement ends with its scope";
}

TEST(HostCallback, GivesItsOwnNamesWithinTheInterfaceLimits) {
    char vendor[65];
    char product[65];
    EXPECT_EQ(ask(nullptr, audioMasterGetVendorString, 0, 0, vendor), 1);
    EXPECT_EQ(ask(nullptr, audioMasterGetProductString, 0, 0, product), 1);
    EXPECT_STREQ(vendor, kHostVendor);
    EXPECT_STREQ(product, kHostProduct);
    EXPECT_LE(std::strlen(product), 64u);
    EXPECT_EQ(ask(nullptr, audioMasterGetVendorVersion), kHostVendorVersion);
}

TEST(HostCallback, SaysHonestlyWhatItCanDo) {
    EXPECT_EQ(ask(nullptr, audioMasterCanDo, 0, 0, const_cast<char*>("startStopProcess")), 1);
    EXPECT_EQ(ask(nullptr, audioMasterCanDo, 0, 0, const_cast<char*>("sendVstTimeInfo")), -1);
    EXPECT_EQ(ask(nullptr, audioMasterCanDo, 0, 0, const_cast<char*>("sizeWindow")), -1);
    EXPECT_EQ(ask(nullptr, audioMasterCanDo, 0, 0, const_cast<char*>("somethingNew")), 0);
    EXPECT_EQ(ask(nullptr, audioMasterCanDo, 0, 0, nullptr), 0);
}

TEST(HostCallback, ReportsConnectedPinsWithZeroAsTheInterfaceDoes) {
    AttachedRecord attached;
    attached.state.inputsConnected = 2;
    attached.state.outputsConnected = 1;
    EXPECT_EQ(ask(&attached.record, audioMasterPinConnected, 1, 0), 0) << "input 1 is connected";
    EXPECT_EQ(ask(&attached.record, audioMasterPinConnected, 2, 0), 1) << "input 2 is not";
    EXPECT_EQ(ask(&attached.record, audioMasterPinConnected, 1, 1), 1) << "output 1 is not";
}

TEST(HostCallback, ReportsTheProcessLevelOfTheCallingThread) {
    AttachedRecord attached;
    attached.state.processingLevel = ProcessLevel::Offline;
    EXPECT_EQ(ask(&attached.record, audioMasterGetCurrentProcessLevel), 1) << "outside processing: user level";
    setInsideProcess(true);
    EXPECT_EQ(ask(&attached.record, audioMasterGetCurrentProcessLevel), 4);
    setInsideProcess(false);
}

TEST(HostCallback, AnswersEverythingElseWithZero) {
    AttachedRecord attached;
    const VstInt32 opcodes[] = {audioMasterGetTime,
                                audioMasterIdle,
                                audioMasterSizeWindow,
                                audioMasterGetDirectory,
                                audioMasterOpenFileSelector,
                                5,
                                500,
                                -1};
    for (VstInt32 opcode : opcodes) {
        EXPECT_EQ(ask(&attached.record, opcode), 0) << "opcode " << opcode;
    }
}

TEST(HostCallback, CountsAutomationTheInstanceReports) {
    AttachedRecord attached;
    ask(&attached.record, audioMasterAutomate, 3);
    ask(&attached.record, audioMasterAutomate, 4);
    EXPECT_EQ(attached.state.automateCalls.load(), 2);
}

}  // namespace
