// `plughost render-programs`: the same input through every program of a
// plug-in, one file per program, and a table of levels.
#pragma once

#include <ostream>
#include <string>

#include "commands/render_request.h"

namespace CLI {
class App;
}

// Adds the subcommand; when it runs, its exit code lands in `exitCode`.
void addRenderProgramsCommand(CLI::App& app, int& exitCode);
// Renders the request once per program into DIRECTORY/program-N.FORMAT
// (its program and output are set for each).
int runRenderPrograms(const RenderRequest& request, std::ostream& out, std::ostream& err);
