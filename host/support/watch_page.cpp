#include "support/watch_page.h"

#include <atomic>
#include <cstring>

namespace {

WatchPage ownPage{};
std::atomic<WatchPage*> currentPage{&ownPage};

}  // namespace

WatchPage& watchPage() {
    return *currentPage.load();
}

void watchOn(WatchPage* shared) {
    currentPage.store(shared != nullptr ? shared : &ownPage);
}

void clearWatchPage(WatchPage& page) {
    clearPluginCalls(page.calls);
    page.step.clear();
    page.pendingOutput.clear();
    page.ending.kind = EndingKind::None;
    page.finished = 0;
}

void recordEnding(WatchPage& page, const Ending& ending) {
    if (page.ending.kind != EndingKind::None) {
        return;
    }
    page.ending.code = ending.code;
    std::memcpy(page.ending.text, ending.text, sizeof page.ending.text);
    std::atomic_signal_fence(std::memory_order_seq_cst);
    page.ending.kind = ending.kind;
}
