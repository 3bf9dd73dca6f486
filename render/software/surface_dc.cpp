#include "platform/win32.h"
#include "render/software/software_surface.h"

namespace gs::render::software {

HDC createSurfaceDC(const PixelBuffer& pixels) {
    return gsCreateDCOverMemory(pixels.pixels, static_cast<LONG>(pixels.width),
                                static_cast<LONG>(pixels.height),
                                static_cast<LONG>(pixels.pitch * sizeof(Colour)));
}

void deleteSurfaceDC(HDC dc) {
    DeleteDC(dc);
}

}  // namespace gs::render::software
