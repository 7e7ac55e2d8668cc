#include "audio/loudness_meter.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr double kPi = 3.14159265358979323846;

// The K-weighting: a high shelf (+4 dB above about 1.7 kHz, the head's
// effect) and a high-pass (the ear's loss below about 40 Hz), given by
// BS.1770 as coefficients at 48 kHz. These analog parameters, put through
// the bilinear transform, give those coefficients at 48 kHz and the same
// curve at any other rate.
constexpr double kShelfHz = 1681.974450955533;
constexpr double kShelfGainDb = 3.999843853973347;
constexpr double kShelfQ = 0.7071752369554196;
constexpr double kShelfBandExponent = 0.4996667741545416;
constexpr double kHighPassHz = 38.13547087602444;
constexpr double kHighPassQ = 0.5003270373238773;
constexpr double kReferenceRate = 48000.0;

constexpr double kMomentaryRelativeGateLu = -10.0;
constexpr double kShortTermRelativeGateLu = -20.0;
constexpr double kRangeLow = 0.10;
constexpr double kRangeHigh = 0.95;

}  // namespace

LoudnessMeter::LoudnessMeter(int channels, double sampleRate, KernelPath path)
    : path_(path),
      rate_(sampleRate),
      memory_(static_cast<std::size_t>(std::max(channels, 0))),
      truePeak_(channels, path) {
    const double k = std::tan(kPi * kShelfHz / sampleRate);
    const double high = std::pow(10.0, kShelfGainDb / 20.0);
    const double band = std::pow(high, kShelfBandExponent);
    const double a0 = 1.0 + k / kShelfQ + k * k;
    filter_.shelf = {(high + band * k / kShelfQ + k * k) / a0, 2.0 * (k * k - high) / a0,
                     (high - band * k / kShelfQ + k * k) / a0, 2.0 * (k * k - 1.0) / a0,
                     (1.0 - k / kShelfQ + k * k) / a0};
    // BS.1770 gives the high-pass's numerator as 1, -2, 1, which leaves it
    // a gain above 1 at high frequencies that differs with the rate (+0.043
    // dB at 48 kHz, +0.021 dB at 96 kHz). The squares are scaled to the 48
    // kHz gain, so that the whole curve is the same at every rate.
    const auto highPassAt = [](double rate) {
        const double h = std::tan(kPi * kHighPassHz / rate);
        const double h0 = 1.0 + h / kHighPassQ + h * h;
        return Biquad{1.0, -2.0, 1.0, 2.0 * (h * h - 1.0) / h0, (1.0 - h / kHighPassQ + h * h) / h0};
    };
    const auto highGain = [](const Biquad& section) { return 4.0 / (1.0 - section.a1 + section.a2); };
    filter_.highPass = highPassAt(sampleRate);
    const double scale = highGain(highPassAt(kReferenceRate)) / highGain(filter_.highPass);
    squareScale_ = scale * scale;
    subBlockEnd_ = nextBoundary();
}

std::size_t LoudnessMeter::nextBoundary() const {
    // 100 ms need not be a whole number of frames (11025 Hz): each stretch
    // ends at the frame nearest its time, and holds one frame at least
    // (whatever rate a file claims).
    const double end = std::round(static_cast<double>(subBlocks_ + 1) * rate_ / 10.0);
    return end > static_cast<double>(position_) ? static_cast<std::size_t>(end) : position_ + 1;
}

void LoudnessMeter::add(const float* const* channels, std::size_t frames) {
    if (sawNan_) {
        return;  // nothing more can change the figures
    }
    if (sawInfinity_) {
        noteNonFinite(channels, frames);
        return;
    }
    truePeak_.add(channels, frames);
    const std::size_t count = memory_.size();
    for (std::size_t done = 0; done < frames;) {
        const std::size_t span = std::min(frames - done, subBlockEnd_ - position_);
        std::size_t c = 0;
        for (; c + 2 <= count; c += 2) {
            kWeighTwo(path_, filter_, channels[c] + done, channels[c + 1] + done, &memory_[c], span);
        }
        if (c < count) {
            kWeighOne(filter_, channels[c] + done, memory_[c], span);
        }
        done += span;
        position_ += span;
        if (position_ == subBlockEnd_) {
            endSubBlock();
        }
    }
    // NaN and infinity make their way into every sum; only then are the
    // samples looked at one by one.
    const bool sumsFinite = std::all_of(memory_.begin(), memory_.end(),
                                        [](const KWeightingMemory& memory) { return std::isfinite(memory.squares); });
    if (!sumsFinite ||
        !std::isfinite(recentEnergy_[(subBlocks_ + kSubBlocksPerShortTerm - 1) % kSubBlocksPerShortTerm])) {
        noteNonFinite(channels, frames);
    }
}

void LoudnessMeter::noteNonFinite(const float* const* channels, std::size_t frames) {
    for (std::size_t c = 0; c < memory_.size(); ++c) {
        for (std::size_t i = 0; i < frames; ++i) {
            if (std::isnan(channels[c][i])) {
                sawNan_ = true;
                return;
            }
            sawInfinity_ = sawInfinity_ || std::isinf(channels[c][i]);
        }
    }
}

void LoudnessMeter::endSubBlock() {
    const std::size_t slot = subBlocks_ % kSubBlocksPerShortTerm;
    double squares = 0.0;
    for (KWeightingMemory& memory : memory_) {
        squares += memory.squares;
        memory.squares = 0.0;
    }
    recentEnergy_[slot] = squareScale_ * squares;
    recentFrames_[slot] = subBlockEnd_ - subBlockStart_;
    ++subBlocks_;
    subBlockStart_ = subBlockEnd_;
    subBlockEnd_ = nextBoundary();
    const auto meanOfLast = [this](std::size_t stretches) {
        double energy = 0.0;
        std::size_t frames = 0;
        for (std::size_t back = 1; back <= stretches; ++back) {
            const std::size_t at = (subBlocks_ - back) % kSubBlocksPerShortTerm;
            energy += recentEnergy_[at];
            frames += recentFrames_[at];
        }
        return frames > 0 ? energy / static_cast<double>(frames) : 0.0;
    };
    if (subBlocks_ >= kSubBlocksPerMomentary) {
        momentary_.add(meanOfLast(kSubBlocksPerMomentary));
    }
    if (subBlocks_ >= kSubBlocksPerShortTerm) {
        shortTerm_.add(meanOfLast(kSubBlocksPerShortTerm));
    }
}

LoudnessFigures LoudnessMeter::figures() const {
    LoudnessFigures figures;
    if (sawNan_ || sawInfinity_) {
        figures.truePeak = sawNan_ ? std::numeric_limits<double>::quiet_NaN() : std::numeric_limits<double>::infinity();
        return figures;
    }
    figures.integratedLufs = momentary_.gatedLoudness(kMomentaryRelativeGateLu);
    figures.rangeLu = shortTerm_.spread(kShortTermRelativeGateLu, kRangeLow, kRangeHigh);
    figures.truePeak = truePeak_.peak();
    return figures;
}
