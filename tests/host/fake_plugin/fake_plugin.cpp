// A stand-in visualization module for the host's tests: an in-process server with the four
// exports of the real module, one class (the Glimmerstrand class id, so the host needs no other),
// IWMPEffects2 with two presets, and a Render that fills the target rectangle with a colour made
// from the levels. Registration writes the player's Effects entry and the class key through the
// platform's registry. It is a test double, not the product.
#include <dlfcn.h>

#include <atomic>
#include <cstring>
#include <numeric>
#include <string>
#include <vector>

#include "platform/win32.h"
#include "plugin/player_interfaces.h"

#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

std::atomic<long> liveObjects{0};
std::atomic<long> serverLocks{0};

constexpr const char* kClassKey = "CLSID\\{3CAE2904-060B-43DC-A5D9-C6ABB918707B}";
constexpr const char* kEffectsKey =
    "SOFTWARE\\Microsoft\\MediaPlayer\\Objects\\Effects\\GlimmerstrandFake";

BSTR makeString(const char* text) {
    std::u16string wide(text, text + std::strlen(text));
    return SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
}

class FakeEffects final : public IWMPEffects2 {
public:
    FakeEffects() { ++liveObjects; }
    ~FakeEffects() { --liveObjects; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (object == nullptr) {
            return E_POINTER;
        }
        *object = nullptr;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, gs::plugin::kIIDWmpEffects) ||
            IsEqualIID(riid, gs::plugin::kIIDWmpEffects2)) {
            *object = static_cast<IWMPEffects2*>(this);
            AddRef();
            return S_OK;
        }
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --references_;
        if (left == 0) {
            delete this;
        }
        return left;
    }

    HRESULT STDMETHODCALLTYPE Render(gs::plugin::TimedLevel* levels, HDC dc, RECT* rc) override {
        if (levels == nullptr || dc == nullptr || rc == nullptr) {
            return E_POINTER;
        }
        const auto mean = [](const unsigned char(&cells)[gs::plugin::kSpectrumSize]) {
            return std::accumulate(std::begin(cells), std::end(cells), 0u) /
                   gs::plugin::kSpectrumSize;
        };
        // Red: left spectrum, green: the preset, blue: the play state.
        const DWORD colour = mean(levels->frequency[0]) << 16 |
                             static_cast<DWORD>(preset_ == 0 ? 0x20 : 0xA0) << 8 |
                             static_cast<DWORD>(levels->state * 0x40);
        const LONG width = rc->right - rc->left;
        const LONG height = rc->bottom - rc->top;
        pixels_.assign(
            static_cast<std::size_t>(std::max<LONG>(width, 0)) * std::max<LONG>(height, 0), colour);
        HDC source = gsCreateDCOverMemory(pixels_.data(), width, height, width * 4);
        if (source == nullptr) {
            return E_FAIL;
        }
        BitBlt(dc, rc->left, rc->top, width, height, source, 0, 0, SRCCOPY);
        DeleteDC(source);
        ++frames_;
        lastState_ = levels->state;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE MediaInfo(LONG channels, LONG rate, BSTR) override {
        channels_ = channels;
        rate_ = rate;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetCapabilities(DWORD* capabilities) override {
        if (capabilities == nullptr) {
            return E_POINTER;
        }
        *capabilities = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTitle(BSTR* title) override {
        if (title == nullptr) {
            return E_POINTER;
        }
        *title = makeString("Fake Glimmerstrand");
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetPresetTitle(LONG preset, BSTR* title) override {
        if (title == nullptr) {
            return E_POINTER;
        }
        if (preset < 0 || preset > 1) {
            return E_INVALIDARG;
        }
        *title = makeString(preset == 0 ? "2-Wave" : "4-Wave");
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetPresetCount(LONG* count) override {
        if (count == nullptr) {
            return E_POINTER;
        }
        *count = 2;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetCurrentPreset(LONG preset) override {
        if (preset < 0 || preset > 1) {
            return E_INVALIDARG;
        }
        preset_ = preset;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetCurrentPreset(LONG* preset) override {
        if (preset == nullptr) {
            return E_POINTER;
        }
        *preset = preset_;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE DisplayPropertyPage(HWND) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GoFullscreen(BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE RenderFullScreen(gs::plugin::TimedLevel*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE SetCore(IWMPCore* core) override {
        if (core_ != nullptr) {
            core_->Release();
        }
        core_ = core;
        if (core_ != nullptr) {
            core_->AddRef();
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Create(HWND parent) override {
        window_ = parent;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Destroy() override {
        window_ = nullptr;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE NotifyNewMedia(IWMPMedia*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnWindowMessage(UINT, WPARAM, LPARAM, LRESULT*) override {
        return S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE RenderWindowed(gs::plugin::TimedLevel*, BOOL) override {
        return E_NOTIMPL;
    }

private:
    std::atomic<ULONG> references_{0};
    LONG preset_ = 0;
    LONG channels_ = 0;
    LONG rate_ = 0;
    long frames_ = 0;
    std::int32_t lastState_ = 0;
    HWND window_ = nullptr;
    IWMPCore* core_ = nullptr;
    std::vector<DWORD> pixels_;
};

class FakeFactory final : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (object == nullptr) {
            return E_POINTER;
        }
        *object = nullptr;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
            *object = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++serverLocks + 1); }
    ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(--serverLocks + 1); }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** object) override {
        if (object == nullptr) {
            return E_POINTER;
        }
        *object = nullptr;
        if (outer != nullptr) {
            return CLASS_E_NOAGGREGATION;
        }
        auto* effects = new FakeEffects;
        effects->AddRef();
        const HRESULT result = effects->QueryInterface(riid, object);
        effects->Release();
        return result;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        lock ? ++serverLocks : --serverLocks;
        return S_OK;
    }
};

FakeFactory factory;

LONG setText(HKEY root, const std::string& path, const char* name, const std::string& value) {
    HKEY key = nullptr;
    LONG result =
        RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr);
    if (result == ERROR_SUCCESS) {
        result = RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                static_cast<DWORD>(value.size() + 1));
        RegCloseKey(key);
    }
    return result;
}

std::string modulePath() {
    Dl_info info{};
    dladdr(reinterpret_cast<void*>(&modulePath), &info);
    return info.dli_fname != nullptr ? info.dli_fname : "";
}

}  // namespace

FAKE_EXPORT HRESULT DllGetClassObject(REFCLSID classId, REFIID riid, void** object) {
    if (object == nullptr) {
        return E_POINTER;
    }
    *object = nullptr;
    if (!IsEqualCLSID(classId, gs::plugin::kCLSIDGlimmerstrand)) {
        return CLASS_E_CLASSNOTAVAILABLE;
    }
    return factory.QueryInterface(riid, object);
}

FAKE_EXPORT HRESULT DllCanUnloadNow() {
    return liveObjects == 0 && serverLocks == 0 ? S_OK : S_FALSE;
}

FAKE_EXPORT HRESULT DllRegisterServer() {
    LONG result = setText(HKEY_CLASSES_ROOT, kClassKey, nullptr, "Fake Glimmerstrand Class");
    if (result == ERROR_SUCCESS) {
        result = setText(HKEY_CLASSES_ROOT, std::string(kClassKey) + "\\InprocServer32", nullptr,
                         modulePath());
    }
    if (result == ERROR_SUCCESS) {
        result = setText(HKEY_LOCAL_MACHINE, std::string(kEffectsKey) + "\\Properties", "classid",
                         "{3CAE2904-060B-43DC-A5D9-C6ABB918707B}");
    }
    return HRESULT_FROM_WIN32(static_cast<std::uint32_t>(result));
}

FAKE_EXPORT HRESULT DllUnregisterServer() {
    for (const auto& [root, path] :
         {std::pair{HKEY_LOCAL_MACHINE, std::string(kEffectsKey) + "\\Properties"},
          std::pair{HKEY_LOCAL_MACHINE, std::string(kEffectsKey)},
          std::pair{HKEY_CLASSES_ROOT, std::string(kClassKey) + "\\InprocServer32"},
          std::pair{HKEY_CLASSES_ROOT, std::string(kClassKey)}}) {
        const LONG result = RegDeleteKeyA(root, path.c_str());
        if (result != ERROR_SUCCESS && result != ERROR_FILE_NOT_FOUND) {
            return HRESULT_FROM_WIN32(static_cast<std::uint32_t>(result));
        }
    }
    return S_OK;
}
