// Recursive filters latch: one NaN or one runaway can leave them producing
// NaN or infinity for good. Whatever the effect was fed, once the input and
// the parameters are sane again its output must be finite again within one
// block.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "effect_under_test.h"

namespace {
using reliability::EffectUnderTest;
using reliability::firstNonFinite;
using reliability::sine;

constexpr std::size_t kBlock = 512;
constexpr std::size_t kBadSample = 100;
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInfinity = std::numeric_limits<float>::infinity();
constexpr float kLargest = std::numeric_limits<float>::max();

// Index of the last sample that is not finite, or -1.
long lastNonFinite(const std::vector<float>& samples) {
    for (std::size_t i = samples.size(); i > 0; --i) {
        if (!std::isfinite(samples[i - 1])) {
            return static_cast<long>(i - 1);
        }
    }
    return -1;
}

// Feeds sane blocks after the trouble and answers where the last non-finite
// sample lies, counted from the first sane sample; -1 when there is none.
long lastNonFiniteAfterRecovery(EffectUnderTest& effect, std::size_t& position, std::size_t blocks) {
    std::vector<float> output;
    for (std::size_t b = 0; b < blocks; ++b) {
        const std::vector<float> block = effect.process(sine(kBlock, 0.8f, position));
        position += kBlock;
        output.insert(output.end(), block.begin(), block.end());
    }
    return lastNonFinite(output);
}

// Every factory program, with the equaliser (the part with memories) on.
class EachFactoryProgram : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override {
        ASSERT_NE(effect.record(), nullptr);
        effect.selectProgram(GetParam());
        effect.set(kEqOn, 1.0f);
    }
    EffectUnderTest effect;
    std::size_t position = 0;
};

TEST_P(EachFactoryProgram, AfterANonFiniteInputSampleTheNextBlockIsFinite) {
    for (const float bad : {kNaN, -kNaN, kInfinity, -kInfinity}) {
        std::vector<float> input = sine(kBlock, 0.8f, position);
        input[kBadSample] = bad;
        effect.process(input);
        position += kBlock;

        const std::vector<float> next = effect.process(sine(kBlock, 0.8f, position));
        position += kBlock;
        EXPECT_EQ(firstNonFinite(next), -1)
            << "program " << GetParam() << ", after the input sample " << bad << ": sample " << firstNonFinite(next)
            << " of the next block is " << next[static_cast<std::size_t>(std::max(0L, firstNonFinite(next)))];
    }
}

TEST_P(EachFactoryProgram, AfterAWholeBlockOfNaNTheNextBlockIsFinite) {
    effect.process(std::vector<float>(kBlock, kNaN));
    const std::vector<float> next = effect.process(sine(kBlock, 0.8f));
    EXPECT_EQ(firstNonFinite(next), -1) << "program " << GetParam() << ": sample " << firstNonFinite(next)
                                        << " is not finite";
}

TEST_P(EachFactoryProgram, AfterAnInputAtTheFloatMaximumTheOutputIsFiniteWithinOneBlock) {
    for (const float loud : {kLargest, -kLargest}) {
        std::vector<float> input = sine(kBlock, 0.8f, position);
        input[kBadSample] = loud;
        effect.process(input);
        position += kBlock;

        const long last = lastNonFiniteAfterRecovery(effect, position, 2);
        EXPECT_LT(last, static_cast<long>(kBlock)) << "program " << GetParam() << ", after the input sample " << loud
                                                   << ": sample " << last << " after it is still not finite";
    }
}

TEST_P(EachFactoryProgram, AfterCrossoverValuesOutsideZeroToOneTheOutputIsFiniteWithinOneBlock) {
    const float outside[] = {-1e30f, -10.0f, -1.0f, -0.001f,  1.001f,    1.5f,       2.0f,
                             10.0f,  1e6f,   1e30f, kLargest, kInfinity, -kInfinity, kNaN};
    for (const VstInt32 crossover : {kLowMidCrossover, kMidHighCrossover}) {
        const float sane = effect.get(crossover);
        for (const float value : outside) {
            // Long enough for an unstable section to run away to the float range.
            effect.set(crossover, value);
            for (int b = 0; b < 4; ++b) {
                effect.process(sine(kBlock, 0.8f, position));
                position += kBlock;
            }
            effect.set(crossover, sane);

            const long last = lastNonFiniteAfterRecovery(effect, position, 2);
            EXPECT_LT(last, static_cast<long>(kBlock))
                << "program " << GetParam() << ", parameter " << crossover << " at " << value << " then back at "
                << sane << ": sample " << last << " after the return is still not finite";
        }
    }
}

TEST_P(EachFactoryProgram, AfterAnyParameterFarOutsideZeroToOneTheOutputIsFiniteWithinOneBlock) {
    for (VstInt32 index = 0; index < kParameterCount; ++index) {
        const float sane = effect.get(index);
        for (const float value : {-1e30f, 1e30f, -kInfinity, kInfinity, kNaN}) {
            effect.set(index, value);
            effect.process(sine(kBlock, 0.8f, position));
            position += kBlock;
            effect.set(index, sane);

            const long last = lastNonFiniteAfterRecovery(effect, position, 2);
            EXPECT_LT(last, static_cast<long>(kBlock))
                << "program " << GetParam() << ", parameter " << index << " at " << value << " then back at " << sane
                << ": sample " << last << " after the return is still not finite";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Programs, EachFactoryProgram, ::testing::Range(0, reliability::kProgramCount));

TEST(EqualiserAfterNaN, ContinuesExactlyAsAFreshlyOpenedEqualiser) {
    // A non-finite section output clears the section's memories, so after a
    // NaN as the last sample of a block the equaliser starts the next block
    // as if it had just been opened.
    EffectUnderTest recovered;
    EffectUnderTest fresh;
    for (EffectUnderTest* effect : {&recovered, &fresh}) {
        ASSERT_NE(effect->record(), nullptr);
        effect->selectProgram(6);
    }
    std::vector<float> troubled = sine(kBlock, 0.8f);
    troubled.back() = kNaN;
    recovered.process(troubled);

    const std::vector<float> next = sine(kBlock, 0.8f, kBlock);
    const std::vector<float> expected = fresh.process(next);
    const std::vector<float> got = recovered.process(next);
    ASSERT_EQ(got.size(), expected.size());
    for (std::size_t i = 0; i < got.size(); ++i) {
        ASSERT_EQ(got[i], expected[i]) << "sample " << i << " after the NaN: " << got[i] << " instead of "
                                       << expected[i];
    }
}
}  // namespace
