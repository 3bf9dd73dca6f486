// Code page 932 tables, built once from the system's iconv "CP932" on first use.
#pragma once

#include <cstdint>

namespace gs::platform::detail {

struct Cp932Tables {
    static constexpr std::uint16_t unmapped = 0xFFFF;  // never a valid byte sequence or character

    bool isLeadByte[256];
    // Indexed by a single byte, or by (lead << 8 | trail) for a two-byte sequence.
    std::uint16_t toUnicode[65536];
    // Indexed by a UTF-16 code unit: the single byte (below 0x100) or the two bytes (lead << 8 |
    // trail) that stand for it.
    std::uint16_t fromUnicode[65536];
};

// Null when the system has no CP932 converter.
const Cp932Tables* cp932Tables();

// What MultiByteToWideChar makes of bytes it cannot map, as Windows does for code page 932.
constexpr char16_t cp932DefaultUnicodeChar = u'\u30FB';

}  // namespace gs::platform::detail
