// The seventeen parameters as data: the host's index is the position in the
// table. Each row gives its index by name, the texts the host shows, the field
// that holds the value, the law for the display figure and the value the
// constructor stores before it applies program 0.
#pragma once

#include <atomic>
#include <cstdint>

#include "distortion_k.h"
#include "parameter_index.h"
#include "value_laws.h"

struct ParameterRow {
    ParameterIndex index;
    const char* name;   // cut to 8 characters on the way to the host
    const char* label;  // the unit; the display text carries none
    std::atomic<float> DistortionK::*field;
    LinearLaw display;
    float constructorValue;
};

struct ParameterTable {
    static constexpr ParameterRow rows[] = {
        {kGain, "Gain", "dB", &DistortionK::gain, kDecibelLaw, 0.5f},
        {kMainDistOn, "K.Dist", "On/Off", &DistortionK::mainDistOn, kSwitchLaw, 0.0f},
        {kMainDistAmount, "L.Dist", "%", &DistortionK::mainDistAmount, kPercentLaw, 0.0f},
        {kMainDistMix, "Mix.Dist", "%", &DistortionK::mainDistMix, kPercentLaw, 1.0f},
        {kEqOn, "EQ", "On/Off", &DistortionK::eqOn, kSwitchLaw, 0.0f},
        {kLowMidCrossover, "Frq L-M", "Hz", &DistortionK::lowMidCrossover, kLowMidFrequencyLaw, 0.25f},
        {kMidHighCrossover, "Frq M-H", "Hz", &DistortionK::midHighCrossover, kMidHighFrequencyLaw, 0.2f},
        {kLowLevel, "Low", "dB", &DistortionK::lowLevel, kDecibelLaw, 0.5f},
        {kMidLevel, "Mid", "dB", &DistortionK::midLevel, kDecibelLaw, 0.5f},
        {kHighLevel, "High", "dB", &DistortionK::highLevel, kDecibelLaw, 0.5f},
        {kMultiDistOn, "Mult.Dist", "On/Off", &DistortionK::multiDistOn, kSwitchLaw, 0.0f},
        {kLowDistAmount, "DistLow", "%", &DistortionK::lowDistAmount, kPercentLaw, 0.0f},
        {kMidDistAmount, "DistMid", "%", &DistortionK::midDistAmount, kPercentLaw, 0.0f},
        {kHighDistAmount, "DistHigh", "%", &DistortionK::highDistAmount, kPercentLaw, 0.0f},
        {kLowDistGain, "GainLow", "dB", &DistortionK::lowDistGain, kDecibelLaw, 0.5f},
        {kMidDistGain, "GainMid", "dB", &DistortionK::midDistGain, kDecibelLaw, 0.5f},
        {kHighDistGain, "GainHigh", "dB", &DistortionK::highDistGain, kDecibelLaw, 0.5f},
    };

    // The row for a host index, or null. The index is tested as an unsigned
    // number, so negative indices are out of range as well.
    static constexpr const ParameterRow* find(VstInt32 index) {
        return static_cast<std::uint32_t>(index) < static_cast<std::uint32_t>(kParameterCount) ? &rows[index] : nullptr;
    }
};

constexpr bool rowsInIndexOrder() {
    for (int i = 0; i < kParameterCount; ++i) {
        if (ParameterTable::rows[i].index != i) {
            return false;
        }
    }
    return true;
}
static_assert(sizeof(ParameterTable::rows) / sizeof(ParameterRow) == kParameterCount, "one row per parameter index");
static_assert(rowsInIndexOrder(), "each row at the position of its index");
static_assert(std::atomic<float>::is_always_lock_free, "parameters are read on the audio thread without a lock");
