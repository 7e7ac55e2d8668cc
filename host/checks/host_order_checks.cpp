// The opening sequences that real hosts and plug-in scanners use, which
// differ from the textbook order.
#include <vector>

#include "checks/checks.h"
#include "opcodes.h"
#include "support/text_format.h"

namespace {

constexpr const char* kScannerQuestions[] = {"receiveVstEvents",
                                             "receiveVstMidiEvent",
                                             "sendVstEvents",
                                             "sendVstMidiEvent",
                                             "bypass",
                                             "offline",
                                             "midiProgramNames",
                                             "receiveVstTimeInfo",
                                             "plugAsChannelInsert",
                                             "plugAsSend",
                                             "mixDryWet",
                                             "noRealTime",
                                             "multipass",
                                             "metapass",
                                             "1in1out",
                                             "1in2out",
                                             "2in1out",
                                             "2in2out",
                                             "conformsToWindowRules"};

// The interface's parameter properties record: three step sizes, a 64-byte
// label, five integers, an 8-byte short label, four 16-bit fields, a 24-byte
// category label and 16 reserved bytes.
constexpr std::size_t kPropertiesBytes = 152;
constexpr VstInt32 kScannerBlock = 1024;
constexpr float kScannerRate = 44100.0f;

void askAll(PluginInstance& instance) {
    for (const char* question : kScannerQuestions) {
        instance.dispatch(effCanDo, 0, 0, const_cast<char*>(question));
    }
}

CheckOutcome checkScannerOrder(CheckContext& context) {
    context.step("a scanner's queries");
    // This scanner answers the host's sample rate and block size with 0.
    PluginInstance instance(context.module(), 0.0f, 0);
    instance.open();
    instance.dispatch(effGetVstVersion);
    instance.text(effGetEffectName, 0, kVstMaxEffectNameLen);
    instance.text(effGetVendorString, 0, kVstMaxVendorStrLen);
    instance.dispatch(effGetPlugCategory);
    askAll(instance);
    instance.setMains(false);
    instance.close();
    return CheckOutcome::pass();
}

CheckOutcome checkSettingsBeforeOpen(CheckContext& context) {
    // An older scanner: it answers the version query with 2 and sends block
    // size and sample rate before effOpen.
    context.step("settings before effOpen");
    {
        PluginInstance instance(context.module(), kScannerRate, kScannerBlock, 2);
        instance.dispatch(effGetPlugCategory);
        instance.setBlockSize(kScannerBlock);
        instance.setSampleRate(kScannerRate);
        instance.open();
        askAll(instance);
        instance.close();
    }
    // Then it makes a second instance the same way and never closes it.
    PluginInstance leftOpen(context.module(), kScannerRate, kScannerBlock, 2);
    leftOpen.dispatch(effGetPlugCategory);
    leftOpen.setBlockSize(kScannerBlock);
    leftOpen.setSampleRate(kScannerRate);
    leftOpen.open();
    askAll(leftOpen);
    leftOpen.abandon();
    // A fresh instance still works beside the abandoned one.
    auto playing = context.playing();
    context.step("a fresh instance processing beside the abandoned one");
    Findings findings;
    expectClean(findings, processAll(*playing, checkSignal(context.rate(), 0.2), fixedBlocks(CheckContext::kBlock)),
                "a later instance");
    return findings.outcome();
}

CheckOutcome checkInstantiationOrder(CheckContext& context) {
    PluginInstance instance(context.module());
    instance.openForPlayback(context.rate(), CheckContext::kBlock);
    Findings findings;
    GuardedBytes properties(kPropertiesBytes);
    for (VstInt32 index = 0; index < instance.numParams(); ++index) {
        context.step(format("parameter %d queried", index));
        instance.dispatch(effCanBeAutomated, index);
        properties.reset();
        instance.dispatch(effGetParameterProperties, index, 0, properties.data());
        if (!properties.guardIntact()) {
            findings.error(format("parameter %d: effGetParameterProperties wrote past the %zu-byte record", index,
                                  kPropertiesBytes));
        }
        instance.parameter(index);
        // Text limits have checks of their own; this one is about the order.
        instance.text(effGetParamName, index, kVstMaxParamStrLen);
    }
    instance.dispatch(effCanDo, 0, 0, const_cast<char*>("bypass"));
    context.step("switched on and processing");
    instance.setMains(true);
    expectClean(findings, processAll(instance, checkSignal(context.rate(), 0.5), fixedBlocks(CheckContext::kBlock)),
                "processing");
    instance.setMains(false);
    instance.close();
    return findings.outcome();
}

// This group's rows; `order` places them among all checks.
constexpr CheckDefinition kRows[] = {
    {50, "order-scanner", "scanner order: queries, effMainsChanged 0 without 1, close", checkScannerOrder,
     CheckRole::Ordinary, false, 1, 30},
    {60, "order-settings-first", "sample rate and block size before effOpen, instance left open",
     checkSettingsBeforeOpen, CheckRole::Ordinary, false, 5, 30},
    {70, "order-instantiation", "instantiation order of a host", checkInstantiationOrder, CheckRole::Ordinary, false, 5,
     30},
};

}  // namespace

CheckGroup hostOrderChecks() {
    return groupOf(kRows);
}
