// The ways signed_power.h computes, for the tests and benchmarks that
// compare them: the array paths by name, and the single value with the way
// it was decided.
#pragma once

#include <cstddef>
#include <cstdint>

namespace power_law {
namespace paths {

enum class ArrayPath { kSse2, kAvx2 };

// Whether this processor and its operating system run the AVX2 path.
bool avx2Usable();

// AVX2 where usable, SSE2 otherwise: the path signedPowers takes, except
// for arrays of fewer than 96 values in the 32-bit build (SSE2).
ArrayPath fastestPath();

// signedPowers through the given path; kAvx2 must be usable.
//
// audio thread: no allocation, no locks
void signedPowersOn(ArrayPath path, const float* in, float* out, std::size_t count, float exponent);

enum class Decision {
    kDefined,    // a special case (zero, one, infinity, NaN, exponent 0 or 1) or beyond the float range
    kFast,       // the fast path's approximation was far enough from a rounding boundary
    kSlow,       // the double-double path decided it
    kUndecided,  // not even that could: the value is its nearest guess
};

struct Traced {
    float value;
    Decision decision;
};

// signedPower(v, exponent), with the way it was decided.
Traced tracedSignedPower(float v, float exponent);

// The fast path's approximation of x^e and its exponent e * log2 x, for a
// finite positive float x and |e| <= 1 (for measuring its error).
struct FastApproximation {
    double power;
    double exponent;
};
FastApproximation fastPower(float x, float e);

// x^e in double-double, hi + lo (for measuring its error); x finite and
// positive, x^e within [2^-152, 2^129].
struct ExactApproximation {
    double hi;
    double lo;
};
ExactApproximation exactPower(float x, float e);

}  // namespace paths

// The SSE2 and AVX2 array paths, for exponents in (0, 1) only; the lanes
// they cannot decide go through signedPower.
//
// audio thread: no allocation, no locks
void signedPowersSse2(const float* in, float* out, std::size_t count, float exponent);
void signedPowersAvx2(const float* in, float* out, std::size_t count, float exponent);

}  // namespace power_law
