// Comparing two runs sample by sample: bit for bit, except that any NaN
// matches any NaN (a NaN's payload and sign say nothing about the audio) and
// a subnormal reference sample is matched by a zero of its sign.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace perf {

inline std::uint32_t bitsOf(float value) {
    std::uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

inline bool sameSample(float a, float b) {
    return bitsOf(a) == bitsOf(b) || (std::isnan(a) && std::isnan(b));
}

// The effect sends output below the float normal range out as a zero of the
// same sign (the reference and the ideal loop keep it); every other output
// sample must match bit for bit.
inline bool sameOutputSample(float subject, float reference) {
    if (sameSample(subject, reference)) {
        return true;
    }
    return std::fpclassify(reference) == FP_SUBNORMAL && bitsOf(subject) == (bitsOf(reference) & 0x80000000u);
}

inline std::string describeSample(float value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.9g (0x%08lx)", static_cast<double>(value),
                  static_cast<unsigned long>(bitsOf(value)));
    return text;
}

// Empty when the runs agree; otherwise where they first part and both values.
inline std::string firstDifference(const std::vector<float>& effect, const std::vector<float>& reference) {
    if (effect.size() != reference.size()) {
        return "lengths differ: " + std::to_string(effect.size()) + " against " + std::to_string(reference.size());
    }
    for (std::size_t i = 0; i < effect.size(); ++i) {
        if (!sameOutputSample(effect[i], reference[i])) {
            return "sample " + std::to_string(i) + ": effect " + describeSample(effect[i]) + ", reference " +
                   describeSample(reference[i]);
        }
    }
    return {};
}

}  // namespace perf
