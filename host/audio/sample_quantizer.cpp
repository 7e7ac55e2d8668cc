#include "audio/sample_quantizer.h"

#include <cmath>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// Below 2^24 steps a float holds every step exactly, so the samples can be
// scaled, rounded and saturated in float arithmetic.
constexpr int kLargestFloatBits = 24;

// Saturates to [low, high]; NaN goes to `low`.
float saturate(float value, float low, float high) {
    value = value > low ? value : low;
    return value < high ? value : high;
}

// Rounds to the nearest integer, ties to even (the processor's default).
std::int32_t nearest(float value) {
#if defined(__SSE2__)
    return _mm_cvtss_si32(_mm_set_ss(value));
#else
    return static_cast<std::int32_t>(std::nearbyint(value));
#endif
}

std::int32_t inTopBits(double whole, int shift) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::int64_t>(whole)) << shift);
}

}  // namespace

SampleQuantizer::SampleQuantizer(int bits, Dither dither)
    : bits_(bits), dither_(dither), scale_(std::ldexp(1.0f, bits - 1)), shift_(32 - bits) {}

void SampleQuantizer::quantize(const float* samples, std::size_t count, std::int32_t* integers) {
    if (dither_ == Dither::Tpdf || bits_ > kLargestFloatBits) {
        quantizeInDouble(samples, count, integers);
        return;
    }
    const float low = -scale_;
    const float high = scale_ - 1.0f;
    std::size_t i = 0;
#if defined(__SSE2__)
    const __m128 scale = _mm_set1_ps(scale_);
    const __m128 lowest = _mm_set1_ps(low);
    const __m128 highest = _mm_set1_ps(high);
    const __m128i shift = _mm_cvtsi32_si128(shift_);
    __m128i rounded = _mm_setzero_si128();
    for (; i + 4 <= count; i += 4) {
        // max and min give their second operand for NaN: NaN saturates low.
        const __m128 steps = _mm_min_ps(_mm_max_ps(_mm_mul_ps(_mm_loadu_ps(samples + i), scale), lowest), highest);
        const __m128i whole = _mm_cvtps_epi32(steps);
        rounded = _mm_sub_epi32(rounded, _mm_castps_si128(_mm_cmpneq_ps(_mm_cvtepi32_ps(whole), steps)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(integers + i), _mm_sll_epi32(whole, shift));
    }
    std::int32_t lanes[4];
    _mm_storeu_si128(reinterpret_cast<__m128i*>(lanes), rounded);
    rounded_ += static_cast<std::size_t>(lanes[0]) + static_cast<std::size_t>(lanes[1]) +
                static_cast<std::size_t>(lanes[2]) + static_cast<std::size_t>(lanes[3]);
#endif
    for (; i < count; ++i) {
        const float steps = saturate(samples[i] * scale_, low, high);
        const std::int32_t whole = nearest(steps);
        rounded_ += static_cast<float>(whole) != steps ? 1 : 0;
        integers[i] = static_cast<std::int32_t>(static_cast<std::uint32_t>(whole) << shift_);
    }
}

// With dither, or for 25 to 32 bits, where a float has too few digits for
// the top steps: the arithmetic is double.
void SampleQuantizer::quantizeInDouble(const float* samples, std::size_t count, std::int32_t* integers) {
    const double scale = scale_;
    const bool dithered = dither_ == Dither::Tpdf;
    for (std::size_t i = 0; i < count; ++i) {
        double steps = static_cast<double>(samples[i]) * scale;
        if (dithered) {
            steps += static_cast<double>(triangularNoise());
        }
        steps = steps > -scale ? steps : -scale;
        steps = steps < scale - 1.0 ? steps : scale - 1.0;
        const double whole = std::nearbyint(steps);
        rounded_ += whole != steps ? 1 : 0;
        integers[i] = inTopBits(whole, shift_);
    }
}

// The difference of two uniform numbers in [0, 1): triangular on (-1, 1)
// steps, from a xorshift generator.
float SampleQuantizer::triangularNoise() {
    auto next = [this] {
        noiseState_ ^= noiseState_ << 13;
        noiseState_ ^= noiseState_ >> 17;
        noiseState_ ^= noiseState_ << 5;
        return static_cast<float>(noiseState_ >> 8) * (1.0f / 16777216.0f);
    };
    const float first = next();
    return first - next();
}
