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
    for (std::size_t channel = 0; channel < history_.size(); ++channel) {
        auto& past = history_[channel];
        window_.resize(past.size() + frames);
        std::copy(past.begin(), past.end(), window_.begin());
        std::copy(channels[channel], channels[channel] + frames,
                  window_.begin() + static_cast<std::ptrdiff_t>(past.size()));
        peak_ = std::max(peak_, interpolatedPeak(path_, window_.data(), frames));
        std::copy(window_.end() - static_cast<std::ptrdiff_t>(past.size()), window_.end(), past.begin());
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
