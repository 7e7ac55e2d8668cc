// The options that `render` and `render-programs` share, added to a CLI11
// subcommand: each one is parsed into the job's typed fields as the command
// line is read, before any file is opened.
#pragma once

#include "audio/render_job.h"

namespace CLI {
class App;
}

// `job` and `json` must outlive the parse.
void addRenderingOptions(CLI::App& command, RenderJob& job, bool& json);
