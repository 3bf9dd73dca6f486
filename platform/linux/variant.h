// VARIANT: the tagged value automation passes around, with the Windows layout (16 bytes on 32-bit
// builds, 24 on 64-bit), the dispatch parameter block and the exception record, and the value
// conversions the module and its hosts use.
#pragma once

#include "platform/linux/bstr.h"
#include "platform/linux/com.h"
#include "platform/linux/kernel.h"  // LOCALE_USER_DEFAULT and friends

#define DISP_E_UNKNOWNINTERFACE gsHresult(0x80020001u)
#define DISP_E_MEMBERNOTFOUND gsHresult(0x80020003u)
#define DISP_E_PARAMNOTFOUND gsHresult(0x80020004u)
#define DISP_E_TYPEMISMATCH gsHresult(0x80020005u)
#define DISP_E_UNKNOWNNAME gsHresult(0x80020006u)
#define DISP_E_NONAMEDARGS gsHresult(0x80020007u)
#define DISP_E_BADVARTYPE gsHresult(0x80020008u)
#define DISP_E_EXCEPTION gsHresult(0x80020009u)
#define DISP_E_OVERFLOW gsHresult(0x8002000Au)
#define DISP_E_BADINDEX gsHresult(0x8002000Bu)
#define DISP_E_UNKNOWNLCID gsHresult(0x8002000Cu)
#define DISP_E_ARRAYISLOCKED gsHresult(0x8002000Du)
#define DISP_E_BADPARAMCOUNT gsHresult(0x8002000Eu)
#define DISP_E_PARAMNOTOPTIONAL gsHresult(0x8002000Fu)
#define DISP_E_BADCALLEE gsHresult(0x80020010u)
#define DISP_E_NOTACOLLECTION gsHresult(0x80020011u)
#define DISP_E_DIVBYZERO gsHresult(0x80020012u)
#define DISP_E_BUFFERTOOSMALL gsHresult(0x80020013u)

enum VARENUM {
    VT_EMPTY = 0,
    VT_NULL = 1,
    VT_I2 = 2,
    VT_I4 = 3,
    VT_R4 = 4,
    VT_R8 = 5,
    VT_CY = 6,
    VT_DATE = 7,
    VT_BSTR = 8,
    VT_DISPATCH = 9,
    VT_ERROR = 10,
    VT_BOOL = 11,
    VT_VARIANT = 12,
    VT_UNKNOWN = 13,
    VT_DECIMAL = 14,
    VT_I1 = 16,
    VT_UI1 = 17,
    VT_UI2 = 18,
    VT_UI4 = 19,
    VT_I8 = 20,
    VT_UI8 = 21,
    VT_INT = 22,
    VT_UINT = 23,
    VT_VOID = 24,
    VT_HRESULT = 25,
    VT_PTR = 26,
    VT_SAFEARRAY = 27,
    VT_CARRAY = 28,
    VT_USERDEFINED = 29,
    VT_LPSTR = 30,
    VT_LPWSTR = 31,
    VT_RECORD = 36,
    VT_INT_PTR = 37,
    VT_UINT_PTR = 38,
    VT_FILETIME = 64,
    VT_BLOB = 65,
    VT_STREAM = 66,
    VT_STORAGE = 67,
    VT_STREAMED_OBJECT = 68,
    VT_STORED_OBJECT = 69,
    VT_BLOB_OBJECT = 70,
    VT_CF = 71,
    VT_CLSID = 72,
    VT_VERSIONED_STREAM = 73,
    VT_BSTR_BLOB = 0xfff,
    VT_VECTOR = 0x1000,
    VT_ARRAY = 0x2000,
    VT_BYREF = 0x4000,
    VT_RESERVED = 0x8000,
    VT_ILLEGAL = 0xffff,
    VT_ILLEGALMASKED = 0xfff,
    VT_TYPEMASK = 0xfff
};

#define VARIANT_TRUE (static_cast<VARIANT_BOOL>(-1))
#define VARIANT_FALSE (static_cast<VARIANT_BOOL>(0))

// VariantChangeType flags.
#define VARIANT_NOVALUEPROP 0x01
#define VARIANT_ALPHABOOL 0x02
#define VARIANT_NOUSEROVERRIDE 0x04
#define VARIANT_LOCALBOOL 0x10

struct IDispatch;
struct IRecordInfo;
struct SAFEARRAY;

union CY {
    struct {
        ULONG Lo;
        LONG Hi;
    };
    LONGLONG int64;
};

struct DECIMAL {
    USHORT wReserved;
    BYTE scale;
    BYTE sign;
    ULONG Hi32;
    ULONGLONG Lo64;
};

// The value union is reached without intermediate names (v.vt, v.lVal, v.bstrVal), as with the
// Windows headers' default, and through the V_ accessors below.
struct VARIANT {
    union {
        struct {
            VARTYPE vt;
            WORD wReserved1;
            WORD wReserved2;
            WORD wReserved3;
            union {
                LONGLONG llVal;
                LONG lVal;
                BYTE bVal;
                SHORT iVal;
                FLOAT fltVal;
                DOUBLE dblVal;
                VARIANT_BOOL boolVal;
                SCODE scode;
                CY cyVal;
                DATE date;
                BSTR bstrVal;
                IUnknown* punkVal;
                IDispatch* pdispVal;
                SAFEARRAY* parray;
                BYTE* pbVal;
                SHORT* piVal;
                LONG* plVal;
                LONGLONG* pllVal;
                FLOAT* pfltVal;
                DOUBLE* pdblVal;
                VARIANT_BOOL* pboolVal;
                SCODE* pscode;
                CY* pcyVal;
                DATE* pdate;
                BSTR* pbstrVal;
                IUnknown** ppunkVal;
                IDispatch** ppdispVal;
                SAFEARRAY** pparray;
                VARIANT* pvarVal;
                PVOID byref;
                CHAR cVal;
                USHORT uiVal;
                ULONG ulVal;
                ULONGLONG ullVal;
                INT intVal;
                UINT uintVal;
                DECIMAL* pdecVal;
                CHAR* pcVal;
                USHORT* puiVal;
                ULONG* pulVal;
                ULONGLONG* pullVal;
                INT* pintVal;
                UINT* puintVal;
                struct {
                    PVOID pvRecord;
                    IRecordInfo* pRecInfo;
                };
            };
        };
        DECIMAL decVal;
    };
};
using VARIANTARG = VARIANT;
using LPVARIANT = VARIANT*;
using LPVARIANTARG = VARIANT*;

static_assert(sizeof(VARIANT) == 8 + 2 * sizeof(void*) || sizeof(void*) == 4);
static_assert(sizeof(VARIANT) == 16 || sizeof(void*) == 8);

#define V_VT(v) ((v)->vt)
#define V_ISBYREF(v) (V_VT(v) & VT_BYREF)
#define V_UI1(v) ((v)->bVal)
#define V_I2(v) ((v)->iVal)
#define V_UI2(v) ((v)->uiVal)
#define V_I4(v) ((v)->lVal)
#define V_UI4(v) ((v)->ulVal)
#define V_I8(v) ((v)->llVal)
#define V_UI8(v) ((v)->ullVal)
#define V_INT(v) ((v)->intVal)
#define V_UINT(v) ((v)->uintVal)
#define V_BOOL(v) ((v)->boolVal)
#define V_ERROR(v) ((v)->scode)
#define V_BSTR(v) ((v)->bstrVal)
#define V_BSTRREF(v) ((v)->pbstrVal)
#define V_I4REF(v) ((v)->plVal)
#define V_UI4REF(v) ((v)->pulVal)
#define V_UNKNOWN(v) ((v)->punkVal)
#define V_DISPATCH(v) ((v)->pdispVal)
#define V_VARIANTREF(v) ((v)->pvarVal)
#define V_BYREF(v) ((v)->byref)

// Arguments of IDispatch::Invoke, last argument first in rgvarg; named arguments come first.
struct DISPPARAMS {
    VARIANTARG* rgvarg;
    DISPID* rgdispidNamedArgs;
    UINT cArgs;
    UINT cNamedArgs;
};

struct EXCEPINFO {
    WORD wCode;
    WORD wReserved;
    BSTR bstrSource;
    BSTR bstrDescription;
    BSTR bstrHelpFile;
    DWORD dwHelpContext;
    PVOID pvReserved;
    HRESULT(STDMETHODCALLTYPE* pfnDeferredFillIn)(EXCEPINFO*);
    SCODE scode;
};
using LPEXCEPINFO = EXCEPINFO*;

#define DISPATCH_METHOD 0x1
#define DISPATCH_PROPERTYGET 0x2
#define DISPATCH_PROPERTYPUT 0x4
#define DISPATCH_PROPERTYPUTREF 0x8

#define DISPID_UNKNOWN (-1)
#define DISPID_VALUE 0
#define DISPID_PROPERTYPUT (-3)
#define DISPID_NEWENUM (-4)
#define DISPID_EVALUATE (-5)
#define DISPID_CONSTRUCTOR (-6)
#define DISPID_DESTRUCTOR (-7)
#define DISPID_COLLECT (-8)

extern "C" {
GS_PLATFORM_API void VariantInit(VARIANTARG* value);
// Frees what the value owns (a string, an interface reference) and leaves it VT_EMPTY.
GS_PLATFORM_API HRESULT VariantClear(VARIANTARG* value);
// Clears `target`, then copies `source` into it: strings are duplicated, interfaces AddRef'd.
GS_PLATFORM_API HRESULT VariantCopy(VARIANTARG* target, const VARIANTARG* source);
// As VariantCopy, but a by-reference source is copied as the value it refers to.
GS_PLATFORM_API HRESULT VariantCopyInd(VARIANT* target, const VARIANTARG* source);
// Converts between the empty and null values, the integer types, VT_BOOL, VT_ERROR and VT_BSTR;
// target and source may be the same variant. On failure `target` is left untouched.
GS_PLATFORM_API HRESULT VariantChangeType(VARIANTARG* target, const VARIANTARG* source,
                                          USHORT flags, VARTYPE type);
GS_PLATFORM_API HRESULT VariantChangeTypeEx(VARIANTARG* target, const VARIANTARG* source,
                                            LCID locale, USHORT flags, VARTYPE type);

// Text to integer as automation parses numbers with the neutral locale: blanks around the number,
// an optional sign, thousands separators, a decimal part (rounded half to even), an exponent, and
// &H / &O prefixes for hexadecimal and octal. Out of range: DISP_E_OVERFLOW; anything else that
// is not a number: DISP_E_TYPEMISMATCH.
GS_PLATFORM_API HRESULT VarUI4FromStr(const OLECHAR* text, LCID locale, ULONG flags, ULONG* out);
GS_PLATFORM_API HRESULT VarI4FromStr(const OLECHAR* text, LCID locale, ULONG flags, LONG* out);
GS_PLATFORM_API HRESULT VarBstrFromUI4(ULONG value, LCID locale, ULONG flags, BSTR* out);
GS_PLATFORM_API HRESULT VarBstrFromI4(LONG value, LCID locale, ULONG flags, BSTR* out);
}
