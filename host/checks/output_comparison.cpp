#include "checks/output_comparison.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "support/text_format.h"

namespace {

double peakOf(const AudioBuffer& buffer) {
    double peak = 0.0;
    for (const auto& channel : buffer.channels) {
        for (float sample : channel) {
            if (std::isfinite(sample)) {
                peak = std::max(peak, std::fabs(static_cast<double>(sample)));
            }
        }
    }
    return peak;
}

bool allZero(const AudioBuffer& buffer) {
    for (const auto& channel : buffer.channels) {
        for (float sample : channel) {
            if (sample != 0.0f) {
                return false;
            }
        }
    }
    return true;
}

double differenceOf(float expected, float actual) {
    if (std::isnan(expected) && std::isnan(actual)) {
        return 0.0;
    }
    if (!std::isfinite(expected) || !std::isfinite(actual)) {
        return expected == actual ? 0.0 : std::numeric_limits<double>::infinity();
    }
    return std::fabs(static_cast<double>(expected) - static_cast<double>(actual));
}

}  // namespace

OutputComparison compareOutputs(const AudioBuffer& expected, const AudioBuffer& actual, double toleranceDb) {
    OutputComparison result;
    result.worstDb = -std::numeric_limits<double>::infinity();
    if (expected.channelCount() != actual.channelCount() || expected.frameCount() != actual.frameCount()) {
        result.agree = false;
        result.shapeMismatch = format("%d channels of %zu frames against %d of %zu", expected.channelCount(),
                                      expected.frameCount(), actual.channelCount(), actual.frameCount());
        return result;
    }
    const double peak = std::max(peakOf(expected), peakOf(actual));
    result.silent = peak == 0.0 && allZero(expected) && allZero(actual);
    const double allowed = peak * std::pow(10.0, toleranceDb / 20.0);
    double worst = 0.0;
    for (std::size_t channel = 0; channel < expected.channels.size(); ++channel) {
        const auto& want = expected.channels[channel];
        const auto& got = actual.channels[channel];
        for (std::size_t frame = 0; frame < want.size(); ++frame) {
            const double difference = differenceOf(want[frame], got[frame]);
            worst = std::max(worst, difference);
            if (difference > allowed && result.agree) {
                result.agree = false;
                result.channel = static_cast<int>(channel);
                result.frame = frame;
                result.expected = want[frame];
                result.actual = got[frame];
            }
        }
    }
    if (worst > 0.0) {
        result.worstDb = peak > 0.0 ? 20.0 * std::log10(worst / peak) : std::numeric_limits<double>::infinity();
    }
    return result;
}

std::string OutputComparison::describe() const {
    if (!shapeMismatch.empty()) {
        return "differs in shape: " + shapeMismatch;
    }
    if (agree) {
        return std::isinf(worstDb) && worstDb < 0.0 ? "is identical"
                                                    : format("agrees within %.1f dB of the peak", worstDb);
    }
    const std::string level = std::isfinite(worstDb) ? format("%.1f dB from the peak", worstDb) : "a non-finite value";
    return format("differs by up to %s, first at channel %d frame %zu (%.9g against %.9g)", level.c_str(), channel,
                  frame, expected, actual);
}

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kLowestBandHz = 40.0;

// A second-order Butterworth low-pass run over a whole channel.
std::vector<double> lowPassed(const std::vector<float>& samples, double cutoff, double rate) {
    const double w = 2.0 * kPi * cutoff / rate;
    const double alpha = std::sin(w) / std::sqrt(2.0);
    const double cosine = std::cos(w);
    const double a0 = 1.0 + alpha;
    const double b0 = (1.0 - cosine) / 2.0 / a0;
    const double b1 = (1.0 - cosine) / a0;
    const double a1 = -2.0 * cosine / a0;
    const double a2 = (1.0 - alpha) / a0;
    std::vector<double> out(samples.size());
    double x1 = 0.0, x2 = 0.0, y1 = 0.0, y2 = 0.0;
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const double x = std::isfinite(samples[i]) ? static_cast<double>(samples[i]) : 0.0;
        const double y = b0 * x + b1 * x1 + b0 * x2 - a1 * y1 - a2 * y2;
        x2 = x1;
        x1 = x;
        y2 = y1;
        y1 = y;
        out[i] = y;
    }
    return out;
}

struct Band {
    double lowHz;
    double highHz;  // 0: Nyquist
    double energy;
};

// Octave bands: each the difference of two low-passes an octave apart.
std::vector<Band> bandsOf(const std::vector<float>& samples, double rate) {
    std::vector<Band> bands;
    std::vector<double> above(samples.begin(), samples.end());
    double high = 0.0;
    for (double cutoff = rate / 4.0;; cutoff /= 2.0) {
        const bool last = cutoff < kLowestBandHz;
        std::vector<double> below = last ? std::vector<double>(samples.size(), 0.0) : lowPassed(samples, cutoff, rate);
        double energy = 0.0;
        for (std::size_t i = 0; i < samples.size(); ++i) {
            const double band = above[i] - below[i];
            energy += band * band;
        }
        bands.push_back({last ? 0.0 : cutoff, high, energy});
        if (last) {
            return bands;
        }
        high = cutoff;
        above = std::move(below);
    }
}

double decibels(double ratio) {
    return 10.0 * std::log10(ratio);
}

}  // namespace

std::string LevelComparison::describe() const {
    const std::string band = highHz == 0.0  ? format("above %.0f Hz", lowHz)
                             : lowHz == 0.0 ? format("below %.0f Hz", highHz)
                                            : format("from %.0f to %.0f Hz", lowHz, highHz);
    return format("level in channel %d %s differs by %.1f dB", channel, band.c_str(), differenceDb);
}

LevelComparison compareLevels(const AudioBuffer& expected, const AudioBuffer& actual, double toleranceDb) {
    LevelComparison result;
    if (expected.channelCount() != actual.channelCount() || expected.frameCount() != actual.frameCount()) {
        result.agree = false;
        return result;
    }
    result.silent = allZero(expected) && allZero(actual);
    if (result.silent) {
        return result;
    }
    for (std::size_t channel = 0; channel < expected.channels.size(); ++channel) {
        const std::vector<Band> a = bandsOf(expected.channels[channel], expected.sampleRate);
        const std::vector<Band> b = bandsOf(actual.channels[channel], actual.sampleRate);
        double strongest = 0.0;
        for (std::size_t i = 0; i < a.size(); ++i) {
            strongest = std::max({strongest, a[i].energy, b[i].energy});
        }
        for (std::size_t i = 0; i < a.size(); ++i) {
            const double louder = std::max(a[i].energy, b[i].energy);
            if (louder <= 0.0 || decibels(louder / strongest) < kLevelFloorDb) {
                continue;
            }
            const double floor = strongest * std::pow(10.0, kLevelFloorDb / 10.0);
            const double difference = decibels(std::max(b[i].energy, floor)) - decibels(std::max(a[i].energy, floor));
            if (std::fabs(difference) > std::fabs(result.differenceDb)) {
                result.differenceDb = difference;
                result.channel = static_cast<int>(channel);
                result.lowHz = a[i].lowHz;
                result.highHz = a[i].highHz;
            }
        }
    }
    result.agree = std::fabs(result.differenceDb) <= toleranceDb;
    return result;
}
