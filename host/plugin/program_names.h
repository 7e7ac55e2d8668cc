// Reading the names of a plug-in's programs without disturbing it.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

class PluginInstance;

// Program names: the interface's 24 characters. Plug-ins built the common way
// write a terminator after them, so the host's buffer takes 25 bytes.
inline constexpr std::size_t kProgramNameLimit = 24;

struct ProgramListing {
    std::vector<std::string> names;
    bool bySelecting = false;  // the plug-in could not name programs by index
    bool restored = true;      // program number and parameters are back as found
    std::string overrun;       // description of the first name that overran, if any
};

// Asks for each name by index; when the plug-in does not answer that,
// selects each program in turn and reads the current name, then selects the
// program that was current and writes back every parameter value it had.
ProgramListing listPrograms(PluginInstance& instance);
