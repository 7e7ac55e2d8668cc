// The crossover sections as the signal path runs them within a block: the
// memories are float values held in doubles, rounded with a Narrowing of
// float_narrowing.h, so that the choice of rounding stays with the caller.
#pragma once

#include <cmath>

#include "crossover_section.h"

namespace signal_path {

// The four memories of one section, as float values held in doubles.
struct SectionMemory {
    double in1;
    double in2;
    double out1;
    double out2;
};

// The section's output for x, accumulated left to right and rounded to a float.
template <typename Narrowing>
inline double sectionOutput(const CrossoverCoefficients& c, double x, const SectionMemory& m) {
    return Narrowing::round(c.a0 * x + c.a1 * m.in1 + c.a2 * m.in2 - c.b1 * m.out1 - c.b2 * m.out2);
}

// Moves the memories on by one sample. A non-finite output clears them
// instead, so that the section cannot repeat NaN or infinity for ever.
inline void advanceSection(SectionMemory& m, double x, double y) {
    if (!std::isfinite(y)) {
        m = SectionMemory{0.0, 0.0, 0.0, 0.0};
        return;
    }
    m.in2 = m.in1;
    m.in1 = x;
    m.out2 = m.out1;
    m.out1 = y;
}

// The filter state a block starts from and leaves behind.
struct FilterState {
    SectionMemory lowMid;
    SectionMemory midHigh;
    double low;
    double mid;
    double high;
    double midHighOutput;
};

// True for a value that is not zero but lies so near the bottom of the float
// range that values below it are about to arise: a decaying filter memory.
inline bool nearlySilent(double v) {
    return v != 0.0 && std::fabs(v) < 0x1p-100;
}

// True when any of the section's memories is.
inline bool nearlySilent(const SectionMemory& m) {
    return nearlySilent(m.in1) || nearlySilent(m.in2) || nearlySilent(m.out1) || nearlySilent(m.out2);
}

}  // namespace signal_path
