#include "commands/info_command.h"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "commands/exit_codes.h"
#include "opcodes.h"
#include "plugin/describe.h"
#include "plugin/plugin_instance.h"
#include "plugin/plugin_module.h"
#include "plugin/program_names.h"
#include "support/text_format.h"

namespace {

constexpr float kInfoSampleRate = 44100.0f;
constexpr VstInt32 kInfoBlockSize = 512;

// A text of the plug-in's; one that overran the interface's limit is marked
// with a '*' in the table and named under it.
struct Text {
    std::string text;
    bool overlong = false;
    std::string marked() const { return overlong ? text + "*" : text; }
};

struct Parameter {
    Text name;
    Text label;
    Text display;
    float value;
};

// Everything `info` reports, read once and printed in either form.
struct Facts {
    std::string file;
    Text effect;
    Text vendor;
    Text product;
    long vendorVersion = 0;
    VstInt32 uniqueId = 0;
    long interfaceVersion = 0;
    long category = 0;
    int version = 0;
    int inputs = 0;
    int outputs = 0;
    int flags = 0;
    int latency = 0;
    long tail = 0;
    bool takesMidi = false;
    std::vector<Parameter> parameters;
    long currentProgram = 0;
    std::vector<std::string> programs;
    std::vector<std::string> overruns;  // texts longer than the interface allows
    std::vector<std::string> warnings;
};

// A text answer, printable; one that overran its limit is described in
// `overruns`.
Text shown(const TextAnswer& answer, std::vector<std::string>& overruns, const std::string& what) {
    const Text text{printable(answer.text), !answer.fits};
    if (text.overlong) {
        overruns.push_back(format("%s \"%s\" took %zu bytes", what.c_str(), text.text.c_str(), answer.bytesWritten));
    }
    return text;
}

// The fields of `texts` that overran, by name.
nlohmann::json overlong(std::initializer_list<std::pair<const char*, const Text*>> texts) {
    nlohmann::json names = nlohmann::json::array();
    for (const auto& [name, text] : texts) {
        if (text->overlong) {
            names.push_back(name);
        }
    }
    return names;
}

Facts gather(const PluginModule& module) {
    PluginInstance instance(module);
    instance.openForPlayback(kInfoSampleRate, kInfoBlockSize);
    AEffect* effect = instance.effect();
    Facts facts;
    facts.file = module.path();
    facts.effect = shown(instance.text(effGetEffectName, 0, kVstMaxEffectNameLen), facts.overruns, "effect name");
    facts.vendor = shown(instance.text(effGetVendorString, 0, kVstMaxVendorStrLen), facts.overruns, "vendor");
    facts.product = shown(instance.text(effGetProductString, 0, kVstMaxProductStrLen), facts.overruns, "product");
    facts.vendorVersion = static_cast<long>(instance.dispatch(effGetVendorVersion));
    facts.uniqueId = effect->uniqueID;
    facts.interfaceVersion = static_cast<long>(instance.dispatch(effGetVstVersion));
    facts.category = static_cast<long>(instance.dispatch(effGetPlugCategory));
    facts.version = effect->version;
    facts.inputs = effect->numInputs;
    facts.outputs = effect->numOutputs;
    facts.flags = effect->flags;
    facts.latency = effect->initialDelay;
    facts.tail = static_cast<long>(instance.dispatch(effGetTailSize));
    facts.takesMidi = instance.dispatch(effCanDo, 0, 0, const_cast<char*>("receiveVstMidiEvent")) > 0 ||
                      (effect->flags & effFlagsIsSynth) != 0;
    if (!instance.warning().empty()) {
        facts.warnings.push_back(instance.warning());
    }
    for (VstInt32 index = 0; index < effect->numParams; ++index) {
        Parameter parameter;
        parameter.name = shown(instance.text(effGetParamName, index, kVstMaxParamStrLen), facts.overruns,
                               format("parameter %d name", index));
        parameter.label = shown(instance.text(effGetParamLabel, index, kVstMaxParamStrLen), facts.overruns,
                                format("parameter %d label", index));
        parameter.display = shown(instance.text(effGetParamDisplay, index, kVstMaxParamStrLen), facts.overruns,
                                  format("parameter %d display", index));
        parameter.value = instance.parameter(index);
        facts.parameters.push_back(parameter);
    }
    if (effect->numPrograms > 0) {
        facts.currentProgram = static_cast<long>(instance.dispatch(effGetProgram));
        const ProgramListing listing = listPrograms(instance);
        for (const std::string& name : listing.names) {
            facts.programs.push_back(printable(name));
        }
        if (!listing.overrun.empty()) {
            facts.warnings.push_back(listing.overrun);
        }
        if (!listing.restored) {
            facts.warnings.push_back(
                "the plug-in did not return to its program and parameter values after the programs were read");
        }
    }
    return facts;
}

void printTable(const Facts& facts, std::ostream& out) {
    out << format("%-16s%s\n", "file", facts.file.c_str());
    out << format("%-16s%s\n", "effect", facts.effect.marked().c_str());
    out << format("%-16s%s\n", "vendor", facts.vendor.marked().c_str());
    out << format("%-16s%s\n", "product", facts.product.marked().c_str());
    out << format("%-16s%ld\n", "vendor version", facts.vendorVersion);
    out << format("%-16s%s\n", "unique id", fourCharText(facts.uniqueId).c_str());
    out << format("%-16s%ld\n", "interface", facts.interfaceVersion);
    out << format("%-16s%ld (%s)\n", "category", facts.category, categoryName(facts.category).c_str());
    out << format("%-16s%d\n", "effect version", facts.version);
    out << format("%-16s%d in, %d out\n", "channels", facts.inputs, facts.outputs);
    out << format("%-16s%s\n", "midi input", facts.takesMidi ? "yes" : "no");
    out << format("%-16s%zu\n", "parameters", facts.parameters.size());
    out << format("%-16s%zu\n", "programs", facts.programs.size());
    out << format("%-16s0x%X (%s)\n", "flags", static_cast<unsigned>(facts.flags), flagNames(facts.flags).c_str());
    out << format("%-16s%d samples\n", "latency", facts.latency);
    out << format("%-16s%ld samples\n", "tail", facts.tail);
    if (!facts.parameters.empty()) {
        // Columns as wide as their longest text, so that long texts keep the
        // table aligned.
        int widths[3] = {10, 10, 10};
        for (const Parameter& parameter : facts.parameters) {
            const Text* texts[3] = {&parameter.name, &parameter.label, &parameter.display};
            for (int column = 0; column < 3; ++column) {
                widths[column] = std::max(widths[column], static_cast<int>(texts[column]->marked().size()));
            }
        }
        out << "\nparameters\n";
        out << format("%5s  %-*s %-*s %-*s %s\n", "index", widths[0], "name", widths[1], "label", widths[2], "display",
                      "value");
        for (std::size_t index = 0; index < facts.parameters.size(); ++index) {
            const Parameter& parameter = facts.parameters[index];
            out << format("%5zu  %-*s %-*s %-*s %.6f\n", index, widths[0], parameter.name.marked().c_str(), widths[1],
                          parameter.label.marked().c_str(), widths[2], parameter.display.marked().c_str(),
                          static_cast<double>(parameter.value));
        }
    }
    if (!facts.overruns.empty()) {
        out << format("* longer than the interface allows (%d characters for parameter texts):\n", kVstMaxParamStrLen);
        for (const std::string& overrun : facts.overruns) {
            out << "  " << overrun << "\n";
        }
    }
    if (!facts.programs.empty()) {
        out << format("\nprograms (current %ld)\n", facts.currentProgram);
        for (std::size_t program = 0; program < facts.programs.size(); ++program) {
            out << format("%5zu  %s\n", program, facts.programs[program].c_str());
        }
    }
    for (const std::string& warning : facts.warnings) {
        out << "warning: " << warning << "\n";
    }
}

nlohmann::json toJson(const Facts& facts) {
    nlohmann::json parameters = nlohmann::json::array();
    for (const Parameter& parameter : facts.parameters) {
        parameters.push_back(
            {{"name", parameter.name.text},
             {"label", parameter.label.text},
             {"display", parameter.display.text},
             {"value", parameter.value},
             {"overlong",
              overlong({{"name", &parameter.name}, {"label", &parameter.label}, {"display", &parameter.display}})}});
    }
    return {{"file", facts.file},
            {"effect", facts.effect.text},
            {"vendor", facts.vendor.text},
            {"product", facts.product.text},
            {"overlong", overlong({{"effect", &facts.effect}, {"vendor", &facts.vendor}, {"product", &facts.product}})},
            {"vendor_version", facts.vendorVersion},
            {"unique_id", fourCharPlain(facts.uniqueId)},
            {"unique_id_number", facts.uniqueId},
            {"interface_version", facts.interfaceVersion},
            {"category", categoryName(facts.category)},
            {"version", facts.version},
            {"inputs", facts.inputs},
            {"outputs", facts.outputs},
            {"midi_input", facts.takesMidi},
            {"flags", flagList(facts.flags)},
            {"flags_number", facts.flags},
            {"latency_samples", facts.latency},
            {"tail_samples", facts.tail},
            {"parameters", parameters},
            {"current_program", facts.currentProgram},
            {"programs", facts.programs},
            {"overlong_texts", facts.overruns},
            {"warnings", facts.warnings}};
}

}  // namespace

void addInfoCommand(CLI::App& app, int& exitCode) {
    auto options = std::make_shared<InfoOptions>();
    CLI::App* command = app.add_subcommand("info", "Identity, channel counts, flags, parameters and programs");
    command->add_option("PLUGIN", options->plugin, "The plug-in library file")->required();
    command->add_flag("--json", options->json, "Print the description as JSON");
    command->callback([options, &exitCode] { exitCode = runInfo(*options, std::cout); });
}

int runInfo(const InfoOptions& options, std::ostream& out) {
    PluginModule module(options.plugin);
    const Facts facts = gather(module);
    if (options.json) {
        out << toJson(facts).dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
    } else {
        printTable(facts, out);
    }
    return kExitSuccess;
}
