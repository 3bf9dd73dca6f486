// Fundamental Windows types with their Windows sizes on every build: LONG, ULONG, DWORD and HRESULT
// are 32-bit, WCHAR and OLECHAR are 16-bit UTF-16 code units (char16_t), BOOL is a 32-bit int.
#pragma once

#include <cstddef>
#include <cstdint>

#define GS_PLATFORM_API __attribute__((visibility("default")))

#define WINAPI
#define CALLBACK
#define STDMETHODCALLTYPE
#define STDAPICALLTYPE
#define APIENTRY

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using UINT = unsigned int;
using INT = int;
using LONG = std::int32_t;
using ULONG = std::uint32_t;
using SHORT = std::int16_t;
using USHORT = std::uint16_t;
using LONGLONG = std::int64_t;
using ULONGLONG = std::uint64_t;
using BOOL = std::int32_t;
using BOOLEAN = BYTE;
using HRESULT = std::int32_t;
using CHAR = char;
using WCHAR = char16_t;
using OLECHAR = char16_t;
using FLOAT = float;
using DOUBLE = double;

using INT_PTR = std::intptr_t;
using UINT_PTR = std::uintptr_t;
using LONG_PTR = std::intptr_t;
using ULONG_PTR = std::uintptr_t;
using DWORD_PTR = std::uintptr_t;
using SIZE_T = std::size_t;
using WPARAM = UINT_PTR;
using LPARAM = LONG_PTR;
using LRESULT = LONG_PTR;

using LPVOID = void*;
using LPCVOID = const void*;
using PVOID = void*;
using LPSTR = CHAR*;
using LPCSTR = const CHAR*;
using LPWSTR = WCHAR*;
using LPCWSTR = const WCHAR*;
using LPOLESTR = OLECHAR*;
using LPCOLESTR = const OLECHAR*;
using LPBYTE = BYTE*;
using LPDWORD = DWORD*;
using PLONG = LONG*;

using COLORREF = DWORD;
using LCID = DWORD;
using LANGID = WORD;
using DISPID = LONG;
using MEMBERID = DISPID;
using HREFTYPE = DWORD;
using VARTYPE = unsigned short;
using VARIANT_BOOL = short;
using SCODE = LONG;
using DATE = double;
using BSTR = OLECHAR*;  // length-prefixed, see bstr.h
using ATOM = WORD;
using REGSAM = DWORD;

#define TRUE 1
#define FALSE 0
#define MAX_PATH 260
#define CONST const

#define OLESTR(s) u##s
#define TEXT(s) s

using HANDLE = void*;
using HGLOBAL = HANDLE;
using HGDIOBJ = HANDLE;
#define GS_DECLARE_HANDLE(name) \
    struct name##__;            \
    using name = name##__*
GS_DECLARE_HANDLE(HWND);
GS_DECLARE_HANDLE(HDC);
GS_DECLARE_HANDLE(HINSTANCE);
GS_DECLARE_HANDLE(HKEY);
GS_DECLARE_HANDLE(HRSRC);
GS_DECLARE_HANDLE(HBITMAP);
GS_DECLARE_HANDLE(HMENU);
using HMODULE = HINSTANCE;
using PHKEY = HKEY*;

struct RECT {
    LONG left;
    LONG top;
    LONG right;
    LONG bottom;
};
using LPRECT = RECT*;
using LPCRECT = const RECT*;

struct POINT {
    LONG x;
    LONG y;
};

struct SIZE {
    LONG cx;
    LONG cy;
};

#define LOWORD(l) (static_cast<WORD>(static_cast<DWORD_PTR>(l) & 0xffff))
#define HIWORD(l) (static_cast<WORD>((static_cast<DWORD_PTR>(l) >> 16) & 0xffff))
#define MAKEINTRESOURCEA(i) (reinterpret_cast<LPSTR>(static_cast<ULONG_PTR>(static_cast<WORD>(i))))
#define IS_INTRESOURCE(r) ((reinterpret_cast<ULONG_PTR>(r) >> 16) == 0)
