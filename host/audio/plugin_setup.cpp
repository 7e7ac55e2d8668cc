#include "audio/plugin_setup.h"

#include <algorithm>
#include <string>

#include "plugin/describe.h"
#include "plugin/display_search.h"
#include "plugin/parameter_lookup.h"
#include "plugin/plugin_instance.h"
#include "plugin/preset_state.h"
#include "support/host_error.h"

namespace {

std::optional<int> checkedProgram(PluginInstance& instance, std::optional<int> program) {
    const int programs = instance.numPrograms();
    if (program && (*program < 0 || *program >= programs)) {
        throw UsageError("program " + std::to_string(*program) + " does not exist: the plug-in has " +
                         std::to_string(programs) + " programs" +
                         (programs > 0 ? " (0 to " + std::to_string(programs - 1) + ")" : ""));
    }
    return program;
}

}  // namespace

void readPreset(PluginSetup& setup) {
    if (!setup.presetPath.empty() && !setup.preset) {
        setup.preset = std::make_shared<const PresetFile>(readPresetFile(setup.presetPath));
    }
}

float settingValue(PluginInstance& instance, int index, const ParameterSetting& requested) {
    if (!requested.display) {
        return requested.value;
    }
    const DisplaySearch search = searchDisplay(instance, index, *requested.display);
    if (search.value) {
        return *search.value;
    }
    std::string nearest;
    for (const std::string& text : search.nearest) {
        nearest += (nearest.empty() ? "" : search.fromTo ? " to " : ", ") + ("\"" + printable(text) + "\"");
    }
    const char* lead = search.fromTo                                             ? "; it shows numbers from "
                       : requested.display->number && search.nearest.size() <= 2 ? "; the nearest it shows: "
                                                                                 : "; it shows ";
    const ParameterRef parameter = resolveParameter(instance, index);
    throw UsageError("--set " + requested.parameter.text() + "=" + requested.display->text +
                     ": no value of parameter " + std::to_string(index) + " \"" + parameter.name + "\" shows it" +
                     (nearest.empty() ? std::string() : lead + nearest));
}

PluginSetup resolveSetup(PluginInstance& instance, const PluginSetup& requested, std::vector<std::string>& warnings) {
    PluginSetup resolved;
    resolved.program = checkedProgram(instance, requested.program);
    resolved.presetPath = requested.presetPath;
    resolved.preset = requested.preset;
    readPreset(resolved);
    if (resolved.preset) {
        const std::vector<std::string> fit = checkPresetFits(instance, *resolved.preset, resolved.presetPath);
        warnings.insert(warnings.end(), fit.begin(), fit.end());
    }
    // Displays may depend on the program and on other parameters: a text is
    // looked for in the state the value will be set in.
    const bool searches = std::any_of(requested.settings.begin(), requested.settings.end(),
                                      [](const ParameterSetting& setting) { return setting.display.has_value(); });
    if (searches) {
        applySetup(instance, resolved);
    }
    for (const ParameterSetting& setting : requested.settings) {
        ParameterSetting value = setting;
        value.parameter = resolveParameter(instance, setting.parameter);
        value.value = settingValue(instance, *value.parameter.index, setting);
        if (searches) {
            instance.setParameter(*value.parameter.index, value.value);
        }
        resolved.settings.push_back(value);
    }
    for (const AutomationRequest& request : requested.automation) {
        resolved.automation.push_back({resolveParameter(instance, request.parameter), request.points});
    }
    return resolved;
}

void applySetup(PluginInstance& instance, const PluginSetup& resolved) {
    if (resolved.preset) {
        loadPreset(instance, *resolved.preset, resolved.program);
    } else if (resolved.program) {
        instance.selectProgram(*resolved.program);
    }
    for (const ParameterSetting& setting : resolved.settings) {
        instance.setParameter(*setting.parameter.index, setting.value);
    }
}
