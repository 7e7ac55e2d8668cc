// `plughost render-programs`: the same input through every program of a
// plug-in, one file per program, and a table of levels.
#pragma once

#include <ostream>
#include <string>

#include "commands/rendering_options.h"

namespace CLI {
class App;
}

struct RenderProgramsCommandOptions {
    RenderingOptions rendering;
    std::string directory;
    std::string extension = "wav";
};

// Adds the subcommand; when it runs, its exit code lands in `exitCode`.
void addRenderProgramsCommand(CLI::App& app, int& exitCode);
int runRenderPrograms(const RenderProgramsCommandOptions& options, std::ostream& out, std::ostream& err);
