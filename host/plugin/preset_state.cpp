#include "plugin/preset_state.h"

#include <algorithm>
#include <cstring>

#include "opcodes.h"
#include "plugin/chunks.h"
#include "plugin/describe.h"
#include "plugin/plugin_instance.h"
#include "plugin/program_names.h"
#include "support/host_error.h"
#include "support/text_format.h"

namespace {

std::vector<unsigned char> chunkOf(PluginInstance& instance, bool programOnly) {
    SavedChunk saved = saveChunk(instance, programOnly);
    if (saved.bytes.empty()) {
        throw LoadError(
            format("the plug-in declares chunk state, yet effGetChunk for the %s gave no data (size %lld%s)",
                   programOnly ? "program" : "bank", static_cast<long long>(saved.size),
                   saved.pointerGiven ? "" : ", no pointer"));
    }
    return std::move(saved.bytes);
}

// Plug-ins copy a program name into records of 24 bytes: never hand them
// more than 23 characters.
void nameProgram(PluginInstance& instance, const std::string& name) {
    char text[kVstMaxProgNameLen] = {};
    std::memcpy(text, name.data(), std::min(name.size(), sizeof text - 1));
    instance.dispatch(effSetProgramName, 0, 0, text);
}

void loadProgram(PluginInstance& instance, const ProgramPreset& program) {
    if (program.isChunk) {
        restoreChunk(instance, program.chunk, true);
        return;
    }
    nameProgram(instance, program.name);
    const auto count = std::min(program.values.size(), static_cast<std::size_t>(std::max(instance.numParams(), 0)));
    for (std::size_t index = 0; index < count; ++index) {
        instance.setParameter(static_cast<VstInt32>(index), program.values[index]);
    }
}

// Program `program` of a bank of records: selected, then given its record.
void loadRecord(PluginInstance& instance, const BankPreset& bank, VstInt32 program) {
    instance.selectProgram(program);
    loadProgram(instance, bank.programs[static_cast<std::size_t>(program)]);
}

void checkOwner(PluginInstance& instance, VstInt32 id, bool isChunk, const std::string& what) {
    const AEffect& effect = *instance.effect();
    if (id != effect.uniqueID) {
        throw LoadError(what + " belongs to plug-in " + fourCharText(id) + ", not to this one (" +
                        fourCharText(effect.uniqueID) + ")");
    }
    if (isChunk && !declaresChunks(instance)) {
        throw LoadError(what + " holds the plug-in's state as a chunk, but this plug-in declares no chunk state");
    }
}

void checkProgramFits(PluginInstance& instance, const ProgramPreset& program, const std::string& what) {
    checkOwner(instance, program.pluginId, program.isChunk, what);
    if (!program.isChunk && program.values.size() != static_cast<std::size_t>(instance.numParams())) {
        throw LoadError(format("%s holds %zu parameter values, but the plug-in has %d parameters", what.c_str(),
                               program.values.size(), instance.numParams()));
    }
}

}  // namespace

ProgramPreset captureProgram(PluginInstance& instance) {
    const AEffect& effect = *instance.effect();
    ProgramPreset program;
    program.pluginId = effect.uniqueID;
    program.pluginVersion = effect.version;
    program.parameterCount = instance.numParams();
    program.name = instance.text(effGetProgramName, 0, kProgramNameLimit).text.substr(0, kPresetNameBytes - 1);
    program.isChunk = declaresChunks(instance);
    if (program.isChunk) {
        program.chunk = chunkOf(instance, true);
        return program;
    }
    for (VstInt32 index = 0; index < instance.numParams(); ++index) {
        program.values.push_back(instance.parameter(index));
    }
    return program;
}

BankPreset captureBank(PluginInstance& instance, VstInt32 current) {
    const AEffect& effect = *instance.effect();
    BankPreset bank;
    bank.pluginId = effect.uniqueID;
    bank.pluginVersion = effect.version;
    bank.programCount = instance.numPrograms();
    if (bank.programCount > 0) {
        bank.currentProgram = std::clamp(current, 0, bank.programCount - 1);
    }
    bank.isChunk = declaresChunks(instance);
    if (bank.isChunk) {
        bank.chunk = chunkOf(instance, false);
        return bank;
    }
    if (bank.programCount <= 0) {
        throw LoadError("the plug-in has no programs to put in a bank: save its parameter values as a program (.fxp)");
    }
    bank.programs.resize(static_cast<std::size_t>(bank.programCount));
    const VstInt32 chosen = *bank.currentProgram;
    bank.programs[static_cast<std::size_t>(chosen)] = captureProgram(instance);
    for (VstInt32 program = 0; program < bank.programCount; ++program) {
        if (program != chosen) {
            instance.selectProgram(program);
            bank.programs[static_cast<std::size_t>(program)] = captureProgram(instance);
        }
    }
    loadRecord(instance, bank, chosen);
    return bank;
}

std::vector<std::string> checkPresetFits(PluginInstance& instance, const PresetFile& preset, const std::string& path) {
    const AEffect& effect = *instance.effect();
    std::vector<std::string> warnings;
    VstInt32 savedVersion = 0;
    if (const auto* program = std::get_if<ProgramPreset>(&preset)) {
        checkProgramFits(instance, *program, path);
        savedVersion = program->pluginVersion;
    } else {
        const auto& bank = std::get<BankPreset>(preset);
        checkOwner(instance, bank.pluginId, bank.isChunk, path);
        savedVersion = bank.pluginVersion;
        if (!bank.isChunk && bank.programs.size() != static_cast<std::size_t>(instance.numPrograms())) {
            throw LoadError(format("%s holds %zu programs, but the plug-in has %d", path.c_str(), bank.programs.size(),
                                   instance.numPrograms()));
        }
        if (bank.isChunk && bank.programCount != instance.numPrograms()) {
            warnings.push_back(format("%s states %d programs, but the plug-in has %d", path.c_str(), bank.programCount,
                                      instance.numPrograms()));
        }
        for (std::size_t index = 0; index < bank.programs.size(); ++index) {
            checkProgramFits(instance, bank.programs[index], format("program %zu of %s", index, path.c_str()));
        }
    }
    if (savedVersion != effect.version) {
        warnings.push_back(format("%s was saved by version %d of the plug-in; this is version %d", path.c_str(),
                                  savedVersion, effect.version));
    }
    return warnings;
}

void loadPreset(PluginInstance& instance, const PresetFile& preset, std::optional<VstInt32> program) {
    if (const auto* single = std::get_if<ProgramPreset>(&preset)) {
        if (program) {
            instance.selectProgram(*program);
        }
        loadProgram(instance, *single);
        return;
    }
    const auto& bank = std::get<BankPreset>(preset);
    if (bank.isChunk) {
        // The chunk holds the program in use too: selecting it again could
        // only undo what the chunk restored.
        restoreChunk(instance, bank.chunk, false);
        if (program) {
            instance.selectProgram(*program);
        }
        return;
    }
    if (bank.programs.empty()) {
        return;
    }
    if (!program) {
        for (VstInt32 index = 0; index < static_cast<VstInt32>(bank.programs.size()); ++index) {
            loadRecord(instance, bank, index);
        }
    }
    // Selected last and given its record again, so that plug-ins whose
    // programs are fixed (selecting one writes its factory values) play
    // the bank's values too.
    const VstInt32 chosen = program.value_or(bank.currentProgram.value_or(0));
    if (chosen >= 0 && static_cast<std::size_t>(chosen) < bank.programs.size()) {
        loadRecord(instance, bank, chosen);
    }
}
