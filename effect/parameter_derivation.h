// Deriving the kept values of derived_parameters.h from the stored
// parameters, and telling when a kept value no longer matches its parameter.
// The derivations are out of line: they run only when a parameter changes.
//
// audio thread: no allocation, no locks (levelToGain is the effect's own)
#pragma once

#include <cstdint>

#include "crossover_section.h"
#include "derived_parameters.h"
#include "distortion_k.h"
#include "float_narrowing.h"
#include "power_law.h"
#include "value_laws.h"

namespace parameter_derivation {

using float_narrowing::bitsOf;

template <typename Derived>
inline bool stale(const Derived& derived, float parameter) {
    return bitsOf(parameter) != derived.from;
}

[[gnu::noinline]] inline void deriveGain(DistortionK& effect, DerivedGain& derived, float level) {
    derived.from = bitsOf(level);
    derived.factor = effect.levelToGain(level);
    derived.unity = derived.factor == 1.0;
}

[[gnu::noinline]] inline void deriveExponent(DerivedExponent& derived, float amount) {
    const float exponent = distortionExponent(amount);
    derived.from = bitsOf(amount);
    derived.exponent = exponent;
    derived.identity = exponent == 1.0f;
}

[[gnu::noinline]] inline void deriveSection(DerivedSection& derived, const LinearLaw& frequencyLaw, float value) {
    derived.from = bitsOf(value);
    derived.coefficients = crossoverCoefficients(frequencyLaw(value));
}

// The bits in which a stored parameter differs from the one a derived value
// came from: zero while the derived value is current.
template <typename Derived>
inline std::uint32_t differs(const Derived& derived, float parameter) {
    return bitsOf(parameter) ^ derived.from;
}

// Derive again whichever of a group has changed.
[[gnu::noinline]] inline void deriveSections(DerivedParameters& d, float lowMid, float midHigh) {
    if (stale(d.lowMid, lowMid)) {
        deriveSection(d.lowMid, kLowMidFrequencyLaw, lowMid);
    }
    if (stale(d.midHigh, midHigh)) {
        deriveSection(d.midHigh, kMidHighFrequencyLaw, midHigh);
    }
}

[[gnu::noinline]] inline void deriveBandStages(DistortionK& effect, DerivedParameters& d, float lowAmount,
                                               float midAmount, float highAmount, float lowGain, float midGain,
                                               float highGain) {
    const float amounts[] = {lowAmount, midAmount, highAmount};
    const float gains[] = {lowGain, midGain, highGain};
    DerivedExponent* exponents[] = {&d.lowExponent, &d.midExponent, &d.highExponent};
    DerivedGain* factors[] = {&d.lowDistGain, &d.midDistGain, &d.highDistGain};
    for (int band = 0; band < 3; ++band) {
        if (stale(*exponents[band], amounts[band])) {
            deriveExponent(*exponents[band], amounts[band]);
        }
        if (stale(*factors[band], gains[band])) {
            deriveGain(effect, *factors[band], gains[band]);
        }
    }
}

[[gnu::noinline]] inline void deriveLevels(DistortionK& effect, DerivedParameters& d, float low, float mid,
                                           float high) {
    const float levels[] = {low, mid, high};
    DerivedGain* factors[] = {&d.lowLevel, &d.midLevel, &d.highLevel};
    for (int band = 0; band < 3; ++band) {
        if (stale(*factors[band], levels[band])) {
            deriveGain(effect, *factors[band], levels[band]);
        }
    }
    d.unityLevels = d.lowLevel.unity && d.midLevel.unity && d.highLevel.unity;
}

}  // namespace parameter_derivation
