#include "support/guarded_pages.h"

#include <algorithm>
#include <utility>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace {

std::size_t pageSize() {
#ifdef _WIN32
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    return info.dwPageSize;
#else
    return static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
#endif
}

char* mapPages(std::size_t bytes) {
#ifdef _WIN32
    return static_cast<char*>(VirtualAlloc(nullptr, bytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
#else
    void* start = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    return start == MAP_FAILED ? nullptr : static_cast<char*>(start);
#endif
}

bool forbid(char* page, std::size_t bytes) {
#ifdef _WIN32
    DWORD previous = 0;
    return VirtualProtect(page, bytes, PAGE_NOACCESS, &previous) != 0;
#else
    return mprotect(page, bytes, PROT_NONE) == 0;
#endif
}

void unmapPages(char* start, std::size_t bytes) {
#ifdef _WIN32
    (void)bytes;
    VirtualFree(start, 0, MEM_RELEASE);
#else
    munmap(start, bytes);
#endif
}

}  // namespace

GuardedPages::GuardedPages(std::size_t usableBytes) : page_(pageSize()) {
    usable_ = (std::max<std::size_t>(usableBytes, 1) + page_ - 1) / page_ * page_;
    start_ = mapPages(usable_ + page_);
    if (start_ != nullptr && !forbid(start_ + usable_, page_)) {
        unmapPages(start_, usable_ + page_);
        start_ = nullptr;
    }
}

GuardedPages::~GuardedPages() {
    if (start_ != nullptr) {
        unmapPages(start_, usable_ + page_);
    }
}

GuardedPages::GuardedPages(GuardedPages&& other) noexcept
    : start_(std::exchange(other.start_, nullptr)), usable_(other.usable_), page_(other.page_) {}
