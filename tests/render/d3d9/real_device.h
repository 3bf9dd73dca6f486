// A windowed Direct3D 9 device made the way the renderer makes it: a hidden window, a back buffer
// of the display's size that is lockable and never presented, software vertex processing.
#pragma once

#include <gtest/gtest.h>

#include "pixels.h"
#include "render/device.h"

namespace gs::render::d3d9::testing {

// The renderer's vertex records, and a plain coloured one.
struct TexturedVertex {  // XYZRHW | DIFFUSE | TEX1 (0x144)
    float x, y, z, rhw;
    Colour diffuse;
    float u, v;
};
struct PointVertex {  // XYZRHW | PSIZE | DIFFUSE (0x64)
    float x, y, z, rhw, size;
    Colour diffuse;
};
struct ShaderQuadVertex {  // XYZRHW | TEX1 (0x104)
    float x, y, z, rhw, u, v;
};
struct ColouredVertex {  // XYZRHW | DIFFUSE (0x44)
    float x, y, z, rhw;
    Colour diffuse;
};
static_assert(sizeof(TexturedVertex) == 28 && sizeof(PointVertex) == 24 &&
              sizeof(ShaderQuadVertex) == 24 && sizeof(ColouredVertex) == 20);

// Each test gets its own device and must give back every reference it takes: TearDown checks
// that the device's last release brings its count to 0. Creating Direct3D costs Wine about half
// a second, so the Direct3D object and the window are shared by the tests of a suite.
class RealDeviceTest : public ::testing::Test {
protected:
    static void SetUpTestSuite();
    static void TearDownTestSuite();
    void SetUp() override;
    void TearDown() override;

    // A one-level render-target texture in the back buffer's format and its level-0 surface, both
    // released by TearDown.
    struct Target {
        Texture* texture = nullptr;
        Surface* surface = nullptr;
    };
    Target makeTarget(UINT width, UINT height);

    Surface* backBuffer() const { return backBuffer_; }
    Pixels readBackBuffer(int width, int height) {
        return Pixels::read(backBuffer_, width, height);
    }

    // Fills one pixel, so that tests can build patterns whose every pixel is told apart.
    void fillPixel(Surface* surface, LONG x, LONG y, Colour colour);

    void setBlend(Blend source, Blend destination);
    // Stage 0 takes its colour from `colour` and its alpha from the diffuse colour.
    void setStage0Colour(TextureArg colour);
    // Stage 0 passes the diffuse colour on; blending is off.
    void useDiffuseColourOnly();
    // Draws an axis-aligned rectangle as a fan of two pre-transformed triangles.
    void drawRectangle(float left, float top, float right, float bottom, Colour colour);

    static HWND window_;
    static Direct3D* direct3d_;
    static DisplayMode mode_;
    Device* device_ = nullptr;

private:
    Surface* backBuffer_ = nullptr;
    static constexpr int kMaxTargets = 8;
    Target targets_[kMaxTargets];
    int targetCount_ = 0;
};

}  // namespace gs::render::d3d9::testing
