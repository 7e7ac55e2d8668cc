// Small files written whole or not at all: into a temporary file beside the
// target (the one a render uses, removed should a signal end the process),
// then renamed over it.
#pragma once

#include <string>
#include <vector>

// `what` names the file in messages ("preset file"). Throws FileError, and
// then leaves the target as it was.
void writeWholeFile(const std::string& path, const std::vector<unsigned char>& bytes, const std::string& what);
