// The nine factory programs as data: a name and a value for every one of the
// seventeen parameters, in parameter-index order.
#pragma once

#include <type_traits>

#include "aeffect.h"
#include "parameter_index.h"

// A value for every parameter: a row with fewer or more values than there
// are parameters does not compile (an array would take a short row and fill
// the rest with 0).
struct ProgramValues {
    template <typename... Values>
    constexpr ProgramValues(Values... given) : values{given...} {
        static_assert(sizeof...(Values) == kParameterCount, "a factory program gives every parameter a value");
        static_assert((std::is_same_v<Values, float> && ...), "factory program values are floats");
    }
    constexpr float operator[](int index) const { return values[index]; }

    float values[kParameterCount];
};

struct FactoryProgram {
    const char* name;  // at most 23 characters
    ProgramValues values;
};

// Columns: Gain, K.Dist, L.Dist, Mix.Dist, EQ, Frq L-M, Frq M-H, Low, Mid, High,
// Mult.Dist, DistLow, DistMid, DistHigh, GainLow, GainMid, GainHigh.
inline constexpr FactoryProgram kFactoryPrograms[] = {
    {"Default!",
     {0.5f, 0.5f, 0.71f, 1.0f, 0.0f, 0.25f, 0.26f, 0.5f, 0.5f, 0.5f, 0.0f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f}},
    {"Are you scared?",
     {0.5f, 0.5f, 0.5f, 0.5f, 0.0f, 0.25f, 0.26f, 0.5f, 0.5f, 0.5f, 0.0f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f}},
    {"Now we are sounding!",
     {0.4f, 0.5f, 0.9f, 0.7f, 0.0f, 0.25f, 0.26f, 0.5f, 0.5f, 0.5f, 0.0f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f}},
    {"Brutal Distortion!",
     {0.3f, 0.5f, 1.0f, 1.0f, 0.0f, 0.25f, 0.26f, 0.5f, 0.5f, 0.5f, 0.0f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f}},
    {"Acoustic Mult Dist!",
     {0.58f, 0.0f, 0.5f, 1.0f, 1.0f, 0.127f, 0.26f, 0.5f, 0.5f, 0.5f, 1.0f, 0.7f, 0.0f, 0.0f, 0.45f, 0.5f, 0.5f}},
    {"Dual Distortion!",
     {0.3f, 1.0f, 0.7f, 1.0f, 1.0f, 0.25f, 0.27f, 0.5f, 0.5f, 0.5f, 1.0f, 0.72f, 0.3f, 0.52f, 0.5f, 0.5f, 0.4f}},
    {"Multiband LowDist!",
     {0.5f, 0.0f, 0.5f, 1.0f, 1.0f, 0.25f, 0.14f, 0.5f, 0.5f, 0.73f, 1.0f, 0.91f, 0.0f, 0.0f, 0.35f, 0.5f, 0.5f}},
    {"Multiband MidDist!",
     {0.5f, 0.0f, 0.5f, 1.0f, 1.0f, 0.25f, 0.14f, 0.8f, 0.5f, 0.8f, 1.0f, 0.0f, 0.91f, 0.0f, 0.5f, 0.35f, 0.5f}},
    {"Multiband HighDist!",
     {0.5f, 0.0f, 0.5f, 1.0f, 1.0f, 0.25f, 0.14f, 0.8f, 0.5f, 0.5f, 1.0f, 0.0f, 0.0f, 0.91f, 0.5f, 0.5f, 0.35f}},
};

inline constexpr int kFactoryProgramCount = static_cast<int>(sizeof(kFactoryPrograms) / sizeof(kFactoryPrograms[0]));

constexpr bool factoryNamesFit() {
    for (const FactoryProgram& program : kFactoryPrograms) {
        int length = 0;
        while (program.name[length] != 0) {
            ++length;
        }
        if (length >= kVstMaxProgNameLen) {
            return false;
        }
    }
    return true;
}
static_assert(kFactoryProgramCount == 9, "one factory program per announced program");
static_assert(factoryNamesFit(), "factory names fit a program record");
