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
     "the command ran and found a problem: a failed check, or a render whose output clipped (without --clip), held "
     "NaN or infinity"},
    {kExitUsageOrLoad, "bad usage, or the plug-in cannot be loaded or cannot do what was asked"},
    {kExitFileError, "an input or output file cannot be read or written"},
    {kExitInternalError, "plughost itself failed (please report it)"},
};

constexpr int exitCodeFor(ErrorKind kind) {
    return kind == ErrorKind::File ? kExitFileError : kExitUsageOrLoad;
}
