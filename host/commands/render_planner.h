// The plan step of the render commands: after the plug-ins are loaded and
// the inputs opened, before any output file is created, everything the
// command line asked is resolved against them or refused (exit code 2, the
// output untouched): each plug-in's program, program or bank file (checked
// against it; one that cannot be read is exit code 3) and parameters, the
// channel routes through the chain, which plug-ins hear the MIDI, the
// clock's tempo and time signature, the tail, and the output's format and
// sample rate (against what its container and codec take).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "audio/output_format.h"
#include "audio/render_plan.h"
#include "audio/sample_quantizer.h"
#include "commands/render_request.h"

class PluginInstance;
struct MidiSequence;

// The rates of a render, decided before the plug-ins are opened: they run
// at --rate, else at the input file's rate, else at 44100 Hz; the output is
// written at --output-rate, else at theirs.
struct RatePlan {
    double plugins = 44100.0;
    double output = 44100.0;
};
RatePlan planRates(const RenderRequest& request, std::optional<double> inputRate);

// Where and how the output is written.
struct OutputPlan {
    std::string path;  // kStandardOutput for standard output
    AudioFileFormat format;
    int channels = 0;
    int sampleRate = 0;
    Dither dither = Dither::None;
};

struct PlannedRender {
    RenderPlan plan;
    OutputPlan output;
    std::vector<std::string> notes;
    std::vector<std::string> warnings;
};

// What the plan step reads beside the request and the plug-ins: the inputs
// as opened (at the plug-ins' rate) and the MIDI, read or built in.
struct OpenedInputs {
    int mainChannels = 0;
    int sidechainChannels = 0;
    const MidiSequence* midi = nullptr;  // null: none
    bool midiFromFile = false;           // the MIDI came from --midi, with a tempo map of its own
};

// `chain`: one opened instance per request.chain entry, not switched on.
PlannedRender planRender(const RenderRequest& request, const std::vector<PluginInstance*>& chain, const RatePlan& rates,
                         const OpenedInputs& inputs);

// The extensions -o - streams.
inline constexpr const char* kStreamedFormats[] = {"wav", "flac"};
