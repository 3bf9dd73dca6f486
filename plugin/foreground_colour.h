// The foregroundColor property's text form, "#RRGGBB", and its COLORREF (0x00BBGGRR).
#pragma once

#include "platform/win32.h"

namespace gs::plugin {

// The colour of a new visualizer: red.
constexpr COLORREF kDefaultForegroundColour = 0x000000FF;

// Swaps the low and third bytes: 0xRRGGBB <-> 0x00BBGGRR. The top byte is dropped.
constexpr DWORD swapRedBlue(DWORD n) {
    return ((n & 0xFF) << 16) | (n & 0xFF00) | ((n >> 16) & 0xFF);
}

// "#RRGGBB" with upper-case digits, or null when the string cannot be allocated.
BSTR formatForegroundColour(COLORREF colour);

// Reads a text of exactly seven characters (counted to the first NUL): a mark, which is not
// examined, and six hexadecimal digits. E_POINTER for null, E_INVALIDARG for anything else that
// does not fit; colour is written only on S_OK.
HRESULT parseForegroundColour(const OLECHAR* text, COLORREF& colour);

}  // namespace gs::plugin
