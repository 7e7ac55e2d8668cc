// Rounding a power known only approximately to the float the signed power
// law gives: the exact power rounded to the nearest double, then that double
// to the nearest float (ties to even both times). Where the approximation
// leaves the answer open, the result says so and the caller computes more
// precisely.
#pragma once

#include <cstdint>

#include "double_double.h"

namespace power_law {
namespace rounding {

// The fast path's approximations may lie up to kFastRelativeError from the
// power (docs/power-law.md: below 2^-46). In units of the double's last
// place that is at most 2^-45 * 2^53 = 256, plus half a unit for the
// rounding to a double: a double whose low 29 bits lie within kWindow of
// 2^28 (a float midpoint) decides nothing.
constexpr double kFastRelativeError = 0x1p-45;
constexpr std::uint32_t kWindow = 512;
constexpr std::uint32_t kLow29 = 0x1FFFFFFFu;
constexpr std::uint32_t kMidpoint = 0x10000000u;

// Whether the low 32 bits of a double in the normal float range put it too
// close to a float midpoint. The array paths make the same test.
constexpr bool nearMidpoint(std::uint32_t lowBits) {
    return ((lowBits - (kMidpoint - kWindow)) & kLow29) <= 2 * kWindow;
}

struct Rounded {
    float value;
    bool certain;  // false: value is the nearest guess, not proven
};

// From the fast path's approximation y of a positive power, a normal double
// in [2^-152, 2^130).
Rounded fromApproximation(double y);

// From a double-double approximation of a positive power in [2^-152, 2^130)
// with the given relative error bound.
Rounded fromDoubleDouble(double_double::DoubleDouble y, double relativeError);

}  // namespace rounding
}  // namespace power_law
