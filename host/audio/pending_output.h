// The temporary file an output is written into before it is put in place:
// its name beside the target, its removal should the process be ended by a
// signal, and the removal of those that ended processes left behind.
#pragma once

#include <string>

namespace pending_output {

// ".NAME.plughost-PID.part" in the target's folder.
std::string temporaryBeside(const std::string& target);

// The temporary file being written now (one at a time), or none after clear.
void announce(const std::string& temporary);
void clear();

// Removes the announced file. Safe in a signal handler.
void removeAnnounced();

// Removes the temporary files of the pattern above in the target's folder
// whose process no longer runs (a render ended by SIGKILL or a power cut);
// those of living processes stay. Returns how many went.
int removeStale(const std::string& target);

}  // namespace pending_output
