// Plug-ins whose measurements are known in advance, for testing the
// figures of `plughost analyze`. One source, built once per kind:
//   KD_STUB_SHAPER   memoryless: y = 1.5x - 0.5x^3 (parameter 0 below 0.5),
//                    or y = x + 0.5x^5 (parameter 0 at 0.5 or more)
//   KD_STUB_ONE_POLE one-pole low-pass whose gain is exactly -3 dB at
//                    kCornerHz, at whatever sample rate the host sends
//   KD_STUB_DELAY    the input kDelay samples late, a latency it reports only
//                    once it processes, as some published plug-ins do
//   KD_STUB_BELL     a peaking equaliser, +20 dB at 500 Hz with a Q of 2
//                    (the audio cookbook's biquad), at any sample rate
//   KD_STUB_COMPRESSOR a compressor (threshold -20 dBFS, ratio 4) whose gain
//                    in dB follows its target with time constants of 5 ms
//                    (falling) and 50 ms (rising); its level is the largest
//                    magnitude over the last millisecond
#include <algorithm>
#include <cmath>
#include <vector>

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

#elif defined(KD_STUB_BELL)

class BellStub : public AudioEffectX {
public:
    static constexpr double kCentreHz = 500.0;
    static constexpr double kGainDb = 20.0;
    static constexpr double kQ = 2.0;

    explicit BellStub(audioMasterCallback audioMaster) : AudioEffectX(audioMaster, 0, 0) {
        setNumInputs(1);
        setNumOutputs(1);
        setUniqueID(fourCharCode('K', 'd', 'B', 'l'));
        canProcessReplacing(true);
    }
    void setSampleRate(float rate) override {
        AudioEffectX::setSampleRate(rate);
        const double a = std::pow(10.0, kGainDb / 40.0);
        const double w = 2.0 * kPi * kCentreHz / rate;
        const double alpha = std::sin(w) / (2.0 * kQ);
        const double a0 = 1.0 + alpha / a;
        b0 = (1.0 + alpha * a) / a0;
        b1 = -2.0 * std::cos(w) / a0;
        b2 = (1.0 - alpha * a) / a0;
        a1 = b1;
        a2 = (1.0 - alpha / a) / a0;
    }
    // audio thread: no allocation, no locks
    void processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) override {
        for (VstInt32 i = 0; i < sampleFrames; ++i) {
            const double x = inputs[0][i];
            const double y = b0 * x + s1;
            s1 = b1 * x - a1 * y + s2;
            s2 = b2 * x - a2 * y;
            outputs[0][i] = static_cast<float>(y);
        }
    }

private:
    double b0 = 1.0, b1 = 0.0, b2 = 0.0, a1 = 0.0, a2 = 0.0;
    double s1 = 0.0, s2 = 0.0;
};

AudioEffect* createEffectInstance(audioMasterCallback audioMaster) {
    return new BellStub(audioMaster);
}

#elif defined(KD_STUB_COMPRESSOR)

class CompressorStub : public AudioEffectX {
public:
    static constexpr double kThresholdDb = -20.0;
    static constexpr double kRatio = 4.0;
    static constexpr double kFallSeconds = 0.005;
    static constexpr double kRiseSeconds = 0.050;

    explicit CompressorStub(audioMasterCallback audioMaster) : AudioEffectX(audioMaster, 0, 0) {
        setNumInputs(1);
        setNumOutputs(1);
        setUniqueID(fourCharCode('K', 'd', 'C', 'p'));
        canProcessReplacing(true);
    }
    void setSampleRate(float rate) override {
        AudioEffectX::setSampleRate(rate);
        recent.assign(static_cast<std::size_t>(std::lround(rate / 1000.0)), 0.0f);
        fall = 1.0 - std::exp(-1.0 / (kFallSeconds * rate));
        rise = 1.0 - std::exp(-1.0 / (kRiseSeconds * rate));
    }
    // audio thread: no allocation, no locks
    void processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) override {
        for (VstInt32 i = 0; i < sampleFrames; ++i) {
            const float x = inputs[0][i];
            recent[next] = std::fabs(x);
            next = (next + 1) % recent.size();
            const double level = *std::max_element(recent.begin(), recent.end());
            const double levelDb = level > 0.0 ? 20.0 * std::log10(level) : -400.0;
            const double target = levelDb > kThresholdDb ? (kThresholdDb - levelDb) * (1.0 - 1.0 / kRatio) : 0.0;
            gainDb += (target - gainDb) * (target < gainDb ? fall : rise);
            outputs[0][i] = static_cast<float>(x * std::pow(10.0, gainDb / 20.0));
        }
    }

private:
    std::vector<float> recent = std::vector<float>(44, 0.0f);
    std::size_t next = 0;
    double fall = 0.0, rise = 0.0;
    double gainDb = 0.0;
};

AudioEffect* createEffectInstance(audioMasterCallback audioMaster) {
    return new CompressorStub(audioMaster);
}

#endif
