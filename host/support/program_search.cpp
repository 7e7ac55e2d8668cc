#include "support/program_search.h"

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <system_error>

#ifndef _WIN32
#include <unistd.h>
#endif

namespace {

#ifdef _WIN32
constexpr char kListSeparator = ';';
constexpr const char* kProgramSuffix = ".exe";
#else
constexpr char kListSeparator = ':';
constexpr const char* kProgramSuffix = "";
#endif

bool runnable(const std::filesystem::path& file) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(file, error)) {
        return false;
    }
#ifdef _WIN32
    return true;
#else
    return access(file.c_str(), X_OK) == 0;
#endif
}

}  // namespace

std::string programOnPath(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::istringstream folders(path != nullptr ? path : "");
    for (std::string folder; std::getline(folders, folder, kListSeparator);) {
        // An empty entry is the current folder, as shells take it.
        const std::filesystem::path file =
            std::filesystem::path(folder.empty() ? "." : folder) / (name + kProgramSuffix);
        if (runnable(file)) {
            return file.string();
        }
    }
    return {};
}
