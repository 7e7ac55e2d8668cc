// `plughost check PLUGIN`: every check in turn, each with its verdict, then
// the line "N passed, N failed, N warnings" (or one JSON document with
// --json). Exit status 0 when no check failed, 1 when one did, 2 for bad
// usage or a plug-in that cannot be loaded.
#pragma once

namespace CLI {
class App;
}

// Adds the subcommand; when it runs, its exit code lands in `exitCode`.
void addCheckCommand(CLI::App& app, int& exitCode);
