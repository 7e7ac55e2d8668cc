#include "commands/command_line.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstring>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "commands/analyze_command.h"
#include "commands/check_command.h"
#include "commands/exit_codes.h"
#include "commands/info_command.h"
#include "commands/render_command.h"
#include "commands/render_programs_command.h"
#include "commands/save_preset_command.h"
#include "plugin/plugin_calls.h"
#include "support/child_mode.h"
#include "support/host_error.h"
#include "support/watched_run.h"

#ifndef KD_VERSION
#error "KD_VERSION (the project version) must be defined by the build"
#endif

namespace {

constexpr const char* kVersionText = "plughost " KD_VERSION " (K Distortion)";

std::string exitCodeFooter() {
    std::string text = "Exit codes:\n";
    for (const ExitCodeMeaning& entry : kExitCodes) {
        text += "  " + std::to_string(entry.code) + "  " + entry.meaning + "\n";
    }
    return text + "  " + kSignalExits + "\n";
}

// CLI11 says "The following argument was not expected" of a mistyped
// command; a user is better served by the word and the list.
void refuseUnknownCommand(const CLI::App& app, int argc, char** argv) {
    if (argc < 2 || argv[1][0] == '-') {
        return;
    }
    std::string names;
    for (const CLI::App* command : app.get_subcommands([](const CLI::App*) { return true; })) {
        if (command->get_name() == argv[1]) {
            return;
        }
        names += (names.empty() ? "" : ", ") + command->get_name();
    }
    throw UsageError(std::string("unknown command '") + argv[1] + "' (commands: " + names + ")");
}

// CLI11's words for a value given to a flag, said in plughost's.
std::string plainUsageMessage(const std::string& message) {
    static const std::string kFlagWithValue = " was given a disallowed flag override";
    const std::size_t at = message.rfind(kFlagWithValue);
    if (at != std::string::npos && at + kFlagWithValue.size() == message.size()) {
        return "--" + message.substr(0, at) + " is a flag and takes no value";
    }
    return message;
}

void reportUsageError(const std::string& message, const std::string& command) {
    std::cout.flush();
    std::cerr << "plughost: " << plainUsageMessage(message) << "\n"
              << "Run 'plughost " << (command.empty() ? "" : command + " ") << "--help' for usage.\n";
}

std::string chosenCommand(const CLI::App& app) {
    const auto chosen = app.get_subcommands();
    return chosen.empty() ? "" : chosen.front()->get_name();
}

// The commands that load a plug-in into plughost's own process run in a
// child process that plughost watches (watched_run.h); `check` runs each
// check in a child of its own.
constexpr const char* kWatchedCommands[] = {"info", "render", "render-programs", "save-preset", "analyze"};

bool runsWatched(int argc, char** argv) {
    return argc >= 2 && std::any_of(std::begin(kWatchedCommands), std::end(kWatchedCommands),
                                    [argv](const char* name) { return std::strcmp(argv[1], name) == 0; });
}

int runParsed(int argc, char** argv) {
    CLI::App app(
        "Loads plug-ins of the VST 2.4 effect interface to describe them, render audio through them, measure them and "
        "check them.",
        "plughost");
    app.require_subcommand(0, 1);
    // Paths under Wine and MSYS start with '/': never read them as options.
    // Subcommands take this setting when they are added.
    app.allow_windows_style_options(false);
    // Flags take no value (--json=1 is refused): CLI11 reads a value given
    // to a flag as a number and lets one beyond 64 bits escape as
    // std::out_of_range. Subcommands take this setting when they are added.
    app.option_defaults()->disable_flag_override();
    int exitCode = kExitSuccess;
    addInfoCommand(app, exitCode);
    const std::vector<std::string> words(argv, argv + argc);
    addRenderCommand(app, exitCode, words);
    addRenderProgramsCommand(app, exitCode);
    addSavePresetCommand(app, exitCode);
    addCheckCommand(app, exitCode);
    addAnalyzeCommand(app, exitCode);

    const std::string footer = exitCodeFooter();
    app.footer(footer);
    app.set_version_flag("--version", kVersionText, "Print the version and exit");
    for (CLI::App* command : app.get_subcommands([](CLI::App*) { return true; })) {
        command->footer(footer);
        command->set_version_flag("--version", kVersionText, "Print the version and exit");
    }

    try {
        refuseUnknownCommand(app, argc, argv);
        app.parse(argc, argv);
        if (app.get_subcommands().empty()) {
            throw UsageError("no command given");
        }
        return exitCode;
    } catch (const CLI::ParseError& error) {
        if (error.get_exit_code() == 0) {
            return app.exit(error);  // --help, --version
        }
        reportUsageError(error.what(), chosenCommand(app));
        return kExitUsageOrLoad;
    } catch (const PluginException& error) {
        std::cout.flush();
        std::cerr << "plughost: " << error.what() << "\n";
        return kExitAborted;
    } catch (const HostError& error) {
        if (error.kind() == ErrorKind::Usage) {
            reportUsageError(error.what(), chosenCommand(app));
        } else {
            std::cout.flush();
            std::cerr << "plughost: " << error.what() << "\n";
        }
        return exitCodeFor(error.kind());
    } catch (const std::exception& error) {
        std::cout.flush();
        std::cerr << "plughost: internal error: " << error.what() << "\n";
        return kExitInternalError;
    }
}

}  // namespace

int runCommandLine(int argc, char** argv) {
    if (takeChildMarker(argc, argv)) {
        const int status = runParsed(argc, argv);
        finishWatched(status);
        return status;
    }
    if (runsWatched(argc, argv)) {
        return runWatched([argc, argv] { return runParsed(argc, argv); });
    }
    return runParsed(argc, argv);
}
