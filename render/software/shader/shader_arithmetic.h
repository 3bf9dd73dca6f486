// Per-lane arithmetic of the ps_2_0 instructions, with the results Direct3D 9 defines.
//
// Every tile kernel computes through these functions, and they are written so that a loop over a
// tile of them vectorises: selects instead of branches, nothing that sets errno. Where Direct3D 9
// leaves a case open, IEEE single precision decides:
//
//   rcp(x)    1 / x: rcp(+0) = +inf, rcp(-0) = -inf, rcp(±inf) = ±0.
//   rsq(x)    1 / sqrt(|x|): rsq(±0) = +inf, rsq(±inf) = 0.
//   log(x)    log2(|x|): log(±0) = -inf, log(±inf) = +inf.
//   exp(x)    2^x: exp(-inf) = 0, exp(+inf) = +inf.
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
// log, exp and pow use the C library's accurate log2 and exp2.
#pragma once

#include <cfloat>
#include <cmath>

namespace gs::render::software::arithmetic {

inline float reciprocal(float x) {
    return 1.0f / x;
}
inline float reciprocalSquareRoot(float x) {
    return 1.0f / std::sqrt(std::fabs(x));
}
inline float logarithm2(float x) {
    return std::log2(std::fabs(x));
}
inline float exponential2(float x) {
    return std::exp2(x);
}
inline float power(float x, float y) {
    return exponential2(y * logarithm2(x));
}
inline float minimum(float a, float b) {
    return a < b ? a : b;
}
inline float maximum(float a, float b) {
    return a >= b ? a : b;
}
inline float compare(float a, float b, float c) {
    return a >= 0.0f ? b : c;
}
inline float interpolate(float a, float b, float c) {
    return a * (b - c) + c;
}
inline float fraction(float x) {
    return x - std::floor(x);
}
inline float saturate(float x) {
    return minimum(x > 0.0f ? x : 0.0f, 1.0f);
}
inline float normalizeFactor(float lengthSquared) {
    const float factor = 1.0f / std::sqrt(lengthSquared);  // computed either way: no branch
    return lengthSquared != 0.0f ? factor : FLT_MAX;
}

}  // namespace gs::render::software::arithmetic
