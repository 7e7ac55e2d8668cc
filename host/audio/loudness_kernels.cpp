#include "audio/loudness_kernels.h"

#include <algorithm>
#include <cmath>

#if KD_LOUDNESS_X86
#include <emmintrin.h>
#endif

namespace loudness_paths {
namespace {

constexpr double kPi = 3.14159265358979323846;
// The Kaiser window's shape: its side lobes keep the interpolator within
// 0.02 dB of unity gain up to a quarter of the sample rate.
constexpr double kKaiserBeta = 5.0;

// The modified Bessel function of order 0, by its series.
double besselI0(double x) {
    double sum = 1.0, term = 1.0;
    for (int k = 1; k < 40; ++k) {
        term *= (x / (2.0 * k)) * (x / (2.0 * k));
        sum += term;
    }
    return sum;
}

// The weight of a sample `distance` samples from the point being
// interpolated: a sinc cut off at Nyquist under a Kaiser window as wide as
// the taps. It is 0 at every whole distance but 0, so the points at the
// samples are the samples themselves and only three phases are computed.
double weightAt(double distance) {
    const double sinc = distance == 0.0 ? 1.0 : std::sin(kPi * distance) / (kPi * distance);
    const double edge = distance / static_cast<double>(kInterpolationHalf);
    return sinc * besselI0(kKaiserBeta * std::sqrt(std::max(0.0, 1.0 - edge * edge))) / besselI0(kKaiserBeta);
}

InterpolationWeights makeWeights() {
    InterpolationWeights weights{};
    for (std::size_t k = 0; k < kInterpolationHalf; ++k) {
        // How far w[k] and its mirror w[11 - k] lie from w[5].
        const double outer = static_cast<double>(k) - static_cast<double>(kInterpolationHalf - 1);
        const double inner =
            static_cast<double>(kInterpolationTaps - 1 - k) - static_cast<double>(kInterpolationHalf - 1);
        const double quarter = weightAt(outer - 0.25), quarterMirrored = weightAt(inner - 0.25);
        weights.middle[k] = static_cast<float>(weightAt(outer - 0.5));
        weights.even[k] = static_cast<float>(quarter + quarterMirrored);
        weights.odd[k] = static_cast<float>(quarter - quarterMirrored);
    }
    return weights;
}

}  // namespace

const InterpolationWeights& interpolationWeights() {
    static const InterpolationWeights weights = makeWeights();
    return weights;
}

float interpolatedPeakPortable(const float* w, std::size_t first, std::size_t last) {
    const InterpolationWeights& p = interpolationWeights();
    float peak = 0.0f;
    for (std::size_t j = first; j < last; ++j) {
        float middle = 0.0f, sum = 0.0f, difference = 0.0f;
        for (std::size_t k = 0; k < kInterpolationHalf; ++k) {
            const float outer = w[j + k], inner = w[j + kInterpolationTaps - 1 - k];
            middle += p.middle[k] * (outer + inner);
            sum += p.even[k] * (outer + inner);
            difference += p.odd[k] * (outer - inner);
        }
        const float quarters = 0.5f * (std::fabs(sum) + std::fabs(difference));
        peak = std::max({peak, std::fabs(middle), quarters, std::fabs(w[j + kInterpolationHalf])});
    }
    return peak;
}

#if KD_LOUDNESS_X86

void kWeighTwoSse2(const KWeighting& filter, const float* first, const float* second, KWeightingMemory* memory,
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
        const __m128d t = _mm_sub_pd(_mm_add_pd(_mm_add_pd(_mm_mul_pd(b0, x), _mm_mul_pd(b1, x1)), _mm_mul_pd(b2, x2)),
                                     _mm_mul_pd(a2, y2));
        const __m128d y = _mm_sub_pd(t, _mm_mul_pd(a1, y1));
        const __m128d u = _mm_sub_pd(_mm_add_pd(_mm_sub_pd(y, _mm_mul_pd(two, y1)), y2), _mm_mul_pd(h2, z2));
        const __m128d z = _mm_sub_pd(u, _mm_mul_pd(h1, z1));
        x2 = x1;
        x1 = x;
        y2 = y1;
        y1 = y;
        z2 = z1;
        z1 = z;
        sum = _mm_add_pd(sum, _mm_mul_pd(z, z));
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

// The points of four windows, w[0..14]: the largest magnitude of each
// lane's three points and its sample.
__m128 peakOfFour(const float* w, const __m128* middleWeight, const __m128* evenWeight, const __m128* oddWeight) {
    const __m128 magnitude = _mm_castsi128_ps(_mm_set1_epi32(0x7FFFFFFF));
    __m128 middle = _mm_setzero_ps(), sum = _mm_setzero_ps(), difference = _mm_setzero_ps();
    for (std::size_t k = 0; k < kInterpolationHalf; ++k) {
        const __m128 outer = _mm_loadu_ps(w + k);
        const __m128 inner = _mm_loadu_ps(w + kInterpolationTaps - 1 - k);
        const __m128 both = _mm_add_ps(outer, inner);
        middle = _mm_add_ps(middle, _mm_mul_ps(middleWeight[k], both));
        sum = _mm_add_ps(sum, _mm_mul_ps(evenWeight[k], both));
        difference = _mm_add_ps(difference, _mm_mul_ps(oddWeight[k], _mm_sub_ps(outer, inner)));
    }
    const __m128 quarters =
        _mm_mul_ps(_mm_set1_ps(0.5f), _mm_add_ps(_mm_and_ps(sum, magnitude), _mm_and_ps(difference, magnitude)));
    const __m128 sample = _mm_and_ps(_mm_loadu_ps(w + kInterpolationHalf), magnitude);
    return _mm_max_ps(_mm_max_ps(_mm_and_ps(middle, magnitude), quarters), sample);
}

}  // namespace

float interpolatedPeakSse2(const float* w, std::size_t count) {
    const InterpolationWeights& p = interpolationWeights();
    __m128 middleWeight[kInterpolationHalf], evenWeight[kInterpolationHalf], oddWeight[kInterpolationHalf];
    for (std::size_t k = 0; k < kInterpolationHalf; ++k) {
        middleWeight[k] = _mm_set1_ps(p.middle[k]);
        evenWeight[k] = _mm_set1_ps(p.even[k]);
        oddWeight[k] = _mm_set1_ps(p.odd[k]);
    }
    __m128 peak = _mm_setzero_ps();
    std::size_t j = 0;
    for (; j + 4 <= count; j += 4) {
        peak = _mm_max_ps(peak, peakOfFour(w + j, middleWeight, evenWeight, oddWeight));
    }
    if (j < count) {
        // The last few points in lanes of their own, from a copy padded
        // with silence, the lanes beyond them dropped.
        float padded[4 + kInterpolationTaps - 1] = {};
        std::copy(w + j, w + count + kInterpolationTaps - 1, padded);
        const __m128i lane = _mm_setr_epi32(0, 1, 2, 3);
        const __m128 kept = _mm_castsi128_ps(_mm_cmpgt_epi32(_mm_set1_epi32(static_cast<int>(count - j)), lane));
        peak = _mm_max_ps(peak, _mm_and_ps(kept, peakOfFour(padded, middleWeight, evenWeight, oddWeight)));
    }
    float lanes[4];
    _mm_storeu_ps(lanes, peak);
    return std::max({lanes[0], lanes[1], lanes[2], lanes[3]});
}

#endif

}  // namespace loudness_paths

using namespace loudness_paths;

bool kernelPathRuns(KernelPath path) {
    switch (path) {
        case KernelPath::Portable:
            return true;
        case KernelPath::Sse2:
            return KD_LOUDNESS_X86 != 0;
        case KernelPath::Avx2:
#if KD_LOUDNESS_X86
            // The compiler's own check covers the system's saving of the
            // 256-bit registers as well as the processor.
            __builtin_cpu_init();
            return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
#else
            return false;
#endif
    }
    return false;
}

KernelPath fastestKernelPath() {
    static const KernelPath fastest = kernelPathRuns(KernelPath::Avx2)   ? KernelPath::Avx2
                                      : kernelPathRuns(KernelPath::Sse2) ? KernelPath::Sse2
                                                                         : KernelPath::Portable;
    return fastest;
}

void kWeighOne(const KWeighting& filter, const float* samples, KWeightingMemory& memory, std::size_t count) {
    // Direct form I: each section's output depends on its last output
    // through one multiplication and one subtraction, done last.
    const Biquad s = filter.shelf;
    const Biquad h = filter.highPass;
    KWeightingMemory m = memory;
    double sum = m.squares;
    for (std::size_t i = 0; i < count; ++i) {
        const double x = samples[i];
        const double y = (s.b0 * x + s.b1 * m.x1 + s.b2 * m.x2 - s.a2 * m.y2) - s.a1 * m.y1;
        const double z = ((y - 2.0 * m.y1 + m.y2) - h.a2 * m.z2) - h.a1 * m.z1;
        m.x2 = m.x1;
        m.x1 = x;
        m.y2 = m.y1;
        m.y1 = y;
        m.z2 = m.z1;
        m.z1 = z;
        sum += z * z;
    }
    m.squares = sum;
    memory = m;
}

void kWeighTwo(KernelPath path, const KWeighting& filter, const float* first, const float* second,
               KWeightingMemory* memory, std::size_t count) {
#if KD_LOUDNESS_X86
    if (path == KernelPath::Avx2) {
        kWeighTwoAvx2(filter, first, second, memory, count);
        return;
    }
    if (path == KernelPath::Sse2) {
        kWeighTwoSse2(filter, first, second, memory, count);
        return;
    }
#else
    (void)path;
#endif
    kWeighOne(filter, first, memory[0], count);
    kWeighOne(filter, second, memory[1], count);
}

float interpolatedPeak(KernelPath path, const float* w, std::size_t count) {
#if KD_LOUDNESS_X86
    if (path == KernelPath::Avx2) {
        return interpolatedPeakAvx2(w, count);
    }
    if (path == KernelPath::Sse2) {
        return interpolatedPeakSse2(w, count);
    }
#else
    (void)path;
#endif
    return interpolatedPeakPortable(w, 0, count);
}
