#include "commands/info_command.h"

#include <CLI/CLI.hpp>

#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "opcodes.h"
#include "plugin/describe.h"
#include "plugin/plugin_instance.h"
#include "plugin/plugin_module.h"
#include "plugin/program_names.h"
#include "support/text_format.h"

namespace {

constexpr float kInfoSampleRate = 44100.0f;
constexpr VstInt32 kInfoBlockSize = 512;

// A text answer for the table; one that overran its limit is marked with a
// '*' and explained under the table.
std::string shown(const TextAnswer& answer, std::vector<std::string>& overruns, const std::string& what) {
    if (answer.fits) {
        return printable(answer.text);
    }
    overruns.push_back(
        format("%s \"%s\" took %zu bytes", what.c_str(), printable(answer.text).c_str(), answer.bytesWritten));
    return printable(answer.text) + "*";
}

}  // namespace

void addInfoCommand(CLI::App& app, int& exitCode) {
    auto options = std::make_shared<InfoOptions>();
    CLI::App* command = app.add_subcommand("info", "Identity, channel counts, flags, parameters and programs");
    command->add_option("PLUGIN", options->plugin, "The plug-in library file")->required();
    command->callback([options, &exitCode] { exitCode = runInfo(*options, std::cout); });
}

int runInfo(const InfoOptions& options, std::ostream& out) {
    PluginModule module(options.plugin);
    PluginInstance instance(module);
    instance.openForPlayback(kInfoSampleRate, kInfoBlockSize);
    AEffect* effect = instance.effect();
    std::vector<std::string> overruns;

    out << format("%-16s%s\n", "file", module.path().c_str());
    out << format("%-16s%s\n", "effect",
                  shown(instance.text(effGetEffectName, 0, kVstMaxEffectNameLen), overruns, "effect name").c_str());
    out << format("%-16s%s\n", "vendor",
                  shown(instance.text(effGetVendorString, 0, kVstMaxVendorStrLen), overruns, "vendor").c_str());
    out << format("%-16s%s\n", "product",
                  shown(instance.text(effGetProductString, 0, kVstMaxProductStrLen), overruns, "product").c_str());
    out << format("%-16s%ld\n", "vendor version", static_cast<long>(instance.dispatch(effGetVendorVersion)));
    out << format("%-16s%s\n", "unique id", fourCharText(effect->uniqueID).c_str());
    out << format("%-16s%ld\n", "interface", static_cast<long>(instance.dispatch(effGetVstVersion)));
    const VstIntPtr category = instance.dispatch(effGetPlugCategory);
    out << format("%-16s%ld (%s)\n", "category", static_cast<long>(category), categoryName(category).c_str());
    out << format("%-16s%d\n", "effect version", effect->version);
    out << format("%-16s%d in, %d out\n", "channels", effect->numInputs, effect->numOutputs);
    out << format("%-16s%d\n", "parameters", effect->numParams);
    out << format("%-16s%d\n", "programs", effect->numPrograms);
    out << format("%-16s0x%X (%s)\n", "flags", static_cast<unsigned>(effect->flags), flagNames(effect->flags).c_str());
    out << format("%-16s%d samples\n", "latency", effect->initialDelay);
    out << format("%-16s%ld samples\n", "tail", static_cast<long>(instance.dispatch(effGetTailSize)));

    if (effect->numParams > 0) {
        out << "\nparameters\n";
        out << format("%5s  %-10s %-10s %-10s %s\n", "index", "name", "label", "display", "value");
        for (VstInt32 index = 0; index < effect->numParams; ++index) {
            const std::string name = shown(instance.text(effGetParamName, index, kVstMaxParamStrLen), overruns,
                                           format("parameter %d name", index));
            const std::string label = shown(instance.text(effGetParamLabel, index, kVstMaxParamStrLen), overruns,
                                            format("parameter %d label", index));
            const std::string display = shown(instance.text(effGetParamDisplay, index, kVstMaxParamStrLen), overruns,
                                              format("parameter %d display", index));
            out << format("%5d  %-10s %-10s %-10s %.6f\n", index, name.c_str(), label.c_str(), display.c_str(),
                          static_cast<double>(instance.parameter(index)));
        }
    }

    if (!overruns.empty()) {
        out << format("* longer than the interface allows (%d characters for parameter texts):\n", kVstMaxParamStrLen);
        for (const std::string& overrun : overruns) {
            out << "  " << overrun << "\n";
        }
    }

    if (effect->numPrograms > 0) {
        const auto current = static_cast<long>(instance.dispatch(effGetProgram));
        const ProgramListing listing = listPrograms(instance);
        out << format("\nprograms (current %ld)\n", current);
        for (std::size_t program = 0; program < listing.names.size(); ++program) {
            out << format("%5zu  %s\n", program, printable(listing.names[program]).c_str());
        }
        if (!listing.overrun.empty()) {
            out << "warning: " << listing.overrun << "\n";
        }
        if (!listing.restored) {
            out << "warning: the plug-in did not return to its program and parameter values after the programs "
                   "were read\n";
        }
    }
    return 0;
}
