// Audio through the plug-in in the shapes hosts use: many sample rates and
// block sizes (zero included), sizes that change every call, in-place
// buffers, parameter changes between blocks, and the values that must never
// come out.
#include <algorithm>
#include <chrono>
#include <cstring>
#include <iterator>
#include <vector>

#include "checks/checks.h"
#include "checks/protected_blocks.h"
#include "opcodes.h"
#include "support/text_format.h"

namespace {

constexpr float kRates[] = {22050.0f, 44100.0f, 48000.0f, 88200.0f, 96000.0f, 176400.0f, 192000.0f};
constexpr VstInt32 kBlockSizes[] = {1, 2, 17, 64, 512, 4096, 0};
// Frames per combination: enough for several blocks of every size but 4096.
constexpr double kSecondsPerCombination = 0.1;
// Announced maximum while the sizes change from call to call, and the sizes
// sent: smaller than announced, split at automation points, zero.
constexpr VstInt32 kAnnouncedBlock = 1024;
constexpr VstInt32 kChangingSizes[] = {32, 488, 24, 1024, 1, 0, 7, 512, 1023, 64};
// Block sizes whose every channel ends at a protected page, and how many
// blocks of each: small, odd and at a page's worth of samples.
constexpr VstInt32 kBoundedBlocks[] = {1, 7, 64, 65, 512, 1024};
constexpr int kBoundedBlocksEach = 4;
constexpr VstInt32 kBoundedAnnounced = 4096;
// The values at the ends of the normalised range, which random values
// practically never reach.
constexpr float kExtremes[] = {0.0f, 1.0f};
constexpr double kSecondsPerExtreme = 0.1;
// The share of its time limit that a check with many parameter changes may
// fill before it stops and reports what it got through.
constexpr double kTimeShare = 0.5;

// Mostly the requested size, with a zero-frame call between blocks when the
// size is 0 (a host that has nothing to send still calls).
BlockPlan planFor(VstInt32 size) {
    if (size > 0) {
        return fixedBlocks(size);
    }
    return [](std::size_t block) { return block % 2 == 0 ? 64 : 0; };
}

void randomizeSome(PluginInstance& instance, Random& random) {
    const int changes = 1 + random.below(3);
    for (int i = 0; i < changes && instance.numParams() > 0; ++i) {
        instance.setParameter(random.below(instance.numParams()), random.unit());
    }
}

CheckOutcome checkRatesAndBlockSizes(CheckContext& context) {
    Findings findings;
    int combinations = 0;
    int cutShort = 0;
    // Plug-ins with a large cost per call get through less audio in the
    // smallest blocks rather than a timeout.
    constexpr std::size_t kCombinations = std::size(kRates) * std::size(kBlockSizes);
    const double secondsEach = context.timeShare(kTimeShare) / static_cast<double>(kCombinations);
    for (float rate : kRates) {
        const AudioBuffer signal = checkSignal(rate, kSecondsPerCombination);
        auto instance = context.playing(rate, CheckContext::kBlock);
        for (VstInt32 size : kBlockSizes) {
            // A host changes the block size only while the effect is off.
            const std::string what = format("%.0f Hz, blocks of %d", static_cast<double>(rate), size);
            context.step(what);
            instance->setMains(false);
            instance->setBlockSize(size > 0 ? size : CheckContext::kBlock);
            instance->setMains(true);
            const ProcessRun run = processAll(*instance, signal, planFor(size), {}, secondsEach);
            expectClean(findings, run, what);
            cutShort += run.framesProcessed < signal.frameCount() ? 1 : 0;
            ++combinations;
        }
    }
    if (cutShort > 0) {
        return findings.outcome(
            format("%d combinations, %d of them cut short for time (slow in small blocks)", combinations, cutShort));
    }
    return findings.outcome(format("%d combinations", combinations));
}

CheckOutcome checkVaryingBlockSizes(CheckContext& context) {
    auto instance = context.playing(context.rate(), kAnnouncedBlock);
    const AudioBuffer signal = checkSignal(context.rate(), 1.0);
    constexpr std::size_t kSizes = sizeof kChangingSizes / sizeof kChangingSizes[0];
    Findings findings;
    const std::string what = format("sizes up to the announced %d", kAnnouncedBlock);
    context.step(what);
    expectClean(findings,
                processAll(*instance, signal, [](std::size_t block) { return kChangingSizes[block % kSizes]; }), what);
    return findings.outcome();
}

CheckOutcome checkInPlace(CheckContext& context) {
    auto separate = context.playing();
    if (!separate->canReplace()) {
        return CheckOutcome::skip("the plug-in has only accumulating processing");
    }
    const Stimulus stimulus = checkStimulus(*separate, context.rate(), 1.0);
    const AudioBuffer& signal = stimulus.audio;
    context.step("separate buffers");
    const ProcessRun reference = processAll(*separate, stimulus, fixedBlocks(CheckContext::kBlock));

    context.step("in-place buffers");
    auto inPlace = context.playing();
    const int outputs = inPlace->numOutputs();
    const int channels = std::max(inPlace->numInputs(), outputs);
    const auto block = static_cast<std::size_t>(CheckContext::kBlock);
    // Input channel i and output channel i are the same memory.
    GuardedChannels<float> shared(channels, block, ChannelRole::Input);
    AudioBuffer output(outputs, signal.frameCount(), signal.sampleRate);
    MidiEventBatch batch;
    for (std::size_t offset = 0; offset < signal.frameCount(); offset += block) {
        const std::size_t count = std::min(block, signal.frameCount() - offset);
        collectBlockEvents(stimulus.midi, offset, count, batch);
        inPlace->sendEvents(batch);
        shared.poison();
        for (int channel = 0; channel < channels; ++channel) {
            const auto& source = signal.channels[static_cast<std::size_t>(channel % signal.channelCount())];
            std::copy_n(source.begin() + static_cast<std::ptrdiff_t>(offset), count, shared.channel(channel));
        }
        inPlace->process(shared.pointers(), shared.pointers(), static_cast<VstInt32>(count));
        for (int channel = 0; channel < outputs; ++channel) {
            std::copy_n(
                shared.channel(channel), count,
                output.channels[static_cast<std::size_t>(channel)].begin() + static_cast<std::ptrdiff_t>(offset));
        }
    }
    Findings findings;
    expectClean(findings, reference, "separate buffers");
    if (!shared.guardsIntact()) {
        findings.error("the plug-in wrote outside the in-place block it was given", kWritesOutsideTheBlock);
    }
    context.expectSameOutput(findings, reference.output, output, "in-place output, against separate buffers,");
    return findings.outcome();
}

CheckOutcome checkInputsUntouched(CheckContext& context) {
    auto instance = context.playing();
    if (instance->numInputs() == 0) {
        return CheckOutcome::pass("no inputs");
    }
    const ProcessRun run = processAll(*instance, checkSignal(context.rate(), 0.5), fixedBlocks(CheckContext::kBlock));
    if (!run.inputUntouched) {
        return CheckOutcome::error("the plug-in wrote into its input buffers");
    }
    return CheckOutcome::pass();
}

CheckOutcome checkBufferBounds(CheckContext& context) {
    auto instance = context.playing();
    const AudioBuffer signal = checkSignal(context.rate(), 0.5);
    std::size_t offset = 0;
    // Each size announced as the block size, and sent below a larger
    // announced size, as hosts do; a plug-in may mistake either for the
    // frames it is given.
    for (const VstInt32 announced : {0, kBoundedAnnounced}) {
        for (VstInt32 size : kBoundedBlocks) {
            const VstInt32 maximum = announced > 0 ? announced : size;
            context.step(format("blocks of %d, announced as at most %d, every channel ending at a protected page", size,
                                maximum));
            instance->setMains(false);
            instance->setBlockSize(maximum);
            instance->setMains(true);
            const auto frames = static_cast<std::size_t>(size);
            ProtectedBlocks in(BlockRole::Input, instance->numInputs(), frames);
            ProtectedBlocks out(BlockRole::Output, instance->numOutputs(), frames);
            if (!in.ok() || !out.ok()) {
                return CheckOutcome::skip("the system would not protect pages for the blocks");
            }
            for (int block = 0; block < kBoundedBlocksEach; ++block) {
                if (offset + frames > signal.frameCount()) {
                    offset = 0;
                }
                for (int channel = 0; channel < instance->numInputs(); ++channel) {
                    const auto& source = signal.channels[static_cast<std::size_t>(channel % signal.channelCount())];
                    std::copy_n(source.begin() + static_cast<std::ptrdiff_t>(offset), frames, in.channel(channel));
                }
                instance->process(in.pointers(), out.pointers(), size);
                offset += frames;
            }
        }
    }
    return CheckOutcome::pass(format("%zu block sizes, each announced as the block size and below %d",
                                     std::size(kBoundedBlocks), kBoundedAnnounced));
}

CheckOutcome checkParameterExtremes(CheckContext& context) {
    auto instance = context.playing();
    if (instance->numParams() == 0) {
        return CheckOutcome::pass("no parameters");
    }
    const AudioBuffer signal = checkSignal(context.rate(), kSecondsPerExtreme);
    Findings findings;
    // Every parameter at once, then each on its own from its starting value.
    for (float extreme : kExtremes) {
        const std::string what = format("every parameter at %g", static_cast<double>(extreme));
        context.step(what);
        auto all = context.playing();
        for (VstInt32 index = 0; index < all->numParams(); ++index) {
            all->setParameter(index, extreme);
        }
        expectClean(findings, processAll(*all, signal, fixedBlocks(CheckContext::kBlock)), what);
    }
    const auto start = std::chrono::steady_clock::now();
    VstInt32 index = 0;
    for (; index < instance->numParams(); ++index) {
        if (std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() >
            context.timeShare(kTimeShare)) {
            break;
        }
        const float original = instance->parameter(index);
        for (float extreme : kExtremes) {
            const std::string what = format("parameter %d at %g", index, static_cast<double>(extreme));
            context.step(what);
            instance->setParameter(index, extreme);
            Findings one;
            expectClean(one, processAll(*instance, signal, fixedBlocks(CheckContext::kBlock)), what);
            for (const Finding& finding : one.outcome().findings) {
                if (finding.severity == Severity::Error) {
                    findings.error(finding.text, finding.cause);
                } else {
                    findings.warning(finding.text, finding.cause);
                }
            }
            if (one.hasErrors()) {
                // A value that broke the instance may have broken its state
                // for good; the next parameter starts afresh.
                instance = context.playing();
            }
        }
        instance->setParameter(index, original);
    }
    if (index < instance->numParams()) {
        return findings.outcome(
            format("%d of %d parameters at 0 and at 1 in the time; changes are slow", index, instance->numParams()));
    }
    return findings.outcome(format("%d parameters at 0 and at 1", instance->numParams()));
}

CheckOutcome checkRandomParameters(CheckContext& context) {
    auto instance = context.playing();
    if (instance->numParams() == 0) {
        return CheckOutcome::pass("no parameters");
    }
    Random random(0x5EEDu);
    const AudioBuffer signal = checkSignal(context.rate(), 3.0);
    Findings findings;
    Random sizes(0xB10Cu);
    context.step("random values between blocks of random sizes");
    // A plug-in that rebuilds itself on every change gets through less of
    // the signal in the time, rather than a timeout.
    const ProcessRun run = processAll(
        *instance, signal, [&sizes](std::size_t) { return 1 + sizes.below(CheckContext::kBlock); },
        [&](std::size_t) { randomizeSome(*instance, random); }, context.timeShare(kTimeShare));
    expectClean(findings, run, "random values");
    if (run.framesProcessed < signal.frameCount()) {
        return findings.outcome(format("%.1f s of the %.1f s signal in the time; changes are slow",
                                       static_cast<double>(run.framesProcessed) / signal.sampleRate, signal.seconds()));
    }
    return findings.outcome();
}

CheckOutcome checkOnlyNormalNumbers(CheckContext& context) {
    Findings findings;
    // The signal, then enough silence for recursive filters to decay.
    constexpr double kSounding = 1.5;
    constexpr double kSilence = 3.0;
    auto signalFor = [&context](PluginInstance& instance) {
        Stimulus stimulus = checkStimulus(instance, context.rate(), kSounding);
        for (auto& channel : stimulus.audio.channels) {
            channel.resize(channel.size() + static_cast<std::size_t>(kSilence * context.rate()), 0.0f);
        }
        return stimulus;
    };
    auto judge = [&findings](const ProcessRun& run, const std::string& what) {
        expectClean(findings, run, what);
        if (run.stats.allFinite() && run.stats.subnormals > 0) {
            findings.warning(format("%s: %zu subnormal output samples in the tail after %.1f s of signal", what.c_str(),
                                    run.stats.subnormals, kSounding));
        }
    };
    // Plug-ins with thousands of programs get through those that fit the
    // time; the random values below always run.
    const int programs = std::max<VstInt32>(1, context.playing()->numPrograms());
    const auto start = std::chrono::steady_clock::now();
    int program = 0;
    for (; program < programs; ++program) {
        if (program > 0 && std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() >
                               context.timeShare(kTimeShare)) {
            break;
        }
        const std::string what = format("program %d", program);
        context.step(what);
        auto instance = context.playing();
        if (instance->numPrograms() > 0) {
            instance->selectProgram(program);
        }
        judge(processAll(*instance, signalFor(*instance), fixedBlocks(CheckContext::kBlock)), what);
    }
    context.step("random parameter values");
    auto instance = context.playing();
    const Stimulus signal = signalFor(*instance);
    Random random(0xFACEu);
    judge(processAll(*instance, signal, fixedBlocks(CheckContext::kBlock),
                     [&](std::size_t block) {
                         if (block % 8 == 0) {
                             randomizeSome(*instance, random);
                         }
                     }),
          "random parameter values");
    if (program < programs) {
        return findings.outcome(
            format("%d of %d programs in the time, and random values, with silence after the "
                   "signal",
                   program, programs));
    }
    return findings.outcome(format("%d programs and random values, with silence after the signal", programs));
}

CheckOutcome checkSuspendResume(CheckContext& context) {
    auto instance = context.playing(48000.0f, CheckContext::kBlock);
    Findings findings;
    context.step("before suspending");
    expectClean(findings, processAll(*instance, checkSignal(48000.0, 0.3), fixedBlocks(CheckContext::kBlock)),
                "before suspending");
    context.step("resuming at 96000 Hz");
    instance->setMains(false);
    instance->setSampleRate(96000.0f);
    instance->setMains(true);
    expectClean(findings, processAll(*instance, checkSignal(96000.0, 0.3), fixedBlocks(CheckContext::kBlock)),
                "after resuming at 96000 Hz");
    context.step("a second resume");
    instance->setMains(false);
    instance->setMains(true);
    expectClean(findings, processAll(*instance, checkSignal(96000.0, 0.3), fixedBlocks(CheckContext::kBlock)),
                "after a second resume");
    return findings.outcome();
}

// A long run as a session plays: the test signal again and again in block
// sizes that change, with parameter and program changes between blocks.
CheckOutcome checkSoak(CheckContext& context) {
    constexpr double kSecondsAtDefault = 20.0;
    constexpr VstInt32 kLargest = 2048;
    auto instance = context.playing(0.0f, kLargest);
    const double seconds = kSecondsAtDefault * context.settings().soakFactor;
    Stimulus stimulus = checkStimulus(*instance, context.rate(), seconds);
    Random random(context.settings().seed);
    context.step(format("%.0f s in changing block sizes with parameter and program changes", seconds));
    const ProcessRun run = processAll(
        *instance, stimulus, [&random](std::size_t) { return 1 + random.below(kLargest); },
        [&](std::size_t block) {
            if (instance->numParams() > 0 && block % 7 == 0) {
                instance->setParameter(random.below(instance->numParams()), random.unit());
            }
            if (instance->numPrograms() > 1 && block % 101 == 100) {
                instance->selectProgram(random.below(instance->numPrograms()));
            }
        },
        context.timeShare(0.8));
    Findings findings;
    expectClean(findings, run, "the soak");
    return findings.outcome(format("%.1f s of audio", static_cast<double>(run.framesProcessed) / context.rate()));
}

// This group's rows; `order` places them among all checks.
constexpr CheckDefinition kRows[] = {
    {150, "rates-and-sizes", "processing at 22050 to 192000 Hz in blocks of 1, 2, 17, 64, 512, 4096 and 0",
     checkRatesAndBlockSizes, CheckRole::Ordinary, false, 1, 120},
    {170, "block-sizes-varying", "block sizes changing from call to call", checkVaryingBlockSizes, CheckRole::Ordinary,
     false, 1, 120},
    {180, "in-place", "in-place buffers give the same output", checkInPlace, CheckRole::Ordinary, true, 1, 30},
    {190, "inputs-untouched", "input buffers left untouched", checkInputsUntouched, CheckRole::Ordinary, false, 5, 30},
    {200, "buffer-bounds", "reads and writes stay within each channel's block, which ends at a protected page",
     checkBufferBounds, CheckRole::Ordinary, false, 1, 30},
    {245, "soak", "a long run in changing block sizes with parameter and program changes", checkSoak,
     CheckRole::Ordinary, false, 10, 120},
    {210, "parameters-extremes", "parameters at exactly 0 and 1", checkParameterExtremes, CheckRole::Ordinary, false, 1,
     120},
    {220, "parameters-random", "parameters set to random values between blocks", checkRandomParameters,
     CheckRole::Ordinary, false, 5, 120},
    {230, "numbers", "no NaN or infinite output for finite input, no subnormal tail", checkOnlyNormalNumbers,
     CheckRole::Ordinary, false, 1, 120},
    {240, "suspend-resume", "suspend, new sample rate and resume between blocks", checkSuspendResume,
     CheckRole::Ordinary, false, 5, 30},
};

}  // namespace

CheckGroup processingChecks() {
    return groupOf(kRows);
}
