// `plughost render`: audio through a plug-in into one file, with a summary
// of levels, channels and speed.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "commands/rendering_options.h"

namespace CLI {
class App;
}

struct RenderCommandOptions {
    RenderingOptions rendering;
    std::string output;
    int program = -1;  // -1: not given
    std::vector<std::string> automation;
};

// Adds the subcommand; when it runs, its exit code lands in `exitCode`.
void addRenderCommand(CLI::App& app, int& exitCode);
int runRender(const RenderCommandOptions& options, std::ostream& out, std::ostream& err);
