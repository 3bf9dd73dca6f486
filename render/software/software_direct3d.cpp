#include "render/software/software_direct3d.h"

#include <new>

#include "render/software/adapter_state.h"
#include "render/software/pixel_buffer.h"
#include "render/software/software_device.h"

namespace gs::render {

__attribute__((visibility("default"))) Direct3D* createDirect3D(UINT sdkVersion) {
    HRESULT ignored;
    if (sdkVersion != kSdkVersion ||
        software::takeFault(software::Fault::CreateDirect3D, &ignored)) {
        return nullptr;
    }
    return new (std::nothrow) software::SoftwareDirect3D;
}

}  // namespace gs::render

namespace gs::render::software {
namespace {

constexpr DWORD kSwapEffectFlip = 2;
constexpr DWORD kSwapEffectCopy = 3;
constexpr UINT kMaxBackBuffers = 3;

// Checks the present parameters of a windowed device with one back buffer; fills in what
// Direct3D 9 lets a caller leave open (back-buffer format Unknown: the display's format).
HRESULT validatePresentParameters(const PresentParameters& in, HWND focusWindow,
                                  const AdapterSettings& settings, PresentParameters* out) {
    *out = in;
    if (!in.Windowed) {
        return kErrInvalidCall;  // the software adapter has no display to take over
    }
    if (in.hDeviceWindow == nullptr && focusWindow == nullptr) {
        return kErrInvalidCall;
    }
    if (in.BackBufferWidth == 0 || in.BackBufferHeight == 0 ||
        in.BackBufferWidth > settings.maxTextureSize ||
        in.BackBufferHeight > settings.maxTextureSize) {
        return kErrInvalidCall;
    }
    if (in.BackBufferFormat == Format::Unknown) {
        out->BackBufferFormat = settings.displayMode.Format;
    }
    if (!isSupportedFormat(out->BackBufferFormat)) {
        return kErrInvalidCall;
    }
    if (in.BackBufferCount > kMaxBackBuffers) {
        return kErrInvalidCall;
    }
    out->BackBufferCount = 1;
    if (in.SwapEffect != kSwapEffectDiscard && in.SwapEffect != kSwapEffectFlip &&
        in.SwapEffect != kSwapEffectCopy) {
        return kErrInvalidCall;
    }
    if (in.MultiSampleType != kMultiSampleNone || in.EnableAutoDepthStencil) {
        return kErrInvalidCall;  // neither multisampling nor depth buffers are offered
    }
    return S_OK;
}

}  // namespace

SoftwareDirect3D::SoftwareDirect3D() {
    countObject(ObjectKind::Direct3D, +1);
}

SoftwareDirect3D::~SoftwareDirect3D() {
    countObject(ObjectKind::Direct3D, -1);
}

ULONG SoftwareDirect3D::AddRef() {
    return refs_.add();
}

ULONG SoftwareDirect3D::Release() {
    const ReferenceCount::Released released = refs_.release();
    if (released.last) {
        delete this;
    }
    return released.left;
}

HRESULT SoftwareDirect3D::GetAdapterDisplayMode(UINT adapter, DisplayMode* mode) {
    if (adapter != kDefaultAdapter || mode == nullptr) {
        return kErrInvalidCall;
    }
    HRESULT injected;
    if (takeFault(Fault::GetAdapterDisplayMode, &injected)) {
        return injected;
    }
    *mode = adapterSettings().displayMode;
    return S_OK;
}

HRESULT SoftwareDirect3D::GetDeviceCaps(UINT adapter, DeviceType type, Caps* caps) {
    if (adapter != kDefaultAdapter || caps == nullptr) {
        return kErrInvalidCall;
    }
    HRESULT injected;
    if (takeFault(Fault::GetDeviceCaps, &injected)) {
        return injected;
    }
    if (type != DeviceType::Hal) {
        return kErrNotAvailable;
    }
    const AdapterSettings settings = adapterSettings();
    caps->PixelShaderVersion = settings.pixelShaderVersion;
    caps->MaxPointSize = settings.maxPointSize;
    caps->MaxTextureWidth = settings.maxTextureSize;
    caps->MaxTextureHeight = settings.maxTextureSize;
    return S_OK;
}

HRESULT SoftwareDirect3D::CreateDevice(UINT adapter, DeviceType type, HWND focusWindow,
                                       DWORD /*behaviourFlags*/, PresentParameters* parameters,
                                       Device** device) {
    if (device == nullptr) {
        return kErrInvalidCall;
    }
    *device = nullptr;
    if (adapter != kDefaultAdapter || parameters == nullptr) {
        return kErrInvalidCall;
    }
    HRESULT injected;
    if (takeFault(Fault::CreateDevice, &injected)) {
        return injected;
    }
    if (type != DeviceType::Hal) {
        return kErrNotAvailable;
    }
    const AdapterSettings settings = adapterSettings();
    PresentParameters accepted;
    const HRESULT valid = validatePresentParameters(*parameters, focusWindow, settings, &accepted);
    if (FAILED(valid)) {
        return valid;
    }
    SoftwareDevice* created = nullptr;
    const HRESULT hr = SoftwareDevice::create(*this, accepted, settings, &created);
    if (FAILED(hr)) {
        return hr;
    }
    // Direct3D 9 writes back what it filled in.
    *parameters = accepted;
    *device = created;
    return S_OK;
}

}  // namespace gs::render::software
