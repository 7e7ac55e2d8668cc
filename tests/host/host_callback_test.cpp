#include "plugin/host_callback.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "opcodes.h"
#include "structures.h"

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
    EXPECT_EQ(ask(nullptr, audioMasterCanDo, 0, 0, const_cast<char*>("sendVstMidiEvent")), 1);
    EXPECT_EQ(ask(nullptr, audioMasterCanDo, 0, 0, const_cast<char*>("sendVstTimeInfo")), 1);
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
    const VstInt32 opcodes[] = {
        audioMasterIdle, audioMasterSizeWindow, audioMasterGetDirectory, audioMasterOpenFileSelector, 5, 500, -1};
    for (VstInt32 opcode : opcodes) {
        EXPECT_EQ(ask(&attached.record, opcode), 0) << "opcode " << opcode;
    }
}

// 100100 frames at 48 kHz are 2.0854 s: at 90 BPM in 3/4, quarter note
// 3.128125 of the second bar, which starts at 3; the nearest MIDI clock
// (75 of them) lies 100 frames back.
TEST(HostCallback, TimeInfoCarriesTheFieldsTheFilterAsksForAtTheClocksPosition) {
    AttachedRecord attached;
    attached.state.sampleRate = 48000.0f;
    attached.state.clock.follow(TempoMap(90.0, {3, 4}));
    attached.state.clock.setPlaying(true);
    attached.state.clock.advance(100000);
    attached.state.clock.advance(100);
    const auto timeInfo = [&attached](VstIntPtr filter) {
        return *reinterpret_cast<const VstTimeInfo*>(ask(&attached.record, audioMasterGetTime, 0, filter));
    };
    EXPECT_EQ(timeInfo(0).flags, kVstTransportPlaying | kVstTransportChanged) << "the first answer after the start";
    const struct {
        VstInt32 filter;
        std::function<double(const VstTimeInfo&)> field;
        double expected;
    } kCases[] = {
        {0, [](const VstTimeInfo& info) { return info.ppqPos + info.tempo + info.timeSigNumerator; }, 0.0},
        {kVstPpqPosValid, [](const VstTimeInfo& info) { return info.ppqPos; }, 3.128125},
        {kVstTempoValid, [](const VstTimeInfo& info) { return info.tempo; }, 90.0},
        {kVstBarsValid, [](const VstTimeInfo& info) { return info.barStartPos; }, 3.0},
        {kVstTimeSigValid,
         [](const VstTimeInfo& info) { return info.timeSigNumerator * 100 + info.timeSigDenominator; }, 304.0},
        {kVstClockValid, [](const VstTimeInfo& info) { return info.samplesToNextClock; }, -100.0},
        {kVstCyclePosValid | kVstSmpteValid, [](const VstTimeInfo& info) { return info.cycleEndPos; }, 0.0},
    };
    for (const auto& entry : kCases) {
        const VstTimeInfo info = timeInfo(entry.filter);
        EXPECT_EQ(info.samplePos, 100100.0);
        EXPECT_EQ(info.sampleRate, 48000.0);
        const VstInt32 filled = entry.filter & ~(kVstCyclePosValid | kVstSmpteValid);
        EXPECT_EQ(info.flags, kVstTransportPlaying | filled) << "filter " << entry.filter;
        EXPECT_NEAR(entry.field(info), entry.expected, 1e-9) << "filter " << entry.filter;
    }
    attached.state.clock.setPlaying(false);
    EXPECT_EQ(timeInfo(0).flags, kVstTransportChanged) << "stopped";
    EXPECT_EQ(ask(nullptr, audioMasterGetTime), 0) << "no instance, no clock";
}

// 120 BPM in 4/4 for a second (2 quarter notes), then 60 BPM in 3/4.
TEST(TempoMap, MapsSecondsToQuartersAndBarsAcrossChangesOfTempoAndMeter) {
    TempoMap map;
    map.changeTempo(1.0, 60.0);
    map.changeMeter(1.0, {3, 4});
    const struct {
        double seconds;
        double quarters, bpm, barStart;
        int numerator;
    } kCases[] = {
        {0.0, 0.0, 120.0, 0.0, 4}, {0.75, 1.5, 120.0, 0.0, 4}, {1.0, 2.0, 60.0, 2.0, 3},
        {4.5, 5.5, 60.0, 5.0, 3},  {5.0, 6.0, 60.0, 5.0, 3},   {-1.0, 0.0, 120.0, 0.0, 4},
    };
    for (const auto& entry : kCases) {
        const TempoMap::Point point = map.at(entry.seconds);
        EXPECT_NEAR(point.quarters, entry.quarters, 1e-12) << "at " << entry.seconds << " s";
        EXPECT_EQ(point.bpm, entry.bpm) << "at " << entry.seconds << " s";
        EXPECT_NEAR(point.barStartQuarters, entry.barStart, 1e-12) << "at " << entry.seconds << " s";
        EXPECT_EQ(point.meter.numerator, entry.numerator) << "at " << entry.seconds << " s";
    }
}

TEST(TempoMap, ATimeSignatureIsUpTo255BeatsOverAPowerOfTwo) {
    const struct {
        const char* text;
        int numerator, denominator;  // 0: refused
    } kCases[] = {{"3/4", 3, 4}, {"7/8", 7, 8}, {"255/128", 255, 128}, {"1/1", 1, 1},
                  {"4/3", 0, 0}, {"0/4", 0, 0}, {"256/4", 0, 0},       {"4/256", 0, 0},
                  {"4/", 0, 0},  {"x/4", 0, 0}, {"-3/4", 0, 0},        {"3/4 ", 0, 0}};
    for (const auto& entry : kCases) {
        const std::optional<TimeSignature> meter = parseTimeSignature(entry.text);
        EXPECT_EQ(meter ? meter->numerator * 1000 + meter->denominator : 0, entry.numerator * 1000 + entry.denominator)
            << entry.text;
    }
}

TEST(HostCallback, CountsAutomationTheInstanceReports) {
    AttachedRecord attached;
    ask(&attached.record, audioMasterAutomate, 3);
    ask(&attached.record, audioMasterAutomate, 4);
    EXPECT_EQ(attached.state.automateCalls.load(), 2);
}

}  // namespace
