// Memory that ends right before a page the process may not touch, so that a
// read or write one byte past its end faults at once (mprotect on POSIX
// systems, VirtualProtect on Windows). Whoever places data at the end
// claims the faults on the guard page (fatal_handlers::claimFaults).
#pragma once

#include <cstddef>

class GuardedPages {
public:
    // At least `usableBytes` in whole pages, then the guard page. ok() is
    // false when the system would not give or protect them.
    explicit GuardedPages(std::size_t usableBytes);
    ~GuardedPages();
    GuardedPages(GuardedPages&& other) noexcept;
    GuardedPages& operator=(GuardedPages&&) = delete;
    GuardedPages(const GuardedPages&) = delete;
    GuardedPages& operator=(const GuardedPages&) = delete;

    bool ok() const { return start_ != nullptr; }
    // The first byte of the guard page: the usable memory ends before it.
    char* guard() const { return start_ + usable_; }
    std::size_t guardBytes() const { return page_; }

private:
    char* start_ = nullptr;
    std::size_t usable_ = 0;
    std::size_t page_ = 0;
};
