#include "render/software/device_states.h"

#include <bitset>

namespace gs::render::software {
namespace {

struct StateDefault {
    DWORD state;
    DWORD value;
};

// Direct3D 9's initial render states. The device never has a depth buffer, so ZENABLE starts
// FALSE. States not listed start at 0.
constexpr float kOne = 1.0f;
constexpr StateDefault kRenderDefaults[] = {
    {7, 0},                            // ZENABLE
    {8, 3},                            // FILLMODE: solid
    {9, 2},                            // SHADEMODE: Gouraud
    {14, 1},                           // ZWRITEENABLE
    {15, 0},                           // ALPHATESTENABLE
    {16, 1},                           // LASTPIXEL
    {19, 2},                           // SRCBLEND: one
    {20, 1},                           // DESTBLEND: zero
    {22, 3},                           // CULLMODE: counter-clockwise
    {23, 4},                           // ZFUNC: less-equal
    {24, 0},                           // ALPHAREF
    {25, 8},                           // ALPHAFUNC: always
    {26, 0},                           // DITHERENABLE
    {27, 0},                           // ALPHABLENDENABLE
    {28, 0},                           // FOGENABLE
    {29, 0},                           // SPECULARENABLE
    {34, 0},                           // FOGCOLOR
    {35, 0},                           // FOGTABLEMODE
    {36, 0},                           // FOGSTART 0.0
    {37, std::bit_cast<DWORD>(kOne)},  // FOGEND
    {38, std::bit_cast<DWORD>(kOne)},  // FOGDENSITY
    {48, 0},                           // RANGEFOGENABLE
    {52, 0},                           // STENCILENABLE
    {53, 1},                           // STENCILFAIL: keep
    {54, 1},                           // STENCILZFAIL: keep
    {55, 1},                           // STENCILPASS: keep
    {56, 8},                           // STENCILFUNC: always
    {57, 0},                           // STENCILREF
    {58, 0xFFFFFFFF},                  // STENCILMASK
    {59, 0xFFFFFFFF},                  // STENCILWRITEMASK
    {60, 0xFFFFFFFF},                  // TEXTUREFACTOR
    {128, 0},
    {129, 0},
    {130, 0},
    {131, 0},  // WRAP0..3
    {132, 0},
    {133, 0},
    {134, 0},
    {135, 0},                            // WRAP4..7
    {136, 1},                            // CLIPPING
    {137, 1},                            // LIGHTING
    {139, 0},                            // AMBIENT
    {140, 0},                            // FOGVERTEXMODE
    {141, 1},                            // COLORVERTEX
    {142, 1},                            // LOCALVIEWER
    {143, 0},                            // NORMALIZENORMALS
    {145, 1},                            // DIFFUSEMATERIALSOURCE: colour 1
    {146, 2},                            // SPECULARMATERIALSOURCE: colour 2
    {147, 0},                            // AMBIENTMATERIALSOURCE: material
    {148, 0},                            // EMISSIVEMATERIALSOURCE: material
    {151, 0},                            // VERTEXBLEND
    {152, 0},                            // CLIPPLANEENABLE
    {154, std::bit_cast<DWORD>(kOne)},   // POINTSIZE
    {155, std::bit_cast<DWORD>(kOne)},   // POINTSIZE_MIN
    {156, 0},                            // POINTSPRITEENABLE
    {157, 0},                            // POINTSCALEENABLE
    {158, std::bit_cast<DWORD>(kOne)},   // POINTSCALE_A
    {159, 0},                            // POINTSCALE_B
    {160, 0},                            // POINTSCALE_C
    {161, 1},                            // MULTISAMPLEANTIALIAS
    {162, 0xFFFFFFFF},                   // MULTISAMPLEMASK
    {163, 0},                            // PATCHEDGESTYLE
    {165, 0},                            // DEBUGMONITORTOKEN
    {166, std::bit_cast<DWORD>(64.0f)},  // POINTSIZE_MAX
    {167, 0},                            // INDEXEDVERTEXBLENDENABLE
    {168, 0xF},                          // COLORWRITEENABLE
    {170, 0},                            // TWEENFACTOR
    {171, 1},                            // BLENDOP: add
    {172, 3},                            // POSITIONDEGREE: cubic
    {173, 1},                            // NORMALDEGREE: linear
    {174, 0},                            // SCISSORTESTENABLE
    {175, 0},                            // SLOPESCALEDEPTHBIAS
    {176, 0},                            // ANTIALIASEDLINEENABLE
    {178, std::bit_cast<DWORD>(kOne)},   // MINTESSELLATIONLEVEL
    {179, std::bit_cast<DWORD>(kOne)},   // MAXTESSELLATIONLEVEL
    {180, 0},
    {181, 0},                           // ADAPTIVETESS_X, _Y
    {182, std::bit_cast<DWORD>(kOne)},  // ADAPTIVETESS_Z
    {183, 0},                           // ADAPTIVETESS_W
    {184, 0},                           // ENABLEADAPTIVETESSELLATION
    {185, 0},                           // TWOSIDEDSTENCILMODE
    {186, 1},
    {187, 1},
    {188, 1},  // CCW_STENCILFAIL, ZFAIL, PASS: keep
    {189, 8},  // CCW_STENCILFUNC: always
    {190, 0xF},
    {191, 0xF},
    {192, 0xF},         // COLORWRITEENABLE1..3
    {193, 0xFFFFFFFF},  // BLENDFACTOR
    {194, 0},           // SRGBWRITEENABLE
    {195, 0},           // DEPTHBIAS
    {198, 0},
    {199, 0},
    {200, 0},
    {201, 0},  // WRAP8..11
    {202, 0},
    {203, 0},
    {204, 0},
    {205, 0},  // WRAP12..15
    {206, 0},  // SEPARATEALPHABLENDENABLE
    {207, 2},  // SRCBLENDALPHA: one
    {208, 1},  // DESTBLENDALPHA: zero
    {209, 1},  // BLENDOPALPHA: add
};

std::bitset<DeviceStates::kRenderStateLimit> definedRenderStates() {
    std::bitset<DeviceStates::kRenderStateLimit> defined;
    for (const StateDefault& entry : kRenderDefaults) {
        defined.set(entry.state);
    }
    return defined;
}

const std::bitset<DeviceStates::kRenderStateLimit>& renderStateDefined() {
    static const auto defined = definedRenderStates();
    return defined;
}

// D3DTSS_* values 1..11, 22..24, 26..28 and 32 exist; the rest of 1..32 are holes.
bool stageStateDefined(DWORD state) {
    return (state >= 1 && state <= 11) || (state >= 22 && state <= 24) ||
           (state >= 26 && state <= 28) || state == 32;
}

constexpr DWORD kTopDisable = 1;
constexpr DWORD kTopSelectArg1 = 2;
constexpr DWORD kTopModulate = 4;
constexpr DWORD kArgCurrent = 1;
constexpr DWORD kArgTexture = 2;

}  // namespace

DeviceStates::DeviceStates() {
    for (const StateDefault& entry : kRenderDefaults) {
        render_[entry.state] = entry.value;
    }
    for (DWORD stage = 0; stage < kTextureStageCount; ++stage) {
        auto& s = stages_[stage];
        s[1] = stage == 0 ? kTopModulate : kTopDisable;    // COLOROP
        s[2] = kArgTexture;                                // COLORARG1
        s[3] = kArgCurrent;                                // COLORARG2
        s[4] = stage == 0 ? kTopSelectArg1 : kTopDisable;  // ALPHAOP
        s[5] = kArgTexture;                                // ALPHAARG1
        s[6] = kArgCurrent;                                // ALPHAARG2
        s[kTexCoordIndex] = stage;
        s[26] = kArgCurrent;  // COLORARG0
        s[27] = kArgCurrent;  // ALPHAARG0
        s[28] = kArgCurrent;  // RESULTARG
    }
    for (auto& s : samplers_) {
        s[1] = s[2] = s[3] = static_cast<DWORD>(TextureAddress::Wrap);
        s[4] = 0;  // BORDERCOLOR
        s[5] = s[6] = static_cast<DWORD>(TextureFilter::Point);
        s[7] = static_cast<DWORD>(TextureFilter::None);  // MIPFILTER
        s[10] = 1;                                       // MAXANISOTROPY
    }
}

bool DeviceStates::setRender(DWORD state, DWORD value) {
    if (state >= kRenderStateLimit || !renderStateDefined().test(state)) {
        return false;
    }
    render_[state] = value;
    return true;
}

bool DeviceStates::getRender(DWORD state, DWORD* value) const {
    if (state >= kRenderStateLimit || !renderStateDefined().test(state)) {
        return false;
    }
    *value = render_[state];
    return true;
}

bool DeviceStates::setStage(DWORD stage, DWORD state, DWORD value) {
    if (stage >= kTextureStageCount || !stageStateDefined(state)) {
        return false;
    }
    stages_[stage][state] = value;
    return true;
}

bool DeviceStates::getStage(DWORD stage, DWORD state, DWORD* value) const {
    if (stage >= kTextureStageCount || !stageStateDefined(state)) {
        return false;
    }
    *value = stages_[stage][state];
    return true;
}

bool DeviceStates::setSampler(DWORD sampler, DWORD state, DWORD value) {
    if (sampler >= kSamplerCount || state == 0 || state >= kSamplerStateLimit) {
        return false;
    }
    samplers_[sampler][state] = value;
    return true;
}

bool DeviceStates::getSampler(DWORD sampler, DWORD state, DWORD* value) const {
    if (sampler >= kSamplerCount || state == 0 || state >= kSamplerStateLimit) {
        return false;
    }
    *value = samplers_[sampler][state];
    return true;
}

}  // namespace gs::render::software
