// Type information: IDispatch, the descriptions a type library holds (ITypeLib, ITypeInfo and the
// structures they hand out), and loading and registering libraries. Layouts and vtable orders are
// those of Windows, so that code written against the Windows headers works unchanged.
#pragma once

#include "platform/linux/variant.h"

#define TYPE_E_BUFFERTOOSMALL gsHresult(0x80028016u)
#define TYPE_E_FIELDNOTFOUND gsHresult(0x80028017u)
#define TYPE_E_INVDATAREAD gsHresult(0x80028018u)
#define TYPE_E_UNSUPFORMAT gsHresult(0x80028019u)
#define TYPE_E_REGISTRYACCESS gsHresult(0x8002801Cu)
#define TYPE_E_LIBNOTREGISTERED gsHresult(0x8002801Du)
#define TYPE_E_UNDEFINEDTYPE gsHresult(0x80028027u)
#define TYPE_E_QUALIFIEDNAMEDISALLOWED gsHresult(0x80028028u)
#define TYPE_E_INVALIDSTATE gsHresult(0x80028029u)
#define TYPE_E_WRONGTYPEKIND gsHresult(0x8002802Au)
#define TYPE_E_ELEMENTNOTFOUND gsHresult(0x8002802Bu)
#define TYPE_E_AMBIGUOUSNAME gsHresult(0x8002802Cu)
#define TYPE_E_NAMECONFLICT gsHresult(0x8002802Du)
#define TYPE_E_UNKNOWNLCID gsHresult(0x8002802Eu)
#define TYPE_E_DLLFUNCTIONNOTFOUND gsHresult(0x8002802Fu)
#define TYPE_E_BADMODULEKIND gsHresult(0x800288BDu)
#define TYPE_E_SIZETOOBIG gsHresult(0x800288C5u)
#define TYPE_E_DUPLICATEID gsHresult(0x800288C6u)
#define TYPE_E_INVALIDID gsHresult(0x800288CFu)
#define TYPE_E_TYPEMISMATCH gsHresult(0x80028CA0u)
#define TYPE_E_OUTOFBOUNDS gsHresult(0x80028CA1u)
#define TYPE_E_IOERROR gsHresult(0x80028CA2u)
#define TYPE_E_CANTCREATETMPFILE gsHresult(0x80028CA3u)
#define TYPE_E_CANTLOADLIBRARY gsHresult(0x80029C4Au)
#define TYPE_E_INCONSISTENTPROPFUNCS gsHresult(0x80029C83u)
#define TYPE_E_CIRCULARTYPE gsHresult(0x80029C84u)

#define MEMBERID_NIL DISPID_UNKNOWN

enum TYPEKIND {
    TKIND_ENUM = 0,
    TKIND_RECORD,
    TKIND_MODULE,
    TKIND_INTERFACE,
    TKIND_DISPATCH,
    TKIND_COCLASS,
    TKIND_ALIAS,
    TKIND_UNION,
    TKIND_MAX
};

enum FUNCKIND { FUNC_VIRTUAL = 0, FUNC_PUREVIRTUAL, FUNC_NONVIRTUAL, FUNC_STATIC, FUNC_DISPATCH };

enum INVOKEKIND {
    INVOKE_FUNC = 1,
    INVOKE_PROPERTYGET = 2,
    INVOKE_PROPERTYPUT = 4,
    INVOKE_PROPERTYPUTREF = 8
};

enum CALLCONV {
    CC_FASTCALL = 0,
    CC_CDECL = 1,
    CC_MSCPASCAL = 2,
    CC_PASCAL = CC_MSCPASCAL,
    CC_MACPASCAL = 3,
    CC_STDCALL = 4,
    CC_FPFASTCALL = 5,
    CC_SYSCALL = 6,
    CC_MPWCDECL = 7,
    CC_MPWPASCAL = 8,
    CC_MAX = 9
};

enum VARKIND { VAR_PERINSTANCE = 0, VAR_STATIC, VAR_CONST, VAR_DISPATCH };

enum SYSKIND { SYS_WIN16 = 0, SYS_WIN32, SYS_MAC, SYS_WIN64 };

enum REGKIND { REGKIND_DEFAULT = 0, REGKIND_REGISTER, REGKIND_NONE };

enum LIBFLAGS {
    LIBFLAG_FRESTRICTED = 0x01,
    LIBFLAG_FCONTROL = 0x02,
    LIBFLAG_FHIDDEN = 0x04,
    LIBFLAG_FHASDISKIMAGE = 0x08
};

enum TYPEFLAGS {
    TYPEFLAG_FAPPOBJECT = 0x0001,
    TYPEFLAG_FCANCREATE = 0x0002,
    TYPEFLAG_FLICENSED = 0x0004,
    TYPEFLAG_FPREDECLID = 0x0008,
    TYPEFLAG_FHIDDEN = 0x0010,
    TYPEFLAG_FCONTROL = 0x0020,
    TYPEFLAG_FDUAL = 0x0040,
    TYPEFLAG_FNONEXTENSIBLE = 0x0080,
    TYPEFLAG_FOLEAUTOMATION = 0x0100,
    TYPEFLAG_FRESTRICTED = 0x0200,
    TYPEFLAG_FAGGREGATABLE = 0x0400,
    TYPEFLAG_FREPLACEABLE = 0x0800,
    TYPEFLAG_FDISPATCHABLE = 0x1000,
    TYPEFLAG_FREVERSEBIND = 0x2000,
    TYPEFLAG_FPROXY = 0x4000
};

enum FUNCFLAGS {
    FUNCFLAG_FRESTRICTED = 0x0001,
    FUNCFLAG_FSOURCE = 0x0002,
    FUNCFLAG_FBINDABLE = 0x0004,
    FUNCFLAG_FREQUESTEDIT = 0x0008,
    FUNCFLAG_FDISPLAYBIND = 0x0010,
    FUNCFLAG_FDEFAULTBIND = 0x0020,
    FUNCFLAG_FHIDDEN = 0x0040,
    FUNCFLAG_FUSESGETLASTERROR = 0x0080,
    FUNCFLAG_FDEFAULTCOLLELEM = 0x0100,
    FUNCFLAG_FUIDEFAULT = 0x0200,
    FUNCFLAG_FNONBROWSABLE = 0x0400,
    FUNCFLAG_FREPLACEABLE = 0x0800,
    FUNCFLAG_FIMMEDIATEBIND = 0x1000
};

enum VARFLAGS {
    VARFLAG_FREADONLY = 0x0001,
    VARFLAG_FSOURCE = 0x0002,
    VARFLAG_FBINDABLE = 0x0004,
    VARFLAG_FREQUESTEDIT = 0x0008,
    VARFLAG_FDISPLAYBIND = 0x0010,
    VARFLAG_FDEFAULTBIND = 0x0020,
    VARFLAG_FHIDDEN = 0x0040,
    VARFLAG_FRESTRICTED = 0x0080,
    VARFLAG_FDEFAULTCOLLELEM = 0x0100,
    VARFLAG_FUIDEFAULT = 0x0200,
    VARFLAG_FNONBROWSABLE = 0x0400,
    VARFLAG_FREPLACEABLE = 0x0800,
    VARFLAG_FIMMEDIATEBIND = 0x1000
};

#define IMPLTYPEFLAG_FDEFAULT 0x1
#define IMPLTYPEFLAG_FSOURCE 0x2
#define IMPLTYPEFLAG_FRESTRICTED 0x4
#define IMPLTYPEFLAG_FDEFAULTVTABLE 0x8

#define PARAMFLAG_NONE 0x00
#define PARAMFLAG_FIN 0x01
#define PARAMFLAG_FOUT 0x02
#define PARAMFLAG_FLCID 0x04
#define PARAMFLAG_FRETVAL 0x08
#define PARAMFLAG_FOPT 0x10
#define PARAMFLAG_FHASDEFAULT 0x20
#define PARAMFLAG_FHASCUSTDATA 0x40

#define IDLFLAG_NONE PARAMFLAG_NONE
#define IDLFLAG_FIN PARAMFLAG_FIN
#define IDLFLAG_FOUT PARAMFLAG_FOUT
#define IDLFLAG_FLCID PARAMFLAG_FLCID
#define IDLFLAG_FRETVAL PARAMFLAG_FRETVAL

struct SAFEARRAYBOUND {
    ULONG cElements;
    LONG lLbound;
};

struct ARRAYDESC;

// One level of a type: pointers, safe arrays and C arrays refer to the type they hold;
// VT_USERDEFINED names another type description through its reference.
struct TYPEDESC {
    union {
        TYPEDESC* lptdesc;
        ARRAYDESC* lpadesc;
        HREFTYPE hreftype;
    };
    VARTYPE vt;
};

struct ARRAYDESC {
    TYPEDESC tdescElem;
    USHORT cDims;
    SAFEARRAYBOUND rgbounds[1];  // cDims of them
};

struct IDLDESC {
    ULONG_PTR dwReserved;
    USHORT wIDLFlags;
};

struct PARAMDESCEX {
    ULONG cBytes;
    VARIANTARG varDefaultValue;
};
using LPPARAMDESCEX = PARAMDESCEX*;

struct PARAMDESC {
    LPPARAMDESCEX pparamdescex;
    USHORT wParamFlags;
};

struct ELEMDESC {
    TYPEDESC tdesc;
    union {
        IDLDESC idldesc;
        PARAMDESC paramdesc;
    };
};
using LPELEMDESC = ELEMDESC*;

struct TYPEATTR {
    GUID guid;
    LCID lcid;
    DWORD dwReserved;
    MEMBERID memidConstructor;
    MEMBERID memidDestructor;
    LPOLESTR lpstrSchema;
    ULONG cbSizeInstance;
    TYPEKIND typekind;
    WORD cFuncs;
    WORD cVars;
    WORD cImplTypes;
    WORD cbSizeVft;
    WORD cbAlignment;
    WORD wTypeFlags;
    WORD wMajorVerNum;
    WORD wMinorVerNum;
    TYPEDESC tdescAlias;
    IDLDESC idldescType;
};
using LPTYPEATTR = TYPEATTR*;

struct FUNCDESC {
    MEMBERID memid;
    SCODE* lprgscode;
    ELEMDESC* lprgelemdescParam;
    FUNCKIND funckind;
    INVOKEKIND invkind;
    CALLCONV callconv;
    SHORT cParams;
    SHORT cParamsOpt;
    SHORT oVft;
    SHORT cScodes;
    ELEMDESC elemdescFunc;
    WORD wFuncFlags;
};
using LPFUNCDESC = FUNCDESC*;

struct VARDESC {
    MEMBERID memid;
    LPOLESTR lpstrSchema;
    union {
        ULONG oInst;
        VARIANT* lpvarValue;
    };
    ELEMDESC elemdescVar;
    WORD wVarFlags;
    VARKIND varkind;
};
using LPVARDESC = VARDESC*;

struct TLIBATTR {
    GUID guid;
    LCID lcid;
    SYSKIND syskind;
    WORD wMajorVerNum;
    WORD wMinorVerNum;
    WORD wLibFlags;
};
using LPTLIBATTR = TLIBATTR*;

struct CUSTDATAITEM {
    GUID guid;
    VARIANTARG varValue;
};

struct CUSTDATA {
    DWORD cCustData;
    CUSTDATAITEM* prgCustData;
};

struct ITypeInfo;
struct ITypeLib;
struct ITypeComp;  // name binding; not offered here (GetTypeComp answers E_NOTIMPL)

struct IDispatch : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale,
                                                  ITypeInfo** typeInfo) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count,
                                                    LCID locale, DISPID* ids) = 0;
    virtual HRESULT STDMETHODCALLTYPE Invoke(DISPID member, REFIID riid, LCID locale, WORD flags,
                                             DISPPARAMS* parameters, VARIANT* result,
                                             EXCEPINFO* exception, UINT* argumentError) = 0;
};
using LPDISPATCH = IDispatch*;

struct ITypeInfo : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetTypeAttr(TYPEATTR** attributes) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetTypeComp(ITypeComp** typeComp) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetFuncDesc(UINT index, FUNCDESC** function) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetVarDesc(UINT index, VARDESC** variable) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetNames(MEMBERID member, BSTR* names, UINT maxNames,
                                               UINT* count) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetRefTypeOfImplType(UINT index, HREFTYPE* reference) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetImplTypeFlags(UINT index, INT* flags) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetIDsOfNames(LPOLESTR* names, UINT count, MEMBERID* ids) = 0;
    virtual HRESULT STDMETHODCALLTYPE Invoke(PVOID instance, MEMBERID member, WORD flags,
                                             DISPPARAMS* parameters, VARIANT* result,
                                             EXCEPINFO* exception, UINT* argumentError) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetDocumentation(MEMBERID member, BSTR* name, BSTR* docString,
                                                       DWORD* helpContext, BSTR* helpFile) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetDllEntry(MEMBERID member, INVOKEKIND kind, BSTR* dllName,
                                                  BSTR* name, WORD* ordinal) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetRefTypeInfo(HREFTYPE reference, ITypeInfo** typeInfo) = 0;
    virtual HRESULT STDMETHODCALLTYPE AddressOfMember(MEMBERID member, INVOKEKIND kind,
                                                      PVOID* address) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid,
                                                     PVOID* object) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetMops(MEMBERID member, BSTR* mops) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetContainingTypeLib(ITypeLib** library, UINT* index) = 0;
    virtual void STDMETHODCALLTYPE ReleaseTypeAttr(TYPEATTR* attributes) = 0;
    virtual void STDMETHODCALLTYPE ReleaseFuncDesc(FUNCDESC* function) = 0;
    virtual void STDMETHODCALLTYPE ReleaseVarDesc(VARDESC* variable) = 0;
};
using LPTYPEINFO = ITypeInfo*;

struct ITypeInfo2 : ITypeInfo {
    virtual HRESULT STDMETHODCALLTYPE GetTypeKind(TYPEKIND* kind) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetTypeFlags(ULONG* flags) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetFuncIndexOfMemId(MEMBERID member, INVOKEKIND kind,
                                                          UINT* index) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetVarIndexOfMemId(MEMBERID member, UINT* index) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetCustData(REFGUID guid, VARIANT* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetFuncCustData(UINT index, REFGUID guid, VARIANT* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetParamCustData(UINT function, UINT parameter, REFGUID guid,
                                                       VARIANT* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetVarCustData(UINT index, REFGUID guid, VARIANT* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetImplTypeCustData(UINT index, REFGUID guid,
                                                          VARIANT* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetDocumentation2(MEMBERID member, LCID locale,
                                                        BSTR* helpString, DWORD* helpContext,
                                                        BSTR* helpDll) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetAllCustData(CUSTDATA* data) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetAllFuncCustData(UINT index, CUSTDATA* data) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetAllParamCustData(UINT function, UINT parameter,
                                                          CUSTDATA* data) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetAllVarCustData(UINT index, CUSTDATA* data) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetAllImplTypeCustData(UINT index, CUSTDATA* data) = 0;
};

struct ITypeLib : IUnknown {
    virtual UINT STDMETHODCALLTYPE GetTypeInfoCount() = 0;
    virtual HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, ITypeInfo** typeInfo) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetTypeInfoType(UINT index, TYPEKIND* kind) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetTypeInfoOfGuid(REFGUID guid, ITypeInfo** typeInfo) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetLibAttr(TLIBATTR** attributes) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetTypeComp(ITypeComp** typeComp) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetDocumentation(INT index, BSTR* name, BSTR* docString,
                                                       DWORD* helpContext, BSTR* helpFile) = 0;
    virtual HRESULT STDMETHODCALLTYPE IsName(LPOLESTR name, ULONG hash, BOOL* found) = 0;
    virtual HRESULT STDMETHODCALLTYPE FindName(LPOLESTR name, ULONG hash, ITypeInfo** typeInfos,
                                               MEMBERID* members, USHORT* found) = 0;
    virtual void STDMETHODCALLTYPE ReleaseTLibAttr(TLIBATTR* attributes) = 0;
};
using LPTYPELIB = ITypeLib*;

extern "C" {
// A type library from a file, or from a module's "TYPELIB" resource: "path" takes resource 1,
// "path\N" resource N. A damaged library is refused with a TYPE_E_ code.
GS_PLATFORM_API HRESULT LoadTypeLib(LPCOLESTR path, ITypeLib** library);
GS_PLATFORM_API HRESULT LoadTypeLibEx(LPCOLESTR path, REGKIND kind, ITypeLib** library);
// Finds a registered library under HKEY_CLASSES_ROOT\TypeLib: the exact version, else the
// highest minor version of the same major; the exact locale, else its primary language, else 0.
GS_PLATFORM_API HRESULT LoadRegTypeLib(REFGUID libraryId, WORD major, WORD minor, LCID locale,
                                       ITypeLib** library);
GS_PLATFORM_API HRESULT QueryPathOfRegTypeLib(REFGUID libraryId, USHORT major, USHORT minor,
                                              LCID locale, BSTR* path);
GS_PLATFORM_API HRESULT RegisterTypeLib(ITypeLib* library, LPCOLESTR fullPath,
                                        LPCOLESTR helpDirectory);
GS_PLATFORM_API HRESULT UnRegisterTypeLib(REFGUID libraryId, WORD major, WORD minor, LCID locale,
                                          SYSKIND sysKind);
}
