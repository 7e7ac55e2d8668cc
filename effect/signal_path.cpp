// The audio processing: main distortion, input gain, and the optional
// three-band split with per-band distortion and levels. Every value the
// chain keeps is rounded to a 32-bit float after its step; the expressions
// inside a step are formed in double precision.
//
// Only the power laws acting on the signal depend on the audio. Gains,
// exponents and section coefficients depend on parameters alone, so they are
// derived once and kept (derived_parameters.h) together with the bits of the
// parameter they came from; every sample compares those bits with the stored
// parameter and derives again on any difference. The output is therefore the
// same, bit for bit, as deriving everything at every sample.
//
// Within a block the filter memories and band values are carried as doubles
// that hold float values exactly, and are rounded with float_narrowing.h, so
// that memories decaying below the float normal range after the input stops
// cost no more than audio does.
#include <cmath>

#include "crossover_section.h"
#include "distortion_k.h"
#include "float_narrowing.h"
#include "power_law.h"
#include "rounding_mode.h"
#include "value_laws.h"

namespace {

using float_narrowing::bitsOf;

// The four memories of one section, as float values held in doubles.
struct SectionMemory {
    double in1;
    double in2;
    double out1;
    double out2;
};

// One section step: the output accumulated left to right and rounded to a
// float. A non-finite output is returned but clears the memories, so the
// section cannot repeat NaN or infinity for ever.
inline double filterSection(const CrossoverCoefficients& c, double x, SectionMemory& m) {
    const double y = roundToFloat(c.a0 * x + c.a1 * m.in1 + c.a2 * m.in2 - c.b1 * m.out1 - c.b2 * m.out2);
    if (!std::isfinite(y)) {
        m = SectionMemory{0.0, 0.0, 0.0, 0.0};
        return y;
    }
    m.in2 = m.in1;
    m.in1 = x;
    m.out2 = m.out1;
    m.out1 = y;
    return y;
}

// The signed power law of signedPower() for a float value held in a double.
inline double signedPowerOf(double v, double exponent) {
    if (v > 0.0) {
        return roundToFloat(std::pow(v, exponent));
    }
    return roundToFloat(-std::pow(-v, exponent));
}

// The band's distortion stage: its power law (skipped at exponent 1 when
// that is known to return its input), then its gain.
inline double distortBand(double band, const DerivedExponent& e, const DerivedGain& g, bool skipIdentity) {
    const double shaped = e.identity && skipIdentity ? band : signedPowerOf(band, e.exponent);
    return roundToFloat(shaped * g.factor);
}

template <typename Derived>
inline bool stale(const Derived& derived, float parameter) {
    return bitsOf(parameter) != derived.from;
}

// The derivations, out of line: they run only when a parameter changes.
[[gnu::noinline]] void deriveGain(DistortionK& effect, DerivedGain& derived, float level) {
    derived.from = bitsOf(level);
    derived.factor = effect.levelToGain(level);
}

[[gnu::noinline]] void deriveExponent(DerivedExponent& derived, float amount) {
    const float exponent = distortionExponent(amount);
    derived.from = bitsOf(amount);
    derived.exponent = exponent;
    derived.identity = exponent == 1.0f;
}

[[gnu::noinline]] void deriveSection(DerivedSection& derived, const LinearLaw& frequencyLaw, float value) {
    derived.from = bitsOf(value);
    derived.coefficients = crossoverCoefficients(frequencyLaw(value));
}

}  // namespace

float DistortionK::levelToGain(float level) {
    const float exponent = static_cast<float>(2.0 * level - 1.0);
    return static_cast<float>(std::pow(10.0, static_cast<double>(exponent)));
}

void DistortionK::processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) {
    const float* in = inputs[0];
    float* out1 = outputs[0];
    float* out2 = outputs[1];
    if (sampleFrames <= 0) {
        return;
    }

    DerivedParameters& d = derived;
    if (!d.ready) {
        deriveGain(*this, d.inputGain, gain);
        deriveExponent(d.mainExponent, mainDistAmount);
        deriveSection(d.lowMid, kLowMidFrequencyLaw, lowMidCrossover);
        deriveSection(d.midHigh, kMidHighFrequencyLaw, midHighCrossover);
        deriveExponent(d.lowExponent, lowDistAmount);
        deriveExponent(d.midExponent, midDistAmount);
        deriveExponent(d.highExponent, highDistAmount);
        deriveGain(*this, d.lowDistGain, lowDistGain);
        deriveGain(*this, d.midDistGain, midDistGain);
        deriveGain(*this, d.highDistGain, highDistGain);
        deriveGain(*this, d.lowLevel, lowLevel);
        deriveGain(*this, d.midLevel, midLevel);
        deriveGain(*this, d.highLevel, highLevel);
        d.ready = true;
    }

    SectionMemory lowMid{widen(lowMidIn1), widen(lowMidIn2), widen(lowMidOut1), widen(lowMidOut2)};
    SectionMemory midHigh{widen(midHighIn1), widen(midHighIn2), widen(midHighOut1), widen(midHighOut2)};
    double low = widen(lowBand);
    double mid = widen(midBand);
    double high = widen(highBand);
    double midHighOutput = widen(midHighOut);
    const bool skipIdentity = roundsToNearest();

    for (VstInt32 i = 0; i < sampleFrames; ++i) {
        const double u = widen(in[i]);  // read before writing: the output may be the input block

        double a = u;
        if (switchIsOn(mainDistOn)) {
            const float amount = mainDistAmount;
            if (stale(d.mainExponent, amount)) {
                deriveExponent(d.mainExponent, amount);
            }
            const double shaped =
                d.mainExponent.identity && skipIdentity ? u : signedPowerOf(u, d.mainExponent.exponent);
            a = roundToFloat(u + (shaped - u) * mainDistMix);
        }

        const float gainValue = gain;
        if (stale(d.inputGain, gainValue)) {
            deriveGain(*this, d.inputGain, gainValue);
        }
        const double x = roundToFloat(d.inputGain.factor * a);
        double y = x;

        if (switchIsOn(eqOn)) {
            const float lowMidValue = lowMidCrossover;
            if (stale(d.lowMid, lowMidValue)) {
                deriveSection(d.lowMid, kLowMidFrequencyLaw, lowMidValue);
            }
            const float midHighValue = midHighCrossover;
            if (stale(d.midHigh, midHighValue)) {
                deriveSection(d.midHigh, kMidHighFrequencyLaw, midHighValue);
            }
            low = filterSection(d.lowMid.coefficients, x, lowMid);
            midHighOutput = filterSection(d.midHigh.coefficients, x, midHigh);
            high = roundToFloat(x - midHighOutput);
            mid = roundToFloat(x - (low + high));

            if (switchIsOn(multiDistOn)) {
                const float lowAmount = lowDistAmount;
                const float midAmount = midDistAmount;
                const float highAmount = highDistAmount;
                if (stale(d.lowExponent, lowAmount)) {
                    deriveExponent(d.lowExponent, lowAmount);
                }
                if (stale(d.midExponent, midAmount)) {
                    deriveExponent(d.midExponent, midAmount);
                }
                if (stale(d.highExponent, highAmount)) {
                    deriveExponent(d.highExponent, highAmount);
                }
                const float lowGainValue = lowDistGain;
                const float midGainValue = midDistGain;
                const float highGainValue = highDistGain;
                if (stale(d.lowDistGain, lowGainValue)) {
                    deriveGain(*this, d.lowDistGain, lowGainValue);
                }
                if (stale(d.midDistGain, midGainValue)) {
                    deriveGain(*this, d.midDistGain, midGainValue);
                }
                if (stale(d.highDistGain, highGainValue)) {
                    deriveGain(*this, d.highDistGain, highGainValue);
                }
                low = distortBand(low, d.lowExponent, d.lowDistGain, skipIdentity);
                mid = distortBand(mid, d.midExponent, d.midDistGain, skipIdentity);
                high = distortBand(high, d.highExponent, d.highDistGain, skipIdentity);
            }

            const float lowLevelValue = lowLevel;
            const float midLevelValue = midLevel;
            const float highLevelValue = highLevel;
            if (stale(d.lowLevel, lowLevelValue)) {
                deriveGain(*this, d.lowLevel, lowLevelValue);
            }
            if (stale(d.midLevel, midLevelValue)) {
                deriveGain(*this, d.midLevel, midLevelValue);
            }
            if (stale(d.highLevel, highLevelValue)) {
                deriveGain(*this, d.highLevel, highLevelValue);
            }
            y = (d.lowLevel.factor * low + d.midLevel.factor * mid) + d.highLevel.factor * high;
        }

        const float sample = narrowToFloat(y);
        out1[i] = sample;
        if (out2 != nullptr) {
            out2[i] = sample;
        }
    }

    lowMidIn1 = toFloat(lowMid.in1);
    lowMidIn2 = toFloat(lowMid.in2);
    lowMidOut1 = toFloat(lowMid.out1);
    lowMidOut2 = toFloat(lowMid.out2);
    midHighIn1 = toFloat(midHigh.in1);
    midHighIn2 = toFloat(midHigh.in2);
    midHighOut1 = toFloat(midHigh.out1);
    midHighOut2 = toFloat(midHigh.out2);
    lowBand = toFloat(low);
    midBand = toFloat(mid);
    highBand = toFloat(high);
    midHighOut = toFloat(midHighOutput);
}
