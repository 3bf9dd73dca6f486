// The device objects' reference count: releases past zero change nothing, and of releases racing
// to zero exactly one is the last.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "render/software/reference_count.h"

namespace gs::render::software {
namespace {

TEST(ReferenceCount, OnlyTheReleaseThatEndsTheCountIsTheLastAndLaterOnesAreIgnored) {
    ReferenceCount count(1);
    EXPECT_EQ(count.add(), 2u);
    const ReferenceCount::Released first = count.release();
    EXPECT_EQ(first.left, 1u);
    EXPECT_FALSE(first.last);
    const ReferenceCount::Released second = count.release();
    EXPECT_EQ(second.left, 0u);
    EXPECT_TRUE(second.last);
    // Once too often: no wrap to ULONG's maximum, and no second "last" to free the object again.
    const ReferenceCount::Released extra = count.release();
    EXPECT_EQ(extra.left, 0u);
    EXPECT_FALSE(extra.last);
    EXPECT_EQ(count.add(), 1u);
}

// Every thread releases its share and then once more: the count ends at zero, not wrapped, and
// exactly one release saw it end.
TEST(ReferenceCount, ReleasesFromManyThreadsEndTheCountOnce) {
    constexpr int kThreads = 8;
    constexpr int kEach = 20000;
    ReferenceCount count(kThreads * kEach);
    std::atomic<int> lasts{0};
    std::atomic<int> ignored{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i <= kEach; ++i) {
                const ReferenceCount::Released r = count.release();
                lasts += r.last ? 1 : 0;
                ignored += (!r.last && r.left == 0) ? 1 : 0;
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(lasts.load(), 1);
    EXPECT_EQ(ignored.load(), kThreads);
    EXPECT_EQ(count.add(), 1u);
}

}  // namespace
}  // namespace gs::render::software
