// Fixed-function pixel processing: texture stage 0, sampling and blending, against colours worked
// out by hand (8-bit values, tolerance 1 per channel).
#include <gtest/gtest.h>

#include <vector>

#include "tests/render/software/device_test_support.h"

namespace gs::render::software::testing {
namespace {

class SoftwarePixelProcessingTest : public DeviceTest {
protected:
    void SetUp() override {
        DeviceTest::SetUp();
        device_->SetRenderState(RenderStateType::CullMode, DWORD(Cull::None));
    }

    void clearTo(Colour colour) {
        ASSERT_EQ(device_->Clear(0, nullptr, kClearTarget, colour, 1.0f, 0), S_OK);
    }
    void blend(Blend source, Blend destination) {
        device_->SetRenderState(RenderStateType::AlphaBlendEnable, TRUE);
        device_->SetRenderState(RenderStateType::SrcBlend, DWORD(source));
        device_->SetRenderState(RenderStateType::DestBlend, DWORD(destination));
    }
    void stage(TextureOp colourOp, TextureArg colourArg, TextureOp alphaOp, TextureArg alphaArg) {
        device_->SetTextureStageState(0, TextureStageState::ColorOp, DWORD(colourOp));
        device_->SetTextureStageState(0, TextureStageState::ColorArg1, DWORD(colourArg));
        device_->SetTextureStageState(0, TextureStageState::AlphaOp, DWORD(alphaOp));
        device_->SetTextureStageState(0, TextureStageState::AlphaArg1, DWORD(alphaArg));
    }
    // A quad over the whole target with one diffuse colour and one texture coordinate.
    void quad(Colour diffuse, float u = 0.5f, float v = 0.5f) {
        const float w = float(width()), h = float(height());
        const TexturedColourVertex fan[4] = {{0, 0, 0, 1, diffuse, u, v},
                                             {w, 0, 0, 1, diffuse, u, v},
                                             {w, h, 0, 1, diffuse, u, v},
                                             {0, h, 0, 1, diffuse, u, v}};
        ASSERT_EQ(device_->BeginScene(), S_OK);
        ASSERT_EQ(draw(PrimitiveType::TriangleFan, 2, fan, kFvfTexturedColour), S_OK);
        ASSERT_EQ(device_->EndScene(), S_OK);
    }
    Colour centre() { return target(width() / 2, height() / 2); }
};

TEST_F(SoftwarePixelProcessingTest, BlendFactorsCombineSourceAndTarget) {
    struct Case {
        Blend source, destination;
        Colour target, diffuse, expected;
    };
    const Case cases[] = {
        // Plain replacement.
        {Blend::One, Blend::Zero, 0xFF808080u, 0x40FF8000u, 0xFFFF8000u},
        // Classic transparency, alpha 0x80 (0.502): 1*0.502 + 0.2*0.498 = 0.6, ...
        {Blend::SrcAlpha, Blend::InvSrcAlpha, 0xFF333333u, 0x80FF0000u, 0xFF991919u},
        // The feedback quad: 178/255 of the source added to black.
        {Blend::SrcAlpha, Blend::One, 0xFF000000u, 0xB2FFFFFFu, 0xFFB2B2B2u},
        // Trace points: the target times (1 + 64/255): 0x80 -> 0xA0, 0xF0 saturates.
        {Blend::DestColor, Blend::One, 0xFF80F000u, 0xFF404040u, 0xFFA0FF00u},
        // Additive saturation: 0xC0 + 0xC0 stays 0xFF.
        {Blend::One, Blend::One, 0xFFC00010u, 0xFFC01020u, 0xFFFF1030u},
        // Modulation by the source colour, and its inverse of the target.
        {Blend::Zero, Blend::SrcColor, 0xFFFF8040u, 0xFF80FF00u, 0xFF808000u},
        {Blend::InvDestColor, Blend::Zero, 0xFFFF8000u, 0xFFFFFFFFu, 0xFF007FFFu},
        // An X8R8G8B8 target reads alpha as 1.
        {Blend::DestAlpha, Blend::Zero, 0xFF000000u, 0x00336699u, 0xFF336699u},
        {Blend::InvDestAlpha, Blend::One, 0xFF102030u, 0xFFFFFFFFu, 0xFF102030u},
    };
    stage(TextureOp::SelectArg1, TextureArg::Diffuse, TextureOp::SelectArg1, TextureArg::Diffuse);
    for (const Case& c : cases) {
        clearTo(c.target);
        blend(c.source, c.destination);
        quad(c.diffuse);
        EXPECT_COLOUR_NEAR(centre(), c.expected, 1)
            << "factors " << DWORD(c.source) << "/" << DWORD(c.destination);
    }
}

TEST_F(SoftwarePixelProcessingTest, BlendingOffWritesTheSourceAndOperationsApply) {
    stage(TextureOp::SelectArg1, TextureArg::Diffuse, TextureOp::SelectArg1, TextureArg::Diffuse);
    clearTo(0xFF123456u);
    device_->SetRenderState(RenderStateType::SrcBlend,
                            DWORD(Blend::Zero));  // ignored: blending off
    quad(0x01A0B0C0u);
    EXPECT_EQ(centre(), 0xFFA0B0C0u);

    blend(Blend::One, Blend::One);
    device_->SetRenderState(RenderStateType::BlendOp, DWORD(BlendOp::RevSubtract));
    clearTo(0xFF8080FFu);
    quad(0xFF10FF20u);
    EXPECT_COLOUR_NEAR(centre(), 0xFF7000DFu, 1);  // target - source, floored at 0
    device_->SetRenderState(RenderStateType::BlendOp, DWORD(BlendOp::Max));
    quad(0xFF901020u);
    EXPECT_COLOUR_NEAR(centre(), 0xFF9010DFu, 1);
    device_->SetRenderState(RenderStateType::BlendOp, DWORD(BlendOp::Add));

    // COLORWRITEENABLE keeps the masked channels.
    device_->SetRenderState(RenderStateType(168), 0x2);  // green only
    clearTo(0xFF112233u);
    quad(0xFF445566u);
    EXPECT_COLOUR_NEAR(centre(), 0xFF117733u, 1);
}

TEST_F(SoftwarePixelProcessingTest, StageZeroSelectsTextureOrDiffuseAndTakesAlphaFromDiffuse) {
    Texture* texture = nullptr;
    Surface* surface = nullptr;
    makeTexture(2, 2, Format::X8R8G8B8, &texture, &surface);
    ASSERT_EQ(device_->ColorFill(surface, nullptr, 0x0020C0FFu), S_OK);
    ASSERT_EQ(device_->SetTexture(0, texture), S_OK);

    // The renderer's feedback quad: colour from the texture, alpha 0xB2 from the diffuse colour.
    stage(TextureOp::SelectArg1, TextureArg::Texture, TextureOp::SelectArg1, TextureArg::Diffuse);
    blend(Blend::SrcAlpha, Blend::One);
    clearTo(0xFF000000u);
    quad(0xB2FF0000u);
    EXPECT_COLOUR_NEAR(centre(), 0xFF1686B2u, 1);  // (0x20, 0xC0, 0xFF) * 178/255

    // Its trace points: colour from the diffuse colour.
    stage(TextureOp::SelectArg1, TextureArg::Diffuse, TextureOp::SelectArg1, TextureArg::Diffuse);
    device_->SetRenderState(RenderStateType::AlphaBlendEnable, FALSE);
    quad(0xFF404040u);
    EXPECT_EQ(centre(), 0xFF404040u);

    // The Direct3D default: texture modulated by diffuse; X8R8G8B8 texels have alpha 1.
    stage(TextureOp::Modulate, TextureArg::Texture, TextureOp::SelectArg1, TextureArg::Texture);
    device_->SetTextureStageState(0, TextureStageState::ColorArg2, DWORD(TextureArg::Current));
    blend(Blend::SrcAlpha, Blend::Zero);
    quad(0x00808080u);
    EXPECT_COLOUR_NEAR(centre(), 0xFF106080u, 1);

    // Sampling an empty unit gives black, opaque.
    ASSERT_EQ(device_->SetTexture(0, nullptr), S_OK);
    stage(TextureOp::SelectArg1, TextureArg::Texture, TextureOp::SelectArg1, TextureArg::Texture);
    clearTo(0xFFFFFFFFu);
    quad(0xFFFFFFFFu);
    EXPECT_EQ(centre(), 0xFF000000u);
    surface->Release();
    texture->Release();
}

// A draw whose vertices leave the diffuse colour out takes the default, opaque white, even right
// after draws that supplied one.
TEST_F(SoftwarePixelProcessingTest, AnAttributeLeftOutTakesItsDefaultAfterDrawsThatGaveIt) {
    stage(TextureOp::SelectArg1, TextureArg::Diffuse, TextureOp::SelectArg1, TextureArg::Diffuse);
    const float w = float(width()), h = float(height());
    const TexturedVertex plain[4] = {
        {0, 0, 0, 1, 0, 0}, {w, 0, 0, 1, 0, 0}, {w, h, 0, 1, 0, 0}, {0, h, 0, 1, 0, 0}};
    for (const Colour diffuse : {0xFF102030u, 0xFF405060u}) {
        clearTo(0xFF000000u);
        quad(diffuse);
        EXPECT_EQ(centre(), diffuse);
        ASSERT_EQ(device_->BeginScene(), S_OK);
        ASSERT_EQ(draw(PrimitiveType::TriangleFan, 2, plain, kFvfTextured), S_OK);
        ASSERT_EQ(device_->EndScene(), S_OK);
        EXPECT_EQ(centre(), 0xFFFFFFFFu);
    }
}

TEST_F(SoftwarePixelProcessingTest, AttributesAreInterpolatedAtPixelCentres) {
    // Red runs from 0 at x = 0 to 0x10 at x = 16, green from 0 at y = 0 to 0x0C at y = 12: the
    // pixel in column i and row j, centre (i, j), gets red i and green j exactly.
    stage(TextureOp::SelectArg1, TextureArg::Diffuse, TextureOp::SelectArg1, TextureArg::Diffuse);
    const ColourVertex fan[4] = {{0, 0, 0, 1, 0xFF000000u},
                                 {16, 0, 0, 1, 0xFF100000u},
                                 {16, 12, 0, 1, 0xFF100C00u},
                                 {0, 12, 0, 1, 0xFF000C00u}};
    ASSERT_EQ(device_->BeginScene(), S_OK);
    ASSERT_EQ(draw(PrimitiveType::TriangleFan, 2, fan, kFvfColour), S_OK);
    ASSERT_EQ(device_->EndScene(), S_OK);
    const std::vector<Colour> got = pixels(backBuffer_);
    for (UINT y = 0; y < kHeight; ++y) {
        for (UINT x = 0; x < kWidth; ++x) {
            EXPECT_EQ(got[y * kWidth + x], 0xFF000000u | (x << 16) | (y << 8)) << x << "," << y;
        }
    }
}

// Sampling a 4 x 1 texture through a quad whose every pixel has the same coordinates.
class SoftwareSamplingTest : public SoftwarePixelProcessingTest {
protected:
    void SetUp() override {
        SoftwarePixelProcessingTest::SetUp();
        makeTexture(4, 1, Format::A8R8G8B8, &texture_, &surface_);
        // Texel k: red 0x00, 0x40, 0x80, 0xC0; green 0xFF - red; alpha 0xFF, 0x80, 0x40, 0x00.
        const std::vector<Colour> texels = {0xFF00FF00u, 0x8040BF00u, 0x40807F00u, 0x00C03F00u};
        ASSERT_EQ(writeSurfacePixels(surface_, texels.data(), texels.size()), S_OK);
        ASSERT_EQ(device_->SetTexture(0, texture_), S_OK);
        stage(TextureOp::SelectArg1, TextureArg::Texture, TextureOp::SelectArg1,
              TextureArg::Texture);
        // Write the sampled alpha into blue so it can be read back from an X8R8G8B8 target.
        device_->SetRenderState(RenderStateType::AlphaBlendEnable, FALSE);
    }
    void TearDown() override {
        surface_->Release();
        texture_->Release();
        SoftwarePixelProcessingTest::TearDown();
    }
    void sampler(TextureAddress address, TextureFilter filter) {
        device_->SetSamplerState(0, SamplerState::AddressU, DWORD(address));
        device_->SetSamplerState(0, SamplerState::MagFilter, DWORD(filter));
        device_->SetSamplerState(0, SamplerState::MinFilter, DWORD(filter));
    }
    // Red of the texel mix at u.
    int redAt(float u) {
        quad(0xFFFFFFFFu, u, 0.5f);
        return static_cast<int>((centre() >> 16) & 0xFF);
    }

    Texture* texture_ = nullptr;
    Surface* surface_ = nullptr;
};

TEST_F(SoftwareSamplingTest, BilinearMirrorAndClampReadTheStripAsExpected) {
    sampler(TextureAddress::Mirror, TextureFilter::Linear);
    EXPECT_NEAR(redAt(0.5f), 0x60, 1);    // mean of texels 1 and 2
    EXPECT_NEAR(redAt(0.0f), 0x00, 1);    // texel 0 blended with its own mirror image
    EXPECT_NEAR(redAt(0.125f), 0x00, 1);  // texel 0's centre
    EXPECT_NEAR(redAt(1.125f), 0xC0, 1);  // past the end, mirrored: texel 3 exactly
    EXPECT_NEAR(redAt(1.5f), 0x60, 1);    // 1 + x reads 1 - x
    EXPECT_NEAR(redAt(2.25f), 0x20, 1);   // forwards again: between texels 0 and 1
    EXPECT_NEAR(redAt(-0.5f), 0x60, 1);   // mirrored about 0
    sampler(TextureAddress::Clamp, TextureFilter::Linear);
    EXPECT_NEAR(redAt(-0.3f), 0x00, 1);
    EXPECT_NEAR(redAt(1.3f), 0xC0, 1);
    EXPECT_NEAR(redAt(0.25f), 0x20, 1);    // halfway between texels 0 and 1
    EXPECT_NEAR(redAt(0.8125f), 0xB0, 1);  // a quarter of the way from texel 3 back to 2
    sampler(TextureAddress::Wrap, TextureFilter::Linear);
    EXPECT_NEAR(redAt(1.0f), 0x60, 1);     // texels 3 and 0 meet
    EXPECT_NEAR(redAt(-0.875f), 0x00, 1);  // texel 0's centre one period back
    sampler(TextureAddress::Wrap, TextureFilter::Point);
    EXPECT_NEAR(redAt(0.3f), 0x40, 0);  // the texel containing the point
    EXPECT_NEAR(redAt(0.7499f), 0x80, 0);
    EXPECT_NEAR(redAt(1.9f), 0xC0, 0);
    sampler(TextureAddress::Border, TextureFilter::Point);
    device_->SetSamplerState(0, SamplerState::BorderColor, 0xFF5A0000u);
    EXPECT_NEAR(redAt(1.2f), 0x5A, 0);
    EXPECT_NEAR(redAt(0.6f), 0x80, 0);
}

TEST_F(SoftwareSamplingTest, AlphaIsFilteredLikeColourAndOpaqueFormatsReadOne) {
    sampler(TextureAddress::Clamp, TextureFilter::Linear);
    stage(TextureOp::SelectArg1, TextureArg::Diffuse, TextureOp::SelectArg1, TextureArg::Texture);
    blend(Blend::SrcAlpha, Blend::Zero);  // white diffuse times the sampled alpha
    quad(0xFFFFFFFFu, 0.5f, 0.5f);
    EXPECT_COLOUR_NEAR(centre(), 0xFF606060u, 1);  // alpha (0x80 + 0x40) / 2

    Texture* opaque = nullptr;
    Surface* opaqueSurface = nullptr;
    makeTexture(2, 2, Format::X8R8G8B8, &opaque, &opaqueSurface);
    const std::vector<Colour> transparentLooking(4, 0x00FFFFFFu);
    ASSERT_EQ(writeSurfacePixels(opaqueSurface, transparentLooking.data(), 4), S_OK);
    ASSERT_EQ(device_->SetTexture(0, opaque), S_OK);
    quad(0xFFFFFFFFu, 0.5f, 0.5f);
    EXPECT_EQ(centre(), 0xFFFFFFFFu);
    opaqueSurface->Release();
    opaque->Release();
}

}  // namespace
}  // namespace gs::render::software::testing
