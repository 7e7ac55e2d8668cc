// The exit codes of every plughost command, as shown by --help and the
// README. Scripts rely on them: never renumber one.
#pragma once

#include "support/host_error.h"
#include "support/process_endings.h"

struct ExitCodeMeaning {
    int code;
    const char* meaning;
};

inline constexpr int kExitSuccess = 0;
inline constexpr int kExitProblemFound = 1;
inline constexpr int kExitUsageOrLoad = 2;
inline constexpr int kExitFileError = 3;
inline constexpr int kExitInternalError = 4;

inline constexpr ExitCodeMeaning kExitCodes[] = {
    {kExitSuccess, "success"},
    {kExitProblemFound,
     "the command ran and found a problem: a failed check, a render whose output clipped (without --clip) or held "
     "NaN or infinity, or whose input file was cut short"},
    {kExitUsageOrLoad, "bad usage, or the plug-in cannot be loaded or cannot do what was asked"},
    {kExitFileError, "an input or output file cannot be read or written"},
    {kExitInternalError, "plughost itself failed (please report it)"},
    {kExitPluginEndedProcess,
     "the plug-in ended the process itself (exit, _exit, ExitProcess, TerminateProcess), or the system loader did "
     "while loading its library; the plug-in call is named"},
};

// How a shell shows a process that a signal ended. On POSIX systems
// plughost dies of the signal itself after removing its temporary output;
// on Windows it exits with the code of the signal that means the same.
// For a crash it says which plug-in call it happened in.
inline constexpr const char* kSignalExits =
    "128+N  ended by signal N: 130 Ctrl-C, 129 SIGHUP, 143 SIGTERM; a crash of the plug-in (its call is named) or "
    "of plughost: 139 (SIGSEGV), 135 (SIGBUS), 136 (SIGFPE), 132 (SIGILL), 133 (SIGTRAP); 134 abort() or a C++ "
    "exception that nothing caught. Windows exceptions give the code of the signal that means the same";

constexpr int exitCodeFor(ErrorKind kind) {
    return kind == ErrorKind::File ? kExitFileError : kExitUsageOrLoad;
}
