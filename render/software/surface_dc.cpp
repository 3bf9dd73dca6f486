#include "render/software/software_surface.h"

// The platform's memory device contexts. Declared weak until the platform library offers them:
// without them GetDC fails instead of the library failing to load.
extern "C" {
HDC gsCreateDCOverMemory(void* bits, LONG width, LONG height, LONG pitchBytes)
    __attribute__((weak));
BOOL DeleteDC(HDC dc) __attribute__((weak));
}

namespace gs::render::software {

HDC createSurfaceDC(const PixelBuffer& pixels) {
    if (gsCreateDCOverMemory == nullptr) {
        return nullptr;
    }
    return gsCreateDCOverMemory(pixels.pixels, static_cast<LONG>(pixels.width),
                                static_cast<LONG>(pixels.height),
                                static_cast<LONG>(pixels.pitch * sizeof(Colour)));
}

void deleteSurfaceDC(HDC dc) {
    if (DeleteDC != nullptr) {
        DeleteDC(dc);
    }
}

}  // namespace gs::render::software
