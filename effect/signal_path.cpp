// The audio processing: main distortion, input gain, and the optional
// three-band split with per-band distortion and levels. Every value the
// chain keeps is rounded to a 32-bit float after its step; the expressions
// inside a step are formed in double precision.
//
// Only the power laws acting on the signal depend on the audio. Gains,
// exponents and section coefficients depend on parameters alone, so they are
// derived once and kept (derived_parameters.h) together with the bits of the
// parameter they came from; every sample compares those bits with the stored
// parameter and derives again on any difference (parameter_derivation.h).
// Work whose result is known exactly is skipped: a power law with exponent 1,
// a factor of exactly 1, a band's power law of the same value as the sample
// before (band_distortion.h). The output is the same, bit for bit, as
// deriving and doing everything at every sample.
//
// Within a block the filter memories and band values are carried as doubles
// that hold float values exactly. Near the bottom of the float range, where
// memories end up once the input stops, the plain conversions would be many
// times slower; blocks that start there round with float_narrowing.h.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "band_distortion.h"
#include "crossover_section.h"
#include "derived_parameters.h"
#include "distortion_k.h"
#include "filter_state.h"
#include "float_narrowing.h"
#include "parameter_derivation.h"
#include "power_law.h"
#include "rounding_mode.h"
#include "value_laws.h"

using namespace parameter_derivation;
using namespace signal_path;

namespace {
// Output samples below the float normal range (magnitudes under 2^-126,
// about 1.2e-38) go out as zero of the same sign. Hosts and the plug-ins
// after this one would otherwise pay the processor's slow path for values no
// converter can reproduce; the filter memories keep their exact values, so
// nothing audible changes, now or later.
inline float flushedOutput(float sample) {
    const std::uint32_t bits = float_narrowing::bitsOf(sample);
    return (bits & 0x7F800000u) == 0 ? float_narrowing::fromBits(bits & 0x80000000u) : sample;
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
        d.unityLevels = d.lowLevel.unity && d.midLevel.unity && d.highLevel.unity;
        d.ready = true;
    }

    const FilterState start{SectionMemory{widen(lowMidIn1), widen(lowMidIn2), widen(lowMidOut1), widen(lowMidOut2)},
                            SectionMemory{widen(midHighIn1), widen(midHighIn2), widen(midHighOut1), widen(midHighOut2)},
                            widen(lowBand),
                            widen(midBand),
                            widen(highBand),
                            widen(midHighOut)};

    // One loop, instantiated for the ways of rounding and for whether power
    // laws with exponent 1 may be skipped; all give the same values. The
    // state goes in and comes out by value, so that it stays in registers.
    //
    // Samples go in chunks, each in two passes: the first runs everything up
    // to the two filter recurrences, the second the band split, the per-band
    // power laws and the sums. Each sample still reads every parameter it
    // uses once, in the pass that uses it, and computes exactly the same
    // values; but the second pass carries nothing from one sample to the
    // next, so the processor overlaps the power laws of neighbouring samples
    // instead of waiting for each.
    const auto processSamples = [&](auto narrowing, auto skipIdentity, FilterState state) {
        using Narrowing = decltype(narrowing);
        constexpr bool kSkipIdentity = decltype(skipIdentity)::value;
        // Values repeat only near silence, where the careful rounding runs.
        constexpr bool kRemember = !std::is_same<Narrowing, PlainNarrowing>::value;
        SectionMemory lowMid = state.lowMid;
        SectionMemory midHigh = state.midHigh;
        double low = state.low;
        double mid = state.mid;
        double high = state.high;
        double midHighOutput = state.midHighOutput;
        LastPower lowPower;
        LastPower midPower;
        LastPower highPower;

        constexpr VstInt32 kChunk = 64;
        double gained[kChunk];       // x, the signal after the input gain
        double lowOutputs[kChunk];   // the low-mid section's output
        double highOutputs[kChunk];  // the mid-high section's output
        bool split[kChunk];          // whether the band split ran

        VstInt32 count = 0;
        // chunkStart + count never exceeds sampleFrames, so nothing overflows.
        for (VstInt32 chunkStart = 0; chunkStart < sampleFrames; chunkStart += count) {
            count = sampleFrames - chunkStart < kChunk ? sampleFrames - chunkStart : kChunk;

            bool anySplit = false;
            for (VstInt32 j = 0; j < count; ++j) {
                // read before this sample's output is written: the output may be the input block
                const double u = Narrowing::load(in[chunkStart + j]);

                double a = u;
                if (switchIsOn(mainDistOn)) {
                    const float amount = mainDistAmount;
                    if (stale(d.mainExponent, amount)) {
                        deriveExponent(d.mainExponent, amount);
                    }
                    const double shaped = kSkipIdentity && d.mainExponent.identity
                                              ? u
                                              : signedPower<Narrowing>(u, d.mainExponent.exponent);
                    a = Narrowing::round(u + (shaped - u) * mainDistMix);
                }

                const float gainValue = gain;
                if (stale(d.inputGain, gainValue)) {
                    deriveGain(*this, d.inputGain, gainValue);
                }
                const double x = applyGain<Narrowing>(a, d.inputGain);
                gained[j] = x;
                split[j] = switchIsOn(eqOn);
                if (!split[j]) {
                    // Done: x is the output. Writing it now is safe, since the
                    // input of this sample has been read and no later one is
                    // at this position.
                    const float sample = Narrowing::store(x);
                    out1[chunkStart + j] = flushedOutput(sample);
                    continue;
                }
                anySplit = true;

                const float lowMidValue = lowMidCrossover;
                const float midHighValue = midHighCrossover;
                if ((differs(d.lowMid, lowMidValue) | differs(d.midHigh, midHighValue)) != 0) {
                    deriveSections(d, lowMidValue, midHighValue);
                }
                const double lowOutput = crossoverStep<Narrowing>(d.lowMid.coefficients, x, lowMid);
                const double highOutput = crossoverStep<Narrowing>(d.midHigh.coefficients, x, midHigh);
                lowOutputs[j] = lowOutput;
                highOutputs[j] = highOutput;
            }

            for (VstInt32 j = 0; j < count && anySplit; ++j) {
                if (!split[j]) {
                    continue;
                }
                const double x = gained[j];
                low = lowOutputs[j];
                midHighOutput = highOutputs[j];
                high = Narrowing::round(x - midHighOutput);
                mid = Narrowing::round(x - (low + high));

                if (switchIsOn(multiDistOn)) {
                    const float lowAmount = lowDistAmount;
                    const float midAmount = midDistAmount;
                    const float highAmount = highDistAmount;
                    const float lowGainValue = lowDistGain;
                    const float midGainValue = midDistGain;
                    const float highGainValue = highDistGain;
                    // One test for the six: they rarely change.
                    if ((differs(d.lowExponent, lowAmount) | differs(d.midExponent, midAmount) |
                         differs(d.highExponent, highAmount) | differs(d.lowDistGain, lowGainValue) |
                         differs(d.midDistGain, midGainValue) | differs(d.highDistGain, highGainValue)) != 0) {
                        deriveBandStages(*this, d, lowAmount, midAmount, highAmount, lowGainValue, midGainValue,
                                         highGainValue);
                        lowPower.forget();
                        midPower.forget();
                        highPower.forget();
                    }
                    low = distortBand<Narrowing, kSkipIdentity, kRemember>(low, d.lowExponent, d.lowDistGain, lowPower);
                    mid = distortBand<Narrowing, kSkipIdentity, kRemember>(mid, d.midExponent, d.midDistGain, midPower);
                    high = distortBand<Narrowing, kSkipIdentity, kRemember>(high, d.highExponent, d.highDistGain,
                                                                            highPower);
                }

                const float lowLevelValue = lowLevel;
                const float midLevelValue = midLevel;
                const float highLevelValue = highLevel;
                if ((differs(d.lowLevel, lowLevelValue) | differs(d.midLevel, midLevelValue) |
                     differs(d.highLevel, highLevelValue)) != 0) {
                    deriveLevels(*this, d, lowLevelValue, midLevelValue, highLevelValue);
                }
                // Multiplying by a factor of exactly 1 changes nothing, in
                // double precision as in single.
                const double y = d.unityLevels
                                     ? (low + mid) + high
                                     : (d.lowLevel.factor * low + d.midLevel.factor * mid) + d.highLevel.factor * high;

                const float sample = Narrowing::store(y);
                out1[chunkStart + j] = flushedOutput(sample);
            }
        }
        return FilterState{lowMid, midHigh, low, mid, high, midHighOutput};
    };

    // The plain conversions while values are far from the bottom of the float
    // range; the careful ones when the memories have decayed near it or the
    // input starts there, and whenever the host rounds in a directed mode.
    const bool nearBottom = nearlySilent(start.lowMid) || nearlySilent(start.midHigh) || nearlySilent(widen(in[0]));
    FilterState end;
    if (!roundsToNearest()) {
        end = processSamples(CarefulNarrowing{}, std::false_type{}, start);
    } else if (nearBottom) {
        end = processSamples(CarefulNearestNarrowing{}, std::true_type{}, start);
    } else {
        end = processSamples(PlainNarrowing{}, std::true_type{}, start);
    }

    // The second output gets the same samples, copied once the block is done:
    // by then every input sample has been read, whichever buffers alias.
    if (out2 != nullptr && out2 != out1) {
        std::memmove(out2, out1, sizeof(float) * static_cast<std::size_t>(sampleFrames));
    }

    lowMidIn1 = toFloat(end.lowMid.in1);
    lowMidIn2 = toFloat(end.lowMid.in2);
    lowMidOut1 = toFloat(end.lowMid.out1);
    lowMidOut2 = toFloat(end.lowMid.out2);
    midHighIn1 = toFloat(end.midHigh.in1);
    midHighIn2 = toFloat(end.midHigh.in2);
    midHighOut1 = toFloat(end.midHigh.out1);
    midHighOut2 = toFloat(end.midHigh.out2);
    lowBand = toFloat(end.low);
    midBand = toFloat(end.mid);
    highBand = toFloat(end.high);
    midHighOut = toFloat(end.midHighOutput);
}
