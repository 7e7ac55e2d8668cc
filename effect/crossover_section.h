// One second-order low-pass crossover section: its coefficients for a
// frequency, and one filter step over its four memories.
//
// The coefficients deliberately ignore the host's sample rate: the angle is
// 3.0 * f * 4.44444e-5, so a parameter value gives the same filter at every
// rate.
//
// The memories are float values held in doubles, and every output is rounded
// to a float by a Narrowing of float_narrowing.h: which one is the caller's
// choice (each gives the plain conversion's value, at a different cost).
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

// The four memories a section carries from one sample to the next: its
// inputs and outputs one and two samples back.
struct SectionMemory {
    double in1 = 0.0;
    double in2 = 0.0;
    double out1 = 0.0;
    double out2 = 0.0;
};

// Filters x (a float value) and moves the memories on. The output is
// accumulated left to right in double precision and rounded to a float.
//
// A non-finite output (NaN or infinite input, or coefficients from crossover
// values so far outside 0..1 that the section runs away) is still returned
// for this sample, but the memories are cleared instead of keeping it:
// otherwise the section would repeat NaN or infinity for ever.
//
// audio thread: no allocation, no locks
template <typename Narrowing>
inline double crossoverStep(const CrossoverCoefficients& c, double x, SectionMemory& m) {
    const double y = Narrowing::round(c.a0 * x + c.a1 * m.in1 + c.a2 * m.in2 - c.b1 * m.out1 - c.b2 * m.out2);
    if (std::isfinite(y)) {
        m = SectionMemory{x, m.in1, y, m.out1};
    } else {
        m = SectionMemory{};
    }
    return y;
}
