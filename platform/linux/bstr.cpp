#include "platform/linux/bstr.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace {

// Each string is one heap block: [4 unused][32-bit byte count][characters][NUL NUL][NUL]. The
// unused word keeps the characters 8-byte aligned; the spare trailing byte keeps the NUL character
// whole when the byte count is odd.
constexpr std::size_t kHeaderBytes = 8;
constexpr std::size_t kTrailerBytes = 3;
constexpr std::size_t kMaxByteLength =
    std::numeric_limits<std::uint32_t>::max() - kHeaderBytes - kTrailerBytes;

std::byte* blockOf(BSTR text) {
    return reinterpret_cast<std::byte*>(text) - kHeaderBytes;
}

BSTR allocate(const void* source, std::size_t byteLength) {
    if (byteLength > kMaxByteLength) {
        return nullptr;
    }
    auto* block = static_cast<std::byte*>(std::malloc(kHeaderBytes + byteLength + kTrailerBytes));
    if (block == nullptr) {
        return nullptr;
    }
    const auto count = static_cast<std::uint32_t>(byteLength);
    std::memset(block, 0, kHeaderBytes);
    std::memcpy(block + kHeaderBytes - sizeof(count), &count, sizeof(count));
    std::byte* characters = block + kHeaderBytes;
    if (source != nullptr) {
        std::memcpy(characters, source, byteLength);
    }
    std::memset(characters + byteLength, 0, kTrailerBytes);
    return reinterpret_cast<BSTR>(characters);
}

std::size_t wideLength(const OLECHAR* text) {
    std::size_t length = 0;
    while (text[length] != 0) {
        ++length;
    }
    return length;
}

INT reallocate(BSTR* target, const OLECHAR* text, std::size_t length) {
    if (target == nullptr || length > kMaxByteLength / sizeof(OLECHAR)) {
        return FALSE;
    }
    // The source may lie inside the string being replaced: copy before freeing.
    BSTR replacement = allocate(text, length * sizeof(OLECHAR));
    if (replacement == nullptr) {
        return FALSE;
    }
    SysFreeString(*target);
    *target = replacement;
    return TRUE;
}

}  // namespace

extern "C" {

BSTR SysAllocString(const OLECHAR* text) {
    if (text == nullptr) {
        return nullptr;
    }
    return allocate(text, wideLength(text) * sizeof(OLECHAR));
}

BSTR SysAllocStringLen(const OLECHAR* text, UINT length) {
    if (length > kMaxByteLength / sizeof(OLECHAR)) {
        return nullptr;
    }
    return allocate(text, std::size_t{length} * sizeof(OLECHAR));
}

BSTR SysAllocStringByteLen(LPCSTR bytes, UINT length) {
    return allocate(bytes, length);
}

INT SysReAllocString(BSTR* target, const OLECHAR* text) {
    return reallocate(target, text, text != nullptr ? wideLength(text) : 0);
}

INT SysReAllocStringLen(BSTR* target, const OLECHAR* text, UINT length) {
    return reallocate(target, text, length);
}

UINT SysStringByteLen(BSTR text) {
    if (text == nullptr) {
        return 0;
    }
    std::uint32_t count;
    std::memcpy(&count, reinterpret_cast<std::byte*>(text) - sizeof(count), sizeof(count));
    return count;
}

UINT SysStringLen(BSTR text) {
    return SysStringByteLen(text) / sizeof(OLECHAR);
}

void SysFreeString(BSTR text) {
    if (text != nullptr) {
        std::free(blockOf(text));
    }
}

}  // extern "C"
