// The fused power for an exponent known when the program is compiled.
//
// A shader such as "log, mul by a def constant, exp" raises a value to a fixed power. With y fixed,
// |x|^y = (2^e)^y * m^y for x = 2^e * m, m in [1, 2): the first factor comes from a table of
// binades and the second from quadratics fitted to m^y on 32 segments of [1, 2), so a power costs
// four table reads and a handful of multiplications instead of a logarithm and an exponential.
//
// Accuracy: for |y| <= 4 the relative error is below 2^-15 (the fit is at Chebyshev nodes; the
// cubic term it leaves is at most |y (y - 1) (y - 2)| / 6 * (1/64)^3 / 4 of m^y), tighter than the
// 2^-14 that arithmetic::shortPower keeps, and far below what an 8-bit target shows. The table
// covers x in [2^-31, 2) and zero; other values (tiny, large, infinite, NaN) take shortPower, whose
// special values the table path also keeps: 0^y is 0 for y > 0, infinity for y < 0, NaN for y = 0.
#pragma once

#include <bit>
#include <cstdint>

#include "render/software/shader/shader_arithmetic.h"
#include "render/software/simd/target_region.h"

namespace gs::render::software {

struct alignas(64) PowerTable {
    static constexpr int kSegments = 32;  // of [1, 2), by the top five mantissa bits
    static constexpr int kBinades = 32;   // 2^-31 .. 2^0, by the low five bits of the exponent
    // The first binade: biased exponent 96, so that its low five bits are the table index.
    static constexpr std::uint32_t kFirstBinadeBits = 96u << 23;
    static constexpr std::uint32_t kBinadeSpanBits = static_cast<std::uint32_t>(kBinades) << 23;

    // Exponents whose fit keeps the stated bound.
    static bool covers(float y) { return y >= -4.0f && y <= 4.0f; }

    explicit PowerTable(float exponent);

    // m^y on segment j as c0[j] + t * (c1[j] + t * c2[j]), t in [0, 1) across the segment.
    float c0[kSegments], c1[kSegments], c2[kSegments];
    float binade[kBinades];  // 2^(e * y) for e = -31 .. 0
    float y;
    float zero;  // 0^y as shortPower gives it
};

namespace arithmetic {

// The position in its mantissa segment of a value with magnitude bits `bits`, in [0, 1): the
// mantissa bits below the top five, as the fraction of a float in [1, 2) less one.
GS_SIMD_INLINE float segmentPosition(std::uint32_t bits) {
    return std::bit_cast<float>(((bits << 5) & 0x007FFFFFu) | 0x3F800000u) - 1.0f;
}

// |x|^y by `table`. Every instruction set computes this, in this order, without fused
// multiply-adds: the results agree bit for bit.
GS_SIMD_INLINE float tablePower(float x, const PowerTable& table) {
    const std::uint32_t bits = std::bit_cast<std::uint32_t>(x) & 0x7FFFFFFFu;
    if (bits == 0) {
        return table.zero;
    }
    if (bits - PowerTable::kFirstBinadeBits >= PowerTable::kBinadeSpanBits) {
        return shortPower(x, table.y);
    }
    const unsigned j = (bits >> 18) & 31u;
    const float t = segmentPosition(bits);
    const float mantissaPower = table.c0[j] + t * (table.c1[j] + t * table.c2[j]);
    return mantissaPower * table.binade[(bits >> 23) & 31u];
}

}  // namespace arithmetic
}  // namespace gs::render::software
