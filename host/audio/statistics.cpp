#include "audio/statistics.h"

#include <cmath>
#include <cstdio>
#include <limits>

void SignalStats::add(const float* data, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        const float value = data[i];
        switch (std::fpclassify(value)) {
            case FP_NAN:
                ++nans;
                continue;
            case FP_INFINITE:
                ++infinities;
                continue;
            case FP_SUBNORMAL:
                ++subnormals;
                break;
            default:
                break;
        }
        const double magnitude = std::fabs(static_cast<double>(value));
        if (magnitude > peak) {
            peak = magnitude;
        }
        sumOfSquares += magnitude * magnitude;
        ++samples;
    }
}

void SignalStats::add(const AudioBuffer& buffer) {
    for (const auto& channel : buffer.channels) {
        add(channel.data(), channel.size());
    }
}

double SignalStats::rms() const {
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
    const double decibels = toDecibels(linear);
    if (std::isinf(decibels)) {
        return "-inf dB";
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.1f dB", decibels);
    return text;
}
