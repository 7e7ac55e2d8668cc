// The AVX2 path of the loudness kernels, with fused multiply-adds; built
// with AVX2 and FMA enabled and run only where fastestKernelPath() says so.
#include <algorithm>

#include "audio/loudness_kernels.h"

#if KD_LOUDNESS_X86
#include <immintrin.h>

namespace loudness_paths {

void kWeighTwoAvx2(const KWeighting& filter, const float* first, const float* second, KWeightingMemory* memory,
                   std::size_t count) {
    const auto pair = [memory](double KWeightingMemory::*field) {
        return _mm_set_pd(memory[1].*field, memory[0].*field);
    };
    __m128d x1 = pair(&KWeightingMemory::x1), x2 = pair(&KWeightingMemory::x2), y1 = pair(&KWeightingMemory::y1),
            y2 = pair(&KWeightingMemory::y2), z1 = pair(&KWeightingMemory::z1), z2 = pair(&KWeightingMemory::z2);
    const Biquad& s = filter.shelf;
    const Biquad& h = filter.highPass;
    const __m128d b0 = _mm_set1_pd(s.b0), b1 = _mm_set1_pd(s.b1), b2 = _mm_set1_pd(s.b2), a1 = _mm_set1_pd(s.a1),
                  a2 = _mm_set1_pd(s.a2), h1 = _mm_set1_pd(h.a1), h2 = _mm_set1_pd(h.a2), two = _mm_set1_pd(2.0);
    __m128d sum = pair(&KWeightingMemory::squares);
    for (std::size_t i = 0; i < count; ++i) {
        const __m128d x = _mm_cvtps_pd(_mm_unpacklo_ps(_mm_load_ss(first + i), _mm_load_ss(second + i)));
        const __m128d t = _mm_fmadd_pd(b0, x, _mm_fmadd_pd(b1, x1, _mm_fmsub_pd(b2, x2, _mm_mul_pd(a2, y2))));
        const __m128d y = _mm_fnmadd_pd(a1, y1, t);
        const __m128d u = _mm_fnmadd_pd(h2, z2, _mm_fnmadd_pd(two, y1, _mm_add_pd(y, y2)));
        const __m128d z = _mm_fnmadd_pd(h1, z1, u);
        x2 = x1;
        x1 = x;
        y2 = y1;
        y1 = y;
        z2 = z1;
        z1 = z;
        sum = _mm_fmadd_pd(z, z, sum);
    }
    const auto store = [memory](double KWeightingMemory::*field, __m128d value) {
        double lanes[2];
        _mm_storeu_pd(lanes, value);
        memory[0].*field = lanes[0];
        memory[1].*field = lanes[1];
    };
    store(&KWeightingMemory::x1, x1);
    store(&KWeightingMemory::x2, x2);
    store(&KWeightingMemory::y1, y1);
    store(&KWeightingMemory::y2, y2);
    store(&KWeightingMemory::z1, z1);
    store(&KWeightingMemory::z2, z2);
    store(&KWeightingMemory::squares, sum);
}

namespace {

// The points of eight windows, w[0..18]: the largest magnitude of each
// lane's three points and its sample.
inline __m256 peakOfEight(const float* w, const __m256* middleWeight, const __m256* evenWeight,
                          const __m256* oddWeight) {
    const __m256 magnitude = _mm256_castsi256_ps(_mm256_set1_epi32(0x7FFFFFFF));
    __m256 middle = _mm256_setzero_ps(), sum = _mm256_setzero_ps(), difference = _mm256_setzero_ps();
    for (std::size_t k = 0; k < kInterpolationHalf; ++k) {
        const __m256 outer = _mm256_loadu_ps(w + k);
        const __m256 inner = _mm256_loadu_ps(w + kInterpolationTaps - 1 - k);
        const __m256 both = _mm256_add_ps(outer, inner);
        middle = _mm256_fmadd_ps(middleWeight[k], both, middle);
        sum = _mm256_fmadd_ps(evenWeight[k], both, sum);
        difference = _mm256_fmadd_ps(oddWeight[k], _mm256_sub_ps(outer, inner), difference);
    }
    const __m256 quarters = _mm256_mul_ps(
        _mm256_set1_ps(0.5f), _mm256_add_ps(_mm256_and_ps(sum, magnitude), _mm256_and_ps(difference, magnitude)));
    const __m256 sample = _mm256_and_ps(_mm256_loadu_ps(w + kInterpolationHalf), magnitude);
    return _mm256_max_ps(_mm256_max_ps(_mm256_and_ps(middle, magnitude), quarters), sample);
}

}  // namespace

float interpolatedPeakAvx2(const float* w, std::size_t count) {
    // The weights stay in registers, and two independent groups of eight
    // points are in flight at once, so that the sums' chains of dependent
    // multiply-adds overlap; each point is computed as a group of eight
    // alone would.
    const InterpolationWeights& p = interpolationWeights();
    __m256 middleWeight[kInterpolationHalf], evenWeight[kInterpolationHalf], oddWeight[kInterpolationHalf];
    for (std::size_t k = 0; k < kInterpolationHalf; ++k) {
        middleWeight[k] = _mm256_set1_ps(p.middle[k]);
        evenWeight[k] = _mm256_set1_ps(p.even[k]);
        oddWeight[k] = _mm256_set1_ps(p.odd[k]);
    }
    __m256 peak = _mm256_setzero_ps(), other = _mm256_setzero_ps();
    std::size_t j = 0;
    for (; j + 16 <= count; j += 16) {
        peak = _mm256_max_ps(peak, peakOfEight(w + j, middleWeight, evenWeight, oddWeight));
        other = _mm256_max_ps(other, peakOfEight(w + j + 8, middleWeight, evenWeight, oddWeight));
    }
    for (; j + 8 <= count; j += 8) {
        peak = _mm256_max_ps(peak, peakOfEight(w + j, middleWeight, evenWeight, oddWeight));
    }
    if (j < count) {
        // The last few points in lanes of their own, from a copy padded
        // with silence, the lanes beyond them dropped.
        float padded[8 + kInterpolationTaps - 1] = {};
        std::copy(w + j, w + count + kInterpolationTaps - 1, padded);
        const __m256i lane = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
        const __m256 kept =
            _mm256_castsi256_ps(_mm256_cmpgt_epi32(_mm256_set1_epi32(static_cast<int>(count - j)), lane));
        other = _mm256_max_ps(other, _mm256_and_ps(kept, peakOfEight(padded, middleWeight, evenWeight, oddWeight)));
    }
    peak = _mm256_max_ps(peak, other);
    float lanes[8];
    _mm256_storeu_ps(lanes, peak);
    _mm256_zeroupper();
    return *std::max_element(lanes, lanes + 8);
}

}  // namespace loudness_paths

#endif
