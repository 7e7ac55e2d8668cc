// Hosts automate a parameter once per block, so a crossover may jump
// between any two values from one block to the next. The equaliser's
// sections recompute their coefficients at every sample; jumps at block
// boundaries, even between the ends of the range and back again for
// hundreds of blocks, must keep every output sample finite and of the
// order of the input.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "effect_under_test.h"

namespace {
using reliability::EffectUnderTest;
using reliability::sine;

// The smallest block that hosts commonly send.
constexpr std::size_t kBlock = 32;
constexpr int kJumps = 500;
// A unit sine through the equaliser and the per-band distortion stays below
// this when the crossovers sit still (measured: about 3 in the loudest
// factory program); a section pumped by the jumps goes far beyond it.
constexpr float kLoudestExpected = 20.0f;

struct JumpResult {
    long nonFinite = 0;
    float loudest = 0.0f;
};

JumpResult jumpBetween(VstInt32 crossover, float from, float to, VstInt32 program) {
    EffectUnderTest effect;
    JumpResult result;
    if (effect.record() == nullptr) {
        result.nonFinite = -1;
        return result;
    }
    effect.selectProgram(program);
    effect.set(kEqOn, 1.0f);
    std::size_t position = 0;
    for (int jump = 0; jump < kJumps; ++jump) {
        effect.set(crossover, jump % 2 == 0 ? from : to);
        for (const float sample : effect.process(sine(kBlock, 1.0f, position))) {
            if (!std::isfinite(sample)) {
                ++result.nonFinite;
            } else if (std::fabs(sample) > result.loudest) {
                result.loudest = std::fabs(sample);
            }
        }
        position += kBlock;
    }
    return result;
}

class CrossoverAutomation : public ::testing::TestWithParam<VstInt32> {};

TEST_P(CrossoverAutomation, JumpsOncePerBlockBetweenAnyTwoValuesKeepTheOutputFiniteAndBounded) {
    const float values[] = {0.0f, 0.05f, 0.5f, 0.95f, 1.0f};
    for (const VstInt32 program : {0, 6}) {
        for (const float from : values) {
            for (const float to : values) {
                if (from >= to) {
                    continue;
                }
                const JumpResult result = jumpBetween(GetParam(), from, to, program);
                EXPECT_EQ(result.nonFinite, 0) << "program " << program << ", jumps between " << from << " and " << to
                                               << " every " << kBlock << " samples";
                EXPECT_LT(result.loudest, kLoudestExpected) << "program " << program << ", jumps between " << from
                                                            << " and " << to << ": output reached " << result.loudest;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(BothCrossovers, CrossoverAutomation, ::testing::Values(kLowMidCrossover, kMidHighCrossover));
}  // namespace
