// Channel blocks that end right at a guard page, so that a plug-in reading
// or writing a single sample past its block faults at once, even when it
// never uses the value it read; the fault then ends the check with an error
// naming the channel and the plug-in call.
#pragma once

#include <cstddef>
#include <vector>

#include "support/guarded_pages.h"

enum class BlockRole { Input, Output };

class ProtectedBlocks {
public:
    // `channels` blocks of `frames` samples. While the blocks live, a fault
    // on one of their protected pages ends the check (see
    // endCheckWithError) instead of crashing it.
    ProtectedBlocks(BlockRole role, int channels, std::size_t frames);
    ~ProtectedBlocks();
    ProtectedBlocks(const ProtectedBlocks&) = delete;
    ProtectedBlocks& operator=(const ProtectedBlocks&) = delete;

    // False when the platform would not give or protect the pages.
    bool ok() const { return ok_; }
    float** pointers() { return pointers_.data(); }
    float* channel(int index) { return pointers_[static_cast<std::size_t>(index)]; }

private:
    std::vector<GuardedPages> pages_;
    std::vector<float*> pointers_;
    bool ok_ = true;
};
