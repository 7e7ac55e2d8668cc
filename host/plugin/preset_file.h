// Program and bank files of the plug-in interface (.fxp, .fxb) as values:
// read from bytes that anyone may have damaged, and written back. Every
// number in them is a big-endian 32-bit value; a program file is a 56-byte
// header and then parameter values ('FxCk') or an opaque chunk ('FPCh');
// a bank file is a 156-byte header and then program records ('FxBk') or an
// opaque chunk ('FBCh'). Nothing here talks to a plug-in (preset_state.h
// does), so a check or a fuzzer can use it on its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

#include "aeffect.h"

// Program names in these files: 28 bytes, the last a terminator.
inline constexpr std::size_t kPresetNameBytes = 28;
inline constexpr std::size_t kProgramHeaderBytes = 56;
inline constexpr std::size_t kBankHeaderBytes = 156;
// Larger files are refused unread: no plug-in's state comes near it, and a
// chunk is handed to the plug-in in one piece.
inline constexpr std::size_t kLargestPresetFileBytes = std::size_t{1} << 28;

// One program: its parameter values, or the chunk that effGetChunk gave for
// the program (index 1).
struct ProgramPreset {
    bool isChunk = false;
    VstInt32 pluginId = 0;
    VstInt32 pluginVersion = 0;
    // The parameter count the file states; for values, also how many it holds.
    VstInt32 parameterCount = 0;
    std::string name;  // at most 27 characters
    std::vector<float> values;
    std::vector<unsigned char> chunk;
};

// Every program: a record each, or the chunk that effGetChunk gave for the
// bank (index 0).
struct BankPreset {
    bool isChunk = false;
    VstInt32 pluginId = 0;
    VstInt32 pluginVersion = 0;
    VstInt32 programCount = 0;  // as stated; for records, also how many follow
    // Known in a version 2 file only; within 0 to programCount - 1.
    std::optional<VstInt32> currentProgram;
    std::vector<ProgramPreset> programs;
    std::vector<unsigned char> chunk;
};

using PresetFile = std::variant<ProgramPreset, BankPreset>;

// Which of the two a file written is to be.
enum class PresetContainer { Program, Bank };

// What is wrong with the bytes, and at which byte it shows.
struct PresetFileProblem : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Reads a whole program or bank file. The header's byte size is not relied
// on (writers fill it in differently); every count and length is checked
// against the bytes that are there before anything is taken from them, and
// parameter values must be finite. Bytes after the contents are ignored.
// Throws PresetFileProblem.
PresetFile parsePresetFile(const unsigned char* bytes, std::size_t size);

// The file's bytes; the counts are taken from the contents (values, records)
// and a name is cut to 27 characters.
std::vector<unsigned char> encodeProgram(const ProgramPreset& program);
std::vector<unsigned char> encodeBank(const BankPreset& bank);

// The file at `path`, read whole and parsed. Throws FileError naming the
// file and what is wrong with it.
PresetFile readPresetFile(const std::string& path);

// "a program of 17 parameter values, "Warm"", "a bank chunk of 2048 bytes",
// ...
std::string describePreset(const PresetFile& preset);
