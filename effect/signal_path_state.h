// The state the signal path keeps from one block to the next: both crossover
// sections' memories, the values derived from parameters, and a state found
// settled.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>

#include "crossover_section.h"
#include "derived_parameters.h"
#include "float_narrowing.h"
#include "parameter_snapshot.h"

namespace signal_path {

// The filter state, as float values held in doubles: the sections' inputs
// and outputs one and two samples back (lowMidIn1, lowMidIn2, lowMidOut1,
// lowMidOut2 and the same for midHigh). Nothing else carries information
// from one sample to the next: the band values and the mid-high section's
// current output are recomputed for every sample, in the crossover pass.
struct FilterState {
    SectionMemory lowMid;
    SectionMemory midHigh;
};

// The state a sample left exactly as it found it. While the input repeats
// that sample's bits and the parameters stay the same, every later sample
// does exactly what it did, so its output repeats too and is not computed
// again. After the input stops, the section memories decay into a dead band
// of the float recurrence and stay there (within 2 800 to 5 300 samples at
// the factory programs' crossovers), so a silence is, from then on, this one
// sample over and over.
struct SettledState {
    bool valid = false;
    std::uint32_t input = 0;
    float output = 0.0f;
    ParameterSnapshot parameters{};  // the ones it was found with
};

// True when every one of count input samples repeats the settled one.
inline bool repeatsSettled(const SettledState& settled, const float* in, std::size_t count) {
    if (!settled.valid) {
        return false;
    }
    for (std::size_t i = 0; i < count; ++i) {
        if (float_narrowing::bitsOf(in[i]) != settled.input) {
            return false;
        }
    }
    return true;
}

struct SignalPathState {
    FilterState filter;
    DerivedParameters derived;
    SettledState settled;
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
