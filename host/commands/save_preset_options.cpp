#include "commands/save_preset_options.h"

#include <CLI/CLI.hpp>

#include "commands/option_text.h"

void addSavePresetOptions(CLI::App& command, SavePresetJob& job) {
    command.add_option("PLUGIN", job.plugin, "The plug-in library file")->required();
    command
        .add_option_function<std::string>(
            "-o,--output",
            [&job](const std::string& path) {
                job.container = parsePresetOutput(path);
                job.output = path;
            },
            "File to write: NAME.fxp for the program in use, NAME.fxb for a bank of every program")
        ->required()
        ->type_name("FILE");
    command
        .add_option_function<int>(
            "--program", [&job](const int& program) { job.setup.program = program; },
            "Select program N first (in a bank: the program in use)")
        ->check(CLI::Range(0, 1 << 30))
        ->type_name("N");
    command.add_option("--preset", job.setup.presetPath, "Load a program (.fxp) or bank (.fxb) file after the program")
        ->type_name("FILE");
    command
        .add_option_function<std::vector<std::string>>(
            "--set",
            [&job](const std::vector<std::string>& texts) {
                for (const std::string& text : texts) {
                    job.setup.settings.push_back(parseSetting(text));
                }
            },
            "Set a parameter after the program and preset: a normalised value (0..1) or the value as the plug-in "
            "displays it, with its unit ('Gain=+6 dB'); repeatable")
        ->type_name("NAME=VALUE|INDEX=VALUE");
}
