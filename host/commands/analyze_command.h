// `plughost analyze PLUGIN -d DIR`: measures what a plug-in does to a signal
// (transfer curve, level curve, harmonics, frequency response, aliasing,
// cost) and writes plots (PNG and SVG, drawn by gnuplot) with the data
// behind them (CSV, and JSON on request) into DIR.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "plugin/parameter_ref.h"
#include "plugin/tempo_map.h"

namespace CLI {
class App;
}

struct AnalyzeOptions {
    std::string plugin;
    std::string directory;
    int program = -1;                        // -1: not given
    std::vector<ParameterSetting> settings;  // in order
    double sampleRate = 44100.0;
    TempoSettings tempo;
    bool json = false;
    bool plots = true;
    bool cost = true;
};

// Adds the subcommand; when it runs, its exit code lands in `exitCode`.
void addAnalyzeCommand(CLI::App& app, int& exitCode);
int runAnalyze(const AnalyzeOptions& options, std::ostream& out);
