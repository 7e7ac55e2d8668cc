// The command line of plughost: which command, on which plug-in, with which
// options. Parsing checks everything that can be checked without touching a
// file, so that a mistyped command fails before any plug-in is loaded.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "host_error.h"

// A mistake on the command line; main shows it with a pointer to --help.
class UsageError : public HostError {
public:
    explicit UsageError(const std::string& message) : HostError(message) {}
};

enum class Command { Help, Info, Render, RenderPrograms, Check };

struct ParameterSetting {
    int index;
    float value;
};

struct Arguments {
    Command command = Command::Help;
    std::string plugin;

    // render and render-programs
    std::string input;      // empty: the embedded signal
    std::string output;     // render
    std::string directory;  // render-programs
    std::optional<int> program;
    std::vector<ParameterSetting> settings;
    int blockSize = 512;
    std::optional<double> sampleRate;
    bool wantFloat = false;

    // check
    bool isolate = true;
    int timeoutSeconds = 120;
    std::string only;
    bool list = false;
    bool verbose = false;  // let the plug-in's own output through
};

Arguments parseArguments(const std::vector<std::string>& words);
std::string usageText();
