#include "commands/render_programs_command.h"

#include <CLI/CLI.hpp>

#include <filesystem>
#include <iostream>
#include <memory>
#include <system_error>

#include "audio/sound_file.h"
#include "commands/exit_codes.h"
#include "commands/file_render.h"
#include "commands/render_summary.h"
#include "plugin/plugin_instance.h"
#include "plugin/plugin_module.h"
#include "support/host_error.h"
#include "support/text_format.h"

namespace {

// The number of programs, from an instance that is opened, asked and closed.
int countPrograms(const PluginModule& module) {
    PluginInstance instance(module);
    instance.open();
    return instance.numPrograms();
}

}  // namespace

void addRenderProgramsCommand(CLI::App& app, int& exitCode) {
    auto options = std::make_shared<RenderProgramsCommandOptions>();
    CLI::App* command = app.add_subcommand(
        "render-programs", "Render through every program into DIR/program-N.wav and print a table of levels");
    addRenderingOptions(*command, options->rendering);
    command->add_option("-d,--directory", options->directory, "Output directory")->required()->type_name("DIR");
    command->add_option("--format", options->extension, "Extension of the files, which chooses their format")
        ->capture_default_str()
        ->type_name("EXT");
    command->callback([options, &exitCode] { exitCode = runRenderPrograms(*options, std::cout, std::cerr); });
}

int runRenderPrograms(const RenderProgramsCommandOptions& options, std::ostream& out, std::ostream& err) {
    if (options.rendering.input == kStandardInput) {
        throw UsageError("render-programs reads its input once per program: give a file, not standard input");
    }
    PluginModule module(options.rendering.plugin);
    const int programs = countPrograms(module);
    if (programs <= 0) {
        throw LoadError("plug-in " + options.rendering.plugin + " has no programs to render");
    }
    std::error_code error;
    std::filesystem::create_directories(options.directory, error);
    if (error) {
        throw FileError("cannot create the directory " + options.directory + ": " + error.message());
    }

    nlohmann::json json = nlohmann::json::array();
    if (!options.rendering.json) {
        out << format("%-8s %-24s %9s %9s %9s %9s %9s\n", "program", "name", "peak in", "RMS in", "peak out", "RMS out",
                      "speed");
    }
    int failed = 0;
    for (int program = 0; program < programs; ++program) {
        FileRenderRequest request;
        request.options = &options.rendering;
        request.output =
            (std::filesystem::path(options.directory) / format("program-%d.%s", program, options.extension.c_str()))
                .string();
        request.program = program;
        const FileRenderOutcome outcome = renderToFile(module, request);
        const RenderReport& report = outcome.report;
        if (options.rendering.json) {
            json.push_back(renderJson(outcome, request.output));
        } else {
            out << format("%-8d %-24s %9s %9s %9s %9s %9s%s\n", program, report.programName.c_str(),
                          formatDecibels(report.in.peak).c_str(), formatDecibels(report.in.rms()).c_str(),
                          formatDecibels(report.out.peak).c_str(), formatDecibels(report.out.rms()).c_str(),
                          speedText(report.speed()).c_str(), outcome.kept() ? "" : "  NOT WRITTEN");
            out.flush();
        }
        for (const std::string& note : program == 0 ? outcome.notes : std::vector<std::string>{}) {
            err << "note: " << note << "\n";
        }
        for (const std::string& problem : outcome.problems) {
            err << format("plughost: program %d: ", program) << problem << "\n";
        }
        for (const std::string& warning : outcome.warnings) {
            err << format("warning: program %d: ", program) << warning << "\n";
        }
        failed += outcome.kept() ? 0 : 1;
    }
    if (options.rendering.json) {
        out << json.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
    } else {
        out << format("%d files in %s", programs - failed, options.directory.c_str());
        out << (failed > 0 ? format("; %d programs not written (see above)\n", failed) : "\n");
    }
    return failed > 0 ? kExitProblemFound : kExitSuccess;
}
