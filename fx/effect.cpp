// createEffect and the effect object it makes.
//
// The object keeps the container's description (its names are the handles), one pixel shader per
// shader of the container, the parameter values and, per technique, the block of device state
// that Begin records. Begin..End works on storage laid out at creation and allocates nothing.
#include "fx/effect.h"

#include <atomic>
#include <new>
#include <span>
#include <utility>
#include <vector>

#include "fx/device_state_block.h"
#include "fx/effect_container.h"
#include "fx/effect_parameters.h"

namespace gs::fx {
namespace {

// The pixel shaders of one effect, one reference each.
class PixelShaders {
public:
    PixelShaders() = default;
    PixelShaders(PixelShaders&& other) noexcept : shaders_(std::move(other.shaders_)) {}
    PixelShaders(const PixelShaders&) = delete;
    PixelShaders& operator=(const PixelShaders&) = delete;
    ~PixelShaders() { release(); }

    HRESULT create(render::Device& device, const std::vector<std::vector<std::uint32_t>>& code) {
        shaders_.reserve(code.size());
        for (const std::vector<std::uint32_t>& tokens : code) {
            // The tokens were checked to end in their end token, so the device reads no further.
            std::vector<DWORD> function(tokens.begin(), tokens.end());
            render::PixelShader* shader = nullptr;
            const HRESULT hr = device.CreatePixelShader(function.data(), &shader);
            if (FAILED(hr)) {
                return hr;
            }
            if (shader == nullptr) {
                return E_FAIL;
            }
            shaders_.push_back(shader);
        }
        return S_OK;
    }

    render::PixelShader* operator[](std::size_t index) const { return shaders_[index]; }

    void release() {
        for (render::PixelShader* shader : shaders_) {
            shader->Release();
        }
        shaders_.clear();
    }

private:
    std::vector<render::PixelShader*> shaders_;
};

void keepFirstFailure(HRESULT& result, HRESULT hr) {
    if (FAILED(hr) && SUCCEEDED(result)) {
        result = hr;
    }
}

class EffectObject final : public Effect {
public:
    EffectObject(render::Device& device, EffectDescription description, PixelShaders shaders)
        : device_(device),
          description_(std::move(description)),
          shaders_(std::move(shaders)),
          parameters_(description_.parameters, description_.derivedConstants) {
        stateBlocks_.reserve(description_.techniques.size());
        for (const TechniqueDescription& technique : description_.techniques) {
            stateBlocks_.emplace_back(technique, parameters_.registers());
        }
        device_.AddRef();
    }

    ULONG AddRef() override { return ++references_; }

    ULONG Release() override {
        const ULONG left = --references_;
        if (left == 0) {
            delete this;
        }
        return left;
    }

    Handle GetTechniqueByName(const char* name) override {
        if (name == nullptr) {
            return nullptr;
        }
        for (const TechniqueDescription& technique : description_.techniques) {
            if (technique.name == name) {
                return technique.name.c_str();
            }
        }
        return nullptr;
    }

    Handle GetParameterByName(Handle parent, const char* name) override {
        // Every parameter is top-level: nothing lives under a parent.
        if (parent != nullptr) {
            return nullptr;
        }
        const int p = parameters_.findByName(name);
        return p < 0 ? nullptr : parameters_.handle(static_cast<std::size_t>(p));
    }

    HRESULT SetTechnique(Handle technique) override {
        // The recorded state belongs to the technique that was begun.
        if (begun_) {
            return render::kErrInvalidCall;
        }
        for (std::size_t t = 0; t < description_.techniques.size(); ++t) {
            if (description_.techniques[t].name.c_str() == technique && technique != nullptr) {
                technique_ = t;
                return S_OK;
            }
        }
        return render::kErrInvalidCall;
    }

    HRESULT Begin(UINT* passes, DWORD flags) override {
        if (begun_ || flags != 0) {
            return render::kErrInvalidCall;
        }
        const HRESULT hr = stateBlocks_[technique_].capture(device_);
        if (FAILED(hr)) {
            return hr;
        }
        begun_ = true;
        if (passes != nullptr) {
            *passes = static_cast<UINT>(technique().passes.size());
        }
        return S_OK;
    }

    HRESULT BeginPass(UINT pass) override {
        if (!begun_ || activePass_ != nullptr || pass >= technique().passes.size()) {
            return render::kErrInvalidCall;
        }
        activePass_ = &technique().passes[pass];
        const PassDescription& p = *activePass_;

        HRESULT result = S_OK;
        for (const StateAssignment& assignment : p.renderStates) {
            keepFirstFailure(result, device_.SetRenderState(
                                         static_cast<render::RenderStateType>(assignment.state),
                                         assignment.value));
        }
        keepFirstFailure(result, device_.SetPixelShader(shaders_[p.shader]));
        for (const SamplerBindingDescription& binding : p.samplers) {
            keepFirstFailure(
                result,
                device_.SetTexture(binding.unit, parameters_.texture(binding.textureParameter)));
            for (const StateAssignment& assignment : binding.states) {
                keepFirstFailure(
                    result, device_.SetSamplerState(
                                binding.unit, static_cast<render::SamplerState>(assignment.state),
                                assignment.value));
            }
        }
        keepFirstFailure(result, parameters_.uploadConstants(device_, true));
        parameters_.forgetTextureChanges();
        return result;
    }

    HRESULT SetVector(Handle parameter, const Vector4* value) override {
        if (value == nullptr) {
            return render::kErrInvalidCall;
        }
        const float components[4] = {value->x, value->y, value->z, value->w};
        return parameters_.setFloats(parameter, components, 4);
    }

    HRESULT SetFloat(Handle parameter, float value) override {
        return parameters_.setFloats(parameter, &value, 1);
    }

    HRESULT SetTexture(Handle parameter, render::BaseTexture* texture) override {
        return parameters_.setTexture(parameter, texture);
    }

    HRESULT CommitChanges() override {
        // Outside a pass there is nothing to bring: the next BeginPass applies every value.
        if (activePass_ == nullptr) {
            return S_OK;
        }
        HRESULT result = parameters_.uploadConstants(device_, false);
        for (const SamplerBindingDescription& binding : activePass_->samplers) {
            if (parameters_.textureChanged(binding.textureParameter)) {
                keepFirstFailure(result,
                                 device_.SetTexture(binding.unit,
                                                    parameters_.texture(binding.textureParameter)));
            }
        }
        parameters_.forgetTextureChanges();
        return result;
    }

    HRESULT EndPass() override {
        if (activePass_ == nullptr) {
            return render::kErrInvalidCall;
        }
        activePass_ = nullptr;
        return S_OK;
    }

    HRESULT End() override {
        if (!begun_) {
            return render::kErrInvalidCall;
        }
        activePass_ = nullptr;
        begun_ = false;
        return stateBlocks_[technique_].restore(device_);
    }

private:
    ~EffectObject() {
        // Released between Begin and End: the recorded references go, the device keeps what the
        // pass set.
        for (DeviceStateBlock& block : stateBlocks_) {
            block.discard();
        }
        parameters_.releaseTextures();
        shaders_.release();
        device_.Release();
    }

    const TechniqueDescription& technique() const { return description_.techniques[technique_]; }

    std::atomic<ULONG> references_{1};
    render::Device& device_;
    const EffectDescription description_;
    PixelShaders shaders_;
    EffectParameters parameters_;
    std::vector<DeviceStateBlock> stateBlocks_;
    std::size_t technique_ = 0;
    bool begun_ = false;
    const PassDescription* activePass_ = nullptr;
};

}  // namespace

HRESULT createEffect(render::Device* device, const void* data, UINT size, Effect** effect,
                     Buffer** errors) {
    if (errors != nullptr) {
        *errors = nullptr;
    }
    if (effect == nullptr) {
        return render::kErrInvalidCall;
    }
    *effect = nullptr;
    if (device == nullptr || data == nullptr) {
        return render::kErrInvalidCall;
    }
    try {
        EffectDescription description;
        if (!readEffectContainer(std::span(static_cast<const std::byte*>(data), size),
                                 description)) {
            return kErrInvalidData;
        }
        PixelShaders shaders;
        const HRESULT hr = shaders.create(*device, description.shaders);
        if (FAILED(hr)) {
            return hr;
        }
        *effect = new EffectObject(*device, std::move(description), std::move(shaders));
        return S_OK;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

}  // namespace gs::fx
