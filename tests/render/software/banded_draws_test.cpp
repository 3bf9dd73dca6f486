// Draws held back and run band by band: the same pixels as draws run at once, whatever reads or
// writes the surfaces between them.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
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

// A device of kWidth x kHeight whose draws wait and run in bands of eight rows (the last one
// shorter) where `banded`, or run as they come.
Device* createDevice(bool banded, Direct3D** d3d) {
    resetAdapter();
    AdapterSettings settings = adapterSettings();
    settings.bandedTargetBytes = banded ? 0 : ~std::size_t{0};
    settings.bandBytes = 8 * kWidth * sizeof(Colour);
    setAdapterSettings(settings);
    *d3d = createDirect3D(kSdkVersion);
    PresentParameters p = presentParameters(kWidth, kHeight);
    Device* device = nullptr;
    EXPECT_EQ((*d3d)->CreateDevice(kDefaultAdapter, DeviceType::Hal, nullptr, 0, &p, &device),
              S_OK);
    return device;
}

void release(Device* device, Direct3D* d3d) {
    EXPECT_EQ(device->Release(), 0u);
    EXPECT_EQ(d3d->Release(), 0u);
    EXPECT_EQ(liveObjects().total(), 0);
    resetAdapter();
}

std::vector<Colour> readPixels(Surface* surface, UINT width, UINT height) {
    std::vector<Colour> pixels(std::size_t{width} * height);
    EXPECT_EQ(readSurfacePixels(surface, pixels.data(), pixels.size()), S_OK);
    return pixels;
}

int countDiffering(const std::vector<Colour>& a, const std::vector<Colour>& b) {
    EXPECT_EQ(a.size(), b.size());
    int differing = 0;
    for (std::size_t i = 0; i < std::min(a.size(), b.size()); ++i) {
        differing += a[i] != b[i];
    }
    return differing;
}

// The pixels of a scene that draws in every way the device holds back (a textured quad over a
// pending clear, points, programs with their own constants, a texture the caller lets go of),
// with a texture rewritten and the back buffer read between draws, on a device made by
// createDevice. `midScene` gets the back buffer as read halfway.
std::vector<Colour> runScene(bool banded, std::vector<Colour>* midScene) {
    Direct3D* d3d = nullptr;
    Device* device = createDevice(banded, &d3d);
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

    // Points of three colours that overlap, cross the bands' edges and leave the target: each
    // meets one band or two.
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
    // And points that reach over more than two bands, in a draw of their own.
    std::vector<PointVertex> large;
    for (int i = 0; i < 6; ++i) {
        large.push_back({float(i * 9 % 40), float(i * 13 % 38), 0, 1, 10.0f + 3.0f * float(i),
                         i % 2 == 0 ? 0xFF90A0B0u : 0xFFC0C080u});
    }
    EXPECT_EQ(device->DrawPrimitiveUP(PrimitiveType::PointList, UINT(large.size()), large.data(),
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

    const std::vector<Colour> pixels = readPixels(backBuffer, kWidth, kHeight);
    for (Surface* surface : {aSurface, bSurface, backBuffer}) {
        surface->Release();
    }
    a->Release();
    b->Release();
    release(device, d3d);
    return pixels;
}

TEST(BandedDrawsTest, GiveThePixelsOfDrawsRunAsTheyCome) {
    std::vector<Colour> midAtOnce, midBanded;
    const std::vector<Colour> atOnce = runScene(false, &midAtOnce);
    const std::vector<Colour> banded = runScene(true, &midBanded);
    EXPECT_EQ(countDiffering(banded, atOnce), 0);
    EXPECT_EQ(countDiffering(midBanded, midAtOnce), 0);
    // The scene is no blank: the draws reached most pixels.
    int cleared = 0;
    for (Colour c : atOnce) {
        cleared += c == 0xFF102030u;
    }
    EXPECT_LT(cleared, int(atOnce.size()) / 4);
}

// Frames with feedback, on a device made by createDevice: each draws the last frame's capture,
// turned a little, over a clear, adds points, and captures the back buffer (all but its last
// column and rows) into a texture of about half its size with a point-sampled StretchRect, which a
// banded device runs with the draws. Around the capture, each frame does one more thing that must
// see it done or not yet: a draw that samples the capture, reading the capture, a capture while
// the capture's device context is out, a capture by linear filtering, and (in a last frame that
// draws no background) the caller letting go of the texture before the capture has run. Returns
// the back buffer and the capture after each frame, one after the other.
std::vector<Colour> runFeedbackFrames(bool banded) {
    constexpr UINT kFeedbackWidth = 20, kFeedbackHeight = 18;
    Direct3D* d3d = nullptr;
    Device* device = createDevice(banded, &d3d);
    Surface* backBuffer = nullptr;
    device->GetRenderTarget(0, &backBuffer);
    Texture* feedback = nullptr;
    EXPECT_EQ(device->CreateTexture(kFeedbackWidth, kFeedbackHeight, 1, kUsageRenderTarget,
                                    Format::X8R8G8B8, Pool::Default, &feedback),
              S_OK);
    Surface* feedbackSurface = nullptr;
    feedback->GetSurfaceLevel(0, &feedbackSurface);
    std::vector<Colour> seed(std::size_t{kFeedbackWidth} * kFeedbackHeight);
    for (std::size_t i = 0; i < seed.size(); ++i) {
        seed[i] = Colour(0xFF000000u | (i * 0x3F1D27u & 0x00FFFFFFu));
    }
    EXPECT_EQ(writeSurfacePixels(feedbackSurface, seed.data(), seed.size()), S_OK);

    device->SetRenderState(RenderStateType::CullMode, DWORD(Cull::None));
    device->SetRenderState(RenderStateType::AlphaBlendEnable, TRUE);
    device->SetRenderState(RenderStateType::DestBlend, DWORD(Blend::One));
    device->SetSamplerState(0, SamplerState::MagFilter, DWORD(TextureFilter::Linear));
    device->SetSamplerState(0, SamplerState::MinFilter, DWORD(TextureFilter::Linear));
    device->SetTextureStageState(0, TextureStageState::ColorOp, DWORD(TextureOp::SelectArg1));
    const float w = float(kWidth), h = float(kHeight);
    const RECT visible = {0, 0, LONG(kWidth) - 1, LONG(kHeight) - 2};
    const auto capture = [&](TextureFilter filter) {
        EXPECT_EQ(device->StretchRect(backBuffer, &visible, feedbackSurface, nullptr, filter),
                  S_OK);
    };
    const auto drawFeedback = [&](const TexturedVertex* vertices, UINT triangles) {
        device->SetRenderState(RenderStateType::SrcBlend, DWORD(Blend::One));
        device->SetTextureStageState(0, TextureStageState::ColorArg1, DWORD(TextureArg::Texture));
        device->SetTexture(0, feedback);
        device->SetFVF(kFvfTextured);
        EXPECT_EQ(device->DrawPrimitiveUP(PrimitiveType::TriangleFan, triangles, vertices,
                                          sizeof vertices[0]),
                  S_OK);
        device->SetTexture(0, nullptr);
    };

    std::vector<Colour> frames;
    const auto keep = [&](Surface* surface, UINT width, UINT height) {
        const std::vector<Colour> pixels = readPixels(surface, width, height);
        frames.insert(frames.end(), pixels.begin(), pixels.end());
    };
    constexpr int kFrames = 6;
    for (int frame = 0; frame < kFrames; ++frame) {
        HDC dc = nullptr;
        if (frame == 3) {
            EXPECT_EQ(feedbackSurface->GetDC(&dc), S_OK);
        }
        EXPECT_EQ(device->Clear(0, nullptr, kClearTarget, 0xFF081018u, 1.0f, 0), S_OK);
        EXPECT_EQ(device->BeginScene(), S_OK);
        const float turn = 0.02f * float(frame + 1);
        const TexturedVertex background[4] = {{0, 0, 1, 1, turn, 0.0f},
                                              {w, 0, 1, 1, 1.0f, turn},
                                              {w, h, 1, 1, 1.0f - turn, 1.0f},
                                              {0, h, 1, 1, 0.0f, 1.0f - turn}};
        if (frame < kFrames - 1) {
            drawFeedback(background, 2);  // the last frame's copy is all that holds the texture
        }

        device->SetRenderState(RenderStateType::SrcBlend, DWORD(Blend::DestColor));
        device->SetTextureStageState(0, TextureStageState::ColorArg1, DWORD(TextureArg::Diffuse));
        std::vector<PointVertex> points;
        for (int i = 0; i < 24; ++i) {
            points.push_back({float((i * 7 + frame * 5) % 43) - 1.5f, float(i * 11 % 39) - 0.5f, 0,
                              1, 2.0f + float(i % 4), 0xFF604020u + Colour(i) * 0x00030507u});
        }
        device->SetFVF(kFvfPoint);
        EXPECT_EQ(device->DrawPrimitiveUP(PrimitiveType::PointList, UINT(points.size()),
                                          points.data(), sizeof(PointVertex)),
                  S_OK);

        capture(frame == 4 ? TextureFilter::Linear : TextureFilter::None);
        if (dc != nullptr) {
            EXPECT_EQ(feedbackSurface->ReleaseDC(dc), S_OK);
        }
        if (frame == 1) {
            // A draw of the capture just made: it waits for the copy.
            const TexturedVertex corner[3] = {
                {2, 2, 1, 1, 0, 0}, {30, 4, 1, 1, 1, 0.1f}, {6, 33, 1, 1, 0.2f, 1}};
            drawFeedback(corner, 1);
        }
        if (frame == 2) {
            const std::vector<Colour> midScene =
                readPixels(feedbackSurface, kFeedbackWidth, kFeedbackHeight);
            frames.insert(frames.end(), midScene.begin(), midScene.end());
        }
        if (frame == kFrames - 1) {
            // The caller lets go of the texture; the waiting copy still writes it.
            feedbackSurface->Release();
            feedback->Release();
        }
        EXPECT_EQ(device->EndScene(), S_OK);
        keep(backBuffer, kWidth, kHeight);
        if (frame < kFrames - 1) {
            keep(feedbackSurface, kFeedbackWidth, kFeedbackHeight);
        }
    }
    backBuffer->Release();
    release(device, d3d);
    return frames;
}

TEST(BandedDrawsTest, CaptureTheFeedbackAsACopyRunAtOnceDoes) {
    const std::vector<Colour> atOnce = runFeedbackFrames(false);
    const std::vector<Colour> banded = runFeedbackFrames(true);
    EXPECT_EQ(countDiffering(banded, atOnce), 0);
    // The frames are no blank: the background carries the seed, and the points show.
    std::set<Colour> colours(atOnce.begin(), atOnce.end());
    EXPECT_GT(colours.size(), atOnce.size() / 8);
}

// A capture still waiting when the device is lost never runs: its texture keeps the pixels it
// had, as a capture made on the lost device would leave them.
TEST(BandedDrawsTest, LoseAWaitingCaptureWithoutTouchingItsTexture) {
    Direct3D* d3d = nullptr;
    Device* device = createDevice(true, &d3d);
    Surface* backBuffer = nullptr;
    device->GetRenderTarget(0, &backBuffer);
    Texture* feedback = nullptr;
    EXPECT_EQ(device->CreateTexture(8, 8, 1, kUsageRenderTarget, Format::X8R8G8B8, Pool::Default,
                                    &feedback),
              S_OK);
    Surface* feedbackSurface = nullptr;
    feedback->GetSurfaceLevel(0, &feedbackSurface);
    const std::vector<Colour> seed(64, 0xFF123456u);
    EXPECT_EQ(writeSurfacePixels(feedbackSurface, seed.data(), seed.size()), S_OK);

    EXPECT_EQ(device->Clear(0, nullptr, kClearTarget, 0xFF000000u, 1.0f, 0), S_OK);
    EXPECT_EQ(device->BeginScene(), S_OK);
    const ColourVertex triangle[3] = {
        {0, 0, 0, 1, 0xFFFF0000u}, {40, 0, 0, 1, 0xFFFF0000u}, {0, 37, 0, 1, 0xFFFF0000u}};
    device->SetFVF(kFvfColour);
    EXPECT_EQ(
        device->DrawPrimitiveUP(PrimitiveType::TriangleList, 1, triangle, sizeof(ColourVertex)),
        S_OK);
    EXPECT_EQ(
        device->StretchRect(backBuffer, nullptr, feedbackSurface, nullptr, TextureFilter::Point),
        S_OK);
    loseDevices();
    EXPECT_EQ(device->EndScene(), S_OK);
    EXPECT_EQ(readPixels(feedbackSurface, 8, 8), seed);

    feedbackSurface->Release();
    feedback->Release();
    backBuffer->Release();
    release(device, d3d);
}

}  // namespace
}  // namespace gs::render::software::testing
