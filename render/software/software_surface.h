// A surface of the software device: a texture's level or the device's back buffer.
//
// A surface shares the reference count of the object it belongs to (its texture, or the back
// buffer), as Direct3D 9's texture levels do: a surface taken with GetSurfaceLevel keeps its whole
// texture alive, and the surface's pixels live exactly as long as any reference to either.
#pragma once

#include <memory>
#include <optional>

#include "render/device.h"
#include "render/software/device_child.h"
#include "render/software/pixel_buffer.h"

namespace gs::render::software {

class SoftwareSurface final : public Surface {
public:
    SoftwareSurface(DeviceChild& owner, std::unique_ptr<PixelStorage> storage, DWORD usage,
                    Pool pool);
    ~SoftwareSurface();
    SoftwareSurface(const SoftwareSurface&) = delete;
    SoftwareSurface& operator=(const SoftwareSurface&) = delete;

    ULONG AddRef() override { return owner_.addPublicRef(); }
    ULONG Release() override { return owner_.releasePublicRef(); }
    HRESULT GetDesc(SurfaceDesc* desc) override;
    HRESULT GetDC(HDC* dc) override;
    HRESULT ReleaseDC(HDC dc) override;

    // The pixels, with a fill still pending written out first.
    const PixelBuffer& pixels() const;
    // The first pixel's address, nothing written: which pixels the surface is.
    const Colour* firstPixel() const { return pixels_.pixels; }
    // Fills the whole surface with `colour`: at once while its device context is out, otherwise
    // when its pixels are next used, or as a draw reaches them (takePendingFill).
    void fillWhole(Colour colour);
    // The colour of the pending fill, if any, now the caller's to write into every pixel before
    // anything reads them (DeferredFill does, draw by draw).
    std::optional<Colour> takePendingFill();
    SurfaceDesc desc() const;
    bool isRenderTarget() const { return (usage_ & kUsageRenderTarget) != 0; }
    Pool pool() const { return pool_; }
    SoftwareDevice& device() const { return owner_.device(); }
    // The texture or back buffer the surface belongs to.
    DeviceChild& owner() const { return owner_; }

    // Whether the surface can move to other pixel memory now: not while its device context is
    // out, which shows the memory it has.
    bool canExchangeStorage() const { return !dcHandedOut_; }
    // Moves the surface to `storage` (of its own size and format), whose pixels it shows from now
    // on, and hands back the memory it had. A pending fill is dropped: the caller is about to
    // write every pixel.
    std::unique_ptr<PixelStorage> exchangeStorage(std::unique_ptr<PixelStorage> storage);

private:
    DeviceChild& owner_;
    std::unique_ptr<PixelStorage> storage_;
    PixelBuffer pixels_;  // storage_'s
    DWORD usage_;
    Pool pool_;
    HDC dc_ = nullptr;          // the device context over the pixels, made by the first GetDC
    bool dcHandedOut_ = false;  // between GetDC and ReleaseDC
    // A whole-surface fill not yet written. Writing it out does not change what the surface shows,
    // so pixels() may do it on a const surface.
    mutable std::optional<Colour> pendingFill_;
};

// The device's back buffer: owns its pixels and its surface; held by the device for its lifetime.
class BackBuffer final : public DeviceChild {
public:
    // Null when the memory cannot be had.
    static BackBuffer* create(SoftwareDevice& device, UINT width, UINT height, Format format);

    SoftwareSurface& surface() { return surface_; }

private:
    BackBuffer(SoftwareDevice& device, std::unique_ptr<PixelStorage> storage);
    ~BackBuffer() override = default;

    SoftwareSurface surface_;
};

// The platform's GDI device context over a surface's pixels (surface_dc.cpp).
HDC createSurfaceDC(const PixelBuffer& pixels);
void deleteSurfaceDC(HDC dc);

}  // namespace gs::render::software
