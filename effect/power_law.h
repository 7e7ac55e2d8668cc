// The distortion curve used by the main stage and by each band: a signed
// power law (signed_power.h) whose exponent falls from 1 to 0.1 as the amount
// rises.
#pragma once

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
