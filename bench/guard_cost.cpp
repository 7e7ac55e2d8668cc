// kd_guard_cost: what the floating-point guard (frame/floating_point_guard.h)
// costs per call from the host, in the build it is compiled for, in four host
// states: the effect's own words (nothing to change), x87 at 64-bit
// precision (the default of Linux and of MinGW programs: the x87 word is set
// and put back), and exceptions unmasked as Delphi sets them, with no flag
// raised and with inexact already raised in both units.
//
// Columns, in nanoseconds per call, each less the same loop without the
// guard: the guard alone; the guard around x87 arithmetic that raises
// inexact (a flag to clear again, unless the host had raised it itself);
// around x87 arithmetic that raises underflow and inexact (a flag the host
// had not raised: the x87 environment is stored and loaded). Last, a whole
// call: getParameter through the record of the plug-in library given (the
// build's own by default), guard included.
//
// Usage: kd_guard_cost [PLUGIN]
// The best of 5 rounds of at least 0.25 s each, in the thread's CPU time (as
// kd_time measures). Exit status 0, or 2 when the library gives no instance.
#include <algorithm>
#include <cstdint>
#include <cstdio>

#ifdef _WIN32
#include <windows.h>
#else
#include <time.h>
#endif

#include "aeffect.h"
#include "floating_point_guard.h"
#include "opcodes.h"
#include "plugin_library.h"

namespace {

using namespace floating_point_guard;

struct HostState {
    const char* what;
    std::uint32_t mxcsr;
    std::uint16_t x87Control;
    std::uint16_t x87Flags;
};

const HostState kHostStates[] = {
    {"the effect's own (0x027f, 0x1f80)", kWantedMxcsr, 0x027F, 0},
    {"x87 at 64-bit precision (0x037f, 0x1f80)", kWantedMxcsr, 0x037F, 0},
    {"exceptions unmasked (0x1332, 0x1900)", 0x1900, 0x1332, 0},
    {"the same, inexact raised in both units", 0x1920, 0x1332, 0x0020},
};

constexpr int kRounds = 5;
// Long enough for Wine, which counts a thread's CPU time in 10 ms steps.
constexpr double kShortestRound = 0.25e9;  // ns

void enter(const HostState& state) {
    setMxcsr(state.mxcsr);
    clearX87Exceptions();
    setX87ControlWord(state.x87Control);
    X87Environment environment;
    storeX87Environment(environment);
    environment.status = static_cast<std::uint16_t>((environment.status & ~kX87Flags) | state.x87Flags);
    loadX87Environment(environment);
}

void leave() {
    clearX87Exceptions();
    setX87ControlWord(0x037F);
    setMxcsr(kWantedMxcsr);
}

// CPU time of the calling thread, in nanoseconds.
double threadNanoseconds() {
#ifdef _WIN32
    FILETIME created, exited, kernel, user;
    GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user);
    const auto ticks = [](const FILETIME& t) {
        return static_cast<double>((static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime);
    };
    return (ticks(kernel) + ticks(user)) * 100.0;
#else
    timespec now;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e9 + static_cast<double>(now.tv_nsec);
#endif
}

// Nanoseconds per call of body: calls enough for a round of kShortestRound,
// then the best of kRounds such rounds.
template <typename Body>
double nanoseconds(const HostState& state, Body&& body) {
    const auto round = [&](long calls) {
        enter(state);
        const double start = threadNanoseconds();
        for (long i = 0; i < calls; ++i) {
            body();
        }
        const double end = threadNanoseconds();
        leave();
        return end - start;
    };
    long calls = 1 << 16;
    while (round(calls) < kShortestRound) {
        calls *= 2;
    }
    double best = 1e30;
    for (int r = 0; r < kRounds; ++r) {
        best = std::min(best, round(calls) / static_cast<double>(calls));
    }
    return best;
}

void nothing() {
    __asm__ volatile("" : : : "memory");
}

void inexact() {
    volatile long double one = 1.0L, three = 3.0L;
    volatile long double third = one / three;
    (void)third;
}

void underflow() {
    volatile long double tiny = 0x1p-16000L, third = 1.0L / 3.0L;
    volatile long double product = tiny * tiny * third;
    (void)product;
}

VstIntPtr VSTCALLBACK hostCallback(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

template <void (*kWork)()>
void guarded() {
    const FloatingPointGuard guard;
    kWork();
}

}  // namespace

int main(int argc, char** argv) {
    const char* path = argc > 1 ? argv[1] : KD_DISTORTION_PATH;
    PluginLibrary library;
    PluginEntryProc entry = library.load(path) ? library.entry() : nullptr;
    AEffect* effect = entry != nullptr ? entry(hostCallback) : nullptr;
    if (effect == nullptr) {
        std::fprintf(stderr, "kd_guard_cost: no instance from %s\n", path);
        return 2;
    }
#if defined(_WIN32) && defined(__i386__)
    std::printf("32-bit DLL");
#elif defined(_WIN32)
    std::printf("64-bit DLL");
#else
    std::printf("Linux");
#endif
    std::printf(", %s; ns per call\n\n", path);
    std::printf(
        "| host state (x87, MXCSR) | guard alone | around x87 inexact | around x87 underflow | getParameter |\n");
    std::printf("|---|---|---|---|---|\n");
    for (const HostState& state : kHostStates) {
        const double empty = nanoseconds(state, nothing);
        const double alone = nanoseconds(state, guarded<nothing>) - empty;
        const double aroundInexact = nanoseconds(state, guarded<inexact>) - nanoseconds(state, inexact);
        const double aroundUnderflow = nanoseconds(state, guarded<underflow>) - nanoseconds(state, underflow);
        const double call = nanoseconds(state, [effect] { effect->getParameter(effect, 0); });
        std::printf("| %s | %.1f | %.1f | %.1f | %.1f |\n", state.what, alone, aroundInexact, aroundUnderflow, call);
    }
    effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
    return 0;
}
