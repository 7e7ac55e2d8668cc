#include "commands/render_command.h"

#include <CLI/CLI.hpp>

#include <iostream>
#include <memory>

#include "audio/progress_bar.h"
#include "commands/exit_codes.h"
#include "commands/fatal_signals.h"
#include "commands/file_render.h"
#include "commands/option_text.h"
#include "commands/render_summary.h"
#include "commands/rendering_options.h"
#include "plugin/plugin_module.h"

namespace {

struct RenderCommand {
    RenderJob job;
    bool json = false;
};

}  // namespace

void addRenderCommand(CLI::App& app, int& exitCode) {
    auto command = std::make_shared<RenderCommand>();
    RenderJob& job = command->job;
    CLI::App* render = app.add_subcommand("render", "Run audio (and MIDI) through the plug-in into a file");
    addRenderingOptions(*render, job, command->json);
    render
        ->add_option("-o,--output", job.output,
                     "Output file; its extension chooses the format (.wav, .flac, .aiff, .caf, .ogg, .mp3, ...)")
        ->required()
        ->type_name("OUT");
    render
        ->add_option_function<int>(
            "--program", [&job](const int& program) { job.program = program; },
            "Select program N before the --set values")
        ->check(CLI::Range(0, 1 << 30))
        ->type_name("N");
    render
        ->add_option("--preset", job.preset,
                     "Load a program (.fxp) or bank (.fxb) file after --program and before --set; of a bank, "
                     "--program N plays program N")
        ->type_name("FILE");
    render
        ->add_option_function<std::vector<std::string>>(
            "--automate",
            [&job](const std::vector<std::string>& texts) {
                for (const std::string& text : texts) {
                    job.automation.push_back(parseAutomation(text));
                }
            },
            "Move a parameter in straight lines between values at times in seconds; repeatable")
        ->type_name("NAME_OR_INDEX:TIME=VALUE,...");
    render->callback([command, &exitCode] {
        installFatalSignalHandlers();
        exitCode = runRender(command->job, command->json, std::cout, std::cerr);
    });
}

int runRender(const RenderJob& requested, bool json, std::ostream& out, std::ostream& err) {
    RenderJob job = requested;
    if (!job.preset.empty()) {
        job.presetContents = std::make_shared<const PresetFile>(readPresetFile(job.preset));
    }
    PluginModule module(job.plugin);
    job.showProgress = !json && ProgressBar::isTerminal(stderr);
    const FileRenderOutcome outcome = renderToFile(module, job);
    if (json) {
        out << renderJson(outcome, job).dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
    } else {
        printRenderSummary(outcome, job, out);
    }
    out.flush();
    printRenderMessages(outcome, err);
    return outcome.kept() ? kExitSuccess : kExitProblemFound;
}
