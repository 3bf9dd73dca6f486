#include "platform/linux/oleaut/standard_library.h"

#include <cstddef>

namespace gs::platform::oleaut {

const GUID kStandardLibraryId = {
    0x00020430, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

namespace {

// The library's types, in this order; each is referred to by four times its index.
enum StandardType : std::size_t { kGuid, kDispParams, kExcepInfo, kUnknown, kDispatch, kCount };

constexpr HREFTYPE referenceOf(StandardType type) {
    return static_cast<HREFTYPE>(type * 4);
}

TypeSpec pointerTo(VARTYPE vt) {
    return TypeSpec::pointerTo(TypeSpec::of(vt));
}

TypeSpec pointerTo(StandardType type) {
    return TypeSpec::pointerTo(TypeSpec::userDefined(referenceOf(type)));
}

Parameter in(const char16_t* name, TypeSpec type) {
    return Parameter{std::u16string(name), std::move(type), PARAMFLAG_FIN, std::nullopt};
}

Parameter out(const char16_t* name, TypeSpec type) {
    return Parameter{std::u16string(name), std::move(type), PARAMFLAG_FOUT, std::nullopt};
}

Function method(MEMBERID memid, const char16_t* name, int slot, TypeSpec result,
                std::vector<Parameter> parameters) {
    Function f;
    f.memid = memid;
    f.name = name;
    f.kind = FUNC_PUREVIRTUAL;
    f.invokeKind = INVOKE_FUNC;
    f.callConv = CC_STDCALL;
    f.flags = FUNCFLAG_FRESTRICTED;
    f.vtableSlot = slot;
    f.result = std::move(result);
    f.parameters = std::move(parameters);
    return f;
}

Variable field(MEMBERID memid, const char16_t* name, TypeSpec type, std::size_t offset) {
    Variable v;
    v.memid = memid;
    v.name = name;
    v.type = std::move(type);
    v.kind = VAR_PERINSTANCE;
    v.instanceOffset = static_cast<ULONG>(offset);
    return v;
}

TypeEntry record(const char16_t* name, std::size_t size, std::size_t alignment,
                 std::vector<Variable> fields) {
    TypeEntry t;
    t.kind = TKIND_RECORD;
    t.name = name;
    t.instanceSize = static_cast<ULONG>(size);
    t.alignment = static_cast<WORD>(alignment);
    t.variables = std::move(fields);
    return t;
}

TypeEntry interfaceType(const GUID& guid, const char16_t* name, WORD flags, int slots,
                        std::vector<Function> functions) {
    TypeEntry t;
    t.kind = TKIND_INTERFACE;
    t.guid = guid;
    t.name = name;
    t.flags = flags;
    t.instanceSize = sizeof(void*);
    t.alignment = alignof(void*);
    t.vtableSlots = slots;
    t.functions = std::move(functions);
    return t;
}

Library build() {
    Library library;
    library.guid = kStandardLibraryId;
    library.lcid = 0;
    library.sysKind = sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32;
    library.majorVersion = 2;
    library.minorVersion = 0;
    library.name = u"stdole";
    library.docString = u"OLE Automation";
    library.types.resize(kCount);

    TypeSpec byteArray = TypeSpec::of(VT_UI1);
    byteArray.levels.insert(byteArray.levels.begin(), TypeLevel{VT_CARRAY, 0, {{8, 0}}});
    library.types[kGuid] = record(u"GUID", sizeof(GUID), alignof(DWORD),
                                  {field(0x40000000, u"Data1", TypeSpec::of(VT_UI4), 0),
                                   field(0x40000001, u"Data2", TypeSpec::of(VT_UI2), 4),
                                   field(0x40000002, u"Data3", TypeSpec::of(VT_UI2), 6),
                                   field(0x40000003, u"Data4", byteArray, 8)});
    library.types[kDispParams] =
        record(u"DISPPARAMS", sizeof(DISPPARAMS), alignof(DISPPARAMS),
               {field(0x40000000, u"rgvarg", pointerTo(VT_VARIANT), offsetof(DISPPARAMS, rgvarg)),
                field(0x40000001, u"rgdispidNamedArgs", pointerTo(VT_I4),
                      offsetof(DISPPARAMS, rgdispidNamedArgs)),
                field(0x40000002, u"cArgs", TypeSpec::of(VT_UINT), offsetof(DISPPARAMS, cArgs)),
                field(0x40000003, u"cNamedArgs", TypeSpec::of(VT_UINT),
                      offsetof(DISPPARAMS, cNamedArgs))});
    library.types[kExcepInfo] = record(
        u"EXCEPINFO", sizeof(EXCEPINFO), alignof(EXCEPINFO),
        {field(0x40000000, u"wCode", TypeSpec::of(VT_UI2), offsetof(EXCEPINFO, wCode)),
         field(0x40000001, u"wReserved", TypeSpec::of(VT_UI2), offsetof(EXCEPINFO, wReserved)),
         field(0x40000002, u"bstrSource", TypeSpec::of(VT_BSTR), offsetof(EXCEPINFO, bstrSource)),
         field(0x40000003, u"bstrDescription", TypeSpec::of(VT_BSTR),
               offsetof(EXCEPINFO, bstrDescription)),
         field(0x40000004, u"bstrHelpFile", TypeSpec::of(VT_BSTR),
               offsetof(EXCEPINFO, bstrHelpFile)),
         field(0x40000005, u"dwHelpContext", TypeSpec::of(VT_UI4),
               offsetof(EXCEPINFO, dwHelpContext)),
         field(0x40000006, u"pvReserved", pointerTo(VT_VOID), offsetof(EXCEPINFO, pvReserved)),
         field(0x40000007, u"pfnDeferredFillIn", pointerTo(VT_VOID),
               offsetof(EXCEPINFO, pfnDeferredFillIn)),
         field(0x40000008, u"scode", TypeSpec::of(VT_ERROR), offsetof(EXCEPINFO, scode))});

    const TypeSpec hresult = TypeSpec::of(VT_HRESULT);
    const TypeSpec objectOut = TypeSpec::pointerTo(pointerTo(VT_VOID));
    library.types[kUnknown] =
        interfaceType(IID_IUnknown, u"IUnknown", TYPEFLAG_FHIDDEN, 3,
                      {method(0x60000000, u"QueryInterface", 0, hresult,
                              {in(u"riid", pointerTo(kGuid)), out(u"ppvObj", objectOut)}),
                       method(0x60000001, u"AddRef", 1, TypeSpec::of(VT_UI4), {}),
                       method(0x60000002, u"Release", 2, TypeSpec::of(VT_UI4), {})});
    library.types[kDispatch] = interfaceType(
        IID_IDispatch, u"IDispatch", TYPEFLAG_FRESTRICTED, 7,
        {method(0x60010000, u"GetTypeInfoCount", 3, hresult, {out(u"pctinfo", pointerTo(VT_UINT))}),
         method(0x60010001, u"GetTypeInfo", 4, hresult,
                {in(u"itinfo", TypeSpec::of(VT_UINT)), in(u"lcid", TypeSpec::of(VT_UI4)),
                 out(u"pptinfo", objectOut)}),
         method(0x60010002, u"GetIDsOfNames", 5, hresult,
                {in(u"riid", pointerTo(kGuid)),
                 in(u"rgszNames", TypeSpec::pointerTo(pointerTo(VT_I1))),
                 in(u"cNames", TypeSpec::of(VT_UINT)), in(u"lcid", TypeSpec::of(VT_UI4)),
                 out(u"rgdispid", pointerTo(VT_I4))}),
         method(
             0x60010003, u"Invoke", 6, hresult,
             {in(u"dispidMember", TypeSpec::of(VT_I4)), in(u"riid", pointerTo(kGuid)),
              in(u"lcid", TypeSpec::of(VT_UI4)), in(u"wFlags", TypeSpec::of(VT_UI2)),
              in(u"pdispparams", pointerTo(kDispParams)), out(u"pvarResult", pointerTo(VT_VARIANT)),
              out(u"pexcepinfo", pointerTo(kExcepInfo)), out(u"puArgErr", pointerTo(VT_UINT))})});
    library.types[kDispatch].implemented.push_back(ImplementedType{referenceOf(kUnknown), 0});

    for (std::size_t i = 0; i < kCount; ++i) {
        library.types[i].reference = referenceOf(static_cast<StandardType>(i));
        library.localTypes.emplace(library.types[i].reference, i);
    }
    return library;
}

}  // namespace

const std::shared_ptr<const Library>& standardLibrary() {
    static const std::shared_ptr<const Library> library = std::make_shared<Library>(build());
    return library;
}

}  // namespace gs::platform::oleaut
