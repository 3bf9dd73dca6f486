// arithmetic::tablePower over a tile's lanes with AVX2, alone and in the sum product that the
// effect passes weight their colours by: tile_kernels.cpp includes this inside the AVX2 namespace
// and target region. It includes nothing itself.
//
// The per-lane function's steps in the same order, eight lanes at a time. A 32-entry table is
// read by four in-register permutes and three selects on the index's upper bits, a linear table's
// 16 entries by two and one: gathers cost more than that on many processors. The binade factor
// mostly needs only the first half of its table, and the factor of whole steps of 2^-32 only below
// 2^-31. Lanes outside the tables' range (rare: tiny, large, infinite, NaN) are put right one by
// one afterwards.

namespace table_power {

// 2^-15 and 2^-31: magnitudes from these up have a binade d = 127 - exponent below 16 and 32.
constexpr std::uint32_t kShallowBits = 0x38000000u;
constexpr std::uint32_t kNearBits = 0x30000000u;
// The magnitudes in [2^-15, 2) are those whose top five bits are those of kShallowBits.
constexpr std::uint32_t kTopBits = 0xF8000000u;

// table[index & 15] in each lane.
inline __m256 lookup16(const float* table, __m256i index) {
    const __m256 third = _mm256_castsi256_ps(_mm256_slli_epi32(index, 28));  // bit 3 to the sign
    return _mm256_blendv_ps(_mm256_permutevar8x32_ps(_mm256_loadu_ps(table), index),
                            _mm256_permutevar8x32_ps(_mm256_loadu_ps(table + 8), index), third);
}

// table[index & 31] in each lane.
inline __m256 lookup32(const float* table, __m256i index) {
    const __m256 fourth = _mm256_castsi256_ps(_mm256_slli_epi32(index, 27));  // bit 4 to the sign
    return _mm256_blendv_ps(lookup16(table, index), lookup16(table + 16, index), fourth);
}

// Eight lanes from p: a plain load where Whole, else the `live` ones and zeros.
template <bool Whole>
GS_SIMD_INLINE __m256i loadLanes(const float* p, __m256i live) {
    if constexpr (Whole) {
        return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    } else {
        return _mm256_maskload_epi32(reinterpret_cast<const int*>(p), live);
    }
}

// The constants of a power's lanes, as vectors made once for a call.
struct PowerConstants {
    __m256i magnitude;  // 0x7FFFFFFF
    __m256i mantissa;   // 0x007FFFFF
    __m256i oneBits;    // 1.0f
    __m256i bias;       // 127
    __m256i shallow;    // kShallowBits: from here up, the first half of the binade factors serves
    __m256i top;        // kTopBits
    __m256i last;       // the tables' last magnitude, below 2
    __m256i nearFirst;  // kNearBits or the tables' lower bound, the greater
    __m256i first;      // the tables' lower bound
};

// v, which the compiler can no longer see to be a constant. In the loops below it runs out of the
// sixteen vector registers, and would then build each constant anew on every pass, in three
// instructions; a value it cannot rebuild is kept on the stack and read as an operand.
GS_SIMD_INLINE __m256i opaque(__m256i v) {
    asm("" : "+x"(v));
    return v;
}

// `value` in every lane, opaque.
GS_SIMD_INLINE __m256i opaqueLanes(std::uint32_t value) {
    return opaque(_mm256_set1_epi32(static_cast<int>(value)));
}

GS_SIMD_INLINE PowerConstants powerConstants(const PowerTable& table) {
    return {opaqueLanes(0x7FFFFFFFu),
            opaqueLanes(0x007FFFFFu),
            opaqueLanes(0x3F800000u),
            opaqueLanes(127),
            opaqueLanes(kShallowBits),
            opaqueLanes(kTopBits),
            opaqueLanes(table.firstBits + table.spanBits - 1),
            opaqueLanes(std::max(table.firstBits, kNearBits)),
            opaqueLanes(table.firstBits)};
}

// The result of powerVector's lanes that its fast path does not cover: the binade factor from the
// whole table, the factor of its whole steps of 2^-32 below 2^-31, zero's power, and the lanes
// outside the tables' range to be computed one by one (returned as a lane mask). bits never
// exceeds 0x7FFFFFFF, so signed comparisons order the magnitudes.
GS_SIMD_INLINE __m256 powerOfAnyMagnitude(const PowerTable& table, const PowerConstants& constants,
                                          __m256i bits, __m256i below, __m256 mantissaPower,
                                          __m256i live, unsigned* outside) {
    __m256 result = _mm256_mul_ps(mantissaPower, table_power::lookup32(table.low, below));
    // Below 2^-31, the factor of the binade's whole steps of 2^-32.
    const __m256i isDeeper = _mm256_cmpgt_epi32(constants.nearFirst, bits);
    const __m256 stepFactor =
        _mm256_permutevar8x32_ps(_mm256_loadu_ps(table.high), _mm256_srli_epi32(below, 5));
    result =
        _mm256_blendv_ps(result, _mm256_mul_ps(result, stepFactor), _mm256_castsi256_ps(isDeeper));
    const __m256i isZero = _mm256_cmpeq_epi32(bits, _mm256_setzero_si256());
    result = _mm256_blendv_ps(result, _mm256_set1_ps(table.zero), _mm256_castsi256_ps(isZero));
    const __m256i outsideTables = _mm256_or_si256(_mm256_cmpgt_epi32(constants.first, bits),
                                                  _mm256_cmpgt_epi32(bits, constants.last));
    *outside = static_cast<unsigned>(_mm256_movemask_ps(
        _mm256_castsi256_ps(_mm256_andnot_si256(isZero, _mm256_and_si256(live, outsideTables)))));
    return result;
}

// |x|^y by the table for the `live` lanes of x. Magnitudes in [2^-15, 2) (most: the differences
// of colours) take the fast path; a vector with any other lane takes powerOfAnyMagnitude, and
// `outside` is then the mask of the lanes to compute one by one.
template <bool Linear, bool Whole>
GS_SIMD_INLINE __m256 powerValue(__m256i x, const PowerTable& table,
                                 const PowerConstants& constants, __m256i live, unsigned* outside) {
    // |x| with the top bits of [2^-15, 2) cleared: zero there and nowhere else. The fields the
    // tables read (the segment, the position in it and the exponent's low four bits) lie below
    // them.
    const __m256i shallow =
        _mm256_xor_si256(_mm256_and_si256(x, constants.magnitude), constants.shallow);
    constexpr int segmentBits = PowerTable::segmentBits(Linear);
    // The lookups keep the low four or five bits.
    const __m256i segment = _mm256_srli_epi32(shallow, 23 - segmentBits);
    // ((bits << segmentBits) & mantissa) | 1.0f, as segmentPosition.
    const __m256 t = _mm256_sub_ps(
        _mm256_castsi256_ps(_mm256_or_si256(
            _mm256_and_si256(_mm256_slli_epi32(shallow, segmentBits), constants.mantissa),
            constants.oneBits)),
        _mm256_castsi256_ps(constants.oneBits));
    const __m256 c0 = Linear ? table_power::lookup16(table.c0, segment)
                             : table_power::lookup32(table.c0, segment);
    const __m256 c1 = Linear ? table_power::lookup16(table.c1, segment)
                             : table_power::lookup32(table.c1, segment);
    // With c2 = 0, c1 + t * c2 is c1: the same value without the step.
    const __m256 slope =
        Linear ? c1 : _mm256_add_ps(c1, _mm256_mul_ps(t, table_power::lookup32(table.c2, segment)));
    const __m256 mantissaPower = _mm256_add_ps(c0, _mm256_mul_ps(t, slope));
    *outside = 0;
    if (_mm256_testz_si256(shallow,
                           Whole ? constants.top : _mm256_and_si256(live, constants.top))) {
        // Binade factors low[d] for d < 16, with high[0] = 1 as their second factor: x * 1 is x.
        return _mm256_mul_ps(
            mantissaPower, table_power::lookup16(table.shallowLow, _mm256_srli_epi32(shallow, 23)));
    }
    const __m256i bits = _mm256_xor_si256(shallow, constants.shallow);
    const __m256i below = _mm256_sub_epi32(constants.bias, _mm256_srli_epi32(bits, 23));
    return powerOfAnyMagnitude(table, constants, bits, below, mantissaPower,
                               Whole ? _mm256_set1_epi32(-1) : live, outside);
}

// Eight lanes to d: a plain store where Whole (masked stores cost far more on some processors),
// else the `live` ones.
template <bool Whole>
GS_SIMD_INLINE void storeLanes(float* d, __m256 value, __m256i live) {
    if constexpr (Whole) {
        _mm256_storeu_ps(d, value);
    } else {
        _mm256_maskstore_ps(d, live, value);
    }
}

// The `outside` lanes of `power`, taken one by one from shortPower of the lanes of x.
GS_SIMD_INLINE __m256 withOutsideLanes(__m256 power, __m256i x, unsigned outside, float y) {
    alignas(32) float values[8], powers[8];
    _mm256_store_si256(reinterpret_cast<__m256i*>(values), x);
    _mm256_store_ps(powers, power);
    for (; outside != 0; outside &= outside - 1) {
        const int k = std::countr_zero(outside);
        powers[k] = arithmetic::shortPower(values[k], y);
    }
    return _mm256_load_ps(powers);
}

// powerLanes for the eight lanes from i; where Whole is false, the `live` lanes of them, and the
// others neither read nor written.
template <bool Sum, bool Linear, bool Whole>
GS_SIMD_INLINE void powerVector(const float* a, __m256i flip, const float* b,
                                const PowerTable& table, const PowerConstants& constants, float* d,
                                int i, __m256i live) {
    __m256i x = loadLanes<Whole>(a + i, live);
    if constexpr (Sum) {
        x = _mm256_castps_si256(_mm256_add_ps(
            _mm256_castsi256_ps(x),
            _mm256_castsi256_ps(_mm256_xor_si256(loadLanes<Whole>(b + i, live), flip))));
    }
    unsigned outside;
    __m256 power = powerValue<Linear, Whole>(x, table, constants, live, &outside);
    if (outside != 0) {
        power = withOutsideLanes(power, x, outside, table.y);
    }
    storeLanes<Whole>(d + i, power, live);
}

// With Sum, the power of a + b (each negated where its sign says), the sum rounded as an add
// rounds it; the magnitude is what counts, so -a + b is taken as -(a - b). Linear: the table is
// one of chords, on 16 segments, whose c2 terms are left out. Whole vectors take a loop of their
// own, with plain loads.
template <bool Sum, bool Linear>
void powerLanes(const float* a, std::uint32_t signA, const float* b, std::uint32_t signB,
                const PowerTable& table, float* d, int count) {
    const __m256i flip = _mm256_set1_epi32(static_cast<int>(signA ^ signB));
    const PowerConstants constants = powerConstants(table);
    int i = 0;
    for (; i + 8 <= count; i += 8) {
        powerVector<Sum, Linear, true>(a, flip, b, table, constants, d, i, _mm256_setzero_si256());
    }
    if (i < count) {
        const __m256i live = _mm256_cmpgt_epi32(_mm256_set1_epi32(count - i),
                                                _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7));
        powerVector<Sum, Linear, false>(a, flip, b, table, constants, d, i, live);
    }
}

// The sources of a sum product of a table power, (a + b) * |p + q|^y, and the sign flips that
// negate a, b and the power (q's sign against p's is the product's Difference).
struct PowerProductSources {
    const float* a;
    const float* b;
    const float* p;
    const float* q;
    __m256i signA, signB, factor;
};

// sumProductOfTablePowerLanes for the eight lanes from i, as powerVector's lanes. Shared: p and q
// are a and b themselves (a sum times a power of its difference), loaded once. Plain: neither a,
// b nor the power is negated. Difference: q's sign differs from p's, and p + (-q) is p - q, the
// same rounding in one instruction.
template <bool Linear, bool Shared, bool Plain, bool Difference, bool Whole>
GS_SIMD_INLINE void powerProductVector(const PowerProductSources& s, const PowerTable& table,
                                       const PowerConstants& constants, float* d, int i,
                                       __m256i live) {
    const __m256 a = _mm256_castsi256_ps(loadLanes<Whole>(s.a + i, live));
    const __m256 b = _mm256_castsi256_ps(loadLanes<Whole>(s.b + i, live));
    const __m256 p = Shared ? a : _mm256_castsi256_ps(loadLanes<Whole>(s.p + i, live));
    const __m256 q = Shared ? b : _mm256_castsi256_ps(loadLanes<Whole>(s.q + i, live));
    // The power's sum as powerVector forms it, then the product's.
    const __m256i x = _mm256_castps_si256(Difference ? _mm256_sub_ps(p, q) : _mm256_add_ps(p, q));
    unsigned outside;
    __m256 power = powerValue<Linear, Whole>(x, table, constants, live, &outside);
    if (outside != 0) {
        power = withOutsideLanes(power, x, outside, table.y);
    }
    if constexpr (Plain) {
        storeLanes<Whole>(d + i, _mm256_mul_ps(_mm256_add_ps(a, b), power), live);
    } else {
        const __m256 sum = _mm256_add_ps(_mm256_xor_ps(a, _mm256_castsi256_ps(s.signA)),
                                         _mm256_xor_ps(b, _mm256_castsi256_ps(s.signB)));
        const __m256 factor = _mm256_xor_ps(power, _mm256_castsi256_ps(s.factor));
        storeLanes<Whole>(d + i, _mm256_mul_ps(sum, factor), live);
    }
}

// The sources by value: their pointers stay in registers across the stores to d.
template <bool Linear, bool Shared, bool Plain, bool Difference>
void powerProductLanes(PowerProductSources s, const PowerTable& table, float* d, int count) {
    const PowerConstants constants = powerConstants(table);
    int i = 0;
    for (; i + 8 <= count; i += 8) {
        powerProductVector<Linear, Shared, Plain, Difference, true>(s, table, constants, d, i,
                                                                    _mm256_setzero_si256());
    }
    if (i < count) {
        const __m256i live = _mm256_cmpgt_epi32(_mm256_set1_epi32(count - i),
                                                _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7));
        powerProductVector<Linear, Shared, Plain, Difference, false>(s, table, constants, d, i,
                                                                     live);
    }
}

template <bool Linear, bool Shared>
void powerProductLanes(const PowerProductSources& s, bool plain, bool difference,
                       const PowerTable& table, float* d, int count) {
    if (plain) {
        difference ? powerProductLanes<Linear, Shared, true, true>(s, table, d, count)
                   : powerProductLanes<Linear, Shared, true, false>(s, table, d, count);
    } else {
        difference ? powerProductLanes<Linear, Shared, false, true>(s, table, d, count)
                   : powerProductLanes<Linear, Shared, false, false>(s, table, d, count);
    }
}

}  // namespace table_power

void tablePowerLanes(const float* a, const PowerTable& table, float* d, int count) {
    table.linear ? table_power::powerLanes<false, true>(a, 0, nullptr, 0, table, d, count)
                 : table_power::powerLanes<false, false>(a, 0, nullptr, 0, table, d, count);
}

void tablePowerOfSumLanes(const float* a, std::uint32_t signA, const float* b, std::uint32_t signB,
                          const PowerTable& table, float* d, int count) {
    table.linear ? table_power::powerLanes<true, true>(a, signA, b, signB, table, d, count)
                 : table_power::powerLanes<true, false>(a, signA, b, signB, table, d, count);
}

// (a + b) * |p + q|^y, each source negated where its sign says and the power where `factorSign`
// does, in one pass: the very values of tablePowerOfSumLanes and the sum product.
void sumProductOfTablePowerLanes(const float* a, std::uint32_t signA, const float* b,
                                 std::uint32_t signB, const float* p, std::uint32_t signP,
                                 const float* q, std::uint32_t signQ, std::uint32_t factorSign,
                                 const PowerTable& table, float* d, int count) {
    const table_power::PowerProductSources s{a,
                                             b,
                                             p,
                                             q,
                                             _mm256_set1_epi32(static_cast<int>(signA)),
                                             _mm256_set1_epi32(static_cast<int>(signB)),
                                             _mm256_set1_epi32(static_cast<int>(factorSign))};
    // The magnitude is what counts: -p + q is taken as -(p - q), as tablePowerOfSumLanes does.
    const bool shared = p == a && q == b;
    const bool plain = (signA | signB | factorSign) == 0;
    const bool difference = (signP ^ signQ) != 0;
    if (table.linear) {
        shared ? table_power::powerProductLanes<true, true>(s, plain, difference, table, d, count)
               : table_power::powerProductLanes<true, false>(s, plain, difference, table, d, count);
    } else {
        shared
            ? table_power::powerProductLanes<false, true>(s, plain, difference, table, d, count)
            : table_power::powerProductLanes<false, false>(s, plain, difference, table, d, count);
    }
}
