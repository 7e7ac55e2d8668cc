// --tempo and --time-signature, shared by the commands that run a plug-in
// against the host's clock: parsed here into typed values.
#pragma once

#include "plugin/tempo_map.h"

namespace CLI {
class App;
}

// `withMidi`: the command also takes --midi, whose tempo map takes over.
void addTempoOptions(CLI::App& command, TempoSettings& settings, bool withMidi);
