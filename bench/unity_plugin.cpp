// The plug-in of the host-cost benchmark (bench/render-targets): two inputs
// copied to two outputs and nothing else, so that a render through it costs
// what the host itself does: reading, converting, measuring and writing.
#include <cstring>

#include "aeffect.h"
#include "opcodes.h"

namespace {

constexpr int kChannels = 2;

VstIntPtr VSTCALLBACK dispatch(AEffect* effect, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    if (opcode == effClose) {
        delete effect;
        return 1;
    }
    return opcode == effGetTailSize ? 1 : 0;  // no tail
}

void VSTCALLBACK processReplacing(AEffect*, float** inputs, float** outputs, VstInt32 frames) {
    for (int channel = 0; channel < kChannels; ++channel) {
        if (inputs[channel] != outputs[channel] && frames > 0) {
            std::memmove(outputs[channel], inputs[channel], sizeof(float) * static_cast<std::size_t>(frames));
        }
    }
}

void VSTCALLBACK setParameter(AEffect*, VstInt32, float) {}

float VSTCALLBACK getParameter(AEffect*, VstInt32) {
    return 0.0f;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) AEffect* VSTCALLBACK VSTPluginMain(audioMasterCallback) {
    auto* effect = new AEffect{};
    effect->magic = kEffectMagic;
    effect->dispatcher = dispatch;
    effect->setParameter = setParameter;
    effect->getParameter = getParameter;
    effect->processReplacing = processReplacing;
    effect->numInputs = kChannels;
    effect->numOutputs = kChannels;
    effect->flags = effFlagsCanReplacing;
    effect->uniqueID = fourCharCode('U', 'n', 't', 'y');
    return effect;
}
