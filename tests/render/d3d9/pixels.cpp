#include "pixels.h"

#include <gtest/gtest.h>

#include <cstring>

namespace gs::render::d3d9::testing {

Pixels Pixels::read(Surface* surface, int width, int height) {
    std::vector<Rgb> pixels(static_cast<size_t>(width) * height, 0xDEADBEEFu);

    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HDC memory = CreateCompatibleDC(nullptr);
    if (bitmap == nullptr || memory == nullptr) {
        ADD_FAILURE() << "no DIB section";
    } else {
        HGDIOBJ previous = SelectObject(memory, bitmap);
        HDC surfaceDc = nullptr;
        const HRESULT hr = surface->GetDC(&surfaceDc);
        if (FAILED(hr)) {
            ADD_FAILURE() << "surface GetDC failed: 0x" << std::hex << hr;
        } else {
            const BOOL copied = BitBlt(memory, 0, 0, width, height, surfaceDc, 0, 0, SRCCOPY);
            surface->ReleaseDC(surfaceDc);
            GdiFlush();
            if (!copied) {
                ADD_FAILURE() << "BitBlt from the surface failed";
            } else {
                std::memcpy(pixels.data(), bits, pixels.size() * sizeof(Rgb));
                for (Rgb& p : pixels) {
                    p &= 0x00FFFFFFu;
                }
            }
        }
        SelectObject(memory, previous);
    }
    if (memory != nullptr) {
        DeleteDC(memory);
    }
    if (bitmap != nullptr) {
        DeleteObject(bitmap);
    }
    return Pixels(width, height, std::move(pixels));
}

}  // namespace gs::render::d3d9::testing
