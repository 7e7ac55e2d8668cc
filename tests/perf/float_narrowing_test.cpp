// The signal path rounds through float_narrowing.h instead of the plain
// conversions, so those helpers must give exactly what the conversions
// give, rounding to nearest as the entry points set it, most of all below
// the float normal range where they take their own way.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "float_narrowing.h"
#include "sample_comparison.h"
#include "test_signals.h"

namespace {

using perf::bitsOf;

std::string hexDouble(double v) {
    char text[48];
    std::snprintf(text, sizeof text, "%a", v);
    return text;
}

// Doubles around and below the float normal range, exact ties between two
// subnormal floats among them, and a few landmarks.
std::vector<double> narrowingCases() {
    std::vector<double> cases = {0.0,        -0.0,     0x1p-126,        -0x1p-126,       0x1p-149,        0x1p-150,
                                 0x1.8p-150, 0x1p-151, 0x1.fffffcp-127, 0x1.fffffdp-127, 0x1.fffffep-127, 1.0,
                                 -3.5,       1e300,    -1e300,          HUGE_VAL,        -HUGE_VAL,       NAN,
                                 1e-300,     -1e-300,  0x1p-1074};
    perf::Random random(11);
    for (int i = 0; i < 20000; ++i) {
        const double magnitude = std::ldexp(1.0 + random.uniform(), -100 - static_cast<int>(random.below(60)));
        cases.push_back(random.below(2) == 0 ? magnitude : -magnitude);
    }
    for (int i = 0; i < 2000; ++i) {
        const double tie = (static_cast<double>(random.below(1u << 23)) + 0.5) * 0x1p-149;
        cases.push_back(random.below(2) == 0 ? tie : -tie);
    }
    return cases;
}

TEST(NarrowingToFloat, GivesThePlainConversion) {
    std::string failure;
    for (const double value : narrowingCases()) {
        const volatile double v = value;
        const float plain = static_cast<float>(v);
        const float viaDouble = toFloat(roundToFloat(v));
        const float direct = narrowToFloat(v);
        if (!perf::sameSample(viaDouble, plain) || !perf::sameSample(direct, plain)) {
            failure = hexDouble(value) + ": plain " + perf::describeSample(plain) + ", roundToFloat " +
                      perf::describeSample(viaDouble) + ", narrowToFloat " + perf::describeSample(direct);
            break;
        }
    }
    EXPECT_EQ(failure, "");
}

TEST(WideningAFloat, GivesThePlainConversionForEverySubnormalAndSomeNormalFloats) {
    std::string failure;
    for (std::uint32_t magnitude = 0; magnitude < 0x00800000u && failure.empty(); magnitude += 7) {
        for (const std::uint32_t sign : {0u, 0x80000000u}) {
            const float f = float_narrowing::fromBits(magnitude | sign);
            const volatile float vf = f;
            if (widen(vf) != static_cast<double>(vf) || std::signbit(widen(vf)) != std::signbit(vf)) {
                failure = perf::describeSample(f) + " widens to " + hexDouble(widen(vf));
            }
        }
    }
    for (const float f : {FLT_MIN, -FLT_MIN, 1.0f, -0.25f, FLT_MAX, INFINITY, -INFINITY}) {
        if (widen(f) != static_cast<double>(f)) {
            failure = perf::describeSample(f) + " widens to " + hexDouble(widen(f));
        }
    }
    EXPECT_EQ(failure, "");
    EXPECT_TRUE(std::isnan(widen(NAN)));
}

}  // namespace
