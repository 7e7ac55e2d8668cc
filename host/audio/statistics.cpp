#include "audio/statistics.h"

#include <cmath>
#include <cstdio>
#include <limits>

void SignalStats::add(const float* data, std::size_t count, std::size_t firstFrame, int channel) {
    for (std::size_t i = 0; i < count; ++i) {
        const float value = data[i];
        switch (std::fpclassify(value)) {
            case FP_NAN:
                ++nans;
                peak = std::numeric_limits<double>::quiet_NaN();
                break;
            case FP_INFINITE:
                ++infinities;
                if (!std::isnan(peak)) {
                    peak = std::numeric_limits<double>::infinity();
                }
                break;
            case FP_SUBNORMAL:
                ++subnormals;
                break;
            default:
                break;
        }
        if (!std::isfinite(value)) {
            if (!firstNonFinite) {
                firstNonFinite = SamplePosition{firstFrame + i, channel};
            }
            continue;
        }
        const double magnitude = std::fabs(static_cast<double>(value));
        if (magnitude > finitePeak) {
            finitePeak = magnitude;
        }
        if (magnitude > peak) {
            peak = magnitude;
        }
        overFullScale += magnitude > 1.0 ? 1 : 0;
        sumOfSquares += magnitude * magnitude;
        ++samples;
    }
}

void SignalStats::add(const AudioBuffer& buffer) {
    for (std::size_t channel = 0; channel < buffer.channels.size(); ++channel) {
        add(buffer.channels[channel].data(), buffer.channels[channel].size(), 0, static_cast<int>(channel));
    }
}

double SignalStats::rms() const {
    if (nans > 0) {
        return std::numeric_limits<double>::quiet_NaN();
    }
    if (infinities > 0) {
        return std::numeric_limits<double>::infinity();
    }
    return samples == 0 ? 0.0 : std::sqrt(sumOfSquares / static_cast<double>(samples));
}

std::string SignalStats::describeBadValues() const {
    std::string text;
    auto append = [&text](std::size_t count, const char* what) {
        if (count == 0) {
            return;
        }
        if (!text.empty()) {
            text += ", ";
        }
        text += std::to_string(count) + " " + what;
    };
    append(nans, "NaN");
    append(infinities, "infinite");
    append(subnormals, "subnormal");
    return text.empty() ? "none" : text;
}

double toDecibels(double linear) {
    if (linear <= 0.0) {
        return -std::numeric_limits<double>::infinity();
    }
    return 20.0 * std::log10(linear);
}

std::string formatDecibels(double linear) {
    if (std::isnan(linear)) {
        return "NaN";
    }
    const double decibels = toDecibels(linear);
    if (std::isinf(decibels)) {
        return decibels > 0 ? "+inf dB" : "-inf dB";
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.1f dB", decibels);
    return text;
}
