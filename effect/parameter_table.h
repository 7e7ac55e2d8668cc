// The seventeen parameters as data: the host's index is the position in the
// table. Each row gives the texts the host shows, the field that holds the
// value, the law for the display figure and the value the constructor stores
// before it applies program 0.
#pragma once

#include <cstdint>

#include "distortion_k.h"
#include "value_laws.h"

struct ParameterRow {
    const char* name;   // cut to 8 characters on the way to the host
    const char* label;  // the unit; the display text carries none
    float DistortionK::*field;
    LinearLaw display;
    float constructorValue;
};

struct ParameterTable {
    static constexpr int kCount = 17;

    static constexpr ParameterRow rows[kCount] = {
        {"Gain", "dB", &DistortionK::gain, kDecibelLaw, 0.5f},
        {"K.Dist", "On/Off", &DistortionK::mainDistOn, kSwitchLaw, 0.0f},
        {"L.Dist", "%", &DistortionK::mainDistAmount, kPercentLaw, 0.0f},
        {"Mix.Dist", "%", &DistortionK::mainDistMix, kPercentLaw, 1.0f},
        {"EQ", "On/Off", &DistortionK::eqOn, kSwitchLaw, 0.0f},
        {"Frq L-M", "Hz", &DistortionK::lowMidCrossover, kLowMidFrequencyLaw, 0.25f},
        {"Frq M-H", "Hz", &DistortionK::midHighCrossover, kMidHighFrequencyLaw, 0.2f},
        {"Low", "dB", &DistortionK::lowLevel, kDecibelLaw, 0.5f},
        {"Mid", "dB", &DistortionK::midLevel, kDecibelLaw, 0.5f},
        {"High", "dB", &DistortionK::highLevel, kDecibelLaw, 0.5f},
        {"Mult.Dist", "On/Off", &DistortionK::multiDistOn, kSwitchLaw, 0.0f},
        {"DistLow", "%", &DistortionK::lowDistAmount, kPercentLaw, 0.0f},
        {"DistMid", "%", &DistortionK::midDistAmount, kPercentLaw, 0.0f},
        {"DistHigh", "%", &DistortionK::highDistAmount, kPercentLaw, 0.0f},
        {"GainLow", "dB", &DistortionK::lowDistGain, kDecibelLaw, 0.5f},
        {"GainMid", "dB", &DistortionK::midDistGain, kDecibelLaw, 0.5f},
        {"GainHigh", "dB", &DistortionK::highDistGain, kDecibelLaw, 0.5f},
    };

    // The row for a host index, or null. The index is tested as an unsigned
    // number, so negative indices are out of range as well.
    static constexpr const ParameterRow* find(VstInt32 index) {
        return static_cast<std::uint32_t>(index) < static_cast<std::uint32_t>(kCount) ? &rows[index] : nullptr;
    }
};

static_assert(ParameterTable::kCount == 17, "the host is told of seventeen parameters");
