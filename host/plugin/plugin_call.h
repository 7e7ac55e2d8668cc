// Which call into the plug-in is running, for the words a host prints when
// the process dies inside it. Any thread may enter a call; the last one
// entered is the one named.
#pragma once

#include "aeffect.h"

namespace plugin_call {

// Marks a call into the plug-in for its lifetime. Costs one store each way.
class Scope {
public:
    explicit Scope(const char* name);
    ~Scope();
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;

private:
    const char* previous_;
};

// "effMainsChanged", or "dispatcher opcode 123" (in a buffer of the caller's
// thread's own) for a number without a name.
const char* opcodeName(VstInt32 opcode);

// The call running now, or null outside the plug-in. Safe in a signal
// handler.
const char* current();

}  // namespace plugin_call
