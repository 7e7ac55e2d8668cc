#include "trap_report.h"

#include <cstdio>
#include <cstdlib>

#ifdef _WIN32
#include <windows.h>
#else
#include <signal.h>
#include <unistd.h>
#endif

namespace trap_report {
namespace {

const char* volatile currentHost = "the test's own";
const char* volatile currentCall = "no call yet";
volatile int currentIndex = -1;
const char* volatile currentValue = nullptr;

// Text only: no floating-point arithmetic, which might trap again.
[[noreturn]] void report(const char* exception) {
    char index[16] = "";
    if (currentIndex >= 0) {
        char digits[12];
        int n = 0;
        for (unsigned v = static_cast<unsigned>(currentIndex); n == 0 || v != 0; v /= 10) {
            digits[n++] = static_cast<char>('0' + v % 10);
        }
        int i = 0;
        index[i++] = ' ';
        while (n > 0) {
            index[i++] = digits[--n];
        }
        index[i] = '\0';
    }
    std::fprintf(stderr, "floating-point trap (%s) in or right after the call %s%s%s%s, host state: %s\n", exception,
                 currentCall, index, currentValue != nullptr ? " with " : "",
                 currentValue != nullptr ? currentValue : "", currentHost);
    std::fflush(stderr);
    std::_Exit(3);
}

#ifdef _WIN32
LONG CALLBACK onException(EXCEPTION_POINTERS* info) {
    struct Named {
        DWORD code;
        const char* name;
    };
    static const Named kFloatingPoint[] = {
        {EXCEPTION_FLT_DENORMAL_OPERAND, "EXCEPTION_FLT_DENORMAL_OPERAND"},
        {EXCEPTION_FLT_DIVIDE_BY_ZERO, "EXCEPTION_FLT_DIVIDE_BY_ZERO"},
        {EXCEPTION_FLT_INEXACT_RESULT, "EXCEPTION_FLT_INEXACT_RESULT"},
        {EXCEPTION_FLT_INVALID_OPERATION, "EXCEPTION_FLT_INVALID_OPERATION"},
        {EXCEPTION_FLT_OVERFLOW, "EXCEPTION_FLT_OVERFLOW"},
        {EXCEPTION_FLT_STACK_CHECK, "EXCEPTION_FLT_STACK_CHECK"},
        {EXCEPTION_FLT_UNDERFLOW, "EXCEPTION_FLT_UNDERFLOW"},
        {0xC00002B4, "STATUS_FLOAT_MULTIPLE_FAULTS"},
        {0xC00002B5, "STATUS_FLOAT_MULTIPLE_TRAPS"},
    };
    for (const Named& named : kFloatingPoint) {
        if (info->ExceptionRecord->ExceptionCode == named.code) {
            report(named.name);
        }
    }
    return EXCEPTION_CONTINUE_SEARCH;
}
#else
void onSignal(int, siginfo_t* info, void*) {
    switch (info->si_code) {
        case FPE_FLTDIV:
            report("SIGFPE, zero divide");
        case FPE_FLTOVF:
            report("SIGFPE, overflow");
        case FPE_FLTUND:
            report("SIGFPE, underflow");
        case FPE_FLTRES:
            report("SIGFPE, inexact");
        case FPE_FLTINV:
            report("SIGFPE, invalid operation");
        default:
            report("SIGFPE");
    }
}
#endif

}  // namespace

void install() {
    static bool installed = false;
    if (installed) {
        return;
    }
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

void asHost(const char* state) {
    currentHost = state;
}

void during(const char* call, int index, const char* value) {
    currentCall = call;
    currentIndex = index;
    currentValue = value;
}

}  // namespace trap_report
