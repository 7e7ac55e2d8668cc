// The host owns the floating-point environment of its audio thread: many
// set flush-to-zero, some change the rounding. Processing must leave it as
// the host set it, and must give the reference's output whatever rounding
// the host chose.
#include <gtest/gtest.h>

#include <cfenv>
#include <cstdio>
#include <vector>

#include "reference_signal_path.h"
#include "sample_comparison.h"
#include "test_signals.h"
#include "twin_paths.h"

#if defined(__SSE2__) || defined(__x86_64__) || defined(_M_X64)
#define KD_HAS_MXCSR 1
#include <xmmintrin.h>
#endif

namespace {

// Noise, then an impulse and a long silence: every path of the signal chain,
// the subnormal range included, with cache refreshes on the way.
void exerciseEveryPath(DistortionK& effect) {
    const std::vector<float> noise = perf::whiteNoise(2048, 0.9f, 5);
    const std::vector<float> tail = perf::impulseThenSilence(20000, 1.0f);
    for (const int program : {0, 5, 4}) {
        effect.setProgram(program);
        perf::processInBlocks(effect, noise, 512);
        effect.setParameter(reference::kLowMidCrossover, 0.6f);
        perf::processInBlocks(effect, tail, 512);
    }
}

#if KD_HAS_MXCSR
TEST(ProcessingAudio, LeavesTheHostsSseControlBitsAsTheHostSetThem) {
    // The low six bits are sticky exception flags that any arithmetic sets;
    // the rest (masks, rounding, flush-to-zero, denormals-are-zero) is the
    // host's setting.
    constexpr unsigned kControlBits = 0xFFC0u;
    const unsigned hostSettings[] = {
        0x1F80u,  // the default: all exceptions masked, round to nearest
        0x9FC0u,  // flush-to-zero and denormals-are-zero on
        0x7F80u,  // round toward zero
        0x3F80u,  // round upward
    };
    const unsigned original = _mm_getcsr();
    for (const unsigned setting : hostSettings) {
        DistortionK effect(nullptr);
        _mm_setcsr(setting);
        exerciseEveryPath(effect);
        const unsigned after = _mm_getcsr();
        _mm_setcsr(original);
        EXPECT_EQ(after & kControlBits, setting & kControlBits)
            << std::hex << "host set MXCSR 0x" << setting << ", found 0x" << after << " after processing";
    }
}
#endif

TEST(ProcessingAudio, LeavesTheHostsRoundingModeAsTheHostSetIt) {
    for (const int mode : {FE_TONEAREST, FE_UPWARD, FE_DOWNWARD, FE_TOWARDZERO}) {
        DistortionK effect(nullptr);
        ASSERT_EQ(std::fesetround(mode), 0);
        exerciseEveryPath(effect);
        const int after = std::fegetround();
        std::fesetround(FE_TONEAREST);
        EXPECT_EQ(after, mode) << "rounding mode " << mode << " came back as " << after;
    }
}

TEST(ProcessingAudio, MatchesTheReferenceInEveryRoundingModeTheHostMaySet) {
    std::vector<float> input = perf::whiteNoise(3000, 0.9f, 6);
    const std::vector<float> tail = perf::impulseThenSilence(12000, 1.0f);
    input.insert(input.end(), tail.begin(), tail.end());
    for (const int mode : {FE_TONEAREST, FE_UPWARD, FE_DOWNWARD, FE_TOWARDZERO}) {
        for (const int program : {0, 4, 5, 6}) {
            for (const float multiband : {1.0f, 0.0f}) {
                DistortionK effect(nullptr);
                effect.setProgram(program);
                effect.setParameter(reference::kMultiDistOn, multiband);
                reference::SignalPath path;
                perf::mirrorParameters(effect, path);

                ASSERT_EQ(std::fesetround(mode), 0);
                const std::vector<float> got = perf::processInBlocks(effect, input, 512);
                const std::vector<float> expected = perf::processReference(path, input);
                std::fesetround(FE_TONEAREST);
                EXPECT_EQ(perf::firstDifference(got, expected), "")
                    << "rounding mode " << mode << ", program " << program << ", per-band switch " << multiband;
            }
        }
    }
}

}  // namespace
