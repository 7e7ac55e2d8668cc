// The inner loops of the loudness meter: the K-weighting filter and the
// true peak's interpolation. Each comes as plain C++, as SSE2 and as AVX2
// with fused multiply-adds, the last chosen at run time where the processor
// and system have it. The paths compute the same figures within rounding.
#pragma once

#include <cstddef>

// The SSE2 and AVX2 paths exist in builds for x86 processors with SSE2.
#if defined(__SSE2__) && (defined(__i386__) || defined(__x86_64__))
#define KD_LOUDNESS_X86 1
#else
#define KD_LOUDNESS_X86 0
#endif

enum class KernelPath { Portable, Sse2, Avx2 };

// The fastest path this build and processor run.
KernelPath fastestKernelPath();
// Whether `path` runs here.
bool kernelPathRuns(KernelPath path);

// A second-order section; a0 = 1.
struct Biquad {
    double b0, b1, b2, a1, a2;
};
// BS.1770's K-weighting: the high shelf, then the high-pass, whose
// numerator is always 1, -2, 1 (its b coefficients are not read).
struct KWeighting {
    Biquad shelf;
    Biquad highPass;
};
// One channel's memories: the shelf's inputs and outputs, then the
// high-pass's outputs (its inputs are the shelf's outputs); and the sum of
// its weighted squares since the caller last took it, carried from call to
// call so that the sum is the same however the samples were split.
struct KWeightingMemory {
    double x1 = 0.0, x2 = 0.0, y1 = 0.0, y2 = 0.0, z1 = 0.0, z2 = 0.0;
    double squares = 0.0;
};

// Filters `count` samples of one channel, or of two at once (their
// recursions overlapped), adding the weighted squares to each channel's
// `squares` one sample at a time.
void kWeighOne(const KWeighting& filter, const float* samples, KWeightingMemory& memory, std::size_t count);
void kWeighTwo(KernelPath path, const KWeighting& filter, const float* first, const float* second,
               KWeightingMemory* memory, std::size_t count);

// The true peak's interpolator: the weights of the samples w[0..11] around
// the points between w[5] and w[6].
inline constexpr std::size_t kInterpolationTaps = 12;
inline constexpr std::size_t kInterpolationHalf = kInterpolationTaps / 2;

// The largest magnitude among the points a quarter, a half and three
// quarters of the way from w[j + 5] to w[j + 6], and w[j + 6] itself, for
// every j in [0, count): `w` holds count + 11 samples. Each point is
// computed the same way wherever it falls in `w`, so the peak of a signal
// does not depend on how it was split.
float interpolatedPeak(KernelPath path, const float* w, std::size_t count);

// The paths' own entry points, for the dispatch above.
namespace loudness_paths {

// The weights, folded by symmetry: the three phases are mirror images (the
// quarter's taps reversed are the three quarters'; the half's are
// symmetric), so each works on the sums and differences of the outer and
// inner samples of the window w[0..11]:
//   half = sum over k < 6 of middle[k] (w[k] + w[11-k])
//   quarter + three quarters = sum of even[k] (w[k] + w[11-k])
//   quarter - three quarters = sum of odd[k] (w[k] - w[11-k])
// and the larger magnitude of the quarter and the three quarters is half of
// |sum| + |difference|.
struct InterpolationWeights {
    float middle[kInterpolationHalf];
    float even[kInterpolationHalf];
    float odd[kInterpolationHalf];
};
const InterpolationWeights& interpolationWeights();

float interpolatedPeakPortable(const float* w, std::size_t first, std::size_t last);
#if KD_LOUDNESS_X86
void kWeighTwoSse2(const KWeighting& filter, const float* first, const float* second, KWeightingMemory* memory,
                   std::size_t count);
float interpolatedPeakSse2(const float* w, std::size_t count);
void kWeighTwoAvx2(const KWeighting& filter, const float* first, const float* second, KWeightingMemory* memory,
                   std::size_t count);
float interpolatedPeakAvx2(const float* w, std::size_t count);
#endif

}  // namespace loudness_paths
