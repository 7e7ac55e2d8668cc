// What one plug-in of a render is set to before it plays, in one order
// whatever the order on the command line: a program selected, a program or
// bank file loaded, then parameter values, then parameters moved over time.
// As the command line gives it, a parameter may be a name or an index and a
// value a display text; once resolved against a loaded instance (before any
// output file exists), every parameter carries both its index and name,
// every value is normalised, and the file is read and checked, so that
// applying it cannot fail.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "audio/automation.h"
#include "plugin/parameter_ref.h"
#include "plugin/preset_file.h"

class PluginInstance;

struct PluginSetup {
    std::optional<int> program;  // selected first
    // Then this program or bank file (--preset, --bank) is loaded: its path
    // as given, empty for none, and its contents once read (readPreset).
    std::string presetPath;
    std::shared_ptr<const PresetFile> preset;
    std::vector<ParameterSetting> settings;     // then these values, in order
    std::vector<AutomationRequest> automation;  // moved along during the render
};

// Reads the setup's program or bank file, when it names one not read yet:
// commands read it before loading the plug-in, so that a damaged file
// stops them early. Throws FileError naming the file and what is wrong.
void readPreset(PluginSetup& setup);

// The setup resolved on an opened instance that is not switched on: the
// program checked, the preset read and checked against the plug-in (what
// that warns of goes into `warnings`), every parameter found (index and
// name) and every value normalised. A display text is looked for on the
// instance as the values will meet it: the program selected, the preset
// loaded and the settings before it set, which the instance is left with.
// Throws UsageError for a program or a parameter the plug-in does not have
// or a value it cannot take, LoadError for a preset of another plug-in or
// shape, FileError for one that cannot be read.
PluginSetup resolveSetup(PluginInstance& instance, const PluginSetup& requested, std::vector<std::string>& warnings);

// The normalised value that `requested` (a --set) asks of parameter `index`:
// its number, or the value whose display the plug-in's own display function
// gives as the text asked for (display_search.h), which leaves the parameter
// at another value. Throws UsageError, naming the nearest texts the
// parameter shows, when no value shows it.
float settingValue(PluginInstance& instance, int index, const ParameterSetting& requested);

// Selects the program, loads the preset (into the program selected; of a
// bank, program N plays when the program is N), then sets the values, of a
// resolved setup.
void applySetup(PluginInstance& instance, const PluginSetup& resolved);
