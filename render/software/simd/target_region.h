// Building one kernel source for several instruction sets in one translation unit.
//
// A kernel file includes every header it needs first, then includes its kernel body (a .inl that
// includes nothing) once per set, each time inside its own namespace and between
// GS_SIMD_BEGIN_<SET> and GS_SIMD_END: the functions defined there are compiled for that set, while
// the inline functions of ordinary headers keep the baseline and are inlined into them. Nothing
// compiled for a newer set can leak into baseline code this way, as it could if whole files were
// built with different -m flags and the linker merged their inline functions.
#pragma once

#if defined(__clang__)
#define GS_SIMD_PRAGMA(x) _Pragma(#x)
#define GS_SIMD_BEGIN_AVX2 \
    GS_SIMD_PRAGMA(clang attribute push(__attribute__((target("avx2,fma"))), apply_to = function))
#define GS_SIMD_BEGIN_AVX512                                                    \
    GS_SIMD_PRAGMA(clang attribute push(                                        \
        __attribute__((target("avx2,fma,avx512f,avx512bw,avx512dq,avx512vl"))), \
        apply_to = function))
#define GS_SIMD_END GS_SIMD_PRAGMA(clang attribute pop)
#else
#define GS_SIMD_PRAGMA(x) _Pragma(#x)
#define GS_SIMD_BEGIN_AVX2 GS_SIMD_PRAGMA(GCC push_options) GS_SIMD_PRAGMA(GCC target("avx2,fma"))
#define GS_SIMD_BEGIN_AVX512         \
    GS_SIMD_PRAGMA(GCC push_options) \
    GS_SIMD_PRAGMA(GCC target("avx2,fma,avx512f,avx512bw,avx512dq,avx512vl"))
#define GS_SIMD_END GS_SIMD_PRAGMA(GCC pop_options)
#endif

// For the few helpers that live in ordinary headers and must become part of each kernel.
#define GS_SIMD_INLINE inline __attribute__((always_inline))
