// The crossover recurrence over a run of samples, and the band split: each
// gained sample x goes through both sections; the low band is the low-mid
// section's output, the high band x minus the mid-high section's output, and
// the mid band x minus the sum of those two, so the three sum back to x. The
// only serial pass: each sample needs the memories the one before left.
#pragma once

#include <emmintrin.h>

#include <cstddef>
#include <cstring>

#include "block_settings.h"
#include "crossover_section.h"
#include "signal_path_state.h"

namespace signal_path {

// The two sections side by side (crossover_section.h): the low-mid section
// in lane 0, the mid-high section in lane 1.
inline SectionPair crossoverSections(const DerivedParameters& derived) {
    return sectionPair(derived.lowMid.coefficients, derived.midHigh.coefficients);
}

inline SectionPairMemory sectionMemories(const FilterState& state) {
    return memoryPair(state.lowMid, state.midHigh);
}

// audio thread: no allocation, no locks
template <typename Narrowing>
inline void crossoverPass(const DerivedParameters& derived, const double* gained, std::size_t count, FilterState& state,
                          BandValues& bands) {
    // Local copies, so that the loop keeps them in registers.
    const SectionPair sections = crossoverSections(derived);
    SectionPairMemory memories = sectionMemories(state);
    for (std::size_t i = 0; i < count; ++i) {
        const double x = gained[i];
        const __m128d outputs = crossoverStep<Narrowing>(sections, x, memories);
        const double low = outputs[0];
        const double midHighOut = outputs[1];
        const double high = Narrowing::round(x - midHighOut);
        const double mid = Narrowing::round(x - (low + high));
        bands[kLowBand][i] = Narrowing::store(low);
        bands[kMidBand][i] = Narrowing::store(mid);
        bands[kHighBand][i] = Narrowing::store(high);
    }
    state.lowMid = sectionMemory(memories, 0);
    state.midHigh = sectionMemory(memories, 1);
}

// True when one more sample whose gained value is x would leave both
// sections' memories exactly as they are, with finite outputs: the state has
// settled for that input.
template <typename Narrowing>
inline bool restsAt(const DerivedParameters& derived, double x, const FilterState& state) {
    const SectionPairMemory before = sectionMemories(state);
    SectionPairMemory after = before;
    const __m128d outputs = crossoverStep<Narrowing>(crossoverSections(derived), x, after);
    return _mm_movemask_pd(finiteLanes(outputs)) == 3 && std::memcmp(&after, &before, sizeof after) == 0;
}

}  // namespace signal_path
