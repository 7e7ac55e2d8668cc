#include "commands/save_preset_command.h"

#include <CLI/CLI.hpp>

#include <filesystem>
#include <iostream>
#include <memory>
#include <system_error>

#include "audio/plugin_setup.h"
#include "commands/exit_codes.h"
#include "commands/whole_file.h"
#include "opcodes.h"
#include "plugin/describe.h"
#include "plugin/plugin_instance.h"
#include "plugin/plugin_module.h"
#include "plugin/preset_state.h"
#include "support/host_error.h"
#include "support/text_format.h"

namespace {

// Plug-ins are opened as for playback at a common rate: some build their
// state only then.
constexpr float kSaveSampleRate = 44100.0f;
constexpr VstInt32 kSaveBlockSize = 512;

// The output may replace the preset it started from (read whole first), but
// never the plug-in.
void refuseOutput(const SavePresetJob& job) {
    std::error_code error;
    if (std::filesystem::is_directory(job.output, error)) {
        throw UsageError("the output " + job.output + " is a directory; name a file in it");
    }
    if (std::filesystem::equivalent(job.output, job.plugin, error)) {
        throw UsageError("the output " + job.output + " is the plug-in itself; choose another output");
    }
}

}  // namespace

void addSavePresetCommand(CLI::App& app, int& exitCode) {
    auto job = std::make_shared<SavePresetJob>();
    CLI::App* command = app.add_subcommand(
        "save-preset", "Save the program in use (.fxp) or every program (.fxb) after --program, --preset and --set");
    addSavePresetOptions(*command, *job);
    command->callback([job, &exitCode] { exitCode = runSavePreset(*job, std::cout, std::cerr); });
}

int runSavePreset(const SavePresetJob& job, std::ostream& out, std::ostream& err) {
    refuseOutput(job);
    PluginSetup requested = job.setup;
    readPreset(requested);
    PluginModule module(job.plugin);
    PluginInstance instance(module, kSaveSampleRate, kSaveBlockSize);
    instance.openForPlayback(kSaveSampleRate, kSaveBlockSize);
    std::vector<std::string> warnings;
    if (!instance.warning().empty()) {
        warnings.push_back(instance.warning());
    }
    applySetup(instance, resolveSetup(instance, requested, warnings));

    PresetFile saved;
    std::vector<unsigned char> bytes;
    if (job.container == PresetContainer::Program) {
        const ProgramPreset program = captureProgram(instance);
        bytes = encodeProgram(program);
        saved = program;
    } else {
        const VstInt32 current =
            job.setup.program ? *job.setup.program : static_cast<VstInt32>(instance.dispatch(effGetProgram));
        const BankPreset bank = captureBank(instance, current);
        bytes = encodeBank(bank);
        saved = bank;
    }
    writeWholeFile(job.output, bytes, "preset file");
    const AEffect& effect = *instance.effect();
    out << format("saved %s (%zu bytes): %s, for plug-in %s version %d\n", job.output.c_str(), bytes.size(),
                  describePreset(saved).c_str(), fourCharText(effect.uniqueID).c_str(), effect.version);
    out.flush();
    for (const std::string& warning : warnings) {
        err << "warning: " << warning << "\n";
    }
    return kExitSuccess;
}
