#include "ideal_loop.h"

#include <cmath>

namespace bench {
namespace {

double gainOf(float level) {
    const float t = static_cast<float>(2.0 * static_cast<double>(level) - 1.0);
    return static_cast<float>(std::pow(10.0, static_cast<double>(t)));
}

float exponentOf(float amount) {
    const float e = static_cast<float>(1.0 - static_cast<double>(amount) + static_cast<double>(0.1f));
    return e >= 1.0f ? 1.0f : e;
}

void sectionCoefficients(double frequency, double c[5]) {
    const double w = 3.0 * (frequency * 4.44444e-5);
    const double s = 0.5 * std::sin(w);
    const double beta = 0.5 * (1.0 - s) / (1.0 + s);
    const double gamma = (0.5 + beta) * std::cos(w);
    const double alpha = 0.25 * (0.5 + beta - gamma);
    c[0] = 2.0 * alpha;
    c[1] = 4.0 * alpha;
    c[2] = 2.0 * alpha;
    c[3] = -2.0 * gamma;
    c[4] = 2.0 * beta;
}

inline float shape(float v, double e) {
    const double dv = v;
    return static_cast<float>(v > 0.0f ? std::pow(dv, e) : -std::pow(-dv, e));
}

inline float section(const double c[5], float m[4], float x) {
    const float y = static_cast<float>(c[0] * x + c[1] * m[0] + c[2] * m[1] - c[3] * m[2] - c[4] * m[3]);
    m[1] = m[0];
    m[0] = x;
    m[3] = m[2];
    m[2] = y;
    return y;
}

}  // namespace

IdealLoop::IdealLoop(const std::array<float, kParameterCount>& v) {
    mainOn_ = v[kMainDistOn] >= 0.5f;
    mainExponent_ = exponentOf(v[kMainDistAmount]);
    mainShaped_ = mainExponent_ != 1.0;
    mix_ = v[kMainDistMix];
    gain_ = gainOf(v[kGain]);
    eqOn_ = v[kEqOn] >= 0.5f;
    multiOn_ = v[kMultiDistOn] >= 0.5f;
    sectionCoefficients(static_cast<double>(v[kLowMidCrossover]) * 1980.0 + 20.0, lowMid_);
    sectionCoefficients(static_cast<double>(v[kMidHighCrossover]) * 18875.0 + 125.0, midHigh_);
    const auto band = [&](ParameterIndex amount, ParameterIndex distGain, ParameterIndex level) {
        const double e = exponentOf(v[amount]);
        return Band{e != 1.0, e, gainOf(v[distGain]), gainOf(v[level])};
    };
    low_ = band(kLowDistAmount, kLowDistGain, kLowLevel);
    mid_ = band(kMidDistAmount, kMidDistGain, kMidLevel);
    high_ = band(kHighDistAmount, kHighDistGain, kHighLevel);
}

void IdealLoop::process(const float* in, float* out, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        const float u = in[i];
        float a = u;
        if (mainOn_) {
            const float d = mainShaped_ ? shape(u, mainExponent_) : u;
            a = static_cast<float>(u + (static_cast<double>(d) - u) * mix_);
        }
        const float x = static_cast<float>(gain_ * a);
        if (!eqOn_) {
            out[i] = x;
            continue;
        }
        float low = section(lowMid_, lowMidMemory_, x);
        const float midHigh = section(midHigh_, midHighMemory_, x);
        float high = static_cast<float>(static_cast<double>(x) - midHigh);
        float mid = static_cast<float>(x - (static_cast<double>(low) + high));
        if (multiOn_) {
            low = static_cast<float>((low_.shaped ? shape(low, low_.exponent) : low) * low_.distGain);
            mid = static_cast<float>((mid_.shaped ? shape(mid, mid_.exponent) : mid) * mid_.distGain);
            high = static_cast<float>((high_.shaped ? shape(high, high_.exponent) : high) * high_.distGain);
        }
        out[i] = static_cast<float>((low_.level * low + mid_.level * mid) + high_.level * high);
    }
}

}  // namespace bench
