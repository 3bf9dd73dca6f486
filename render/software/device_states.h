// Render, texture-stage and sampler states of a device, with Direct3D 9's defaults.
//
// Every state Direct3D 9 defines can be set and read back; the device applies the subset its
// pipeline implements (see pixel_pipeline.h). Values are stored as given, floats as their bits.
#pragma once

#include <array>
#include <bit>

#include "render/device.h"

namespace gs::render::software {

// Render states beyond the ones render/device.h names (D3DRS_*).
namespace render_state {
constexpr DWORD kShadeMode = 9;
constexpr DWORD kTextureFactor = 60;
constexpr DWORD kPointSize = 154;
constexpr DWORD kPointSizeMin = 155;
constexpr DWORD kPointSizeMax = 166;
constexpr DWORD kColorWriteEnable = 168;
constexpr DWORD kBlendFactor = 193;
constexpr DWORD kSeparateAlphaBlendEnable = 206;
constexpr DWORD kSrcBlendAlpha = 207;
constexpr DWORD kDestBlendAlpha = 208;
constexpr DWORD kBlendOpAlpha = 209;
}  // namespace render_state

constexpr DWORD kShadeFlat = 1;
constexpr DWORD kTextureStageCount = 8;
constexpr DWORD kTexCoordIndex = 11;  // D3DTSS_TEXCOORDINDEX

inline DWORD floatBits(float value) {
    return std::bit_cast<DWORD>(value);
}
inline float bitsFloat(DWORD bits) {
    return std::bit_cast<float>(bits);
}

class DeviceStates {
public:
    DeviceStates();

    // False for a state Direct3D 9 does not define, or an out-of-range stage or sampler.
    bool setRender(DWORD state, DWORD value);
    bool getRender(DWORD state, DWORD* value) const;
    bool setStage(DWORD stage, DWORD state, DWORD value);
    bool getStage(DWORD stage, DWORD state, DWORD* value) const;
    bool setSampler(DWORD sampler, DWORD state, DWORD value);
    bool getSampler(DWORD sampler, DWORD state, DWORD* value) const;

    DWORD render(RenderStateType state) const { return render_[static_cast<DWORD>(state)]; }
    DWORD render(DWORD state) const { return render_[state]; }
    float renderFloat(DWORD state) const { return bitsFloat(render_[state]); }
    DWORD stage(DWORD stage, TextureStageState state) const {
        return stages_[stage][static_cast<DWORD>(state)];
    }
    DWORD stage(DWORD stage, DWORD state) const { return stages_[stage][state]; }
    DWORD sampler(DWORD sampler, SamplerState state) const {
        return samplers_[sampler][static_cast<DWORD>(state)];
    }

    static constexpr DWORD kRenderStateLimit = 210;  // D3DRS_BLENDOPALPHA + 1
    static constexpr DWORD kStageStateLimit = 33;    // D3DTSS_CONSTANT + 1
    static constexpr DWORD kSamplerStateLimit = 14;  // D3DSAMP_DMAPOFFSET + 1

private:
    std::array<DWORD, kRenderStateLimit> render_{};
    std::array<std::array<DWORD, kStageStateLimit>, kTextureStageCount> stages_{};
    std::array<std::array<DWORD, kSamplerStateLimit>, kSamplerCount> samplers_{};
};

}  // namespace gs::render::software
