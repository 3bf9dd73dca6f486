#include "render/software/software_texture.h"

#include <new>

#include "render/software/adapter_state.h"

namespace gs::render::software {

HRESULT SoftwareTexture::create(SoftwareDevice& device, UINT width, UINT height, DWORD usage,
                                Format format, Pool pool, SoftwareTexture** texture) {
    *texture = nullptr;
    std::unique_ptr<PixelStorage> storage = PixelStorage::create(width, height, format);
    if (!storage) {
        return kErrOutOfVideoMemory;
    }
    *texture = new (std::nothrow) SoftwareTexture(device, std::move(storage), usage, pool);
    return *texture != nullptr ? S_OK : kErrOutOfVideoMemory;
}

SoftwareTexture::SoftwareTexture(SoftwareDevice& device, std::unique_ptr<PixelStorage> storage,
                                 DWORD usage, Pool pool)
    : DeviceChild(device, true), level_(*this, std::move(storage), usage, pool) {
    countObject(ObjectKind::Texture, +1);
}

SoftwareTexture::~SoftwareTexture() {
    countObject(ObjectKind::Texture, -1);
}

HRESULT SoftwareTexture::GetLevelDesc(UINT level, SurfaceDesc* desc) {
    if (level != 0 || desc == nullptr) {
        return kErrInvalidCall;
    }
    *desc = level_.desc();
    return S_OK;
}

HRESULT SoftwareTexture::GetSurfaceLevel(UINT level, Surface** surface) {
    if (surface == nullptr) {
        return kErrInvalidCall;
    }
    *surface = nullptr;
    if (level != 0) {
        return kErrInvalidCall;
    }
    level_.AddRef();
    *surface = &level_;
    return S_OK;
}

}  // namespace gs::render::software
