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

constexpr std::size_t kFindingsShown = 3;
// The share of a check's time limit that repetitions may fill, and the most
// they may take whatever the limit, so that a slow plug-in still finishes
// its checks in reasonable time.
constexpr double kRepetitionShare = 0.25;
constexpr double kRepetitionSecondsAtMost = 10.0;

std::string listed(const std::vector<std::string>& findings) {
    std::string detail;
    for (std::size_t i = 0; i < findings.size() && i < kFindingsShown; ++i) {
        detail += (i == 0 ? "" : "; ") + findings[i];
    }
    if (findings.size() > kFindingsShown) {
        detail += format(" (and %zu more)", findings.size() - kFindingsShown);
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

// One run through either processing path. `Process` is called with the
// guarded input and output pointers and the frame count.
// Stops early, between blocks, once `secondsAtMost` (when above 0) have
// passed.
template <typename Sample, typename Process>
ProcessRun runBlocks(int inputs, int outputs, const AudioBuffer& input, const std::vector<VstInt32>& sizes,
                     const BetweenBlocks& between, double secondsAtMost, Process&& process) {
    const auto start = std::chrono::steady_clock::now();
    ProcessRun run;
    run.output = AudioBuffer(outputs, input.frameCount(), input.sampleRate);
    std::size_t capacity = 1;
    for (VstInt32 size : sizes) {
        capacity = std::max(capacity, static_cast<std::size_t>(size));
    }
    GuardedChannels<Sample> in(inputs, capacity);
    GuardedChannels<Sample> out(outputs, capacity);

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
            const Sample* from = out.channel(channel);
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

}  // namespace

void Findings::error(std::string finding) {
    errors_.push_back(std::move(finding));
}

void Findings::warning(std::string finding) {
    warnings_.push_back(std::move(finding));
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
    if (!errors_.empty()) {
        std::string detail = listed(errors_);
        if (!warnings_.empty()) {
            detail += "; warnings: " + listed(warnings_);
        }
        return CheckOutcome::error(detail);
    }
    if (!warnings_.empty()) {
        return CheckOutcome::warning(listed(warnings_));
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
        findings.notCompared(settings_.irreproducibleBecause);
        return;
    }
    const OutputComparison comparison = compareOutputs(expected, actual, settings_.toleranceDb);
    if (!comparison.agree) {
        findings.error(what + " " + comparison.describe());
    }
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

ProcessRun processAll(PluginInstance& instance, const AudioBuffer& input, const BlockPlan& plan,
                      const BetweenBlocks& between, double secondsAtMost) {
    return runBlocks<float>(
        instance.numInputs(), instance.numOutputs(), input, blockSizes(plan, input.frameCount()), between,
        secondsAtMost, [&instance](float** in, float** out, VstInt32 frames) { instance.process(in, out, frames); });
}

ProcessRun processAllDouble(PluginInstance& instance, const AudioBuffer& input, VstInt32 frames) {
    return runBlocks<double>(
        instance.numInputs(), instance.numOutputs(), input, blockSizes(fixedBlocks(frames), input.frameCount()), {},
        0.0, [&instance](double** in, double** out, VstInt32 count) { processDouble(instance, in, out, count); });
}

void expectClean(Findings& findings, const ProcessRun& run, const std::string& when) {
    if (run.stats.nans > 0 || run.stats.infinities > 0) {
        findings.error(format("%s: output held %s values", when.c_str(), run.stats.describeBadValues().c_str()));
    }
    if (!run.guardsIntact) {
        findings.error(when + ": the plug-in wrote outside the block it was given");
    }
}

AudioBuffer checkSignal(double rate, double seconds, double silenceSeconds) {
    AudioBuffer demo = makeDemoSignal(rate, 2);
    const auto sounding = std::min(demo.frameCount(), static_cast<std::size_t>(seconds * rate));
    const auto silent = static_cast<std::size_t>(silenceSeconds * rate);
    AudioBuffer signal(2, sounding + silent, rate);
    for (std::size_t channel = 0; channel < 2; ++channel) {
        std::copy_n(demo.channels[channel].begin(), sounding, signal.channels[channel].begin());
    }
    return signal;
}

unsigned Random::next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    return state_;
}
