#include "tests/differential/frame_comparison.h"

#include <gtest/gtest.h>

#include <vector>

namespace gs::differential {
namespace {

TEST(FrameComparisonTest, APixelAgreesWhileItsLargestChannelDifferenceIsWithinTolerance) {
    const std::vector<std::uint32_t> expected = {0x00102030u, 0x00102030u, 0x00102030u, 0x00102030u,
                                                 0x00FFFFFFu};
    const std::vector<std::uint32_t> actual = {
        0xAB102030u,  // only the unused fourth byte differs
        0x00162030u,  // red 6 up: at the tolerance
        0x0010202Au,  // blue 6 down: at the tolerance
        0x00101930u,  // green 7 down: beyond it, though red and blue match
        0x00000000u,  // every channel 255 off
    };
    const FrameAgreement result = compareFrames(actual.data(), expected.data(), 5, 6);
    EXPECT_EQ(result.pixels, 5u);
    EXPECT_EQ(result.agreeing, 3u);
    EXPECT_DOUBLE_EQ(result.agreement(), 0.6);
    EXPECT_EQ(result.largestDifference, 255);
    // 0, 6, 6, 7, 255: buckets 0, 5-8 (three) and 65+.
    EXPECT_EQ(result.histogram[0], 1u);
    EXPECT_EQ(result.histogram[4], 3u);
    EXPECT_EQ(result.histogram[8], 1u);
}

TEST(FrameComparisonTest, BucketsDoubleFromThreeAndTotalsAccumulate) {
    const int floors[FrameAgreement::kBuckets] = {0, 1, 2, 3, 5, 9, 17, 33, 65};
    std::vector<std::uint32_t> expected;
    std::vector<std::uint32_t> actual;
    for (int bucket = 0; bucket < FrameAgreement::kBuckets; ++bucket) {
        EXPECT_EQ(FrameAgreement::bucketFloor(bucket), floors[bucket]);
        // The lowest and the highest difference of each bucket land in it.
        const int highest = bucket + 1 < FrameAgreement::kBuckets ? floors[bucket + 1] - 1 : 255;
        for (int difference : {floors[bucket], highest}) {
            expected.push_back(0);
            actual.push_back(static_cast<std::uint32_t>(difference) << 8);
        }
    }
    FrameAgreement total;
    total.add(compareFrames(actual.data(), expected.data(), actual.size(), 2));
    total.add(compareFrames(expected.data(), expected.data(), 4, 2));
    for (int bucket = 0; bucket < FrameAgreement::kBuckets; ++bucket) {
        EXPECT_EQ(total.histogram[bucket], bucket == 0 ? 6u : 2u) << "bucket " << bucket;
    }
    EXPECT_EQ(total.pixels, actual.size() + 4);
    EXPECT_EQ(total.agreeing, 6u + 4u);  // differences 0, 0, 1, 1, 2, 2, and the identical four
    EXPECT_EQ(total.largestDifference, 255);
    EXPECT_DOUBLE_EQ(FrameAgreement().agreement(), 1.0);
}

}  // namespace
}  // namespace gs::differential
