// The signed power law's benchmark subjects, shared by the Google Benchmark
// program (Linux) and the timing program of every build: the C library's
// pow in the formula the law stands for, the law value by value, and its two
// array paths. Their inputs, and the check made before any timing.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "signed_power.h"
#include "signed_power_paths.h"
#include "test_signals.h"

namespace bench {
namespace power {

enum class Subject { kCLibrary, kScalar, kSse2, kAvx2 };
constexpr Subject kSubjects[] = {Subject::kCLibrary, Subject::kScalar, Subject::kSse2, Subject::kAvx2};

enum class Input { kNoise, kSilenceTail };
constexpr Input kInputs[] = {Input::kNoise, Input::kSilenceTail};

// Program 0's main exponent (amount 0.71) and the strongest one (amount 1).
constexpr float kExponents[] = {0.39f, 0.1f};

constexpr std::size_t kLength = 4096;
constexpr std::size_t kBlock = 512;  // the arrays of one call, as the signal path's blocks

inline const char* nameOf(Subject s) {
    switch (s) {
        case Subject::kCLibrary:
            return "C library pow";
        case Subject::kScalar:
            return "signedPower, value by value";
        case Subject::kSse2:
            return "signedPowers, SSE2";
        case Subject::kAvx2:
            return "signedPowers, AVX2";
    }
    return "?";
}

inline const char* nameOf(Input i) {
    return i == Input::kNoise ? "noise" : "silence tail";
}

inline bool available(Subject s) {
    return s != Subject::kAvx2 || power_law::paths::avx2Usable();
}

// White noise in [-0.9, 0.9]; or what a band holds once the input has
// stopped: values that have decayed below the float normal range.
inline std::vector<float> inputOf(Input input) {
    if (input == Input::kNoise) {
        return perf::whiteNoise(kLength, 0.9f, 42);
    }
    perf::Random random(43);
    std::vector<float> values(kLength);
    for (float& v : values) {
        const auto bits =
            static_cast<std::uint32_t>(random.below(0x007FFFFFu) + 1) | (random.below(2) == 0 ? 0u : 0x80000000u);
        std::memcpy(&v, &bits, sizeof v);
    }
    return values;
}

// The formula through the build's C library, as the signal path used it.
inline float cLibrarySignedPower(float v, float e) {
    const double x = v;
    return static_cast<float>(v > 0.0f ? std::pow(x, static_cast<double>(e)) : -std::pow(-x, static_cast<double>(e)));
}

// One pass over the input in blocks.
inline void run(Subject s, const std::vector<float>& in, std::vector<float>& out, float e) {
    for (std::size_t start = 0; start < in.size(); start += kBlock) {
        const float* from = in.data() + start;
        float* to = out.data() + start;
        switch (s) {
            case Subject::kCLibrary:
                for (std::size_t i = 0; i < kBlock; ++i) {
                    to[i] = cLibrarySignedPower(from[i], e);
                }
                break;
            case Subject::kScalar:
                for (std::size_t i = 0; i < kBlock; ++i) {
                    to[i] = power_law::signedPower(from[i], e);
                }
                break;
            case Subject::kSse2:
                power_law::paths::signedPowersOn(power_law::paths::ArrayPath::kSse2, from, to, kBlock, e);
                break;
            case Subject::kAvx2:
                power_law::paths::signedPowersOn(power_law::paths::ArrayPath::kAvx2, from, to, kBlock, e);
                break;
        }
    }
}

struct Check {
    std::size_t pathsDiffering = 0;     // values where an array path differs from the scalar law
    std::size_t cLibraryDiffering = 0;  // values where the C library's formula differs from the law
};

// Every subject against the law value by value, bit for bit, and the C
// library's formula against it (glibc's pow gives the same floats; another
// C library's pow may not be correctly rounded).
inline Check check(Input input, float e) {
    const std::vector<float> in = inputOf(input);
    std::vector<float> expected(in.size());
    run(Subject::kScalar, in, expected, e);
    Check result;
    for (const Subject s : kSubjects) {
        if (s == Subject::kScalar || !available(s)) {
            continue;
        }
        std::vector<float> out(in.size());
        run(s, in, out, e);
        std::size_t& count = s == Subject::kCLibrary ? result.cLibraryDiffering : result.pathsDiffering;
        for (std::size_t i = 0; i < in.size(); ++i) {
            count += std::memcmp(&out[i], &expected[i], sizeof(float)) != 0 ? 1 : 0;
        }
    }
    return result;
}

}  // namespace power
}  // namespace bench
