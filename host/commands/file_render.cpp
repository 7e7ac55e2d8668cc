#include "commands/file_render.h"

#include <filesystem>
#include <memory>
#include <system_error>

#include "audio/channel_map.h"
#include "audio/midi_sequence.h"
#include "audio/sound_file.h"
#include "audio/test_signal.h"
#include "opcodes.h"
#include "plugin/plugin_instance.h"
#include "plugin/plugin_module.h"
#include "plugin/preset_state.h"
#include "support/host_error.h"
#include "support/text_format.h"

namespace {

constexpr double kDefaultSampleRate = 44100.0;

std::string seconds(double frames, double rate) {
    return format("%.2f s", frames / rate);
}

std::string position(const SamplePosition& at, double rate) {
    return format("at %.6f s (frame %zu, channel %d)", static_cast<double>(at.frame) / rate, at.frame, at.channel + 1);
}

// What to do about output that would clip, for the chosen container.
std::string clipAdvice(const FileRenderOutcome& outcome) {
    const int rate = static_cast<int>(outcome.report.sampleRate);
    if (outcome.format.containerTakesFloat(outcome.outputChannels, rate)) {
        return "Write float (leave out --bit-depth, or --bit-depth float), lower the level, or allow it with --clip";
    }
    return "Write a format that keeps floats (a .wav, .caf or .w64 name), lower the level, or allow it with --clip";
}

// A file that holds less than its header promises.
void judgeInput(const SoundFileReader* file, const char* role, double rate, FileRenderOutcome& outcome) {
    if (file == nullptr || !file->endedEarly()) {
        return;
    }
    outcome.problems.push_back(format("the %s %s is cut short: it ends after %s, but its header promises %s", role,
                                      file->path().c_str(),
                                      seconds(static_cast<double>(file->framesDelivered()), rate).c_str(),
                                      seconds(static_cast<double>(*file->promisedFrames()), rate).c_str()));
}

// Why an output cannot be trusted, if it cannot, and what else the user
// should know about it.
void judgeOutput(FileRenderOutcome& outcome, const RenderJob& job, const SoundFileWriter& writer) {
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
        if (job.clip) {
            outcome.warnings.push_back("clipped " + what + ", as --clip allows");
        } else {
            outcome.problems.push_back("the output would clip: " + what + ", which " + outcome.format.describe() +
                                       " cannot hold. " + clipAdvice(outcome));
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
        const bool capped = report.tailLimitFrames == automaticTailFrames(0, rate);
        outcome.warnings.push_back(
            format("the tail was cut after %s (%s) while still at %.1f dBFS; --tail SECONDS "
                   "renders a longer one",
                   seconds(static_cast<double>(report.tailLimitFrames), rate).c_str(),
                   capped ? "the longest automatic tail" : "the plug-in's tail size", toDecibels(*report.tailCutAt)));
    }
    for (const AutomationRequest& request : report.automation) {
        const AutomationPoint& last = request.points.back();
        if (last.seconds * rate > static_cast<double>(report.processedFrames)) {
            outcome.warnings.push_back(
                format("--automate %s: the point at %.3f s lies after the end of the render "
                       "(%s) and was never reached",
                       request.parameter.text().c_str(), last.seconds,
                       seconds(static_cast<double>(report.processedFrames), rate).c_str()));
        }
    }
    if (writer.integerBits() > 0 && job.dither == Dither::None && writer.roundedSamples() > 0) {
        outcome.notes.push_back(
            format("the output was rounded to %d bits without dither; --dither tpdf dithers it", writer.integerBits()));
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

FileRenderOutcome renderToFile(const PluginModule& module, const RenderJob& job) {
    refuseOverwriting(job.output, {job.input, job.sidechain, job.midi, job.preset, module.path()});
    if (std::filesystem::is_directory(job.output)) {
        throw UsageError("the output " + job.output + " is a directory; name a file in it");
    }
    FileRenderOutcome outcome;

    std::unique_ptr<SoundFileReader> file;
    double rate = job.sampleRate.value_or(kDefaultSampleRate);
    if (!job.input.empty()) {
        file = std::make_unique<SoundFileReader>(job.input);
        if (job.sampleRate && *job.sampleRate != file->sampleRate()) {
            throw UsageError(format("--rate %.0f differs from the %.0f Hz of %s; plughost does not resample",
                                    *job.sampleRate, file->sampleRate(), file->path().c_str()));
        }
        rate = file->sampleRate();
        outcome.input = file->path() + " (" + file->format().describe() + ")";
    }
    std::unique_ptr<SoundFileReader> sidechain;
    if (!job.sidechain.empty()) {
        sidechain = std::make_unique<SoundFileReader>(job.sidechain);
        if (sidechain->sampleRate() != rate) {
            throw UsageError(
                format("the sidechain %s runs at %.0f Hz, the input at %.0f Hz; plughost does not resample",
                       sidechain->path().c_str(), sidechain->sampleRate(), rate));
        }
    }

    PluginInstance instance(module, static_cast<float>(rate), job.blockSize);
    instance.host().processingLevel = ProcessLevel::Offline;
    instance.openForPlayback(static_cast<float>(rate), job.blockSize);
    if (!instance.warning().empty()) {
        outcome.warnings.push_back(instance.warning());
    }
    if (instance.numOutputs() <= 0) {
        throw LoadError("plug-in " + module.path() + " has no audio outputs to render");
    }
    if (job.presetContents) {
        const std::vector<std::string> fit = checkPresetFits(instance, *job.presetContents, job.preset);
        outcome.warnings.insert(outcome.warnings.end(), fit.begin(), fit.end());
    }

    MidiSequence midi;
    const bool instrument = instance.isInstrument();
    if (!job.midi.empty()) {
        midi = readMidiFile(job.midi, rate, job.tempo);
        outcome.midi = format("%s, %zu events, %s", job.midi.c_str(), midi.events.size(),
                              seconds(static_cast<double>(midi.endFrame), rate).c_str());
        outcome.warnings.insert(outcome.warnings.end(), midi.warnings.begin(), midi.warnings.end());
        if (!instance.takesEvents()) {
            outcome.warnings.push_back(
                format("the plug-in takes no MIDI (neither an instrument nor an effect that "
                       "receives events), yet %s was sent to it",
                       job.midi.c_str()));
        }
    } else if (instrument) {
        midi = builtInPhrase(rate);
        outcome.midi = format("built-in phrase, %zu events, %s", midi.events.size(),
                              seconds(static_cast<double>(midi.endFrame), rate).c_str());
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

    RenderStreams streams;
    streams.main = main;
    streams.sidechain = sidechain.get();
    streams.channels =
        mapChannels(main->channelCount(), sidechainChannels, instance.numInputs(), instance.numOutputs(), job.channels);
    streams.midi = &midi;
    streams.tempoMap = job.midi.empty() ? job.tempo.map() : midi.tempoMap;
    outcome.inputMapping = streams.channels.describeInputs();
    outcome.outputMapping = streams.channels.describeOutputs();
    outcome.warnings.insert(outcome.warnings.end(), streams.channels.warnings.begin(), streams.channels.warnings.end());

    outcome.outputChannels = static_cast<int>(streams.channels.outputs.size());
    outcome.format = chooseOutputFormat(job.output, job.bitDepth, outcome.outputChannels, static_cast<int>(rate));
    if (job.dither != Dither::None && outcome.format.integerBits() == 0) {
        outcome.notes.push_back("--dither applies to integer samples only: " + outcome.format.describe() +
                                " takes the samples as they are");
    }

    SoundFileWriter writer(job.output, outcome.format, outcome.outputChannels, static_cast<int>(rate), job.dither);
    outcome.report = render(instance, job, streams, [&writer](const float* const* channels, std::size_t frames) {
        writer.write(channels, frames);
    });
    writer.flush();
    judgeInput(file.get(), "input", rate, outcome);
    judgeInput(sidechain.get(), "sidechain", rate, outcome);
    judgeOutput(outcome, job, writer);
    if (outcome.kept()) {
        writer.commit();
    } else {
        writer.discard();
    }
    return outcome;
}
