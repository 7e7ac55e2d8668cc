#include "support/child_mode.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "support/fatal_handlers.h"
#include "support/shared_block.h"
#include "support/watch_page.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace {

std::intptr_t parentChannel = -1;
bool watched = false;

// A watched child's last act: its parent tells how it ended.
void recordForParent(const Ending& ending) {
    if (ending.kind != EndingKind::Exited) {
        recordEnding(watchPage(), ending);
    }
}

std::intptr_t handleFrom(const char* text) {
    char* end = nullptr;
    const long long value = std::strtoll(text, &end, 10);
    return *text == '\0' || *end != '\0' || value < 0 ? -1 : static_cast<std::intptr_t>(value);
}

}  // namespace

bool takeChildMarker(int& argc, char**& argv) {
    if (argc < 4 || std::strcmp(argv[1], kChildMarker) != 0) {
        return false;
    }
    const std::intptr_t channel = handleFrom(argv[2]);
    // Lives as long as the process.
    static SharedBlock shared = SharedBlock::inherited(argv[3], sizeof(WatchPage));
    WatchPage* page = shared.ok() ? static_cast<WatchPage*>(shared.data()) : nullptr;
#ifdef _WIN32
    // Whatever this child starts in turn does not hold its parent's ends.
    for (std::intptr_t handle : {channel, shared.handle()}) {
        if (handle > 0) {
            SetHandleInformation(reinterpret_cast<HANDLE>(handle), HANDLE_FLAG_INHERIT, 0);
        }
    }
#else
    if (channel >= 0) {
        fcntl(static_cast<int>(channel), F_SETFD, FD_CLOEXEC);
    }
    if (shared.ok()) {
        fcntl(static_cast<int>(shared.handle()), F_SETFD, FD_CLOEXEC);
    }
#endif
    becomeWatchedChild(page, channel);
    argv[3] = argv[0];
    argv += 3;
    argc -= 3;
    return true;
}

void becomeWatchedChild(WatchPage* page, std::intptr_t channel) {
    watched = true;
    parentChannel = channel;
    watchOn(page);
    clearWatchPage(watchPage());
    fatal_handlers::install(recordForParent);
}

bool isWatchedChild() {
    return watched;
}

void writeToParent(const char* data, std::size_t size) {
    if (parentChannel < 0) {
        return;
    }
    while (size > 0) {
#ifdef _WIN32
        DWORD written = 0;
        if (!WriteFile(reinterpret_cast<HANDLE>(parentChannel), data, static_cast<DWORD>(size), &written, nullptr) ||
            written == 0) {
            return;
        }
#else
        const ssize_t written = write(static_cast<int>(parentChannel), data, size);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return;
        }
#endif
        data += written;
        size -= static_cast<std::size_t>(written);
    }
}

void endChildNow(int status) {
    std::fflush(stdout);
    std::fflush(stderr);
#ifdef _WIN32
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(status));
#endif
    _exit(status);
}
