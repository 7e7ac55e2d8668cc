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

CheckOutcome checkParametersFromAnotherThread(CheckContext& context) {
    auto instance = context.playing(context.rate(), kUiBlock);
    if (instance->numParams() == 0) {
        return CheckOutcome::pass("no parameters");
    }
    const Stimulus signal = checkStimulus(*instance, context.rate(), 2.0);
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
    context.step(format("processing in blocks of %d while another thread sets parameters", kUiBlock));
    std::thread audio([&] {
        run = processAll(*instance, signal, fixedBlocks(kUiBlock));
        done = true;
    });
    audio.join();
    userInterface.join();
    Findings findings;
    expectClean(findings, run, "processing");
    return findings.outcome(format("%ld changes during %zu frames", changes, signal.audio.frameCount()));
}

CheckOutcome checkRenderingOrderOnAudioThread(CheckContext& context) {
    auto instance = std::make_unique<PluginInstance>(context.module());
    instance->openForPlayback(context.rate(), CheckContext::kBlock);
    ProcessRun run;
    context.step("effMainsChanged 0 and 1, then processing, on another thread");
    std::thread audio([&] {
        instance->setMains(false);
        instance->setMains(true);
        run = processAll(*instance, checkSignal(context.rate(), 1.0), fixedBlocks(CheckContext::kBlock));
    });
    audio.join();
    Findings findings;
    expectClean(findings, run, "processing");
    return findings.outcome();
}

CheckOutcome checkSecondInstanceWhileProcessing(CheckContext& context) {
    context.step("one instance alone");
    auto solo = context.playing();
    const Stimulus signal = checkStimulus(*solo, context.rate(), 3.0);
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
    context.step("second instances opened, queried and closed while the first processes");
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
    Findings findings;
    if (!problem.empty()) {
        findings.error("second instance: " + problem);
    }
    expectClean(findings, run, "the first instance");
    context.expectSameOutput(findings, reference.output, run.output, "the first instance's output");
    return findings.outcome(format("%d second instances", rounds));
}

// This group's rows; `order` places them among all checks.
constexpr CheckDefinition kRows[] = {
    {300, "thread-parameters", "parameters set from another thread while processing", checkParametersFromAnotherThread,
     CheckRole::Ordinary, false, 5, 120},
    {310, "thread-rendering-order", "rendering order: effMainsChanged 0 then 1 on the audio thread",
     checkRenderingOrderOnAudioThread, CheckRole::Ordinary, false, 5, 30},
    {320, "thread-second-instance", "second instance opened, queried and closed while the first processes",
     checkSecondInstanceWhileProcessing, CheckRole::Ordinary, true, 5, 120},
};

}  // namespace

CheckGroup threadChecks() {
    return groupOf(kRows);
}
