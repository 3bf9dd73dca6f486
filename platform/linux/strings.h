// Code pages and the ANSI/UTF-16 string helpers.
//
// The ANSI code page is UTF-8 here (CP_ACP and CP_THREAD_ACP both mean CP_UTF8); code page 932
// (Japanese, Shift-JIS with the Windows extensions) is converted with the tables of the system's
// iconv "CP932".
#pragma once

#include <cstdarg>

#include "platform/linux/kernel.h"

#ifndef WINAPIV
#define WINAPIV
#endif

#define CP_ACP 0u
#define CP_OEMCP 1u
#define CP_THREAD_ACP 3u
#define CP_UTF8 65001u

#define MB_PRECOMPOSED 0x00000001u
#define MB_COMPOSITE 0x00000002u
#define MB_USEGLYPHCHARS 0x00000004u
#define MB_ERR_INVALID_CHARS 0x00000008u

#define WC_COMPOSITECHECK 0x00000200u
#define WC_DISCARDNS 0x00000010u
#define WC_SEPCHARS 0x00000020u
#define WC_DEFAULTCHAR 0x00000040u
#define WC_ERR_INVALID_CHARS 0x00000080u
#define WC_NO_BEST_FIT_CHARS 0x00000400u

extern "C" {

// Lengths follow Windows: a source length of -1 means "up to and including the NUL"; an output
// size of 0 asks for the required size; output that does not fit fails with
// ERROR_INSUFFICIENT_BUFFER. Malformed input becomes U+FFFD (from UTF-8), the code page's default
// character (from UTF-16), or fails with ERROR_NO_UNICODE_TRANSLATION under MB_ERR_INVALID_CHARS /
// WC_ERR_INVALID_CHARS.
GS_PLATFORM_API int WINAPI MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR source,
                                               int sourceLength, LPWSTR target, int targetLength);
GS_PLATFORM_API int WINAPI WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR source,
                                               int sourceLength, LPSTR target, int targetLength,
                                               LPCSTR defaultChar, BOOL* usedDefaultChar);

// The next character of ANSI (UTF-8) text; a NUL is never stepped over.
GS_PLATFORM_API LPSTR WINAPI CharNextA(LPCSTR text);

GS_PLATFORM_API int WINAPI lstrlenA(LPCSTR text);
GS_PLATFORM_API int WINAPI lstrlenW(LPCWSTR text);
GS_PLATFORM_API int WINAPI lstrcmpA(LPCSTR first, LPCSTR second);
// Compares with ASCII letters folded to one case; other bytes compare by value.
GS_PLATFORM_API int WINAPI lstrcmpiA(LPCSTR first, LPCSTR second);
// Copies at most maxLength - 1 bytes and always terminates when maxLength > 0.
GS_PLATFORM_API LPSTR WINAPI lstrcpynA(LPSTR target, LPCSTR source, int maxLength);

// Formatting with the subset of conversions "%[-][0][width][.precision][l|h]type" where type is
// one of d i u x X s c %; %s takes a string of the function's own character type. As on Windows,
// the output holds at most 1024 characters including the NUL; the result is the number of
// characters written without the NUL.
GS_PLATFORM_API int WINAPIV wsprintfA(LPSTR target, LPCSTR format, ...);
GS_PLATFORM_API int WINAPIV wsprintfW(LPWSTR target, LPCWSTR format, ...);
GS_PLATFORM_API int WINAPI wvsprintfA(LPSTR target, LPCSTR format, va_list arguments);
GS_PLATFORM_API int WINAPI wvsprintfW(LPWSTR target, LPCWSTR format, va_list arguments);

}  // extern "C"
