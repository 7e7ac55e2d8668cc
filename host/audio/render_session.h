// One render from start to finish through an instance that the caller has
// opened with the sample rate and block size: program and parameter values
// applied, switched on, the input streamed through block by block (the
// process calls scheduled by BlockSchedule), the tail rendered, the
// instance switched off. Memory does not grow with the length of the input.
//
// Threads: the plug-in is called from the caller's thread only, in order.
// The sources are read on a reader thread a few chunks ahead, and the sink
// is called on a writer thread a few chunks behind, so that on a machine
// with cores to spare the files cost the caller little more than the
// plug-in does. Both threads have ended when render() returns or throws.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "aeffect.h"
#include "audio/audio_source.h"
#include "audio/automation.h"
#include "audio/channel_map.h"
#include "audio/loudness_meter.h"
#include "audio/midi_sequence.h"
#include "audio/output_stage.h"
#include "audio/render_job.h"
#include "audio/statistics.h"
#include "plugin/tempo_map.h"

class PluginInstance;

// Without --tail, the plug-in's own tail-size answer decides, never more
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
    AudioSource* main = nullptr;  // required; silence of the MIDI's length for an instrument without input
    AudioSource* sidechain = nullptr;
    ChannelMap channels;
    const MidiSequence* midi = nullptr;  // null or empty: no MIDI
    TempoMap tempoMap;                   // what the plug-in's clock reports, from position 0 at the first block
};

struct RenderReport {
    std::optional<int> program;                 // the plug-in's current program once set up; none without programs
    std::string programName;                    // empty when the plug-in has no programs
    std::vector<ParameterSetting> settings;     // as applied, resolved to index and name
    std::vector<AutomationRequest> automation;  // as applied, resolved to index and name
    SignalStats in;                             // the main input as read
    SignalStats out;                            // the output as written
    LoudnessFigures inLoudness;
    LoudnessFigures outLoudness;
    std::size_t inputFrames = 0;
    std::size_t outputFrames = 0;
    std::size_t processedFrames = 0;  // frames the plug-in processed, its latency and the tail included
    VstInt32 latency = 0;             // what the plug-in reported once switched on
    std::size_t latencySkipped = 0;   // frames of it dropped from the start of the output
    std::size_t tailFrames = 0;       // output frames after the input's length
    std::size_t tailLimitFrames = 0;
    bool tailEndedQuiet = false;  // an automatic tail stopped early, having gone quiet
    // The peak of the last kTailEndSeconds of an automatic tail that was
    // stopped at its limit above kAudibleTailLevel.
    std::optional<double> tailCutAt;
    double processSeconds = 0.0;  // inside the plug-in's process calls
    double totalSeconds = 0.0;    // the whole streaming loop: reading, processing, writing
    double sampleRate = 0.0;

    // Audio length over time spent in the plug-in; 0 when nothing was timed.
    double speed() const;
    // Audio length over the whole loop's time.
    double overallSpeed() const;
};

// The streams' sources are the reader thread's, and the sink the writer
// thread's, until render() returns: the sink is called in order, never
// twice at once. Uses the job's program, settings, automation, block size,
// tail, latency and progress fields. Throws UsageError for a program or a
// parameter the plug-in does not have, and whatever reading or the sink
// threw (FileError, ...).
RenderReport render(PluginInstance& instance, const RenderJob& job, const RenderStreams& streams,
                    const OutputSink& sink);

// Selects the job's program, then sets its parameters, on an open instance;
// returns the settings resolved to index and name. Throws UsageError for a
// program or a parameter the plug-in does not have.
std::vector<ParameterSetting> applyProgramAndSettings(PluginInstance& instance, const RenderJob& job);

// The tail the plug-in asks for: its tail-size answer in frames, where 0
// means "not known" and 1 "none", capped at kLongestAutomaticTailSeconds.
std::size_t automaticTailFrames(VstIntPtr tailSizeAnswer, double sampleRate);

// Inputs that last longer than this get a progress bar on a terminal.
inline constexpr double kProgressBarSeconds = 20.0;
