// The process calls of a render. Each block of the stream is cut where
// automation must be sent again; the parameter values and MIDI events due
// in each part are sent just before it, then the part is processed. The one
// place that knows at which frame of the stream each process call starts.
#pragma once

#include <chrono>
#include <cstddef>
#include <vector>

#include "audio/automation.h"
#include "audio/midi_sequence.h"
#include "plugin/midi_events.h"

class PluginInstance;

class BlockSchedule {
public:
    // `automation` and `midi` (may be null) must outlive the schedule.
    BlockSchedule(PluginInstance& instance, const std::vector<ParameterRamp>& automation, const MidiSequence* midi);

    // Render thread: processes `frames` frames from the current position
    // on, reading the plug-in's inputs from `inputs` and writing its outputs
    // to `outputs` (one array per plug-in channel), then moves the position
    // on. Allocates nothing once the first call has sized its scratch.
    void process(float* const* inputs, float* const* outputs, std::size_t frames);

    // Frames of the stream processed so far: where the next call starts.
    std::size_t position() const { return position_; }
    // Time spent inside the plug-in's process calls.
    double secondsInPlugin() const { return std::chrono::duration<double>(busy_).count(); }

private:
    // The end of the part that starts at `start` (stream frames) within a
    // block that ends at `end`, after the automation due at `start` is sent.
    std::size_t sendAutomation(std::size_t start, std::size_t end);

    PluginInstance& instance_;
    const std::vector<ParameterRamp>& automation_;
    std::vector<float> sent_;  // the last value sent per ramp, -1 before the first
    MidiCursor midi_;
    MidiEventBatch events_;
    std::vector<float*> inputs_;
    std::vector<float*> outputs_;
    std::size_t position_ = 0;
    std::chrono::steady_clock::duration busy_{};
};
