// The signed power law on 32-bit floats, one value or a whole array.
//
// The result for a value v and an exponent e is |v|^e with the sign of v, zero
// taking the negative branch: for v > 0 it is v^e, otherwise -((-v)^e). It is
// the float nearest to the correctly rounded double power (the double is
// rounded once more, to a float), for every float v and every exponent that
// distortionExponent can give, NaN, infinities and negative exponents included.
#pragma once

#include <cstddef>

namespace power_law {

// audio thread: no allocation, no locks. Expects the floating-point state the
// entry points set (round to nearest, no flush-to-zero).
float signedPower(float v, float exponent);

// out[i] = signedPower(in[i], exponent) for i < count. out may be in itself;
// otherwise the two arrays must not overlap.
//
// audio thread: no allocation, no locks
void signedPowers(const float* in, float* out, std::size_t count, float exponent);

}  // namespace power_law
