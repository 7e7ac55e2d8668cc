// The effect and the plain reference driven side by side: the same parameter
// writes, the same input, blocks cut at the same places, so that their
// outputs can be compared sample by sample.
#pragma once

#include <algorithm>
#include <cstddef>
#include <vector>

#include "distortion_k.h"
#include "reference_signal_path.h"

namespace perf {

// Gives the reference every parameter value the effect holds.
inline void mirrorParameters(DistortionK& effect, reference::SignalPath& path) {
    for (int index = 0; index < kParameterCount; ++index) {
        path.set(index, effect.getParameter(index));
    }
}

// Runs input through the effect in blocks of blockSize samples (the last
// one shorter), both outputs connected, and returns the first output. When
// secondOutput is given it receives the second.
inline std::vector<float> processInBlocks(DistortionK& effect, const std::vector<float>& input, std::size_t blockSize,
                                          std::vector<float>* secondOutput = nullptr) {
    std::vector<float> left(input.size());
    std::vector<float> right(input.size());
    for (std::size_t start = 0; start < input.size(); start += blockSize) {
        const std::size_t count = std::min(blockSize, input.size() - start);
        float* inputs[2] = {const_cast<float*>(input.data() + start), const_cast<float*>(input.data() + start)};
        float* outputs[2] = {left.data() + start, right.data() + start};
        effect.processReplacing(inputs, outputs, static_cast<VstInt32>(count));
    }
    if (secondOutput != nullptr) {
        *secondOutput = right;
    }
    return left;
}

inline std::vector<float> processReference(reference::SignalPath& path, const std::vector<float>& input) {
    std::vector<float> out(input.size());
    path.process(input.data(), out.data(), input.size());
    return out;
}

}  // namespace perf
