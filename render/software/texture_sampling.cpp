#include "render/software/texture_sampling.h"

#include <cmath>

#include "render/software/colour_conversion.h"

namespace gs::render::software {
namespace {

// Clamps into [lo, hi]; NaN becomes lo, so later float-to-int conversions stay defined.
inline float saneRange(float s, float lo, float hi) {
    s = s > lo ? s : lo;
    return s < hi ? s : hi;
}

template <class Map>
void resolveWith(const float* coord, int count, float scale, float lo, float hi, int* i0, int* i1,
                 float* frac, Map map) {
    for (int i = 0; i < count; ++i) {
        const float s = saneRange(scale * coord[i] - 0.5f, lo, hi);
        const float k = std::floor(s);
        const int index = static_cast<int>(k);
        frac[i] = s - k;
        i0[i] = map(index);
        i1[i] = map(index + 1);
    }
}

void fillUnbound(int count, float (*out)[kTileLanes]) {
    for (int c = 0; c < 3; ++c) {
        for (int i = 0; i < count; ++i) {
            out[c][i] = 0.0f;
        }
    }
    for (int i = 0; i < count; ++i) {
        out[3][i] = 1.0f;
    }
}

}  // namespace

void resolveTexelAxis(DWORD address, int size, const float* coord, int count, int* i0, int* i1,
                      float* frac) {
    const float n = static_cast<float>(size);
    switch (static_cast<TextureAddress>(address)) {
        case TextureAddress::Mirror: {
            // Fold into one period of 2 * size texels (forwards, then backwards), then mirror.
            float folded[kTileLanes];
            for (int i = 0; i < count; ++i) {
                const float half = coord[i] * 0.5f;
                folded[i] = (half - std::floor(half)) * 2.0f;
            }
            const int period = 2 * size;
            resolveWith(folded, count, n, -1.0f, 2.0f * n - 0.5f, i0, i1, frac, [=](int j) {
                j = j < 0 ? j + period : j;
                j = j >= period ? j - period : j;
                return j < size ? j : period - 1 - j;
            });
            break;
        }
        case TextureAddress::Clamp:
            resolveWith(coord, count, n, -1.0f, n, i0, i1, frac, [=](int j) {
                j = j < 0 ? 0 : j;
                return j < size ? j : size - 1;
            });
            break;
        case TextureAddress::Border:
            resolveWith(coord, count, n, -2.0f, n + 1.0f, i0, i1, frac,
                        [=](int j) { return j >= 0 && j < size ? j : -1; });
            break;
        case TextureAddress::MirrorOnce: {
            float mirrored[kTileLanes];
            for (int i = 0; i < count; ++i) {
                mirrored[i] = std::fabs(coord[i]);
            }
            resolveWith(mirrored, count, n, -1.0f, n, i0, i1, frac, [=](int j) {
                j = j < 0 ? -1 - j : j;
                return j < size ? j : size - 1;
            });
            break;
        }
        case TextureAddress::Wrap:
        default: {
            float wrapped[kTileLanes];
            for (int i = 0; i < count; ++i) {
                wrapped[i] = coord[i] - std::floor(coord[i]);
            }
            resolveWith(wrapped, count, n, -1.0f, n - 0.5f, i0, i1, frac, [=](int j) {
                j = j < 0 ? j + size : j;
                return j >= size ? j - size : j;
            });
            break;
        }
    }
}

void TextureSampling::sample(const SamplerSetup& setup, bool linear, const float* u, const float* v,
                             int count, float (*out)[kTileLanes]) {
    if (setup.texture == nullptr) {
        fillUnbound(count, out);
        return;
    }
    const PixelBuffer& texture = *setup.texture;
    alignas(64) int x0[kTileLanes], x1[kTileLanes], y0[kTileLanes], y1[kTileLanes];
    alignas(64) float fx[kTileLanes], fy[kTileLanes];
    resolveTexelAxis(setup.addressU, static_cast<int>(texture.width), u, count, x0, x1, fx);
    resolveTexelAxis(setup.addressV, static_cast<int>(texture.height), v, count, y0, y1, fy);

    const bool opaque = !texture.hasAlpha();
    const float* border = setup.border.data();
    auto fetch = [&](int x, int y, float* rgba) {
        if (x < 0 || y < 0) {
            rgba[0] = border[0];
            rgba[1] = border[1];
            rgba[2] = border[2];
            rgba[3] = border[3];
            return;
        }
        const Colour texel = texture.row(static_cast<UINT>(y))[x];
        rgba[0] = channelRed(texel);
        rgba[1] = channelGreen(texel);
        rgba[2] = channelBlue(texel);
        rgba[3] = opaque ? 1.0f : channelAlpha(texel);
    };

    if (!linear) {
        for (int i = 0; i < count; ++i) {
            float rgba[4];
            fetch(fx[i] < 0.5f ? x0[i] : x1[i], fy[i] < 0.5f ? y0[i] : y1[i], rgba);
            for (int c = 0; c < 4; ++c) {
                out[c][i] = rgba[c];
            }
        }
        return;
    }
    for (int i = 0; i < count; ++i) {
        float t00[4], t10[4], t01[4], t11[4];
        fetch(x0[i], y0[i], t00);
        fetch(x1[i], y0[i], t10);
        fetch(x0[i], y1[i], t01);
        fetch(x1[i], y1[i], t11);
        const float wx = fx[i];
        const float wy = fy[i];
        for (int c = 0; c < 4; ++c) {
            const float top = t00[c] + (t10[c] - t00[c]) * wx;
            const float bottom = t01[c] + (t11[c] - t01[c]) * wx;
            out[c][i] = top + (bottom - top) * wy;
        }
    }
}

void TextureSampling::sample2D(unsigned sampler, const float* u, const float* v, int count,
                               float (*out)[kTileLanes]) const {
    if (sampler >= units_.size()) {
        fillUnbound(count, out);
        return;
    }
    const SamplerSetup& setup = units_[sampler];
    sample(setup, setup.magnifyLinear, u, v, count, out);
}

}  // namespace gs::render::software
