// What the system reports about itself: Windows NT 6.1, US English, UTF-8 as the ANSI code page.
#include <cstdlib>
#include <cstring>

#include "platform/linux/kernel.h"
#include "platform/linux/strings.h"

namespace {

constexpr LCID usEnglish = 0x0409;

bool isKnownLocale(LCID locale) {
    switch (LANGIDFROMLCID(locale)) {
        case usEnglish:
        case LOCALE_NEUTRAL:
        case LOCALE_INVARIANT:
        case LOCALE_USER_DEFAULT:
        case LOCALE_SYSTEM_DEFAULT:
            return true;
        default:
            return false;
    }
}

// The text of one locale item, or null when the item is not one we know.
const char* localeItem(LCTYPE item) {
    switch (item) {
        case LOCALE_ILANGUAGE:
            return "0409";
        case LOCALE_IDEFAULTCODEPAGE:
            return "437";
        case LOCALE_IDEFAULTANSICODEPAGE:
            return "65001";
        case LOCALE_SISO639LANGNAME:
            return "en";
        case LOCALE_SISO3166CTRYNAME:
            return "US";
        default:
            return nullptr;
    }
}

bool isNumericItem(LCTYPE item) {
    return item == LOCALE_ILANGUAGE || item == LOCALE_IDEFAULTCODEPAGE ||
           item == LOCALE_IDEFAULTANSICODEPAGE;
}

}  // namespace

extern "C" {

BOOL WINAPI GetVersionExA(LPOSVERSIONINFOA info) {
    if (info == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const DWORD size = info->dwOSVersionInfoSize;
    if (size != sizeof(OSVERSIONINFOA) && size != sizeof(OSVERSIONINFOEXA)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    std::memset(info, 0, size);
    info->dwOSVersionInfoSize = size;
    info->dwMajorVersion = 6;
    info->dwMinorVersion = 1;
    info->dwBuildNumber = 7601;
    info->dwPlatformId = VER_PLATFORM_WIN32_NT;
    std::strcpy(info->szCSDVersion, "Service Pack 1");
    if (size == sizeof(OSVERSIONINFOEXA)) {
        auto* extended = reinterpret_cast<OSVERSIONINFOEXA*>(info);
        extended->wServicePackMajor = 1;
        extended->wProductType = 1;  // a workstation
    }
    return TRUE;
}

LCID WINAPI GetThreadLocale() {
    return usEnglish;
}

int WINAPI GetLocaleInfoA(LCID locale, LCTYPE type, LPSTR data, int dataLength) {
    if (dataLength < 0 || (data == nullptr && dataLength != 0) || !isKnownLocale(locale)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const LCTYPE item = type & ~(LOCALE_NOUSEROVERRIDE | LOCALE_RETURN_NUMBER);
    const char* text = localeItem(item);
    if (text == nullptr || ((type & LOCALE_RETURN_NUMBER) && !isNumericItem(item))) {
        SetLastError(ERROR_INVALID_FLAGS);
        return 0;
    }
    if (type & LOCALE_RETURN_NUMBER) {
        // The value as a DWORD; the length counts characters, so 4 for the ANSI form.
        const int base = item == LOCALE_ILANGUAGE ? 16 : 10;
        const DWORD value = static_cast<DWORD>(std::strtoul(text, nullptr, base));
        constexpr int needed = static_cast<int>(sizeof(DWORD));
        if (dataLength == 0) {
            return needed;
        }
        if (dataLength < needed) {
            SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return 0;
        }
        std::memcpy(data, &value, sizeof value);
        return needed;
    }
    const int needed = static_cast<int>(std::strlen(text)) + 1;
    if (dataLength == 0) {
        return needed;
    }
    if (dataLength < needed) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::memcpy(data, text, static_cast<std::size_t>(needed));
    return needed;
}

UINT WINAPI GetACP() {
    return CP_UTF8;
}

BOOL WINAPI DisableThreadLibraryCalls(HMODULE) {
    // No thread notifications are ever sent to modules here.
    return TRUE;
}

}  // extern "C"
