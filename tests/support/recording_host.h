// A host callback for tests: records every call an effect makes into the
// host and answers from a table the test fills in.
#pragma once

#include <map>
#include <vector>

#include "aeffect.h"

struct HostCall {
    AEffect* effect;
    VstInt32 opcode;
    VstInt32 index;
    VstIntPtr value;
    void* ptr;
    float opt;
};

class RecordingHost {
public:
    RecordingHost();
    ~RecordingHost();
    RecordingHost(const RecordingHost&) = delete;
    RecordingHost& operator=(const RecordingHost&) = delete;

    // The callback to hand to an effect. Only one RecordingHost may be alive
    // at a time in a process (the callback has no user argument to find it).
    static VstIntPtr VSTCALLBACK callback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                                          void* ptr, float opt);

    // What the host answers for an opcode; unlisted opcodes answer 0,
    // except audioMasterVersion, which answers 2400.
    void answer(VstInt32 opcode, VstIntPtr result) { answers[opcode] = result; }
    std::vector<HostCall> calls;
    std::map<VstInt32, VstIntPtr> answers;

private:
    static RecordingHost* current;
};
