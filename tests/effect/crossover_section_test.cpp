#include "crossover_section.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "float_narrowing.h"
#include "value_laws.h"

namespace {

bool cleared(const SectionMemory& m) {
    return m.in1 == 0.0 && m.in2 == 0.0 && m.out1 == 0.0 && m.out2 == 0.0;
}

template <typename Narrowing>
std::vector<double> respond(const CrossoverCoefficients& c, const std::vector<float>& input) {
    SectionMemory section;
    std::vector<double> output;
    for (float x : input) {
        output.push_back(crossoverStep<Narrowing>(c, x, section));
    }
    return output;
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

    const std::vector<double> lowBand = respond<TypeParam>(crossoverCoefficients(kLowMidHz), pulse);
    const double expectedLow[] = {0.00113923, 0.00447615, 0.00871055, 0.0126244};
    for (int i = 0; i < 4; ++i) {
        EXPECT_NEAR(lowBand[i], expectedLow[i], expectedLow[i] * 1e-5) << "low band sample " << i;
    }

    // The high band is what the mid-high low-pass removes from the input.
    const std::vector<double> midHighOut = respond<TypeParam>(crossoverCoefficients(kMidHighHz), pulse);
    const double expectedHigh[] = {0.947062, -0.179474, -0.270582, -0.268133};
    for (int i = 0; i < 4; ++i) {
        const float highBand = static_cast<float>(pulse[i] - midHighOut[i]);
        EXPECT_NEAR(highBand, expectedHigh[i], std::fabs(expectedHigh[i]) * 1e-5) << "high band sample " << i;
    }
}

TYPED_TEST(CrossoverStep, PassesSteadyLevelsAndRejectsTheFastestAlternation) {
    // The memories are single precision, so near its lowest frequencies the
    // section's steady gain is off unity by a few parts in ten thousand.
    for (double hz : {125.0, kLowMidHz, kMidHighHz, 19000.0}) {
        const CrossoverCoefficients c = crossoverCoefficients(hz);
        const std::vector<double> dc = respond<TypeParam>(c, std::vector<float>(40000, 0.5f));
        EXPECT_NEAR(dc.back(), 0.5f, 5e-4) << "steady level through the section at " << hz << " Hz";

        std::vector<float> alternating(4000);
        for (std::size_t i = 0; i < alternating.size(); ++i) {
            alternating[i] = (i % 2 == 0) ? 0.5f : -0.5f;
        }
        const std::vector<double> out = respond<TypeParam>(c, alternating);
        EXPECT_NEAR(out.back(), 0.0f, 1e-4) << "alternating signal through the section at " << hz << " Hz";
    }
}

TYPED_TEST(CrossoverStep, ANonFiniteInputIsPassedOnButNotRemembered) {
    for (float bad : {NAN, INFINITY, -INFINITY}) {
        const CrossoverCoefficients c = crossoverCoefficients(kLowMidHz);
        SectionMemory section;
        for (float x : {0.3f, -0.2f, 0.7f}) {
            crossoverStep<TypeParam>(c, x, section);
        }
        EXPECT_FALSE(std::isfinite(crossoverStep<TypeParam>(c, bad, section))) << "input " << bad;
        EXPECT_TRUE(cleared(section)) << "memories after input " << bad << ": " << section.in1 << ", " << section.in2
                                      << ", " << section.out1 << ", " << section.out2;

        // The section now starts afresh: an impulse gives a0 as its first sample.
        EXPECT_EQ(crossoverStep<TypeParam>(c, 1.0f, section), static_cast<float>(c.a0));
    }
}

TYPED_TEST(CrossoverStep, ARunawaySectionIsClearedWhenItOverflowsInsteadOfStickingAtInfinity) {
    // A frequency far above the parameter's range puts sin(w) at -1: the
    // poles leave the unit circle and the output grows without bound.
    const double hz = 4.71238898 / (3.0 * 4.44444e-5);
    const CrossoverCoefficients c = crossoverCoefficients(hz);
    ASSERT_GT(c.b2, 1.0) << "the section is expected to be unstable here";

    SectionMemory section;
    int firstOverflow = -1;
    crossoverStep<TypeParam>(c, 1.0f, section);
    for (int i = 1; i < 5000; ++i) {
        const double y = crossoverStep<TypeParam>(c, 0.0f, section);
        if (!std::isfinite(y)) {
            firstOverflow = i;
            break;
        }
    }
    ASSERT_GT(firstOverflow, 0) << "the unstable section never overflowed";
    EXPECT_TRUE(cleared(section));
    for (int i = 0; i < 100; ++i) {
        EXPECT_EQ(crossoverStep<TypeParam>(c, 0.0f, section), 0.0) << "silence " << i << " samples after the overflow";
    }
}
