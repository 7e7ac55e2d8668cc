// Values the signal path derives from parameters alone: the gains, the power
// law exponents and the crossover coefficients. Each keeps the exact bits of
// the parameter value it came from; at the start of every block the values
// whose parameter differs from that are derived again
// (parameter_derivation.h), so each is the one a fresh derivation would give.
#pragma once

#include <cstdint>

#include "crossover_section.h"

// A linear factor from levelToGain, for one decibel parameter. `unity` is
// true when the factor is exactly 1: multiplying a float value by it changes
// nothing, so the multiplication is skipped.
struct DerivedGain {
    std::uint32_t from;
    double factor;
    bool unity;
};

// A power law exponent, for one amount parameter. `identity` is true when the
// exponent is 1: the law then returns its input, and is skipped.
struct DerivedExponent {
    std::uint32_t from;
    float exponent;
    bool identity;
};

// The coefficients of one crossover section, for one frequency parameter.
struct DerivedSection {
    std::uint32_t from;
    CrossoverCoefficients coefficients;
};

enum Band { kLowBand, kMidBand, kHighBand, kBandCount };

// One band's distortion stage (its power law and the gain after it) and its
// level in the sum.
struct DerivedBand {
    DerivedExponent exponent;
    DerivedGain distGain;
    DerivedGain level;
};

struct DerivedParameters {
    bool ready = false;  // false until the first block derives everything
    DerivedGain inputGain;
    DerivedExponent mainExponent;
    DerivedSection lowMid;
    DerivedSection midHigh;
    DerivedBand bands[kBandCount];
};

// A float value times a gain, rounded to a float by a Narrowing of
// float_narrowing.h; a factor of exactly 1 changes nothing and is skipped.
template <typename Narrowing>
inline double applyGain(double value, const DerivedGain& gain) {
    return gain.unity ? value : Narrowing::round(value * gain.factor);
}
