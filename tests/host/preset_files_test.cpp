// Program and bank files (.fxp, .fxb): the bytes written follow the public
// layout and read back as written, damaged files are refused with what is
// wrong and where, and contents load into a plug-in only when they are its
// own.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "opcodes.h"
#include "plugin/plugin_instance.h"
#include "plugin/plugin_module.h"
#include "plugin/preset_file.h"
#include "plugin/preset_state.h"
#include "support/host_error.h"

namespace {

using Bytes = std::vector<unsigned char>;

std::uint32_t bigEndianAt(const Bytes& bytes, std::size_t at) {
    return (std::uint32_t{bytes[at]} << 24) | (std::uint32_t{bytes[at + 1]} << 16) |
           (std::uint32_t{bytes[at + 2]} << 8) | bytes[at + 3];
}

std::string codeAt(const Bytes& bytes, std::size_t at) {
    return std::string(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                       bytes.begin() + static_cast<std::ptrdiff_t>(at) + 4);
}

ProgramPreset valuesProgram(VstInt32 id, std::vector<float> values, std::string name = "Warm") {
    ProgramPreset program;
    program.pluginId = id;
    program.pluginVersion = 1000;
    program.parameterCount = static_cast<VstInt32>(values.size());
    program.name = std::move(name);
    program.values = std::move(values);
    return program;
}

ProgramPreset chunkProgram(VstInt32 id, Bytes chunk) {
    ProgramPreset program;
    program.isChunk = true;
    program.pluginId = id;
    program.pluginVersion = 7;
    program.parameterCount = 11;
    program.name = "Room";
    program.chunk = std::move(chunk);
    return program;
}

constexpr VstInt32 kId = fourCharCode('T', 'e', 's', 't');

// What each kind looks like in bytes, and that it reads back the same.
TEST(PresetFile, TheBytesFollowThePublicLayoutAndReadBackTheSame) {
    BankPreset records;
    records.pluginId = kId;
    records.pluginVersion = 1000;
    records.programCount = 2;
    records.currentProgram = 1;
    records.programs = {valuesProgram(kId, {0.25f, 1.0f}, "One"), valuesProgram(kId, {0.5f, 0.0f}, "Two")};
    BankPreset chunkBank;
    chunkBank.isChunk = true;
    chunkBank.pluginId = kId;
    chunkBank.programCount = 4;
    chunkBank.chunk = Bytes(300, 0x5A);
    const struct {
        PresetFile contents;
        const char* kind;
        std::size_t size;     // header, then the data
        std::size_t countAt;  // where the parameter or program count is
        std::uint32_t count;
        std::uint32_t version;
    } kCases[] = {
        {valuesProgram(kId, {0.25f, 1.0f, 0.0f}), "FxCk", 56 + 3 * 4, 24, 3, 1},
        {chunkProgram(kId, Bytes(100, 7)), "FPCh", 56 + 4 + 100, 24, 11, 1},
        {records, "FxBk", 156 + 2 * (56 + 8), 24, 2, 2},
        {chunkBank, "FBCh", 156 + 4 + 300, 24, 4, 1},
    };
    for (const auto& entry : kCases) {
        const auto* program = std::get_if<ProgramPreset>(&entry.contents);
        const Bytes bytes =
            program != nullptr ? encodeProgram(*program) : encodeBank(std::get<BankPreset>(entry.contents));
        ASSERT_EQ(bytes.size(), entry.size) << entry.kind;
        EXPECT_EQ(codeAt(bytes, 0), "CcnK") << entry.kind;
        EXPECT_EQ(bigEndianAt(bytes, 4), entry.size - 8) << entry.kind << ": the size after the size field";
        EXPECT_EQ(codeAt(bytes, 8), entry.kind);
        EXPECT_EQ(bigEndianAt(bytes, 12), entry.version) << entry.kind;
        EXPECT_EQ(codeAt(bytes, 16), "Test") << entry.kind;
        EXPECT_EQ(bigEndianAt(bytes, entry.countAt), entry.count) << entry.kind;
        const PresetFile back = parsePresetFile(bytes.data(), bytes.size());
        ASSERT_EQ(back.index(), entry.contents.index()) << entry.kind;
        if (program != nullptr) {
            const auto& read = std::get<ProgramPreset>(back);
            EXPECT_EQ(read.name, program->name);
            EXPECT_EQ(read.values, program->values);
            EXPECT_EQ(read.chunk, program->chunk);
            EXPECT_EQ(read.pluginVersion, program->pluginVersion);
        } else {
            const auto& bank = std::get<BankPreset>(entry.contents);
            const auto& read = std::get<BankPreset>(back);
            EXPECT_EQ(read.currentProgram, bank.currentProgram) << entry.kind;
            EXPECT_EQ(read.chunk, bank.chunk);
            ASSERT_EQ(read.programs.size(), bank.programs.size());
            for (std::size_t index = 0; index < read.programs.size(); ++index) {
                EXPECT_EQ(read.programs[index].name, bank.programs[index].name);
                EXPECT_EQ(read.programs[index].values, bank.programs[index].values);
            }
        }
    }
    // Floats are big-endian: 0.25 is 3E 80 00 00; names are cut to 27
    // characters and end with a zero.
    const Bytes bytes = encodeProgram(valuesProgram(kId, {0.25f}, std::string(40, 'n')));
    EXPECT_EQ(bigEndianAt(bytes, 56), 0x3E800000u);
    EXPECT_EQ(bytes[28 + 26], 'n');
    EXPECT_EQ(bytes[28 + 27], 0);
    EXPECT_EQ(std::get<ProgramPreset>(parsePresetFile(bytes.data(), bytes.size())).name, std::string(27, 'n'));
}

TEST(PresetFile, DamagedFilesAreRefusedWithWhatIsWrongAndWhere) {
    const Bytes program = encodeProgram(valuesProgram(kId, {0.25f, 1.0f, 0.0f}));
    const Bytes chunk = encodeProgram(chunkProgram(kId, Bytes(100, 7)));
    BankPreset bank;
    bank.pluginId = kId;
    bank.programs = {valuesProgram(kId, {0.5f}), valuesProgram(kId, {0.5f})};
    const Bytes records = encodeBank(bank);
    const auto changed = [](Bytes bytes, std::size_t at, std::uint32_t value) {
        for (int i = 0; i < 4; ++i) {
            bytes[at + static_cast<std::size_t>(i)] = static_cast<unsigned char>(value >> (24 - 8 * i));
        }
        return bytes;
    };
    const auto cut = [](const Bytes& bytes, std::size_t size) { return Bytes(bytes.begin(), bytes.begin() + size); };
    const struct {
        Bytes bytes;
        const char* message;
    } kCases[] = {
        {cut(program, 60),
         "the parameter values at byte 56 needs 12 bytes, but the file ends at byte 60: it is cut short"},
        {cut(program, 40), "the program name at byte 28 needs 28 bytes, but the file ends at byte 40"},
        {cut(chunk, 100), "the chunk size at byte 56 promises 100, but only 40 bytes follow: the file is cut short"},
        {cut(records, 200), "the bank promises 2 programs, but only 44 bytes follow its header"},
        {changed(program, 0, 0x52494646), "starts with 'RIFF', not 'CcnK': it is no program or bank file"},
        {changed(program, 8, 0x46784375), "holds 'FxCu', none of 'FxCk', 'FPCh', 'FxBk' and 'FBCh'"},
        {changed(program, 12, 3),
         "is of format version 3, which plughost does not know ('FxCk' files have versions 1)"},
        {changed(program, 24, 0xFFFFFFFF), "the parameter count at byte 24 is negative (-1)"},
        {changed(chunk, 56, 0x80000000), "the chunk size at byte 56 is negative"},
        {changed(program, 60, 0x7FC00000), "parameter value 1 at byte 60 is NaN"},
        {changed(records, 156 + 8, 0x4678426B), "program 0 at byte 156 is a bank, not a program"},
        {changed(records, 156 + 60 + 12, 2), "the record at byte 216 is of format version 2"},
        {Bytes(), "the file's first four bytes at byte 0 needs 4 bytes, but the file ends at byte 0"},
    };
    for (const auto& entry : kCases) {
        std::string message = "accepted";
        try {
            parsePresetFile(entry.bytes.data(), entry.bytes.size());
        } catch (const PresetFileProblem& problem) {
            message = problem.what();
        }
        EXPECT_NE(message.find(entry.message), std::string::npos)
            << "expected: " << entry.message << "\ngot: " << message;
    }
}

#ifdef KD_KDISTORTION
struct Opened {
    explicit Opened(const std::string& path) : module(path), instance(module) {
        instance.openForPlayback(44100.0f, 512);
    }
    PluginModule module;
    PluginInstance instance;
};

std::vector<float> parametersOf(PluginInstance& instance) {
    std::vector<float> values;
    for (VstInt32 index = 0; index < instance.numParams(); ++index) {
        values.push_back(instance.parameter(index));
    }
    return values;
}

// Our effect's programs are fixed: selecting one writes its factory values.
// A bank keeps the program in use as it was changed, the others as they
// are, and loading gives the changed values back.
TEST(PresetState, ProgramsAndBanksSavedFromAPluginLoadBackIntoAFreshOne) {
    Opened saved(KD_KDISTORTION);
    saved.instance.selectProgram(3);
    saved.instance.setParameter(0, 0.66f);
    const std::vector<float> changed = parametersOf(saved.instance);
    const ProgramPreset program = captureProgram(saved.instance);
    EXPECT_EQ(program.name, "Brutal Distortion!");
    EXPECT_EQ(program.values, changed);
    const BankPreset bank = captureBank(saved.instance, 3);
    ASSERT_EQ(bank.programs.size(), 9u);
    EXPECT_EQ(bank.currentProgram, 3);
    EXPECT_EQ(bank.programs[3].values, changed);
    EXPECT_EQ(bank.programs[5].name, "Dual Distortion!");
    EXPECT_EQ(parametersOf(saved.instance), changed) << "the instance is left as it was";

    saved.instance.selectProgram(5);
    const std::vector<float> programFive = parametersOf(saved.instance);
    EXPECT_EQ(bank.programs[5].values, programFive);
    const struct {
        PresetFile contents;
        std::optional<VstInt32> program;
        std::vector<float> expected;
    } kLoads[] = {
        {program, std::nullopt, changed},
        {program, 5, changed},  // a program file after --program
        {bank, std::nullopt, changed},
        {bank, 5, programFive},
    };
    for (const auto& entry : kLoads) {
        Opened fresh(KD_KDISTORTION);
        EXPECT_TRUE(checkPresetFits(fresh.instance, entry.contents, "file").empty());
        loadPreset(fresh.instance, entry.contents, entry.program);
        EXPECT_EQ(parametersOf(fresh.instance), entry.expected)
            << entry.contents.index() << " " << entry.program.value_or(-1);
    }
    Opened named(KD_KDISTORTION);
    ProgramPreset renamed = program;
    renamed.name = "Mine, all mine, with a name far too long";
    loadPreset(named.instance, renamed, std::nullopt);
    EXPECT_EQ(named.instance.text(effGetProgramName, 0, 24).text, "Mine, all mine, with a ") << "cut to 23 characters";
}

TEST(PresetState, ContentsThatAreNotThePluginsOwnAreRefusedOrWarnedAbout) {
    Opened ours(KD_KDISTORTION);
    const ProgramPreset program = captureProgram(ours.instance);
    ProgramPreset otherVersion = program;
    otherVersion.pluginVersion += 1;
    ProgramPreset shorter = program;
    shorter.values.pop_back();
    BankPreset fewer;
    fewer.pluginId = program.pluginId;
    fewer.programs = {program, program};
    BankPreset chunkBank;
    chunkBank.isChunk = true;
    chunkBank.pluginId = program.pluginId;
    const struct {
        PresetFile contents;
        const char* refusal;  // empty: accepted
        const char* warning;
    } kCases[] = {
        {valuesProgram(fourCharCode('S', 't', 'b', 'E'), program.values),
         "x.fxp belongs to plug-in 'StbE', not to this one ('Krvx')", ""},
        {shorter, "x.fxp holds 16 parameter values, but the plug-in has 17 parameters", ""},
        {chunkProgram(program.pluginId, Bytes(8)),
         "x.fxp holds the plug-in's state as a chunk, but this plug-in declares no chunk state", ""},
        {fewer, "x.fxp holds 2 programs, but the plug-in has 9", ""},
        {chunkBank, "declares no chunk state", ""},
        {otherVersion, "", "x.fxp was saved by version 2 of the plug-in; this is version 1"},
    };
    for (const auto& entry : kCases) {
        std::string refusal;
        std::vector<std::string> warnings;
        try {
            warnings = checkPresetFits(ours.instance, entry.contents, "x.fxp");
        } catch (const HostError& error) {
            EXPECT_EQ(error.kind(), ErrorKind::PluginLoad);
            refusal = error.what();
        }
        EXPECT_NE(refusal.find(entry.refusal), std::string::npos) << refusal;
        EXPECT_EQ(refusal.empty(), *entry.refusal == '\0') << refusal;
        EXPECT_EQ(warnings.empty() ? "" : warnings.front(), entry.warning);
    }
}
#endif

}  // namespace
