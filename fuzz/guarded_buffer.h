// A host-side buffer of exactly the size the interface promises, with guard
// bytes straight behind it. The whole block comes from the heap, so
// AddressSanitizer catches a write past the guard, and the guard itself
// catches one into the bytes a stack-allocated host buffer would have had
// there (its neighbours), without a sanitizer.
//
// The usable part is filled with a pattern, not zeros, so that an effect
// which writes no terminator is caught as well.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

class GuardedBuffer {
public:
    static constexpr std::size_t kGuardBytes = 32;
    static constexpr unsigned char kFill = 0xCD;

    explicit GuardedBuffer(std::size_t size, unsigned char fill = kFill);

    char* data() { return reinterpret_cast<char*>(bytes_.get()); }
    std::size_t size() const { return size_; }

    // Offset of the first changed guard byte, counted from the end of the
    // usable part; kGuardBytes when the guard is whole.
    std::size_t firstDamagedGuardByte() const;
    bool guardIntact() const { return firstDamagedGuardByte() == kGuardBytes; }
    // Whether every usable byte still holds the fill.
    bool untouched() const;
    // Whether a zero byte lies within the usable part.
    bool terminated() const;
    // The text up to the first zero byte (or the whole usable part).
    std::string text() const;

private:
    static unsigned char guardByte(std::size_t i) { return static_cast<unsigned char>(0xA5 ^ (i * 7)); }

    std::size_t size_;
    unsigned char fill_;
    std::unique_ptr<unsigned char[]> bytes_;
};
