#include "plugin/visualizer_object.h"

#include "automation/type_info_cache.h"
#include "plugin/foreground_colour.h"
#include "plugin/string_table.h"
#include "render/device_lifecycle.h"
#include "render/frame_renderer.h"

namespace gs::plugin {

namespace {

// Loads a title into a BSTR for the caller; E_FAIL, leaving title untouched, when it is missing
// or empty.
HRESULT loadTitle(UINT number, BSTR* title) {
    BSTR text = nullptr;
    if (loadStringResource(number, text) && SysStringLen(text) != 0) {
        *title = text;
        return S_OK;
    }
    SysFreeString(text);
    return E_FAIL;
}

}  // namespace

VisualizerObject::VisualizerObject(IUnknown* outer)
    : foregroundColor(kDefaultForegroundColour),
      currentPreset(0),
      hostWindow(nullptr),
      core(nullptr),
      moduleHandle(GetModuleHandleA(render::kModuleFileName)),
      renderState(),
      isMono(false),
      sampleRate(0),
      isRenderingEnabled(false),
      hue(static_cast<float>(timeGetTime() % 360u)) {
    if (outer != nullptr) {
        outerUnknown = outer;
    } else {
        referenceCount = 0;
    }
}

render::VisualizerView VisualizerObject::view() {
    return {renderState, hostWindow, moduleHandle, currentPreset, isMono, isRenderingEnabled, hue};
}

HRESULT VisualizerObject::internalQueryInterface(REFIID riid, void** object) {
    if (object == nullptr) {
        return E_POINTER;
    }
    *object = nullptr;
    IUnknown* found = nullptr;
    if (IsEqualGUID(riid, IID_IUnknown) || IsEqualGUID(riid, kIIDGlimmerstrand) ||
        IsEqualGUID(riid, IID_IDispatch)) {
        found = static_cast<IGlimmerstrand*>(this);
    } else if (IsEqualGUID(riid, kIIDWmpEffects) || IsEqualGUID(riid, kIIDWmpEffects2)) {
        found = static_cast<IWMPEffects2*>(this);
    } else {
        return E_NOINTERFACE;
    }
    found->AddRef();
    *object = found;
    return S_OK;
}

HRESULT VisualizerObject::finalConstruct() {
    return render::initializeDirect3D(view());
}

void VisualizerObject::finalRelease() {
    render::releaseDeviceResources(renderState);
    if (renderState.direct3d != nullptr) {
        renderState.direct3d->Release();
        renderState.direct3d = nullptr;
    }
    if (core != nullptr) {
        core->Release();
        core = nullptr;
    }
}

// IDispatch.

HRESULT VisualizerObject::GetTypeInfoCount(UINT* count) {
    return automation::glimmerstrandTypeInfo().GetTypeInfoCount(count);
}

HRESULT VisualizerObject::GetTypeInfo(UINT index, LCID locale, ITypeInfo** typeInfo) {
    return automation::glimmerstrandTypeInfo().GetTypeInfo(index, locale, typeInfo);
}

HRESULT VisualizerObject::GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID locale,
                                        DISPID* dispids) {
    return automation::glimmerstrandTypeInfo().GetIDsOfNames(riid, names, count, locale, dispids);
}

HRESULT VisualizerObject::Invoke(DISPID member, REFIID riid, LCID locale, WORD flags,
                                 DISPPARAMS* parameters, VARIANT* result, EXCEPINFO* exception,
                                 UINT* argumentError) {
    return automation::glimmerstrandTypeInfo().Invoke(static_cast<IGlimmerstrand*>(this), member,
                                                      riid, locale, flags, parameters, result,
                                                      exception, argumentError);
}

// IGlimmerstrand.

HRESULT VisualizerObject::get_foregroundColor(BSTR* pVal) {
    if (pVal == nullptr) {
        return E_POINTER;
    }
    // An allocation failure leaves the out pointer null and is still S_OK, as for any getter
    // whose text could not be made.
    *pVal = formatForegroundColour(foregroundColor);
    return S_OK;
}

HRESULT VisualizerObject::put_foregroundColor(BSTR newVal) {
    return parseForegroundColour(newVal, foregroundColor);
}

// IWMPEffects.

HRESULT VisualizerObject::Render(TimedLevel* levels, HDC dc, RECT* rc) {
    return render::renderFrame(view(), levels, dc, rc);
}

HRESULT VisualizerObject::MediaInfo(LONG channelCount, LONG rate, BSTR) {
    isMono = channelCount == 1;
    sampleRate = rate;
    return S_OK;
}

HRESULT VisualizerObject::GetCapabilities(DWORD* capabilities) {
    if (capabilities == nullptr) {
        return E_POINTER;
    }
    *capabilities = 0;  // windowed and full-screen through the player, no property page
    return S_OK;
}

HRESULT VisualizerObject::GetTitle(BSTR* title) {
    if (title == nullptr) {
        return E_POINTER;
    }
    return loadTitle(kStringTitle, title);
}

HRESULT VisualizerObject::GetPresetTitle(LONG preset, BSTR* title) {
    if (title == nullptr) {
        return E_POINTER;
    }
    if (preset < 0 || preset >= kPresetCount) {
        return E_INVALIDARG;
    }
    return loadTitle(preset == 0 ? kStringPreset0Title : kStringPreset1Title, title);
}

HRESULT VisualizerObject::GetPresetCount(LONG* count) {
    if (count == nullptr) {
        return E_POINTER;
    }
    *count = kPresetCount;
    return S_OK;
}

HRESULT VisualizerObject::SetCurrentPreset(LONG preset) {
    if (preset < 0 || preset >= kPresetCount) {
        return E_INVALIDARG;
    }
    currentPreset = preset;
    return S_OK;
}

HRESULT VisualizerObject::GetCurrentPreset(LONG* preset) {
    if (preset == nullptr) {
        return E_POINTER;
    }
    *preset = currentPreset;
    return S_OK;
}

HRESULT VisualizerObject::DisplayPropertyPage(HWND) {
    return E_NOTIMPL;
}

HRESULT VisualizerObject::GoFullscreen(BOOL) {
    return E_NOTIMPL;
}

HRESULT VisualizerObject::RenderFullScreen(TimedLevel*) {
    return E_NOTIMPL;
}

// IWMPEffects2.

HRESULT VisualizerObject::SetCore(IWMPCore* newCore) {
    if (core != nullptr) {
        core->Release();
        core = nullptr;
    }
    if (newCore != nullptr) {
        newCore->AddRef();
        core = newCore;
    }
    return S_OK;
}

HRESULT VisualizerObject::Create(HWND parent) {
    hostWindow = parent;
    return S_OK;
}

HRESULT VisualizerObject::Destroy() {
    hostWindow = nullptr;
    return S_OK;
}

HRESULT VisualizerObject::NotifyNewMedia(IWMPMedia*) {
    return S_OK;
}

HRESULT VisualizerObject::OnWindowMessage(UINT, WPARAM, LPARAM, LRESULT*) {
    return S_FALSE;
}

HRESULT VisualizerObject::RenderWindowed(TimedLevel* levels, BOOL) {
    if (hostWindow == nullptr) {
        return E_UNEXPECTED;
    }
    HDC dc = GetDC(hostWindow);
    if (dc == nullptr) {
        return E_FAIL;
    }
    RECT client = {0, 0, 0, 0};
    GetClientRect(hostWindow, &client);
    static_cast<IWMPEffects2*>(this)->Render(levels, dc, &client);
    ReleaseDC(hostWindow, dc);
    return S_OK;
}

}  // namespace gs::plugin
