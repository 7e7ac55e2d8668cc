// MIDI to play into an instrument: a Standard MIDI File (read and checked by
// midi_file.h), or a short built-in phrase, as channel messages at sample
// frames, with the tempo map that the host's clock follows.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "audio/midi_file.h"
#include "plugin/midi_events.h"
#include "plugin/tempo_map.h"

struct TimedMidi {
    std::size_t frame = 0;  // from the start of the render
    unsigned char bytes[3] = {0, 0, 0};
};

struct MidiSequence {
    std::vector<TimedMidi> events;  // in time order
    std::size_t endFrame = 0;       // just after the last event, or at the file's end if later
    std::size_t skipped = 0;        // system exclusive messages, which are not sent
    TempoMap tempoMap;              // what the events' times follow, and the clock with them
    std::vector<std::string> warnings;
};

// A MIDI file never plays longer than this.
inline constexpr double kLongestMidiSeconds = 24.0 * 3600.0;
// Larger files are refused unread.
inline constexpr std::size_t kLargestMidiFileBytes = 64u << 20;

// Channel messages of every track, at the frames their times fall on. The
// tempo and time signature of `settings` hold until the file's own tempo and
// time signature events change them, for the events' times and for the
// tempo map alike. Throws FileError when the file cannot be read or is no
// whole, well-formed Standard MIDI File, saying what is wrong.
MidiSequence readMidiFile(const std::string& path, double sampleRate, const TempoSettings& settings = {});

// The same from a parsed file; `name` stands for it in warnings. Throws
// MidiFileProblem for events beyond kLongestMidiSeconds.
MidiSequence sequenceFrom(const MidiFile& file, double sampleRate, const TempoSettings& settings,
                          const std::string& name);

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
