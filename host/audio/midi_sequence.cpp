#include "audio/midi_sequence.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>

#include "support/host_error.h"
#include "support/text_format.h"

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
constexpr int kChannels = 16;
constexpr int kKeys = 128;

void finish(MidiSequence& sequence) {
    std::stable_sort(sequence.events.begin(), sequence.events.end(),
                     [](const TimedMidi& a, const TimedMidi& b) { return a.frame < b.frame; });
    const std::size_t afterLast = sequence.events.empty() ? 0 : sequence.events.back().frame + 1;
    sequence.endFrame = std::max(sequence.endFrame, afterLast);
}

// Ticks to seconds along the file's tempo changes (metrical time), or at
// the SMPTE rate, which no tempo changes.
class TickClock {
public:
    TickClock(const MidiFile& file, double bpm) : file_(file), microsecondsPerQuarter_(60e6 / bpm) {}

    double seconds(std::uint64_t tick) const {
        if (file_.ticksPerQuarter == 0) {
            return static_cast<double>(tick) / file_.ticksPerSecond;
        }
        return startSeconds_ +
               static_cast<double>(tick - startTick_) * microsecondsPerQuarter_ / 1e6 / file_.ticksPerQuarter;
    }
    void changeTempo(std::uint64_t tick, std::uint32_t microsecondsPerQuarter) {
        startSeconds_ = seconds(tick);
        startTick_ = tick;
        microsecondsPerQuarter_ = microsecondsPerQuarter;
    }

private:
    const MidiFile& file_;
    double microsecondsPerQuarter_;
    std::uint64_t startTick_ = 0;
    double startSeconds_ = 0.0;
};

// Notes switched on and not yet off, per channel and key.
class HeldNotes {
public:
    void play(const unsigned char* bytes, double seconds) {
        const unsigned char kind = bytes[0] & 0xF0;
        Held& held = held_[bytes[0] & 0x0F][bytes[1] & 0x7F];
        if (kind == kNoteOn && bytes[2] > 0) {
            held.since = held.count++ == 0 ? seconds : held.since;
        } else if ((kind == kNoteOff || kind == kNoteOn) && held.count > 0) {
            --held.count;
        }
    }
    // "2 notes are still held when NAME ends (the first: key 60 on channel 1, from 1.25 s)", or empty.
    std::string describe(const std::string& name) const {
        std::size_t count = 0;
        int channel = 0, key = 0;
        double since = 0.0;
        for (int c = 0; c < kChannels; ++c) {
            for (int k = 0; k < kKeys; ++k) {
                const Held& held = held_[c][k];
                if (held.count > 0 && (count == 0 || held.since < since)) {
                    channel = c, key = k, since = held.since;
                }
                count += static_cast<std::size_t>(held.count);
            }
        }
        if (count == 0) {
            return "";
        }
        return format(
            "%zu %s still held when %s ends (the first: key %d on channel %d, from %.2f s); they sound on "
            "into the tail",
            count, count == 1 ? "note is" : "notes are", name.c_str(), key, channel + 1, since);
    }

private:
    struct Held {
        int count = 0;
        double since = 0.0;  // seconds, when the first of them started
    };
    Held held_[kChannels][kKeys];
};

std::vector<unsigned char> fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) {
        throw FileError("cannot read MIDI file " + path + ": it does not exist or cannot be read");
    }
    const std::streamoff size = in.tellg();
    if (size < 0 || static_cast<std::uint64_t>(size) > kLargestMidiFileBytes) {
        throw FileError(
            format("cannot read MIDI file %s: it is larger than %zu MB, more than any MIDI file plughost "
                   "plays",
                   path.c_str(), kLargestMidiFileBytes >> 20));
    }
    std::vector<unsigned char> bytes(static_cast<std::size_t>(size));
    in.seekg(0);
    in.read(reinterpret_cast<char*>(bytes.data()), size);
    if (in.gcount() != size) {
        throw FileError("cannot read MIDI file " + path + ": reading it failed");
    }
    return bytes;
}

}  // namespace

MidiSequence sequenceFrom(const MidiFile& file, double sampleRate, const TempoSettings& settings,
                          const std::string& name) {
    MidiSequence sequence;
    sequence.tempoMap = settings.map();
    TickClock clock(file, settings.bpm.value_or(kDefaultTempo));
    HeldNotes held;
    const auto frameAt = [sampleRate](double seconds) {
        if (!(seconds <= kLongestMidiSeconds)) {
            throw MidiFileProblem(format("it plays on beyond %.0f hours", kLongestMidiSeconds / 3600.0));
        }
        return static_cast<std::size_t>(std::llround(std::max(0.0, seconds) * sampleRate));
    };
    for (const MidiFileEvent& event : file.events) {
        const double seconds = clock.seconds(event.tick);
        switch (event.kind) {
            case MidiFileEvent::Kind::Channel: {
                TimedMidi timed;
                timed.frame = frameAt(seconds);
                std::copy(event.bytes, event.bytes + event.length, timed.bytes);
                held.play(timed.bytes, seconds);
                sequence.events.push_back(timed);
                break;
            }
            case MidiFileEvent::Kind::Tempo: {
                const double bpm = 60e6 / event.microsecondsPerQuarter;
                if (event.tick == 0 && settings.bpm && *settings.bpm != bpm) {
                    sequence.warnings.push_back(
                        format("the tempo given (%g BPM) is overridden from the start by the "
                               "%g BPM of %s",
                               *settings.bpm, bpm, name.c_str()));
                }
                if (file.ticksPerQuarter > 0) {
                    clock.changeTempo(event.tick, event.microsecondsPerQuarter);
                }
                sequence.tempoMap.changeTempo(seconds, bpm);
                break;
            }
            case MidiFileEvent::Kind::TimeSignature:
                if (event.tick == 0 && settings.meter && !(*settings.meter == event.meter)) {
                    sequence.warnings.push_back("the time signature given (" + toText(*settings.meter) +
                                                ") is overridden from the start by the " + toText(event.meter) +
                                                " of " + name);
                }
                sequence.tempoMap.changeMeter(seconds, event.meter);
                break;
            case MidiFileEvent::Kind::SystemExclusive:
                ++sequence.skipped;
                break;
        }
    }
    sequence.endFrame = frameAt(clock.seconds(file.endTick));
    finish(sequence);
    if (sequence.skipped > 0) {
        sequence.warnings.push_back(
            format("%zu system exclusive messages in %s were not sent", sequence.skipped, name.c_str()));
    }
    const std::string stillHeld = held.describe(name);
    if (!stillHeld.empty()) {
        sequence.warnings.push_back(stillHeld);
    }
    return sequence;
}

MidiSequence readMidiFile(const std::string& path, double sampleRate, const TempoSettings& settings) {
    const std::vector<unsigned char> bytes = fileBytes(path);
    try {
        return sequenceFrom(parseMidiFile(bytes.data(), bytes.size()), sampleRate, settings, path);
    } catch (const MidiFileProblem& problem) {
        throw FileError("cannot read MIDI file " + path + ": " + problem.what());
    }
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
