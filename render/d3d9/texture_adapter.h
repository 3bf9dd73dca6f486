// render::Texture over IDirect3DTexture9.
#pragma once

#include <d3d9.h>

#include "render/d3d9/ref_counted.h"
#include "render/device.h"

namespace gs::render::d3d9 {

class TextureAdapter final : public RefCounted<TextureAdapter, render::Texture> {
public:
    // Takes over one reference on `texture`. Null when memory runs out (the reference stays the
    // caller's). Obtain adapters through adoptResource, so that one texture has one adapter.
    static TextureAdapter* create(IDirect3DTexture9* texture);

    // The texture behind a contract texture of this backend; this contract makes 2D textures only.
    static IDirect3DTexture9* unwrap(render::BaseTexture* texture) {
        return texture == nullptr ? nullptr : static_cast<TextureAdapter*>(texture)->texture_;
    }

    HRESULT GetLevelDesc(UINT level, SurfaceDesc* desc) override;
    HRESULT GetSurfaceLevel(UINT level, render::Surface** surface) override;

private:
    friend class RefCounted<TextureAdapter, render::Texture>;
    explicit TextureAdapter(IDirect3DTexture9* texture) : texture_(texture) {}
    ~TextureAdapter();

    IDirect3DTexture9* const texture_;
};

}  // namespace gs::render::d3d9
