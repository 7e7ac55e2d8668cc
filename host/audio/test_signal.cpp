#include "audio/test_signal.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace {

struct Pluck {
    double start;      // seconds
    double frequency;  // Hz
    double amplitude;
    double pan;  // 0 left .. 1 right
};

// An arpeggio up an A minor chord, then the chord strummed downwards.
constexpr Pluck kScore[] = {
    {0.00, 110.00, 0.9, 0.30}, {0.35, 164.81, 0.8, 0.40}, {0.70, 220.00, 0.8, 0.50}, {1.05, 261.63, 0.7, 0.60},
    {1.40, 329.63, 0.7, 0.70}, {1.75, 440.00, 0.6, 0.60}, {2.30, 110.00, 0.6, 0.30}, {2.32, 164.81, 0.6, 0.40},
    {2.34, 220.00, 0.6, 0.50}, {2.36, 261.63, 0.5, 0.60}, {2.38, 329.63, 0.5, 0.70},
};
constexpr double kLengthSeconds = 4.5;
constexpr double kPeak = 0.7079457843841379;  // -3 dBFS
constexpr double kDamping = 0.996;
constexpr double kHalfPi = 1.5707963267948966;
constexpr double kNoteSeconds = 2.2;

// A small deterministic noise source for the initial string excitation.
class XorShift {
public:
    explicit XorShift(std::uint32_t seed) : state_(seed) {}
    double next() {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        return static_cast<double>(state_) / 2147483648.0 - 1.0;
    }

private:
    std::uint32_t state_;
};

void addPluck(std::vector<double>& left, std::vector<double>& right, const Pluck& pluck, double sampleRate,
              XorShift& noise) {
    const auto period = std::max<std::size_t>(2, static_cast<std::size_t>(std::lround(sampleRate / pluck.frequency)));
    std::vector<double> string(period);
    for (double& sample : string) {
        sample = noise.next();
    }
    // One pass of smoothing softens the attack like a finger rather than a pick.
    for (std::size_t i = 1; i < period; ++i) {
        string[i] = 0.5 * (string[i] + string[i - 1]);
    }
    const double leftGain = std::cos(pluck.pan * kHalfPi) * pluck.amplitude;
    const double rightGain = std::sin(pluck.pan * kHalfPi) * pluck.amplitude;
    const auto begin = static_cast<std::size_t>(pluck.start * sampleRate);
    const auto length = static_cast<std::size_t>(kNoteSeconds * sampleRate);
    std::size_t position = 0;
    for (std::size_t i = 0; i < length && begin + i < left.size(); ++i) {
        const std::size_t next = position + 1 == period ? 0 : position + 1;
        const double sample = string[position];
        left[begin + i] += sample * leftGain;
        right[begin + i] += sample * rightGain;
        string[position] = kDamping * 0.5 * (string[position] + string[next]);
        position = next;
    }
}

}  // namespace

AudioBuffer makeDemoSignal(double sampleRate, int channels) {
    const auto frames = static_cast<std::size_t>(kLengthSeconds * sampleRate);
    std::vector<double> left(frames, 0.0);
    std::vector<double> right(frames, 0.0);
    XorShift noise(0x4B446973u);
    for (const Pluck& pluck : kScore) {
        addPluck(left, right, pluck, sampleRate, noise);
    }
    double peak = 0.0;
    for (std::size_t i = 0; i < frames; ++i) {
        peak = std::max({peak, std::fabs(left[i]), std::fabs(right[i])});
    }
    const double scale = peak > 0.0 ? kPeak / peak : 0.0;
    AudioBuffer buffer(channels, frames, sampleRate);
    for (int channel = 0; channel < channels; ++channel) {
        const std::vector<double>& source = channel % 2 == 0 ? left : right;
        std::vector<float>& target = buffer.channels[static_cast<std::size_t>(channel)];
        for (std::size_t i = 0; i < frames; ++i) {
            target[i] = static_cast<float>(source[i] * scale);
        }
    }
    return buffer;
}
