#include "audio/midi_sequence.h"

#include <glib.h>
#include <smf.h>

#include <algorithm>
#include <cmath>
#include <fstream>

#include "support/host_error.h"

namespace {

struct PhraseNote {
    double start;  // seconds
    double length;
    unsigned char key;
    unsigned char velocity;
};

// An arpeggio up an A minor chord, then the chord held.
constexpr PhraseNote kPhrase[] = {
    {0.00, 0.30, 57, 100}, {0.35, 0.30, 60, 90}, {0.70, 0.30, 64, 90}, {1.05, 0.30, 69, 100}, {1.40, 0.30, 72, 90},
    {1.75, 0.45, 76, 100}, {2.30, 1.50, 45, 80}, {2.30, 1.50, 57, 80}, {2.30, 1.50, 60, 80},  {2.30, 1.50, 64, 80},
};
constexpr unsigned char kNoteOn = 0x90;
constexpr unsigned char kNoteOff = 0x80;

// Bytes in a channel message with this status byte.
int messageLength(unsigned char status) {
    const unsigned char kind = status & 0xF0;
    return kind == 0xC0 || kind == 0xD0 ? 2 : 3;
}

// libsmf reports problems through GLib's log; they are collected for the
// error message instead of being printed.
std::string smfMessages;

void collectMessage(const gchar*, GLogLevelFlags, const gchar* message, gpointer) {
    smfMessages += smfMessages.empty() ? "" : "; ";
    smfMessages += message;
}

void finish(MidiSequence& sequence) {
    std::stable_sort(sequence.events.begin(), sequence.events.end(),
                     [](const TimedMidi& a, const TimedMidi& b) { return a.frame < b.frame; });
    sequence.endFrame = sequence.events.empty() ? 0 : sequence.events.back().frame + 1;
}

}  // namespace

MidiSequence readMidiFile(const std::string& path, double sampleRate) {
    if (!std::ifstream(path, std::ios::binary).good()) {
        throw FileError("cannot read MIDI file " + path + ": it does not exist or cannot be read");
    }
    smfMessages.clear();
    const GLogFunc previous = g_log_set_default_handler(collectMessage, nullptr);
    smf_t* smf = smf_load(path.c_str());
    g_log_set_default_handler(previous, nullptr);
    if (smf == nullptr) {
        throw FileError("cannot read MIDI file " + path + ": not a Standard MIDI File" +
                        (smfMessages.empty() ? std::string() : " (" + smfMessages + ")"));
    }
    MidiSequence sequence;
    for (smf_event_t* event = smf_get_next_event(smf); event != nullptr; event = smf_get_next_event(smf)) {
        if (smf_event_is_sysex(event)) {
            ++sequence.skipped;
            continue;
        }
        const unsigned char status = event->midi_buffer_length > 0 ? event->midi_buffer[0] : 0;
        if (smf_event_is_metadata(event) || status < 0x80 || status >= 0xF0 ||
            event->midi_buffer_length < messageLength(status)) {
            continue;
        }
        TimedMidi timed;
        timed.frame = static_cast<std::size_t>(std::llround(std::max(0.0, event->time_seconds) * sampleRate));
        for (int i = 0; i < messageLength(status); ++i) {
            timed.bytes[i] = event->midi_buffer[i];
        }
        sequence.events.push_back(timed);
    }
    smf_delete(smf);
    finish(sequence);
    return sequence;
}

MidiSequence builtInPhrase(double sampleRate) {
    MidiSequence sequence;
    auto at = [sampleRate](double seconds) { return static_cast<std::size_t>(std::llround(seconds * sampleRate)); };
    for (const PhraseNote& note : kPhrase) {
        sequence.events.push_back({at(note.start), {kNoteOn, note.key, note.velocity}});
        sequence.events.push_back({at(note.start + note.length), {kNoteOff, note.key, 64}});
    }
    finish(sequence);
    return sequence;
}

void MidiCursor::collect(std::size_t first, std::size_t frames, MidiEventBatch& batch) {
    if (sequence_ == nullptr) {
        return;
    }
    const std::vector<TimedMidi>& events = sequence_->events;
    while (next_ < events.size() && events[next_].frame < first + frames) {
        const TimedMidi& event = events[next_++];
        MidiMessage message;
        message.frame = static_cast<std::uint32_t>(event.frame > first ? event.frame - first : 0);
        std::copy(event.bytes, event.bytes + 3, message.bytes);
        batch.add(message);
    }
}
