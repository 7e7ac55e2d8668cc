// Creating, opening and closing instances: cold, warm, many in turn, and
// several alive at once.
#include <algorithm>
#include <chrono>
#include <memory>
#include <vector>

#include "checks/checks.h"
#include "opcodes.h"
#include "plugin/describe.h"
#include "support/text_format.h"

namespace {

constexpr int kInstancesInTurn = 64;
constexpr VstInt32 kShortBlock = 256;
// Longer than this from entry point to switched on, and scanners and hosts
// that open many instances at once start to stall.
constexpr double kSlowCreationSeconds = 1.0;

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Open for playback, switch on, process one block of the test signal, switch
// off and close: the smallest complete life of an instance. Notes in
// `creationSeconds` how long it took to get the instance switched on.
Findings shortLife(const CheckContext& context, const PluginModule& module, const std::string& when,
                   double* creationSeconds = nullptr) {
    Findings findings;
    context.step(when + ": created and opened");
    const auto start = std::chrono::steady_clock::now();
    PluginInstance instance(module);
    instance.openForPlayback(context.rate(), kShortBlock);
    instance.setMains(true);
    if (creationSeconds != nullptr) {
        *creationSeconds = secondsSince(start);
    }
    context.step(when + ": processing");
    expectClean(findings, processAll(instance, checkSignal(context.rate(), 0.05), fixedBlocks(kShortBlock)), when);
    context.step(when + ": switched off and closed");
    instance.setMains(false);
    instance.close();
    return findings;
}

CheckOutcome checkEntryGivesRecord(CheckContext& context) {
    PluginInstance instance(context.module());
    AEffect* effect = instance.effect();
    std::string detail = format("%s, %d in, %d out, %d parameters, %d programs", fourCharText(effect->uniqueID).c_str(),
                                effect->numInputs, effect->numOutputs, effect->numParams, effect->numPrograms);
    if (effect->numOutputs == 0) {
        return CheckOutcome::error("the effect declares no outputs (" + detail + ")");
    }
    if (!instance.canReplace() && effect->process == nullptr) {
        return CheckOutcome::error("the record has no process function (" + detail + ")");
    }
    // A plug-in without parameters may leave its parameter functions out;
    // hosts do not call them then.
    if (effect->numParams > 0 && (effect->getParameter == nullptr || effect->setParameter == nullptr)) {
        return CheckOutcome::error("the record lacks its parameter functions (" + detail + ")");
    }
    instance.close();
    return CheckOutcome::pass(detail);
}

CheckOutcome checkOpenCloseCold(CheckContext& context) {
    // This check runs in a process where the library has not been loaded.
    double creation = 0.0;
    Findings findings = shortLife(context, context.module(), "first instance after loading", &creation);
    if (creation > kSlowCreationSeconds) {
        findings.warning(format("creating, opening and switching on an instance took %.1f s", creation));
    }
    return findings.outcome(format("switched on in %.3f s", creation));
}

CheckOutcome checkOpenCloseWarm(CheckContext& context) {
    {
        PluginModule module(context.path());
        for (const char* when : {"first instance", "second instance", "third instance"}) {
            Findings one = shortLife(context, module, when);
            if (!one.empty()) {
                return one.outcome();
            }
        }
    }
    // The library was unloaded with the module; load it again.
    PluginModule reloaded(context.path());
    return shortLife(context, reloaded, "first instance after reloading").outcome();
}

CheckOutcome checkManyInstancesInTurn(CheckContext& context) {
    // The first life sets how many fit the check's time.
    const auto start = std::chrono::steady_clock::now();
    Findings first = shortLife(context, context.module(), format("instance 1 of %d", kInstancesInTurn));
    if (!first.empty()) {
        return first.outcome();
    }
    const double each = secondsSince(start);
    const int rounds = context.affordableRepetitions(kInstancesInTurn, each);
    for (int round = 1; round < rounds; ++round) {
        Findings findings = shortLife(context, context.module(), format("instance %d of %d", round + 1, rounds));
        if (!findings.empty()) {
            return findings.outcome();
        }
    }
    if (rounds < kInstancesInTurn) {
        return CheckOutcome::pass(format("%d instances, not %d: one took %.1f s", rounds, kInstancesInTurn, each));
    }
    return CheckOutcome::pass(format("%d instances", rounds));
}

CheckOutcome checkInstancesIndependent(CheckContext& context) {
    context.step("one instance alone");
    auto solo = context.playing();
    const Stimulus signal = checkStimulus(*solo, context.rate(), 1.0);
    const ProcessRun reference = processAll(*solo, signal, fixedBlocks(CheckContext::kBlock));
    solo.reset();

    context.step("three instances alive, the middle one watched");
    // The instance under watch processes the signal while its neighbours,
    // created before and after it, process silence between its blocks.
    auto before = context.playing();
    auto watched = context.playing();
    auto after = context.playing();
    GuardedChannels<float> neighbourIn(before->numInputs(), CheckContext::kBlock);
    GuardedChannels<float> neighbourOut(before->numOutputs(), CheckContext::kBlock);
    for (int channel = 0; channel < before->numInputs(); ++channel) {
        std::fill_n(neighbourIn.channel(channel), CheckContext::kBlock, 0.0f);
    }
    const ProcessRun together = processAll(*watched, signal, fixedBlocks(CheckContext::kBlock), [&](std::size_t) {
        before->process(neighbourIn.pointers(), neighbourOut.pointers(), CheckContext::kBlock);
        after->process(neighbourIn.pointers(), neighbourOut.pointers(), CheckContext::kBlock);
    });
    Findings findings;
    expectClean(findings, together, "the watched instance");
    if (!neighbourIn.guardsIntact() || !neighbourOut.guardsIntact()) {
        findings.error("a neighbouring instance wrote outside the block it was given", kWritesOutsideTheBlock);
    }
    context.expectSameOutput(findings, reference.output, together.output,
                             "output with other instances processing alongside");
    return findings.outcome();
}

// This group's rows; `order` places them among all checks.
constexpr CheckDefinition kRows[] = {
    {10, "entry-point", "entry point gives an effect record", checkEntryGivesRecord, CheckRole::Essential, false, 1,
     30},
    {20, "open-cold", "open and close cold", checkOpenCloseCold, CheckRole::Ordinary, false, 1, 30},
    {30, "open-warm", "open and close warm, and after reloading", checkOpenCloseWarm, CheckRole::Ordinary, false, 5,
     30},
    {40, "open-many", "many instances opened and closed in turn", checkManyInstancesInTurn, CheckRole::Ordinary, false,
     5, 120},
    {140, "instances-independent", "instances alive at once keep separate state", checkInstancesIndependent,
     CheckRole::Ordinary, true, 5, 30},
};

}  // namespace

CheckGroup lifecycleChecks() {
    return groupOf(kRows);
}
