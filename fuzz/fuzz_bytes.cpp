#include "fuzz_bytes.h"

#include <cstring>
#include <limits>

namespace {
float floatFromBits(std::uint32_t bits) {
    float value;
    std::memcpy(&value, &bits, sizeof(value));
    return value;
}

// Values that have broken audio code before: the edges of 0..1, both zeros,
// quiet and signalling NaNs of both signs, infinities, the smallest
// subnormal and normal numbers, the largest float.
float specialFloat(unsigned which) {
    switch (which % 20) {
        case 0:
            return 0.0f;
        case 1:
            return -0.0f;
        case 2:
            return 1.0f;
        case 3:
            return 0.5f;
        case 4:
            return floatFromBits(0x3EFFFFFFu);  // just below 0.5
        case 5:
            return floatFromBits(0x3F800001u);  // just above 1
        case 6:
            return floatFromBits(0x80000001u);  // just below 0
        case 7:
            return std::numeric_limits<float>::quiet_NaN();
        case 8:
            return floatFromBits(0xFFC00000u);  // negative quiet NaN
        case 9:
            return floatFromBits(0x7FA00000u);  // signalling NaN
        case 10:
            return std::numeric_limits<float>::infinity();
        case 11:
            return -std::numeric_limits<float>::infinity();
        case 12:
            return std::numeric_limits<float>::denorm_min();
        case 13:
            return std::numeric_limits<float>::min();
        case 14:
            return std::numeric_limits<float>::max();
        case 15:
            return -std::numeric_limits<float>::max();
        case 16:
            return -1.0f;
        case 17:
            return 2.0f;
        case 18:
            return 1e30f;
        default:
            return -1e30f;
    }
}
}  // namespace

std::uint8_t FuzzBytes::byte() {
    return position_ < size_ ? data_[position_++] : 0;
}

std::uint16_t FuzzBytes::u16() {
    const std::uint16_t low = byte();
    return static_cast<std::uint16_t>(low | (static_cast<std::uint16_t>(byte()) << 8));
}

std::uint32_t FuzzBytes::u32() {
    const std::uint32_t low = u16();
    return low | (static_cast<std::uint32_t>(u16()) << 16);
}

std::uint64_t FuzzBytes::u64() {
    const std::uint64_t low = u32();
    return low | (static_cast<std::uint64_t>(u32()) << 32);
}

float FuzzBytes::anyFloat() {
    return floatFromBits(u32());
}

float FuzzBytes::parameterValue() {
    const unsigned kind = byte() % 8;
    if (kind < 4) {
        return static_cast<float>(u16()) / 65535.0f;
    }
    if (kind < 6) {
        return specialFloat(byte());
    }
    if (kind == 6) {
        return static_cast<float>(byte()) / 255.0f;
    }
    return anyFloat();
}

VstInt32 FuzzBytes::index(VstInt32 count) {
    const unsigned kind = byte();
    if (kind < 200) {
        return static_cast<VstInt32>(kind % static_cast<unsigned>(count));
    }
    switch (kind % 8) {
        case 0:
            return -1;
        case 1:
            return count;
        case 2:
            return count + 1;
        case 3:
            return std::numeric_limits<VstInt32>::min();
        case 4:
            return std::numeric_limits<VstInt32>::max();
        case 5:
            return -count;
        case 6:
            return 1 << 16;
        default:
            return static_cast<VstInt32>(u32());
    }
}

VstInt32 FuzzBytes::opcode() {
    const unsigned kind = byte();
    if (kind < 224) {
        return static_cast<VstInt32>(kind % 80);
    }
    switch (kind % 8) {
        case 0:
            return 80;
        case 1:
            return 81 + byte();
        case 2:
            return -1;
        case 3:
            return -2 - byte();
        case 4:
            return std::numeric_limits<VstInt32>::min();
        case 5:
            return std::numeric_limits<VstInt32>::max();
        case 6:
            return 128;
        default:
            return static_cast<VstInt32>(u32());
    }
}

VstIntPtr FuzzBytes::value() {
    const unsigned kind = byte();
    if (kind < 160) {
        return static_cast<VstIntPtr>(kind % 12) - 1;
    }
    switch (kind % 10) {
        case 0:
            return std::numeric_limits<VstInt32>::max();
        case 1:
            return std::numeric_limits<VstInt32>::min();
        case 2:
            return std::numeric_limits<VstIntPtr>::max();
        case 3:
            return std::numeric_limits<VstIntPtr>::min();
#if INTPTR_MAX > INT32_MAX
        // Numbers that a cut to 32 bits would turn into small program numbers.
        case 4:
            return static_cast<VstIntPtr>((std::uint64_t{1} << 32) | 3u);
        case 5:
            return std::numeric_limits<VstIntPtr>::min() + 3;
#else
        case 4:
            return 3;
        case 5:
            return std::numeric_limits<VstIntPtr>::min() + 3;
#endif
        case 6:
            return static_cast<VstIntPtr>(static_cast<std::int32_t>(u32()));
        case 7:
            return 4096;
        case 8:
            return 44100;
        default:
            return static_cast<VstIntPtr>(u64());
    }
}

float FuzzBytes::opt() {
    const unsigned kind = byte() % 4;
    if (kind == 0) {
        return specialFloat(byte());
    }
    if (kind == 1) {
        return anyFloat();
    }
    if (kind == 2) {
        return 44100.0f;
    }
    return static_cast<float>(u16());
}

std::string FuzzBytes::text(std::size_t maxLength) {
    const std::size_t length = byte() % (maxLength + 1);
    std::string result;
    result.reserve(length);
    for (std::size_t i = 0; i < length; ++i) {
        const std::uint8_t c = byte();
        result.push_back(static_cast<char>(c == 0 ? 'a' + i % 26 : c));
    }
    return result;
}
