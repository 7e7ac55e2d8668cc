#include "audio/plugin_setup.h"

#include <string>

#include "plugin/parameter_lookup.h"
#include "plugin/plugin_instance.h"
#include "support/host_error.h"

float settingValue(PluginInstance& /*instance*/, int /*index*/, const ParameterSetting& requested) {
    return requested.value;
}

PluginSetup resolveSetup(PluginInstance& instance, const PluginSetup& requested) {
    PluginSetup resolved;
    if (requested.program) {
        const int programs = instance.numPrograms();
        if (*requested.program < 0 || *requested.program >= programs) {
            throw UsageError("program " + std::to_string(*requested.program) + " does not exist: the plug-in has " +
                             std::to_string(programs) + " programs" +
                             (programs > 0 ? " (0 to " + std::to_string(programs - 1) + ")" : ""));
        }
        resolved.program = requested.program;
    }
    for (const ParameterSetting& setting : requested.settings) {
        const ParameterRef parameter = resolveParameter(instance, setting.parameter);
        resolved.settings.push_back({parameter, settingValue(instance, *parameter.index, setting)});
    }
    for (const AutomationRequest& request : requested.automation) {
        resolved.automation.push_back({resolveParameter(instance, request.parameter), request.points});
    }
    return resolved;
}

void applySetup(PluginInstance& instance, const PluginSetup& resolved) {
    if (resolved.program) {
        instance.selectProgram(*resolved.program);
    }
    for (const ParameterSetting& setting : resolved.settings) {
        instance.setParameter(*setting.parameter.index, setting.value);
    }
}
