// The crossover recurrence over a run of samples, and the band split: each
// gained sample x goes through both sections; the low band is the low-mid
// section's output, the high band x minus the mid-high section's output, and
// the mid band x minus the sum of those two, so the three sum back to x. The
// only serial pass: each sample needs the memories the one before left.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstring>

#include "block_settings.h"
#include "crossover_section.h"
#include "signal_path_state.h"

namespace signal_path {

// audio thread: no allocation, no locks
template <typename Narrowing>
inline void crossoverPass(const DerivedParameters& derived, const double* gained, std::size_t count, FilterState& state,
                          BandValues& bands) {
    // Local copies, so that the loop keeps them in registers.
    SectionMemory lowMid = state.lowMid;
    SectionMemory midHigh = state.midHigh;
    double midHighOut = state.midHighOut;
    for (std::size_t i = 0; i < count; ++i) {
        const double x = gained[i];
        const double low = crossoverStep<Narrowing>(derived.lowMid.coefficients, x, lowMid);
        midHighOut = crossoverStep<Narrowing>(derived.midHigh.coefficients, x, midHigh);
        const double high = Narrowing::round(x - midHighOut);
        const double mid = Narrowing::round(x - (low + high));
        bands[kLowBand][i] = Narrowing::store(low);
        bands[kMidBand][i] = Narrowing::store(mid);
        bands[kHighBand][i] = Narrowing::store(high);
    }
    state.lowMid = lowMid;
    state.midHigh = midHigh;
    state.midHighOut = midHighOut;
}

// True when one more sample whose gained value is x would leave both
// sections' memories exactly as they are, with finite outputs: the state has
// settled for that input.
template <typename Narrowing>
inline bool restsAt(const DerivedParameters& derived, double x, const FilterState& state) {
    SectionMemory lowMid = state.lowMid;
    SectionMemory midHigh = state.midHigh;
    const bool finite = std::isfinite(crossoverStep<Narrowing>(derived.lowMid.coefficients, x, lowMid)) &&
                        std::isfinite(crossoverStep<Narrowing>(derived.midHigh.coefficients, x, midHigh));
    return finite && std::memcmp(&lowMid, &state.lowMid, sizeof lowMid) == 0 &&
           std::memcmp(&midHigh, &state.midHigh, sizeof midHigh) == 0;
}

}  // namespace signal_path
