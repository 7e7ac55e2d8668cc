// How many frames an audio file's header promises, read from the bytes at
// its start, so that a file cut short (a download broken off, a recording
// whose disk filled) is told apart from a whole one: libsndfile shortens
// the length to what is there without a word.
//
// Known for the data chunk of RIFF, RIFX, RF64 and Wave64 (WAV) files, the
// sound data of AIFF and AIFC files, the data chunk of CAF files and the
// data of Sun/NeXT (.au) files, in encodings with a fixed frame size. Sizes
// that streamed files carry in place of the length they could not know
// (0xFFFFFFFF, 0x7FFFF000 and other values from 0x7F000000 on in 32-bit
// fields, -1 in CAF) promise nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

// `header`: the first `length` bytes of the file (a chunk beyond them is
// not found). `bytesPerFrame`: the size of one frame of the file's
// encoding, 0 when it has none.
std::optional<std::uint64_t> promisedFrames(const unsigned char* header, std::size_t length, std::size_t bytesPerFrame);
