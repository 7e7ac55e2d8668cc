// A plug-in's state as the contents of a program or bank file, and such
// contents checked against a plug-in and loaded into it: what a host does
// when it saves or opens an .fxp or .fxb file. Plug-ins that declare chunk
// state are saved as chunks (effGetChunk), any other as parameter values.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "plugin/preset_file.h"

class PluginInstance;

// The current program of an open instance: its parameter values, or the
// program's chunk. Throws LoadError when a plug-in that declares chunk
// state gives no chunk.
ProgramPreset captureProgram(PluginInstance& instance);

// Every program, with `current` the one in use: the bank's chunk, or a
// record per program read by selecting each in turn. The current program's
// record holds its values as they are now (changed since it was selected,
// say), and the instance is left in that program with those values. Throws
// LoadError as captureProgram does, and for a plug-in without programs
// whose state is no chunk (a program file holds that).
BankPreset captureBank(PluginInstance& instance, VstInt32 current);

// Whether the contents of `path` belong to this plug-in. Throws LoadError
// for another plug-in's id, another parameter count, a chunk for a plug-in
// without chunk state, or records for another program count. Returns
// warnings: another version of the plug-in saved it, a chunk bank that
// states another program count.
std::vector<std::string> checkPresetFits(PluginInstance& instance, const PresetFile& preset, const std::string& path);

// Loads contents that checkPresetFits accepted into an open instance. A
// program goes into the program in use (select `program` first, if given).
// A bank is loaded whole, and then `program` is selected when given (of a
// bank of records, only that record is needed); else a bank of records
// selects its current program, and a chunk is left as it restored itself.
void loadPreset(PluginInstance& instance, const PresetFile& preset, std::optional<VstInt32> program);
