// The effect framework the renderer draws through: the least of an effect system that the plug-in
// needs. An effect is created from our compiled effect container (built from effect/ at build
// time) and offers techniques, passes and named parameters; it applies each pass's device states,
// sampler states and pixel shader, and restores the device state around Begin/End.
#pragma once

#include "render/device.h"

namespace gs::fx {

// Names a technique, pass or parameter; null when a lookup finds nothing. Stays valid for the
// effect's lifetime.
using Handle = const char*;

struct Vector4 {
    float x;
    float y;
    float z;
    float w;
};

// A block of bytes handed out by the framework (error text), reference counted.
class Buffer : public render::Unknown {
public:
    virtual void* GetBufferPointer() = 0;
    virtual DWORD GetBufferSize() = 0;

protected:
    ~Buffer() = default;
};

class Effect : public render::Unknown {
public:
    virtual Handle GetTechniqueByName(const char* name) = 0;
    // parent null: a top-level parameter.
    virtual Handle GetParameterByName(Handle parent, const char* name) = 0;

    virtual HRESULT SetTechnique(Handle technique) = 0;
    // Records the device state the technique's passes change; passes may be null. flags 0.
    virtual HRESULT Begin(UINT* passes, DWORD flags) = 0;
    // Applies the pass's render states, sampler states, textures, shader and constants.
    virtual HRESULT BeginPass(UINT pass) = 0;
    // Parameter values. A vector set on a parameter of fewer components keeps its first ones.
    virtual HRESULT SetVector(Handle parameter, const Vector4* value) = 0;
    virtual HRESULT SetFloat(Handle parameter, float value) = 0;
    virtual HRESULT SetTexture(Handle parameter, render::BaseTexture* texture) = 0;
    // Brings values set since BeginPass to the device (constants, derived values such as
    // reciprocals, textures of samplers that refer to texture parameters).
    virtual HRESULT CommitChanges() = 0;
    virtual HRESULT EndPass() = 0;
    // Restores what Begin recorded.
    virtual HRESULT End() = 0;

protected:
    ~Effect() = default;
};

// createEffect's answer to bytes that are not a well-formed effect container.
constexpr HRESULT kErrInvalidData = static_cast<HRESULT>(0x88760B59u);

// Creates an effect on `device` from the bytes of a compiled effect container. Malformed or
// truncated data gives a failure code (never a read outside data..data+size) and no effect.
// `errors` (may be null) receives error text only for effects compiled from source, which this
// framework does not do; for a container it is always set to null, as with compiled effects.
HRESULT createEffect(render::Device* device, const void* data, UINT size, Effect** effect,
                     Buffer** errors);

}  // namespace gs::fx
