#include "tests/fx/recording_device.h"

#include <cstring>

namespace gs::fx::testing {

namespace {

// A state the device never had a value for reads as 0, as GetRenderState reports it.
template <typename Key>
bool sameStates(const std::map<Key, DWORD>& a, const std::map<Key, DWORD>& b) {
    const auto valueIn = [](const std::map<Key, DWORD>& map, const Key& key) {
        const auto found = map.find(key);
        return found == map.end() ? DWORD{0} : found->second;
    };
    for (const auto& [key, value] : a) {
        if (valueIn(b, key) != value) {
            return false;
        }
    }
    for (const auto& [key, value] : b) {
        if (valueIn(a, key) != value) {
            return false;
        }
    }
    return true;
}

}  // namespace

bool DeviceState::operator==(const DeviceState& other) const {
    return sameStates(renderStates, other.renderStates) &&
           sameStates(samplerStates, other.samplerStates) &&
           std::memcmp(textures, other.textures, sizeof(textures)) == 0 &&
           pixelShader == other.pixelShader &&
           std::memcmp(constants, other.constants, sizeof(constants)) == 0;
}

RecordingDevice::RecordingDevice() = default;

RecordingDevice::~RecordingDevice() {
    unbindAll();
}

void RecordingDevice::record(std::string entry) {
    log_.push_back(std::move(entry));
}

void RecordingDevice::unbindAll() {
    for (render::BaseTexture*& texture : state_.textures) {
        if (texture != nullptr) {
            texture->Release();
            texture = nullptr;
        }
    }
    if (state_.pixelShader != nullptr) {
        state_.pixelShader->Release();
        state_.pixelShader = nullptr;
    }
}

HRESULT RecordingDevice::CreateTexture(UINT, UINT, UINT, DWORD, render::Format, render::Pool,
                                       render::Texture** texture) {
    *texture = newTexture();
    return S_OK;
}

HRESULT RecordingDevice::Clear(DWORD, const RECT*, DWORD, render::Colour, float, DWORD) {
    if (logging) {
        record("Clear");
    }
    return S_OK;
}

HRESULT RecordingDevice::ColorFill(render::Surface*, const RECT*, render::Colour) {
    if (logging) {
        record("ColorFill");
    }
    return S_OK;
}

HRESULT RecordingDevice::StretchRect(render::Surface*, const RECT*, render::Surface*, const RECT*,
                                     render::TextureFilter) {
    if (logging) {
        record("StretchRect");
    }
    return S_OK;
}

HRESULT RecordingDevice::SetRenderState(render::RenderStateType state, DWORD value) {
    if (logging) {
        record("SetRenderState " + std::to_string(static_cast<DWORD>(state)) + " " +
               std::to_string(value));
    }
    state_.renderStates[static_cast<DWORD>(state)] = value;
    return S_OK;
}

HRESULT RecordingDevice::GetRenderState(render::RenderStateType state, DWORD* value) {
    const auto found = state_.renderStates.find(static_cast<DWORD>(state));
    *value = found == state_.renderStates.end() ? 0 : found->second;
    return S_OK;
}

HRESULT RecordingDevice::SetTextureStageState(DWORD, render::TextureStageState, DWORD) {
    if (logging) {
        record("SetTextureStageState");
    }
    return S_OK;
}

HRESULT RecordingDevice::GetTextureStageState(DWORD, render::TextureStageState, DWORD* value) {
    *value = 0;
    return S_OK;
}

HRESULT RecordingDevice::SetSamplerState(DWORD sampler, render::SamplerState state, DWORD value) {
    if (logging) {
        record("SetSamplerState " + std::to_string(sampler) + " " +
               std::to_string(static_cast<DWORD>(state)) + " " + std::to_string(value));
    }
    state_.samplerStates[{sampler, static_cast<DWORD>(state)}] = value;
    return S_OK;
}

HRESULT RecordingDevice::GetSamplerState(DWORD sampler, render::SamplerState state, DWORD* value) {
    const auto found = state_.samplerStates.find({sampler, static_cast<DWORD>(state)});
    *value = found == state_.samplerStates.end() ? 0 : found->second;
    return S_OK;
}

HRESULT RecordingDevice::SetTexture(DWORD stage, render::BaseTexture* texture) {
    if (stage >= render::kSamplerCount) {
        return render::kErrInvalidCall;
    }
    if (logging) {
        record("SetTexture " + std::to_string(stage));
    }
    if (texture != nullptr) {
        texture->AddRef();
    }
    if (state_.textures[stage] != nullptr) {
        state_.textures[stage]->Release();
    }
    state_.textures[stage] = texture;
    return S_OK;
}

HRESULT RecordingDevice::GetTexture(DWORD stage, render::BaseTexture** texture) {
    if (FAILED(getTextureResult)) {
        return getTextureResult;
    }
    if (stage >= render::kSamplerCount) {
        return render::kErrInvalidCall;
    }
    *texture = state_.textures[stage];
    if (*texture != nullptr) {
        (*texture)->AddRef();
    }
    return S_OK;
}

HRESULT RecordingDevice::DrawPrimitiveUP(render::PrimitiveType, UINT, const void*, UINT) {
    if (logging) {
        record("DrawPrimitiveUP");
    }
    return S_OK;
}

HRESULT RecordingDevice::CreatePixelShader(const DWORD* function, render::PixelShader** shader) {
    if (pixelShaderCalls_++ == refusePixelShaderAt) {
        return render::kErrInvalidCall;
    }
    // Reads up to the end token the way a device does: instruction by instruction.
    std::vector<DWORD> tokens{function[0]};
    std::size_t at = 1;
    for (;;) {
        const DWORD token = function[at];
        const std::size_t following = token == 0x0000FFFFu           ? 0
                                      : (token & 0xFFFFu) == 0xFFFEu ? (token >> 16) & 0x7FFFu
                                                                     : (token >> 24) & 0xFu;
        tokens.insert(tokens.end(), function + at, function + at + 1 + following);
        if (token == 0x0000FFFFu) {
            break;
        }
        at += 1 + following;
    }
    *shader = new FakePixelShader(ledger_, std::move(tokens));
    ++pixelShadersCreated_;
    return S_OK;
}

HRESULT RecordingDevice::SetPixelShader(render::PixelShader* shader) {
    if (logging) {
        record("SetPixelShader");
    }
    if (shader != nullptr) {
        shader->AddRef();
    }
    if (state_.pixelShader != nullptr) {
        state_.pixelShader->Release();
    }
    state_.pixelShader = shader;
    return S_OK;
}

HRESULT RecordingDevice::GetPixelShader(render::PixelShader** shader) {
    *shader = state_.pixelShader;
    if (*shader != nullptr) {
        (*shader)->AddRef();
    }
    return S_OK;
}

HRESULT RecordingDevice::SetPixelShaderConstantF(UINT startRegister, const float* data,
                                                 UINT vector4fCount) {
    if (startRegister + vector4fCount > render::kPixelShaderFloatConstants) {
        return render::kErrInvalidCall;
    }
    if (logging) {
        record("SetPixelShaderConstantF " + std::to_string(startRegister) + " " +
               std::to_string(vector4fCount));
    }
    std::memcpy(state_.constants[startRegister], data, vector4fCount * 4 * sizeof(float));
    return S_OK;
}

HRESULT RecordingDevice::GetPixelShaderConstantF(UINT startRegister, float* data,
                                                 UINT vector4fCount) {
    if (startRegister + vector4fCount > render::kPixelShaderFloatConstants) {
        return render::kErrInvalidCall;
    }
    std::memcpy(data, state_.constants[startRegister], vector4fCount * 4 * sizeof(float));
    return S_OK;
}

}  // namespace gs::fx::testing
