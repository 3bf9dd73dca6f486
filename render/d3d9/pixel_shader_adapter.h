// render::PixelShader over IDirect3DPixelShader9.
#pragma once

#include <d3d9.h>

#include <new>

#include "render/d3d9/ref_counted.h"
#include "render/device.h"

namespace gs::render::d3d9 {

class PixelShaderAdapter final : public RefCounted<PixelShaderAdapter, render::PixelShader> {
public:
    // Takes over one reference on `shader`; null when memory runs out (the reference stays the
    // caller's).
    static PixelShaderAdapter* create(IDirect3DPixelShader9* shader) {
        return new (std::nothrow) PixelShaderAdapter(shader);
    }

    static IDirect3DPixelShader9* unwrap(render::PixelShader* shader) {
        return shader == nullptr ? nullptr : static_cast<PixelShaderAdapter*>(shader)->shader_;
    }

private:
    friend class RefCounted<PixelShaderAdapter, render::PixelShader>;
    explicit PixelShaderAdapter(IDirect3DPixelShader9* shader) : shader_(shader) {}
    ~PixelShaderAdapter() { shader_->Release(); }

    IDirect3DPixelShader9* const shader_;
};

}  // namespace gs::render::d3d9
