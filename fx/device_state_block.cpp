#include "fx/device_state_block.h"

#include <algorithm>
#include <cstring>

namespace gs::fx {
namespace {

void keepFirstFailure(HRESULT& result, HRESULT hr) {
    if (FAILED(hr) && SUCCEEDED(result)) {
        result = hr;
    }
}

}  // namespace

DeviceStateBlock::DeviceStateBlock(const TechniqueDescription& technique,
                                   ConstantRegisterMask registers)
    : registers_(registers) {
    // Each state once, however many passes set it, in the order the passes first name them.
    for (const PassDescription& pass : technique.passes) {
        for (const StateAssignment& assignment : pass.renderStates) {
            const auto state = static_cast<render::RenderStateType>(assignment.state);
            if (std::none_of(renderStates_.begin(), renderStates_.end(),
                             [&](const RenderStateSlot& s) { return s.state == state; })) {
                renderStates_.push_back({state, 0});
            }
        }
        for (const SamplerBindingDescription& binding : pass.samplers) {
            if (std::none_of(textures_.begin(), textures_.end(),
                             [&](const TextureSlot& t) { return t.unit == binding.unit; })) {
                textures_.push_back({binding.unit, nullptr});
            }
            for (const StateAssignment& assignment : binding.states) {
                const auto state = static_cast<render::SamplerState>(assignment.state);
                if (std::none_of(samplerStates_.begin(), samplerStates_.end(),
                                 [&](const SamplerStateSlot& s) {
                                     return s.unit == binding.unit && s.state == state;
                                 })) {
                    samplerStates_.push_back({binding.unit, state, 0});
                }
            }
        }
    }
}

DeviceStateBlock::DeviceStateBlock(DeviceStateBlock&& other) noexcept
    : renderStates_(std::move(other.renderStates_)),
      samplerStates_(std::move(other.samplerStates_)),
      textures_(std::move(other.textures_)),
      pixelShader_(other.pixelShader_),
      registers_(other.registers_),
      captured_(other.captured_) {
    std::memcpy(constants_, other.constants_, sizeof(constants_));
    other.pixelShader_ = nullptr;
    other.captured_ = false;
}

DeviceStateBlock::~DeviceStateBlock() {
    discard();
}

HRESULT DeviceStateBlock::capture(render::Device& device) {
    discard();
    HRESULT result = S_OK;
    for (RenderStateSlot& slot : renderStates_) {
        keepFirstFailure(result, device.GetRenderState(slot.state, &slot.value));
    }
    for (SamplerStateSlot& slot : samplerStates_) {
        keepFirstFailure(result, device.GetSamplerState(slot.unit, slot.state, &slot.value));
    }
    // From here on references may be held: mark the block captured so discard drops them.
    captured_ = true;
    for (TextureSlot& slot : textures_) {
        const HRESULT hr = device.GetTexture(slot.unit, &slot.texture);
        if (FAILED(hr)) {
            slot.texture = nullptr;  // a refusing device may leave anything there
        }
        keepFirstFailure(result, hr);
    }
    const HRESULT shaderResult = device.GetPixelShader(&pixelShader_);
    if (FAILED(shaderResult)) {
        pixelShader_ = nullptr;
    }
    keepFirstFailure(result, shaderResult);
    forEachRegisterRun(registers_, [&](unsigned first, unsigned count) {
        keepFirstFailure(result, device.GetPixelShaderConstantF(first, constants_[first], count));
    });
    if (FAILED(result)) {
        discard();
    }
    return result;
}

HRESULT DeviceStateBlock::restore(render::Device& device) {
    if (!captured_) {
        return render::kErrInvalidCall;
    }
    HRESULT result = S_OK;
    for (const RenderStateSlot& slot : renderStates_) {
        keepFirstFailure(result, device.SetRenderState(slot.state, slot.value));
    }
    for (const SamplerStateSlot& slot : samplerStates_) {
        keepFirstFailure(result, device.SetSamplerState(slot.unit, slot.state, slot.value));
    }
    for (const TextureSlot& slot : textures_) {
        keepFirstFailure(result, device.SetTexture(slot.unit, slot.texture));
    }
    keepFirstFailure(result, device.SetPixelShader(pixelShader_));
    forEachRegisterRun(registers_, [&](unsigned first, unsigned count) {
        keepFirstFailure(result, device.SetPixelShaderConstantF(first, constants_[first], count));
    });
    discard();
    return result;
}

void DeviceStateBlock::discard() {
    if (!captured_) {
        return;
    }
    for (TextureSlot& slot : textures_) {
        if (slot.texture != nullptr) {
            slot.texture->Release();
            slot.texture = nullptr;
        }
    }
    if (pixelShader_ != nullptr) {
        pixelShader_->Release();
        pixelShader_ = nullptr;
    }
    captured_ = false;
}

}  // namespace gs::fx
