// The device's texture units: 2D sampling of bound textures with their sampler states.
//
// A tile's coordinates are resolved one axis at a time into texel indices and weights (the
// addressing mode chosen once per call, not per pixel), then texels are fetched and filtered.
// Texel centres lie at (i + 0.5) / size, as in Direct3D 9.
#pragma once

#include <array>
#include <cstdint>

#include "render/device.h"
#include "render/software/pipeline_kernels.h"
#include "render/software/pixel_buffer.h"
#include "render/software/shader/pixel_program.h"

namespace gs::render::software {

struct SamplerSetup {
    const PixelBuffer* texture = nullptr;  // null: samples give (0, 0, 0, 1)
    DWORD addressU = static_cast<DWORD>(TextureAddress::Wrap);
    DWORD addressV = static_cast<DWORD>(TextureAddress::Wrap);
    bool magnifyLinear = false;
    bool minifyLinear = false;
    Colour border = 0;  // D3DSAMP_BORDERCOLOR
};

class TextureSampling final : public TextureUnits {
public:
    // With the kernels of the active instruction set.
    TextureSampling();

    void bind(unsigned sampler, const SamplerSetup& setup) { units_[sampler] = setup; }
    const SamplerSetup& unit(unsigned sampler) const { return units_[sampler]; }

    // Shaders give no derivatives here, so a unit filters with its magnification filter.
    void sample2D(unsigned sampler, const float* u, const float* v, int count,
                  float (*out)[kTileLanes], unsigned channels) const override;
    // One-row textures whose rows above and below are the row itself (every vertical addressing
    // mode but the border), with the set's row kernels.
    bool sampleAtRowDistances(unsigned sampler, const RowDistances& u, int count,
                              float (*out)[kTileLanes], unsigned channels) const override;

private:
    const PipelineKernels* kernels_;
    std::array<SamplerSetup, kSamplerCount> units_{};
};

// Texel indices and weight along one axis of `size` texels for each coordinate: a sample blends
// texel i0 (weight 1 - frac) with texel i1 (weight frac). -1 stands for the border colour. Runs the
// active instruction set's kernel.
void resolveTexelAxis(DWORD address, int size, const float* coord, int count, int* i0, int* i1,
                      float* frac);

}  // namespace gs::render::software
