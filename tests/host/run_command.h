// Runs a program the way a user runs it from a shell and collects what it
// printed and how it ended, with a time limit so a hang fails the test
// instead of stalling the suite.
#pragma once

#include <string>
#include <vector>

struct CommandResult {
    std::string out;
    std::string err;
    int exitCode = -1;  // -1 when it did not exit normally
    int signal = 0;     // the signal that ended it, 0 if none
    bool timedOut = false;
};

CommandResult runCommand(const std::vector<std::string>& arguments, int timeoutSeconds = 120);
