// Texts the plug-in writes into the host's buffers: each must stay within
// the interface's limit (hosts give exactly that much room), terminator
// included. And every program can be selected.
#include <cmath>
#include <vector>

#include "checks/checks.h"
#include "opcodes.h"
#include "plugin/program_names.h"
#include "support/text_format.h"

namespace {

// Values at which display texts are read: the ends, the middle, and values
// just inside the ends where rounding tends to add a digit.
constexpr float kDisplayValues[] = {0.0f, 0.001f, 0.1f, 0.25f, 0.5f, 0.75f, 0.9f, 0.999f, 1.0f};

void expectFits(Findings& findings, const TextAnswer& answer, std::size_t limit, const std::string& what) {
    if (!answer.fits) {
        findings.add(format("%s \"%s\" took %zu bytes (limit %zu with terminator)", what.c_str(), answer.text.c_str(),
                            answer.bytesWritten, limit + 1));
    }
}

CheckOutcome checkParameterText(CheckContext& context, VstInt32 opcode, const char* what) {
    auto instance = context.playing();
    Findings findings;
    for (VstInt32 index = 0; index < instance->numParams(); ++index) {
        expectFits(findings, instance->text(opcode, index, kVstMaxParamStrLen), kVstMaxParamStrLen,
                   format("parameter %d %s", index, what));
    }
    return findings.outcome(format("%d parameters", instance->numParams()));
}

}  // namespace

CheckOutcome checkIdentityTexts(CheckContext& context) {
    auto instance = context.playing();
    Findings findings;
    expectFits(findings, instance->text(effGetEffectName, 0, kVstMaxEffectNameLen), kVstMaxEffectNameLen,
               "effect name");
    expectFits(findings, instance->text(effGetVendorString, 0, kVstMaxVendorStrLen), kVstMaxVendorStrLen, "vendor");
    expectFits(findings, instance->text(effGetProductString, 0, kVstMaxProductStrLen), kVstMaxProductStrLen, "product");
    expectFits(findings, instance->text(effGetProgramName, 0, kProgramNameLimit), kProgramNameLimit,
               "current program name");
    return findings.outcome();
}

CheckOutcome checkParameterNames(CheckContext& context) {
    return checkParameterText(context, effGetParamName, "name");
}

CheckOutcome checkParameterLabels(CheckContext& context) {
    return checkParameterText(context, effGetParamLabel, "label");
}

CheckOutcome checkParameterDisplays(CheckContext& context) {
    auto instance = context.playing();
    Findings findings;
    for (VstInt32 index = 0; index < instance->numParams(); ++index) {
        const float original = instance->parameter(index);
        for (float value : kDisplayValues) {
            instance->setParameter(index, value);
            expectFits(findings, instance->text(effGetParamDisplay, index, kVstMaxParamStrLen), kVstMaxParamStrLen,
                       format("parameter %d display at %g", index, static_cast<double>(value)));
        }
        instance->setParameter(index, original);
    }
    // And at the values of every program.
    for (VstInt32 program = 0; program < instance->numPrograms(); ++program) {
        instance->selectProgram(program);
        for (VstInt32 index = 0; index < instance->numParams(); ++index) {
            expectFits(findings, instance->text(effGetParamDisplay, index, kVstMaxParamStrLen), kVstMaxParamStrLen,
                       format("parameter %d display in program %d", index, program));
        }
    }
    return findings.outcome(format("%d parameters at %zu values and in %d programs", instance->numParams(),
                                   sizeof kDisplayValues / sizeof kDisplayValues[0], instance->numPrograms()));
}

CheckOutcome checkEveryProgram(CheckContext& context) {
    if (context.playing()->numPrograms() == 0) {
        return CheckOutcome::pass("no programs");
    }
    auto instance = context.playing();
    Findings findings;
    const AudioBuffer signal = checkSignal(CheckContext::kRate, 0.25);
    for (VstInt32 program = 0; program < instance->numPrograms(); ++program) {
        instance->selectProgram(program);
        expectFits(findings, instance->text(effGetProgramName, 0, kProgramNameLimit), kProgramNameLimit,
                   format("program %d name", program));
        for (VstInt32 index = 0; index < instance->numParams(); ++index) {
            const float value = instance->parameter(index);
            if (!std::isfinite(value)) {
                findings.add(format("program %d: parameter %d reads %g", program, index, static_cast<double>(value)));
            }
        }
        const ProcessRun run = processAll(*instance, signal, fixedBlocks(CheckContext::kBlock));
        if (run.stats.nans > 0 || run.stats.infinities > 0) {
            findings.add(format("program %d: output held %s values", program, run.stats.describeBadValues().c_str()));
        }
        if (!run.guardsIntact) {
            findings.add(format("program %d: the plug-in wrote outside the block", program));
        }
    }
    return findings.outcome(format("%d programs", instance->numPrograms()));
}
