// What a check feeds a plug-in: audio for its inputs and, for instruments
// and effects that take events, MIDI notes at fixed frames of the whole run,
// so that every block size gets the same notes at the same moments. Output
// compared between runs is only meaningful when it sounds, and an
// instrument sounds only when played.
#pragma once

#include <cstddef>
#include <vector>

#include "audio/audio_buffer.h"
#include "plugin/midi_events.h"

class PluginInstance;

// A MIDI message at a frame counted from the start of the run.
struct TimedMessage {
    std::size_t frame = 0;
    unsigned char bytes[3] = {0, 0, 0};
};

struct Stimulus {
    AudioBuffer audio;
    std::vector<TimedMessage> midi;  // in frame order
    // Silence before the signal and the notes, in which parameter glides
    // that depend on the block size settle.
    std::size_t preRollFrames = 0;

    Stimulus() = default;
    // Audio alone; implicit, as any audio is a stimulus.
    Stimulus(AudioBuffer input) : audio(std::move(input)) {}
};

bool isInstrument(PluginInstance& instance);
// An instrument, or an effect that says it receives events.
bool takesEvents(PluginInstance& instance);

// `preRollSeconds` of silence, then `seconds` of the test signal, or of
// silence for an instrument; with notes played through the signal for a
// plug-in that takes events.
Stimulus checkStimulus(PluginInstance& instance, double rate, double seconds, double preRollSeconds = 0.0);

// The messages of `midi` that fall into the block of `count` frames from
// `offset`, into `batch` with frames counted from the block's start.
void collectBlockEvents(const std::vector<TimedMessage>& midi, std::size_t offset, std::size_t count,
                        MidiEventBatch& batch);
