// The static functions the record's six pointers lead to. Each takes the
// instance from the record's `object` field and calls the matching virtual
// operation; nothing is checked.
#pragma once

#include "aeffect.h"

namespace record_entries {

VstIntPtr VSTCALLBACK dispatchEntry(AEffect* e, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt);
void VSTCALLBACK processEntry(AEffect* e, float** inputs, float** outputs, VstInt32 sampleFrames);
void VSTCALLBACK processReplacingEntry(AEffect* e, float** inputs, float** outputs, VstInt32 sampleFrames);
void VSTCALLBACK processDoubleReplacingEntry(AEffect* e, double** inputs, double** outputs, VstInt32 sampleFrames);
void VSTCALLBACK setParameterEntry(AEffect* e, VstInt32 index, float value);
float VSTCALLBACK getParameterEntry(AEffect* e, VstInt32 index);

}  // namespace record_entries
