// The sub-step a check is in (rate, block size, parameter and value), kept
// on the watch page, where whoever reports on the check reads it should the
// plug-in crash or hang in it: the process's own handlers, or the parent
// that runs the check in a child.
#pragma once

#include <string>

// Called by the thread that runs the check.
void announceStep(const std::string& what);
