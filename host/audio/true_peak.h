// The true peak of a signal: the largest magnitude it reaches between its
// samples as well as at them, as a converter rebuilds the waveform. The
// signal is oversampled four times by a 12-tap-per-phase interpolator (the
// length broadcast meters use), so a peak that falls halfway between two
// samples is found exactly. The interpolator's gain is within 0.02 dB of
// unity up to a quarter of the sample rate and falls to -0.7 dB at 0.4 of
// it; with four points per sample, a sine near Nyquist whose peaks fall
// between the points can read up to about 0.7 dB low there as well.
#pragma once

#include <array>
#include <cstddef>
#include <vector>

#include "audio/loudness_kernels.h"

class TruePeakMeter {
public:
    explicit TruePeakMeter(int channels, KernelPath path = fastestKernelPath());

    // Adds `frames` frames, one array per channel. The caller keeps the
    // values finite: NaN compares as nothing.
    void add(const float* const* channels, std::size_t frames);
    // The largest magnitude over every channel, full scale 1.0. The signal
    // is taken as silence before its first sample and after its last, so
    // the ringing of a last loud sample counts.
    double peak() const;

private:
    // The samples of the last call that interpolation still needs, per
    // channel; silence before the first call.
    KernelPath path_;
    std::vector<std::array<float, kInterpolationTaps - 1>> history_;
    float peak_ = 0.0f;
};
