// The pipeline's tile kernels, built once per instruction set from pipeline_kernels.inl.
#include "render/software/pipeline_kernels.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include <immintrin.h>

#include "render/software/pixel_pipeline.h"
#include "render/software/simd/instruction_set.h"
#include "render/software/simd/multiply_add.h"
#include "render/software/simd/target_region.h"
#include "render/software/texture_sampling.h"

namespace gs::render::software {

// gatherTexels(pixels, at, count, out): out[i] = pixels[at[i]] for the lanes [0, count), with the
// set's gather instruction where it has one; lanes past count are neither read nor written.
//
// gatherRowPairs(row, width, x0, x1, count, t0, t1): t0[i] = row[x0[i]] and t1[i] = row[x1[i]],
// every index in [0, width), for the sets without row kernels.
//
// Row kernels (GS_ROW_KERNELS 1; pipeline_kernels.inl's sampleRowWith) work on one vector of
// kRowLanes lanes at a time: RowFloat and RowInt, and row* operations that do what the scalar
// kernels do to each lane (rowMin(a, b) is a < b ? a : b, NaN giving b; comparisons give all-ones
// lanes). Of note: rowLoad and rowLoadTexels read `lanes` values and zero the rest, rowStore
// writes `lanes` values, rowAllBelow and rowWithin (low <= x <= high) look at the first `lanes`
// lanes only, rowFloorParts splits x into floor(x) as an integer and x - floor(x), rowFirst gives
// lane 0, rowLaneValue gives any lane of a RowFloat, rowPick permutes a vector by lane indices,
// rowMulAdd(a, b, c) is a * b + c rounded once (multiplyAdd<kFusesMultiplyAdd>), and
// rowFetchPairs(row, width, x0, x1, &t0, &t1) fetches row[x0] and row[x1], every index in [0,
// width), rowXorFloat flips the bits of a float vector that an integer one sets, rowSqrt is the
// correctly rounded square root. The SSE2 set has none: it is also the 32-bit build's baseline,
// without vector registers to name.

// The additive blend of the textured fast path for a source alpha the same in every lane
// (shadeTexturedLanes): what each stored pixel takes besides its filtered texels.
struct FilteredAddition {
    int weight = 0;         // the source factor in 15 bits, up to 2^15 for One
    Colour keepColour = 0;  // 0xFF where the target's colour bytes are added, else 0
    bool storesAlpha = false;
    Colour alphaByte = 0;  // the weighted source alpha, rounded, where the alpha is stored
    Colour keepAlpha = 0;  // 0xFF where the target's alpha byte is added to it, else 0
    Colour mask = 0;       // the write mask: other bits keep the target's
    Colour forced = 0;     // bits set in every stored pixel (the alpha of targets without one)
};

// A pixel with `colour`'s low byte in its three colour channels and `alpha`'s in its alpha.
constexpr Colour pixelOfBytes(Colour colour, Colour alpha) {
    return (colour & 0xFFu) * 0x010101u | (alpha & 0xFFu) << 24;
}

// Byte shuffles that spread each pixel's weight (the low 16 bits of its 32-bit lane) over the
// 16-bit lanes of its four channels, in the order in-block unpacks leave the pixels: the low half
// takes pixels 0 and 1 of each 128-bit block, the high half pixels 2 and 3. For vectors of Bytes.
template <std::size_t Bytes>
constexpr std::array<std::array<std::uint8_t, Bytes>, 2> kWeightSpread = [] {
    std::array<std::array<std::uint8_t, Bytes>, 2> spread{};
    for (std::size_t high = 0; high < 2; ++high) {
        for (std::size_t byte = 0; byte < Bytes; ++byte) {
            const std::size_t pixel = 2 * high + (byte % 16) / 8;
            spread[high][byte] = static_cast<std::uint8_t>(4 * pixel + byte % 2);
        }
    }
    return spread;
}();

// Texel positions of the affine path in fixed point: 18 fraction bits, so that any position in a
// texture of up to 4096 texels fits 31 bits.
constexpr int kPositionBits = 18;

// A run's texel positions along one axis, in fixed point: its first pixel's, then one step per
// pixel.
struct RunPositions {
    std::int32_t first, step;
};

// `times` steps, modulo 2^32 as vector additions of the step add up: where the position it moves
// to lies inside the texture, the exact distance.
inline int steppedBy(std::int32_t step, unsigned times) {
    return static_cast<int>(static_cast<std::uint32_t>(step) * times);
}

// A run of a tile whose every footprint lies inside the texture: its positions along both axes,
// and its lanes. (No initialisers here or in RunPositions: a tile keeps an array for as many runs
// as it may hold, which only its runs fill.)
struct AffineRun {
    RunPositions s, t;
    int firstLane, count;
};

namespace {

// first[i] = pixels[at[i]] and second[i] = pixels[at[i] + 1] for the lanes [0, count), from one
// 64-bit load per lane. Built for the baseline and shared by every set: plain loads beat the
// 64-bit gathers of AVX2 and AVX-512 on processors whose gathers are microcoded (AMD's). Kept
// out of line so that no set turns the loop back into gathers.
__attribute__((noinline)) void gatherTexelPairs(const Colour* pixels, const int* at, int count,
                                                Colour* first, Colour* second) {
    for (int i = 0; i < count; ++i) {
        std::uint64_t pair;
        std::memcpy(&pair, pixels + at[i], sizeof pair);
        first[i] = static_cast<Colour>(pair);
        second[i] = static_cast<Colour>(pair >> 32);
    }
}

// The bilinear footprints of lanes that lie inside the texture: top[i] holds pixels[at[i]] and
// pixels[at[i] + 1] in its low and high halves, bottom[i] the two texels a row below. Built for the
// baseline and kept out of line for the same reasons as gatherTexelPairs.
__attribute__((noinline)) void gatherFootprintPairs(const Colour* pixels, std::size_t pitch,
                                                    const int* at, int count, std::uint64_t* top,
                                                    std::uint64_t* bottom) {
    for (int i = 0; i < count; ++i) {
        const Colour* pair = pixels + at[i];
        std::memcpy(top + i, pair, sizeof *top);
        std::memcpy(bottom + i, pair + pitch, sizeof *bottom);
    }
}

}  // namespace

namespace sse2 {
constexpr bool kHasRounding = false;
constexpr bool kFusesMultiplyAdd = simd::fusesMultiplyAdd(simd::InstructionSet::Sse2);
void gatherTexels(const Colour* pixels, const int* at, int count, Colour* out) {
    for (int i = 0; i < count; ++i) {
        out[i] = pixels[at[i]];
    }
}
void gatherRowPairs(const Colour* row, int, const int* x0, const int* x1, int count, Colour* t0,
                    Colour* t1) {
    gatherTexels(row, x0, count, t0);
    gatherTexels(row, x1, count, t1);
}
// The four texels of each footprint of lanes inside the texture, as offsets of their first texels.
void gatherInteriorFootprints(const PixelBuffer& texture, const int* at, int count, Colour* t00,
                              Colour* t10, Colour* t01, Colour* t11);
// The FilteredAddition of the linearly filtered texels to destination[i], stored to target[i]
// (the same pixels, or the clear they wait for), for the lanes from 0 that the set takes in whole
// vectors; returns their number, the rest left to the caller's loop.
int addFilteredTexels(const FilteredAddition& addition, const Colour* t00, const Colour* t10,
                      const Colour* t01, const Colour* t11, const int* wx, const int* wy, int count,
                      const Colour* destination, Colour* target);
// target[i] = source[first + i] + target[i] per channel, saturated and rounded (addSaturatedLoop).
void addSaturated(const float (*source)[kTileLanes], int first, Colour* target, int count,
                  bool alpha);
// The baseline blends affine runs through its footprint arrays: the sets with kAddsAffineRuns
// blend them in one pass (addAffineRun).
constexpr bool kAddsAffineRuns = false;
void addAffineRun(const FilteredAddition& addition, const PixelBuffer& texture,
                  const AffineRun& run, const Colour* destination, Colour* target);
#define GS_ROW_KERNELS 0
#include "render/software/pipeline_kernels.inl"
#undef GS_ROW_KERNELS
void addSaturated(const float (*source)[kTileLanes], int first, Colour* target, int count,
                  bool alpha) {
    alpha ? addSaturatedLoop<true>(source, first, target, count)
          : addSaturatedLoop<false>(source, first, target, count);
}
void gatherInteriorFootprints(const PixelBuffer& texture, const int* at, int count, Colour* t00,
                              Colour* t10, Colour* t01, Colour* t11) {
    gatherInteriorFootprintsByPairs(texture, at, count, t00, t10, t01, t11);
}
int addFilteredTexels(const FilteredAddition&, const Colour*, const Colour*, const Colour*,
                      const Colour*, const int*, const int*, int, const Colour*, Colour*) {
    return 0;
}
}  // namespace sse2

GS_SIMD_BEGIN_AVX2
namespace avx2 {
constexpr bool kHasRounding = true;  // SSE4.1's roundps or AVX-512's rndscaleps
constexpr bool kFusesMultiplyAdd = simd::fusesMultiplyAdd(simd::InstructionSet::Avx2);
// Strip reads take their distances as arrays: computing them in the read measured 0% to 6% slower
// per effect pass than computing them first, likely because the distances' constants and the
// vectors computed ahead leave too few of the 16 registers for the row window's values.
constexpr bool kDistancesInRowReads = false;
void gatherTexels(const Colour* pixels, const int* at, int count, Colour* out) {
    int i = 0;
    for (; i + 8 <= count; i += 8) {
        const __m256i index = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at + i));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i),
                            _mm256_i32gather_epi32(reinterpret_cast<const int*>(pixels), index, 4));
    }
    for (; i < count; ++i) {
        out[i] = pixels[at[i]];
    }
}
constexpr int kRowLanes = 8;
using RowFloat = __m256;
using RowInt = __m256i;
inline RowInt rowSetInt(int x) {
    return _mm256_set1_epi32(x);
}
inline RowFloat rowSet(float x) {
    return _mm256_set1_ps(x);
}
// All-ones in the first `lanes` lanes.
inline RowInt rowLanes(int lanes) {
    return _mm256_cmpgt_epi32(_mm256_set1_epi32(lanes), _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7));
}
inline RowFloat rowLoad(const float* p, int lanes) {
    return lanes == kRowLanes ? _mm256_loadu_ps(p) : _mm256_maskload_ps(p, rowLanes(lanes));
}
inline void rowStore(float* p, RowFloat x, int lanes) {
    if (lanes == kRowLanes) {
        _mm256_storeu_ps(p, x);
    } else {
        _mm256_maskstore_ps(p, rowLanes(lanes), x);
    }
}
inline RowFloat rowMin(RowFloat a, RowFloat b) {
    return _mm256_min_ps(a, b);
}
inline RowFloat rowMax(RowFloat a, RowFloat b) {
    return _mm256_max_ps(a, b);
}
inline RowFloat rowFloor(RowFloat x) {
    return _mm256_floor_ps(x);
}
inline RowInt rowTruncate(RowFloat x) {
    return _mm256_cvttps_epi32(x);
}
inline void rowFloorParts(RowFloat x, RowInt* whole, RowFloat* fraction) {
    const RowFloat below = _mm256_floor_ps(x);
    *whole = _mm256_cvttps_epi32(below);
    *fraction = _mm256_sub_ps(x, below);
}
inline RowFloat rowToFloat(RowInt x) {
    return _mm256_cvtepi32_ps(x);
}
inline RowFloat rowAbs(RowFloat x) {
    return _mm256_andnot_ps(_mm256_set1_ps(-0.0f), x);
}
inline bool rowInsideUnit(RowFloat x) {
    const RowFloat inside = _mm256_and_ps(_mm256_cmp_ps(x, _mm256_setzero_ps(), _CMP_GE_OQ),
                                          _mm256_cmp_ps(x, _mm256_set1_ps(1.0f), _CMP_LT_OQ));
    return _mm256_movemask_ps(inside) == 0xFF;
}
inline RowInt rowLess(RowFloat a, RowFloat b) {
    return _mm256_castps_si256(_mm256_cmp_ps(a, b, _CMP_LT_OQ));
}
inline RowInt rowSelect(RowInt mask, RowInt a, RowInt b) {
    return _mm256_blendv_epi8(b, a, mask);
}
inline RowInt rowAddInt(RowInt a, RowInt b) {
    return _mm256_add_epi32(a, b);
}
inline RowInt rowSubInt(RowInt a, RowInt b) {
    return _mm256_sub_epi32(a, b);
}
inline RowInt rowMinInt(RowInt a, RowInt b) {
    return _mm256_min_epi32(a, b);
}
inline RowInt rowMaxInt(RowInt a, RowInt b) {
    return _mm256_max_epi32(a, b);
}
inline RowInt rowGreaterInt(RowInt a, RowInt b) {
    return _mm256_cmpgt_epi32(a, b);
}
inline RowInt rowAnd(RowInt a, RowInt b) {
    return _mm256_and_si256(a, b);
}
inline RowInt rowOr(RowInt a, RowInt b) {
    return _mm256_or_si256(a, b);
}
inline RowInt rowXor(RowInt a, RowInt b) {
    return _mm256_xor_si256(a, b);
}
inline RowInt rowSignMask(RowInt x) {
    return _mm256_srai_epi32(x, 31);
}
template <int shift>
inline RowInt rowShiftRight(RowInt x) {
    return _mm256_srli_epi32(x, shift);
}
inline RowInt rowLoadTexels(const Colour* p, int count) {
    return _mm256_maskload_epi32(reinterpret_cast<const int*>(p), rowLanes(count));
}
// Unsigned order as signed order with the sign bits flipped: true for no lane where limit is 0.
inline bool rowAllBelow(RowInt x, unsigned limit, int lanes) {
    const RowInt flip = _mm256_set1_epi32(INT32_MIN);
    const RowInt below = _mm256_cmpgt_epi32(
        _mm256_set1_epi32(static_cast<int>(limit ^ 0x80000000u)), _mm256_xor_si256(x, flip));
    return _mm256_testc_si256(below, rowLanes(lanes)) != 0;
}
// rowAllBelow for the columns of a window, whose origin and limit are made once per window. The
// unsigned comparison is a signed one with both sides' sign bits flipped: the origin carries the
// flip into index - origin (adding 2^31 and flipping the top bit are the same), which leaves the
// low bits that rowPick reads as they are.
inline RowInt rowColumnOrigin(int start) {
    return _mm256_set1_epi32(static_cast<int>(static_cast<unsigned>(start) ^ 0x80000000u));
}
inline RowInt rowColumnLimit(unsigned limit) {
    return _mm256_set1_epi32(static_cast<int>(limit ^ 0x80000000u));
}
inline bool rowColumnsBelow(RowInt column, RowInt limit, int lanes) {
    return _mm256_testc_si256(_mm256_cmpgt_epi32(limit, column), rowLanes(lanes)) != 0;
}
inline bool rowWithin(RowFloat x, float low, float high, int lanes) {
    const RowFloat within = _mm256_and_ps(_mm256_cmp_ps(x, _mm256_set1_ps(low), _CMP_GE_OQ),
                                          _mm256_cmp_ps(x, _mm256_set1_ps(high), _CMP_LE_OQ));
    return _mm256_testc_si256(_mm256_castps_si256(within), rowLanes(lanes)) != 0;
}
inline int rowFirst(RowInt x) {
    return _mm_cvtsi128_si32(_mm256_castsi256_si128(x));
}
inline float rowLaneValue(RowFloat x, int lane) {
    return _mm_cvtss_f32(
        _mm256_castps256_ps128(_mm256_permutevar8x32_ps(x, _mm256_set1_epi32(lane))));
}
inline RowFloat rowMulAdd(RowFloat a, RowFloat b, RowFloat c) {
    return _mm256_fmadd_ps(a, b, c);
}
inline RowFloat rowPick(RowFloat table, RowInt index) {
    return _mm256_permutevar8x32_ps(table, index);
}
inline RowFloat rowAndFloat(RowFloat x, RowInt mask) {
    return _mm256_and_ps(x, _mm256_castsi256_ps(mask));
}
inline RowFloat rowXorFloat(RowFloat x, RowInt bits) {
    return _mm256_xor_ps(x, _mm256_castsi256_ps(bits));
}
inline RowFloat rowSqrt(RowFloat x) {
    return _mm256_sqrt_ps(x);
}
// Where the 8 lanes read within 8 texels of each other (a strip read at distances that change by
// less than a texel from pixel to pixel), one load of those texels permuted into the lanes serves
// both indices; other vectors gather.
inline void rowFetchPairs(const Colour* row, int width, RowInt x0, RowInt x1, RowInt* t0,
                          RowInt* t1) {
    const int* texels = reinterpret_cast<const int*>(row);
    if (width <= kRowLanes) {
        const RowInt window = _mm256_maskload_epi32(texels, rowLanes(width));
        *t0 = _mm256_permutevar8x32_epi32(window, x0);
        *t1 = _mm256_permutevar8x32_epi32(window, x1);
        return;
    }
    RowInt lowest = _mm256_min_epi32(x0, x1);
    lowest = _mm256_min_epi32(lowest, _mm256_permute2x128_si256(lowest, lowest, 1));
    lowest = _mm256_min_epi32(lowest, _mm256_shuffle_epi32(lowest, _MM_SHUFFLE(1, 0, 3, 2)));
    lowest = _mm256_min_epi32(lowest, _mm256_shuffle_epi32(lowest, _MM_SHUFFLE(2, 3, 0, 1)));
    const RowInt origin = _mm256_min_epi32(lowest, _mm256_set1_epi32(width - kRowLanes));
    const RowInt first = _mm256_sub_epi32(x0, origin), second = _mm256_sub_epi32(x1, origin);
    const RowInt reach = _mm256_max_epi32(first, second);
    if (_mm256_movemask_epi8(_mm256_cmpgt_epi32(reach, _mm256_set1_epi32(kRowLanes - 1))) == 0) {
        const int start = _mm_cvtsi128_si32(_mm256_castsi256_si128(origin));
        const RowInt window = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(texels + start));
        *t0 = _mm256_permutevar8x32_epi32(window, first);
        *t1 = _mm256_permutevar8x32_epi32(window, second);
    } else {
        *t0 = _mm256_i32gather_epi32(texels, x0, 4);
        *t1 = _mm256_i32gather_epi32(texels, x1, 4);
    }
}
// The four texels of each footprint of lanes inside the texture, as offsets of their first texels.
void gatherInteriorFootprints(const PixelBuffer& texture, const int* at, int count, Colour* t00,
                              Colour* t10, Colour* t01, Colour* t11);
// The FilteredAddition of the linearly filtered texels to destination[i], stored to target[i]
// (the same pixels, or the clear they wait for), for the lanes from 0 that the set takes in whole
// vectors; returns their number, the rest left to the caller's loop.
int addFilteredTexels(const FilteredAddition& addition, const Colour* t00, const Colour* t10,
                      const Colour* t01, const Colour* t11, const int* wx, const int* wy, int count,
                      const Colour* destination, Colour* target);
// target[i] = source[first + i] + target[i] per channel, saturated and rounded (addSaturatedLoop).
void addSaturated(const float (*source)[kTileLanes], int first, Colour* target, int count,
                  bool alpha);
// The FilteredAddition of an affine run's linearly filtered texels to destination[i], stored to
// target[i], both from the run's first lane: texels fetched, filtered and blended in registers, in
// one pass (the sets with kAddsAffineRuns; shadeTexturedLanes calls it for no other).
constexpr bool kAddsAffineRuns = true;
void addAffineRun(const FilteredAddition& addition, const PixelBuffer& texture,
                  const AffineRun& run, const Colour* destination, Colour* target);
#define GS_ROW_KERNELS 1
#include "render/software/pipeline_kernels.inl"
#undef GS_ROW_KERNELS
// One channel of addSaturated's sum for eight lanes, shifted into place.
template <bool Whole, int shift>
GS_SIMD_INLINE __m256i addSaturatedChannel(const float* s, __m256i d, __m256i live) {
    // Byte shift / 8 of each pixel to the low byte of its lane, the others zero (index bit 7 set).
    // The shuffle indexes bytes within each 16-byte block: lane m of a block starts at byte 4 m.
    const __m256i index =
        _mm256_add_epi32(_mm256_setr_epi32(0, 4, 8, 12, 0, 4, 8, 12),
                         _mm256_set1_epi32(static_cast<int>(0x80808000u | shift / 8)));
    const __m256 dc = _mm256_mul_ps(_mm256_cvtepi32_ps(_mm256_shuffle_epi8(d, index)),
                                    _mm256_set1_ps(1.0f / 255.0f));
    const __m256 x = Whole ? _mm256_loadu_ps(s) : _mm256_maskload_ps(s, live);
    // min(x, 1) before the sum changes nothing: past 1, the sum is past 1 either way.
    const __m256 sum = _mm256_add_ps(_mm256_max_ps(x, _mm256_setzero_ps()), dc);
    const __m256 scaled = _mm256_fmadd_ps(_mm256_min_ps(sum, _mm256_set1_ps(1.0f)),
                                          _mm256_set1_ps(255.0f), _mm256_set1_ps(0.5f));
    return _mm256_slli_epi32(_mm256_cvttps_epi32(scaled), shift);
}
// addSaturated for eight lanes from i; where Whole is false, the `live` ones of them.
template <bool Whole, bool Alpha>
GS_SIMD_INLINE void addSaturatedVector(const float (*source)[kTileLanes], int at, Colour* target,
                                       __m256i live) {
    const __m256i d = Whole ? _mm256_loadu_si256(reinterpret_cast<const __m256i*>(target))
                            : _mm256_maskload_epi32(reinterpret_cast<const int*>(target), live);
    __m256i value = _mm256_or_si256(
        _mm256_or_si256(_mm256_set1_epi32(Alpha ? 0 : static_cast<int>(kOpaqueAlpha)),
                        addSaturatedChannel<Whole, 16>(source[0] + at, d, live)),
        _mm256_or_si256(addSaturatedChannel<Whole, 8>(source[1] + at, d, live),
                        addSaturatedChannel<Whole, 0>(source[2] + at, d, live)));
    if constexpr (Alpha) {
        value = _mm256_or_si256(value, addSaturatedChannel<Whole, 24>(source[3] + at, d, live));
    }
    if constexpr (Whole) {
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(target), value);
    } else {
        _mm256_maskstore_epi32(reinterpret_cast<int*>(target), live, value);
    }
}
// addSaturatedLoop's values, with the clamps as max and min: max(x, 0) gives 0 for NaN, as
// saturate does, and the sum needs only the upper clamp. Whole vectors take plain loads and
// stores (masked stores cost more on some processors), the last part of a tile the masked ones.
template <bool Alpha>
void addSaturatedLanes(const float (*source)[kTileLanes], int first, Colour* target, int count) {
    int i = 0;
    for (; i + 8 <= count; i += 8) {
        addSaturatedVector<true, Alpha>(source, first + i, target + i, _mm256_setzero_si256());
    }
    if (i < count) {
        const __m256i live = _mm256_cmpgt_epi32(_mm256_set1_epi32(count - i),
                                                _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7));
        addSaturatedVector<false, Alpha>(source, first + i, target + i, live);
    }
}
void addSaturated(const float (*source)[kTileLanes], int first, Colour* target, int count,
                  bool alpha) {
    alpha ? addSaturatedLanes<true>(source, first, target, count)
          : addSaturatedLanes<false>(source, first, target, count);
}
// The least of the eight lanes.
GS_SIMD_INLINE int leastLane(__m256i v) {
    __m128i m = _mm_min_epi32(_mm256_castsi256_si128(v), _mm256_extracti128_si256(v, 1));
    m = _mm_min_epi32(m, _mm_shuffle_epi32(m, _MM_SHUFFLE(1, 0, 3, 2)));
    m = _mm_min_epi32(m, _mm_shuffle_epi32(m, _MM_SHUFFLE(2, 3, 0, 1)));
    return _mm_cvtsi128_si32(m);
}
// Where the 8 lanes of a group fall into two sets of neighbouring footprints, each within 6 texels
// of its first (a texture drawn near or above its own size, rows changing along the run), both
// rows of each set are loaded as one vector and permuted into the lanes; other groups go pair by
// pair.
void gatherInteriorFootprints(const PixelBuffer& texture, const int* at, int count, Colour* t00,
                              Colour* t10, Colour* t01, Colour* t11) {
    const int* texels = reinterpret_cast<const int*>(texture.pixels);
    const int pitch = static_cast<int>(texture.pitch);
    // Whole windows of 8 texels must not read past the texture's last texel.
    const std::size_t size = texture.pitch * (texture.height - 1) + texture.width;
    const __m256i reach = _mm256_set1_epi32(6);
    const __m256i one = _mm256_set1_epi32(1);
    int i = 0;
    for (; i + 8 <= count; i += 8) {
        const __m256i offset = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at + i));
        // The first footprint of each set: the least offset, and the least of those further on.
        const int first = leastLane(offset);
        const __m256i further =
            _mm256_cmpgt_epi32(offset, _mm256_add_epi32(_mm256_set1_epi32(first), reach));
        const bool twoSets = !_mm256_testz_si256(further, further);
        const int second =
            twoSets ? leastLane(_mm256_blendv_epi8(_mm256_set1_epi32(INT32_MAX), offset, further))
                    : first;
        const __m256i column = _mm256_sub_epi32(
            offset,
            _mm256_blendv_epi8(_mm256_set1_epi32(first), _mm256_set1_epi32(second), further));
        const __m256i beyond = _mm256_cmpgt_epi32(column, reach);
        if (!_mm256_testz_si256(beyond, beyond) ||
            static_cast<std::size_t>(second) + pitch + 8 > size) {
            gatherInteriorFootprintsByPairs(texture, at + i, 8, t00 + i, t10 + i, t01 + i, t11 + i);
            continue;
        }
        const __m256i next = _mm256_add_epi32(column, one);
        // Each window's texels at the lanes' columns, and at the columns after them.
        const auto pick = [&](int start, __m256i* left, __m256i* right) {
            const __m256i window =
                _mm256_loadu_si256(reinterpret_cast<const __m256i*>(texels + start));
            *left = _mm256_permutevar8x32_epi32(window, column);
            *right = _mm256_permutevar8x32_epi32(window, next);
        };
        __m256i topLeft, topRight, bottomLeft, bottomRight;
        pick(first, &topLeft, &topRight);
        pick(first + pitch, &bottomLeft, &bottomRight);
        if (twoSets) {
            __m256i left, right;
            pick(second, &left, &right);
            topLeft = _mm256_blendv_epi8(topLeft, left, further);
            topRight = _mm256_blendv_epi8(topRight, right, further);
            pick(second + pitch, &left, &right);
            bottomLeft = _mm256_blendv_epi8(bottomLeft, left, further);
            bottomRight = _mm256_blendv_epi8(bottomRight, right, further);
        }
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(t00 + i), topLeft);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(t10 + i), topRight);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(t01 + i), bottomLeft);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(t11 + i), bottomRight);
    }
    if (i < count) {
        gatherInteriorFootprintsByPairs(texture, at + i, count - i, t00 + i, t10 + i, t01 + i,
                                        t11 + i);
    }
}
// The filter works on 16-bit lanes in the order the in-block unpacks leave a vector's pixels:
// the low half of eight pixels holds pixels 4 k and 4 k + 1 of each 128-bit block k, the high half
// pixels 4 k + 2 and 4 k + 3, four channels each (blue to alpha). The pack that narrows the
// results to bytes puts the pixels back in order, and no step crosses a block.
//
// One half of eight texels, each channel widened in 1/128 steps.
template <bool High>
GS_SIMD_INLINE __m256i widenedTexels(__m256i texels) {
    const __m256i zero = _mm256_setzero_si256();
    return _mm256_slli_epi16(
        High ? _mm256_unpackhi_epi8(texels, zero) : _mm256_unpacklo_epi8(texels, zero),
        kFilteredBits);
}
// a + (b - a) * w per 16-bit lane, the product rounded: productRounded's values.
GS_SIMD_INLINE __m256i lerpRounded(__m256i a, __m256i b, __m256i w) {
    return _mm256_add_epi16(a, _mm256_mulhrs_epi16(_mm256_sub_epi16(b, a), w));
}
// Registers addFilteredTexels keeps for its vectors.
struct FilteredAdditionRegisters {
    __m256i lowWeights, highWeights;                // kWeightSpread
    __m256i weight, toByte;                         // 16-bit lanes
    __m256i keep, alpha, alphaBytes, mask, forced;  // each pixel's bytes
};
// One half of eight pixels filtered and weighted, in bytes' values: their texels t00 .. t11,
// their weights in the 32-bit lanes of wx and wy.
template <bool Scaled, bool High>
GS_SIMD_INLINE __m256i filteredHalf(const FilteredAdditionRegisters& r, __m256i t00, __m256i t10,
                                    __m256i t01, __m256i t11, __m256i wx, __m256i wy) {
    const __m256i spread = High ? r.highWeights : r.lowWeights;
    const __m256i x = _mm256_shuffle_epi8(wx, spread), y = _mm256_shuffle_epi8(wy, spread);
    const __m256i top = lerpRounded(widenedTexels<High>(t00), widenedTexels<High>(t10), x);
    const __m256i bottom = lerpRounded(widenedTexels<High>(t01), widenedTexels<High>(t11), x);
    __m256i value = lerpRounded(top, bottom, y);
    if constexpr (Scaled) {
        value = _mm256_mulhrs_epi16(value, r.weight);
    }
    // (value + 64) >> 7 as a rounded product by 2^8.
    return _mm256_mulhrs_epi16(value, r.toByte);
}
// The pixels addFilteredTexels stores for eight pixels: their texels t00 .. t11, weights wx and
// wy, and target pixels d.
template <bool Scaled, bool StoresAlpha>
GS_SIMD_INLINE __m256i addFilteredEight(const FilteredAdditionRegisters& r, __m256i t00,
                                        __m256i t10, __m256i t01, __m256i t11, __m256i wx,
                                        __m256i wy, __m256i d) {
    // The filtered values fit bytes, which the pack keeps as they are.
    __m256i source = _mm256_packus_epi16(filteredHalf<Scaled, false>(r, t00, t10, t01, t11, wx, wy),
                                         filteredHalf<Scaled, true>(r, t00, t10, t01, t11, wx, wy));
    if constexpr (StoresAlpha) {
        source = _mm256_blendv_epi8(source, r.alpha, r.alphaBytes);
    }
    // Sums above 255 saturate.
    const __m256i sum = _mm256_adds_epu8(source, _mm256_and_si256(d, r.keep));
    const __m256i blended =
        _mm256_or_si256(_mm256_and_si256(r.mask, sum), _mm256_andnot_si256(r.mask, d));
    return _mm256_or_si256(blended, r.forced);
}
GS_SIMD_INLINE __m256i eightColours(const Colour* p) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}
template <bool Scaled, bool StoresAlpha>
int addFilteredLanes(const FilteredAdditionRegisters& r, const Colour* t00, const Colour* t10,
                     const Colour* t01, const Colour* t11, const int* wx, const int* wy, int count,
                     const Colour* destination, Colour* target) {
    int i = 0;
    for (; i + 8 <= count; i += 8) {
        const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(wx + i));
        const __m256i y = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(wy + i));
        _mm256_storeu_si256(
            reinterpret_cast<__m256i*>(target + i),
            addFilteredEight<Scaled, StoresAlpha>(r, eightColours(t00 + i), eightColours(t10 + i),
                                                  eightColours(t01 + i), eightColours(t11 + i), x,
                                                  y, eightColours(destination + i)));
    }
    return i;
}
// The registers of a FilteredAddition.
FilteredAdditionRegisters filteredAdditionRegisters(const FilteredAddition& addition) {
    return {
        _mm256_loadu_si256(reinterpret_cast<const __m256i*>(kWeightSpread<32>[0].data())),
        _mm256_loadu_si256(reinterpret_cast<const __m256i*>(kWeightSpread<32>[1].data())),
        _mm256_set1_epi16(static_cast<short>(addition.weight)),
        _mm256_set1_epi16(1 << (kWeightBits - kFilteredBits)),
        _mm256_set1_epi32(static_cast<int>(pixelOfBytes(addition.keepColour, addition.keepAlpha))),
        _mm256_set1_epi32(static_cast<int>(pixelOfBytes(0, addition.alphaByte))),
        _mm256_set1_epi32(static_cast<int>(pixelOfBytes(0, 0xFFu))),
        _mm256_set1_epi32(static_cast<int>(addition.mask)),
        _mm256_set1_epi32(static_cast<int>(addition.forced))};
}
// The filter in 16-bit lanes, four channels of four pixels in a vector: the very steps of the
// baseline's loop (filteredValue, productRounded), whose values all fit 16 bits; the saturated
// sum in bytes.
int addFilteredTexels(const FilteredAddition& addition, const Colour* t00, const Colour* t10,
                      const Colour* t01, const Colour* t11, const int* wx, const int* wy, int count,
                      const Colour* destination, Colour* target) {
    const FilteredAdditionRegisters r = filteredAdditionRegisters(addition);
    const bool scaled = addition.weight < kWeightOne;
    if (addition.storesAlpha) {
        return scaled ? addFilteredLanes<true, true>(r, t00, t10, t01, t11, wx, wy, count,
                                                     destination, target)
                      : addFilteredLanes<false, true>(r, t00, t10, t01, t11, wx, wy, count,
                                                      destination, target);
    }
    return scaled ? addFilteredLanes<true, false>(r, t00, t10, t01, t11, wx, wy, count, destination,
                                                  target)
                  : addFilteredLanes<false, false>(r, t00, t10, t01, t11, wx, wy, count,
                                                   destination, target);
}
// addAffineRun for 8 lanes from lane i, or the `lanes` lanes from it where Whole is false: their
// positions in sx and sy. A group's first texels lie in one row or two neighbouring ones, the
// columns within 7 of the least one: each of the group's three rows is loaded as two windows of
// 8 texels, from that column and the next, and permuted into the lanes' first and second texels.
// Other groups go pair by pair.
template <bool Scaled, bool StoresAlpha, bool Whole>
GS_SIMD_INLINE void addAffineGroup(const FilteredAdditionRegisters& r, const PixelBuffer& texture,
                                   const AffineRun& run, int i, int lanes, __m256i sx, __m256i sy,
                                   const Colour* destination, Colour* target) {
    const int* texels = reinterpret_cast<const int*>(texture.pixels);
    const int pitch = static_cast<int>(texture.pitch);
    // The first and last lanes' positions bound the others': positions are linear along the run.
    const std::int32_t s0 = run.s.first + run.s.step * i, s1 = s0 + run.s.step * (lanes - 1);
    const std::int32_t t0 = run.t.first + run.t.step * i, t1 = t0 + run.t.step * (lanes - 1);
    const int left = std::min(s0, s1) >> kPositionBits, right = std::max(s0, s1) >> kPositionBits;
    const int top = std::min(t0, t1) >> kPositionBits, bottom = std::max(t0, t1) >> kPositionBits;
    constexpr int kWeightShift = kPositionBits - kWeightBits;
    const __m256i fraction = _mm256_set1_epi32((1 << kPositionBits) - 1);
    const __m256i wx = _mm256_srli_epi32(_mm256_and_si256(sx, fraction), kWeightShift);
    const __m256i wy = _mm256_srli_epi32(_mm256_and_si256(sy, fraction), kWeightShift);
    const __m256i columns = _mm256_srai_epi32(sx, kPositionBits);
    const __m256i rows = _mm256_srai_epi32(sy, kPositionBits);
    // The lanes' pixels: masked loads and stores only for a group of fewer than 8.
    const __m256i live =
        _mm256_cmpgt_epi32(_mm256_set1_epi32(lanes), _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7));
    const __m256i d =
        Whole ? eightColours(destination + i)
              : _mm256_maskload_epi32(reinterpret_cast<const int*>(destination + i), live);
    // Whole windows of 8 texels from the column after the least must not read past the texture's
    // last texel.
    const std::int64_t size =
        static_cast<std::int64_t>(texture.pitch) * (texture.height - 1) + texture.width;
    __m256i t00, t10, t01, t11;
    if (right - left <= 7 && bottom - top <= 1 &&
        static_cast<std::int64_t>(bottom + 1) * pitch + left + 9 <= size) {
        const __m256i column = _mm256_sub_epi32(columns, _mm256_set1_epi32(left));
        // A row's texels at the lanes' columns, and at the columns after them.
        const auto pick = [&](const int* row, __m256i* first, __m256i* second) {
            *first = _mm256_permutevar8x32_epi32(
                _mm256_loadu_si256(reinterpret_cast<const __m256i*>(row)), column);
            *second = _mm256_permutevar8x32_epi32(
                _mm256_loadu_si256(reinterpret_cast<const __m256i*>(row + 1)), column);
        };
        const int* window = texels + static_cast<std::ptrdiff_t>(top) * pitch + left;
        pick(window, &t00, &t10);
        pick(window + pitch, &t01, &t11);
        if (bottom != top) {
            // The lanes a row further down read the others' second row as their first.
            const __m256i lower = _mm256_cmpgt_epi32(rows, _mm256_set1_epi32(top));
            __m256i below, belowNext;
            pick(window + 2 * pitch, &below, &belowNext);
            t00 = _mm256_blendv_epi8(t00, t01, lower);
            t10 = _mm256_blendv_epi8(t10, t11, lower);
            t01 = _mm256_blendv_epi8(t01, below, lower);
            t11 = _mm256_blendv_epi8(t11, belowNext, lower);
        }
    } else {
        // Lanes past `lanes` read lane 0's footprint, inside the texture.
        __m256i at = _mm256_add_epi32(_mm256_mullo_epi32(rows, _mm256_set1_epi32(pitch)), columns);
        if constexpr (!Whole) {
            at = _mm256_blendv_epi8(_mm256_permutevar8x32_epi32(at, _mm256_setzero_si256()), at,
                                    live);
        }
        alignas(32) int offsets[8];
        alignas(32) std::uint64_t upper[8], lower[8];
        _mm256_store_si256(reinterpret_cast<__m256i*>(offsets), at);
        gatherFootprintPairs(texture.pixels, texture.pitch, offsets, 8, upper, lower);
        // Each pair's first texel from the even 32-bit lanes, its second from the odd ones.
        const auto split = [&](const std::uint64_t* pairs, __m256i* first, __m256i* second) {
            const __m256 low = _mm256_load_ps(reinterpret_cast<const float*>(pairs));
            const __m256 high = _mm256_load_ps(reinterpret_cast<const float*>(pairs + 4));
            // The shuffles move bits, whatever they would mean as floats; the permutes put the
            // 64-bit halves of the blocks back in order.
            *first = _mm256_permute4x64_epi64(
                _mm256_castps_si256(_mm256_shuffle_ps(low, high, _MM_SHUFFLE(2, 0, 2, 0))),
                _MM_SHUFFLE(3, 1, 2, 0));
            *second = _mm256_permute4x64_epi64(
                _mm256_castps_si256(_mm256_shuffle_ps(low, high, _MM_SHUFFLE(3, 1, 3, 1))),
                _MM_SHUFFLE(3, 1, 2, 0));
        };
        split(upper, &t00, &t10);
        split(lower, &t01, &t11);
    }
    const __m256i stored = addFilteredEight<Scaled, StoresAlpha>(r, t00, t10, t01, t11, wx, wy, d);
    if constexpr (Whole) {
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(target + i), stored);
    } else {
        _mm256_maskstore_epi32(reinterpret_cast<int*>(target + i), live, stored);
    }
}
template <bool Scaled, bool StoresAlpha>
void addAffineLanes(const FilteredAdditionRegisters& r, const PixelBuffer& texture,
                    const AffineRun& run, const Colour* destination, Colour* target) {
    // The lanes' positions, stepped a group at a time (steppedBy); those of lanes past the run's
    // end are never used.
    const __m256i lane = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
    __m256i sx = _mm256_add_epi32(_mm256_set1_epi32(run.s.first),
                                  _mm256_mullo_epi32(lane, _mm256_set1_epi32(run.s.step)));
    __m256i sy = _mm256_add_epi32(_mm256_set1_epi32(run.t.first),
                                  _mm256_mullo_epi32(lane, _mm256_set1_epi32(run.t.step)));
    const __m256i advanceX = _mm256_set1_epi32(steppedBy(run.s.step, 8));
    const __m256i advanceY = _mm256_set1_epi32(steppedBy(run.t.step, 8));
    int i = 0;
    for (; i + 8 <= run.count; i += 8) {
        addAffineGroup<Scaled, StoresAlpha, true>(r, texture, run, i, 8, sx, sy, destination,
                                                  target);
        sx = _mm256_add_epi32(sx, advanceX);
        sy = _mm256_add_epi32(sy, advanceY);
    }
    if (i < run.count) {
        addAffineGroup<Scaled, StoresAlpha, false>(r, texture, run, i, run.count - i, sx, sy,
                                                   destination, target);
    }
}
void addAffineRun(const FilteredAddition& addition, const PixelBuffer& texture,
                  const AffineRun& run, const Colour* destination, Colour* target) {
    const FilteredAdditionRegisters r = filteredAdditionRegisters(addition);
    const bool scaled = addition.weight < kWeightOne;
    if (addition.storesAlpha) {
        scaled ? addAffineLanes<true, true>(r, texture, run, destination, target)
               : addAffineLanes<false, true>(r, texture, run, destination, target);
    } else {
        scaled ? addAffineLanes<true, false>(r, texture, run, destination, target)
               : addAffineLanes<false, false>(r, texture, run, destination, target);
    }
}
}  // namespace avx2
GS_SIMD_END

GS_SIMD_BEGIN_AVX512
namespace avx512 {
constexpr bool kHasRounding = true;  // SSE4.1's roundps or AVX-512's rndscaleps
constexpr bool kFusesMultiplyAdd = simd::fusesMultiplyAdd(simd::InstructionSet::Avx512);
constexpr bool kDistancesInRowReads = true;  // PipelineKernels::sampleAtRowDistances
void gatherTexels(const Colour* pixels, const int* at, int count, Colour* out) {
    for (int i = 0; i < count; i += 16) {
        // The last group masks off the lanes past count.
        const __mmask16 lanes =
            static_cast<__mmask16>(count - i >= 16 ? 0xFFFF : (1u << (count - i)) - 1);
        const __m512i index = _mm512_maskz_loadu_epi32(lanes, at + i);
        const __m512i texels =
            _mm512_mask_i32gather_epi32(_mm512_setzero_si512(), lanes, index, pixels, 4);
        if (lanes == 0xFFFF) {
            _mm512_storeu_si512(out + i, texels);  // plain: masked stores cost more
        } else {
            _mm512_mask_storeu_epi32(out + i, lanes, texels);
        }
    }
}
// GCC 12's reductions and permutes pass _mm512_undefined_epi32() as the unused merge source, which
// its own maybe-uninitialized analysis then reports wherever they are inlined: in the row kernels
// of the .inl as much as here.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
constexpr int kRowLanes = 16;
using RowFloat = __m512;
using RowInt = __m512i;
inline RowInt rowSetInt(int x) {
    return _mm512_set1_epi32(x);
}
inline RowFloat rowSet(float x) {
    return _mm512_set1_ps(x);
}
inline __mmask16 rowLanes(int lanes) {
    return static_cast<__mmask16>(lanes >= kRowLanes ? 0xFFFF : (1u << lanes) - 1);
}
inline RowFloat rowLoad(const float* p, int lanes) {
    return _mm512_maskz_loadu_ps(rowLanes(lanes), p);
}
// Whole vectors store plainly: masked stores cost many times more on some processors.
inline void rowStore(float* p, RowFloat x, int lanes) {
    if (lanes >= kRowLanes) {
        _mm512_storeu_ps(p, x);
    } else {
        _mm512_mask_storeu_ps(p, rowLanes(lanes), x);
    }
}
inline RowFloat rowMin(RowFloat a, RowFloat b) {
    return _mm512_min_ps(a, b);
}
inline RowFloat rowMax(RowFloat a, RowFloat b) {
    return _mm512_max_ps(a, b);
}
inline RowFloat rowFloor(RowFloat x) {
    return _mm512_roundscale_ps(x, _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC);
}
inline RowInt rowTruncate(RowFloat x) {
    return _mm512_cvttps_epi32(x);
}
// A conversion that rounds down and a reduction: two operations where floor, truncation and
// subtraction take three. x - floor(x) is exact either way.
inline void rowFloorParts(RowFloat x, RowInt* whole, RowFloat* fraction) {
    *whole = _mm512_cvt_roundps_epi32(x, _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC);
    *fraction = _mm512_reduce_ps(x, _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC);
}
inline RowFloat rowToFloat(RowInt x) {
    return _mm512_cvtepi32_ps(x);
}
inline RowFloat rowAbs(RowFloat x) {
    return _mm512_abs_ps(x);
}
inline bool rowInsideUnit(RowFloat x) {
    return (_mm512_cmp_ps_mask(x, _mm512_setzero_ps(), _CMP_GE_OQ) &
            _mm512_cmp_ps_mask(x, _mm512_set1_ps(1.0f), _CMP_LT_OQ)) == 0xFFFF;
}
inline RowInt rowLess(RowFloat a, RowFloat b) {
    return _mm512_movm_epi32(_mm512_cmp_ps_mask(a, b, _CMP_LT_OQ));
}
inline RowInt rowSelect(RowInt mask, RowInt a, RowInt b) {
    return _mm512_ternarylogic_epi32(mask, a, b, 0xCA);  // mask ? a : b, bit by bit
}
inline RowInt rowAddInt(RowInt a, RowInt b) {
    return _mm512_add_epi32(a, b);
}
inline RowInt rowSubInt(RowInt a, RowInt b) {
    return _mm512_sub_epi32(a, b);
}
inline RowInt rowMinInt(RowInt a, RowInt b) {
    return _mm512_min_epi32(a, b);
}
inline RowInt rowMaxInt(RowInt a, RowInt b) {
    return _mm512_max_epi32(a, b);
}
inline RowInt rowGreaterInt(RowInt a, RowInt b) {
    return _mm512_movm_epi32(_mm512_cmpgt_epi32_mask(a, b));
}
inline RowInt rowAnd(RowInt a, RowInt b) {
    return _mm512_and_si512(a, b);
}
inline RowInt rowOr(RowInt a, RowInt b) {
    return _mm512_or_si512(a, b);
}
inline RowInt rowXor(RowInt a, RowInt b) {
    return _mm512_xor_si512(a, b);
}
inline RowInt rowSignMask(RowInt x) {
    return _mm512_srai_epi32(x, 31);
}
template <int shift>
inline RowInt rowShiftRight(RowInt x) {
    return _mm512_srli_epi32(x, shift);
}
inline RowInt rowLoadTexels(const Colour* p, int count) {
    return _mm512_maskz_loadu_epi32(rowLanes(count), p);
}
inline bool rowAllBelow(RowInt x, unsigned limit, int lanes) {
    return _mm512_mask_cmpge_epu32_mask(rowLanes(lanes), x,
                                        _mm512_set1_epi32(static_cast<int>(limit))) == 0;
}
// rowAllBelow for the columns of a window, whose origin and limit are made once per window.
inline RowInt rowColumnOrigin(int start) {
    return _mm512_set1_epi32(start);
}
inline RowInt rowColumnLimit(unsigned limit) {
    return _mm512_set1_epi32(static_cast<int>(limit));
}
inline bool rowColumnsBelow(RowInt column, RowInt limit, int lanes) {
    return _mm512_mask_cmpge_epu32_mask(rowLanes(lanes), column, limit) == 0;
}
inline bool rowWithin(RowFloat x, float low, float high, int lanes) {
    const __mmask16 live = rowLanes(lanes);
    return _mm512_mask_cmp_ps_mask(
               _mm512_mask_cmp_ps_mask(live, x, _mm512_set1_ps(low), _CMP_GE_OQ), x,
               _mm512_set1_ps(high), _CMP_LE_OQ) == live;
}
inline int rowFirst(RowInt x) {
    return _mm_cvtsi128_si32(_mm512_castsi512_si128(x));
}
inline float rowLaneValue(RowFloat x, int lane) {
    return _mm_cvtss_f32(_mm512_castps512_ps128(_mm512_permutexvar_ps(_mm512_set1_epi32(lane), x)));
}
inline RowFloat rowMulAdd(RowFloat a, RowFloat b, RowFloat c) {
    return _mm512_fmadd_ps(a, b, c);
}
inline RowFloat rowPick(RowFloat table, RowInt index) {
    return _mm512_permutexvar_ps(index, table);
}
inline RowFloat rowAndFloat(RowFloat x, RowInt mask) {
    return _mm512_and_ps(x, _mm512_castsi512_ps(mask));
}
inline RowFloat rowXorFloat(RowFloat x, RowInt bits) {
    return _mm512_xor_ps(x, _mm512_castsi512_ps(bits));
}
inline RowFloat rowSqrt(RowFloat x) {
    return _mm512_sqrt_ps(x);
}
// Where the 16 lanes read within 16 texels of each other (a strip read at distances that change
// by about a texel from pixel to pixel), one load of those texels permuted into the lanes serves
// both indices; other vectors gather. A texture of 16 texels or fewer is one window.
inline void rowFetchPairs(const Colour* row, int width, RowInt x0, RowInt x1, RowInt* t0,
                          RowInt* t1) {
    const int* texels = reinterpret_cast<const int*>(row);
    if (width <= kRowLanes) {
        const RowInt window = _mm512_maskz_loadu_epi32(rowLanes(width), texels);
        *t0 = _mm512_permutexvar_epi32(x0, window);
        *t1 = _mm512_permutexvar_epi32(x1, window);
        return;
    }
    const int lowest = _mm512_reduce_min_epi32(_mm512_min_epi32(x0, x1));
    const int start = lowest < width - kRowLanes ? lowest : width - kRowLanes;
    const RowInt origin = _mm512_set1_epi32(start);
    const RowInt first = _mm512_sub_epi32(x0, origin), second = _mm512_sub_epi32(x1, origin);
    const RowInt reach = _mm512_max_epi32(first, second);
    if (_mm512_cmpgt_epi32_mask(reach, _mm512_set1_epi32(kRowLanes - 1)) == 0) {
        const RowInt window = _mm512_loadu_si512(texels + start);
        *t0 = _mm512_permutexvar_epi32(first, window);
        *t1 = _mm512_permutexvar_epi32(second, window);
    } else {
        *t0 = _mm512_i32gather_epi32(x0, texels, 4);
        *t1 = _mm512_i32gather_epi32(x1, texels, 4);
    }
}
// The four texels of each footprint of lanes inside the texture, as offsets of their first texels.
void gatherInteriorFootprints(const PixelBuffer& texture, const int* at, int count, Colour* t00,
                              Colour* t10, Colour* t01, Colour* t11);
// The FilteredAddition of the linearly filtered texels to destination[i], stored to target[i]
// (the same pixels, or the clear they wait for), for the lanes from 0 that the set takes in whole
// vectors; returns their number, the rest left to the caller's loop.
int addFilteredTexels(const FilteredAddition& addition, const Colour* t00, const Colour* t10,
                      const Colour* t01, const Colour* t11, const int* wx, const int* wy, int count,
                      const Colour* destination, Colour* target);
// target[i] = source[first + i] + target[i] per channel, saturated and rounded (addSaturatedLoop).
void addSaturated(const float (*source)[kTileLanes], int first, Colour* target, int count,
                  bool alpha);
// The FilteredAddition of an affine run's linearly filtered texels to destination[i], stored to
// target[i], both from the run's first lane: texels fetched, filtered and blended in registers, in
// one pass (the sets with kAddsAffineRuns; shadeTexturedLanes calls it for no other).
constexpr bool kAddsAffineRuns = true;
void addAffineRun(const FilteredAddition& addition, const PixelBuffer& texture,
                  const AffineRun& run, const Colour* destination, Colour* target);
#define GS_ROW_KERNELS 1
#include "render/software/pipeline_kernels.inl"
#undef GS_ROW_KERNELS
// addSaturatedLoop's values, with the clamps as max and min: max(x, 0) gives 0 for NaN, as
// saturate does, and the sum needs only the upper clamp.
void addSaturated(const float (*source)[kTileLanes], int first, Colour* target, int count,
                  bool alpha) {
    const __m512 zero = _mm512_setzero_ps(), one = _mm512_set1_ps(1.0f);
    const __m512i forced = _mm512_set1_epi32(alpha ? 0 : static_cast<int>(kOpaqueAlpha));
    // Byte k of each pixel to the low byte of its lane, the others zero (index bit 7 set). The
    // shuffle indexes bytes within each 16-byte block: lane m of a block starts at byte 4 m.
    const __m512i blockOffsets = _mm512_set4_epi32(12, 8, 4, 0);
    // Whole vectors take plain loads and stores (masked ones cost more on some processors), the
    // last part of one the masked ones.
    const auto blend = [&]<bool Whole>(int i, __mmask16 lanes) {
        const auto channel = [&](const float* s, __m512i d, int shift) {
            const __m512i byte = _mm512_shuffle_epi8(
                d, _mm512_add_epi32(blockOffsets,
                                    _mm512_set1_epi32(static_cast<int>(
                                        0x80808000u | static_cast<unsigned>(shift / 8)))));
            const __m512 dc =
                _mm512_mul_ps(_mm512_cvtepi32_ps(byte), _mm512_set1_ps(1.0f / 255.0f));
            // min(x, 1) before the sum changes nothing: past 1, the sum is past 1 either way.
            const __m512 x = Whole ? _mm512_loadu_ps(s) : _mm512_maskz_loadu_ps(lanes, s);
            const __m512 sum = _mm512_add_ps(_mm512_max_ps(x, zero), dc);
            const __m512 scaled = _mm512_fmadd_ps(_mm512_min_ps(sum, one), _mm512_set1_ps(255.0f),
                                                  _mm512_set1_ps(0.5f));
            return _mm512_slli_epi32(_mm512_cvttps_epi32(scaled), shift);
        };
        const __m512i d =
            Whole ? _mm512_loadu_si512(target + i) : _mm512_maskz_loadu_epi32(lanes, target + i);
        const int at = first + i;
        __m512i value = _mm512_ternarylogic_epi32(forced, channel(source[0] + at, d, 16),
                                                  channel(source[1] + at, d, 8), 0xFE);
        value = _mm512_or_si512(value, channel(source[2] + at, d, 0));
        if (alpha) {
            value = _mm512_or_si512(value, channel(source[3] + at, d, 24));
        }
        if constexpr (Whole) {
            _mm512_storeu_si512(target + i, value);
        } else {
            _mm512_mask_storeu_epi32(target + i, lanes, value);
        }
    };
    int i = 0;
    for (; i + 16 <= count; i += 16) {
        blend.template operator()<true>(i, 0xFFFF);
    }
    if (i < count) {
        blend.template operator()<false>(i, static_cast<__mmask16>((1u << (count - i)) - 1));
    }
}
// The filter works on 16-bit lanes in the order the in-block unpacks leave a vector's pixels, as
// the AVX2 one does, here for 16 pixels in four blocks.
//
// One half of 16 texels, each channel widened in 1/128 steps.
template <bool High>
GS_SIMD_INLINE __m512i widenedTexels(__m512i texels) {
    const __m512i zero = _mm512_setzero_si512();
    return _mm512_slli_epi16(
        High ? _mm512_unpackhi_epi8(texels, zero) : _mm512_unpacklo_epi8(texels, zero),
        kFilteredBits);
}
// a + (b - a) * w per 16-bit lane, the product rounded: productRounded's values.
GS_SIMD_INLINE __m512i lerpRounded(__m512i a, __m512i b, __m512i w) {
    return _mm512_add_epi16(a, _mm512_mulhrs_epi16(_mm512_sub_epi16(b, a), w));
}
// Registers addFilteredTexels keeps for its vectors.
struct FilteredAdditionRegisters {
    __m512i lowWeights, highWeights;    // kWeightSpread
    __m512i weight, toByte;             // 16-bit lanes
    __m512i keep, alpha, mask, forced;  // each pixel's bytes
};
// One half of 16 pixels filtered and weighted, in bytes' values: their texels t00 .. t11, their
// weights in the 32-bit lanes of wx and wy.
template <bool Scaled, bool High>
GS_SIMD_INLINE __m512i filteredHalf(const FilteredAdditionRegisters& r, __m512i t00, __m512i t10,
                                    __m512i t01, __m512i t11, __m512i wx, __m512i wy) {
    const __m512i spread = High ? r.highWeights : r.lowWeights;
    const __m512i x = _mm512_shuffle_epi8(wx, spread), y = _mm512_shuffle_epi8(wy, spread);
    const __m512i top = lerpRounded(widenedTexels<High>(t00), widenedTexels<High>(t10), x);
    const __m512i bottom = lerpRounded(widenedTexels<High>(t01), widenedTexels<High>(t11), x);
    __m512i value = lerpRounded(top, bottom, y);
    if constexpr (Scaled) {
        value = _mm512_mulhrs_epi16(value, r.weight);
    }
    // (value + 64) >> 7 as a rounded product by 2^8.
    return _mm512_mulhrs_epi16(value, r.toByte);
}
// addFilteredTexels for 16 pixels: their texels t00 .. t11, their weights in the 32-bit lanes of
// wx and wy; destination and target point at the first of them. Where Whole is false, only the
// pixels of `live` are read and stored.
template <bool Scaled, bool StoresAlpha, bool Whole>
GS_SIMD_INLINE void addFilteredGroup(const FilteredAdditionRegisters& r, __m512i t00, __m512i t10,
                                     __m512i t01, __m512i t11, __m512i wx, __m512i wy,
                                     const Colour* destination, Colour* target,
                                     __mmask16 live = 0xFFFF) {
    // The filtered values fit bytes, which the pack keeps as they are.
    __m512i source = _mm512_packus_epi16(filteredHalf<Scaled, false>(r, t00, t10, t01, t11, wx, wy),
                                         filteredHalf<Scaled, true>(r, t00, t10, t01, t11, wx, wy));
    if constexpr (StoresAlpha) {
        source = _mm512_mask_mov_epi8(source, 0x8888888888888888u, r.alpha);
    }
    const __m512i d =
        Whole ? _mm512_loadu_si512(destination) : _mm512_maskz_loadu_epi32(live, destination);
    // Sums above 255 saturate.
    const __m512i sum = _mm512_adds_epu8(source, _mm512_and_si512(d, r.keep));
    const __m512i blended =
        _mm512_or_si512(_mm512_ternarylogic_epi32(r.mask, sum, d, 0xCA), r.forced);  // mask ? s : d
    if constexpr (Whole) {
        _mm512_storeu_si512(target, blended);
    } else {
        _mm512_mask_storeu_epi32(target, live, blended);
    }
}
template <bool Scaled, bool StoresAlpha>
int addFilteredLanes(const FilteredAdditionRegisters& r, const Colour* t00, const Colour* t10,
                     const Colour* t01, const Colour* t11, const int* wx, const int* wy, int count,
                     const Colour* destination, Colour* target) {
    int i = 0;
    for (; i + 16 <= count; i += 16) {
        addFilteredGroup<Scaled, StoresAlpha, true>(
            r, _mm512_loadu_si512(t00 + i), _mm512_loadu_si512(t10 + i),
            _mm512_loadu_si512(t01 + i), _mm512_loadu_si512(t11 + i), _mm512_loadu_si512(wx + i),
            _mm512_loadu_si512(wy + i), destination + i, target + i);
    }
    return i;
}
// The registers of a FilteredAddition.
FilteredAdditionRegisters filteredAdditionRegisters(const FilteredAddition& addition) {
    return {
        _mm512_loadu_si512(kWeightSpread<64>[0].data()),
        _mm512_loadu_si512(kWeightSpread<64>[1].data()),
        _mm512_set1_epi16(static_cast<short>(addition.weight)),
        _mm512_set1_epi16(1 << (kWeightBits - kFilteredBits)),
        _mm512_set1_epi32(static_cast<int>(pixelOfBytes(addition.keepColour, addition.keepAlpha))),
        _mm512_set1_epi32(static_cast<int>(pixelOfBytes(0, addition.alphaByte))),
        _mm512_set1_epi32(static_cast<int>(addition.mask)),
        _mm512_set1_epi32(static_cast<int>(addition.forced))};
}
// The filter in 16-bit lanes, four channels of eight pixels in a vector: the very steps of the
// baseline's loop (filteredValue, productRounded), whose values all fit 16 bits; the saturated
// sum in bytes.
int addFilteredTexels(const FilteredAddition& addition, const Colour* t00, const Colour* t10,
                      const Colour* t01, const Colour* t11, const int* wx, const int* wy, int count,
                      const Colour* destination, Colour* target) {
    const FilteredAdditionRegisters r = filteredAdditionRegisters(addition);
    const bool scaled = addition.weight < kWeightOne;
    if (addition.storesAlpha) {
        return scaled ? addFilteredLanes<true, true>(r, t00, t10, t01, t11, wx, wy, count,
                                                     destination, target)
                      : addFilteredLanes<false, true>(r, t00, t10, t01, t11, wx, wy, count,
                                                      destination, target);
    }
    return scaled ? addFilteredLanes<true, false>(r, t00, t10, t01, t11, wx, wy, count, destination,
                                                  target)
                  : addFilteredLanes<false, false>(r, t00, t10, t01, t11, wx, wy, count,
                                                   destination, target);
}
// Where the 16 lanes of a group fall into two sets of neighbouring footprints, each within 31
// texels of its first (a texture drawn near its own size, rows changing along the run), both rows
// of each set are loaded whole and permuted into the lanes; other groups go pair by pair.
void gatherInteriorFootprints(const PixelBuffer& texture, const int* at, int count, Colour* t00,
                              Colour* t10, Colour* t01, Colour* t11) {
    const int* texels = reinterpret_cast<const int*>(texture.pixels);
    const int pitch = static_cast<int>(texture.pitch);
    // Whole windows of 32 texels must not read past the texture's last texel.
    const std::size_t size = texture.pitch * (texture.height - 1) + texture.width;
    const __m512i reach = _mm512_set1_epi32(30);
    const __m512i one = _mm512_set1_epi32(1);
    int i = 0;
    for (; i + 16 <= count; i += 16) {
        const __m512i offset = _mm512_loadu_si512(at + i);
        // The first footprint of each set: the least offset, and the least of those further on.
        const int first = _mm512_reduce_min_epi32(offset);
        const __mmask16 further =
            _mm512_cmpgt_epi32_mask(offset, _mm512_add_epi32(_mm512_set1_epi32(first), reach));
        const int second = further != 0 ? _mm512_mask_reduce_min_epi32(further, offset) : first;
        const __m512i origin =
            _mm512_mask_blend_epi32(further, _mm512_set1_epi32(first), _mm512_set1_epi32(second));
        const __m512i column = _mm512_sub_epi32(offset, origin);
        if (_mm512_cmpgt_epi32_mask(column, reach) != 0 ||
            static_cast<std::size_t>(second) + pitch + 32 > size) {
            gatherInteriorFootprintsByPairs(texture, at + i, 16, t00 + i, t10 + i, t01 + i,
                                            t11 + i);
            continue;
        }
        const __m512i next = _mm512_add_epi32(column, one);
        // Each window's texels at the lanes' columns, and at the columns after them.
        const auto pick = [&](int start, __m512i* left, __m512i* right) {
            const __m512i low = _mm512_loadu_si512(texels + start);
            const __m512i high = _mm512_loadu_si512(texels + start + 16);
            *left = _mm512_permutex2var_epi32(low, column, high);
            *right = _mm512_permutex2var_epi32(low, next, high);
        };
        __m512i topLeft, topRight, bottomLeft, bottomRight;
        pick(first, &topLeft, &topRight);
        pick(first + pitch, &bottomLeft, &bottomRight);
        if (further != 0) {
            __m512i left, right;
            pick(second, &left, &right);
            topLeft = _mm512_mask_blend_epi32(further, topLeft, left);
            topRight = _mm512_mask_blend_epi32(further, topRight, right);
            pick(second + pitch, &left, &right);
            bottomLeft = _mm512_mask_blend_epi32(further, bottomLeft, left);
            bottomRight = _mm512_mask_blend_epi32(further, bottomRight, right);
        }
        _mm512_storeu_si512(t00 + i, topLeft);
        _mm512_storeu_si512(t10 + i, topRight);
        _mm512_storeu_si512(t01 + i, bottomLeft);
        _mm512_storeu_si512(t11 + i, bottomRight);
    }
    if (i < count) {
        gatherInteriorFootprintsByPairs(texture, at + i, count - i, t00 + i, t10 + i, t01 + i,
                                        t11 + i);
    }
}
// addAffineRun for 16 lanes from lane i, or the `lanes` lanes from it where Whole is false: their
// positions in sx and sy. A group's first texels lie in one row or two neighbouring ones (rows
// change slowly along a run drawn near the texture's size), the columns within 30 of the least
// one: the group's three rows are loaded as windows of 32 texels and permuted into the lanes, each
// lane taking its row and the row below. Other groups go pair by pair.
template <bool Scaled, bool StoresAlpha, bool Whole>
GS_SIMD_INLINE void addAffineGroup(const FilteredAdditionRegisters& r, const PixelBuffer& texture,
                                   const AffineRun& run, int i, int lanes, __m512i sx, __m512i sy,
                                   const Colour* destination, Colour* target) {
    const int* texels = reinterpret_cast<const int*>(texture.pixels);
    const int pitch = static_cast<int>(texture.pitch);
    // The first and last lanes' positions bound the others': positions are linear along the run.
    const std::int32_t s0 = run.s.first + run.s.step * i, s1 = s0 + run.s.step * (lanes - 1);
    const std::int32_t t0 = run.t.first + run.t.step * i, t1 = t0 + run.t.step * (lanes - 1);
    const int left = std::min(s0, s1) >> kPositionBits, right = std::max(s0, s1) >> kPositionBits;
    const int top = std::min(t0, t1) >> kPositionBits, bottom = std::max(t0, t1) >> kPositionBits;
    constexpr int kWeightShift = kPositionBits - kWeightBits;
    const __m512i fraction = _mm512_set1_epi32((1 << kPositionBits) - 1);
    const __m512i wx = _mm512_srli_epi32(_mm512_and_si512(sx, fraction), kWeightShift);
    const __m512i wy = _mm512_srli_epi32(_mm512_and_si512(sy, fraction), kWeightShift);
    const __m512i columns = _mm512_srai_epi32(sx, kPositionBits);
    const __m512i rows = _mm512_srai_epi32(sy, kPositionBits);
    // Whole windows of 32 texels must not read past the texture's last texel.
    const std::int64_t size =
        static_cast<std::int64_t>(texture.pitch) * (texture.height - 1) + texture.width;
    __m512i t00, t10, t01, t11;
    if (right - left <= 30 && bottom - top <= 1 &&
        static_cast<std::int64_t>(bottom + 1) * pitch + left + 32 <= size) {
        const __m512i column = _mm512_sub_epi32(columns, _mm512_set1_epi32(left));
        const __m512i next = _mm512_add_epi32(column, _mm512_set1_epi32(1));
        // A row's texels at the lanes' columns, and at the columns after them.
        const auto pick = [&](const int* row, __m512i* first, __m512i* second) {
            const __m512i low = _mm512_loadu_si512(row), high = _mm512_loadu_si512(row + 16);
            *first = _mm512_permutex2var_epi32(low, column, high);
            *second = _mm512_permutex2var_epi32(low, next, high);
        };
        const int* window = texels + static_cast<std::ptrdiff_t>(top) * pitch + left;
        pick(window, &t00, &t10);
        pick(window + pitch, &t01, &t11);
        if (bottom != top) {
            // The lanes a row further down read the others' second row as their first.
            const __mmask16 lower = _mm512_cmpgt_epi32_mask(rows, _mm512_set1_epi32(top));
            __m512i below, belowNext;
            pick(window + 2 * pitch, &below, &belowNext);
            t00 = _mm512_mask_blend_epi32(lower, t00, t01);
            t10 = _mm512_mask_blend_epi32(lower, t10, t11);
            t01 = _mm512_mask_blend_epi32(lower, t01, below);
            t11 = _mm512_mask_blend_epi32(lower, t11, belowNext);
        }
    } else {
        // Lanes past `lanes` read lane 0's footprint, inside the texture.
        __m512i at = _mm512_add_epi32(_mm512_mullo_epi32(rows, _mm512_set1_epi32(pitch)), columns);
        if constexpr (!Whole) {
            at = _mm512_mask_blend_epi32(static_cast<__mmask16>((1u << lanes) - 1),
                                         _mm512_permutexvar_epi32(_mm512_setzero_si512(), at), at);
        }
        alignas(64) int offsets[16];
        alignas(64) std::uint64_t upper[16], lower[16];
        _mm512_store_si512(offsets, at);
        gatherFootprintPairs(texture.pixels, texture.pitch, offsets, 16, upper, lower);
        // Each pair's first texel from the even 32-bit lanes, its second from the odd ones.
        const __m512i even =
            _mm512_setr_epi32(0, 2, 4, 6, 8, 10, 12, 14, 16, 18, 20, 22, 24, 26, 28, 30);
        const __m512i odd = _mm512_add_epi32(even, _mm512_set1_epi32(1));
        const auto split = [&](const std::uint64_t* pairs, __m512i* first, __m512i* second) {
            const __m512i low = _mm512_load_si512(pairs), high = _mm512_load_si512(pairs + 8);
            *first = _mm512_permutex2var_epi32(low, even, high);
            *second = _mm512_permutex2var_epi32(low, odd, high);
        };
        split(upper, &t00, &t10);
        split(lower, &t01, &t11);
    }
    addFilteredGroup<Scaled, StoresAlpha, Whole>(r, t00, t10, t01, t11, wx, wy, destination + i,
                                                 target + i,
                                                 static_cast<__mmask16>((1u << lanes) - 1));
}
// The registers by value: a copy of the function's own, which no store to the target can change,
// stays in registers; through a reference, the loop read each of them again after every store.
template <bool Scaled, bool StoresAlpha>
void addAffineLanes(FilteredAdditionRegisters r, const PixelBuffer& texture, const AffineRun& run,
                    const Colour* destination, Colour* target) {
    // The lanes' positions, stepped a group at a time (steppedBy); those of lanes past the run's
    // end are never used.
    const __m512i lane = _mm512_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
    __m512i sx = _mm512_add_epi32(_mm512_set1_epi32(run.s.first),
                                  _mm512_mullo_epi32(lane, _mm512_set1_epi32(run.s.step)));
    __m512i sy = _mm512_add_epi32(_mm512_set1_epi32(run.t.first),
                                  _mm512_mullo_epi32(lane, _mm512_set1_epi32(run.t.step)));
    const __m512i advanceX = _mm512_set1_epi32(steppedBy(run.s.step, 16));
    const __m512i advanceY = _mm512_set1_epi32(steppedBy(run.t.step, 16));
    int i = 0;
    for (; i + 16 <= run.count; i += 16) {
        addAffineGroup<Scaled, StoresAlpha, true>(r, texture, run, i, 16, sx, sy, destination,
                                                  target);
        sx = _mm512_add_epi32(sx, advanceX);
        sy = _mm512_add_epi32(sy, advanceY);
    }
    if (i < run.count) {
        addAffineGroup<Scaled, StoresAlpha, false>(r, texture, run, i, run.count - i, sx, sy,
                                                   destination, target);
    }
}
void addAffineRun(const FilteredAddition& addition, const PixelBuffer& texture,
                  const AffineRun& run, const Colour* destination, Colour* target) {
    const FilteredAdditionRegisters r = filteredAdditionRegisters(addition);
    const bool scaled = addition.weight < kWeightOne;
    if (addition.storesAlpha) {
        scaled ? addAffineLanes<true, true>(r, texture, run, destination, target)
               : addAffineLanes<false, true>(r, texture, run, destination, target);
    } else {
        scaled ? addAffineLanes<true, false>(r, texture, run, destination, target)
               : addAffineLanes<false, false>(r, texture, run, destination, target);
    }
}
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
}  // namespace avx512
GS_SIMD_END

const PipelineKernels& pipelineKernels(simd::InstructionSet set) {
    switch (set) {
        case simd::InstructionSet::Avx512:
            return avx512::kKernels;
        case simd::InstructionSet::Avx2:
            return avx2::kKernels;
        case simd::InstructionSet::Sse2:
            break;
    }
    return sse2::kKernels;
}

}  // namespace gs::render::software
