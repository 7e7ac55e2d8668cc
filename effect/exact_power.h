// The power law's slow path: log2 x and 2^t in double-double arithmetic,
// good to about 2^-97 relative for the exponents distortionExponent gives
// (docs/power-law.md derives the bounds). It decides the rare results that
// the fast path leaves within its error of a float rounding boundary.
#pragma once

#include <cstdint>

#include "double_double.h"

namespace power_law {
namespace exact {

// log2 x for x, the bits of a positive finite double holding a float value.
double_double::DoubleDouble log2Of(std::uint64_t x);

// 2^t for |t.hi| <= 1000.
double_double::DoubleDouble exp2Of(double_double::DoubleDouble t);

}  // namespace exact
}  // namespace power_law
