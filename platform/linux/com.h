// COM basics: HRESULT codes, GUIDs, IUnknown, IClassFactory and task memory.
#pragma once

#include <cstring>

#include "platform/linux/types.h"

constexpr HRESULT gsHresult(std::uint32_t code) {
    return static_cast<HRESULT>(code);
}

#define S_OK ((HRESULT)0)
#define S_FALSE ((HRESULT)1)
#define E_NOTIMPL gsHresult(0x80004001u)
#define E_NOINTERFACE gsHresult(0x80004002u)
#define E_POINTER gsHresult(0x80004003u)
#define E_ABORT gsHresult(0x80004004u)
#define E_FAIL gsHresult(0x80004005u)
#define E_UNEXPECTED gsHresult(0x8000FFFFu)
#define E_ACCESSDENIED gsHresult(0x80070005u)
#define E_HANDLE gsHresult(0x80070006u)
#define E_OUTOFMEMORY gsHresult(0x8007000Eu)
#define E_INVALIDARG gsHresult(0x80070057u)
#define CLASS_E_NOAGGREGATION gsHresult(0x80040110u)
#define CLASS_E_CLASSNOTAVAILABLE gsHresult(0x80040111u)
#define REGDB_E_CLASSNOTREG gsHresult(0x80040154u)
#define CO_E_NOTINITIALIZED gsHresult(0x800401F0u)

#define SUCCEEDED(hr) (static_cast<HRESULT>(hr) >= 0)
#define FAILED(hr) (static_cast<HRESULT>(hr) < 0)
#define SEVERITY_SUCCESS 0
#define SEVERITY_ERROR 1
#define FACILITY_NULL 0
#define FACILITY_DISPATCH 2
#define FACILITY_ITF 4
#define FACILITY_WIN32 7
#define MAKE_HRESULT(sev, fac, code)                               \
    static_cast<HRESULT>((static_cast<std::uint32_t>(sev) << 31) | \
                         (static_cast<std::uint32_t>(fac) << 16) | \
                         static_cast<std::uint32_t>(code))
#define HRESULT_CODE(hr) ((hr)&0xFFFF)
#define HRESULT_FACILITY(hr) (((hr) >> 16) & 0x1fff)

constexpr HRESULT HRESULT_FROM_WIN32(std::uint32_t error) {
    return static_cast<HRESULT>(error) <= 0
               ? static_cast<HRESULT>(error)
               : static_cast<HRESULT>((error & 0x0000FFFFu) | (FACILITY_WIN32 << 16) | 0x80000000u);
}

struct GUID {
    DWORD Data1;
    WORD Data2;
    WORD Data3;
    BYTE Data4[8];
};
using IID = GUID;
using CLSID = GUID;
using REFGUID = const GUID&;
using REFIID = const IID&;
using REFCLSID = const CLSID&;
using LPGUID = GUID*;

inline bool IsEqualGUID(REFGUID a, REFGUID b) {
    return std::memcmp(&a, &b, sizeof(GUID)) == 0;
}
inline bool IsEqualIID(REFIID a, REFIID b) {
    return IsEqualGUID(a, b);
}
inline bool IsEqualCLSID(REFCLSID a, REFCLSID b) {
    return IsEqualGUID(a, b);
}
inline bool operator==(REFGUID a, REFGUID b) {
    return IsEqualGUID(a, b);
}

extern "C" {
GS_PLATFORM_API extern const IID IID_IUnknown;
GS_PLATFORM_API extern const IID IID_IClassFactory;
GS_PLATFORM_API extern const IID IID_IDispatch;
GS_PLATFORM_API extern const IID IID_ITypeInfo;
GS_PLATFORM_API extern const IID IID_ITypeInfo2;
GS_PLATFORM_API extern const IID IID_ITypeLib;
GS_PLATFORM_API extern const GUID GUID_NULL;
}

// Interfaces are classes of pure virtual functions only: under the Itanium C++ ABI their vtables
// hold the methods in declaration order, the COM layout.
struct IUnknown {
    virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) = 0;
    virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
    virtual ULONG STDMETHODCALLTYPE Release() = 0;
};
using LPUNKNOWN = IUnknown*;

struct IClassFactory : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid,
                                                     void** object) = 0;
    virtual HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) = 0;
};

extern "C" {
GS_PLATFORM_API LPVOID CoTaskMemAlloc(SIZE_T size);
GS_PLATFORM_API LPVOID CoTaskMemRealloc(LPVOID block, SIZE_T size);
GS_PLATFORM_API void CoTaskMemFree(LPVOID block);
}
