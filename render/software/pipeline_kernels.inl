// The per-tile work of the pixel pipeline and the texture units for one instruction set:
// pipeline_kernels.cpp includes this once per set, inside that set's namespace and target region.
// It includes nothing itself.
//
// Every loop runs over a tile's lanes with selects instead of branches, so that it becomes vector
// code of the set; texel fetches go through the set's gatherTexels and gatherInteriorFootprints.
// Where the set has row kernels (GS_ROW_KERNELS: kRowLanes, RowFloat, RowInt and the row*
// functions), one-row textures are sampled a vector at a time instead; otherwise through the
// set's gatherRowPairs.

namespace {

inline float saturate(float x) {
    x = x > 0.0f ? x : 0.0f;  // NaN becomes 0
    return x < 1.0f ? x : 1.0f;
}

void applyTextureOp(DWORD op, const float* a, const float* b, const float* current, float* out,
                    int count) {
    switch (op) {
        case kOpSelectArg2:
            for (int i = 0; i < count; ++i)
                out[i] = b[i];
            break;
        case kOpModulate:
            for (int i = 0; i < count; ++i)
                out[i] = a[i] * b[i];
            break;
        case kOpModulate2x:
            for (int i = 0; i < count; ++i)
                out[i] = saturate(2.0f * a[i] * b[i]);
            break;
        case kOpModulate4x:
            for (int i = 0; i < count; ++i)
                out[i] = saturate(4.0f * a[i] * b[i]);
            break;
        case kOpAdd:
            for (int i = 0; i < count; ++i)
                out[i] = saturate(a[i] + b[i]);
            break;
        case kOpAddSigned:
            for (int i = 0; i < count; ++i)
                out[i] = saturate(a[i] + b[i] - 0.5f);
            break;
        case kOpAddSigned2x:
            for (int i = 0; i < count; ++i)
                out[i] = saturate(2.0f * (a[i] + b[i] - 0.5f));
            break;
        case kOpSubtract:
            for (int i = 0; i < count; ++i)
                out[i] = saturate(a[i] - b[i]);
            break;
        case kOpAddSmooth:
            for (int i = 0; i < count; ++i)
                out[i] = saturate(a[i] + b[i] - a[i] * b[i]);
            break;
        case kOpDisable:
            for (int i = 0; i < count; ++i)
                out[i] = current[i];
            break;
        case kOpSelectArg1:
        default:  // operations this stage does not offer pass their first argument through
            for (int i = 0; i < count; ++i)
                out[i] = a[i];
            break;
    }
}

void computeBlendFactor(DWORD kind, int c, const float (*src)[kTileLanes],
                        const float (*dst)[kTileLanes], const std::array<float, 4>& constant,
                        int count, float* out) {
    switch (static_cast<Blend>(kind)) {
        case Blend::One:
            for (int i = 0; i < count; ++i)
                out[i] = 1.0f;
            return;
        case Blend::SrcColor:
            for (int i = 0; i < count; ++i)
                out[i] = src[c][i];
            return;
        case Blend::InvSrcColor:
            for (int i = 0; i < count; ++i)
                out[i] = 1.0f - src[c][i];
            return;
        case Blend::SrcAlpha:
            for (int i = 0; i < count; ++i)
                out[i] = src[3][i];
            return;
        case Blend::InvSrcAlpha:
            for (int i = 0; i < count; ++i)
                out[i] = 1.0f - src[3][i];
            return;
        case Blend::DestAlpha:
            for (int i = 0; i < count; ++i)
                out[i] = dst[3][i];
            return;
        case Blend::InvDestAlpha:
            for (int i = 0; i < count; ++i)
                out[i] = 1.0f - dst[3][i];
            return;
        case Blend::DestColor:
            for (int i = 0; i < count; ++i)
                out[i] = dst[c][i];
            return;
        case Blend::InvDestColor:
            for (int i = 0; i < count; ++i)
                out[i] = 1.0f - dst[c][i];
            return;
        case Blend::Zero:
        default:
            break;
    }
    if (kind == kBlendSrcAlphaSat) {
        for (int i = 0; i < count; ++i) {
            out[i] = c == 3 ? 1.0f : std::min(src[3][i], 1.0f - dst[3][i]);
        }
    } else if (kind == kBlendBlendFactor || kind == kBlendInvBlendFactor) {
        const float f = kind == kBlendBlendFactor ? constant[c] : 1.0f - constant[c];
        for (int i = 0; i < count; ++i)
            out[i] = f;
    } else {
        for (int i = 0; i < count; ++i)
            out[i] = 0.0f;
    }
}

// Beyond 2^22 a float has no fraction left to address texels with; clamping there keeps every
// later conversion to int defined.
constexpr float kCoordinateLimit = 4194304.0f;

// Clamps into [lo, hi]; NaN becomes lo.
inline float saneRange(float s, float lo, float hi) {
    s = s > lo ? s : lo;
    return s < hi ? s : hi;
}

// All-ones when `condition` holds, else 0: lets the index maps below select without branches, so
// that their loops vectorise.
inline int maskOf(bool condition) {
    return -static_cast<int>(condition);
}

// The linear filter from a to b by f: a + (b - a) * f, its product and sum fused where the set
// fuses them. Every filter of a set blends this way (rowMulAdd in the row kernels), so that a
// one-row texture gives the same values on either path.
inline float linearBlend(float a, float b, float f) {
    return simd::multiplyAdd<kFusesMultiplyAdd>(b - a, f, a);
}

// A stored channel's value in [0, 1] scaled for rounding to 8 bits, x * 255 + 0.5, which every
// blend truncates. Fused where the set fuses, to the same byte: for every float in [0, 1] the two
// forms truncate alike, so blends store the same bits on every set.
inline float byteScaled(float x) {
    return simd::multiplyAdd<kFusesMultiplyAdd>(x, 255.0f, 0.5f);
}

// floor for values well inside int's range, as a float: a rounding instruction where the set has
// one (kHasRounding), else a conversion and a compare, which vectorise without one. The same value
// either way.
inline float floorOf(float s) {
    if constexpr (kHasRounding) {
        return std::floor(s);
    } else {
        const int k = static_cast<int>(s);
        return static_cast<float>(k - static_cast<int>(s < static_cast<float>(k)));
    }
}

// The fraction of x in [0, 1).
inline float fractionOf(float x) {
    x = saneRange(x, -kCoordinateLimit, kCoordinateLimit);
    return x - floorOf(x);
}

// Texel indices and filter fractions along one axis: `fold` brings a coordinate into the period
// the addressing mode repeats, `map` turns a texel index into the one the mode reads (-1 for the
// border). One pass, so that nothing goes through memory between the steps.
template <class Fold, class Map>
void resolveWith(const float* coord, int count, float scale, float lo, float hi, int* i0, int* i1,
                 float* frac, Fold fold, Map map) {
    for (int i = 0; i < count; ++i) {
        const float s = saneRange(scale * fold(coord[i]) - 0.5f, lo, hi);
        const float whole = floorOf(s);
        const int k = static_cast<int>(whole);
        frac[i] = s - whole;
        i0[i] = map(k);
        i1[i] = map(k + 1);
    }
}

void fillUnbound(int count, float (*out)[kTileLanes]) {
    for (int c = 0; c < 3; ++c) {
        for (int i = 0; i < count; ++i) {
            out[c][i] = 0.0f;
        }
    }
    for (int i = 0; i < count; ++i) {
        out[3][i] = 1.0f;
    }
}

// The texels at (x[i], y[i]), or the border colour where either index is -1. X8R8G8B8 texels
// already hold alpha 0xFF.
void gather(const PixelBuffer& texture, Colour border, const int* x, const int* y, int count,
            Colour* out) {
    // Textures are at most the adapter's maximum size on a side: offsets fit an int.
    const int pitch = static_cast<int>(texture.pitch);
    alignas(64) int at[kTileLanes] = {};  // lanes past count stay harmless indices
    for (int i = 0; i < count; ++i) {
        at[i] = (x[i] | y[i]) >= 0 ? y[i] * pitch + x[i] : 0;
    }
    gatherTexels(texture.pixels, at, count, out);
    for (int i = 0; i < count; ++i) {
        out[i] = (x[i] | y[i]) >= 0 ? out[i] : border;
    }
}

inline float unorm(Colour c, int shift) {
    return static_cast<float>((c >> shift) & 0xFFu) * (1.0f / 255.0f);
}

constexpr int kShift[4] = {16, 8, 0, 24};  // r, g, b, a in 0xAARRGGBB

void resolveTexelAxis(DWORD address, int size, const float* coord, int count, int* i0, int* i1,
                      float* frac) {
    const float n = static_cast<float>(size);
    const auto unchanged = [](float x) { return x; };
    switch (static_cast<TextureAddress>(address)) {
        case TextureAddress::Mirror: {
            // Fold into one period of 2 * size texels (forwards, then backwards), then mirror.
            const int period = 2 * size;
            const auto mirror = [=](int j) {
                // j runs from -1 to the period; -1 and the period read texel 0, as their
                // neighbours across the fold do. Otherwise the nearer of j and its mirror image
                // in the period.
                const int forwards = j ^ (j >> 31);  // -1 becomes 0
                const int mirrored = period - 1 - j;
                const int nearer = forwards < mirrored ? forwards : mirrored;
                return nearer > 0 ? nearer : 0;
            };
            // Coordinates in [0, 1) are their own fold (distances into a strip, typically).
            int outside = 0;
            for (int i = 0; i < count; ++i) {
                outside |= maskOf(!(coord[i] >= 0.0f && coord[i] < 1.0f));
            }
            if (outside == 0) {
                resolveWith(coord, count, n, -1.0f, 2.0f * n - 0.5f, i0, i1, frac, unchanged,
                            mirror);
            } else {
                resolveWith(
                    coord, count, n, -1.0f, 2.0f * n - 0.5f, i0, i1, frac,
                    [](float x) { return fractionOf(x * 0.5f) * 2.0f; }, mirror);
            }
            break;
        }
        case TextureAddress::Clamp:
            resolveWith(coord, count, n, -1.0f, n, i0, i1, frac, unchanged, [=](int j) {
                j &= ~maskOf(j < 0);
                return j - ((j - (size - 1)) & maskOf(j >= size));
            });
            break;
        case TextureAddress::Border:
            resolveWith(coord, count, n, -2.0f, n + 1.0f, i0, i1, frac, unchanged, [=](int j) {
                return j | maskOf(static_cast<unsigned>(j) >= static_cast<unsigned>(size));
            });
            break;
        case TextureAddress::MirrorOnce:
            resolveWith(
                coord, count, n, -1.0f, n, i0, i1, frac, [](float x) { return std::fabs(x); },
                [=](int j) {
                    j ^= maskOf(j < 0);  // -1 - j
                    return j - ((j - (size - 1)) & maskOf(j >= size));
                });
            break;
        case TextureAddress::Wrap:
        default:
            resolveWith(
                coord, count, n, -1.0f, n - 0.5f, i0, i1, frac,
                [](float x) { return fractionOf(x); },
                [=](int j) {
                    j += size & maskOf(j < 0);
                    return j - (size & maskOf(j >= size));
                });
            break;
    }
}

#if GS_ROW_KERNELS
// One row, one vector of lanes at a time (RowFloat, RowInt: the set's row kernel vocabulary): the
// steps of resolveTexelAxis, the fetch and the filter of the general path, in the same operations
// and order, so that the results are the same bits while the lanes stay in registers throughout.

// fractionOf, lane by lane.
GS_SIMD_INLINE RowFloat rowFraction(RowFloat x) {
    x = rowMin(rowMax(x, rowSet(-kCoordinateLimit)), rowSet(kCoordinateLimit));
    return x - rowFloor(x);
}

// The texel index that `mode` reads for index j, or -1 for the border: resolveTexelAxis's maps.
// (Lambdas would not take the set's target options from the region around them.)
template <TextureAddress mode>
GS_SIMD_INLINE RowInt rowTexelIndex(RowInt j, int size) {
    const RowInt zero = rowSetInt(0), last = rowSetInt(size - 1);
    if constexpr (mode == TextureAddress::Mirror) {
        const RowInt forwards = rowXor(j, rowSignMask(j));
        const RowInt mirrored = rowSubInt(rowSetInt(2 * size - 1), j);
        return rowMaxInt(rowMinInt(forwards, mirrored), zero);
    } else if constexpr (mode == TextureAddress::Clamp) {
        return rowMinInt(rowMaxInt(j, zero), last);
    } else if constexpr (mode == TextureAddress::Border) {
        return rowOr(j, rowOr(rowSignMask(j), rowGreaterInt(j, last)));
    } else if constexpr (mode == TextureAddress::MirrorOnce) {
        return rowMinInt(rowXor(j, rowSignMask(j)), last);
    } else {
        const RowInt sizes = rowSetInt(size);
        j = rowAddInt(j, rowAnd(sizes, rowSignMask(j)));
        return rowSubInt(j, rowAnd(sizes, rowGreaterInt(j, last)));
    }
}

// The texel pair and fraction of each coordinate, as resolveTexelAxis gives them under `mode`.
// Mirror folds only vectors with a coordinate outside [0, 1), where resolveTexelAxis decides per
// call: inside, the fold gives the coordinate back (or, below 2^-125, a value that the scaling
// rounds to the same position), and the map reduces to clamping.
template <TextureAddress mode>
GS_SIMD_INLINE void resolveRowLanes(RowFloat u, int size, RowInt* i0, RowInt* i1, RowFloat* frac) {
    const float n = static_cast<float>(size);
    RowFloat folded = u;
    float lo = -1.0f, hi = n;
    bool inside = false;
    if constexpr (mode == TextureAddress::Mirror) {
        hi = 2.0f * n - 0.5f;
        inside = rowInsideUnit(u);
        if (!inside) {
            folded = rowFraction(u * rowSet(0.5f)) * rowSet(2.0f);
        }
    } else if constexpr (mode == TextureAddress::Border) {
        lo = -2.0f;
        hi = n + 1.0f;
    } else if constexpr (mode == TextureAddress::MirrorOnce) {
        folded = rowAbs(u);
    } else if constexpr (mode == TextureAddress::Wrap) {
        hi = n - 0.5f;
        folded = rowFraction(u);
    }
    const RowFloat s = rowMin(rowMax(rowSet(n) * folded - rowSet(0.5f), rowSet(lo)), rowSet(hi));
    const RowFloat whole = rowFloor(s);
    const RowInt k = rowTruncate(whole);
    *frac = s - whole;
    const RowInt next = rowAddInt(k, rowSetInt(1));
    if (inside) {
        // k runs from -1 to size - 1, where mirroring only moves -1 to 0 and size to size - 1.
        // (The first index is held below size as well, so that no read could stray.)
        const RowInt last = rowSetInt(size - 1);
        *i0 = rowMinInt(rowMaxInt(k, rowSetInt(0)), last);
        *i1 = rowMinInt(next, last);
        return;
    }
    *i0 = rowTexelIndex<mode>(k, size);
    *i1 = rowTexelIndex<mode>(next, size);
}

// unorm, lane by lane.
template <int shift>
GS_SIMD_INLINE RowFloat rowUnorm(RowInt texels) {
    return rowToFloat(rowAnd(rowShiftRight<shift>(texels), rowSetInt(0xFF))) *
           rowSet(1.0f / 255.0f);
}

// One channel of the texel pairs, as unorm gives it, blended by the fractions where `linear`.
template <int shift, bool linear>
GS_SIMD_INLINE RowFloat rowChannel(RowInt t0, RowInt t1, RowFloat frac) {
    const RowFloat a = rowUnorm<shift>(t0);
    if constexpr (!linear) {
        return a;
    } else {
        const RowFloat b = rowUnorm<shift>(t1);
        return rowMulAdd(b - a, frac, a);
    }
}

// kRowLanes texels of the row from `start`, unpacked once for the vectors that read them: each
// channel's values as unorm gives them, and the steps to the next texel's values (the b - a of the
// filter). Strips are read at distances that move by a fraction of a texel from pixel to pixel, so
// one window serves many vectors.
struct RowWindow {
    int start = -(1 << 30);  // none yet: no index falls into it
    // The columns whose pair of texels both lie in the row: all but the row's last texel. None
    // before the first load, so that no position is taken as falling into it.
    unsigned pairs = 0;
    // start and pairs as rowColumnsBelow takes them, in every lane, for the vectors that stay in
    // the window: their columns are index - origin. (Set by emptyRowWindow and loadRowWindow: a
    // member initialiser would build them outside the set's target region.)
    RowInt origin = {}, limit = {};
    RowFloat value[4] = {}, step[4] = {};
};

GS_SIMD_INLINE RowWindow emptyRowWindow() {
    RowWindow window;
    window.origin = rowColumnOrigin(0);
    window.limit = rowColumnLimit(0);
    return window;
}

// Alpha's values only where `alpha` asks for them (what the sampler's caller reads).
GS_SIMD_INLINE void loadRowWindow(const Colour* row, int width, int start, bool alpha,
                                  RowWindow* window) {
    const int available = width - start;
    const RowInt here = rowLoadTexels(row + start, available < kRowLanes ? available : kRowLanes);
    const RowInt next =
        rowLoadTexels(row + start + 1, available - 1 < kRowLanes ? available - 1 : kRowLanes);
    window->start = start;
    const int pairs = width - 1 - start;
    window->pairs = static_cast<unsigned>(pairs < 0 ? 0 : pairs < kRowLanes ? pairs : kRowLanes);
    window->origin = rowColumnOrigin(start);
    window->limit = rowColumnLimit(window->pairs);
    window->value[0] = rowUnorm<16>(here);
    window->value[1] = rowUnorm<8>(here);
    window->value[2] = rowUnorm<0>(here);
    window->step[0] = rowUnorm<16>(next) - window->value[0];
    window->step[1] = rowUnorm<8>(next) - window->value[1];
    window->step[2] = rowUnorm<0>(next) - window->value[2];
    if (alpha) {
        window->value[3] = rowUnorm<24>(here);
        window->step[3] = rowUnorm<24>(next) - window->value[3];
    }
}

GS_SIMD_INLINE RowFloat filterInWindow(const RowWindow& window, int c, RowInt column,
                                       RowFloat frac) {
    return rowMulAdd(rowPick(window.step[c], column), frac, rowPick(window.value[c], column));
}

// The columns of the window that first texels i0 fall in, the window moved where they fall outside
// it. False where they do not fit in one window. `position` is the lanes' sample positions, whose
// first and last lanes tell which way the vectors that follow move.
GS_SIMD_INLINE bool windowColumns(const Colour* row, int width, RowInt i0, RowFloat position,
                                  int lanes, bool alpha, RowWindow* window, RowInt* column) {
    *column = rowSubInt(i0, rowSetInt(window->start));
    if (rowAllBelow(*column, kRowLanes, lanes)) {
        return true;
    }
    // The lanes of a strip read lie within a texel or two of the first lane's index, and the
    // vectors after them go on the same way (a strip is read at distances, which change slowly
    // along a row): the window starts at the first index where they grow and ends there where they
    // shrink, so that it serves those vectors for as long as it can.
    const float first = rowLaneValue(position, 0), last = rowLaneValue(position, lanes - 1);
    int start = rowFirst(i0) - (last >= first ? 0 : kRowLanes - 1);
    start = start < width - kRowLanes ? start : width - kRowLanes;
    start = start > 0 ? start : 0;
    loadRowWindow(row, width, start, alpha, window);
    *column = rowSubInt(i0, rowSetInt(start));
    return rowAllBelow(*column, kRowLanes, lanes);
}

GS_SIMD_INLINE void storeFiltered(const RowWindow& window, RowInt column, RowFloat frac, int lanes,
                                  float (*out)[kTileLanes], int at, bool alpha) {
    rowStore(out[0] + at, filterInWindow(window, 0, column, frac), lanes);
    rowStore(out[1] + at, filterInWindow(window, 1, column, frac), lanes);
    rowStore(out[2] + at, filterInWindow(window, 2, column, frac), lanes);
    if (alpha) {
        rowStore(out[3] + at, filterInWindow(window, 3, column, frac), lanes);
    }
}

// The linear filter of lanes whose pairs lie in one window, the second texel the first or the one
// after it (no wrap across the row's ends), written out: the same operations on the same values as
// rowChannel's. False, with nothing written, for any other vector.
GS_SIMD_INLINE bool filterFromWindow(const Colour* row, int width, RowInt i0, RowInt i1,
                                     RowFloat frac, RowFloat position, int lanes, RowWindow* window,
                                     float (*out)[kTileLanes], int at, bool alpha) {
    const RowInt step = rowSubInt(i1, i0);
    RowInt column;
    if (!rowAllBelow(step, 2, lanes) ||
        !windowColumns(row, width, i0, position, lanes, alpha, window, &column)) {
        return false;
    }
    // Where both indices are one texel, b - a is 0 and a + 0 * frac is a: the step to the next
    // texel, finite, times a fraction of 0 gives the same.
    frac = rowAndFloat(frac, rowGreaterInt(step, rowSetInt(0)));
    storeFiltered(*window, column, frac, lanes, out, at, alpha);
    return true;
}

// filterFromWindow for coordinates that only clamp at the row's ends (clamp addressing, or mirror
// with every coordinate in [0, 1)), in fewer steps: the sample position held to [0, size - 1]
// gives the first texel and the fraction at once. Where resolveRowLanes clamps, it gives this
// index and a pair of one texel, whose fraction filterFromWindow sets to 0: so does the held
// position. Inside, both compute the same position, floor and fraction. Without Held, every
// position is known to lie in [0, size - 1] already (RowInterior).
template <bool Held>
GS_SIMD_INLINE bool filterClampedFromWindow(const Colour* row, int width, RowFloat u, int lanes,
                                            RowWindow* window, float (*out)[kTileLanes], int at,
                                            bool alpha) {
    const float n = static_cast<float>(width);
    RowFloat s = rowSet(n) * u - rowSet(0.5f);
    if constexpr (Held) {
        s = rowMin(rowMax(s, rowSet(0.0f)), rowSet(n - 1.0f));
    }
    const RowFloat whole = rowFloor(s);
    RowInt column;
    if (!windowColumns(row, width, rowTruncate(whole), s, lanes, alpha, window, &column)) {
        return false;
    }
    storeFiltered(*window, column, s - whole, lanes, out, at, alpha);
    return true;
}

// The linear filter of lanes whose sample positions lie in the window's columns of pairs, written
// out: the vectors of a strip read that need neither holding nor a move of the window, which are
// most. Such a position lies in [0, size - 1), where filterClampedFromWindow computes the same
// position, floor and fraction; and its u in [0, 1), which mirror addressing leaves as it is.
// A position outside, or not a number, gives a column outside (floor's integer of it is
// INT32_MIN where it does not fit). False, with nothing written, where any lane falls outside.
GS_SIMD_INLINE bool filterInsideWindow(int width, RowFloat u, int lanes, const RowWindow& window,
                                       float (*out)[kTileLanes], int at, bool alpha) {
    const RowFloat s = rowSet(static_cast<float>(width)) * u - rowSet(0.5f);
    RowInt whole;
    RowFloat frac;
    rowFloorParts(s, &whole, &frac);
    const RowInt column = rowSubInt(whole, window.origin);
    if (!rowColumnsBelow(column, window.limit, lanes)) {
        return false;
    }
    storeFiltered(window, column, frac, lanes, out, at, alpha);
    return true;
}

// The coordinates whose sample positions, size * u - 0.5 as the filters round them, lie in
// [0, size - 1]: there the position needs no holding, and mirror addressing leaves u as it is.
// The position rounds monotonically in u, so the bounds are found by stepping the estimates until
// their own positions qualify.
struct RowInterior {
    float low, high;

    explicit RowInterior(int width) {
        const float n = static_cast<float>(width);
        low = 0.5f / n;
        while (n * low - 0.5f < 0.0f) {
            low = std::nextafter(low, 1.0f);
        }
        high = (n - 0.5f) / n;
        while (n * high - 0.5f > n - 1.0f) {
            high = std::nextafter(high, 0.0f);
        }
    }
};

// sampleRowWith's work for the `lanes` lanes from i, at `coordinate`: fetched, filtered and
// written out. Lanes past count hold coordinate 0, which gives indices inside the texture.
template <TextureAddress mode, bool linear>
GS_SIMD_INLINE void sampleRowVector(const Colour* row, int width, RowInt borderColour,
                                    const RowInterior& interior, RowFloat coordinate, int i,
                                    int lanes, RowWindow* window, float (*out)[kTileLanes],
                                    bool alpha) {
    if constexpr (linear && (mode == TextureAddress::Clamp || mode == TextureAddress::Mirror)) {
        if (filterInsideWindow(width, coordinate, lanes, *window, out, i, alpha)) {
            return;
        }
        if (rowWithin(coordinate, interior.low, interior.high, lanes)) {
            if (filterClampedFromWindow<false>(row, width, coordinate, lanes, window, out, i,
                                               alpha)) {
                return;
            }
        } else if ((mode == TextureAddress::Clamp || rowInsideUnit(coordinate)) &&
                   filterClampedFromWindow<true>(row, width, coordinate, lanes, window, out, i,
                                                 alpha)) {
            return;
        }
    }
    RowInt i0, i1;
    RowFloat frac;
    resolveRowLanes<mode>(coordinate, width, &i0, &i1, &frac);
    if constexpr (linear && mode != TextureAddress::Border) {
        if (filterFromWindow(row, width, i0, i1, frac, coordinate, lanes, window, out, i, alpha)) {
            return;
        }
    }
    if constexpr (!linear) {
        // The nearest texel: the second of the pair once the sample point is past its middle.
        i0 = rowSelect(rowLess(frac, rowSet(0.5f)), i0, i1);
        i1 = i0;
    }
    RowInt t0, t1;
    if constexpr (mode == TextureAddress::Border) {
        // -1 stands for the border: fetched as texel 0, then replaced.
        const RowInt zero = rowSetInt(0);
        rowFetchPairs(row, width, rowMaxInt(i0, zero), rowMaxInt(i1, zero), &t0, &t1);
        t0 = rowSelect(rowSignMask(i0), borderColour, t0);
        t1 = rowSelect(rowSignMask(i1), borderColour, t1);
    } else {
        rowFetchPairs(row, width, i0, i1, &t0, &t1);
    }
    rowStore(out[0] + i, rowChannel<16, linear>(t0, t1, frac), lanes);
    rowStore(out[1] + i, rowChannel<8, linear>(t0, t1, frac), lanes);
    rowStore(out[2] + i, rowChannel<0, linear>(t0, t1, frac), lanes);
    if (alpha) {
        rowStore(out[3] + i, rowChannel<24, linear>(t0, t1, frac), lanes);
    }
}

// The coordinates of a row read, vector by vector (next for whole vectors from lane 0 on, then
// last for the lanes left, if any), given as an array.
struct LoadedCoordinates {
    explicit LoadedCoordinates(const float* values) : u(values) {}

    GS_SIMD_INLINE RowFloat next(int i) { return rowLoad(u + i, kRowLanes); }
    GS_SIMD_INLINE RowFloat last(int i, int count) const { return rowLoad(u + i, count - i); }

    const float* u;
};

// The coordinates of a row read computed from the distances they are (RowDistances), in the
// distance kernels' operations and order. Each vector's is computed kAhead vectors before it is
// read, so that the processor works on its square root while it filters the vectors before it,
// instead of waiting for it.
struct DistanceCoordinates {
    static_assert(kFusesMultiplyAdd, "RowDistances are the fused kernels' distances");
    static constexpr int kAhead = 3;

    DistanceCoordinates(const RowDistances& d, int laneCount)
        : lanes(d.lanes),
          count(laneCount),
          sign(rowSetInt(static_cast<int>(d.sign))),
          offset(rowSet(d.offset)),
          yz(rowSet(d.yz)),
          scale(rowSet(d.scale)),
          second(rowSet(d.second)) {
        for (int k = 0; k < kAhead; ++k) {
            ahead[k] = from(k * kRowLanes);
        }
    }

    GS_SIMD_INLINE RowFloat next(int i) {
        const RowFloat coordinate = ahead[0];
        for (int k = 0; k + 1 < kAhead; ++k) {
            ahead[k] = ahead[k + 1];
        }
        ahead[kAhead - 1] = from(i + kAhead * kRowLanes);
        return coordinate;
    }
    GS_SIMD_INLINE RowFloat last(int, int) const { return ahead[0]; }

    // The coordinates from lane i on: 0 past count, as loaded ones are.
    GS_SIMD_INLINE RowFloat from(int i) const {
        if (i + kRowLanes <= count) {
            return distance(rowLoad(lanes + i, kRowLanes));
        }
        if (i >= count) {
            return rowSet(0.0f);
        }
        alignas(64) float values[kRowLanes];
        rowStore(values, distance(rowLoad(lanes + i, count - i)), kRowLanes);
        return rowLoad(values, count - i);
    }
    GS_SIMD_INLINE RowFloat distance(RowFloat x) const {
        x = rowXorFloat(x, sign) + offset;
        return rowSqrt(rowAbs(rowMulAdd(x, x, yz))) * scale * second;
    }

    const float* lanes;
    int count;
    RowInt sign;
    RowFloat offset, yz, scale, second;
    RowFloat ahead[kAhead];
};

// A one-row texture sampled with `mode` along it: the texel pair of each lane fetched, filtered
// and written out, vector by vector. Whole vectors take a loop of their own, in which the number
// of lanes is a constant: their loads, stores and tests need no lane masks.
// Alpha is left out where `alpha` is false (a program that reads colour only): the colour
// channels are what every caller reads.
template <TextureAddress mode, bool linear, class Coordinates>
void sampleRowWith(const PixelBuffer& texture, Colour border, Coordinates u, int count,
                   float (*out)[kTileLanes], bool alpha) {
    const Colour* row = texture.pixels;
    const int width = static_cast<int>(texture.width);
    const RowInt borderColour = rowSetInt(static_cast<int>(border));
    const RowInterior interior(width);
    RowWindow window = emptyRowWindow();
    int i = 0;
    for (; i + kRowLanes <= count; i += kRowLanes) {
        sampleRowVector<mode, linear>(row, width, borderColour, interior, u.next(i), i, kRowLanes,
                                      &window, out, alpha);
    }
    if (i < count) {
        sampleRowVector<mode, linear>(row, width, borderColour, interior, u.last(i, count), i,
                                      count - i, &window, out, alpha);
    }
}

template <bool linear, class Coordinates>
void sampleRowFiltered(const SamplerSetup& setup, const Coordinates& u, int count,
                       float (*out)[kTileLanes], bool alpha) {
    const PixelBuffer& texture = *setup.texture;
    switch (static_cast<TextureAddress>(setup.addressU)) {
        case TextureAddress::Mirror:
            return sampleRowWith<TextureAddress::Mirror, linear>(texture, setup.border, u, count,
                                                                 out, alpha);
        case TextureAddress::Clamp:
            return sampleRowWith<TextureAddress::Clamp, linear>(texture, setup.border, u, count,
                                                                out, alpha);
        case TextureAddress::Border:
            return sampleRowWith<TextureAddress::Border, linear>(texture, setup.border, u, count,
                                                                 out, alpha);
        case TextureAddress::MirrorOnce:
            return sampleRowWith<TextureAddress::MirrorOnce, linear>(texture, setup.border, u,
                                                                     count, out, alpha);
        case TextureAddress::Wrap:
        default:
            return sampleRowWith<TextureAddress::Wrap, linear>(texture, setup.border, u, count, out,
                                                               alpha);
    }
}

template <class Coordinates>
void sampleRowAt(const SamplerSetup& setup, bool linear, const Coordinates& u, int count,
                 float (*out)[kTileLanes], unsigned channels) {
    const bool alpha = (channels & 8u) != 0;
    if (linear) {
        sampleRowFiltered<true>(setup, u, count, out, alpha);
    } else {
        sampleRowFiltered<false>(setup, u, count, out, alpha);
    }
}

// The texture's one row at u[i], in the set's vectors.
void sampleRow(const SamplerSetup& setup, bool linear, const float* u, int count,
               float (*out)[kTileLanes], unsigned channels) {
    sampleRowAt(setup, linear, LoadedCoordinates(u), count, out, channels);
}

// The texture's one row at the distances (the sets with kDistancesInRowReads).
[[maybe_unused]] void sampleAtRowDistances(const SamplerSetup& setup, bool linear,
                                           const RowDistances& u, int count,
                                           float (*out)[kTileLanes], unsigned channels) {
    sampleRowAt(setup, linear, DistanceCoordinates(u, count), count, out, channels);
}

#else
// The texels of row 0 at x[i], or the border colour where the index is -1. Only border addressing
// gives -1: other modes gather straight from their indices.
void gatherRow(const PixelBuffer& texture, bool border, Colour borderColour, const int* x,
               int count, Colour* out) {
    if (!border) {
        gatherTexels(texture.pixels, x, count, out);
        return;
    }
    alignas(64) int at[kTileLanes] = {};  // lanes past count stay harmless indices
    for (int i = 0; i < count; ++i) {
        at[i] = x[i] >= 0 ? x[i] : 0;
    }
    gatherTexels(texture.pixels, at, count, out);
    for (int i = 0; i < count; ++i) {
        out[i] = x[i] >= 0 ? out[i] : borderColour;
    }
}

// The texture's one row at u[i]: the texel pairs resolved for the whole tile, then fetched, then
// filtered.
void sampleRow(const SamplerSetup& setup, bool linear, const float* u, int count,
               float (*out)[kTileLanes], unsigned channels) {
    const PixelBuffer& texture = *setup.texture;
    alignas(64) int x0[kTileLanes], x1[kTileLanes];
    alignas(64) float fx[kTileLanes];
    resolveTexelAxis(setup.addressU, static_cast<int>(texture.width), u, count, x0, x1, fx);
    const bool border = setup.addressU == static_cast<DWORD>(TextureAddress::Border);
    alignas(64) Colour t0[kTileLanes];
    if (!linear) {
        for (int i = 0; i < count; ++i) {
            x0[i] = fx[i] < 0.5f ? x0[i] : x1[i];
        }
        gatherRow(texture, border, setup.border, x0, count, t0);
        for (int c = 0; c < 4; ++c) {
            if (((channels >> c) & 1u) == 0) {
                continue;
            }
            for (int i = 0; i < count; ++i) {
                out[c][i] = unorm(t0[i], kShift[c]);
            }
        }
        return;
    }
    alignas(64) Colour t1[kTileLanes];
    if (border) {
        gatherRow(texture, border, setup.border, x0, count, t0);
        gatherRow(texture, border, setup.border, x1, count, t1);
    } else {
        gatherRowPairs(texture.pixels, static_cast<int>(texture.width), x0, x1, count, t0, t1);
    }
    for (int c = 0; c < 4; ++c) {
        if (((channels >> c) & 1u) == 0) {
            continue;
        }
        const int shift = kShift[c];
        float* result = out[c];
        for (int i = 0; i < count; ++i) {
            const float a = unorm(t0[i], shift), b = unorm(t1[i], shift);
            result[i] = linearBlend(a, b, fx[i]);
        }
    }
}

#endif

void sample(const SamplerSetup& setup, bool linear, const float* u, const float* v, int count,
            float (*out)[kTileLanes], unsigned channels) {
    if (setup.texture == nullptr) {
        fillUnbound(count, out);
        return;
    }
    const PixelBuffer& texture = *setup.texture;
    alignas(64) int x0[kTileLanes], x1[kTileLanes], y0[kTileLanes], y1[kTileLanes];
    alignas(64) float fx[kTileLanes], fy[kTileLanes];
    if (texture.height == 1 && setup.addressV != static_cast<DWORD>(TextureAddress::Border)) {
        // One row, and every mode but border maps every row index to it: the vertical filter
        // blends the row with itself, so only the horizontal one remains.
        sampleRow(setup, linear, u, count, out, channels);
        return;
    }
    resolveTexelAxis(setup.addressU, static_cast<int>(texture.width), u, count, x0, x1, fx);
    resolveTexelAxis(setup.addressV, static_cast<int>(texture.height), v, count, y0, y1, fy);

    alignas(64) Colour t00[kTileLanes];
    if (!linear) {
        // The nearest texel: the second of the pair once the sample point is past its middle.
        for (int i = 0; i < count; ++i) {
            x0[i] = fx[i] < 0.5f ? x0[i] : x1[i];
            y0[i] = fy[i] < 0.5f ? y0[i] : y1[i];
        }
        gather(texture, setup.border, x0, y0, count, t00);
        for (int c = 0; c < 4; ++c) {
            if (((channels >> c) & 1u) == 0) {
                continue;
            }
            for (int i = 0; i < count; ++i) {
                out[c][i] = unorm(t00[i], kShift[c]);
            }
        }
        return;
    }
    alignas(64) Colour t10[kTileLanes], t01[kTileLanes], t11[kTileLanes];
    gather(texture, setup.border, x0, y0, count, t00);
    gather(texture, setup.border, x1, y0, count, t10);
    gather(texture, setup.border, x0, y1, count, t01);
    gather(texture, setup.border, x1, y1, count, t11);
    for (int c = 0; c < 4; ++c) {
        if (((channels >> c) & 1u) == 0) {
            continue;
        }
        const int shift = kShift[c];
        float* result = out[c];
        for (int i = 0; i < count; ++i) {
            const float a = unorm(t00[i], shift), b = unorm(t10[i], shift);
            const float top = linearBlend(a, b, fx[i]);
            const float d = unorm(t01[i], shift), e = unorm(t11[i], shift);
            const float bottom = linearBlend(d, e, fx[i]);
            result[i] = linearBlend(top, bottom, fy[i]);
        }
    }
}

void interpolate(PipelineTile& tile, int count, int runs) {
    tile.inputs.sameInEveryLane = tile.defaultTexcoords;
    if (runs == 1 && !tile.perspective) {
        // One run (most tiles of a large primitive): its lanes share y, so dy * y is one product
        // for all of them, and the sums round as below.
        const PixelRun& run = tile.runs[0];
        const float x = static_cast<float>(run.x), y = static_cast<float>(run.y);
        for (int k = 0; k < tile.activeCount; ++k) {
            const int slot = tile.activeSlots[k];
            const Plane p = tile.planes[slot];
            const float rowTerm = p.dy * y;
            float* out = tile.slotLanes[slot];
            if (p.dx == 0.0f) {
                if (slot >= kTexCoordSlot) {
                    tile.inputs.sameInEveryLane |= 1u << (slot - kTexCoordSlot);
                }
                // dx * (x + i) is a zero of dx's sign at every lane (x + i whole and not
                // negative): every lane takes the first lane's value, which the tiles before
                // along the same row may have left there already.
                const float value = p.c + p.dx * x + rowTerm;
                const auto bits = std::bit_cast<std::uint32_t>(value);
                if (!tile.holdsConstant[slot] || tile.heldConstant[slot] != bits) {
                    std::fill_n(out, kTileLanes, value);
                    tile.holdsConstant[slot] = true;
                    tile.heldConstant[slot] = bits;
                }
                continue;
            }
            tile.holdsConstant[slot] = false;
            for (int i = 0; i < count; ++i) {
                out[i] = p.c + p.dx * (x + static_cast<float>(i)) + rowTerm;
            }
        }
        return;
    }
    for (int k = 0; k < tile.activeCount; ++k) {
        tile.holdsConstant[tile.activeSlots[k]] = false;  // written below for `count` lanes
    }
    // Attributes that do not change across the primitive (a point's, or a flat colour) are one
    // value: dx * x and dy * y are zeros of dx's and dy's signs at every pixel centre, x and y
    // being whole and not negative, so the sum is the one that x = y = 1 gives.
    bool allConstant = !tile.perspective;
    for (int k = 0; k < tile.activeCount && allConstant; ++k) {
        const Plane& p = tile.planes[tile.activeSlots[k]];
        allConstant = p.dx == 0.0f && p.dy == 0.0f;
    }
    if (allConstant) {
        for (int k = 0; k < tile.activeCount; ++k) {
            const int slot = tile.activeSlots[k];
            const Plane p = tile.planes[slot];
            std::fill_n(tile.slotLanes[slot], count, p.c + p.dx + p.dy);
        }
        return;
    }
    // The lanes' pixel centres, from the runs they hold.
    for (int r = 0; r < runs; ++r) {
        const PixelRun& run = tile.runs[r];
        const float x = static_cast<float>(run.x), y = static_cast<float>(run.y);
        float* laneX = tile.laneX + run.firstLane;
        float* laneY = tile.laneY + run.firstLane;
        for (int i = 0; i < run.count; ++i) {
            laneX[i] = x + static_cast<float>(i);
            laneY[i] = y;
        }
    }
    alignas(64) float inverseRhw[kTileLanes];
    if (tile.perspective) {
        const Plane q = tile.rhwPlane;
        for (int i = 0; i < count; ++i) {
            inverseRhw[i] = 1.0f / (q.c + q.dx * tile.laneX[i] + q.dy * tile.laneY[i]);
        }
    }
    for (int k = 0; k < tile.activeCount; ++k) {
        const int slot = tile.activeSlots[k];
        const Plane p = tile.planes[slot];
        float* out = tile.slotLanes[slot];
        for (int i = 0; i < count; ++i) {
            out[i] = p.c + p.dx * tile.laneX[i] + p.dy * tile.laneY[i];
        }
        if (tile.perspective) {
            for (int i = 0; i < count; ++i) {
                out[i] *= inverseRhw[i];
            }
        }
    }
}

void runTextureStage(const DrawSetup& setup, PipelineTile& tile, int count) {
    const TextureStageSetup& stage = setup.stage;
    if (tile.stageReadsTexture) {
        const SamplerSetup& sampler = setup.textures->unit(0);
        const bool linear = tile.textureMinified ? sampler.minifyLinear : sampler.magnifyLinear;
        const auto& coords = tile.inputs.texcoord[stage.texCoordSet];
        sample(sampler, linear, coords[0], coords[1], count, tile.texel, 15u);
    }

    // One argument's four channels: the source itself when no modifier applies, else a copy in
    // tile.argument[index] with the modifiers applied.
    auto load = [&](DWORD arg, int index) -> const float(*)[kTileLanes] {
        const float(*source)[kTileLanes] = nullptr;
        const float* constant = nullptr;
        static constexpr float kZero[4] = {0.0f, 0.0f, 0.0f, 0.0f};
        switch (arg & kArgSelectMask) {
            case kArgDiffuse:
            case kArgCurrent:  // stage 0's current colour is the diffuse colour
                source = tile.inputs.colour[0];
                break;
            case kArgTexture:
                source = tile.texel;
                break;
            case kArgTFactor:
                constant = stage.textureFactor.data();
                break;
            case kArgSpecular:
                source = tile.inputs.colour[1];
                break;
            default:
                constant = kZero;
                break;
        }
        const bool complement = (arg & kArgComplement) != 0;
        const bool replicate = (arg & kArgAlphaReplicate) != 0;
        if (source != nullptr && !complement && !replicate) {
            return source;
        }
        for (int c = 0; c < 4; ++c) {
            const int from = replicate ? 3 : c;
            float* out = tile.argument[index][c];
            if (source != nullptr) {
                for (int i = 0; i < count; ++i)
                    out[i] = source[from][i];
            } else {
                for (int i = 0; i < count; ++i)
                    out[i] = constant[from];
            }
            if (complement) {
                for (int i = 0; i < count; ++i)
                    out[i] = 1.0f - out[i];
            }
        }
        return tile.argument[index];
    };

    const float(*diffuse)[kTileLanes] = tile.inputs.colour[0];
    const float(*arg1)[kTileLanes] = load(stage.colourArg1, 0);
    const float(*arg2)[kTileLanes] = load(stage.colourArg2, 1);
    for (int c = 0; c < 3; ++c) {
        applyTextureOp(stage.colourOp, arg1[c], arg2[c], diffuse[c], tile.output.colour[c], count);
    }
    // With the colour operation disabled the whole stage is off: alpha is the diffuse alpha too.
    const DWORD alphaOp = stage.colourOp == kOpDisable ? kOpDisable : stage.alphaOp;
    arg1 = load(stage.alphaArg1, 0);
    arg2 = load(stage.alphaArg2, 1);
    applyTextureOp(alphaOp, arg1[3], arg2[3], diffuse[3], tile.output.colour[3], count);
    if (stage.addSpecular) {
        for (int c = 0; c < 3; ++c) {
            for (int i = 0; i < count; ++i) {
                tile.output.colour[c][i] =
                    saturate(tile.output.colour[c][i] + tile.inputs.colour[1][c][i]);
            }
        }
    }
}

// target[i] = the sum of source and target per channel, saturated and rounded to 8 bits: the
// additive blend's inner loop, as blendConstantFactorsAndStore writes it for weights of one.
template <bool Alpha>
void addSaturatedLoop(const float (*source)[kTileLanes], int first, Colour* target, int count) {
    const Colour forced = Alpha ? 0u : kOpaqueAlpha;
    for (int i = 0; i < count; ++i) {
        const Colour d = target[i];
        // Written out per channel, with constant shifts, so that the loop vectorises.
        const auto channel = [&](int c, int shift) {
            const float dc = static_cast<float>((d >> shift) & 0xFFu) * (1.0f / 255.0f);
            const float out = saturate(source[c][first + i]) + dc;
            return static_cast<Colour>(static_cast<int>(byteScaled(saturate(out)))) << shift;
        };
        Colour value = forced | channel(0, 16) | channel(1, 8) | channel(2, 0);
        if constexpr (Alpha) {
            value |= channel(3, 24);
        }
        target[i] = value;
    }
}

// blendAndStore for a blend whose four factors are Zero or One and whose operations are Add
// (tile.constantBlend): one pass over the lanes, reading and writing the target in place where the
// tile is one run. Gives the very values of the general path: s * 1 + d * 1 and s * 0 + d * 1 round
// as the same sums.
void blendConstantFactorsAndStore(const DrawSetup& setup, PipelineTile& tile, int count, int runs) {
    const std::array<float, 4> sf = tile.constantBlend.source, df = tile.constantBlend.destination;
    Colour* pixels = setup.target.pixels;
    const float(*source)[kTileLanes] = tile.output.colour;
    const bool alpha = setup.target.hasAlpha();
    if (tile.constantBlend.addsWhole) {
        // Weights of one are left out: x * 1 is x. Run by run, in place.
        for (int r = 0; r < runs; ++r) {
            const PixelRun& run = tile.runs[r];
            addSaturated(source, run.firstLane, pixels + run.offset, run.count, alpha);
        }
        return;
    }
    alignas(64) Colour copied[kTileLanes];
    Colour* target = runs == 1 ? pixels + tile.runs[0].offset : copied;
    if (runs > 1) {
        for (int r = 0; r < runs; ++r) {
            const PixelRun& run = tile.runs[r];
            std::memcpy(copied + run.firstLane, pixels + run.offset, run.count * sizeof(Colour));
        }
    }
    // Alpha is left out where the target keeps none.
    const auto blend = [&]<bool Alpha>() {
        const Colour forced = Alpha ? 0u : kOpaqueAlpha;
        for (int i = 0; i < count; ++i) {
            const Colour d = target[i];
            const auto channel = [&](int c, int shift) {
                const float dc = static_cast<float>((d >> shift) & 0xFFu) * (1.0f / 255.0f);
                const float out = saturate(source[c][i]) * sf[c] + dc * df[c];
                return static_cast<Colour>(static_cast<int>(byteScaled(saturate(out)))) << shift;
            };
            Colour value = forced | channel(0, 16) | channel(1, 8) | channel(2, 0);
            if constexpr (Alpha) {
                value |= channel(3, 24);
            }
            target[i] = value;
        }
    };
    alpha ? blend.template operator()<true>() : blend.template operator()<false>();
    if (runs > 1) {
        for (int r = 0; r < runs; ++r) {
            const PixelRun& run = tile.runs[r];
            std::memcpy(pixels + run.offset, copied + run.firstLane, run.count * sizeof(Colour));
        }
    }
}

void blendAndStore(const DrawSetup& setup, PipelineTile& tile, int count, int runs) {
    if (tile.constantBlendPath) {
        blendConstantFactorsAndStore(setup, tile, count, runs);
        return;
    }
    // The target stores 0..1: the shader's output is saturated before blending.
    float(*source)[kTileLanes] = tile.output.colour;
    for (int c = 0; c < 4; ++c) {
        for (int i = 0; i < count; ++i) {
            source[c][i] = saturate(source[c][i]);
        }
    }
    Colour* pixels = setup.target.pixels;
    const BlendSetup& blend = setup.blend;
    const bool needTarget = blend.enabled || blend.writeMask != 0xFFFFFFFFu;
    alignas(64) Colour stored[kTileLanes];
    if (needTarget) {
        for (int r = 0; r < runs; ++r) {
            const PixelRun& run = tile.runs[r];
            std::memcpy(stored + run.firstLane, pixels + run.offset, run.count * sizeof(Colour));
        }
    }

    if (blend.enabled) {
        // X8R8G8B8 targets hold alpha 0xFF, so their alpha reads as 1 here.
        static constexpr int kShift[4] = {16, 8, 0, 24};
        for (int c = 0; c < 4; ++c) {
            for (int i = 0; i < count; ++i) {
                tile.destination[c][i] =
                    static_cast<float>((stored[i] >> kShift[c]) & 0xFFu) * (1.0f / 255.0f);
            }
        }
        for (int c = 0; c < 4; ++c) {
            const bool alpha = c == 3;
            computeBlendFactor(alpha ? blend.sourceAlpha : blend.sourceColour, c, source,
                               tile.destination, blend.blendFactor, count, tile.sourceFactor[c]);
            computeBlendFactor(alpha ? blend.destinationAlpha : blend.destinationColour, c, source,
                               tile.destination, blend.blendFactor, count,
                               tile.destinationFactor[c]);
        }
        for (int c = 0; c < 4; ++c) {
            const DWORD op = c == 3 ? blend.operationAlpha : blend.operationColour;
            float* s = source[c];
            const float* d = tile.destination[c];
            const float* sf = tile.sourceFactor[c];
            const float* df = tile.destinationFactor[c];
            switch (static_cast<BlendOp>(op)) {
                case BlendOp::Subtract:
                    for (int i = 0; i < count; ++i)
                        s[i] = s[i] * sf[i] - d[i] * df[i];
                    break;
                case BlendOp::RevSubtract:
                    for (int i = 0; i < count; ++i)
                        s[i] = d[i] * df[i] - s[i] * sf[i];
                    break;
                case BlendOp::Min:
                    for (int i = 0; i < count; ++i)
                        s[i] = s[i] < d[i] ? s[i] : d[i];
                    break;
                case BlendOp::Max:
                    for (int i = 0; i < count; ++i)
                        s[i] = s[i] > d[i] ? s[i] : d[i];
                    break;
                case BlendOp::Add:
                default:
                    for (int i = 0; i < count; ++i)
                        s[i] = s[i] * sf[i] + d[i] * df[i];
                    break;
            }
        }
    }

    // Round to nearest 8-bit values, saturated.
    const Colour forced = setup.target.hasAlpha() ? 0u : kOpaqueAlpha;
    alignas(64) Colour packed[kTileLanes];
    for (int i = 0; i < count; ++i) {
        // Converted as signed: every value lies in 0..255.5, and the signed conversion vectorises.
        const auto channel = [&](int c) {
            return static_cast<Colour>(static_cast<int>(byteScaled(saturate(source[c][i]))));
        };
        packed[i] =
            (channel(3) << 24) | (channel(0) << 16) | (channel(1) << 8) | channel(2) | forced;
    }
    if (blend.writeMask != 0xFFFFFFFFu) {
        const Colour mask = blend.writeMask;
        for (int i = 0; i < count; ++i) {
            packed[i] = (packed[i] & mask) | (stored[i] & ~mask) | forced;
        }
    }
    for (int r = 0; r < runs; ++r) {
        const PixelRun& run = tile.runs[r];
        std::memcpy(pixels + run.offset, packed + run.firstLane, run.count * sizeof(Colour));
    }
}

// Bilinear weights in 15 bits and filtered channels in 1/128 steps of their 8-bit value (0 ..
// 255 * 128): every value the filter and the additive blend hold fits 16 bits, so that a set with
// 16-bit lanes computes the very values of this file's loops twice as many lanes at a time. Each
// product rounds to the nearest step: with the weights' own rounding, the three lerps and the
// blend's weighting keep a channel within 4 steps (1/32) of the exact result before it rounds to
// its byte.
constexpr int kWeightBits = 15;
constexpr int kWeightOne = 1 << kWeightBits;
constexpr int kFilteredBits = 7;
constexpr float kFilteredToUnit = 1.0f / (255.0f * (1 << kFilteredBits));
constexpr float kFilteredToByte = 1.0f / (1 << kFilteredBits);

// x * w / 2^15, rounded to the nearest integer (halves upwards), for |x| < 2^15 and w <= 2^15:
// what a 16-bit rounding high multiply gives for w < 2^15, and x itself for w = 2^15.
inline int productRounded(int x, int w) {
    return (x * w + (1 << (kWeightBits - 1))) >> kWeightBits;
}

// A filter fraction in [0, 1) as a linear filter's weight: below 2^15, so that it fits a signed
// 16-bit lane.
inline int linearWeight(float fraction) {
    const int w = static_cast<int>(fraction * static_cast<float>(kWeightOne) + 0.5f);
    return w < kWeightOne - 1 ? w : kWeightOne - 1;
}

// The texel positions of a tile whose every footprint lies inside the texture: coordinates in
// [0, 1) and positions from 0 to below size - 1 on both axes. There no addressing mode folds a
// coordinate or moves an index, and each second index is the first plus one, so the offset of each
// lane's first texel and the fractions follow from the position alone, as resolveTexelAxis would
// give them. False where any lane falls outside (NaN included); the outputs are then of no use.
GS_SIMD_INLINE bool resolveInteriorFootprints(const PixelBuffer& texture, const float* u,
                                              const float* v, int count, int* at, float* fx,
                                              float* fy) {
    const float width = static_cast<float>(texture.width);
    const float height = static_cast<float>(texture.height);
    const float lastX = width - 1.0f, lastY = height - 1.0f;
    const int pitch = static_cast<int>(texture.pitch);
    int outside = 0;
    for (int i = 0; i < count; ++i) {
        const float sx = width * u[i] - 0.5f;
        const float sy = height * v[i] - 0.5f;
        // Coordinates in [0, 1) follow: a position from 0 to below size - 1 has no other.
        const bool inside = (sx >= 0.0f) & (sx < lastX) & (sy >= 0.0f) & (sy < lastY);
        outside |= maskOf(!inside);
        // Clamped only so that the conversions stay defined for the lanes that fail.
        const int kx = static_cast<int>(saneRange(sx, 0.0f, lastX));
        const int ky = static_cast<int>(saneRange(sy, 0.0f, lastY));
        fx[i] = sx - static_cast<float>(kx);
        fy[i] = sy - static_cast<float>(ky);
        at[i] = ky * pitch + kx;
    }
    return outside == 0;
}

// The four texels of each lane's bilinear footprint. Where every lane's second column is the one
// after its first and no index stands for the border, each row's pair comes from one 64-bit load;
// otherwise (texture edges under clamping or mirroring, the border) texel by texel.
void gatherFootprints(const PixelBuffer& texture, Colour border, const int* x0, const int* x1,
                      const int* y0, const int* y1, int count, Colour* t00, Colour* t10,
                      Colour* t01, Colour* t11) {
    int apart = 0;
    for (int i = 0; i < count; ++i) {
        apart |= ((x1[i] - x0[i]) ^ 1) | maskOf((x0[i] | y0[i] | y1[i]) < 0);
    }
    if (apart != 0) {
        gather(texture, border, x0, y0, count, t00);
        gather(texture, border, x1, y0, count, t10);
        gather(texture, border, x0, y1, count, t01);
        gather(texture, border, x1, y1, count, t11);
        return;
    }
    const int pitch = static_cast<int>(texture.pitch);
    alignas(64) int top[kTileLanes], bottom[kTileLanes];
    for (int i = 0; i < count; ++i) {
        top[i] = y0[i] * pitch + x0[i];
        bottom[i] = y1[i] * pitch + x0[i];
    }
    gatherTexelPairs(texture.pixels, top, count, t00, t10);
    gatherTexelPairs(texture.pixels, bottom, count, t01, t11);
}

// The four texels of each footprint of lanes inside the texture (resolveInteriorFootprints): each
// row's pair from one load, the first texel in the low half, split apart in vector code. The sets
// with no faster way make this their gatherInteriorFootprints.
void gatherInteriorFootprintsByPairs(const PixelBuffer& texture, const int* at, int count,
                                     Colour* t00, Colour* t10, Colour* t01, Colour* t11) {
    alignas(64) std::uint64_t top[kTileLanes], bottom[kTileLanes];
    gatherFootprintPairs(texture.pixels, texture.pitch, at, count, top, bottom);
    for (int i = 0; i < count; ++i) {
        t00[i] = static_cast<Colour>(top[i]);
        t10[i] = static_cast<Colour>(top[i] >> 32);
        t01[i] = static_cast<Colour>(bottom[i]);
        t11[i] = static_cast<Colour>(bottom[i] >> 32);
    }
}

// One channel of four texels, filtered with weights in fixed point: 0 .. 255 * 2^7. Each lerp is
// a + (b - a) * w, the product rounded; every value fits 16 bits.
inline int filteredValue(Colour t00, Colour t10, Colour t01, Colour t11, int wx, int wy,
                         int shift) {
    const int a = static_cast<int>((t00 >> shift) & 0xFFu) << kFilteredBits;
    const int b = static_cast<int>((t10 >> shift) & 0xFFu) << kFilteredBits;
    const int d = static_cast<int>((t01 >> shift) & 0xFFu) << kFilteredBits;
    const int e = static_cast<int>((t11 >> shift) & 0xFFu) << kFilteredBits;
    const int top = a + productRounded(b - a, wx);
    const int bottom = d + productRounded(e - d, wx);
    return top + productRounded(bottom - top, wy);
}

// Whether a blend factor is the constant 0 or 1.
inline bool zeroOrOne(AlphaLinearFactor f) {
    return f.slope == 0.0f && (f.base == 0.0f || f.base == 1.0f);
}

// The source factor for alpha a in 15 bits (up to 2^15 for One), for the additive blends: the
// weighted value rounds to a step and then to its byte, in integers.
inline int sourceWeight(AlphaLinearFactor source, float a) {
    return static_cast<int>((source.base + source.slope * a) * static_cast<float>(kWeightOne) +
                            0.5f);
}

// The FilteredAddition of a tile whose lanes share the source alpha a, under a blend whose
// destination factors are 0 or 1.
inline FilteredAddition filteredAddition(const DrawSetup& setup, const TexturedPathSetup& path,
                                         float a) {
    const AlphaLinearFactor sa = path.source[3];
    FilteredAddition addition;
    addition.weight = sourceWeight(path.source[0], a);
    addition.keepColour = path.destination[0].base != 0.0f ? 0xFFu : 0u;
    addition.forced = setup.target.hasAlpha() ? 0u : kOpaqueAlpha;
    addition.mask = setup.blend.writeMask;
    // Targets without alpha and masks without it keep no blended alpha.
    addition.storesAlpha = addition.forced == 0 && (addition.mask & kOpaqueAlpha) != 0;
    addition.alphaByte = static_cast<Colour>(a * (sa.base + sa.slope * a) * 255.0f + 0.5f);
    addition.keepAlpha = path.destination[3].base != 0.0f ? 0xFFu : 0u;
    return addition;
}

// The largest texture whose positions (kPositionBits) fit 31 bits.
constexpr UINT kMaxAffineSize = 1u << (30 - kPositionBits);

// A run's texel positions along one axis: size * (c + dx * x + dy * y) - 0.5 at its first pixel,
// as the general path computes it, then one step of size * dx per pixel, in fixed point. False
// where a position of the run lies outside [0, size - 1) (the positions are linear along the run:
// its ends decide) or the plane gives no finite one.
inline bool runPositions(const Plane& p, float size, float x, float y, int count,
                         RunPositions* positions) {
    const float start = size * (p.c + p.dx * x + p.dy * y) - 0.5f;
    const double step = static_cast<double>(size) * static_cast<double>(p.dx);
    const double scale = static_cast<double>(1 << kPositionBits);
    const double limit = static_cast<double>(size - 1.0f) * scale;
    // Range tests in double, before any conversion: NaN fails them.
    const double first = std::round(static_cast<double>(start) * scale);
    // A run of one pixel takes no step (whatever the plane's, which need not fit 32 bits).
    const double stepped = count > 1 ? std::round(step * scale) : 0.0;
    const double last = first + stepped * (count - 1);
    if (!(first >= 0.0 && first < limit && last >= 0.0 && last < limit)) {
        return false;
    }
    positions->first = static_cast<std::int32_t>(first);
    positions->step = static_cast<std::int32_t>(stepped);
    return true;
}

// The positions of a tile whose draw is affine and linearly filtered, where every footprint lies
// inside the texture: stepped in fixed point along each run instead of computed lane by lane in
// floating point. A position moves from the general path's by its rounding to 2^-19 of a texel
// and by that of the step times the lanes before it: under 2^-9 of a texel across a tile, a
// filtered value by under 1/2 of a level where neighbouring texels differ most. False, with nothing
// of use written, where a run leaves the texture's inside or the texture is larger than the fixed
// point holds.
GS_SIMD_INLINE bool affineRuns(const PixelBuffer& texture, const Plane& pu, const Plane& pv,
                               const PipelineTile& tile, int runs, AffineRun* affine) {
    if (texture.width > kMaxAffineSize || texture.height > kMaxAffineSize) {
        return false;
    }
    const float width = static_cast<float>(texture.width);
    const float height = static_cast<float>(texture.height);
    for (int r = 0; r < runs; ++r) {
        const PixelRun& run = tile.runs[r];
        const float x = static_cast<float>(run.x), y = static_cast<float>(run.y);
        AffineRun& a = affine[r];
        if (!runPositions(pu, width, x, y, run.count, &a.s) ||
            !runPositions(pv, height, x, y, run.count, &a.t)) {
            return false;
        }
        a.firstLane = run.firstLane;
        a.count = run.count;
    }
    return true;
}

// The offset of the first texel of lane i's footprint in an affine run.
inline std::int64_t footprintOffset(const AffineRun& run, std::size_t pitch, int i) {
    const std::int32_t sx = run.s.first + run.s.step * i;
    const std::int32_t sy = run.t.first + run.t.step * i;
    return static_cast<std::int64_t>(sy >> kPositionBits) * static_cast<std::int64_t>(pitch) +
           (sx >> kPositionBits);
}

// The footprints of affine runs (affineRuns): the offset of each lane's first texel and its 15-bit
// weights.
GS_SIMD_INLINE void affineFootprints(const PixelBuffer& texture, const AffineRun* affine, int runs,
                                     int* at, int* wx, int* wy) {
    const int pitch = static_cast<int>(texture.pitch);
    constexpr std::int32_t kFractionMask = (1 << kPositionBits) - 1;
    constexpr int kWeightShift = kPositionBits - kWeightBits;
    for (int r = 0; r < runs; ++r) {
        const AffineRun& run = affine[r];
        int* runAt = at + run.firstLane;
        int* runWx = wx + run.firstLane;
        int* runWy = wy + run.firstLane;
        for (int i = 0; i < run.count; ++i) {
            const std::int32_t sx = run.s.first + run.s.step * i;
            const std::int32_t sy = run.t.first + run.t.step * i;
            runAt[i] = (sy >> kPositionBits) * pitch + (sx >> kPositionBits);
            runWx[i] = (sx & kFractionMask) >> kWeightShift;
            runWy[i] = (sy & kFractionMask) >> kWeightShift;
        }
    }
}

// The texture's lines that the footprints kPrefetchRows rows further down the target will read,
// asked into the second-level cache while this tile is shaded. A texture drawn across many rows is
// read a row or two at a time as the draw moves down, which the processor's own prefetching does
// not foresee well enough once the texture outgrows that cache (a 4K target's feedback, 8 MiB);
// smaller textures stay there anyway, and the requests would only cost. Affine draws only: their
// footprints further down are these moved by the planes' steps down the rows.
constexpr int kPrefetchRows = 8;
constexpr std::size_t kPrefetchedTextureBytes = std::size_t{4} << 20;
GS_SIMD_INLINE void prefetchFootprintsBelow(const PixelBuffer& texture, const Plane& pu,
                                            const Plane& pv, const AffineRun* affine, int runs) {
    if (texture.pitch * texture.height * sizeof(Colour) <= kPrefetchedTextureBytes) {
        return;
    }
    const float width = static_cast<float>(texture.width);
    const float height = static_cast<float>(texture.height);
    const auto pitch = static_cast<std::int64_t>(texture.pitch);
    // Texels down and across, held to the texture's size (NaN to 0) before they become integers.
    const auto texelsAhead = [](float step, float size) {
        const float texels = step * size * kPrefetchRows;
        const float held = std::fabs(texels) <= size ? texels
                           : texels > 0.0f           ? size
                           : texels < 0.0f           ? -size
                                                     : 0.0f;
        return static_cast<std::int64_t>(held);
    };
    const std::int64_t ahead = texelsAhead(pv.dy, height) * pitch + texelsAhead(pu.dy, width);
    // One lane per line of 16 texels along the run, the texels a lane moves by taken from the
    // plane; the footprints' second row with each.
    const float texelsPerLane = std::fabs(pu.dx * width);
    const int stride = !(texelsPerLane > 0.5f) ? 32
                       : texelsPerLane < 16.0f ? static_cast<int>(16.0f / texelsPerLane)
                                               : 1;
    const std::int64_t last = pitch * static_cast<std::int64_t>(texture.height) - pitch - 1;
    for (int r = 0; r < runs; ++r) {
        for (int k = 0; k < affine[r].count; k += stride) {
            const std::int64_t line = footprintOffset(affine[r], texture.pitch, k) + ahead;
            if (line >= 0 && line <= last) {
                __builtin_prefetch(texture.pixels + line, 0, 2);
                __builtin_prefetch(texture.pixels + line + pitch, 0, 2);
            }
        }
    }
}

// shadeTexturedTile for a tile of `lanes` lanes: kTileLanes in one run (the bulk of a large
// primitive), where every loop runs a known number of times, or 0 for any other tile.
// ConstantAlpha: the source alpha is the same in every lane (a diffuse alpha whose plane does not
// change, as a quad of one colour has), so that the blend's weights are worked out once.
template <int lanes, bool ConstantAlpha>
void shadeTexturedLanes(const DrawSetup& setup, PipelineTile& tile, int anyCount, int runs) {
    const int count = lanes != 0 ? lanes : anyCount;
    const SamplerSetup& sampler = setup.textures->unit(0);
    const PixelBuffer& texture = *sampler.texture;
    const TexturedPathSetup& path = tile.textured;
    const bool linear = tile.textureMinified ? sampler.minifyLinear : sampler.magnifyLinear;

    // The diffuse alpha (1 where the vertices have none), as the general path interpolates it at
    // the lane positions the span gives it.
    alignas(64) float alpha[kTileLanes];
    const Plane pa =
        path.diffuseAlphaSupplied ? tile.planes[kDiffuseSlot + 3] : Plane{1.0f, 0.0f, 0.0f};
    if constexpr (!ConstantAlpha) {
        for (int r = 0; r < runs; ++r) {
            const PixelRun& run = tile.runs[r];
            const float x = static_cast<float>(run.x), y = static_cast<float>(run.y);
            float* runAlpha = alpha + run.firstLane;
            const int runCount = lanes != 0 ? lanes : run.count;
            for (int i = 0; i < runCount; ++i) {
                runAlpha[i] = saturate(pa.c + pa.dx * (x + static_cast<float>(i)) + pa.dy * y);
            }
        }
    }
    // c + 0 * x + 0 * y is c + 0 for every finite lane position.
    const float constantAlpha = saturate(pa.c + 0.0f);
    const auto alphaOf = [&](int i) { return ConstantAlpha ? constantAlpha : alpha[i]; };

    const int uSlot = kTexCoordSlot + 4 * setup.stage.texCoordSet;
    const Plane pu = tile.planes[uSlot], pv = tile.planes[uSlot + 1];
    AffineRun affine[kTileLanes];
    const bool affineTile = linear && affineRuns(texture, pu, pv, tile, runs, affine);
    if (affineTile) {
        prefetchFootprintsBelow(texture, pu, pv, affine, runs);
    }

    // Red, green and blue share their factors. Blending works in 8-bit units: the filtered value
    // times kFilteredToByte, the stored byte as it is.
    const AlphaLinearFactor sc = path.source[0], sa = path.source[3];
    const AlphaLinearFactor dc = path.destination[0], da = path.destination[3];
    Colour* pixels = setup.target.pixels;
    // The set's one pass over affine runs, where it has one: texels fetched, filtered and blended
    // in registers, run by run in place, over the target's pixels or the clear they wait for.
    if constexpr (ConstantAlpha && kAddsAffineRuns) {
        if (affineTile && zeroOrOne(dc) && zeroOrOne(da)) {
            const FilteredAddition addition = filteredAddition(setup, path, constantAlpha);
            for (int r = 0; r < runs; ++r) {
                const PixelRun& run = tile.runs[r];
                Colour* runPixels = pixels + run.offset;
                addAffineRun(addition, texture, affine[r],
                             run.unfilled ? tile.fillLanes : runPixels, runPixels);
            }
            return;
        }
    }

    // A tile of one run (inside a wide span) is blended in place; others through a copy.
    alignas(64) Colour gathered[kTileLanes];
    Colour* target = runs == 1 ? pixels + tile.runs[0].offset : gathered;
    const Colour* destination = runs == 1 && tile.runs[0].unfilled ? tile.fillLanes : target;
    if (runs > 1) {
        for (int r = 0; r < runs; ++r) {
            const PixelRun& run = tile.runs[r];
            std::memcpy(gathered + run.firstLane,
                        run.unfilled ? tile.fillLanes : pixels + run.offset,
                        run.count * sizeof(Colour));
        }
    }
    const auto storeGathered = [&] {
        if (runs > 1) {
            for (int r = 0; r < runs; ++r) {
                const PixelRun& run = tile.runs[r];
                std::memcpy(pixels + run.offset, gathered + run.firstLane,
                            run.count * sizeof(Colour));
            }
        }
    };

    alignas(64) Colour t00[kTileLanes], t10[kTileLanes], t01[kTileLanes], t11[kTileLanes];
    alignas(64) int at[kTileLanes], wx[kTileLanes], wy[kTileLanes];
    std::fill(at + count, at + kTileLanes, 0);  // lanes past count stay harmless offsets
    if (affineTile) {
        affineFootprints(texture, affine, runs, at, wx, wy);
        gatherInteriorFootprints(texture, at, count, t00, t10, t01, t11);
    } else {
        // The coordinates lane by lane, as the general path interpolates them. Lanes past count
        // are never read; they hold zeros for the vector loops that pass over them. A full tile
        // (the common case) has none to clear.
        alignas(64) float u[kTileLanes], v[kTileLanes];
        std::fill(u + count, u + kTileLanes, 0.0f);
        std::fill(v + count, v + kTileLanes, 0.0f);
        for (int r = 0; r < runs; ++r) {
            const PixelRun& run = tile.runs[r];
            const float x = static_cast<float>(run.x), y = static_cast<float>(run.y);
            float* runU = u + run.firstLane;
            float* runV = v + run.firstLane;
            const int runCount = lanes != 0 ? lanes : run.count;
            for (int i = 0; i < runCount; ++i) {
                const float laneX = x + static_cast<float>(i);
                runU[i] = pu.c + pu.dx * laneX + pu.dy * y;
                runV[i] = pv.c + pv.dx * laneX + pv.dy * y;
            }
        }
        alignas(64) float fx[kTileLanes], fy[kTileLanes];
        if (resolveInteriorFootprints(texture, u, v, count, at, fx, fy)) {
            gatherInteriorFootprints(texture, at, count, t00, t10, t01, t11);
        } else {
            alignas(64) int x0[kTileLanes], x1[kTileLanes], y0[kTileLanes], y1[kTileLanes];
            const int width = static_cast<int>(texture.width);
            const int height = static_cast<int>(texture.height);
            resolveTexelAxis(sampler.addressU, width, u, count, x0, x1, fx);
            resolveTexelAxis(sampler.addressV, height, v, count, y0, y1, fy);
            gatherFootprints(texture, sampler.border, x0, x1, y0, y1, count, t00, t10, t01, t11);
        }
        if (linear) {
            for (int i = 0; i < count; ++i) {
                wx[i] = linearWeight(fx[i]);
                wy[i] = linearWeight(fy[i]);
            }
        } else {
            // The nearest texel, as the general path picks it.
            for (int i = 0; i < count; ++i) {
                wx[i] = fx[i] < 0.5f ? 0 : kWeightOne;
                wy[i] = fy[i] < 0.5f ? 0 : kWeightOne;
            }
        }
    }

    if (path.alphaFromTexture) {
        for (int i = 0; i < count; ++i) {
            alpha[i] = static_cast<float>(
                           filteredValue(t00[i], t10[i], t01[i], t11[i], wx[i], wy[i], 24)) *
                       kFilteredToUnit;
        }
    }

    const Colour forced = setup.target.hasAlpha() ? 0u : kOpaqueAlpha;
    const Colour mask = setup.blend.writeMask;
    if (zeroOrOne(dc) && zeroOrOne(da)) {
        // The stored byte counts whole or not at all (blending off, additive blends), and the
        // weighted source is never negative: rounding the sum is adding the byte to the rounded
        // source, in integers.
        const Colour keepColour = dc.base != 0.0f ? 0xFFu : 0u;
        const Colour keepAlpha = da.base != 0.0f ? 0xFFu : 0u;
        const auto blendTile = [&](auto storesAlpha) {
            // With one alpha for every lane, the set's own vectors may take most of the tile.
            int done = 0;
            if constexpr (ConstantAlpha) {
                if (linear) {
                    done = addFilteredTexels(filteredAddition(setup, path, constantAlpha), t00, t10,
                                             t01, t11, wx, wy, count, destination, target);
                }
            }
            for (int i = done; i < count; ++i) {
                const float a = alphaOf(i);
                const Colour d = destination[i];
                const int weight = sourceWeight(sc, a);
                const auto sum = [&](int rounded, int shift, Colour keep) {
                    const int total = rounded + static_cast<int>((d >> shift) & keep);
                    return static_cast<Colour>(total < 255 ? total : 255);
                };
                const auto colour = [&](int shift) {
                    const int value = productRounded(
                        filteredValue(t00[i], t10[i], t01[i], t11[i], wx[i], wy[i], shift), weight);
                    return sum((value + (1 << (kFilteredBits - 1))) >> kFilteredBits, shift,
                               keepColour);
                };
                Colour value = (colour(16) << 16) | (colour(8) << 8) | colour(0);
                if constexpr (decltype(storesAlpha)::value) {
                    const int rounded =
                        static_cast<int>(a * (sa.base + sa.slope * a) * 255.0f + 0.5f);
                    value |= sum(rounded, 24, keepAlpha) << 24;
                }
                target[i] = (value & mask) | (d & ~mask) | forced;
            }
        };
        // Targets without alpha and masks without it keep no blended alpha.
        if (forced == 0 && (mask & kOpaqueAlpha) != 0) {
            blendTile(std::true_type{});
        } else {
            blendTile(std::false_type{});
        }
    } else {
        for (int i = 0; i < count; ++i) {
            const float a = alphaOf(i);
            const Colour d = destination[i];
            const float sourceScale = (sc.base + sc.slope * a) * kFilteredToByte;
            const float destinationColour = dc.base + dc.slope * a;
            // One channel blended and rounded to its 8-bit value.
            const auto blended = [&](float s, float df, int shift) {
                float out = s + static_cast<float>((d >> shift) & 0xFFu) * df;
                out = out > 0.0f ? out : 0.0f;
                out = out < 255.0f ? out : 255.0f;
                return static_cast<Colour>(static_cast<int>(out + 0.5f));
            };
            const auto colour = [&](int shift) {
                const int value =
                    filteredValue(t00[i], t10[i], t01[i], t11[i], wx[i], wy[i], shift);
                return blended(static_cast<float>(value) * sourceScale, destinationColour, shift);
            };
            const Colour alphaByte =
                blended(a * (sa.base + sa.slope * a) * 255.0f, da.base + da.slope * a, 24);
            const Colour value =
                (alphaByte << 24) | (colour(16) << 16) | (colour(8) << 8) | colour(0);
            target[i] = (value & mask) | (d & ~mask) | forced;
        }
    }
    storeGathered();
}

void shadeTexturedTile(const DrawSetup& setup, PipelineTile& tile, int count, int runs) {
    const TexturedPathSetup& path = tile.textured;
    const Plane& pa = tile.planes[kDiffuseSlot + 3];
    const bool constantAlpha =
        !path.alphaFromTexture && (!path.diffuseAlphaSupplied || (pa.dx == 0.0f && pa.dy == 0.0f));
    if (count == kTileLanes && runs == 1) {
        constantAlpha ? shadeTexturedLanes<kTileLanes, true>(setup, tile, count, runs)
                      : shadeTexturedLanes<kTileLanes, false>(setup, tile, count, runs);
    } else {
        constantAlpha ? shadeTexturedLanes<0, true>(setup, tile, count, runs)
                      : shadeTexturedLanes<0, false>(setup, tile, count, runs);
    }
}

}  // namespace

#if GS_ROW_KERNELS
constexpr PipelineKernels::RowDistanceSampler kSampleAtRowDistances =
    kDistancesInRowReads ? &sampleAtRowDistances : nullptr;
#else
constexpr PipelineKernels::RowDistanceSampler kSampleAtRowDistances = nullptr;
#endif

constexpr PipelineKernels kKernels = {&interpolate,
                                      &runTextureStage,
                                      &blendAndStore,
                                      &shadeTexturedTile,
                                      &sample,
                                      &resolveTexelAxis,
                                      &resolveInteriorFootprints,
                                      kSampleAtRowDistances};
