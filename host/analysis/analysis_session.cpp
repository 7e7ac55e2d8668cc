#include "analysis/analysis_session.h"

#include "analysis/band_split_probe.h"
#include "analysis/measurements.h"
#include "audio/buffer_render.h"
#include "opcodes.h"
#include "plugin/plugin_instance.h"
#include "plugin/plugin_module.h"
#include "plugin/program_names.h"
#include "support/host_error.h"

namespace {

constexpr double kHarmonicsLevels[] = {-12.0, -3.0};
constexpr int kAnalysisBlockSize = 512;

struct Identity {
    std::string effectName;
    std::string programName;
    int latency = 0;
    std::optional<BandSplitPlan> bandSplit;
};

PluginSetup requestedSetup(const AnalysisJob& job) {
    PluginSetup setup;
    setup.program = job.program;
    setup.settings = job.settings;
    return setup;
}

// A first instance set up as the measurements will be, asked what it is.
Identity identify(const PluginModule& module, const AnalysisJob& job) {
    PluginInstance instance(module);
    instance.openForPlayback(static_cast<float>(job.sampleRate), kAnalysisBlockSize);
    std::vector<std::string> warnings;  // of a program or bank file, which analyze does not take
    applySetup(instance, resolveSetup(instance, requestedSetup(job), warnings));
    const char* refusal = instance.isInstrument()      ? "is an instrument"
                          : instance.numInputs() <= 0  ? "has no audio inputs"
                          : instance.numOutputs() <= 0 ? "has no audio outputs"
                                                       : nullptr;
    if (refusal != nullptr) {
        throw LoadError("plug-in " + module.path() + " " + refusal +
                        ": analyze measures what an effect does to test signals. Render an instrument with "
                        "--midi (or its built-in phrase) instead");
    }
    Identity identity;
    identity.effectName = instance.text(effGetEffectName, 0, kVstMaxEffectNameLen).text;
    if (job.program && instance.numPrograms() > 0) {
        identity.programName = instance.text(effGetProgramName, 0, kProgramNameLimit).text;
    }
    identity.bandSplit = bandSplitPlan(instance);
    instance.close();
    // As render reads it: once processing has started, since some plug-ins
    // report their latency only then.
    const AudioBuffer silence(1, kAnalysisBlockSize, job.sampleRate);
    identity.latency =
        renderBuffer(module, silence, requestedSetup(job), kAnalysisBlockSize, job.tempo.map()).report.latency;
    return identity;
}

}  // namespace

AnalysisReport analyzePlugin(const PluginModule& module, const AnalysisJob& job) {
    const auto step = [&job](const char* name) {
        if (job.progress) {
            job.progress(name);
        }
    };
    const Identity identity = identify(module, job);

    Renderer renderer = [&module, &job](const AudioBuffer& input, int blockSize,
                                        const std::vector<ParameterSetting>& extra) {
        PluginSetup setup = requestedSetup(job);
        setup.settings.insert(setup.settings.end(), extra.begin(), extra.end());
        BufferRender rendered = renderBuffer(module, input, setup, blockSize, job.tempo.map());
        return RenderOutcome{std::move(rendered.output), rendered.report.processSeconds};
    };
    MeasurementSetup setup;
    setup.sampleRate = job.sampleRate;
    setup.latency = identity.latency;
    setup.blockSize = kAnalysisBlockSize;
    const Measurements measure(renderer, setup);

    AnalysisReport report;
    report.plugin = module.path();
    report.effectName = identity.effectName;
    report.programName = identity.programName;
    report.sampleRate = job.sampleRate;
    report.latency = identity.latency;
    step("transfer curve");
    report.transfer = measure.transferCurve();
    step("level curve");
    report.level = measure.levelCurve();
    step("harmonics");
    for (double level : kHarmonicsLevels) {
        report.harmonics.push_back(measure.harmonics(level));
    }
    step("frequency response");
    report.response =
        measure.frequencyResponse(identity.bandSplit ? identity.bandSplit->bands : std::vector<BandProbe>{});
    if (identity.bandSplit) {
        for (std::size_t i = 0; i < report.response.crossovers.size(); ++i) {
            if (i < identity.bandSplit->shownCrossovers.size()) {
                report.response.crossovers[i].shown = identity.bandSplit->shownCrossovers[i];
            }
        }
    }
    step("aliasing");
    report.aliasing = measure.aliasing();
    if (job.measureCost) {
        step("cost");
        report.cost = measure.cost();
    }
    return report;
}
