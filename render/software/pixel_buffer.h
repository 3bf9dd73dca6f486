// Pixel memory of a surface: 32-bit 0xAARRGGBB pixels in contiguous rows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "render/device.h"

namespace gs::render::software {

// X8R8G8B8 surfaces keep 0xFF in the alpha byte of every pixel, so readers never need to know
// the format to get an alpha of 1.
constexpr Colour kOpaqueAlpha = 0xFF000000u;

inline bool isSupportedFormat(Format format) {
    return format == Format::A8R8G8B8 || format == Format::X8R8G8B8;
}

// A view of pixels owned elsewhere.
struct PixelBuffer {
    Colour* pixels = nullptr;
    UINT width = 0;
    UINT height = 0;
    std::size_t pitch = 0;  // in pixels
    Format format = Format::Unknown;

    Colour* row(UINT y) const { return pixels + y * pitch; }
    bool hasAlpha() const { return format == Format::A8R8G8B8; }
    // The value stored for `colour`: X8R8G8B8 forces alpha to 0xFF.
    Colour stored(Colour colour) const { return hasAlpha() ? colour : colour | kOpaqueAlpha; }
};

// Owns the pixels of one surface. Rows start 64-byte aligned so tiles can use aligned vectors.
class PixelStorage {
public:
    // Null when the memory cannot be had; width and height must be non-zero and already checked
    // against the adapter's maximum. The pixels start as transparent black (opaque for X8R8G8B8).
    static std::unique_ptr<PixelStorage> create(UINT width, UINT height, Format format);

    ~PixelStorage();
    PixelStorage(const PixelStorage&) = delete;
    PixelStorage& operator=(const PixelStorage&) = delete;

    const PixelBuffer& buffer() const { return buffer_; }

private:
    PixelStorage() = default;
    PixelBuffer buffer_;
};

}  // namespace gs::render::software
