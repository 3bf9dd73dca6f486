#include "render/software/software_surface.h"

#include <new>

#include "render/software/adapter_state.h"
#include "render/software/software_device.h"
#include "render/software/surface_blit.h"

namespace gs::render::software {

SoftwareSurface::SoftwareSurface(DeviceChild& owner, std::unique_ptr<PixelStorage> storage,
                                 DWORD usage, Pool pool)
    : owner_(owner),
      storage_(std::move(storage)),
      pixels_(storage_->buffer()),
      usage_(usage),
      pool_(pool) {
    countObject(ObjectKind::Surface, +1);
}

SoftwareSurface::~SoftwareSurface() {
    if (dc_ != nullptr) {
        deleteSurfaceDC(dc_);
    }
    countObject(ObjectKind::Surface, -1);
}

const PixelBuffer& SoftwareSurface::pixels() const {
    if (pendingFill_) {
        const RECT whole = {0, 0, static_cast<LONG>(pixels_.width),
                            static_cast<LONG>(pixels_.height)};
        fillRect(pixels_, whole, *pendingFill_);
        pendingFill_.reset();
    }
    return pixels_;
}

void SoftwareSurface::fillWhole(Colour colour) {
    pendingFill_ = colour;
    if (dcHandedOut_) {
        pixels();  // what the device context shows must be the pixels as they are
    }
}

std::unique_ptr<PixelStorage> SoftwareSurface::exchangeStorage(
    std::unique_ptr<PixelStorage> storage) {
    // The device context stays out of use until the next GetDC, which makes one over the new
    // memory.
    if (dc_ != nullptr) {
        deleteSurfaceDC(dc_);
        dc_ = nullptr;
    }
    pendingFill_.reset();
    storage_.swap(storage);
    pixels_ = storage_->buffer();
    return storage;
}

std::optional<Colour> SoftwareSurface::takePendingFill() {
    std::optional<Colour> taken;
    taken.swap(pendingFill_);
    return taken;
}

SurfaceDesc SoftwareSurface::desc() const {
    return SurfaceDesc{pixels_.format, usage_, pool_, pixels_.width, pixels_.height};
}

HRESULT SoftwareSurface::GetDesc(SurfaceDesc* desc) {
    if (desc == nullptr) {
        return kErrInvalidCall;
    }
    *desc = this->desc();
    return S_OK;
}

HRESULT SoftwareSurface::GetDC(HDC* dc) {
    if (dc == nullptr) {
        return kErrInvalidCall;
    }
    *dc = nullptr;
    HRESULT injected;
    if (takeFault(Fault::SurfaceGetDC, &injected)) {
        return injected;
    }
    if (dcHandedOut_) {
        return kErrInvalidCall;  // one device context at a time
    }
    device().finishDrawsOn(*this);
    pixels();  // the context shows the pixels as they are, a pending fill written
    // Made at the first GetDC and kept with the surface: a frame that copies its picture through
    // GetDC allocates nothing.
    if (dc_ == nullptr) {
        dc_ = createSurfaceDC(pixels_);
        if (dc_ == nullptr) {
            return E_FAIL;
        }
    }
    dcHandedOut_ = true;
    *dc = dc_;
    return S_OK;
}

HRESULT SoftwareSurface::ReleaseDC(HDC dc) {
    if (!dcHandedOut_ || dc != dc_) {
        return kErrInvalidCall;
    }
    dcHandedOut_ = false;
    return S_OK;
}

BackBuffer* BackBuffer::create(SoftwareDevice& device, UINT width, UINT height, Format format) {
    std::unique_ptr<PixelStorage> storage = PixelStorage::create(width, height, format);
    if (!storage) {
        return nullptr;
    }
    return new (std::nothrow) BackBuffer(device, std::move(storage));
}

BackBuffer::BackBuffer(SoftwareDevice& device, std::unique_ptr<PixelStorage> storage)
    : DeviceChild(device, false),
      surface_(*this, std::move(storage), kUsageRenderTarget, Pool::Default) {}

}  // namespace gs::render::software

namespace gs::render::software {
namespace {

SoftwareSurface* asSoftwareSurface(Surface* surface) {
    return static_cast<SoftwareSurface*>(surface);
}

}  // namespace

HRESULT readSurfacePixels(Surface* surface, Colour* pixels, std::size_t pixelCount) {
    if (surface == nullptr || pixels == nullptr) {
        return kErrInvalidCall;
    }
    SoftwareSurface* own = asSoftwareSurface(surface);
    own->device().finishDrawsOn(*own);
    const PixelBuffer& buffer = own->pixels();
    if (pixelCount < std::size_t{buffer.width} * buffer.height) {
        return kErrInvalidCall;
    }
    for (UINT y = 0; y < buffer.height; ++y) {
        const Colour* row = buffer.row(y);
        for (UINT x = 0; x < buffer.width; ++x) {
            *pixels++ = buffer.stored(row[x]);
        }
    }
    return S_OK;
}

HRESULT writeSurfacePixels(Surface* surface, const Colour* pixels, std::size_t pixelCount) {
    if (surface == nullptr || pixels == nullptr) {
        return kErrInvalidCall;
    }
    SoftwareSurface* own = asSoftwareSurface(surface);
    own->device().finishDrawsOn(*own);
    const PixelBuffer& buffer = own->pixels();
    if (pixelCount < std::size_t{buffer.width} * buffer.height) {
        return kErrInvalidCall;
    }
    for (UINT y = 0; y < buffer.height; ++y) {
        Colour* row = buffer.row(y);
        for (UINT x = 0; x < buffer.width; ++x) {
            row[x] = buffer.stored(*pixels++);
        }
    }
    return S_OK;
}

}  // namespace gs::render::software
