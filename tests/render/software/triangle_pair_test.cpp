// Two triangles that share an edge, rasterised together: the pixels they cover apart, each once,
// in fewer spans.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "render/software/rasterizer.h"

namespace gs::render::software {
namespace {

// Records spans as pixel counts, and how many spans came.
struct CoverageSink final : SpanSink {
    static constexpr int kWidth = 40, kHeight = 30;
    std::vector<int> counts = std::vector<int>(kWidth * kHeight);
    int spans = 0;
    void span(int y, int x0, int x1) override {
        ++spans;
        for (int x = x0; x < x1; ++x) {
            ++counts[static_cast<std::size_t>(y * kWidth + x)];
        }
    }
};

TEST(TrianglePairTest, HalvesThatShareAnEdgeCoverWhatTheyCoverApartInOneSpanPerRow) {
    const RasterTarget target{CoverageSink::kWidth, CoverageSink::kHeight};
    std::mt19937 random(5);
    std::uniform_real_distribution<float> coordinate(-8.0f, 48.0f);
    int paired = 0;
    for (int round = 0; round < 400; ++round) {
        float x[4], y[4];
        for (int k = 0; k < 4; ++k) {
            x[k] = std::round(coordinate(random) * 2) / 2;
            y[k] = std::round(coordinate(random) * 2) / 2;
        }
        // Fan halves: (1, 2, 0) and (2, 3, 0), sharing the edge 2-0.
        const float ax[3] = {x[1], x[2], x[0]}, ay[3] = {y[1], y[2], y[0]};
        const float bx[3] = {x[2], x[3], x[0]}, by[3] = {y[2], y[3], y[0]};
        CoverageSink apart, together;
        rasterizeTriangle(ax, ay, target, apart);
        rasterizeTriangle(bx, by, target, apart);
        if (!rasterizeTrianglePair(ax, ay, bx, by, target, together)) {
            // Halves on the same side of their edge overlap: they must be drawn apart.
            EXPECT_EQ(together.spans, 0);
            continue;
        }
        ++paired;
        ASSERT_EQ(together.counts, apart.counts) << "round " << round;
        for (int count : together.counts) {
            ASSERT_LE(count, 1) << "round " << round;
        }
        EXPECT_LE(together.spans, apart.spans);
    }
    EXPECT_GT(paired, 100);

    // A target-filling quad split along its diagonal: one span per row.
    const float w = CoverageSink::kWidth, h = CoverageSink::kHeight;
    const float ax[3] = {w, w, 0}, ay[3] = {0, h, 0}, bx[3] = {w, 0, 0}, by[3] = {h, h, 0};
    CoverageSink quad;
    ASSERT_TRUE(rasterizeTrianglePair(ax, ay, bx, by, target, quad));
    EXPECT_EQ(quad.spans, CoverageSink::kHeight);
    EXPECT_EQ(quad.counts, std::vector<int>(CoverageSink::kWidth * CoverageSink::kHeight, 1));

    // Triangles without a shared edge, or with no area, are left to rasterizeTriangle.
    const float cx[3] = {w, w + 1, 0}, cy[3] = {0, h, 1};
    const float flatX[3] = {0, 10, 20}, flatY[3] = {0, 1, 2};
    CoverageSink none;
    EXPECT_FALSE(rasterizeTrianglePair(ax, ay, cx, cy, target, none));
    EXPECT_FALSE(rasterizeTrianglePair(flatX, flatY, ax, ay, target, none));
    EXPECT_EQ(none.spans, 0);
}

}  // namespace
}  // namespace gs::render::software
