// The band power laws over a run of samples: one band's distortion stage, its
// signed power law over the run's band values, then the gain after it.
#pragma once

#include <cstddef>

#include "derived_parameters.h"
#include "signed_power.h"

namespace signal_path {

// audio thread: no allocation, no locks
template <typename Narrowing>
inline void bandStage(const DerivedBand& band, float* values, std::size_t count) {
    if (!band.exponent.identity) {
        power_law::signedPowers(values, values, count, band.exponent.exponent);
    }
    if (!band.distGain.unity) {
        for (std::size_t i = 0; i < count; ++i) {
            values[i] = Narrowing::store(Narrowing::load(values[i]) * band.distGain.factor);
        }
    }
}

}  // namespace signal_path
