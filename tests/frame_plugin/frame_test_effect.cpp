#include "frame_test_effect.h"

#include <cstdio>
#include <new>

#include "plugin_factory.h"
#include "text.h"

using namespace frame_test;

FrameTestEffect::FrameTestEffect(audioMasterCallback audioMaster)
    : AudioEffectX(audioMaster, kNumPrograms, kNumParams) {
    setNumInputs(2);
    setNumOutputs(2);
    setUniqueID(kUniqueId);
    canProcessReplacing(true);
    if (audioMaster != nullptr &&
        audioMaster(&cEffect, kReportOpcode, kConstructed, 0, nullptr, 0.0f) == kRefuseConstruction) {
        throw std::bad_alloc();
    }
}

FrameTestEffect::~FrameTestEffect() {
    report(kDestroyed);
}

void FrameTestEffect::open() {
    report(kOpened);
}
void FrameTestEffect::close() {
    report(kClosed);
}
void FrameTestEffect::suspend() {
    report(kSuspended);
}
void FrameTestEffect::resume() {
    report(kResumed);
}

void FrameTestEffect::setSampleRate(float newRate) {
    AudioEffectX::setSampleRate(newRate);
    report(kSampleRateSet, static_cast<VstIntPtr>(newRate));
}

void FrameTestEffect::setBlockSize(VstInt32 newSize) {
    AudioEffectX::setBlockSize(newSize);
    report(kBlockSizeSet, newSize);
}

void FrameTestEffect::processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) {
    for (VstInt32 channel = 0; channel < cEffect.numOutputs; ++channel) {
        for (VstInt32 i = 0; i < sampleFrames; ++i) {
            outputs[channel][i] = inputs[channel][i] * kGain;
        }
    }
}

void FrameTestEffect::setParameter(VstInt32 index, float value) {
    if (static_cast<unsigned>(index) < static_cast<unsigned>(kNumParams)) {
        params[index] = value;
    }
}

float FrameTestEffect::getParameter(VstInt32 index) {
    return static_cast<unsigned>(index) < static_cast<unsigned>(kNumParams) ? params[index] : 0.0f;
}

void FrameTestEffect::getParameterName(VstInt32 index, char* text) {
    if (static_cast<unsigned>(index) >= static_cast<unsigned>(kNumParams)) {
        return;
    }
    char name[16];
    std::snprintf(name, sizeof(name), "Param %d", static_cast<int>(index));
    copyText(text, name, kVstMaxParamStrLen);
}

// Reports every number the dispatcher lets through, then keeps it as the
// base class does, so that effGetProgram shows what arrived.
void FrameTestEffect::setProgram(VstInt32 program) {
    report(kProgramSet, program);
    AudioEffectX::setProgram(program);
}

void FrameTestEffect::getProgramName(char* name) {
    char text[kVstMaxProgNameLen];
    std::snprintf(text, sizeof(text), "Program %d", static_cast<int>(curProgram));
    copyText(name, text, kVstMaxProgNameLen - 1);
}

void FrameTestEffect::report(VstInt32 tag, VstIntPtr value) {
    if (audioMaster != nullptr) {
        audioMaster(&cEffect, kReportOpcode, tag, value, nullptr, 0.0f);
    }
}

AudioEffect* createEffectInstance(audioMasterCallback audioMaster) {
    return new FrameTestEffect(audioMaster);
}
