// CharNextA and the lstr family. Null strings are treated as empty, as Windows does.
#include <cstring>

#include "platform/linux/detail/utf8.h"
#include "platform/linux/strings.h"

namespace {

unsigned char foldAscii(unsigned char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c - 'A' + 'a') : c;
}

int sign(int value) {
    return (value > 0) - (value < 0);
}

}  // namespace

extern "C" {

LPSTR WINAPI CharNextA(LPCSTR text) {
    if (text == nullptr || *text == 0) {
        return const_cast<LPSTR>(text);
    }
    // A malformed byte is one character of its own.
    const auto* bytes = reinterpret_cast<const unsigned char*>(text);
    std::size_t available = 1;
    while (available < 4 && bytes[available - 1] != 0 && bytes[available] != 0) {
        ++available;
    }
    const auto step = gs::platform::detail::decodeUtf8(bytes, available);
    return const_cast<LPSTR>(text + (step.valid ? step.length : 1));
}

int WINAPI lstrlenA(LPCSTR text) {
    return text == nullptr ? 0 : static_cast<int>(std::strlen(text));
}

int WINAPI lstrlenW(LPCWSTR text) {
    if (text == nullptr) {
        return 0;
    }
    int length = 0;
    while (text[length] != 0) {
        ++length;
    }
    return length;
}

int WINAPI lstrcmpA(LPCSTR first, LPCSTR second) {
    return sign(std::strcmp(first != nullptr ? first : "", second != nullptr ? second : ""));
}

int WINAPI lstrcmpiA(LPCSTR first, LPCSTR second) {
    const auto* a = reinterpret_cast<const unsigned char*>(first != nullptr ? first : "");
    const auto* b = reinterpret_cast<const unsigned char*>(second != nullptr ? second : "");
    for (;; ++a, ++b) {
        const int difference = foldAscii(*a) - foldAscii(*b);
        if (difference != 0 || *a == 0) {
            return sign(difference);
        }
    }
}

LPSTR WINAPI lstrcpynA(LPSTR target, LPCSTR source, int maxLength) {
    if (target == nullptr || maxLength <= 0) {
        return target;
    }
    int copied = 0;
    if (source != nullptr) {
        while (copied < maxLength - 1 && source[copied] != 0) {
            target[copied] = source[copied];
            ++copied;
        }
    }
    target[copied] = 0;
    return target;
}

}  // extern "C"
