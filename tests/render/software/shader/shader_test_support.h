// Helpers shared by the pixel program tests: assembling sources, inputs, fake texture units.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "fx/assembler/pixel_shader_assembler.h"
#include "render/device.h"
#include "render/software/shader/pixel_program.h"
#include "render/software/simd/instruction_set.h"

namespace gs::render::software::testing_support {

inline std::vector<DWORD> assemble(const std::string& source) {
    std::vector<DWORD> tokens;
    fx::AssemblyError error{0, ""};
    EXPECT_TRUE(fx::assemblePixelShader(source, tokens, error))
        << "line " << error.line << ": " << error.message;
    return tokens;
}

inline std::unique_ptr<PixelProgram> createProgram(const std::string& source) {
    const std::vector<DWORD> tokens = assemble(source);
    std::unique_ptr<PixelProgram> program;
    EXPECT_EQ(PixelProgram::create(tokens.data(), tokens.size(), &program), S_OK);
    return program;
}

// The sums of products of dp3 and dp4 as the kernels of `set` accumulate them: from x, each
// product rounded, or from the last component in fused steps where the set fuses multiply-adds.
inline float dotAs(simd::InstructionSet set, const float* a, const float* b, int n) {
    if (simd::fusesMultiplyAdd(set)) {
        float sum = a[n - 1] * b[n - 1];
        for (int k = n - 2; k >= 0; --k) {
            sum = std::fma(a[k], b[k], sum);
        }
        return sum;
    }
    float sum = a[0] * b[0];
    for (int k = 1; k < n; ++k) {
        sum += a[k] * b[k];
    }
    return sum;
}

// Samples that are easy to predict: r = u * 10 + sampler, g = v, b = u + v, a = 1.
class FakeTextures final : public TextureUnits {
public:
    void sample2D(unsigned sampler, const float* u, const float* v, int count,
                  float (*out)[kTileLanes], unsigned channels) const override {
        ++calls;
        lastSampler = sampler;
        lastCount = count;
        lastChannels = channels;
        for (int i = 0; i < count; ++i) {
            out[0][i] = u[i] * 10.0f + static_cast<float>(sampler);
            out[1][i] = v[i];
            out[2][i] = u[i] + v[i];
            out[3][i] = 1.0f;
        }
    }
    mutable int calls = 0;
    mutable unsigned lastSampler = 0;
    mutable int lastCount = 0;
    mutable unsigned lastChannels = 0;
};

}  // namespace gs::render::software::testing_support
