// The filter state as the signal path carries it through a block: both
// sections' memories and the band values, as float values held in doubles.
#pragma once

#include <cmath>

#include "crossover_section.h"

namespace signal_path {

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
