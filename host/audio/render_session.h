// One render from start to finish through a chain of instances that the
// caller has opened at the plan's sample rate and block size: each one's
// setup applied (program, preset, parameter values), switched on, the input
// streamed through them in series block by block (each plug-in's process
// calls scheduled by a BlockSchedule of its own, with its own automation,
// MIDI and clock), the tail rendered, the instances switched off. Memory
// does not grow with the length of the input.
//
// Threads: the plug-ins are called from the caller's thread only, in order.
// The sources are read on a reader thread a few chunks ahead, and the sink
// is called on a writer thread a few chunks behind, so that on a machine
// with cores to spare the files cost the caller little more than the
// plug-ins do. Both threads have ended when render() returns or throws.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "aeffect.h"
#include "audio/audio_source.h"
#include "audio/midi_sequence.h"
#include "audio/output_stage.h"
#include "audio/render_plan.h"
#include "audio/statistics.h"

class PluginInstance;

// Without --tail, the plug-ins' own tail-size answers decide, never more
// than this, and the render ends once the tail has been quiet for
// kQuietTailSeconds.
inline constexpr double kLongestAutomaticTailSeconds = 10.0;
inline constexpr double kQuietTailSeconds = 1.0;
// An automatic tail stopped at its limit while its last kTailEndSeconds
// still peaked above this (-90 dBFS) was cut while audible.
inline constexpr double kAudibleTailLevel = 3.1622776601683795e-05;
inline constexpr double kTailEndSeconds = 0.02;

// What one render reads, opened for the run.
struct RenderStreams {
    AudioSource* main = nullptr;         // required, at the plan's rate; silence of the MIDI's length for an instrument
    AudioSource* sidechain = nullptr;    // at the plan's rate
    const MidiSequence* midi = nullptr;  // null or empty: no MIDI
};

// One plug-in of the chain as it played.
struct PluginReport {
    std::optional<int> program;  // its current program once set up; none without programs
    std::string programName;     // empty when it has no programs
    VstInt32 latency = 0;        // what it reported once switched on (and after its first block)
};

struct RenderReport {
    std::vector<PluginReport> plugins;  // in signal order
    SignalStats in;                     // the main input as read, at the plug-ins' rate
    SignalStats out;                    // the output as written
    std::size_t inputFrames = 0;        // at the plug-ins' rate
    std::size_t outputFrames = 0;       // at the output's rate
    std::size_t processedFrames = 0;    // frames the plug-ins processed, the latency and the tail included
    VstInt32 latency = 0;               // the chain's: the sum of the plug-ins'
    std::size_t latencySkipped = 0;     // frames of it dropped from the start of the output
    std::size_t tailFrames = 0;         // output frames after the input's length, at the plug-ins' rate
    std::size_t tailLimitFrames = 0;
    bool tailEndedQuiet = false;  // an automatic tail stopped early, having gone quiet
    // The peak of the last kTailEndSeconds of an automatic tail that was
    // stopped at its limit above kAudibleTailLevel.
    std::optional<double> tailCutAt;
    double processSeconds = 0.0;  // inside the plug-ins' process calls
    double totalSeconds = 0.0;    // the whole streaming loop: reading, processing, writing
    double sampleRate = 0.0;      // the plug-ins'
    double outputRate = 0.0;

    // Audio length over time spent in the plug-ins; 0 when nothing was timed.
    double speed() const;
    // Audio length over the whole loop's time.
    double overallSpeed() const;
};

// `chain` holds one opened instance per plan.plugins entry, none switched
// on. The streams' sources are the reader thread's, and the sink the writer
// thread's, until render() returns: the sink is called in order, never
// twice at once, with plan.channels.outputs channels at plan.outputRate.
// Throws whatever reading or the sink threw (FileError, ...).
RenderReport render(const std::vector<PluginInstance*>& chain, const RenderPlan& plan, const RenderStreams& streams,
                    const OutputSink& sink);

// The tail a chain asks for: the sum of its plug-ins' tail-size answers in
// frames, where 0 means "not known" (the longest then) and 1 "none", capped
// at kLongestAutomaticTailSeconds.
std::size_t automaticTailFrames(const std::vector<VstIntPtr>& tailSizeAnswers, double sampleRate);

// Inputs that last longer than this get a progress bar on a terminal.
inline constexpr double kProgressBarSeconds = 20.0;
