// What a render command was asked, in typed values: its options parsed at
// the edge, before any file is opened or plug-in loaded. Only the commands
// read it: their plan step (render_planner.h) turns it, with the loaded
// plug-ins and the opened inputs, into the RenderPlan the audio layer runs.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "aeffect.h"
#include "audio/output_format.h"
#include "audio/plugin_setup.h"
#include "audio/sample_quantizer.h"
#include "plugin/tempo_map.h"

// One plug-in of the chain and what it is set to, as given (its parameters
// by name or index, not yet found in it; its preset file named, read by the
// command before the plug-in loads).
struct PluginRequest {
    std::string path;
    PluginSetup setup;
};

// The path that means standard output.
inline constexpr const char* kStandardOutput = "-";

struct RenderRequest {
    // The plug-in, then one for each --then, in signal order; --program,
    // --preset, --set and --automate go to the last one named before them.
    std::vector<PluginRequest> chain = std::vector<PluginRequest>(1);
    // Input files; none: the embedded signal (or silence for an
    // instrument); "-": standard input. Several make a batch.
    std::vector<std::string> inputs;
    std::string listFile;     // a batch's inputs, one a line
    std::string directory;    // a batch's (or render-programs') output directory
    std::string format;       // the extension that chooses the format of -o - and of files in the directory
    std::optional<int> jobs;  // processes for a batch; none: one per core
    std::string sidechain;
    std::string midi;
    TempoSettings tempo;  // the clock without --midi, and until the MIDI file's own tempo events
    std::string output;   // "-": standard output
    VstInt32 blockSize = 512;
    std::optional<int> sampleRate;  // the plug-ins' rate; the input is resampled to it
    std::optional<int> outputRate;  // the output's rate; resampled from the plug-ins'
    BitDepth bitDepth = BitDepth::Default;
    Dither dither = Dither::None;
    bool clip = false;                  // let an integer output clip
    std::optional<double> tailSeconds;  // none: automatic
    bool compensateLatency = true;
    std::vector<int> channels;  // outputs of the last plug-in counted from 0, in file order; empty: all
    bool json = false;
    bool showProgress = false;

    // The one input of a single render; empty for none.
    const std::string& input() const {
        static const std::string kNone;
        return inputs.empty() ? kNone : inputs.front();
    }
    PluginRequest& current() { return chain.back(); }
};
