// Text built into a buffer the caller owns, always zero-terminated and cut
// at its size: what signal and exception handlers, and code a crash may
// interrupt, can write without allocating or calling anything unsafe there.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>

class FixedText {
public:
    FixedText(char* out, std::size_t size) : out_(out), size_(size) {
        if (size_ > 0) {
            out_[0] = '\0';
        }
    }

    FixedText& text(const char* text) {
        for (; text != nullptr && *text != '\0'; ++text) {
            put(*text);
        }
        return *this;
    }

    FixedText& number(std::int64_t value) {
        if (value < 0) {
            put('-');
        }
        return digits(value < 0 ? 0u - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value), 10, 1);
    }

    // "0xC0000005": at least `width` digits.
    FixedText& hex(std::uint64_t value, int width = 1) { return text("0x").digits(value, 16, width); }

    // Three decimals, enough for a normalised parameter value.
    FixedText& decimal(float value) {
        if (!std::isfinite(value)) {
            return text(std::isnan(value) ? "NaN" : value < 0.0f ? "-inf" : "inf");
        }
        const double scaled = std::fabs(static_cast<double>(value)) * 1000.0;
        const auto magnitude = static_cast<std::int64_t>(std::floor(scaled + 0.5));
        if (value < 0.0f && magnitude > 0) {
            put('-');
        }
        number(magnitude / 1000).put('.');
        return digits(static_cast<std::uint64_t>(magnitude % 1000), 10, 3);
    }

    FixedText& put(char c) {
        if (length_ + 1 < size_) {
            out_[length_++] = c;
            out_[length_] = '\0';
        }
        return *this;
    }

    std::size_t length() const { return length_; }
    const char* c_str() const { return out_; }

private:
    FixedText& digits(std::uint64_t value, unsigned base, int width) {
        char reversed[24];
        int count = 0;
        do {
            reversed[count++] = "0123456789ABCDEF"[value % base];
            value /= base;
        } while (value != 0 || count < width);
        while (count > 0) {
            put(reversed[--count]);
        }
        return *this;
    }

    char* out_;
    std::size_t size_;
    std::size_t length_ = 0;
};
