// The x87 unit's precision and rounding for the length of one call from the
// host.
//
// In the 32-bit x86 build the compiler's own double arithmetic runs in SSE
// registers, but the C library's pow, sin, cos and log10 run on the x87 unit
// and follow its control word, which many Windows hosts leave at 24-bit
// precision (Direct3D does) and some at another rounding. The effect's results
// are meant in double precision, rounded to nearest; so each way in from the
// host (the entry point and the record's six functions) holds one of these for
// the whole call: it sets 53-bit precision and rounding to nearest, keeps the
// exception masks, and gives the host its control word back exactly. A host
// that already runs that way pays one store, a compare and a branch per call,
// never anything per sample. Host callbacks made during the call see these
// settings too. MXCSR, the SSE control register, stays the host's.
//
// Other builds do all their double arithmetic in SSE registers: there the
// guard is empty.
#pragma once

#include <cstdint>

#if defined(__i386__) || defined(_M_IX86)

class X87DoublePrecision {
public:
    X87DoublePrecision() {
        __asm__ volatile("fnstcw %0" : "=m"(host_) : : "memory");
        const auto wanted = static_cast<std::uint16_t>((host_ & ~kPrecisionAndRounding) | kDoubleToNearest);
        if (wanted != host_) {
            __asm__ volatile("fldcw %0" : : "m"(wanted) : "memory");
            changed_ = true;
        }
    }

    ~X87DoublePrecision() {
        if (changed_) {
            __asm__ volatile("fldcw %0" : : "m"(host_) : "memory");
        }
    }

    X87DoublePrecision(const X87DoublePrecision&) = delete;
    X87DoublePrecision& operator=(const X87DoublePrecision&) = delete;

private:
    // Precision control (bits 8 and 9) and rounding control (bits 10 and 11).
    static constexpr std::uint16_t kPrecisionAndRounding = 0x0F00;
    // Precision 10b (53-bit significand), rounding 00b (to nearest).
    static constexpr std::uint16_t kDoubleToNearest = 0x0200;

    std::uint16_t host_;
    bool changed_ = false;
};

#else

class X87DoublePrecision {
public:
    X87DoublePrecision() {}
    X87DoublePrecision(const X87DoublePrecision&) = delete;
    X87DoublePrecision& operator=(const X87DoublePrecision&) = delete;
};

#endif
