// The distortion curve used by the main stage and by each band: a signed
// power law whose exponent falls from 1 to 0.1 as the amount rises.
#pragma once

#include <cmath>

// Exponent for a normalised amount: 1.1 - amount, formed with the
// single-precision constant 0.1 and stored as a 32-bit float, limited to 1.
// Amounts from 0 to 0.1 therefore leave the signal undistorted.
inline float distortionExponent(float amount) {
    float exponent = static_cast<float>(1.0 - static_cast<double>(amount) + static_cast<double>(0.1f));
    if (exponent >= 1.0f) {
        exponent = 1.0f;
    }
    return exponent;
}

// Signed power law: |v|^e with the sign of v, formed in double precision and
// rounded to a float by a Narrowing of float_narrowing.h. v must be a float
// value and e an exponent from distortionExponent. With e in [0.1, 1] it
// keeps 0, +1 and -1 and raises magnitudes below 1. Zero takes the negative
// branch, as the curve is defined.
//
// audio thread: no allocation, no locks
template <typename Narrowing>
inline double signedPower(double v, double exponent) {
    if (v > 0.0) {
        return Narrowing::round(std::pow(v, exponent));
    }
    return Narrowing::round(-std::pow(-v, exponent));
}
