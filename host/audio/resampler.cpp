#include "audio/resampler.h"

#include <soxr.h>

#include <cmath>
#include <stdexcept>

namespace {

// Frames moved to and from libsoxr at a time.
constexpr std::size_t kResampleChunkFrames = 8192;

}  // namespace

Resampler::Resampler(int channels, double fromRate, double toRate)
    : channels_(channels),
      inPointers_(static_cast<std::size_t>(channels)),
      outPointers_(static_cast<std::size_t>(channels)) {
    const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_S, SOXR_FLOAT32_S);
    const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_VHQ, SOXR_LINEAR_PHASE);
    const soxr_runtime_spec_t runtime = soxr_runtime_spec(1);
    soxr_error_t error = nullptr;
    state_ = soxr_create(fromRate, toRate, static_cast<unsigned>(channels), &error, &io, &quality, &runtime);
    if (state_ == nullptr || error != nullptr) {
        soxr_delete(state_);
        throw std::runtime_error(std::string("libsoxr cannot resample: ") + soxr_strerror(error));
    }
}

Resampler::~Resampler() {
    soxr_delete(state_);
}

Resampler::Step Resampler::step(const float* const* in, std::size_t frames, float* const* out, std::size_t room) {
    Step done;
    for (std::size_t channel = 0; channel < outPointers_.size(); ++channel) {
        outPointers_[channel] = out[channel];
        if (in != nullptr) {
            inPointers_[channel] = in[channel];
        }
    }
    const soxr_error_t error =
        soxr_process(state_, in != nullptr ? static_cast<soxr_in_t>(inPointers_.data()) : nullptr, frames, &done.taken,
                     static_cast<soxr_out_t>(outPointers_.data()), room, &done.given);
    if (error != nullptr) {
        throw std::runtime_error(std::string("libsoxr failed: ") + error);
    }
    return done;
}

ResampledSource::ResampledSource(AudioSource& source, double rate)
    : source_(source),
      rate_(rate),
      resampler_(source.channelCount(), source.sampleRate(), rate),
      buffer_(static_cast<std::size_t>(source.channelCount()), std::vector<float>(kResampleChunkFrames)),
      pointers_(static_cast<std::size_t>(source.channelCount())),
      in_(static_cast<std::size_t>(source.channelCount())) {}

std::optional<std::size_t> ResampledSource::frameCount() const {
    const std::optional<std::size_t> frames = source_.frameCount();
    if (!frames) {
        return std::nullopt;
    }
    return static_cast<std::size_t>(std::llround(static_cast<double>(*frames) * rate_ / source_.sampleRate()));
}

// Reader thread.
std::size_t ResampledSource::read(float* const* channels, std::size_t frames) {
    std::size_t given = 0;
    std::vector<float*>& at = pointers_;
    while (given < frames && !flushed_) {
        if (buffered_ == 0 && !sourceEnded_) {
            for (std::size_t channel = 0; channel < buffer_.size(); ++channel) {
                at[channel] = buffer_[channel].data();
            }
            buffered_ = source_.read(at.data(), kResampleChunkFrames);
            next_ = 0;
            sourceEnded_ = buffered_ == 0;
        }
        for (std::size_t channel = 0; channel < buffer_.size(); ++channel) {
            in_[channel] = buffer_[channel].data() + next_;
            at[channel] = channels[channel] + given;
        }
        const Resampler::Step step =
            resampler_.step(sourceEnded_ ? nullptr : in_.data(), buffered_, at.data(), frames - given);
        next_ += step.taken;
        buffered_ -= step.taken;
        given += step.given;
        flushed_ = sourceEnded_ && step.given == 0;
    }
    return given;
}

ResamplingSink::ResamplingSink(int channels, double fromRate, double toRate, Sink sink)
    : resampler_(channels, fromRate, toRate),
      sink_(std::move(sink)),
      out_(static_cast<std::size_t>(channels), std::vector<float>(kResampleChunkFrames)),
      pointers_(static_cast<std::size_t>(channels)),
      inPointers_(static_cast<std::size_t>(channels)) {
    for (std::size_t channel = 0; channel < out_.size(); ++channel) {
        pointers_[channel] = out_[channel].data();
    }
}

void ResamplingSink::deliver(std::size_t frames) {
    if (frames == 0) {
        return;
    }
    for (std::size_t channel = 0; channel < out_.size(); ++channel) {
        stats_.add(out_[channel].data(), frames, written_, static_cast<int>(channel));
    }
    sink_(pointers_.data(), frames);
    written_ += frames;
}

// Writer thread.
void ResamplingSink::push(const float* const* channels, std::size_t frames) {
    std::size_t taken = 0;
    while (taken < frames) {
        for (std::size_t channel = 0; channel < inPointers_.size(); ++channel) {
            inPointers_[channel] = channels[channel] + taken;
        }
        const Resampler::Step step =
            resampler_.step(inPointers_.data(), frames - taken, pointers_.data(), kResampleChunkFrames);
        taken += step.taken;
        deliver(step.given);
        if (step.taken == 0 && step.given == 0) {
            throw std::runtime_error("libsoxr took no input and gave no output");
        }
    }
}

void ResamplingSink::finish() {
    for (;;) {
        const Resampler::Step step = resampler_.step(nullptr, 0, pointers_.data(), kResampleChunkFrames);
        if (step.given == 0) {
            return;
        }
        deliver(step.given);
    }
}
