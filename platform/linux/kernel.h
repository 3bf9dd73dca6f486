// Kernel services: the thread's last error, critical sections, interlocked operations, the
// millisecond clocks, virtual memory and what the system reports about its version and locale.
#pragma once

#include <pthread.h>

#include "platform/linux/com.h"

// Error codes, with their Windows values.
#define ERROR_SUCCESS 0
#define NO_ERROR 0
#define ERROR_INVALID_FUNCTION 1
#define ERROR_FILE_NOT_FOUND 2
#define ERROR_PATH_NOT_FOUND 3
#define ERROR_ACCESS_DENIED 5
#define ERROR_INVALID_HANDLE 6
#define ERROR_NOT_ENOUGH_MEMORY 8
#define ERROR_INVALID_DATA 13
#define ERROR_OUTOFMEMORY 14
#define ERROR_NOT_SUPPORTED 50
#define ERROR_INVALID_PARAMETER 87
#define ERROR_CALL_NOT_IMPLEMENTED 120
#define ERROR_INSUFFICIENT_BUFFER 122
#define ERROR_INVALID_NAME 123
#define ERROR_MOD_NOT_FOUND 126
#define ERROR_PROC_NOT_FOUND 127
#define ERROR_BAD_EXE_FORMAT 193
#define ERROR_MORE_DATA 234
#define ERROR_NO_MORE_ITEMS 259
#define ERROR_INVALID_ADDRESS 487
#define ERROR_INVALID_FLAGS 1004
#define ERROR_BADDB 1009
#define ERROR_BADKEY 1010
#define ERROR_CANTOPEN 1011
#define ERROR_CANTREAD 1012
#define ERROR_CANTWRITE 1013
#define ERROR_KEY_DELETED 1018
#define ERROR_NO_UNICODE_TRANSLATION 1113
#define ERROR_INVALID_WINDOW_HANDLE 1400
#define ERROR_RESOURCE_DATA_NOT_FOUND 1812
#define ERROR_RESOURCE_TYPE_NOT_FOUND 1813
#define ERROR_RESOURCE_NAME_NOT_FOUND 1814
#define ERROR_RESOURCE_LANG_NOT_FOUND 1815

// DLL entry-point reasons.
#define DLL_PROCESS_DETACH 0
#define DLL_PROCESS_ATTACH 1
#define DLL_THREAD_ATTACH 2
#define DLL_THREAD_DETACH 3

#define INFINITE 0xFFFFFFFFu

// Virtual memory: allocation types and page protections.
#define MEM_COMMIT 0x00001000u
#define MEM_RESERVE 0x00002000u
#define MEM_RELEASE 0x00008000u
#define PAGE_READWRITE 0x04u

// A critical section is a recursive lock owned by one thread at a time, as on Windows.
struct RTL_CRITICAL_SECTION {
    pthread_mutex_t gsMutex;
};
using CRITICAL_SECTION = RTL_CRITICAL_SECTION;
using LPCRITICAL_SECTION = CRITICAL_SECTION*;

struct OSVERSIONINFOA {
    DWORD dwOSVersionInfoSize;
    DWORD dwMajorVersion;
    DWORD dwMinorVersion;
    DWORD dwBuildNumber;
    DWORD dwPlatformId;
    CHAR szCSDVersion[128];
};
using LPOSVERSIONINFOA = OSVERSIONINFOA*;

struct OSVERSIONINFOEXA {
    DWORD dwOSVersionInfoSize;
    DWORD dwMajorVersion;
    DWORD dwMinorVersion;
    DWORD dwBuildNumber;
    DWORD dwPlatformId;
    CHAR szCSDVersion[128];
    WORD wServicePackMajor;
    WORD wServicePackMinor;
    WORD wSuiteMask;
    BYTE wProductType;
    BYTE wReserved;
};

#define VER_PLATFORM_WIN32s 0
#define VER_PLATFORM_WIN32_WINDOWS 1
#define VER_PLATFORM_WIN32_NT 2

// Locales.
#define MAKELANGID(primary, sub) (static_cast<WORD>((static_cast<WORD>(sub) << 10) | (primary)))
#define PRIMARYLANGID(lang) (static_cast<WORD>(lang) & 0x3ff)
#define SUBLANGID(lang) (static_cast<WORD>(lang) >> 10)
#define MAKELCID(lang, sort) \
    (static_cast<DWORD>((static_cast<DWORD>(sort) << 16) | static_cast<WORD>(lang)))
#define LANGIDFROMLCID(lcid) (static_cast<WORD>(lcid))
#define LANG_NEUTRAL 0x00
#define LANG_ENGLISH 0x09
#define LANG_JAPANESE 0x11
#define SUBLANG_NEUTRAL 0x00
#define SUBLANG_DEFAULT 0x01
#define SUBLANG_SYS_DEFAULT 0x02
#define SUBLANG_ENGLISH_US 0x01
#define SORT_DEFAULT 0x0
#define LOCALE_NEUTRAL 0x0000u
#define LOCALE_INVARIANT 0x007Fu
#define LOCALE_USER_DEFAULT 0x0400u
#define LOCALE_SYSTEM_DEFAULT 0x0800u

using LCTYPE = DWORD;
#define LOCALE_NOUSEROVERRIDE 0x80000000u
#define LOCALE_RETURN_NUMBER 0x20000000u
#define LOCALE_ILANGUAGE 0x0001u
#define LOCALE_IDEFAULTCODEPAGE 0x000Bu
#define LOCALE_IDEFAULTANSICODEPAGE 0x1004u
#define LOCALE_SISO639LANGNAME 0x0059u
#define LOCALE_SISO3166CTRYNAME 0x005Au

extern "C" {

GS_PLATFORM_API DWORD WINAPI GetLastError();
GS_PLATFORM_API void WINAPI SetLastError(DWORD error);

GS_PLATFORM_API void WINAPI InitializeCriticalSection(LPCRITICAL_SECTION section);
GS_PLATFORM_API BOOL WINAPI InitializeCriticalSectionAndSpinCount(LPCRITICAL_SECTION section,
                                                                  DWORD spinCount);
GS_PLATFORM_API void WINAPI EnterCriticalSection(LPCRITICAL_SECTION section);
GS_PLATFORM_API BOOL WINAPI TryEnterCriticalSection(LPCRITICAL_SECTION section);
GS_PLATFORM_API void WINAPI LeaveCriticalSection(LPCRITICAL_SECTION section);
GS_PLATFORM_API void WINAPI DeleteCriticalSection(LPCRITICAL_SECTION section);

// Full-barrier atomic operations; each returns what Windows returns (the new value for
// increment and decrement, the previous value for the exchanges).
GS_PLATFORM_API LONG WINAPI InterlockedIncrement(LONG volatile* addend);
GS_PLATFORM_API LONG WINAPI InterlockedDecrement(LONG volatile* addend);
GS_PLATFORM_API LONG WINAPI InterlockedExchange(LONG volatile* target, LONG value);
GS_PLATFORM_API LONG WINAPI InterlockedCompareExchange(LONG volatile* destination, LONG exchange,
                                                       LONG comparand);
GS_PLATFORM_API PVOID WINAPI InterlockedExchangePointer(PVOID volatile* target, PVOID value);
GS_PLATFORM_API PVOID WINAPI InterlockedCompareExchangePointer(PVOID volatile* destination,
                                                               PVOID exchange, PVOID comparand);

// Millisecond clocks that wrap at 2^32. Both follow the virtual clock while tests or a host
// have switched it on (platform/linux/testing.h), and Sleep then advances it instead of waiting.
GS_PLATFORM_API void WINAPI Sleep(DWORD milliseconds);
GS_PLATFORM_API DWORD WINAPI GetTickCount();
GS_PLATFORM_API DWORD WINAPI timeGetTime();

// Whole pages of zeroes, committed at once and released whole: address null, type MEM_COMMIT
// (MEM_RESERVE may come with it), protection PAGE_READWRITE, and VirtualFree(base, 0,
// MEM_RELEASE); anything else fails with ERROR_INVALID_PARAMETER, an address that is no region's
// base with ERROR_INVALID_ADDRESS. Regions of 2 MiB and more are offered huge pages, which the
// system gives where it can: large pixel buffers then cross few pages.
GS_PLATFORM_API LPVOID WINAPI VirtualAlloc(LPVOID address, SIZE_T size, DWORD type, DWORD protect);
GS_PLATFORM_API BOOL WINAPI VirtualFree(LPVOID address, SIZE_T size, DWORD type);

// The system reports itself as Windows NT 6.1 with the US English locale; its ANSI code page is
// UTF-8 (65001), the encoding of Linux file names.
GS_PLATFORM_API BOOL WINAPI GetVersionExA(LPOSVERSIONINFOA info);
GS_PLATFORM_API LCID WINAPI GetThreadLocale();
GS_PLATFORM_API int WINAPI GetLocaleInfoA(LCID locale, LCTYPE type, LPSTR data, int dataLength);
GS_PLATFORM_API UINT WINAPI GetACP();
GS_PLATFORM_API BOOL WINAPI DisableThreadLibraryCalls(HMODULE module);

}  // extern "C"
