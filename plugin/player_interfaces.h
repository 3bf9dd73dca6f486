// The media player's visualization interfaces, as the player calls them: the per-frame audio
// record and IWMPEffects / IWMPEffects2 with their methods in vtable order. Declared here from the
// player's published contract so that the plug-in and our own host agree with the player byte for
// byte; the static assertions below pin the layout on 32-bit and 64-bit builds.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/win32.h"

namespace gs::plugin {

constexpr int kSpectrumSize = 1024;
constexpr int kChannelCount = 2;

// Play states of TimedLevel::state.
enum PlayState : std::int32_t { kStopped = 0, kPaused = 1, kPlaying = 2 };

// One frame of audio levels: per channel 1024 spectrum bytes (low to high frequencies) and 1024
// waveform bytes (signed samples offset by 128), the play state and a time stamp in 100 ns units.
struct TimedLevel {
    unsigned char frequency[kChannelCount][kSpectrumSize];
    unsigned char waveform[kChannelCount][kSpectrumSize];
    std::int32_t state;
    std::int64_t timeStamp;
};

static_assert(offsetof(TimedLevel, frequency) == 0);
static_assert(offsetof(TimedLevel, waveform) == 2048);
static_assert(offsetof(TimedLevel, state) == 4096);
static_assert(offsetof(TimedLevel, timeStamp) == 4104);
static_assert(sizeof(TimedLevel) == 4112);

// Capability flags of GetCapabilities.
constexpr DWORD kEffectCanGoFullscreen = 0x1;
constexpr DWORD kEffectHasPropertyPage = 0x2;
constexpr DWORD kEffectVariableFreqStep = 0x4;
constexpr DWORD kEffectWindowedOnly = 0x8;
constexpr DWORD kEffect2FullscreenExclusive = 0x10;

}  // namespace gs::plugin

// The player core and media objects: the plug-in holds the core and ignores the media, calling
// nothing beyond IUnknown on either, so their own methods are not declared.
struct IWMPCore : IUnknown {};
struct IWMPMedia : IUnknown {};

// {D3984C13-C3CB-48E2-8BE5-5168340B4F35}
struct IWMPEffects : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Render(gs::plugin::TimedLevel* levels, HDC dc, RECT* rc) = 0;
    virtual HRESULT STDMETHODCALLTYPE MediaInfo(LONG channelCount, LONG sampleRate, BSTR title) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetCapabilities(DWORD* capabilities) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetTitle(BSTR* title) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetPresetTitle(LONG preset, BSTR* title) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetPresetCount(LONG* count) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetCurrentPreset(LONG preset) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetCurrentPreset(LONG* preset) = 0;
    virtual HRESULT STDMETHODCALLTYPE DisplayPropertyPage(HWND owner) = 0;
    virtual HRESULT STDMETHODCALLTYPE GoFullscreen(BOOL fullScreen) = 0;
    virtual HRESULT STDMETHODCALLTYPE RenderFullScreen(gs::plugin::TimedLevel* levels) = 0;
};

// {695386EC-AA3C-4618-A5E1-DD9A8B987632}
struct IWMPEffects2 : IWMPEffects {
    virtual HRESULT STDMETHODCALLTYPE SetCore(IWMPCore* core) = 0;
    virtual HRESULT STDMETHODCALLTYPE Create(HWND parent) = 0;
    virtual HRESULT STDMETHODCALLTYPE Destroy() = 0;
    virtual HRESULT STDMETHODCALLTYPE NotifyNewMedia(IWMPMedia* media) = 0;
    virtual HRESULT STDMETHODCALLTYPE OnWindowMessage(UINT message, WPARAM wParam, LPARAM lParam,
                                                      LRESULT* result) = 0;
    virtual HRESULT STDMETHODCALLTYPE RenderWindowed(gs::plugin::TimedLevel* levels,
                                                     BOOL required) = 0;
};

namespace gs::plugin {

constexpr IID kIIDWmpEffects = {
    0xD3984C13, 0xC3CB, 0x48E2, {0x8B, 0xE5, 0x51, 0x68, 0x34, 0x0B, 0x4F, 0x35}};
constexpr IID kIIDWmpEffects2 = {
    0x695386EC, 0xAA3C, 0x4618, {0xA5, 0xE1, 0xDD, 0x9A, 0x8B, 0x98, 0x76, 0x32}};
// The visualizer's class, "Glimmerstrand Class".
constexpr CLSID kCLSIDGlimmerstrand = {
    0x3CAE2904, 0x060B, 0x43DC, {0xA5, 0xD9, 0xC6, 0xAB, 0xB9, 0x18, 0x70, 0x7B}};

}  // namespace gs::plugin
