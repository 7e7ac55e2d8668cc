// The fast path of the power law, written once for every width: one double,
// two (SSE2) or four (AVX2) lanes. The same operations in the same order on
// every width give the same bits in every lane, so the array paths and the
// single value agree whichever path the processor takes.
//
// A Pack supplies
//   Doubles, Bits   lanes of double and of uint64, with the arithmetic
//                   operators (GCC's vector extensions for the SIMD packs);
//   asDoubles(Bits), asBits(Doubles)   reinterpretation;
//   exponentOf(Bits b)   (double)((int64)b >> 52) in every lane;
//   lookup(table, Bits index)   table[index] in every lane, index < 128.
//
// Only templates live here. A file built for AVX2 instantiates them with a
// pack of its own, so no out-of-line copy built with AVX2 instructions can
// stand in for one another file calls.
#pragma once

#include <cstdint>

#include "power_tables.h"

namespace power_law {
namespace kernel {

template <typename Pack>
struct Approximation {
    typename Pack::Doubles power;     // x^e, relative error below 2^-46
    typename Pack::Doubles exponent;  // t = e * log2 x, absolute error below 2^-45.6
};

// x^e for lanes holding the bits of a double x, a positive finite float
// value, and an exponent e with |e| <= 1. The power is meaningful where
// t lies in [-1000, 1000]; docs/power-law.md derives the bounds.
template <typename Pack>
inline Approximation<Pack> approximatePower(typename Pack::Bits x, typename Pack::Doubles e) {
    using Doubles = typename Pack::Doubles;
    using Bits = typename Pack::Bits;

    // x = 2^k * z with z in [0.709, 1.418), and the interval j of z.
    const Bits offset = x - kLogOffset;
    const Bits j = (offset >> (52 - kTableBits)) & (kTableSize - 1);
    const Doubles k = Pack::exponentOf(offset);
    const Doubles z = Pack::asDoubles(x - (offset & 0xFFF0000000000000ull));

    // log2 x = k - log2 c + log2(1 + r), r = z c - 1 exact, |r| <= 2^-8.
    const Doubles r = z * Pack::lookup(kLogTable.reciprocal, j) - 1.0;
    const Doubles log2OfOnePlusR =
        r * (kFastLog2.c[0] + r * (kFastLog2.c[1] + r * (kFastLog2.c[2] + r * (kFastLog2.c[3] + r * kFastLog2.c[4]))));
    // e * k is exact: e has 24 significant bits, k at most 8.
    const Doubles t = e * k + e * (Pack::lookup(kLogTable.minusLog2Hi, j) + log2OfOnePlusR);

    // 2^t = 2^n * 2^(i / 128) * 2^u, u = t - (n + i / 128) exact, |u| <= 2^-8.
    const Doubles shifted = t + kRoundToTableStep;
    const Bits steps = Pack::asBits(shifted);  // low bits: 128 n + i
    const Doubles u = t - (shifted - kRoundToTableStep);
    const Doubles tableValue = Pack::lookup(kExp2Table.hi, steps & (kTableSize - 1));
    const Doubles expm1OfU = u * (kFastExp2.c[0] + u * (kFastExp2.c[1] + u * (kFastExp2.c[2] + u * kFastExp2.c[3])));
    const Doubles unscaled = tableValue + tableValue * expm1OfU;
    // n into the exponent field: the high bits of steps fall off the top.
    const Bits scale = (steps >> kTableBits) << 52;
    return {Pack::asDoubles(Pack::asBits(unscaled) + scale), t};
}

}  // namespace kernel
}  // namespace power_law
