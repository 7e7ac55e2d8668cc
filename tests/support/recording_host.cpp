#include "recording_host.h"

#include "opcodes.h"

RecordingHost* RecordingHost::current = nullptr;

RecordingHost::RecordingHost() {
    answers[audioMasterVersion] = kVstVersion;
    current = this;
}

RecordingHost::~RecordingHost() {
    if (current == this) {
        current = nullptr;
    }
}

VstIntPtr VSTCALLBACK RecordingHost::callback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                                              void* ptr, float opt) {
    if (current == nullptr) {
        return 0;
    }
    current->calls.push_back(HostCall{effect, opcode, index, value, ptr, opt});
    auto found = current->answers.find(opcode);
    return found == current->answers.end() ? 0 : found->second;
}
