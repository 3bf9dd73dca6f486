// The instruction sets a test runs the pipeline's kernels on.
#pragma once

#include <vector>

#include "render/software/simd/instruction_set.h"

namespace gs::render::software {

// Every set this machine runs, the baseline first.
inline std::vector<simd::InstructionSet> setsOfThisMachine() {
    std::vector<simd::InstructionSet> sets;
    for (int s = 0; s <= static_cast<int>(simd::bestInstructionSet()); ++s) {
        sets.push_back(static_cast<simd::InstructionSet>(s));
    }
    return sets;
}

}  // namespace gs::render::software
