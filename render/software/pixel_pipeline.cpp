#include "render/software/pixel_pipeline.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

#include "render/software/colour_conversion.h"

namespace gs::render::software {
namespace {

bool opReadsArg1(DWORD op) {
    return op != kOpDisable && op != kOpSelectArg2;
}
bool opReadsArg2(DWORD op) {
    return op != kOpDisable && op != kOpSelectArg1;
}
bool isTextureArg(DWORD arg) {
    return (arg & kArgSelectMask) == kArgTexture;
}

float slotDefault(int slot) {
    if (slot < kSpecularSlot) {
        return 1.0f;  // diffuse: opaque white
    }
    if (slot < kTexCoordSlot) {
        return 0.0f;
    }
    return (slot - kTexCoordSlot) % 4 == 3 ? 1.0f : 0.0f;  // texture coordinates (0, 0, 0, 1)
}

// Zero, One, SrcAlpha and InvSrcAlpha as base + slope * source alpha; false for other factors.
bool alphaLinearFactor(DWORD blend, AlphaLinearFactor* factor) {
    switch (static_cast<Blend>(blend)) {
        case Blend::Zero:
            *factor = {0.0f, 0.0f};
            return true;
        case Blend::One:
            *factor = {1.0f, 0.0f};
            return true;
        case Blend::SrcAlpha:
            *factor = {0.0f, 1.0f};
            return true;
        case Blend::InvSrcAlpha:
            *factor = {1.0f, -1.0f};
            return true;
        default:
            return false;
    }
}

// Whether the texture is all that stage 0 passes on as colour, and where its alpha comes from:
// the states under which the textured fast path gives what the general path gives.
bool texturedPathApplies(const DrawSetup& setup, TexturedPathSetup* path) {
    const TextureStageSetup& stage = setup.stage;
    if (setup.program != nullptr || stage.addSpecular || setup.textures == nullptr ||
        setup.textures->unit(0).texture == nullptr) {
        return false;
    }
    const int uSlot = kTexCoordSlot + 4 * stage.texCoordSet;
    if (!setup.layout.suppliesSlot(uSlot) || !setup.layout.suppliesSlot(uSlot + 1)) {
        return false;
    }
    const auto selected = [](DWORD op, DWORD arg1, DWORD arg2, DWORD* arg) {
        if (op == kOpSelectArg1 || op == kOpSelectArg2) {
            *arg = op == kOpSelectArg1 ? arg1 : arg2;
            return true;
        }
        return false;
    };
    DWORD colourArg = 0, alphaArg = 0;
    if (!selected(stage.colourOp, stage.colourArg1, stage.colourArg2, &colourArg) ||
        colourArg != kArgTexture ||
        !selected(stage.alphaOp, stage.alphaArg1, stage.alphaArg2, &alphaArg)) {
        return false;
    }
    if (alphaArg == kArgTexture) {
        path->alphaFromTexture = true;
    } else if (alphaArg == kArgDiffuse || alphaArg == kArgCurrent) {
        path->alphaFromTexture = false;
        path->diffuseAlphaSupplied = setup.layout.suppliesSlot(kDiffuseSlot + 3);
    } else {
        return false;
    }

    const BlendSetup& blend = setup.blend;
    if (!blend.enabled) {
        path->source.fill({1.0f, 0.0f});
        path->destination.fill({0.0f, 0.0f});
        return true;
    }
    const auto add = static_cast<DWORD>(BlendOp::Add);
    if (blend.operationColour != add || blend.operationAlpha != add) {
        return false;
    }
    bool linear = true;
    for (int c = 0; c < 4; ++c) {
        const bool alpha = c == 3;
        linear =
            linear &&
            alphaLinearFactor(alpha ? blend.sourceAlpha : blend.sourceColour, &path->source[c]) &&
            alphaLinearFactor(alpha ? blend.destinationAlpha : blend.destinationColour,
                              &path->destination[c]);
    }
    return linear;
}

// Zero or One as a weight of 0 or 1.
bool constantFactor(DWORD kind, float* weight) {
    *weight = kind == static_cast<DWORD>(Blend::One) ? 1.0f : 0.0f;
    return kind == static_cast<DWORD>(Blend::One) || kind == static_cast<DWORD>(Blend::Zero);
}

bool constantBlendApplies(const BlendSetup& blend, ConstantBlendSetup* weights) {
    const auto add = static_cast<DWORD>(BlendOp::Add);
    if (!blend.enabled || blend.operationColour != add || blend.operationAlpha != add ||
        blend.writeMask != 0xFFFFFFFFu) {
        return false;
    }
    bool constant = true;
    for (int c = 0; c < 4; ++c) {
        const bool alpha = c == 3;
        constant =
            constant &&
            constantFactor(alpha ? blend.sourceAlpha : blend.sourceColour, &weights->source[c]) &&
            constantFactor(alpha ? blend.destinationAlpha : blend.destinationColour,
                           &weights->destination[c]);
    }
    constexpr std::array<float, 4> kOnes = {1.0f, 1.0f, 1.0f, 1.0f};
    weights->addsWhole = weights->source == kOnes && weights->destination == kOnes;
    return constant;
}

// Whether the pixels a draw stores depend on the alpha its pixel shader computes: through a target
// that keeps alpha, or through a colour blend factor that reads the source's alpha.
bool readsSourceAlpha(const DrawSetup& setup) {
    if (setup.target.hasAlpha() && (setup.blend.writeMask & 0xFF000000u) != 0) {
        return true;
    }
    if (!setup.blend.enabled) {
        return false;
    }
    const auto colourOnly = [](DWORD factor) {
        switch (factor) {
            case DWORD(Blend::Zero):
            case DWORD(Blend::One):
            case DWORD(Blend::SrcColor):
            case DWORD(Blend::InvSrcColor):
            case DWORD(Blend::DestAlpha):
            case DWORD(Blend::InvDestAlpha):
            case DWORD(Blend::DestColor):
            case DWORD(Blend::InvDestColor):
            case kBlendBlendFactor:
            case kBlendInvBlendFactor:
                return true;
            default:
                return false;
        }
    };
    return !colourOnly(setup.blend.sourceColour) || !colourOnly(setup.blend.destinationColour);
}

}  // namespace

PixelPipeline::PixelPipeline() : kernels_(pipelineKernels(simd::activeInstructionSet())) {
    std::fill(&tile_.inputs.texcoord[0][0][0], &tile_.inputs.texcoord[0][0][0] + 8 * 4 * kTileLanes,
              0.0f);
    std::fill(&tile_.inputs.colour[0][0][0], &tile_.inputs.colour[0][0][0] + 2 * 4 * kTileLanes,
              0.0f);
    for (int slot = 0; slot < kAttributeSlots; ++slot) {
        if (slot < kSpecularSlot) {
            tile_.slotLanes[slot] = tile_.inputs.colour[0][slot - kDiffuseSlot];
        } else if (slot < kTexCoordSlot) {
            tile_.slotLanes[slot] = tile_.inputs.colour[1][slot - kSpecularSlot];
        } else {
            const int t = slot - kTexCoordSlot;
            tile_.slotLanes[slot] = tile_.inputs.texcoord[t / 4][t % 4];
        }
    }
}

void PixelPipeline::beginDraw(const DrawSetup& setup, DeferredFill* fill) {
    setup_ = setup;
    fill_ = fill;
    firstRow_ = 0;
    endRow_ = kNoRowLimit;
    if (fill != nullptr) {
        std::fill(std::begin(tile_.fillLanes), std::end(tile_.fillLanes), fill->stored());
    }
    tile_.laneCount = 0;
    tile_.runCount = 0;
    tile_.activeCount = 0;
    tile_.holdsConstant.fill(false);
    tile_.defaultTexcoords = 0;
    for (int slot = 0; slot < kAttributeSlots; ++slot) {
        if (setup.layout.suppliesSlot(slot)) {
            tile_.activeSlots[tile_.activeCount++] = slot;
            holdsDefault_[static_cast<std::size_t>(slot)] = false;  // interpolated from here on
        } else {
            if (!holdsDefault_[static_cast<std::size_t>(slot)]) {
                std::fill(tile_.slotLanes[slot], tile_.slotLanes[slot] + kTileLanes,
                          slotDefault(slot));
                holdsDefault_[static_cast<std::size_t>(slot)] = true;
            }
            if (slot >= kTexCoordSlot) {
                tile_.defaultTexcoords |= 1u << (slot - kTexCoordSlot);
            }
        }
    }
    const TextureStageSetup& stage = setup.stage;
    tile_.stageReadsTexture = false;
    if (setup.program == nullptr && stage.colourOp != kOpDisable) {
        tile_.stageReadsTexture = (opReadsArg1(stage.colourOp) && isTextureArg(stage.colourArg1)) ||
                                  (opReadsArg2(stage.colourOp) && isTextureArg(stage.colourArg2)) ||
                                  (opReadsArg1(stage.alphaOp) && isTextureArg(stage.alphaArg1)) ||
                                  (opReadsArg2(stage.alphaOp) && isTextureArg(stage.alphaArg2));
    }
    tile_.textureMinified = false;
    tile_.textured = TexturedPathSetup{};
    tile_.texturedPath = fastPaths_ && texturedPathApplies(setup, &tile_.textured);
    // A program whose alpha nobody reads runs without it. Its alpha lanes hold 1 from here on,
    // unless the program stores a texel's alpha there anyway; either way the blend's alpha comes
    // to nothing the store keeps.
    tile_.programColourOnly = fastPaths_ && setup.program != nullptr && !readsSourceAlpha(setup);
    if (tile_.programColourOnly) {
        std::fill(std::begin(tile_.output.colour[3]), std::end(tile_.output.colour[3]), 1.0f);
    }
    tile_.constantBlend = ConstantBlendSetup{};
    tile_.constantBlendPath = fastPaths_ && constantBlendApplies(setup.blend, &tile_.constantBlend);
    // Without a program or a texture, a pixel's colour comes from its attributes alone.
    tableUsable_ = fastPaths_ && setup.program == nullptr && !tile_.stageReadsTexture &&
                   ChannelTable::appliesTo(setup.blend);
    tableActive_ = false;
    lastKey_ = SourceKey{};
    table_.clear();
}

bool PixelPipeline::setTriangle(const Vertex& v0, const Vertex& v1, const Vertex& v2) {
    tableActive_ = false;
    const double x0 = v0.x, y0 = v0.y;
    const double ex1 = v1.x - x0, ey1 = v1.y - y0;
    const double ex2 = v2.x - x0, ey2 = v2.y - y0;
    const double det = ex1 * ey2 - ex2 * ey1;
    if (det == 0.0 || !std::isfinite(det)) {
        return false;
    }
    const double inverse = 1.0 / det;
    auto plane = [&](double a0, double a1, double a2) {
        const double d1 = a1 - a0, d2 = a2 - a0;
        const double dx = (d1 * ey2 - d2 * ey1) * inverse;
        const double dy = (d2 * ex1 - d1 * ex2) * inverse;
        return Plane{static_cast<float>(a0 - dx * x0 - dy * y0), static_cast<float>(dx),
                     static_cast<float>(dy)};
    };

    // rhw = 1 (the usual case) or equal rhw everywhere interpolates linearly; otherwise
    // attributes are interpolated as a * rhw and divided by the interpolated rhw per pixel.
    const bool usableRhw = std::isfinite(v0.rhw) && std::isfinite(v1.rhw) &&
                           std::isfinite(v2.rhw) && v0.rhw > 0.0f && v1.rhw > 0.0f && v2.rhw > 0.0f;
    tile_.perspective = usableRhw && !(v0.rhw == v1.rhw && v1.rhw == v2.rhw);
    const double w0 = tile_.perspective ? v0.rhw : 1.0;
    const double w1 = tile_.perspective ? v1.rhw : 1.0;
    const double w2 = tile_.perspective ? v2.rhw : 1.0;
    if (tile_.perspective) {
        tile_.rhwPlane = plane(w0, w1, w2);
    }
    for (int k = 0; k < tile_.activeCount; ++k) {
        const int slot = tile_.activeSlots[k];
        const double a0 = v0.attributes[slot];
        if (setup_.flatShading && slot < kTexCoordSlot) {
            // Flat shading takes the colours of the triangle's first vertex.
            tile_.planes[slot] = tile_.perspective ? plane(a0 * w0, a0 * w1, a0 * w2)
                                                   : Plane{static_cast<float>(a0), 0.0f, 0.0f};
            continue;
        }
        tile_.planes[slot] = plane(a0 * w0, v1.attributes[slot] * w1, v2.attributes[slot] * w2);
    }

    // The fixed-function stage chooses between the minification and magnification filters from
    // how many texels one pixel step covers.
    tile_.textureMinified = false;
    const SamplerSetup& sampler = setup_.textures->unit(0);
    if (tile_.stageReadsTexture && sampler.texture != nullptr &&
        sampler.minifyLinear != sampler.magnifyLinear) {
        const int u = kTexCoordSlot + 4 * setup_.stage.texCoordSet;
        const Plane du = plane(v0.attributes[u], v1.attributes[u], v2.attributes[u]);
        const Plane dv = plane(v0.attributes[u + 1], v1.attributes[u + 1], v2.attributes[u + 1]);
        const double w = sampler.texture->width, h = sampler.texture->height;
        const double alongX = du.dx * du.dx * w * w + dv.dx * dv.dx * h * h;
        const double alongY = du.dy * du.dy * w * w + dv.dy * dv.dy * h * h;
        tile_.textureMinified = std::max(alongX, alongY) > 1.0;
    }
    return true;
}

bool PixelPipeline::sharesShading(const Vertex& v0, const Vertex& v1, const Vertex& v2) {
    const std::array<Plane, kAttributeSlots> planes = tile_.planes;
    const Plane rhwPlane = tile_.rhwPlane;
    const bool perspective = tile_.perspective;
    const bool textureMinified = tile_.textureMinified;
    // Compared as bits: the same values, zeros of the same sign, NaNs alike.
    const auto same = [](const Plane& a, const Plane& b) {
        return std::memcmp(&a, &b, sizeof(Plane)) == 0;
    };
    bool shares = setTriangle(v0, v1, v2) && tile_.perspective == perspective &&
                  tile_.textureMinified == textureMinified &&
                  (!perspective || same(tile_.rhwPlane, rhwPlane));
    for (int k = 0; k < tile_.activeCount && shares; ++k) {
        const int slot = tile_.activeSlots[k];
        shares = same(tile_.planes[slot], planes[slot]);
    }
    tile_.planes = planes;
    tile_.rhwPlane = rhwPlane;
    tile_.perspective = perspective;
    tile_.textureMinified = textureMinified;
    return shares;
}

void PixelPipeline::setConstant(const Vertex& v) {
    tile_.perspective = false;
    tile_.textureMinified = false;
    for (int k = 0; k < tile_.activeCount; ++k) {
        const int slot = tile_.activeSlots[k];
        tile_.planes[slot] = Plane{v.attributes[slot], 0.0f, 0.0f};
    }
    tableActive_ = false;
    if (!tableUsable_) {
        return;
    }
    const SourceKey key(v, tile_.activeSlots.data(), tile_.activeCount);
    if (!table_.holds(key)) {
        if (!(key == lastKey_)) {
            lastKey_ = key;
            return;
        }
        makeChannelTable(key);
    }
    tableActive_ = true;
}

void PixelPipeline::makeChannelTable(const SourceKey& key) {
    // Pixel v of a one-row target of the draw's format holds v in every channel; one run over it
    // through the general path, whose lanes all take the primitive's attributes.
    alignas(64) Colour pixels[ChannelTable::kEntries];
    ChannelTable::fillDestinations(pixels);
    const PixelBuffer target = setup_.target;
    setup_.target.pixels = pixels;
    setup_.target.width = ChannelTable::kEntries;
    setup_.target.height = 1;
    setup_.target.pitch = ChannelTable::kEntries;
    static_assert(ChannelTable::kEntries <= kTileLanes);
    tile_.runs[0] = PixelRun{0, 0, ChannelTable::kEntries, 0, 0, false};
    kernels_.interpolate(tile_, ChannelTable::kEntries, 1);
    kernels_.runTextureStage(setup_, tile_, ChannelTable::kEntries);
    kernels_.blendAndStore(setup_, tile_, ChannelTable::kEntries, 1);
    setup_.target = target;
    table_.set(pixels, key);
}

void PixelPipeline::span(int y, int x0, int x1) {
    bool unfilled = false;
    if (fill_ != nullptr) {
        // The textured fast path writes every pixel of its tiles and reads those that still wait
        // for the clear as its value: the clear need not be written first. Other paths have it
        // written before any tile blends over these pixels.
        unfilled =
            !tableActive_ && tile_.texturedPath && !tile_.perspective && fill_->claim(y, x0, x1);
        if (!unfilled) {
            fill_->cover(y, x0, x1);
        }
    }
    const std::size_t rowOffset = static_cast<std::size_t>(y) * setup_.target.pitch;
    if (tableActive_) {
        table_.apply(setup_.target.pixels + rowOffset + x0, x1 - x0);
        return;
    }
    if (static_cast<UINT>(y) + 1 < setup_.target.height) {
        prefetchRow(rowOffset + setup_.target.pitch, x0, x1);
    }
    // Textured tiles break where a block of rows begins (kTileRowBlock).
    if (tile_.texturedPath && tile_.laneCount > 0 && y % kTileRowBlock == 0 &&
        tile_.runs[tile_.runCount - 1].y != y) {
        shadeTile();
    }
    if (setup_.program != nullptr && tile_.laneCount > 0 && x1 - x0 >= kTileLanes &&
        tile_.laneCount + (x1 - x0) > kTileLanes) {
        // A long span that would end one tile and begin the next starts its own instead: the
        // tiles it fills then hold one run each, which a program's tile takes faster than one
        // that joins the end of a row to the start of another (its coordinates are one plane,
        // and strip reads follow one row), and that more than pays for the part tile left here.
        shadeTile();
    }
    while (x0 < x1) {
        // The span fills the tile's free lanes with one run of neighbouring pixels.
        const int first = tile_.laneCount;
        const int n = std::min(kTileLanes - first, x1 - x0);
        tile_.runs[tile_.runCount++] =
            PixelRun{rowOffset + static_cast<std::size_t>(x0), first, n, x0, y, unfilled};
        tile_.laneCount += n;
        x0 += n;
        if (tile_.laneCount == kTileLanes) {
            shadeTile();
        }
    }
}

// The target's pixels come in two steps, so that blending does not wait for memory: each span asks
// for the row below it into the second-level cache (a scanline primitive's next span mostly lies
// there, a span of shading ahead), and each tile for its own pixels into the first-level cache
// while its program runs.
void PixelPipeline::prefetchRow(std::size_t rowOffset, int x0, int x1) const {
    const Colour* row = setup_.target.pixels + rowOffset;
    for (int x = x0 & -kLinePixels; x < x1; x += kLinePixels) {
        __builtin_prefetch(row + x, 1, 2);
    }
}

void PixelPipeline::prefetchRectangle(float left, float top, float right, float bottom) const {
    const PixelBuffer& target = setup_.target;
    // Held to the target's edges; NaN falls to 0.
    const auto inside = [](float v, UINT size) {
        return static_cast<int>(v > 0.0f ? std::min(v, static_cast<float>(size)) : 0.0f);
    };
    const int x0 = inside(left, target.width);
    const int x1 = std::min(inside(right, target.width) + 1, static_cast<int>(target.width));
    const int y0 = std::max(inside(top, target.height), firstRow_);
    const int y1 =
        std::min({inside(bottom, target.height) + 1, static_cast<int>(target.height), endRow_});
    for (int y = y0; y < y1; ++y) {
        const Colour* row = target.pixels + static_cast<std::size_t>(y) * target.pitch;
        for (int x = x0 & -kLinePixels; x < x1; x += kLinePixels) {
            __builtin_prefetch(row + x, 1, 3);
        }
    }
}

void PixelPipeline::prefetchTile(int runs) const {
    for (int r = 0; r < runs; ++r) {
        const PixelRun& run = tile_.runs[r];
        const Colour* first = setup_.target.pixels + run.offset;
        for (int i = 0; i < run.count; i += kLinePixels) {
            __builtin_prefetch(first + i, 1, 3);
        }
        __builtin_prefetch(first + run.count - 1, 1, 3);  // a run that starts inside a line
    }
}

void PixelPipeline::endPrimitive() {
    if (tile_.laneCount > 0) {
        shadeTile();
    }
}

void PixelPipeline::shadeTile() {
    const int count = tile_.laneCount;
    tile_.laneCount = 0;
    const int runs = tile_.runCount;
    tile_.runCount = 0;
    if (tile_.texturedPath && !tile_.perspective) {
        kernels_.shadeTexturedTile(setup_, tile_, count, runs);
        return;
    }
    prefetchTile(runs);
    kernels_.interpolate(tile_, count, runs);
    if (setup_.program != nullptr) {
        if (tile_.programColourOnly) {
            setup_.program->runColour(setup_.constants, *setup_.textures, tile_.inputs, count,
                                      tile_.output);
        } else {
            setup_.program->run(setup_.constants, *setup_.textures, tile_.inputs, count,
                                tile_.output);
        }
    } else {
        kernels_.runTextureStage(setup_, tile_, count);
    }
    kernels_.blendAndStore(setup_, tile_, count, runs);
}

}  // namespace gs::render::software
