// The report a check run gives when a check that runs inside the host
// process crashes or hangs it: the host cannot carry on, but it still prints
// that check's verdict, the step it was in and the closing summary.
//
// The runner prepares the words before each in-process check, while it may
// still allocate; the crash and hang handlers only write them out.
#pragma once

#include <string>

namespace last_words {

// Placeholders in the prepared text: where the cause ("the plug-in crashed
// the host: signal 11 (SIGSEGV)"), the step and the plug-in calls in
// progress go. In JSON, both are
// written as the insides of a string, escaped.
inline constexpr char kCause = '\x01';
inline constexpr char kStep = '\x02';
inline constexpr char kCall = '\x03';

// Installs the crash handlers (Linux signals, the Windows unhandled
// exception filter) and starts the watchdog thread. Once per process.
void install();

// What to print should the current check end the host; `json` escapes the
// cause and the step for a JSON string.
void prepare(std::string text, bool json);
// Nothing to print: between checks, or while the check runs in a child.
void clear();

// Prints the words with `cause` and ends the host with status 1, as a crash
// does; for a handler that knows better than "crashed" what happened.
[[noreturn]] void endWith(const char* cause);

// The watchdog: if not disarmed within `seconds`, the words are printed with
// "did not finish within N s" as the cause and the host ends.
void arm(int seconds);
void disarm();

}  // namespace last_words
