#include "tests/differential/frame_comparison.h"

#include <algorithm>
#include <bit>
#include <cstdlib>

namespace gs::differential {

namespace {

int channelDifference(std::uint32_t a, std::uint32_t b, int shift) {
    return std::abs(static_cast<int>((a >> shift) & 0xFFu) -
                    static_cast<int>((b >> shift) & 0xFFu));
}

int bucketOf(int difference) {
    // 0, 1, 2, then one bucket per power of two: 3-4, 5-8, ... 65+.
    if (difference <= 2) {
        return difference;
    }
    const int bucket = 1 + std::bit_width(static_cast<unsigned>(difference - 1));
    return std::min(bucket, FrameAgreement::kBuckets - 1);
}

}  // namespace

void FrameAgreement::add(const FrameAgreement& other) {
    for (int i = 0; i < kBuckets; ++i) {
        histogram[i] += other.histogram[i];
    }
    pixels += other.pixels;
    agreeing += other.agreeing;
    largestDifference = std::max(largestDifference, other.largestDifference);
}

int FrameAgreement::bucketFloor(int bucket) {
    return bucket <= 2 ? bucket : (1 << (bucket - 2)) + 1;
}

FrameAgreement compareFrames(const std::uint32_t* actual, const std::uint32_t* expected,
                             std::size_t count, int tolerance) {
    FrameAgreement result;
    result.pixels = count;
    for (std::size_t i = 0; i < count; ++i) {
        const int difference = std::max({channelDifference(actual[i], expected[i], 16),
                                         channelDifference(actual[i], expected[i], 8),
                                         channelDifference(actual[i], expected[i], 0)});
        ++result.histogram[bucketOf(difference)];
        result.agreeing += difference <= tolerance;
        result.largestDifference = std::max(result.largestDifference, difference);
    }
    return result;
}

}  // namespace gs::differential
