// The vertex records of a frame: pre-transformed positions in back-buffer pixels, z = 1, rhw = 1.
#pragma once

#include <cstdint>

#include "render/device.h"

namespace gs::render {

// The previous frame drawn back over the target.
struct BackgroundVertex {
    float x, y, z, rhw;
    std::uint32_t diffuse;
    float u, v;
};
constexpr DWORD kBackgroundFvf = kFvfXyzRhw | kFvfDiffuse | kFvfTex1;  // 0x144

// One point of a spectrum or waveform trace.
struct TracePointVertex {
    float x, y, z, rhw;
    float size;  // pixels
    std::uint32_t diffuse;
};
constexpr DWORD kTracePointFvf = kFvfXyzRhw | kFvfPSize | kFvfDiffuse;  // 0x64

// The effect's quad; texture coordinates are the pixel positions.
struct EffectQuadVertex {
    float x, y, z, rhw;
    float u, v;
};
constexpr DWORD kEffectQuadFvf = kFvfXyzRhw | kFvfTex1;  // 0x104

static_assert(sizeof(BackgroundVertex) == 28);
static_assert(sizeof(TracePointVertex) == 24);
static_assert(sizeof(EffectQuadVertex) == 24);

}  // namespace gs::render
