// Outputs that must agree within the tolerance: two fresh instances (which
// decides whether the other comparisons can be made at all), different block
// sizes, and the two processing precisions.
#include <memory>
#include <vector>

#include "checks.h"
#include "double_processing.h"
#include "text_format.h"

namespace {

constexpr double kSignalSeconds = 1.0;
// Block sizes compared, the first being the reference, and the maximum the
// host announces for all of them (a plug-in may size its buffers from it).
constexpr VstInt32 kComparedBlocks[] = {1, 7, 64, 512, 4096};
constexpr VstInt32 kAnnouncedBlock = 4096;

}  // namespace

CheckOutcome checkReproducible(CheckContext& context) {
    const AudioBuffer signal = checkSignal(CheckContext::kRate, kSignalSeconds);
    std::vector<ProcessRun> runs;
    Findings findings;
    for (const char* which : {"first instance", "second instance"}) {
        context.step(which);
        auto instance = context.playing();
        runs.push_back(processAll(*instance, signal, fixedBlocks(CheckContext::kBlock)));
        expectClean(findings, runs.back(), which);
    }
    if (!findings.empty()) {
        return findings.outcome();
    }
    const OutputComparison comparison =
        compareOutputs(runs[0].output, runs[1].output, context.settings().toleranceDb);
    if (!comparison.agree) {
        return CheckOutcome::notComparable("two fresh instances given the same input differ: the second " +
                                           comparison.describe());
    }
    return CheckOutcome::pass("the second " + comparison.describe());
}

CheckOutcome checkBlockSizesAgree(CheckContext& context) {
    const AudioBuffer signal = checkSignal(CheckContext::kRate, kSignalSeconds);
    Findings findings;
    AudioBuffer reference;
    for (VstInt32 size : kComparedBlocks) {
        const std::string what = format("blocks of %d", size);
        context.step(what);
        auto instance = context.playing(CheckContext::kRate, kAnnouncedBlock);
        const ProcessRun run = processAll(*instance, signal, fixedBlocks(size));
        expectClean(findings, run, what);
        if (size == kComparedBlocks[0]) {
            reference = run.output;
        } else {
            context.expectSameOutput(findings, reference, run.output,
                                     format("output in %s, against blocks of %d,", what.c_str(), kComparedBlocks[0]));
        }
    }
    return findings.outcome(format("%zu block sizes", sizeof kComparedBlocks / sizeof kComparedBlocks[0]));
}

CheckOutcome checkDoublePrecision(CheckContext& context) {
    auto single = context.playing();
    if (!canProcessDouble(*single)) {
        return CheckOutcome::skip("the plug-in offers no double-precision processing");
    }
    const AudioBuffer signal = checkSignal(CheckContext::kRate, kSignalSeconds);
    context.step("single precision");
    const ProcessRun reference = processAll(*single, signal, fixedBlocks(CheckContext::kBlock));
    single.reset();

    context.step("double precision");
    // A host chooses the precision while the instance is switched off.
    PluginInstance wide(context.module());
    wide.openForPlayback(CheckContext::kRate, CheckContext::kBlock);
    setProcessPrecision(wide, true);
    wide.setMains(true);
    const ProcessRun run = processAllDouble(wide, signal, CheckContext::kBlock);
    Findings findings;
    expectClean(findings, run, "double precision");
    context.expectSameOutput(findings, reference.output, run.output,
                             "double-precision output, against single precision,");
    return findings.outcome();
}
