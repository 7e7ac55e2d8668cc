#include "plugin/program_setup.h"

#include "plugin/parameter_lookup.h"
#include "plugin/plugin_instance.h"
#include "plugin/preset_state.h"
#include "support/host_error.h"

std::vector<ParameterSetting> applySetup(PluginInstance& instance, const ProgramSetup& setup) {
    const int programs = instance.numPrograms();
    if (setup.program && (*setup.program < 0 || *setup.program >= programs)) {
        throw UsageError("program " + std::to_string(*setup.program) + " does not exist: the plug-in has " +
                         std::to_string(programs) + " programs" +
                         (programs > 0 ? " (0 to " + std::to_string(programs - 1) + ")" : ""));
    }
    if (setup.preset != nullptr) {
        loadPreset(instance, *setup.preset, setup.program);
    } else if (setup.program) {
        instance.selectProgram(*setup.program);
    }
    std::vector<ParameterSetting> applied;
    for (const ParameterSetting& setting : setup.settings) {
        applied.push_back(resolveSetting(instance, setting));
        instance.setParameter(*applied.back().parameter.index, applied.back().value);
    }
    return applied;
}
