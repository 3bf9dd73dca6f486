// The type library, member by member, read through the platform's type information: from the
// compiled file and from the module that carries it.
#include <gtest/gtest.h>

#include "tests/automation/type_library_support.h"

namespace {

using gs::test::Bstr;
using gs::test::FuncDesc;
using gs::test::narrow;
using gs::test::ole;
using gs::test::Ref;
using gs::test::TypeAttr;

constexpr GUID kLibraryId = {
    0xB6D29FEF, 0x6A7B, 0x462A, {0xB6, 0xBA, 0xE5, 0xC6, 0xAD, 0x27, 0x47, 0x6E}};
constexpr IID kInterfaceId = {
    0x5F6BB6B1, 0x92BA, 0x4C69, {0x9D, 0xA7, 0x7E, 0x4A, 0xA5, 0x79, 0x14, 0x03}};
constexpr CLSID kClassId = {
    0x3CAE2904, 0x060B, 0x43DC, {0xA5, 0xD9, 0xC6, 0xAB, 0xB9, 0x18, 0x70, 0x7B}};

constexpr GUID kStandardLibraryId = {
    0x00020430, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

constexpr WORD kSlot = sizeof(void*);
// The library stores dual, OLE-automation and dispatchable; the dispatch view of a dual interface
// is reached through IDispatch only and drops the OLE-automation mark.
constexpr WORD kInterfaceTypeFlags =
    TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION | TYPEFLAG_FDISPATCHABLE;
constexpr WORD kDispatchTypeFlags = TYPEFLAG_FDUAL | TYPEFLAG_FDISPATCHABLE;

// Where the library is read from: the compiled file, or the module that carries it as its
// "TYPELIB" resource, loaded the way a client loads a server's library by the server's path.
enum class Source { File, Module };

std::string sourceName(const ::testing::TestParamInfo<Source>& info) {
    return info.param == Source::File ? "File" : "Module";
}

class TypeLibrary : public ::testing::TestWithParam<Source> {
protected:
    void SetUp() override {
        if (GetParam() == Source::File) {
            library = gs::test::loadTypeLibrary();
        } else {
            const gs::test::OleString module = gs::test::platformPath(GS_MODULE_PATH);
            ASSERT_EQ(LoadTypeLib(module.c_str(), library.put()), S_OK);
        }
        ASSERT_TRUE(library);
        ASSERT_EQ(library->GetTypeInfoOfGuid(kInterfaceId, dispatchView.put()), S_OK);
        HREFTYPE interfaceSide = 0;
        ASSERT_EQ(dispatchView->GetRefTypeOfImplType(static_cast<UINT>(-1), &interfaceSide), S_OK);
        ASSERT_EQ(dispatchView->GetRefTypeInfo(interfaceSide, interfaceView.put()), S_OK);
    }

    Ref<ITypeLib> library;
    Ref<ITypeInfo> dispatchView;
    Ref<ITypeInfo> interfaceView;
};

TEST_P(TypeLibrary, DescribesTheLibrary) {
    TLIBATTR* attributes = nullptr;
    ASSERT_EQ(library->GetLibAttr(&attributes), S_OK);
    EXPECT_TRUE(IsEqualGUID(attributes->guid, kLibraryId));
    EXPECT_EQ(attributes->lcid, 0x0409u);
    EXPECT_EQ(attributes->syskind, sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32);
    EXPECT_EQ(attributes->wMajorVerNum, 1);
    EXPECT_EQ(attributes->wMinorVerNum, 0);
    // The file holds no flags; the loader marks libraries it read from a file.
    EXPECT_EQ(attributes->wLibFlags & ~LIBFLAG_FHASDISKIMAGE, 0);
    library->ReleaseTLibAttr(attributes);

    Bstr name, help, file;
    DWORD context = 0xdeadbeef;
    ASSERT_EQ(library->GetDocumentation(-1, name.put(), help.put(), &context, file.put()), S_OK);
    EXPECT_EQ(name.text(), "GLIMMERSTRANDLib");
    EXPECT_EQ(help.text(), "Glimmerstrand 1.0 Type Library");
    EXPECT_EQ(context, 0u);
    EXPECT_EQ(file.get(), nullptr);

    ASSERT_EQ(library->GetTypeInfoCount(), 2u);
    TYPEKIND kinds[2];
    ASSERT_EQ(library->GetTypeInfoType(0, &kinds[0]), S_OK);
    ASSERT_EQ(library->GetTypeInfoType(1, &kinds[1]), S_OK);
    EXPECT_TRUE((kinds[0] == TKIND_COCLASS && kinds[1] == TKIND_DISPATCH) ||
                (kinds[0] == TKIND_DISPATCH && kinds[1] == TKIND_COCLASS));
    TYPEKIND untouched = TKIND_MAX;
    EXPECT_EQ(library->GetTypeInfoType(2, &untouched), TYPE_E_ELEMENTNOTFOUND);
    Ref<ITypeInfo> missing;
    EXPECT_EQ(library->GetTypeInfo(2, missing.put()), TYPE_E_ELEMENTNOTFOUND);
    EXPECT_EQ(library->GetTypeInfoOfGuid(GUID_NULL, missing.put()), TYPE_E_ELEMENTNOTFOUND);
    EXPECT_EQ(missing.get(), nullptr);
}

TEST_P(TypeLibrary, EveryTypeKnowsItsLibraryAndIndex) {
    for (UINT index = 0; index < library->GetTypeInfoCount(); ++index) {
        Ref<ITypeInfo> info;
        ASSERT_EQ(library->GetTypeInfo(index, info.put()), S_OK);
        Ref<ITypeLib> container;
        UINT containerIndex = 99;
        ASSERT_EQ(info->GetContainingTypeLib(container.put(), &containerIndex), S_OK);
        EXPECT_EQ(containerIndex, index);
        TLIBATTR* attributes = nullptr;
        ASSERT_EQ(container->GetLibAttr(&attributes), S_OK);
        EXPECT_TRUE(IsEqualGUID(attributes->guid, kLibraryId));
        container->ReleaseTLibAttr(attributes);
    }
}

TEST_P(TypeLibrary, TheInterfaceIsADualDispatchTypeWithNineFunctions) {
    TypeAttr attributes(dispatchView.get());
    ASSERT_TRUE(attributes);
    EXPECT_TRUE(IsEqualGUID(attributes->guid, kInterfaceId));
    EXPECT_EQ(attributes->typekind, TKIND_DISPATCH);
    EXPECT_EQ(attributes->wTypeFlags, kDispatchTypeFlags);
    EXPECT_EQ(attributes->cFuncs, 9);
    EXPECT_EQ(attributes->cVars, 0);
    EXPECT_EQ(attributes->cImplTypes, 1);
    EXPECT_EQ(attributes->cbSizeVft, 7 * kSlot);
    EXPECT_EQ(attributes->wMajorVerNum, 0);
    EXPECT_EQ(attributes->wMinorVerNum, 0);

    Bstr name, help;
    ASSERT_EQ(
        dispatchView->GetDocumentation(MEMBERID_NIL, name.put(), help.put(), nullptr, nullptr),
        S_OK);
    EXPECT_EQ(name.text(), "IGlimmerstrand");
    EXPECT_EQ(help.text(), "IGlimmerstrand Interface");

    // The inherited functions come first, in vtable order.
    const char* inherited[] = {"QueryInterface", "AddRef",        "Release", "GetTypeInfoCount",
                               "GetTypeInfo",    "GetIDsOfNames", "Invoke"};
    for (UINT index = 0; index < 7; ++index) {
        FuncDesc function(dispatchView.get(), index);
        ASSERT_TRUE(function);
        EXPECT_EQ(function->funckind, FUNC_DISPATCH);
        EXPECT_EQ(gs::test::documentationName(dispatchView.get(), function->memid),
                  inherited[index]);
    }

    HREFTYPE base = 0;
    ASSERT_EQ(dispatchView->GetRefTypeOfImplType(0, &base), S_OK);
    Ref<ITypeInfo> baseInfo;
    ASSERT_EQ(dispatchView->GetRefTypeInfo(base, baseInfo.put()), S_OK);
    EXPECT_EQ(gs::test::documentationName(baseInfo.get(), MEMBERID_NIL), "IDispatch");
    TypeAttr baseAttributes(baseInfo.get());
    EXPECT_TRUE(IsEqualGUID(baseAttributes->guid, IID_IDispatch));

    // IDispatch is imported from the standard library, stdole2 version 2.0.
    Ref<ITypeLib> imported;
    UINT importedIndex = 0;
    ASSERT_EQ(baseInfo->GetContainingTypeLib(imported.put(), &importedIndex), S_OK);
    TLIBATTR* importedAttributes = nullptr;
    ASSERT_EQ(imported->GetLibAttr(&importedAttributes), S_OK);
    EXPECT_TRUE(IsEqualGUID(importedAttributes->guid, kStandardLibraryId));
    EXPECT_EQ(importedAttributes->wMajorVerNum, 2);
    EXPECT_EQ(importedAttributes->wMinorVerNum, 0);
    imported->ReleaseTLibAttr(importedAttributes);
}

TEST_P(TypeLibrary, ThePropertyAccessorsInTheDispatchView) {
    FuncDesc get(dispatchView.get(), 7);
    FuncDesc put(dispatchView.get(), 8);
    ASSERT_TRUE(get && put);
    EXPECT_EQ(get->memid, 1);
    EXPECT_EQ(get->invkind, INVOKE_PROPERTYGET);
    EXPECT_EQ(get->funckind, FUNC_DISPATCH);
    EXPECT_EQ(get->cParams, 0) << "the retval parameter becomes the result";
    EXPECT_EQ(get->elemdescFunc.tdesc.vt, VT_BSTR);
    EXPECT_EQ(put->memid, 1);
    EXPECT_EQ(put->invkind, INVOKE_PROPERTYPUT);
    EXPECT_EQ(put->funckind, FUNC_DISPATCH);
    ASSERT_EQ(put->cParams, 1);
    EXPECT_EQ(put->lprgelemdescParam[0].tdesc.vt, VT_BSTR);
    EXPECT_EQ(put->elemdescFunc.tdesc.vt, VT_VOID);
    for (const FuncDesc* accessor : {&get, &put}) {
        EXPECT_EQ((*accessor)->callconv, CC_STDCALL);
        EXPECT_EQ((*accessor)->wFuncFlags, 0);
        EXPECT_EQ((*accessor)->cParamsOpt, 0);
    }

    Bstr name, help;
    ASSERT_EQ(dispatchView->GetDocumentation(1, name.put(), help.put(), nullptr, nullptr), S_OK);
    EXPECT_EQ(name.text(), "foregroundColor");
    EXPECT_EQ(help.text(), "property foregroundColor");
}

TEST_P(TypeLibrary, ThePropertyAccessorsInTheInterfaceView) {
    TypeAttr attributes(interfaceView.get());
    ASSERT_TRUE(attributes);
    EXPECT_TRUE(IsEqualGUID(attributes->guid, kInterfaceId));
    EXPECT_EQ(attributes->typekind, TKIND_INTERFACE);
    EXPECT_EQ(attributes->cFuncs, 2);
    EXPECT_EQ(attributes->cImplTypes, 1);
    EXPECT_EQ(attributes->cbSizeVft, 9 * kSlot);
    EXPECT_EQ(attributes->wTypeFlags, kInterfaceTypeFlags);

    FuncDesc get(interfaceView.get(), 0);
    ASSERT_TRUE(get);
    EXPECT_EQ(get->memid, 1);
    EXPECT_EQ(get->funckind, FUNC_PUREVIRTUAL);
    EXPECT_EQ(get->invkind, INVOKE_PROPERTYGET);
    EXPECT_EQ(get->callconv, CC_STDCALL);
    EXPECT_EQ(get->oVft, 7 * kSlot);
    EXPECT_EQ(get->wFuncFlags, 0);
    EXPECT_EQ(get->elemdescFunc.tdesc.vt, VT_HRESULT);
    ASSERT_EQ(get->cParams, 1);
    EXPECT_EQ(get->cParamsOpt, 0);
    const ELEMDESC& out = get->lprgelemdescParam[0];
    ASSERT_EQ(out.tdesc.vt, VT_PTR);
    EXPECT_EQ(out.tdesc.lptdesc->vt, VT_BSTR);
    EXPECT_EQ(out.paramdesc.wParamFlags, PARAMFLAG_FOUT | PARAMFLAG_FRETVAL);

    FuncDesc put(interfaceView.get(), 1);
    ASSERT_TRUE(put);
    EXPECT_EQ(put->memid, 1);
    EXPECT_EQ(put->funckind, FUNC_PUREVIRTUAL);
    EXPECT_EQ(put->invkind, INVOKE_PROPERTYPUT);
    EXPECT_EQ(put->callconv, CC_STDCALL);
    EXPECT_EQ(put->oVft, 8 * kSlot);
    EXPECT_EQ(put->elemdescFunc.tdesc.vt, VT_HRESULT);
    ASSERT_EQ(put->cParams, 1);
    EXPECT_EQ(put->lprgelemdescParam[0].tdesc.vt, VT_BSTR);
    EXPECT_EQ(put->lprgelemdescParam[0].paramdesc.wParamFlags, PARAMFLAG_FIN);
    EXPECT_EQ(put->wFuncFlags, 0);
    EXPECT_EQ(put->cParamsOpt, 0);

    BSTR names[3] = {};
    UINT count = 0;
    ASSERT_EQ(interfaceView->GetNames(1, names, 3, &count), S_OK);
    ASSERT_EQ(count, 2u) << "the getter's names: the property and its parameter";
    EXPECT_EQ(narrow(names[0]), "foregroundColor");
    EXPECT_EQ(narrow(names[1]), "pVal");
    for (UINT i = 0; i < count; ++i) {
        SysFreeString(names[i]);
    }

    Bstr help;
    ASSERT_EQ(interfaceView->GetDocumentation(1, nullptr, help.put(), nullptr, nullptr), S_OK);
    EXPECT_EQ(help.text(), "property foregroundColor");

    // The interface side derives from IDispatch and leads back to the dispatch side.
    HREFTYPE base = 0;
    ASSERT_EQ(interfaceView->GetRefTypeOfImplType(0, &base), S_OK);
    Ref<ITypeInfo> baseInfo;
    ASSERT_EQ(interfaceView->GetRefTypeInfo(base, baseInfo.put()), S_OK);
    EXPECT_EQ(gs::test::documentationName(baseInfo.get(), MEMBERID_NIL), "IDispatch");
}

TEST_P(TypeLibrary, TheClassImplementsTheInterfaceByDefault) {
    Ref<ITypeInfo> coclass;
    ASSERT_EQ(library->GetTypeInfoOfGuid(kClassId, coclass.put()), S_OK);
    TypeAttr attributes(coclass.get());
    ASSERT_TRUE(attributes);
    EXPECT_EQ(attributes->typekind, TKIND_COCLASS);
    EXPECT_EQ(attributes->wTypeFlags, TYPEFLAG_FCANCREATE);
    EXPECT_EQ(attributes->cFuncs, 0);
    ASSERT_EQ(attributes->cImplTypes, 1);

    Bstr name, help;
    ASSERT_EQ(coclass->GetDocumentation(MEMBERID_NIL, name.put(), help.put(), nullptr, nullptr),
              S_OK);
    EXPECT_EQ(name.text(), "Glimmerstrand");
    EXPECT_EQ(help.text(), "Glimmerstrand Class");

    INT flags = -1;
    ASSERT_EQ(coclass->GetImplTypeFlags(0, &flags), S_OK);
    EXPECT_EQ(flags, IMPLTYPEFLAG_FDEFAULT);
    EXPECT_EQ(coclass->GetImplTypeFlags(1, &flags), TYPE_E_ELEMENTNOTFOUND);

    HREFTYPE implemented = 0;
    ASSERT_EQ(coclass->GetRefTypeOfImplType(0, &implemented), S_OK);
    Ref<ITypeInfo> interfaceInfo;
    ASSERT_EQ(coclass->GetRefTypeInfo(implemented, interfaceInfo.put()), S_OK);
    TypeAttr interfaceAttributes(interfaceInfo.get());
    EXPECT_TRUE(IsEqualGUID(interfaceAttributes->guid, kInterfaceId));
    EXPECT_EQ(interfaceAttributes->typekind, TKIND_DISPATCH);
}

TEST_P(TypeLibrary, NamesResolveWithoutRegardToCase) {
    for (const char* spelling : {"foregroundColor", "FOREGROUNDCOLOR", "foregroundcolor"}) {
        gs::test::OleString name = ole(spelling);
        LPOLESTR names[] = {name.data()};
        MEMBERID id = 0;
        EXPECT_EQ(dispatchView->GetIDsOfNames(names, 1, &id), S_OK) << spelling;
        EXPECT_EQ(id, 1) << spelling;
        id = 0;
        EXPECT_EQ(interfaceView->GetIDsOfNames(names, 1, &id), S_OK) << spelling;
        EXPECT_EQ(id, 1) << spelling;
    }

    gs::test::OleString unknown = ole("backgroundColor");
    LPOLESTR names[] = {unknown.data()};
    MEMBERID id = 0;
    EXPECT_EQ(dispatchView->GetIDsOfNames(names, 1, &id), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(id, DISPID_UNKNOWN);

    // Inherited members are found through the dispatch view.
    gs::test::OleString invoke = ole("invoke");
    names[0] = invoke.data();
    EXPECT_EQ(dispatchView->GetIDsOfNames(names, 1, &id), S_OK);
}

TEST_P(TypeLibrary, ParameterNamesResolveToTheirPositions) {
    gs::test::OleString property = ole("foregroundColor");
    gs::test::OleString parameter = ole("PVAL");
    gs::test::OleString missing = ole("nothing");
    LPOLESTR names[] = {property.data(), parameter.data(), missing.data()};
    MEMBERID ids[3] = {7, 7, 7};
    EXPECT_EQ(interfaceView->GetIDsOfNames(names, 3, ids), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(ids[0], 1);
    EXPECT_EQ(ids[1], 0);
    EXPECT_EQ(ids[2], DISPID_UNKNOWN);
}

TEST_P(TypeLibrary, OutOfRangeMembersAreRefused) {
    FUNCDESC* function = reinterpret_cast<FUNCDESC*>(1);
    EXPECT_EQ(dispatchView->GetFuncDesc(9, &function), TYPE_E_ELEMENTNOTFOUND);
    EXPECT_EQ(interfaceView->GetFuncDesc(2, &function), TYPE_E_ELEMENTNOTFOUND);
    EXPECT_EQ(dispatchView->GetDocumentation(2, nullptr, nullptr, nullptr, nullptr),
              TYPE_E_ELEMENTNOTFOUND);
    HREFTYPE reference = 0;
    EXPECT_EQ(dispatchView->GetRefTypeOfImplType(1, &reference), TYPE_E_ELEMENTNOTFOUND);
    Ref<ITypeInfo> info;
    EXPECT_NE(dispatchView->GetRefTypeInfo(0x7777, info.put()), S_OK);
    EXPECT_EQ(info.get(), nullptr);
}

TEST_P(TypeLibrary, BothViewsAreOfferedAsTypeInfo2) {
    Ref<ITypeInfo2> dispatch2;
    ASSERT_EQ(
        dispatchView->QueryInterface(IID_ITypeInfo2, reinterpret_cast<void**>(dispatch2.put())),
        S_OK);
    TYPEKIND kind = TKIND_MAX;
    ASSERT_EQ(dispatch2->GetTypeKind(&kind), S_OK);
    EXPECT_EQ(kind, TKIND_DISPATCH);
    ULONG flags = 0;
    ASSERT_EQ(dispatch2->GetTypeFlags(&flags), S_OK);
    EXPECT_EQ(flags & kDispatchTypeFlags, kDispatchTypeFlags);

    Ref<ITypeInfo2> interface2;
    ASSERT_EQ(
        interfaceView->QueryInterface(IID_ITypeInfo2, reinterpret_cast<void**>(interface2.put())),
        S_OK);
    UINT index = 0;
    ASSERT_EQ(interface2->GetFuncIndexOfMemId(1, INVOKE_PROPERTYPUT, &index), S_OK);
    EXPECT_EQ(index, 1u);
    EXPECT_EQ(interface2->GetFuncIndexOfMemId(2, INVOKE_PROPERTYPUT, &index),
              TYPE_E_ELEMENTNOTFOUND);
}

INSTANTIATE_TEST_SUITE_P(FileAndModule, TypeLibrary,
                         ::testing::Values(Source::File, Source::Module), sourceName);

}  // namespace
