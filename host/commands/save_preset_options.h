// The options of `plughost save-preset`, parsed into typed values as the
// command line is read, before any file is opened or plug-in loaded.
#pragma once

#include <string>

#include "audio/plugin_setup.h"
#include "plugin/preset_file.h"

namespace CLI {
class App;
}

struct SavePresetJob {
    std::string plugin;
    std::string output;
    PresetContainer container = PresetContainer::Program;  // from the output's extension
    PluginSetup setup;                                     // --program, --preset and --set; no automation
};

// `job` must outlive the parse.
void addSavePresetOptions(CLI::App& command, SavePresetJob& job);
