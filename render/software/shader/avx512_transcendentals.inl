// log, exp and the fused power over a tile's lanes with AVX-512: tile_kernels.cpp includes this
// inside the AVX-512 namespace and target region. It includes nothing itself.
//
// The results are bit for bit those of arithmetic::logarithm2 and arithmetic::exponential2 (the
// same polynomials, evaluated in the same order without fused multiply-adds); what changes is how
// the exponent is taken apart and put back. getexp and getmant read denormals as they are, so log
// needs no rescaling, and scalef applies 2^n with the one rounding that exp's two factors give.
// Zero, infinity and NaN come out of the instructions themselves: getexp(0) = -inf makes log(0)
// -inf, getmant(inf) = 1 makes log(inf) +inf.
//
// `sign` is 0x80000000 for a negated source.

// GCC 12's intrinsics pass _mm512_undefined_ps() as the unused merge source, which its own
// maybe-uninitialized analysis then reports.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

namespace transcendental {

// Whole vectors store plainly: masked stores cost many times more on some processors.
inline void storeLanes(float* d, __mmask16 live, __m512 x) {
    if (live == 0xFFFF) {
        _mm512_storeu_ps(d, x);
    } else {
        _mm512_mask_storeu_ps(d, live, x);
    }
}

// Horner's scheme from the highest coefficient down, unrolled.
template <class... Rest>
inline __m512 polynomial(__m512 t, float highest, Rest... rest) {
    __m512 p = _mm512_set1_ps(highest);
    ((p = _mm512_add_ps(_mm512_mul_ps(p, t), _mm512_set1_ps(rest))), ...);
    return p;
}

inline __m512 logarithm2(__m512 x) {
    x = _mm512_abs_ps(x);
    const __m512 mantissa = _mm512_getmant_ps(x, _MM_MANT_NORM_1_2, _MM_MANT_SIGN_zero);
    // Mantissas above sqrt(2) count as half of twice their value, as in the per-lane version.
    const __mmask16 upper = _mm512_cmp_ps_mask(
        mantissa, _mm512_castsi512_ps(_mm512_set1_epi32(0x3FB504F3)), _CMP_GT_OQ);
    const __m512 exponent =
        _mm512_mask_add_ps(_mm512_getexp_ps(x), upper, _mm512_getexp_ps(x), _mm512_set1_ps(1.0f));
    const __m512 m = _mm512_mask_mul_ps(mantissa, upper, mantissa, _mm512_set1_ps(0.5f));
    const __m512 t = _mm512_sub_ps(m, _mm512_set1_ps(1.0f));
    const __m512 t2 = _mm512_mul_ps(t, t);
    const __m512 p = polynomial(t, 7.0376836292e-2f, -1.1514610310e-1f, 1.1676998740e-1f,
                                -1.2420140846e-1f, 1.4249322787e-1f, -1.6668057665e-1f,
                                2.0000714765e-1f, -2.4999993993e-1f, 3.3333331174e-1f);
    const __m512 logM = _mm512_add_ps(t, _mm512_sub_ps(_mm512_mul_ps(_mm512_mul_ps(t, t2), p),
                                                       _mm512_mul_ps(_mm512_set1_ps(0.5f), t2)));
    const __m512 result =
        _mm512_add_ps(exponent, _mm512_mul_ps(logM, _mm512_set1_ps(1.44269504088896341f)));
    return _mm512_mask_mov_ps(result, _mm512_cmp_ps_mask(x, x, _CMP_UNORD_Q), x);
}

inline __m512 exponential2(__m512 x) {
    // max and min take their second operand for a NaN: NaN takes the lower bound, as in the
    // per-lane version, and is put back at the end.
    const __m512 clamped =
        _mm512_min_ps(_mm512_max_ps(x, _mm512_set1_ps(-152.0f)), _mm512_set1_ps(130.0f));
    const __m512 n = _mm512_roundscale_ps(_mm512_add_ps(clamped, _mm512_set1_ps(0.5f)),
                                          _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC);
    const __m512 f = _mm512_sub_ps(clamped, n);
    const __m512 p =
        polynomial(f, 1.535336188319500e-4f, 1.339887440266574e-3f, 9.618437357674640e-3f,
                   5.550332471162809e-2f, 2.402264791363012e-1f, 6.931472028550421e-1f);
    const __m512 power = _mm512_add_ps(_mm512_mul_ps(p, f), _mm512_set1_ps(1.0f));
    const __m512 result = _mm512_scalef_ps(power, n);
    return _mm512_mask_mov_ps(result, _mm512_cmp_ps_mask(x, x, _CMP_UNORD_Q), x);
}

// arithmetic::shortPower, step for step: the exponent and mantissa of |x| from getexp and getmant
// (which read denormals as they are), the rest as the per-lane version writes it, selects as masks.
inline __m512 shortPower(__m512 x, __m512 y) {
    const __m512i xBits = _mm512_and_si512(_mm512_castps_si512(x), _mm512_set1_epi32(0x7FFFFFFF));
    const __m512 magnitude = _mm512_castsi512_ps(xBits);
    const __m512 mantissa = _mm512_getmant_ps(magnitude, _MM_MANT_NORM_1_2, _MM_MANT_SIGN_zero);
    const __mmask16 upper = _mm512_cmp_ps_mask(
        mantissa, _mm512_castsi512_ps(_mm512_set1_epi32(0x3FB504F3)), _CMP_GT_OQ);
    const __m512 exponent = _mm512_mask_add_ps(_mm512_getexp_ps(magnitude), upper,
                                               _mm512_getexp_ps(magnitude), _mm512_set1_ps(1.0f));
    const __m512 t = _mm512_sub_ps(
        _mm512_mask_mul_ps(mantissa, upper, mantissa, _mm512_set1_ps(0.5f)), _mm512_set1_ps(1.0f));
    const auto line = [&](float c, float slope) {  // c - slope * t
        return _mm512_sub_ps(_mm512_set1_ps(c), _mm512_mul_ps(_mm512_set1_ps(slope), t));
    };
    const __m512 t2 = _mm512_mul_ps(t, t);
    const __m512 q = _mm512_add_ps(
        line(1.442700440013496f, 0.7211957523938721f),
        _mm512_mul_ps(
            t2, _mm512_add_ps(line(0.47992557347074644f, 0.3669257709573897f),
                              _mm512_mul_ps(t2, line(0.316898187156837f, 0.20228926373030143f)))));
    __m512 logX = _mm512_add_ps(exponent, _mm512_mul_ps(t, q));
    logX = _mm512_mask_mov_ps(logX, _mm512_cmpeq_epi32_mask(xBits, _mm512_setzero_si512()),
                              _mm512_set1_ps(-INFINITY));
    logX = _mm512_mask_mov_ps(logX, _mm512_cmpeq_epi32_mask(xBits, _mm512_set1_epi32(0x7F800000)),
                              _mm512_set1_ps(INFINITY));

    const __m512 v = _mm512_mul_ps(y, logX);
    // max and min take their second operand for a NaN, as the per-lane selects do.
    const __m512 clamped =
        _mm512_min_ps(_mm512_max_ps(v, _mm512_set1_ps(-127.0f)), _mm512_set1_ps(128.0f));
    const __m512 shifted = _mm512_add_ps(clamped, _mm512_set1_ps(12582912.0f));
    const __m512i n = _mm512_sub_epi32(_mm512_castps_si512(shifted), _mm512_set1_epi32(0x4B400000));
    const __m512 f = _mm512_sub_ps(clamped, _mm512_sub_ps(shifted, _mm512_set1_ps(12582912.0f)));
    const __m512 r = _mm512_add_ps(
        _mm512_add_ps(_mm512_set1_ps(0.6931367338836215f),
                      _mm512_mul_ps(_mm512_set1_ps(0.2402253009741223f), f)),
        _mm512_mul_ps(_mm512_mul_ps(f, f),
                      _mm512_add_ps(_mm512_set1_ps(0.055838282946219404f),
                                    _mm512_mul_ps(_mm512_set1_ps(0.009656710288545166f), f))));
    const __m512 scale =
        _mm512_castsi512_ps(_mm512_slli_epi32(_mm512_add_epi32(n, _mm512_set1_epi32(127)), 23));
    const __m512 result =
        _mm512_mul_ps(_mm512_add_ps(_mm512_mul_ps(r, f), _mm512_set1_ps(1.0f)), scale);
    const __m512i notANumber = _mm512_set1_epi32(0x7F800000);
    const __mmask16 nan =
        _mm512_cmpgt_epu32_mask(
            _mm512_and_si512(_mm512_castps_si512(v), _mm512_set1_epi32(0x7FFFFFFF)), notANumber) |
        _mm512_cmpgt_epu32_mask(xBits, notANumber);
    return _mm512_mask_mov_ps(result, nan, _mm512_castsi512_ps(_mm512_set1_epi32(0x7FC00000)));
}

template <__m512 (*Function)(__m512)>
void lanes(const float* a, std::uint32_t sign, float* d, int count) {
    const __m512i flip = _mm512_set1_epi32(static_cast<int>(sign));
    for (int i = 0; i < count; i += 16) {
        const __mmask16 live =
            static_cast<__mmask16>(count - i >= 16 ? 0xFFFF : (1u << (count - i)) - 1);
        const __m512i bits = _mm512_xor_si512(_mm512_maskz_loadu_epi32(live, a + i), flip);
        storeLanes(d + i, live, Function(_mm512_castsi512_ps(bits)));
    }
}

}  // namespace transcendental

void shortPowerLanes(const float* a, std::uint32_t sign, float y, float* d, int count) {
    const __m512i flip = _mm512_set1_epi32(static_cast<int>(sign));
    const __m512 exponent = _mm512_set1_ps(y);
    for (int i = 0; i < count; i += 16) {
        const __mmask16 live =
            static_cast<__mmask16>(count - i >= 16 ? 0xFFFF : (1u << (count - i)) - 1);
        const __m512i bits = _mm512_xor_si512(_mm512_maskz_loadu_epi32(live, a + i), flip);
        transcendental::storeLanes(d + i, live,
                                   transcendental::shortPower(_mm512_castsi512_ps(bits), exponent));
    }
}

namespace transcendental {

// arithmetic::tablePower over the lanes: two-register permutes read the 32-entry tables, whose
// index bits sit in place within the value's bits. A vector with a lane outside the tables' range
// (a rare case: tiny, large, infinite or NaN) computes shortPower as well and takes it there.
// With Sum, the power of a + b (each negated where its sign says), the sum rounded as an add
// rounds it; the magnitude is what counts, so -a + b is taken as -(a - b). Linear: the table is
// one of chords, whose segments start one bit lower in the value and whose c2 terms are left out.

// Magnitudes in [2^-31, 2), the part of every table's range whose binade d = 127 - exponent lies
// below 32 (so that high[0] = 1 is its second factor), are those whose top four bits are 0011.
constexpr std::uint32_t kNearBits = 0x30000000u;
constexpr std::uint32_t kTopBits = 0xF0000000u;

// A table's entries, in registers for the lanes' permutes. c1 and c2 come scaled (see
// powerTableRegisters); lowFirst and lowSecond hold low[] in reverse, so that the exponent field
// itself indexes it.
struct PowerTableRegisters {
    __m512 c0Low, c0High, c1Low, c1High, c2Low, c2High, lowFirst, lowSecond, high, zero, exponent;
    std::uint32_t firstBits, spanBits;
};

// |x|^y by the table for the `live` lanes of x: what tablePowerVector stores.
template <bool Linear>
GS_SIMD_INLINE __m512 tablePowerValue(__m512i x, const PowerTableRegisters& t, __mmask16 live) {
    // |x| with the top bits of the near magnitudes cleared: zero there and nowhere else. The
    // fields the tables read (the segment, the position in it and the exponent's low five bits)
    // lie below them.
    const __m512i near = _mm512_ternarylogic_epi32(x, _mm512_set1_epi32(0x7FFFFFFF),
                                                   _mm512_set1_epi32(kNearBits), 0x6A);
    constexpr int segmentBits = PowerTable::segmentBits(Linear);
    const __m512i segment = _mm512_srli_epi32(near, 23 - segmentBits);
    // segmentPosition / 2^segmentBits: the mantissa in [1, 2) less its value to that many fraction
    // bits, rounded down (exact). The slopes come scaled to match, and the products are the same
    // numbers.
    const __m512 position = _mm512_reduce_ps(
        _mm512_getmant_ps(_mm512_castsi512_ps(x), _MM_MANT_NORM_1_2, _MM_MANT_SIGN_zero),
        (segmentBits << 4) | _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC);
    const __m512 c0 = _mm512_permutex2var_ps(t.c0Low, segment, t.c0High);
    const __m512 c1 = _mm512_permutex2var_ps(t.c1Low, segment, t.c1High);
    // With c2 = 0, c1 + position * c2 is c1: the same value without the step.
    const __m512 slope =
        Linear
            ? c1
            : _mm512_add_ps(
                  c1, _mm512_mul_ps(position, _mm512_permutex2var_ps(t.c2Low, segment, t.c2High)));
    const __m512 mantissaPower = _mm512_add_ps(c0, _mm512_mul_ps(position, slope));
    // low[(127 - e) mod 32] is the reversed table's entry e mod 32, which the permute takes from
    // the exponent field's low five bits. Binades from 2^-31 up take high[0] = 1 as their second
    // factor, and x * 1 is x: the product by it is left to the rare lanes below.
    __m512 result =
        _mm512_mul_ps(mantissaPower,
                      _mm512_permutex2var_ps(t.lowFirst, _mm512_srli_epi32(near, 23), t.lowSecond));
    // Zero and the values outside that part of the tables' range, in one test.
    const __mmask16 special = _mm512_test_epi32_mask(near, _mm512_set1_epi32(kTopBits)) & live;
    if (special != 0) {
        const __m512i bits = _mm512_xor_si512(near, _mm512_set1_epi32(kNearBits));
        const __m512i below = _mm512_sub_epi32(_mm512_set1_epi32(127), _mm512_srli_epi32(bits, 23));
        const __mmask16 deep = _mm512_cmpge_epi32_mask(below, _mm512_set1_epi32(32));
        result = _mm512_mask_mul_ps(result, deep, result,
                                    _mm512_permutexvar_ps(_mm512_srli_epi32(below, 5), t.high));
        const __mmask16 isZero = _mm512_cmpeq_epi32_mask(bits, _mm512_setzero_si512());
        result = _mm512_mask_mov_ps(result, isZero, t.zero);
        // The values outside the whole tables' range: bits - firstBits wraps around for zero.
        const __mmask16 outsideTables =
            _mm512_cmpge_epu32_mask(
                _mm512_sub_epi32(bits, _mm512_set1_epi32(static_cast<int>(t.firstBits))),
                _mm512_set1_epi32(static_cast<int>(t.spanBits))) &
            live;
        const auto outside = static_cast<__mmask16>(outsideTables & ~isZero);
        if (outside != 0) {
            result = _mm512_mask_mov_ps(
                result, outside, transcendental::shortPower(_mm512_castsi512_ps(x), t.exponent));
        }
    }
    return result;
}

// The lanes' a + b, b negated where `flip` says (the magnitude is what counts): or a alone.
template <bool Sum>
GS_SIMD_INLINE __m512i powerSource(const float* a, std::uint32_t flip, const float* b, int i,
                                   __mmask16 live) {
    __m512i x = _mm512_maskz_loadu_epi32(live, a + i);
    if constexpr (Sum) {
        const __m512i y = _mm512_maskz_loadu_epi32(live, b + i);
        x = _mm512_castps_si512(_mm512_add_ps(
            _mm512_castsi512_ps(x),
            _mm512_castsi512_ps(_mm512_xor_si512(y, _mm512_set1_epi32(static_cast<int>(flip))))));
    }
    return x;
}

// The table's entries in registers, loaded once for a tile into a struct of this target region's
// own (a std::pair of vectors, built outside the region, trips GCC 12 at -O0).
GS_SIMD_INLINE PowerTableRegisters powerTableRegisters(const PowerTable& table) {
    const __m512i reverse = _mm512_set_epi32(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
    const __m512 low = _mm512_load_ps(table.low), lowNext = _mm512_load_ps(table.low + 16);
    // Entry e of the reversed table is low[(127 - e) mod 32] = low[(31 - e) mod 32]. The slope's
    // terms are scaled for a position of 2^-n of segmentPosition's, for n segment bits: c1 by
    // 2^n, c2 by 2^2n, exactly (powers of two on small normal numbers).
    const float scale = static_cast<float>(1 << PowerTable::segmentBits(table.linear));
    const __m512 bySegments = _mm512_set1_ps(scale), bySquare = _mm512_set1_ps(scale * scale);
    return {_mm512_load_ps(table.c0),
            _mm512_load_ps(table.c0 + 16),
            _mm512_mul_ps(_mm512_load_ps(table.c1), bySegments),
            _mm512_mul_ps(_mm512_load_ps(table.c1 + 16), bySegments),
            _mm512_mul_ps(_mm512_load_ps(table.c2), bySquare),
            _mm512_mul_ps(_mm512_load_ps(table.c2 + 16), bySquare),
            _mm512_maskz_permutexvar_ps(0xFFFF, reverse, lowNext),
            _mm512_maskz_permutexvar_ps(0xFFFF, reverse, low),
            _mm512_load_ps(table.high),
            _mm512_set1_ps(table.zero),
            _mm512_set1_ps(table.y),
            table.firstBits,
            table.spanBits};
}

// tablePowerLanes for the 16 lanes from i, of which `live` are read and written.
template <bool Sum, bool Linear>
GS_SIMD_INLINE void tablePowerVector(const float* a, std::uint32_t flip, const float* b,
                                     const PowerTableRegisters& t, float* d, int i,
                                     __mmask16 live) {
    storeLanes(d + i, live,
               tablePowerValue<Linear>(powerSource<Sum>(a, flip, b, i, live), t, live));
}

// The sources of a sum product of a table power: (a + b) * |p + q|^y, each negated where its sign
// says, the power then negated where `factor` says.
struct PowerProductSources {
    const float *a, *b, *p, *q;
    std::uint32_t signA, signB, flip, factor;
};

// x with its sign bits flipped where `sign` has them.
GS_SIMD_INLINE __m512 negated(__m512 x, std::uint32_t sign) {
    return _mm512_castsi512_ps(
        _mm512_xor_si512(_mm512_castps_si512(x), _mm512_set1_epi32(static_cast<int>(sign))));
}

// sumProductOfTablePowerLanes for the 16 lanes from i, of which `live` are read and written.
// Shared: p and q are a and b themselves (a sum times a power of its difference), loaded once.
// Plain: neither a, b nor the power is negated. Difference: q is negated (flip is the sign bit;
// otherwise it is 0), and p + (-q) is p - q, the same rounding in one instruction.
template <bool Linear, bool Shared, bool Plain, bool Difference>
GS_SIMD_INLINE void powerProductVector(const PowerProductSources& s, const PowerTableRegisters& t,
                                       float* d, int i, __mmask16 live) {
    const __m512 a = _mm512_maskz_loadu_ps(live, s.a + i);
    const __m512 b = _mm512_maskz_loadu_ps(live, s.b + i);
    const __m512 p = Shared ? a : _mm512_maskz_loadu_ps(live, s.p + i);
    const __m512 q = Shared ? b : _mm512_maskz_loadu_ps(live, s.q + i);
    // The power's sum as tablePowerVector forms it, then the product's.
    const __m512 power = tablePowerValue<Linear>(
        _mm512_castps_si512(Difference ? _mm512_sub_ps(p, q) : _mm512_add_ps(p, q)), t, live);
    if constexpr (Plain) {
        storeLanes(d + i, live, _mm512_mul_ps(_mm512_add_ps(a, b), power));
    } else {
        const __m512 sum = _mm512_add_ps(negated(a, s.signA), negated(b, s.signB));
        storeLanes(d + i, live, _mm512_mul_ps(sum, negated(power, s.factor)));
    }
}

// arithmetic::tablePower over the lanes: two-register permutes read the 32-entry tables, whose
// index bits sit in place within the value's bits. A vector with a lane outside the tables' range
// (a rare case: tiny, large, infinite or NaN) computes shortPower as well and takes it there.
// With Sum, the power of a + b (each negated where its sign says), the sum rounded as an add
// rounds it; the magnitude is what counts, so -a + b is taken as -(a - b). Linear: the table is
// one of chords. Whole vectors take a loop of their own, whose lane mask is a constant.
template <bool Sum, bool Linear>
void tablePowerLanes(const float* a, std::uint32_t signA, const float* b, std::uint32_t signB,
                     const PowerTable& table, float* d, int count) {
    const PowerTableRegisters t = powerTableRegisters(table);
    const std::uint32_t flip = signA ^ signB;
    int i = 0;
    for (; i + 16 <= count; i += 16) {
        tablePowerVector<Sum, Linear>(a, flip, b, t, d, i, 0xFFFF);
    }
    if (i < count) {
        tablePowerVector<Sum, Linear>(a, flip, b, t, d, i,
                                      static_cast<__mmask16>((1u << (count - i)) - 1));
    }
}

// The sources by value: their pointers stay in registers across the stores to d.
template <bool Linear, bool Shared, bool Plain, bool Difference>
void powerProductLanes(PowerProductSources s, const PowerTable& table, float* d, int count) {
    const PowerTableRegisters t = powerTableRegisters(table);
    int i = 0;
    for (; i + 16 <= count; i += 16) {
        powerProductVector<Linear, Shared, Plain, Difference>(s, t, d, i, 0xFFFF);
    }
    if (i < count) {
        powerProductVector<Linear, Shared, Plain, Difference>(
            s, t, d, i, static_cast<__mmask16>((1u << (count - i)) - 1));
    }
}

template <bool Linear, bool Shared, bool Plain>
void powerProductLanes(const PowerProductSources& s, const PowerTable& table, float* d, int count) {
    s.flip != 0 ? powerProductLanes<Linear, Shared, Plain, true>(s, table, d, count)
                : powerProductLanes<Linear, Shared, Plain, false>(s, table, d, count);
}

template <bool Linear, bool Shared>
void powerProductLanes(const PowerProductSources& s, const PowerTable& table, float* d, int count) {
    (s.signA | s.signB | s.factor) == 0
        ? powerProductLanes<Linear, Shared, true>(s, table, d, count)
        : powerProductLanes<Linear, Shared, false>(s, table, d, count);
}

}  // namespace transcendental

void tablePowerLanes(const float* a, const PowerTable& table, float* d, int count) {
    table.linear ? transcendental::tablePowerLanes<false, true>(a, 0, nullptr, 0, table, d, count)
                 : transcendental::tablePowerLanes<false, false>(a, 0, nullptr, 0, table, d, count);
}

void tablePowerOfSumLanes(const float* a, std::uint32_t signA, const float* b, std::uint32_t signB,
                          const PowerTable& table, float* d, int count) {
    table.linear
        ? transcendental::tablePowerLanes<true, true>(a, signA, b, signB, table, d, count)
        : transcendental::tablePowerLanes<true, false>(a, signA, b, signB, table, d, count);
}

// (a + b) * |p + q|^y, each source negated where its sign says and the power where
// `factorSign` does, in one pass: the very values of tablePowerOfSumLanes and the sum product.
void sumProductOfTablePowerLanes(const float* a, std::uint32_t signA, const float* b,
                                 std::uint32_t signB, const float* p, std::uint32_t signP,
                                 const float* q, std::uint32_t signQ, std::uint32_t factorSign,
                                 const PowerTable& table, float* d, int count) {
    const transcendental::PowerProductSources s = {a,         b, p, q, signA, signB, signP ^ signQ,
                                                   factorSign};
    if (p == a && q == b) {
        table.linear ? transcendental::powerProductLanes<true, true>(s, table, d, count)
                     : transcendental::powerProductLanes<false, true>(s, table, d, count);
    } else {
        table.linear ? transcendental::powerProductLanes<true, false>(s, table, d, count)
                     : transcendental::powerProductLanes<false, false>(s, table, d, count);
    }
}

void logarithm2Lanes(const float* a, std::uint32_t sign, float* d, int count) {
    transcendental::lanes<&transcendental::logarithm2>(a, sign, d, count);
}

void exponential2Lanes(const float* a, std::uint32_t sign, float* d, int count) {
    transcendental::lanes<&transcendental::exponential2>(a, sign, d, count);
}

#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
