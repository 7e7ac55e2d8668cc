#include "audio/true_peak.h"

#include <algorithm>

TruePeakMeter::TruePeakMeter(int channels, KernelPath path)
    : path_(path), history_(static_cast<std::size_t>(std::max(channels, 0))) {
    for (auto& past : history_) {
        past.fill(0.0f);
    }
}

void TruePeakMeter::add(const float* const* channels, std::size_t frames) {
    if (frames == 0) {
        return;
    }
    constexpr std::size_t kPast = kInterpolationTaps - 1;
    for (std::size_t channel = 0; channel < history_.size(); ++channel) {
        auto& past = history_[channel];
        const float* samples = channels[channel];
        // The points whose taps reach back into the last call's samples,
        // from those and the first new ones; then the rest in place.
        const std::size_t joined = std::min(frames, kPast);
        std::array<float, 2 * kPast> seam{};
        std::copy(past.begin(), past.end(), seam.begin());
        std::copy(samples, samples + joined, seam.begin() + kPast);
        peak_ = std::max(peak_, interpolatedPeak(path_, seam.data(), joined));
        if (frames > kPast) {
            peak_ = std::max(peak_, interpolatedPeak(path_, samples, frames - kPast));
            std::copy(samples + frames - kPast, samples + frames, past.begin());
        } else {
            std::copy(seam.begin() + static_cast<std::ptrdiff_t>(joined),
                      seam.begin() + static_cast<std::ptrdiff_t>(joined + kPast), past.begin());
        }
    }
}

double TruePeakMeter::peak() const {
    // The points between the last samples and the silence after them.
    float peak = peak_;
    std::array<float, 2 * (kInterpolationTaps - 1)> ending{};
    for (const auto& past : history_) {
        std::copy(past.begin(), past.end(), ending.begin());
        peak = std::max(peak, interpolatedPeak(KernelPath::Portable, ending.data(), kInterpolationTaps - 1));
    }
    return peak;
}
