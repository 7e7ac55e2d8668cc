// The signal path rounds through float_narrowing.h instead of the plain
// conversions, so those helpers must give exactly what the conversions
// give, rounding to nearest as the entry points set it, most of all below
// the float normal range where they take their own way.
#include <emmintrin.h>
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstring>
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

// The same bits as the float's value held in a double, or both NaN.
bool sameDouble(double actual, float expected) {
    const double wanted = static_cast<double>(expected);
    return std::memcmp(&actual, &wanted, sizeof actual) == 0 || (std::isnan(actual) && std::isnan(wanted));
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
    const std::vector<double> cases = narrowingCases();
    for (std::size_t i = 0; i < cases.size() && failure.empty(); ++i) {
        const double value = cases[i];
        const volatile double v = value;
        const float plain = static_cast<float>(v);
        const double viaDouble = roundToFloat(v);
        const float direct = narrowToFloat(v);
        if (!sameDouble(viaDouble, plain) || !perf::sameSample(direct, plain)) {
            failure = hexDouble(value) + ": plain " + perf::describeSample(plain) + ", roundToFloat " +
                      hexDouble(viaDouble) + ", narrowToFloat " + perf::describeSample(direct);
        }
        // Two at once, each lane as one alone; the other lane holds the next case.
        const double next = cases[(i + 1) % cases.size()];
        const __m128d pair = _mm_set_pd(next, value);
        const __m128d plainPair = PlainNarrowing::round(pair);
        const __m128d carefulPair = CarefulNarrowing::round(pair);
        const volatile double nextValue = next;
        const float plainNext = static_cast<float>(nextValue);
        for (const __m128d rounded : {plainPair, carefulPair}) {
            if (!sameDouble(rounded[0], plain) || !sameDouble(rounded[1], plainNext)) {
                failure = hexDouble(value) + ", " + hexDouble(next) + " rounded two at once: " + hexDouble(rounded[0]) +
                          ", " + hexDouble(rounded[1]);
            }
        }
    }
    EXPECT_EQ(failure, "");
}

TEST(WideningAFloat, GivesThePlainConversionForEverySubnormalAndSomeNormalFloats) {
    std::string failure;
    for (std::uint32_t magnitude = 0; magnitude < 0x00800000u && failure.empty(); magnitude += 7) {
        for (const std::uint32_t sign : {0u, 0x80000000u}) {
            const float f = float_narrowing::floatFromBits(magnitude | sign);
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
