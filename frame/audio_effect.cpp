#include "audio_effect.h"

#include <cstdint>
#include <cstring>

#include "opcodes.h"
#include "record_entries.h"

AudioEffect::AudioEffect(audioMasterCallback audioMaster, VstInt32 numPrograms, VstInt32 numParams)
    : audioMaster(audioMaster),
      editor(nullptr),
      sampleRate(44100.0f),
      blockSize(1024),
      numPrograms(numPrograms),
      numParams(numParams),
      curProgram(0) {
    std::memset(&cEffect, 0, sizeof(cEffect));
    cEffect.magic = kEffectMagic;
    cEffect.dispatcher = record_entries::dispatchEntry;
    cEffect.process = record_entries::processEntry;
    cEffect.setParameter = record_entries::setParameterEntry;
    cEffect.getParameter = record_entries::getParameterEntry;
    cEffect.numPrograms = numPrograms;
    cEffect.numParams = numParams;
    cEffect.numInputs = 1;
    cEffect.numOutputs = 2;
    cEffect.ioRatio = 1.0f;
    cEffect.object = this;
    cEffect.uniqueID = kDefaultUniqueId;
    cEffect.version = 1;
    cEffect.processReplacing = record_entries::processReplacingEntry;
    // Non-virtual on purpose: a derived override must not run on a half-built object.
    AudioEffect::canProcessReplacing(true);
    cEffect.processDoubleReplacing = record_entries::processDoubleReplacingEntry;
}

AudioEffect::~AudioEffect() {
    delete editor;
}

void AudioEffect::setEditor(EffectEditor* newEditor) {
    editor = newEditor;
    setFlag(effFlagsHasEditor, newEditor != nullptr);
}

// any thread the host sends opcodes from
VstIntPtr AudioEffect::dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
    VstIntPtr result = 0;
    // Compared unsigned so that negative opcodes fall out with the unknown ones.
    if (static_cast<std::uint32_t>(opcode) > static_cast<std::uint32_t>(effSetChunk)) {
        return result;
    }
    switch (opcode) {
        case effOpen:
            open();
            break;
        case effClose:
            close();
            break;
        case effSetProgram:
            // A 64-bit value outside the 32-bit range would be cut to some
            // unrelated program number; only numbers that fit are passed on.
            if (value < numPrograms && value >= INT32_MIN) {
                setProgram(static_cast<VstInt32>(value));
            }
            break;
        case effGetProgram:
            result = getProgram();
            break;
        case effSetProgramName:
            setProgramName(static_cast<char*>(ptr));
            break;
        case effGetProgramName:
            getProgramName(static_cast<char*>(ptr));
            break;
        case effGetParamLabel:
            getParameterLabel(index, static_cast<char*>(ptr));
            break;
        case effGetParamDisplay:
            getParameterDisplay(index, static_cast<char*>(ptr));
            break;
        case effGetParamName:
            getParameterName(index, static_cast<char*>(ptr));
            break;
        case effSetSampleRate:
            setSampleRate(opt);
            break;
        case effSetBlockSize:
            setBlockSize(static_cast<VstInt32>(value));
            break;
        case effMainsChanged:
            if (value == 0) {
                suspend();
            } else {
                resume();
            }
            break;
        case effEditGetRect:
            if (editor != nullptr) {
                result = editor->getRect(ptr) ? 1 : 0;
            }
            break;
        case effEditOpen:
            if (editor != nullptr) {
                result = editor->open(ptr) ? 1 : 0;
            }
            break;
        case effEditClose:
            if (editor != nullptr) {
                editor->close();
            }
            break;
        case effEditIdle:
            if (editor != nullptr) {
                editor->idle();
            }
            break;
        case effIdentify:
            result = kIdentifyAnswer;
            break;
        case effGetChunk:
            result = getChunk(static_cast<void**>(ptr), index != 0);
            break;
        case effSetChunk:
            result = setChunk(ptr, static_cast<VstInt32>(value), index != 0);
            break;
        default:  // effGetVu, effEditDraw, effEditMouse, effEditKey, effEditTop, effEditSleep
            break;
    }
    return result;
}

void AudioEffect::setParameterAutomated(VstInt32 index, float value) {
    setParameter(index, value);
    if (audioMaster != nullptr) {
        audioMaster(&cEffect, audioMasterAutomate, index, 0, nullptr, value);
    }
}

VstInt32 AudioEffect::getMasterVersion() {
    VstInt32 version = 1;
    if (audioMaster != nullptr) {
        version = static_cast<VstInt32>(audioMaster(&cEffect, audioMasterVersion, 0, 0, nullptr, 0.0f));
        if (version == 0) {
            version = 1;
        }
    }
    return version;
}

VstInt32 AudioEffect::getCurrentUniqueId() {
    if (audioMaster == nullptr) {
        return 0;
    }
    return static_cast<VstInt32>(audioMaster(&cEffect, audioMasterCurrentId, 0, 0, nullptr, 0.0f));
}

void AudioEffect::masterIdle() {
    if (audioMaster != nullptr) {
        audioMaster(&cEffect, audioMasterIdle, 0, 0, nullptr, 0.0f);
    }
}

bool AudioEffect::isInputConnected(VstInt32 input) {
    if (audioMaster == nullptr) {
        return true;
    }
    return audioMaster(&cEffect, audioMasterPinConnected, input, 0, nullptr, 0.0f) == 0;
}

bool AudioEffect::isOutputConnected(VstInt32 output) {
    if (audioMaster == nullptr) {
        return true;
    }
    return audioMaster(&cEffect, audioMasterPinConnected, output, 1, nullptr, 0.0f) == 0;
}
