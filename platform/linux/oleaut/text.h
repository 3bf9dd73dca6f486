// Small text helpers for the type library code: UTF-16 views, BSTR copies, UTF-8 paths and the
// case-insensitive name comparison type libraries use.
#pragma once

#include <string>
#include <string_view>

#include "platform/linux/bstr.h"

namespace gs::platform::oleaut {

inline std::u16string_view view(const OLECHAR* text) {
    return text ? std::u16string_view(text) : std::u16string_view();
}

// A new BSTR with the text; null only when out of memory.
inline BSTR allocateBstr(std::u16string_view text) {
    return SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
}

// Names compare without regard to the case of ASCII and Latin-1 letters, as type library names
// are 8-bit text in the library's code page.
bool sameName(std::u16string_view a, std::u16string_view b);

// File names for the C library: UTF-16 as UTF-8, unpaired surrogates as U+FFFD.
std::string toUtf8(std::u16string_view text);

}  // namespace gs::platform::oleaut
