// What one block of audio runs with, and the arrays its passes hand on.
#pragma once

#include <cstddef>

#include "derived_parameters.h"

namespace signal_path {

// The switches and the mix of the block's parameter snapshot, and the values
// derived from it.
struct BlockSettings {
    bool mainOn;
    bool eqOn;
    bool multiOn;
    double mix;
    const DerivedParameters& derived;
};

// The passes go over a block in runs of at most this many samples, each pass
// handing its results on in arrays of this size on the stack.
constexpr std::size_t kChunk = 256;

// The three band values of every sample of a run, as floats.
using BandValues = float[kBandCount][kChunk];

}  // namespace signal_path
