// Clear, ColorFill and StretchRect.
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "tests/render/software/device_test_support.h"

namespace gs::render::software::testing {
namespace {

class SoftwareSurfaceOperationsTest : public DeviceTest {
protected:
    // A render-target texture whose pixel (x, y) is 0xFF00xxyy: each pixel names its position.
    void makeNumbered(UINT w, UINT h, Texture** texture, Surface** surface) {
        makeTexture(w, h, Format::X8R8G8B8, texture, surface);
        std::vector<Colour> numbered(std::size_t{w} * h);
        for (UINT y = 0; y < h; ++y) {
            for (UINT x = 0; x < w; ++x) {
                numbered[std::size_t{y} * w + x] = numberedPixel(x, y);
            }
        }
        ASSERT_EQ(writeSurfacePixels(*surface, numbered.data(), numbered.size()), S_OK);
    }
    static Colour numberedPixel(UINT x, UINT y) { return 0xFF000000u | (x << 8) | y; }
};

TEST_F(SoftwareSurfaceOperationsTest, ClearFillsTheTargetOrItsClippedRectangles) {
    ASSERT_EQ(device_->Clear(0, nullptr, kClearTarget, 0x12345678u, 1.0f, 0), S_OK);
    for (Colour c : pixels(backBuffer_)) {
        ASSERT_EQ(c, 0xFF345678u);  // X8R8G8B8 stores an opaque alpha
    }
    const RECT rects[3] = {
        {-5, -5, 2, 1},    // clipped to (0, 0)-(2, 1)
        {14, 10, 40, 40},  // clipped to the bottom-right corner
        {6, 6, 4, 8},      // inverted: nothing
    };
    ASSERT_EQ(device_->Clear(3, rects, kClearTarget, 0xFF00FF00u, 1.0f, 0), S_OK);
    const std::vector<Colour> after = pixels(backBuffer_);
    for (UINT y = 0; y < kHeight; ++y) {
        for (UINT x = 0; x < kWidth; ++x) {
            const bool first = x < 2 && y < 1;
            const bool second = x >= 14 && y >= 10;
            EXPECT_EQ(after[y * kWidth + x], first || second ? 0xFF00FF00u : 0xFF345678u)
                << x << "," << y;
        }
    }
    EXPECT_EQ(device_->Clear(1, nullptr, kClearTarget, 0, 1.0f, 0), kErrInvalidCall);
    EXPECT_EQ(device_->Clear(0, nullptr, kClearTarget | 0x2, 0, 1.0f, 0), kErrInvalidCall);
    EXPECT_EQ(device_->Clear(0, nullptr, 0x100, 0, 1.0f, 0), kErrInvalidCall);
}

// A clear of the whole target is written as the next draw reaches its pixels, and the rest when the
// draw ends or the pixels are next used. Whatever the draw, the pixels must be those of a clear
// written at once (a clear of rectangles is).
TEST_F(SoftwareSurfaceOperationsTest, AClearWrittenAsTheNextDrawGoesGivesTheSamePixels) {
    constexpr Colour kClear = 0xFF102030u;
    const RECT whole{0, 0, static_cast<LONG>(kWidth), static_cast<LONG>(kHeight)};
    const auto frame = [&](bool deferred, auto drawFirst) {
        // What the clear must hide: a picture unlike any the frames leave.
        EXPECT_EQ(device_->Clear(1, &whole, kClearTarget, 0xFFABCDEFu, 1.0f, 0), S_OK);
        EXPECT_EQ(device_->Clear(deferred ? 0 : 1, deferred ? nullptr : &whole, kClearTarget,
                                 kClear, 1.0f, 0),
                  S_OK);
        EXPECT_EQ(device_->BeginScene(), S_OK);
        addDiffuseColours();
        drawFirst();
        // A second draw over part of the first blends over what the first left.
        const ColourVertex over[3] = {
            {0, 0, 0, 1, 0xFF010101u}, {9, 0, 0, 1, 0xFF010101u}, {0, 9, 0, 1, 0xFF010101u}};
        EXPECT_EQ(draw(PrimitiveType::TriangleList, 1, over, kFvfColour), S_OK);
        EXPECT_EQ(device_->EndScene(), S_OK);
        return pixels(backBuffer_);
    };
    // Triangles that overlap (their shared pixels blend twice over the clear, which is written
    // once), one apart from them on the same rows (the gap between keeps the clear), rows that
    // nothing covers.
    const ColourVertex triangles[9] = {
        {1, 1, 0, 1, 0xFF200000u},  {7, 1, 0, 1, 0xFF200000u},  {1, 7, 0, 1, 0xFF200000u},
        {3, 2, 0, 1, 0xFF002000u},  {8, 2, 0, 1, 0xFF002000u},  {3, 8, 0, 1, 0xFF002000u},
        {11, 0, 0, 1, 0xFF000020u}, {15, 0, 0, 1, 0xFF000020u}, {11, 5, 0, 1, 0xFF000020u}};
    const PointVertex points[2] = {{12.5f, 9.5f, 0, 1, 3.0f, 0xFF404040u},
                                   {13.5f, 9.5f, 0, 1, 3.0f, 0xFF404040u}};
    const ColourVertex outside[3] = {
        {-9, -9, 0, 1, 0xFFFFFFFFu}, {-2, -9, 0, 1, 0xFFFFFFFFu}, {-9, -2, 0, 1, 0xFFFFFFFFu}};
    const std::function<void()> firstDraws[] = {
        [&] { EXPECT_EQ(draw(PrimitiveType::TriangleList, 3, triangles, kFvfColour), S_OK); },
        [&] { EXPECT_EQ(draw(PrimitiveType::PointList, 2, points, kFvfPoint), S_OK); },
        [&] { EXPECT_EQ(draw(PrimitiveType::TriangleList, 1, outside, kFvfColour), S_OK); },
        [&] { EXPECT_EQ(draw(PrimitiveType::TriangleList, 0, outside, kFvfColour), S_OK); },
    };
    for (std::size_t k = 0; k < std::size(firstDraws); ++k) {
        const std::vector<Colour> expected = frame(false, firstDraws[k]);
        EXPECT_EQ(frame(true, firstDraws[k]), expected) << "first draw " << k;
        EXPECT_EQ(expected[std::size_t{11} * kWidth + 15], kClear) << "first draw " << k;
    }
    const std::vector<Colour> blended = frame(true, firstDraws[0]);
    EXPECT_EQ(blended[std::size_t{3} * kWidth + 4], 0xFF314131u);  // both triangles and the last
    EXPECT_EQ(blended[std::size_t{2} * kWidth + 9], kClear);       // between them

    // Everything else that reads the target sees the clear: a copy, a device context.
    Texture* texture = nullptr;
    Surface* copy = nullptr;
    makeTexture(kWidth, kHeight, Format::X8R8G8B8, &texture, &copy);
    ASSERT_EQ(device_->Clear(0, nullptr, kClearTarget, 0xFF445566u, 1.0f, 0), S_OK);
    ASSERT_EQ(device_->StretchRect(backBuffer_, nullptr, copy, nullptr, TextureFilter::Point),
              S_OK);
    EXPECT_EQ(pixel(copy, 5, 5), 0xFF445566u);
    copy->Release();
    texture->Release();
    HDC dc = nullptr;
    ASSERT_EQ(device_->Clear(0, nullptr, kClearTarget, 0xFF0000FFu, 1.0f, 0), S_OK);
    ASSERT_EQ(backBuffer_->GetDC(&dc), S_OK);
    EXPECT_EQ(GetPixel(dc, 3, 3), COLORREF{0x00FF0000u});
    // A clear while the device context is out shows through it at once.
    ASSERT_EQ(device_->Clear(0, nullptr, kClearTarget, 0xFF00FF00u, 1.0f, 0), S_OK);
    EXPECT_EQ(GetPixel(dc, 3, 3), COLORREF{0x0000FF00u});
    ASSERT_EQ(backBuffer_->ReleaseDC(dc), S_OK);
}

// Rows longer than a tile, so that textured spans blend in place as well as through a copy.
class WideSurfaceOperationsTest : public SoftwareSurfaceOperationsTest {
protected:
    UINT width() const override { return 600; }
    UINT height() const override { return 9; }
};

// Textured draws read the pixels that wait for the clear as its colour instead of having it
// written first: where their spans join, overlap, leave gaps or miss rows, the frame must come
// out as with the clear written at once.
TEST_F(WideSurfaceOperationsTest, AClearWaitsForTexturedDrawsThatCoverItsPixels) {
    const LONG w = static_cast<LONG>(width()), h = static_cast<LONG>(height());
    Texture* texture = nullptr;
    Surface* surface = nullptr;
    makeNumbered(300, 5, &texture, &surface);
    const auto frame = [&](bool deferred, const std::vector<TexturedColourVertex>& lists) {
        const RECT whole{0, 0, w, h};
        EXPECT_EQ(device_->Clear(1, &whole, kClearTarget, 0xFFABCDEFu, 1.0f, 0), S_OK);
        EXPECT_EQ(device_->Clear(deferred ? 0 : 1, deferred ? nullptr : &whole, kClearTarget,
                                 0xFF203040u, 1.0f, 0),
                  S_OK);
        EXPECT_EQ(device_->BeginScene(), S_OK);
        addDiffuseColours();
        device_->SetRenderState(RenderStateType::SrcBlend, DWORD(Blend::SrcAlpha));
        device_->SetTextureStageState(0, TextureStageState::ColorArg1, DWORD(TextureArg::Texture));
        device_->SetTexture(0, texture);
        EXPECT_EQ(draw(PrimitiveType::TriangleList, static_cast<UINT>(lists.size() / 3),
                       lists.data(), kFvfTexturedColour),
                  S_OK);
        device_->SetTexture(0, nullptr);
        EXPECT_EQ(device_->EndScene(), S_OK);
        return pixels(backBuffer_);
    };
    const float fw = static_cast<float>(w), fh = static_cast<float>(h);
    const auto corner = [&](float x, float y) {
        return TexturedColourVertex{
            x, y, 0, 1, 0xB2FFFFFFu, 0.02f + 0.9f * x / fw, 0.05f + 0.9f * y / fh};
    };
    const std::vector<TexturedColourVertex> cases[] = {
        // The background's quad: two triangles whose spans meet on every row.
        {corner(0, 0), corner(fw, 0), corner(fw, fh), corner(0, 0), corner(fw, fh), corner(0, fh)},
        // Overlapping triangles, one inside a row another has had, one apart with a gap between,
        // rows that nothing reaches.
        {corner(10, 0), corner(500, 0), corner(10, 6), corner(100, 1), corner(400, 1),
         corner(100, 4), corner(520, 2), corner(590, 2), corner(520, 5)},
    };
    for (std::size_t k = 0; k < std::size(cases); ++k) {
        EXPECT_EQ(frame(true, cases[k]), frame(false, cases[k])) << "case " << k;
    }
    surface->Release();
    texture->Release();
}

TEST_F(SoftwareSurfaceOperationsTest, ColorFillSetsTheClippedRectangleOnly) {
    Texture* texture = nullptr;
    Surface* strip = nullptr;
    makeTexture(6, 1, Format::A8R8G8B8, &texture, &strip);
    ASSERT_EQ(device_->ColorFill(strip, nullptr, 0xFF004600u), S_OK);
    const RECT first{0, 0, 1, 1};
    ASSERT_EQ(device_->ColorFill(strip, &first, 0x800A00FCu), S_OK);
    const RECT pastTheEnd{4, -3, 99, 9};
    ASSERT_EQ(device_->ColorFill(strip, &pastTheEnd, 0xFFFFFFFFu), S_OK);
    const RECT outside{10, 0, 12, 1};
    ASSERT_EQ(device_->ColorFill(strip, &outside, 0xFF000000u), S_OK);
    const std::vector<Colour> expected = {0x800A00FCu, 0xFF004600u, 0xFF004600u,
                                          0xFF004600u, 0xFFFFFFFFu, 0xFFFFFFFFu};
    EXPECT_EQ(pixels(strip), expected);

    EXPECT_EQ(device_->ColorFill(nullptr, nullptr, 0), kErrInvalidCall);
    Texture* managed = nullptr;
    ASSERT_EQ(device_->CreateTexture(2, 2, 1, 0, Format::X8R8G8B8, Pool::Managed, &managed), S_OK);
    Surface* managedSurface = nullptr;
    ASSERT_EQ(managed->GetSurfaceLevel(0, &managedSurface), S_OK);
    EXPECT_EQ(device_->ColorFill(managedSurface, nullptr, 0), kErrInvalidCall);
    managedSurface->Release();
    managed->Release();
    strip->Release();
    texture->Release();
}

TEST_F(SoftwareSurfaceOperationsTest, StretchRectHalvesAFrameByPixelCentres) {
    Texture *sourceTexture = nullptr, *halfTexture = nullptr;
    Surface *source = nullptr, *half = nullptr;
    makeNumbered(8, 4, &sourceTexture, &source);
    makeTexture(4, 2, Format::X8R8G8B8, &halfTexture, &half);
    ASSERT_EQ(device_->StretchRect(source, nullptr, half, nullptr, TextureFilter::None), S_OK);
    // The source pixel under each destination centre: (2x + 1, 2y + 1).
    const std::vector<Colour> got = pixels(half);
    for (UINT y = 0; y < 2; ++y) {
        for (UINT x = 0; x < 4; ++x) {
            EXPECT_EQ(got[y * 4 + x], numberedPixel(2 * x + 1, 2 * y + 1)) << x << "," << y;
        }
    }

    // A part of the source into a part of the destination, at odd ratios: 6 -> 4 columns take
    // 0, 2, 3, 5 and 2 -> 1 rows take 1 (the centres 0.75, 2.25, 3.75, 5.25 and 1.0).
    Texture* wideTexture = nullptr;
    Surface* wide = nullptr;
    makeTexture(6, 3, Format::X8R8G8B8, &wideTexture, &wide);
    ASSERT_EQ(device_->ColorFill(wide, nullptr, 0xFF000000u), S_OK);
    const RECT from{1, 2, 7, 4};
    const RECT to{2, 1, 6, 2};
    ASSERT_EQ(device_->StretchRect(source, &from, wide, &to, TextureFilter::Point), S_OK);
    const std::vector<Colour> part = pixels(wide);
    const UINT columns[4] = {0, 2, 3, 5};
    for (UINT x = 0; x < 6; ++x) {
        for (UINT y = 0; y < 3; ++y) {
            const bool inside = x >= 2 && x < 6 && y == 1;
            const Colour expected = inside ? numberedPixel(1 + columns[x - 2], 2 + 1) : 0xFF000000u;
            EXPECT_EQ(part[y * 6 + x], expected) << x << "," << y;
        }
    }

    // Upwards: 2 -> 4 repeats each pixel twice.
    const RECT two{3, 1, 5, 2};
    const RECT four{0, 0, 4, 1};
    ASSERT_EQ(device_->StretchRect(source, &two, wide, &four, TextureFilter::None), S_OK);
    const std::vector<Colour> up = pixels(wide);
    EXPECT_EQ(up[0], numberedPixel(3, 1));
    EXPECT_EQ(up[1], numberedPixel(3, 1));
    EXPECT_EQ(up[2], numberedPixel(4, 1));
    EXPECT_EQ(up[3], numberedPixel(4, 1));

    // A whole ratio other than 2: 6 -> 2 columns and 3 -> 1 rows take columns 1, 4 and row 1.
    const RECT third{0, 0, 6, 3};
    const RECT bottomLeft{0, 2, 2, 3};
    ASSERT_EQ(device_->StretchRect(source, &third, wide, &bottomLeft, TextureFilter::None), S_OK);
    const std::vector<Colour> thirds = pixels(wide);
    EXPECT_EQ(thirds[2 * 6 + 0], numberedPixel(1, 1));
    EXPECT_EQ(thirds[2 * 6 + 1], numberedPixel(4, 1));
    EXPECT_EQ(thirds[2 * 6 + 2], 0xFF000000u);

    for (Surface* s : {source, half, wide})
        s->Release();
    for (Texture* t : {sourceTexture, halfTexture, wideTexture})
        t->Release();
}

// Halving takes pixels four at a time: widths around that grouping, and parts of the source whose
// last group ends at the part's edge, must take every pixel from under its centre and nothing from
// beyond the part.
TEST_F(SoftwareSurfaceOperationsTest, HalvingWideFramesTakesEveryCentrePixel) {
    Texture* sourceTexture = nullptr;
    Surface* source = nullptr;
    makeNumbered(75, 4, &sourceTexture, &source);
    for (const LONG left : {0L, 1L, 3L, 5L}) {
        for (const LONG width : {16L, 18L, 22L, 24L, 70L}) {
            Texture* halfTexture = nullptr;
            Surface* half = nullptr;
            makeTexture(static_cast<UINT>(width / 2) + 2, 2, Format::X8R8G8B8, &halfTexture, &half);
            ASSERT_EQ(device_->ColorFill(half, nullptr, 0xFF000000u), S_OK);
            const RECT from{left, 0, left + width, 4};
            const RECT to{1, 0, 1 + width / 2, 2};
            ASSERT_EQ(device_->StretchRect(source, &from, half, &to, TextureFilter::None), S_OK);
            const std::vector<Colour> got = pixels(half);
            const UINT columns = static_cast<UINT>(width / 2);
            const UINT stride = columns + 2;
            for (UINT y = 0; y < 2; ++y) {
                for (UINT x = 0; x < stride; ++x) {
                    const bool inside = x >= 1 && x < 1 + columns;
                    const Colour expected =
                        inside ? numberedPixel(static_cast<UINT>(left) + 2 * (x - 1) + 1, 2 * y + 1)
                               : 0xFF000000u;
                    ASSERT_EQ(got[y * stride + x], expected)
                        << "from " << left << ", " << width << " wide, at " << x << "," << y;
                }
            }
            half->Release();
            halfTexture->Release();
        }
    }
    source->Release();
    sourceTexture->Release();
}

TEST_F(SoftwareSurfaceOperationsTest, HistoryStripShiftsByOneTexelThroughAScratchSurface) {
    constexpr UINT kLength = 6;
    Texture *stripTexture = nullptr, *scratchTexture = nullptr;
    Surface *strip = nullptr, *scratch = nullptr;
    makeNumbered(kLength, 1, &stripTexture, &strip);
    makeTexture(kLength, 1, Format::X8R8G8B8, &scratchTexture, &scratch);

    ASSERT_EQ(device_->StretchRect(strip, nullptr, scratch, nullptr, TextureFilter::None), S_OK);
    const RECT head{0, 0, 1, 1};
    ASSERT_EQ(device_->ColorFill(strip, &head, 0xFFABCDEFu), S_OK);
    const RECT older{0, 0, kLength - 1, 1};
    const RECT shifted{1, 0, kLength, 1};
    ASSERT_EQ(device_->StretchRect(scratch, &older, strip, &shifted, TextureFilter::None), S_OK);

    std::vector<Colour> expected = {0xFFABCDEFu};
    for (UINT i = 0; i + 1 < kLength; ++i) {
        expected.push_back(numberedPixel(i, 0));
    }
    EXPECT_EQ(pixels(strip), expected);
    strip->Release();
    scratch->Release();
    stripTexture->Release();
    scratchTexture->Release();
}

TEST_F(SoftwareSurfaceOperationsTest, LinearStretchAveragesTheCoveredPixels) {
    Texture *sourceTexture = nullptr, *halfTexture = nullptr;
    Surface *source = nullptr, *half = nullptr;
    makeTexture(4, 2, Format::X8R8G8B8, &sourceTexture, &source);
    makeTexture(2, 1, Format::X8R8G8B8, &halfTexture, &half);
    const std::vector<Colour> quads = {0xFFFF0000u, 0xFF000000u, 0xFF00FF00u, 0xFF00FF00u,
                                       0xFFFF0000u, 0xFF000000u, 0xFF0000FFu, 0xFF00FF00u};
    ASSERT_EQ(writeSurfacePixels(source, quads.data(), quads.size()), S_OK);
    ASSERT_EQ(device_->StretchRect(source, nullptr, half, nullptr, TextureFilter::Linear), S_OK);
    EXPECT_COLOUR_NEAR(pixel(half, 0, 0), 0xFF800000u, 1);  // red and black halves
    EXPECT_COLOUR_NEAR(pixel(half, 1, 0), 0xFF00BF40u, 1);  // three green, one blue
    source->Release();
    half->Release();
    sourceTexture->Release();
    halfTexture->Release();
}

TEST_F(SoftwareSurfaceOperationsTest, StretchRectRefusesRectanglesOutsideItsSurfaces) {
    Texture *aTexture = nullptr, *bTexture = nullptr;
    Surface *a = nullptr, *b = nullptr;
    makeNumbered(4, 4, &aTexture, &a);
    makeTexture(4, 4, Format::X8R8G8B8, &bTexture, &b);
    ASSERT_EQ(device_->ColorFill(b, nullptr, 0xFF111111u), S_OK);
    const RECT bad[] = {
        {-1, 0, 2, 2},  // left of the surface
        {0, 0, 5, 2},   // right of it
        {0, 3, 2, 5},   // below it
        {2, 0, 2, 2},   // empty
        {3, 0, 1, 2},   // inverted
    };
    const RECT good{0, 0, 2, 2};
    for (const RECT& r : bad) {
        EXPECT_EQ(device_->StretchRect(a, &r, b, &good, TextureFilter::None), kErrInvalidCall);
        EXPECT_EQ(device_->StretchRect(a, &good, b, &r, TextureFilter::None), kErrInvalidCall);
    }
    EXPECT_EQ(device_->StretchRect(a, nullptr, a, nullptr, TextureFilter::None), kErrInvalidCall);
    EXPECT_EQ(device_->StretchRect(nullptr, nullptr, b, nullptr, TextureFilter::None),
              kErrInvalidCall);
    EXPECT_EQ(device_->StretchRect(a, nullptr, b, nullptr, TextureFilter(3)), kErrInvalidCall);
    for (Colour c : pixels(b)) {
        EXPECT_EQ(c, 0xFF111111u);
    }

    // A surface of another device is not this device's to copy.
    PresentParameters p = presentParameters(4, 4);
    Device* other = nullptr;
    ASSERT_EQ(direct3d_->CreateDevice(kDefaultAdapter, DeviceType::Hal, nullptr, 0, &p, &other),
              S_OK);
    Surface* otherBackBuffer = nullptr;
    ASSERT_EQ(other->GetRenderTarget(0, &otherBackBuffer), S_OK);
    EXPECT_EQ(device_->StretchRect(otherBackBuffer, nullptr, b, nullptr, TextureFilter::None),
              kErrInvalidCall);
    EXPECT_EQ(device_->ColorFill(otherBackBuffer, nullptr, 0), kErrInvalidCall);
    otherBackBuffer->Release();
    other->Release();

    // The back buffer takes part like any render target.
    ASSERT_EQ(device_->StretchRect(a, nullptr, backBuffer_, &good, TextureFilter::None), S_OK);
    EXPECT_EQ(target(1, 1), numberedPixel(3, 3));
    for (Surface* s : {a, b})
        s->Release();
    for (Texture* t : {aTexture, bTexture})
        t->Release();
}

TEST_F(SoftwareSurfaceOperationsTest, GetDCShowsTheSurfacesPixelsOneAtATime) {
    const RECT corner{0, 0, 1, 1};
    ASSERT_EQ(device_->Clear(0, nullptr, kClearTarget, 0xFF000000u, 1.0f, 0), S_OK);
    ASSERT_EQ(device_->Clear(1, &corner, kClearTarget, 0xFF336699u, 1.0f, 0), S_OK);
    HDC dc = nullptr;
    ASSERT_EQ(backBuffer_->GetDC(&dc), S_OK);
    ASSERT_NE(dc, nullptr);
    EXPECT_EQ(GetPixel(dc, 0, 0), COLORREF{0x00996633u});
    EXPECT_EQ(GetPixel(dc, 1, 0), COLORREF{0});

    // A copy through GDI sees the pixels as they are when it is made.
    HDC copy = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = CreateCompatibleBitmap(dc, kWidth, kHeight);
    HGDIOBJ previous = SelectObject(copy, bitmap);
    ASSERT_TRUE(BitBlt(copy, 0, 0, kWidth, kHeight, dc, 0, 0, SRCCOPY));
    EXPECT_EQ(GetPixel(copy, 0, 0), COLORREF{0x00996633u});
    SelectObject(copy, previous);
    DeleteObject(bitmap);
    DeleteDC(copy);

    HDC second = reinterpret_cast<HDC>(std::uintptr_t{0xdeadbeef});
    EXPECT_EQ(backBuffer_->GetDC(&second), kErrInvalidCall);
    EXPECT_EQ(second, nullptr);
    EXPECT_EQ(backBuffer_->ReleaseDC(nullptr), kErrInvalidCall);
    ASSERT_EQ(backBuffer_->ReleaseDC(dc), S_OK);
    EXPECT_EQ(backBuffer_->ReleaseDC(dc), kErrInvalidCall);
    ASSERT_EQ(backBuffer_->GetDC(&dc), S_OK);
    ASSERT_EQ(backBuffer_->ReleaseDC(dc), S_OK);
    EXPECT_EQ(backBuffer_->GetDC(nullptr), kErrInvalidCall);
}

}  // namespace
}  // namespace gs::render::software::testing
