// One second-order low-pass crossover section: its coefficients for a
// frequency and one filter step over caller-owned memories. The effect keeps
// the memories as separate members, so the step takes them by reference.
//
// The coefficients deliberately ignore the host's sample rate: the angle is
// 3.0 * f * 4.44444e-5, so a parameter value gives the same filter at every
// rate.
#pragma once

#include <cmath>

struct CrossoverCoefficients {
    double a0;
    double a1;
    double a2;
    double b1;
    double b2;
};

inline CrossoverCoefficients crossoverCoefficients(double frequency) {
    const double w = 3.0 * (frequency * 4.44444e-5);
    const double s = 0.5 * std::sin(w);
    const double beta = 0.5 * (1.0 - s) / (1.0 + s);
    const double gamma = (0.5 + beta) * std::cos(w);
    const double alpha = 0.25 * (0.5 + beta - gamma);
    return CrossoverCoefficients{2.0 * alpha, 4.0 * alpha, 2.0 * alpha, -2.0 * gamma, 2.0 * beta};
}

// The four memories a section carries from one sample to the next.
struct CrossoverMemory {
    float& in1;
    float& in2;
    float& out1;
    float& out2;
};

// Filters x and shifts the memories. The output is accumulated left to right
// in double precision and stored as a 32-bit float.
//
// A non-finite output (NaN or infinite input, or coefficients from crossover
// values so far outside 0..1 that the section runs away) is still returned
// for this sample, but the memories are cleared instead of keeping it:
// otherwise the section would repeat NaN or infinity for ever.
//
// audio thread: no allocation, no locks
inline float crossoverStep(const CrossoverCoefficients& c, float x, CrossoverMemory m) {
    const double y = c.a0 * x + c.a1 * m.in1 + c.a2 * m.in2 - c.b1 * m.out1 - c.b2 * m.out2;
    const float out = static_cast<float>(y);
    if (!std::isfinite(out)) {
        m.in1 = m.in2 = m.out1 = m.out2 = 0.0f;
        return out;
    }
    m.in2 = m.in1;
    m.in1 = x;
    m.out2 = m.out1;
    m.out1 = out;
    return out;
}
