// The array path on SSE2, the baseline of every build: groups of four values,
// each as two packs of two doubles, four groups at once through the kernel so
// that their chains of dependent operations overlap. Values the fast path
// leaves undecided, results below 2^-125 and infinities or NaN go through
// signedPower one by one (a few in a million on audio).
#include <emmintrin.h>

#include <cstring>

#include "power_kernel.h"
#include "power_rounding.h"
#include "signed_power.h"
#include "signed_power_paths.h"

namespace power_law {
namespace {

struct Sse2Pack {
    using Doubles = __m128d;
    using Bits = __v2du;

    static Doubles asDoubles(Bits bits) { return (Doubles)bits; }
    static Bits asBits(Doubles d) { return (Bits)d; }
    static Doubles exponentOf(Bits bits) {
        const __m128i high = _mm_srai_epi32((__m128i)bits, 20);
        return _mm_cvtepi32_pd(_mm_shuffle_epi32(high, _MM_SHUFFLE(3, 3, 3, 1)));
    }
    static Doubles lookup(const double* table, Bits index) {
        const __m128i i = (__m128i)index;
        return _mm_loadh_pd(_mm_load_sd(table + _mm_cvtsi128_si32(i)),
                            table + _mm_cvtsi128_si32(_mm_unpackhi_epi64(i, i)));
    }
};

constexpr int kLanes = 4;
// Powers below 2^-125 are left to the scalar route, which rounds them on
// the grid of subnormal floats.
constexpr double kSmallestExponent = -125.0;

// The doubles equal to the two positive normal floats in the low half of m.
inline __v2du widenNormal(__m128i m) {
    return ((__v2du)_mm_unpacklo_epi32(m, _mm_setzero_si128()) << 29) +
           (static_cast<unsigned long long>(1023 - 127) << 52);
}

// The same where some may be subnormal (mask lanes all ones): through their
// integer mantissas, times 2^-149, never converting a subnormal float.
inline __v2du widen(__m128i m, __m128i subnormal) {
    const __m128i normal = (__m128i)widenNormal(m);
    const __m128i fromMantissa = (__m128i)((__v2du)_mm_cvtepi32_pd(m) - (149ull << 52));
    const __m128i mask = _mm_unpacklo_epi32(subnormal, subnormal);
    return (__v2du)_mm_or_si128(_mm_and_si128(mask, fromMantissa), _mm_andnot_si128(mask, normal));
}

inline __m128i select(__m128i mask, __m128i ifSet, __m128i otherwise) {
    return _mm_or_si128(_mm_and_si128(mask, ifSet), _mm_andnot_si128(mask, otherwise));
}

// Four values on their way through the kernel: the doubles of their
// magnitudes in two packs, and what the results need besides.
struct Four {
    __m128i v;
    __m128i sign;
    __m128i zero;     // lanes holding +-0
    __m128i special;  // lanes holding infinity or NaN
    __v2du packs[2];
};

inline Four prepare(const float* in) {
    Four four;
    four.v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
    const __m128i magnitudeMask = _mm_set1_epi32(0x7FFFFFFF);
    const __m128i magnitude = _mm_and_si128(four.v, magnitudeMask);
    four.sign = _mm_andnot_si128(magnitudeMask, four.v);
    const __m128i tiny = _mm_cmplt_epi32(magnitude, _mm_set1_epi32(0x00800000));
    four.special = _mm_cmpgt_epi32(magnitude, _mm_set1_epi32(0x7F7FFFFF));
    four.zero = _mm_setzero_si128();
    if (_mm_movemask_epi8(_mm_or_si128(tiny, four.special)) == 0) {
        four.packs[0] = widenNormal(magnitude);
        four.packs[1] = widenNormal(_mm_srli_si128(magnitude, 8));
    } else {
        // Zeros and specials compute on 1.0 instead, and are replaced below.
        four.zero = _mm_cmpeq_epi32(magnitude, _mm_setzero_si128());
        const __m128i x = select(_mm_or_si128(four.zero, four.special), _mm_set1_epi32(0x3F800000), magnitude);
        const __m128i subnormal = _mm_andnot_si128(four.zero, tiny);
        four.packs[0] = widen(x, subnormal);
        four.packs[1] = widen(_mm_srli_si128(x, 8), _mm_srli_si128(subnormal, 8));
    }
    return four;
}

// Stores the four results; returns the lanes (bit i for value i) whose
// result the scalar route must give instead.
inline int finish(const Four& four, const kernel::Approximation<Sse2Pack>& a, const kernel::Approximation<Sse2Pack>& b,
                  float* out) {
    const __m128 powers = _mm_movelh_ps(_mm_cvtpd_ps(a.power), _mm_cvtpd_ps(b.power));
    // v = +-0 gives -((-v)^e) = -0.
    const __m128i result = select(four.zero, _mm_set1_epi32(static_cast<int>(0x80000000u)),
                                  _mm_or_si128(_mm_castps_si128(powers), four.sign));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), result);

    // The low 32 bits of each power, for the test of rounding::nearMidpoint.
    const __m128i lows =
        _mm_castps_si128(_mm_shuffle_ps(_mm_castpd_ps(a.power), _mm_castpd_ps(b.power), _MM_SHUFFLE(2, 0, 2, 0)));
    const __m128i offset = _mm_and_si128(_mm_sub_epi32(lows, _mm_set1_epi32(rounding::kMidpoint - rounding::kWindow)),
                                         _mm_set1_epi32(rounding::kLow29));
    const __m128i nearMidpoint = _mm_cmplt_epi32(offset, _mm_set1_epi32(2 * rounding::kWindow + 1));
    const __m128d smallest = _mm_set1_pd(kSmallestExponent);
    const int small =
        _mm_movemask_pd(_mm_cmplt_pd(a.exponent, smallest)) | _mm_movemask_pd(_mm_cmplt_pd(b.exponent, smallest)) << 2;
    return _mm_movemask_ps(_mm_castsi128_ps(_mm_or_si128(nearMidpoint, four.special))) | small;
}

void redo(__m128i v, float* out, int lanes, float exponent) {
    float values[kLanes];
    _mm_storeu_si128(reinterpret_cast<__m128i*>(values), v);
    for (int lane = 0; lane < kLanes; ++lane) {
        if ((lanes >> lane & 1) != 0) {
            out[lane] = signedPower(values[lane], exponent);
        }
    }
}

// kFours times four values from in to out, all read before any is written
// (out may be in).
template <int kFours>
inline void powers(const float* in, float* out, __m128d e, float exponent) {
    Four fours[kFours];
    __v2du packs[2 * kFours];
#pragma GCC unroll 4
    for (int g = 0; g < kFours; ++g) {
        fours[g] = prepare(in + kLanes * g);
        packs[2 * g] = fours[g].packs[0];
        packs[2 * g + 1] = fours[g].packs[1];
    }
    kernel::Approximation<Sse2Pack> approximations[2 * kFours];
    kernel::approximatePowers<Sse2Pack, 2 * kFours>(packs, e, approximations);
#pragma GCC unroll 4
    for (int g = 0; g < kFours; ++g) {
        float* to = out + kLanes * g;
        const int lanes = finish(fours[g], approximations[2 * g], approximations[2 * g + 1], to);
        if (lanes != 0) {
            redo(fours[g].v, to, lanes, exponent);
        }
    }
}

}  // namespace

void signedPowersSse2(const float* in, float* out, std::size_t count, float exponent) {
    const __m128d e = _mm_set1_pd(exponent);
    constexpr int kFoursAtOnce = 4;
    std::size_t i = 0;
    for (; i + kFoursAtOnce * kLanes <= count; i += kFoursAtOnce * kLanes) {
        powers<kFoursAtOnce>(in + i, out + i, e, exponent);
    }
    for (; i + kLanes <= count; i += kLanes) {
        powers<1>(in + i, out + i, e, exponent);
    }
    if (i < count) {
        float values[kLanes] = {1.0f, 1.0f, 1.0f, 1.0f};
        std::memcpy(values, in + i, (count - i) * sizeof(float));
        powers<1>(values, values, e, exponent);
        std::memcpy(out + i, values, (count - i) * sizeof(float));
    }
}

}  // namespace power_law
