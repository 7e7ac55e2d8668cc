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
