// Values the signal path derives from parameters alone: the gains, the power
// law exponents and the crossover coefficients. Each keeps the exact bits of
// the stored parameter value it was derived from. The signal path compares
// those bits with the stored value at every sample and derives the value
// again when they differ, so a change takes effect from the next sample and
// every result is the one a fresh derivation would give.
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
// exponent is 1: the law then returns its input (when rounding to nearest,
// see rounding_mode.h) and is skipped.
struct DerivedExponent {
    std::uint32_t from;
    double exponent;
    bool identity;
};

// The coefficients of one crossover section, for one frequency parameter.
struct DerivedSection {
    std::uint32_t from;
    CrossoverCoefficients coefficients;
};

struct DerivedParameters {
    bool ready = false;  // false until the first block derives everything
    DerivedGain inputGain;
    DerivedExponent mainExponent;
    DerivedSection lowMid;
    DerivedSection midHigh;
    DerivedExponent lowExponent;
    DerivedExponent midExponent;
    DerivedExponent highExponent;
    DerivedGain lowDistGain;
    DerivedGain midDistGain;
    DerivedGain highDistGain;
    DerivedGain lowLevel;
    DerivedGain midLevel;
    DerivedGain highLevel;
    bool unityLevels;  // all three level factors are exactly 1
};
