#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "audio/automation.h"
#include "audio/channel_map.h"
#include "audio/loudness_meter.h"
#include "audio/statistics.h"
#include "audio/test_signal.h"
#include "plugin/midi_events.h"
#include "support/host_error.h"

#if defined(KD_HAVE_EBUR128)
#include <ebur128.h>
#endif

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

constexpr double kPi = 3.14159265358979323846;

// A stereo signal of sine stretches, each `seconds` long at a peak level in
// dBFS, the same in both channels; `fadeSeconds` ramps each stretch in and
// out.
struct Stretch {
    double dbfs;
    double seconds;
};
std::vector<float> sineStretches(const std::vector<Stretch>& stretches, double rate, double frequency,
                                 double phase = 0.0, double fadeSeconds = 0.0) {
    std::vector<float> samples;
    for (const Stretch& stretch : stretches) {
        const auto count = static_cast<std::size_t>(std::llround(stretch.seconds * rate));
        const double amplitude = std::pow(10.0, stretch.dbfs / 20.0);
        for (std::size_t i = 0; i < count; ++i) {
            const double edge = static_cast<double>(std::min(i, count - 1 - i));
            const double fade = fadeSeconds > 0.0 ? std::min(1.0, edge / (fadeSeconds * rate)) : 1.0;
            const double n = static_cast<double>(samples.size());
            samples.push_back(
                static_cast<float>(fade * amplitude * std::sin(2.0 * kPi * frequency * n / rate + phase)));
        }
    }
    return samples;
}

// Feeds the same samples to every channel in blocks of uneven sizes, as the
// chunks of a render arrive.
LoudnessFigures measure(const std::vector<float>& samples, double rate, int channels = 2,
                        KernelPath path = fastestKernelPath()) {
    LoudnessMeter meter(channels, rate, path);
    const std::size_t blocks[] = {1000, 4410, 7, 65536, 12345};
    for (std::size_t at = 0, i = 0; at < samples.size(); ++i) {
        const std::size_t count = std::min(blocks[i % 5], samples.size() - at);
        const std::vector<const float*> pointers(static_cast<std::size_t>(channels), samples.data() + at);
        meter.add(pointers.data(), count);
        at += count;
    }
    return meter.figures();
}

std::vector<KernelPath> pathsThatRun() {
    std::vector<KernelPath> paths;
    for (KernelPath path : {KernelPath::Portable, KernelPath::Sse2, KernelPath::Avx2}) {
        if (kernelPathRuns(path)) {
            paths.push_back(path);
        }
    }
    return paths;
}

// EBU Tech 3341's and 3342's test signals: a 1 kHz sine in both channels at
// 48 kHz, in stretches of given levels. Every kernel path reads them.
TEST(Loudness, TheEbuTestSignalsReadTheirLoudnessAndRange) {
    const struct {
        std::vector<Stretch> stretches;
        std::optional<double> integrated;  // within 0.1 LU
        std::optional<double> range;       // within 1 LU
    } kCases[] = {
        {{{-23, 20}}, -23.0, std::nullopt},
        {{{-33, 20}}, -33.0, std::nullopt},
        {{{-36, 10}, {-23, 60}, {-36, 10}}, -23.0, std::nullopt},
        {{{-72, 10}, {-36, 10}, {-23, 60}, {-36, 10}, {-72, 10}}, -23.0, std::nullopt},
        {{{-26, 20}, {-20, 20.1}, {-26, 20}}, -23.0, std::nullopt},
        {{{-20, 20}, {-30, 20}}, std::nullopt, 10.0},
        {{{-20, 20}, {-15, 20}}, std::nullopt, 5.0},
        {{{-40, 20}, {-20, 20}}, std::nullopt, 20.0},
    };
    for (const auto& entry : kCases) {
        const std::vector<float> signal = sineStretches(entry.stretches, 48000.0, 1000.0);
        const std::string name = "stretches from " + std::to_string(entry.stretches.front().dbfs) + " dBFS, " +
                                 std::to_string(entry.stretches.size()) + " of them";
        std::optional<LoudnessFigures> first;
        for (KernelPath path : pathsThatRun()) {
            const LoudnessFigures figures = measure(signal, 48000.0, 2, path);
            ASSERT_TRUE(figures.integratedLufs && figures.rangeLu) << name;
            // However the signal arrives, the figures are the same to the
            // last bit: whichever thread and chunks a render measures with.
            LoudnessMeter whole(2, 48000.0, path);
            const float* both[] = {signal.data(), signal.data()};
            whole.add(both, signal.size());
            const LoudnessFigures once = whole.figures();
            EXPECT_EQ(*once.integratedLufs, *figures.integratedLufs) << name;
            EXPECT_EQ(*once.rangeLu, *figures.rangeLu) << name;
            EXPECT_EQ(once.truePeak, figures.truePeak) << name;
            if (entry.integrated) {
                EXPECT_NEAR(*figures.integratedLufs, *entry.integrated, 0.1) << name;
            }
            if (entry.range) {
                EXPECT_NEAR(*figures.rangeLu, *entry.range, 1.0) << name;
            }
            if (first) {
                EXPECT_NEAR(*figures.integratedLufs, *first->integratedLufs, 1e-6) << name << ": the paths differ";
                EXPECT_NEAR(*figures.rangeLu, *first->rangeLu, 1e-6) << name << ": the paths differ";
                EXPECT_NEAR(figures.truePeak, first->truePeak, 1e-6) << name << ": the paths differ";
            }
            first = figures;
        }
    }
}

// The K-weighting curve is the one BS.1770 gives as coefficients at 48 kHz,
// at any rate: sines of every frequency read as those coefficients weigh
// them.
TEST(Loudness, SinesAreWeighedByTheStandardsCurveAtEveryRate) {
    const auto standardGain = [](double frequency) {
        const std::complex<double> z = std::polar(1.0, -2.0 * kPi * frequency / 48000.0);
        const auto section = [z](double b0, double b1, double b2, double a1, double a2) {
            return (b0 + b1 * z + b2 * z * z) / (1.0 + a1 * z + a2 * z * z);
        };
        return std::abs(
            section(1.53512485958697, -2.69169618940638, 1.19839281085285, -1.69065929318241, 0.73248077421585) *
            section(1.0, -2.0, 1.0, -1.99004745483398, 0.99007225036621));
    };
    for (double rate : {44100.0, 48000.0, 96000.0}) {
        for (double frequency : {25.0, 100.0, 1000.0, 2000.0, 10000.0}) {
            const LoudnessFigures figures = measure(sineStretches({{-20.0, 3.0}}, rate, frequency), rate);
            ASSERT_TRUE(figures.integratedLufs.has_value());
            const double expected = -0.691 + 20.0 * std::log10(0.1 * standardGain(frequency));
            EXPECT_NEAR(*figures.integratedLufs, expected, 0.01) << frequency << " Hz at " << rate << " Hz";
        }
    }
    // One channel alone is one channel's energy: 3 dB below both.
    const LoudnessFigures mono = measure(sineStretches({{-20.0, 3.0}}, 48000.0, 1000.0), 48000.0, 1);
    EXPECT_NEAR(*mono.integratedLufs, -23.0, 0.1);
}

// A sine at a quarter of the sample rate with a phase of 45 degrees has
// samples of +-A/sqrt(2) and its peaks halfway between them, where the
// meter's points fall. Faded in and out, it holds no peak beyond A (a sine
// switched on at once rings above it, as a converter's output would).
TEST(Loudness, TruePeakFindsTheQuarterRateSinesPeaksBetweenTheSamples) {
    for (double rate : {44100.0, 48000.0, 96000.0, 192000.0}) {
        const std::vector<float> signal = sineStretches({{-6.0, 1.0}}, rate, rate / 4.0, kPi / 4.0, 0.01);
        for (KernelPath path : pathsThatRun()) {
            const LoudnessFigures figures = measure(signal, rate, 2, path);
            EXPECT_NEAR(toDecibels(figures.truePeak), -6.0, 0.1) << rate << " Hz";
        }
        SignalStats samples;
        samples.add(signal.data(), signal.size());
        EXPECT_NEAR(toDecibels(samples.peak), -6.0 - 3.01, 0.01) << rate << " Hz";
    }
}

// What has no loudness says so, and broken samples are never measured as
// a level.
TEST(Loudness, SilenceShortSignalsAndBrokenSamplesHaveNoLoudness) {
    std::vector<float> withNan = sineStretches({{-20.0, 2.0}}, 48000.0, 1000.0);
    std::vector<float> withInfinity = withNan;
    withNan[50000] = std::numeric_limits<float>::quiet_NaN();
    withInfinity[50000] = std::numeric_limits<float>::infinity();
    const struct {
        const char* name;
        std::vector<float> samples;
        bool integrated;
        bool range;
        const char* truePeak;
    } kCases[] = {
        {"silence", std::vector<float>(48000 * 5, 0.0f), false, false, "-inf dBFS"},
        {"0.3 s", sineStretches({{-20.0, 0.3}}, 48000.0, 1000.0), false, false, "-20.0 dBFS"},
        {"2 s", sineStretches({{-20.0, 2.0}}, 48000.0, 1000.0), true, false, "-20.0 dBFS"},
        {"below the absolute gate", sineStretches({{-75.0, 5.0}}, 48000.0, 1000.0), false, false, "-75.0 dBFS"},
        {"a NaN", withNan, false, false, "NaN"},
        {"an infinity", withInfinity, false, false, "+inf dBFS"},
    };
    for (const auto& entry : kCases) {
        const LoudnessFigures figures = measure(entry.samples, 48000.0);
        EXPECT_EQ(figures.integratedLufs.has_value(), entry.integrated) << entry.name;
        EXPECT_EQ(figures.rangeLu.has_value(), entry.range) << entry.name;
        EXPECT_EQ(formatDecibels(figures.truePeak), entry.truePeak) << entry.name;
    }
    // A rate of a few hertz, as a damaged header may claim, still ends its
    // 100 ms stretches: one frame each.
    const std::vector<float> fewHertz(400, 0.5f);
    const LoudnessFigures slow = measure(fewHertz, 4.0, 1);
    ASSERT_TRUE(slow.integratedLufs.has_value());
    EXPECT_GE(slow.truePeak, 0.5);
}

#if defined(KD_HAVE_EBUR128)
// Program material, whose blocks straddle the relative gate, against
// libebur128 (another meter, in its exact mode): the plucked strings at four
// levels. (Its loudness range takes a short-term value every second where
// this meter takes ten, which moves the percentiles of so short a signal.)
TEST(Loudness, ProgramMaterialReadsAsAnotherMeterReadsIt) {
    const AudioBuffer strings = makeDemoSignal(48000.0, 2);
    std::vector<float> left, right, interleaved;
    for (double gainDb : {0.0, -8.0, -20.0, -45.0}) {
        const double gain = std::pow(10.0, gainDb / 20.0);
        for (std::size_t i = 0; i < strings.frameCount(); ++i) {
            left.push_back(static_cast<float>(gain * strings.channels[0][i]));
            right.push_back(static_cast<float>(gain * strings.channels[1][i]));
            interleaved.push_back(left.back());
            interleaved.push_back(right.back());
        }
    }
    LoudnessMeter meter(2, 48000.0);
    const float* channels[] = {left.data(), right.data()};
    meter.add(channels, left.size());
    const LoudnessFigures figures = meter.figures();

    ebur128_state* other = ebur128_init(2, 48000, EBUR128_MODE_I);
    ASSERT_NE(other, nullptr);
    ebur128_add_frames_float(other, interleaved.data(), left.size());
    double integrated = 0.0;
    ebur128_loudness_global(other, &integrated);
    ebur128_destroy(&other);
    ASSERT_TRUE(figures.integratedLufs.has_value());
    EXPECT_NEAR(*figures.integratedLufs, integrated, 0.001);
}
#endif

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
