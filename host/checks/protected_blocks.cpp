#include "checks/protected_blocks.h"

#include <algorithm>
#include <atomic>
#include <cstdint>

#include "checks/isolation.h"
#include "plugin/plugin_calls.h"
#include "support/fatal_handlers.h"
#include "support/fixed_text.h"

namespace {

// A guard page and the channel whose block ends before it.
struct Region {
    std::uintptr_t first = 0;
    std::uintptr_t end = 0;
    BlockRole role = BlockRole::Input;
    int channel = 0;
};

// The regions the fault claim knows, in a table it can read without
// allocating; a handful of blocks are alive at a time.
constexpr std::size_t kMaxRegions = 2 * 4096 + 16;
Region regions[kMaxRegions];
std::atomic<std::size_t> regionCount{0};
std::atomic<int> liveBlocks{0};

// Ends the check when `address` lies on a guard page; returns otherwise.
void claimFault(std::uintptr_t address, fatal_handlers::FaultAccess access) {
    using fatal_handlers::FaultAccess;
    const std::size_t count = regionCount.load();
    for (std::size_t i = 0; i < count; ++i) {
        const Region& region = regions[i];
        if (address < region.first || address >= region.end) {
            continue;
        }
        static char message[1024];
        FixedText text(message, sizeof message);
        text.text(access == FaultAccess::Read    ? "reads past the end of "
                  : access == FaultAccess::Write ? "writes past the end of "
                                                 : "reaches past the end of ");
        text.text(region.role == BlockRole::Input ? "input channel " : "output channel ").number(region.channel);
        char calls[512];
        describeCallsInProgress(pluginCallBoard(), calls, sizeof calls);
        text.text(" in ").text(calls[0] != '\0' ? calls : "a call of the host's own");
        endCheckWithError(message);
    }
}

}  // namespace

ProtectedBlocks::ProtectedBlocks(BlockRole role, int channels, std::size_t frames) {
    for (int channel = 0; channel < std::max(channels, 1); ++channel) {
        GuardedPages pages(std::max<std::size_t>(frames, 1) * sizeof(float));
        const std::size_t index = regionCount.load();
        if (!pages.ok() || index >= kMaxRegions) {
            ok_ = false;
            break;
        }
        pointers_.push_back(reinterpret_cast<float*>(pages.guard()) - frames);
        const auto guard = reinterpret_cast<std::uintptr_t>(pages.guard());
        regions[index] = {guard, guard + pages.guardBytes(), role, channel};
        regionCount.store(index + 1);
        pages_.push_back(std::move(pages));
    }
    if (liveBlocks.fetch_add(1) == 0) {
        fatal_handlers::claimFaults(claimFault);
    }
}

ProtectedBlocks::~ProtectedBlocks() {
    if (liveBlocks.fetch_sub(1) == 1) {
        fatal_handlers::claimFaults(nullptr);
        regionCount.store(0);
    }
}
