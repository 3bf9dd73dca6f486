#include "registrar/dword_text.h"

#include <cstdint>

namespace gs::registrar {

#ifdef _WIN32

HRESULT parseDwordText(LPOLESTR text, ULONG* value) {
    return VarUI4FromStr(text, 0, 0, value);
}

#else

// SEAM: decimal digits or &H hexadecimal digits between optional blanks, as VarUI4FromStr reads
// the numbers registry scripts hold. Replaced by VarUI4FromStr when the OLE Automation layer
// lands.
HRESULT parseDwordText(LPOLESTR text, ULONG* value) {
    const auto isBlank = [](OLECHAR c) { return c == u' ' || c == u'\t'; };
    while (isBlank(*text)) {
        ++text;
    }
    unsigned base = 10;
    if (text[0] == u'&' && (text[1] == u'h' || text[1] == u'H')) {
        base = 16;
        text += 2;
    }
    std::uint64_t number = 0;
    int digits = 0;
    for (;; ++text, ++digits) {
        const OLECHAR c = *text;
        unsigned digit = 0;
        if (c >= u'0' && c <= u'9') {
            digit = static_cast<unsigned>(c - u'0');
        } else if (base == 16 && c >= u'a' && c <= u'f') {
            digit = static_cast<unsigned>(c - u'a' + 10);
        } else if (base == 16 && c >= u'A' && c <= u'F') {
            digit = static_cast<unsigned>(c - u'A' + 10);
        } else {
            break;
        }
        number = number * base + digit;
        if (number > 0xffffffffu) {
            return DISP_E_OVERFLOW;
        }
    }
    while (isBlank(*text)) {
        ++text;
    }
    if (digits == 0 || *text != u'\0') {
        return DISP_E_TYPEMISMATCH;
    }
    *value = static_cast<ULONG>(number);
    return S_OK;
}

#endif

}  // namespace gs::registrar
