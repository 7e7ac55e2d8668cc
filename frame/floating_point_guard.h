// The floating-point state the effect's arithmetic is written for, for the
// length of one call from the host.
//
// Hosts set their own state on their threads: many switch on flush-to-zero
// and denormals-are-zero in MXCSR, the SSE control register, a few change its
// rounding, and Direct3D and some older hosts leave the x87 unit at 24-bit
// precision. The effect's results are meant in double precision, rounded to
// nearest, with numbers below the normal range kept; so each way in from the
// host (the entry point and the record's six functions) holds one guard for
// the whole call. It sets:
//
// - MXCSR: rounding to nearest, flush-to-zero and denormals-are-zero off,
//   every exception masked;
// - in the 32-bit x86 build also the x87 control word, since the C library's
//   pow, sin, cos and log10 run on the x87 unit there: 53-bit precision and
//   rounding to nearest, the host's exception masks kept.
//
// and gives the host its words back exactly when the call ends. A host that
// already runs that way pays a store, a compare and a branch per register
// and call, never anything per sample. Host callbacks made during the call
// see these settings too.
#pragma once

#include <cstdint>

#if defined(__i386__) || defined(_M_IX86) || defined(__x86_64__) || defined(_M_X64)

namespace floating_point_guard {

// Rounding to nearest, all six exceptions masked, flush-to-zero and
// denormals-are-zero off. The six low bits are the sticky exception flags,
// which any arithmetic sets; they are not part of the state compared.
constexpr std::uint32_t kWantedMxcsr = 0x1F80;
constexpr std::uint32_t kMxcsrControl = 0xFFC0;

inline std::uint32_t mxcsr() {
    std::uint32_t word;
    __asm__ volatile("stmxcsr %0" : "=m"(word) : : "memory");
    return word;
}

inline void setMxcsr(std::uint32_t word) {
    __asm__ volatile("ldmxcsr %0" : : "m"(word) : "memory");
}

// Precision control (bits 8 and 9) and rounding control (bits 10 and 11);
// precision 10b (53-bit significand), rounding 00b (to nearest).
constexpr std::uint16_t kPrecisionAndRounding = 0x0F00;
constexpr std::uint16_t kDoubleToNearest = 0x0200;

inline std::uint16_t x87ControlWord() {
    std::uint16_t word;
    __asm__ volatile("fnstcw %0" : "=m"(word) : : "memory");
    return word;
}

inline void setX87ControlWord(std::uint16_t word) {
    __asm__ volatile("fldcw %0" : : "m"(word) : "memory");
}

// One control register for the length of one call: Register::read() and
// write(word) reach it, Register::wanted(host) is the word the effect runs
// with when the host left `host` there.
template <typename Register>
class SavedRegister {
public:
    SavedRegister() : host_(Register::read()) {
        const auto wanted = Register::wanted(host_);
        if (wanted != host_) {
            Register::write(wanted);
            changed_ = true;
        }
    }
    ~SavedRegister() {
        if (changed_) {
            Register::write(host_);
        }
    }
    SavedRegister(const SavedRegister&) = delete;
    SavedRegister& operator=(const SavedRegister&) = delete;

private:
    decltype(Register::read()) host_;
    bool changed_ = false;
};

struct Mxcsr {
    static std::uint32_t read() { return mxcsr(); }
    static void write(std::uint32_t word) { setMxcsr(word); }
    // The host's word as it is when its control bits are already right, so
    // that its exception flags stay.
    static std::uint32_t wanted(std::uint32_t host) {
        return (host & kMxcsrControl) == kWantedMxcsr ? host : kWantedMxcsr;
    }
};

struct X87ControlWord {
    static std::uint16_t read() { return x87ControlWord(); }
    static void write(std::uint16_t word) { setX87ControlWord(word); }
    // The host's exception masks kept.
    static std::uint16_t wanted(std::uint16_t host) {
        return static_cast<std::uint16_t>((host & ~kPrecisionAndRounding) | kDoubleToNearest);
    }
};

using SseState = SavedRegister<Mxcsr>;

#if defined(__i386__) || defined(_M_IX86)
using X87State = SavedRegister<X87ControlWord>;
#else
// Other x86 builds do all their double arithmetic in SSE registers.
class X87State {
public:
    X87State() {}
    X87State(const X87State&) = delete;
    X87State& operator=(const X87State&) = delete;
};
#endif

}  // namespace floating_point_guard

class FloatingPointGuard {
public:
    FloatingPointGuard() {}
    FloatingPointGuard(const FloatingPointGuard&) = delete;
    FloatingPointGuard& operator=(const FloatingPointGuard&) = delete;

private:
    floating_point_guard::X87State x87_;
    floating_point_guard::SseState sse_;
};

#else
#error "the floating-point guard knows only x86 processors"
#endif
