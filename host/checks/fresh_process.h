// The output of an instance that is the first in a process of its own. Two
// such outputs agree unless the plug-in is random; when instances of one
// process differ while these agree, the instances share state.
//
// The host runs itself for this (`plughost check PLUGIN --fresh-output`, a
// mode users never need), so the process has never loaded the plug-in,
// whatever the host process has done with it.
#pragma once

#include <string>

#include "checks/check_support.h"

// What every instance compared for reproducibility processes, in the same
// way, so that runs in this process and in fresh ones can be compared.
ProcessRun reproducibilityRun(PluginInstance& instance);

struct FreshOutput {
    bool ok = false;
    AudioBuffer output;
    std::string problem;  // why there is no output, when not ok
};

// Runs the host's own executable on `plugin` in fresh-output mode and reads
// what the run gave, waiting at most `timeoutSeconds`.
FreshOutput freshProcessOutput(const std::string& plugin, int timeoutSeconds);

// The fresh-output mode itself, in a child that the host ran anew: loads
// `plugin`, makes one instance and sends its reproducibility run to the
// parent in binary. Returns the exit status.
int writeFreshOutput(const std::string& plugin);
