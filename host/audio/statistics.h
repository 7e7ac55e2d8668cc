// Level statistics of audio: peak, RMS, and a census of the values that must
// never leave a plug-in (NaN, infinity, subnormal numbers) and of the samples
// that an integer file cannot hold (beyond full scale).
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "audio/audio_buffer.h"

// Where a sample sits: frame from the start, channel from 0.
struct SamplePosition {
    std::size_t frame = 0;
    int channel = 0;
};

struct SignalStats {
    // The largest magnitude of all samples: infinite when any sample was
    // infinite, NaN when any was NaN, so that a broken output never looks
    // quiet.
    double peak = 0.0;
    double finitePeak = 0.0;  // the largest finite magnitude
    double sumOfSquares = 0.0;
    std::size_t samples = 0;  // finite samples
    std::size_t nans = 0;
    std::size_t infinities = 0;
    std::size_t subnormals = 0;
    std::size_t overFullScale = 0;  // finite samples with a magnitude above 1
    std::optional<SamplePosition> firstNonFinite;

    // `firstFrame` and `channel` place the samples for firstNonFinite.
    void add(const float* data, std::size_t count, std::size_t firstFrame = 0, int channel = 0);
    void add(const AudioBuffer& buffer);
    // Root mean square over the finite samples; 0 for no samples. Like the
    // peak, NaN or infinite when such samples were seen.
    double rms() const;
    bool onlyNormalNumbers() const { return nans == 0 && infinities == 0 && subnormals == 0; }
    bool allFinite() const { return nans == 0 && infinities == 0; }
    // "2 NaN, 1 infinite, 40 subnormal" listing only the non-zero counts.
    std::string describeBadValues() const;

private:
    // The exact path, sample by sample, for chunks with NaN or infinity.
    void addOneByOne(const float* data, std::size_t count, std::size_t firstFrame, int channel);
};

// 20·log10 of a linear level; minus infinity for 0.
double toDecibels(double linear);
// "-3.0 dBFS", "-inf dBFS" for silence, "+inf dBFS" and "NaN" for broken
// levels.
std::string formatDecibels(double linear);
