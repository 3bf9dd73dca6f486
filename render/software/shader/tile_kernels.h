// The kernels that run one compiled instruction over a tile, in one version per instruction set
// (tile_kernels.inl).
#pragma once

#include "render/shader/bytecode.h"
#include "render/software/shader/compiled_program.h"
#include "render/software/simd/instruction_set.h"

namespace gs::render::software::detail {

// The kernel of `set` for `opcode` whose source s is uniform when bit s of `uniformSources` is set.
// Sub runs as add (the compiler negates its second source); texld has one kernel. Returns null for
// opcodes that have no kernel (declarations, nop).
InstructionKernel selectKernel(simd::InstructionSet set, shader::Opcode opcode,
                               unsigned uniformSources);

// Operations that exist only as fusions of an instruction chain.
enum class FusedOperation : unsigned char {
    None,
    SquareRoot,        // rcp of rsq: sqrt(|x|)
    Power,             // exp of log times a uniform: |x|^y to the precision an 8-bit target shows
    TablePower,        // the same for a def exponent, by the instruction's PowerTable
    ScaledSquareRoot,  // sqrt(|x|) times a uniform
    // Exact fusions: the same roundings in the same order as the chains they replace.
    SquaredDistance,  // dp3 of (a + b) with itself: the sum of the squares of a sub's results
    ScaledDistance,   // a scaled square root of a squared distance: sqrt|(a + b) . (a + b)| * c
    // A scaled distance times a second uniform e, in factorSource[0][0]: sqrt|(a + b) . (a + b)|
    // * c * e.
    TwiceScaledDistance,
    SumProduct,       // a mul of an add's result: (a + b) * c
    SquareRootOfSum,  // a square root of an add's result: sqrt|a + b|
    TablePowerOfSum,  // a table power of an add's result: |a + c|^b (b the exponent)
    // A sum product whose factor is a magnitude of a sum that nothing else reads, computed in the
    // same pass: (a + b) * |p + q|^y by the power's table, and (a + b) * sqrt|p + q|. The factor's
    // sources are the instruction's factorSource.
    SumProductOfTablePower,
    SumProductOfSquareRoot,
    // A texld whose u is a ScaledDistance or TwiceScaledDistance that nothing else reads: the
    // distance's sources, scale and second scale where the distance had them, v in source[2][1].
    // The texture units may compute the distances as they read
    // (TextureUnits::sampleAtRowDistances).
    SampleAtScaledDistance,
    SampleAtTwiceScaledDistance,
};

// The kernel of `set` for a fused operation, with sources uniform as in selectKernel.
InstructionKernel selectFusedKernel(simd::InstructionSet set, FusedOperation operation,
                                    unsigned uniformSources);

}  // namespace gs::render::software::detail
