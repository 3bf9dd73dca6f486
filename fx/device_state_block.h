// The device state a technique's passes change, recorded at Begin and put back at End: render
// states, the states of the sampler units the passes bind, the textures on those units, the
// pixel shader and the constant registers the effect writes. Storage is laid out once, when the
// effect is created, so recording and restoring allocate nothing.
#pragma once

#include <vector>

#include "fx/constant_register_mask.h"
#include "fx/effect_container.h"
#include "render/device.h"

namespace gs::fx {

class DeviceStateBlock {
public:
    DeviceStateBlock(const TechniqueDescription& technique, ConstantRegisterMask registers);
    ~DeviceStateBlock();

    DeviceStateBlock(DeviceStateBlock&& other) noexcept;
    DeviceStateBlock(const DeviceStateBlock&) = delete;
    DeviceStateBlock& operator=(const DeviceStateBlock&) = delete;
    DeviceStateBlock& operator=(DeviceStateBlock&&) = delete;

    // Reads the current values from the device, taking references to its texture and shader.
    // On failure nothing stays recorded and the device's failure code is returned.
    HRESULT capture(render::Device& device);
    // Sets every recorded value back and drops the references capture took. Returns the first
    // device failure; the remaining values are still restored.
    HRESULT restore(render::Device& device);
    // Drops the references without touching the device.
    void discard();

private:
    struct RenderStateSlot {
        render::RenderStateType state;
        DWORD value;
    };
    struct SamplerStateSlot {
        DWORD unit;
        render::SamplerState state;
        DWORD value;
    };
    struct TextureSlot {
        DWORD unit;
        render::BaseTexture* texture;
    };

    std::vector<RenderStateSlot> renderStates_;
    std::vector<SamplerStateSlot> samplerStates_;
    std::vector<TextureSlot> textures_;
    render::PixelShader* pixelShader_ = nullptr;
    ConstantRegisterMask registers_;
    float constants_[container::kConstantRegisters][4] = {};
    bool captured_ = false;
};

}  // namespace gs::fx
