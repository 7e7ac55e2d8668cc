// Level statistics of audio: peak, RMS, and a census of the values that must
// never leave a plug-in (NaN, infinity, subnormal numbers).
#pragma once

#include <cstddef>
#include <string>

#include "audio/audio_buffer.h"

struct SignalStats {
    double peak = 0.0;  // largest finite magnitude
    double sumOfSquares = 0.0;
    std::size_t samples = 0;
    std::size_t nans = 0;
    std::size_t infinities = 0;
    std::size_t subnormals = 0;

    void add(const float* data, std::size_t count);
    void add(const AudioBuffer& buffer);
    // Root mean square over the finite samples; 0 for no samples.
    double rms() const;
    bool onlyNormalNumbers() const { return nans == 0 && infinities == 0 && subnormals == 0; }
    // "2 NaN, 1 infinite, 40 subnormal" listing only the non-zero counts.
    std::string describeBadValues() const;
};

// 20·log10 of a linear level; minus infinity for 0.
double toDecibels(double linear);
// "-3.0 dB", or "-inf dB" for silence, one decimal.
std::string formatDecibels(double linear);
