// The effect keeps what it derives from parameters and skips power laws with
// exponent 1; none of that may change one bit of its output. Every case
// here runs the effect and the plain reference on the same input with the
// same parameter writes and compares every output sample bit for bit.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <string>
#include <vector>

#include "reference_signal_path.h"
#include "sample_comparison.h"
#include "test_signals.h"
#include "twin_paths.h"

namespace {

using perf::firstDifference;
using perf::Random;

constexpr int kProgramCount = 9;

// A random value for a parameter, biased towards what changes behaviour:
// switches on both sides of 0.5, amounts that give exponent 1, values at
// the ends of the range and a few outside it.
float randomValueFor(int index, Random& random) {
    switch (index) {
        case kMainDistOn:
        case kEqOn:
        case kMultiDistOn: {
            const float choices[] = {0.0f, std::nextafter(0.5f, 0.0f), 0.5f, 1.0f, random.between(0.0f, 1.0f)};
            return choices[random.below(5)];
        }
        case kMainDistAmount:
        case kLowDistAmount:
        case kMidDistAmount:
        case kHighDistAmount: {
            const std::size_t kind = random.below(10);
            if (kind < 3) {
                return random.between(0.0f, 0.1f);
            }
            if (kind == 3) {
                return random.between(-0.5f, 1.5f);
            }
            return random.between(0.1f, 1.0f);
        }
        default: {
            const std::size_t kind = random.below(20);
            if (kind == 0) {
                return random.between(-0.5f, 1.5f);
            }
            if (kind == 1) {
                return random.below(2) == 0 ? 0.0f : 1.0f;
            }
            return random.between(0.0f, 1.0f);
        }
    }
}

// The effect and the reference, both at a factory program.
struct Twins {
    explicit Twins(int program) {
        effect.setProgram(program);
        perf::mirrorParameters(effect, path);
    }
    void set(int index, float value) {
        effect.setParameter(index, value);
        path.set(index, value);
    }

    DistortionK effect{nullptr};
    reference::SignalPath path;
};

// Noise, an impulse, and a silence long enough for the filter memories to
// decay below the float normal range and settle there; then a constant
// level, on which they settle again, and a step back to silence.
std::vector<float> noiseImpulseAndTail(std::uint64_t seed) {
    std::vector<float> signal = perf::whiteNoise(3000, 0.9f, seed);
    const std::vector<float> tail = perf::impulseThenSilence(9000, 0.7f);
    signal.insert(signal.end(), tail.begin(), tail.end());
    signal.insert(signal.end(), 6000, 0.25f);
    signal.insert(signal.end(), 3000, 0.0f);
    return signal;
}

TEST(EveryFactoryProgram, MatchesTheReferenceBitForBitInEveryBlockSize) {
    const std::vector<float> input = noiseImpulseAndTail(1);
    for (int program = 0; program < kProgramCount; ++program) {
        Twins fresh(program);
        const std::vector<float> expected = perf::processReference(fresh.path, input);
        for (const std::size_t block : {1u, 7u, 32u, 512u, 4096u}) {
            Twins twins(program);
            std::vector<float> second;
            const std::vector<float> first = perf::processInBlocks(twins.effect, input, block, &second);
            EXPECT_EQ(firstDifference(first, expected), "") << "program " << program << ", blocks of " << block;
            EXPECT_EQ(firstDifference(second, expected), "")
                << "second output, program " << program << ", blocks of " << block;
        }
    }
}

TEST(EveryFactoryProgram, MatchesTheReferenceOnLoudQuietAndTinyInput) {
    for (const float amplitude : {8.0f, 1.0f, 1e-3f, 1e-20f, 1e-37f, 1e-44f}) {
        const std::vector<float> input = perf::whiteNoise(2048, amplitude, 2);
        for (int program = 0; program < kProgramCount; ++program) {
            Twins twins(program);
            const std::vector<float> expected = perf::processReference(twins.path, input);
            EXPECT_EQ(firstDifference(perf::processInBlocks(twins.effect, input, 256), expected), "")
                << "program " << program << ", noise of amplitude " << amplitude;
        }
    }
}

TEST(EveryFactoryProgramWithTheEqualiserOn, MatchesTheReferenceThroughTheSilenceAfterAnImpulse) {
    // Long enough that the section memories sit below the float normal range
    // for most of it; the equaliser-only setting shows that they do.
    const std::vector<float> input = perf::impulseThenSilence(40000, 1.0f);
    for (int program = 4; program < kProgramCount; ++program) {
        for (const float multiband : {1.0f, 0.0f}) {
            Twins twins(program);
            twins.set(kMultiDistOn, multiband);
            const std::vector<float> expected = perf::processReference(twins.path, input);
            const std::vector<float> output = perf::processInBlocks(twins.effect, input, 512);
            EXPECT_EQ(firstDifference(output, expected), "")
                << "program " << program << ", per-band distortion switch " << multiband;
            std::size_t subnormalOut = 0;
            for (const float s : output) {
                subnormalOut += std::fpclassify(s) == FP_SUBNORMAL ? 1 : 0;
            }
            EXPECT_EQ(subnormalOut, 0u) << "program " << program << ": subnormal samples reached the host";
            if (multiband == 0.0f) {
                std::size_t subnormal = 0;
                for (const float s : expected) {
                    subnormal += std::fpclassify(s) == FP_SUBNORMAL ? 1 : 0;
                }
                EXPECT_GT(subnormal, 1000u)
                    << "program " << program << ": the tail should reach the subnormal range, it did in " << subnormal
                    << " samples";
            }
        }
    }
}

TEST(ParameterChanges, TakeEffectFromTheSampleAtWhichTheyArriveAsInTheReference) {
    // Hosts cut blocks at automation points; here blocks are cut at random
    // places, some empty, and one random parameter is written at each cut.
    for (std::uint64_t trial = 0; trial < 24; ++trial) {
        Random random(100 + trial);
        const int program = static_cast<int>(trial % kProgramCount);
        Twins twins(program);
        const std::vector<float> input = perf::whiteNoise(12000, 0.9f, 200 + trial);

        std::vector<float> got(input.size());
        std::vector<float> expected(input.size());
        std::string writes;
        std::size_t position = 0;
        while (position < input.size()) {
            const std::size_t count = std::min(random.below(200), input.size() - position);
            float* inputs[2] = {const_cast<float*>(input.data() + position), nullptr};
            float* outputs[2] = {got.data() + position, nullptr};
            twins.effect.processReplacing(inputs, outputs, static_cast<VstInt32>(count));
            twins.path.process(input.data() + position, expected.data() + position, count);
            position += count;

            const int index = static_cast<int>(random.below(kParameterCount));
            const float value = randomValueFor(index, random);
            twins.set(index, value);
            if (writes.size() < 400) {
                writes += " @" + std::to_string(position) + ":p" + std::to_string(index) + "=" + std::to_string(value);
            }
        }
        EXPECT_EQ(firstDifference(got, expected), "")
            << "trial " << trial << ", program " << program << "; first writes:" << writes;
    }
}

TEST(ParameterChanges, BackAndForthAtEveryBlockBoundaryMatchTheReference) {
    // One value changes at each boundary and returns at the next, so that a
    // kept derivation is used again after a change and must still be right.
    const std::vector<float> input = perf::whiteNoise(32 * 200, 0.9f, 3);
    const int pairs[][2] = {{kGain, 0},          {kLowMidCrossover, 0}, {kMidHighCrossover, 0}, {kLowLevel, 0},
                            {kMidDistAmount, 0}, {kHighDistGain, 0},    {kMainDistAmount, 0},   {kEqOn, 0},
                            {kMultiDistOn, 0}};
    for (int program = 0; program < kProgramCount; ++program) {
        for (const auto& pair : pairs) {
            const int index = pair[0];
            Twins twins(program);
            const float original = twins.effect.getParameter(index);
            const float other = original >= 0.5f ? original - 0.45f : original + 0.45f;
            std::vector<float> got(input.size());
            std::vector<float> expected(input.size());
            for (std::size_t start = 0, block = 0; start < input.size(); start += 32, ++block) {
                twins.set(index, block % 2 == 0 ? original : other);
                float* inputs[2] = {const_cast<float*>(input.data() + start), nullptr};
                float* outputs[2] = {got.data() + start, nullptr};
                twins.effect.processReplacing(inputs, outputs, 32);
                twins.path.process(input.data() + start, expected.data() + start, 32);
            }
            EXPECT_EQ(firstDifference(got, expected), "")
                << "program " << program << ", parameter " << index << " between " << original << " and " << other;
        }
    }
}

TEST(ParameterChanges, DuringTheSilenceAfterAnImpulseMatchTheReference) {
    // Once the input stops, every band value repeats for ever, so a kept
    // result of a power law would be reused; a new amount must still count.
    const std::vector<float> input = perf::impulseThenSilence(30000, 1.0f);
    const int indices[] = {kLowDistAmount, kMidDistAmount, kHighDistAmount, kLowDistGain, kMultiDistOn};
    for (int program = 4; program < kProgramCount; ++program) {
        Random random(300 + static_cast<std::uint64_t>(program));
        Twins twins(program);
        std::vector<float> got(input.size());
        std::vector<float> expected(input.size());
        for (std::size_t start = 0; start < input.size(); start += 500) {
            float* inputs[2] = {const_cast<float*>(input.data() + start), nullptr};
            float* outputs[2] = {got.data() + start, nullptr};
            twins.effect.processReplacing(inputs, outputs, 500);
            twins.path.process(input.data() + start, expected.data() + start, 500);
            const int index = indices[random.below(5)];
            twins.set(index, index == kMultiDistOn ? 1.0f : random.between(0.0f, 1.0f));
        }
        EXPECT_EQ(firstDifference(got, expected), "") << "program " << program;
    }
}

TEST(RandomParameterSettings, MatchTheReferenceBitForBit) {
    Random random(7);
    for (int setting = 0; setting < 400; ++setting) {
        Twins twins(static_cast<int>(random.below(kProgramCount)));
        std::string values;
        for (int index = 0; index < kParameterCount; ++index) {
            const float value = randomValueFor(index, random);
            twins.set(index, value);
            values += " " + std::to_string(value);
        }
        const float amplitude = static_cast<float>(std::pow(10.0, random.between(-6.0f, 0.5f)));
        const std::vector<float> input = perf::whiteNoise(384, amplitude, 1000 + static_cast<std::uint64_t>(setting));
        const std::vector<float> expected = perf::processReference(twins.path, input);
        EXPECT_EQ(firstDifference(perf::processInBlocks(twins.effect, input, 128), expected), "")
            << "setting " << setting << ", amplitude " << amplitude << ", parameters" << values;
    }
}

TEST(NonFiniteInput, GivesNonFiniteSamplesWhereTheReferenceDoesAndTheSameAudioAfter) {
    const float bad[] = {NAN, -NAN, INFINITY, -INFINITY, FLT_MAX};
    for (int program = 0; program < kProgramCount; ++program) {
        for (const float value : bad) {
            Twins twins(program);
            std::vector<float> input = perf::whiteNoise(1024, 0.9f, 4);
            input[300] = value;
            const std::vector<float> expected = perf::processReference(twins.path, input);
            EXPECT_EQ(firstDifference(perf::processInBlocks(twins.effect, input, 256), expected), "")
                << "program " << program << ", input sample 300 = " << value;
        }
    }
}

}  // namespace
