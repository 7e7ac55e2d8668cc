// Finding a program the way a shell does: by its name, in the folders that
// PATH lists.
#pragma once

#include <string>

// The file of program `name` in the first folder of PATH that holds it
// ("name.exe" on Windows), or empty when none does.
std::string programOnPath(const std::string& name);
