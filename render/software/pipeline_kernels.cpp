// The pipeline's tile kernels, built once per instruction set from pipeline_kernels.inl.
#include "render/software/pipeline_kernels.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

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

}  // namespace

namespace sse2 {
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
#include "render/software/pipeline_kernels.inl"
}  // namespace sse2

GS_SIMD_BEGIN_AVX2
namespace avx2 {
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
#include "render/software/pipeline_kernels.inl"
}  // namespace avx2
GS_SIMD_END

GS_SIMD_BEGIN_AVX512
namespace avx512 {
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
#include "render/software/pipeline_kernels.inl"
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
