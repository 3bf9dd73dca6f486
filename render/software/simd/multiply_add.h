// a * b + c per lane, as an instruction set's kernels compute it.
//
// The AVX2 and AVX-512 kernels round the sum of a product once, with the fused multiply-add that
// every processor with those sets has (fusesMultiplyAdd in instruction_set.h): one instruction
// instead of two on the kernels' busiest paths (texture filters, distances, the blend's scaling).
// The baseline rounds the product and then the sum. The kinds differ by the roundings that fusing
// leaves out: tests hold them to a bound of each other, and kernels of one kind to the same bits.
#pragma once

#include <cmath>

#include "render/software/simd/target_region.h"

namespace gs::render::software::simd {

// Inlined into each set's kernels, where the fused form becomes one instruction (the kernels are
// built without errno, so std::fma never calls the C library there).
template <bool Fused>
GS_SIMD_INLINE float multiplyAdd(float a, float b, float c) {
    if constexpr (Fused) {
        return std::fma(a, b, c);
    } else {
        return a * b + c;
    }
}

}  // namespace gs::render::software::simd
