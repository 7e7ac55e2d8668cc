// Samples between the interleaved frames of a file and the planar arrays
// of a render: one array per channel. Stereo, the common case, takes the
// processor's four-at-a-time instructions where it has them.
#pragma once

#include <cstddef>
#include <cstdint>

// How samples are stored in a file's bytes, for the encodings that are
// decoded here rather than through libsndfile: little-endian 16- and 24-bit
// integers and 32-bit floats in this machine's byte order.
enum class StoredSamples { Pcm16, Pcm24, Float };

// Bytes of one stored sample.
std::size_t storedSampleBytes(StoredSamples coding);

// Decodes `count` frames of `channelCount` stored samples into
// `channels[c][offset ...]`. Integers become v / 2^15 and v / 2^23: exact in
// a float, and the values libsndfile gives. `frames` must have 3 bytes of
// padding after the last frame (24-bit samples are loaded four bytes at a
// time); for floats it must be the bytes of float objects.
void splitStored(StoredSamples coding, const unsigned char* frames, std::size_t count, std::size_t channelCount,
                 float* const* channels, std::size_t offset);

// `count` interleaved float frames into `channels[c][offset ...]`.
void split(const float* frames, std::size_t count, std::size_t channelCount, float* const* channels,
           std::size_t offset);

// `channels[c][offset ...]` into `count` interleaved frames.
void interleave(const float* const* channels, std::size_t channelCount, std::size_t offset, std::size_t count,
                float* frames);

// `count` integers holding their samples in the top bits (as
// SampleQuantizer gives them) to stored 16- or 24-bit samples.
void packStored(StoredSamples coding, const std::int32_t* integers, std::size_t count, unsigned char* bytes);

// The same for two channels at once, interleaved: `count` frames from
// `left` and `right`.
void packStoredStereo(StoredSamples coding, const std::int32_t* left, const std::int32_t* right, std::size_t count,
                      unsigned char* bytes);
