// Pixel processing of the software device: from covered pixels to stored colours.
//
// The rasteriser hands over spans; the pipeline packs them into tiles of kTileLanes pixels and,
// for each tile, interpolates the vertex attributes (structure of arrays), runs the pixel shader
// or the fixed-function texture stage, blends with the target and stores 8-bit channels. All
// per-draw decisions (blend factors, stage operations, sampler setups) are taken once in
// beginDraw; the per-pixel loops only do arithmetic. Runs of points of one colour under a blend
// that keeps channels apart skip the tiles: their pixels are looked up in a ChannelTable.
//
// Honoured states: ALPHABLENDENABLE, SRCBLEND, DESTBLEND, BLENDOP, SEPARATEALPHABLENDENABLE with
// its alpha factors and operation, BLENDFACTOR, COLORWRITEENABLE, SHADEMODE, SPECULARENABLE,
// TEXTUREFACTOR; texture stage 0 (COLOROP, COLORARG1/2, ALPHAOP, ALPHAARG1/2, TEXCOORDINDEX);
// sampler ADDRESSU/V, MAGFILTER, MINFILTER and BORDERCOLOR. Depth, stencil, fog, alpha test and
// stages above 0 are not applied.
#pragma once

#include <array>
#include <cstddef>

#include "render/device.h"
#include "render/software/channel_table.h"
#include "render/software/deferred_fill.h"
#include "render/software/pipeline_kernels.h"
#include "render/software/pixel_buffer.h"
#include "render/software/rasterizer.h"
#include "render/software/shader/pixel_program.h"
#include "render/software/texture_sampling.h"
#include "render/software/vertex_format.h"

namespace gs::render::software {

struct BlendSetup {
    bool enabled = false;
    // D3DBLEND_* factors and D3DBLENDOP_* operations, for colour and for alpha.
    DWORD sourceColour = 2, destinationColour = 1, operationColour = 1;
    DWORD sourceAlpha = 2, destinationAlpha = 1, operationAlpha = 1;
    std::array<float, 4> blendFactor{1.0f, 1.0f, 1.0f, 1.0f};  // r, g, b, a
    Colour writeMask = 0xFFFFFFFFu;                            // pixel bits that are written
};

struct TextureStageSetup {
    DWORD colourOp = 4, colourArg1 = 2, colourArg2 = 1;
    DWORD alphaOp = 2, alphaArg1 = 2, alphaArg2 = 1;
    int texCoordSet = 0;
    std::array<float, 4> textureFactor{1.0f, 1.0f, 1.0f, 1.0f};
    bool addSpecular = false;
};

struct DrawSetup {
    PixelBuffer target;
    // With a program, pixels are shaded by it; without, by texture stage 0.
    const PixelProgram* program = nullptr;
    const float (*constants)[4] = nullptr;
    const TextureSampling* textures = nullptr;
    TextureStageSetup stage;
    BlendSetup blend;
    VertexLayout layout;
    bool flatShading = false;
};

class PixelPipeline final : public SpanSink {
public:
    PixelPipeline();

    // With `fill`, the target's clear is still to be written: each span writes it first.
    void beginDraw(const DrawSetup& setup, DeferredFill* fill = nullptr);
    // Draws begun from now on take the fast path for their states where there is one (the
    // default), or the general path for everything (to compare the two).
    void useFastPaths(bool enabled) { fastPaths_ = enabled; }
    // Whether the current draw's states take the textured fast path (for primitives without
    // perspective).
    bool texturedPathChosen() const { return tile_.texturedPath; }
    // Whether the current primitive's pixels are blended by table (ChannelTable).
    bool channelTableChosen() const { return tableActive_; }

    // Attribute planes of a triangle, interpolated at pixel centres (perspective-correct when the
    // vertices' rhw differ). False when the triangle has no area: draw nothing for it.
    bool setTriangle(const Vertex& v0, const Vertex& v1, const Vertex& v2);
    // Whether this triangle gives the current triangle's planes and choices bit for bit (a quad's
    // halves with attributes affine across it): its pixels then shade as the current triangle's
    // and may share their tiles. Leaves the current triangle set.
    bool sharesShading(const Vertex& v0, const Vertex& v1, const Vertex& v2);
    // Every pixel of the next primitive takes this vertex's attributes (points).
    void setConstant(const Vertex& v);

    void span(int y, int x0, int x1) override;
    // Asks for the target's pixels under [left, right) x [top, bottom) ahead of a primitive that
    // will cover them: points lie scattered over the target, each on lines of its own that a
    // target larger than the processor's nearer caches holds only further out.
    void prefetchRectangle(float left, float top, float right, float bottom) const;
    // Shades what is left of the current primitive. Primitives are finished in order, so later
    // ones blend over earlier ones.
    void endPrimitive();

    // A tile of the textured fast path never joins a row that is a multiple of this to the rows
    // above it. That path steps texel positions in fixed point from each run's first pixel, so
    // its pixels depend, in the last bit, on where runs begin: limited to rows from a multiple of
    // this to another, a primitive is cut into the very tiles it takes when drawn whole.
    static constexpr int kTileRowBlock = 8;

    // Primitives cover only the rows [first, end) from now until the next beginDraw, which lifts
    // the limit. Where first and end (unless the target's height) are multiples of
    // kTileRowBlock, every pixel comes out as a draw over all rows gives it.
    void limitRows(int first, int end) {
        firstRow_ = first;
        endRow_ = end;
    }
    RasterTarget rasterTarget() const {
        return {static_cast<int>(setup_.target.width), static_cast<int>(setup_.target.height),
                firstRow_, endRow_};
    }

    PixelPipeline(const PixelPipeline&) = delete;
    PixelPipeline& operator=(const PixelPipeline&) = delete;

private:
    void shadeTile();
    // The table of the current primitive's one source colour, from the general path's kernels.
    void makeChannelTable(const SourceKey& key);
    static constexpr int kLinePixels = 64 / sizeof(Colour);
    void prefetchRow(std::size_t rowOffset, int x0, int x1) const;
    void prefetchTile(int runs) const;

    const PipelineKernels& kernels_;
    DrawSetup setup_;
    DeferredFill* fill_ = nullptr;
    int firstRow_ = 0, endRow_ = kNoRowLimit;
    PipelineTile tile_;
    // Slots whose lanes hold their default from an earlier draw that did not supply them either:
    // a banded run begins the same draws band after band, and need not fill them again.
    std::array<bool, kAttributeSlots> holdsDefault_{};
    bool fastPaths_ = true;
    // Primitives of one colour blend by table where the draw's states allow it (tableUsable_): from
    // the second one in a row with the same attributes, so that a table is made only where it
    // serves more than one primitive.
    bool tableUsable_ = false;
    bool tableActive_ = false;
    SourceKey lastKey_;
    ChannelTable table_;
};

}  // namespace gs::render::software
