// Any bytes as a Standard MIDI File, through the reader that `plughost
// render --midi` uses. The reader either refuses them with a MidiFileProblem
// or gives a file whose events, times and tempo map hold together; it never
// reads outside the bytes (AddressSanitizer) and never misbehaves
// (UndefinedBehaviorSanitizer). What it accepts is also played through a
// MidiCursor in blocks, as a render hands the events out.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "audio/midi_file.h"
#include "audio/midi_sequence.h"
#include "plugin/midi_events.h"

namespace {

constexpr double kRate = 44100.0;
constexpr std::size_t kBlock = 4096;

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "midi_file_fuzzer: %s\n", what);
    std::abort();
}

void expect(bool holds, const char* what) {
    if (!holds) {
        fail(what);
    }
}

void checkFile(const MidiFile& file) {
    expect(file.format == 0 || file.format == 1, "a format other than 0 or 1 was accepted");
    expect((file.ticksPerQuarter > 0) != (file.ticksPerSecond > 0.0), "neither or both time divisions");
    std::uint64_t last = 0;
    for (const MidiFileEvent& event : file.events) {
        expect(event.tick >= last, "events out of time order");
        expect(event.tick <= file.endTick, "an event after the End of Track");
        last = event.tick;
        if (event.kind == MidiFileEvent::Kind::Channel) {
            expect(event.bytes[0] >= 0x80 && event.bytes[0] < 0xF0, "a channel message without a channel status");
            expect(event.length == 2 || event.length == 3, "a channel message of the wrong length");
            for (int i = 1; i < event.length; ++i) {
                expect(event.bytes[i] < 0x80, "a data byte of 0x80 or more");
            }
        }
        if (event.kind == MidiFileEvent::Kind::Tempo) {
            expect(event.microsecondsPerQuarter > 0 && event.microsecondsPerQuarter < (1u << 24), "a bad tempo");
        }
        if (event.kind == MidiFileEvent::Kind::TimeSignature) {
            expect(event.meter.numerator > 0 && event.meter.denominator > 0 && event.meter.denominator <= 128,
                   "a bad time signature");
        }
    }
}

void checkSequence(const MidiSequence& sequence) {
    std::size_t last = 0;
    for (const TimedMidi& event : sequence.events) {
        expect(event.frame >= last, "frames out of order");
        expect(event.frame < sequence.endFrame, "an event at or after the end");
        last = event.frame;
    }
    expect(static_cast<double>(sequence.endFrame) <= kLongestMidiSeconds * kRate + 1.0, "longer than the limit");
    for (double seconds : {0.0, 0.5, 3.0, static_cast<double>(sequence.endFrame) / kRate}) {
        const TempoMap::Point point = sequence.tempoMap.at(seconds);
        expect(std::isfinite(point.quarters) && point.quarters >= 0.0, "a position off the tempo map");
        expect(point.barStartQuarters <= point.quarters + 1e-6, "a bar that starts after the position");
        expect(std::isfinite(sequence.tempoMap.secondsToNearestClock(seconds)), "no nearest MIDI clock");
    }
    // Every event handed out once, in its block, as a render does.
    MidiCursor cursor(&sequence);
    MidiEventBatch batch;
    std::size_t handed = 0;
    for (std::size_t first = 0; first < sequence.endFrame && handed < sequence.events.size(); first += kBlock) {
        batch.clear();
        cursor.collect(first, kBlock, batch);
        handed += batch.size();
        expect(batch.list()->numEvents == static_cast<VstInt32>(batch.size()), "a batch that miscounts");
    }
    expect(handed == sequence.events.size(), "events lost or doubled between blocks");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    MidiFile file;
    try {
        file = parseMidiFile(data, size);
    } catch (const MidiFileProblem&) {
        return 0;
    }
    checkFile(file);
    // A tempo and meter given, which the file's own may override.
    const TempoSettings settings{97.0, TimeSignature{5, 8}};
    try {
        checkSequence(sequenceFrom(file, kRate, settings, "fuzz.mid"));
    } catch (const MidiFileProblem&) {
        // Only a file that plays longer than the limit may be refused here.
    }
    return 0;
}
