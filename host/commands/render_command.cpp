#include "commands/render_command.h"

#include <CLI/CLI.hpp>

#include <iostream>
#include <memory>

#include "audio/progress_bar.h"
#include "commands/batch_render.h"
#include "commands/exit_codes.h"
#include "commands/file_render.h"
#include "commands/render_summary.h"
#include "commands/rendering_options.h"
#include "plugin/plugin_module.h"
#include "support/host_error.h"

namespace {

struct RenderCommand {
    RenderRequest request;
    BatchJobOptions batchJob;  // set in the processes a batch starts
};

}  // namespace

void addRenderCommand(CLI::App& app, int& exitCode, const std::vector<std::string>& words) {
    auto command = std::make_shared<RenderCommand>();
    RenderRequest& request = command->request;
    CLI::App* render = app.add_subcommand("render", "Run audio (and MIDI) through the plug-in into a file");
    addRenderingOptions(*render, request);
    addRenderOptions(*render, request);
    addBatchJobOptions(*render, command->batchJob);
    render->callback([command, &exitCode, &words] {
        if (command->batchJob.active()) {
            exitCode = runBatchJob(command->request, command->batchJob);
            return;
        }
        refuseMismatchedOptions(command->request);
        if (!command->request.directory.empty()) {
            exitCode = runBatch(command->request, words, std::cout, std::cerr);
        } else {
            exitCode = runRender(command->request, std::cout, std::cerr);
        }
    });
}

int runRender(const RenderRequest& requested, std::ostream& out, std::ostream& err) {
    RenderRequest request = requested;
    // Program and bank files are read before any plug-in loads: a damaged
    // one stops the render at once.
    for (PluginRequest& plugin : request.chain) {
        readPreset(plugin.setup);
    }
    std::vector<std::unique_ptr<PluginModule>> modules;
    std::vector<const PluginModule*> chain;
    for (const PluginRequest& plugin : request.chain) {
        modules.push_back(std::make_unique<PluginModule>(plugin.path));
        chain.push_back(modules.back().get());
    }
    request.showProgress = !request.json && ProgressBar::isTerminal(stderr);
    std::ostream& summary = request.output == kStandardOutput ? err : out;
    const FileRenderOutcome outcome = renderToFile(chain, request);
    if (request.json) {
        summary << renderJson(outcome, request).dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
    } else {
        printRenderSummary(outcome, request, summary);
    }
    summary.flush();
    printRenderMessages(outcome, err);
    return outcome.kept() ? kExitSuccess : kExitProblemFound;
}
