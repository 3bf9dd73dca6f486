// render::Surface over IDirect3DSurface9.
#pragma once

#include <d3d9.h>

#include "render/d3d9/ref_counted.h"
#include "render/device.h"

namespace gs::render::d3d9 {

class SurfaceAdapter final : public RefCounted<SurfaceAdapter, render::Surface> {
public:
    // Takes over one reference on `surface`. Null when memory runs out (the reference stays the
    // caller's). Obtain adapters through adoptResource, so that one surface has one adapter.
    static SurfaceAdapter* create(IDirect3DSurface9* surface);

    // The adapter behind a contract surface of this backend (every surface of a Windows build).
    static IDirect3DSurface9* unwrap(render::Surface* surface) {
        return surface == nullptr ? nullptr : static_cast<SurfaceAdapter*>(surface)->surface_;
    }

    HRESULT GetDesc(SurfaceDesc* desc) override;
    HRESULT GetDC(HDC* dc) override;
    HRESULT ReleaseDC(HDC dc) override;

private:
    friend class RefCounted<SurfaceAdapter, render::Surface>;
    explicit SurfaceAdapter(IDirect3DSurface9* surface) : surface_(surface) {}
    ~SurfaceAdapter();

    IDirect3DSurface9* const surface_;
};

// Fills the contract's description from Direct3D's.
SurfaceDesc toSurfaceDesc(const D3DSURFACE_DESC& desc);

}  // namespace gs::render::d3d9
