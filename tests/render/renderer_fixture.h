// A visualizer's renderer on the software device, without the COM object around it: the fields the
// object would own, a window to attach the device to, a memory DC to copy frames into, a virtual
// clock, and the effect resource carried by the test program.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/linux/host.h"
#include "platform/linux/testing.h"
#include "render/colour_model.h"
#include "render/device_lifecycle.h"
#include "render/frame_renderer.h"
#include "render/software/adapter.h"

namespace gs::render::testing {

// A 32-bit top-down DIB section selected into a memory DC.
class MemoryTarget {
public:
    MemoryTarget(LONG width, LONG height) : width_(width), height_(height) {
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        dc_ = CreateCompatibleDC(nullptr);
        bitmap_ = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, reinterpret_cast<void**>(&bits_),
                                   nullptr, 0);
        previous_ = SelectObject(dc_, bitmap_);
        fill(kUntouched);
    }
    ~MemoryTarget() {
        SelectObject(dc_, previous_);
        DeleteObject(bitmap_);
        DeleteDC(dc_);
    }
    MemoryTarget(const MemoryTarget&) = delete;
    MemoryTarget& operator=(const MemoryTarget&) = delete;

    static constexpr DWORD kUntouched = 0x00123456;

    void fill(DWORD colour) {
        for (LONG i = 0; i < width_ * height_; ++i) {
            bits_[i] = colour;
        }
    }
    DWORD pixel(LONG x, LONG y) const { return bits_[y * width_ + x] & 0x00FFFFFFu; }
    bool untouched() const {
        for (LONG i = 0; i < width_ * height_; ++i) {
            if ((bits_[i] & 0x00FFFFFFu) != kUntouched) {
                return false;
            }
        }
        return true;
    }
    HDC dc() const { return dc_; }
    RECT rect() const { return {0, 0, width_, height_}; }

private:
    LONG width_;
    LONG height_;
    HDC dc_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ previous_ = nullptr;
    DWORD* bits_ = nullptr;
};

inline int channel(DWORD colour, int shift) {
    return static_cast<int>((colour >> shift) & 0xFF);
}

// True when every channel of a and b differs by at most tolerance.
inline bool closeTo(DWORD a, DWORD b, int tolerance) {
    for (int shift : {0, 8, 16}) {
        if (std::abs(channel(a, shift) - channel(b, shift)) > tolerance) {
            return false;
        }
    }
    return true;
}

class RendererTest : public ::testing::Test {
protected:
    static constexpr UINT kDisplayWidth = 160;
    static constexpr UINT kDisplayHeight = 120;

    void SetUp() override {
        gsTestReset();
        gsTestSilenceMessageBoxes(TRUE);
        gsTestUseVirtualClock(TRUE, 100000);
        software::resetAdapter();
        setDisplay(kDisplayWidth, kDisplayHeight, 60);
        baseline_ = software::liveObjects().total();
        window_ =
            gsCreateWindow(static_cast<LONG>(kDisplayWidth), static_cast<LONG>(kDisplayHeight));
        hostWindow_ = window_;
        moduleHandle_ = GetModuleHandleA(nullptr);  // this program carries EFFECT.OBJ
        setSmoothedColour(Side::Left, {0, 0, 0});
        setSmoothedColour(Side::Right, {0, 0, 0});
        std::memset(&levels_, 0, sizeof levels_);
        std::memset(levels_.waveform, 128, sizeof levels_.waveform);
        levels_.state = plugin::kPlaying;
    }

    void TearDown() override {
        releaseAll();
        EXPECT_EQ(software::liveObjects().total(), baseline_) << "objects of the device leaked";
        gsDestroyWindow(window_);
        software::resetAdapter();
        gsTestReset();
    }

    static void setDisplay(UINT width, UINT height, UINT refreshRate) {
        software::AdapterSettings settings = software::adapterSettings();
        settings.displayMode = {width, height, refreshRate, Format::X8R8G8B8};
        software::setAdapterSettings(settings);
    }

    VisualizerView view() {
        return {state_, hostWindow_, moduleHandle_, preset_, isMono_, isRenderingEnabled_, hue_};
    }

    HRESULT initialize() { return initializeDirect3D(view()); }

    HRESULT render(MemoryTarget& target) {
        const RECT rc = target.rect();
        return renderFrame(view(), &levels_, target.dc(), &rc);
    }

    HRESULT render(MemoryTarget& target, const RECT& rc) {
        return renderFrame(view(), &levels_, target.dc(), &rc);
    }

    // What finalRelease does with the Direct3D state.
    void releaseAll() {
        releaseDeviceResources(state_);
        if (state_.direct3d != nullptr) {
            state_.direct3d->Release();
            state_.direct3d = nullptr;
        }
    }

    std::vector<Colour> strip(Surface* surface) const {
        std::vector<Colour> texels(static_cast<size_t>(state_.historyLength));
        EXPECT_EQ(software::readSurfacePixels(surface, texels.data(), texels.size()), S_OK);
        return texels;
    }

    static std::vector<std::string> messageTexts() {
        std::vector<std::string> texts;
        for (UINT i = 0; i < gsTestMessageBoxCount(); ++i) {
            GsMessageBoxRecord record;
            if (gsTestMessageBox(i, &record)) {
                texts.emplace_back(record.text);
            }
        }
        return texts;
    }

    RenderState state_;
    HWND window_ = nullptr;
    HWND hostWindow_ = nullptr;
    HMODULE moduleHandle_ = nullptr;
    LONG preset_ = 0;
    bool isMono_ = false;
    bool isRenderingEnabled_ = false;
    float hue_ = 0.0f;
    plugin::TimedLevel levels_;
    int baseline_ = 0;
};

}  // namespace gs::render::testing
