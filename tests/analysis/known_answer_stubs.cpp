// Plug-ins whose measurements are known in advance, for testing the
// figures of `plughost analyze`. One source, built once per kind:
//   KD_STUB_SHAPER   memoryless: y = 1.5x - 0.5x^3 (parameter 0 below 0.5),
//                    or y = x + 0.5x^5 (parameter 0 at 0.5 or more)
//   KD_STUB_ONE_POLE one-pole low-pass whose gain is exactly -3 dB at
//                    kCornerHz, at whatever sample rate the host sends
//   KD_STUB_DELAY    the input kDelay samples late, a latency it reports only
//                    once it processes, as some published plug-ins do
#include <cmath>

#include "audio_effect_x.h"
#include "plugin_factory.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

}  // namespace

#if defined(KD_STUB_SHAPER)

class ShaperStub : public AudioEffectX {
public:
    explicit ShaperStub(audioMasterCallback audioMaster) : AudioEffectX(audioMaster, 0, 1) {
        setNumInputs(1);
        setNumOutputs(1);
        setUniqueID(fourCharCode('K', 'd', 'S', 'h'));
        canProcessReplacing(true);
    }
    // audio thread: no allocation, no locks
    void processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) override {
        const bool quintic = curve >= 0.5f;
        for (VstInt32 i = 0; i < sampleFrames; ++i) {
            const double x = inputs[0][i];
            const double y = quintic ? x + 0.5 * x * x * x * x * x : 1.5 * x - 0.5 * x * x * x;
            outputs[0][i] = static_cast<float>(y);
        }
    }
    void setParameter(VstInt32 index, float value) override {
        if (index == 0) {
            curve = value;
        }
    }
    float getParameter(VstInt32 index) override { return index == 0 ? curve : 0.0f; }

private:
    float curve = 0.0f;
};

AudioEffect* createEffectInstance(audioMasterCallback audioMaster) {
    return new ShaperStub(audioMaster);
}

#elif defined(KD_STUB_ONE_POLE)

class OnePoleStub : public AudioEffectX {
public:
    static constexpr double kCornerHz = 1000.0;

    explicit OnePoleStub(audioMasterCallback audioMaster) : AudioEffectX(audioMaster, 0, 0) {
        setNumInputs(1);
        setNumOutputs(1);
        setUniqueID(fourCharCode('K', 'd', 'L', 'p'));
        canProcessReplacing(true);
    }
    // y = (1 - p) x + p y1 has |H|^2 = (1 - p)^2 / (1 - 2p cos w + p^2); setting
    // that to 1/2 at the corner gives p^2 - (4 - 2 cos w) p + 1 = 0.
    void setSampleRate(float rate) override {
        AudioEffectX::setSampleRate(rate);
        const double c = std::cos(2.0 * kPi * kCornerHz / rate);
        pole = (2.0 - c) - std::sqrt((2.0 - c) * (2.0 - c) - 1.0);
    }
    // audio thread: no allocation, no locks
    void processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) override {
        for (VstInt32 i = 0; i < sampleFrames; ++i) {
            memory = (1.0 - pole) * inputs[0][i] + pole * memory;
            outputs[0][i] = static_cast<float>(memory);
        }
    }

private:
    double pole = 0.0;
    double memory = 0.0;
};

AudioEffect* createEffectInstance(audioMasterCallback audioMaster) {
    return new OnePoleStub(audioMaster);
}

#elif defined(KD_STUB_DELAY)

class DelayStub : public AudioEffectX {
public:
    static constexpr VstInt32 kDelay = 64;

    explicit DelayStub(audioMasterCallback audioMaster) : AudioEffectX(audioMaster, 0, 0) {
        setNumInputs(1);
        setNumOutputs(1);
        setUniqueID(fourCharCode('K', 'd', 'D', 'l'));
        canProcessReplacing(true);
    }
    // audio thread: no allocation, no locks
    void processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) override {
        setInitialDelay(kDelay);
        for (VstInt32 i = 0; i < sampleFrames; ++i) {
            const float in = inputs[0][i];
            outputs[0][i] = line[position];
            line[position] = in;
            position = (position + 1) % kDelay;
        }
    }

private:
    float line[kDelay] = {};
    VstInt32 position = 0;
};

AudioEffect* createEffectInstance(audioMasterCallback audioMaster) {
    return new DelayStub(audioMaster);
}

#endif
