#include "render/software/surface_blit.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include <emmintrin.h>

#include "render/software/colour_conversion.h"

namespace gs::render::software {
namespace {

// Walks floor((2i + 1) * source / (2 * destination)) for i = 0, 1, ... without dividing per step.
class CentreMapping {
public:
    // Starting at i = `first`.
    CentreMapping(std::int64_t source, std::int64_t destination, std::int64_t first = 0)
        : denominator_(2 * destination),
          stepWhole_((2 * source) / denominator_),
          stepRest_((2 * source) % denominator_),
          whole_((2 * first + 1) * source / denominator_),
          rest_((2 * first + 1) * source % denominator_) {}

    // The least i whose value is at least k: (2i + 1) * source >= k * 2 * destination.
    static std::int64_t firstReaching(std::int64_t source, std::int64_t destination,
                                      std::int64_t k) {
        const std::int64_t excess = 2 * k * destination - source;
        return excess <= 0 ? 0 : (excess + 2 * source - 1) / (2 * source);
    }

    std::int64_t value() const { return whole_; }
    void next() {
        whole_ += stepWhole_;
        rest_ += stepRest_;
        if (rest_ >= denominator_) {
            rest_ -= denominator_;
            ++whole_;
        }
    }

private:
    std::int64_t denominator_, stepWhole_, stepRest_, whole_, rest_;
};

// to[x] = first[2 x] | forced for the x from 0 whose four-pixel group reads no further than
// `available` pixels from `first`: two loads and one shuffle for four pixels. Returns how many it
// wrote; the caller finishes the rest.
LONG copyEveryOther(const Colour* first, LONG available, Colour* to, LONG count, Colour forced) {
    const __m128i mark = _mm_set1_epi32(static_cast<int>(forced));
    LONG x = 0;
    for (; x + 4 <= count && 2 * x + 8 <= available; x += 4) {
        const __m128 low = _mm_loadu_ps(reinterpret_cast<const float*>(first + 2 * x));
        const __m128 high = _mm_loadu_ps(reinterpret_cast<const float*>(first + 2 * x + 4));
        // Lanes 0 and 2 of each: the shuffle moves bits, whatever they would mean as floats.
        const __m128i picked = _mm_castps_si128(_mm_shuffle_ps(low, high, _MM_SHUFFLE(2, 0, 2, 0)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(to + x), _mm_or_si128(picked, mark));
    }
    return x;
}

// Destination rows [firstRow, endRow), counted from the rectangle's top.
void stretchPoint(const PixelBuffer& source, const RECT& sr, const PixelBuffer& destination,
                  const RECT& dr, LONG firstRow, LONG endRow) {
    const Colour forced = destination.hasAlpha() ? 0u : kOpaqueAlpha;
    const LONG sw = sr.right - sr.left, sh = sr.bottom - sr.top;
    const LONG dw = dr.right - dr.left;
    CentreMapping row(sh, dr.bottom - dr.top, firstRow);
    for (LONG y = firstRow; y < endRow; ++y, row.next()) {
        const Colour* from = source.row(static_cast<UINT>(sr.top + row.value())) + sr.left;
        Colour* to = destination.row(static_cast<UINT>(dr.top + y)) + dr.left;
        if (sw == dw) {
            if (forced == 0) {
                std::memcpy(to, from, static_cast<std::size_t>(dw) * sizeof(Colour));
            } else {
                for (LONG x = 0; x < dw; ++x)
                    to[x] = from[x] | forced;
            }
            continue;
        }
        if (sw % dw == 0) {
            // A whole ratio (the feedback capture halves the target): every step the same, so the
            // loop becomes strided vector loads.
            const LONG step = sw / dw;
            const LONG offset = static_cast<LONG>(CentreMapping(sw, dw).value());
            const Colour* first = from + offset;
            const LONG done = step == 2 ? copyEveryOther(first, sw - offset, to, dw, forced) : 0;
            for (LONG x = done; x < dw; ++x) {
                to[x] = first[step * x] | forced;
            }
            continue;
        }
        CentreMapping column(sw, dw);
        for (LONG x = 0; x < dw; ++x, column.next()) {
            to[x] = from[column.value()] | forced;
        }
    }
}

void stretchLinear(const PixelBuffer& source, const RECT& sr, const PixelBuffer& destination,
                   const RECT& dr) {
    const bool sourceAlpha = source.hasAlpha();
    const Colour forced = destination.hasAlpha() ? 0u : kOpaqueAlpha;
    const LONG sw = sr.right - sr.left, sh = sr.bottom - sr.top;
    const LONG dw = dr.right - dr.left, dh = dr.bottom - dr.top;
    const double scaleX = static_cast<double>(sw) / dw;
    const double scaleY = static_cast<double>(sh) / dh;
    // Source position of a destination centre, less half a pixel: the left/top texel's index
    // plus the weight of the next one, both clamped to the source rectangle.
    auto locate = [](LONG i, double scale, LONG size, LONG* first, LONG* second, float* weight) {
        const double s = std::clamp((i + 0.5) * scale - 0.5, 0.0, static_cast<double>(size - 1));
        const double f = std::floor(s);
        *first = static_cast<LONG>(f);
        *second = std::min<LONG>(*first + 1, size - 1);
        *weight = static_cast<float>(s - f);
    };
    auto unpack = [&](Colour c, float* rgba) {
        rgba[0] = channelRed(c);
        rgba[1] = channelGreen(c);
        rgba[2] = channelBlue(c);
        rgba[3] = sourceAlpha ? channelAlpha(c) : 1.0f;
    };
    for (LONG y = 0; y < dh; ++y) {
        LONG y0, y1;
        float wy;
        locate(y, scaleY, sh, &y0, &y1, &wy);
        const Colour* top = source.row(static_cast<UINT>(sr.top + y0)) + sr.left;
        const Colour* bottom = source.row(static_cast<UINT>(sr.top + y1)) + sr.left;
        Colour* to = destination.row(static_cast<UINT>(dr.top + y)) + dr.left;
        for (LONG x = 0; x < dw; ++x) {
            LONG x0, x1;
            float wx;
            locate(x, scaleX, sw, &x0, &x1, &wx);
            float a[4], b[4], c[4], d[4], out[4];
            unpack(top[x0], a);
            unpack(top[x1], b);
            unpack(bottom[x0], c);
            unpack(bottom[x1], d);
            for (int k = 0; k < 4; ++k) {
                const float upper = a[k] + (b[k] - a[k]) * wx;
                const float lower = c[k] + (d[k] - c[k]) * wx;
                out[k] = upper + (lower - upper) * wy;
            }
            to[x] = packColour(out[0], out[1], out[2], out[3]) | forced;
        }
    }
}

}  // namespace

bool clipRect(const RECT* rect, const PixelBuffer& surface, RECT* clipped) {
    const LONG width = static_cast<LONG>(surface.width);
    const LONG height = static_cast<LONG>(surface.height);
    if (rect == nullptr) {
        *clipped = RECT{0, 0, width, height};
        return width > 0 && height > 0;
    }
    clipped->left = std::max<LONG>(rect->left, 0);
    clipped->top = std::max<LONG>(rect->top, 0);
    clipped->right = std::min<LONG>(rect->right, width);
    clipped->bottom = std::min<LONG>(rect->bottom, height);
    return clipped->left < clipped->right && clipped->top < clipped->bottom;
}

bool rectInside(const RECT& rect, UINT width, UINT height) {
    return rect.left >= 0 && rect.top >= 0 && rect.left < rect.right && rect.top < rect.bottom &&
           static_cast<std::int64_t>(rect.right) <= width &&
           static_cast<std::int64_t>(rect.bottom) <= height;
}

void fillRect(const PixelBuffer& surface, const RECT& rect, Colour colour) {
    const Colour value = surface.stored(colour);
    for (LONG y = rect.top; y < rect.bottom; ++y) {
        Colour* row = surface.row(static_cast<UINT>(y));
        std::fill(row + rect.left, row + rect.right, value);
    }
}

void stretchRect(const PixelBuffer& source, const RECT& sourceRect, const PixelBuffer& destination,
                 const RECT& destinationRect, bool linear) {
    const bool sameSize =
        sourceRect.right - sourceRect.left == destinationRect.right - destinationRect.left &&
        sourceRect.bottom - sourceRect.top == destinationRect.bottom - destinationRect.top;
    if (linear && !sameSize) {
        stretchLinear(source, sourceRect, destination, destinationRect);
    } else {
        stretchPoint(source, sourceRect, destination, destinationRect, 0,
                     destinationRect.bottom - destinationRect.top);
    }
}

void stretchPointFromRows(const PixelBuffer& source, const RECT& sourceRect,
                          const PixelBuffer& destination, const RECT& destinationRect,
                          LONG sourceFirst, LONG sourceEnd) {
    const LONG sh = sourceRect.bottom - sourceRect.top;
    const LONG dh = destinationRect.bottom - destinationRect.top;
    const auto firstRowFrom = [&](LONG sourceRow) {
        return static_cast<LONG>(std::min<std::int64_t>(
            CentreMapping::firstReaching(sh, dh, std::int64_t{sourceRow} - sourceRect.top), dh));
    };
    const LONG first = firstRowFrom(sourceFirst), end = firstRowFrom(sourceEnd);
    if (first < end) {
        stretchPoint(source, sourceRect, destination, destinationRect, first, end);
    }
}

}  // namespace gs::render::software
