// What both test plug-in sources need from the plug-in side of the
// interface beyond the frame's headers: the export of the entry point and
// the parts of the event records they read.
#pragma once

#include <cstdint>

#include "aeffect.h"

#if defined(_WIN32)
#define CHECK_PLUGIN_EXPORT extern "C" __declspec(dllexport)
#else
#define CHECK_PLUGIN_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace check_plugin {

constexpr double kPi = 3.14159265358979323846;
// An address no process maps, for the variants that crash: unlike a null
// pointer's, a sanitizer build does not stop the store before it faults
// (and, read at run time, the compiler does not see it coming either).
inline volatile std::uintptr_t unmappedAddress = 64;

// The host owns these records; a plug-in reads them only during
// effProcessEvents and the process call after it.
constexpr VstInt32 kMidiEventType = 1;
struct EventHeader {
    VstInt32 type;
    VstInt32 byteSize;
    VstInt32 deltaFrames;
    VstInt32 flags;
    VstInt32 noteLength;
    VstInt32 noteOffset;
    unsigned char midiData[4];
};
struct EventList {
    VstInt32 numEvents;
    VstIntPtr reserved;
    EventHeader* events[2];  // numEvents of them, in truth
};

}  // namespace check_plugin
