// An effect that shows what the host's clock told it: before every block it
// asks for the time information with the filter of its parameter "Filter"
// (its value times 65535, by default every ...Valid bit) and writes the
// answer into its outputs for every frame of the block:
//   0 samplePos, 1 ppqPos, 2 tempo, 3 barStartPos,
//   4 timeSigNumerator * 1000 + timeSigDenominator, 5 flags,
//   6 samplesToNextClock, 7 sampleRate;
// all -1 when the host answers null. One input, which it ignores.
#include <cmath>
#include <cstring>

#include "aeffect.h"
#include "opcodes.h"
#include "structures.h"
#include "stub_export.h"

namespace {

constexpr int kOutputs = 8;
constexpr float kEveryValidBit = static_cast<float>(0xFF00) / 65535.0f;

struct Clock {
    AEffect record{};
    audioMasterCallback host = nullptr;
    float filter = kEveryValidBit;
};

Clock* self(AEffect* effect) {
    return static_cast<Clock*>(effect->object);
}

VstIntPtr VSTCALLBACK dispatch(AEffect* effect, VstInt32 opcode, VstInt32, VstIntPtr, void* ptr, float) {
    switch (opcode) {
        case effClose:
            delete self(effect);
            return 1;
        case effGetParamName:
            std::strcpy(static_cast<char*>(ptr), "Filter");
            return 1;
        case effCanDo:
            return std::strcmp(static_cast<const char*>(ptr), "receiveVstTimeInfo") == 0 ? 1 : 0;
        default:
            return 0;
    }
}

// audio thread: no allocation, no locks
void VSTCALLBACK processReplacing(AEffect* effect, float**, float** outputs, VstInt32 frames) {
    Clock* clock = self(effect);
    const auto filter = static_cast<VstIntPtr>(std::lround(clock->filter * 65535.0f));
    const auto* info =
        reinterpret_cast<const VstTimeInfo*>(clock->host(effect, audioMasterGetTime, 0, filter, nullptr, 0.0f));
    float values[kOutputs];
    if (info == nullptr) {
        for (float& value : values) {
            value = -1.0f;
        }
    } else {
        values[0] = static_cast<float>(info->samplePos);
        values[1] = static_cast<float>(info->ppqPos);
        values[2] = static_cast<float>(info->tempo);
        values[3] = static_cast<float>(info->barStartPos);
        values[4] = static_cast<float>(info->timeSigNumerator * 1000 + info->timeSigDenominator);
        values[5] = static_cast<float>(info->flags);
        values[6] = static_cast<float>(info->samplesToNextClock);
        values[7] = static_cast<float>(info->sampleRate);
    }
    for (int out = 0; out < kOutputs; ++out) {
        for (VstInt32 n = 0; n < frames; ++n) {
            outputs[out][n] = values[out];
        }
    }
}

void VSTCALLBACK setParameter(AEffect* effect, VstInt32 index, float value) {
    if (index == 0) {
        self(effect)->filter = value;
    }
}

float VSTCALLBACK getParameter(AEffect* effect, VstInt32 index) {
    return index == 0 ? self(effect)->filter : 0.0f;
}

}  // namespace

STUB_EXPORT AEffect* VSTCALLBACK VSTPluginMain(audioMasterCallback host) {
    auto* clock = new Clock;
    clock->host = host;
    AEffect& record = clock->record;
    record.magic = kEffectMagic;
    record.dispatcher = dispatch;
    record.setParameter = setParameter;
    record.getParameter = getParameter;
    record.processReplacing = processReplacing;
    record.numInputs = 1;
    record.numOutputs = kOutputs;
    record.numParams = 1;
    record.flags = effFlagsCanReplacing;
    record.object = clock;
    record.uniqueID = fourCharCode('S', 't', 'b', 'C');
    return &record;
}
