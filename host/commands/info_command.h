// `plughost info PLUGIN`: what a plug-in says about itself.
#pragma once

#include <ostream>
#include <string>

namespace CLI {
class App;
}

struct InfoOptions {
    std::string plugin;
};

// Adds the subcommand; when it runs, its exit code lands in `exitCode`.
void addInfoCommand(CLI::App& app, int& exitCode);
int runInfo(const InfoOptions& options, std::ostream& out);
