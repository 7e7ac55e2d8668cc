// Sample-rate conversion with libsoxr at its very high quality (28-bit
// precision, linear phase), streamed: planar blocks in, planar blocks out,
// memory fixed whatever the length. libsoxr lines the output up with the
// input (its filter's delay is taken out), and at the end of the stream
// gives the rest, so that N input frames become N times the rate ratio,
// rounded.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <vector>

#include "audio/audio_source.h"
#include "audio/statistics.h"

struct soxr;

// The core: one stream at one pair of rates.
class Resampler {
public:
    // Throws HostError (internal) when libsoxr cannot be set up.
    Resampler(int channels, double fromRate, double toRate);
    ~Resampler();
    Resampler(const Resampler&) = delete;
    Resampler& operator=(const Resampler&) = delete;

    // Takes up to `frames` frames from `in` (channel arrays, nullptr at the
    // end of the stream), writes up to `room` frames to `out`; returns the
    // frames taken and given.
    struct Step {
        std::size_t taken = 0;
        std::size_t given = 0;
    };
    Step step(const float* const* in, std::size_t frames, float* const* out, std::size_t room);

    int channelCount() const { return channels_; }

private:
    struct soxr* state_ = nullptr;
    int channels_;
    std::vector<const float*> inPointers_;
    std::vector<float*> outPointers_;
};

// An input at another rate: the source resampled as it is read.
class ResampledSource : public AudioSource {
public:
    // `source` must outlive this one.
    ResampledSource(AudioSource& source, double rate);

    int channelCount() const override { return source_.channelCount(); }
    double sampleRate() const override { return rate_; }
    // The source's length at the new rate, when it is known.
    std::optional<std::size_t> frameCount() const override;
    std::size_t read(float* const* channels, std::size_t frames) override;

private:
    AudioSource& source_;
    double rate_;
    Resampler resampler_;
    std::vector<std::vector<float>> buffer_;  // source frames read, not yet taken
    std::vector<float*> pointers_;
    std::vector<const float*> in_;
    std::size_t buffered_ = 0;
    std::size_t next_ = 0;
    bool sourceEnded_ = false;
    bool flushed_ = false;
};

// Output on its way to the file at another rate: each push is resampled and
// handed on to the sink, with the statistics of what was handed on; finish()
// gives the rest at the end.
class ResamplingSink {
public:
    using Sink = std::function<void(const float* const* channels, std::size_t frames)>;
    ResamplingSink(int channels, double fromRate, double toRate, Sink sink);

    void push(const float* const* channels, std::size_t frames);
    void finish();

    const SignalStats& stats() const { return stats_; }
    std::size_t framesWritten() const { return written_; }

private:
    void deliver(std::size_t frames);

    Resampler resampler_;
    Sink sink_;
    std::vector<std::vector<float>> out_;
    std::vector<float*> pointers_;
    std::vector<const float*> inPointers_;
    SignalStats stats_;
    std::size_t written_ = 0;
};

// "very high quality (libsoxr)": how the resampling is described to users.
inline constexpr const char* kResamplingQuality = "libsoxr, very high quality";
