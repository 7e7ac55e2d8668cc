#include "audio/pending_output.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "support/child_process.h"
#include "support/watch_page.h"

namespace pending_output {

namespace {

namespace fs = std::filesystem;

constexpr const char* kMarker = ".plughost-";
constexpr const char* kSuffix = ".part";

// The process id in ".NAME.plughost-PID.part"; 0 when the name is not one.
long ownerOf(const std::string& name) {
    const std::size_t marker = name.rfind(kMarker);
    const std::size_t suffix = name.size() - std::strlen(kSuffix);
    if (name.size() < 2 || name[0] != '.' || marker == std::string::npos || marker < 2 ||
        name.compare(suffix, std::string::npos, kSuffix) != 0) {
        return 0;
    }
    const std::string digits = name.substr(marker + std::strlen(kMarker), suffix - marker - std::strlen(kMarker));
    if (digits.empty() || digits.size() > 9 || digits.find_first_not_of("0123456789") != std::string::npos) {
        return 0;
    }
    return std::strtol(digits.c_str(), nullptr, 10);
}

}  // namespace

std::string temporaryBeside(const std::string& target) {
    const fs::path path(target);
    return (path.parent_path() /
            ("." + path.filename().string() + kMarker + std::to_string(currentProcessId()) + kSuffix))
        .string();
}

void announce(const std::string& temporary) {
    auto& pending = watchPage().pendingOutput;
    // A path too long to announce whole is not announced at all.
    if (temporary.size() <= pending.kCapacity) {
        pending.publish(temporary.c_str(), temporary.size());
    } else {
        pending.clear();
    }
}

void clear() {
    watchPage().pendingOutput.clear();
}

int removeStale(const std::string& target) {
    const fs::path folder = fs::path(target).parent_path();
    std::error_code error;
    int removed = 0;
    for (fs::directory_iterator entry(folder.empty() ? fs::path(".") : folder, error), end; !error && entry != end;
         entry.increment(error)) {
        const long owner = ownerOf(entry->path().filename().string());
        std::error_code removal;
        if (owner > 0 && owner != currentProcessId() && !processRuns(owner) && fs::remove(entry->path(), removal)) {
            ++removed;
        }
    }
    return removed;
}

}  // namespace pending_output
