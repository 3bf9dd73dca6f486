#include "render/software/pixel_pipeline.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "render/software/colour_conversion.h"

namespace gs::render::software {
namespace {

// D3DTOP_* texture operations.
constexpr DWORD kOpDisable = 1;
constexpr DWORD kOpSelectArg1 = 2;
constexpr DWORD kOpSelectArg2 = 3;
constexpr DWORD kOpModulate = 4;
constexpr DWORD kOpModulate2x = 5;
constexpr DWORD kOpModulate4x = 6;
constexpr DWORD kOpAdd = 7;
constexpr DWORD kOpAddSigned = 8;
constexpr DWORD kOpAddSigned2x = 9;
constexpr DWORD kOpSubtract = 10;
constexpr DWORD kOpAddSmooth = 11;

// D3DTA_* texture arguments and modifiers.
constexpr DWORD kArgSelectMask = 0xF;
constexpr DWORD kArgDiffuse = 0;
constexpr DWORD kArgCurrent = 1;
constexpr DWORD kArgTexture = 2;
constexpr DWORD kArgTFactor = 3;
constexpr DWORD kArgSpecular = 4;
constexpr DWORD kArgComplement = 0x10;
constexpr DWORD kArgAlphaReplicate = 0x20;

// D3DBLEND_* values beyond render/device.h's.
constexpr DWORD kBlendSrcAlphaSat = 11;
constexpr DWORD kBlendBlendFactor = 14;
constexpr DWORD kBlendInvBlendFactor = 15;

inline float saturate(float x) {
    x = x > 0.0f ? x : 0.0f;  // NaN becomes 0
    return x < 1.0f ? x : 1.0f;
}

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

void applyTextureOp(DWORD op, const float* a, const float* b, const float* current, float* out,
                    int count) {
    switch (op) {
        case kOpSelectArg2:
            for (int i = 0; i < count; ++i)
                out[i] = b[i];
            break;
        case kOpModulate:
            for (int i = 0; i < count; ++i)
                out[i] = a[i] * b[i];
            break;
        case kOpModulate2x:
            for (int i = 0; i < count; ++i)
                out[i] = saturate(2.0f * a[i] * b[i]);
            break;
        case kOpModulate4x:
            for (int i = 0; i < count; ++i)
                out[i] = saturate(4.0f * a[i] * b[i]);
            break;
        case kOpAdd:
            for (int i = 0; i < count; ++i)
                out[i] = saturate(a[i] + b[i]);
            break;
        case kOpAddSigned:
            for (int i = 0; i < count; ++i)
                out[i] = saturate(a[i] + b[i] - 0.5f);
            break;
        case kOpAddSigned2x:
            for (int i = 0; i < count; ++i)
                out[i] = saturate(2.0f * (a[i] + b[i] - 0.5f));
            break;
        case kOpSubtract:
            for (int i = 0; i < count; ++i)
                out[i] = saturate(a[i] - b[i]);
            break;
        case kOpAddSmooth:
            for (int i = 0; i < count; ++i)
                out[i] = saturate(a[i] + b[i] - a[i] * b[i]);
            break;
        case kOpDisable:
            for (int i = 0; i < count; ++i)
                out[i] = current[i];
            break;
        case kOpSelectArg1:
        default:  // operations this stage does not offer pass their first argument through
            for (int i = 0; i < count; ++i)
                out[i] = a[i];
            break;
    }
}

void computeBlendFactor(DWORD kind, int c, const float (*src)[kTileLanes],
                        const float (*dst)[kTileLanes], const std::array<float, 4>& constant,
                        int count, float* out) {
    switch (static_cast<Blend>(kind)) {
        case Blend::One:
            for (int i = 0; i < count; ++i)
                out[i] = 1.0f;
            return;
        case Blend::SrcColor:
            for (int i = 0; i < count; ++i)
                out[i] = src[c][i];
            return;
        case Blend::InvSrcColor:
            for (int i = 0; i < count; ++i)
                out[i] = 1.0f - src[c][i];
            return;
        case Blend::SrcAlpha:
            for (int i = 0; i < count; ++i)
                out[i] = src[3][i];
            return;
        case Blend::InvSrcAlpha:
            for (int i = 0; i < count; ++i)
                out[i] = 1.0f - src[3][i];
            return;
        case Blend::DestAlpha:
            for (int i = 0; i < count; ++i)
                out[i] = dst[3][i];
            return;
        case Blend::InvDestAlpha:
            for (int i = 0; i < count; ++i)
                out[i] = 1.0f - dst[3][i];
            return;
        case Blend::DestColor:
            for (int i = 0; i < count; ++i)
                out[i] = dst[c][i];
            return;
        case Blend::InvDestColor:
            for (int i = 0; i < count; ++i)
                out[i] = 1.0f - dst[c][i];
            return;
        case Blend::Zero:
        default:
            break;
    }
    if (kind == kBlendSrcAlphaSat) {
        for (int i = 0; i < count; ++i) {
            out[i] = c == 3 ? 1.0f : std::min(src[3][i], 1.0f - dst[3][i]);
        }
    } else if (kind == kBlendBlendFactor || kind == kBlendInvBlendFactor) {
        const float f = kind == kBlendBlendFactor ? constant[c] : 1.0f - constant[c];
        for (int i = 0; i < count; ++i)
            out[i] = f;
    } else {
        for (int i = 0; i < count; ++i)
            out[i] = 0.0f;
    }
}

}  // namespace

PixelPipeline::PixelPipeline() {
    std::fill(&inputs_.texcoord[0][0][0], &inputs_.texcoord[0][0][0] + 8 * 4 * kTileLanes, 0.0f);
    std::fill(&inputs_.colour[0][0][0], &inputs_.colour[0][0][0] + 2 * 4 * kTileLanes, 0.0f);
    for (int slot = 0; slot < kAttributeSlots; ++slot) {
        if (slot < kSpecularSlot) {
            slotLanes_[slot] = inputs_.colour[0][slot - kDiffuseSlot];
        } else if (slot < kTexCoordSlot) {
            slotLanes_[slot] = inputs_.colour[1][slot - kSpecularSlot];
        } else {
            const int t = slot - kTexCoordSlot;
            slotLanes_[slot] = inputs_.texcoord[t / 4][t % 4];
        }
    }
}

void PixelPipeline::beginDraw(const DrawSetup& setup) {
    setup_ = setup;
    laneCount_ = 0;
    runCount_ = 0;
    activeCount_ = 0;
    for (int slot = 0; slot < kAttributeSlots; ++slot) {
        if (setup.layout.suppliesSlot(slot)) {
            activeSlots_[activeCount_++] = slot;
        } else {
            std::fill(slotLanes_[slot], slotLanes_[slot] + kTileLanes, slotDefault(slot));
        }
    }
    const TextureStageSetup& stage = setup.stage;
    stageReadsTexture_ = false;
    if (setup.program == nullptr && stage.colourOp != kOpDisable) {
        stageReadsTexture_ = (opReadsArg1(stage.colourOp) && isTextureArg(stage.colourArg1)) ||
                             (opReadsArg2(stage.colourOp) && isTextureArg(stage.colourArg2)) ||
                             (opReadsArg1(stage.alphaOp) && isTextureArg(stage.alphaArg1)) ||
                             (opReadsArg2(stage.alphaOp) && isTextureArg(stage.alphaArg2));
    }
    textureMinified_ = false;
}

bool PixelPipeline::setTriangle(const Vertex& v0, const Vertex& v1, const Vertex& v2) {
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
    perspective_ = usableRhw && !(v0.rhw == v1.rhw && v1.rhw == v2.rhw);
    const double w0 = perspective_ ? v0.rhw : 1.0;
    const double w1 = perspective_ ? v1.rhw : 1.0;
    const double w2 = perspective_ ? v2.rhw : 1.0;
    if (perspective_) {
        rhwPlane_ = plane(w0, w1, w2);
    }
    for (int k = 0; k < activeCount_; ++k) {
        const int slot = activeSlots_[k];
        const double a0 = v0.attributes[slot];
        if (setup_.flatShading && slot < kTexCoordSlot) {
            // Flat shading takes the colours of the triangle's first vertex.
            planes_[slot] = perspective_ ? plane(a0 * w0, a0 * w1, a0 * w2)
                                         : Plane{static_cast<float>(a0), 0.0f, 0.0f};
            continue;
        }
        planes_[slot] = plane(a0 * w0, v1.attributes[slot] * w1, v2.attributes[slot] * w2);
    }

    // The fixed-function stage chooses between the minification and magnification filters from
    // how many texels one pixel step covers.
    textureMinified_ = false;
    const SamplerSetup& sampler = setup_.textures->unit(0);
    if (stageReadsTexture_ && sampler.texture != nullptr &&
        sampler.minifyLinear != sampler.magnifyLinear) {
        const int u = kTexCoordSlot + 4 * setup_.stage.texCoordSet;
        const Plane du = plane(v0.attributes[u], v1.attributes[u], v2.attributes[u]);
        const Plane dv = plane(v0.attributes[u + 1], v1.attributes[u + 1], v2.attributes[u + 1]);
        const double w = sampler.texture->width, h = sampler.texture->height;
        const double alongX = du.dx * du.dx * w * w + dv.dx * dv.dx * h * h;
        const double alongY = du.dy * du.dy * w * w + dv.dy * dv.dy * h * h;
        textureMinified_ = std::max(alongX, alongY) > 1.0;
    }
    return true;
}

void PixelPipeline::setConstant(const Vertex& v) {
    perspective_ = false;
    textureMinified_ = false;
    for (int k = 0; k < activeCount_; ++k) {
        const int slot = activeSlots_[k];
        planes_[slot] = Plane{v.attributes[slot], 0.0f, 0.0f};
    }
}

void PixelPipeline::span(int y, int x0, int x1) {
    const std::size_t rowOffset = static_cast<std::size_t>(y) * setup_.target.pitch;
    const float fy = static_cast<float>(y);
    while (x0 < x1) {
        // The span fills the tile's free lanes with one run of neighbouring pixels.
        const int first = laneCount_;
        const int n = std::min(kTileLanes - first, x1 - x0);
        const float fx = static_cast<float>(x0);
        for (int i = 0; i < n; ++i) {
            laneX_[first + i] = fx + static_cast<float>(i);
            laneY_[first + i] = fy;
        }
        runs_[runCount_++] = Run{rowOffset + static_cast<std::size_t>(x0), first, n};
        laneCount_ += n;
        x0 += n;
        if (laneCount_ == kTileLanes) {
            shadeTile();
        }
    }
}

void PixelPipeline::endPrimitive() {
    if (laneCount_ > 0) {
        shadeTile();
    }
}

void PixelPipeline::shadeTile() {
    const int count = laneCount_;
    laneCount_ = 0;
    const int runs = runCount_;
    runCount_ = 0;
    interpolate(count);
    if (setup_.program != nullptr) {
        setup_.program->run(setup_.constants, *setup_.textures, inputs_, count, output_);
    } else {
        runTextureStage(count);
    }
    blendAndStore(count, runs);
}

void PixelPipeline::interpolate(int count) {
    alignas(64) float inverseRhw[kTileLanes];
    if (perspective_) {
        const Plane q = rhwPlane_;
        for (int i = 0; i < count; ++i) {
            inverseRhw[i] = 1.0f / (q.c + q.dx * laneX_[i] + q.dy * laneY_[i]);
        }
    }
    for (int k = 0; k < activeCount_; ++k) {
        const int slot = activeSlots_[k];
        const Plane p = planes_[slot];
        float* out = slotLanes_[slot];
        for (int i = 0; i < count; ++i) {
            out[i] = p.c + p.dx * laneX_[i] + p.dy * laneY_[i];
        }
        if (perspective_) {
            for (int i = 0; i < count; ++i) {
                out[i] *= inverseRhw[i];
            }
        }
    }
}

void PixelPipeline::runTextureStage(int count) {
    const TextureStageSetup& stage = setup_.stage;
    if (stageReadsTexture_) {
        const SamplerSetup& sampler = setup_.textures->unit(0);
        const bool linear = textureMinified_ ? sampler.minifyLinear : sampler.magnifyLinear;
        const auto& coords = inputs_.texcoord[stage.texCoordSet];
        TextureSampling::sample(sampler, linear, coords[0], coords[1], count, texel_);
    }

    // One argument's four channels: the source itself when no modifier applies, else a copy in
    // argument_[index] with the modifiers applied.
    auto load = [&](DWORD arg, int index) -> const float(*)[kTileLanes] {
        const float(*source)[kTileLanes] = nullptr;
        const float* constant = nullptr;
        static constexpr float kZero[4] = {0.0f, 0.0f, 0.0f, 0.0f};
        switch (arg & kArgSelectMask) {
            case kArgDiffuse:
            case kArgCurrent:  // stage 0's current colour is the diffuse colour
                source = inputs_.colour[0];
                break;
            case kArgTexture:
                source = texel_;
                break;
            case kArgTFactor:
                constant = stage.textureFactor.data();
                break;
            case kArgSpecular:
                source = inputs_.colour[1];
                break;
            default:
                constant = kZero;
                break;
        }
        const bool complement = (arg & kArgComplement) != 0;
        const bool replicate = (arg & kArgAlphaReplicate) != 0;
        if (source != nullptr && !complement && !replicate) {
            return source;
        }
        for (int c = 0; c < 4; ++c) {
            const int from = replicate ? 3 : c;
            float* out = argument_[index][c];
            if (source != nullptr) {
                for (int i = 0; i < count; ++i)
                    out[i] = source[from][i];
            } else {
                for (int i = 0; i < count; ++i)
                    out[i] = constant[from];
            }
            if (complement) {
                for (int i = 0; i < count; ++i)
                    out[i] = 1.0f - out[i];
            }
        }
        return argument_[index];
    };

    const float(*diffuse)[kTileLanes] = inputs_.colour[0];
    const float(*arg1)[kTileLanes] = load(stage.colourArg1, 0);
    const float(*arg2)[kTileLanes] = load(stage.colourArg2, 1);
    for (int c = 0; c < 3; ++c) {
        applyTextureOp(stage.colourOp, arg1[c], arg2[c], diffuse[c], output_.colour[c], count);
    }
    // With the colour operation disabled the whole stage is off: alpha is the diffuse alpha too.
    const DWORD alphaOp = stage.colourOp == kOpDisable ? kOpDisable : stage.alphaOp;
    arg1 = load(stage.alphaArg1, 0);
    arg2 = load(stage.alphaArg2, 1);
    applyTextureOp(alphaOp, arg1[3], arg2[3], diffuse[3], output_.colour[3], count);
    if (stage.addSpecular) {
        for (int c = 0; c < 3; ++c) {
            for (int i = 0; i < count; ++i) {
                output_.colour[c][i] = saturate(output_.colour[c][i] + inputs_.colour[1][c][i]);
            }
        }
    }
}

void PixelPipeline::blendAndStore(int count, int runs) {
    // The target stores 0..1: the shader's output is saturated before blending.
    float(*source)[kTileLanes] = output_.colour;
    for (int c = 0; c < 4; ++c) {
        for (int i = 0; i < count; ++i) {
            source[c][i] = saturate(source[c][i]);
        }
    }
    Colour* pixels = setup_.target.pixels;
    const BlendSetup& blend = setup_.blend;
    const bool needTarget = blend.enabled || blend.writeMask != 0xFFFFFFFFu;
    alignas(64) Colour stored[kTileLanes];
    if (needTarget) {
        for (int r = 0; r < runs; ++r) {
            const Run& run = runs_[r];
            std::memcpy(stored + run.firstLane, pixels + run.offset, run.count * sizeof(Colour));
        }
    }

    if (blend.enabled) {
        // X8R8G8B8 targets hold alpha 0xFF, so their alpha reads as 1 here.
        static constexpr int kShift[4] = {16, 8, 0, 24};
        for (int c = 0; c < 4; ++c) {
            for (int i = 0; i < count; ++i) {
                destination_[c][i] =
                    static_cast<float>((stored[i] >> kShift[c]) & 0xFFu) * (1.0f / 255.0f);
            }
        }
        for (int c = 0; c < 4; ++c) {
            const bool alpha = c == 3;
            computeBlendFactor(alpha ? blend.sourceAlpha : blend.sourceColour, c, source,
                               destination_, blend.blendFactor, count, sourceFactor_[c]);
            computeBlendFactor(alpha ? blend.destinationAlpha : blend.destinationColour, c, source,
                               destination_, blend.blendFactor, count, destinationFactor_[c]);
        }
        for (int c = 0; c < 4; ++c) {
            const DWORD op = c == 3 ? blend.operationAlpha : blend.operationColour;
            float* s = source[c];
            const float* d = destination_[c];
            const float* sf = sourceFactor_[c];
            const float* df = destinationFactor_[c];
            switch (static_cast<BlendOp>(op)) {
                case BlendOp::Subtract:
                    for (int i = 0; i < count; ++i)
                        s[i] = s[i] * sf[i] - d[i] * df[i];
                    break;
                case BlendOp::RevSubtract:
                    for (int i = 0; i < count; ++i)
                        s[i] = d[i] * df[i] - s[i] * sf[i];
                    break;
                case BlendOp::Min:
                    for (int i = 0; i < count; ++i)
                        s[i] = s[i] < d[i] ? s[i] : d[i];
                    break;
                case BlendOp::Max:
                    for (int i = 0; i < count; ++i)
                        s[i] = s[i] > d[i] ? s[i] : d[i];
                    break;
                case BlendOp::Add:
                default:
                    for (int i = 0; i < count; ++i)
                        s[i] = s[i] * sf[i] + d[i] * df[i];
                    break;
            }
        }
    }

    // Round to nearest 8-bit values, saturated.
    const Colour forced = setup_.target.hasAlpha() ? 0u : kOpaqueAlpha;
    alignas(64) Colour packed[kTileLanes];
    for (int i = 0; i < count; ++i) {
        // Converted as signed: every value lies in 0..255.5, and the signed conversion vectorises.
        const auto channel = [&](int c) {
            return static_cast<Colour>(static_cast<int>(saturate(source[c][i]) * 255.0f + 0.5f));
        };
        packed[i] =
            (channel(3) << 24) | (channel(0) << 16) | (channel(1) << 8) | channel(2) | forced;
    }
    if (blend.writeMask != 0xFFFFFFFFu) {
        const Colour mask = blend.writeMask;
        for (int i = 0; i < count; ++i) {
            packed[i] = (packed[i] & mask) | (stored[i] & ~mask) | forced;
        }
    }
    for (int r = 0; r < runs; ++r) {
        const Run& run = runs_[r];
        std::memcpy(pixels + run.offset, packed + run.firstLane, run.count * sizeof(Colour));
    }
}

}  // namespace gs::render::software
