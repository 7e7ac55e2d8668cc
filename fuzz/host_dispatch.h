// One dispatcher call the way a host makes it: the opcode decides what the
// pointer and value arguments are, and every pointer leads to a buffer of
// the size the interface fixes for that opcode (guarded behind), to a
// zero-terminated string, to a slot, or is null where a host may pass null.
// Random addresses are never passed: the effect uses host pointers unchecked
// by design.
//
// After the call the buffers are checked: nothing written into a guard, text
// answers terminated within their size, the buffers of rejected calls left
// as they were. A failed check ends the run through fuzzFailure.
#pragma once

#include "aeffect.h"
#include "fuzz_bytes.h"

enum class DispatchOutcome { kInstanceLives, kInstanceClosed };

// effect: a live instance's record. For effClose the instance is gone when
// this returns kInstanceClosed.
DispatchOutcome dispatchLikeAHost(AEffect* effect, VstInt32 opcode, FuzzBytes& in);
