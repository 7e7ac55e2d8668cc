// `plughost check PLUGIN`: every check in turn, each with its verdict, then
// the line "N passed, N failed"; exit status 1 when any check failed.
#pragma once

#include <ostream>
#include <string>

namespace CLI {
class App;
}

struct CheckOptions {
    std::string plugin;
    bool isolate = true;  // one child process per check, where the platform can
    int timeoutSeconds = 120;
    std::string only;
    bool list = false;
    bool verbose = false;  // let the plug-in's own output through
};

// Adds the subcommand; when it runs, its exit code lands in `exitCode`.
void addCheckCommand(CLI::App& app, int& exitCode);
int runCheck(const CheckOptions& options, std::ostream& out);
