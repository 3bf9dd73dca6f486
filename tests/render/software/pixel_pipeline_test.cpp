// The pipeline's side of pixel shading: what a program receives per tile (texture coordinates at
// pixel centres, the diffuse colour, constants, the texture units) and what becomes of its
// output. A stand-in program writes its inputs out so they can be checked pixel by pixel.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "render/software/pipeline_kernels.h"
#include "render/software/pixel_pipeline.h"
#include "render/software/rasterizer.h"

namespace gs::render::software {
namespace {

// oC0 = (t0.x / 255, t0.y / 255, c0.x + v0.b, sample(s1, t0.z, 0.5).r)
class EchoProgram final : public PixelProgram {
public:
    std::size_t tokenCount() const override { return 0; }
    const DWORD* tokens() const override { return nullptr; }
    void run(const float (*constants)[4], const TextureUnits& textures,
             const PixelTileInputs& inputs, int count, PixelTileOutput& output) const override {
        ++tiles;
        largestTile = std::max(largestTile, count);
        float v[kTileLanes];
        std::fill(v, v + kTileLanes, 0.5f);
        float sampled[4][kTileLanes];
        textures.sample2D(1, inputs.texcoord[0][2], v, count, sampled, 15u);
        for (int i = 0; i < count; ++i) {
            output.colour[0][i] = inputs.texcoord[0][0][i] / 255.0f;
            output.colour[1][i] = inputs.texcoord[0][1][i] / 255.0f;
            output.colour[2][i] = constants[0][0] + inputs.colour[0][2][i];
            output.colour[3][i] = sampled[0][i];
        }
    }
    mutable int tiles = 0;
    mutable int largestTile = 0;
};

struct QuadVertex {
    float x, y, z, rhw;
    Colour diffuse;
    float u, v, w;
};

TEST(SoftwarePixelPipeline, ProgramsSeePixelCentresAndTheirOutputIsStored) {
    // 300 pixels per 64 lanes of a tile: four full tiles and a partial one.
    constexpr UINT kWidth = 100, kHeight = 3 * kTileLanes / 64;
    auto target = PixelStorage::create(kWidth, kHeight, Format::A8R8G8B8);
    auto strip = PixelStorage::create(4, 1, Format::X8R8G8B8);
    ASSERT_TRUE(target && strip);
    const Colour texels[4] = {0xFF000000u, 0xFF400000u, 0xFF800000u, 0xFFC00000u};
    for (int i = 0; i < 4; ++i) {
        strip->buffer().pixels[i] = texels[i];
    }

    TextureSampling textures;
    SamplerSetup mirror;
    mirror.texture = &strip->buffer();
    mirror.addressU = DWORD(TextureAddress::Mirror);
    mirror.magnifyLinear = true;
    textures.bind(1, mirror);
    const float constants[kPixelShaderFloatConstants][4] = {{0.25f}};
    const EchoProgram program;

    DrawSetup setup;
    setup.target = target->buffer();
    setup.program = &program;
    setup.constants = constants;
    setup.textures = &textures;
    ASSERT_TRUE(
        VertexLayout::parse(kFvfXyzRhw | kFvfDiffuse | kFvfTex1 | (1u << 16), &setup.layout));

    // u = x, v = y at every corner; the third coordinate puts u = 1.125 into the mirrored strip.
    const float w = kWidth, h = kHeight;
    const QuadVertex quad[4] = {{0, 0, 0, 1, 0xFF000080u, 0, 0, 1.125f},
                                {w, 0, 0, 1, 0xFF000080u, w, 0, 1.125f},
                                {w, h, 0, 1, 0xFF000080u, w, h, 1.125f},
                                {0, h, 0, 1, 0xFF000080u, 0, h, 1.125f}};
    PixelPipeline pipeline;
    pipeline.beginDraw(setup);
    for (int t = 0; t < 2; ++t) {
        Vertex a, b, c;
        setup.layout.decode(reinterpret_cast<const unsigned char*>(&quad[0]), &a);
        setup.layout.decode(reinterpret_cast<const unsigned char*>(&quad[1 + t]), &b);
        setup.layout.decode(reinterpret_cast<const unsigned char*>(&quad[2 + t]), &c);
        ASSERT_TRUE(pipeline.setTriangle(a, b, c));
        const float x[3] = {a.x, b.x, c.x}, y[3] = {a.y, b.y, c.y};
        rasterizeTriangle(x, y, pipeline.rasterTarget(), pipeline);
        pipeline.endPrimitive();
    }

    EXPECT_LE(program.largestTile, kTileLanes);
    EXPECT_GE(program.tiles, 5);
    for (UINT y = 0; y < kHeight; ++y) {
        for (UINT x = 0; x < kWidth; ++x) {
            // Blue 0.25 + 128/255 = 0.752 -> 192; alpha texel 3 of the strip, 0xC0; the target
            // keeps its alpha (A8R8G8B8).
            const Colour expected = 0xC00000C0u | (x << 16) | (y << 8);
            ASSERT_EQ(target->buffer().row(y)[x], expected) << x << "," << y;
        }
    }
}

TEST(SoftwarePixelPipeline, OutputIsSaturatedBeforeItIsBlendedOrStored) {
    auto target = PixelStorage::create(2, 1, Format::X8R8G8B8);
    ASSERT_TRUE(target);
    target->buffer().pixels[0] = target->buffer().pixels[1] = 0xFF808080u;

    // oC0 = (2, -1, NaN, 0.5)
    class Wild final : public PixelProgram {
    public:
        std::size_t tokenCount() const override { return 0; }
        const DWORD* tokens() const override { return nullptr; }
        void run(const float (*)[4], const TextureUnits&, const PixelTileInputs&, int count,
                 PixelTileOutput& output) const override {
            for (int i = 0; i < count; ++i) {
                output.colour[0][i] = 2.0f;
                output.colour[1][i] = -1.0f;
                output.colour[2][i] = std::nanf("");
                output.colour[3][i] = 0.5f;
            }
        }
    } program;
    TextureSampling textures;
    const float constants[kPixelShaderFloatConstants][4] = {};
    DrawSetup setup;
    setup.target = target->buffer();
    setup.program = &program;
    setup.constants = constants;
    setup.textures = &textures;
    // Source times its own colour plus the target: 1*1 + 0.5, 0*0 + 0.5, 0*0 + 0.5.
    setup.blend.enabled = true;
    setup.blend.sourceColour = setup.blend.sourceAlpha = DWORD(Blend::SrcColor);
    setup.blend.destinationColour = setup.blend.destinationAlpha = DWORD(Blend::One);
    ASSERT_TRUE(VertexLayout::parse(kFvfXyzRhw, &setup.layout));
    PixelPipeline pipeline;
    pipeline.beginDraw(setup);
    Vertex v{};
    pipeline.setConstant(v);
    rasterizeRectangle(-0.5f, -0.5f, 1.5f, 0.5f, pipeline.rasterTarget(), pipeline);
    pipeline.endPrimitive();
    EXPECT_EQ(target->buffer().pixels[0], 0xFFFF8080u);
    EXPECT_EQ(target->buffer().pixels[1], 0xFFFF8080u);
}

// Attributes the same across a primitive are written into a tile's lanes once and kept for the
// tiles after it. Another primitive's tiles may write those lanes in between (here a small
// triangle's tile of several rows); a later primitive of the first colour must not find them left
// over.
TEST(SoftwarePixelPipeline, AttributesKeptAcrossTilesAreNotLeftOverFromAnotherPrimitive) {
    constexpr UINT kWidth = 600, kHeight = 60;
    auto target = PixelStorage::create(kWidth, kHeight, Format::X8R8G8B8);
    ASSERT_TRUE(target);
    TextureSampling textures;
    DrawSetup setup;
    setup.target = target->buffer();
    setup.textures = &textures;
    setup.stage.colourOp = setup.stage.alphaOp = kOpSelectArg1;
    setup.stage.colourArg1 = setup.stage.alphaArg1 = kArgDiffuse;
    ASSERT_TRUE(VertexLayout::parse(kFvfXyzRhw | kFvfDiffuse, &setup.layout));
    PixelPipeline pipeline;
    pipeline.beginDraw(setup);
    // One colour at every corner: planes that do not change across the triangle.
    const auto triangle = [&](float x0, float y0, float x1, float y1, float x2, float y2,
                              float red) {
        Vertex v[3] = {};
        const float xs[3] = {x0, x1, x2}, ys[3] = {y0, y1, y2};
        for (int k = 0; k < 3; ++k) {
            v[k].x = xs[k];
            v[k].y = ys[k];
            v[k].rhw = 1.0f;
            v[k].attributes[kDiffuseSlot] = red;
            v[k].attributes[kDiffuseSlot + 3] = 1.0f;
        }
        ASSERT_TRUE(pipeline.setTriangle(v[0], v[1], v[2]));
        rasterizeTriangle(xs, ys, pipeline.rasterTarget(), pipeline);
        pipeline.endPrimitive();
    };
    // Rows wider than a tile (tiles of one run), a few short rows, then wide rows again.
    triangle(0, 0, 2 * kWidth, 0, 0, 20, 1.0f);
    triangle(0, 30, 20, 30, 0, 36, 0.0f);
    triangle(0, 40, 2 * kWidth, 40, 0, 60, 1.0f);
    for (UINT y = 40; y < 50; ++y) {
        for (UINT x = 0; x < kWidth - 2 * (y - 40) * 10; ++x) {
            ASSERT_EQ(target->buffer().row(y)[x], 0xFFFF0000u) << x << "," << y;
        }
    }
}

}  // namespace
}  // namespace gs::render::software
