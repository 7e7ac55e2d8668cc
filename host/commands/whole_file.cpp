#include "commands/whole_file.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "audio/pending_output.h"
#include "support/host_error.h"

void writeWholeFile(const std::string& path, const std::vector<unsigned char>& bytes, const std::string& what) {
    pending_output::removeStale(path);
    const std::string temporary = pending_output::temporaryBeside(path);
    pending_output::announce(temporary);
    const auto fail = [&](const std::string& why) {
        std::remove(temporary.c_str());
        pending_output::clear();
        throw FileError("cannot write " + what + " " + path + " (in its folder, as " + temporary + "): " + why);
    };
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out) {
            fail("it cannot be created");
        }
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        out.close();
        if (!out) {
            fail("writing it failed (is the disk full?)");
        }
    }
    std::error_code error;
    std::filesystem::rename(temporary, path, error);
    if (error) {
        fail(error.message());
    }
    pending_output::clear();
}
