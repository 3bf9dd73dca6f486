// Draws held back and run band by band: the same pixels as draws run at once, whatever reads or
// writes the surfaces between them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fx/assembler/pixel_shader_assembler.h"
#include "tests/render/software/device_test_support.h"

namespace gs::render::software::testing {
namespace {

constexpr UINT kWidth = 40;
constexpr UINT kHeight = 37;

std::vector<DWORD> constantShader() {
    std::vector<DWORD> tokens;
    fx::AssemblyError error{0, ""};
    EXPECT_TRUE(fx::assemblePixelShader("ps_2_0\nmov oC0, c0\n", tokens, error)) << error.message;
    return tokens;
}

// The pixels of a scene that draws in every way the device holds back (a textured quad over a
// pending clear, points, programs with their own constants, a texture the caller lets go of),
// with a texture rewritten and the back buffer read between draws; `banded` holds the draws back
// in bands of three rows (the last one shorter), otherwise they run as they come. `midScene` gets
// the back buffer as read halfway.
std::vector<Colour> runScene(bool banded, std::vector<Colour>* midScene) {
    resetAdapter();
    AdapterSettings settings = adapterSettings();
    settings.bandedTargetBytes = banded ? 0 : ~std::size_t{0};
    settings.bandBytes = 3 * kWidth * sizeof(Colour);
    setAdapterSettings(settings);
    Direct3D* d3d = createDirect3D(kSdkVersion);
    PresentParameters p = presentParameters(kWidth, kHeight);
    Device* device = nullptr;
    EXPECT_EQ(d3d->CreateDevice(kDefaultAdapter, DeviceType::Hal, nullptr, 0, &p, &device), S_OK);
    Surface* backBuffer = nullptr;
    device->GetRenderTarget(0, &backBuffer);

    // Texture a: each texel names its position; texture b: one colour; texture c: a ramp.
    const auto makeTexture = [&](UINT size, auto texel, Texture** texture, Surface** surface) {
        EXPECT_EQ(device->CreateTexture(size, size, 1, kUsageRenderTarget, Format::X8R8G8B8,
                                        Pool::Default, texture),
                  S_OK);
        (*texture)->GetSurfaceLevel(0, surface);
        std::vector<Colour> texels(std::size_t{size} * size);
        for (UINT y = 0; y < size; ++y) {
            for (UINT x = 0; x < size; ++x) {
                texels[std::size_t{y} * size + x] = texel(x, y);
            }
        }
        EXPECT_EQ(writeSurfacePixels(*surface, texels.data(), texels.size()), S_OK);
    };
    Texture *a = nullptr, *b = nullptr, *c = nullptr;
    Surface *aSurface = nullptr, *bSurface = nullptr, *cSurface = nullptr;
    makeTexture(
        16, [](UINT x, UINT y) { return Colour(0xFF000000u | (x << 12) | (y << 4)); }, &a,
        &aSurface);
    makeTexture(
        16, [](UINT, UINT) { return Colour(0xFF405060u); }, &b, &bSurface);
    makeTexture(
        8, [](UINT x, UINT y) { return Colour(0xFF000000u | (x * 30u) << 16 | y * 30u); }, &c,
        &cSurface);

    device->SetRenderState(RenderStateType::CullMode, DWORD(Cull::None));
    device->SetRenderState(RenderStateType::AlphaBlendEnable, TRUE);
    device->SetRenderState(RenderStateType::SrcBlend, DWORD(Blend::One));
    device->SetRenderState(RenderStateType::DestBlend, DWORD(Blend::One));
    device->SetSamplerState(0, SamplerState::MagFilter, DWORD(TextureFilter::Linear));
    device->SetSamplerState(0, SamplerState::MinFilter, DWORD(TextureFilter::Linear));
    EXPECT_EQ(device->Clear(0, nullptr, kClearTarget, 0xFF102030u, 1.0f, 0), S_OK);
    EXPECT_EQ(device->BeginScene(), S_OK);

    // A textured quad over the whole target, a little turned: it takes the pending clear.
    const float w = float(kWidth), h = float(kHeight);
    device->SetTextureStageState(0, TextureStageState::ColorOp, DWORD(TextureOp::SelectArg1));
    device->SetTextureStageState(0, TextureStageState::ColorArg1, DWORD(TextureArg::Texture));
    device->SetTexture(0, a);
    const TexturedVertex quad[4] = {{0, 0, 1, 1, 0.05f, 0.0f},
                                    {w, 0, 1, 1, 0.95f, 0.1f},
                                    {w, h, 1, 1, 1.0f, 0.9f},
                                    {0, h, 1, 1, 0.0f, 1.0f}};
    device->SetFVF(kFvfTextured);
    EXPECT_EQ(device->DrawPrimitiveUP(PrimitiveType::TriangleFan, 2, quad, sizeof quad[0]), S_OK);
    device->SetTexture(0, nullptr);

    // Points of three colours that overlap, cross the bands' edges and leave the target.
    device->SetRenderState(RenderStateType::SrcBlend, DWORD(Blend::DestColor));
    device->SetTextureStageState(0, TextureStageState::ColorArg1, DWORD(TextureArg::Diffuse));
    std::vector<PointVertex> points;
    for (int i = 0; i < 60; ++i) {
        const Colour colour = i % 3 == 0 ? 0xFF204060u : i % 3 == 1 ? 0xFF806040u : 0xFF102010u;
        points.push_back({float(i * 7 % 45) - 2.5f, float(i * 11 % 41) - 1.5f, 0, 1,
                          1.0f + float(i % 5), colour});
    }
    device->SetFVF(kFvfPoint);
    EXPECT_EQ(device->DrawPrimitiveUP(PrimitiveType::PointList, UINT(points.size()), points.data(),
                                      sizeof(PointVertex)),
              S_OK);

    // Texture a rewritten, and then the back buffer read, while the draws above may wait: they
    // see texture a as it was.
    EXPECT_EQ(device->StretchRect(bSurface, nullptr, aSurface, nullptr, TextureFilter::None), S_OK);
    if (midScene != nullptr) {
        midScene->resize(std::size_t{kWidth} * kHeight);
        EXPECT_EQ(readSurfacePixels(backBuffer, midScene->data(), midScene->size()), S_OK);
    }

    // Two program draws, each with its own constant, across several bands.
    const std::vector<DWORD> tokens = constantShader();
    PixelShader* shader = nullptr;
    EXPECT_EQ(device->CreatePixelShader(tokens.data(), &shader), S_OK);
    device->SetPixelShader(shader);
    shader->Release();  // the device's hold and the waiting draws keep it
    device->SetRenderState(RenderStateType::SrcBlend, DWORD(Blend::One));
    const float first[4] = {0.1f, 0.2f, 0.3f, 1.0f}, second[4] = {0.05f, 0.0f, 0.2f, 1.0f};
    const ColourVertex triangles[6] = {{2, 3, 0, 1, 0},  {30, 8, 0, 1, 0},  {12, 33, 0, 1, 0},
                                       {35, 1, 0, 1, 0}, {39, 36, 0, 1, 0}, {5, 20, 0, 1, 0}};
    device->SetFVF(kFvfColour);
    device->SetPixelShaderConstantF(0, first, 1);
    EXPECT_EQ(
        device->DrawPrimitiveUP(PrimitiveType::TriangleList, 1, triangles, sizeof(ColourVertex)),
        S_OK);
    device->SetPixelShaderConstantF(0, second, 1);
    EXPECT_EQ(device->DrawPrimitiveUP(PrimitiveType::TriangleList, 1, triangles + 3,
                                      sizeof(ColourVertex)),
              S_OK);
    device->SetPixelShader(nullptr);

    // Texture a as rewritten, and texture c, whose last reference goes before the draw has run.
    device->SetTextureStageState(0, TextureStageState::ColorArg1, DWORD(TextureArg::Texture));
    device->SetFVF(kFvfTextured);
    for (Texture* texture : {a, c}) {
        device->SetTexture(0, texture);
        const TexturedVertex part[3] = {
            {4, 30, 1, 1, 0, 1}, {36, 2, 1, 1, 1, 0}, {38, 35, 1, 1, 1, 1}};
        EXPECT_EQ(device->DrawPrimitiveUP(PrimitiveType::TriangleList, 1, part, sizeof part[0]),
                  S_OK);
    }
    device->SetTexture(0, nullptr);
    cSurface->Release();
    c->Release();
    EXPECT_EQ(device->EndScene(), S_OK);

    std::vector<Colour> pixels(std::size_t{kWidth} * kHeight);
    EXPECT_EQ(readSurfacePixels(backBuffer, pixels.data(), pixels.size()), S_OK);
    for (Surface* surface : {aSurface, bSurface, backBuffer}) {
        surface->Release();
    }
    a->Release();
    b->Release();
    EXPECT_EQ(device->Release(), 0u);
    EXPECT_EQ(d3d->Release(), 0u);
    EXPECT_EQ(liveObjects().total(), 0);
    resetAdapter();
    return pixels;
}

TEST(BandedDrawsTest, GiveThePixelsOfDrawsRunAsTheyCome) {
    std::vector<Colour> midAtOnce, midBanded;
    const std::vector<Colour> atOnce = runScene(false, &midAtOnce);
    const std::vector<Colour> banded = runScene(true, &midBanded);
    ASSERT_EQ(banded.size(), atOnce.size());
    int differing = 0, midDiffering = 0;
    for (std::size_t i = 0; i < atOnce.size(); ++i) {
        differing += banded[i] != atOnce[i];
        midDiffering += midBanded[i] != midAtOnce[i];
    }
    EXPECT_EQ(differing, 0);
    EXPECT_EQ(midDiffering, 0);
    // The scene is no blank: the draws reached most pixels.
    int cleared = 0;
    for (Colour c : atOnce) {
        cleared += c == 0xFF102030u;
    }
    EXPECT_LT(cleared, int(atOnce.size()) / 4);
}

}  // namespace
}  // namespace gs::render::software::testing
