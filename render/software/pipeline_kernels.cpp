// The pipeline's tile kernels, built once per instruction set from pipeline_kernels.inl.
#include "render/software/pipeline_kernels.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include <immintrin.h>

#include "render/software/pixel_pipeline.h"
#include "render/software/simd/target_region.h"
#include "render/software/texture_sampling.h"

namespace gs::render::software {

// gatherTexels(pixels, at, count, out): out[i] = pixels[at[i]] for the lanes [0, count), with the
// set's gather instruction where it has one; lanes past count are neither read nor written.
//
// gatherRowPairs(row, width, x0, x1, count, t0, t1): t0[i] = row[x0[i]] and t1[i] = row[x1[i]],
// every index in [0, width): the two texels a linear filter blends along one row.

namespace {

// first[i] = pixels[at[i]] and second[i] = pixels[at[i] + 1] for the lanes [0, count), from one
// 64-bit load per lane. Built for the baseline and shared by every set: plain loads beat the
// 64-bit gathers of AVX2 and AVX-512 on processors whose gathers are microcoded (AMD's). Kept
// out of line so that no set turns the loop back into gathers.
__attribute__((noinline)) void gatherTexelPairs(const Colour* pixels, const int* at, int count,
                                                Colour* first, Colour* second) {
    for (int i = 0; i < count; ++i) {
        std::uint64_t pair;
        std::memcpy(&pair, pixels + at[i], sizeof pair);
        first[i] = static_cast<Colour>(pair);
        second[i] = static_cast<Colour>(pair >> 32);
    }
}

// The bilinear footprints of lanes that lie inside the texture: top[i] holds pixels[at[i]] and
// pixels[at[i] + 1] in its low and high halves, bottom[i] the two texels a row below. Built for the
// baseline and kept out of line for the same reasons as gatherTexelPairs.
__attribute__((noinline)) void gatherFootprintPairs(const Colour* pixels, std::size_t pitch,
                                                    const int* at, int count, std::uint64_t* top,
                                                    std::uint64_t* bottom) {
    for (int i = 0; i < count; ++i) {
        const Colour* pair = pixels + at[i];
        std::memcpy(top + i, pair, sizeof *top);
        std::memcpy(bottom + i, pair + pitch, sizeof *bottom);
    }
}

}  // namespace

namespace sse2 {
constexpr bool kHasRounding = false;
void gatherTexels(const Colour* pixels, const int* at, int count, Colour* out) {
    for (int i = 0; i < count; ++i) {
        out[i] = pixels[at[i]];
    }
}
void gatherRowPairs(const Colour* row, int, const int* x0, const int* x1, int count, Colour* t0,
                    Colour* t1) {
    gatherTexels(row, x0, count, t0);
    gatherTexels(row, x1, count, t1);
}
// The four texels of each footprint of lanes inside the texture, as offsets of their first texels.
void gatherInteriorFootprints(const PixelBuffer& texture, const int* at, int count, Colour* t00,
                              Colour* t10, Colour* t01, Colour* t11);
// target[i] = source + target per channel, saturated and rounded (addSaturatedLoop).
void addSaturated(const float (*source)[kTileLanes], Colour* target, int count, bool alpha);
#include "render/software/pipeline_kernels.inl"
void addSaturated(const float (*source)[kTileLanes], Colour* target, int count, bool alpha) {
    alpha ? addSaturatedLoop<true>(source, target, count)
          : addSaturatedLoop<false>(source, target, count);
}
void gatherInteriorFootprints(const PixelBuffer& texture, const int* at, int count, Colour* t00,
                              Colour* t10, Colour* t01, Colour* t11) {
    gatherInteriorFootprintsByPairs(texture, at, count, t00, t10, t01, t11);
}
}  // namespace sse2

GS_SIMD_BEGIN_AVX2
namespace avx2 {
constexpr bool kHasRounding = true;  // SSE4.1's roundps or AVX-512's rndscaleps
void gatherTexels(const Colour* pixels, const int* at, int count, Colour* out) {
    int i = 0;
    for (; i + 8 <= count; i += 8) {
        const __m256i index = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at + i));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i),
                            _mm256_i32gather_epi32(reinterpret_cast<const int*>(pixels), index, 4));
    }
    for (; i < count; ++i) {
        out[i] = pixels[at[i]];
    }
}
void gatherRowPairs(const Colour* row, int, const int* x0, const int* x1, int count, Colour* t0,
                    Colour* t1) {
    gatherTexels(row, x0, count, t0);
    gatherTexels(row, x1, count, t1);
}
// The four texels of each footprint of lanes inside the texture, as offsets of their first texels.
void gatherInteriorFootprints(const PixelBuffer& texture, const int* at, int count, Colour* t00,
                              Colour* t10, Colour* t01, Colour* t11);
// target[i] = source + target per channel, saturated and rounded (addSaturatedLoop).
void addSaturated(const float (*source)[kTileLanes], Colour* target, int count, bool alpha);
#include "render/software/pipeline_kernels.inl"
void addSaturated(const float (*source)[kTileLanes], Colour* target, int count, bool alpha) {
    alpha ? addSaturatedLoop<true>(source, target, count)
          : addSaturatedLoop<false>(source, target, count);
}
void gatherInteriorFootprints(const PixelBuffer& texture, const int* at, int count, Colour* t00,
                              Colour* t10, Colour* t01, Colour* t11) {
    gatherInteriorFootprintsByPairs(texture, at, count, t00, t10, t01, t11);
}
}  // namespace avx2
GS_SIMD_END

GS_SIMD_BEGIN_AVX512
namespace avx512 {
constexpr bool kHasRounding = true;  // SSE4.1's roundps or AVX-512's rndscaleps
void gatherTexels(const Colour* pixels, const int* at, int count, Colour* out) {
    for (int i = 0; i < count; i += 16) {
        // The last group masks off the lanes past count.
        const __mmask16 lanes =
            static_cast<__mmask16>(count - i >= 16 ? 0xFFFF : (1u << (count - i)) - 1);
        const __m512i index = _mm512_maskz_loadu_epi32(lanes, at + i);
        const __m512i texels =
            _mm512_mask_i32gather_epi32(_mm512_setzero_si512(), lanes, index, pixels, 4);
        _mm512_mask_storeu_epi32(out + i, lanes, texels);
    }
}
// GCC 12's reductions and permutes pass _mm512_undefined_epi32() as the unused merge source, which
// its own maybe-uninitialized analysis then reports.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
// Where the 16 lanes of a group read within 16 texels of each other (a strip read at distances
// that change by about a texel from pixel to pixel), one load of those 16 texels permuted into the
// lanes serves both indices; other groups gather.
void gatherRowPairs(const Colour* row, int width, const int* x0, const int* x1, int count,
                    Colour* t0, Colour* t1) {
    const int* texels = reinterpret_cast<const int*>(row);
    for (int i = 0; i < count; i += 16) {
        const __mmask16 lanes =
            static_cast<__mmask16>(count - i >= 16 ? 0xFFFF : (1u << (count - i)) - 1);
        const __m512i first = _mm512_maskz_loadu_epi32(lanes, x0 + i);
        const __m512i second = _mm512_maskz_loadu_epi32(lanes, x1 + i);
        const int lowest = _mm512_mask_reduce_min_epi32(lanes, _mm512_min_epi32(first, second));
        const int highest = _mm512_mask_reduce_max_epi32(lanes, _mm512_max_epi32(first, second));
        __m512i a, b;
        if (highest - lowest < 16 && width >= 16) {
            const int start = lowest < width - 16 ? lowest : width - 16;
            const __m512i window = _mm512_loadu_si512(texels + start);
            const __m512i origin = _mm512_set1_epi32(start);
            a = _mm512_permutexvar_epi32(_mm512_sub_epi32(first, origin), window);
            b = _mm512_permutexvar_epi32(_mm512_sub_epi32(second, origin), window);
        } else {
            a = _mm512_mask_i32gather_epi32(_mm512_setzero_si512(), lanes, first, texels, 4);
            b = _mm512_mask_i32gather_epi32(_mm512_setzero_si512(), lanes, second, texels, 4);
        }
        _mm512_mask_storeu_epi32(t0 + i, lanes, a);
        _mm512_mask_storeu_epi32(t1 + i, lanes, b);
    }
}
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
// The four texels of each footprint of lanes inside the texture, as offsets of their first texels.
void gatherInteriorFootprints(const PixelBuffer& texture, const int* at, int count, Colour* t00,
                              Colour* t10, Colour* t01, Colour* t11);
// target[i] = source + target per channel, saturated and rounded (addSaturatedLoop).
void addSaturated(const float (*source)[kTileLanes], Colour* target, int count, bool alpha);
#include "render/software/pipeline_kernels.inl"
// GCC 12's intrinsics pass undefined vectors as the unused merge sources (see above).
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
// addSaturatedLoop's steps in the same order, with the clamps as max and min: max(x, 0) gives 0
// for NaN, as saturate does, and a sum of two values in [0, 1] needs only the upper clamp.
void addSaturated(const float (*source)[kTileLanes], Colour* target, int count, bool alpha) {
    const __m512 zero = _mm512_setzero_ps(), one = _mm512_set1_ps(1.0f);
    const __m512i byte = _mm512_set1_epi32(0xFF);
    const __m512i forced = _mm512_set1_epi32(alpha ? 0 : static_cast<int>(kOpaqueAlpha));
    const auto channel = [&](const float* s, __m512i d, int shift) {
        const __m512 dc =
            _mm512_mul_ps(_mm512_cvtepi32_ps(_mm512_and_si512(_mm512_srli_epi32(d, shift), byte)),
                          _mm512_set1_ps(1.0f / 255.0f));
        const __m512 sum =
            _mm512_add_ps(_mm512_min_ps(_mm512_max_ps(_mm512_load_ps(s), zero), one), dc);
        const __m512 scaled = _mm512_add_ps(
            _mm512_mul_ps(_mm512_min_ps(sum, one), _mm512_set1_ps(255.0f)), _mm512_set1_ps(0.5f));
        return _mm512_slli_epi32(_mm512_cvttps_epi32(scaled), shift);
    };
    for (int i = 0; i < count; i += 16) {
        const __mmask16 lanes =
            static_cast<__mmask16>(count - i >= 16 ? 0xFFFF : (1u << (count - i)) - 1);
        const __m512i d = _mm512_maskz_loadu_epi32(lanes, target + i);
        __m512i value = _mm512_ternarylogic_epi32(forced, channel(source[0] + i, d, 16),
                                                  channel(source[1] + i, d, 8), 0xFE);
        value = _mm512_or_si512(value, channel(source[2] + i, d, 0));
        if (alpha) {
            value = _mm512_or_si512(value, channel(source[3] + i, d, 24));
        }
        _mm512_mask_storeu_epi32(target + i, lanes, value);
    }
}
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
// GCC's reductions leave lanes of their placeholder vectors unset on purpose.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
// Where the 16 lanes of a group fall into two sets of neighbouring footprints, each within 31
// texels of its first (a texture drawn near its own size, rows changing along the run), both rows
// of each set are loaded whole and permuted into the lanes; other groups go pair by pair.
void gatherInteriorFootprints(const PixelBuffer& texture, const int* at, int count, Colour* t00,
                              Colour* t10, Colour* t01, Colour* t11) {
    const int* texels = reinterpret_cast<const int*>(texture.pixels);
    const int pitch = static_cast<int>(texture.pitch);
    // Whole windows of 32 texels must not read past the texture's last texel.
    const std::size_t size = texture.pitch * (texture.height - 1) + texture.width;
    const __m512i reach = _mm512_set1_epi32(30);
    const __m512i one = _mm512_set1_epi32(1);
    int i = 0;
    for (; i + 16 <= count; i += 16) {
        const __m512i offset = _mm512_loadu_si512(at + i);
        // The first footprint of each set: the least offset, and the least of those further on.
        const int first = _mm512_reduce_min_epi32(offset);
        const __mmask16 further =
            _mm512_cmpgt_epi32_mask(offset, _mm512_add_epi32(_mm512_set1_epi32(first), reach));
        const int second = further != 0 ? _mm512_mask_reduce_min_epi32(further, offset) : first;
        const __m512i origin =
            _mm512_mask_blend_epi32(further, _mm512_set1_epi32(first), _mm512_set1_epi32(second));
        const __m512i column = _mm512_sub_epi32(offset, origin);
        if (_mm512_cmpgt_epi32_mask(column, reach) != 0 ||
            static_cast<std::size_t>(second) + pitch + 32 > size) {
            gatherInteriorFootprintsByPairs(texture, at + i, 16, t00 + i, t10 + i, t01 + i,
                                            t11 + i);
            continue;
        }
        const __m512i next = _mm512_add_epi32(column, one);
        // Each window's texels at the lanes' columns, and at the columns after them.
        const auto pick = [&](int start, __m512i* left, __m512i* right) {
            const __m512i low = _mm512_loadu_si512(texels + start);
            const __m512i high = _mm512_loadu_si512(texels + start + 16);
            *left = _mm512_permutex2var_epi32(low, column, high);
            *right = _mm512_permutex2var_epi32(low, next, high);
        };
        __m512i topLeft, topRight, bottomLeft, bottomRight;
        pick(first, &topLeft, &topRight);
        pick(first + pitch, &bottomLeft, &bottomRight);
        if (further != 0) {
            __m512i left, right;
            pick(second, &left, &right);
            topLeft = _mm512_mask_blend_epi32(further, topLeft, left);
            topRight = _mm512_mask_blend_epi32(further, topRight, right);
            pick(second + pitch, &left, &right);
            bottomLeft = _mm512_mask_blend_epi32(further, bottomLeft, left);
            bottomRight = _mm512_mask_blend_epi32(further, bottomRight, right);
        }
        _mm512_storeu_si512(t00 + i, topLeft);
        _mm512_storeu_si512(t10 + i, topRight);
        _mm512_storeu_si512(t01 + i, bottomLeft);
        _mm512_storeu_si512(t11 + i, bottomRight);
    }
    if (i < count) {
        gatherInteriorFootprintsByPairs(texture, at + i, count - i, t00 + i, t10 + i, t01 + i,
                                        t11 + i);
    }
}
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
}  // namespace avx512
GS_SIMD_END

const PipelineKernels& pipelineKernels(simd::InstructionSet set) {
    switch (set) {
        case simd::InstructionSet::Avx512:
            return avx512::kKernels;
        case simd::InstructionSet::Avx2:
            return avx2::kKernels;
        case simd::InstructionSet::Sse2:
            break;
    }
    return sse2::kKernels;
}

}  // namespace gs::render::software
