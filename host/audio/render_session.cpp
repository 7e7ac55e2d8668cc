#include "audio/render_session.h"

#include <cstdio>

#include "audio/block_renderer.h"
#include "audio/progress_bar.h"
#include "opcodes.h"
#include "plugin/plugin_instance.h"
#include "plugin/plugin_module.h"
#include "plugin/program_names.h"
#include "support/host_error.h"

double RenderReport::speed() const {
    return processSeconds > 0.0 ? audioSeconds / processSeconds : 0.0;
}

int countPrograms(const PluginModule& module) {
    PluginInstance instance(module);
    instance.open();
    return instance.numPrograms();
}

RenderReport renderWith(const PluginModule& module, const AudioBuffer& input, const RenderJob& job) {
    PluginInstance instance(module);
    instance.host().processingLevel = ProcessLevel::Offline;
    instance.openForPlayback(static_cast<float>(input.sampleRate), job.blockSize);

    if (job.program) {
        if (*job.program >= instance.numPrograms()) {
            throw UsageError("program " + std::to_string(*job.program) + " does not exist: the plug-in has " +
                             std::to_string(instance.numPrograms()) + " programs");
        }
        instance.selectProgram(*job.program);
    }
    for (const ParameterSetting& setting : job.settings) {
        if (setting.index >= instance.numParams()) {
            throw UsageError("parameter " + std::to_string(setting.index) + " does not exist: the plug-in has " +
                             std::to_string(instance.numParams()) + " parameters");
        }
        instance.setParameter(setting.index, setting.value);
    }

    RenderReport report;
    if (instance.numPrograms() > 0) {
        report.programName = instance.text(effGetProgramName, 0, kProgramNameLimit).text;
    }
    if (instance.numOutputs() <= 0) {
        throw LoadError("plug-in " + module.path() + " has no audio outputs to render");
    }

    // Switched on, then told that processing starts. (Never switched off
    // first: it never was on, and some plug-ins assert on that.)
    instance.setMains(true);
    instance.dispatch(effStartProcess);

    ProgressBar bar(stdout, job.showProgress && input.seconds() > kProgressBarSeconds, "rendering");
    RenderOptions options;
    options.blockSize = job.blockSize;
    options.progress = [&bar](double fraction) { bar.update(fraction); };
    RenderResult result = renderThrough(instance, input, options);
    bar.finish();

    instance.dispatch(effStopProcess);
    instance.setMains(false);
    instance.close();

    report.in.add(input);
    report.out.add(result.output);
    report.processSeconds = result.processSeconds;
    report.audioSeconds = input.seconds();
    report.output = std::move(result.output);
    return report;
}
