#include "analysis/staging_directory.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>

#include <stdlib.h>
#ifdef _WIN32
#include <direct.h>
#include <io.h>
#endif

#include "audio/pending_output.h"
#include "support/host_error.h"

namespace fs = std::filesystem;

namespace {

// Makes a folder of a name no other has, its name `pattern` with the
// trailing XXXXXX replaced; false (errno set) when it cannot.
bool makeUniqueFolder(std::string& pattern) {
#ifdef _WIN32
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = pattern;
        if (_mktemp_s(name.data(), name.size() + 1) != 0) {
            return false;
        }
        if (_mkdir(name.c_str()) == 0) {
            pattern = name;
            return true;
        }
        if (errno != EEXIST) {
            return false;
        }
    }
    return false;
#else
    return mkdtemp(pattern.data()) != nullptr;
#endif
}

}  // namespace

StagingDirectory::StagingDirectory(const std::string& directory) : directory_(directory) {
    std::error_code error;
    fs::create_directories(directory, error);
    if (error) {
        throw FileError("cannot create the output folder " + directory + ": " + error.message());
    }
    std::string pattern = (fs::path(directory) / ".analyze-XXXXXX").string();
    if (!makeUniqueFolder(pattern)) {
        throw FileError("cannot write into the output folder " + directory + ": " + std::strerror(errno));
    }
    staging_ = pattern;
    // Removed by the watching parent should the analysis end the process.
    pending_output::announce(staging_);
}

StagingDirectory::~StagingDirectory() {
    pending_output::clear();
    std::error_code ignored;
    fs::remove_all(staging_, ignored);
}

std::string StagingDirectory::pathOf(const std::string& name) const {
    return (fs::path(staging_) / name).string();
}

void StagingDirectory::write(const std::string& name, const std::string& content) {
    std::ofstream file(pathOf(name), std::ios::binary);
    file << content;
    file.close();
    if (!file) {
        throw FileError("cannot write " + pathOf(name) + " (disk full?)");
    }
    adopt(name);
}

void StagingDirectory::adopt(const std::string& name) {
    names_.push_back(name);
}

void StagingDirectory::commit(const std::vector<std::string>& obsolete) {
    for (const std::string& name : names_) {
        if (!fs::is_regular_file(pathOf(name))) {
            throw FileError("the analysis did not produce " + name);
        }
    }
    for (const std::string& name : names_) {
        std::error_code error;
        fs::rename(pathOf(name), fs::path(directory_) / name, error);
        if (error) {
            throw FileError("cannot move " + name + " into " + directory_ + ": " + error.message());
        }
    }
    for (const std::string& name : obsolete) {
        if (std::find(names_.begin(), names_.end(), name) == names_.end()) {
            std::error_code ignored;
            fs::remove(fs::path(directory_) / name, ignored);
        }
    }
}
