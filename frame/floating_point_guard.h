// The floating-point state the effect's arithmetic is written for, for the
// length of one call from the host.
//
// Hosts set their own state on their threads: many switch on flush-to-zero
// and denormals-are-zero in MXCSR, the SSE control register, a few change its
// rounding, Direct3D and some older hosts leave the x87 unit at 24-bit
// precision, and hosts built with Delphi unmask the invalid-operation,
// zero-divide and overflow exceptions in both units (x87 control word 0x1332,
// MXCSR 0x1900). The effect's results are meant in double precision, rounded
// to nearest, with numbers below the normal range kept, and its arithmetic
// may overflow or divide by zero on out-of-range parameter values, huge input
// or odd sample rates; so each way in from the host (the entry point and the
// record's six functions) holds one guard for the whole call. It sets:
//
// - MXCSR: rounding to nearest, flush-to-zero and denormals-are-zero off,
//   every exception masked;
// - the x87 control word: 53-bit precision, rounding to nearest, every
//   exception masked. The C library's pow, sin, cos and log10 run on the x87
//   unit in both Windows builds, the 64-bit one included, so both get the
//   same word; the Linux build computes nothing there, but gets it too, so
//   that every build runs the same guard.
//
// and gives the host back, when the call ends, exactly what it had: both
// control words, and the exception flags of both units as the host left
// them. A flag the effect raises while its exception is masked would
// otherwise stay behind: on the x87 unit, once the host's control word
// unmasks it again, it makes the host's next x87 instruction trap. (An
// exception the host itself left flagged and unmasked is pending before the
// call: it traps on the first x87 instruction that waits, as in any code the
// host calls, the guard's own FLDCW included.)
//
// Cost: a host that already runs that way pays two stores, compares and
// branches per register and call; a call that raises x87 flags the host had
// clear adds an FNCLEX; only a call that raises x87 flags besides those the
// host had already raised pays for storing and loading the x87 environment
// (BENCHMARKS.md). Never anything per sample. Host callbacks made during the
// call see these settings too.
#pragma once

#include <cstdint>

#if defined(__i386__) || defined(_M_IX86) || defined(__x86_64__) || defined(_M_X64)

namespace floating_point_guard {

// Rounding to nearest, all six exceptions masked, flush-to-zero and
// denormals-are-zero off. The six low bits are the sticky exception flags.
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

// x87 control word: the six exception masks (bits 0 to 5), precision control
// (bits 8 and 9) and rounding control (bits 10 and 11). Wanted: every
// exception masked, precision 10b (53-bit significand), rounding 00b (to
// nearest); the host's other bits kept.
constexpr std::uint16_t kX87Masks = 0x003F;
constexpr std::uint16_t kPrecisionAndRounding = 0x0F00;
constexpr std::uint16_t kDoubleToNearest = 0x0200;

// x87 status word: the six sticky exception flags and the stack fault flag
// (bits 0 to 6), the exception summary (bit 7, set while a flagged exception
// is unmasked: the next waiting x87 instruction traps) and busy (bit 15,
// which follows it).
constexpr std::uint16_t kX87Flags = 0x007F;
constexpr std::uint16_t kX87Pending = 0x0080;
constexpr std::uint16_t kX87Busy = 0x8000;

constexpr std::uint16_t wantedX87ControlWord(std::uint16_t host) {
    return static_cast<std::uint16_t>((host & ~(kPrecisionAndRounding | kX87Masks)) | kDoubleToNearest | kX87Masks);
}

inline std::uint16_t x87ControlWord() {
    std::uint16_t word;
    __asm__ volatile("fnstcw %0" : "=m"(word) : : "memory");
    return word;
}

// FLDCW waits: a flag pending under the old word traps here.
inline void setX87ControlWord(std::uint16_t word) {
    __asm__ volatile("fldcw %0" : : "m"(word) : "memory");
}

inline std::uint16_t x87StatusWord() {
    std::uint16_t word;
    __asm__ volatile("fnstsw %0" : "=m"(word) : : "memory");
    return word;
}

inline void clearX87Exceptions() {
    __asm__ volatile("fnclex" : : : "memory");
}

// The x87 environment as FNSTENV stores it (the 28-byte protected-mode
// layout, in 64-bit mode as well): control, status and tag words, and where
// the last x87 instruction and its operand were.
struct X87Environment {
    std::uint16_t control;
    std::uint16_t unused1;
    std::uint16_t status;
    std::uint16_t unused2;
    std::uint16_t tags;
    std::uint16_t unused3;
    std::uint32_t instruction[2];
    std::uint32_t operand[2];
};
static_assert(sizeof(X87Environment) == 28, "FNSTENV stores 28 bytes");

// Stores the environment, then masks every x87 exception (FNSTENV does both).
inline void storeX87Environment(X87Environment& environment) {
    __asm__ volatile("fnstenv %0" : "=m"(environment) : : "memory");
}

// Loads all of it, the tag word included: no value may live on the x87 stack
// across this, so the compiler is told that every stack register changes.
inline void loadX87Environment(const X87Environment& environment) {
    __asm__ volatile("fldenv %0"
                     :
                     : "m"(environment)
                     : "memory", "st", "st(1)", "st(2)", "st(3)", "st(4)", "st(5)", "st(6)", "st(7)");
}

// Puts back the host's exception flags (and stack fault) after a call that
// changed them, leaving the control word and everything else as they are.
// The host's flags were not pending under its own control word (see above),
// and nothing pends under the all-masked word in force here.
inline void restoreX87Flags(std::uint16_t hostStatus) {
    if ((hostStatus & kX87Flags) == 0) {
        clearX87Exceptions();
        return;
    }
    X87Environment environment;
    storeX87Environment(environment);
    environment.status = static_cast<std::uint16_t>((environment.status & ~(kX87Flags | kX87Pending | kX87Busy)) |
                                                    (hostStatus & kX87Flags));
    loadX87Environment(environment);
}

// MXCSR for the length of one call. The host gets its word back exactly,
// flags included: the word set here if it was changed, and otherwise
// whenever the effect's arithmetic raised a flag the host had not. (SSE has
// no pending exceptions, so a flag alone never traps; but the flags are the
// host's.)
class SseState {
public:
    SseState() : host_(mxcsr()), changed_((host_ & kMxcsrControl) != kWantedMxcsr) {
        if (changed_) {
            setMxcsr(kWantedMxcsr);
        }
    }
    ~SseState() {
        if (changed_ || mxcsr() != host_) {
            setMxcsr(host_);
        }
    }
    SseState(const SseState&) = delete;
    SseState& operator=(const SseState&) = delete;

private:
    std::uint32_t host_;
    bool changed_;
};

// The x87 unit for the length of one call.
class X87State {
public:
    X87State()
        : control_(x87ControlWord()), status_(x87StatusWord()), changed_(wantedX87ControlWord(control_) != control_) {
        if (changed_) {
            setX87ControlWord(wantedX87ControlWord(control_));
        }
    }
    ~X87State() {
        if (((x87StatusWord() ^ status_) & kX87Flags) != 0) {
            restoreX87Flags(status_);
        }
        if (changed_) {
            setX87ControlWord(control_);
        }
    }
    X87State(const X87State&) = delete;
    X87State& operator=(const X87State&) = delete;

private:
    std::uint16_t control_;
    std::uint16_t status_;
    bool changed_;
};

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
