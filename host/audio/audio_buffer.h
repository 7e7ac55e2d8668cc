// Planar audio in memory: one vector of 32-bit samples per channel, all of
// the same length.
#pragma once

#include <cstddef>
#include <vector>

struct AudioBuffer {
    double sampleRate = 44100.0;
    std::vector<std::vector<float>> channels;

    AudioBuffer() = default;
    AudioBuffer(int channelCount, std::size_t frameCount, double rate)
        : sampleRate(rate), channels(static_cast<std::size_t>(channelCount), std::vector<float>(frameCount, 0.0f)) {}

    int channelCount() const { return static_cast<int>(channels.size()); }
    std::size_t frameCount() const { return channels.empty() ? 0 : channels.front().size(); }
    double seconds() const { return sampleRate > 0.0 ? static_cast<double>(frameCount()) / sampleRate : 0.0; }
};
