// Reads a fuzzer's input front to back as little-endian numbers and byte runs; past the end it
// yields zeros, so every input, however short, is a complete description.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

namespace gs::fuzz {

class ByteReader {
public:
    ByteReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    bool empty() const { return offset_ >= size_; }
    std::size_t remaining() const { return empty() ? 0 : size_ - offset_; }

    template <typename T>
    T read() {
        static_assert(std::is_trivially_copyable_v<T>);
        unsigned char bytes[sizeof(T)] = {};
        take(bytes, sizeof(T));
        T value;
        std::memcpy(&value, bytes, sizeof(T));
        return value;
    }

    // Up to `count` bytes into `out`; the rest of `out` is zero. Returns how many were real.
    std::size_t take(void* out, std::size_t count) {
        const std::size_t real = std::min(count, remaining());
        if (real > 0) {
            std::memcpy(out, data_ + offset_, real);
        }
        std::memset(static_cast<unsigned char*>(out) + real, 0, count - real);
        offset_ += real;
        return real;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t offset_ = 0;
};

}  // namespace gs::fuzz
