// What a process that runs plug-in work inside itself (`check --no-fork`)
// prints should that work crash, hang or end it: the host cannot carry on,
// but it still prints the verdict of what was running, the step it was in,
// the plug-in calls in progress and the closing summary, then ends with
// status 1.
//
// The words are prepared before each piece of work, while the process may
// still allocate; the fatal handlers, the exit hooks and the watchdog only
// write them out.
#pragma once

#include <string>

namespace last_words {

// Placeholders in the prepared text: where the cause ("the plug-in crashed
// (signal 11, SIGSEGV)"), the step and the plug-in calls in progress go. In
// JSON, all three are written as the insides of a string, escaped.
inline constexpr char kCause = '\x01';
inline constexpr char kStep = '\x02';
inline constexpr char kCall = '\x03';

// Makes the words the fatal handlers' last act and starts the watchdog
// thread. Once per process.
void install();

// What to print should the current work end the process; `json` escapes
// what fills the placeholders for a JSON string.
void prepare(std::string text, bool json);
// Nothing to print: between pieces of work.
void clear();

// Prints the words with `cause` and ends the process with status 1; for a
// handler that knows better than "crashed" what happened.
[[noreturn]] void endWith(const char* cause);

// The watchdog: if not disarmed within `seconds`, the words are printed with
// "did not finish within N s" as the cause and the process ends.
void arm(int seconds);
void disarm();

}  // namespace last_words
