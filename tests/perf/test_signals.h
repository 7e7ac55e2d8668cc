// Input signals shared by the exactness tests and the benchmarks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace perf {

// A small, fast generator with a fixed sequence for a given seed.
class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed * 0x9E3779B97F4A7C15ull + 1) {}

    std::uint64_t next() {
        state_ ^= state_ >> 12;
        state_ ^= state_ << 25;
        state_ ^= state_ >> 27;
        return state_ * 0x2545F4914F6CDD1Dull;
    }
    // Uniform in [0, 1).
    double uniform() { return static_cast<double>(next() >> 11) * 0x1p-53; }
    // Uniform in [low, high).
    float between(float low, float high) { return static_cast<float>(low + (high - low) * uniform()); }
    std::size_t below(std::size_t n) { return static_cast<std::size_t>(next() % n); }

private:
    std::uint64_t state_;
};

// White noise, uniform in [-amplitude, amplitude).
inline std::vector<float> whiteNoise(std::size_t length, float amplitude, std::uint64_t seed) {
    Random random(seed);
    std::vector<float> signal(length);
    for (float& s : signal) {
        s = random.between(-amplitude, amplitude);
    }
    return signal;
}

// One sample of height `height`, then silence.
inline std::vector<float> impulseThenSilence(std::size_t length, float height) {
    std::vector<float> signal(length, 0.0f);
    if (length > 0) {
        signal[0] = height;
    }
    return signal;
}

}  // namespace perf
