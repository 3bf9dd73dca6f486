// The visualization object the player creates and drives: IWMPEffects2 (and through it
// IWMPEffects) for the player, IGlimmerstrand for automation clients. It records what the player
// tells it, answers its questions from fixed values and the string table, and hands every frame to
// the renderer.
//
// How the object counts references depends on how it lives: alone (PlainVisualizer) or inside an
// aggregate (ContainedVisualizer, which forwards to the outer object). Those final classes, in
// module/, supply IUnknown; everything else is here.
#pragma once

#include "plugin/glimmerstrand_interface.h"
#include "plugin/player_interfaces.h"
#include "render/render_state.h"
#include "render/visualizer_view.h"

namespace gs::plugin {

constexpr LONG kPresetCount = 2;

class VisualizerObject : public IGlimmerstrand, public IWMPEffects2 {
public:
    VisualizerObject(const VisualizerObject&) = delete;
    VisualizerObject& operator=(const VisualizerObject&) = delete;

    // QueryInterface of the object itself: IUnknown, then the interface table in its order.
    HRESULT internalQueryInterface(REFIID riid, void** object);

    // The final construction step: Direct3D, the display mode and the present parameters. On
    // failure the user has been told and the object must be destroyed.
    HRESULT finalConstruct();
    // Run once while the object is destroyed: the device resources, Direct3D, the player core.
    void finalRelease();

    // IDispatch, through the shared type information.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale, ITypeInfo** typeInfo) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID locale,
                                            DISPID* dispids) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID member, REFIID riid, LCID locale, WORD flags,
                                     DISPPARAMS* parameters, VARIANT* result, EXCEPINFO* exception,
                                     UINT* argumentError) override;

    // IGlimmerstrand.
    HRESULT STDMETHODCALLTYPE get_foregroundColor(BSTR* pVal) override;
    HRESULT STDMETHODCALLTYPE put_foregroundColor(BSTR newVal) override;

    // IWMPEffects.
    HRESULT STDMETHODCALLTYPE Render(TimedLevel* levels, HDC dc, RECT* rc) override;
    HRESULT STDMETHODCALLTYPE MediaInfo(LONG channelCount, LONG sampleRate, BSTR title) override;
    HRESULT STDMETHODCALLTYPE GetCapabilities(DWORD* capabilities) override;
    HRESULT STDMETHODCALLTYPE GetTitle(BSTR* title) override;
    HRESULT STDMETHODCALLTYPE GetPresetTitle(LONG preset, BSTR* title) override;
    HRESULT STDMETHODCALLTYPE GetPresetCount(LONG* count) override;
    HRESULT STDMETHODCALLTYPE SetCurrentPreset(LONG preset) override;
    HRESULT STDMETHODCALLTYPE GetCurrentPreset(LONG* preset) override;
    HRESULT STDMETHODCALLTYPE DisplayPropertyPage(HWND owner) override;
    HRESULT STDMETHODCALLTYPE GoFullscreen(BOOL fullScreen) override;
    HRESULT STDMETHODCALLTYPE RenderFullScreen(TimedLevel* levels) override;

    // IWMPEffects2.
    HRESULT STDMETHODCALLTYPE SetCore(IWMPCore* newCore) override;
    HRESULT STDMETHODCALLTYPE Create(HWND parent) override;
    HRESULT STDMETHODCALLTYPE Destroy() override;
    HRESULT STDMETHODCALLTYPE NotifyNewMedia(IWMPMedia* media) override;
    HRESULT STDMETHODCALLTYPE OnWindowMessage(UINT message, WPARAM wParam, LPARAM lParam,
                                              LRESULT* result) override;
    HRESULT STDMETHODCALLTYPE RenderWindowed(TimedLevel* levels, BOOL required) override;

protected:
    // referenceCount for an object living alone; the controlling object's IUnknown for one living
    // inside an aggregate. The same place holds one or the other.
    explicit VisualizerObject(IUnknown* outer);
    ~VisualizerObject() = default;

    union {
        LONG referenceCount;
        IUnknown* outerUnknown;
    };

private:
    render::VisualizerView view();

    COLORREF foregroundColor;
    LONG currentPreset;
    HWND hostWindow;
    IWMPCore* core;
    HMODULE moduleHandle;
    render::RenderState renderState;
    bool isMono;
    LONG sampleRate;
    bool isRenderingEnabled;
    float hue;  // degrees
};

}  // namespace gs::plugin
