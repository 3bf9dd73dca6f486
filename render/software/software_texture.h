// A one-level 2D texture of the software device.
#pragma once

#include <memory>

#include "render/device.h"
#include "render/software/device_child.h"
#include "render/software/pixel_buffer.h"
#include "render/software/software_surface.h"

namespace gs::render::software {

class SoftwareTexture final : public Texture, public DeviceChild {
public:
    // Arguments already validated by the device. kErrOutOfVideoMemory when the pixels cannot be
    // had. The texture comes with one reference for the caller.
    static HRESULT create(SoftwareDevice& device, UINT width, UINT height, DWORD usage,
                          Format format, Pool pool, SoftwareTexture** texture);

    ULONG AddRef() override { return addPublicRef(); }
    ULONG Release() override { return releasePublicRef(); }
    HRESULT GetLevelDesc(UINT level, SurfaceDesc* desc) override;
    HRESULT GetSurfaceLevel(UINT level, Surface** surface) override;

    SoftwareSurface& level() { return level_; }
    const PixelBuffer& pixels() const { return level_.pixels(); }
    Pool pool() const { return level_.pool(); }

private:
    SoftwareTexture(SoftwareDevice& device, std::unique_ptr<PixelStorage> storage, DWORD usage,
                    Pool pool);
    ~SoftwareTexture() override;

    SoftwareSurface level_;
};

}  // namespace gs::render::software
