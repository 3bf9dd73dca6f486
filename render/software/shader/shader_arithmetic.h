// Per-lane arithmetic of the ps_2_0 instructions, with the results Direct3D 9 defines.
//
// Every tile kernel computes through these functions, and they are written so that a loop over a
// tile of them vectorises: selects instead of branches, nothing that sets errno. Where Direct3D 9
// leaves a case open, IEEE single precision decides:
//
//   rcp(x)    1 / x: rcp(+0) = +inf, rcp(-0) = -inf, rcp(±inf) = ±0.
//   rsq(x)    1 / sqrt(|x|): rsq(±0) = +inf, rsq(±inf) = 0.
//   log(x)    log2(|x|): log(±0) = -inf, log(±inf) = +inf, exact for powers of two.
//   exp(x)    2^x: exp(-inf) = 0, exp(+inf) = +inf, exact for whole numbers.
//   pow(x, y) exp(y * log(x)), as the hardware expands it: pow(0, y > 0) = 0, pow(0, 0) = NaN.
//   min/max   (a < b) ? a : b and (a >= b) ? a : b: a NaN in a comparison selects b.
//   cmp       (a >= 0) ? b : c per component; a NaN selects c.
//   lrp       a * (b - c) + c.
//   frc       x - floor(x): in [0, 1) up to rounding (a tiny negative x gives 1), NaN for ±inf.
//   nrm       v * rsq(dot3(v, v)), except that a zero vector scales by FLT_MAX and so stays zero.
//   _sat      clamp to [0, 1], NaN to 0.
//   NaN and infinities otherwise propagate as IEEE arithmetic does (mul, mad, dp3, dp4 are plain
//   sums of products: 0 * inf is NaN).
//
// log and exp are polynomial approximations that vectorise, far more accurate than an 8-bit target
// can show (Direct3D 9 asks for 21 bits of log and exp on pixel hardware):
//
//   log2:  |error| <= 2^-21 * max(1, |log2 x|) for every finite x, denormals included;
//   exp2:  relative error <= 2^-21 wherever the result is a normal float, and 2^x underflows to
//          denormals and zero as IEEE arithmetic rounds it below 2^-126.
//
// So pow(x, y) = exp2(y * log2 x) is within 2^-20 * (1 + |y * log2 x|) relative of the exact power,
// and 0.45 as the exponent of a value in [2^-8, 1] stays within about 2^-19.
#pragma once

#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdint>

#include "render/software/simd/target_region.h"

namespace gs::render::software::arithmetic {

GS_SIMD_INLINE float reciprocal(float x) {
    return 1.0f / x;
}
GS_SIMD_INLINE float reciprocalSquareRoot(float x) {
    return 1.0f / std::sqrt(std::fabs(x));
}
namespace detail {

// floor of a value inside int's range, as a conversion and a compare (vectorises without SSE4.1).
GS_SIMD_INLINE int floorToInt(float x) {
    const int k = static_cast<int>(x);
    return k - static_cast<int>(x < static_cast<float>(k));
}

}  // namespace detail

// log2|x| = e + log2 m with m in [sqrt(1/2), sqrt(2)), and log m = t - t^2/2 + t^3 P(t), t = m - 1
// (the polynomial of Cephes' logf, good to a unit of single precision on that interval).
GS_SIMD_INLINE float logarithm2(float x) {
    constexpr float kLog2E = 1.44269504088896341f;
    x = std::fabs(x);
    // Denormals are scaled into the normal range first.
    const bool tiny = x < FLT_MIN;
    const float scaled = tiny ? x * 8388608.0f : x;  // 2^23
    const std::uint32_t bits = std::bit_cast<std::uint32_t>(scaled);
    // Mantissas above sqrt(2) (0x3504F3 in their fraction bits) count as half of twice their value.
    const std::uint32_t upper = (bits & 0x007FFFFFu) > 0x003504F3u ? 1u : 0u;
    const int exponent =
        static_cast<int>(bits >> 23) - 127 + static_cast<int>(upper) - (tiny ? 23 : 0);
    const float m = std::bit_cast<float>((bits & 0x007FFFFFu) | ((127u - upper) << 23));
    const float t = m - 1.0f;
    const float t2 = t * t;
    float p = 7.0376836292e-2f;
    p = p * t - 1.1514610310e-1f;
    p = p * t + 1.1676998740e-1f;
    p = p * t - 1.2420140846e-1f;
    p = p * t + 1.4249322787e-1f;
    p = p * t - 1.6668057665e-1f;
    p = p * t + 2.0000714765e-1f;
    p = p * t - 2.4999993993e-1f;
    p = p * t + 3.3333331174e-1f;
    const float logM = t + (t * t2 * p - 0.5f * t2);
    float result = static_cast<float>(exponent) + logM * kLog2E;
    result = x == 0.0f ? -INFINITY : result;
    result = x == INFINITY ? INFINITY : result;
    return x != x ? x : result;  // NaN stays NaN
}

// 2^x = 2^n * 2^f with n = round(x) and f in [-1/2, 1/2], 2^f by the polynomial of Cephes' exp2f.
// 2^n is applied as two factors so that results near overflow and in the denormal range round
// exactly as one IEEE multiplication does.
GS_SIMD_INLINE float exponential2(float x) {
    // NaN takes the lower bound here and is put back at the end.
    const float clamped = x > -152.0f ? (x < 130.0f ? x : 130.0f) : -152.0f;
    const int n = detail::floorToInt(clamped + 0.5f);
    const float f = clamped - static_cast<float>(n);
    float p = 1.535336188319500e-4f;
    p = p * f + 1.339887440266574e-3f;
    p = p * f + 9.618437357674640e-3f;
    p = p * f + 5.550332471162809e-2f;
    p = p * f + 2.402264791363012e-1f;
    p = p * f + 6.931472028550421e-1f;
    const float power = p * f + 1.0f;
    const int half = n >> 1;  // floor(n / 2): both factors stay normal floats
    const float a = std::bit_cast<float>(static_cast<std::uint32_t>(half + 127) << 23);
    const float b = std::bit_cast<float>(static_cast<std::uint32_t>(n - half + 127) << 23);
    const float result = power * a * b;
    // An integer select: the vectoriser keeps a float self-comparison as a branch.
    const std::uint32_t xBits = std::bit_cast<std::uint32_t>(x);
    const std::uint32_t nan = (xBits & 0x7FFFFFFFu) > 0x7F800000u ? ~0u : 0u;
    return std::bit_cast<float>((std::bit_cast<std::uint32_t>(result) & ~nan) | (xBits & nan));
}

GS_SIMD_INLINE float power(float x, float y) {
    return exponential2(y * logarithm2(x));
}
// The fused rcp(rsq(x)): sqrt|x|, so 0 gives 0, infinity infinity and NaN NaN as the pair does.
GS_SIMD_INLINE float squareRootOfMagnitude(float x) {
    return std::sqrt(std::fabs(x));
}

// The fused exp(y * log(x)) for a uniform y: 2^(y * log2|x|) with polynomials just long enough for
// 8-bit targets (log2 of the mantissa to 2^-17.8, 2^f to 2^-17.1 relative). For x in [0, 1e4] and
// |y| <= 4 the relative error is at most 2^-14 (2^-15.5 measured) of the exact |x|^y wherever that
// is a normal float; smaller results may flush to zero, and those from 2^127.5 up become infinity.
// Otherwise it keeps what the pair gives: 0^y is 0 for y > 0 and infinity for y < 0, 0^0 and NaN
// give NaN.
GS_SIMD_INLINE float shortPower(float x, float y) {
    // Integer tests on |x|'s bits: zero, denormal, infinity and NaN.
    const std::uint32_t xBits = std::bit_cast<std::uint32_t>(x) & 0x7FFFFFFFu;
    const bool tiny = xBits < 0x00800000u;
    const std::uint32_t bits =
        tiny ? std::bit_cast<std::uint32_t>(std::bit_cast<float>(xBits) * 8388608.0f) : xBits;
    const std::uint32_t upper = (bits & 0x007FFFFFu) > 0x003504F3u ? 1u : 0u;
    const int exponent =
        static_cast<int>(bits >> 23) - 127 + static_cast<int>(upper) - (tiny ? 23 : 0);
    const float t = std::bit_cast<float>((bits & 0x007FFFFFu) | ((127u - upper) << 23)) - 1.0f;
    // log2(1 + t) = t * q(t) on [sqrt(1/2) - 1, sqrt(2) - 1], q interpolated at Chebyshev nodes and
    // evaluated in pairs (shorter dependency chains than Horner's rule).
    const float t2 = t * t;
    const float q = (1.442700440013496f - 0.7211957523938721f * t) +
                    t2 * ((0.47992557347074644f - 0.3669257709573897f * t) +
                          t2 * (0.316898187156837f - 0.20228926373030143f * t));
    float logX = static_cast<float>(exponent) + t * q;
    logX = xBits == 0 ? -INFINITY : logX;
    logX = xBits == 0x7F800000u ? INFINITY : logX;

    const float v = y * logX;  // NaN for a NaN y and for 0 * infinity
    // 2^v = 2^n * 2^f, n = round(v) in [-127, 128]: 2^-127 is built as 0, 2^128 as infinity.
    // NaN takes the lower bound here and is put back at the end.
    float clamped = v > -127.0f ? v : -127.0f;
    clamped = clamped < 128.0f ? clamped : 128.0f;
    // Adding 1.5 * 2^23 rounds to a whole number, which then sits in the low mantissa bits.
    const float shifted = clamped + 12582912.0f;
    const int n = static_cast<int>(std::bit_cast<std::uint32_t>(shifted) - 0x4B400000u);
    const float f = clamped - (shifted - 12582912.0f);
    const float r = (0.6931367338836215f + 0.2402253009741223f * f) +
                    (f * f) * (0.055838282946219404f + 0.009656710288545166f * f);
    const float scale = std::bit_cast<float>(static_cast<std::uint32_t>(n + 127) << 23);
    const float result = (r * f + 1.0f) * scale;
    const std::uint32_t vBits = std::bit_cast<std::uint32_t>(v) & 0x7FFFFFFFu;
    const std::uint32_t nan = vBits > 0x7F800000u || xBits > 0x7F800000u ? ~0u : 0u;
    return std::bit_cast<float>((std::bit_cast<std::uint32_t>(result) & ~nan) |
                                (0x7FC00000u & nan));
}

GS_SIMD_INLINE float minimum(float a, float b) {
    return a < b ? a : b;
}
GS_SIMD_INLINE float maximum(float a, float b) {
    return a >= b ? a : b;
}
GS_SIMD_INLINE float compare(float a, float b, float c) {
    return a >= 0.0f ? b : c;
}
GS_SIMD_INLINE float interpolate(float a, float b, float c) {
    return a * (b - c) + c;
}
GS_SIMD_INLINE float fraction(float x) {
    return x - std::floor(x);
}
GS_SIMD_INLINE float saturate(float x) {
    return minimum(x > 0.0f ? x : 0.0f, 1.0f);
}
GS_SIMD_INLINE float normalizeFactor(float lengthSquared) {
    const float factor = 1.0f / std::sqrt(lengthSquared);  // computed either way: no branch
    return lengthSquared != 0.0f ? factor : FLT_MAX;
}

}  // namespace gs::render::software::arithmetic
