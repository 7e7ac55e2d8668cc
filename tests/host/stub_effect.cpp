// A small, well-behaved effect whose output tells a test what the host did.
// Built as several libraries that differ in their channel counts, latency and
// tail (KD_STUB_INPUTS, KD_STUB_OUTPUTS, KD_STUB_LATENCY, KD_STUB_TAIL).
//
// Output channel o carries input o (cycling through the inputs when there
// are more outputs; summing inputs o, o + outputs, ... when there are
// fewer), delayed by the latency, times 2 * Gain, plus an echo 100 frames
// later scaled by Echo. Poison above 0.5 turns every frame from the 1000th
// of the render into +infinity. Programs: 0 "Unity" (Gain 0.5), 1 "Double"
// (Gain 1). Displays: Gain in dB with two decimals, rounded ("+6.02",
// label "dB"), Echo in whole percent, Poison "Off" or "On". Switching it off while it was never on is reported on
// stderr, as some plug-ins assert. Like some published plug-ins, it reports its latency only once it processes.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <vector>

#include "aeffect.h"
#include "opcodes.h"
#include "stub_export.h"

namespace {

constexpr int kInputs = KD_STUB_INPUTS;
constexpr int kOutputs = KD_STUB_OUTPUTS;
constexpr int kLatency = KD_STUB_LATENCY;
constexpr int kEchoFrames = 100;
constexpr long kPoisonFrame = 1000;
constexpr const char* kParameterNames[] = {"Gain", "Echo", "Poison"};
constexpr const char* kProgramNames[] = {"Unity", "Double"};
constexpr float kProgramGains[] = {0.5f, 1.0f};

struct Stub {
    AEffect record{};
    float values[3] = {0.5f, 0.0f, 0.0f};
    int program = 0;
    bool on = false;
    long frame = 0;
    // Per output: the last kLatency inputs, then the last kEchoFrames outputs.
    std::vector<std::vector<float>> delay = std::vector<std::vector<float>>(kOutputs, std::vector<float>(kLatency + 1));
    std::vector<std::vector<float>> echo = std::vector<std::vector<float>>(kOutputs, std::vector<float>(kEchoFrames));
};

Stub* self(AEffect* effect) {
    return static_cast<Stub*>(effect->object);
}

void copyText(void* ptr, const char* text) {
    std::strncpy(static_cast<char*>(ptr), text, 8);
    static_cast<char*>(ptr)[8] = '\0';
}

VstIntPtr VSTCALLBACK dispatch(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float) {
    Stub* stub = self(effect);
    switch (opcode) {
        case effClose:
            delete stub;
            return 1;
        case effSetProgram:
            if (value >= 0 && value < 2) {
                stub->program = static_cast<int>(value);
                stub->values[0] = kProgramGains[value];
            }
            return 1;
        case effGetProgram:
            return stub->program;
        case effGetProgramName:
            std::strcpy(static_cast<char*>(ptr), kProgramNames[stub->program]);
            return 1;
        case effGetProgramNameIndexed:
            if (index < 0 || index >= 2) {
                return 0;
            }
            std::strcpy(static_cast<char*>(ptr), kProgramNames[index]);
            return 1;
        case effGetParamName:
            copyText(ptr, index >= 0 && index < 3 ? kParameterNames[index] : "");
            return 1;
        case effGetParamLabel:
            copyText(ptr, index == 0 ? "dB" : index == 1 ? "%" : "");
            return 1;
        case effGetParamDisplay: {
            char text[32] = "";
            const double value = index >= 0 && index < 3 ? stub->values[index] : 0.0;
            if (index == 0) {
                std::snprintf(text, sizeof text, "%+.2f", 20.0 * std::log10(2.0 * value));
            } else if (index == 1) {
                std::snprintf(text, sizeof text, "%.0f", 100.0 * value);
            } else {
                std::snprintf(text, sizeof text, "%s", value > 0.5 ? "On" : "Off");
            }
            copyText(ptr, text);
            return 1;
        }
        case effMainsChanged:
            if (value == 0 && !stub->on) {
                std::fprintf(stderr, "stub effect: switched off while it was never on\n");
            }
            stub->on = value != 0;
            stub->frame = 0;
            return 1;
        case effGetTailSize:
            return KD_STUB_TAIL;
        case effGetEffectName:
            std::strcpy(static_cast<char*>(ptr), "Stub");
            return 1;
        default:
            return 0;
    }
}

void VSTCALLBACK processReplacing(AEffect* effect, float** inputs, float** outputs, VstInt32 frames) {
    Stub* stub = self(effect);
    const float gain = 2.0f * stub->values[0];
    const float feedback = stub->values[1];
    effect->initialDelay = kLatency;
    for (VstInt32 n = 0; n < frames; ++n, ++stub->frame) {
        for (int out = 0; out < kOutputs; ++out) {
            float x = 0.0f;
            for (int in = out % kInputs; in < kInputs; in += kOutputs) {
                x += inputs[in][n];
                if (kOutputs > kInputs) {
                    break;
                }
            }
            std::vector<float>& delay = stub->delay[static_cast<std::size_t>(out)];
            delay[static_cast<std::size_t>(stub->frame % (kLatency + 1))] = x;
            const float delayed = delay[static_cast<std::size_t>((stub->frame + 1) % (kLatency + 1))];
            float& echoed =
                stub->echo[static_cast<std::size_t>(out)][static_cast<std::size_t>(stub->frame % kEchoFrames)];
            const float y = gain * delayed + feedback * echoed;
            echoed = y;
            outputs[out][n] =
                stub->values[2] > 0.5f && stub->frame >= kPoisonFrame ? std::numeric_limits<float>::infinity() : y;
        }
    }
}

void VSTCALLBACK setParameter(AEffect* effect, VstInt32 index, float value) {
    if (index >= 0 && index < 3) {
        self(effect)->values[index] = value;
    }
}

float VSTCALLBACK getParameter(AEffect* effect, VstInt32 index) {
    return index >= 0 && index < 3 ? self(effect)->values[index] : 0.0f;
}

}  // namespace

STUB_EXPORT AEffect* VSTCALLBACK VSTPluginMain(audioMasterCallback) {
    auto* stub = new Stub;
    AEffect& record = stub->record;
    record.magic = kEffectMagic;
    record.dispatcher = dispatch;
    record.setParameter = setParameter;
    record.getParameter = getParameter;
    record.processReplacing = processReplacing;
    record.numInputs = kInputs;
    record.numOutputs = kOutputs;
    record.numParams = 3;
    record.numPrograms = 2;
    record.flags = effFlagsCanReplacing;
    record.object = stub;
    record.uniqueID = fourCharCode('S', 't', 'b', 'E');
    return &record;
}
