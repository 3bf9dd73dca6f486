// How closely two renderings of the same frame agree: per pixel, the largest difference of its
// red, green and blue channels; a pixel agrees when that stays within the tolerance.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace gs::differential {

struct FrameAgreement {
    // Pixels by their largest channel difference: 0, 1, 2, 3-4, 5-8, 9-16, 17-32, 33-64, 65+.
    static constexpr int kBuckets = 9;
    std::array<std::size_t, kBuckets> histogram = {};
    std::size_t pixels = 0;
    std::size_t agreeing = 0;
    int largestDifference = 0;

    double agreement() const {
        return pixels == 0 ? 1.0 : static_cast<double>(agreeing) / static_cast<double>(pixels);
    }
    // Adds another frame's counts to these.
    void add(const FrameAgreement& other);
    // The lowest difference the bucket holds.
    static int bucketFloor(int bucket);
};

// Compares `count` 0x00RRGGBB pixels; the fourth byte is ignored.
FrameAgreement compareFrames(const std::uint32_t* actual, const std::uint32_t* expected,
                             std::size_t count, int tolerance);

}  // namespace gs::differential
