// One render from start to finish: a fresh instance opened the way a host
// opens one for playback, a program and parameter values applied, the audio
// run through, the instance closed.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "audio/audio_buffer.h"
#include "audio/statistics.h"

class PluginModule;

struct ParameterSetting {
    int index;
    float value;  // normalised, 0..1
};

struct RenderJob {
    std::optional<int> program;
    std::vector<ParameterSetting> settings;
    int blockSize = 512;
    bool showProgress = false;
};

struct RenderReport {
    AudioBuffer output;
    std::string programName;  // empty when the plug-in has no programs
    SignalStats in;
    SignalStats out;
    double processSeconds = 0.0;
    // Audio length over time spent in the plug-in; 0 when nothing was timed.
    double speed() const;
    double audioSeconds = 0.0;
};

// Throws HostError for a program or parameter index that the plug-in does
// not have.
RenderReport renderWith(const PluginModule& module, const AudioBuffer& input, const RenderJob& job);

// The number of programs, from an instance that is opened, asked and closed.
int countPrograms(const PluginModule& module);

// Inputs that last longer than this get a progress bar on a terminal.
inline constexpr double kProgressBarSeconds = 20.0;
