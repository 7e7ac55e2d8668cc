#include "trap_report.h"

#include <cstdio>
#include <cstdlib>

#ifdef _WIN32
#include <windows.h>
#else
#include <signal.h>
#endif

namespace trap_report {
namespace {

const char* volatile currentHost = "the test's own";
const char* volatile currentCall = "no call yet";
volatile int currentIndex = -1;
const char* volatile currentValue = nullptr;

// Integers and texts only: no floating-point arithmetic, which might trap
// again.
[[noreturn]] void report(const char* exception, unsigned long code) {
    std::fprintf(stderr, "floating-point trap (%s 0x%lx) in or right after the call %s", exception, code, currentCall);
    if (currentIndex >= 0) {
        std::fprintf(stderr, " %d", currentIndex);
    }
    if (currentValue != nullptr) {
        std::fprintf(stderr, " with %s", currentValue);
    }
    std::fprintf(stderr, ", host state: %s\n", currentHost);
    std::fflush(stderr);
    std::_Exit(3);
}

#ifdef _WIN32
// EXCEPTION_FLT_DENORMAL_OPERAND to EXCEPTION_FLT_UNDERFLOW, and the two
// that SSE raises in 64-bit processes (multiple faults, multiple traps).
LONG CALLBACK onException(EXCEPTION_POINTERS* info) {
    const DWORD code = info->ExceptionRecord->ExceptionCode;
    if ((code >= 0xC000008D && code <= 0xC0000093) || code == 0xC00002B4 || code == 0xC00002B5) {
        report("exception", code);
    }
    return EXCEPTION_CONTINUE_SEARCH;
}
#else
void onSignal(int, siginfo_t* info, void*) {
    report("SIGFPE, si_code", static_cast<unsigned long>(info->si_code));
}
#endif

}  // namespace

void install() {
    static bool installed = false;
    if (!installed) {
        installed = true;
#ifdef _WIN32
        AddVectoredExceptionHandler(1, onException);
#else
        struct sigaction action {};
        action.sa_sigaction = onSignal;
        action.sa_flags = SA_SIGINFO;
        sigemptyset(&action.sa_mask);
        sigaction(SIGFPE, &action, nullptr);
#endif
    }
}

void asHost(const char* state) {
    currentHost = state;
}

void during(const char* call, int index, const char* value) {
    currentCall = call;
    currentIndex = index;
    currentValue = value;
}

}  // namespace trap_report
