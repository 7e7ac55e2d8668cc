#include "plugin/plugin_call.h"

#include <atomic>
#include <cstdio>
#include <iterator>

namespace plugin_call {

namespace {

// Indexed by opcode.
constexpr const char* kOpcodeNames[] = {
    "effOpen",
    "effClose",
    "effSetProgram",
    "effGetProgram",
    "effSetProgramName",
    "effGetProgramName",
    "effGetParamLabel",
    "effGetParamDisplay",
    "effGetParamName",
    "effGetVu",
    "effSetSampleRate",
    "effSetBlockSize",
    "effMainsChanged",
    "effEditGetRect",
    "effEditOpen",
    "effEditClose",
    "effEditDraw",
    "effEditMouse",
    "effEditKey",
    "effEditIdle",
    "effEditTop",
    "effEditSleep",
    "effIdentify",
    "effGetChunk",
    "effSetChunk",
    "effProcessEvents",
    "effCanBeAutomated",
    "effString2Parameter",
    "effGetNumProgramCategories",
    "effGetProgramNameIndexed",
    "effCopyProgram",
    "effConnectInput",
    "effConnectOutput",
    "effGetInputProperties",
    "effGetOutputProperties",
    "effGetPlugCategory",
    "effGetCurrentPosition",
    "effGetDestinationBuffer",
    "effOfflineNotify",
    "effOfflinePrepare",
    "effOfflineRun",
    "effProcessVarIo",
    "effSetSpeakerArrangement",
    "effSetBlockSizeAndSampleRate",
    "effSetBypass",
    "effGetEffectName",
    "effGetErrorText",
    "effGetVendorString",
    "effGetProductString",
    "effGetVendorVersion",
    "effVendorSpecific",
    "effCanDo",
    "effGetTailSize",
    "effIdle",
    "effGetIcon",
    "effSetViewPosition",
    "effGetParameterProperties",
    "effKeysRequired",
    "effGetVstVersion",
    "effEditKeyDown",
    "effEditKeyUp",
    "effSetEditKnobMode",
    "effGetMidiProgramName",
    "effGetCurrentMidiProgram",
    "effGetMidiProgramCategory",
    "effHasMidiProgramsChanged",
    "effGetMidiKeyName",
    "effBeginSetProgram",
    "effEndSetProgram",
    "effGetSpeakerArrangement",
    "effShellGetNextPlugin",
    "effStartProcess",
    "effStopProcess",
    "effSetTotalSampleToProcess",
    "effSetPanLaw",
    "effBeginLoadBank",
    "effBeginLoadProgram",
    "effSetProcessPrecision",
    "effGetNumMidiInputChannels",
    "effGetNumMidiOutputChannels",
};
static_assert(std::size(kOpcodeNames) == 80, "one name for each opcode from 0 to 79");

std::atomic<const char*> running{nullptr};

}  // namespace

Scope::Scope(const char* name) : previous_(running.exchange(name, std::memory_order_relaxed)) {}

Scope::~Scope() {
    running.store(previous_, std::memory_order_relaxed);
}

const char* opcodeName(VstInt32 opcode) {
    if (opcode >= 0 && opcode < static_cast<VstInt32>(std::size(kOpcodeNames))) {
        return kOpcodeNames[opcode];
    }
    thread_local char text[40];
    std::snprintf(text, sizeof text, "dispatcher opcode %d", static_cast<int>(opcode));
    return text;
}

const char* current() {
    return running.load(std::memory_order_relaxed);
}

}  // namespace plugin_call
