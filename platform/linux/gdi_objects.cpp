// GDI objects: device contexts and bitmaps, kept in one handle table under the desktop lock.
#include <cstring>
#include <memory>
#include <unordered_map>

#include "platform/linux/detail/desktop.h"
#include "platform/linux/gdi.h"

namespace gs::platform::detail {
namespace {

constexpr LONG maximumSide = 32767;

// A bitmap's pixels are whole pages of their own, as a section's are on Windows: a large one then
// lies in huge pages where the system gives them, for the copies that stream through it.
struct ReleasePages {
    void operator()(std::uint32_t* bits) const { VirtualFree(bits, 0, MEM_RELEASE); }
};
using BitmapBits = std::unique_ptr<std::uint32_t[], ReleasePages>;

struct Bitmap {
    LONG width = 0;
    LONG height = 0;
    bool topDown = true;
    bool isDibSection = false;
    bool isStock = false;
    BitmapBits bits;
    HDC selectedInto = nullptr;

    Surface surface() const {
        auto* first = reinterpret_cast<unsigned char*>(bits.get());
        const auto pitch = static_cast<std::ptrdiff_t>(width) * 4;
        return topDown ? Surface{first, width, height, pitch}
                       : Surface{first + (height - 1) * pitch, width, height, -pitch};
    }
};

struct DeviceContext {
    enum class Kind { memory, window, memoryOverCaller } kind = Kind::memory;
    HBITMAP selected = nullptr;  // memory DCs
    HWND window = nullptr;       // window DCs
    Surface callerMemory;        // DCs over caller memory
};

struct GdiTable {
    std::unordered_map<std::uintptr_t, DeviceContext> dcs;
    std::unordered_map<std::uintptr_t, Bitmap> bitmaps;
    std::uintptr_t nextHandle = 0x30000;
    HBITMAP stockBitmap = nullptr;

    std::uintptr_t newHandle() {
        const std::uintptr_t handle = nextHandle;
        nextHandle += 0x10;  // never reused, so a stale handle stays invalid
        return handle;
    }
};

std::uintptr_t key(const void* handle) {
    return reinterpret_cast<std::uintptr_t>(handle);
}

Bitmap* allocateBitmap(GdiTable& gdi, LONG width, LONG height, bool topDown, HBITMAP& handle) {
    const std::size_t bytes =
        static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4;
    BitmapBits bits(static_cast<std::uint32_t*>(
        VirtualAlloc(nullptr, bytes == 0 ? 1 : bytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE)));
    if (bits == nullptr) {
        return nullptr;
    }
    handle = reinterpret_cast<HBITMAP>(gdi.newHandle());
    Bitmap& bitmap = gdi.bitmaps[key(handle)];
    bitmap.width = width;
    bitmap.height = height;
    bitmap.topDown = topDown;
    bitmap.bits = std::move(bits);
    return &bitmap;
}

// Memory DCs start with this 1 x 1 bitmap selected, as Windows gives them its stock bitmap.
HBITMAP stockBitmapLocked(GdiTable& gdi) {
    if (gdi.stockBitmap == nullptr) {
        HBITMAP handle = nullptr;
        if (Bitmap* bitmap = allocateBitmap(gdi, 1, 1, true, handle)) {
            bitmap->isStock = true;
            gdi.stockBitmap = handle;
        }
    }
    return gdi.stockBitmap;
}

GdiTable& gdiTable() {
    static GdiTable instance;
    return instance;
}

HDC addDC(GdiTable& gdi, DeviceContext dc) {
    const auto handle = reinterpret_cast<HDC>(gdi.newHandle());
    gdi.dcs.emplace(key(handle), dc);
    return handle;
}

bool validDibHeader(const BITMAPINFOHEADER& header) {
    return header.biSize >= sizeof(BITMAPINFOHEADER) && header.biWidth > 0 &&
           header.biWidth <= maximumSide && header.biHeight != 0 &&
           header.biHeight >= -maximumSide && header.biHeight <= maximumSide &&
           header.biPlanes == 1 && header.biBitCount == 32 && header.biCompression == BI_RGB;
}

}  // namespace

HDC createWindowDCLocked(HWND window) {
    DeviceContext dc;
    dc.kind = DeviceContext::Kind::window;
    dc.window = window;
    return addDC(gdiTable(), dc);
}

bool releaseWindowDCLocked(HWND window, HDC dc) {
    GdiTable& gdi = gdiTable();
    const auto found = gdi.dcs.find(key(dc));
    if (found == gdi.dcs.end() || found->second.kind != DeviceContext::Kind::window ||
        found->second.window != window) {
        return false;
    }
    gdi.dcs.erase(found);
    return true;
}

Surface dcSurfaceLocked(HDC handle, bool& validDC) {
    GdiTable& gdi = gdiTable();
    const auto found = gdi.dcs.find(key(handle));
    validDC = found != gdi.dcs.end();
    if (!validDC) {
        return {};
    }
    const DeviceContext& dc = found->second;
    switch (dc.kind) {
        case DeviceContext::Kind::memory: {
            const auto bitmap = gdi.bitmaps.find(key(dc.selected));
            return bitmap == gdi.bitmaps.end() ? Surface{} : bitmap->second.surface();
        }
        case DeviceContext::Kind::window:
            return windowSurfaceLocked(dc.window);
        case DeviceContext::Kind::memoryOverCaller:
            return dc.callerMemory;
    }
    return {};
}

std::size_t deviceContextCountLocked() {
    return gdiTable().dcs.size();
}

std::size_t bitmapCountLocked() {
    const GdiTable& gdi = gdiTable();
    return gdi.bitmaps.size() - (gdi.stockBitmap != nullptr ? 1 : 0);
}

}  // namespace gs::platform::detail

using namespace gs::platform::detail;

extern "C" {

HDC WINAPI CreateCompatibleDC(HDC) {
    std::lock_guard lock(desktopMutex());
    GdiTable& gdi = gdiTable();
    DeviceContext dc;
    dc.selected = stockBitmapLocked(gdi);
    if (dc.selected == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    return addDC(gdi, dc);
}

BOOL WINAPI DeleteDC(HDC dc) {
    std::lock_guard lock(desktopMutex());
    GdiTable& gdi = gdiTable();
    const auto found = gdi.dcs.find(key(dc));
    if (found == gdi.dcs.end() || found->second.kind == DeviceContext::Kind::window) {
        // A window's DC goes back with ReleaseDC.
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    const auto bitmap = gdi.bitmaps.find(key(found->second.selected));
    if (bitmap != gdi.bitmaps.end()) {
        bitmap->second.selectedInto = nullptr;  // the bitmap lives on, free to select elsewhere
    }
    gdi.dcs.erase(found);
    return TRUE;
}

HBITMAP WINAPI CreateDIBSection(HDC, const BITMAPINFO* info, UINT usage, void** bits,
                                HANDLE section, DWORD) {
    if (bits != nullptr) {
        *bits = nullptr;
    }
    if (info == nullptr || usage != DIB_RGB_COLORS || section != nullptr ||
        !validDibHeader(info->bmiHeader)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const BITMAPINFOHEADER& header = info->bmiHeader;
    const bool topDown = header.biHeight < 0;
    const LONG height = topDown ? -header.biHeight : header.biHeight;
    std::lock_guard lock(desktopMutex());
    HBITMAP handle = nullptr;
    Bitmap* bitmap = allocateBitmap(gdiTable(), header.biWidth, height, topDown, handle);
    if (bitmap == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    bitmap->isDibSection = true;
    if (bits != nullptr) {
        *bits = bitmap->bits.get();
    }
    return handle;
}

HBITMAP WINAPI CreateCompatibleBitmap(HDC, int width, int height) {
    if (width < 0 || height < 0 || width > maximumSide || height > maximumSide) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::lock_guard lock(desktopMutex());
    GdiTable& gdi = gdiTable();
    if (width == 0 || height == 0) {
        return stockBitmapLocked(gdi);  // Windows answers an empty size with its stock bitmap
    }
    HBITMAP handle = nullptr;
    if (allocateBitmap(gdi, width, height, true, handle) == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    return handle;
}

HGDIOBJ WINAPI SelectObject(HDC dc, HGDIOBJ object) {
    std::lock_guard lock(desktopMutex());
    GdiTable& gdi = gdiTable();
    const auto foundDC = gdi.dcs.find(key(dc));
    const auto foundBitmap = gdi.bitmaps.find(key(object));
    if (foundDC == gdi.dcs.end() || foundBitmap == gdi.bitmaps.end() ||
        foundDC->second.kind != DeviceContext::Kind::memory) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    DeviceContext& context = foundDC->second;
    Bitmap& bitmap = foundBitmap->second;
    if (!bitmap.isStock && bitmap.selectedInto != nullptr && bitmap.selectedInto != dc) {
        SetLastError(ERROR_INVALID_PARAMETER);  // already selected into another DC
        return nullptr;
    }
    const HBITMAP previous = context.selected;
    const auto previousBitmap = gdi.bitmaps.find(key(previous));
    if (previousBitmap != gdi.bitmaps.end() && !previousBitmap->second.isStock) {
        previousBitmap->second.selectedInto = nullptr;
    }
    context.selected = static_cast<HBITMAP>(object);
    if (!bitmap.isStock) {
        bitmap.selectedInto = dc;
    }
    return previous;
}

BOOL WINAPI DeleteObject(HGDIOBJ object) {
    std::lock_guard lock(desktopMutex());
    GdiTable& gdi = gdiTable();
    const auto found = gdi.bitmaps.find(key(object));
    if (found == gdi.bitmaps.end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (found->second.isStock) {
        return TRUE;  // stock objects are never deleted
    }
    if (found->second.selectedInto != nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    gdi.bitmaps.erase(found);
    return TRUE;
}

int WINAPI GetObjectA(HANDLE object, int size, LPVOID buffer) {
    std::lock_guard lock(desktopMutex());
    GdiTable& gdi = gdiTable();
    const auto found = gdi.bitmaps.find(key(object));
    if (found == gdi.bitmaps.end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    if (buffer == nullptr) {
        return sizeof(BITMAP);
    }
    if (size < static_cast<int>(sizeof(BITMAP))) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    const Bitmap& bitmap = found->second;
    BITMAP description{};
    description.bmWidth = bitmap.width;
    description.bmHeight = bitmap.height;
    description.bmWidthBytes = bitmap.width * 4;
    description.bmPlanes = 1;
    description.bmBitsPixel = 32;
    description.bmBits = bitmap.isDibSection ? bitmap.bits.get() : nullptr;
    std::memcpy(buffer, &description, sizeof description);
    return sizeof(BITMAP);
}

HDC gsCreateDCOverMemory(void* bits, LONG width, LONG height, LONG pitchBytes) {
    const std::int64_t rowBytes = static_cast<std::int64_t>(width) * 4;
    const std::int64_t pitch = pitchBytes;
    if (bits == nullptr || width <= 0 || height <= 0 || (pitch < 0 ? -pitch : pitch) < rowBytes) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    DeviceContext dc;
    dc.kind = DeviceContext::Kind::memoryOverCaller;
    dc.callerMemory = {static_cast<unsigned char*>(bits), width, height, pitchBytes};
    std::lock_guard lock(desktopMutex());
    return addDC(gdiTable(), dc);
}

}  // extern "C"
