// Audio through the plug-in in the shapes hosts use: many sample rates and
// block sizes (zero included), sizes that change every call, in-place
// buffers, parameter changes between blocks, and the values that must never
// come out.
#include <algorithm>
#include <cstring>
#include <vector>

#include "checks/checks.h"
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

void expectClean(Findings& findings, const ProcessRun& run, const std::string& when) {
    if (run.stats.nans > 0 || run.stats.infinities > 0) {
        findings.add(format("%s: output held %s values", when.c_str(), run.stats.describeBadValues().c_str()));
    }
    if (!run.guardsIntact) {
        findings.add(when + ": the plug-in wrote outside the block it was given");
    }
}

// Mostly the requested size, with a zero-frame call between blocks when the
// size is 0 (a host that has nothing to send still calls).
BlockPlan planFor(VstInt32 size) {
    if (size > 0) {
        return fixedBlocks(size);
    }
    return [](std::size_t block) { return block % 2 == 0 ? 0 : 64; };
}

void randomizeSome(PluginInstance& instance, Random& random) {
    const int changes = 1 + random.below(3);
    for (int i = 0; i < changes && instance.numParams() > 0; ++i) {
        instance.setParameter(random.below(instance.numParams()), random.unit());
    }
}

}  // namespace

CheckOutcome checkRatesAndBlockSizes(CheckContext& context) {
    Findings findings;
    int combinations = 0;
    for (float rate : kRates) {
        const AudioBuffer signal = checkSignal(rate, kSecondsPerCombination);
        auto instance = context.playing(rate, CheckContext::kBlock);
        for (VstInt32 size : kBlockSizes) {
            // A host changes the block size only while the effect is off.
            instance->setMains(false);
            instance->setBlockSize(size > 0 ? size : CheckContext::kBlock);
            instance->setMains(true);
            expectClean(findings, processAll(*instance, signal, planFor(size)),
                        format("%.0f Hz, blocks of %d", static_cast<double>(rate), size));
            ++combinations;
        }
    }
    return findings.outcome(format("%d combinations", combinations));
}

CheckOutcome checkVaryingBlockSizes(CheckContext& context) {
    auto instance = context.playing(CheckContext::kRate, kAnnouncedBlock);
    const AudioBuffer signal = checkSignal(CheckContext::kRate, 1.0);
    constexpr std::size_t kSizes = sizeof kChangingSizes / sizeof kChangingSizes[0];
    Findings findings;
    expectClean(findings,
                processAll(*instance, signal, [](std::size_t block) { return kChangingSizes[block % kSizes]; }),
                format("sizes up to the announced %d", kAnnouncedBlock));
    return findings.outcome();
}

CheckOutcome checkInPlace(CheckContext& context) {
    auto separate = context.playing();
    if (!separate->canReplace()) {
        return CheckOutcome::skip("the plug-in has only accumulating processing");
    }
    const AudioBuffer signal = checkSignal(CheckContext::kRate, 1.0);
    const ProcessRun reference = processAll(*separate, signal, fixedBlocks(CheckContext::kBlock));

    auto inPlace = context.playing();
    const int inputs = inPlace->numInputs();
    const int outputs = inPlace->numOutputs();
    const int channels = std::max(inputs, outputs);
    const auto block = static_cast<std::size_t>(CheckContext::kBlock);
    std::vector<std::vector<float>> storage(static_cast<std::size_t>(std::max(channels, 1)), std::vector<float>(block));
    std::vector<float*> pointers;
    for (auto& channel : storage) {
        pointers.push_back(channel.data());
    }
    // Input channel i and output channel i are the same memory.
    AudioBuffer output(outputs, signal.frameCount(), signal.sampleRate);
    for (std::size_t offset = 0; offset < signal.frameCount(); offset += block) {
        const std::size_t count = std::min(block, signal.frameCount() - offset);
        for (int channel = 0; channel < channels; ++channel) {
            const auto& source = signal.channels[static_cast<std::size_t>(channel % signal.channelCount())];
            std::copy_n(source.begin() + static_cast<std::ptrdiff_t>(offset), count,
                        storage[static_cast<std::size_t>(channel)].begin());
        }
        inPlace->process(pointers.data(), pointers.data(), static_cast<VstInt32>(count));
        for (int channel = 0; channel < outputs; ++channel) {
            std::copy_n(
                storage[static_cast<std::size_t>(channel)].begin(), count,
                output.channels[static_cast<std::size_t>(channel)].begin() + static_cast<std::ptrdiff_t>(offset));
        }
    }
    const std::string difference = firstDifference(reference.output, output);
    if (!difference.empty()) {
        return CheckOutcome::fail("in-place output differs from separate buffers at " + difference);
    }
    return CheckOutcome::pass();
}

CheckOutcome checkInputsUntouched(CheckContext& context) {
    auto instance = context.playing();
    if (instance->numInputs() == 0) {
        return CheckOutcome::pass("no inputs");
    }
    const ProcessRun run =
        processAll(*instance, checkSignal(CheckContext::kRate, 0.5), fixedBlocks(CheckContext::kBlock));
    if (!run.inputUntouched) {
        return CheckOutcome::fail("the plug-in wrote into its input buffers");
    }
    return CheckOutcome::pass();
}

CheckOutcome checkRandomParameters(CheckContext& context) {
    auto instance = context.playing();
    if (instance->numParams() == 0) {
        return CheckOutcome::pass("no parameters");
    }
    Random random(0x5EEDu);
    const AudioBuffer signal = checkSignal(CheckContext::kRate, 3.0);
    Findings findings;
    Random sizes(0xB10Cu);
    expectClean(findings,
                processAll(
                    *instance, signal, [&sizes](std::size_t) { return 1 + sizes.below(CheckContext::kBlock); },
                    [&](std::size_t) { randomizeSome(*instance, random); }),
                "random values");
    return findings.outcome();
}

CheckOutcome checkOnlyNormalNumbers(CheckContext& context) {
    Findings findings;
    // The signal, then enough silence for recursive filters to decay.
    const AudioBuffer signal = checkSignal(CheckContext::kRate, 1.5, 3.0);
    const int programs = std::max<VstInt32>(1, context.playing()->numPrograms());
    for (int program = 0; program < programs; ++program) {
        auto instance = context.playing();
        if (instance->numPrograms() > 0) {
            instance->selectProgram(program);
        }
        const ProcessRun run = processAll(*instance, signal, fixedBlocks(CheckContext::kBlock));
        if (!run.stats.onlyNormalNumbers()) {
            findings.add(format("program %d: %s of %zu output samples", program, run.stats.describeBadValues().c_str(),
                                run.stats.samples + run.stats.nans + run.stats.infinities));
        }
    }
    auto instance = context.playing();
    Random random(0xFACEu);
    const ProcessRun run = processAll(*instance, signal, fixedBlocks(CheckContext::kBlock), [&](std::size_t block) {
        if (block % 8 == 0) {
            randomizeSome(*instance, random);
        }
    });
    if (!run.stats.onlyNormalNumbers()) {
        findings.add(format("random parameter values: %s output samples", run.stats.describeBadValues().c_str()));
    }
    return findings.outcome(format("%d programs and random values, with silence after the signal", programs));
}

CheckOutcome checkSuspendResume(CheckContext& context) {
    auto instance = context.playing(48000.0f, CheckContext::kBlock);
    Findings findings;
    expectClean(findings, processAll(*instance, checkSignal(48000.0, 0.3), fixedBlocks(CheckContext::kBlock)),
                "before suspending");
    instance->setMains(false);
    instance->setSampleRate(96000.0f);
    instance->setMains(true);
    expectClean(findings, processAll(*instance, checkSignal(96000.0, 0.3), fixedBlocks(CheckContext::kBlock)),
                "after resuming at 96000 Hz");
    instance->setMains(false);
    instance->setMains(true);
    expectClean(findings, processAll(*instance, checkSignal(96000.0, 0.3), fixedBlocks(CheckContext::kBlock)),
                "after a second resume");
    return findings.outcome();
}
