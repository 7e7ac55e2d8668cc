#include "parameter_derivation.h"

#include "distortion_k.h"
#include "float_narrowing.h"
#include "power_law.h"
#include "value_laws.h"

namespace {

using float_narrowing::bitsOf;

// True when a kept value must be derived (again) from this parameter value.
template <typename Derived>
bool due(const DerivedParameters& d, const Derived& derived, float parameter) {
    return !d.ready || bitsOf(parameter) != derived.from;
}

void refreshGain(DistortionK& effect, const DerivedParameters& d, DerivedGain& derived, float level) {
    if (due(d, derived, level)) {
        derived.from = bitsOf(level);
        derived.factor = effect.levelToGain(level);
        derived.unity = derived.factor == 1.0;
    }
}

void refreshExponent(const DerivedParameters& d, DerivedExponent& derived, float amount) {
    if (due(d, derived, amount)) {
        derived.from = bitsOf(amount);
        derived.exponent = distortionExponent(amount);
        derived.identity = derived.exponent == 1.0f;
    }
}

void refreshSection(const DerivedParameters& d, DerivedSection& derived, const LinearLaw& frequencyLaw, float value) {
    if (due(d, derived, value)) {
        derived.from = bitsOf(value);
        derived.coefficients = crossoverCoefficients(frequencyLaw(value));
    }
}

}  // namespace

void deriveWhatChanged(DistortionK& effect, DerivedParameters& d, const ParameterSnapshot& p) {
    refreshGain(effect, d, d.inputGain, p[kGain]);
    refreshExponent(d, d.mainExponent, p[kMainDistAmount]);
    refreshSection(d, d.lowMid, kLowMidFrequencyLaw, p[kLowMidCrossover]);
    refreshSection(d, d.midHigh, kMidHighFrequencyLaw, p[kMidHighCrossover]);
    for (int band = 0; band < kBandCount; ++band) {
        const BandParameters& source = kBandParameters[band];
        refreshExponent(d, d.bands[band].exponent, p[source.amount]);
        refreshGain(effect, d, d.bands[band].distGain, p[source.distGain]);
        refreshGain(effect, d, d.bands[band].level, p[source.level]);
    }
    d.ready = true;
}
