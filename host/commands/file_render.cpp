#include "commands/file_render.h"

#include <filesystem>
#include <memory>
#include <system_error>

#include "audio/channel_map.h"
#include "audio/midi_sequence.h"
#include "audio/resampler.h"
#include "audio/sound_file.h"
#include "audio/test_signal.h"
#include "opcodes.h"
#include "plugin/plugin_instance.h"
#include "plugin/plugin_module.h"
#include "support/host_error.h"
#include "support/text_format.h"

namespace {

std::string seconds(double frames, double rate) {
    return format("%.2f s", frames / rate);
}

std::string position(const SamplePosition& at, double rate) {
    return format("at %.6f s (frame %zu, channel %d)", static_cast<double>(at.frame) / rate, at.frame, at.channel + 1);
}

// What to do about output that would clip, for the chosen container.
std::string clipAdvice(const FileRenderOutcome& outcome) {
    if (outcome.output.format.containerTakesFloat(outcome.output.channels, outcome.output.sampleRate)) {
        return "Write float (leave out --bit-depth, or --bit-depth float), lower the level, or allow it with --clip";
    }
    return "Write a format that keeps floats (a .wav, .caf or .w64 name), lower the level, or allow it with --clip";
}

// A file that holds less than its header promises.
void judgeInput(const SoundFileReader* file, const char* role, FileRenderOutcome& outcome) {
    if (file == nullptr || !file->endedEarly()) {
        return;
    }
    const double rate = file->sampleRate();
    outcome.problems.push_back(format("the %s %s is cut short: it ends after %s, but its header promises %s", role,
                                      file->path().c_str(),
                                      seconds(static_cast<double>(file->framesDelivered()), rate).c_str(),
                                      seconds(static_cast<double>(*file->promisedFrames()), rate).c_str()));
}

// Why an output cannot be trusted, if it cannot, and what else the user
// should know about it.
void judgeOutput(FileRenderOutcome& outcome, const RenderRequest& request, const SoundFileWriter& writer) {
    const SignalStats& out = outcome.report.out;
    const double rate = outcome.report.sampleRate;
    if (!out.allFinite()) {
        outcome.problems.push_back(format("the output held %zu NaN and %zu infinite samples, the first %s", out.nans,
                                          out.infinities,
                                          position(*out.firstNonFinite, outcome.report.outputRate).c_str()));
    }
    if (out.overFullScale > 0 && !outcome.output.format.keepsBeyondFullScale()) {
        const double share = 100.0 * static_cast<double>(out.overFullScale) /
                             static_cast<double>(out.samples + out.nans + out.infinities);
        const std::string what = format("%zu samples (%.3g %%) beyond full scale, peak %+.1f dBFS", out.overFullScale,
                                        share, toDecibels(out.finitePeak));
        if (request.clip) {
            outcome.warnings.push_back("clipped " + what + ", as --clip allows");
        } else {
            outcome.problems.push_back("the output would clip: " + what + ", which " +
                                       outcome.output.format.describe() + " cannot hold. " + clipAdvice(outcome));
        }
    }
    if (out.allFinite() && out.peak == 0.0) {
        outcome.warnings.push_back("the output is silent");
    }
    if (out.subnormals > 0) {
        outcome.warnings.push_back(format("the output held %zu subnormal samples", out.subnormals));
    }
    const RenderReport& report = outcome.report;
    if (report.tailCutAt) {
        const bool capped = report.tailLimitFrames == automaticTailFrames({0}, rate);
        outcome.warnings.push_back(
            format("the tail was cut after %s (%s) while still at %.1f dBFS; --tail SECONDS "
                   "renders a longer one",
                   seconds(static_cast<double>(report.tailLimitFrames), rate).c_str(),
                   capped                             ? "the longest automatic tail"
                   : outcome.plan.plugins.size() == 1 ? "the plug-in's tail size"
                                                      : "the sum of the plug-ins' tail sizes",
                   toDecibels(*report.tailCutAt)));
    }
    for (const PluginSetup& setup : outcome.plan.plugins) {
        for (const AutomationRequest& automation : setup.automation) {
            const AutomationPoint& last = automation.points.back();
            if (last.seconds * rate > static_cast<double>(report.processedFrames)) {
                outcome.warnings.push_back(
                    format("--automate %s: the point at %.3f s lies after the end of the render "
                           "(%s) and was never reached",
                           automation.parameter.text().c_str(), last.seconds,
                           seconds(static_cast<double>(report.processedFrames), rate).c_str()));
            }
        }
    }
    if (writer.integerBits() > 0 && request.dither == Dither::None && writer.roundedSamples() > 0) {
        outcome.notes.push_back(
            format("the output was rounded to %d bits without dither; --dither tpdf dithers it", writer.integerBits()));
    }
}

// The chain's instances, opened at the render's rate as a host opens them
// for playback.
std::vector<std::unique_ptr<PluginInstance>> openChain(const std::vector<const PluginModule*>& modules, double rate,
                                                       VstInt32 blockSize, FileRenderOutcome& outcome) {
    std::vector<std::unique_ptr<PluginInstance>> chain;
    for (const PluginModule* module : modules) {
        chain.push_back(std::make_unique<PluginInstance>(*module, static_cast<float>(rate), blockSize));
        PluginInstance& instance = *chain.back();
        instance.host().processingLevel = ProcessLevel::Offline;
        instance.openForPlayback(static_cast<float>(rate), blockSize);
        if (!instance.warning().empty()) {
            outcome.warnings.push_back(instance.warning());
        }
        if (instance.numOutputs() <= 0) {
            throw LoadError("plug-in " + module->path() + " has no audio outputs to render");
        }
    }
    return chain;
}

// A file read at the render's rate: as it is, or resampled.
AudioSource* atRate(SoundFileReader* file, double rate, const char* stream, std::unique_ptr<AudioSource>& resampled,
                    FileRenderOutcome& outcome) {
    if (file == nullptr || file->sampleRate() == rate) {
        return file;
    }
    resampled = std::make_unique<ResampledSource>(*file, rate);
    outcome.resampled.push_back({stream, file->sampleRate(), rate});
    return resampled.get();
}

}  // namespace

void refuseOverwriting(const std::string& output, const std::vector<std::string>& others) {
    for (const std::string& other : others) {
        std::error_code error;
        if (!other.empty() && other != kStandardInput && std::filesystem::equivalent(output, other, error)) {
            throw UsageError("the output " + output + " is the same file as " + other + "; choose another output");
        }
    }
}

FileRenderOutcome renderToFile(const std::vector<const PluginModule*>& modules, const RenderRequest& request) {
    const bool toStandardOutput = request.output == kStandardOutput;
    if (!toStandardOutput) {
        std::vector<std::string> others = {request.input(), request.sidechain, request.midi};
        for (const PluginModule* module : modules) {
            others.push_back(module->path());
        }
        for (const PluginRequest& plugin : request.chain) {
            others.push_back(plugin.setup.presetPath);
        }
        refuseOverwriting(request.output, others);
        if (std::filesystem::is_directory(request.output)) {
            throw UsageError("the output " + request.output + " is a directory; name a file in it");
        }
    }
    FileRenderOutcome outcome;

    std::unique_ptr<SoundFileReader> file;
    if (!request.input().empty()) {
        file = std::make_unique<SoundFileReader>(request.input());
        outcome.input = file->path() + " (" + file->format().describe() + ")";
    }
    std::unique_ptr<SoundFileReader> sidechainFile;
    if (!request.sidechain.empty()) {
        sidechainFile = std::make_unique<SoundFileReader>(request.sidechain);
    }
    const RatePlan rates = planRates(request, file ? std::optional<double>(file->sampleRate()) : std::nullopt);
    const double rate = rates.plugins;

    std::vector<std::unique_ptr<PluginInstance>> owned = openChain(modules, rate, request.blockSize, outcome);
    std::vector<PluginInstance*> chain;
    for (const auto& instance : owned) {
        chain.push_back(instance.get());
    }
    PluginInstance& first = *chain.front();

    MidiSequence midi;
    const bool instrument = first.isInstrument();
    if (!request.midi.empty()) {
        midi = readMidiFile(request.midi, rate, request.tempo);
        outcome.midi = format("%s, %zu events, %s", request.midi.c_str(), midi.events.size(),
                              seconds(static_cast<double>(midi.endFrame), rate).c_str());
        outcome.warnings.insert(outcome.warnings.end(), midi.warnings.begin(), midi.warnings.end());
    } else if (instrument) {
        midi = builtInPhrase(rate);
        outcome.midi = format("built-in phrase, %zu events, %s", midi.events.size(),
                              seconds(static_cast<double>(midi.endFrame), rate).c_str());
        outcome.notes.push_back("the plug-in is an instrument and no --midi was given: it played the built-in phrase");
    }

    std::unique_ptr<AudioSource> resampledMain;
    std::unique_ptr<AudioSource> resampledSidechain;
    std::unique_ptr<AudioSource> generated;
    AudioSource* main = atRate(file.get(), rate, "input", resampledMain, outcome);
    AudioSource* sidechain = atRate(sidechainFile.get(), rate, "sidechain", resampledSidechain, outcome);
    const int sidechainChannels = sidechain != nullptr ? sidechain->channelCount() : 0;
    if (main == nullptr) {
        if (instrument) {
            generated = std::make_unique<SilenceSource>(0, rate, midi.endFrame);
            outcome.input = "none (an instrument)";
        } else {
            const int mainInputs = first.numInputs() - sidechainChannels;
            generated = std::make_unique<BufferSource>(makeDemoSignal(rate, mainInputs >= 2 ? 2 : 1));
            outcome.input = "embedded plucked strings";
        }
        main = generated.get();
    }
    outcome.inputChannels = main->channelCount();

    // The plan step: everything it refuses, it refuses before the output
    // exists.
    OpenedInputs opened;
    opened.mainChannels = main->channelCount();
    opened.sidechainChannels = sidechainChannels;
    opened.midi = midi.events.empty() && request.midi.empty() ? nullptr : &midi;
    opened.midiFromFile = !request.midi.empty();
    PlannedRender planned = planRender(request, chain, rates, opened);
    outcome.plan = planned.plan;
    outcome.output = planned.output;
    outcome.inputMapping = planned.plan.channels.describeInputs();
    outcome.outputMapping = planned.plan.channels.describeOutputs();
    outcome.notes.insert(outcome.notes.end(), planned.notes.begin(), planned.notes.end());
    outcome.warnings.insert(outcome.warnings.end(), planned.warnings.begin(), planned.warnings.end());
    if (rates.output != rate) {
        outcome.resampled.push_back({"output", rate, rates.output});
    }

    RenderStreams streams;
    streams.main = main;
    streams.sidechain = sidechain;
    streams.midi = &midi;
    const OutputPlan& output = planned.output;
    std::unique_ptr<SoundFileWriter> writer =
        toStandardOutput
            ? SoundFileWriter::toStandardOutput(output.format, output.channels, output.sampleRate, output.dither)
            : std::make_unique<SoundFileWriter>(output.path, output.format, output.channels, output.sampleRate,
                                                output.dither);
    outcome.report = render(chain, planned.plan, streams, [&writer](const float* const* channels, std::size_t frames) {
        writer->write(channels, frames);
    });
    writer->flush();
    judgeInput(file.get(), "input", outcome);
    judgeInput(sidechainFile.get(), "sidechain", outcome);
    judgeOutput(outcome, request, *writer);
    if (outcome.kept()) {
        writer->commit();
    } else {
        writer->discard();
    }
    return outcome;
}
