// `plughost render` and `plughost render-programs`: audio files through a
// plug-in, with a level and speed summary.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace CLI {
class App;
}

// What both render commands take.
struct RenderingOptions {
    std::string plugin;
    std::string input;  // empty: the embedded signal
    int blockSize = 512;
    double sampleRate = 0.0;  // 0: not given
    bool wantFloat = false;
};

struct RenderCommandOptions {
    RenderingOptions rendering;
    std::string output;
    int program = -1;                   // -1: not given
    std::vector<std::string> settings;  // INDEX=VALUE, in order
};

struct RenderProgramsCommandOptions {
    RenderingOptions rendering;
    std::string directory;
};

// Add the subcommands; when one runs, its exit code lands in `exitCode`.
void addRenderCommand(CLI::App& app, int& exitCode);
void addRenderProgramsCommand(CLI::App& app, int& exitCode);

int runRender(const RenderCommandOptions& options, std::ostream& out);
int runRenderPrograms(const RenderProgramsCommandOptions& options, std::ostream& out);
