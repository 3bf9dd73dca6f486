// MultiByteToWideChar and WideCharToMultiByte for UTF-8 (the ANSI code page here) and code page
// 932, with the Windows rules for lengths, flags and malformed input.
#include <cstring>

#include "platform/linux/detail/cp932.h"
#include "platform/linux/detail/utf8.h"
#include "platform/linux/strings.h"

namespace {

using gs::platform::detail::Cp932Tables;

// The ANSI code pages are UTF-8 too, but callers use them with the flags and default characters
// that an ANSI code page takes on Windows; explicit CP_UTF8 gets the stricter UTF-8 rules.
enum class Encoding { ansiUtf8, utf8, cp932, unknown };

Encoding encodingOf(UINT codePage) {
    switch (codePage) {
        case CP_ACP:
        case CP_THREAD_ACP:
            return Encoding::ansiUtf8;
        case CP_UTF8:
            return Encoding::utf8;
        case 932:
            return Encoding::cp932;
        default:
            return Encoding::unknown;
    }
}

// Where converted units go: counted always, stored while there is room. A target of capacity 0
// only measures.
template <typename Unit>
class Output {
public:
    Output(Unit* target, int capacity) : target_(target), capacity_(capacity) {}

    void put(Unit unit) {
        if (capacity_ != 0 && count_ < capacity_) {
            target_[count_] = unit;
        }
        ++count_;
    }
    int count() const { return count_; }
    bool overflowed() const { return capacity_ != 0 && count_ > capacity_; }

private:
    Unit* target_;
    int capacity_;
    int count_ = 0;
};

// Returns the result of a conversion: the count, or 0 with the right last error.
template <typename Unit>
int finish(const Output<Unit>& output, bool invalidInput) {
    if (invalidInput) {
        SetLastError(ERROR_NO_UNICODE_TRANSLATION);
        return 0;
    }
    if (output.overflowed()) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    return output.count();
}

void putCodePoint(Output<WCHAR>& output, char32_t codePoint) {
    if (codePoint >= 0x10000) {
        codePoint -= 0x10000;
        output.put(static_cast<WCHAR>(0xD800 + (codePoint >> 10)));
        output.put(static_cast<WCHAR>(0xDC00 + (codePoint & 0x3FF)));
    } else {
        output.put(static_cast<WCHAR>(codePoint));
    }
}

// Returns false when MB_ERR_INVALID_CHARS met malformed input.
bool decodeUtf8(const unsigned char* bytes, std::size_t length, bool strict,
                Output<WCHAR>& output) {
    for (std::size_t i = 0; i < length;) {
        const auto step = gs::platform::detail::decodeUtf8(bytes + i, length - i);
        if (!step.valid && strict) {
            return false;
        }
        putCodePoint(output, step.valid ? step.codePoint : U'\uFFFD');
        i += step.length;
    }
    return true;
}

bool decodeCp932(const Cp932Tables& tables, const unsigned char* bytes, std::size_t length,
                 bool strict, Output<WCHAR>& output) {
    for (std::size_t i = 0; i < length;) {
        const unsigned char lead = bytes[i];
        std::uint16_t unit = Cp932Tables::unmapped;
        std::size_t consumed = 1;
        if (tables.isLeadByte[lead]) {
            if (i + 1 < length) {
                const unsigned char trail = bytes[i + 1];
                unit = tables.toUnicode[(lead << 8) | trail];
                // A byte that cannot trail stays for the next character.
                if (unit != Cp932Tables::unmapped || (trail >= 0x40 && trail != 0x7F)) {
                    consumed = 2;
                }
            }
        } else {
            unit = tables.toUnicode[lead];
        }
        if (unit == Cp932Tables::unmapped) {
            if (strict) {
                return false;
            }
            unit = gs::platform::detail::cp932DefaultUnicodeChar;
        }
        output.put(static_cast<WCHAR>(unit));
        i += consumed;
    }
    return true;
}

bool isHighSurrogate(WCHAR unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}
bool isLowSurrogate(WCHAR unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

// Returns false when WC_ERR_INVALID_CHARS met a lone surrogate; sets replaced when one became
// U+FFFD.
bool encodeUtf8(const WCHAR* units, std::size_t length, bool strict, Output<CHAR>& output,
                bool& replaced) {
    for (std::size_t i = 0; i < length; ++i) {
        char32_t codePoint = units[i];
        if (isHighSurrogate(units[i]) && i + 1 < length && isLowSurrogate(units[i + 1])) {
            codePoint = 0x10000 + ((codePoint - 0xD800) << 10) + (units[i + 1] - 0xDC00);
            ++i;
        } else if (isHighSurrogate(units[i]) || isLowSurrogate(units[i])) {
            if (strict) {
                return false;
            }
            replaced = true;
            codePoint = U'\uFFFD';
        }
        auto put = [&output](unsigned value) { output.put(static_cast<CHAR>(value)); };
        if (codePoint < 0x80) {
            put(codePoint);
        } else if (codePoint < 0x800) {
            put(0xC0 | (codePoint >> 6));
            put(0x80 | (codePoint & 0x3F));
        } else if (codePoint < 0x10000) {
            put(0xE0 | (codePoint >> 12));
            put(0x80 | ((codePoint >> 6) & 0x3F));
            put(0x80 | (codePoint & 0x3F));
        } else {
            put(0xF0 | (codePoint >> 18));
            put(0x80 | ((codePoint >> 12) & 0x3F));
            put(0x80 | ((codePoint >> 6) & 0x3F));
            put(0x80 | (codePoint & 0x3F));
        }
    }
    return true;
}

void encodeCp932(const Cp932Tables& tables, const WCHAR* units, std::size_t length,
                 LPCSTR defaultChar, BOOL* usedDefaultChar, Output<CHAR>& output) {
    // The default character may be a double-byte character; "?" unless the caller gives one.
    char replacement[2] = {'?', 0};
    std::size_t replacementLength = 1;
    if (defaultChar != nullptr && defaultChar[0] != 0) {
        replacement[0] = defaultChar[0];
        replacementLength = 1;
        if (tables.isLeadByte[static_cast<unsigned char>(defaultChar[0])] && defaultChar[1] != 0) {
            replacement[1] = defaultChar[1];
            replacementLength = 2;
        }
    }
    for (std::size_t i = 0; i < length; ++i) {
        const std::uint16_t bytes = tables.fromUnicode[units[i]];
        if (bytes == Cp932Tables::unmapped) {
            if (usedDefaultChar != nullptr) {
                *usedDefaultChar = TRUE;
            }
            for (std::size_t k = 0; k < replacementLength; ++k) {
                output.put(replacement[k]);
            }
        } else if (bytes > 0xFF) {
            output.put(static_cast<CHAR>(bytes >> 8));
            output.put(static_cast<CHAR>(bytes & 0xFF));
        } else {
            output.put(static_cast<CHAR>(bytes));
        }
    }
}

bool overlaps(const void* a, std::size_t aBytes, const void* b, std::size_t bBytes) {
    const auto* first = static_cast<const unsigned char*>(a);
    const auto* second = static_cast<const unsigned char*>(b);
    return first < second + bBytes && second < first + aBytes;
}

std::size_t lengthOf(LPCWSTR text) {
    std::size_t length = 0;
    while (text[length] != 0) {
        ++length;
    }
    return length;
}

}  // namespace

extern "C" {

int WINAPI MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR source, int sourceLength,
                               LPWSTR target, int targetLength) {
    if (source == nullptr || sourceLength == 0 || sourceLength < -1 || targetLength < 0 ||
        (target == nullptr && targetLength != 0)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const std::size_t length =
        sourceLength == -1 ? std::strlen(source) + 1 : static_cast<std::size_t>(sourceLength);
    if (targetLength != 0 &&
        overlaps(source, length, target, static_cast<std::size_t>(targetLength) * sizeof(WCHAR))) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const bool strict = (flags & MB_ERR_INVALID_CHARS) != 0;
    const auto* bytes = reinterpret_cast<const unsigned char*>(source);
    Output<WCHAR> output(target, targetLength);
    const Encoding encoding = encodingOf(codePage);
    constexpr DWORD ansiFlags =
        MB_PRECOMPOSED | MB_COMPOSITE | MB_USEGLYPHCHARS | MB_ERR_INVALID_CHARS;
    const DWORD allowed = encoding == Encoding::utf8 ? MB_ERR_INVALID_CHARS : ansiFlags;
    if ((flags & ~allowed) != 0 || ((flags & MB_PRECOMPOSED) && (flags & MB_COMPOSITE))) {
        SetLastError(encoding == Encoding::unknown ? ERROR_INVALID_PARAMETER : ERROR_INVALID_FLAGS);
        return 0;
    }
    switch (encoding) {
        case Encoding::ansiUtf8:
        case Encoding::utf8:
            return finish(output, !decodeUtf8(bytes, length, strict, output));
        case Encoding::cp932: {
            const Cp932Tables* tables = gs::platform::detail::cp932Tables();
            if (tables == nullptr) {
                SetLastError(ERROR_INVALID_PARAMETER);
                return 0;
            }
            return finish(output, !decodeCp932(*tables, bytes, length, strict, output));
        }
        case Encoding::unknown:
            break;
    }
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
}

int WINAPI WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR source, int sourceLength,
                               LPSTR target, int targetLength, LPCSTR defaultChar,
                               BOOL* usedDefaultChar) {
    if (source == nullptr || sourceLength == 0 || sourceLength < -1 || targetLength < 0 ||
        (target == nullptr && targetLength != 0)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const std::size_t length =
        sourceLength == -1 ? lengthOf(source) + 1 : static_cast<std::size_t>(sourceLength);
    if (targetLength != 0 &&
        overlaps(source, length * sizeof(WCHAR), target, static_cast<std::size_t>(targetLength))) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    Output<CHAR> output(target, targetLength);
    const Encoding encoding = encodingOf(codePage);
    constexpr DWORD ansiFlags =
        WC_COMPOSITECHECK | WC_DISCARDNS | WC_SEPCHARS | WC_DEFAULTCHAR | WC_NO_BEST_FIT_CHARS;
    const DWORD allowed = encoding == Encoding::utf8       ? WC_ERR_INVALID_CHARS
                          : encoding == Encoding::ansiUtf8 ? ansiFlags | WC_ERR_INVALID_CHARS
                                                           : ansiFlags;
    if (encoding == Encoding::utf8 && (defaultChar != nullptr || usedDefaultChar != nullptr)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if ((flags & ~allowed) != 0) {
        SetLastError(encoding == Encoding::unknown ? ERROR_INVALID_PARAMETER : ERROR_INVALID_FLAGS);
        return 0;
    }
    switch (encoding) {
        case Encoding::ansiUtf8:
        case Encoding::utf8: {
            bool replaced = false;
            const bool valid =
                encodeUtf8(source, length, (flags & WC_ERR_INVALID_CHARS) != 0, output, replaced);
            if (usedDefaultChar != nullptr) {
                *usedDefaultChar = replaced ? TRUE : FALSE;
            }
            return finish(output, !valid);
        }
        case Encoding::cp932: {
            const Cp932Tables* tables = gs::platform::detail::cp932Tables();
            if (tables == nullptr) {
                SetLastError(ERROR_INVALID_PARAMETER);
                return 0;
            }
            if (usedDefaultChar != nullptr) {
                *usedDefaultChar = FALSE;
            }
            encodeCp932(*tables, source, length, defaultChar, usedDefaultChar, output);
            return finish(output, false);
        }
        case Encoding::unknown:
            break;
    }
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
}

}  // extern "C"
