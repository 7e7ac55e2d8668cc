// The host's parameter indices, by name. The parameter table
// (parameter_table.h) holds one row per index, in this order, and every
// factory program one value per index.
#pragma once

#include "aeffect.h"

enum ParameterIndex : VstInt32 {
    kGain,
    kMainDistOn,
    kMainDistAmount,
    kMainDistMix,
    kEqOn,
    kLowMidCrossover,
    kMidHighCrossover,
    kLowLevel,
    kMidLevel,
    kHighLevel,
    kMultiDistOn,
    kLowDistAmount,
    kMidDistAmount,
    kHighDistAmount,
    kLowDistGain,
    kMidDistGain,
    kHighDistGain,
    kParameterCount
};
