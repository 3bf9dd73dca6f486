#include "render/software/texture_sampling.h"

#include <cmath>

namespace gs::render::software {
namespace {

// Beyond 2^22 a float has no fraction left to address texels with; clamping there keeps every
// later conversion to int defined.
constexpr float kCoordinateLimit = 4194304.0f;

// Clamps into [lo, hi]; NaN becomes lo.
inline float saneRange(float s, float lo, float hi) {
    s = s > lo ? s : lo;
    return s < hi ? s : hi;
}

// All-ones when `condition` holds, else 0: lets the index maps below select without branches, so
// that their loops vectorise.
inline int maskOf(bool condition) {
    return -static_cast<int>(condition);
}

// floor for values well inside int's range, in a form that vectorises.
inline int floorToInt(float s) {
    const int k = static_cast<int>(s);
    return k - static_cast<int>(s < static_cast<float>(k));
}

// The fraction of x in [0, 1).
inline float fractionOf(float x) {
    x = saneRange(x, -kCoordinateLimit, kCoordinateLimit);
    return x - static_cast<float>(floorToInt(x));
}

template <class Map>
void resolveWith(const float* coord, int count, float scale, float lo, float hi, int* i0, int* i1,
                 float* frac, Map map) {
    for (int i = 0; i < count; ++i) {
        const float s = saneRange(scale * coord[i] - 0.5f, lo, hi);
        const int k = floorToInt(s);
        frac[i] = s - static_cast<float>(k);
        i0[i] = map(k);
        i1[i] = map(k + 1);
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

// The texels at (x[i], y[i]), or the border colour where either index is -1. X8R8G8B8 texels
// already hold alpha 0xFF.
void gather(const PixelBuffer& texture, Colour border, const int* x, const int* y, int count,
            Colour* out) {
    const Colour* pixels = texture.pixels;
    // Textures are at most the adapter's maximum size on a side: offsets fit an int.
    const int pitch = static_cast<int>(texture.pitch);
    for (int i = 0; i < count; ++i) {
        const bool inside = (x[i] | y[i]) >= 0;
        const int at = inside ? y[i] * pitch + x[i] : 0;
        const Colour texel = pixels[at];
        out[i] = inside ? texel : border;
    }
}

// The texels of row 0 at x[i], or the border colour where the index is -1.
void gatherRow(const PixelBuffer& texture, Colour border, const int* x, int count, Colour* out) {
    const Colour* row = texture.pixels;
    for (int i = 0; i < count; ++i) {
        const bool inside = x[i] >= 0;
        const Colour texel = row[inside ? x[i] : 0];
        out[i] = inside ? texel : border;
    }
}

inline float unorm(Colour c, int shift) {
    return static_cast<float>((c >> shift) & 0xFFu) * (1.0f / 255.0f);
}

constexpr int kShift[4] = {16, 8, 0, 24};  // r, g, b, a in 0xAARRGGBB

}  // namespace

void resolveTexelAxis(DWORD address, int size, const float* coord, int count, int* i0, int* i1,
                      float* frac) {
    const float n = static_cast<float>(size);
    switch (static_cast<TextureAddress>(address)) {
        case TextureAddress::Mirror: {
            // Fold into one period of 2 * size texels (forwards, then backwards), then mirror.
            float folded[kTileLanes];
            for (int i = 0; i < count; ++i) {
                folded[i] = fractionOf(coord[i] * 0.5f) * 2.0f;
            }
            const int period = 2 * size;
            resolveWith(folded, count, n, -1.0f, 2.0f * n - 0.5f, i0, i1, frac, [=](int j) {
                j += period & maskOf(j < 0);
                j -= period & maskOf(j >= period);
                return j ^ ((j ^ (period - 1 - j)) & maskOf(j >= size));
            });
            break;
        }
        case TextureAddress::Clamp:
            resolveWith(coord, count, n, -1.0f, n, i0, i1, frac, [=](int j) {
                j &= ~maskOf(j < 0);
                return j - ((j - (size - 1)) & maskOf(j >= size));
            });
            break;
        case TextureAddress::Border:
            resolveWith(coord, count, n, -2.0f, n + 1.0f, i0, i1, frac, [=](int j) {
                return j | maskOf(static_cast<unsigned>(j) >= static_cast<unsigned>(size));
            });
            break;
        case TextureAddress::MirrorOnce: {
            float mirrored[kTileLanes];
            for (int i = 0; i < count; ++i) {
                mirrored[i] = std::fabs(coord[i]);
            }
            resolveWith(mirrored, count, n, -1.0f, n, i0, i1, frac, [=](int j) {
                j ^= maskOf(j < 0);  // -1 - j
                return j - ((j - (size - 1)) & maskOf(j >= size));
            });
            break;
        }
        case TextureAddress::Wrap:
        default: {
            float wrapped[kTileLanes];
            for (int i = 0; i < count; ++i) {
                wrapped[i] = fractionOf(coord[i]);
            }
            resolveWith(wrapped, count, n, -1.0f, n - 0.5f, i0, i1, frac, [=](int j) {
                j += size & maskOf(j < 0);
                return j - (size & maskOf(j >= size));
            });
            break;
        }
    }
}

void TextureSampling::sampleRow(const SamplerSetup& setup, bool linear, int* x0, const int* x1,
                                const float* fx, int count, float (*out)[kTileLanes]) {
    const PixelBuffer& texture = *setup.texture;
    alignas(64) Colour t0[kTileLanes];
    if (!linear) {
        for (int i = 0; i < count; ++i) {
            x0[i] = fx[i] < 0.5f ? x0[i] : x1[i];
        }
        gatherRow(texture, setup.border, x0, count, t0);
        for (int c = 0; c < 4; ++c) {
            for (int i = 0; i < count; ++i) {
                out[c][i] = unorm(t0[i], kShift[c]);
            }
        }
        return;
    }
    alignas(64) Colour t1[kTileLanes];
    gatherRow(texture, setup.border, x0, count, t0);
    gatherRow(texture, setup.border, x1, count, t1);
    for (int c = 0; c < 4; ++c) {
        const int shift = kShift[c];
        float* result = out[c];
        for (int i = 0; i < count; ++i) {
            const float a = unorm(t0[i], shift), b = unorm(t1[i], shift);
            result[i] = a + (b - a) * fx[i];
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
    if (texture.height == 1 && setup.addressV != static_cast<DWORD>(TextureAddress::Border)) {
        // One row, and every mode but border maps every row index to it: the vertical filter
        // blends the row with itself, so only the horizontal one remains.
        sampleRow(setup, linear, x0, x1, fx, count, out);
        return;
    }
    resolveTexelAxis(setup.addressV, static_cast<int>(texture.height), v, count, y0, y1, fy);

    alignas(64) Colour t00[kTileLanes];
    if (!linear) {
        // The nearest texel: the second of the pair once the sample point is past its middle.
        for (int i = 0; i < count; ++i) {
            x0[i] = fx[i] < 0.5f ? x0[i] : x1[i];
            y0[i] = fy[i] < 0.5f ? y0[i] : y1[i];
        }
        gather(texture, setup.border, x0, y0, count, t00);
        for (int c = 0; c < 4; ++c) {
            for (int i = 0; i < count; ++i) {
                out[c][i] = unorm(t00[i], kShift[c]);
            }
        }
        return;
    }
    alignas(64) Colour t10[kTileLanes], t01[kTileLanes], t11[kTileLanes];
    gather(texture, setup.border, x0, y0, count, t00);
    gather(texture, setup.border, x1, y0, count, t10);
    gather(texture, setup.border, x0, y1, count, t01);
    gather(texture, setup.border, x1, y1, count, t11);
    for (int c = 0; c < 4; ++c) {
        const int shift = kShift[c];
        float* result = out[c];
        for (int i = 0; i < count; ++i) {
            const float a = unorm(t00[i], shift), b = unorm(t10[i], shift);
            const float top = a + (b - a) * fx[i];
            const float d = unorm(t01[i], shift), e = unorm(t11[i], shift);
            const float bottom = d + (e - d) * fx[i];
            result[i] = top + (bottom - top) * fy[i];
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
