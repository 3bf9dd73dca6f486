// The fused power for an exponent known when the program is compiled.
//
// A shader such as "log, mul by a def constant, exp" raises a value to a fixed power. With y fixed,
// |x|^y = (2^e)^y * m^y for x = 2^e * m, m in [1, 2): the first factor comes from a table of
// binades and the second from quadratics fitted to m^y on 32 segments of [1, 2), so a power costs
// five table reads and a handful of multiplications instead of a logarithm and an exponential.
//
// Accuracy: for |y| <= 4 the parabolas' relative error is below 2^-15 (the fit is at Chebyshev
// nodes; the cubic term it leaves is at most |y (y - 1) (y - 2)| / 6 * (1/64)^3 / 4 of m^y),
// tighter than the 2^-14 that arithmetic::shortPower keeps, and far below what an 8-bit target
// shows. Exponents in [0, 1] bend m^y so little that chords on 16 segments do nearly as well: their
// c2 is 0, and the error of the chord through two Chebyshev nodes, |y (y - 1)| / 2 * (1/32)^2 / 2
// of m^y at most, is at most 2^-14; a table of 16 entries takes the AVX2 kernels half the permutes
// of one of 32. The tables cover zero and x in [2^-(32 k + 31), 2), where the k = 0..3 whole steps
// of 2^-32 keep their factor (2^-32)^(k y) a normal float (all four for |y| < 0.98, none for |y|
// > 3.9); other values (smaller, denormal, large, infinite, NaN) take shortPower, whose special
// values the table path also keeps: 0^y is 0 for y > 0, infinity for y < 0, NaN for y = 0.
#pragma once

#include <bit>
#include <cstdint>

#include "render/software/shader/shader_arithmetic.h"
#include "render/software/simd/target_region.h"

namespace gs::render::software {

struct alignas(64) PowerTable {
    static constexpr int kSegments = 32;        // of [1, 2), by the top five mantissa bits
    static constexpr int kLinearSegments = 16;  // by the top four
    // x = 2^-d * m for d = 32 h + l: (2^-d)^y = low[l] * high[h].
    static constexpr int kLowBinades = 32;
    static constexpr int kHighBinades = 16;  // at most 4 used; a whole vector of them

    // Exponents whose fit keeps the stated bound.
    static bool covers(float y) { return y >= -4.0f && y <= 4.0f; }
    // The mantissa bits that choose a segment.
    static constexpr int segmentBits(bool linear) { return linear ? 4 : 5; }

    explicit PowerTable(float exponent);

    // m^y on segment j as c0[j] + t * (c1[j] + t * c2[j]), t in [0, 1) across the segment. Entries
    // are read by the five bits from the segment's first: a linear table's segments repeat, as the
    // exponent's lowest bit follows them.
    float c0[kSegments], c1[kSegments], c2[kSegments];
    float low[kLowBinades];    // 2^(-l * y)
    float high[kHighBinades];  // 2^(-32 h * y); high[0] = 1, so that low alone serves d < 32
    // low[15 - k]: for x in [2^-15, 2), whose binade d = 127 - exponent lies below 16, the factor
    // indexed by the exponent's low four bits (15 - d).
    float shallowLow[16];
    // The magnitudes' bits the tables cover: [firstBits, firstBits + spanBits), up to 2.
    std::uint32_t firstBits, spanBits;
    float y;
    float zero;  // 0^y as shortPower gives it
    // kLinearSegments segments, and every c2 is 0: c0 + t * c1 gives the same values. (Last: the
    // tables above are read as aligned vectors.)
    bool linear;
};

namespace arithmetic {

// The position in its mantissa segment of a value with magnitude bits `bits`, in [0, 1): the
// mantissa bits below the segment's, as the fraction of a float in [1, 2) less one.
GS_SIMD_INLINE float segmentPosition(std::uint32_t bits, int segmentBits) {
    return std::bit_cast<float>(((bits << segmentBits) & 0x007FFFFFu) | 0x3F800000u) - 1.0f;
}

// |x|^y by `table`. Every instruction set computes this, in this order, without fused
// multiply-adds: the results agree bit for bit.
GS_SIMD_INLINE float tablePower(float x, const PowerTable& table) {
    const std::uint32_t bits = std::bit_cast<std::uint32_t>(x) & 0x7FFFFFFFu;
    if (bits == 0) {
        return table.zero;
    }
    if (bits - table.firstBits >= table.spanBits) {
        return shortPower(x, table.y);
    }
    const int segmentBits = PowerTable::segmentBits(table.linear);
    const unsigned j = (bits >> (23 - segmentBits)) & 31u;
    const float t = segmentPosition(bits, segmentBits);
    const float mantissaPower = table.c0[j] + t * (table.c1[j] + t * table.c2[j]);
    const unsigned d = 127u - (bits >> 23);
    // m^y * 2^(-l y) lies within 2^±128 for |y| <= 4 (the factors pull opposite ways), and the
    // last product rounds once: it under- or overflows only where |x|^y does.
    return (mantissaPower * table.low[d & 31u]) * table.high[d >> 5];
}

}  // namespace arithmetic
}  // namespace gs::render::software
