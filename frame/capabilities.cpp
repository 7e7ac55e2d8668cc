#include "capabilities.h"

namespace {
// Shared by both groups.
constexpr char kSendVstEvents[] = "sendVstEvents";
constexpr char kSendVstMidiEvent[] = "sendVstMidiEvent";
constexpr char kReceiveVstEvents[] = "receiveVstEvents";
constexpr char kReceiveVstMidiEvent[] = "receiveVstMidiEvent";
constexpr char kOffline[] = "offline";
}  // namespace

const char* const hostCapabilities[kHostCapabilityCount] = {
    kSendVstEvents,
    kSendVstMidiEvent,
    "sendVstTimeInfo",
    kReceiveVstEvents,
    kReceiveVstMidiEvent,
    "reportConnectionChanges",
    "acceptIOChanges",
    "sizeWindow",
    kOffline,
    "openFileSelector",
    "closeFileSelector",
    "startStopProcess",
    "shellCategory",
    "sendVstMidiEventFlagIsRealtime",
};

const char* const plugCapabilities[kPlugCapabilityCount] = {
    kSendVstEvents,       kSendVstMidiEvent, kReceiveVstEvents,  kReceiveVstMidiEvent,
    "receiveVstTimeInfo", kOffline,          "midiProgramNames", "bypass",
};
