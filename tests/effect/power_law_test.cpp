#include "power_law.h"

#include <gtest/gtest.h>

#include "signed_power.h"

namespace {

float signedPowerOf(float v, float e) {
    return power_law::signedPower(v, e);
}

}  // namespace

TEST(DistortionExponent, FallsFromOneToOneTenthAsTheAmountRises) {
    EXPECT_EQ(distortionExponent(0.0f), 1.0f);
    EXPECT_EQ(distortionExponent(0.05f), 1.0f);
    EXPECT_EQ(distortionExponent(0.1f), 1.0f);
    EXPECT_FLOAT_EQ(distortionExponent(0.5f), 0.6f);
    EXPECT_FLOAT_EQ(distortionExponent(0.71f), 0.39f);
    EXPECT_FLOAT_EQ(distortionExponent(1.0f), 0.1f);
    EXPECT_LT(distortionExponent(0.2f), 1.0f);
}

TEST(SignedPower, KeepsZeroAndUnitMagnitudesAtEveryExponent) {
    for (float e : {0.1f, 0.39f, 0.6f, 1.0f}) {
        EXPECT_EQ(signedPowerOf(0.0f, e), 0.0f) << "exponent " << e;
        EXPECT_EQ(signedPowerOf(1.0f, e), 1.0f) << "exponent " << e;
        EXPECT_EQ(signedPowerOf(-1.0f, e), -1.0f) << "exponent " << e;
    }
}

TEST(SignedPower, IsOddAndRaisesSmallMagnitudesWhileLoweringLargeOnes) {
    EXPECT_NEAR(signedPowerOf(0.5f, 0.1f), 0.933033f, 1e-6);
    EXPECT_NEAR(signedPowerOf(-0.5f, 0.1f), -0.933033f, 1e-6);
    EXPECT_FLOAT_EQ(signedPowerOf(0.25f, 0.5f), 0.5f);
    EXPECT_FLOAT_EQ(signedPowerOf(-4.0f, 0.5f), -2.0f);
    for (float v : {0.01f, 0.3f, 0.99f}) {
        EXPECT_GT(signedPowerOf(v, 0.6f), v) << "value " << v;
        EXPECT_EQ(signedPowerOf(-v, 0.6f), -signedPowerOf(v, 0.6f)) << "value " << v;
    }
}

TEST(SignedPower, ExponentOneLeavesEveryValueUnchanged) {
    for (float v : {-3.5f, -0.123456f, 1e-30f, 0.7f, 42.0f}) {
        EXPECT_EQ(signedPowerOf(v, 1.0f), v);
    }
}
