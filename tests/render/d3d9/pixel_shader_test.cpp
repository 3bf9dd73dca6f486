// A hand-encoded shader-model-2.0 pixel shader on the real Direct3D 9, drawn the way the effect
// draws its quad: pre-transformed corners with texture coordinates equal to their positions.
#include "real_device.h"
#include "shader_tokens.h"

namespace gs::render::d3d9::testing {
namespace {

class PixelShaderTest : public RealDeviceTest {
protected:
    void drawQuad(float left, float top, float right, float bottom, float u0, float v0, float u1,
                  float v1) {
        const ShaderQuadVertex fan[4] = {
            {left, top, 1.0f, 1.0f, u0, v0},
            {right, top, 1.0f, 1.0f, u1, v0},
            {right, bottom, 1.0f, 1.0f, u1, v1},
            {left, bottom, 1.0f, 1.0f, u0, v1},
        };
        EXPECT_EQ(device_->DrawPrimitiveUP(PrimitiveType::TriangleFan, 2, fan, sizeof(fan[0])),
                  S_OK);
    }

    // Runs `tokens` over a quad whose texture coordinates equal its pixel positions, covering
    // the whole back buffer, with blending off.
    Pixels drawPositionQuad(const DWORD* tokens, int readWidth, int readHeight) {
        PixelShader* shader = nullptr;
        EXPECT_EQ(device_->CreatePixelShader(tokens, &shader), S_OK);
        if (shader == nullptr) {
            return readBackBuffer(readWidth, readHeight);
        }
        const auto w = static_cast<float>(mode_.Width);
        const auto h = static_cast<float>(mode_.Height);
        EXPECT_EQ(device_->Clear(0, nullptr, kClearTarget, 0xFF000000, 1.0f, 0), S_OK);
        device_->SetRenderState(RenderStateType::AlphaBlendEnable, FALSE);
        EXPECT_EQ(device_->SetPixelShader(shader), S_OK);
        EXPECT_EQ(device_->SetFVF(kFvfXyzRhw | kFvfTex1), S_OK);
        EXPECT_EQ(device_->BeginScene(), S_OK);
        drawQuad(0.0f, 0.0f, w, h, 0.0f, 0.0f, w, h);
        EXPECT_EQ(device_->EndScene(), S_OK);
        EXPECT_EQ(device_->SetPixelShader(nullptr), S_OK);
        EXPECT_EQ(shader->Release(), 0u);
        return readBackBuffer(readWidth, readHeight);
    }
};

// The fragment coordinate the effect relies on: at the pixel in column i and row j the
// interpolated texture coordinate is exactly (i, j). Scaled by 2/255 it reads back as 2i and 2j;
// a half-pixel offset would show as odd levels.
TEST_F(PixelShaderTest, TextureCoordinateAtAPixelIsItsWholeNumberPosition) {
    const ScaleShader tokens = scaleShader(2.0f / 255.0f, 2.0f / 255.0f, 0.0f, 0.0f);
    const Pixels pixels = drawPositionQuad(tokens.data(), 160, 160);
    int mismatches = 0;
    for (int y = 0; y < 160; ++y) {
        for (int x = 0; x < 160; ++x) {
            // Beyond 127 the output passes 1 and the stored value saturates.
            const Rgb expected = rgb(std::min(2 * x, 255), std::min(2 * y, 255), 0);
            if (pixels.at(x, y) != expected && ++mismatches <= 5) {
                ADD_FAILURE() << "at " << x << ", " << y << ": " << std::hex << pixels.at(x, y);
            }
        }
    }
    EXPECT_EQ(mismatches, 0);
}

TEST_F(PixelShaderTest, ConstantsSetThroughTheDeviceReachTheShader) {
    const ScaleShader tokens = scaleShader(0, 0, 0, 0, /*defineScale=*/false);
    const float scale[4] = {0.0f, 1.0f / 255.0f, 2.0f / 255.0f, 0.0f};
    ASSERT_EQ(device_->SetPixelShaderConstantF(0, scale, 1), S_OK);
    float back[4] = {};
    ASSERT_EQ(device_->GetPixelShaderConstantF(0, back, 1), S_OK);
    EXPECT_EQ(back[2], scale[2]);
    const Pixels pixels = drawPositionQuad(tokens.data(), 64, 64);
    EXPECT_EQ(pixels.at(40, 30), rgb(0, 30, 0));
    EXPECT_EQ(pixels.at(63, 63), rgb(0, 63, 0));
}

// Shader output is stored as the nearest 8-bit level: (k + f) / 255 becomes k for f below one
// half and k + 1 above it. (An exact half falls either way, with the rounding of the float
// arithmetic before it.)
TEST_F(PixelShaderTest, OutputIsRoundedToTheNearestLevel) {
    const ScaleShader tokens = scaleShader(1.0f / 255.0f, 0.0f, 0.0f, 0.0f);
    PixelShader* shader = nullptr;
    ASSERT_EQ(device_->CreatePixelShader(tokens.data(), &shader), S_OK);
    ASSERT_EQ(device_->Clear(0, nullptr, kClearTarget, 0xFF000000, 1.0f, 0), S_OK);
    device_->SetRenderState(RenderStateType::AlphaBlendEnable, FALSE);
    ASSERT_EQ(device_->SetPixelShader(shader), S_OK);
    ASSERT_EQ(device_->SetFVF(kFvfXyzRhw | kFvfTex1), S_OK);
    const float fractions[] = {0.1f, 0.25f, 0.45f, 0.55f, 0.75f, 0.9f};
    const int levels[] = {0, 1, 17, 100, 200, 254};
    ASSERT_EQ(device_->BeginScene(), S_OK);
    for (int row = 0; row < 6; ++row) {
        for (int column = 0; column < 6; ++column) {
            const float u = static_cast<float>(levels[column]) + fractions[row];
            const auto x = static_cast<float>(4 * column);
            const auto y = static_cast<float>(2 * row);
            drawQuad(x, y, x + 4.0f, y + 2.0f, u, 0.0f, u, 0.0f);
        }
    }
    ASSERT_EQ(device_->EndScene(), S_OK);
    ASSERT_EQ(device_->SetPixelShader(nullptr), S_OK);
    EXPECT_EQ(shader->Release(), 0u);

    const Pixels pixels = readBackBuffer(24, 12);
    for (int row = 0; row < 6; ++row) {
        for (int column = 0; column < 6; ++column) {
            const unsigned expected = levels[column] + (fractions[row] > 0.5f ? 1 : 0);
            EXPECT_EQ(red(pixels.at(4 * column + 1, 2 * row + 1)), expected)
                << levels[column] << " + " << fractions[row];
        }
    }
}

}  // namespace
}  // namespace gs::render::d3d9::testing
