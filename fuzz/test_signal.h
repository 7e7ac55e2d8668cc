// Input blocks for the fuzzer: a few bytes of the input choose a kind of
// signal, a level and a seed, and the block is filled from those, so that a
// 4096-frame block costs a handful of input bytes.
#pragma once

#include <cstddef>
#include <cstdint>

#include "fuzz_bytes.h"

struct TestSignal {
    unsigned kind;
    float level;
    std::uint32_t seed;
    std::size_t specialPosition;
    float special;

    static TestSignal from(FuzzBytes& in);
    // Writes frames samples; the same signal gives the same samples.
    void fill(float* samples, std::size_t frames) const;
};
