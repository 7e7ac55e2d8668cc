// A Standard MIDI File read from its bytes and checked from end to end
// before any of it is used: every chunk lies within the file, every event
// within its track, every track ends with its End of Track event, and every
// status and data byte is one a MIDI file may hold. A file that is cut short
// or damaged is refused with what is wrong and at which byte, never read as
// something else.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "plugin/tempo_map.h"

struct MidiFileEvent {
    enum class Kind : unsigned char { Channel, Tempo, TimeSignature, SystemExclusive };
    std::uint64_t tick = 0;
    Kind kind = Kind::Channel;
    unsigned char bytes[3] = {0, 0, 0};        // Channel: status and data bytes
    unsigned char length = 0;                  // Channel: bytes used
    std::uint32_t microsecondsPerQuarter = 0;  // Tempo
    TimeSignature meter;                       // TimeSignature
};

struct MidiFile {
    int format = 0;  // 0: one track; 1: tracks played together
    int tracks = 0;
    int ticksPerQuarter = 0;      // metrical time; 0 in SMPTE time
    double ticksPerSecond = 0.0;  // SMPTE time; 0 in metrical time
    // Every track's events merged: ascending tick, track order at equal ticks.
    std::vector<MidiFileEvent> events;
    std::uint64_t endTick = 0;  // the latest End of Track
};

// What is wrong with the bytes, with the byte offset where it shows.
struct MidiFileProblem : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Throws MidiFileProblem for anything but a whole, well-formed Standard MIDI
// File of format 0 or 1.
MidiFile parseMidiFile(const unsigned char* bytes, std::size_t size);
