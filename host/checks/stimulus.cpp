#include "checks/stimulus.h"

#include <algorithm>
#include <cmath>

#include "checks/check_support.h"
#include "opcodes.h"
#include "plugin/plugin_instance.h"

namespace {

struct ScheduledNote {
    double seconds;  // from the end of the pre-roll
    unsigned char status;
    unsigned char key;
    unsigned char velocity;
};

// A chord built note by note, released together, then single notes high and
// low: enough for voices to start, overlap and end within a second.
constexpr ScheduledNote kPhrase[] = {
    {0.00, 0x90, 60, 100}, {0.05, 0x90, 64, 90},  {0.10, 0x90, 67, 80}, {0.40, 0x80, 60, 0},  {0.40, 0x80, 64, 0},
    {0.40, 0x80, 67, 0},   {0.45, 0x90, 72, 110}, {0.70, 0x80, 72, 0},  {0.75, 0x90, 48, 70}, {0.95, 0x80, 48, 0},
};

bool says(PluginInstance& instance, const char* capability) {
    return instance.dispatch(effCanDo, 0, 0, const_cast<char*>(capability)) > 0;
}

}  // namespace

bool isInstrument(PluginInstance& instance) {
    return (instance.effect()->flags & effFlagsIsSynth) != 0 ||
           instance.dispatch(effGetPlugCategory) == kPlugCategSynth;
}

bool takesEvents(PluginInstance& instance) {
    return isInstrument(instance) || says(instance, "receiveVstEvents") || says(instance, "receiveVstMidiEvent");
}

Stimulus checkStimulus(PluginInstance& instance, double rate, double seconds, double preRollSeconds) {
    const bool instrument = isInstrument(instance);
    const bool events = instrument || takesEvents(instance);
    const AudioBuffer signal = checkSignal(rate, seconds);
    Stimulus stimulus;
    stimulus.preRollFrames = static_cast<std::size_t>(std::lround(preRollSeconds * rate));
    stimulus.audio = AudioBuffer(signal.channelCount(), stimulus.preRollFrames + signal.frameCount(), rate);
    if (!instrument) {
        for (std::size_t channel = 0; channel < signal.channels.size(); ++channel) {
            std::copy(signal.channels[channel].begin(), signal.channels[channel].end(),
                      stimulus.audio.channels[channel].begin() + static_cast<std::ptrdiff_t>(stimulus.preRollFrames));
        }
    }
    if (events) {
        for (const ScheduledNote& note : kPhrase) {
            const auto frame = static_cast<std::size_t>(std::lround(note.seconds * rate));
            if (frame < signal.frameCount()) {
                stimulus.midi.push_back({stimulus.preRollFrames + frame, {note.status, note.key, note.velocity}});
            }
        }
    }
    return stimulus;
}

void collectBlockEvents(const std::vector<TimedMessage>& midi, std::size_t offset, std::size_t count,
                        MidiEventBatch& batch) {
    batch.clear();
    if (count == 0) {
        return;
    }
    const auto first = std::lower_bound(midi.begin(), midi.end(), offset,
                                        [](const TimedMessage& message, std::size_t at) { return message.frame < at; });
    for (auto message = first; message != midi.end() && message->frame < offset + count; ++message) {
        MidiMessage event;
        event.frame = static_cast<std::uint32_t>(message->frame - offset);
        std::copy(std::begin(message->bytes), std::end(message->bytes), std::begin(event.bytes));
        batch.add(event);
    }
}
