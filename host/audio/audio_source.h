// Audio that the renderer pulls block by block: a file being read, a signal
// held in memory, or silence. Whatever the source, memory use does not grow
// with its length beyond what the source itself holds.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "audio/audio_buffer.h"

class AudioSource {
public:
    virtual ~AudioSource() = default;
    virtual int channelCount() const = 0;
    virtual double sampleRate() const = 0;
    // Frames in the whole stream when known in advance (a pipe's is not).
    virtual std::optional<std::size_t> frameCount() const = 0;
    // Writes up to `frames` frames into `channels` (channelCount() arrays);
    // returns how many it wrote, 0 once the stream has ended.
    virtual std::size_t read(float* const* channels, std::size_t frames) = 0;
};

// A signal in memory, such as the embedded test signal.
class BufferSource : public AudioSource {
public:
    explicit BufferSource(AudioBuffer buffer) : buffer_(std::move(buffer)) {}
    int channelCount() const override { return buffer_.channelCount(); }
    double sampleRate() const override { return buffer_.sampleRate; }
    std::optional<std::size_t> frameCount() const override { return buffer_.frameCount(); }
    std::size_t read(float* const* channels, std::size_t frames) override;

private:
    AudioBuffer buffer_;
    std::size_t position_ = 0;
};

// `frames` frames of silence, the input of an instrument playing MIDI.
class SilenceSource : public AudioSource {
public:
    SilenceSource(int channels, double sampleRate, std::size_t frames)
        : channels_(channels), sampleRate_(sampleRate), frames_(frames) {}
    int channelCount() const override { return channels_; }
    double sampleRate() const override { return sampleRate_; }
    std::optional<std::size_t> frameCount() const override { return frames_; }
    std::size_t read(float* const* channels, std::size_t frames) override;

private:
    int channels_;
    double sampleRate_;
    std::size_t frames_;
    std::size_t position_ = 0;
};
