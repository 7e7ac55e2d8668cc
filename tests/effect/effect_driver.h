// Helpers for driving a DistortionK directly in tests: setting several
// parameters at once and running a block through processReplacing.
#pragma once

#include <initializer_list>
#include <utility>
#include <vector>

#include "distortion_k.h"
#include "parameter_index.h"

struct ParameterValue {
    VstInt32 index;
    float value;
};

inline void configure(DistortionK& effect, std::initializer_list<ParameterValue> values) {
    for (const ParameterValue& p : values) {
        effect.setParameter(p.index, p.value);
    }
}

// Gives `to` every parameter value of `from`.
inline void copySettings(DistortionK& from, DistortionK& to) {
    for (VstInt32 i = 0; i < kParameterCount; ++i) {
        to.setParameter(i, from.getParameter(i));
    }
}

// Runs one block with both outputs connected and returns the first output.
inline std::vector<float> run(DistortionK& effect, std::vector<float> input) {
    std::vector<float> left(input.size(), -99.0f);
    std::vector<float> right(input.size(), -99.0f);
    float* inputs[2] = {input.data(), input.data()};
    float* outputs[2] = {left.data(), right.data()};
    effect.processReplacing(inputs, outputs, static_cast<VstInt32>(input.size()));
    return left;
}

inline std::vector<float> impulse(std::size_t length, float height = 1.0f) {
    std::vector<float> signal(length, 0.0f);
    signal[0] = height;
    return signal;
}

// A fixed pseudo-random test signal in [-amplitude, amplitude].
inline std::vector<float> noise(std::size_t length, float amplitude = 0.9f, unsigned seed = 12345u) {
    std::vector<float> signal(length);
    unsigned state = seed;
    for (float& s : signal) {
        state = state * 1664525u + 1013904223u;
        s = amplitude * (static_cast<float>(state >> 8) / 8388608.0f - 1.0f);
    }
    return signal;
}
