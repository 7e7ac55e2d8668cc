// A plain, unoptimised model of the effect's signal path, written straight
// from its formulas: every sample recomputes every gain, exponent and
// coefficient from the parameter values. It is the oracle that the effect's
// output is compared with bit for bit, and the baseline the benchmarks
// measure against. Nothing here is shared with the effect's own code but
// the names of the host's parameter indices (parameter_index.h).
#pragma once

#include <array>
#include <cstddef>

#include "parameter_index.h"

namespace reference {

class SignalPath {
public:
    // Parameters start at 0 and the filter memories at 0; callers set all
    // seventeen parameters before the first sample.
    void set(int index, float value) { parameters_[static_cast<std::size_t>(index)] = value; }
    float get(int index) const { return parameters_[static_cast<std::size_t>(index)]; }

    // Processes count samples; out may be the same block as in.
    void process(const float* in, float* out, std::size_t count);

    // One sample through the whole chain, with the parameters in force now.
    float step(float u);

private:
    // The four memories of one low-pass section.
    struct Section {
        float x1 = 0.0f;
        float x2 = 0.0f;
        float y1 = 0.0f;
        float y2 = 0.0f;
    };

    static float filter(Section& section, double frequency, float x);

    std::array<float, kParameterCount> parameters_{};
    Section lowMid_;
    Section midHigh_;
};

}  // namespace reference
