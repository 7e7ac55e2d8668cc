#include "plugin/host_callback.h"

#include <cstring>
#include <iterator>

#include "opcodes.h"

namespace {

thread_local HostState* creatingState = nullptr;
thread_local bool insideProcess = false;

// Capabilities this host really has. Everything in the interface's own host
// vocabulary that is not listed here is answered "cannot" (-1); strings that
// the host does not know at all are answered "don't know" (0).
constexpr const char* kSupported[] = {"startStopProcess", "sendVstEvents", "sendVstMidiEvent", "sendVstTimeInfo"};
constexpr const char* kKnownUnsupported[] = {"receiveVstEvents",
                                             "receiveVstMidiEvent",
                                             "reportConnectionChanges",
                                             "acceptIOChanges",
                                             "sizeWindow",
                                             "offline",
                                             "openFileSelector",
                                             "closeFileSelector",
                                             "shellCategory",
                                             "sendVstMidiEventFlagIsRealtime",
                                             "editFile",
                                             "asyncProcessing"};

bool listed(const char* text, const char* const* first, const char* const* last) {
    for (; first != last; ++first) {
        if (std::strcmp(text, *first) == 0) {
            return true;
        }
    }
    return false;
}

VstIntPtr canDo(const char* text) {
    if (text == nullptr) {
        return 0;
    }
    if (listed(text, std::begin(kSupported), std::end(kSupported))) {
        return 1;
    }
    if (listed(text, std::begin(kKnownUnsupported), std::end(kKnownUnsupported))) {
        return -1;
    }
    return 0;
}

// The interface gives the host's text buffers 64 characters plus the
// terminator; our names are shorter, so a plain bounded copy suffices.
VstIntPtr copyName(void* ptr, const char* text) {
    if (ptr == nullptr) {
        return 0;
    }
    char* out = static_cast<char*>(ptr);
    std::size_t length = std::strlen(text);
    if (length > static_cast<std::size_t>(kVstMaxVendorStrLen)) {
        length = static_cast<std::size_t>(kVstMaxVendorStrLen);
    }
    std::memcpy(out, text, length);
    out[length] = '\0';
    return 1;
}

HostState* stateFor(AEffect* effect) {
    if (effect != nullptr && effect->user != nullptr && effect->magic == kEffectMagic) {
        return static_cast<HostState*>(effect->user);
    }
    return creatingState;
}

}  // namespace

HostState::Creating::Creating(HostState& state) : previous_(creatingState) {
    creatingState = &state;
}

HostState::Creating::~Creating() {
    creatingState = previous_;
}

void setInsideProcess(bool inside) {
    insideProcess = inside;
}

VstIntPtr VSTCALLBACK hostCallback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                   float opt) {
    (void)opt;
    HostState* state = stateFor(effect);
    switch (opcode) {
        case audioMasterVersion:
            if (state == nullptr) {
                return kVstVersion;
            }
            state->versionQueries.fetch_add(1);
            return state->versionAnswer.load();
        case audioMasterAutomate:
            if (state != nullptr) {
                state->automateCalls.fetch_add(1);
            }
            return 0;
        case audioMasterCurrentId:
            return 0;
        case audioMasterIdle:
            return 0;
        case audioMasterPinConnected: {
            // The interface answers 0 for a connected pin.
            if (state == nullptr) {
                return 0;
            }
            VstInt32 connected = value != 0 ? state->outputsConnected.load() : state->inputsConnected.load();
            return index >= 0 && index < connected ? 0 : 1;
        }
        case audioMasterGetTime:
            // Value carries the filter: the ...Valid bits the plug-in wants.
            return state != nullptr ? reinterpret_cast<VstIntPtr>(
                                          state->clock.answer(value, state->sampleRate.load(), insideProcess))
                                    : 0;
        case audioMasterGetSampleRate:
            return state != nullptr ? static_cast<VstIntPtr>(state->sampleRate.load()) : 0;
        case audioMasterGetBlockSize:
            return state != nullptr ? state->blockSize.load() : 0;
        case audioMasterWillReplaceOrAccumulate:
            return 1;  // replacing
        case audioMasterGetCurrentProcessLevel:
            if (!insideProcess) {
                return static_cast<VstIntPtr>(ProcessLevel::User);
            }
            return static_cast<VstIntPtr>(state != nullptr ? state->processingLevel.load() : ProcessLevel::Realtime);
        case audioMasterGetAutomationState:
            return 1;  // automation off
        case audioMasterGetVendorString:
            return copyName(ptr, kHostVendor);
        case audioMasterGetProductString:
            return copyName(ptr, kHostProduct);
        case audioMasterGetVendorVersion:
            return kHostVendorVersion;
        case audioMasterCanDo:
            return canDo(static_cast<const char*>(ptr));
        case audioMasterGetLanguage:
            return 1;  // English
        default:
            return 0;
    }
}
