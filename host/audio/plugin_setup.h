// What one plug-in of a render is set to before it plays: a program, then
// parameter values, then parameters moved over time. As the command line
// gives it, a parameter may be a name or an index; once resolved against a
// loaded instance (before any output file exists), every parameter carries
// both, and the render applies it as it is.
#pragma once

#include <optional>
#include <vector>

#include "audio/automation.h"
#include "plugin/parameter_ref.h"

class PluginInstance;

struct PluginSetup {
    std::optional<int> program;                 // selected first
    std::vector<ParameterSetting> settings;     // then these values, in order
    std::vector<AutomationRequest> automation;  // moved along during the render
};

// The setup with the program checked and every parameter found (index and
// name) on an opened instance that is not switched on. Throws UsageError for
// a program or a parameter the plug-in does not have, or a value it cannot
// take.
PluginSetup resolveSetup(PluginInstance& instance, const PluginSetup& requested);

// The normalised value that `requested` (a --set) asks of parameter `index`:
// where a value given in another form than a normalised number is matched
// against the plug-in. Throws UsageError when the plug-in cannot take it.
float settingValue(PluginInstance& instance, int index, const ParameterSetting& requested);

// Selects the program, then sets the values, of a resolved setup.
void applySetup(PluginInstance& instance, const PluginSetup& resolved);
