// A validated shader-model-2.0 pixel program and its tile interpreter.
//
// The software device runs pixel shaders a tile at a time: the inputs of up to kTileLanes pixels
// are laid out as structure of arrays, and each instruction of the program is one loop over the
// tile, so the cost of decoding an instruction is paid once per tile, not once per pixel.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/win32.h"

namespace gs::render::software {

// Pixels per tile. A multiple of every vector width we dispatch to (16 floats for AVX-512). Each
// instruction costs a call and its operand set-up per tile: 256 lanes amortise that four times
// better than 64 (a fifth off the effect passes), and 512 another 4% to 10% now that the strip
// reads compute their own distances, while a tile's registers (96 KiB of temporaries on the
// stack) stay within the second-level cache. 1024 gained less at 1080p and slowed the clears.
constexpr int kTileLanes = 512;

// Per-pixel inputs of one tile. Only the registers the program declares are read.
struct alignas(64) PixelTileInputs {
    float texcoord[8][4][kTileLanes];  // t0..t7, components x, y, z, w
    float colour[2][4][kTileLanes];    // v0, v1 (diffuse, specular)
    // Bit 4 t + c: component c of t# holds one value in every lane (a coordinate that changes only
    // from row to row, in a tile of one row). Kernels may then read lane 0 alone. A clear bit
    // promises nothing.
    std::uint32_t sameInEveryLane = 0;
};

// Per-pixel output of one tile: oC0, unclamped.
struct alignas(64) PixelTileOutput {
    float colour[4][kTileLanes];  // r, g, b, a
};

// The scaled distances of a row of pixels from a point, as the distance kernels of the sets that
// fuse multiply-adds compute them where y and z are one value across the tile: for lane i,
// sqrt|fma(x, x, yz)| * scale * second, each product rounded, with x = (lanes[i], its sign bit
// flipped by `sign`) + offset and yz = fma(y, y, z * z). A single scale has `second` 1.
struct RowDistances {
    const float* lanes = nullptr;
    std::uint32_t sign = 0;
    float offset = 0.0f;
    float yz = 0.0f;
    float scale = 1.0f;
    float second = 1.0f;
};

// The device's texture units as the interpreter sees them. For each of `count` lanes, samples the
// 2D texture bound to `sampler` at (u[i], v[i]) with that sampler's states and writes the texel's
// r, g, b, a (0..1) to out[0][i] .. out[3][i]. A unit with no texture yields (0, 0, 0, 1).
// `channels` has bit c set for each out[c] the caller reads; the others may be left as they were.
class TextureUnits {
public:
    virtual void sample2D(unsigned sampler, const float* u, const float* v, int count,
                          float (*out)[kTileLanes], unsigned channels) const = 0;

    // sample2D at u = the distances, for textures where v cannot matter (one row, read without a
    // border colour above or below it): the distances computed a few vectors ahead of the reads, so
    // that their square roots overlap the filtering. False, with nothing written, where the unit
    // has no such path for its texture; the caller then computes u and calls sample2D.
    virtual bool sampleAtRowDistances(unsigned /*sampler*/, const RowDistances& /*u*/,
                                      int /*count*/, float (* /*out*/)[kTileLanes],
                                      unsigned /*channels*/) const {
        return false;
    }

protected:
    ~TextureUnits() = default;
};

class PixelProgram {
public:
    // Validates a token stream of at most `tokenCount` tokens (it may end earlier, at its end
    // token) and prepares it for execution. Malformed or unsupported bytecode gives
    // kErrInvalidCall (0x8876086C) and no program. Never reads past tokens + tokenCount.
    static HRESULT create(const DWORD* tokens, std::size_t tokenCount,
                          std::unique_ptr<PixelProgram>* program);

    virtual ~PixelProgram() = default;

    // Number of tokens the program occupies, end token included.
    virtual std::size_t tokenCount() const = 0;
    // The original token stream.
    virtual const DWORD* tokens() const = 0;

    // Runs the program for lanes [0, count) of one tile. `constants` holds the 32 float constant
    // registers c0..c31 as set on the device (the program's own def constants override them).
    virtual void run(const float (*constants)[4], const TextureUnits& textures,
                     const PixelTileInputs& inputs, int count, PixelTileOutput& output) const = 0;

    // As run, for a caller that reads only red, green and blue of oC0 (a target without alpha,
    // blended by factors that do not read the source's alpha): the alpha lanes of `output` may be
    // left as they were. Programs that have no cheaper way run in full.
    virtual void runColour(const float (*constants)[4], const TextureUnits& textures,
                           const PixelTileInputs& inputs, int count,
                           PixelTileOutput& output) const {
        run(constants, textures, inputs, count, output);
    }
};

}  // namespace gs::render::software
