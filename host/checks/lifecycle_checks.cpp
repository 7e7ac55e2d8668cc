// Creating, opening and closing instances: cold, warm, many in turn, and
// several alive at once.
#include <algorithm>
#include <memory>
#include <vector>

#include "checks/checks.h"
#include "opcodes.h"
#include "plugin/describe.h"
#include "support/text_format.h"

namespace {

constexpr int kInstancesInTurn = 64;
constexpr VstInt32 kShortBlock = 256;

// Open for playback, switch on, process one block of the test signal, switch
// off and close: the smallest complete life of an instance.
Findings shortLife(const PluginModule& module, const char* when) {
    Findings findings;
    PluginInstance instance(module);
    instance.openForPlayback(CheckContext::kRate, kShortBlock);
    instance.setMains(true);
    const ProcessRun run = processAll(instance, checkSignal(CheckContext::kRate, 0.05), fixedBlocks(kShortBlock));
    if (!run.stats.onlyNormalNumbers() && (run.stats.nans > 0 || run.stats.infinities > 0)) {
        findings.add(format("%s: output held %s values", when, run.stats.describeBadValues().c_str()));
    }
    if (!run.guardsIntact) {
        findings.add(format("%s: the plug-in wrote outside the block", when));
    }
    instance.setMains(false);
    instance.close();
    return findings;
}

}  // namespace

CheckOutcome checkEntryGivesRecord(CheckContext& context) {
    PluginInstance instance(context.module());
    AEffect* effect = instance.effect();
    std::string detail = format("%s, %d in, %d out, %d parameters, %d programs", fourCharText(effect->uniqueID).c_str(),
                                effect->numInputs, effect->numOutputs, effect->numParams, effect->numPrograms);
    if (effect->numOutputs == 0) {
        return CheckOutcome::fail("the effect declares no outputs (" + detail + ")");
    }
    if (!instance.canReplace() && effect->process == nullptr) {
        return CheckOutcome::fail("the record has no process function (" + detail + ")");
    }
    if (effect->getParameter == nullptr || effect->setParameter == nullptr) {
        return CheckOutcome::fail("the record lacks its parameter functions (" + detail + ")");
    }
    instance.close();
    return CheckOutcome::pass(detail);
}

CheckOutcome checkOpenCloseCold(CheckContext& context) {
    // This check runs in a process where the library has not been loaded.
    Findings findings = shortLife(context.module(), "first instance after loading");
    return findings.outcome();
}

CheckOutcome checkOpenCloseWarm(CheckContext& context) {
    {
        PluginModule module(context.path());
        for (const char* when : {"first instance", "second instance", "third instance"}) {
            Findings one = shortLife(module, when);
            if (!one.empty()) {
                return one.outcome();
            }
        }
    }
    // The library was unloaded with the module; load it again.
    PluginModule reloaded(context.path());
    return shortLife(reloaded, "first instance after reloading").outcome();
}

CheckOutcome checkManyInstancesInTurn(CheckContext& context) {
    for (int round = 0; round < kInstancesInTurn; ++round) {
        Findings findings = shortLife(context.module(), "instance");
        if (!findings.empty()) {
            return CheckOutcome::fail(format("instance %d of %d: ", round + 1, kInstancesInTurn) +
                                      findings.outcome().detail);
        }
    }
    return CheckOutcome::pass(format("%d instances", kInstancesInTurn));
}

CheckOutcome checkInstancesIndependent(CheckContext& context) {
    const AudioBuffer signal = checkSignal(CheckContext::kRate, 1.0);

    auto solo = context.playing();
    const ProcessRun reference = processAll(*solo, signal, fixedBlocks(CheckContext::kBlock));
    solo.reset();

    // The instance under watch processes the signal while its neighbours,
    // created before and after it, process silence between its blocks.
    auto before = context.playing();
    auto watched = context.playing();
    auto after = context.playing();
    GuardedChannels neighbourIn(before->numInputs(), CheckContext::kBlock);
    GuardedChannels neighbourOut(before->numOutputs(), CheckContext::kBlock);
    for (int channel = 0; channel < before->numInputs(); ++channel) {
        std::fill_n(neighbourIn.channel(channel), CheckContext::kBlock, 0.0f);
    }
    const ProcessRun together = processAll(*watched, signal, fixedBlocks(CheckContext::kBlock), [&](std::size_t) {
        before->process(neighbourIn.pointers(), neighbourOut.pointers(), CheckContext::kBlock);
        after->process(neighbourIn.pointers(), neighbourOut.pointers(), CheckContext::kBlock);
    });
    const std::string difference = firstDifference(reference.output, together.output);
    if (!difference.empty()) {
        return CheckOutcome::fail("output changed when other instances processed alongside: " + difference);
    }
    return CheckOutcome::pass();
}
