// The options of `plughost save-preset`, parsed into typed values as the
// command line is read, before any file is opened or plug-in loaded.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "plugin/parameter_ref.h"
#include "plugin/preset_file.h"

namespace CLI {
class App;
}

struct SavePresetJob {
    std::string plugin;
    std::string output;
    PresetContainer container = PresetContainer::Program;  // from the output's extension
    std::optional<int> program;
    std::string preset;  // a program or bank file loaded first; empty: none
    std::vector<ParameterSetting> settings;
};

// `job` must outlive the parse.
void addSavePresetOptions(CLI::App& command, SavePresetJob& job);
