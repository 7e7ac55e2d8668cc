// `plughost render`: audio through a plug-in into one file, with a summary
// of levels, channels and speed.
#pragma once

#include <ostream>

#include "audio/render_job.h"

namespace CLI {
class App;
}

// Adds the subcommand; when it runs, its exit code lands in `exitCode`.
void addRenderCommand(CLI::App& app, int& exitCode);
// `json`: the summary as JSON instead of a table.
int runRender(const RenderJob& job, bool json, std::ostream& out, std::ostream& err);
