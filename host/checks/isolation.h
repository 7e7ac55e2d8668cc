// Running one check so that whatever the plug-in does inside it (crash,
// hang, exit) becomes that check's verdict instead of the host's end, with
// the sub-step it was in and what the plug-in printed.
#pragma once

#include <functional>

#include "checks/check_support.h"

// Whether runIsolated can protect the host on this platform (it forks a
// child process per check on Linux; Windows has no fork).
bool isolationAvailable();

// Room for the text of the plug-in calls in progress.
inline constexpr std::size_t kCallTextBytes = 512;

// How many of the plug-in's last output lines a report shows.
inline constexpr std::size_t kPluginOutputLines = 6;

// Runs `work` in a child process and waits at most `timeoutSeconds`. A child
// that crashes, hangs or ends without a verdict yields an error naming the
// step it was in. What the plug-in prints is collected, and its last lines
// are attached to an error; when `echo`, it is also passed on to the error
// stream as it comes.
CheckOutcome runIsolated(const std::function<CheckOutcome()>& work, int timeoutSeconds, bool echo);

// Runs `work` in this process; exceptions become errors. Steps are kept
// where inProcessStep() finds them, for a crash handler to report.
CheckOutcome runInProcess(const std::function<CheckOutcome()>& work);

// The step last announced by a check running in this process; empty text
// when none. Safe to call from a signal or exception handler.
const char* inProcessStep();

// Ends the running check at once with an error of `detail`, from a signal or
// exception handler: in a child process as its verdict, inside the host
// through the last words. Allocates nothing.
[[noreturn]] void endCheckWithError(const char* detail);
