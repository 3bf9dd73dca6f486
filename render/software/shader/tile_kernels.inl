// The tile kernels of one instruction set: tile_kernels.cpp includes this once per set, inside that
// set's namespace and target region. It includes nothing itself.
//
// Each kernel is a handful of loops over the tile's lanes, one per written component, with the
// operation inlined and no per-lane branch, so the compiler turns them into vector code of the
// set. Kernels are specialised on which sources are uniform (constants), so a constant is a value
// held in a register instead of a load per lane.
//
// The loops read and write through plain pointers, not restrict ones: an instruction such as
// "add r0, r0, c0" writes the very array it reads, which restrict would make undefined. The
// compiler's run-time overlap test still sends that exact in-place case to the vector loop.

namespace {

namespace math = arithmetic;
using shader::Opcode;

inline float negateIf(float x, std::uint32_t sign) {
    return std::bit_cast<float>(std::bit_cast<std::uint32_t>(x) ^ sign);
}

// A source component as a kernel reads it: one value per lane, or one value for all lanes.
template <bool Uniform>
class Operand {
public:
    Operand(const float* values, std::uint32_t sign)
        : values_(Uniform ? values : std::assume_aligned<kLaneAlignment>(values)),
          sign_(sign),
          uniform_(Uniform ? negateIf(values[0], sign) : 0.0f) {}
    float operator[](int lane) const {
        if constexpr (Uniform) {
            return uniform_;
        } else {
            return negateIf(values_[lane], sign_);
        }
    }

private:
    const float* values_;
    std::uint32_t sign_;
    float uniform_;
};

constexpr bool bit(unsigned mask, unsigned n) {
    return (mask >> n) & 1u;
}

unsigned firstComponent(const CompiledInstruction& in) {
    return static_cast<unsigned>(std::countr_zero(static_cast<unsigned>(in.writeMask)));
}

// Saturation, then the move out of the scratch register where a hazard sent the results there.
void saturateAndMove(const CompiledInstruction& in, const TileContext& tile) {
    const int count = tile.count;
    for (unsigned c = 0; c < 4; ++c) {
        if (!bit(in.writeMask, c)) {
            continue;
        }
        float* values = tile.write(in.target[c]);
        if (in.saturate) {
            for (int i = 0; i < count; ++i) {
                values[i] = math::saturate(values[i]);
            }
        }
        if (bit(in.redirected, c)) {
            std::memcpy(tile.write(in.destination[c]), values, sizeof(float) * count);
        }
    }
}

// Most instructions have neither: one test instead of a call and a loop over the components.
inline void finish(const CompiledInstruction& in, const TileContext& tile) {
    if (in.saturate || in.redirected != 0) {
        saturateAndMove(in, tile);
    }
}

// Copies the one computed component to the other written components (scalar results).
void copyToOtherComponents(const CompiledInstruction& in, const TileContext& tile,
                           unsigned computed) {
    const float* values = tile.write(in.target[computed]);
    for (unsigned c = computed + 1; c < 4; ++c) {
        if (bit(in.writeMask, c)) {
            std::memcpy(tile.write(in.target[c]), values, sizeof(float) * tile.count);
        }
    }
}

// Most scalar results are written to one component (a distance's x, say): one test instead of a
// call.
inline void replicate(const CompiledInstruction& in, const TileContext& tile, unsigned computed) {
    if ((static_cast<unsigned>(in.writeMask) >> (computed + 1)) != 0) {
        copyToOtherComponents(in, tile, computed);
    }
}

// Componentwise operations.
struct Move {
    static constexpr unsigned kArity = 1;
    static float apply(float a) { return a; }
};
struct Absolute {
    static constexpr unsigned kArity = 1;
    static float apply(float a) { return std::fabs(a); }
};
struct Fraction {
    static constexpr unsigned kArity = 1;
    static float apply(float a) { return math::fraction(a); }
};
struct Add {
    static constexpr unsigned kArity = 2;
    static float apply(float a, float b) { return a + b; }
};
struct Multiply {
    static constexpr unsigned kArity = 2;
    static float apply(float a, float b) { return a * b; }
};
struct Minimum {
    static constexpr unsigned kArity = 2;
    static float apply(float a, float b) { return math::minimum(a, b); }
};
struct Maximum {
    static constexpr unsigned kArity = 2;
    static float apply(float a, float b) { return math::maximum(a, b); }
};
struct MultiplyAdd {
    static constexpr unsigned kArity = 3;
    static float apply(float a, float b, float c) { return a * b + c; }
};
struct Compare {
    static constexpr unsigned kArity = 3;
    static float apply(float a, float b, float c) { return math::compare(a, b, c); }
};
struct Interpolate {
    static constexpr unsigned kArity = 3;
    static float apply(float a, float b, float c) { return math::interpolate(a, b, c); }
};

// Scalar operations.
struct Reciprocal {
    static constexpr unsigned kArity = 1;
    static float apply(float a) { return math::reciprocal(a); }
};
struct ReciprocalSquareRoot {
    static constexpr unsigned kArity = 1;
    static float apply(float a) { return math::reciprocalSquareRoot(a); }
};
// log and exp run over the lanes through the set's own functions (logarithm2Lanes,
// exponential2Lanes), which equal these per-lane ones bit for bit; so does the fused power's
// shortPowerLanes.
struct Logarithm {
    static constexpr unsigned kArity = 1;
    static float apply(float a) { return math::logarithm2(a); }
    static void lanes(const float* a, std::uint32_t sign, float* d, int count) {
        logarithm2Lanes(a, sign, d, count);
    }
};
struct Exponential {
    static constexpr unsigned kArity = 1;
    static float apply(float a) { return math::exponential2(a); }
    static void lanes(const float* a, std::uint32_t sign, float* d, int count) {
        exponential2Lanes(a, sign, d, count);
    }
};
struct Power {
    static constexpr unsigned kArity = 2;
    static float apply(float a, float b) { return math::power(a, b); }
};

// Operations the compiler fuses from instruction chains.
struct SquareRoot {
    static constexpr unsigned kArity = 1;
    static float apply(float a) { return math::squareRootOfMagnitude(a); }
};
struct ScaledSquareRoot {
    static constexpr unsigned kArity = 2;
    static float apply(float a, float b) { return math::squareRootOfMagnitude(a) * b; }
};
struct SumProduct {
    static constexpr unsigned kArity = 3;
    static float apply(float a, float b, float c) { return (a + b) * c; }
};
struct SquareRootOfSum {
    static constexpr unsigned kArity = 2;
    static float apply(float a, float b) { return math::squareRootOfMagnitude(a + b); }
};
struct ShortPower {
    static constexpr unsigned kArity = 2;
    static float apply(float a, float b) { return math::shortPower(a, b); }
    // With a uniform exponent (what the fusion always has), through the set's own function.
    static void lanesByUniform(const float* a, std::uint32_t sign, float y, float* d, int count) {
        shortPowerLanes(a, sign, y, d, count);
    }
};

template <class Op, bool U0, bool U1, bool U2>
void componentwise(const CompiledInstruction& in, const TileContext& tile) {
    const int count = tile.count;
    for (unsigned c = 0; c < 4; ++c) {
        if (!bit(in.writeMask, c)) {
            continue;
        }
        float* d = tile.write(in.target[c]);
        const Operand<U0> a(tile.read(in.source[0][c]), in.sign[0]);
        if constexpr (Op::kArity == 1) {
            for (int i = 0; i < count; ++i) {
                d[i] = Op::apply(a[i]);
            }
        } else if constexpr (Op::kArity == 2) {
            const Operand<U1> b(tile.read(in.source[1][c]), in.sign[1]);
            for (int i = 0; i < count; ++i) {
                d[i] = Op::apply(a[i], b[i]);
            }
        } else {
            const Operand<U1> b(tile.read(in.source[1][c]), in.sign[1]);
            const Operand<U2> e(tile.read(in.source[2][c]), in.sign[2]);
            for (int i = 0; i < count; ++i) {
                d[i] = Op::apply(a[i], b[i], e[i]);
            }
        }
    }
    finish(in, tile);
}

template <class Op, bool U0, bool U1, bool U2>
void scalar(const CompiledInstruction& in, const TileContext& tile) {
    const int count = tile.count;
    const unsigned computed = firstComponent(in);
    float* d = tile.write(in.target[computed]);
    const Operand<U0> a(tile.read(in.source[0][0]), in.sign[0]);
    if constexpr (Op::kArity == 1) {
        if constexpr (U0) {
            // A constant operand: one evaluation for the whole tile.
            const float value = Op::apply(a[0]);
            for (int i = 0; i < count; ++i) {
                d[i] = value;
            }
        } else if constexpr (requires { &Op::lanes; }) {
            Op::lanes(tile.read(in.source[0][0]), in.sign[0], d, count);
        } else {
            for (int i = 0; i < count; ++i) {
                d[i] = Op::apply(a[i]);
            }
        }
    } else {
        const Operand<U1> b(tile.read(in.source[1][0]), in.sign[1]);
        if constexpr (U0 && U1) {
            const float value = Op::apply(a[0], b[0]);
            for (int i = 0; i < count; ++i) {
                d[i] = value;
            }
        } else if constexpr (!U0 && U1 && requires { &Op::lanesByUniform; }) {
            Op::lanesByUniform(tile.read(in.source[0][0]), in.sign[0], b[0], d, count);
        } else {
            for (int i = 0; i < count; ++i) {
                d[i] = Op::apply(a[i], b[i]);
            }
        }
    }
    replicate(in, tile, computed);
    finish(in, tile);
}

// The fused power by the table of its def exponent (the uniform second source).
template <bool U0>
void tablePower(const CompiledInstruction& in, const TileContext& tile) {
    const unsigned computed = firstComponent(in);
    float* d = tile.write(in.target[computed]);
    const float* a = tile.read(in.source[0][0]);
    if constexpr (U0) {
        std::fill_n(d, tile.count, math::tablePower(a[0], *in.powerTable));
    } else {
        tablePowerLanes(a, *in.powerTable, d, tile.count);
    }
    replicate(in, tile, computed);
    finish(in, tile);
}

// The same of a sum, a + c (source 1 is the exponent): the add that fed the power, in the pass.
template <bool U0, bool U2>
void tablePowerOfSum(const CompiledInstruction& in, const TileContext& tile) {
    const unsigned computed = firstComponent(in);
    float* d = tile.write(in.target[computed]);
    if constexpr (!U0 && !U2) {
        tablePowerOfSumLanes(tile.read(in.source[0][0]), in.sign[0], tile.read(in.source[2][0]),
                             in.sign[2], *in.powerTable, d, tile.count);
    } else {
        const Operand<U0> a(tile.read(in.source[0][0]), in.sign[0]);
        const Operand<U2> c(tile.read(in.source[2][0]), in.sign[2]);
        for (int i = 0; i < tile.count; ++i) {
            d[i] = math::tablePower(a[i] + c[i], *in.powerTable);
        }
    }
    replicate(in, tile, computed);
    finish(in, tile);
}

// A sum product whose factor is the fused magnitude of a sum (FusedOperation::
// SumProductOfTablePower and SumProductOfSquareRoot): (a + b) * F(p + q), F negated where sign[2]
// says, with every source a lane array.
template <bool Power>
void sumProductOfMagnitude(const CompiledInstruction& in, const TileContext& tile) {
    const int count = tile.count;
    for (unsigned c = 0; c < 4; ++c) {
        if (!bit(in.writeMask, c)) {
            continue;
        }
        float* d = tile.write(in.target[c]);
        const float* a = tile.read(in.source[0][c]);
        const float* b = tile.read(in.source[1][c]);
        const float* p = tile.read(in.factorSource[0][c]);
        const float* q = tile.read(in.factorSource[1][c]);
        if constexpr (Power) {
            sumProductOfTablePowerLanes(a, in.sign[0], b, in.sign[1], p, in.factorSign[0], q,
                                        in.factorSign[1], in.sign[2], *in.powerTable, d, count);
        } else if ((in.sign[0] | in.sign[1] | in.factorSign[0] | in.sign[2]) == 0) {
            // Nothing negated but perhaps q: the sum times the root of a sum or a difference
            // (p + -q is p - q), without a sign operation on every read.
            a = std::assume_aligned<kLaneAlignment>(a);
            b = std::assume_aligned<kLaneAlignment>(b);
            p = std::assume_aligned<kLaneAlignment>(p);
            q = std::assume_aligned<kLaneAlignment>(q);
            if (in.factorSign[1] != 0) {
                for (int i = 0; i < count; ++i) {
                    d[i] = (a[i] + b[i]) * math::squareRootOfMagnitude(p[i] - q[i]);
                }
            } else {
                for (int i = 0; i < count; ++i) {
                    d[i] = (a[i] + b[i]) * math::squareRootOfMagnitude(p[i] + q[i]);
                }
            }
        } else {
            const Operand<false> x(a, in.sign[0]), y(b, in.sign[1]);
            const Operand<false> u(p, in.factorSign[0]), v(q, in.factorSign[1]);
            for (int i = 0; i < count; ++i) {
                d[i] =
                    (x[i] + y[i]) * negateIf(math::squareRootOfMagnitude(u[i] + v[i]), in.sign[2]);
            }
        }
    }
    finish(in, tile);
}

// a * b + c as the set computes it (multiplyAdd).
inline float fused(float a, float b, float c) {
    return simd::multiplyAdd<kFusesMultiplyAdd>(a, b, c);
}

// The sum of the products of dp3 and nrm: the baseline accumulates them from x to z; sets that
// fuse multiply-adds start from z's product and add y's and x's in fused steps, so that across a
// row, where y and z are one value for a tile, a distance takes one fused step per pixel.
inline float sumOfProducts3(float a0, float a1, float a2, float b0, float b1, float b2) {
    if constexpr (kFusesMultiplyAdd) {
        return fused(a0, b0, fused(a1, b1, a2 * b2));
    } else {
        float sum = a0 * b0;
        sum += a1 * b1;
        sum += a2 * b2;
        return sum;
    }
}

// dp3 and dp4: the sum of products (sumOfProducts3, w's product first where the set fuses).
template <unsigned N, bool U0, bool U1>
void dot(const CompiledInstruction& in, const TileContext& tile) {
    const int count = tile.count;
    const unsigned computed = firstComponent(in);
    float* d = tile.write(in.target[computed]);
    const Operand<U0> a0(tile.read(in.source[0][0]), in.sign[0]);
    const Operand<U0> a1(tile.read(in.source[0][1]), in.sign[0]);
    const Operand<U0> a2(tile.read(in.source[0][2]), in.sign[0]);
    const Operand<U0> a3(tile.read(in.source[0][N == 4 ? 3 : 2]), in.sign[0]);
    const Operand<U1> b0(tile.read(in.source[1][0]), in.sign[1]);
    const Operand<U1> b1(tile.read(in.source[1][1]), in.sign[1]);
    const Operand<U1> b2(tile.read(in.source[1][2]), in.sign[1]);
    const Operand<U1> b3(tile.read(in.source[1][N == 4 ? 3 : 2]), in.sign[1]);
    if constexpr (N == 3) {
        for (int i = 0; i < count; ++i) {
            d[i] = sumOfProducts3(a0[i], a1[i], a2[i], b0[i], b1[i], b2[i]);
        }
    } else if constexpr (kFusesMultiplyAdd) {
        for (int i = 0; i < count; ++i) {
            const float zw = fused(a2[i], b2[i], a3[i] * b3[i]);
            d[i] = fused(a0[i], b0[i], fused(a1[i], b1[i], zw));
        }
    } else {
        for (int i = 0; i < count; ++i) {
            float sum = sumOfProducts3(a0[i], a1[i], a2[i], b0[i], b1[i], b2[i]);
            sum += a3[i] * b3[i];
            d[i] = sum;
        }
    }
    replicate(in, tile, computed);
    finish(in, tile);
}

// Whether the y and z of a distance's difference, a + b, are one value in every lane: a tile of one
// row of pixels.
inline bool differencesAlongRow(const CompiledInstruction& in, const TileContext& tile) {
    for (unsigned k = 1; k < 3; ++k) {
        if (!tile.sameInEveryLane(in.source[0][k]) || !tile.sameInEveryLane(in.source[1][k])) {
            return false;
        }
    }
    return true;
}

// The fused sub and dp3: (a + b) . (a + b) over x, y and z, each difference rounded as the sub
// rounds it and the sum accumulated as dp3 accumulates it. With one scale, the fused scaled square
// root of that sum follows in the same pass: sqrt|sum| times the uniform source 2; with two, that
// product times the uniform factorSource[0][0], rounded as the second mul rounds it.
template <bool U0, bool U1, int Scales>
void distancesInto(const CompiledInstruction& in, const TileContext& tile, float* d) {
    const int count = tile.count;
    const Operand<U0> a0(tile.read(in.source[0][0]), in.sign[0]);
    const Operand<U0> a1(tile.read(in.source[0][1]), in.sign[0]);
    const Operand<U0> a2(tile.read(in.source[0][2]), in.sign[0]);
    const Operand<U1> b0(tile.read(in.source[1][0]), in.sign[1]);
    const Operand<U1> b1(tile.read(in.source[1][1]), in.sign[1]);
    const Operand<U1> b2(tile.read(in.source[1][2]), in.sign[1]);
    const float scale =
        Scales > 0 ? Operand<true>(tile.read(in.source[2][0]), in.sign[2])[0] : 1.0f;
    const float second =
        Scales > 1 ? Operand<true>(tile.read(in.factorSource[0][0]), in.factorSign[0])[0] : 1.0f;
    const auto result = [&](float sum) {
        if constexpr (Scales == 2) {
            return math::squareRootOfMagnitude(sum) * scale * second;
        } else if constexpr (Scales == 1) {
            return math::squareRootOfMagnitude(sum) * scale;
        } else {
            return sum;
        }
    };
    if (!U0 && differencesAlongRow(in, tile)) {
        // A pixel's distance to a point across a row of pixels (the effect passes): y and z are
        // one value for the tile, their squares one product each, or one fused sum, added in
        // sumOfProducts3's order.
        const float y = a1[0] + b1[0], z = a2[0] + b2[0];
        if constexpr (kFusesMultiplyAdd) {
            const float yz = fused(y, y, z * z);
            for (int i = 0; i < count; ++i) {
                const float x = a0[i] + b0[i];
                d[i] = result(fused(x, x, yz));
            }
        } else {
            const float yy = y * y, zz = z * z;
            for (int i = 0; i < count; ++i) {
                const float x = a0[i] + b0[i];
                float sum = x * x;
                sum += yy;
                sum += zz;
                d[i] = result(sum);
            }
        }
    } else {
        for (int i = 0; i < count; ++i) {
            const float x = a0[i] + b0[i], y = a1[i] + b1[i], z = a2[i] + b2[i];
            d[i] = result(sumOfProducts3(x, y, z, x, y, z));
        }
    }
}

template <bool U0, bool U1, int Scales>
void distance(const CompiledInstruction& in, const TileContext& tile) {
    const unsigned computed = firstComponent(in);
    distancesInto<U0, U1, Scales>(in, tile, tile.write(in.target[computed]));
    replicate(in, tile, computed);
    finish(in, tile);
}

// The distances of distancesInto as RowDistances, for a tile whose y and z are one value in every
// lane and whose x reads lanes from one source and a uniform from the other (U0 != U1); x is their
// sum either way round.
template <bool U0, int Scales>
RowDistances rowDistances(const CompiledInstruction& in, const TileContext& tile) {
    constexpr unsigned kLanes = U0 ? 1 : 0;
    const Operand<true> a1(tile.read(in.source[0][1]), in.sign[0]);
    const Operand<true> a2(tile.read(in.source[0][2]), in.sign[0]);
    const Operand<true> b1(tile.read(in.source[1][1]), in.sign[1]);
    const Operand<true> b2(tile.read(in.source[1][2]), in.sign[1]);
    const float y = a1[0] + b1[0], z = a2[0] + b2[0];
    RowDistances u;
    u.lanes = tile.read(in.source[kLanes][0]);
    u.sign = in.sign[kLanes];
    u.offset = Operand<true>(tile.read(in.source[1 - kLanes][0]), in.sign[1 - kLanes])[0];
    u.yz = fused(y, y, z * z);
    u.scale = Operand<true>(tile.read(in.source[2][0]), in.sign[2])[0];
    if constexpr (Scales > 1) {
        u.second = Operand<true>(tile.read(in.factorSource[0][0]), in.factorSign[0])[0];
    }
    return u;
}

// texld at a scaled distance: the texture units compute the distances as they read where they
// can, a row of pixels reading a one-row texture; otherwise the distances go to a lane array
// first, as the two instructions would have had them.
template <bool U0, bool U1, int Scales>
void sampleAtDistance(const CompiledInstruction& in, const TileContext& tile) {
    auto* texel = reinterpret_cast<float(*)[kTileLanes]>(tile.write(in.target[0]));
    if constexpr (kFusesMultiplyAdd && U0 != U1) {
        if (differencesAlongRow(in, tile) &&
            tile.textures->sampleAtRowDistances(in.sampler, rowDistances<U0, Scales>(in, tile),
                                                tile.count, texel, in.writeMask)) {
            finish(in, tile);
            return;
        }
    }
    alignas(kLaneAlignment) float u[kTileLanes];
    distancesInto<U0, U1, Scales>(in, tile, u);
    tile.textures->sample2D(in.sampler, u, tile.read(in.source[2][1]), tile.count, texel,
                            in.writeMask);
    finish(in, tile);
}

// nrm: each written component of the source times rsq(dot3(source, source)).
template <bool U0>
void normalize(const CompiledInstruction& in, const TileContext& tile) {
    const int count = tile.count;
    const Operand<U0> x(tile.read(in.source[0][0]), in.sign[0]);
    const Operand<U0> y(tile.read(in.source[0][1]), in.sign[0]);
    const Operand<U0> z(tile.read(in.source[0][2]), in.sign[0]);
    alignas(64) float factor[kTileLanes];
    for (int i = 0; i < count; ++i) {
        factor[i] = math::normalizeFactor(sumOfProducts3(x[i], y[i], z[i], x[i], y[i], z[i]));
    }
    for (unsigned c = 0; c < 4; ++c) {
        if (!bit(in.writeMask, c)) {
            continue;
        }
        float* d = tile.write(in.target[c]);
        const Operand<U0> a(tile.read(in.source[0][c]), in.sign[0]);
        for (int i = 0; i < count; ++i) {
            d[i] = a[i] * factor[i];
        }
    }
    finish(in, tile);
}

// texld: the coordinate register's x and y are already the u and v arrays the sampler takes.
void textureLoad(const CompiledInstruction& in, const TileContext& tile) {
    const float* u = tile.read(in.source[0][0]);
    const float* v = tile.read(in.source[0][1]);
    auto* texel = reinterpret_cast<float(*)[kTileLanes]>(tile.write(in.target[0]));
    // Only the components the program reads: the optimiser leaves the others out of the mask.
    tile.textures->sample2D(in.sampler, u, v, tile.count, texel, in.writeMask);
    finish(in, tile);
}

// Kernel tables indexed by the uniform-source mask.
template <class Op, std::size_t... Mask>
constexpr std::array<InstructionKernel, sizeof...(Mask)> componentwiseTable(
    std::index_sequence<Mask...>) {
    return {&componentwise<Op, bit(Mask, 0), bit(Mask, 1), bit(Mask, 2)>...};
}
template <class Op, std::size_t... Mask>
constexpr std::array<InstructionKernel, sizeof...(Mask)> scalarTable(std::index_sequence<Mask...>) {
    return {&scalar<Op, bit(Mask, 0), bit(Mask, 1), bit(Mask, 2)>...};
}
template <unsigned N, std::size_t... Mask>
constexpr std::array<InstructionKernel, sizeof...(Mask)> dotTable(std::index_sequence<Mask...>) {
    return {&dot<N, bit(Mask, 0), bit(Mask, 1)>...};
}

template <class Op>
InstructionKernel componentwiseKernel(unsigned uniform) {
    static constexpr auto kTable =
        componentwiseTable<Op>(std::make_index_sequence<1u << Op::kArity>{});
    return kTable[uniform & ((1u << Op::kArity) - 1)];
}
template <class Op>
InstructionKernel scalarKernel(unsigned uniform) {
    static constexpr auto kTable = scalarTable<Op>(std::make_index_sequence<1u << Op::kArity>{});
    return kTable[uniform & ((1u << Op::kArity) - 1)];
}
template <unsigned N>
InstructionKernel dotKernel(unsigned uniform) {
    static constexpr auto kTable = dotTable<N>(std::make_index_sequence<4>{});
    return kTable[uniform & 3u];
}

}  // namespace

InstructionKernel selectKernel(Opcode opcode, unsigned uniformSources) {
    switch (opcode) {
        case Opcode::Mov:
            return componentwiseKernel<Move>(uniformSources);
        case Opcode::Abs:
            return componentwiseKernel<Absolute>(uniformSources);
        case Opcode::Frc:
            return componentwiseKernel<Fraction>(uniformSources);
        case Opcode::Add:
        case Opcode::Sub:
            return componentwiseKernel<Add>(uniformSources);
        case Opcode::Mul:
            return componentwiseKernel<Multiply>(uniformSources);
        case Opcode::Min:
            return componentwiseKernel<Minimum>(uniformSources);
        case Opcode::Max:
            return componentwiseKernel<Maximum>(uniformSources);
        case Opcode::Mad:
            return componentwiseKernel<MultiplyAdd>(uniformSources);
        case Opcode::Cmp:
            return componentwiseKernel<Compare>(uniformSources);
        case Opcode::Lrp:
            return componentwiseKernel<Interpolate>(uniformSources);
        case Opcode::Rcp:
            return scalarKernel<Reciprocal>(uniformSources);
        case Opcode::Rsq:
            return scalarKernel<ReciprocalSquareRoot>(uniformSources);
        case Opcode::Log:
            return scalarKernel<Logarithm>(uniformSources);
        case Opcode::Exp:
            return scalarKernel<Exponential>(uniformSources);
        case Opcode::Pow:
            return scalarKernel<Power>(uniformSources);
        case Opcode::Dp3:
            return dotKernel<3>(uniformSources);
        case Opcode::Dp4:
            return dotKernel<4>(uniformSources);
        case Opcode::Nrm:
            return (uniformSources & 1u) ? &normalize<true> : &normalize<false>;
        case Opcode::Texld:
            return &textureLoad;
        default:
            return nullptr;
    }
}

template <int Scales>
InstructionKernel distanceKernel(unsigned uniformSources) {
    static constexpr InstructionKernel kTable[] = {
        &distance<false, false, Scales>, &distance<true, false, Scales>,
        &distance<false, true, Scales>, &distance<true, true, Scales>};
    return kTable[uniformSources & 3u];
}

template <int Scales>
InstructionKernel sampleAtDistanceKernel(unsigned uniformSources) {
    static constexpr InstructionKernel kTable[] = {
        &sampleAtDistance<false, false, Scales>, &sampleAtDistance<true, false, Scales>,
        &sampleAtDistance<false, true, Scales>, &sampleAtDistance<true, true, Scales>};
    return kTable[uniformSources & 3u];
}

InstructionKernel selectFusedKernel(FusedOperation operation, unsigned uniformSources) {
    switch (operation) {
        case FusedOperation::SquareRoot:
            return scalarKernel<SquareRoot>(uniformSources);
        case FusedOperation::Power:
            return scalarKernel<ShortPower>(uniformSources);
        case FusedOperation::ScaledSquareRoot:
            return scalarKernel<ScaledSquareRoot>(uniformSources);
        case FusedOperation::SquaredDistance:
            return distanceKernel<0>(uniformSources);
        case FusedOperation::TablePower:
            return (uniformSources & 1u) ? &tablePower<true> : &tablePower<false>;
        case FusedOperation::ScaledDistance:
            return distanceKernel<1>(uniformSources);
        case FusedOperation::TwiceScaledDistance:
            return distanceKernel<2>(uniformSources);
        case FusedOperation::SumProduct:
            return componentwiseKernel<SumProduct>(uniformSources);
        case FusedOperation::SquareRootOfSum:
            return scalarKernel<SquareRootOfSum>(uniformSources);
        case FusedOperation::TablePowerOfSum: {
            static constexpr InstructionKernel kTable[] = {
                &tablePowerOfSum<false, false>, &tablePowerOfSum<true, false>,
                &tablePowerOfSum<false, true>, &tablePowerOfSum<true, true>};
            return kTable[(uniformSources & 1u) | ((uniformSources >> 1) & 2u)];
        }
        case FusedOperation::SumProductOfTablePower:
            return &sumProductOfMagnitude<true>;
        case FusedOperation::SumProductOfSquareRoot:
            return &sumProductOfMagnitude<false>;
        case FusedOperation::SampleAtScaledDistance:
            return sampleAtDistanceKernel<1>(uniformSources);
        case FusedOperation::SampleAtTwiceScaledDistance:
            return sampleAtDistanceKernel<2>(uniformSources);
        default:
            return nullptr;
    }
}
