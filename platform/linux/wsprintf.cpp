// wsprintfA / wsprintfW: the integer, character and string conversions the module formats with.
// Floating point is not part of wsprintf on Windows either.
#include <cstdarg>
#include <cstdint>

#include "platform/linux/strings.h"

namespace {

// Windows never writes more than this many characters, the NUL included.
constexpr int maximumOutput = 1024;

template <typename Char>
class Writer {
public:
    explicit Writer(Char* target) : target_(target) {}

    void put(Char c) {
        if (count_ < maximumOutput - 1) {
            target_[count_++] = c;
        }
    }
    void repeat(Char c, int times) {
        for (int i = 0; i < times; ++i) {
            put(c);
        }
    }
    int finish() {
        target_[count_] = 0;
        return count_;
    }

private:
    Char* target_;
    int count_ = 0;
};

struct Conversion {
    bool leftAlign = false;
    bool zeroPad = false;
    int width = 0;
    int precision = -1;
};

template <typename Char>
void putField(Writer<Char>& out, const Conversion& conversion, const Char* text, int length,
              bool numeric, bool negative) {
    const int signLength = negative ? 1 : 0;
    const int padding = conversion.width - length - signLength;
    if (!conversion.leftAlign && !(conversion.zeroPad && numeric)) {
        out.repeat(Char(' '), padding);
    }
    if (negative) {
        out.put(Char('-'));
    }
    if (!conversion.leftAlign && conversion.zeroPad && numeric) {
        out.repeat(Char('0'), padding);
    }
    for (int i = 0; i < length; ++i) {
        out.put(text[i]);
    }
    if (conversion.leftAlign) {
        out.repeat(Char(' '), padding);
    }
}

template <typename Char>
void putNumber(Writer<Char>& out, const Conversion& conversion, std::uint32_t magnitude,
               bool negative, unsigned base, bool upperCase) {
    const char* digits = upperCase ? "0123456789ABCDEF" : "0123456789abcdef";
    Char reversed[16];
    int length = 0;
    do {
        reversed[length++] = Char(digits[magnitude % base]);
        magnitude /= base;
    } while (magnitude != 0);
    // A precision asks for at least that many digits.
    while (length < conversion.precision && length < 12) {
        reversed[length++] = Char('0');
    }
    Char text[16];
    for (int i = 0; i < length; ++i) {
        text[i] = reversed[length - 1 - i];
    }
    putField(out, conversion, text, length, true, negative);
}

template <typename Char>
int format(Char* target, const Char* pattern, va_list arguments) {
    Writer<Char> out(target);
    if (pattern == nullptr) {
        return out.finish();
    }
    for (const Char* p = pattern; *p != 0; ++p) {
        if (*p != Char('%')) {
            out.put(*p);
            continue;
        }
        ++p;
        Conversion conversion;
        for (;; ++p) {
            if (*p == Char('-')) {
                conversion.leftAlign = true;
            } else if (*p == Char('0')) {
                conversion.zeroPad = true;
            } else {
                break;
            }
        }
        for (; *p >= Char('0') && *p <= Char('9'); ++p) {
            conversion.width = conversion.width * 10 + (*p - Char('0'));
        }
        if (*p == Char('.')) {
            conversion.precision = 0;
            for (++p; *p >= Char('0') && *p <= Char('9'); ++p) {
                conversion.precision = conversion.precision * 10 + (*p - Char('0'));
            }
        }
        if (*p == Char('l') || *p == Char('h')) {
            ++p;  // arguments are promoted to int either way; 32-bit values are formatted
        }
        switch (*p) {
            case Char('d'):
            case Char('i'): {
                const int value = va_arg(arguments, int);
                const bool negative = value < 0;
                const std::uint32_t magnitude = negative ? 0u - static_cast<std::uint32_t>(value)
                                                         : static_cast<std::uint32_t>(value);
                putNumber(out, conversion, magnitude, negative, 10, false);
                break;
            }
            case Char('u'):
                putNumber(out, conversion, va_arg(arguments, unsigned), false, 10, false);
                break;
            case Char('x'):
            case Char('X'):
                putNumber(out, conversion, va_arg(arguments, unsigned), false, 16, *p == Char('X'));
                break;
            case Char('c'): {
                const Char c = static_cast<Char>(va_arg(arguments, int));
                putField(out, conversion, &c, 1, false, false);
                break;
            }
            case Char('s'): {
                const Char* text = va_arg(arguments, const Char*);
                static constexpr Char nullText[] = {'(', 'n', 'u', 'l', 'l', ')', 0};
                if (text == nullptr) {
                    text = nullText;
                }
                int length = 0;
                while (text[length] != 0 &&
                       (conversion.precision < 0 || length < conversion.precision)) {
                    ++length;
                }
                putField(out, conversion, text, length, false, false);
                break;
            }
            case Char('%'):
                out.put(Char('%'));
                break;
            case Char(0):
                return out.finish();  // a lone % at the end
            default:
                // Not a conversion: as on Windows, the character itself is written.
                out.put(*p);
                break;
        }
    }
    return out.finish();
}

}  // namespace

extern "C" {

int WINAPI wvsprintfA(LPSTR target, LPCSTR pattern, va_list arguments) {
    return format(target, pattern, arguments);
}

int WINAPI wvsprintfW(LPWSTR target, LPCWSTR pattern, va_list arguments) {
    return format(target, pattern, arguments);
}

int WINAPIV wsprintfA(LPSTR target, LPCSTR pattern, ...) {
    va_list arguments;
    va_start(arguments, pattern);
    const int written = format(target, pattern, arguments);
    va_end(arguments);
    return written;
}

int WINAPIV wsprintfW(LPWSTR target, LPCWSTR pattern, ...) {
    va_list arguments;
    va_start(arguments, pattern);
    const int written = format(target, pattern, arguments);
    va_end(arguments);
    return written;
}

}  // extern "C"
