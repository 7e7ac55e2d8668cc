// What every command puts into an open instance before it plays or saves
// it, in one order: the program selected, a program or bank file loaded,
// then the parameter settings (whatever their order on the command line).
#pragma once

#include <optional>
#include <vector>

#include "plugin/parameter_ref.h"
#include "plugin/preset_file.h"

class PluginInstance;

struct ProgramSetup {
    std::optional<int> program;
    const PresetFile* preset = nullptr;  // checked against the plug-in already (checkPresetFits)
    std::vector<ParameterSetting> settings;
};

// Returns the settings resolved to index, name and normalised value. Throws
// UsageError for a program or a parameter the plug-in does not have, and a
// display text that no value shows.
std::vector<ParameterSetting> applySetup(PluginInstance& instance, const ProgramSetup& setup);
