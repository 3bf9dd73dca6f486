#include "registrar/code_page.h"

#include <atomic>

namespace gs::registrar {

namespace {

using CodePageChoice = UINT (*)();

UINT threadCodePage() {
    return CP_THREAD_ACP;
}

UINT localeCodePage() {
    char digits[7] = {};
    if (GetLocaleInfoA(GetThreadLocale(), LOCALE_IDEFAULTANSICODEPAGE, digits, sizeof digits) > 0) {
        UINT codePage = 0;
        for (const char* digit = digits; *digit >= '0' && *digit <= '9'; ++digit) {
            codePage = codePage * 10 + static_cast<UINT>(*digit - '0');
        }
        if (codePage != 0) {
            return codePage;
        }
    }
    return GetACP();
}

UINT chooseOnFirstUse();

// Concurrent first calls may both choose; they choose the same function, so either store wins.
std::atomic<CodePageChoice> choice{chooseOnFirstUse};

UINT chooseOnFirstUse() {
    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof version;
    const bool modernWindows = GetVersionExA(&version) &&
                               version.dwPlatformId == VER_PLATFORM_WIN32_NT &&
                               version.dwMajorVersion >= 5;
    const CodePageChoice chosen = modernWindows ? threadCodePage : localeCodePage;
    choice.exchange(chosen);
    return chosen();
}

}  // namespace

UINT conversionCodePage() {
    return choice.load()();
}

}  // namespace gs::registrar
