#include "commands/render_planner.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>

#include "audio/midi_sequence.h"
#include "plugin/plugin_instance.h"
#include "support/host_error.h"
#include "support/text_format.h"

namespace {

constexpr double kDefaultSampleRate = 44100.0;

// "plug-in 2 of the chain (delay.so)", for messages about one plug-in of
// several; empty for the only one.
std::string whichPlugin(const RenderRequest& request, std::size_t k) {
    if (request.chain.size() == 1) {
        return std::string();
    }
    return format("plug-in %zu of the chain (%s)", k + 1, request.chain[k].path.c_str());
}

PluginSetup resolveFor(const RenderRequest& request, std::size_t k, PluginInstance& instance,
                       std::vector<std::string>& warnings) {
    std::vector<std::string> own;
    PluginSetup resolved;
    try {
        resolved = resolveSetup(instance, request.chain[k].setup, own);
    } catch (const HostError& error) {
        if (request.chain.size() == 1 || error.kind() == ErrorKind::File) {
            throw;
        }
        const std::string message = whichPlugin(request, k) + ": " + error.what();
        if (error.kind() == ErrorKind::Usage) {
            throw UsageError(message);
        }
        throw LoadError(message);
    }
    for (const std::string& warning : own) {
        warnings.push_back(request.chain.size() == 1 ? warning : whichPlugin(request, k) + ": " + warning);
    }
    return resolved;
}

std::string outputsText(int first, int last) {
    return first == last ? format("output %d is", first) : format("outputs %d to %d are", first, last);
}

// Plug-in k's outputs into plug-in k + 1's inputs, by the rule a file feeds
// a plug-in: output n into input n, a mono output into every input,
// silence into inputs left over; outputs left over are warned about.
std::vector<InputRoute> linkAfter(const RenderRequest& request, std::size_t k, PluginInstance& from, PluginInstance& to,
                                  std::vector<std::string>& warnings) {
    if (to.numInputs() <= 0) {
        throw UsageError(whichPlugin(request, k + 1) +
                         " has no audio inputs, so it cannot follow another plug-in: put it first");
    }
    const ChannelMap map = mapChannels(from.numOutputs(), 0, to.numInputs(), to.numOutputs(), {});
    if (from.numOutputs() > to.numInputs() && from.numOutputs() > 1) {
        warnings.push_back(format("%s's %s left out: %s takes %d input%s", whichPlugin(request, k).c_str(),
                                  outputsText(to.numInputs() + 1, from.numOutputs()).c_str(),
                                  whichPlugin(request, k + 1).c_str(), to.numInputs(), to.numInputs() == 1 ? "" : "s"));
    }
    return map.inputs;
}

OutputPlan planOutput(const RenderRequest& request, int channels, double rate) {
    OutputPlan output;
    output.path = request.output;
    output.channels = channels;
    output.sampleRate = static_cast<int>(rate);
    output.dither = request.dither;
    if (request.output != kStandardOutput) {
        output.format = chooseOutputFormat(request.output, request.bitDepth, channels, output.sampleRate);
        return output;
    }
    const std::string extension = request.format.empty() ? "wav" : request.format;
    if (std::none_of(std::begin(kStreamedFormats), std::end(kStreamedFormats),
                     [&extension](const char* streamed) { return extension == streamed; })) {
        throw UsageError("-o - streams WAV or FLAC (--format wav or --format flac), not '" + extension +
                         "': write other formats to a file");
    }
    if (isatty(STDOUT_FILENO)) {
        throw UsageError("-o - writes audio to standard output, which is a terminal: send it to a pipe or a file");
    }
    output.format = chooseFormatFor(extension, "standard output", request.bitDepth, channels, output.sampleRate);
    return output;
}

}  // namespace

RatePlan planRates(const RenderRequest& request, std::optional<double> inputRate) {
    RatePlan rates;
    if (request.sampleRate) {
        rates.plugins = *request.sampleRate;
    } else {
        rates.plugins = inputRate.value_or(kDefaultSampleRate);
    }
    rates.output = request.outputRate ? *request.outputRate : rates.plugins;
    return rates;
}

PlannedRender planRender(const RenderRequest& request, const std::vector<PluginInstance*>& chain, const RatePlan& rates,
                         const OpenedInputs& inputs) {
    PlannedRender planned;
    RenderPlan& plan = planned.plan;
    plan.sampleRate = rates.plugins;
    plan.outputRate = rates.output;
    plan.blockSize = request.blockSize;
    std::vector<std::string> setupWarnings;
    for (std::size_t k = 0; k < chain.size(); ++k) {
        plan.plugins.push_back(resolveFor(request, k, *chain[k], setupWarnings));
    }

    PluginInstance& first = *chain.front();
    PluginInstance& last = *chain.back();
    // The files into the first plug-in's inputs, the last one's outputs
    // into the output file.
    plan.channels = mapChannels(inputs.mainChannels, inputs.sidechainChannels, first.numInputs(), last.numOutputs(),
                                request.channels);
    planned.warnings = setupWarnings;
    planned.warnings.insert(planned.warnings.end(), plan.channels.warnings.begin(), plan.channels.warnings.end());
    for (std::size_t k = 0; k + 1 < chain.size(); ++k) {
        plan.links.push_back(linkAfter(request, k, *chain[k], *chain[k + 1], planned.warnings));
    }

    // The MIDI goes to every plug-in that takes events; when none does, to
    // all of them all the same, with a warning.
    bool anyTakes = false;
    for (PluginInstance* instance : chain) {
        plan.playsMidi.push_back(instance->takesEvents());
        anyTakes = anyTakes || plan.playsMidi.back();
    }
    if (inputs.midi != nullptr && !anyTakes) {
        std::fill(plan.playsMidi.begin(), plan.playsMidi.end(), true);
        planned.warnings.push_back(
            format("the plug-in%s no MIDI (neither an instrument nor an effect that "
                   "receives events), yet %s was sent to %s",
                   chain.size() == 1 ? " takes" : "s take", request.midi.c_str(), chain.size() == 1 ? "it" : "them"));
    }
    // The clock: the MIDI file's tempo map (which starts from --tempo and
    // --time-signature), else theirs.
    plan.tempoMap = inputs.midiFromFile ? inputs.midi->tempoMap : request.tempo.map();

    if (request.tailSeconds) {
        plan.tailFrames = static_cast<std::size_t>(std::llround(*request.tailSeconds * plan.sampleRate));
    }
    plan.compensateLatency = request.compensateLatency;
    plan.showProgress = request.showProgress;

    planned.output = planOutput(request, static_cast<int>(plan.channels.outputs.size()), plan.outputRate);
    if (request.dither != Dither::None && planned.output.format.integerBits() == 0) {
        planned.notes.push_back("--dither applies to integer samples only: " + planned.output.format.describe() +
                                " takes the samples as they are");
    }
    return planned;
}
