#include "commands/file_render.h"

#include <filesystem>
#include <memory>
#include <system_error>

#include "audio/automation.h"
#include "audio/channel_map.h"
#include "audio/midi_sequence.h"
#include "audio/sound_file.h"
#include "audio/test_signal.h"
#include "opcodes.h"
#include "plugin/parameter_lookup.h"
#include "plugin/plugin_instance.h"
#include "plugin/plugin_module.h"
#include "support/host_error.h"
#include "support/text_format.h"

namespace {

constexpr double kDefaultSampleRate = 44100.0;

std::string seconds(std::size_t frames, double rate) {
    return format("%.2f s", static_cast<double>(frames) / rate);
}

std::string position(const SamplePosition& at, double rate) {
    return format("at %.6f s (frame %zu, channel %d)", static_cast<double>(at.frame) / rate, at.frame, at.channel + 1);
}

// Why an output cannot be trusted, if it cannot.
void judge(FileRenderOutcome& outcome, bool clipAllowed) {
    const SignalStats& out = outcome.report.out;
    const double rate = outcome.report.sampleRate;
    if (!out.allFinite()) {
        outcome.problems.push_back(format("the output held %zu NaN and %zu infinite samples, the first %s", out.nans,
                                          out.infinities, position(*out.firstNonFinite, rate).c_str()));
    }
    if (out.overFullScale > 0 && !outcome.format.keepsBeyondFullScale()) {
        const double share = 100.0 * static_cast<double>(out.overFullScale) /
                             static_cast<double>(out.samples + out.nans + out.infinities);
        const std::string what = format("%zu samples (%.3g %%) beyond full scale, peak %+.1f dBFS", out.overFullScale,
                                        share, toDecibels(out.finitePeak));
        if (clipAllowed) {
            outcome.warnings.push_back("clipped " + what + ", as --clip allows");
        } else {
            outcome.problems.push_back("the output would clip: " + what + ", which " + outcome.format.describe() +
                                       " cannot hold. Write float (the default, or --bit-depth float), lower the "
                                       "level, or allow it with --clip");
        }
    }
    if (out.allFinite() && out.peak == 0.0) {
        outcome.warnings.push_back("the output is silent");
    }
    if (out.subnormals > 0) {
        outcome.warnings.push_back(format("the output held %zu subnormal samples", out.subnormals));
    }
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

FileRenderOutcome renderToFile(const PluginModule& module, const FileRenderRequest& request) {
    const RenderingOptions& options = *request.options;
    refuseOverwriting(request.output, {options.input, options.sidechain, options.midi, module.path()});
    if (std::filesystem::is_directory(request.output)) {
        throw UsageError("the output " + request.output + " is a directory; name a file in it");
    }
    FileRenderOutcome outcome;

    std::unique_ptr<SoundFileReader> file;
    double rate = options.sampleRate > 0.0 ? options.sampleRate : kDefaultSampleRate;
    if (!options.input.empty()) {
        file = std::make_unique<SoundFileReader>(options.input);
        if (options.sampleRate > 0.0 && options.sampleRate != file->sampleRate()) {
            throw UsageError(format("--rate %.0f differs from the %.0f Hz of %s; plughost does not resample",
                                    options.sampleRate, file->sampleRate(), options.input.c_str()));
        }
        rate = file->sampleRate();
        outcome.input = file->path() + " (" + file->format().describe() + ")";
    }
    std::unique_ptr<SoundFileReader> sidechain;
    if (!options.sidechain.empty()) {
        sidechain = std::make_unique<SoundFileReader>(options.sidechain);
        if (sidechain->sampleRate() != rate) {
            throw UsageError(
                format("the sidechain %s runs at %.0f Hz, the input at %.0f Hz; plughost does not resample",
                       options.sidechain.c_str(), sidechain->sampleRate(), rate));
        }
    }

    PluginInstance instance(module, static_cast<float>(rate), options.blockSize);
    instance.host().processingLevel = ProcessLevel::Offline;
    instance.openForPlayback(static_cast<float>(rate), options.blockSize);
    if (!instance.warning().empty()) {
        outcome.warnings.push_back(instance.warning());
    }
    if (instance.numOutputs() <= 0) {
        throw LoadError("plug-in " + module.path() + " has no audio outputs to render");
    }

    MidiSequence midi;
    const bool instrument = instance.isInstrument();
    if (!options.midi.empty()) {
        midi = readMidiFile(options.midi, rate, options.tempo);
        outcome.midi = format("%s, %zu events, %s", options.midi.c_str(), midi.events.size(),
                              seconds(midi.endFrame, rate).c_str());
        outcome.warnings.insert(outcome.warnings.end(), midi.warnings.begin(), midi.warnings.end());
        if (!instance.takesEvents()) {
            outcome.warnings.push_back(
                format("the plug-in takes no MIDI (neither an instrument nor an effect that "
                       "receives events), yet %s was sent to it",
                       options.midi.c_str()));
        }
    } else if (instrument) {
        midi = builtInPhrase(rate);
        outcome.midi =
            format("built-in phrase, %zu events, %s", midi.events.size(), seconds(midi.endFrame, rate).c_str());
        outcome.notes.push_back("the plug-in is an instrument and no --midi was given: it played the built-in phrase");
    }

    std::unique_ptr<AudioSource> generated;
    AudioSource* main = file.get();
    const int sidechainChannels = sidechain ? sidechain->channelCount() : 0;
    if (main == nullptr) {
        if (instrument) {
            generated = std::make_unique<SilenceSource>(0, rate, midi.endFrame);
            outcome.input = "none (an instrument)";
        } else {
            const int mainInputs = instance.numInputs() - sidechainChannels;
            generated = std::make_unique<BufferSource>(makeDemoSignal(rate, mainInputs >= 2 ? 2 : 1));
            outcome.input = "embedded plucked strings";
        }
        main = generated.get();
    }
    outcome.inputChannels = main->channelCount();

    RenderJob job;
    job.main = main;
    job.sidechain = sidechain.get();
    job.channels = mapChannels(main->channelCount(), sidechainChannels, instance.numInputs(), instance.numOutputs(),
                               options.channels.empty() ? std::vector<int>{} : parseChannelList(options.channels));
    outcome.inputMapping = job.channels.describeInputs();
    outcome.outputMapping = job.channels.describeOutputs();
    outcome.warnings.insert(outcome.warnings.end(), job.channels.warnings.begin(), job.channels.warnings.end());
    job.program = request.program;
    for (const std::string& text : options.settings) {
        const ParameterValue setting = splitSetting(text);
        job.settings.push_back({findParameter(instance, setting.parameter), setting.value});
    }
    for (const std::string& text : request.automation) {
        const AutomationRequest automation = parseAutomation(text);
        job.automation.emplace_back(findParameter(instance, automation.parameter), automation.points, rate);
    }
    job.midi = midi.events.empty() ? nullptr : &midi;
    job.tempoMap = options.midi.empty() ? options.tempo.map() : midi.tempoMap;
    job.blockSize = options.blockSize;
    if (options.tailSeconds >= 0.0) {
        job.tailSeconds = options.tailSeconds;
    }
    job.compensateLatency = options.compensateLatency;
    job.showProgress = request.showProgress;

    const BitDepth depth = options.bitDepth.empty() ? BitDepth::Default : *parseBitDepth(options.bitDepth);
    outcome.outputChannels = static_cast<int>(job.channels.outputs.size());
    outcome.format = chooseOutputFormat(request.output, depth, outcome.outputChannels, static_cast<int>(rate));

    SoundFileWriter writer(request.output, outcome.format, outcome.outputChannels, static_cast<int>(rate));
    outcome.report = render(
        instance, job, [&writer](const float* const* channels, std::size_t frames) { writer.write(channels, frames); });
    if (request.program) {
        outcome.program = format("%d %s", *request.program, outcome.report.programName.c_str());
    }
    judge(outcome, options.clip);
    if (outcome.kept()) {
        writer.commit();
    } else {
        writer.discard();
    }
    return outcome;
}
