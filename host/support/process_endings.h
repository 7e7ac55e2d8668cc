// How a process ends when it does not end the way plughost meant it to,
// named the same way everywhere: by the process's own handlers, by the
// parent that watched it, in a crash report and in a check's verdict. The
// fatal signals and Windows exception codes are listed once here, each with
// its name and the exit code plughost documents for it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "support/fixed_text.h"

enum class EndingKind : std::int32_t {
    None,     // not ended, or ended as plughost meant to
    Exited,   // exited with status `code` before plughost was done (-1: status unknown)
    Crashed,  // a fatal signal `code` (POSIX) or exception `code` (Windows)
    Aborted,  // abort(): signal `code`
    Threw,    // a C++ exception nobody caught (`text`, or the exception `code`)
    Stopped,  // ended from outside: Ctrl-C, SIGTERM, SIGKILL, a closed pipe (signal or code `code`)
};

// Plain data: a child writes it into memory its parent reads, so the kind
// is written last.
struct Ending {
    EndingKind kind = EndingKind::None;
    std::int64_t code = 0;
    char text[192] = {};
};

// A signal (POSIX) or exception code (Windows) that ends a process, with
// the kind of ending it is, its name and the exit code plughost ends with
// for it: on POSIX systems 128 plus the signal, as every shell shows a
// process that a signal ended; on Windows the code of the POSIX signal
// that means the same, so that scripts read one table on both systems.
struct EndingCause {
    std::int64_t code;
    EndingKind kind;
    const char* name;
    int exitCode;
};

// The exit code of a command whose plug-in ended the process itself
// (exit, _exit, ExitProcess, TerminateProcess of its own process, or the
// system loader while loading its library).
inline constexpr int kExitPluginEndedProcess = 5;
// The exit code for abort() and C++ exceptions nobody caught, and on
// Windows for exception codes with no entry of their own.
inline constexpr int kExitAborted = 134;

// The signals after which a process cannot go on (POSIX), and which the
// fatal handlers catch.
const EndingCause* fatalSignals(std::size_t& count);

// What ended a process: a signal on POSIX, an exception or exit code on
// Windows (where a process that an exception ended exits with its code).
// Null for an exit code that is no exception's.
const EndingCause* signalCause(int signal);
const EndingCause* exceptionCause(std::uint32_t code);

// The ending a parent sees from outside: a POSIX child ended by `signal`,
// or one that exited with `status` (on Windows an exception code, when an
// exception ended it).
Ending endingBySignal(int signal);
Ending endingByExit(std::int64_t status);

// "crashed (signal 11, SIGSEGV)", "crashed (exception 0xC0000005, access
// violation)", "aborted (signal 6, SIGABRT)", "let a C++ exception escape
// (std::bad_alloc: std::bad_alloc)", "ended the process (exit status 0)",
// "was stopped by signal 15 (SIGTERM)": what the process did, to follow
// its subject. Allocates nothing.
void describeEnding(const Ending& ending, FixedText& out);

// "std::bad_alloc: std::bad_alloc": the type and text of the exception
// being handled (in a catch block or a terminate handler). May allocate.
void describeCurrentException(FixedText& out);

// The exit code a command ends with for `ending` when it cannot die of
// the same signal.
int exitCodeFor(const Ending& ending);
