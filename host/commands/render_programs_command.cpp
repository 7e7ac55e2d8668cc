#include "commands/render_programs_command.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <memory>
#include <system_error>

#include "audio/sound_file.h"
#include "commands/exit_codes.h"
#include "commands/fatal_signals.h"
#include "commands/file_render.h"
#include "commands/render_summary.h"
#include "commands/rendering_options.h"
#include "plugin/plugin_instance.h"
#include "plugin/plugin_module.h"
#include "support/host_error.h"
#include "support/text_format.h"

namespace {

struct RenderProgramsCommand {
    RenderJob job;
    bool json = false;
    std::string directory;
    std::string extension = "wav";
};

// The number of programs, from an instance that is opened, asked and closed.
int countPrograms(const PluginModule& module) {
    PluginInstance instance(module);
    instance.open();
    return instance.numPrograms();
}

}  // namespace

void addRenderProgramsCommand(CLI::App& app, int& exitCode) {
    auto options = std::make_shared<RenderProgramsCommand>();
    CLI::App* command = app.add_subcommand(
        "render-programs", "Render through every program into DIR/program-N.wav and print a table of levels");
    addRenderingOptions(*command, options->job, options->json);
    command->add_option("-d,--directory", options->directory, "Output directory")->required()->type_name("DIR");
    command->add_option("--format", options->extension, "Extension of the files, which chooses their format")
        ->capture_default_str()
        ->type_name("EXT");
    command->callback([options, &exitCode] {
        installFatalSignalHandlers();
        exitCode = runRenderPrograms(options->job, options->directory, options->extension, options->json, std::cout,
                                     std::cerr);
    });
}

int runRenderPrograms(const RenderJob& requested, const std::string& directory, const std::string& extension, bool json,
                      std::ostream& out, std::ostream& err) {
    if (requested.input == kStandardInput) {
        throw UsageError("render-programs reads its input once per program: give a file, not standard input");
    }
    PluginModule module(requested.plugin);
    const int programs = countPrograms(module);
    if (programs <= 0) {
        throw LoadError("plug-in " + requested.plugin + " has no programs to render");
    }
    std::error_code error;
    std::filesystem::create_directories(directory, error);
    if (error) {
        throw FileError("cannot create the directory " + directory + ": " + error.message());
    }

    nlohmann::json summaries = nlohmann::json::array();
    if (!json) {
        out << format("%-8s %-24s %11s %11s %11s %11s %11s %8s %11s %9s\n", "program", "name", "peak in", "RMS in",
                      "peak out", "RMS out", "LUFS out", "LRA out", "dBTP out", "speed");
    }
    int failed = 0;
    std::vector<std::string> notesShown;  // each note once, not once per program
    for (int program = 0; program < programs; ++program) {
        RenderJob job = requested;
        job.output = (std::filesystem::path(directory) / format("program-%d.%s", program, extension.c_str())).string();
        job.program = program;
        const FileRenderOutcome outcome = renderToFile(module, job);
        const RenderReport& report = outcome.report;
        if (json) {
            summaries.push_back(renderJson(outcome, job));
        } else {
            out << format("%-8d %-24s %11s %11s %11s %11s %11s %8s %11s %9s%s\n", program, report.programName.c_str(),
                          formatDecibels(report.in.peak).c_str(), formatDecibels(report.in.rms()).c_str(),
                          formatDecibels(report.out.peak).c_str(), formatDecibels(report.out.rms()).c_str(),
                          integratedText(report.outLoudness).c_str(), rangeText(report.outLoudness).c_str(),
                          truePeakText(report.outLoudness).c_str(), speedText(report.speed()).c_str(),
                          outcome.kept() ? "" : "  NOT WRITTEN");
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
            err << format("warning: program %d: ", program) << warning << "\n";
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
