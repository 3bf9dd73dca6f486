#include "fx/effect_parameters.h"

#include <cstring>

namespace gs::fx {

EffectParameters::EffectParameters(const std::vector<ParameterDescription>& parameters,
                                   const std::vector<DerivedConstantDescription>& derived)
    : parameters_(&parameters),
      derived_(&derived),
      values_(parameters.size()),
      valueChanged_(parameters.size(), false),
      textures_(parameters.size(), nullptr),
      textureChanged_(parameters.size(), false) {
    for (std::size_t p = 0; p < parameters.size(); ++p) {
        const ParameterDescription& description = parameters[p];
        if (description.parameterClass != ParameterClass::Float) {
            continue;
        }
        for (std::uint32_t c = 0; c < description.components; ++c) {
            values_[p][c] = description.defaults[c];
        }
        if (description.constantRegister != container::kNoIndex) {
            storeInRegister(p);
            usedRegisters_ |= 1u << description.constantRegister;
        }
    }
    for (const DerivedConstantDescription& d : derived) {
        evaluateDerived(d);
        usedRegisters_ |= 1u << d.constantRegister;
    }
}

EffectParameters::~EffectParameters() {
    releaseTextures();
}

int EffectParameters::find(Handle handle) const {
    if (handle == nullptr) {
        return -1;
    }
    for (std::size_t p = 0; p < parameters_->size(); ++p) {
        if ((*parameters_)[p].name.c_str() == handle) {
            return static_cast<int>(p);
        }
    }
    return -1;
}

int EffectParameters::findByName(const char* name) const {
    if (name == nullptr) {
        return -1;
    }
    for (std::size_t p = 0; p < parameters_->size(); ++p) {
        if ((*parameters_)[p].name == name) {
            return static_cast<int>(p);
        }
    }
    return -1;
}

bool EffectParameters::isFloat(int parameter) const {
    return parameter >= 0 && (*parameters_)[parameter].parameterClass == ParameterClass::Float;
}

HRESULT EffectParameters::setFloats(Handle handle, const float* values, std::size_t count) {
    const int p = find(handle);
    if (!isFloat(p) || values == nullptr) {
        return render::kErrInvalidCall;
    }
    const ParameterDescription& description = (*parameters_)[p];
    const std::size_t kept = count < description.components ? count : description.components;
    for (std::size_t c = 0; c < kept; ++c) {
        values_[p][c] = values[c];
    }
    valueChanged_[p] = true;
    if (description.constantRegister != container::kNoIndex) {
        storeInRegister(static_cast<std::size_t>(p));
        changedRegisters_ |= 1u << description.constantRegister;
    }
    return S_OK;
}

HRESULT EffectParameters::setTexture(Handle handle, render::BaseTexture* texture) {
    const int p = find(handle);
    if (p < 0 || (*parameters_)[p].parameterClass != ParameterClass::Texture) {
        return render::kErrInvalidCall;
    }
    // Take the new reference before dropping the old one: they may be the same texture.
    if (texture != nullptr) {
        texture->AddRef();
    }
    if (textures_[p] != nullptr) {
        textures_[p]->Release();
    }
    textures_[p] = texture;
    textureChanged_[p] = true;
    return S_OK;
}

// Only the parameter's own components: a derived constant may live in the rest of the register.
void EffectParameters::storeInRegister(std::size_t parameter) {
    const ParameterDescription& description = (*parameters_)[parameter];
    std::memcpy(registerImage_[description.constantRegister], values_[parameter].data(),
                description.components * sizeof(float));
}

void EffectParameters::forgetTextureChanges() {
    for (std::size_t p = 0; p < textureChanged_.size(); ++p) {
        textureChanged_[p] = false;
    }
}

void EffectParameters::releaseTextures() {
    for (render::BaseTexture*& texture : textures_) {
        if (texture != nullptr) {
            texture->Release();
            texture = nullptr;
        }
    }
}

void EffectParameters::evaluateDerived(const DerivedConstantDescription& derived) {
    const float source = values_[derived.parameter][derived.parameterComponent];
    float value = 0.0f;
    switch (derived.operation) {
        case DerivedOperation::Reciprocal:
            // IEEE division: a zero source gives infinity, as the shader's rcp would.
            value = 1.0f / source;
            break;
    }
    registerImage_[derived.constantRegister][derived.registerComponent] = value;
    changedRegisters_ |= 1u << derived.constantRegister;
}

HRESULT EffectParameters::uploadConstants(render::Device& device, bool everything) {
    for (const DerivedConstantDescription& d : *derived_) {
        if (valueChanged_[d.parameter]) {
            evaluateDerived(d);
        }
    }
    for (std::size_t p = 0; p < valueChanged_.size(); ++p) {
        valueChanged_[p] = false;
    }

    const ConstantRegisterMask upload = everything ? usedRegisters_ : changedRegisters_;
    changedRegisters_ = 0;
    HRESULT result = S_OK;
    forEachRegisterRun(upload, [&](unsigned first, unsigned count) {
        const HRESULT hr = device.SetPixelShaderConstantF(first, registerImage_[first], count);
        if (FAILED(hr) && SUCCEEDED(result)) {
            result = hr;
        }
    });
    return result;
}

}  // namespace gs::fx
