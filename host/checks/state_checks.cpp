// What a host relies on to save and restore a plug-in: parameter values
// written back (the same steps on a fresh instance give the same sound),
// chunks when the plug-in declares them; and processing that neither
// allocates nor locks.
#include <algorithm>
#include <chrono>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

#include "checks/checks.h"
#include "opcodes.h"
#include "plugin/allocation_counter.h"
#include "plugin/chunks.h"
#include "plugin/lock_counter.h"
#include "plugin/preset_file.h"
#include "plugin/preset_state.h"
#include "support/host_error.h"
#include "support/text_format.h"

namespace {

constexpr VstInt32 kVaryingLimit = 512;
constexpr unsigned kStateSeed = 0x5A7Eu;
constexpr std::chrono::milliseconds kSettleTime{300};

// When a process call allocates. The first call after switching on may
// build what the plug-in could not before it knew the block size (hosts
// mostly forgive it); later calls run while the host plays.
enum class Phase { AfterResume, Steady, AfterChange };
constexpr int kPhases = 3;
struct PhaseCount {
    long allocations = 0;
    long calls = 0;
};
struct PhaseRule {
    Phase phase;
    Severity severity;
    const char* description;
};
constexpr PhaseRule kPhaseRules[] = {
    {Phase::Steady, Severity::Error, "in steady state"},
    {Phase::AfterChange, Severity::Error, "right after a parameter change"},
    {Phase::AfterResume, Severity::Warning, "first after effMainsChanged 1"},
};
// Parameters change before every this many blocks.
constexpr std::size_t kChangeEvery = 4;

// The steps a user takes before saving: the last program, then some
// parameters changed. Hosts restore by repeating the program selection.
void selectLastProgram(PluginInstance& instance) {
    if (instance.numPrograms() > 1) {
        instance.selectProgram(instance.numPrograms() - 1);
    }
}

void editSomeParameters(PluginInstance& instance) {
    Random random(kStateSeed);
    for (VstInt32 index = 0; index < instance.numParams(); ++index) {
        if (random.below(2) == 0) {
            instance.setParameter(index, random.unit());
        }
    }
}

std::vector<float> parameterValues(const PluginInstance& instance) {
    std::vector<float> values;
    for (VstInt32 index = 0; index < instance.numParams(); ++index) {
        values.push_back(instance.parameter(index));
    }
    return values;
}

// Values that read back differently are warnings: the sound decides
// whether the state came back (a plug-in whose reported values lose its
// state sounds different once they are written back). Linked parameters and
// values snapped to steps read back a little differently and sound the
// same.
void expectSameParameters(Findings& findings, const std::vector<float>& saved, const PluginInstance& restored,
                          const char* how) {
    for (VstInt32 index = 0; index < restored.numParams(); ++index) {
        const float value = restored.parameter(index);
        const float want = saved[static_cast<std::size_t>(index)];
        if (value != want) {
            findings.warning(format("parameter %d was %.9g and reads %.9g after %s", index, static_cast<double>(want),
                                    static_cast<double>(value), how));
        }
    }
}

// An instance in the state that is saved: the steps a user takes; then,
// when `cycled`, switched off and on again as hosts do before rendering or
// at a new sample rate (some plug-ins apply some changes only then).
std::unique_ptr<PluginInstance> edited(CheckContext& context, bool cycled = false) {
    auto instance = context.playing();
    selectLastProgram(*instance);
    editSomeParameters(*instance);
    if (cycled) {
        instance->setMains(false);
        instance->setMains(true);
    }
    return instance;
}

// The restored instance must sound like the original. A second instance
// given the original's steps (switched off and on again when `cycled`, as
// the original was) tells whether the plug-in's output is reproducible in
// that state at all (modulation seeded at random, say); when not, or when the
// original is silent, the restore cannot be judged by its sound.
void expectSameSound(CheckContext& context, Findings& findings, PluginInstance& original, bool cycled,
                     PluginInstance& restored, const std::string& what) {
    context.step("a second instance given the original's steps");
    auto control = edited(context, cycled);
    // Hosts start playback a while after restoring; plug-ins that finish
    // setting themselves up on another thread have done so by then.
    std::this_thread::sleep_for(kSettleTime);
    const Stimulus signal = checkStimulus(*control, context.rate(), 1.0);
    context.step("the original instance processing");
    const ProcessRun first = processAll(original, signal, fixedBlocks(CheckContext::kBlock));
    context.step("the second instance processing");
    const ProcessRun second = processAll(*control, signal, fixedBlocks(CheckContext::kBlock));
    context.step("the restored instance processing");
    const ProcessRun third = processAll(restored, signal, fixedBlocks(CheckContext::kBlock));
    expectClean(findings, third, "the restored instance");
    if (first.stats.peak == 0.0) {
        findings.notTested("the saved state makes no sound from the test signal or notes, so the sound cannot tell");
        return;
    }
    if (!context.outputsAgree(first.output, second.output)) {
        findings.notCompared("in the saved state two instances given the same steps differ: the second " +
                             compareOutputs(first.output, second.output, context.settings().toleranceDb).describe());
        return;
    }
    context.expectSameOutput(findings, first.output, third.output, what);
}

// The orders in which parameter values are written back: hosts write them
// in index order, some in the order they stored them, and a plug-in whose
// sound depends on the order (a mode switch that resets a parameter set
// before it, say) loses its state in one of them.
enum class RestoreOrder { Index, Reverse, Shuffled };
struct RestoreOrderName {
    RestoreOrder order;
    const char* name;
};
constexpr RestoreOrderName kRestoreOrders[] = {
    {RestoreOrder::Index, "index order"},
    {RestoreOrder::Reverse, "reverse order"},
    {RestoreOrder::Shuffled, "an order shuffled by the run's seed"},
};

std::vector<VstInt32> restoreOrder(RestoreOrder order, VstInt32 count, unsigned seed) {
    std::vector<VstInt32> indices;
    for (VstInt32 index = 0; index < count; ++index) {
        indices.push_back(index);
    }
    if (order == RestoreOrder::Reverse) {
        std::reverse(indices.begin(), indices.end());
    } else if (order == RestoreOrder::Shuffled) {
        Random random(seed);
        for (std::size_t i = indices.size(); i > 1; --i) {
            std::swap(indices[i - 1], indices[static_cast<std::size_t>(random.below(static_cast<int>(i)))]);
        }
    }
    return indices;
}

// "2, 0, 1", or the first few of many.
std::string orderText(const std::vector<VstInt32>& indices) {
    constexpr std::size_t kShown = 8;
    std::string text;
    for (std::size_t i = 0; i < std::min(indices.size(), kShown); ++i) {
        text += (i == 0 ? "" : ", ") + std::to_string(indices[i]);
    }
    return indices.size() > kShown ? text + ", ..." : text;
}

CheckOutcome checkStateRestore(CheckContext& context) {
    context.step("the original instance: last program, parameters edited");
    auto original = edited(context);
    const std::vector<float> saved = parameterValues(*original);
    context.step("a second instance given the original's steps");
    auto control = edited(context);
    Findings findings;
    struct Restored {
        const char* order;
        std::string how;
        std::unique_ptr<PluginInstance> instance;
    };
    std::vector<Restored> restored;
    for (const RestoreOrderName& order : kRestoreOrders) {
        const std::vector<VstInt32> indices = restoreOrder(order.order, original->numParams(), context.settings().seed);
        const std::string how = format("%s (%s)", order.name, orderText(indices).c_str());
        context.step("a fresh instance: last program, parameter values written back in " + how);
        auto instance = context.playing();
        selectLastProgram(*instance);
        for (VstInt32 index : indices) {
            instance->setParameter(index, saved[static_cast<std::size_t>(index)]);
        }
        if (order.order == RestoreOrder::Index) {
            expectSameParameters(findings, saved, *instance, "writing it back");
        }
        restored.push_back({order.name, how, std::move(instance)});
    }
    // Hosts start playback a while after restoring; plug-ins that finish
    // setting themselves up on another thread have done so by then.
    std::this_thread::sleep_for(kSettleTime);
    const Stimulus signal = checkStimulus(*control, context.rate(), 1.0);
    context.step("the original instance processing");
    const ProcessRun first = processAll(*original, signal, fixedBlocks(CheckContext::kBlock));
    context.step("the second instance processing");
    const ProcessRun second = processAll(*control, signal, fixedBlocks(CheckContext::kBlock));
    const std::string what =
        format("%d parameters written back in index order, in reverse and shuffled", original->numParams());
    const double tolerance = context.settings().toleranceDb;
    std::vector<const char*> agreeing;
    std::vector<const char*> differing;
    for (Restored& each : restored) {
        context.step("the instance restored in " + each.how + " processing");
        const ProcessRun run = processAll(*each.instance, signal, fixedBlocks(CheckContext::kBlock));
        expectClean(findings, run, "the restored instance");
        if (first.stats.peak == 0.0) {
            findings.notTested(
                "the saved state makes no sound from the test signal or notes, so the sound cannot tell");
            continue;
        }
        if (!context.outputsAgree(first.output, second.output)) {
            findings.notCompared("in the saved state two instances given the same steps differ: the second " +
                                 compareOutputs(first.output, second.output, tolerance).describe());
            continue;
        }
        (context.outputsAgree(first.output, run.output) ? agreeing : differing).push_back(each.order);
        context.expectSameOutput(findings, first.output, run.output,
                                 "the output of the instance restored in " + each.how);
    }
    if (!agreeing.empty() && !differing.empty()) {
        findings.error(
            format("the sound depends on the order in which parameters are written back: %s gives the "
                   "original's sound, %s does not; setting one parameter changes what another set before "
                   "it does, while both read back as saved",
                   agreeing.front(), differing.front()));
    }
    return findings.outcome(what);
}

CheckOutcome checkChunkRestore(CheckContext& context) {
    if (!declaresChunks(*context.playing())) {
        return CheckOutcome::skip("the plug-in does not declare chunk state");
    }
    context.step("the original instance: last program, parameters edited, effGetChunk");
    auto original = edited(context);
    const std::vector<float> saved = parameterValues(*original);
    // Users save a while after their last change; plug-ins that copy
    // parameter values into their saved state on another thread have done
    // so by then.
    std::this_thread::sleep_for(kSettleTime);
    const SavedChunk chunk = saveChunk(*original);
    if (chunk.bytes.empty()) {
        return CheckOutcome::error(format("effGetChunk gave %lld bytes at %s", static_cast<long long>(chunk.size),
                                          chunk.pointerGiven ? "an address" : "no address"));
    }

    // Hosts restore a chunk into a fresh instance that is switched on, as
    // they write parameter values back; then, before rendering or at a new
    // sample rate, they switch it off and on again, which must not lose it.
    Findings findings;
    for (const bool cycled : {false, true}) {
        const std::string restoring = format("effSetChunk with the %zu-byte chunk on a fresh instance%s",
                                             chunk.bytes.size(), cycled ? ", then effMainsChanged 0 and 1" : "");
        context.step(restoring);
        auto restored = context.playing();
        const ChunkRestore restore = restoreChunk(*restored, chunk.bytes);
        if (!restore.guardIntact) {
            findings.error(restoring + " wrote past the chunk");
        }
        if (!cycled) {
            expectSameParameters(findings, saved, *restored, "the chunk was restored");
            expectSameSound(context, findings, *original, false, *restored, "the restored instance's output");
            continue;
        }
        restored->setMains(false);
        restored->setMains(true);
        auto cycledOriginal = edited(context, true);
        expectSameSound(context, findings, *cycledOriginal, true, *restored,
                        "after switching off and on again, the restored instance's output");
    }
    return findings.outcome(format("%zu-byte chunk", chunk.bytes.size()));
}

// What a host does when a user saves a program or bank file and opens it
// in a fresh instance: the file is written whole, read back, accepted as
// this plug-in's and loaded, and the instance sounds like the one saved.
CheckOutcome checkPresetFiles(CheckContext& context) {
    Findings findings;
    int roundTrips = 0;
    for (const PresetContainer container : {PresetContainer::Program, PresetContainer::Bank}) {
        const bool bank = container == PresetContainer::Bank;
        const char* kind = bank ? "bank file" : "program file";
        if (bank && context.playing()->numPrograms() == 0 && !declaresChunks(*context.playing())) {
            continue;  // without programs, a program file holds the whole state
        }
        context.step(format("the original instance: last program, parameters edited, saved as a %s", kind));
        auto original = edited(context);
        std::vector<unsigned char> bytes;
        try {
            bytes = bank ? encodeBank(captureBank(*original, static_cast<VstInt32>(original->dispatch(effGetProgram))))
                         : encodeProgram(captureProgram(*original));
        } catch (const LoadError& refused) {
            findings.error(format("saving a %s: %s", kind, refused.what()));
            continue;
        }
        context.step(format("the %zu-byte %s read back and loaded into a fresh instance", bytes.size(), kind));
        PresetFile file;
        try {
            file = parsePresetFile(bytes.data(), bytes.size());
        } catch (const PresetFileProblem& problem) {
            findings.error(
                format("the %s written from the plug-in's state cannot be read back: %s", kind, problem.what()));
            continue;
        }
        auto restored = context.playing();
        try {
            for (const std::string& warning : checkPresetFits(*restored, file, kind)) {
                findings.warning(format("the %s: %s", kind, warning.c_str()));
            }
            // A program file loads into the program in use, which the
            // original's steps chose; a bank selects its own.
            if (!bank) {
                selectLastProgram(*restored);
            }
            loadPreset(*restored, file, std::nullopt);
        } catch (const LoadError& refused) {
            findings.error(format("the plug-in's own %s is refused: %s", kind, refused.what()));
            continue;
        }
        ++roundTrips;
        expectSameSound(context, findings, *original, false, *restored,
                        format("the output after loading the %s", kind));
    }
    return findings.outcome(
        format("%d %s written, read back and loaded", roundTrips, roundTrips == 1 ? "file" : "files"));
}

CheckOutcome checkNoAllocation(CheckContext& context) {
    const bool countsAllocations = allocation_counter::available();
    const bool countsLocks = lock_counter::available();
    if (!countsAllocations && !countsLocks) {
        return CheckOutcome::skip("this build cannot count the plug-in's allocations or locks");
    }
    auto instance = context.playing(context.rate(), kVaryingLimit);
    Random random(0xA110Cu);
    const Stimulus stimulus = checkStimulus(*instance, context.rate(), 2.0);
    // Each process call is counted in the phase it belongs to: the first
    // after switching on, the first after a parameter change, or the steady
    // state between them. The counters see only what happens inside the
    // process calls.
    PhaseCount phases[kPhases];
    Phase phase = Phase::AfterResume;
    long counted = instance->processAllocations();
    auto account = [&] {
        PhaseCount& count = phases[static_cast<int>(phase)];
        count.allocations += instance->processAllocations() - counted;
        ++count.calls;
        counted = instance->processAllocations();
    };
    auto run = [&](const BlockPlan& plan, bool changing) {
        const ProcessRun result = processAll(*instance, stimulus, plan, [&](std::size_t block) {
            if (block > 0) {
                account();
            }
            const bool change = changing && block % kChangeEvery == kChangeEvery - 1 && instance->numParams() > 0;
            if (change) {
                instance->setParameter(random.below(instance->numParams()), random.unit());
            }
            phase = block == 0 && phase == Phase::AfterResume ? Phase::AfterResume
                    : change                                  ? Phase::AfterChange
                                                              : Phase::Steady;
        });
        account();
        return result;
    };
    context.step(format("blocks of %d", kVaryingLimit));
    const ProcessRun steady = run(fixedBlocks(kVaryingLimit), false);
    context.step("blocks of changing sizes with parameter changes between some of them");
    const ProcessRun changing = run([&random](std::size_t) { return random.below(kVaryingLimit + 1); }, true);
    context.step("switched off and on again, then blocks of changing sizes");
    instance->setMains(false);
    instance->setMains(true);
    phase = Phase::AfterResume;
    const ProcessRun resumed = run([&random](std::size_t) { return 1 + random.below(kVaryingLimit); }, true);

    Findings findings;
    for (const PhaseRule& rule : kPhaseRules) {
        const PhaseCount& count = phases[static_cast<int>(rule.phase)];
        if (count.allocations == 0) {
            continue;
        }
        const std::string finding =
            format("%ld allocations in %ld process calls %s", count.allocations, count.calls, rule.description);
        (rule.severity == Severity::Error ? findings.error(finding) : findings.warning(finding));
    }
    const long locks = steady.locks + changing.locks + resumed.locks;
    const long waited = steady.waitedLocks + changing.waitedLocks + resumed.waitedLocks;
    if (waited > 0) {
        findings.error(format("%ld locks inside process calls, %ld of them waited for another thread", locks, waited));
    } else if (locks > 0) {
        findings.warning(
            format("%ld locks inside process calls (none had to wait here; under a host they may)", locks));
    }
    std::string what = countsAllocations && countsLocks ? "allocations and locks counted"
                       : countsAllocations              ? "allocations counted; this build cannot count locks"
                                                        : "locks counted; this build cannot count allocations";
    return findings.outcome(what);
}

// This group's rows; `order` places them among all checks.
constexpr CheckDefinition kRows[] = {
    {270, "state-restore", "state restore: the same steps on a fresh instance give the same audio", checkStateRestore,
     CheckRole::Ordinary, true, 1, 30},
    {280, "state-chunk", "state restore through effGetChunk and effSetChunk", checkChunkRestore, CheckRole::Ordinary,
     true, 1, 30},
    {285, "state-files",
     "program and bank files (.fxp, .fxb) saved and loaded into a fresh instance give the same "
     "audio",
     checkPresetFiles, CheckRole::Ordinary, true, 5, 30},
    {290, "realtime", "no memory allocation or lock during processing", checkNoAllocation, CheckRole::Ordinary, false,
     1, 30},
};

}  // namespace

CheckGroup stateChecks() {
    return groupOf(kRows);
}
