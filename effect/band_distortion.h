// A band's distortion stage as the signal path runs it: the signed power law
// on a float value held in a double, a band's gain, and the reuse of the last
// power law result while the band value repeats.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>

#include "derived_parameters.h"
#include "power_law.h"

namespace signal_path {

// The last power law result of one band, with the exact bits of the value
// it came from. After the input stops, the section memories settle on values
// that repeat for ever, and so does each band value. Whoever derives a new
// exponent must forget the result (forget()).
struct LastPower {
    // Every band value is a float held in a double, whose low 29 bits are
    // zero; this pattern is therefore never a band value.
    static constexpr std::uint64_t kNone = 1;

    void forget() { value = kNone; }

    std::uint64_t value = kNone;
    double result = 0.0;
};

inline std::uint64_t bitsOfDouble(double v) {
    std::uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    return bits;
}

// signedPower, reusing the last result while the value repeats.
template <typename Narrowing>
inline double rememberedSignedPower(double v, double exponent, LastPower& last) {
    const std::uint64_t value = bitsOfDouble(v);
    if (value != last.value) {
        last.value = value;
        last.result = signedPower<Narrowing>(v, exponent);
    }
    return last.result;
}

// A float value times a gain, rounded to a float; a factor of exactly 1
// changes nothing and is skipped.
template <typename Narrowing>
inline double applyGain(double value, const DerivedGain& g) {
    return g.unity ? value : Narrowing::round(value * g.factor);
}

// A band's distortion stage: its power law, then its gain. kRemember: reuse
// the last power law result while the value repeats, which pays where
// values settle (near silence) and costs a little everywhere else.
template <typename Narrowing, bool kSkipIdentity, bool kRemember>
inline double distortBand(double band, const DerivedExponent& e, const DerivedGain& g, LastPower& last) {
    if (!(kSkipIdentity && e.identity)) {
        if constexpr (kRemember) {
            band = rememberedSignedPower<Narrowing>(band, e.exponent, last);
        } else {
            band = signedPower<Narrowing>(band, e.exponent);
        }
    }
    return applyGain<Narrowing>(band, g);
}

}  // namespace signal_path
