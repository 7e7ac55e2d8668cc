// Calls that real hosts make from other threads while the audio thread
// processes: parameter changes from the user interface, a second instance
// made to read program names, and switching on from the audio thread itself.
#include <atomic>
#include <thread>

#include "checks/checks.h"
#include "opcodes.h"
#include "plugin/program_names.h"
#include "support/text_format.h"

namespace {

constexpr VstInt32 kUiBlock = 64;
constexpr int kSecondInstanceRounds = 5;

}  // namespace

CheckOutcome checkParametersFromAnotherThread(CheckContext& context) {
    auto instance = context.playing(CheckContext::kRate, kUiBlock);
    if (instance->numParams() == 0) {
        return CheckOutcome::pass("no parameters");
    }
    const AudioBuffer signal = checkSignal(CheckContext::kRate, 2.0);
    std::atomic<bool> done{false};
    long changes = 0;
    std::thread userInterface([&] {
        Random random(0x7EADu);
        while (!done.load()) {
            const VstInt32 index = random.below(instance->numParams());
            instance->setParameter(index, random.unit());
            instance->parameter(index);
            instance->text(effGetParamDisplay, index, kVstMaxParamStrLen);
            ++changes;
        }
    });
    ProcessRun run;
    std::thread audio([&] {
        run = processAll(*instance, signal, fixedBlocks(kUiBlock));
        done = true;
    });
    audio.join();
    userInterface.join();
    if (run.stats.nans > 0 || run.stats.infinities > 0) {
        return CheckOutcome::fail(format("output held %s values", run.stats.describeBadValues().c_str()));
    }
    return CheckOutcome::pass(format("%ld changes during %zu frames", changes, signal.frameCount()));
}

CheckOutcome checkRenderingOrderOnAudioThread(CheckContext& context) {
    auto instance = std::make_unique<PluginInstance>(context.module());
    instance->openForPlayback(CheckContext::kRate, CheckContext::kBlock);
    ProcessRun run;
    std::thread audio([&] {
        instance->setMains(false);
        instance->setMains(true);
        run = processAll(*instance, checkSignal(CheckContext::kRate, 1.0), fixedBlocks(CheckContext::kBlock));
    });
    audio.join();
    Findings findings;
    if (run.stats.nans > 0 || run.stats.infinities > 0) {
        findings.add(format("output held %s values", run.stats.describeBadValues().c_str()));
    }
    if (!run.guardsIntact) {
        findings.add("the plug-in wrote outside the block it was given");
    }
    return findings.outcome();
}

CheckOutcome checkSecondInstanceWhileProcessing(CheckContext& context) {
    const AudioBuffer signal = checkSignal(CheckContext::kRate, 3.0);
    auto solo = context.playing();
    const ProcessRun reference = processAll(*solo, signal, fixedBlocks(CheckContext::kBlock));
    solo.reset();

    auto first = context.playing();
    std::atomic<bool> done{false};
    ProcessRun run;
    std::thread audio([&] {
        run = processAll(*first, signal, fixedBlocks(CheckContext::kBlock));
        done = true;
    });
    int rounds = 0;
    std::string problem;
    try {
        // As hosts read program names: open, ask, switch off, close.
        for (; rounds < kSecondInstanceRounds || (!done.load() && rounds < 100 * kSecondInstanceRounds); ++rounds) {
            PluginInstance second(context.module());
            second.open();
            for (VstInt32 program = 0; program < second.numPrograms(); ++program) {
                second.text(effGetProgramNameIndexed, program, kProgramNameLimit, -1);
            }
            second.setMains(false);
            second.close();
        }
    } catch (const std::exception& error) {
        problem = error.what();
    }
    audio.join();
    if (!problem.empty()) {
        return CheckOutcome::fail("second instance: " + problem);
    }
    const std::string difference = firstDifference(reference.output, run.output);
    if (!difference.empty()) {
        return CheckOutcome::fail("the first instance's output changed at " + difference);
    }
    return CheckOutcome::pass(format("%d second instances", rounds));
}
