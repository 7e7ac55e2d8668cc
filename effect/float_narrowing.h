// Narrowing to single precision without touching the processor's slow path.
//
// The signal path stores every value as a 32-bit float, but carries those
// values in doubles between steps. x86 processors handle a float below the
// normal range (|v| < 2^-126) in microcode, many times slower, whenever an
// SSE conversion reads or produces one; the filter memories decay into that
// range after the input stops, so silence would cost more than audio. These
// helpers give exactly the values the plain conversions give, rounding to
// nearest (the entry points see to that, floating_point_guard.h), but take a
// tiny value through double arithmetic (where it is a normal number) and
// integer bit operations instead.
#pragma once

#include <emmintrin.h>

#include <cmath>
#include <cstdint>
#include <cstring>

#include "bit_patterns.h"

namespace float_narrowing {

constexpr double kSmallestNormalFloat = 0x1p-126;
// Adding and subtracting this rounds a double below the float normal range to
// a multiple of 2^-149, the spacing of floats there: its last mantissa bit is
// worth 2^-149, and its mantissa is even, so ties go to the even multiple as
// the conversion's do, for negative values as for positive ones.
constexpr double kSubnormalGrid = 0x1.8p-97;
constexpr double kSubnormalUnit = 0x1p-149;
constexpr double kSubnormalScale = 0x1p149;

using bit_patterns::bitsOf;
using bit_patterns::floatFromBits;

}  // namespace float_narrowing

// The value static_cast<float>(v) has, as a double.
inline double roundToFloat(double v) {
    using namespace float_narrowing;
    if (!(std::fabs(v) < kSmallestNormalFloat)) {  // NaN goes this way too
        return static_cast<double>(static_cast<float>(v));
    }
    const double rounded = (v + kSubnormalGrid) - kSubnormalGrid;
    // The sum has the sign of v or is +0; only a zero may need v's sign.
    return rounded != 0.0 ? rounded : v * 0.0;
}

// The float's value as a double.
inline double widen(float f) {
    using namespace float_narrowing;
    const std::uint32_t bits = bitsOf(f);
    if ((bits & 0x7f800000u) != 0 || (bits << 1) == 0) {  // normal, infinite, NaN or zero
        return static_cast<double>(f);
    }
    const double magnitude = static_cast<double>(static_cast<std::int32_t>(bits & 0x007fffffu)) * kSubnormalUnit;
    return (bits & 0x80000000u) != 0 ? -magnitude : magnitude;
}

// static_cast<float>(v), for any double.
inline float narrowToFloat(double v) {
    using namespace float_narrowing;
    if (!(std::fabs(v) < kSmallestNormalFloat)) {
        return static_cast<float>(v);
    }
    // Below 2^-126 the float is k * 2^-149 with the sign of v, k being the
    // rounded magnitude on that grid (at most 2^23, which is 2^-126 itself).
    const double rounded = (v + kSubnormalGrid) - kSubnormalGrid;
    const auto magnitude = static_cast<std::uint32_t>(static_cast<std::int32_t>(std::fabs(rounded) * kSubnormalScale));
    return floatFromBits(magnitude | (std::signbit(v) ? 0x80000000u : 0u));
}

// Two ways to the same values, for the signal path to choose per block: the
// plain conversions, fastest while every value is far from the bottom of the
// float range, and the helpers above, which stay fast where values sit below
// it (and cost a few instructions more everywhere). round also takes two
// doubles at once (an SSE2 register) and rounds each as it rounds one.
struct PlainNarrowing {
    static double round(double v) { return static_cast<double>(static_cast<float>(v)); }
    static __m128d round(__m128d v) { return _mm_cvtps_pd(_mm_cvtpd_ps(v)); }
    static float store(double v) { return static_cast<float>(v); }
    static double load(float f) { return static_cast<double>(f); }
};

struct CarefulNarrowing {
    static double round(double v) { return roundToFloat(v); }
    static __m128d round(__m128d v) { return _mm_set_pd(roundToFloat(v[1]), roundToFloat(v[0])); }
    static float store(double v) { return narrowToFloat(v); }
    static double load(float f) { return widen(f); }
};
