// `plughost save-preset PLUGIN -o FILE`: the program in use, or a bank of
// every program, saved as the interface's program (.fxp) or bank (.fxb)
// file, after --program, --preset and --set.
#pragma once

#include <ostream>

#include "commands/save_preset_options.h"

namespace CLI {
class App;
}

// Adds the subcommand; when it runs, its exit code lands in `exitCode`.
void addSavePresetCommand(CLI::App& app, int& exitCode);
int runSavePreset(const SavePresetJob& job, std::ostream& out, std::ostream& err);
