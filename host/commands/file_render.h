// One render into one output file, the way both render commands make it:
// the input opened, the plug-in instantiated at the input's rate, channels
// mapped, the output format checked against the real channel count and
// rate, the audio streamed into a temporary file, the result judged, and
// the file put in place only when it can be trusted.
#pragma once

#include <string>
#include <vector>

#include "audio/output_format.h"
#include "audio/render_job.h"
#include "audio/render_session.h"

class PluginModule;

struct FileRenderOutcome {
    RenderReport report;
    std::string input;  // "in.wav (WAV, Signed 24 bit PCM)", "embedded plucked strings", ...
    int inputChannels = 0;
    std::string midi;  // empty when no MIDI was played
    std::string inputMapping;
    std::string outputMapping;
    AudioFileFormat format;
    int outputChannels = 0;
    std::vector<std::string> notes;     // what the user should know, such as the built-in phrase
    std::vector<std::string> warnings;  // doubts that do not stop the render
    std::vector<std::string> problems;  // why the output cannot be trusted; then no file was kept
    bool kept() const { return problems.empty(); }
};

// Throws HostError for what stops a render before it starts (usage, files,
// the plug-in); problems with the rendered output are in the outcome.
FileRenderOutcome renderToFile(const PluginModule& module, const RenderJob& job);

// Throws UsageError when `output` is the same file as one of `others`
// (compared as files, not as spellings).
void refuseOverwriting(const std::string& output, const std::vector<std::string>& others);
