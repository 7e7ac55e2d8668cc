#include "audio_effect_x.h"

#include "opcodes.h"

namespace {
// Truncation toward zero; a value no 32-bit integer can hold (NaN included)
// gives 0 instead of undefined behaviour.
VstInt32 truncateToInt32(float value) {
    if (!(value > -2147483648.0f && value < 2147483648.0f)) {
        return 0;
    }
    return static_cast<VstInt32>(value);
}
}  // namespace

AudioEffectX::AudioEffectX(audioMasterCallback audioMaster, VstInt32 numPrograms, VstInt32 numParams)
    : AudioEffect(audioMaster, numPrograms, numParams) {}

AudioEffectX::~AudioEffectX() = default;

// any thread the host sends opcodes from
VstIntPtr AudioEffectX::dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
    auto text = static_cast<char*>(ptr);
    auto value32 = static_cast<VstInt32>(value);
    switch (opcode) {
        case effProcessEvents:
            return processEvents(static_cast<VstEvents*>(ptr));
        case effCanBeAutomated:
            return canParameterBeAutomated(index) ? 1 : 0;
        case effString2Parameter:
            return string2parameter(index, text) ? 1 : 0;
        case effGetProgramNameIndexed:
            return getProgramNameIndexed(value32, index, text) ? 1 : 0;
        case effGetInputProperties:
            return getInputProperties(index, static_cast<VstPinProperties*>(ptr)) ? 1 : 0;
        case effGetOutputProperties:
            return getOutputProperties(index, static_cast<VstPinProperties*>(ptr)) ? 1 : 0;
        case effGetPlugCategory:
            return getPlugCategory();
        case effOfflineNotify:
            return offlineNotify(static_cast<VstAudioFile*>(ptr), value32, index != 0) ? 1 : 0;
        case effOfflinePrepare:
            return offlinePrepare(static_cast<VstOfflineTask*>(ptr), value32) ? 1 : 0;
        case effOfflineRun:
            return offlineRun(static_cast<VstOfflineTask*>(ptr), value32) ? 1 : 0;
        case effProcessVarIo:
            return processVariableIo(static_cast<VstVariableIo*>(ptr)) ? 1 : 0;
        case effSetSpeakerArrangement:
            return setSpeakerArrangement(reinterpret_cast<VstSpeakerArrangement*>(value),
                                         static_cast<VstSpeakerArrangement*>(ptr))
                       ? 1
                       : 0;
        case effSetBypass:
            return setBypass(value != 0) ? 1 : 0;
        case effGetEffectName:
            return getEffectName(text) ? 1 : 0;
        case effGetVendorString:
            return getVendorString(text) ? 1 : 0;
        case effGetProductString:
            return getProductString(text) ? 1 : 0;
        case effGetVendorVersion:
            return getVendorVersion();
        case effVendorSpecific:
            return vendorSpecific(index, value, ptr, opt);
        case effCanDo:
            return canDo(text);
        case effGetTailSize:
            return getGetTailSize();
        case effGetParameterProperties:
            return getParameterProperties(index, static_cast<VstParameterProperties*>(ptr)) ? 1 : 0;
        case effGetVstVersion:
            return getVstVersion();
        case effEditKeyDown:
        case effEditKeyUp: {
            if (editor == nullptr) {
                return 0;
            }
            VstKeyCode keyCode{};
            keyCode.character = index;
            keyCode.virt = static_cast<unsigned char>(value & 0xFF);
            keyCode.modifier = static_cast<unsigned char>(truncateToInt32(opt) & 0xFF);
            const bool handled = opcode == effEditKeyDown ? editor->onKeyDown(keyCode) : editor->onKeyUp(keyCode);
            return handled ? 1 : 0;
        }
        case effSetEditKnobMode:
            if (editor == nullptr) {
                return 0;
            }
            return editor->setKnobMode(value32) ? 1 : 0;
        case effGetMidiProgramName:
            return getMidiProgramName(index, static_cast<MidiProgramName*>(ptr));
        case effGetCurrentMidiProgram:
            return getCurrentMidiProgram(index, static_cast<MidiProgramName*>(ptr));
        case effGetMidiProgramCategory:
            return getMidiProgramCategory(index, static_cast<MidiProgramCategory*>(ptr));
        case effHasMidiProgramsChanged:
            return hasMidiProgramsChanged(index) ? 1 : 0;
        case effGetMidiKeyName:
            return getMidiKeyName(index, static_cast<MidiKeyName*>(ptr)) ? 1 : 0;
        case effBeginSetProgram:
            return beginSetProgram() ? 1 : 0;
        case effEndSetProgram:
            return endSetProgram() ? 1 : 0;
        case effGetSpeakerArrangement:
            return getSpeakerArrangement(reinterpret_cast<VstSpeakerArrangement**>(value),
                                         static_cast<VstSpeakerArrangement**>(ptr))
                       ? 1
                       : 0;
        case effShellGetNextPlugin:
            return getNextShellPlugin(text);
        case effStartProcess:
            return startProcess();
        case effStopProcess:
            return stopProcess();
        case effSetTotalSampleToProcess:
            return setTotalSampleToProcess(value32);
        case effSetPanLaw:
            return setPanLaw(value32, opt) ? 1 : 0;
        case effBeginLoadBank:
            return beginLoadBank(static_cast<VstPatchChunkInfo*>(ptr));
        case effBeginLoadProgram:
            return beginLoadProgram(static_cast<VstPatchChunkInfo*>(ptr));
        case effSetProcessPrecision:
            return setProcessPrecision(value32) ? 1 : 0;
        case effGetNumMidiInputChannels:
            return getNumMidiInputChannels();
        case effGetNumMidiOutputChannels:
            return getNumMidiOutputChannels();
        default:
            // Below 25, above 79 and the twelve unrouted opcodes of the range.
            return AudioEffect::dispatcher(opcode, index, value, ptr, opt);
    }
}

// thread of effMainsChanged; makes a host call only for effects that take MIDI
void AudioEffectX::resume() {
    char question[] = "receiveVstMidiEvent";
    if ((cEffect.flags & effFlagsIsSynth) != 0 || canDo(question) == 1) {
        wantEvents(1);
    }
}

VstInt32 AudioEffectX::getPlugCategory() {
    return (cEffect.flags & effFlagsIsSynth) != 0 ? kPlugCategSynth : kPlugCategUnknown;
}

bool AudioEffectX::getSpeakerArrangement(VstSpeakerArrangement** pluginInput, VstSpeakerArrangement** pluginOutput) {
    if (pluginInput != nullptr) {
        *pluginInput = nullptr;
    }
    if (pluginOutput != nullptr) {
        *pluginOutput = nullptr;
    }
    return false;
}
