// The tile kernels, built once per instruction set from tile_kernels.inl.
#include "render/software/shader/tile_kernels.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <utility>

#include <immintrin.h>

#include "render/software/shader/power_table.h"
#include "render/software/shader/shader_arithmetic.h"
#include "render/software/simd/instruction_set.h"
#include "render/software/simd/multiply_add.h"
#include "render/software/simd/target_region.h"

namespace gs::render::software::detail {

namespace sse2 {
constexpr bool kFusesMultiplyAdd = simd::fusesMultiplyAdd(simd::InstructionSet::Sse2);
#include "render/software/shader/lane_table_power.inl"
#include "render/software/shader/lane_table_power_product.inl"
#include "render/software/shader/lane_transcendentals.inl"
#include "render/software/shader/tile_kernels.inl"
}  // namespace sse2

GS_SIMD_BEGIN_AVX2
namespace avx2 {
constexpr bool kFusesMultiplyAdd = simd::fusesMultiplyAdd(simd::InstructionSet::Avx2);
#include "render/software/shader/avx2_table_power.inl"
#include "render/software/shader/lane_transcendentals.inl"
#include "render/software/shader/tile_kernels.inl"
}  // namespace avx2
GS_SIMD_END

GS_SIMD_BEGIN_AVX512
namespace avx512 {
constexpr bool kFusesMultiplyAdd = simd::fusesMultiplyAdd(simd::InstructionSet::Avx512);
#include "render/software/shader/avx512_transcendentals.inl"
#include "render/software/shader/tile_kernels.inl"
}  // namespace avx512
GS_SIMD_END

InstructionKernel selectKernel(simd::InstructionSet set, shader::Opcode opcode,
                               unsigned uniformSources) {
    switch (set) {
        case simd::InstructionSet::Avx512:
            return avx512::selectKernel(opcode, uniformSources);
        case simd::InstructionSet::Avx2:
            return avx2::selectKernel(opcode, uniformSources);
        case simd::InstructionSet::Sse2:
            break;
    }
    return sse2::selectKernel(opcode, uniformSources);
}

InstructionKernel selectFusedKernel(simd::InstructionSet set, FusedOperation operation,
                                    unsigned uniformSources) {
    switch (set) {
        case simd::InstructionSet::Avx512:
            return avx512::selectFusedKernel(operation, uniformSources);
        case simd::InstructionSet::Avx2:
            return avx2::selectFusedKernel(operation, uniformSources);
        case simd::InstructionSet::Sse2:
            break;
    }
    return sse2::selectFusedKernel(operation, uniformSources);
}

}  // namespace gs::render::software::detail
