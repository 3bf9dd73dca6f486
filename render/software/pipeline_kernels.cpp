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
void gatherTexels(const Colour* pixels, const int* at, int count, Colour* out) {
    for (int i = 0; i < count; ++i) {
        out[i] = pixels[at[i]];
    }
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
