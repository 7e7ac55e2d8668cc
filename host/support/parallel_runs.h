// Runs this program again, several times side by side: each run a process
// of its own (so that its memory, and whatever a plug-in does to it, stays
// its own), with standard input from nowhere and its standard output and
// error collected. The seam a batch needs from a process layer: the caller
// never sees how processes are started or waited for.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

struct FinishedRun {
    int exitCode = 0;  // 128 + N for a run ended by signal N, as shells show it
    std::string out;
    std::string err;
};

// Starts one run per entry of `argumentLists` (the words after the
// program's own path), at most `atOnce` at a time, in order, and calls
// `finished` on the calling thread as each one ends, with its index. A run
// that cannot be started finishes with exit code 127 and the reason in
// `err`.
void runSelfInParallel(const std::vector<std::vector<std::string>>& argumentLists, int atOnce,
                       const std::function<void(std::size_t, FinishedRun&&)>& finished);
