// The array path on AVX2, taken where the processor and the operating
// system offer it: eight values at a time, as two packs of four doubles. It
// runs the very operations of the SSE2 path, lane for lane, so the results
// are the same bits.
//
// Built with -mavx2 and nothing more (no FMA: a fused multiply-add rounds
// once where the other paths round twice). Everything this file defines has
// internal linkage or depends on its own pack type, so no copy of a shared
// inline function built with AVX2 instructions can end up called by the
// SSE2 path.
#include <immintrin.h>

#include <cstring>

#include "power_kernel.h"
#include "power_rounding.h"
#include "signed_power.h"
#include "signed_power_paths.h"

namespace power_law {
namespace {

struct Avx2Pack {
    using Doubles = __m256d;
    using Bits = __v4du;

    static Doubles asDoubles(Bits bits) { return (Doubles)bits; }
    static Bits asBits(Doubles d) { return (Bits)d; }
    static Doubles exponentOf(Bits bits) {
        const __m256i high = _mm256_srai_epi32((__m256i)bits, 20);
        const __m256i packed = _mm256_permutevar8x32_epi32(high, _mm256_setr_epi32(1, 3, 5, 7, 1, 3, 5, 7));
        return _mm256_cvtepi32_pd(_mm256_castsi256_si128(packed));
    }
    static Doubles lookup(const double* table, Bits index) { return _mm256_i64gather_pd(table, (__m256i)index, 8); }
};

constexpr int kLanes = 8;
constexpr double kSmallestExponent = -125.0;  // as in the SSE2 path

inline __v4du widenNormal(__m128i m) {
    return ((__v4du)_mm256_cvtepu32_epi64(m) << 29) + (static_cast<unsigned long long>(1023 - 127) << 52);
}

inline __v4du widen(__m128i m, __m128i subnormal) {
    const __m256i normal = (__m256i)widenNormal(m);
    const __m256i fromMantissa = (__m256i)((__v4du)_mm256_cvtepi32_pd(m) - (149ull << 52));
    return (__v4du)_mm256_blendv_epi8(normal, fromMantissa, _mm256_cvtepi32_epi64(subnormal));
}

inline int eightPowers(__m256i v, float* out, __m256d e) {
    const __m256i magnitudeMask = _mm256_set1_epi32(0x7FFFFFFF);
    const __m256i magnitude = _mm256_and_si256(v, magnitudeMask);
    const __m256i sign = _mm256_andnot_si256(magnitudeMask, v);
    const __m256i tiny = _mm256_cmpgt_epi32(_mm256_set1_epi32(0x00800000), magnitude);
    const __m256i special = _mm256_cmpgt_epi32(magnitude, _mm256_set1_epi32(0x7F7FFFFF));

    __m256i zero = _mm256_setzero_si256();
    __v4du low;
    __v4du high;
    const __m256i unusual = _mm256_or_si256(tiny, special);
    if (_mm256_testz_si256(unusual, unusual) != 0) {
        low = widenNormal(_mm256_castsi256_si128(magnitude));
        high = widenNormal(_mm256_extracti128_si256(magnitude, 1));
    } else {
        zero = _mm256_cmpeq_epi32(magnitude, _mm256_setzero_si256());
        const __m256i x = _mm256_blendv_epi8(magnitude, _mm256_set1_epi32(0x3F800000), _mm256_or_si256(zero, special));
        const __m256i subnormal = _mm256_andnot_si256(zero, tiny);
        low = widen(_mm256_castsi256_si128(x), _mm256_castsi256_si128(subnormal));
        high = widen(_mm256_extracti128_si256(x, 1), _mm256_extracti128_si256(subnormal, 1));
    }
    const kernel::Approximation<Avx2Pack> a = kernel::approximatePower<Avx2Pack>(low, e);
    const kernel::Approximation<Avx2Pack> b = kernel::approximatePower<Avx2Pack>(high, e);

    const __m256 powers = _mm256_set_m128(_mm256_cvtpd_ps(b.power), _mm256_cvtpd_ps(a.power));
    const __m256i result = _mm256_blendv_epi8(_mm256_or_si256(_mm256_castps_si256(powers), sign),
                                              _mm256_set1_epi32(static_cast<int>(0x80000000u)), zero);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), result);

    // Low 32 bits of the powers: a0 a1 b0 b1 | a2 a3 b2 b3, then in order.
    const __m256i shuffled = _mm256_castps_si256(
        _mm256_shuffle_ps(_mm256_castpd_ps(a.power), _mm256_castpd_ps(b.power), _MM_SHUFFLE(2, 0, 2, 0)));
    const __m256i lows = _mm256_permute4x64_epi64(shuffled, _MM_SHUFFLE(3, 1, 2, 0));
    const __m256i offset =
        _mm256_and_si256(_mm256_sub_epi32(lows, _mm256_set1_epi32(rounding::kMidpoint - rounding::kWindow)),
                         _mm256_set1_epi32(rounding::kLow29));
    const __m256i nearMidpoint = _mm256_cmpgt_epi32(_mm256_set1_epi32(2 * rounding::kWindow + 1), offset);
    const __m256d smallest = _mm256_set1_pd(kSmallestExponent);
    const int small = _mm256_movemask_pd(_mm256_cmp_pd(a.exponent, smallest, _CMP_LT_OQ)) |
                      _mm256_movemask_pd(_mm256_cmp_pd(b.exponent, smallest, _CMP_LT_OQ)) << 4;
    return _mm256_movemask_ps(_mm256_castsi256_ps(_mm256_or_si256(nearMidpoint, special))) | small;
}

void redo(__m256i v, float* out, int lanes, float exponent) {
    float values[kLanes];
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(values), v);
    for (int lane = 0; lane < kLanes; ++lane) {
        if ((lanes >> lane & 1) != 0) {
            out[lane] = signedPower(values[lane], exponent);
        }
    }
}

}  // namespace

void signedPowersAvx2(const float* in, float* out, std::size_t count, float exponent) {
    const __m256d e = _mm256_set1_pd(exponent);
    std::size_t i = 0;
    for (; i + kLanes <= count; i += kLanes) {
        const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + i));
        const int lanes = eightPowers(v, out + i, e);
        if (lanes != 0) {
            redo(v, out + i, lanes, exponent);
        }
    }
    if (i < count) {
        float values[kLanes] = {1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f};
        float results[kLanes];
        std::memcpy(values, in + i, (count - i) * sizeof(float));
        const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(values));
        const int lanes = eightPowers(v, results, e);
        if (lanes != 0) {
            redo(v, results, lanes, exponent);
        }
        std::memcpy(out + i, results, (count - i) * sizeof(float));
    }
}

}  // namespace power_law
