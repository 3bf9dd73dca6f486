// UTF-8 decoding shared by the code-page conversions and CharNextA. Malformed input is measured
// by the Unicode "maximal subpart" rule: each longest prefix of a would-be sequence counts as one
// error, so callers replace it with a single U+FFFD.
#pragma once

#include <cstddef>
#include <cstdint>

namespace gs::platform::detail {

struct Utf8Step {
    char32_t codePoint;  // meaningful when valid
    std::size_t length;  // bytes consumed, at least 1
    bool valid;
};

inline Utf8Step decodeUtf8(const unsigned char* bytes, std::size_t available) {
    const unsigned char lead = bytes[0];
    if (lead < 0x80) {
        return {lead, 1, true};
    }
    std::size_t length = 0;
    char32_t codePoint = 0;
    unsigned char low = 0x80;  // allowed range of the second byte
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        codePoint = lead & 0x1Fu;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        codePoint = lead & 0x0Fu;
        if (lead == 0xE0) {
            low = 0xA0;  // no overlong forms
        } else if (lead == 0xED) {
            high = 0x9F;  // no surrogates
        }
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        codePoint = lead & 0x07u;
        if (lead == 0xF0) {
            low = 0x90;
        } else if (lead == 0xF4) {
            high = 0x8F;  // nothing above U+10FFFF
        }
    } else {
        return {0, 1, false};
    }
    for (std::size_t i = 1; i < length; ++i) {
        const unsigned char next = i < available ? bytes[i] : 0;
        const bool fits =
            i < available && next >= (i == 1 ? low : 0x80) && next <= (i == 1 ? high : 0xBF);
        if (!fits) {
            return {0, i, false};
        }
        codePoint = (codePoint << 6) | (next & 0x3Fu);
    }
    return {codePoint, length, true};
}

}  // namespace gs::platform::detail
