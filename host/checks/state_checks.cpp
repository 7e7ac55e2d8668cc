// What a host relies on across instances and on the audio thread: parameter
// values are the whole state, and processing never allocates.
#include <vector>

#include "checks/checks.h"
#include "plugin/allocation_counter.h"
#include "support/text_format.h"

namespace {

constexpr VstInt32 kVaryingLimit = 512;

}  // namespace

CheckOutcome checkStateRestore(CheckContext& context) {
    auto original = context.playing();
    Random random(0x5A7Eu);
    if (original->numPrograms() > 1) {
        original->selectProgram(original->numPrograms() - 1);
    }
    for (VstInt32 index = 0; index < original->numParams(); ++index) {
        if (random.below(2) == 0) {
            original->setParameter(index, random.unit());
        }
    }
    std::vector<float> saved;
    for (VstInt32 index = 0; index < original->numParams(); ++index) {
        saved.push_back(original->parameter(index));
    }

    auto restored = context.playing();
    for (VstInt32 index = 0; index < restored->numParams(); ++index) {
        restored->setParameter(index, saved[static_cast<std::size_t>(index)]);
    }
    Findings findings;
    for (VstInt32 index = 0; index < restored->numParams(); ++index) {
        const float value = restored->parameter(index);
        if (value != saved[static_cast<std::size_t>(index)]) {
            findings.add(format("parameter %d set to %.9g reads back %.9g", index,
                                static_cast<double>(saved[static_cast<std::size_t>(index)]),
                                static_cast<double>(value)));
        }
    }
    const AudioBuffer signal = checkSignal(CheckContext::kRate, 1.0);
    const ProcessRun first = processAll(*original, signal, fixedBlocks(CheckContext::kBlock));
    const ProcessRun second = processAll(*restored, signal, fixedBlocks(CheckContext::kBlock));
    const std::string difference = firstDifference(first.output, second.output);
    if (!difference.empty()) {
        findings.add("audio differs at " + difference);
    }
    return findings.outcome(format("%d parameters", original->numParams()));
}

CheckOutcome checkNoAllocation(CheckContext& context) {
    if (!allocation_counter::available()) {
        return CheckOutcome::skip("this build cannot count the plug-in's allocations");
    }
    auto instance = context.playing(CheckContext::kRate, kVaryingLimit);
    Random random(0xA110Cu);
    const AudioBuffer signal = checkSignal(CheckContext::kRate, 2.0);
    // Steady blocks first, then changing sizes with parameter changes between
    // them: the counter sees only what happens inside the process calls.
    processAll(*instance, signal, fixedBlocks(kVaryingLimit));
    processAll(
        *instance, signal, [&random](std::size_t) { return random.below(kVaryingLimit + 1); },
        [&](std::size_t) {
            if (instance->numParams() > 0) {
                instance->setParameter(random.below(instance->numParams()), random.unit());
            }
        });
    const long made = instance->processAllocations();
    if (made > 0) {
        return CheckOutcome::fail(format("%ld allocations inside process calls", made));
    }
    return CheckOutcome::pass();
}
