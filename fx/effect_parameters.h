// The values of an effect's parameters and their way to the device: float parameters and the
// constants derived from them live in an image of the constant registers, textures as held
// references. Changes are remembered until they are brought to the device, so that committing
// touches only what changed. Nothing here allocates after construction.
#pragma once

#include <array>
#include <vector>

#include "fx/constant_register_mask.h"
#include "fx/effect.h"
#include "fx/effect_container.h"

namespace gs::fx {

class EffectParameters {
public:
    // `parameters` and `derived` must outlive this object; handles are their names.
    EffectParameters(const std::vector<ParameterDescription>& parameters,
                     const std::vector<DerivedConstantDescription>& derived);
    ~EffectParameters();

    EffectParameters(const EffectParameters&) = delete;
    EffectParameters& operator=(const EffectParameters&) = delete;

    Handle handle(std::size_t parameter) const { return (*parameters_)[parameter].name.c_str(); }
    // The parameter a handle names; -1 for a null or foreign handle.
    int find(Handle handle) const;
    int findByName(const char* name) const;

    // Stores the first components of `values` that the float parameter has.
    HRESULT setFloats(Handle parameter, const float* values, std::size_t count);
    // Holds a reference to `texture` (may be null) and drops the one it replaces.
    HRESULT setTexture(Handle parameter, render::BaseTexture* texture);
    render::BaseTexture* texture(std::size_t parameter) const { return textures_[parameter]; }
    bool textureChanged(std::size_t parameter) const { return textureChanged_[parameter]; }
    void forgetTextureChanges();
    void releaseTextures();

    // Every register the effect writes.
    ConstantRegisterMask registers() const { return usedRegisters_; }
    // Re-evaluates the constants derived from changed parameters, then uploads either every
    // register the effect writes or only those that changed. Returns the first device failure.
    HRESULT uploadConstants(render::Device& device, bool everything);

private:
    void storeInRegister(std::size_t parameter);
    void evaluateDerived(const DerivedConstantDescription& derived);
    bool isFloat(int parameter) const;

    const std::vector<ParameterDescription>* parameters_;
    const std::vector<DerivedConstantDescription>* derived_;
    std::vector<std::array<float, 4>> values_;
    std::vector<bool> valueChanged_;
    std::vector<render::BaseTexture*> textures_;
    std::vector<bool> textureChanged_;
    float registerImage_[container::kConstantRegisters][4] = {};
    ConstantRegisterMask usedRegisters_ = 0;
    ConstantRegisterMask changedRegisters_ = 0;
};

}  // namespace gs::fx
