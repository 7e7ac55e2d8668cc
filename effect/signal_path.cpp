// The audio processing: main distortion, input gain, and the optional
// three-band split with per-band distortion and levels. Every value the
// chain keeps is stored as a 32-bit float after its step; the expressions
// inside a step are formed in double precision.
#include <cmath>

#include "crossover_section.h"
#include "distortion_k.h"
#include "power_law.h"
#include "value_laws.h"

namespace {
float narrow(double value) {
    return static_cast<float>(value);
}

// One band's distortion stage: the power law with the band's amount, then the
// band's gain.
float distortBand(float band, float amount, float gainFactor) {
    const float shaped = signedPower(band, distortionExponent(amount));
    return narrow(static_cast<double>(shaped) * gainFactor);
}
}  // namespace

float DistortionK::levelToGain(float level) {
    const float exponent = narrow(2.0 * level - 1.0);
    return narrow(std::pow(10.0, static_cast<double>(exponent)));
}

void DistortionK::processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) {
    const float* in = inputs[0];
    float* out1 = outputs[0];
    float* out2 = outputs[1];

    for (VstInt32 i = 0; i < sampleFrames; ++i) {
        const float u = in[i];  // read before writing: the output may be the input block

        float a = u;
        if (switchIsOn(mainDistOn)) {
            const float d = signedPower(u, distortionExponent(mainDistAmount));
            a = narrow(u + (static_cast<double>(d) - u) * mainDistMix);
        }

        const float x = narrow(static_cast<double>(levelToGain(gain)) * a);
        float y = x;

        if (switchIsOn(eqOn)) {
            lowBand = crossoverStep(crossoverCoefficients(kLowMidFrequencyLaw(lowMidCrossover)), x,
                                    CrossoverMemory{lowMidIn1, lowMidIn2, lowMidOut1, lowMidOut2});
            midHighOut = crossoverStep(crossoverCoefficients(kMidHighFrequencyLaw(midHighCrossover)), x,
                                       CrossoverMemory{midHighIn1, midHighIn2, midHighOut1, midHighOut2});

            highBand = narrow(static_cast<double>(x) - midHighOut);
            midBand = narrow(x - (static_cast<double>(lowBand) + highBand));

            if (switchIsOn(multiDistOn)) {
                lowBand = distortBand(lowBand, lowDistAmount, levelToGain(lowDistGain));
                midBand = distortBand(midBand, midDistAmount, levelToGain(midDistGain));
                highBand = distortBand(highBand, highDistAmount, levelToGain(highDistGain));
            }

            const double low = static_cast<double>(levelToGain(lowLevel)) * lowBand;
            const double mid = static_cast<double>(levelToGain(midLevel)) * midBand;
            const double high = static_cast<double>(levelToGain(highLevel)) * highBand;
            y = narrow((low + mid) + high);
        }

        out1[i] = y;
        if (out2 != nullptr) {
            out2[i] = y;
        }
    }
}
