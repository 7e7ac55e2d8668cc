// The options that `render` and `render-programs` share, added to a CLI11
// subcommand: each one is parsed into the request's typed fields as the
// command line is read, before any file is opened.
#pragma once

#include "commands/render_request.h"

namespace CLI {
class App;
}

// `request` must outlive the parse. --set goes to the plug-in named last
// before it (request.current()).
void addRenderingOptions(CLI::App& command, RenderRequest& request);

// The options of `render` alone: the output, the program, preset and
// automation, the chain (--then), and a batch's directory, list, processes
// and format. --program, --preset and --automate go to the plug-in named
// last before them.
void addRenderOptions(CLI::App& command, RenderRequest& request);

// Throws UsageError for render options that do not go together: neither -o
// nor -d, both, several inputs without -d, -j without a batch, --format
// with a named output file.
void refuseMismatchedOptions(const RenderRequest& request);
