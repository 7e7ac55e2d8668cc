// `plughost render-programs`: the same input through every program of a
// plug-in, one file per program, and a table of levels.
#pragma once

#include <ostream>
#include <string>

#include "audio/render_job.h"

namespace CLI {
class App;
}

// Adds the subcommand; when it runs, its exit code lands in `exitCode`.
void addRenderProgramsCommand(CLI::App& app, int& exitCode);
// Renders `job` once per program into DIRECTORY/program-N.EXTENSION (the
// job's program and output are set for each).
int runRenderPrograms(const RenderJob& job, const std::string& directory, const std::string& extension, bool json,
                      std::ostream& out, std::ostream& err);
