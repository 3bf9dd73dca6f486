// The window table: windows that hosts and tests create, with their client pixels.
#include <algorithm>
#include <cstring>
#include <unordered_map>
#include <vector>

#include "platform/linux/detail/desktop.h"
#include "platform/linux/host.h"

namespace gs::platform::detail {
namespace {

// Large enough for any display, small enough that width * height * 4 fits comfortably.
constexpr LONG maximumSide = 16384;

struct Window {
    LONG width = 0;
    LONG height = 0;
    std::vector<std::uint32_t> pixels;  // rows top down, no padding
};

struct WindowTable {
    std::unordered_map<HWND, Window> windows;
    std::uintptr_t nextHandle = 0x20000;
    HWND foreground = nullptr;
};

WindowTable& table() {
    static WindowTable instance;
    return instance;
}

Window* findLocked(HWND window) {
    auto& windows = table().windows;
    const auto found = windows.find(window);
    return found == windows.end() ? nullptr : &found->second;
}

bool validSize(LONG width, LONG height) {
    return width >= 0 && height >= 0 && width <= maximumSide && height <= maximumSide;
}

}  // namespace

std::mutex& desktopMutex() {
    static std::mutex mutex;
    return mutex;
}

bool windowExistsLocked(HWND window) {
    return findLocked(window) != nullptr;
}

std::size_t windowCountLocked() {
    return table().windows.size();
}

Surface windowSurfaceLocked(HWND window) {
    Window* found = findLocked(window);
    if (found == nullptr || found->pixels.empty()) {
        return {};
    }
    return {reinterpret_cast<unsigned char*>(found->pixels.data()), found->width, found->height,
            static_cast<std::ptrdiff_t>(found->width) * 4};
}

}  // namespace gs::platform::detail

using namespace gs::platform::detail;

extern "C" {

HWND gsCreateWindow(LONG clientWidth, LONG clientHeight) {
    if (!validSize(clientWidth, clientHeight)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::lock_guard lock(desktopMutex());
    WindowTable& windows = table();
    const auto handle = reinterpret_cast<HWND>(windows.nextHandle);
    windows.nextHandle += 0x10;  // never reused, so a stale handle stays invalid
    Window& window = windows.windows[handle];
    window.width = clientWidth;
    window.height = clientHeight;
    window.pixels.assign(static_cast<std::size_t>(clientWidth) * clientHeight, 0);
    return handle;
}

BOOL gsResizeWindow(HWND window, LONG clientWidth, LONG clientHeight) {
    if (!validSize(clientWidth, clientHeight)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::lock_guard lock(desktopMutex());
    Window* found = findLocked(window);
    if (found == nullptr) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(clientWidth) * clientHeight, 0);
    const LONG keptWidth = std::min(clientWidth, found->width);
    // An empty side keeps nothing (and an empty vector has no memory to copy to or from).
    const LONG keptHeight = keptWidth > 0 ? std::min(clientHeight, found->height) : 0;
    for (LONG y = 0; y < keptHeight; ++y) {
        std::memcpy(pixels.data() + static_cast<std::size_t>(y) * clientWidth,
                    found->pixels.data() + static_cast<std::size_t>(y) * found->width,
                    static_cast<std::size_t>(keptWidth) * 4);
    }
    found->width = clientWidth;
    found->height = clientHeight;
    found->pixels = std::move(pixels);
    return TRUE;
}

BOOL gsDestroyWindow(HWND window) {
    std::lock_guard lock(desktopMutex());
    WindowTable& windows = table();
    if (windows.windows.erase(window) == 0) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    if (windows.foreground == window) {
        windows.foreground = nullptr;
    }
    return TRUE;
}

BOOL gsReadWindowPixels(HWND window, DWORD* pixels, LONG pitchBytes) {
    std::lock_guard lock(desktopMutex());
    const Window* found = findLocked(window);
    if (found == nullptr) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    if (found->width == 0 || found->height == 0) {
        return TRUE;
    }
    if (pixels == nullptr || pitchBytes < found->width * 4) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    auto* out = reinterpret_cast<unsigned char*>(pixels);
    for (LONG y = 0; y < found->height; ++y) {
        auto* row = reinterpret_cast<DWORD*>(out + static_cast<std::ptrdiff_t>(y) * pitchBytes);
        const std::uint32_t* in = found->pixels.data() + static_cast<std::size_t>(y) * found->width;
        for (LONG x = 0; x < found->width; ++x) {
            row[x] = in[x] & 0x00FFFFFFu;
        }
    }
    return TRUE;
}

BOOL gsSetForegroundWindow(HWND window) {
    std::lock_guard lock(desktopMutex());
    if (window != nullptr && findLocked(window) == nullptr) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    table().foreground = window;
    return TRUE;
}

BOOL WINAPI IsWindow(HWND window) {
    std::lock_guard lock(desktopMutex());
    return findLocked(window) != nullptr ? TRUE : FALSE;
}

BOOL WINAPI GetClientRect(HWND window, LPRECT rect) {
    std::lock_guard lock(desktopMutex());
    const Window* found = findLocked(window);
    if (found == nullptr) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    if (rect == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *rect = {0, 0, found->width, found->height};
    return TRUE;
}

HDC WINAPI GetDC(HWND window) {
    std::lock_guard lock(desktopMutex());
    if (findLocked(window) == nullptr) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    return createWindowDCLocked(window);
}

int WINAPI ReleaseDC(HWND window, HDC dc) {
    std::lock_guard lock(desktopMutex());
    return releaseWindowDCLocked(window, dc) ? 1 : 0;
}

HWND WINAPI GetForegroundWindow() {
    std::lock_guard lock(desktopMutex());
    return table().foreground;
}

}  // extern "C"
