// The main stage over a run of samples: the main distortion when its switch
// is on (the signed power law, then the dry/wet mix), then the input gain.
// Every sample stands alone, so the power laws go over the whole run at once.
#pragma once

#include <cstddef>

#include "block_settings.h"
#include "derived_parameters.h"
#include "signed_power.h"

namespace signal_path {

// gained[i]: in[i] through the stage, a float value held in a double.
// scratch holds count power law results on the way. in may be the block the
// output goes to: nothing is written there.
//
// audio thread: no allocation, no locks
template <typename Narrowing>
inline void mainStage(const BlockSettings& block, const float* in, std::size_t count, float* scratch, double* gained) {
    const DerivedGain& gain = block.derived.inputGain;
    if (!block.mainOn) {
        for (std::size_t i = 0; i < count; ++i) {
            gained[i] = applyGain<Narrowing>(Narrowing::load(in[i]), gain);
        }
        return;
    }
    const DerivedExponent& exponent = block.derived.mainExponent;
    const float* distorted = in;
    if (!exponent.identity) {
        power_law::signedPowers(in, scratch, count, exponent.exponent);
        distorted = scratch;
    }
    for (std::size_t i = 0; i < count; ++i) {
        const double u = Narrowing::load(in[i]);
        const double d = Narrowing::load(distorted[i]);
        gained[i] = applyGain<Narrowing>(Narrowing::round(u + (d - u) * block.mix), gain);
    }
}

}  // namespace signal_path
