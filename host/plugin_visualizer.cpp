#include "host/plugin_visualizer.h"

#include <string>

#include "host/host_error.h"
#include "platform/linux/host.h"
#include "platform/linux/testing.h"

namespace gs::host {

namespace {

std::string toUtf8(const OLECHAR* text, UINT length) {
    if (text == nullptr || length == 0) {
        return {};
    }
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), nullptr, 0,
                                         nullptr, nullptr);
    std::string result(static_cast<std::size_t>(std::max(size, 0)), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), result.data(), size, nullptr,
                        nullptr);
    return result;
}

// Takes a BSTR the plug-in handed over: its text, and the BSTR freed as the receiver must.
std::string takeString(BSTR text) {
    std::string result = toUtf8(text, SysStringLen(text));
    SysFreeString(text);
    return result;
}

BSTR makeString(const std::string& utf8) {
    const int length =
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    BSTR text = SysAllocStringLen(nullptr, static_cast<UINT>(std::max(length, 0)));
    if (text != nullptr && length > 0) {
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), text, length);
    }
    return text;
}

// Offline renders run the platform's clock by frames, from zero: the plug-in's pacing then costs
// no real time, and its clock-seeded state (the starting hue) is the same on every run.
class FrameClockScope {
public:
    explicit FrameClockScope(bool enable) : enabled_(enable) {
        if (enabled_) {
            gsTestUseVirtualClock(TRUE, 0);
        }
    }
    ~FrameClockScope() {
        if (enabled_) {
            gsTestUseVirtualClock(FALSE, 0);
        }
    }
    FrameClockScope(const FrameClockScope&) = delete;
    FrameClockScope& operator=(const FrameClockScope&) = delete;

private:
    bool enabled_;
};

class PluginVisualizer final : public Visualizer {
public:
    PluginVisualizer(const PluginModule& module, const CLSID& classId, const PluginTarget& target)
        : target_(target), clock_(target.clock == PluginClock::Offline) {
        ComPtr<IClassFactory> factory = module.classFactory(classId);
        const HRESULT created =
            factory->CreateInstance(nullptr, plugin::kIIDWmpEffects2, effects_.put());
        if (FAILED(created) || !effects_) {
            throw HostError(
                "'" + module.path().filename().string() +
                (created == E_NOINTERFACE
                     ? "' does not offer the player's visualization interfaces"
                     : "' could not create its visualization (" + describeHresult(created) + ")"));
        }
        effects_->SetCore(nullptr);
        window_ = gsCreateWindow(target_.width, target_.height);
        if (window_ == nullptr) {
            throw HostError("cannot create a window of " + std::to_string(target_.width) + "x" +
                            std::to_string(target_.height));
        }
        effects_->Create(window_);
        makeSurface();
    }

    ~PluginVisualizer() override {
        effects_->Destroy();
        effects_.reset();
        releaseSurface();
        if (window_ != nullptr) {
            gsDestroyWindow(window_);
        }
    }

    std::string title() override {
        BSTR text = nullptr;
        return SUCCEEDED(effects_->GetTitle(&text)) ? takeString(text) : std::string();
    }

    int presetCount() override {
        LONG count = 0;
        return SUCCEEDED(effects_->GetPresetCount(&count)) ? static_cast<int>(count) : 0;
    }

    std::string presetTitle(int preset) override {
        BSTR text = nullptr;
        return SUCCEEDED(effects_->GetPresetTitle(preset, &text)) ? takeString(text)
                                                                  : std::string();
    }

    int currentPreset() override {
        LONG preset = 0;
        return SUCCEEDED(effects_->GetCurrentPreset(&preset)) ? static_cast<int>(preset) : 0;
    }

    void selectPreset(int preset) override {
        if (const HRESULT result = effects_->SetCurrentPreset(preset); FAILED(result)) {
            throw HostError("the visualization refuses preset " + std::to_string(preset) + " (" +
                            describeHresult(result) + ")");
        }
    }

    void beginStream(const StreamInfo& stream) override {
        // The caller owns an [in] BSTR: made here, freed here.
        BSTR title = makeString(stream.title);
        effects_->MediaInfo(stream.sourceChannels, stream.sourceSampleRate, title);
        SysFreeString(title);
    }

    void resize(int width, int height) override {
        if (width == target_.width && height == target_.height) {
            return;
        }
        target_.width = width;
        target_.height = height;
        gsResizeWindow(window_, width, height);
        releaseSurface();
        makeSurface();
    }

    FrameView render(const plugin::TimedLevel& levels) override {
        RECT area{0, 0, target_.width, target_.height};
        plugin::TimedLevel copy = levels;  // Render takes a non-const pointer
        effects_->Render(&copy, dc_, &area);
        if (target_.clock == PluginClock::Offline) {
            // The next frame is one frame period later, whatever the plug-in slept.
            frameClock_ += 1000.0 / target_.fps;
            const auto now = static_cast<DWORD>(frameClock_);
            gsTestAdvanceClock(now - lastTick_);
            lastTick_ = now;
        }
        return {bits_, target_.width, target_.height, target_.width};
    }

private:
    PluginTarget target_;
    FrameClockScope clock_;  // before the object, so that it is created and released on it
    ComPtr<IWMPEffects2> effects_;
    HWND window_ = nullptr;
    HDC dc_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ previous_ = nullptr;
    std::uint32_t* bits_ = nullptr;
    double frameClock_ = 0.0;
    DWORD lastTick_ = 0;

    void makeSurface() {
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        info.bmiHeader.biWidth = target_.width;
        info.bmiHeader.biHeight = -target_.height;  // top-down rows
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        dc_ = CreateCompatibleDC(nullptr);
        void* bits = nullptr;
        bitmap_ = dc_ != nullptr ? CreateDIBSection(dc_, &info, DIB_RGB_COLORS, &bits, nullptr, 0)
                                 : nullptr;
        if (bitmap_ == nullptr) {
            releaseSurface();
            throw HostError("cannot create a " + std::to_string(target_.width) + "x" +
                            std::to_string(target_.height) + " drawing surface");
        }
        previous_ = SelectObject(dc_, bitmap_);
        bits_ = static_cast<std::uint32_t*>(bits);
    }

    void releaseSurface() {
        if (dc_ != nullptr && previous_ != nullptr) {
            SelectObject(dc_, previous_);
        }
        if (bitmap_ != nullptr) {
            DeleteObject(bitmap_);
        }
        if (dc_ != nullptr) {
            DeleteDC(dc_);
        }
        dc_ = nullptr;
        bitmap_ = nullptr;
        previous_ = nullptr;
        bits_ = nullptr;
    }
};

}  // namespace

std::unique_ptr<Visualizer> createPluginVisualizer(const PluginModule& module, const CLSID& classId,
                                                   const PluginTarget& target) {
    return std::make_unique<PluginVisualizer>(module, classId, target);
}

}  // namespace gs::host
