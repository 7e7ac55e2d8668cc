// The options that `render` and `render-programs` share, and how they are
// added to a CLI11 subcommand.
#pragma once

#include <string>
#include <vector>

#include "plugin/tempo_map.h"

namespace CLI {
class App;
}

struct RenderingOptions {
    std::string plugin;
    std::string input;  // empty: the embedded signal (or silence for an instrument); "-": standard input
    std::string sidechain;
    std::string midi;
    int blockSize = 512;
    double sampleRate = 0.0;  // 0: not given
    std::string bitDepth;     // empty: 32-bit float where the container allows
    bool clip = false;
    double tailSeconds = -1.0;  // negative: automatic
    bool compensateLatency = true;
    std::string channels;  // empty: every output
    std::vector<std::string> settings;
    TempoSettings tempo;
    bool json = false;
};

void addRenderingOptions(CLI::App& command, RenderingOptions& options);
