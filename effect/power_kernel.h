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

// x^e for kPacks packs of lanes holding the bits of a double x, a positive
// finite float value, and an exponent e with |e| <= 1. The power is
// meaningful where t lies in [-1000, 1000]; docs/power-law.md derives the
// bounds. Each step runs on all packs before the next, so that the
// processor overlaps their long chains of dependent operations.
template <typename Pack, int kPacks>
inline void approximatePowers(const typename Pack::Bits (&x)[kPacks], typename Pack::Doubles e,
                              Approximation<Pack> (&result)[kPacks]) {
    using Doubles = typename Pack::Doubles;
    using Bits = typename Pack::Bits;
    Doubles r[kPacks];
    Doubles minusLog2OfC[kPacks];
    Doubles k[kPacks];

    // x = 2^k * z with z in [0.709, 1.418), and the interval j of z;
    // r = z c - 1 is exact and |r| <= 2^-8.
#pragma GCC unroll 8
    for (int p = 0; p < kPacks; ++p) {
        const Bits offset = x[p] - kLogOffset;
        const Bits j = (offset >> (52 - kTableBits)) & (kTableSize - 1);
        k[p] = Pack::exponentOf(offset);
        const Doubles z = Pack::asDoubles(x[p] - (offset & 0xFFF0000000000000ull));
        r[p] = z * Pack::lookup(kLogTable.reciprocal, j) - 1.0;
        minusLog2OfC[p] = Pack::lookup(kLogTable.minusLog2Hi, j);
    }

    // log2 x = k - log2 c + log2(1 + r), the polynomial in Estrin's form;
    // t = e * log2 x, where e * k is exact (e has 24 significant bits, k 8).
    Doubles t[kPacks];
#pragma GCC unroll 8
    for (int p = 0; p < kPacks; ++p) {
        const Doubles r2 = r[p] * r[p];
        const Doubles log2OfOnePlusR = r[p] * ((kFastLog2.c[0] + kFastLog2.c[1] * r[p]) +
                                               r2 * ((kFastLog2.c[2] + kFastLog2.c[3] * r[p]) + r2 * kFastLog2.c[4]));
        t[p] = e * k[p] + e * (minusLog2OfC[p] + log2OfOnePlusR);
    }

    // 2^t = 2^n * 2^(i / 128) * 2^u, u = t - (n + i / 128) exact, |u| <= 2^-8.
#pragma GCC unroll 8
    for (int p = 0; p < kPacks; ++p) {
        const Doubles shifted = t[p] + kRoundToTableStep;
        const Bits steps = Pack::asBits(shifted);  // low bits: 128 n + i
        const Doubles u = t[p] - (shifted - kRoundToTableStep);
        const Doubles u2 = u * u;
        const Doubles tableValue = Pack::lookup(kExp2Table.hi, steps & (kTableSize - 1));
        const Doubles expm1OfU =
            u * ((kFastExp2.c[0] + kFastExp2.c[1] * u) + u2 * (kFastExp2.c[2] + kFastExp2.c[3] * u));
        const Doubles unscaled = tableValue + tableValue * expm1OfU;
        // n into the exponent field: the high bits of steps fall off the top.
        const Bits scale = (steps >> kTableBits) << 52;
        result[p] = {Pack::asDoubles(Pack::asBits(unscaled) + scale), t[p]};
    }
}

}  // namespace kernel
}  // namespace power_law
