// How the real Direct3D 9 turns pre-transformed primitives into pixels: which pixels a triangle
// or a point covers, where a texture is sampled, and how blending rounds. The software device
// must give the same pixels, so each fact is asserted exactly.
#include <algorithm>
#include <cmath>

#include "real_device.h"

namespace gs::render::d3d9::testing {
namespace {

// The pixels around (x, y) that differ from `background`: their number and bounding box,
// relative to (x, y).
struct Coverage {
    int count = 0;
    int left = 0, right = -1, top = 0, bottom = -1;
    bool operator==(const Coverage&) const = default;
};
Coverage coverageAround(const Pixels& pixels, int x, int y, Rgb background) {
    Coverage c;
    c.left = c.top = 100;
    c.right = c.bottom = -100;
    for (int j = y - 5; j <= y + 5; ++j) {
        for (int i = x - 5; i <= x + 5; ++i) {
            if (pixels.at(i, j) != background) {
                ++c.count;
                c.left = std::min(c.left, i - x);
                c.right = std::max(c.right, i - x);
                c.top = std::min(c.top, j - y);
                c.bottom = std::max(c.bottom, j - y);
            }
        }
    }
    return c;
}
// A square of side n whose top-left pixel is (first, first).
Coverage square(int first, int n) {
    return Coverage{n * n, first, first + n - 1, first, first + n - 1};
}

std::ostream& operator<<(std::ostream& out, const Coverage& c) {
    return out << c.count << " px, x " << c.left << ".." << c.right << ", y " << c.top << ".."
               << c.bottom;
}

class Rasterisation : public RealDeviceTest {};

// A pixel is covered when its centre, at whole-number coordinates, lies inside the primitive;
// centres on a left or top edge are inside, on a right or bottom edge outside.
TEST_F(Rasterisation, PixelCentresLieOnWholeNumbers) {
    useDiffuseColourOnly();
    ASSERT_EQ(device_->Clear(0, nullptr, kClearTarget, 0xFF000000, 1.0f, 0), S_OK);
    const float offsets[] = {0.0f, 0.25f, 0.5f, 0.75f, -0.5f};
    ASSERT_EQ(device_->BeginScene(), S_OK);
    for (int i = 0; i < 5; ++i) {
        const float x = 10.0f + 10.0f * i + offsets[i];
        const float y = 10.0f + offsets[i];
        drawRectangle(x, y, x + 4.0f, y + 4.0f, 0xFFFFFFFF);
    }
    ASSERT_EQ(device_->EndScene(), S_OK);
    const Pixels pixels = readBackBuffer(64, 24);
    const int firstCovered[] = {0, 1, 1, 1, 0};
    for (int i = 0; i < 5; ++i) {
        const int x = 10 + 10 * i;
        EXPECT_EQ(coverageAround(pixels, x, 10, 0), square(firstCovered[i], 4))
            << "rectangle from " << x + offsets[i];
    }
}

// Points are squares of their size centred on their position, rasterised by the same rule, and
// never smaller than one pixel: a size of 0 draws a single pixel.
TEST_F(Rasterisation, PointsCoverASquareOfTheirSizeAndAtLeastOnePixel) {
    struct Case {
        float size, offset;
        Coverage expected;
    };
    const Case cases[] = {
        {0.0f, 0.0f, square(0, 1)},  {0.0f, 0.75f, square(1, 1)}, {1.0f, 0.0f, square(0, 1)},
        {1.0f, 0.5f, square(0, 1)},  {1.0f, 0.75f, square(1, 1)}, {2.0f, 0.0f, square(-1, 2)},
        {2.5f, 0.0f, square(-1, 3)}, {2.5f, 0.5f, square(0, 2)},  {2.5f, 0.75f, square(0, 2)},
        {4.0f, 0.0f, square(-2, 4)}, {4.0f, 0.5f, square(-1, 4)}, {4.32f, 0.6f, square(-1, 4)},
    };
    constexpr int kCases = sizeof(cases) / sizeof(cases[0]);
    PointVertex points[kCases];
    for (int i = 0; i < kCases; ++i) {
        points[i] = PointVertex{20.0f * (i + 1) + cases[i].offset,
                                20.0f + cases[i].offset,
                                1.0f,
                                1.0f,
                                cases[i].size,
                                0xFF404040};
    }
    // The renderer's trace-point states over a grey background.
    ASSERT_EQ(device_->Clear(0, nullptr, kClearTarget, 0xFF808080, 1.0f, 0), S_OK);
    setStage0Colour(TextureArg::Diffuse);
    setBlend(Blend::DestColor, Blend::One);
    ASSERT_EQ(device_->SetFVF(kFvfXyzRhw | kFvfPSize | kFvfDiffuse), S_OK);
    ASSERT_EQ(device_->BeginScene(), S_OK);
    ASSERT_EQ(device_->DrawPrimitiveUP(PrimitiveType::PointList, kCases, points, sizeof(points[0])),
              S_OK);
    ASSERT_EQ(device_->EndScene(), S_OK);
    const Pixels pixels = readBackBuffer(20 * (kCases + 1) + 6, 30);
    for (int i = 0; i < kCases; ++i) {
        EXPECT_EQ(coverageAround(pixels, 20 * (i + 1), 20, rgb(0x80, 0x80, 0x80)),
                  cases[i].expected)
            << "size " << cases[i].size << " at +" << cases[i].offset;
    }
}

// Blending works on exact values and rounds the result to the nearest 8-bit level, saturating at
// 255. Each point multiplies what lies beneath it by 1 + 64/255.
TEST_F(Rasterisation, DestinationColourBlendRoundsToNearest) {
    ASSERT_EQ(device_->Clear(0, nullptr, kClearTarget, 0xFF000000, 1.0f, 0), S_OK);
    PointVertex points[256];
    for (int k = 0; k < 256; ++k) {
        fillPixel(backBuffer(), k, 0, 0xFF000000u | static_cast<Colour>(k) * 0x010101u);
        points[k] = PointVertex{static_cast<float>(k), 0.0f, 1.0f, 1.0f, 1.0f, 0xFF404040};
    }
    setStage0Colour(TextureArg::Diffuse);
    setBlend(Blend::DestColor, Blend::One);
    ASSERT_EQ(device_->SetFVF(kFvfXyzRhw | kFvfPSize | kFvfDiffuse), S_OK);
    ASSERT_EQ(device_->BeginScene(), S_OK);
    ASSERT_EQ(device_->DrawPrimitiveUP(PrimitiveType::PointList, 256, points, sizeof(points[0])),
              S_OK);
    ASSERT_EQ(device_->EndScene(), S_OK);
    const Pixels pixels = readBackBuffer(256, 1);
    for (int k = 0; k < 256; ++k) {
        const double exact = k + k * 64.0 / 255.0;
        const auto expected = static_cast<unsigned>(std::min(255.0, std::floor(exact + 0.5)));
        EXPECT_EQ(red(pixels.at(k, 0)), expected) << "over " << k;
    }
}

// The background quad of every frame: the texture's colour alone, the diffuse alpha 0xB2 as the
// source factor, added to black. Sampled at texel centres, so each pixel reads one texel.
TEST_F(Rasterisation, TexturedFanAddsTheTextureScaledByTheDiffuseAlpha) {
    Target ramp = makeTarget(256, 1);
    for (int k = 0; k < 256; ++k) {
        fillPixel(ramp.surface, k, 0, 0xFF000000u | (k << 16) | ((255 - k) << 8) | 0xFF);
    }
    ASSERT_EQ(device_->Clear(0, nullptr, kClearTarget, 0xFF000000, 1.0f, 0), S_OK);
    setStage0Colour(TextureArg::Texture);
    setBlend(Blend::SrcAlpha, Blend::One);
    device_->SetSamplerState(0, SamplerState::MinFilter, static_cast<DWORD>(TextureFilter::Point));
    device_->SetSamplerState(0, SamplerState::MagFilter, static_cast<DWORD>(TextureFilter::Point));
    ASSERT_EQ(device_->SetTexture(0, ramp.texture), S_OK);
    // The diffuse colour's own red, green and blue play no part.
    const Colour diffuse = 0xB2102030;
    const float first = 0.5f / 256.0f;
    const float last = 256.5f / 256.0f;
    const TexturedVertex fan[4] = {
        {0.0f, 0.0f, 1.0f, 1.0f, diffuse, first, 0.5f},
        {256.0f, 0.0f, 1.0f, 1.0f, diffuse, last, 0.5f},
        {256.0f, 2.0f, 1.0f, 1.0f, diffuse, last, 0.5f},
        {0.0f, 2.0f, 1.0f, 1.0f, diffuse, first, 0.5f},
    };
    ASSERT_EQ(device_->SetFVF(kFvfXyzRhw | kFvfDiffuse | kFvfTex1), S_OK);
    ASSERT_EQ(device_->BeginScene(), S_OK);
    ASSERT_EQ(device_->DrawPrimitiveUP(PrimitiveType::TriangleFan, 2, fan, sizeof(fan[0])), S_OK);
    ASSERT_EQ(device_->EndScene(), S_OK);
    ASSERT_EQ(device_->SetTexture(0, nullptr), S_OK);

    const Pixels pixels = readBackBuffer(256, 2);
    auto scaled = [](int v) { return static_cast<unsigned>(std::floor(v * 178.0 / 255.0 + 0.5)); };
    for (int k = 0; k < 256; ++k) {
        EXPECT_EQ(pixels.at(k, 1), rgb(scaled(k), scaled(255 - k), 178)) << "texel " << k;
    }
}

// With linear filtering a pixel at x reads the texture at texel coordinate u x N - 0.5: a
// texture drawn at its own size with u = x / N blends each texel half and half with its left
// neighbour (clamped at the edge).
TEST_F(Rasterisation, LinearSamplingIsHalfATexelLeftOfThePixel) {
    Target stripes = makeTarget(8, 1);
    for (int k = 0; k < 8; ++k) {
        fillPixel(stripes.surface, k, 0, (k % 2 == 1) ? 0xFFC8C8C8 : 0xFF000000);
    }
    ASSERT_EQ(device_->Clear(0, nullptr, kClearTarget, 0xFF000000, 1.0f, 0), S_OK);
    device_->SetRenderState(RenderStateType::AlphaBlendEnable, FALSE);
    setStage0Colour(TextureArg::Texture);
    device_->SetSamplerState(0, SamplerState::MinFilter, static_cast<DWORD>(TextureFilter::Linear));
    device_->SetSamplerState(0, SamplerState::MagFilter, static_cast<DWORD>(TextureFilter::Linear));
    device_->SetSamplerState(0, SamplerState::AddressU, static_cast<DWORD>(TextureAddress::Clamp));
    device_->SetSamplerState(0, SamplerState::AddressV, static_cast<DWORD>(TextureAddress::Clamp));
    ASSERT_EQ(device_->SetTexture(0, stripes.texture), S_OK);
    ASSERT_EQ(device_->SetFVF(kFvfXyzRhw | kFvfDiffuse | kFvfTex1), S_OK);
    ASSERT_EQ(device_->BeginScene(), S_OK);
    for (const float width : {8.0f, 16.0f}) {
        const float y = width == 8.0f ? 0.0f : 2.0f;
        const TexturedVertex fan[4] = {
            {0.0f, y, 1.0f, 1.0f, 0xFFFFFFFF, 0.0f, 0.5f},
            {width, y, 1.0f, 1.0f, 0xFFFFFFFF, 1.0f, 0.5f},
            {width, y + 1.0f, 1.0f, 1.0f, 0xFFFFFFFF, 1.0f, 0.5f},
            {0.0f, y + 1.0f, 1.0f, 1.0f, 0xFFFFFFFF, 0.0f, 0.5f},
        };
        ASSERT_EQ(device_->DrawPrimitiveUP(PrimitiveType::TriangleFan, 2, fan, sizeof(fan[0])),
                  S_OK);
    }
    ASSERT_EQ(device_->EndScene(), S_OK);
    ASSERT_EQ(device_->SetTexture(0, nullptr), S_OK);

    const Pixels pixels = readBackBuffer(16, 3);
    const unsigned sameSize[8] = {0, 100, 100, 100, 100, 100, 100, 100};
    const unsigned doubled[16] = {0,   0, 100, 200, 100, 0, 100, 200,
                                  100, 0, 100, 200, 100, 0, 100, 200};
    for (int x = 0; x < 8; ++x) {
        EXPECT_EQ(red(pixels.at(x, 0)), sameSize[x]) << "8 texels over 8 pixels, at " << x;
    }
    for (int x = 0; x < 16; ++x) {
        EXPECT_EQ(red(pixels.at(x, 2)), doubled[x]) << "8 texels over 16 pixels, at " << x;
    }
}

}  // namespace
}  // namespace gs::render::d3d9::testing
