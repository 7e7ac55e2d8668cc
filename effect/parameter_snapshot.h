// The parameter values one block of audio runs with, read once at its start.
// A value the host writes from another thread while the block runs counts
// from the next block on; hosts send their own automation between blocks.
#pragma once

#include "parameter_index.h"

struct ParameterSnapshot {
    float values[kParameterCount];

    float operator[](ParameterIndex index) const { return values[index]; }
};
