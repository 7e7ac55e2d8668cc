#include "plugin/allocation_counter.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <thread>
#include <vector>

namespace {

class AllocationCounter : public ::testing::Test {
protected:
    void SetUp() override {
#ifdef _WIN32
        GTEST_SKIP() << "on Windows only the plug-in modules the host loads are counted";
#endif
        if (!allocation_counter::available()) {
            GTEST_SKIP() << "this build does not count allocations";
        }
    }
};

TEST_F(AllocationCounter, CountsMallocAndNewOnThisThreadInsideTheScope) {
    allocation_counter::Scope scope;
    void* volatile block = std::malloc(32);
    auto object = std::make_unique<std::vector<int>>(100);
    void* volatile zeroed = std::calloc(4, 8);
    block = std::realloc(block, 4096);
    const long seen = scope.count();
    std::free(block);
    std::free(zeroed);
    EXPECT_EQ(seen, 5) << "malloc, new for the vector object, new for its storage, calloc and realloc";
}

TEST_F(AllocationCounter, FreeingAndWorkingWithoutTheHeapCountNothing) {
    void* block = std::malloc(16);
    allocation_counter::Scope scope;
    std::free(block);
    volatile int sum = 0;
    for (int i = 0; i < 1000; ++i) {
        sum += i;
    }
    EXPECT_EQ(scope.count(), 0);
}

TEST_F(AllocationCounter, IgnoresOtherThreadsAndTimeOutsideTheScope) {
    std::unique_ptr<int> before = std::make_unique<int>(1);
    long seen = 0;
    {
        allocation_counter::Scope scope;
        std::thread other([] {
            for (int i = 0; i < 10; ++i) {
                void* volatile block = std::malloc(8);
                std::free(block);
            }
        });
        other.join();
        seen = scope.count();
    }
    std::unique_ptr<int> after = std::make_unique<int>(2);
    // Starting the thread may allocate on this thread (its state block), but
    // the ten allocations made on the other thread must not show.
    EXPECT_LE(seen, 2) << "allocations counted on this thread";
}

}  // namespace
