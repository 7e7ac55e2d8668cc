// MIDI notes sent the way a sequencer sends them: to instruments, and to
// effects that say they receive events.
#include <cstring>
#include <string>

#include "checks/checks.h"
#include "opcodes.h"
#include "plugin/midi_events.h"
#include "support/text_format.h"

namespace {

struct ScheduledMessage {
    std::size_t block;
    std::uint32_t frame;
    unsigned char status;
    unsigned char data1;
    unsigned char data2;
};

// Chords and single notes at the edges of blocks, controllers, pitch bend,
// a note-on of velocity 0 as a note-off, a second channel, all notes off,
// and the extreme note numbers.
constexpr ScheduledMessage kSchedule[] = {
    {0, 0, 0x90, 60, 100}, {0, 100, 0x90, 64, 90},   {2, 511, 0x90, 67, 80}, {5, 0, 0xB0, 1, 64},
    {6, 7, 0xE0, 0, 80},   {10, 0, 0xB0, 64, 127},   {20, 3, 0x80, 60, 0},   {20, 3, 0x90, 64, 0},
    {25, 0, 0xB0, 64, 0},  {30, 256, 0x91, 69, 127}, {40, 0, 0xB0, 123, 0},  {41, 0, 0x90, 127, 127},
    {41, 1, 0x90, 0, 1},   {50, 0, 0x80, 127, 0},    {50, 0, 0x80, 0, 0},    {60, 0, 0xE0, 0, 64},
};
constexpr VstInt32 kBlock = 512;
constexpr double kSeconds = 1.5;

struct MessageName {
    unsigned char status;
    const char* name;
};
constexpr MessageName kMessageNames[] = {
    {0x80, "note off"}, {0x90, "note on"}, {0xB0, "controller"}, {0xE0, "pitch bend"}};

std::string describe(const ScheduledMessage& message) {
    const char* name = "message";
    for (const MessageName& entry : kMessageNames) {
        if (entry.status == (message.status & 0xF0)) {
            name = entry.name;
        }
    }
    return format("%s %d %d on channel %d at frame %u", name, message.data1, message.data2, (message.status & 0x0F) + 1,
                  message.frame);
}

CheckOutcome checkMidiEvents(CheckContext& context) {
    auto instance = context.playing(context.rate(), kBlock);
    const bool instrument = isInstrument(*instance);
    if (!takesEvents(*instance)) {
        return CheckOutcome::skip("neither an instrument nor an effect that receives events");
    }
    // An instrument plays into silence; an effect processes the test signal.
    AudioBuffer input = checkSignal(context.rate(), kSeconds);
    if (instrument) {
        input = AudioBuffer(input.channelCount(), input.frameCount(), input.sampleRate);
    }
    MidiEventBatch batch;
    const ProcessRun run = processAll(*instance, input, fixedBlocks(kBlock), [&](std::size_t block) {
        batch.clear();
        std::string sent;
        for (const ScheduledMessage& message : kSchedule) {
            if (message.block == block) {
                batch.add(MidiMessage{message.frame, {message.status, message.data1, message.data2}});
                sent += (sent.empty() ? "" : ", ") + describe(message);
            }
        }
        if (!batch.empty()) {
            context.step(format("block %zu of %d frames after effProcessEvents with %s", block, kBlock, sent.c_str()));
            instance->sendEvents(batch);
        }
    });
    Findings findings;
    expectClean(findings, run, "processing with MIDI events");
    if (findings.empty() && instrument && run.stats.peak == 0.0) {
        return CheckOutcome::notTested("the instrument made no sound from the notes it was sent");
    }
    const std::size_t messages = sizeof kSchedule / sizeof kSchedule[0];
    return findings.outcome(format("%zu MIDI messages to %s", messages, instrument ? "an instrument" : "an effect"));
}

// This group's rows; `order` places them among all checks.
constexpr CheckDefinition kRows[] = {
    {260, "midi", "MIDI notes to an instrument or an effect that receives events", checkMidiEvents, CheckRole::Ordinary,
     false, 1, 30},
};

}  // namespace

CheckGroup eventChecks() {
    return groupOf(kRows);
}
