// MIDI to play into an instrument: a Standard MIDI File read with libsmf,
// or a short built-in phrase, as channel messages at sample frames.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "plugin/midi_events.h"

struct TimedMidi {
    std::size_t frame = 0;  // from the start of the render
    unsigned char bytes[3] = {0, 0, 0};
};

struct MidiSequence {
    std::vector<TimedMidi> events;  // in time order
    std::size_t endFrame = 0;       // just after the last event
    std::size_t skipped = 0;        // system exclusive messages, which are not sent
};

// Channel messages of every track, at the frames their times fall on (tempo
// changes included). Meta events are read for timing only. Throws FileError
// when the file is not a Standard MIDI File.
MidiSequence readMidiFile(const std::string& path, double sampleRate);

// A few seconds of notes (an arpeggio and a chord) for an instrument that is
// rendered without a MIDI file.
MidiSequence builtInPhrase(double sampleRate);

// Hands out the events of one stretch of frames after another.
class MidiCursor {
public:
    explicit MidiCursor(const MidiSequence* sequence) : sequence_(sequence) {}
    // Adds the events in [first, first + frames) to `batch`, their offsets
    // counted from `first`.
    void collect(std::size_t first, std::size_t frames, MidiEventBatch& batch);

private:
    const MidiSequence* sequence_;
    std::size_t next_ = 0;
};
