// The format of an output file: the container from the file name's
// extension (any container libsndfile writes), the encoding from --bit-depth
// (32-bit float unless asked otherwise), both checked against the real
// channel count and sample rate before anything is rendered.
#pragma once

#include <optional>
#include <string>

// A libsndfile format word: container in the high bits, encoding in the low.
struct AudioFileFormat {
    int value = 0;
    // "WAV, 32 bit float"
    std::string describe() const;
    // Float encodings keep samples beyond full scale; every other encoding
    // (integer PCM, lossy codecs) clips them.
    bool keepsBeyondFullScale() const;
    // The bits of a linear integer encoding (8 to 32); 0 for any other
    // (float, lossy, companded).
    int integerBits() const;
    // Whether the container could hold these channels as 32-bit floats.
    bool containerTakesFloat(int channels, int sampleRate) const;
};

enum class BitDepth { Default, Int8, Int16, Int24, Int32, Float, Double };

// "8", "16", "24", "32", "float", "double"; none for anything else.
std::optional<BitDepth> parseBitDepth(const std::string& text);
inline constexpr const char* kBitDepthWords = "8, 16, 24, 32, float or double";

// Throws UsageError naming the problem: an extension libsndfile does not
// write (listing those it does), an encoding the container cannot hold, or
// a channel count or sample rate it cannot hold (a codec's rates are
// checked against what it takes, which libsndfile's own check does not
// know, and named).
AudioFileFormat chooseOutputFormat(const std::string& path, BitDepth depth, int channels, int sampleRate);
// The same for an extension given on its own ("wav", "flac"); `path` names
// the output in messages.
AudioFileFormat chooseFormatFor(const std::string& extension, const std::string& path, BitDepth depth, int channels,
                                int sampleRate);

// The lowercase extensions that chooseOutputFormat knows, ", "-separated.
std::string writableExtensions();
