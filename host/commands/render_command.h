// `plughost render`: audio through a plug-in (or a chain of them) into one
// file or standard output, with a summary of levels, channels and speed;
// or, given several inputs and -d DIR, a batch of such renders, each in a
// process of its own.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "commands/render_request.h"

namespace CLI {
class App;
}

// Adds the subcommand; when it runs, its exit code lands in `exitCode`.
// `words` is the whole command line, which a batch hands on to the
// processes it starts.
void addRenderCommand(CLI::App& app, int& exitCode, const std::vector<std::string>& words);
// One render; the summary goes to `out`, or to `err` when the audio goes to
// standard output.
int runRender(const RenderRequest& request, std::ostream& out, std::ostream& err);
