// A fixed stretch of planar audio in one allocation: `channels` arrays of
// `frames` samples, zeroed at the start.
#pragma once

#include <algorithm>
#include <cstddef>
#include <vector>

class PlanarChunk {
public:
    PlanarChunk(int channels, std::size_t frames)
        : frames_(frames), storage_(static_cast<std::size_t>(std::max(channels, 0)) * frames, 0.0f) {
        for (std::size_t channel = 0; channel < static_cast<std::size_t>(std::max(channels, 0)); ++channel) {
            pointers_.push_back(storage_.data() + channel * frames);
        }
    }
    // The pointers stay valid when the chunk is moved: they point into the
    // vector's heap block, which moves with it.
    PlanarChunk(PlanarChunk&&) = default;
    PlanarChunk& operator=(PlanarChunk&&) = default;
    PlanarChunk(const PlanarChunk&) = delete;
    PlanarChunk& operator=(const PlanarChunk&) = delete;

    std::size_t frames() const { return frames_; }
    float* const* channels() const { return pointers_.data(); }
    float* channel(std::size_t index) const { return pointers_[index]; }
    // Zeroes frames [from, frames()) of every channel.
    void silenceFrom(std::size_t from) {
        for (float* channel : pointers_) {
            std::fill(channel + from, channel + frames_, 0.0f);
        }
    }

private:
    std::size_t frames_;
    std::vector<float> storage_;
    std::vector<float*> pointers_;
};
