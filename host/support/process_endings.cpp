#include "support/process_endings.h"

#include <cxxabi.h>

#include <csignal>
#include <cstdlib>
#include <exception>
#include <typeinfo>

namespace {

#ifndef _WIN32
constexpr EndingCause kFatalSignals[] = {
    {SIGSEGV, EndingKind::Crashed, "SIGSEGV", 128 + SIGSEGV}, {SIGBUS, EndingKind::Crashed, "SIGBUS", 128 + SIGBUS},
    {SIGFPE, EndingKind::Crashed, "SIGFPE", 128 + SIGFPE},    {SIGILL, EndingKind::Crashed, "SIGILL", 128 + SIGILL},
    {SIGTRAP, EndingKind::Crashed, "SIGTRAP", 128 + SIGTRAP}, {SIGSYS, EndingKind::Crashed, "SIGSYS", 128 + SIGSYS},
    {SIGABRT, EndingKind::Aborted, "SIGABRT", 128 + SIGABRT},
};

// Signals that end a process from outside; named, never blamed on anyone.
constexpr EndingCause kStoppingSignals[] = {
    {SIGINT, EndingKind::Stopped, "SIGINT", 128 + SIGINT},    {SIGTERM, EndingKind::Stopped, "SIGTERM", 128 + SIGTERM},
    {SIGHUP, EndingKind::Stopped, "SIGHUP", 128 + SIGHUP},    {SIGQUIT, EndingKind::Stopped, "SIGQUIT", 128 + SIGQUIT},
    {SIGKILL, EndingKind::Stopped, "SIGKILL", 128 + SIGKILL}, {SIGPIPE, EndingKind::Stopped, "SIGPIPE", 128 + SIGPIPE},
};
#endif

// Windows exception codes, and the POSIX signal each stands for.
constexpr EndingCause kExceptionCodes[] = {
    {0xC0000005, EndingKind::Crashed, "access violation", 139},
    {0xC00000FD, EndingKind::Crashed, "stack overflow", 139},
    {0xC000008C, EndingKind::Crashed, "array bounds exceeded", 139},
    {0xC0000006, EndingKind::Crashed, "in-page error", 135},
    {0x80000002, EndingKind::Crashed, "misaligned data", 135},
    {0xC000001D, EndingKind::Crashed, "illegal instruction", 132},
    {0xC0000096, EndingKind::Crashed, "privileged instruction", 132},
    {0xC0000094, EndingKind::Crashed, "integer division by zero", 136},
    {0xC0000095, EndingKind::Crashed, "integer overflow", 136},
    {0xC000008D, EndingKind::Crashed, "floating-point denormal operand", 136},
    {0xC000008E, EndingKind::Crashed, "floating-point division by zero", 136},
    {0xC000008F, EndingKind::Crashed, "floating-point inexact result", 136},
    {0xC0000090, EndingKind::Crashed, "floating-point invalid operation", 136},
    {0xC0000091, EndingKind::Crashed, "floating-point overflow", 136},
    {0xC0000092, EndingKind::Crashed, "floating-point stack check", 136},
    {0xC0000093, EndingKind::Crashed, "floating-point underflow", 136},
    {0xC00002B4, EndingKind::Crashed, "multiple floating-point faults", 136},
    {0xC00002B5, EndingKind::Crashed, "multiple floating-point traps", 136},
    {0x80000003, EndingKind::Crashed, "breakpoint", 133},
    {0x80000004, EndingKind::Crashed, "single step", 133},
    {0xC0000374, EndingKind::Crashed, "heap corruption", kExitAborted},
    {0xC0000409, EndingKind::Crashed, "stack buffer overrun", kExitAborted},
    {0xE06D7363, EndingKind::Threw, "a Microsoft C++ exception", kExitAborted},
    {0x20474343, EndingKind::Threw, "a GCC C++ exception", kExitAborted},
    {0xC000013A, EndingKind::Stopped, "Ctrl-C", 130},
};

// What each kind of ending did, before what caused it.
struct EndingWords {
    EndingKind kind;
    const char* words;
};

constexpr EndingWords kEndingWords[] = {
    {EndingKind::None, "ended"},
    {EndingKind::Exited, "ended the process"},
    {EndingKind::Crashed, "crashed"},
    {EndingKind::Aborted, "aborted"},
    {EndingKind::Threw, "let a C++ exception escape"},
    {EndingKind::Stopped, "was stopped"},
};

#ifdef _WIN32
// Exception codes carry their severity in the top two bits: an error
// (0b11) or a warning (0b10) ends a process; 0xC... and 0x8... codes are
// never exit statuses a program chooses.
bool isExceptionCode(std::uint32_t code) {
    return (code >> 30) >= 2u;
}
#endif

}  // namespace

const EndingCause* fatalSignals(std::size_t& count) {
#ifdef _WIN32
    count = 0;
    return nullptr;
#else
    count = sizeof kFatalSignals / sizeof kFatalSignals[0];
    return kFatalSignals;
#endif
}

const EndingCause* signalCause(int signal) {
#ifdef _WIN32
    (void)signal;
#else
    for (const EndingCause& cause : kFatalSignals) {
        if (cause.code == signal) {
            return &cause;
        }
    }
    for (const EndingCause& cause : kStoppingSignals) {
        if (cause.code == signal) {
            return &cause;
        }
    }
#endif
    return nullptr;
}

const EndingCause* exceptionCause(std::uint32_t code) {
    for (const EndingCause& cause : kExceptionCodes) {
        if (cause.code == code) {
            return &cause;
        }
    }
    return nullptr;
}

Ending endingBySignal(int signal) {
    Ending ending;
    const EndingCause* cause = signalCause(signal);
    ending.kind = cause != nullptr ? cause->kind : EndingKind::Stopped;
    ending.code = signal;
    return ending;
}

Ending endingByExit(std::int64_t status) {
    Ending ending;
    ending.kind = EndingKind::Exited;
    ending.code = status;
#ifdef _WIN32
    const auto code = static_cast<std::uint32_t>(status);
    if (const EndingCause* cause = exceptionCause(code)) {
        ending.kind = cause->kind;
    } else if (isExceptionCode(code)) {
        ending.kind = EndingKind::Crashed;
    }
#endif
    return ending;
}

void describeEnding(const Ending& ending, FixedText& out) {
    for (const EndingWords& entry : kEndingWords) {
        if (entry.kind == ending.kind) {
            out.text(entry.words);
        }
    }
    if (ending.kind == EndingKind::None) {
        return;
    }
    out.text(" (");
    if (ending.kind == EndingKind::Exited) {
        (ending.code == -1 ? out.text("exit") : out.text("exit status ").number(ending.code)).text(")");
        return;
    }
    if (ending.kind == EndingKind::Threw && ending.text[0] != '\0') {
        out.text(ending.text).text(")");
        return;
    }
#ifdef _WIN32
    const auto code = static_cast<std::uint32_t>(ending.code);
    const EndingCause* cause = exceptionCause(code);
    if (ending.kind == EndingKind::Aborted) {
        out.text("abort)");
        return;
    }
    out.text("exception ").hex(code, 8);
#else
    const EndingCause* cause = signalCause(static_cast<int>(ending.code));
    out.text("signal ").number(ending.code);
#endif
    out.text(cause != nullptr ? ", " : "").text(cause != nullptr ? cause->name : "").text(")");
}

int exitCodeFor(const Ending& ending) {
    switch (ending.kind) {
        case EndingKind::None:
            return 0;
        case EndingKind::Exited:
            return kExitPluginEndedProcess;
        case EndingKind::Aborted:
            return kExitAborted;
        default:
            break;
    }
#ifdef _WIN32
    const EndingCause* cause = exceptionCause(static_cast<std::uint32_t>(ending.code));
#else
    const EndingCause* cause = signalCause(static_cast<int>(ending.code));
    if (cause == nullptr && ending.kind != EndingKind::Threw) {
        return 128 + static_cast<int>(ending.code);
    }
#endif
    return cause != nullptr ? cause->exitCode : kExitAborted;
}

void describeCurrentException(FixedText& out) {
    const std::type_info* type = abi::__cxa_current_exception_type();
    if (type == nullptr) {
        out.text("an exception of no known type");
        return;
    }
    int status = 0;
    char* readable = abi::__cxa_demangle(type->name(), nullptr, nullptr, &status);
    out.text(status == 0 && readable != nullptr ? readable : type->name());
    std::free(readable);
    try {
        throw;
    } catch (const std::exception& error) {
        out.text(": ").text(error.what());
    } catch (...) {
    }
}
