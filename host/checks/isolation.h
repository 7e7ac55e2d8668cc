// Running one check so that whatever the plug-in does inside it (crash,
// hang, exit) becomes that check's verdict instead of the host's end.
#pragma once

#include <functional>

#include "checks/check_support.h"

// Whether runIsolated can protect the host on this platform (it forks a
// child process per check on Linux; Windows has no fork).
bool isolationAvailable();

// Runs `work` in a child process and waits at most `timeoutSeconds`. A child
// that crashes, hangs or ends without a verdict yields a failed check. When
// `quiet`, what the plug-in prints is discarded.
CheckOutcome runIsolated(const std::function<CheckOutcome()>& work, int timeoutSeconds, bool quiet);

// Runs `work` here; exceptions become failed checks.
CheckOutcome runGuarded(const std::function<CheckOutcome()>& work);
