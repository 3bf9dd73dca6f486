// The per-tile work of the pixel pipeline and of the texture units, in one version per
// instruction set (pipeline_kernels.inl). A pipeline or a set of texture units takes the kernels of
// the active set when it is made.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "render/device.h"
#include "render/software/shader/pixel_program.h"
#include "render/software/simd/instruction_set.h"
#include "render/software/vertex_format.h"

namespace gs::render::software {

struct DrawSetup;
struct PixelBuffer;
struct SamplerSetup;

// D3DTOP_* texture operations.
constexpr DWORD kOpDisable = 1;
constexpr DWORD kOpSelectArg1 = 2;
constexpr DWORD kOpSelectArg2 = 3;
constexpr DWORD kOpModulate = 4;
constexpr DWORD kOpModulate2x = 5;
constexpr DWORD kOpModulate4x = 6;
constexpr DWORD kOpAdd = 7;
constexpr DWORD kOpAddSigned = 8;
constexpr DWORD kOpAddSigned2x = 9;
constexpr DWORD kOpSubtract = 10;
constexpr DWORD kOpAddSmooth = 11;

// D3DTA_* texture arguments and modifiers.
constexpr DWORD kArgSelectMask = 0xF;
constexpr DWORD kArgDiffuse = 0;
constexpr DWORD kArgCurrent = 1;
constexpr DWORD kArgTexture = 2;
constexpr DWORD kArgTFactor = 3;
constexpr DWORD kArgSpecular = 4;
constexpr DWORD kArgComplement = 0x10;
constexpr DWORD kArgAlphaReplicate = 0x20;

// D3DBLEND_* values beyond render/device.h's.
constexpr DWORD kBlendSrcAlphaSat = 11;
constexpr DWORD kBlendBlendFactor = 14;
constexpr DWORD kBlendInvBlendFactor = 15;

// An attribute as a plane over the target: value = c + dx * x + dy * y at pixel centre (x, y).
struct Plane {
    float c = 0.0f, dx = 0.0f, dy = 0.0f;
};

// Neighbouring pixels of one row that a tile holds in consecutive lanes.
struct PixelRun {
    std::size_t offset;  // of the run's first pixel in the target
    int firstLane;
    int count;
    int x, y;  // the run's first pixel
    // No pixel of the run has been written since the target's deferred clear: they read as
    // PipelineTile::fillLanes (the textured fast path only).
    bool unfilled;
};

// A blend factor of the textured fast path, as base + slope * source alpha: Zero (0, 0), One (1,
// 0), SrcAlpha (0, 1) and InvSrcAlpha (1, -1). Blending turned off is source One, destination Zero.
struct AlphaLinearFactor {
    float base = 1.0f, slope = 0.0f;
};

// The per-draw choices of the textured fast path (PipelineKernels::shadeTexturedTile): stage 0
// selects the texture's colour, alpha comes from the texture or the diffuse colour, and the blend
// adds source and destination weighted by factors linear in the source alpha.
struct TexturedPathSetup {
    bool alphaFromTexture = false;
    bool diffuseAlphaSupplied = false;  // else the diffuse alpha is 1
    // r, g, b, a; red, green and blue share D3DRS_SRCBLEND and D3DRS_DESTBLEND.
    std::array<AlphaLinearFactor, 4> source{};
    std::array<AlphaLinearFactor, 4> destination{};
};

// Blending by factors Zero and One under the Add operation, as additive effects use it: the
// weights of source and destination, 0 or 1 per channel (r, g, b, a).
struct ConstantBlendSetup {
    std::array<float, 4> source{};
    std::array<float, 4> destination{};
    bool addsWhole = false;  // every weight one: the target plus the source, saturated
};

// What the kernels of a pipeline work on: the draw's attribute planes and the tile's lanes.
struct PipelineTile {
    // Slots the vertex format supplies, interpolated per pixel; the rest hold their defaults.
    std::array<int, kAttributeSlots> activeSlots{};
    int activeCount = 0;
    std::array<float*, kAttributeSlots> slotLanes{};  // into `inputs`
    // Slots whose every lane (all kTileLanes) holds the value of these bits, left there by an
    // earlier tile: an attribute the same across the primitive is not written again.
    std::array<bool, kAttributeSlots> holdsConstant{};
    std::array<std::uint32_t, kAttributeSlots> heldConstant{};
    // Bit 4 t + c: the vertices do not supply t#.c, whose lanes hold its default from beginDraw.
    std::uint32_t defaultTexcoords = 0;
    std::array<Plane, kAttributeSlots> planes{};
    Plane rhwPlane;
    bool perspective = false;
    bool textureMinified = false;
    bool stageReadsTexture = false;
    // The draw's states fit the textured fast path; it runs for primitives without perspective.
    bool texturedPath = false;
    TexturedPathSetup textured;
    // The draw's pixel shader runs without its alpha (PixelProgram::runColour).
    bool programColourOnly = false;
    // The draw blends with constant factors and writes every bit: blendAndStore's one-pass case.
    bool constantBlendPath = false;
    ConstantBlendSetup constantBlend;

    // The tile: lane positions, and the runs of the target the lanes hold in order (one run for a
    // tile inside a wide span, several for small primitives). Tiles of the textured fast path leave
    // the lane positions out: its kernel works from the runs.
    int laneCount = 0;
    int runCount = 0;
    alignas(64) float laneX[kTileLanes];
    alignas(64) float laneY[kTileLanes];
    std::array<PixelRun, kTileLanes> runs;
    // The deferred clear's value in every lane, where the draw has one.
    alignas(64) Colour fillLanes[kTileLanes];

    PixelTileInputs inputs;
    PixelTileOutput output;
    alignas(64) float texel[4][kTileLanes];
    alignas(64) float argument[2][4][kTileLanes];
    alignas(64) float destination[4][kTileLanes];
    alignas(64) float sourceFactor[4][kTileLanes];
    alignas(64) float destinationFactor[4][kTileLanes];
};

struct PipelineKernels {
    // The active attribute slots at the tile's lanes (whose positions it takes from the runs),
    // perspective-correct where the draw is.
    void (*interpolate)(PipelineTile& tile, int count, int runs);
    // Texture stage 0: the output colour from the stage's operations and arguments.
    void (*runTextureStage)(const DrawSetup& setup, PipelineTile& tile, int count);
    // Saturates the output, blends it with the target's pixels and stores 8-bit channels.
    void (*blendAndStore)(const DrawSetup& setup, PipelineTile& tile, int count, int runs);
    // The whole tile through the textured fast path (tile.textured): sampling with fixed-point
    // filter weights, blending and storing in one pass. Differs from the general path by at most 1
    // per 8-bit channel: bilinear weights are kept to 15 bits, filtered values to 1/128.
    void (*shadeTexturedTile)(const DrawSetup& setup, PipelineTile& tile, int count, int runs);
    // The texture of `setup` at (u[i], v[i]) with linear or nearest filtering: out[c] for each
    // channel c in `channels`, the others possibly left as they were (texture_sampling.h).
    void (*sample)(const SamplerSetup& setup, bool linear, const float* u, const float* v,
                   int count, float (*out)[kTileLanes], unsigned channels);
    void (*resolveTexelAxis)(DWORD address, int size, const float* coord, int count, int* i0,
                             int* i1, float* frac);
    // Where every lane's bilinear footprint lies inside `texture` (coordinates in [0, 1), no
    // texel past the last): the offset of each lane's first texel (row * pitch + column) and its
    // fractions, as resolveTexelAxis gives them under any addressing mode. False where a lane
    // falls outside; the outputs are then of no use.
    bool (*resolveInteriorFootprints)(const PixelBuffer& texture, const float* u, const float* v,
                                      int count, int* at, float* fx, float* fy);
    // sample at u = the distances (RowDistances), for a one-row texture, which gives the same bits
    // as computing them and calling sample. Null for the sets where that is no faster.
    using RowDistanceSampler = void (*)(const SamplerSetup& setup, bool linear,
                                        const RowDistances& u, int count, float (*out)[kTileLanes],
                                        unsigned channels);
    RowDistanceSampler sampleAtRowDistances;
};

const PipelineKernels& pipelineKernels(simd::InstructionSet set);

}  // namespace gs::render::software
