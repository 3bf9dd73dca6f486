#include "render/software/simd/instruction_set.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <string_view>
#include <utility>

namespace gs::render::software::simd {
namespace {

InstructionSet detect() {
#if defined(__x86_64__) || defined(__i386__)
    // libgcc's processor model also checks that the operating system saves the vector registers
    // (XGETBV) before it reports AVX and AVX-512 features.
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
        __builtin_cpu_supports("avx512dq") && __builtin_cpu_supports("avx512vl")) {
        return InstructionSet::Avx512;
    }
    if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma")) {
        return InstructionSet::Avx2;
    }
#endif
    return InstructionSet::Sse2;
}

std::atomic<int>& chosen() {
    static std::atomic<int> set{static_cast<int>(startingInstructionSet(
        bestInstructionSet(), std::getenv("GLIMMERSTRAND_INSTRUCTION_SET")))};
    return set;
}

}  // namespace

InstructionSet bestInstructionSet() {
    static const InstructionSet best = detect();
    return best;
}

InstructionSet startingInstructionSet(InstructionSet best, const char* requested) {
    if (requested == nullptr) {
        return best;
    }
    constexpr std::pair<std::string_view, InstructionSet> kNames[] = {
        {"sse2", InstructionSet::Sse2},
        {"avx2", InstructionSet::Avx2},
        {"avx512", InstructionSet::Avx512},
    };
    const std::string_view text(requested);
    for (const auto& [name, set] : kNames) {
        const bool same =
            text.size() == name.size() &&
            std::equal(name.begin(), name.end(), text.begin(), [](char a, char b) {
                return a == (b >= 'A' && b <= 'Z' ? static_cast<char>(b - 'A' + 'a') : b);
            });
        if (same) {
            return static_cast<int>(set) < static_cast<int>(best) ? set : best;
        }
    }
    return best;
}

InstructionSet activeInstructionSet() {
    return static_cast<InstructionSet>(chosen().load(std::memory_order_relaxed));
}

bool useInstructionSet(InstructionSet set) {
    if (static_cast<int>(set) > static_cast<int>(bestInstructionSet())) {
        return false;
    }
    chosen().store(static_cast<int>(set), std::memory_order_relaxed);
    return true;
}

const char* instructionSetName(InstructionSet set) {
    switch (set) {
        case InstructionSet::Sse2:
            return "SSE2";
        case InstructionSet::Avx2:
            return "AVX2";
        case InstructionSet::Avx512:
            return "AVX-512";
    }
    return "?";
}

}  // namespace gs::render::software::simd
