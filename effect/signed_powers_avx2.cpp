// The array path on AVX2, taken where the processor and the operating
// system offer it: groups of eight values, each as two packs of four doubles,
// four groups at once through the kernel. It runs the very operations of the
// SSE2 path, lane for lane, so the results are the same bits. Its table
// lookups are plain loads: AVX2 gathers were slower on the machine measured
// (BENCHMARKS.md).
//
// Built with -mavx2 and nothing more (no FMA: a fused multiply-add rounds
// once where the other paths round twice). Everything this file defines has
// internal linkage or depends on its own pack type, so no copy of a shared
// inline function built with AVX2 instructions can end up called by the
// SSE2 path; a test checks the object for that (scripts/check-object-entries).
//
// Every call leaves the upper halves of the vector registers in their
// initial state, so that the SSE2 code after it (the other passes, and the
// host's code once the block is done) runs at full speed; see
// releaseUpperHalves.
#include <immintrin.h>

#include <cstddef>
#include <cstdint>
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
    static Doubles lookup(const double* table, Bits index) {
        const __m256i i = (__m256i)index;
        const __m128i lo = _mm256_castsi256_si128(i);
        const __m128i hi = _mm256_extracti128_si256(i, 1);
        const __m128d a = _mm_loadh_pd(_mm_load_sd(table + _mm_cvtsi128_si32(lo)), table + _mm_extract_epi32(lo, 2));
        const __m128d b = _mm_loadh_pd(_mm_load_sd(table + _mm_cvtsi128_si32(hi)), table + _mm_extract_epi32(hi, 2));
        return _mm256_set_m128d(b, a);
    }
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

// Eight values on their way through the kernel: the doubles of their
// magnitudes in two packs, and what the results need besides.
struct Eight {
    __m256i v;
    __m256i sign;
    __m256i zero;     // lanes holding +-0
    __m256i special;  // lanes holding infinity or NaN
    __v4du packs[2];
};

inline Eight prepare(const float* in) {
    Eight eight;
    eight.v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in));
    const __m256i magnitudeMask = _mm256_set1_epi32(0x7FFFFFFF);
    const __m256i magnitude = _mm256_and_si256(eight.v, magnitudeMask);
    eight.sign = _mm256_andnot_si256(magnitudeMask, eight.v);
    const __m256i tiny = _mm256_cmpgt_epi32(_mm256_set1_epi32(0x00800000), magnitude);
    eight.special = _mm256_cmpgt_epi32(magnitude, _mm256_set1_epi32(0x7F7FFFFF));
    eight.zero = _mm256_setzero_si256();
    const __m256i unusual = _mm256_or_si256(tiny, eight.special);
    if (_mm256_testz_si256(unusual, unusual) != 0) {
        eight.packs[0] = widenNormal(_mm256_castsi256_si128(magnitude));
        eight.packs[1] = widenNormal(_mm256_extracti128_si256(magnitude, 1));
    } else {
        // Zeros and specials compute on 1.0 instead, and are replaced below.
        eight.zero = _mm256_cmpeq_epi32(magnitude, _mm256_setzero_si256());
        const __m256i x =
            _mm256_blendv_epi8(magnitude, _mm256_set1_epi32(0x3F800000), _mm256_or_si256(eight.zero, eight.special));
        const __m256i subnormal = _mm256_andnot_si256(eight.zero, tiny);
        eight.packs[0] = widen(_mm256_castsi256_si128(x), _mm256_castsi256_si128(subnormal));
        eight.packs[1] = widen(_mm256_extracti128_si256(x, 1), _mm256_extracti128_si256(subnormal, 1));
    }
    return eight;
}

// Stores the eight results; returns the lanes (bit i for value i) whose
// result the scalar route must give instead.
inline int finish(const Eight& eight, const kernel::Approximation<Avx2Pack>& a,
                  const kernel::Approximation<Avx2Pack>& b, float* out) {
    const __m256 powers = _mm256_set_m128(_mm256_cvtpd_ps(b.power), _mm256_cvtpd_ps(a.power));
    // v = +-0 gives -((-v)^e) = -0.
    const __m256i result = _mm256_blendv_epi8(_mm256_or_si256(_mm256_castps_si256(powers), eight.sign),
                                              _mm256_set1_epi32(static_cast<int>(0x80000000u)), eight.zero);
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
    return _mm256_movemask_ps(_mm256_castsi256_ps(_mm256_or_si256(nearMidpoint, eight.special))) | small;
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

// kEights times eight values from in to out, all read before any is written
// (out may be in).
template <int kEights>
inline void powers(const float* in, float* out, __m256d e, float exponent) {
    Eight eights[kEights];
    __v4du packs[2 * kEights];
#pragma GCC unroll 4
    for (int g = 0; g < kEights; ++g) {
        eights[g] = prepare(in + kLanes * g);
        packs[2 * g] = eights[g].packs[0];
        packs[2 * g + 1] = eights[g].packs[1];
    }
    kernel::Approximation<Avx2Pack> approximations[2 * kEights];
    kernel::approximatePowers<Avx2Pack, 2 * kEights>(packs, e, approximations);
#pragma GCC unroll 4
    for (int g = 0; g < kEights; ++g) {
        float* to = out + kLanes * g;
        const int lanes = finish(eights[g], approximations[2 * g], approximations[2 * g + 1], to);
        if (lanes != 0) {
            redo(eights[g].v, to, lanes, exponent);
        }
    }
}

// Legacy SSE instructions (everything not built for AVX) run several times
// slower while the upper halves of the YMM registers count as in use: a
// scalar SSE loop took 8 times as long on the machine measured
// (BENCHMARKS.md). VZEROUPPER, which GCC puts at the end of every function
// built for AVX, ends that in 64-bit mode. In 32-bit mode it zeroes the
// upper halves of YMM0 to YMM7 only, and SSE code after it stays that slow:
// the rest of the block, and the host's code after the call. XRSTOR with
// the AVX state component requested but absent from the header puts that
// component in its initial configuration, every upper half zero, and SSE
// code runs at full speed again. It costs about 90 ns, once per call.
//
// XRSTOR (standard form) loads MXCSR from the area whenever SSE or AVX state
// is requested, so the area holds the current MXCSR; x87 and XMM state are
// not requested and stay as they are.
void releaseUpperHalves() {
#if defined(__i386__)
    struct alignas(64) XsaveArea {
        std::uint8_t legacy[24];
        std::uint32_t mxcsr;
        std::uint8_t legacyRest[484];
        std::uint64_t header[8];  // XSTATE_BV, XCOMP_BV (standard form), reserved: all zero
    };
    static_assert(offsetof(XsaveArea, header) == 512 && sizeof(XsaveArea) == 576, "XSAVE legacy region, then header");
    XsaveArea area{};
    __asm__ volatile("stmxcsr %0" : "=m"(area.mxcsr));
    constexpr std::uint32_t kAvxState = 1u << 2;
    __asm__ volatile("xrstor %0" : : "m"(area), "a"(kAvxState), "d"(0u) : "memory");
#endif
}

}  // namespace

void signedPowersAvx2(const float* in, float* out, std::size_t count, float exponent) {
    const __m256d e = _mm256_set1_pd(exponent);
    constexpr int kEightsAtOnce = 4;
    std::size_t i = 0;
    for (; i + kEightsAtOnce * kLanes <= count; i += kEightsAtOnce * kLanes) {
        powers<kEightsAtOnce>(in + i, out + i, e, exponent);
    }
    for (; i + kLanes <= count; i += kLanes) {
        powers<1>(in + i, out + i, e, exponent);
    }
    if (i < count) {
        float values[kLanes] = {1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f};
        std::memcpy(values, in + i, (count - i) * sizeof(float));
        powers<1>(values, values, e, exponent);
        std::memcpy(out + i, values, (count - i) * sizeof(float));
    }
    releaseUpperHalves();
}

}  // namespace power_law
