// The least work the signal path can do for fixed parameters: every gain,
// exponent and coefficient is computed once, before the loop, and each
// sample does only what depends on the audio (the power laws acting on the
// signal, the gain, the two filter recurrences, the band split and the
// sums). Its output must equal the effect's; the benchmarks check that
// before they time it, and measure the effect against it.
#pragma once

#include <array>
#include <cstddef>

#include "parameter_index.h"

namespace bench {

class IdealLoop {
public:
    // values: the seventeen parameter values, by host index. Memories start at 0.
    explicit IdealLoop(const std::array<float, kParameterCount>& values);

    void process(const float* in, float* out, std::size_t count);

private:
    struct Band {
        bool shaped;  // a power law with an exponent other than 1 acts on it
        double exponent;
        double distGain;
        double level;
    };

    bool mainOn_;
    bool mainShaped_;
    double mainExponent_;
    double mix_;
    double gain_;
    bool eqOn_;
    bool multiOn_;
    double lowMid_[5];
    double midHigh_[5];
    Band low_;
    Band mid_;
    Band high_;
    float lowMidMemory_[4] = {};
    float midHighMemory_[4] = {};
};

}  // namespace bench
