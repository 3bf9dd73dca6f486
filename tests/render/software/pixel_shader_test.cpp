// Pixel shaders on the device: creation and binding, and what a bound shader receives (texture
// coordinates at pixel centres, constants, the bound textures with their sampler states) and
// what becomes of its output.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "fx/assembler/pixel_shader_assembler.h"
#include "tests/render/software/device_test_support.h"

namespace gs::render::software::testing {
namespace {

std::vector<DWORD> assemble(const std::string& source) {
    std::vector<DWORD> tokens;
    fx::AssemblyError error{0, ""};
    EXPECT_TRUE(fx::assemblePixelShader(source, tokens, error))
        << "line " << error.line << ": " << error.message;
    return tokens;
}

class SoftwarePixelShaderTest : public DeviceTest {
protected:
    void SetUp() override {
        DeviceTest::SetUp();
        device_->SetRenderState(RenderStateType::CullMode, DWORD(Cull::None));
        ASSERT_EQ(device_->Clear(0, nullptr, kClearTarget, 0xFF000000u, 1.0f, 0), S_OK);
    }
    void TearDown() override {
        if (shader_ != nullptr) {
            shader_->Release();
        }
        DeviceTest::TearDown();
    }

    void use(const std::string& source) {
        const std::vector<DWORD> tokens = assemble(source);
        ASSERT_FALSE(tokens.empty());
        ASSERT_EQ(device_->CreatePixelShader(tokens.data(), &shader_), S_OK);
        ASSERT_EQ(device_->SetPixelShader(shader_), S_OK);
    }

    // The renderer's effect quad: corners of the target, u = x and v = y.
    void effectQuad() {
        const float w = float(width()), h = float(height());
        const TexturedVertex fan[4] = {
            {0, 0, 1, 1, 0, 0}, {w, 0, 1, 1, w, 0}, {w, h, 1, 1, w, h}, {0, h, 1, 1, 0, h}};
        ASSERT_EQ(device_->BeginScene(), S_OK);
        ASSERT_EQ(draw(PrimitiveType::TriangleFan, 2, fan, kFvfTextured), S_OK);
        ASSERT_EQ(device_->EndScene(), S_OK);
    }

    PixelShader* shader_ = nullptr;
};

TEST_F(SoftwarePixelShaderTest, EveryPixelReceivesItsOwnPosition) {
    use(R"(ps_2_0
           dcl t0.xy
           def c0, 0, 0, 0, 1
           mov r0, c0
           mul r0.xy, t0, c3
           mov oC0, r0)");
    const float scale[4] = {1.0f / 255.0f, 1.0f / 255.0f, 0.0f, 0.0f};
    ASSERT_EQ(device_->SetPixelShaderConstantF(3, scale, 1), S_OK);
    effectQuad();
    const std::vector<Colour> got = pixels(backBuffer_);
    for (UINT y = 0; y < kHeight; ++y) {
        for (UINT x = 0; x < kWidth; ++x) {
            EXPECT_EQ(got[y * kWidth + x], 0xFF000000u | (x << 16) | (y << 8)) << x << "," << y;
        }
    }
}

// Rows wider than a tile, so that tiles hold one row (whose y is one value) or, for narrow
// primitives, pieces of many rows.
class WidePixelShaderTest : public SoftwarePixelShaderTest {
protected:
    UINT width() const override { return 300; }
    UINT height() const override { return 20; }
};

// Each pixel's distance from a point, from its own coordinates, however the primitives lay them
// out: along the rows (the effect quad, whose v is one value along a row), turned (v changes
// along a row), and in slivers two pixels wide (tiles of many rows).
TEST_F(WidePixelShaderTest, DistancesFollowEveryPixelsOwnCoordinates) {
    use(R"(ps_2_0
           def c2, 0, 0, 0, 0
           dcl t0.xyz
           sub r0.xyz, t0, c0
           dp3 r0.x, r0, r0
           rsq r0.x, r0.x
           rcp r0.x, r0.x
           mul r0.x, r0.x, c1.x
           mov r0.yzw, c2.x
           mov oC0, r0)");
    const float point[4] = {97.0f, 6.0f, 0.0f, 0.0f}, scale[4] = {1.0f / 400.0f, 0, 0, 0};
    ASSERT_EQ(device_->SetPixelShaderConstantF(0, point, 1), S_OK);
    ASSERT_EQ(device_->SetPixelShaderConstantF(1, scale, 1), S_OK);
    const float w = float(width()), h = float(height());
    const float cosine = std::cos(0.3f), sine = std::sin(0.3f);
    // The coordinates of pixel centre (x, y): (x, y) itself, or turned about the origin.
    const auto coordinates = [&](bool turned, double x, double y) {
        return turned ? std::pair{cosine * x - sine * y, sine * x + cosine * y} : std::pair{x, y};
    };
    const auto vertex = [&](bool turned, float x, float y) {
        const auto [u, v] = coordinates(turned, x, y);
        return TexturedVertex{x, y, 1, 1, float(u), float(v)};
    };
    for (int layout = 0; layout < 3; ++layout) {
        SCOPED_TRACE(layout == 0 ? "along the rows" : layout == 1 ? "turned" : "slivers");
        const bool turned = layout == 1;
        ASSERT_EQ(device_->Clear(0, nullptr, kClearTarget, 0xFF000000u, 1.0f, 0), S_OK);
        ASSERT_EQ(device_->BeginScene(), S_OK);
        if (layout < 2) {
            const TexturedVertex fan[4] = {vertex(turned, 0, 0), vertex(turned, w, 0),
                                           vertex(turned, w, h), vertex(turned, 0, h)};
            ASSERT_EQ(draw(PrimitiveType::TriangleFan, 2, fan, kFvfTextured), S_OK);
        } else {
            std::vector<TexturedVertex> slivers;
            for (float x = 0; x < w; x += 2) {
                for (const auto& [vx, vy] : {std::pair{x, 0.0f},
                                             {x + 2, 0.0f},
                                             {x + 2, h},
                                             {x, 0.0f},
                                             {x + 2, h},
                                             {x, h}}) {
                    slivers.push_back(vertex(false, vx, vy));
                }
            }
            ASSERT_EQ(draw(PrimitiveType::TriangleList, UINT(slivers.size() / 3), slivers.data(),
                           kFvfTextured),
                      S_OK);
        }
        ASSERT_EQ(device_->EndScene(), S_OK);
        const std::vector<Colour> got = pixels(backBuffer_);
        int wrong = 0;
        for (UINT y = 0; y < height(); ++y) {
            for (UINT x = 0; x < width(); ++x) {
                const auto [u, v] = coordinates(turned, x, y);
                const double distance = std::hypot(u - point[0], v - point[1]);
                const int expected = int(std::min(distance * scale[0], 1.0) * 255.0 + 0.5);
                const int red = int((got[y * width() + x] >> 16) & 0xFF);
                wrong += std::abs(red - expected) > 1;
            }
        }
        EXPECT_EQ(wrong, 0);
    }
}

TEST_F(SoftwarePixelShaderTest, ShadersSampleTheBoundTexturesWithTheirSamplerStates) {
    // Two strips of four texels like the effect's colour histories: left mirrored, right clamped.
    Texture *leftTexture = nullptr, *rightTexture = nullptr;
    Surface *left = nullptr, *right = nullptr;
    makeTexture(4, 1, Format::X8R8G8B8, &leftTexture, &left);
    makeTexture(4, 1, Format::X8R8G8B8, &rightTexture, &right);
    const std::vector<Colour> leftTexels = {0xFF000000u, 0xFF400000u, 0xFF800000u, 0xFFC00000u};
    const std::vector<Colour> rightTexels = {0xFF000010u, 0xFF000020u, 0xFF000030u, 0xFF000040u};
    ASSERT_EQ(writeSurfacePixels(left, leftTexels.data(), 4), S_OK);
    ASSERT_EQ(writeSurfacePixels(right, rightTexels.data(), 4), S_OK);
    ASSERT_EQ(device_->SetTexture(0, leftTexture), S_OK);
    ASSERT_EQ(device_->SetTexture(1, rightTexture), S_OK);
    for (DWORD s : {0u, 1u}) {
        device_->SetSamplerState(s, SamplerState::MagFilter, DWORD(TextureFilter::Linear));
        device_->SetSamplerState(s, SamplerState::MinFilter, DWORD(TextureFilter::Linear));
        device_->SetSamplerState(s, SamplerState::AddressV, DWORD(TextureAddress::Clamp));
    }
    device_->SetSamplerState(0, SamplerState::AddressU, DWORD(TextureAddress::Mirror));
    device_->SetSamplerState(1, SamplerState::AddressU, DWORD(TextureAddress::Clamp));

    // Both strips read at u = x / 8, v = 0.5; the sum is added to the target (one, one).
    use(R"(ps_2_0
           dcl t0.xy
           dcl_2d s0
           dcl_2d s1
           def c0, 0.125, 0, 0, 0
           def c1, 0, 0.5, 0, 0
           mad r0, t0.x, c0, c1
           texld r1, r0, s0
           texld r2, r0, s1
           add r1, r1, r2
           mov oC0, r1)");
    device_->SetRenderState(RenderStateType::AlphaBlendEnable, TRUE);
    device_->SetRenderState(RenderStateType::SrcBlend, DWORD(Blend::One));
    device_->SetRenderState(RenderStateType::DestBlend, DWORD(Blend::One));
    ASSERT_EQ(device_->Clear(0, nullptr, kClearTarget, 0xFF000100u, 1.0f, 0), S_OK);
    effectQuad();

    // Column x reads u = x/8: s = x/2 - 0.5 in texel units.
    // x = 4: u = 0.5, the mean of texels 1 and 2 (red 0x60, blue 0x28).
    // x = 9: u = 1.125, the left strip mirrored to texel 3 exactly, the right clamped to 3.
    // x = 12: u = 1.5, mirrored back to 0.5 (red 0x60); the right clamped (blue 0x40).
    EXPECT_COLOUR_NEAR(target(4, 0), 0xFF600128u, 1);
    EXPECT_COLOUR_NEAR(target(9, 5), 0xFFC00140u, 1);
    EXPECT_COLOUR_NEAR(target(12, 11), 0xFF600140u, 1);
    EXPECT_COLOUR_NEAR(target(0, 3), 0xFF000110u, 1);  // u = 0: texel 0 of each

    left->Release();
    right->Release();
    leftTexture->Release();
    rightTexture->Release();
}

TEST_F(SoftwarePixelShaderTest, ShadersAreReferenceCountedAndUnbindingRestoresFixedFunction) {
    use(R"(ps_2_0
           def c0, 1, 0, 1, 1
           mov oC0, c0)");
    PixelShader* bound = nullptr;
    ASSERT_EQ(device_->GetPixelShader(&bound), S_OK);
    EXPECT_EQ(bound, shader_);
    EXPECT_EQ(bound->Release(), 1u);
    EXPECT_EQ(liveObjects().shaders, 1);

    device_->SetTextureStageState(0, TextureStageState::ColorOp, DWORD(TextureOp::SelectArg1));
    device_->SetTextureStageState(0, TextureStageState::ColorArg1, DWORD(TextureArg::Diffuse));
    const float w = float(kWidth), h = float(kHeight);
    const ColourVertex fan[4] = {{0, 0, 0, 1, 0xFF00FF00u},
                                 {w, 0, 0, 1, 0xFF00FF00u},
                                 {w, h, 0, 1, 0xFF00FF00u},
                                 {0, h, 0, 1, 0xFF00FF00u}};
    ASSERT_EQ(device_->BeginScene(), S_OK);
    ASSERT_EQ(draw(PrimitiveType::TriangleFan, 2, fan, kFvfColour), S_OK);
    EXPECT_EQ(target(5, 5), 0xFFFF00FFu);  // the shader's magenta, not the diffuse green

    // The device holds the shader while it is bound, even after the caller lets go.
    EXPECT_EQ(shader_->Release(), 0u);
    shader_ = nullptr;
    EXPECT_EQ(liveObjects().shaders, 1);
    ASSERT_EQ(device_->SetPixelShader(nullptr), S_OK);
    EXPECT_EQ(liveObjects().shaders, 0);
    ASSERT_EQ(draw(PrimitiveType::TriangleFan, 2, fan, kFvfColour), S_OK);
    ASSERT_EQ(device_->EndScene(), S_OK);
    EXPECT_EQ(target(5, 5), 0xFF00FF00u);
}

TEST_F(SoftwarePixelShaderTest, MalformedOrForeignShadersAreRefused) {
    PixelShader* shader = reinterpret_cast<PixelShader*>(std::uintptr_t{0xdeadbeef});
    const DWORD vertexShader[] = {0xFFFE0200u, 0x0000FFFFu};
    EXPECT_EQ(device_->CreatePixelShader(vertexShader, &shader), kErrInvalidCall);
    EXPECT_EQ(shader, nullptr);
    const DWORD noOutput[] = {0xFFFF0200u, 0x0000FFFFu};
    EXPECT_EQ(device_->CreatePixelShader(noOutput, &shader), kErrInvalidCall);
    // A literal equal to the end token does not end the stream early.
    std::vector<DWORD> tokens = assemble(R"(ps_2_0
                                            def c0, 0, 0, 0, 0
                                            mov oC0, c0)");
    ASSERT_GE(tokens.size(), 4u);
    tokens[3] = 0x0000FFFFu;  // c0.x's bits
    ASSERT_EQ(device_->CreatePixelShader(tokens.data(), &shader), S_OK);

    PresentParameters p = presentParameters(4, 4);
    Device* other = nullptr;
    ASSERT_EQ(direct3d_->CreateDevice(kDefaultAdapter, DeviceType::Hal, nullptr, 0, &p, &other),
              S_OK);
    EXPECT_EQ(other->SetPixelShader(shader), kErrInvalidCall);
    EXPECT_EQ(other->Release(), 0u);
    EXPECT_EQ(shader->Release(), 0u);
}

}  // namespace
}  // namespace gs::render::software::testing
