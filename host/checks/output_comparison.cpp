#include "checks/output_comparison.h"

#include <algorithm>
#include <cmath>
#include <limits>

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
