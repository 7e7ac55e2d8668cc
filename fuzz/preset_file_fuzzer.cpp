// Any bytes as a program or bank file (.fxp, .fxb), through the reader that
// `plughost render --preset`, `render-programs --bank` and `save-preset
// --preset` use. The reader either refuses them with a PresetFileProblem or
// gives contents that hold together; it never reads outside the bytes
// (AddressSanitizer) and never misbehaves (UndefinedBehaviorSanitizer).
// What it accepts is written again and read back: the same contents.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <variant>

#include "fuzz_failure.h"
#include "plugin/preset_file.h"

namespace {

void checkProgram(const ProgramPreset& program, std::size_t size) {
    FUZZ_REQUIRE(program.name.size() < kPresetNameBytes + 1, "a name of %zu bytes", program.name.size());
    FUZZ_REQUIRE(program.chunk.size() <= size && program.values.size() * 4 <= size, "more contents than bytes");
    if (!program.isChunk) {
        FUZZ_REQUIRE(program.values.size() == static_cast<std::size_t>(program.parameterCount),
                     "%zu values for a count of %d", program.values.size(), program.parameterCount);
        for (float value : program.values) {
            FUZZ_REQUIRE(std::isfinite(value), "a value that is not finite");
        }
    }
}

void checkContents(const PresetFile& preset, std::size_t size) {
    if (const auto* program = std::get_if<ProgramPreset>(&preset)) {
        checkProgram(*program, size);
        return;
    }
    const auto& bank = std::get<BankPreset>(preset);
    FUZZ_REQUIRE(!bank.currentProgram || (*bank.currentProgram >= 0 && *bank.currentProgram < bank.programCount),
                 "current program %d of %d", *bank.currentProgram, bank.programCount);
    FUZZ_REQUIRE(bank.isChunk || bank.programs.size() == static_cast<std::size_t>(bank.programCount),
                 "%zu records for a count of %d", bank.programs.size(), bank.programCount);
    for (const ProgramPreset& program : bank.programs) {
        checkProgram(program, size);
    }
}

bool sameProgram(const ProgramPreset& a, const ProgramPreset& b) {
    const std::string shortName = a.name.substr(0, kPresetNameBytes - 1);
    return a.isChunk == b.isChunk && a.pluginId == b.pluginId && a.pluginVersion == b.pluginVersion &&
           a.parameterCount == b.parameterCount && shortName == b.name && a.values == b.values && a.chunk == b.chunk;
}

// Written and read again: the same contents (names cut to 27 characters).
void checkRoundTrip(const PresetFile& preset) {
    std::vector<unsigned char> bytes;
    if (const auto* program = std::get_if<ProgramPreset>(&preset)) {
        bytes = encodeProgram(*program);
        const PresetFile again = parsePresetFile(bytes.data(), bytes.size());
        FUZZ_REQUIRE(
            std::holds_alternative<ProgramPreset>(again) && sameProgram(*program, std::get<ProgramPreset>(again)),
            "a program that reads back differently");
        return;
    }
    const auto& bank = std::get<BankPreset>(preset);
    bytes = encodeBank(bank);
    const PresetFile again = parsePresetFile(bytes.data(), bytes.size());
    FUZZ_REQUIRE(std::holds_alternative<BankPreset>(again), "a bank that reads back as a program");
    const auto& back = std::get<BankPreset>(again);
    FUZZ_REQUIRE(back.isChunk == bank.isChunk && back.pluginId == bank.pluginId &&
                     back.pluginVersion == bank.pluginVersion && back.programCount == bank.programCount &&
                     back.currentProgram == bank.currentProgram && back.chunk == bank.chunk &&
                     back.programs.size() == bank.programs.size(),
                 "a bank that reads back differently");
    for (std::size_t index = 0; index < bank.programs.size(); ++index) {
        FUZZ_REQUIRE(sameProgram(bank.programs[index], back.programs[index]), "program %zu reads back differently",
                     index);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    PresetFile preset;
    try {
        preset = parsePresetFile(data, size);
    } catch (const PresetFileProblem&) {
        return 0;
    }
    checkContents(preset, size);
    checkRoundTrip(preset);
    (void)describePreset(preset);
    return 0;
}
