#include "render/software/texture_sampling.h"

namespace gs::render::software {

TextureSampling::TextureSampling() : kernels_(&pipelineKernels(simd::activeInstructionSet())) {}

void TextureSampling::sample2D(unsigned sampler, const float* u, const float* v, int count,
                               float (*out)[kTileLanes], unsigned channels) const {
    static const SamplerSetup kUnbound{};
    const SamplerSetup& setup = sampler < units_.size() ? units_[sampler] : kUnbound;
    kernels_->sample(setup, setup.magnifyLinear, u, v, count, out, channels);
}

bool TextureSampling::sampleAtRowDistances(unsigned sampler, const RowDistances& u, int count,
                                           float (*out)[kTileLanes], unsigned channels) const {
    if (sampler >= units_.size() || kernels_->sampleAtRowDistances == nullptr) {
        return false;
    }
    const SamplerSetup& setup = units_[sampler];
    if (setup.texture == nullptr || setup.texture->height != 1 ||
        setup.addressV == static_cast<DWORD>(TextureAddress::Border)) {
        return false;
    }
    kernels_->sampleAtRowDistances(setup, setup.magnifyLinear, u, count, out, channels);
    return true;
}

void resolveTexelAxis(DWORD address, int size, const float* coord, int count, int* i0, int* i1,
                      float* frac) {
    pipelineKernels(simd::activeInstructionSet())
        .resolveTexelAxis(address, size, coord, count, i0, i1, frac);
}

}  // namespace gs::render::software
