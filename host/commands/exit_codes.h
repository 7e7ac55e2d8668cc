// The exit codes of every plughost command, as shown by --help and the
// README. Scripts rely on them: never renumber one.
#pragma once

#include "support/host_error.h"

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
};

// Not a code plughost returns: how a shell shows a process that a signal
// ended. plughost dies of the signal itself after removing its temporary
// output, and for a crash says which plug-in call it happened in.
inline constexpr const char* kSignalExits =
    "128+N  ended by signal N: 130 Ctrl-C, 129 SIGHUP, 143 SIGTERM; 134 (SIGABRT), 135 (SIGBUS), 136 (SIGFPE), "
    "132 (SIGILL) or 139 (SIGSEGV) a crash, of the plug-in (its call is named) or of plughost";

constexpr int exitCodeFor(ErrorKind kind) {
    return kind == ErrorKind::File ? kExitFileError : kExitUsageOrLoad;
}
