// Which pixels primitives cover: pixel centres at integer positions, the top-left fill
// convention, culling, clipping and points.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <random>
#include <vector>

#include "tests/render/software/device_test_support.h"

namespace gs::render::software::testing {
namespace {

// Every covered pixel gains 1/255 in each channel, so a pixel's value counts how often it was
// covered: shared edges drawn twice or pixels left out both show.
class SoftwareRasterizationTest : public DeviceTest {
protected:
    void SetUp() override {
        DeviceTest::SetUp();
        ASSERT_EQ(device_->Clear(0, nullptr, kClearTarget, 0xFF000000u, 1.0f, 0), S_OK);
        addDiffuseColours();
        ASSERT_EQ(device_->BeginScene(), S_OK);
    }
    void TearDown() override {
        EXPECT_EQ(device_->EndScene(), S_OK);
        DeviceTest::TearDown();
    }

    static ColourVertex at(float x, float y) { return {x, y, 0.5f, 1.0f, 0x01010101u}; }

    void triangle(ColourVertex a, ColourVertex b, ColourVertex c) {
        const ColourVertex v[3] = {a, b, c};
        ASSERT_EQ(draw(PrimitiveType::TriangleList, 1, v, kFvfColour), S_OK);
    }

    // Cover count per pixel, row after row.
    std::vector<int> coverage() {
        std::vector<int> counts;
        for (Colour c : pixels(backBuffer_)) {
            counts.push_back(static_cast<int>(c & 0xFF));
        }
        return counts;
    }
    std::vector<int> expectedCoverage(bool (*covered)(int x, int y)) {
        std::vector<int> counts;
        for (int y = 0; y < int(height()); ++y) {
            for (int x = 0; x < int(width()); ++x) {
                counts.push_back(covered(x, y) ? 1 : 0);
            }
        }
        return counts;
    }
};

TEST_F(SoftwareRasterizationTest, AFullTargetQuadCoversEveryPixelOnce) {
    const float w = float(kWidth), h = float(kHeight);
    const ColourVertex fan[4] = {at(0, 0), at(w, 0), at(w, h), at(0, h)};
    ASSERT_EQ(draw(PrimitiveType::TriangleFan, 2, fan, kFvfColour), S_OK);
    EXPECT_EQ(coverage(), expectedCoverage([](int, int) { return true; }));
}

TEST_F(SoftwareRasterizationTest, EdgesThroughPixelCentresFollowTheTopLeftRule) {
    // The rectangle (0,0)-(5,5) split along its diagonal: the first triangle owns the diagonal
    // (its left edge), 15 pixels; the second 10.
    triangle(at(0, 0), at(5, 0), at(5, 5));
    EXPECT_EQ(coverage(), expectedCoverage([](int x, int y) { return x < 5 && y <= x; }));
    triangle(at(0, 5), at(0, 0), at(5, 5));
    EXPECT_EQ(coverage(), expectedCoverage([](int x, int y) { return x < 5 && y < 5; }));
}

TEST_F(SoftwareRasterizationTest, LeftAndTopEdgesAreInRightAndBottomOut) {
    // Corners on pixel centres: (1,1)-(4,3) covers columns 1..3 and rows 1..2.
    const ColourVertex quad[4] = {at(1, 1), at(4, 1), at(4, 3), at(1, 3)};
    ASSERT_EQ(draw(PrimitiveType::TriangleFan, 2, quad, kFvfColour), S_OK);
    EXPECT_EQ(coverage(),
              expectedCoverage([](int x, int y) { return x >= 1 && x <= 3 && y >= 1 && y <= 2; }));
}

TEST_F(SoftwareRasterizationTest, HalfPixelCornersCoverTheCentresInside) {
    // (0.5,0.5)-(2.5,4.5) holds the centres 1..2 x 1..4, none on an edge.
    const ColourVertex strip[4] = {at(0.5f, 0.5f), at(2.5f, 0.5f), at(0.5f, 4.5f), at(2.5f, 4.5f)};
    ASSERT_EQ(draw(PrimitiveType::TriangleStrip, 2, strip, kFvfColour), S_OK);
    EXPECT_EQ(coverage(),
              expectedCoverage([](int x, int y) { return x >= 1 && x <= 2 && y >= 1 && y <= 4; }));
}

TEST_F(SoftwareRasterizationTest, RandomFansNeverCoverAPixelTwice) {
    std::mt19937 random(1234);
    std::uniform_real_distribution<float> coordinate(-3.0f, 19.0f);
    for (int round = 0; round < 40; ++round) {
        ASSERT_EQ(device_->Clear(0, nullptr, kClearTarget, 0xFF000000u, 1.0f, 0), S_OK);
        // A convex polygon around a centre, its corners snapped to quarter pixels so that many
        // edges pass exactly through pixel centres.
        const float cx = coordinate(random) * 0.5f + 4, cy = coordinate(random) * 0.4f + 3;
        ColourVertex fan[9];
        fan[0] = at(cx, cy);
        for (int i = 0; i < 8; ++i) {
            const float angle = float(i) * 0.785398f + 0.1f * float(round % 7);
            const float radius = 2.0f + coordinate(random) * 0.5f;
            fan[i + 1] = at(std::round((cx + radius * std::cos(angle)) * 4) / 4,
                            std::round((cy + radius * std::sin(angle)) * 4) / 4);
        }
        ASSERT_EQ(draw(PrimitiveType::TriangleFan, 7, fan, kFvfColour), S_OK);
        for (int count : coverage()) {
            ASSERT_LE(count, 1) << "round " << round;
        }
    }
}

// Quads drawn as fans of two triangles, whose halves the device rasterises together where they
// shade alike, against the same halves drawn one draw at a time: the same pixels, each covered
// once, with the same values. Colours affine across the quad (halves that shade alike) and not.
TEST_F(SoftwareRasterizationTest, QuadHalvesDrawnTogetherCoverAndShadeAsDrawnApart) {
    std::mt19937 random(99);
    std::uniform_real_distribution<float> coordinate(-2.0f, 18.0f);
    for (int round = 0; round < 60; ++round) {
        // Corners on quarter pixels, so that edges often pass through pixel centres; a third of
        // the quads axis-aligned with corners on pixel centres, as a target-filling quad.
        ColourVertex quad[4];
        const bool aligned = round % 3 == 0;
        const float x0 = std::round(coordinate(random)), x1 = std::round(coordinate(random));
        const float y0 = std::round(coordinate(random)), y1 = std::round(coordinate(random));
        for (int k = 0; k < 4; ++k) {
            quad[k] = aligned ? at(k == 1 || k == 2 ? x1 : x0, k >= 2 ? y1 : y0)
                              : at(std::round(coordinate(random) * 4) / 4,
                                   std::round(coordinate(random) * 4) / 4);
        }
        // Affine colours: blue grows with x, green with y (exact in every plane); or one corner
        // off the plane.
        for (ColourVertex& v : quad) {
            const auto blue = static_cast<Colour>(std::clamp(v.x * 8.0f + 16.0f, 0.0f, 255.0f));
            const auto green = static_cast<Colour>(std::clamp(v.y * 8.0f + 16.0f, 0.0f, 255.0f));
            v.diffuse = 0xFF000000u | green << 8 | blue;
        }
        const bool affine = round % 2 == 0;
        if (!affine) {
            quad[2].diffuse ^= 0x00300000u;
        }
        ASSERT_EQ(device_->Clear(0, nullptr, kClearTarget, 0xFF000000u, 1.0f, 0), S_OK);
        ASSERT_EQ(draw(PrimitiveType::TriangleFan, 2, quad, kFvfColour), S_OK);
        const std::vector<Colour> together = pixels(backBuffer_);
        ASSERT_EQ(device_->Clear(0, nullptr, kClearTarget, 0xFF000000u, 1.0f, 0), S_OK);
        const ColourVertex halves[2][3] = {{quad[1], quad[2], quad[0]},
                                           {quad[2], quad[3], quad[0]}};
        for (const auto& half : halves) {
            ASSERT_EQ(draw(PrimitiveType::TriangleList, 1, half, kFvfColour), S_OK);
        }
        EXPECT_EQ(together, pixels(backBuffer_)) << "round " << round;
    }
}

TEST_F(SoftwareRasterizationTest, CullingFollowsTheWindingOnScreen) {
    const ColourVertex clockwise[3] = {at(0, 0), at(4, 0), at(0, 4)};
    const ColourVertex counterClockwise[3] = {at(8, 0), at(8, 4), at(12, 0)};
    auto drawBoth = [&] {
        ASSERT_EQ(draw(PrimitiveType::TriangleList, 1, clockwise, kFvfColour), S_OK);
        ASSERT_EQ(draw(PrimitiveType::TriangleList, 1, counterClockwise, kFvfColour), S_OK);
    };
    device_->SetRenderState(RenderStateType::CullMode, DWORD(Cull::CounterClockwise));
    drawBoth();
    EXPECT_EQ(target(1, 1) & 0xFF, 1u);
    EXPECT_EQ(target(9, 1) & 0xFF, 0u);
    device_->SetRenderState(RenderStateType::CullMode, DWORD(Cull::Clockwise));
    drawBoth();
    EXPECT_EQ(target(1, 1) & 0xFF, 1u);
    EXPECT_EQ(target(9, 1) & 0xFF, 1u);
    device_->SetRenderState(RenderStateType::CullMode, DWORD(Cull::None));
    drawBoth();
    EXPECT_EQ(target(1, 1) & 0xFF, 2u);
    EXPECT_EQ(target(9, 1) & 0xFF, 2u);
}

TEST_F(SoftwareRasterizationTest, HugeAndBrokenCoordinatesAreClippedOrDropped) {
    // Corners a million pixels out still cover the whole target, once.
    const ColourVertex huge[3] = {at(-1e6f, -1e6f), at(3e7f, -1e6f), at(-1e6f, 3e7f)};
    ASSERT_EQ(draw(PrimitiveType::TriangleList, 1, huge, kFvfColour), S_OK);
    EXPECT_EQ(coverage(), expectedCoverage([](int, int) { return true; }));
    const float nan = std::nanf("");
    const float inf = INFINITY;
    const ColourVertex broken[6] = {at(nan, 0), at(4, 0),   at(0, 4),
                                    at(0, 0),   at(inf, 0), at(0, -inf)};
    ASSERT_EQ(draw(PrimitiveType::TriangleList, 2, broken, kFvfColour), S_OK);
    const PointVertex points[2] = {{nan, 3, 0, 1, 4.0f, 0x01010101u},
                                   {1e30f, -1e30f, 0, 1, 1e30f, 0x01010101u}};
    ASSERT_EQ(draw(PrimitiveType::PointList, 2, points, kFvfPoint), S_OK);
    EXPECT_EQ(coverage(), expectedCoverage([](int, int) { return true; }));
}

class SoftwarePointTest : public SoftwareRasterizationTest {
protected:
    void point(float x, float y, float size) {
        const PointVertex v = {x, y, 0.5f, 1.0f, size, 0x01010101u};
        ASSERT_EQ(draw(PrimitiveType::PointList, 1, &v, kFvfPoint), S_OK);
    }
    // The pixels x0..x1 x y0..y1 (inclusive) and nothing else.
    std::vector<int> square(int x0, int y0, int x1, int y1) {
        std::vector<int> counts;
        for (int y = 0; y < int(height()); ++y) {
            for (int x = 0; x < int(width()); ++x) {
                counts.push_back(x >= x0 && x <= x1 && y >= y0 && y <= y1 ? 1 : 0);
            }
        }
        return counts;
    }
    void clear() { ASSERT_EQ(device_->Clear(0, nullptr, kClearTarget, 0xFF000000u, 1, 0), S_OK); }
};

TEST_F(SoftwarePointTest, PointsAreSquaresOfTheirSizeAroundTheirCentre) {
    point(5, 5, 1.0f);
    EXPECT_EQ(coverage(), square(5, 5, 5, 5));
    clear();
    point(5, 5, 2.5f);  // [3.75, 6.25)
    EXPECT_EQ(coverage(), square(4, 4, 6, 6));
    clear();
    point(5, 5, 4.0f);  // [3, 7): the left and top edges through centres are in
    EXPECT_EQ(coverage(), square(3, 3, 6, 6));
    clear();
    point(5.5f, 6.5f, 2.0f);  // [4.5, 6.5) x [5.5, 7.5)
    EXPECT_EQ(coverage(), square(5, 6, 6, 7));
    clear();
    point(0, 0, 4.0f);  // clipped at the top-left corner
    EXPECT_EQ(coverage(), square(0, 0, 1, 1));
    clear();
    point(float(kWidth), float(kHeight), 4.0f);  // and at the bottom-right one
    EXPECT_EQ(coverage(), square(kWidth - 2, kHeight - 2, kWidth - 1, kHeight - 1));
}

TEST_F(SoftwarePointTest, SizesAreClampedByTheStatesAndTheAdapter) {
    // Size 0 is raised to POINTSIZE_MIN, 1 by default.
    point(5, 5, 0.0f);
    EXPECT_EQ(coverage(), square(5, 5, 5, 5));
    clear();
    device_->SetRenderState(RenderStateType(155), std::bit_cast<DWORD>(0.0f));
    point(5, 5, 0.0f);
    EXPECT_EQ(coverage(), square(-1, -1, -1, -1));
    clear();
    device_->SetRenderState(RenderStateType(166), std::bit_cast<DWORD>(2.0f));  // POINTSIZE_MAX
    point(5, 5, 4.0f);
    EXPECT_EQ(coverage(), square(4, 4, 5, 5));
    clear();
    device_->SetRenderState(RenderStateType(166), std::bit_cast<DWORD>(64.0f));

    // Without a size in the vertex, POINTSIZE gives it.
    device_->SetRenderState(RenderStateType(154), std::bit_cast<DWORD>(3.0f));
    const ColourVertex plain = at(8, 8);
    ASSERT_EQ(draw(PrimitiveType::PointList, 1, &plain, kFvfColour), S_OK);
    EXPECT_EQ(coverage(), square(7, 7, 9, 9));
}

TEST(SoftwarePointCapTest, TheAdaptersMaxPointSizeLimitsPoints) {
    resetAdapter();
    AdapterSettings settings;
    settings.maxPointSize = 2.0f;
    setAdapterSettings(settings);
    Direct3D* d3d = createDirect3D(kSdkVersion);
    ASSERT_NE(d3d, nullptr);
    PresentParameters p = presentParameters(8, 8);
    Device* device = nullptr;
    ASSERT_EQ(d3d->CreateDevice(kDefaultAdapter, DeviceType::Hal, nullptr, 0, &p, &device), S_OK);
    ASSERT_EQ(device->Clear(0, nullptr, kClearTarget, 0xFF000000u, 1, 0), S_OK);
    device->SetTextureStageState(0, TextureStageState::ColorArg1, DWORD(TextureArg::Diffuse));
    device->SetTextureStageState(0, TextureStageState::ColorOp, DWORD(TextureOp::SelectArg1));
    ASSERT_EQ(device->BeginScene(), S_OK);
    const PointVertex v = {4, 4, 0, 1, 6.0f, 0xFFFFFFFFu};
    device->SetFVF(kFvfPoint);
    ASSERT_EQ(device->DrawPrimitiveUP(PrimitiveType::PointList, 1, &v, sizeof v), S_OK);
    ASSERT_EQ(device->EndScene(), S_OK);
    Surface* backBuffer = nullptr;
    ASSERT_EQ(device->GetRenderTarget(0, &backBuffer), S_OK);
    std::vector<Colour> got(64);
    ASSERT_EQ(readSurfacePixels(backBuffer, got.data(), got.size()), S_OK);
    int lit = 0;
    for (UINT y = 0; y < 8; ++y) {
        for (UINT x = 0; x < 8; ++x) {
            const bool inside = (x == 3 || x == 4) && (y == 3 || y == 4);
            lit += got[y * 8 + x] == 0xFFFFFFFFu;
            EXPECT_EQ(got[y * 8 + x], inside ? 0xFFFFFFFFu : 0xFF000000u) << x << "," << y;
        }
    }
    EXPECT_EQ(lit, 4);
    backBuffer->Release();
    device->Release();
    d3d->Release();
    EXPECT_EQ(liveObjects().total(), 0);
    resetAdapter();
}

}  // namespace
}  // namespace gs::render::software::testing
