#include "plugin/foreground_colour.h"

namespace gs::plugin {

namespace {

int hexDigit(OLECHAR c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

}  // namespace

BSTR formatForegroundColour(COLORREF colour) {
    WCHAR text[8];
    wsprintfW(text, OLESTR("#%06X"), static_cast<unsigned>(swapRedBlue(colour)));
    return SysAllocString(text);
}

HRESULT parseForegroundColour(const OLECHAR* text, COLORREF& colour) {
    if (text == nullptr) {
        return E_POINTER;
    }
    if (lstrlenW(text) != 7) {  // also refuses the empty text
        return E_INVALIDARG;
    }
    DWORD n = 0;
    for (int i = 1; i < 7; ++i) {  // text[0] is the mark, "#" by convention, never examined
        const int digit = hexDigit(text[i]);
        if (digit < 0) {
            return E_INVALIDARG;
        }
        n = n * 16 + static_cast<DWORD>(digit);
    }
    colour = swapRedBlue(n);
    return S_OK;
}

}  // namespace gs::plugin
