// One analysis from start to finish: the plug-in's identity read from a
// first instance, then every measurement, each on fresh instances prepared
// with the same program and settings.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "analysis/analysis_report.h"
#include "audio/render_session.h"

class PluginModule;

struct AnalysisJob {
    std::optional<int> program;
    std::vector<ParameterSetting> settings;
    double sampleRate = 44100.0;
    TempoSettings tempo;  // what the plug-in's clock reports
    bool measureCost = true;
    // Told the name of each measurement as it starts; may be empty.
    std::function<void(const std::string&)> progress;
};

// Throws HostError for a program or parameter index the plug-in does not
// have, and LoadError for a plug-in that is no effect to measure: an
// instrument, or one without inputs or outputs.
AnalysisReport analyzePlugin(const PluginModule& module, const AnalysisJob& job);
