// Deriving what changed: the first pass of every block brings the values of
// derived_parameters.h up to date with the block's parameter snapshot.
#pragma once

#include "derived_parameters.h"
#include "parameter_index.h"
#include "parameter_snapshot.h"

class DistortionK;

// The parameters behind each band's values, low, mid and high.
struct BandParameters {
    ParameterIndex amount;
    ParameterIndex distGain;
    ParameterIndex level;
};

inline constexpr BandParameters kBandParameters[kBandCount] = {
    {kLowDistAmount, kLowDistGain, kLowLevel},
    {kMidDistAmount, kMidDistGain, kMidLevel},
    {kHighDistAmount, kHighDistGain, kHighLevel},
};

// Derives again every value whose parameter differs, bit for bit, from the
// one it came from (every value, the first time). Gains come from the
// effect's levelToGain.
//
// audio thread: no allocation, no locks
void deriveWhatChanged(DistortionK& effect, DerivedParameters& derived, const ParameterSnapshot& parameters);
