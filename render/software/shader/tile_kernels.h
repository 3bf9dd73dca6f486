// The kernels that run one compiled instruction over a tile.
//
// Each kernel is a handful of loops over the tile's lanes, one per written component, with the
// operation inlined and no per-lane branch, so the compiler turns them into vector code. Kernels
// are specialised on which sources are uniform (constants), so a constant is a value held in a
// register instead of a load per lane.
#pragma once

#include "render/shader/bytecode.h"
#include "render/software/shader/compiled_program.h"

namespace gs::render::software::detail {

// The kernel for `opcode` whose source s is uniform when bit s of `uniformSources` is set. Sub runs
// as add (the compiler negates its second source); texld has one kernel. Returns null for opcodes
// that have no kernel (declarations, nop).
InstructionKernel selectKernel(shader::Opcode opcode, unsigned uniformSources);

}  // namespace gs::render::software::detail
