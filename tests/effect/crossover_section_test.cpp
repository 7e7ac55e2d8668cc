#include "crossover_section.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "float_narrowing.h"
#include "value_laws.h"

namespace {

bool cleared(const SectionMemory& m) {
    return m.in1 == 0.0 && m.in2 == 0.0 && m.out1 == 0.0 && m.out2 == 0.0;
}

// The outputs of two sections side by side, lane by lane.
struct Responses {
    std::vector<double> first;
    std::vector<double> second;
};

template <typename Narrowing>
Responses respond(const CrossoverCoefficients& first, const CrossoverCoefficients& second,
                  const std::vector<float>& input) {
    const SectionPair pair = sectionPair(first, second);
    SectionPairMemory memory = memoryPair(SectionMemory{}, SectionMemory{});
    Responses responses;
    for (float x : input) {
        const __m128d y = crossoverStep<Narrowing>(pair, x, memory);
        responses.first.push_back(y[0]);
        responses.second.push_back(y[1]);
    }
    return responses;
}

void expectRelativelyClose(double actual, double expected, double tolerance, const char* what) {
    EXPECT_NEAR(actual, expected, std::fabs(expected) * tolerance) << what;
}

// The constructor's crossover settings, held as 32-bit floats.
const double kLowMidHz = kLowMidFrequencyLaw(0.25f);
const double kMidHighHz = kMidHighFrequencyLaw(0.2f);

// The section runs with every way of rounding to a float that the signal
// path chooses from; each must give the same values.
template <typename Narrowing>
class CrossoverStep : public ::testing::Test {};
using Narrowings = ::testing::Types<PlainNarrowing, CarefulNarrowing>;
TYPED_TEST_SUITE(CrossoverStep, Narrowings);

}  // namespace

TEST(CrossoverSection, CoefficientsAtTheConstructorSettingsMatchTheWorkedValues) {
    EXPECT_DOUBLE_EQ(kLowMidHz, 515.0);
    EXPECT_NEAR(kMidHighHz, 3900.0, 1e-3);

    const CrossoverCoefficients low = crossoverCoefficients(kLowMidHz);
    expectRelativelyClose(low.a0, 0.00113922954, 1e-8, "low-mid a0");
    expectRelativelyClose(low.a1, 0.00227845909, 1e-8, "low-mid a1");
    expectRelativelyClose(low.a2, 0.00113922954, 1e-8, "low-mid a2");
    expectRelativelyClose(low.b1, -1.92910621, 1e-8, "low-mid b1");
    expectRelativelyClose(low.b2, 0.933663125, 1e-8, "low-mid b2");

    const CrossoverCoefficients high = crossoverCoefficients(kMidHighHz);
    expectRelativelyClose(high.a0, 0.0529382998, 1e-8, "mid-high a0");
    expectRelativelyClose(high.a1, 0.1058766, 1e-6, "mid-high a1");
    expectRelativelyClose(high.b1, -1.39024629, 1e-8, "mid-high b1");
    expectRelativelyClose(high.b2, 0.601999492, 1e-8, "mid-high b2");
}

TYPED_TEST(CrossoverStep, ImpulseResponsesStartWithTheWorkedSamples) {
    const std::vector<float> pulse = {1.0f, 0.0f, 0.0f, 0.0f};
    // As the signal path pairs them: the low-mid section first.
    const Responses responses =
        respond<TypeParam>(crossoverCoefficients(kLowMidHz), crossoverCoefficients(kMidHighHz), pulse);

    const double expectedLow[] = {0.00113923, 0.00447615, 0.00871055, 0.0126244};
    for (int i = 0; i < 4; ++i) {
        EXPECT_NEAR(responses.first[i], expectedLow[i], expectedLow[i] * 1e-5) << "low band sample " << i;
    }

    // The high band is what the mid-high low-pass removes from the input.
    const double expectedHigh[] = {0.947062, -0.179474, -0.270582, -0.268133};
    for (int i = 0; i < 4; ++i) {
        const float highBand = static_cast<float>(pulse[i] - responses.second[i]);
        EXPECT_NEAR(highBand, expectedHigh[i], std::fabs(expectedHigh[i]) * 1e-5) << "high band sample " << i;
    }
}

TYPED_TEST(CrossoverStep, PassesSteadyLevelsAndRejectsTheFastestAlternation) {
    // The memories are single precision, so near its lowest frequencies the
    // section's steady gain is off unity by a few parts in ten thousand.
    const double frequencies[] = {125.0, kLowMidHz, kMidHighHz, 19000.0};
    for (int i = 0; i < 4; ++i) {
        const CrossoverCoefficients first = crossoverCoefficients(frequencies[i]);
        const CrossoverCoefficients second = crossoverCoefficients(frequencies[3 - i]);
        const Responses dc = respond<TypeParam>(first, second, std::vector<float>(40000, 0.5f));
        EXPECT_NEAR(dc.first.back(), 0.5f, 5e-4) << "steady level through the section at " << frequencies[i] << " Hz";
        EXPECT_NEAR(dc.second.back(), 0.5f, 5e-4) << "steady level, second lane, at " << frequencies[3 - i] << " Hz";

        std::vector<float> alternating(4000);
        for (std::size_t j = 0; j < alternating.size(); ++j) {
            alternating[j] = (j % 2 == 0) ? 0.5f : -0.5f;
        }
        const Responses out = respond<TypeParam>(first, second, alternating);
        EXPECT_NEAR(out.first.back(), 0.0f, 1e-4) << "alternating signal through the section at " << frequencies[i];
        EXPECT_NEAR(out.second.back(), 0.0f, 1e-4) << "alternating, second lane, at " << frequencies[3 - i] << " Hz";
    }
}

TYPED_TEST(CrossoverStep, ANonFiniteInputIsPassedOnButNotRemembered) {
    for (float bad : {NAN, INFINITY, -INFINITY}) {
        const CrossoverCoefficients low = crossoverCoefficients(kLowMidHz);
        const SectionPair pair = sectionPair(low, crossoverCoefficients(kMidHighHz));
        SectionPairMemory memory = memoryPair(SectionMemory{}, SectionMemory{});
        for (float x : {0.3f, -0.2f, 0.7f}) {
            crossoverStep<TypeParam>(pair, x, memory);
        }
        const __m128d y = crossoverStep<TypeParam>(pair, bad, memory);
        EXPECT_FALSE(std::isfinite(y[0]) || std::isfinite(y[1])) << "input " << bad;
        for (int lane = 0; lane < 2; ++lane) {
            const SectionMemory m = sectionMemory(memory, lane);
            EXPECT_TRUE(cleared(m)) << "lane " << lane << " memories after input " << bad << ": " << m.in1 << ", "
                                    << m.in2 << ", " << m.out1 << ", " << m.out2;
        }

        // The sections now start afresh: an impulse gives a0 as the first sample.
        EXPECT_EQ(crossoverStep<TypeParam>(pair, 1.0f, memory)[0], static_cast<float>(low.a0));
    }
}

TYPED_TEST(CrossoverStep, ARunawaySectionIsClearedWhenItOverflowsInsteadOfStickingAtInfinity) {
    // A frequency far above the parameter's range puts sin(w) at -1: the
    // poles leave the unit circle and the output grows without bound.
    const double hz = 4.71238898 / (3.0 * 4.44444e-5);
    const CrossoverCoefficients c = crossoverCoefficients(hz);
    ASSERT_GT(c.b2, 1.0) << "the section is expected to be unstable here";

    // The runaway section in the second lane; the first, stable one goes on
    // unaffected.
    const CrossoverCoefficients stable = crossoverCoefficients(kLowMidHz);
    const SectionPair pair = sectionPair(stable, c);
    SectionPairMemory memory = memoryPair(SectionMemory{}, SectionMemory{});
    const SectionPair stableOnly = sectionPair(stable, stable);
    SectionPairMemory aloneMemory = memoryPair(SectionMemory{}, SectionMemory{});
    int firstOverflow = -1;
    crossoverStep<TypeParam>(pair, 1.0f, memory);
    crossoverStep<TypeParam>(stableOnly, 1.0f, aloneMemory);
    for (int i = 1; i < 5000; ++i) {
        const __m128d y = crossoverStep<TypeParam>(pair, 0.0f, memory);
        crossoverStep<TypeParam>(stableOnly, 0.0f, aloneMemory);
        if (!std::isfinite(y[1])) {
            firstOverflow = i;
            break;
        }
    }
    ASSERT_GT(firstOverflow, 0) << "the unstable section never overflowed";
    EXPECT_TRUE(cleared(sectionMemory(memory, 1)));
    const SectionMemory first = sectionMemory(memory, 0);
    const SectionMemory expected = sectionMemory(aloneMemory, 0);
    EXPECT_EQ(std::memcmp(&first, &expected, sizeof first), 0) << "the stable section's memories";
    for (int i = 0; i < 100; ++i) {
        EXPECT_EQ(crossoverStep<TypeParam>(pair, 0.0f, memory)[1], 0.0)
            << "silence " << i << " samples after the overflow";
    }
}
