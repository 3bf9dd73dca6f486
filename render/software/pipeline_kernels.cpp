// The pipeline's tile kernels, built once per instruction set from pipeline_kernels.inl.
#include "render/software/pipeline_kernels.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "render/software/pixel_pipeline.h"
#include "render/software/simd/target_region.h"
#include "render/software/texture_sampling.h"

namespace gs::render::software {

namespace sse2 {
#include "render/software/pipeline_kernels.inl"
}  // namespace sse2

GS_SIMD_BEGIN_AVX2
namespace avx2 {
#include "render/software/pipeline_kernels.inl"
}  // namespace avx2
GS_SIMD_END

GS_SIMD_BEGIN_AVX512
namespace avx512 {
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
