// Texts the plug-in writes into the host's buffers. Hosts give at least the
// interface's conventional room and mostly more, so a text over the
// conventional length is a warning; a write past a generous bound, or a text
// without its terminator, can corrupt any host and is an error. And every
// program can be selected.
#include <cmath>
#include <vector>

#include "checks/checks.h"
#include "opcodes.h"
#include "plugin/program_names.h"
#include "support/text_format.h"

namespace {

struct TextRule {
    std::size_t conventional;  // characters, terminator not counted
    std::size_t bound;         // bytes that may be written at all
};

constexpr TextRule kParameterText{kVstMaxParamStrLen, 64};
constexpr TextRule kProgramName{kProgramNameLimit, 128};
constexpr TextRule kEffectName{kVstMaxEffectNameLen, 256};
constexpr TextRule kVendorText{kVstMaxVendorStrLen, 256};

// Values at which display texts are read: the ends, the middle, and values
// just inside the ends where rounding tends to add a digit.
constexpr float kDisplayValues[] = {0.0f, 0.001f, 0.1f, 0.25f, 0.5f, 0.75f, 0.9f, 0.999f, 1.0f};

void judgeText(Findings& findings, const TextAnswer& answer, const TextRule& rule, const std::string& what) {
    const bool terminated = answer.bytesWritten == 0 || answer.text.size() < answer.bytesWritten;
    if (!terminated) {
        findings.error(format("%s \"%s\" has no terminator within the %zu bytes written", what.c_str(),
                              answer.text.c_str(), answer.bytesWritten));
    } else if (answer.bytesWritten > rule.bound) {
        findings.error(format("%s \"%s\" wrote %zu bytes, past any host's buffer (%zu bytes allowed here)",
                              what.c_str(), answer.text.c_str(), answer.bytesWritten, rule.bound));
    } else if (answer.text.size() > rule.conventional) {
        findings.warning(format("%s \"%s\" has %zu characters, over the conventional %zu", what.c_str(),
                                answer.text.c_str(), answer.text.size(), rule.conventional));
    } else if (answer.bytesWritten > rule.conventional + 1) {
        findings.warning(format("%s \"%s\" fits, but %zu bytes were written where hosts may give %zu", what.c_str(),
                                answer.text.c_str(), answer.bytesWritten, rule.conventional + 1));
    }
}

CheckOutcome checkParameterText(CheckContext& context, VstInt32 opcode, const char* what) {
    auto instance = context.playing();
    Findings findings;
    for (VstInt32 index = 0; index < instance->numParams(); ++index) {
        const std::string name = format("parameter %d %s", index, what);
        context.step(name);
        judgeText(findings, instance->text(opcode, index, kParameterText.conventional), kParameterText, name);
    }
    return findings.outcome(format("%d parameters", instance->numParams()));
}

CheckOutcome checkIdentityTexts(CheckContext& context) {
    auto instance = context.playing();
    Findings findings;
    struct Identity {
        VstInt32 opcode;
        const TextRule& rule;
        const char* what;
    };
    const Identity identities[] = {{effGetEffectName, kEffectName, "effect name"},
                                   {effGetVendorString, kVendorText, "vendor"},
                                   {effGetProductString, kVendorText, "product"},
                                   {effGetProgramName, kProgramName, "current program name"}};
    for (const Identity& identity : identities) {
        context.step(identity.what);
        judgeText(findings, instance->text(identity.opcode, 0, identity.rule.conventional), identity.rule,
                  identity.what);
    }
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
            const std::string what = format("parameter %d display at %g", index, static_cast<double>(value));
            context.step(what);
            instance->setParameter(index, value);
            judgeText(findings, instance->text(effGetParamDisplay, index, kParameterText.conventional), kParameterText,
                      what);
        }
        instance->setParameter(index, original);
    }
    // And at the values of every program.
    for (VstInt32 program = 0; program < instance->numPrograms(); ++program) {
        context.step(format("program %d selected", program));
        instance->selectProgram(program);
        for (VstInt32 index = 0; index < instance->numParams(); ++index) {
            const std::string what = format("parameter %d display in program %d", index, program);
            context.step(what);
            judgeText(findings, instance->text(effGetParamDisplay, index, kParameterText.conventional), kParameterText,
                      what);
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
    const AudioBuffer signal = checkSignal(context.rate(), 0.25);
    for (VstInt32 program = 0; program < instance->numPrograms(); ++program) {
        const std::string what = format("program %d", program);
        context.step(what + " selected");
        instance->selectProgram(program);
        judgeText(findings, instance->text(effGetProgramName, 0, kProgramName.conventional), kProgramName,
                  what + " name");
        for (VstInt32 index = 0; index < instance->numParams(); ++index) {
            const float value = instance->parameter(index);
            if (!std::isfinite(value)) {
                findings.error(format("%s: parameter %d reads %g", what.c_str(), index, static_cast<double>(value)));
            }
        }
        context.step(what + " processing");
        expectClean(findings, processAll(*instance, signal, fixedBlocks(CheckContext::kBlock)), what);
    }
    return findings.outcome(format("%d programs", instance->numPrograms()));
}

// This group's rows; `order` places them among all checks.
constexpr CheckDefinition kRows[] = {
    {80, "texts-identity", "identity texts within their limits", checkIdentityTexts, CheckRole::Ordinary, false, 1, 30},
    {90, "texts-names", "parameter names within 8 characters", checkParameterNames, CheckRole::Ordinary, false, 1, 30},
    {100, "texts-labels", "parameter labels within 8 characters", checkParameterLabels, CheckRole::Ordinary, false, 5,
     30},
    {110, "texts-displays", "parameter display texts within 8 characters", checkParameterDisplays, CheckRole::Ordinary,
     false, 5, 30},
    {120, "programs", "every program selected", checkEveryProgram, CheckRole::Ordinary, false, 1, 30},
};

}  // namespace

CheckGroup textChecks() {
    return groupOf(kRows);
}
