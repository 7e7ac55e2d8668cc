// What goes to the host: the sums of the bands at their levels, or the gained
// signal itself while the band split is off; every sample rounded to a float
// and flushed below the normal range.
#pragma once

#include <cstddef>
#include <cstdint>

#include "block_settings.h"
#include "float_narrowing.h"

namespace signal_path {

// Output samples below the float normal range (magnitudes under 2^-126,
// about 1.2e-38) go out as zero of the same sign. Hosts and the plug-ins
// after this one would otherwise pay the processor's slow path for values no
// converter can reproduce; the filter memories keep their exact values, so
// nothing audible changes, now or later.
inline float flushedOutput(float sample) {
    const std::uint32_t bits = float_narrowing::bitsOf(sample);
    return (bits & 0x7F800000u) == 0 ? float_narrowing::floatFromBits(bits & 0x80000000u) : sample;
}

// The gained signal as the output, while the band split is off.
//
// audio thread: no allocation, no locks
template <typename Narrowing>
inline void writeGained(const double* gained, std::size_t count, float* out) {
    for (std::size_t i = 0; i < count; ++i) {
        out[i] = flushedOutput(Narrowing::store(gained[i]));
    }
}

// The sums: (low level x low band + mid level x mid band) + high level x high
// band, in double precision.
//
// audio thread: no allocation, no locks
template <typename Narrowing>
inline void writeBandSums(const DerivedParameters& derived, const BandValues& bands, std::size_t count, float* out) {
    const double low = derived.bands[kLowBand].level.factor;
    const double mid = derived.bands[kMidBand].level.factor;
    const double high = derived.bands[kHighBand].level.factor;
    for (std::size_t i = 0; i < count; ++i) {
        const double y = (low * Narrowing::load(bands[kLowBand][i]) + mid * Narrowing::load(bands[kMidBand][i])) +
                         high * Narrowing::load(bands[kHighBand][i]);
        out[i] = flushedOutput(Narrowing::store(y));
    }
}

}  // namespace signal_path
