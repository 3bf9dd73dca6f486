#include "registrar/text_conversion.h"

#include <new>

#include "registrar/code_page.h"

namespace gs::registrar {

bool toAnsi(LPCOLESTR text, std::string& ansi) {
    const UINT codePage = conversionCodePage();
    const int size = WideCharToMultiByte(codePage, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 0) {
        return false;
    }
    try {
        ansi.assign(static_cast<std::size_t>(size), '\0');
    } catch (const std::bad_alloc&) {
        return false;
    }
    if (WideCharToMultiByte(codePage, 0, text, -1, ansi.data(), size, nullptr, nullptr) != size) {
        return false;
    }
    ansi.resize(static_cast<std::size_t>(size) - 1);  // the NUL the conversion counted
    return true;
}

bool toWide(LPCSTR text, WideString& wide) {
    const UINT codePage = conversionCodePage();
    const int size = MultiByteToWideChar(codePage, 0, text, -1, nullptr, 0);
    if (size <= 0) {
        return false;
    }
    try {
        wide.assign(static_cast<std::size_t>(size), OLECHAR{});
    } catch (const std::bad_alloc&) {
        return false;
    }
    if (MultiByteToWideChar(codePage, 0, text, -1, wide.data(), size) != size) {
        return false;
    }
    wide.resize(static_cast<std::size_t>(size) - 1);
    return true;
}

}  // namespace gs::registrar
