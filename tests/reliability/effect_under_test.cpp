#include "effect_under_test.h"

#include <cmath>

#include "audio_effect.h"
#include "opcodes.h"
#include "plugin_factory.h"

namespace reliability {
namespace {
VstIntPtr VSTCALLBACK quietHost(AEffect* /*effect*/, VstInt32 opcode, VstInt32 /*index*/, VstIntPtr /*value*/,
                                void* /*ptr*/, float /*opt*/) {
    return opcode == audioMasterVersion ? kVstVersion : 0;
}
}  // namespace

audioMasterCallback quietHostCallback() {
    return quietHost;
}

AEffect* openLikeAHost() {
    // A test program cannot link the library's entry file (it also exports
    // itself as "main"), so this repeats its two steps.
    if (quietHost(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f) == 0) {
        return nullptr;
    }
    AudioEffect* instance = createEffectInstance(quietHost);
    return instance != nullptr ? instance->getAeffect() : nullptr;
}

void closeLikeAHost(AEffect* effect) {
    effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
}

void useBrieflyLikeAHost(AEffect* effect) {
    char text[kVstMaxVendorStrLen + 1];
    char question[] = "bypass";
    char name[] = "Renamed by the host";
    effect->dispatcher(effect, effOpen, 0, 0, nullptr, 0.0f);
    effect->dispatcher(effect, effGetVstVersion, 0, 0, nullptr, 0.0f);
    effect->dispatcher(effect, effGetEffectName, 0, 0, text, 0.0f);
    effect->dispatcher(effect, effGetVendorString, 0, 0, text, 0.0f);
    effect->dispatcher(effect, effGetPlugCategory, 0, 0, nullptr, 0.0f);
    effect->dispatcher(effect, effCanDo, 0, 0, question, 0.0f);
    effect->dispatcher(effect, effSetSampleRate, 0, 0, nullptr, 48000.0f);
    effect->dispatcher(effect, effSetBlockSize, 0, 64, nullptr, 0.0f);
    effect->dispatcher(effect, effMainsChanged, 0, 1, nullptr, 0.0f);

    float input[64];
    float left[64];
    float right[64];
    for (int i = 0; i < 64; ++i) {
        input[i] = 0.5f * std::sin(0.05f * static_cast<float>(i));
    }
    float* inputs[2] = {input, input};
    float* outputs[2] = {left, right};
    effect->setParameter(effect, kEqOn, 1.0f);
    effect->processReplacing(effect, inputs, outputs, 64);

    effect->dispatcher(effect, effSetProgram, 0, 4, nullptr, 0.0f);
    effect->dispatcher(effect, effSetProgramName, 0, 0, name, 0.0f);
    effect->dispatcher(effect, effGetProgramName, 0, 0, text, 0.0f);
    effect->dispatcher(effect, effMainsChanged, 0, 0, nullptr, 0.0f);
}

EffectUnderTest::EffectUnderTest() : effect_(openLikeAHost()) {}

EffectUnderTest::~EffectUnderTest() {
    if (effect_ != nullptr) {
        closeLikeAHost(effect_);
    }
}

void EffectUnderTest::selectProgram(VstInt32 program) {
    dispatch(effBeginSetProgram);
    dispatch(effSetProgram, 0, program);
    dispatch(effEndSetProgram);
}

std::vector<float> EffectUnderTest::process(const std::vector<float>& input) {
    std::vector<float> in = input;
    std::vector<float> left(input.size());
    std::vector<float> right(input.size());
    float* inputs[2] = {in.data(), in.data()};
    float* outputs[2] = {left.data(), right.data()};
    effect_->processReplacing(effect_, inputs, outputs, static_cast<VstInt32>(input.size()));
    return left;
}

std::vector<float> sine(std::size_t frames, float level, std::size_t start) {
    std::vector<float> samples(frames);
    for (std::size_t i = 0; i < frames; ++i) {
        samples[i] = level * static_cast<float>(std::sin(0.031 * static_cast<double>(start + i)));
    }
    return samples;
}

long firstNonFinite(const std::vector<float>& samples) {
    for (std::size_t i = 0; i < samples.size(); ++i) {
        if (!std::isfinite(samples[i])) {
            return static_cast<long>(i);
        }
    }
    return -1;
}

}  // namespace reliability
