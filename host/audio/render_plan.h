// What one render does, decided before any output file exists: the rate the
// plug-ins run at and the rate written, every plug-in's resolved setup, the
// channel routes from the files through the chain into the output, the
// clock, the tail and the latency rule. Typed values only: the render
// commands make it from the command line and the loaded plug-ins (their plan
// step), and the audio layer runs it as it is.
#pragma once

#include <cstddef>
#include <optional>
#include <vector>

#include "aeffect.h"
#include "audio/channel_map.h"
#include "audio/plugin_setup.h"
#include "plugin/tempo_map.h"

struct RenderPlan {
    double sampleRate = 44100.0;  // the plug-ins'; the main input arrives at it
    double outputRate = 44100.0;  // what the sink receives; another rate than the plug-ins' is resampled
    VstInt32 blockSize = 512;
    // One per plug-in of the chain, in signal order, resolved against it.
    std::vector<PluginSetup> plugins;
    // The files into the first plug-in's inputs, the last one's outputs into
    // the output file.
    ChannelMap channels;
    // links[k]: plug-in k's outputs (routes From::Main, by output) into the
    // inputs of plug-in k + 1.
    std::vector<std::vector<InputRoute>> links;
    // Per plug-in: whether the MIDI is sent to it.
    std::vector<bool> playsMidi;
    TempoMap tempoMap;                      // every plug-in's clock, from position 0 at the first block
    std::optional<std::size_t> tailFrames;  // none: the plug-ins' own tail sizes, ended once quiet
    bool compensateLatency = true;          // drop the chain's latency at the start
    bool showProgress = false;
};
