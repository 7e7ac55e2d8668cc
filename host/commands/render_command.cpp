#include "commands/render_command.h"

#include <CLI/CLI.hpp>

#include <iostream>
#include <memory>

#include "audio/automation.h"
#include "audio/progress_bar.h"
#include "commands/exit_codes.h"
#include "commands/file_render.h"
#include "commands/render_summary.h"
#include "plugin/plugin_module.h"

void addRenderCommand(CLI::App& app, int& exitCode) {
    auto options = std::make_shared<RenderCommandOptions>();
    CLI::App* command = app.add_subcommand("render", "Run audio (and MIDI) through the plug-in into a file");
    addRenderingOptions(*command, options->rendering);
    command
        ->add_option("-o,--output", options->output,
                     "Output file; its extension chooses the format (.wav, .flac, .aiff, .caf, .ogg, .mp3, ...)")
        ->required()
        ->type_name("OUT");
    command->add_option("--program", options->program, "Select program N before the --set values")
        ->check(CLI::Range(0, 1 << 30))
        ->type_name("N");
    command
        ->add_option("--automate", options->automation,
                     "Move a parameter in straight lines between values at times in seconds; repeatable")
        ->check(CLI::Validator(automationProblem, ""))
        ->type_name("NAME_OR_INDEX:TIME=VALUE,...");
    command->callback([options, &exitCode] { exitCode = runRender(*options, std::cout, std::cerr); });
}

int runRender(const RenderCommandOptions& options, std::ostream& out, std::ostream& err) {
    PluginModule module(options.rendering.plugin);
    FileRenderRequest request;
    request.options = &options.rendering;
    request.output = options.output;
    if (options.program >= 0) {
        request.program = options.program;
    }
    request.automation = options.automation;
    request.showProgress = !options.rendering.json && ProgressBar::isTerminal(stderr);
    const FileRenderOutcome outcome = renderToFile(module, request);
    if (options.rendering.json) {
        out << renderJson(outcome, options.output).dump(2, ' ', false, nlohmann::json::error_handler_t::replace)
            << "\n";
    } else {
        printRenderSummary(outcome, options.output, out);
    }
    out.flush();
    printRenderMessages(outcome, err);
    return outcome.kept() ? kExitSuccess : kExitProblemFound;
}
