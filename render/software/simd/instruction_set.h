// The vector instruction sets the software device's kernels are built for, and the choice among
// them: the best one the processor and the operating system support, found once per process.
//
// Every kernel exists in one version per instruction set (see target_region.h). A component picks
// its kernels when it is made (a pixel pipeline, a compiled pixel program), never per call, from
// activeInstructionSet(). Tests may step down to an older set to compare the versions.
#pragma once

namespace gs::render::software::simd {

enum class InstructionSet : unsigned char {
    Sse2,    // x86-64's baseline: 4 floats
    Avx2,    // AVX2 with FMA: 8 floats
    Avx512,  // AVX-512 F, BW, DQ, VL: 16 floats
};
constexpr int kInstructionSetCount = 3;

// The best set this processor and operating system run.
InstructionSet bestInstructionSet();
// The set a process starts with: `best`, or an older one that `requested` names ("sse2", "avx2",
// "avx512", in any case), the value of GLIMMERSTRAND_INSTRUCTION_SET. It lets the older sets'
// kernels be measured on a newer processor, or a set be stepped around. A null, unknown or newer
// name changes nothing.
InstructionSet startingInstructionSet(InstructionSet best, const char* requested);
// The set components made from now on use: the starting one, unless a test chose another.
InstructionSet activeInstructionSet();
// Chooses the set for components made from now on; one the machine cannot run is refused (false).
bool useInstructionSet(InstructionSet set);
const char* instructionSetName(InstructionSet set);

// Whether the set's kernels round a sum of a product once (multiply_add.h). Sets of one kind give
// the same bits; the two kinds differ by the roundings fusing leaves out (and the order of a dot
// product's sum), and so in what follows from them.
constexpr bool fusesMultiplyAdd(InstructionSet set) {
    return set != InstructionSet::Sse2;
}

}  // namespace gs::render::software::simd
