// Clear, ColorFill and StretchRect on the real Direct3D 9: whole surfaces, single texels, the
// point mapping of scaled copies, and the renderer's two copies (the half-size feedback capture
// and the one-texel shift of a colour history).
#include <utility>

#include "real_device.h"

namespace gs::render::d3d9::testing {
namespace {

// A colour for every pixel of a 256 x 256 area, so that a copy shows where each pixel came from.
constexpr Colour patternColour(int x, int y) {
    return 0xFF000000u | (static_cast<Colour>(x) << 16) | (static_cast<Colour>(y) << 8) | 0x5A;
}
constexpr int patternX(Rgb c) {
    return static_cast<int>(red(c));
}
constexpr int patternY(Rgb c) {
    return static_cast<int>(green(c));
}

class Copies : public RealDeviceTest {
protected:
    void fillPattern(Surface* surface, int width, int height) {
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                fillPixel(surface, x, y, patternColour(x, y));
            }
        }
    }
};

TEST_F(Copies, ClearAndColorFillSetEveryPixelOfTheirArea) {
    ASSERT_EQ(device_->Clear(0, nullptr, kClearTarget, 0xFF123456, 1.0f, 0), S_OK);
    const int w = static_cast<int>(mode_.Width);
    const int h = static_cast<int>(mode_.Height);
    const Pixels frame = readBackBuffer(w, h);
    for (const auto& [x, y] :
         {std::pair{0, 0}, {w - 1, 0}, {0, h - 1}, {w - 1, h - 1}, {w / 2, h / 3}}) {
        EXPECT_EQ(frame.at(x, y), rgb(0x12, 0x34, 0x56)) << x << ", " << y;
    }

    // A history strip as device creation leaves it, then the frame's new colour in texel 0.
    Target strip = makeTarget(50, 1);
    ASSERT_EQ(device_->ColorFill(strip.surface, nullptr, 0xFF004600), S_OK);
    const RECT head{0, 0, 1, 1};
    ASSERT_EQ(device_->ColorFill(strip.surface, &head, 0xFF2A1500), S_OK);
    const Pixels texels = Pixels::read(strip.surface, 50, 1);
    EXPECT_EQ(texels.at(0, 0), rgb(0x2A, 0x15, 0x00));
    for (int x = 1; x < 50; ++x) {
        EXPECT_EQ(texels.at(x, 0), rgb(0x00, 0x46, 0x00)) << x;
    }

    // A rectangle reaching outside the surface is refused and nothing is filled.
    const RECT beyond{45, 0, 51, 1};
    EXPECT_TRUE(FAILED(device_->ColorFill(strip.surface, &beyond, 0xFFFFFFFF)));
    EXPECT_EQ(Pixels::read(strip.surface, 50, 1).at(49, 0), rgb(0x00, 0x46, 0x00));
}

// With D3DTEXF_NONE each destination pixel takes the source pixel under its centre: along each
// axis, counted from the rectangles' corners, destination d maps to s = (d + 0.5) x source size /
// destination size and takes pixel floor(s). Where s falls exactly on the border between two
// pixels (every pixel of an exact 2:1 reduction), Wine takes either of the two, varying across
// the surface with the rounding of its interpolation.
struct Picks {
    int lowest, highest;
};
Picks sourcePixelFor(int d, int sourceSize, int destinationSize) {
    const int numerator = (2 * d + 1) * sourceSize;
    const int denominator = 2 * destinationSize;
    const int s = numerator / denominator;
    return numerator % denominator == 0 ? Picks{s - 1, s} : Picks{s, s};
}
::testing::AssertionResult picked(int source, Picks allowed) {
    if (source >= allowed.lowest && source <= allowed.highest) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure()
           << "took pixel " << source << ", expected " << allowed.lowest << ".." << allowed.highest;
}

TEST_F(Copies, ScaledCopyTakesTheSourcePixelUnderEachDestinationCentre) {
    const std::pair<int, int> sizes[] = {{8, 4}, {10, 4}, {9, 4},  {5, 3}, {7, 2},
                                         {3, 5}, {2, 7},  {11, 5}, {1, 3}, {16, 16}};
    Target source = makeTarget(16, 1);
    Target destination = makeTarget(16, 1);
    fillPattern(source.surface, 16, 1);
    for (const auto& [from, to] : sizes) {
        const RECT sourceRect{0, 0, from, 1};
        const RECT destinationRect{0, 0, to, 1};
        ASSERT_EQ(device_->StretchRect(source.surface, &sourceRect, destination.surface,
                                       &destinationRect, TextureFilter::None),
                  S_OK);
        const Pixels copied = Pixels::read(destination.surface, to, 1);
        for (int x = 0; x < to; ++x) {
            EXPECT_TRUE(picked(patternX(copied.at(x, 0)), sourcePixelFor(x, from, to)))
                << from << " -> " << to << " at " << x;
        }
    }
}

TEST_F(Copies, FeedbackCaptureScalesTheFrameIntoAHalfSizeTexture) {
    // A 10 x 9 frame in the back buffer's corner into a 4 x 3 texture: no pixel centre falls on
    // a border, so every pick is certain.
    fillPattern(backBuffer(), 10, 9);
    Target small = makeTarget(4, 3);
    const RECT frame{0, 0, 10, 9};
    ASSERT_EQ(
        device_->StretchRect(backBuffer(), &frame, small.surface, nullptr, TextureFilter::None),
        S_OK);
    const Pixels captured = Pixels::read(small.surface, 4, 3);
    const int columns[] = {1, 3, 6, 8};
    const int rows[] = {1, 4, 7};
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 4; ++x) {
            EXPECT_EQ(captured.at(x, y), patternColour(columns[x], rows[y]) & 0xFFFFFF)
                << x << ", " << y;
        }
    }

    // The renderer's own case: the whole back buffer into half its size. Every destination
    // pixel takes one of the 2 x 2 source pixels it covers.
    constexpr int kArea = 64;
    fillPattern(backBuffer(), kArea, kArea);
    Target half = makeTarget(mode_.Width / 2, mode_.Height / 2);
    ASSERT_EQ(
        device_->StretchRect(backBuffer(), nullptr, half.surface, nullptr, TextureFilter::None),
        S_OK);
    const Pixels halved = Pixels::read(half.surface, kArea / 2, kArea / 2);
    for (int y = 0; y < kArea / 2; ++y) {
        for (int x = 0; x < kArea / 2; ++x) {
            const Rgb c = halved.at(x, y);
            EXPECT_EQ(blue(c), 0x5Au) << x << ", " << y;
            EXPECT_TRUE(picked(patternX(c), Picks{2 * x, 2 * x + 1})) << x << ", " << y;
            EXPECT_TRUE(picked(patternY(c), Picks{2 * y, 2 * y + 1})) << x << ", " << y;
        }
    }
}

TEST_F(Copies, SourceRectangleBeyondTheSurfaceIsRefused) {
    // What the renderer meets when the player's rectangle is larger than the display: the
    // capture fails and the feedback texture keeps its previous picture.
    Target feedback = makeTarget(8, 8);
    ASSERT_EQ(device_->ColorFill(feedback.surface, nullptr, 0xFFFFFFFF), S_OK);
    const RECT tooWide{0, 0, static_cast<LONG>(mode_.Width) + 2, 16};
    EXPECT_EQ(device_->StretchRect(backBuffer(), &tooWide, feedback.surface, nullptr,
                                   TextureFilter::None),
              kErrInvalidCall);
    EXPECT_EQ(Pixels::read(feedback.surface, 8, 8).at(4, 4), 0xFFFFFFu);
}

TEST_F(Copies, HistoryShiftMovesEveryTexelOneAlongThroughTheScratchSurface) {
    constexpr int kLength = 6;
    Target strip = makeTarget(kLength, 1);
    Target scratch = makeTarget(kLength, 1);
    fillPattern(strip.surface, kLength, 1);

    ASSERT_EQ(
        device_->StretchRect(strip.surface, nullptr, scratch.surface, nullptr, TextureFilter::None),
        S_OK);
    const RECT head{0, 0, 1, 1};
    ASSERT_EQ(device_->ColorFill(strip.surface, &head, 0xFF0A00FC), S_OK);
    const RECT older{0, 0, kLength - 1, 1};
    const RECT shifted{1, 0, kLength, 1};
    ASSERT_EQ(
        device_->StretchRect(scratch.surface, &older, strip.surface, &shifted, TextureFilter::None),
        S_OK);

    const Pixels texels = Pixels::read(strip.surface, kLength, 1);
    EXPECT_EQ(texels.at(0, 0), rgb(0x0A, 0x00, 0xFC));
    for (int x = 1; x < kLength; ++x) {
        EXPECT_EQ(texels.at(x, 0), patternColour(x - 1, 0) & 0xFFFFFF) << x;
    }
}

}  // namespace
}  // namespace gs::render::d3d9::testing
