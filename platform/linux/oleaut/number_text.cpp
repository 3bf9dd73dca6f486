#include "platform/linux/oleaut/number_text.h"

#include <limits>
#include <string>

#include "platform/linux/variant.h"

namespace gs::platform::oleaut {
namespace {

constexpr std::uint64_t kMax64 = std::numeric_limits<std::uint64_t>::max();

bool isBlank(OLECHAR c) {
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\v' || c == u'\f' || c == u'\r';
}

bool isDecimalDigit(OLECHAR c) {
    return c >= u'0' && c <= u'9';
}

int digitValue(OLECHAR c, int base) {
    int value = -1;
    if (c >= u'0' && c <= u'9') {
        value = c - u'0';
    } else if (c >= u'a' && c <= u'f') {
        value = c - u'a' + 10;
    } else if (c >= u'A' && c <= u'F') {
        value = c - u'A' + 10;
    }
    return value < base ? value : -1;
}

bool appendDigit(std::uint64_t& value, unsigned base, unsigned digit) {
    if (value > (kMax64 - digit) / base) {
        return false;
    }
    value = value * base + digit;
    return true;
}

const OLECHAR* skipBlanks(const OLECHAR* p) {
    while (isBlank(*p)) {
        ++p;
    }
    return p;
}

// "&H1F", "&O17": the radix forms, whole text only.
HRESULT parseRadix(const OLECHAR* p, ParsedInteger& out) {
    int base = 0;
    if (*p == u'H' || *p == u'h') {
        base = 16;
    } else if (*p == u'O' || *p == u'o') {
        base = 8;
    } else {
        return DISP_E_TYPEMISMATCH;
    }
    ++p;
    std::uint64_t value = 0;
    bool any = false;
    bool overflow = false;
    for (int digit; (digit = digitValue(*p, base)) >= 0; ++p) {
        any = true;
        overflow = overflow || !appendDigit(value, base, static_cast<unsigned>(digit));
    }
    if (!any || *skipBlanks(p) != 0) {
        return DISP_E_TYPEMISMATCH;
    }
    if (overflow) {
        return DISP_E_OVERFLOW;
    }
    out = ParsedInteger{false, value, true};
    return S_OK;
}

// Rounds the decimal number `digits` x 10^scale (digits without leading zeros) half to even.
HRESULT roundToInteger(const std::string& digits, long scale, std::uint64_t& out) {
    out = 0;
    if (digits.empty()) {
        return S_OK;
    }
    const long length = static_cast<long>(digits.size());
    if (scale >= 0) {
        if (length + scale > 20) {
            return DISP_E_OVERFLOW;
        }
        for (char d : digits) {
            if (!appendDigit(out, 10, static_cast<unsigned>(d - '0'))) {
                return DISP_E_OVERFLOW;
            }
        }
        for (long i = 0; i < scale; ++i) {
            if (!appendDigit(out, 10, 0)) {
                return DISP_E_OVERFLOW;
            }
        }
        return S_OK;
    }
    const long integerDigits = length + scale;
    if (integerDigits > 20) {
        return DISP_E_OVERFLOW;
    }
    for (long i = 0; i < integerDigits; ++i) {
        if (!appendDigit(out, 10, static_cast<unsigned>(digits[i] - '0'))) {
            return DISP_E_OVERFLOW;
        }
    }
    if (integerDigits < 0) {
        return S_OK;  // below one half
    }
    const int firstDropped = digits[integerDigits] - '0';
    bool restNonZero = false;
    for (long i = integerDigits + 1; i < length; ++i) {
        restNonZero = restNonZero || digits[i] != '0';
    }
    const bool roundUp = firstDropped > 5 || (firstDropped == 5 && (restNonZero || (out & 1) != 0));
    if (roundUp && !appendDigit(out, 1, 1)) {
        return DISP_E_OVERFLOW;
    }
    return S_OK;
}

}  // namespace

HRESULT parseInteger(const OLECHAR* text, ParsedInteger& out) {
    const OLECHAR* p = skipBlanks(text);
    if (*p == u'&') {
        return parseRadix(p + 1, out);
    }
    bool negative = false;
    if (*p == u'+' || *p == u'-') {
        negative = *p == u'-';
        ++p;
    }
    std::string digits;  // significant digits, leading zeros dropped
    bool sawDigit = false;
    long fractionDigits = 0;
    for (; isDecimalDigit(*p) || (sawDigit && *p == u','); ++p) {
        if (*p == u',') {
            continue;
        }
        sawDigit = true;
        if (!digits.empty() || *p != u'0') {
            digits.push_back(static_cast<char>(*p));
        }
    }
    if (*p == u'.') {
        for (++p; isDecimalDigit(*p); ++p) {
            sawDigit = true;
            if (!digits.empty() || *p != u'0') {
                digits.push_back(static_cast<char>(*p));
            }
            ++fractionDigits;
        }
    }
    if (!sawDigit) {
        return DISP_E_TYPEMISMATCH;
    }
    long exponent = 0;
    if (*p == u'e' || *p == u'E') {
        ++p;
        bool negativeExponent = false;
        if (*p == u'+' || *p == u'-') {
            negativeExponent = *p == u'-';
            ++p;
        }
        if (!isDecimalDigit(*p)) {
            return DISP_E_TYPEMISMATCH;
        }
        for (; isDecimalDigit(*p); ++p) {
            if (exponent < 100000) {  // far beyond any integer; saturate instead of overflowing
                exponent = exponent * 10 + (*p - u'0');
            }
        }
        exponent = negativeExponent ? -exponent : exponent;
    }
    if (*skipBlanks(p) != 0) {
        return DISP_E_TYPEMISMATCH;
    }
    std::uint64_t magnitude = 0;
    if (HRESULT hr = roundToInteger(digits, exponent - fractionDigits, magnitude); FAILED(hr)) {
        return hr;
    }
    out = ParsedInteger{negative && magnitude != 0, magnitude, false};
    return S_OK;
}

HRESULT narrowSigned(const ParsedInteger& number, int bits, std::int64_t& out) {
    const std::uint64_t unsignedMax = bits == 64 ? kMax64 : (std::uint64_t{1} << bits) - 1;
    const std::uint64_t positiveMax = unsignedMax >> 1;
    if (number.bitPattern && number.magnitude <= unsignedMax) {
        // Sign-extend the pattern from `bits` wide.
        const std::uint64_t signBit = std::uint64_t{1} << (bits - 1);
        const std::uint64_t extended = (number.magnitude ^ signBit) - signBit;
        out = static_cast<std::int64_t>(extended);
        return S_OK;
    }
    if (number.negative) {
        if (number.magnitude > positiveMax + 1) {
            return DISP_E_OVERFLOW;
        }
        out = static_cast<std::int64_t>(0 - number.magnitude);
        return S_OK;
    }
    if (number.magnitude > positiveMax) {
        return DISP_E_OVERFLOW;
    }
    out = static_cast<std::int64_t>(number.magnitude);
    return S_OK;
}

HRESULT narrowUnsigned(const ParsedInteger& number, int bits, std::uint64_t& out) {
    const std::uint64_t unsignedMax = bits == 64 ? kMax64 : (std::uint64_t{1} << bits) - 1;
    if (number.negative || number.magnitude > unsignedMax) {
        return DISP_E_OVERFLOW;
    }
    out = number.magnitude;
    return S_OK;
}

std::u16string formatUnsigned(std::uint64_t value) {
    std::u16string text;
    do {
        text.insert(text.begin(), static_cast<char16_t>(u'0' + value % 10));
        value /= 10;
    } while (value != 0);
    return text;
}

std::u16string formatSigned(std::int64_t value) {
    if (value >= 0) {
        return formatUnsigned(static_cast<std::uint64_t>(value));
    }
    return u"-" + formatUnsigned(0 - static_cast<std::uint64_t>(value));
}

bool equalsIgnoringAsciiCase(const OLECHAR* a, std::size_t aLength, const char* b) {
    std::size_t i = 0;
    for (; i < aLength && b[i] != 0; ++i) {
        OLECHAR x = a[i];
        char16_t y = static_cast<unsigned char>(b[i]);
        if (x >= u'A' && x <= u'Z') {
            x = static_cast<OLECHAR>(x - u'A' + u'a');
        }
        if (y >= u'A' && y <= u'Z') {
            y = static_cast<char16_t>(y - u'A' + u'a');
        }
        if (x != y) {
            return false;
        }
    }
    return i == aLength && b[i] == 0;
}

}  // namespace gs::platform::oleaut
