// Float samples to the integers of an output file: rounded to the nearest
// step (ties to even), with triangular (TPDF) dither of one step either way
// when asked, and saturated at full scale. A file's integer samples read as
// floats (v / 2^(bits-1)) come back as the same integers, so a render that
// leaves them alone is bit-transparent.
#pragma once

#include <cstddef>
#include <cstdint>

enum class Dither { None, Tpdf };

class SampleQuantizer {
public:
    // `bits`: 8 to 32.
    SampleQuantizer(int bits, Dither dither);

    // `count` samples to integers whose top `bits` bits hold the result and
    // whose other bits are 0, the form libsndfile's integer writes take.
    // NaN becomes negative full scale (such output is never kept).
    void quantize(const float* samples, std::size_t count, std::int32_t* integers);

    // Samples so far that lay between two steps and were rounded: 0 when the
    // output holds exactly what the plug-in gave (without dither).
    std::size_t roundedSamples() const { return rounded_; }
    int bits() const { return bits_; }

private:
    void quantizeInDouble(const float* samples, std::size_t count, std::int32_t* integers);
    float triangularNoise();

    int bits_;
    Dither dither_;
    float scale_;  // 2^(bits-1): full scale in steps
    int shift_;    // 32 - bits
    std::size_t rounded_ = 0;
    std::uint32_t noiseState_ = 0x9E3779B9u;  // fixed: the same render gives the same file
};
