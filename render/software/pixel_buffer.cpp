#include "render/software/pixel_buffer.h"

#include <new>

#include "platform/win32.h"

namespace gs::render::software {
namespace {

constexpr std::size_t kRowAlignment = 64;
constexpr std::size_t kPixelsPerAlignment = kRowAlignment / sizeof(Colour);

}  // namespace

std::unique_ptr<PixelStorage> PixelStorage::create(UINT width, UINT height, Format format) {
    const std::size_t pitch =
        (std::size_t{width} + kPixelsPerAlignment - 1) / kPixelsPerAlignment * kPixelsPerAlignment;
    const std::size_t bytes = pitch * height * sizeof(Colour);
    if (width == 0 || height == 0 || bytes / height / sizeof(Colour) != pitch) {
        return nullptr;
    }
    // Whole pages, huge ones where the system gives them: a pass over a 3840x2160 target
    // otherwise crosses some 8,000 small pages, more than a processor's translation buffers
    // hold, and each miss walks the page tables (twice over in a virtual machine).
    void* memory = VirtualAlloc(nullptr, bytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    if (memory == nullptr) {
        return nullptr;
    }
    std::unique_ptr<PixelStorage> storage(new (std::nothrow) PixelStorage);
    if (!storage) {
        VirtualFree(memory, 0, MEM_RELEASE);
        return nullptr;
    }
    PixelBuffer& buffer = storage->buffer_;
    buffer.pixels = static_cast<Colour*>(memory);
    buffer.width = width;
    buffer.height = height;
    buffer.pitch = pitch;
    buffer.format = format;
    const Colour initial = buffer.stored(0);
    for (std::size_t i = 0; i < pitch * height; ++i) {
        buffer.pixels[i] = initial;
    }
    return storage;
}

PixelStorage::~PixelStorage() {
    VirtualFree(buffer_.pixels, 0, MEM_RELEASE);
}

}  // namespace gs::render::software
