#include "record_entries.h"

#include "audio_effect.h"
#include "floating_point_guard.h"
#include "opcodes.h"

// No exception may reach the host: each entry swallows what an effect throws
// and answers as if the call had done nothing. Each one also runs the effect
// in the floating-point state its results are meant in
// (floating_point_guard.h).
namespace record_entries {
namespace {
AudioEffect* instanceOf(AEffect* e) {
    return static_cast<AudioEffect*>(e->object);
}
}  // namespace

// any thread the host sends opcodes from; effClose destroys the instance
VstIntPtr VSTCALLBACK dispatchEntry(AEffect* e, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                    float opt) {
    const FloatingPointGuard floatingPoint;
    AudioEffect* effect = instanceOf(e);
    if (opcode == effClose) {
        try {
            effect->dispatcher(opcode, index, value, ptr, opt);
        } catch (...) {
        }
        delete effect;
        return 1;
    }
    try {
        return effect->dispatcher(opcode, index, value, ptr, opt);
    } catch (...) {
        return 0;
    }
}

// audio thread: one virtual call, nothing copied or allocated, no per-sample cost
void VSTCALLBACK processEntry(AEffect* e, float** inputs, float** outputs, VstInt32 sampleFrames) {
    const FloatingPointGuard floatingPoint;
    try {
        instanceOf(e)->process(inputs, outputs, sampleFrames);
    } catch (...) {
    }
}

// audio thread: one virtual call, nothing copied or allocated, no per-sample cost
void VSTCALLBACK processReplacingEntry(AEffect* e, float** inputs, float** outputs, VstInt32 sampleFrames) {
    const FloatingPointGuard floatingPoint;
    try {
        instanceOf(e)->processReplacing(inputs, outputs, sampleFrames);
    } catch (...) {
    }
}

// audio thread: one virtual call, nothing copied or allocated, no per-sample cost
void VSTCALLBACK processDoubleReplacingEntry(AEffect* e, double** inputs, double** outputs, VstInt32 sampleFrames) {
    const FloatingPointGuard floatingPoint;
    try {
        instanceOf(e)->processDoubleReplacing(inputs, outputs, sampleFrames);
    } catch (...) {
    }
}

// any thread, the audio thread included: no allocation, no locks
void VSTCALLBACK setParameterEntry(AEffect* e, VstInt32 index, float value) {
    const FloatingPointGuard floatingPoint;
    try {
        instanceOf(e)->setParameter(index, value);
    } catch (...) {
    }
}

// any thread, the audio thread included: no allocation, no locks
float VSTCALLBACK getParameterEntry(AEffect* e, VstInt32 index) {
    const FloatingPointGuard floatingPoint;
    try {
        return instanceOf(e)->getParameter(index);
    } catch (...) {
        return 0.0f;
    }
}

}  // namespace record_entries
