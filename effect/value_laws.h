// Linear laws that turn a stored normalised value into the figure a host
// shows, and (for the two crossover parameters) into the frequency the
// signal path filters at. One law serves both, so the display always shows
// the frequency in use.
#pragma once

struct LinearLaw {
    double scale;
    double offset;

    // Computed in double precision from the stored 32-bit value.
    constexpr double operator()(float value) const { return static_cast<double>(value) * scale + offset; }
};

constexpr LinearLaw kDecibelLaw{40.0, -20.0};              // -20 dB .. +20 dB
constexpr LinearLaw kPercentLaw{100.0, 0.0};               // 0 .. 100 %
constexpr LinearLaw kLowMidFrequencyLaw{1980.0, 20.0};     // 20 Hz .. 2000 Hz
constexpr LinearLaw kMidHighFrequencyLaw{18875.0, 125.0};  // 125 Hz .. 19000 Hz
constexpr LinearLaw kSwitchLaw{1.0, 0.0};                  // the stored value itself

// A switch parameter counts as on from 0.5 upwards; NaN counts as off.
constexpr bool switchIsOn(float value) {
    return value >= 0.5f;
}
