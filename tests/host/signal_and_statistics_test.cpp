#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "audio/automation.h"
#include "audio/channel_map.h"
#include "audio/statistics.h"
#include "audio/test_signal.h"
#include "plugin/midi_events.h"
#include "support/host_error.h"

namespace {

TEST(Statistics, PeakAndRmsOfAFullScaleSquareWave) {
    const std::vector<float> square = {1.0f, -1.0f, 1.0f, -1.0f};
    SignalStats stats;
    stats.add(square.data(), square.size());
    EXPECT_DOUBLE_EQ(stats.peak, 1.0);
    EXPECT_DOUBLE_EQ(stats.rms(), 1.0);
    EXPECT_EQ(formatDecibels(stats.peak), "0.0 dBFS");
}

TEST(Statistics, RmsOfASineIsItsPeakOverRootTwo) {
    std::vector<float> sine(48000);
    for (std::size_t i = 0; i < sine.size(); ++i) {
        sine[i] =
            static_cast<float>(0.5 * std::sin(2.0 * 3.141592653589793 * 1000.0 * static_cast<double>(i) / 48000.0));
    }
    SignalStats stats;
    stats.add(sine.data(), sine.size());
    EXPECT_NEAR(stats.rms(), 0.5 / std::sqrt(2.0), 1e-4) << "peak " << stats.peak;
    EXPECT_NEAR(toDecibels(stats.peak), -6.02, 0.01);
}

// Peak and RMS count every sample: subnormal ones as the tiny levels they
// are, NaN and infinity as broken levels rather than being skipped.
TEST(Statistics, PeakAndRmsCountEverySample) {
    const float tiny = std::numeric_limits<float>::denorm_min();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const struct {
        std::vector<float> samples;
        const char* peak;
        const char* rms;
        const char* bad;
        std::size_t overFullScale;
    } kCases[] = {
        {{tiny, -tiny}, "-897.1 dBFS", "-897.1 dBFS", "2 subnormal", 0},
        {{0.25f, nan, 0.5f}, "NaN", "NaN", "1 NaN", 0},
        {{0.25f, -inf, 2.0f}, "+inf dBFS", "+inf dBFS", "1 infinite", 1},
        {{1.0f, -1.0f, 1.5f, -2.0f}, "6.0 dBFS", "3.1 dBFS", "none", 2},
    };
    for (const auto& entry : kCases) {
        SignalStats stats;
        stats.add(entry.samples.data(), entry.samples.size());
        EXPECT_EQ(formatDecibels(stats.peak), entry.peak) << entry.bad;
        EXPECT_EQ(formatDecibels(stats.rms()), entry.rms) << entry.bad;
        EXPECT_EQ(stats.describeBadValues(), entry.bad);
        EXPECT_EQ(stats.overFullScale, entry.overFullScale) << entry.bad;

        // Eight times over, long enough for the four-at-a-time path.
        std::vector<float> repeated;
        for (int copy = 0; copy < 8; ++copy) {
            repeated.insert(repeated.end(), entry.samples.begin(), entry.samples.end());
        }
        SignalStats many;
        many.add(repeated.data(), repeated.size());
        EXPECT_EQ(formatDecibels(many.peak), entry.peak) << "eight times " << entry.bad;
        EXPECT_EQ(formatDecibels(many.rms()), entry.rms) << "eight times " << entry.bad;
        EXPECT_EQ(many.nans + many.infinities + many.subnormals, 8 * (stats.nans + stats.infinities + stats.subnormals))
            << "eight times " << entry.bad << ": " << many.describeBadValues();
        EXPECT_EQ(many.overFullScale, 8 * entry.overFullScale) << "eight times " << entry.bad;
    }
}

TEST(Statistics, RemembersWhereTheFirstNonFiniteSampleIs) {
    const std::vector<float> clean(100, 0.1f);
    std::vector<float> broken(100, 0.1f);
    broken[40] = std::numeric_limits<float>::infinity();
    broken[70] = std::numeric_limits<float>::quiet_NaN();
    SignalStats stats;
    stats.add(clean.data(), clean.size(), 1000, 0);
    stats.add(broken.data(), broken.size(), 1000, 1);
    ASSERT_TRUE(stats.firstNonFinite.has_value());
    EXPECT_EQ(stats.firstNonFinite->frame, 1040u);
    EXPECT_EQ(stats.firstNonFinite->channel, 1);
    EXPECT_DOUBLE_EQ(stats.finitePeak, 0.1f);
}

TEST(Statistics, SilenceHasNoLevel) {
    SignalStats stats;
    EXPECT_EQ(stats.rms(), 0.0);
    EXPECT_EQ(formatDecibels(stats.peak), "-inf dBFS");
    EXPECT_TRUE(stats.onlyNormalNumbers());
}

TEST(DemoSignal, IsAFewSecondsPeakingAtMinusThreeDecibels) {
    const AudioBuffer signal = makeDemoSignal(44100.0, 2);
    ASSERT_EQ(signal.channelCount(), 2);
    EXPECT_NEAR(signal.seconds(), 4.5, 0.01);
    SignalStats stats;
    stats.add(signal);
    EXPECT_NEAR(toDecibels(stats.peak), -3.0, 0.01);
    EXPECT_GT(toDecibels(stats.rms()), -30.0) << "the signal should sound, not whisper";
    EXPECT_TRUE(stats.onlyNormalNumbers()) << stats.describeBadValues();
}

TEST(DemoSignal, IsTheSameEveryTimeAndStereoDiffersBetweenSides) {
    const AudioBuffer first = makeDemoSignal(48000.0, 4);
    const AudioBuffer second = makeDemoSignal(48000.0, 4);
    EXPECT_EQ(first.channels, second.channels);
    EXPECT_NE(first.channels[0], first.channels[1]) << "strings are panned";
    EXPECT_EQ(first.channels[0], first.channels[2]) << "channels beyond two repeat the pair";
}

TEST(DemoSignal, OpensWithThePluckedLowA) {
    // The first note is A2 (110 Hz), alone until the second note at 0.35 s:
    // the strongest repetition in that stretch is one period of 110 Hz.
    const double rate = 44100.0;
    const AudioBuffer signal = makeDemoSignal(rate, 1);
    const auto& left = signal.channels[0];
    const auto from = static_cast<std::size_t>(0.1 * rate);
    const auto span = static_cast<std::size_t>(0.1 * rate);
    std::size_t bestLag = 0;
    double best = -1.0;
    for (std::size_t lag = 100; lag < 800; ++lag) {
        double sum = 0.0;
        for (std::size_t i = from; i < from + span; ++i) {
            sum += static_cast<double>(left[i]) * static_cast<double>(left[i + lag]);
        }
        if (sum > best) {
            best = sum;
            bestLag = lag;
        }
    }
    EXPECT_NEAR(rate / static_cast<double>(bestLag), 110.0, 2.0) << "strongest period " << bestLag << " samples";
}

// File channels to plug-in inputs and plug-in outputs to file channels.
TEST(ChannelMapping, IsChannelForChannelAndSaysWhatItLeavesOut) {
    const struct {
        int mainChannels, sidechainChannels, inputs, outputs;
        std::vector<int> chosen;
        const char* inputMapping;
        const char* outputMapping;
        const char* warning;
    } kCases[] = {
        {2, 0, 2, 2, {}, "file 1-2 -> in 1-2", "out 1-2 -> file 1-2", ""},
        {4,
         0,
         3,
         3,
         {},
         "file 1-3 -> in 1-3",
         "out 1-3 -> file 1-3",
         "channel 4 is left out: the plug-in takes 3 main inputs"},
        {2,
         1,
         2,
         2,
         {},
         "file 1 -> in 1, sidechain 1 -> in 2",
         "out 1-2 -> file 1-2",
         "channel 2 is left out: the plug-in takes 1 main input"},
        {3, 0, 4, 4, {}, "file 1-3 -> in 1-3, silence -> in 4", "out 1-4 -> file 1-4", ""},
        {1, 0, 2, 2, {}, "file 1 -> in 1, file 1 -> in 2", "out 1-2 -> file 1-2", ""},
        {2, 1, 3, 3, {2, 0}, "file 1-2 -> in 1-2, sidechain 1 -> in 3", "out 3 -> file 1, out 1 -> file 2", ""},
        // A mono sidechain feeds every input past the main ones.
        {2, 1, 4, 2, {}, "file 1-2 -> in 1-2, sidechain 1 -> in 3, sidechain 1 -> in 4", "out 1-2 -> file 1-2", ""},
        {1,
         1,
         4,
         2,
         {},
         "file 1 -> in 1, file 1 -> in 2, sidechain 1 -> in 3, sidechain 1 -> in 4",
         "out 1-2 -> file 1-2",
         ""},
        {2, 2, 4, 2, {}, "file 1-2 -> in 1-2, sidechain 1-2 -> in 3-4", "out 1-2 -> file 1-2", ""},
        {2, 0, 2, 98, {}, "file 1-2 -> in 1-2", "out 1-98 -> file 1-98", ""},
    };
    for (const auto& entry : kCases) {
        const ChannelMap map =
            mapChannels(entry.mainChannels, entry.sidechainChannels, entry.inputs, entry.outputs, entry.chosen);
        EXPECT_EQ(map.describeInputs(), entry.inputMapping);
        EXPECT_EQ(map.describeOutputs(), entry.outputMapping);
        const std::string warnings = map.warnings.empty() ? "" : map.warnings.front();
        EXPECT_EQ(warnings.empty(), std::string(entry.warning).empty()) << warnings;
        const std::string ending = entry.warning;
        EXPECT_TRUE(warnings.size() >= ending.size() &&
                    warnings.compare(warnings.size() - ending.size(), ending.size(), ending) == 0)
            << warnings;
    }
    EXPECT_THROW(mapChannels(2, 0, 2, 2, {2}), HostError) << "output 3 of 2";
    EXPECT_THROW(mapChannels(2, 2, 2, 2, {}), HostError) << "a sidechain that leaves no main input";
}

// Straight lines between the points, sent at the points and at most 32
// frames apart while the value moves.
TEST(Automation, RampsBetweenPointsAndIsSentOftenEnoughWhileMoving) {
    const ParameterRamp ramp(4, {{1.0, 0.0f}, {2.0, 1.0f}, {3.0, 1.0f}}, 1000.0);
    const struct {
        std::size_t frame;
        float value;
        std::size_t nextUpdate;
    } kCases[] = {
        {0, 0.0f, 1000},     {1000, 0.0f, 1032}, {1500, 0.5f, 1532},
        {1990, 0.99f, 2000}, {2500, 1.0f, 3000}, {3000, 1.0f, SIZE_MAX},
    };
    for (const auto& entry : kCases) {
        EXPECT_FLOAT_EQ(ramp.valueAt(entry.frame), entry.value) << "frame " << entry.frame;
        EXPECT_EQ(ramp.nextUpdate(entry.frame), entry.nextUpdate) << "frame " << entry.frame;
    }
}

TEST(MidiEvents, AreHandedOverInTheInterfacesLayoutInFrameOrder) {
    MidiEventBatch batch;
    batch.add({300, {0x80, 60, 0}});
    batch.add({20, {0x90, 60, 100}});
    const VstEvents* list = batch.list();
    ASSERT_EQ(list->numEvents, 2);
    const auto* first = reinterpret_cast<const VstMidiEvent*>(list->events[0]);
    const auto* second = reinterpret_cast<const VstMidiEvent*>(list->events[1]);
    EXPECT_EQ(first->deltaFrames, 20);
    EXPECT_EQ(static_cast<unsigned char>(first->midiData[0]), 0x90);
    EXPECT_EQ(first->byteSize, 32);
    EXPECT_EQ(second->deltaFrames, 300);
}

}  // namespace
