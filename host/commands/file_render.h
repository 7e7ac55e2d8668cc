// One render into one output, the way both render commands make it: the
// inputs opened, the chain of plug-ins instantiated at the rate the render
// runs at, everything asked resolved by the plan step before the output is
// touched, the audio streamed into a temporary file (or standard output),
// the result judged, and the file put in place only when it can be trusted.
#pragma once

#include <string>
#include <vector>

#include "audio/render_session.h"
#include "commands/render_planner.h"
#include "commands/render_request.h"

class PluginModule;

// A stream converted from one rate to another on its way.
struct Resampling {
    std::string stream;  // "input", "sidechain", "output"
    double from = 0.0;
    double to = 0.0;
};

struct FileRenderOutcome {
    RenderReport report;
    RenderPlan plan;
    OutputPlan output;
    std::string input;  // "in.wav (WAV, Signed 24 bit PCM)", "embedded plucked strings", ...
    int inputChannels = 0;
    std::string midi;  // empty when no MIDI was played
    std::string inputMapping;
    std::string outputMapping;
    std::vector<Resampling> resampled;
    std::vector<std::string> notes;     // what the user should know, such as the built-in phrase
    std::vector<std::string> warnings;  // doubts that do not stop the render
    std::vector<std::string> problems;  // why the output cannot be trusted; then no file was kept
    bool kept() const { return problems.empty(); }
};

// `chain`: the loaded plug-ins, one per request.chain entry. Throws
// HostError for what stops a render before it starts (usage, files, the
// plug-ins); problems with the rendered output are in the outcome.
FileRenderOutcome renderToFile(const std::vector<const PluginModule*>& chain, const RenderRequest& request);

// Throws UsageError when `output` is the same file as one of `others`
// (compared as files, not as spellings).
void refuseOverwriting(const std::string& output, const std::vector<std::string>& others);
