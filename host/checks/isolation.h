// Running one check so that whatever the plug-in does inside it (crash,
// hang, exit) becomes that check's verdict instead of the host's end, with
// the sub-step it was in, the plug-in calls in progress and what the
// plug-in printed.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "checks/check_support.h"

// How many of the plug-in's last output lines a report shows.
inline constexpr std::size_t kPluginOutputLines = 6;

// A check to run in a process of its own. On POSIX systems `work` runs in a
// forked child. On Windows the child is plughost run anew with `arguments`
// (what follows the program on its command line), which finds the same
// work and runs it through runAsIsolatedChild.
struct IsolatedWork {
    std::function<CheckOutcome()> work;
    std::vector<std::string> arguments;
};

// Runs the work in a child process and waits at most `timeoutSeconds`. A
// child that crashes, hangs or ends without a verdict yields an error
// naming how it ended, the step it was in and the plug-in calls in
// progress. What the plug-in prints is collected, and its last lines are
// attached to an error; when `echo`, it is also passed on to the error
// stream as it comes.
CheckOutcome runIsolated(const IsolatedWork& isolated, int timeoutSeconds, bool echo);

// The child's side: runs `work`, sends the verdict to the parent and ends
// the process.
[[noreturn]] void runAsIsolatedChild(const std::function<CheckOutcome()>& work);

// Runs `work` in this process; exceptions become errors. The fatal
// handlers and the watchdog of last_words report what ends the process.
CheckOutcome runInProcess(const std::function<CheckOutcome()>& work);

// Ends the running check at once with an error of `detail`, from a signal or
// exception handler: in a child process as its verdict, inside the host
// through the last words. Allocates nothing.
[[noreturn]] void endCheckWithError(const char* detail);
