// The registry: keys and typed values under the predefined roots, with the Windows calling
// conventions, error codes and handle values. On Linux the keys live in one store file per machine
// profile (see registry_format.h for its layout and registry_store.h for where it is and how
// processes share it), so registration done by one process is seen by every other.
//
// Text given to the A forms is kept byte for byte; the W forms convert between UTF-16 and UTF-8,
// which is what the A forms' bytes are taken to be. Key and value names compare without regard to
// ASCII letter case.
#pragma once

#include "platform/linux/kernel.h"
#include "platform/linux/types.h"

using LSTATUS = LONG;

struct FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
};
using PFILETIME = FILETIME*;
using LPFILETIME = FILETIME*;

// Security attributes are accepted and ignored: the store has no per-key security.
struct SECURITY_ATTRIBUTES;
using LPSECURITY_ATTRIBUTES = SECURITY_ATTRIBUTES*;

// Predefined roots, sign-extended on 64-bit builds exactly as Windows defines them.
#define GS_PREDEFINED_KEY(value) \
    (reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<LONG>(value))))
#define HKEY_CLASSES_ROOT GS_PREDEFINED_KEY(0x80000000)
#define HKEY_CURRENT_USER GS_PREDEFINED_KEY(0x80000001)
#define HKEY_LOCAL_MACHINE GS_PREDEFINED_KEY(0x80000002)
#define HKEY_USERS GS_PREDEFINED_KEY(0x80000003)
#define HKEY_PERFORMANCE_DATA GS_PREDEFINED_KEY(0x80000004)
#define HKEY_CURRENT_CONFIG GS_PREDEFINED_KEY(0x80000005)
#define HKEY_DYN_DATA GS_PREDEFINED_KEY(0x80000006)

// Win32 error codes the registry reports. Shared codes may already come from kernel.h.
#ifndef ERROR_SUCCESS
#define ERROR_SUCCESS 0
#endif
#ifndef ERROR_FILE_NOT_FOUND
#define ERROR_FILE_NOT_FOUND 2
#endif
#ifndef ERROR_ACCESS_DENIED
#define ERROR_ACCESS_DENIED 5
#endif
#ifndef ERROR_INVALID_HANDLE
#define ERROR_INVALID_HANDLE 6
#endif
#ifndef ERROR_NOT_ENOUGH_MEMORY
#define ERROR_NOT_ENOUGH_MEMORY 8
#endif
#ifndef ERROR_OUTOFMEMORY
#define ERROR_OUTOFMEMORY 14
#endif
#ifndef ERROR_DISK_FULL
#define ERROR_DISK_FULL 112
#endif
#ifndef ERROR_INVALID_PARAMETER
#define ERROR_INVALID_PARAMETER 87
#endif
#ifndef ERROR_INSUFFICIENT_BUFFER
#define ERROR_INSUFFICIENT_BUFFER 122
#endif
#ifndef ERROR_BAD_PATHNAME
#define ERROR_BAD_PATHNAME 161
#endif
#ifndef ERROR_FILENAME_EXCED_RANGE
#define ERROR_FILENAME_EXCED_RANGE 206
#endif
#ifndef ERROR_MORE_DATA
#define ERROR_MORE_DATA 234
#endif
#ifndef ERROR_NO_MORE_ITEMS
#define ERROR_NO_MORE_ITEMS 259
#endif
#ifndef ERROR_NOACCESS
#define ERROR_NOACCESS 998
#endif
#ifndef ERROR_BADDB
#define ERROR_BADDB 1009
#endif
#ifndef ERROR_CANTREAD
#define ERROR_CANTREAD 1012
#endif
#ifndef ERROR_CANTWRITE
#define ERROR_CANTWRITE 1013
#endif
#ifndef ERROR_REGISTRY_CORRUPT
#define ERROR_REGISTRY_CORRUPT 1015
#endif
#ifndef ERROR_REGISTRY_IO_FAILED
#define ERROR_REGISTRY_IO_FAILED 1016
#endif
#ifndef ERROR_KEY_DELETED
#define ERROR_KEY_DELETED 1018
#endif

// Access rights. The generic rights may already come from kernel.h.
#ifndef DELETE
#define DELETE 0x00010000
#endif
#ifndef READ_CONTROL
#define READ_CONTROL 0x00020000
#endif
#ifndef WRITE_DAC
#define WRITE_DAC 0x00040000
#endif
#ifndef WRITE_OWNER
#define WRITE_OWNER 0x00080000
#endif
#ifndef SYNCHRONIZE
#define SYNCHRONIZE 0x00100000
#endif
#ifndef STANDARD_RIGHTS_READ
#define STANDARD_RIGHTS_READ READ_CONTROL
#endif
#ifndef STANDARD_RIGHTS_WRITE
#define STANDARD_RIGHTS_WRITE READ_CONTROL
#endif
#ifndef STANDARD_RIGHTS_ALL
#define STANDARD_RIGHTS_ALL 0x001F0000
#endif

#define KEY_QUERY_VALUE 0x0001
#define KEY_SET_VALUE 0x0002
#define KEY_CREATE_SUB_KEY 0x0004
#define KEY_ENUMERATE_SUB_KEYS 0x0008
#define KEY_NOTIFY 0x0010
#define KEY_CREATE_LINK 0x0020
#define KEY_WOW64_64KEY 0x0100
#define KEY_WOW64_32KEY 0x0200
#define KEY_READ                                                                      \
    ((STANDARD_RIGHTS_READ | KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS | KEY_NOTIFY) & \
     (~SYNCHRONIZE))
#define KEY_WRITE ((STANDARD_RIGHTS_WRITE | KEY_SET_VALUE | KEY_CREATE_SUB_KEY) & (~SYNCHRONIZE))
#define KEY_EXECUTE ((KEY_READ) & (~SYNCHRONIZE))
#define KEY_ALL_ACCESS                                                             \
    ((STANDARD_RIGHTS_ALL | KEY_QUERY_VALUE | KEY_SET_VALUE | KEY_CREATE_SUB_KEY | \
      KEY_ENUMERATE_SUB_KEYS | KEY_NOTIFY | KEY_CREATE_LINK) &                     \
     (~SYNCHRONIZE))

#define REG_NONE 0
#define REG_SZ 1
#define REG_EXPAND_SZ 2
#define REG_BINARY 3
#define REG_DWORD 4
#define REG_DWORD_LITTLE_ENDIAN 4
#define REG_DWORD_BIG_ENDIAN 5
#define REG_LINK 6
#define REG_MULTI_SZ 7
#define REG_QWORD 11
#define REG_QWORD_LITTLE_ENDIAN 11

// Volatile keys are kept like any other: the store has no notion of a restart.
#define REG_OPTION_NON_VOLATILE 0x00000000
#define REG_OPTION_VOLATILE 0x00000001
#define REG_CREATED_NEW_KEY 0x00000001
#define REG_OPENED_EXISTING_KEY 0x00000002

extern "C" {
GS_PLATFORM_API LSTATUS WINAPI RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM desired,
                                             PHKEY result);
GS_PLATFORM_API LSTATUS WINAPI RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD options,
                                             REGSAM desired, PHKEY result);
GS_PLATFORM_API LSTATUS WINAPI RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD reserved,
                                               LPSTR keyClass, DWORD options, REGSAM desired,
                                               const LPSECURITY_ATTRIBUTES security, PHKEY result,
                                               LPDWORD disposition);
GS_PLATFORM_API LSTATUS WINAPI RegCreateKeyExW(HKEY key, LPCWSTR subKey, DWORD reserved,
                                               LPWSTR keyClass, DWORD options, REGSAM desired,
                                               const LPSECURITY_ATTRIBUTES security, PHKEY result,
                                               LPDWORD disposition);
GS_PLATFORM_API LSTATUS WINAPI RegCloseKey(HKEY key);

GS_PLATFORM_API LSTATUS WINAPI RegSetValueExA(HKEY key, LPCSTR valueName, DWORD reserved,
                                              DWORD type, const BYTE* data, DWORD size);
GS_PLATFORM_API LSTATUS WINAPI RegSetValueExW(HKEY key, LPCWSTR valueName, DWORD reserved,
                                              DWORD type, const BYTE* data, DWORD size);
GS_PLATFORM_API LSTATUS WINAPI RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved,
                                                LPDWORD type, LPBYTE data, LPDWORD size);
GS_PLATFORM_API LSTATUS WINAPI RegQueryValueExW(HKEY key, LPCWSTR valueName, LPDWORD reserved,
                                                LPDWORD type, LPBYTE data, LPDWORD size);
GS_PLATFORM_API LSTATUS WINAPI RegDeleteValueA(HKEY key, LPCSTR valueName);
GS_PLATFORM_API LSTATUS WINAPI RegDeleteValueW(HKEY key, LPCWSTR valueName);

// Deletes a key that has no subkeys; a key with subkeys gives ERROR_ACCESS_DENIED.
GS_PLATFORM_API LSTATUS WINAPI RegDeleteKeyA(HKEY key, LPCSTR subKey);
GS_PLATFORM_API LSTATUS WINAPI RegDeleteKeyW(HKEY key, LPCWSTR subKey);

// Subkeys enumerate in case-insensitive name order, values in the order they were first set.
GS_PLATFORM_API LSTATUS WINAPI RegEnumKeyExA(HKEY key, DWORD index, LPSTR name, LPDWORD nameLength,
                                             LPDWORD reserved, LPSTR keyClass, LPDWORD classLength,
                                             PFILETIME lastWriteTime);
GS_PLATFORM_API LSTATUS WINAPI RegEnumKeyExW(HKEY key, DWORD index, LPWSTR name, LPDWORD nameLength,
                                             LPDWORD reserved, LPWSTR keyClass, LPDWORD classLength,
                                             PFILETIME lastWriteTime);
GS_PLATFORM_API LSTATUS WINAPI RegEnumValueA(HKEY key, DWORD index, LPSTR valueName,
                                             LPDWORD valueNameLength, LPDWORD reserved,
                                             LPDWORD type, LPBYTE data, LPDWORD size);
GS_PLATFORM_API LSTATUS WINAPI RegQueryInfoKeyA(
    HKEY key, LPSTR keyClass, LPDWORD classLength, LPDWORD reserved, LPDWORD subKeyCount,
    LPDWORD maxSubKeyLength, LPDWORD maxClassLength, LPDWORD valueCount, LPDWORD maxValueNameLength,
    LPDWORD maxValueLength, LPDWORD securityDescriptorSize, PFILETIME lastWriteTime);
}
