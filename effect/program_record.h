// The record the effect keeps for each program: three floats that nothing
// reads and a name of at most 23 characters plus terminator.
#pragma once

#include "aeffect.h"

struct EffectProgram {
    float reserved[3] = {0.0f, 0.0f, 0.0f};
    char name[kVstMaxProgNameLen] = "Default";
};
