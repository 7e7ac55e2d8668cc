// The event records a host hands to a plug-in with effProcessEvents, laid
// out byte for byte as the interface defines them for 32- and 64-bit code,
// and a batch that holds one block's MIDI events in that form.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "aeffect.h"

inline constexpr VstInt32 kVstMidiType = 1;
inline constexpr VstInt32 kVstMidiEventIsRealtime = 1;

// Every event starts with this header; `byteSize` counts the bytes after
// the first two fields.
struct VstEvent {
    VstInt32 type;
    VstInt32 byteSize;
    VstInt32 deltaFrames;  // frames into the block the event belongs to
    VstInt32 flags;
    char data[16];
};

struct VstMidiEvent {
    VstInt32 type;  // kVstMidiType
    VstInt32 byteSize;
    VstInt32 deltaFrames;
    VstInt32 flags;
    VstInt32 noteLength;  // frames, 0 when unknown
    VstInt32 noteOffset;
    char midiData[4];  // status and up to two data bytes, then 0
    char detune;
    char noteOffVelocity;
    char reserved1;
    char reserved2;
};

// The list itself: a count, a reserved word, then as many event pointers as
// the count says (the interface declares two; the host allocates more).
struct VstEvents {
    VstInt32 numEvents;
    VstIntPtr reserved;
    VstEvent* events[2];
};

static_assert(sizeof(VstEvent) == 32 && sizeof(VstMidiEvent) == 32);
static_assert(offsetof(VstMidiEvent, deltaFrames) == 8 && offsetof(VstMidiEvent, noteLength) == 16 &&
              offsetof(VstMidiEvent, midiData) == 24 && offsetof(VstMidiEvent, detune) == 28);
#if INTPTR_MAX == INT32_MAX
static_assert(offsetof(VstEvents, reserved) == 4 && offsetof(VstEvents, events) == 8 && sizeof(VstEvents) == 16);
#else
static_assert(offsetof(VstEvents, reserved) == 8 && offsetof(VstEvents, events) == 16 && sizeof(VstEvents) == 32);
#endif
// The batch below relies on the pointers starting two words in.
static_assert(offsetof(VstEvents, events) == 2 * sizeof(VstIntPtr));

// One short MIDI message (status byte and its data bytes) at a frame.
struct MidiMessage {
    std::uint32_t frame = 0;  // frames from the start of the block
    unsigned char bytes[3] = {0, 0, 0};
};

// The events of one block in the interface's form. Storage grows only when a
// block holds more events than any before it, so a render that reserves
// enough up front allocates nothing per block.
class MidiEventBatch {
public:
    explicit MidiEventBatch(std::size_t capacity = 256);

    void clear();
    void add(const MidiMessage& message);
    std::size_t size() const { return events_.size(); }
    bool empty() const { return events_.empty(); }

    // The list to hand to effProcessEvents; valid until the next add or clear.
    VstEvents* list();

private:
    std::vector<VstMidiEvent> events_;
    std::vector<VstIntPtr> words_;  // count, reserved, then the pointers
};
