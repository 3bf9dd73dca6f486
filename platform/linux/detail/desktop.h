// What windows and GDI share: one lock over the window table and every GDI object, and the
// pixel surface that both draw on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>

#include "platform/linux/types.h"

namespace gs::platform::detail {

// Windows, DCs and bitmaps are all guarded by this one lock; BitBlt holds it while it copies,
// so a window cannot be resized or a bitmap deleted under a copy.
std::mutex& desktopMutex();

// Rows of 32-bit pixels. `top` is the first byte of row 0; rows are `pitch` bytes apart, a
// negative pitch for memory that stores rows from the bottom up. Empty when width or height is 0.
struct Surface {
    unsigned char* top = nullptr;
    LONG width = 0;
    LONG height = 0;
    std::ptrdiff_t pitch = 0;

    bool empty() const { return top == nullptr || width <= 0 || height <= 0; }
    std::uint32_t* row(LONG y) const {
        return reinterpret_cast<std::uint32_t*>(top + static_cast<std::ptrdiff_t>(y) * pitch);
    }
};

// Callers hold desktopMutex.
bool windowExistsLocked(HWND window);
Surface windowSurfaceLocked(HWND window);  // empty for an unknown window
HDC createWindowDCLocked(HWND window);
bool releaseWindowDCLocked(HWND window, HDC dc);
Surface dcSurfaceLocked(HDC dc, bool& validDC);

// What exists now, for the test hooks that look for handles nobody gave back. The stock bitmap
// is not counted: it lives as long as the process.
std::size_t windowCountLocked();
std::size_t deviceContextCountLocked();
std::size_t bitmapCountLocked();

}  // namespace gs::platform::detail
