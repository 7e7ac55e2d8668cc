#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "audio/block_renderer.h"
#include "audio/statistics.h"
#include "audio/test_signal.h"

namespace {

TEST(Statistics, PeakAndRmsOfAFullScaleSquareWave) {
    const std::vector<float> square = {1.0f, -1.0f, 1.0f, -1.0f};
    SignalStats stats;
    stats.add(square.data(), square.size());
    EXPECT_DOUBLE_EQ(stats.peak, 1.0);
    EXPECT_DOUBLE_EQ(stats.rms(), 1.0);
    EXPECT_EQ(formatDecibels(stats.peak), "0.0 dB");
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

TEST(Statistics, CountsEveryValueThatMustNotLeaveAPlugin) {
    const std::vector<float> values = {0.25f,
                                       std::numeric_limits<float>::quiet_NaN(),
                                       std::numeric_limits<float>::infinity(),
                                       -std::numeric_limits<float>::infinity(),
                                       std::numeric_limits<float>::denorm_min(),
                                       0.0f};
    SignalStats stats;
    stats.add(values.data(), values.size());
    EXPECT_EQ(stats.nans, 1u);
    EXPECT_EQ(stats.infinities, 2u);
    EXPECT_EQ(stats.subnormals, 1u);
    EXPECT_FALSE(stats.onlyNormalNumbers());
    EXPECT_EQ(stats.describeBadValues(), "1 NaN, 2 infinite, 1 subnormal");
    EXPECT_DOUBLE_EQ(stats.peak, 0.25) << "peak and RMS ignore NaN and infinity";
}

TEST(Statistics, SilenceHasNoLevel) {
    SignalStats stats;
    EXPECT_EQ(stats.rms(), 0.0);
    EXPECT_EQ(formatDecibels(stats.peak), "-inf dB");
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

TEST(ChannelMapping, RepeatsAMonoFileAndCyclesThroughShortOnes) {
    EXPECT_EQ(sourceChannelFor(0, 1), 0);
    EXPECT_EQ(sourceChannelFor(1, 1), 0);
    EXPECT_EQ(sourceChannelFor(1, 2), 1);
    EXPECT_EQ(sourceChannelFor(3, 2), 1);
    EXPECT_EQ(sourceChannelFor(0, 0), -1);
}

}  // namespace
