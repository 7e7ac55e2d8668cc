// Outputs that must agree within the tolerance: fresh instances (which
// decides whether the other comparisons can be made at all, and tells
// shared state from randomness), different block sizes, and the two
// processing precisions.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <iterator>
#include <memory>
#include <optional>
#include <set>
#include <vector>

#include "checks/checks.h"
#include "checks/fresh_process.h"
#include "checks/time_shift.h"
#include "plugin/double_processing.h"
#include "support/text_format.h"

namespace {

constexpr double kSignalSeconds = 1.0;
// Blocks of the size the host announces are the reference: a plug-in is
// built and tried at that size more than at any other. Smaller blocks come
// from hosts that split at automation points or run at low latency; sizes
// that are no powers of two catch code that assumes them.
constexpr VstInt32 kAnnouncedBlock = 4096;
constexpr VstInt32 kSmallerBlocks[] = {1, 6, 7, 13, 64, 65, 100, 512, 1000};
// Many plug-ins glide their parameters from a starting value towards the set
// one, a step per block, so that their first moments depend on the block
// size, which is harmless. The signal starts after this much silence, when
// the glides have settled; only what follows is compared.
constexpr double kPreRollSeconds = 1.0;
// Vectorised code rounds differently in blocks of different sizes (and the
// two precisions round differently anyway); in recursive filters such
// rounding grows to some -80 dB. Differences beyond the tolerance but no
// larger than this are warnings; larger ones are errors.
constexpr double kRoundingCeilingDb = -60.0;
// Shares of the check's time limit for the reference run and for all the
// smaller sizes together, and for each fresh process.
constexpr double kReferenceShare = 0.1;
constexpr double kSmallerShare = 0.75;
constexpr double kFreshProcessShare = 0.3;

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
        findings.difference(what + " " + comparison.describe());
    }
}

// "1, 6 and 7".
std::string listed(const std::vector<VstInt32>& sizes) {
    std::string text;
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        text += (i == 0 ? "" : i + 1 == sizes.size() ? " and " : ", ") + std::to_string(sizes[i]);
    }
    return text;
}

// What the correlation measured, and no guess at its source.
std::string describeShift(const TimeShift& shift, VstInt32 size) {
    const std::string amount =
        shift.frames > 0 ? format("delayed by %ld frames", shift.frames) : format("%ld frames early", -shift.frames);
    return format("%s %s in blocks of %d", shift.whole ? "output" : "part of the output", amount.c_str(), size);
}

// Where the first note starts to sound: the first frame from some way
// before the note where any channel reaches a thousandth of the peak.
struct FirstNote {
    bool found = false;
    std::size_t frame = 0;  // where the host put the note
};

FirstNote firstNoteOf(const Stimulus& stimulus) {
    for (const TimedMessage& message : stimulus.midi) {
        if ((message.bytes[0] & 0xF0) == 0x90 && message.bytes[2] > 0) {
            return {true, message.frame};
        }
    }
    return {};
}

constexpr double kOnsetShare = 1e-3;

std::optional<std::size_t> onsetOf(const AudioBuffer& output, std::size_t from, double level) {
    for (std::size_t frame = from; frame < output.frameCount(); ++frame) {
        for (const auto& channel : output.channels) {
            if (std::fabs(channel[frame]) >= level) {
                return frame;
            }
        }
    }
    return std::nullopt;
}

// Whether a plug-in that takes events starts its first note where the
// block it arrives with starts, rather than at the note's offset within it:
// the onsets in the two block sizes then lie apart by the difference of
// the note's offsets in them.
struct OnsetComparison {
    bool measured = false;
    bool atBlockStart = false;
    long apart = 0;  // frames the onset in `size` lies after the reference's
};

OnsetComparison compareOnsets(const Stimulus& stimulus, const ProcessRun& reference, const ProcessRun& run,
                              VstInt32 size) {
    const FirstNote note = firstNoteOf(stimulus);
    if (!note.found) {
        return {};
    }
    const double level = kOnsetShare * std::max(reference.stats.finitePeak, run.stats.finitePeak);
    const std::size_t from = note.frame > static_cast<std::size_t>(kAnnouncedBlock)
                                 ? note.frame - static_cast<std::size_t>(kAnnouncedBlock)
                                 : 0;
    const auto inReference = onsetOf(reference.output, from, level);
    const auto inRun = onsetOf(run.output, from, level);
    if (level <= 0.0 || !inReference || !inRun) {
        return {};
    }
    OnsetComparison onsets;
    onsets.measured = true;
    onsets.apart = static_cast<long>(*inRun) - static_cast<long>(*inReference);
    const auto offsetIn = [&note](VstInt32 blockSize) {
        return static_cast<long>(note.frame % static_cast<std::size_t>(blockSize));
    };
    const long atStarts = offsetIn(kAnnouncedBlock) - offsetIn(size);
    constexpr long kSlack = 2;
    onsets.atBlockStart = atStarts != 0 && std::labs(onsets.apart - atStarts) <= kSlack;
    return onsets;
}

// Smaller block sizes whose output differs from the reference, grouped by
// the sizes that agree with each other.
struct Group {
    std::vector<VstInt32> sizes;
    OutputComparison comparison;  // of the first size against the reference
    AudioBuffer output;           // of the first size
};

// Frames in the findings count from the end of the pre-roll.
void reportGroups(Findings& findings, const std::vector<Group>& groups) {
    for (const Group& group : groups) {
        const bool several = group.sizes.size() > 1;
        judgeDifference(
            findings, group.comparison,
            format("output in blocks of %s%s, against blocks of the announced %d after %.0f s of silence,%s",
                   listed(group.sizes).c_str(), several ? " (which agree with each other)" : "", kAnnouncedBlock,
                   kPreRollSeconds, several ? format(" in blocks of %d", group.sizes.front()).c_str() : ""));
    }
}

CheckOutcome checkReproducible(CheckContext& context) {
    std::vector<ProcessRun> runs;
    Findings findings;
    for (const char* which : {"first instance", "second instance"}) {
        context.step(which);
        auto instance = context.playing();
        runs.push_back(reproducibilityRun(*instance));
        expectClean(findings, runs.back(), which);
    }
    if (!findings.empty()) {
        return findings.outcome();
    }
    const double tolerance = context.settings().toleranceDb;
    const OutputComparison within = compareOutputs(runs[0].output, runs[1].output, tolerance);
    if (within.silent) {
        return CheckOutcome::notTested(
            "fresh instances made no sound from the test signal, so there is nothing to "
            "compare; the checks that compare will say the same");
    }
    if (within.agree) {
        return CheckOutcome::pass("the second " + within.describe());
    }
    // Randomness differs from process to process as well; state that
    // instances share does not, as each process starts it afresh.
    context.step("the first instance of each of two fresh processes");
    const int timeout = std::max(1, static_cast<int>(context.timeShare(kFreshProcessShare)));
    const FreshOutput first = freshProcessOutput(context.path(), timeout);
    const FreshOutput second = freshProcessOutput(context.path(), timeout);
    CheckOutcome outcome;
    if (!first.ok || !second.ok) {
        outcome = CheckOutcome::notComparable(
            format("two fresh instances given the same input differ: the second %s; separate processes could not "
                   "tell whether they share state (%s)",
                   within.describe().c_str(), (first.ok ? second : first).problem.c_str()));
    } else {
        const OutputComparison across = compareOutputs(first.output, second.output, tolerance);
        if (across.agree) {
            outcome = CheckOutcome::error(
                format("instances share state: a second instance in one process differs from the first (%s), while "
                       "the first instances of two separate processes agree (%s); a global or static variable "
                       "carries one instance's state into the next",
                       within.describe().c_str(), across.describe().c_str()));
            outcome.findings.push_back({Severity::Error, outcome.detail});
        } else {
            outcome = CheckOutcome::pass(
                format("two fresh instances given the same input differ, in one process (the second %s) and in "
                       "separate processes alike: the output is random, so the checks that compare outputs compare "
                       "their level per octave band",
                       within.describe().c_str()));
        }
    }
    outcome.outputsDiffer = true;
    return outcome;
}

CheckOutcome checkBlockSizesAgree(CheckContext& context) {
    Stimulus stimulus;
    bool instrument = false;  // plays notes into silence, so their onsets show
    {
        auto probe = context.playing(context.rate(), kAnnouncedBlock);
        stimulus = checkStimulus(*probe, context.rate(), kSignalSeconds, kPreRollSeconds);
        instrument = isInstrument(*probe);
    }
    Findings findings;
    auto runIn = [&](VstInt32 size, double seconds) {
        const std::string what = format("blocks of %d", size);
        context.step(what + format(", the announced maximum %d", kAnnouncedBlock));
        auto instance = context.playing(context.rate(), kAnnouncedBlock);
        // Plug-ins with a large cost per call are compared over the part of
        // the signal they get through in the time.
        ProcessRun run = processAll(*instance, stimulus, fixedBlocks(size), {}, seconds);
        expectClean(findings, run, what);
        return run;
    };
    const ProcessRun reference = runIn(kAnnouncedBlock, context.timeShare(kReferenceShare));
    const std::size_t start = stimulus.preRollFrames;
    const double tolerance = context.settings().toleranceDb;
    const std::vector<VstInt32> smallerBlocks =
        context.settings().blockSizes.empty()
            ? std::vector<VstInt32>(std::begin(kSmallerBlocks), std::end(kSmallerBlocks))
            : context.settings().blockSizes;
    const double smallerSeconds = context.timeShare(kSmallerShare) / static_cast<double>(smallerBlocks.size());
    std::vector<Group> groups;
    std::vector<VstInt32> tooSlow;  // sizes that did not get past the pre-roll in their time
    std::vector<VstInt32> startsAtBlockStart;
    std::size_t compared = stimulus.audio.frameCount();
    int silent = 0;
    int judged = 0;
    for (VstInt32 size : smallerBlocks) {
        const ProcessRun run = runIn(size, smallerSeconds);
        if (!context.settings().reproducible) {
            const std::size_t end = std::min(reference.framesProcessed, run.framesProcessed);
            if (end > start) {
                ++judged;
                context.expectSameOutput(
                    findings, framesOf(reference.output, start, end), framesOf(run.output, start, end),
                    format("output in blocks of %d, against blocks of the announced %d,", size, kAnnouncedBlock));
            }
            continue;
        }
        const std::size_t end = std::min(reference.framesProcessed, run.framesProcessed);
        if (end <= start) {
            tooSlow.push_back(size);
            continue;
        }
        compared = std::min(compared, end);
        ++judged;
        const AudioBuffer expected = framesOf(reference.output, start, end);
        AudioBuffer actual = framesOf(run.output, start, end);
        const OutputComparison comparison = compareOutputs(expected, actual, tolerance);
        if (comparison.silent) {
            ++silent;
            continue;
        }
        if (comparison.agree) {
            continue;
        }
        const OnsetComparison onsets = instrument ? compareOnsets(stimulus, reference, run, size) : OnsetComparison{};
        if (onsets.atBlockStart) {
            startsAtBlockStart.push_back(size);
            continue;
        }
        // A size that agrees with an earlier differing one differs the same
        // way; the search for a move is made once per way.
        const auto together = std::find_if(groups.begin(), groups.end(), [&](const Group& group) {
            return compareOutputs(group.output, actual, tolerance).agree;
        });
        if (together != groups.end()) {
            together->sizes.push_back(size);
            continue;
        }
        const TimeShift shift =
            findTimeShift(expected, actual, expected.frameCount(), std::max(tolerance, kRoundingCeilingDb));
        if (shift.found) {
            findings.difference(describeShift(shift, size) + (onsets.measured && onsets.apart == 0
                                                                  ? " (the first note starts at the same frame)"
                                                                  : ""));
            continue;
        }
        groups.push_back({{size}, comparison, std::move(actual)});
    }
    if (!startsAtBlockStart.empty()) {
        const FirstNote note = firstNoteOf(stimulus);
        const auto early = static_cast<long>(note.frame % static_cast<std::size_t>(kAnnouncedBlock));
        findings.error(format("notes start at the block's start, not at their offset (%ld frames early: a note at "
                              "offset %ld of a block of the announced %d sounds from the block's first frame; the "
                              "same in blocks of %s)",
                              early, early, kAnnouncedBlock, listed(startsAtBlockStart).c_str()),
                       "notes start at the block's start");
    }
    reportGroups(findings, groups);
    if (judged > 0 && silent == judged) {
        findings.notTested("the output was silent in every block size, so there was nothing to compare");
    }
    const std::string what =
        format("%zu smaller block sizes against blocks of the announced %d, after %.0f s of silence",
               smallerBlocks.size(), kAnnouncedBlock, kPreRollSeconds);
    if (compared < stimulus.audio.frameCount()) {
        return findings.outcome(format("%s, over the first %.2f s of signal, as far as small blocks got in the time",
                                       what.c_str(), static_cast<double>(compared - start) / context.rate()));
    }
    return findings.outcome(what);
}

CheckOutcome checkDoublePrecision(CheckContext& context) {
    auto single = context.playing();
    if (!canProcessDouble(*single)) {
        return CheckOutcome::skip("the plug-in offers no double-precision processing");
    }
    const Stimulus stimulus = checkStimulus(*single, context.rate(), kSignalSeconds);
    context.step("single precision");
    const ProcessRun reference = processAll(*single, stimulus, fixedBlocks(CheckContext::kBlock));
    single.reset();

    context.step("double precision");
    // A host chooses the precision while the instance is switched off.
    PluginInstance wide(context.module());
    wide.openForPlayback(context.rate(), CheckContext::kBlock);
    setProcessPrecision(wide, true);
    wide.setMains(true);
    const ProcessRun run = processAllDouble(wide, stimulus, CheckContext::kBlock);
    Findings findings;
    expectClean(findings, run, "double precision");
    if (!context.settings().reproducible) {
        context.expectSameOutput(findings, reference.output, run.output,
                                 "double-precision output, against single precision,");
        return findings.outcome();
    }
    const OutputComparison comparison = compareOutputs(reference.output, run.output, context.settings().toleranceDb);
    if (comparison.silent) {
        findings.notTested("both precisions gave silence, so there was nothing to compare");
    } else if (!comparison.agree) {
        judgeDifference(findings, comparison, "double-precision output, against single precision,");
    }
    return findings.outcome();
}

// This group's rows; `order` places them among all checks.
constexpr CheckDefinition kRows[] = {
    {130, "reproducible", "output reproducible in fresh instances, in one process and in separate ones",
     checkReproducible, CheckRole::Reproducibility, false, 1, 30},
    {160, "block-sizes", "output in smaller blocks the same as in blocks of the announced size", checkBlockSizesAgree,
     CheckRole::Ordinary, true, 1, 120},
    {250, "double-precision", "double-precision processing agrees with single precision", checkDoublePrecision,
     CheckRole::Ordinary, true, 1, 30},
};

}  // namespace

CheckGroup comparisonChecks() {
    return groupOf(kRows);
}
