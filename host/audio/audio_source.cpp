#include "audio/audio_source.h"

#include <algorithm>
#include <cstring>

std::size_t BufferSource::read(float* const* channels, std::size_t frames) {
    const std::size_t count = std::min(frames, buffer_.frameCount() - position_);
    for (std::size_t channel = 0; channel < buffer_.channels.size(); ++channel) {
        std::memcpy(channels[channel], buffer_.channels[channel].data() + position_, count * sizeof(float));
    }
    position_ += count;
    return count;
}

std::size_t SilenceSource::read(float* const* channels, std::size_t frames) {
    const std::size_t count = std::min(frames, frames_ - position_);
    for (int channel = 0; channel < channels_; ++channel) {
        std::fill(channels[channel], channels[channel] + count, 0.0f);
    }
    position_ += count;
    return count;
}
