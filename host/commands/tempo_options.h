// --tempo and --time-signature, shared by the commands that run a plug-in
// against the host's clock: parsed here into typed values.
#pragma once

#include "plugin/tempo_map.h"

namespace CLI {
class App;
}

void addTempoOptions(CLI::App& command, TempoSettings& settings);
