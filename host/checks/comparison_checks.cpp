// Outputs that must agree within the tolerance: two fresh instances (which
// decides whether the other comparisons can be made at all), different block
// sizes, and the two processing precisions.
#include <algorithm>
#include <iterator>
#include <memory>
#include <vector>

#include "checks/checks.h"
#include "plugin/double_processing.h"
#include "support/text_format.h"

namespace {

constexpr double kSignalSeconds = 1.0;
// Block sizes compared, the first being the reference, and the maximum the
// host announces for all of them (a plug-in may size its buffers from it).
constexpr VstInt32 kComparedBlocks[] = {1, 7, 64, 512, 4096};
constexpr VstInt32 kAnnouncedBlock = 4096;
// Many plug-ins glide their parameters from a starting value towards the set
// one, a step per block: the first moments then depend on the block size,
// which is harmless. Differences after this time are real.
constexpr double kSettleSeconds = 0.25;
// Vectorised code rounds differently in blocks of different sizes (and the
// two precisions round differently anyway); in recursive filters such
// rounding grows to some -80 dB. Differences beyond the tolerance but no
// larger than this are warnings; larger ones are errors.
constexpr double kRoundingCeilingDb = -60.0;
// Shares of the check's time limit for the reference run and for each other
// block size.
constexpr double kReferenceShare = 0.3;
constexpr double kOtherShare = 0.15;

// The frames of `buffer` from `first` (inclusive) to `last` (exclusive).
AudioBuffer framesOf(const AudioBuffer& buffer, std::size_t first, std::size_t last) {
    AudioBuffer part(buffer.channelCount(), last - first, buffer.sampleRate);
    for (std::size_t channel = 0; channel < buffer.channels.size(); ++channel) {
        const auto& from = buffer.channels[channel];
        std::copy(from.begin() + static_cast<std::ptrdiff_t>(first), from.begin() + static_cast<std::ptrdiff_t>(last),
                  part.channels[channel].begin());
    }
    return part;
}

// A difference beyond the tolerance, judged by its size.
void judgeDifference(Findings& findings, const OutputComparison& comparison, const std::string& what) {
    if (comparison.worstDb <= kRoundingCeilingDb) {
        findings.warning(format("%s %s, small enough to be rounding", what.c_str(), comparison.describe().c_str()));
    } else {
        findings.error(what + " " + comparison.describe());
    }
}

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
    const OutputComparison comparison = compareOutputs(runs[0].output, runs[1].output, context.settings().toleranceDb);
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
    std::size_t referenceFrames = 0;
    std::size_t compared = signal.frameCount();
    for (VstInt32 size : kComparedBlocks) {
        const std::string what = format("blocks of %d", size);
        context.step(what);
        auto instance = context.playing(CheckContext::kRate, kAnnouncedBlock);
        // Plug-ins with a large cost per call are compared over the part of
        // the signal they get through in the time.
        const bool first = size == kComparedBlocks[0];
        const ProcessRun run = processAll(*instance, signal, fixedBlocks(size), {},
                                          context.timeShare(first ? kReferenceShare : kOtherShare));
        expectClean(findings, run, what);
        if (first) {
            reference = run.output;
            referenceFrames = run.framesProcessed;
            compared = referenceFrames;
            continue;
        }
        if (!context.settings().reproducible) {
            context.expectSameOutput(findings, reference, run.output, what);  // notes why it is not compared
            continue;
        }
        const std::string against = format("output in %s, against blocks of %d,", what.c_str(), kComparedBlocks[0]);
        const std::size_t end = std::min(referenceFrames, run.framesProcessed);
        compared = std::min(compared, end);
        const std::size_t settled = std::min(end, static_cast<std::size_t>(kSettleSeconds * signal.sampleRate));
        const double tolerance = context.settings().toleranceDb;
        const OutputComparison later =
            compareOutputs(framesOf(reference, settled, end), framesOf(run.output, settled, end), tolerance);
        if (!later.agree) {
            judgeDifference(
                findings, later,
                format("%s after the first %.2f s (frames counted from there)", against.c_str(), kSettleSeconds));
            continue;
        }
        const OutputComparison start =
            compareOutputs(framesOf(reference, 0, settled), framesOf(run.output, 0, settled), tolerance);
        if (!start.agree) {
            findings.warning(
                format("%s in the first %.2f s only, %s", against.c_str(), kSettleSeconds, start.describe().c_str()));
        }
    }
    if (compared < signal.frameCount()) {
        return findings.outcome(format("%zu block sizes over the first %.2f s, as far as small blocks got in the time",
                                       std::size(kComparedBlocks), static_cast<double>(compared) / signal.sampleRate));
    }
    return findings.outcome(format("%zu block sizes", std::size(kComparedBlocks)));
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
    if (!context.settings().reproducible) {
        context.expectSameOutput(findings, reference.output, run.output, "");  // notes why it is not compared
        return findings.outcome();
    }
    const OutputComparison comparison = compareOutputs(reference.output, run.output, context.settings().toleranceDb);
    if (!comparison.agree) {
        judgeDifference(findings, comparison, "double-precision output, against single precision,");
    }
    return findings.outcome();
}
