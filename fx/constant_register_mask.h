// A set of pixel-shader constant registers (bit n: register cn), moved to and from the device in
// runs of neighbouring registers so that a handful of registers costs one call.
#pragma once

#include <bit>
#include <cstdint>

namespace gs::fx {

using ConstantRegisterMask = std::uint32_t;

// Calls run(first, count) for each run of consecutive registers in `mask`, lowest first.
template <typename Run>
void forEachRegisterRun(ConstantRegisterMask mask, Run run) {
    while (mask != 0) {
        const unsigned first = static_cast<unsigned>(std::countr_zero(mask));
        const unsigned count = static_cast<unsigned>(std::countr_one(mask >> first));
        run(first, count);
        mask &= count == 32 ? 0u : ~(((1u << count) - 1u) << first);
    }
}

}  // namespace gs::fx
