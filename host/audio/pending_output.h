// The temporary file an output is written into before it is put in place:
// its name beside the target, where the parent that watches this process
// finds it to remove it should the process end before it is in place
// (watched_run.h), and the removal of those that processes ended outright
// left behind.
#pragma once

#include <string>

namespace pending_output {

// ".NAME.plughost-PID.part" in the target's folder.
std::string temporaryBeside(const std::string& target);

// The temporary file or folder being written now (one at a time), or none
// after clear.
void announce(const std::string& temporary);
void clear();

// Removes the temporary files of the pattern above in the target's folder
// whose process no longer runs (a render ended by SIGKILL or a power cut);
// those of living processes stay. Returns how many went.
int removeStale(const std::string& target);

}  // namespace pending_output
