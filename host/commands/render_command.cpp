#include "commands/render_command.h"

#include <CLI/CLI.hpp>

#include <iostream>
#include <memory>

#include "audio/progress_bar.h"
#include "commands/batch_render.h"
#include "commands/exit_codes.h"
#include "commands/fatal_signals.h"
#include "commands/file_render.h"
#include "commands/option_text.h"
#include "commands/render_summary.h"
#include "commands/rendering_options.h"
#include "plugin/plugin_module.h"
#include "support/host_error.h"

namespace {

constexpr int kMostJobs = 1024;

struct RenderCommand {
    RenderRequest request;
    BatchJobOptions batchJob;  // set in the processes a batch starts
};

// Options that only make sense together, checked before anything is
// opened.
void refuseMismatchedOptions(const RenderRequest& request, const BatchJobOptions& batchJob) {
    if (batchJob.active()) {
        return;
    }
    const bool batch = !request.directory.empty();
    if (!batch && request.output.empty()) {
        throw UsageError("--output is required: -o OUT (or -o - for standard output), or -d DIR for a batch");
    }
    if (batch && !request.output.empty()) {
        throw UsageError("-o names one output and -d a batch's directory: give one of them");
    }
    if (!batch && (request.inputs.size() > 1 || !request.listFile.empty())) {
        throw UsageError("several inputs (a batch) are written into a directory: give -d DIR instead of -o");
    }
    if (!batch && request.jobs) {
        throw UsageError("-j runs the files of a batch side by side: give the inputs with -d DIR");
    }
    if (!batch && !request.format.empty() && request.output != kStandardOutput) {
        throw UsageError("--format chooses the format of -o - and of a batch's files; the extension of " +
                         request.output + " chooses it here");
    }
}

}  // namespace

void addRenderCommand(CLI::App& app, int& exitCode, const std::vector<std::string>& words) {
    auto command = std::make_shared<RenderCommand>();
    RenderRequest& request = command->request;
    CLI::App* render = app.add_subcommand("render", "Run audio (and MIDI) through the plug-in into a file");
    addRenderingOptions(*render, request);
    render
        ->add_option("-o,--output", request.output,
                     "Output file; its extension chooses the format (.wav, .flac, .aiff, .caf, .ogg, .mp3, ...); "
                     "'-' streams WAV or FLAC (--format) to standard output")
        ->type_name("OUT");
    // Read as the command line goes, so that each reaches the plug-in named
    // before it.
    render
        ->add_option_function<int>(
            "--program", [&request](const int& program) { request.current().setup.program = program; },
            "Select program N before the --set values")
        ->check(CLI::Range(0, 1 << 30))
        ->trigger_on_parse()
        ->type_name("N");
    render
        ->add_option_function<std::vector<std::string>>(
            "--automate",
            [&request](const std::vector<std::string>& texts) {
                for (const std::string& text : texts) {
                    request.current().setup.automation.push_back(parseAutomation(text));
                }
            },
            "Move a parameter in straight lines between values at times in seconds; repeatable")
        ->trigger_on_parse()
        ->type_name("NAME_OR_INDEX:TIME=VALUE,...");
    render
        ->add_option_function<std::string>(
            "--then",
            [&request](const std::string& path) {
                request.chain.push_back({path, {}});
            },
            "Then run the output through this plug-in too, in the same pass; the --program, --set and --automate "
            "after it are its own; repeatable")
        ->trigger_on_parse()
        ->type_name("PLUGIN");
    render->add_option("-d,--directory", request.directory, "A batch: write one file per input into DIR")
        ->type_name("DIR");
    render->add_option("--list", request.listFile, "A batch: a file naming one input a line")->type_name("FILE");
    render
        ->add_option_function<int>(
            "-j,--jobs", [&request](const int& jobs) { request.jobs = jobs; },
            "A batch: render N files at once, each in a process of its own (default: one per processor core)")
        ->check(CLI::Range(1, kMostJobs))
        ->type_name("N");
    render
        ->add_option("--format", request.format,
                     "Extension that chooses the format of -o - (wav or flac; default wav) and of a batch's files "
                     "(default wav)")
        ->type_name("EXT");
    addBatchJobOptions(*render, command->batchJob);
    render->callback([command, &exitCode, &words] {
        installFatalSignalHandlers();
        refuseMismatchedOptions(command->request, command->batchJob);
        if (command->batchJob.active()) {
            exitCode = runBatchJob(command->request, command->batchJob);
        } else if (!command->request.directory.empty()) {
            exitCode = runBatch(command->request, words, std::cout, std::cerr);
        } else {
            exitCode = runRender(command->request, std::cout, std::cerr);
        }
    });
}

int runRender(const RenderRequest& requested, std::ostream& out, std::ostream& err) {
    std::vector<std::unique_ptr<PluginModule>> modules;
    std::vector<const PluginModule*> chain;
    for (const PluginRequest& plugin : requested.chain) {
        modules.push_back(std::make_unique<PluginModule>(plugin.path));
        chain.push_back(modules.back().get());
    }
    RenderRequest request = requested;
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
