#include "checks/check_support.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>

#include "audio/channel_map.h"
#include "audio/test_signal.h"
#include "checks/check_step.h"
#include "plugin/double_processing.h"
#include "plugin/lock_counter.h"
#include "support/text_format.h"

namespace {

// The share of a check's time limit that repetitions may fill, and the most
// they may take whatever the limit, so that a slow plug-in still finishes
// its checks in reasonable time.
constexpr double kRepetitionShare = 0.25;
constexpr double kRepetitionSecondsAtMost = 10.0;
// The test signal peaks at -6 dBFS; an output 66 dB above it has blown up.
constexpr double kCheckSignalPeak = 0.5;
constexpr double kBlowUpPeak = 1000.0;  // +60 dBFS

std::string joined(const std::vector<Finding>& findings) {
    std::string detail;
    for (const Finding& finding : findings) {
        detail += (detail.empty() ? "" : "; ") + finding.text;
    }
    return detail;
}

// The frame counts of every block of a run over `frames` frames.
std::vector<VstInt32> blockSizes(const BlockPlan& plan, std::size_t frames) {
    std::vector<VstInt32> sizes;
    std::size_t offset = 0;
    for (std::size_t block = 0; offset < frames; ++block) {
        const VstInt32 size = std::max<VstInt32>(0, plan(block));
        const auto count = std::min(static_cast<std::size_t>(size), frames - offset);
        sizes.push_back(static_cast<VstInt32>(count));
        offset += count;
        if (sizes.size() > frames + 1000000) {
            break;  // a plan of zero-sized blocks only; stop instead of looping forever
        }
    }
    return sizes;
}

// Records the markers in one block of one output channel: frames the
// plug-in left unwritten (made silent in the run's output) and input from
// outside the block that came out.
template <typename Sample>
void noteMarkers(ProcessRun& run, Sample* samples, std::size_t count, int channel, VstInt32 blockSize) {
    for (std::size_t i = 0; i < count; ++i) {
        const Marker marker = markerOf(samples[i]);
        if (marker == Marker::None) {
            continue;
        }
        if (marker == Marker::Unwritten) {
            run.unwritten[channel].insert(blockSize);
            samples[i] = Sample(0);
            continue;
        }
        MarkerSighting& sighting = marker == Marker::PastInput ? run.pastInput : run.beforeInput;
        if (sighting.samples++ == 0) {
            sighting.channel = channel;
            sighting.blockSize = blockSize;
        }
    }
}

// One run through either processing path. `Process` is called with the
// guarded input and output pointers and the frame count, `Send` with the
// events of the block before it when there are any.
// Stops early, between blocks, once `secondsAtMost` (when above 0) have
// passed.
template <typename Sample, typename Send, typename Process>
ProcessRun runBlocks(int inputs, int outputs, const Stimulus& stimulus, const std::vector<VstInt32>& sizes,
                     const BetweenBlocks& between, double secondsAtMost, Send&& send, Process&& process) {
    const auto start = std::chrono::steady_clock::now();
    const AudioBuffer& input = stimulus.audio;
    ProcessRun run;
    run.output = AudioBuffer(outputs, input.frameCount(), input.sampleRate);
    std::size_t capacity = 1;
    for (VstInt32 size : sizes) {
        capacity = std::max(capacity, static_cast<std::size_t>(size));
    }
    GuardedChannels<Sample> in(inputs, capacity, ChannelRole::Input);
    GuardedChannels<Sample> out(outputs, capacity, ChannelRole::Output);
    MidiEventBatch batch;

    std::size_t offset = 0;
    for (std::size_t block = 0; block < sizes.size(); ++block) {
        if (secondsAtMost > 0.0 &&
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() > secondsAtMost) {
            break;
        }
        if (between) {
            between(block);
        }
        const auto count = static_cast<std::size_t>(sizes[block]);
        in.poison();
        out.poison();
        for (int channel = 0; channel < inputs; ++channel) {
            const int source = sourceChannelFor(channel, input.channelCount());
            const float* from = input.channels[static_cast<std::size_t>(source)].data() + offset;
            std::copy(from, from + count, in.channel(channel));
        }
        collectBlockEvents(stimulus.midi, offset, count, batch);
        if (!batch.empty()) {
            send(batch);
        }
        {
            lock_counter::Scope watching;
            process(in.pointers(), out.pointers(), static_cast<VstInt32>(count));
            run.locks += watching.locks();
            run.waitedLocks += watching.waited();
        }
        run.guardsIntact = run.guardsIntact && in.guardsIntact() && out.guardsIntact();
        if (count == 0) {
            run.guardsIntact = run.guardsIntact && out.untouched();
        }
        for (int channel = 0; channel < inputs && run.inputUntouched; ++channel) {
            const int source = sourceChannelFor(channel, input.channelCount());
            const float* from = input.channels[static_cast<std::size_t>(source)].data() + offset;
            run.inputUntouched = std::equal(from, from + count, in.channel(channel), [](float a, Sample b) {
                const auto widened = static_cast<Sample>(a);
                return std::memcmp(&widened, &b, sizeof b) == 0;
            });
        }
        for (int channel = 0; channel < outputs; ++channel) {
            Sample* from = out.channel(channel);
            noteMarkers(run, from, count, channel, sizes[block]);
            std::transform(
                from, from + count,
                run.output.channels[static_cast<std::size_t>(channel)].begin() + static_cast<std::ptrdiff_t>(offset),
                [](Sample value) { return static_cast<float>(value); });
        }
        offset += count;
    }
    run.framesProcessed = offset;
    for (const auto& channel : run.output.channels) {
        run.stats.add(channel.data(), offset);
    }
    return run;
}

// "blocks of 1, 7 and 64", or "23 block sizes from 1 to 512" when there are
// many.
std::string blockSizesText(const std::set<VstInt32>& sizes) {
    constexpr std::size_t kListed = 6;
    if (sizes.size() > kListed) {
        return format("%zu block sizes from %d to %d", sizes.size(), *sizes.begin(), *sizes.rbegin());
    }
    std::string text = "blocks of ";
    std::size_t i = 0;
    for (VstInt32 size : sizes) {
        text += (i == 0 ? "" : i + 1 == sizes.size() ? " and " : ", ") + std::to_string(size);
        ++i;
    }
    return text;
}

// One finding per set of block sizes: "output channels 1 to 63 not written
// in blocks of 512".
void expectWritten(Findings& findings, const ProcessRun& run, const std::string& when) {
    std::map<std::set<VstInt32>, std::vector<int>> channelsBySizes;
    for (const auto& [channel, sizes] : run.unwritten) {
        channelsBySizes[sizes].push_back(channel);
    }
    for (const auto& [sizes, channels] : channelsBySizes) {
        std::string which;
        for (std::size_t i = 0; i < channels.size(); ++i) {
            std::size_t last = i;
            while (last + 1 < channels.size() && channels[last + 1] == channels[last] + 1) {
                ++last;
            }
            which += (which.empty() ? "" : ", ") + std::to_string(channels[i]);
            if (last > i) {
                which += (last == i + 1 ? ", " : " to ") + std::to_string(channels[last]);
            }
            i = last;
        }
        const std::string unwritten =
            format("output channel%s %s not written", channels.size() > 1 ? "s" : "", which.c_str());
        findings.error(format("%s: %s in %s", when.c_str(), unwritten.c_str(), blockSizesText(sizes).c_str()),
                       unwritten);
    }
}

}  // namespace

void Findings::error(std::string finding, std::string cause) {
    errors_.push_back({Severity::Error, std::move(finding), std::move(cause), ""});
}

void Findings::difference(std::string finding) {
    differences_.push_back(std::move(finding));
}

void Findings::warning(std::string finding, std::string cause) {
    warnings_.push_back({Severity::Warning, std::move(finding), std::move(cause), ""});
}

void Findings::notCompared(std::string why) {
    if (notComparedBecause_.empty()) {
        notComparedBecause_ = std::move(why);
    }
}

void Findings::notTested(std::string why) {
    if (notTestedBecause_.empty()) {
        notTestedBecause_ = std::move(why);
    }
}

CheckOutcome Findings::outcome(std::string passDetail) const {
    std::vector<Finding> errors = errors_;
    const bool outputFaulty =
        std::any_of(errors.begin(), errors.end(), [](const Finding& error) { return !error.cause.empty(); });
    if (!outputFaulty) {
        for (const std::string& difference : differences_) {
            errors.push_back({Severity::Error, difference, "", ""});
        }
    }
    if (!errors.empty() || !warnings_.empty()) {
        CheckOutcome outcome =
            errors.empty() ? CheckOutcome::warning(joined(warnings_)) : CheckOutcome::error(joined(errors));
        if (!errors.empty() && !warnings_.empty()) {
            outcome.detail += "; warnings: " + joined(warnings_);
        }
        outcome.findings = std::move(errors);
        outcome.findings.insert(outcome.findings.end(), warnings_.begin(), warnings_.end());
        return outcome;
    }
    if (!notTestedBecause_.empty()) {
        return CheckOutcome::notTested(notTestedBecause_);
    }
    if (!notComparedBecause_.empty()) {
        return CheckOutcome::notComparable(notComparedBecause_);
    }
    return CheckOutcome::pass(std::move(passDetail));
}

const PluginModule& CheckContext::module() {
    if (!module_) {
        module_ = std::make_unique<PluginModule>(path_);
    }
    return *module_;
}

std::unique_ptr<PluginInstance> CheckContext::playing(float sampleRate, VstInt32 blockSize) {
    sampleRate = sampleRate > 0.0f ? sampleRate : settings_.rate;
    auto instance = std::make_unique<PluginInstance>(module(), sampleRate, blockSize);
    instance->openForPlayback(sampleRate, blockSize);
    instance->setMains(true);
    return instance;
}

void CheckContext::step(const std::string& what) const {
    announceStep(what);
}

void CheckContext::expectSameOutput(Findings& findings, const AudioBuffer& expected, const AudioBuffer& actual,
                                    const std::string& what) const {
    if (!settings_.reproducible) {
        const LevelComparison levels = compareLevels(expected, actual);
        if (levels.silent) {
            findings.notTested(what + ": both outputs were silent, so there was nothing to compare");
        } else if (!levels.agree) {
            findings.difference(
                format("%s %s (the output is random, so its level per octave band is compared, "
                       "within %.1f dB)",
                       what.c_str(), levels.describe().c_str(), kLevelToleranceDb));
        }
        return;
    }
    const OutputComparison comparison = compareOutputs(expected, actual, settings_.toleranceDb);
    if (comparison.silent) {
        findings.notTested(what + ": both outputs were silent, so there was nothing to compare");
        return;
    }
    if (!comparison.agree) {
        findings.difference(what + " " + comparison.describe());
    }
}

bool CheckContext::outputsAgree(const AudioBuffer& expected, const AudioBuffer& actual) const {
    return settings_.reproducible ? compareOutputs(expected, actual, settings_.toleranceDb).agree
                                  : compareLevels(expected, actual).agree;
}

double CheckContext::timeShare(double share) const {
    return share * static_cast<double>(settings_.timeoutSeconds);
}

int CheckContext::affordableRepetitions(int wanted, double secondsEach, int minimum) const {
    const double budget =
        std::min(kRepetitionSecondsAtMost, kRepetitionShare * static_cast<double>(settings_.timeoutSeconds));
    if (secondsEach <= 0.0 || secondsEach * wanted <= budget) {
        return wanted;
    }
    const int affordable = static_cast<int>(std::floor(budget / secondsEach));
    return std::clamp(affordable, std::min(minimum, wanted), wanted);
}

BlockPlan fixedBlocks(VstInt32 frames) {
    return [frames](std::size_t) { return frames; };
}

ProcessRun processAll(PluginInstance& instance, const Stimulus& stimulus, const BlockPlan& plan,
                      const BetweenBlocks& between, double secondsAtMost) {
    return runBlocks<float>(
        instance.numInputs(), instance.numOutputs(), stimulus, blockSizes(plan, stimulus.audio.frameCount()), between,
        secondsAtMost, [&instance](MidiEventBatch& batch) { instance.sendEvents(batch); },
        [&instance](float** in, float** out, VstInt32 frames) { instance.process(in, out, frames); });
}

ProcessRun processAllDouble(PluginInstance& instance, const Stimulus& stimulus, VstInt32 frames) {
    return runBlocks<double>(
        instance.numInputs(), instance.numOutputs(), stimulus,
        blockSizes(fixedBlocks(frames), stimulus.audio.frameCount()), {}, 0.0,
        [&instance](MidiEventBatch& batch) { instance.sendEvents(batch); },
        [&instance](double** in, double** out, VstInt32 count) { processDouble(instance, in, out, count); });
}

void expectClean(Findings& findings, const ProcessRun& run, const std::string& when) {
    struct InputSighting {
        const MarkerSighting& sighting;
        const char* where;
    };
    for (const InputSighting& input : {InputSighting{run.pastInput, "past the block end"},
                                       InputSighting{run.beforeInput, "before the block start"}}) {
        if (input.sighting.samples > 0) {
            findings.error(format("%s: reads input %s (its marker came out in output channel %d in blocks of %d, "
                                  "%zu samples)",
                                  when.c_str(), input.where, input.sighting.channel, input.sighting.blockSize,
                                  input.sighting.samples),
                           format("reads input %s", input.where));
        }
    }
    SignalStats own = run.stats;
    own.nans -= std::min(own.nans, run.pastInput.samples + run.beforeInput.samples);
    if (own.nans > 0 || own.infinities > 0) {
        findings.error(format("%s: output held %s values", when.c_str(), own.describeBadValues().c_str()),
                       own.nans > 0 ? "NaN output" : "infinite output");
    }
    expectWritten(findings, run, when);
    if (!run.guardsIntact) {
        findings.error(when + ": the plug-in wrote outside the block it was given", kWritesOutsideTheBlock);
    }
    if (run.stats.finitePeak > kBlowUpPeak) {
        findings.warning(format("%s: the output peaked at %+.1f dBFS for a signal peaking at -6 dBFS", when.c_str(),
                                toDecibels(run.stats.finitePeak)),
                         "output blew up");
    }
}

AudioBuffer checkSignal(double rate, double seconds, double silenceSeconds) {
    AudioBuffer demo = makeDemoSignal(rate, 2);
    const auto sounding = std::min(demo.frameCount(), static_cast<std::size_t>(seconds * rate));
    const auto silent = static_cast<std::size_t>(silenceSeconds * rate);
    AudioBuffer signal(2, sounding + silent, rate);
    double peak = 0.0;
    for (const auto& channel : demo.channels) {
        for (float sample : channel) {
            peak = std::max(peak, std::fabs(static_cast<double>(sample)));
        }
    }
    const double gain = peak > 0.0 ? kCheckSignalPeak / peak : 1.0;
    for (std::size_t channel = 0; channel < 2; ++channel) {
        std::transform(demo.channels[channel].begin(), demo.channels[channel].begin() + static_cast<long>(sounding),
                       signal.channels[channel].begin(),
                       [gain](float sample) { return static_cast<float>(sample * gain); });
    }
    return signal;
}

unsigned Random::next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    return state_;
}
