#include "power_rounding.h"

#include "bit_patterns.h"

namespace power_law {
namespace rounding {
namespace {

using bit_patterns::bitsOf;
using bit_patterns::floatFromBits;

// 2^n for -1022 <= n <= 1023.
double powerOfTwo(int n) {
    return bit_patterns::doubleFromBits(static_cast<std::uint64_t>(n + 1023) << 52);
}

int exponentOf(double positive) {
    return static_cast<int>(bitsOf(positive) >> 52) - 1023;
}

constexpr std::uint32_t kInfinityBits = 0x7F800000u;

}  // namespace

Rounded fromApproximation(double y) {
    if (y >= 0x1p-126) {
        const auto low = static_cast<std::uint32_t>(bitsOf(y));
        if (nearMidpoint(low)) {
            return {static_cast<float>(y), false};
        }
        // A normal float (or an overflow to infinity, which is right: y
        // lies beyond the midpoint between the largest float and 2^128).
        return {static_cast<float>(y), true};
    }
    return fromDoubleDouble({y, 0.0}, kFastRelativeError);
}

// The float grid near y is scaled to the integers: Y = y * 2^s, the floats
// are q * 2^-s for integers q, and float midpoints are n + 1/2. The double
// nearest to y is the midpoint m itself when y lies within half a double's
// last place of it; the float is then the even neighbour, otherwise the
// neighbour on y's side.
Rounded fromDoubleDouble(double_double::DoubleDouble y, double relativeError) {
    if (y.hi >= 0x1p128) {
        return {floatFromBits(kInfinityBits), true};
    }
    // Below 2^-126 the floats are multiples of 2^-149, and so they are in
    // the binade above; elsewhere 24 bits per binade.
    const int s = y.hi >= 0x1p-126 ? 23 - exponentOf(y.hi) : 149;
    const double scale = powerOfTwo(s);
    const double high = y.hi * scale;  // exact: powers of two, no underflow
    const double low = y.lo * scale;
    const auto n = static_cast<std::uint32_t>(high);  // floor: 0 <= high < 2^24
    const double midpoint = n + 0.5;
    const double distance = (high - midpoint) + low;
    const double tolerance = relativeError * high;

    // Half the double spacing above and below the midpoint; they differ only
    // at 1/2, a power of two (the midpoint between 0 and 2^-149).
    double above = 0x1p-54;
    double below = 0x1p-55;
    if (midpoint > 1.0) {
        above = below = powerOfTwo(exponentOf(midpoint) - 53);
    }

    std::uint32_t q = n;
    bool certain = true;
    if (distance > above + tolerance) {
        q = n + 1;
    } else if (distance < -below - tolerance) {
        q = n;
    } else {
        // The double nearest to y is the midpoint, a tie for the float.
        const bool onMidpoint = distance >= -below && distance <= above;
        certain = distance >= -below + tolerance && distance <= above - tolerance;
        q = onMidpoint ? n + (n & 1u) : distance > 0.0 ? n + 1 : n;
    }
    // The float q * 2^-s, carrying into the exponent at q = 2^24; at most
    // infinity's bits (the top binade rounding up).
    const std::uint32_t bits = (static_cast<std::uint32_t>(149 - s) << 23) + q;
    return {floatFromBits(bits), certain};
}

}  // namespace rounding
}  // namespace power_law
