// Second-order low-pass crossover sections: the coefficients for a
// frequency, and one filter step of two sections at once over their four
// memories each.
//
// The coefficients deliberately ignore the host's sample rate: the angle is
// 3.0 * f * 4.44444e-5, so a parameter value gives the same filter at every
// rate.
//
// The memories are float values held in doubles, and every output is rounded
// to a float by a Narrowing of float_narrowing.h: which one is the caller's
// choice (each gives the plain conversion's value, at a different cost).
#pragma once

#include <emmintrin.h>

#include <cfloat>
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

// Two sections side by side, each value an SSE2 register: lane 0 holds the
// first section's, lane 1 the second's. Both sections of the crossover take
// the same input, so one step filters both with half the instructions, and
// their memories fit the eight vector registers of the 32-bit build.
struct SectionPair {
    __m128d a0;
    __m128d a1;
    __m128d a2;
    __m128d b1;
    __m128d b2;
};

struct SectionPairMemory {
    __m128d in1;
    __m128d in2;
    __m128d out1;
    __m128d out2;
};

inline SectionPair sectionPair(const CrossoverCoefficients& first, const CrossoverCoefficients& second) {
    return SectionPair{_mm_set_pd(second.a0, first.a0), _mm_set_pd(second.a1, first.a1),
                       _mm_set_pd(second.a2, first.a2), _mm_set_pd(second.b1, first.b1),
                       _mm_set_pd(second.b2, first.b2)};
}

inline SectionPairMemory memoryPair(const SectionMemory& first, const SectionMemory& second) {
    return SectionPairMemory{_mm_set_pd(second.in1, first.in1), _mm_set_pd(second.in2, first.in2),
                             _mm_set_pd(second.out1, first.out1), _mm_set_pd(second.out2, first.out2)};
}

// One lane's memories: 0 the first section's, 1 the second's.
inline SectionMemory sectionMemory(const SectionPairMemory& m, int lane) {
    return SectionMemory{m.in1[lane], m.in2[lane], m.out1[lane], m.out2[lane]};
}

// All ones in the lanes of v that hold a finite value, zero in the others.
inline __m128d finiteLanes(__m128d v) {
    const __m128d magnitude = _mm_andnot_pd(_mm_set1_pd(-0.0), v);
    return _mm_cmple_pd(magnitude, _mm_set1_pd(DBL_MAX));
}

// Filters x (a float value) through both sections and moves their memories
// on; returns both outputs. Each output is accumulated left to right in
// double precision and rounded to a float, lane by lane exactly as one
// section alone would be.
//
// A non-finite output (NaN or infinite input, or coefficients from crossover
// values so far outside 0..1 that the section runs away) is still returned
// for this sample, but that section's memories are cleared instead of
// keeping it: otherwise the section would repeat NaN or infinity for ever.
//
// audio thread: no allocation, no locks
template <typename Narrowing>
inline __m128d crossoverStep(const SectionPair& c, double x, SectionPairMemory& m) {
    const __m128d in = _mm_set1_pd(x);
    const __m128d y = Narrowing::round(c.a0 * in + c.a1 * m.in1 + c.a2 * m.in2 - c.b1 * m.out1 - c.b2 * m.out2);
    const __m128d finite = finiteLanes(y);
    if (_mm_movemask_pd(finite) == 3) {
        m = SectionPairMemory{in, m.in1, y, m.out1};
    } else {
        m = SectionPairMemory{_mm_and_pd(in, finite), _mm_and_pd(m.in1, finite), _mm_and_pd(y, finite),
                              _mm_and_pd(m.out1, finite)};
    }
    return y;
}
