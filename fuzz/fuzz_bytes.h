// Turns the fuzzer's input into the arguments a host might send. Bytes are
// taken from the front, so a seed file reads as a sequence of host actions;
// once the input is used up every read answers 0.
//
// The value makers mix the ordinary (in-range indices, values in 0..1) with
// the extreme (negative and huge indices, NaN, infinities, subnormals,
// 64-bit values that do not fit 32 bits), so that both reach the effect often.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "aeffect.h"

class FuzzBytes {
public:
    FuzzBytes(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    bool exhausted() const { return position_ >= size_; }

    std::uint8_t byte();
    std::uint16_t u16();
    std::uint32_t u32();
    std::uint64_t u64();
    bool flag() { return (byte() & 1) != 0; }
    // 0 .. count - 1
    unsigned below(unsigned count) { return count == 0 ? 0 : byte() % count; }

    // Any bit pattern: NaNs with payloads, infinities, subnormals, huge values.
    float anyFloat();
    // A parameter value: mostly 0..1, often an edge of that range, sometimes
    // anything at all.
    float parameterValue();
    // A parameter index: mostly 0..count - 1, sometimes just outside, negative
    // or extreme.
    VstInt32 index(VstInt32 count);
    // Any opcode, with 0..79 most likely.
    VstInt32 opcode();
    // The dispatcher's pointer-sized value argument when it is a number.
    VstIntPtr value();
    // The dispatcher's float argument.
    float opt();
    // Up to maxLength characters, any bytes but zero.
    std::string text(std::size_t maxLength);

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t position_ = 0;
};
