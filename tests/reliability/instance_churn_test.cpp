// Ten thousand instances opened, used and closed in turn must give back all
// the memory they took.
#include <gtest/gtest.h>

#include "counted_allocations.h"
#include "effect_under_test.h"

namespace {
constexpr long kInstances = 10000;

TEST(InstanceChurn, TenThousandInstancesCreatedUsedAndClosedLeaveNoMemoryBehind) {
    const counted_allocations::Snapshot before = counted_allocations::now();
    long opened = 0;
    for (long i = 0; i < kInstances; ++i) {
        AEffect* effect = reliability::openLikeAHost();
        if (effect == nullptr) {
            break;
        }
        ++opened;
        reliability::useBrieflyLikeAHost(effect);
        reliability::closeLikeAHost(effect);
    }
    const counted_allocations::Snapshot after = counted_allocations::now();

    ASSERT_EQ(opened, kInstances) << "instance " << opened + 1 << " could not be created";
    // The counter must have seen the instances at all: each takes at least
    // the instance itself and its program table.
    EXPECT_GE(after.totalBlocks - before.totalBlocks, 2 * kInstances)
        << "only " << after.totalBlocks - before.totalBlocks << " allocations counted for " << kInstances
        << " instances";
    EXPECT_EQ(after.liveBlocks - before.liveBlocks, 0)
        << after.liveBlocks - before.liveBlocks << " blocks still live after " << kInstances << " instances";
    EXPECT_EQ(after.liveBytes - before.liveBytes, 0)
        << after.liveBytes - before.liveBytes << " bytes still live after " << kInstances << " instances";
}

TEST(InstanceChurn, AnInstanceLeftOpenIsSeenAsLiveMemory) {
    // The counter's own check: an open instance shows, its close removes it.
    const counted_allocations::Snapshot before = counted_allocations::now();
    AEffect* effect = reliability::openLikeAHost();
    ASSERT_NE(effect, nullptr);
    const counted_allocations::Snapshot open = counted_allocations::now();
    reliability::closeLikeAHost(effect);
    const counted_allocations::Snapshot closed = counted_allocations::now();

    EXPECT_GE(open.liveBlocks - before.liveBlocks, 2)
        << "an open instance shows only " << open.liveBlocks - before.liveBlocks << " live blocks";
    EXPECT_GT(open.liveBytes - before.liveBytes, 0);
    EXPECT_EQ(closed.liveBlocks, before.liveBlocks);
    EXPECT_EQ(closed.liveBytes, before.liveBytes);
}
}  // namespace
