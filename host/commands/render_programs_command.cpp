#include "commands/render_programs_command.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <memory>
#include <system_error>

#include "audio/sound_file.h"
#include "commands/exit_codes.h"
#include "commands/file_render.h"
#include "commands/render_summary.h"
#include "commands/rendering_options.h"
#include "plugin/plugin_instance.h"
#include "plugin/plugin_module.h"
#include "plugin/preset_state.h"
#include "support/host_error.h"
#include "support/text_format.h"

namespace {

struct RenderProgramsCommand {
    RenderRequest request;
};

// The number of programs, from an instance that is opened, asked and closed;
// a bank is checked against it there (refusals throw), and what it warns of
// is said once, not once per program.
int countPrograms(const PluginModule& module, const PluginSetup& setup, std::vector<std::string>& warnings) {
    PluginInstance instance(module);
    instance.open();
    if (setup.preset) {
        warnings = checkPresetFits(instance, *setup.preset, setup.presetPath);
    }
    return instance.numPrograms();
}

// The --bank file, read before the plug-in loads.
void readBank(PluginSetup& setup) {
    readPreset(setup);
    if (setup.preset && !std::holds_alternative<BankPreset>(*setup.preset)) {
        throw UsageError(setup.presetPath + " holds one program, not a bank: render it with render --preset");
    }
}

}  // namespace

void addRenderProgramsCommand(CLI::App& app, int& exitCode) {
    auto options = std::make_shared<RenderProgramsCommand>();
    CLI::App* command = app.add_subcommand(
        "render-programs", "Render through every program into DIR/program-N.wav and print a table of levels");
    RenderRequest& request = options->request;
    addRenderingOptions(*command, request);
    request.format = "wav";
    command->add_option("-d,--directory", request.directory, "Output directory")->required()->type_name("DIR");
    command
        ->add_option(
            "--bank", request.chain.front().setup.presetPath,
            "Render the programs of this bank file (.fxb) instead of the plug-in's own (--set applies after it)")
        ->type_name("FILE");
    command->add_option("--format", request.format, "Extension of the files, which chooses their format")
        ->capture_default_str()
        ->type_name("EXT");
    command->callback([options, &exitCode] { exitCode = runRenderPrograms(options->request, std::cout, std::cerr); });
}

int runRenderPrograms(const RenderRequest& requested, std::ostream& out, std::ostream& err) {
    if (requested.inputs.size() > 1) {
        throw UsageError("render-programs renders one input through every program: give one -i");
    }
    if (requested.input() == kStandardInput) {
        throw UsageError("render-programs reads its input once per program: give a file, not standard input");
    }
    const std::string& directory = requested.directory;
    const bool json = requested.json;
    RenderRequest bank = requested;
    PluginSetup& setup = bank.chain.front().setup;
    readBank(setup);
    PluginModule module(bank.chain.front().path);
    std::vector<std::string> bankWarnings;
    const int programs = countPrograms(module, setup, bankWarnings);
    if (programs <= 0) {
        throw LoadError("plug-in " + bank.chain.front().path + " has no programs to render");
    }
    std::error_code error;
    std::filesystem::create_directories(directory, error);
    if (error) {
        throw FileError("cannot create the directory " + directory + ": " + error.message());
    }

    for (const std::string& warning : bankWarnings) {
        err << "warning: " << warning << "\n";
    }
    nlohmann::json summaries = nlohmann::json::array();
    if (!json) {
        if (setup.preset) {
            out << format("bank %s: %s\n", setup.presetPath.c_str(), describePreset(*setup.preset).c_str());
        }
        out << format("%-8s %-24s %11s %11s %11s %11s %9s\n", "program", "name", "peak in", "RMS in", "peak out",
                      "RMS out", "speed");
    }
    int failed = 0;
    std::vector<std::string> notesShown;  // each note once, not once per program
    for (int program = 0; program < programs; ++program) {
        RenderRequest request = bank;
        request.output =
            (std::filesystem::path(directory) / format("program-%d.%s", program, requested.format.c_str())).string();
        request.chain.front().setup.program = program;
        const FileRenderOutcome outcome = renderToFile({&module}, request);
        const RenderReport& report = outcome.report;
        if (json) {
            summaries.push_back(renderJson(outcome, request));
        } else {
            out << format("%-8d %-24s %11s %11s %11s %11s %9s%s\n", program, report.plugins.front().programName.c_str(),
                          formatDecibels(report.in.peak).c_str(), formatDecibels(report.in.rms()).c_str(),
                          formatDecibels(report.out.peak).c_str(), formatDecibels(report.out.rms()).c_str(),
                          speedText(report.speed()).c_str(), outcome.kept() ? "" : "  NOT WRITTEN");
            out.flush();
        }
        for (const std::string& note : outcome.notes) {
            if (std::find(notesShown.begin(), notesShown.end(), note) == notesShown.end()) {
                err << "note: " << note << "\n";
                notesShown.push_back(note);
            }
        }
        for (const std::string& problem : outcome.problems) {
            err << format("plughost: program %d: ", program) << problem << "\n";
        }
        for (const std::string& warning : outcome.warnings) {
            if (std::find(bankWarnings.begin(), bankWarnings.end(), warning) == bankWarnings.end()) {
                err << format("warning: program %d: ", program) << warning << "\n";
            }
        }
        failed += outcome.kept() ? 0 : 1;
    }
    if (json) {
        out << summaries.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
    } else {
        out << format("%d files in %s", programs - failed, directory.c_str());
        out << (failed > 0 ? format("; %d programs not written (see above)\n", failed) : "\n");
    }
    return failed > 0 ? kExitProblemFound : kExitSuccess;
}
