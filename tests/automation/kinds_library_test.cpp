// The kinds of types and members beyond Glimmerstrand's own: enumerations, records, aliases,
// defaults, a pure dispinterface, a class with a source interface, names across the library.
#include <gtest/gtest.h>

#include <cstring>

#include "tests/automation/kinds_library.h"
#include "tests/automation/type_library_support.h"

namespace {

using gs::test::Bstr;
using gs::test::FuncDesc;
using gs::test::narrow;
using gs::test::ole;
using gs::test::Ref;
using gs::test::TypeAttr;
using namespace gs::test::kinds;

class VarDesc {
public:
    VarDesc(ITypeInfo* info, UINT index) : info_(info) {
        EXPECT_EQ(info->GetVarDesc(index, &desc_), S_OK);
    }
    VarDesc(const VarDesc&) = delete;
    VarDesc& operator=(const VarDesc&) = delete;
    ~VarDesc() {
        if (desc_ != nullptr) {
            info_->ReleaseVarDesc(desc_);
        }
    }
    const VARDESC* operator->() const { return desc_; }

private:
    ITypeInfo* info_;
    VARDESC* desc_ = nullptr;
};

class KindsLibrary : public ::testing::Test {
protected:
    void SetUp() override {
        library = loadKindsLibrary();
        ASSERT_TRUE(library);
    }
    Ref<ITypeInfo> type(const char* name) {
        for (UINT i = 0; i < library->GetTypeInfoCount(); ++i) {
            Ref<ITypeInfo> info;
            EXPECT_EQ(library->GetTypeInfo(i, info.put()), S_OK);
            if (gs::test::documentationName(info.get(), MEMBERID_NIL) == name) {
                return info;
            }
        }
        ADD_FAILURE() << "no type " << name;
        return {};
    }

    Ref<ITypeLib> library;
};

TEST_F(KindsLibrary, DescribesItself) {
    TLIBATTR* attributes = nullptr;
    ASSERT_EQ(library->GetLibAttr(&attributes), S_OK);
    EXPECT_TRUE(IsEqualGUID(attributes->guid, kLibraryId));
    EXPECT_EQ(attributes->lcid, 0u);
    EXPECT_EQ(attributes->wMajorVerNum, 2);
    EXPECT_EQ(attributes->wMinorVerNum, 3);
    library->ReleaseTLibAttr(attributes);
    EXPECT_EQ(library->GetTypeInfoCount(), 6u);
    Bstr name;
    ASSERT_EQ(library->GetDocumentation(-1, name.put(), nullptr, nullptr, nullptr), S_OK);
    EXPECT_EQ(name.text(), "KindsLib");
}

TEST_F(KindsLibrary, EnumerationsCarryTheirConstants) {
    Ref<ITypeInfo> side = type("Side");
    ASSERT_TRUE(side);
    TypeAttr attributes(side.get());
    EXPECT_EQ(attributes->typekind, TKIND_ENUM);
    EXPECT_TRUE(IsEqualGUID(attributes->guid, kSideId));
    ASSERT_EQ(attributes->cVars, 3);
    EXPECT_EQ(attributes->cbSizeInstance, 4u);
    Bstr help;
    ASSERT_EQ(side->GetDocumentation(MEMBERID_NIL, nullptr, help.put(), nullptr, nullptr), S_OK);
    EXPECT_EQ(help.text(), "channel side");

    const char* names[] = {"sideLeft", "sideRight", "sideBoth"};
    const LONG values[] = {0, 1, 0x7FFFFFFF};  // the last one too large to store inline
    for (UINT i = 0; i < 3; ++i) {
        VarDesc constant(side.get(), i);
        EXPECT_EQ(constant->varkind, VAR_CONST);
        EXPECT_EQ(constant->elemdescVar.tdesc.vt, VT_INT);
        ASSERT_EQ(constant->lpvarValue->vt, VT_I4);
        EXPECT_EQ(constant->lpvarValue->lVal, values[i]);
        EXPECT_EQ(gs::test::documentationName(side.get(), constant->memid), names[i]);
    }
}

TEST_F(KindsLibrary, RecordsAndAliasesDescribeTheirLayout) {
    Ref<ITypeInfo> extent = type("Extent");
    ASSERT_TRUE(extent);
    TypeAttr record(extent.get());
    EXPECT_EQ(record->typekind, TKIND_RECORD);
    EXPECT_EQ(record->cbSizeInstance, 8u);
    EXPECT_EQ(record->cbAlignment, 4);
    ASSERT_EQ(record->cVars, 2);
    VarDesc width(extent.get(), 0);
    VarDesc height(extent.get(), 1);
    EXPECT_EQ(width->varkind, VAR_PERINSTANCE);
    EXPECT_EQ(width->oInst, 0u);
    EXPECT_EQ(width->elemdescVar.tdesc.vt, VT_I4);
    EXPECT_EQ(height->oInst, 4u);
    EXPECT_EQ(height->elemdescVar.tdesc.vt, VT_UI4);
    VARDESC* missing = nullptr;
    EXPECT_EQ(extent->GetVarDesc(2, &missing), TYPE_E_ELEMENTNOTFOUND);

    Ref<ITypeInfo> level = type("Level");
    ASSERT_TRUE(level);
    TypeAttr alias(level.get());
    EXPECT_EQ(alias->typekind, TKIND_ALIAS);
    EXPECT_EQ(alias->tdescAlias.vt, VT_I4);
}

TEST_F(KindsLibrary, DefaultsAndOptionalParametersInTheDispatchView) {
    Ref<ITypeInfo> kinds;
    ASSERT_EQ(library->GetTypeInfoOfGuid(kInterfaceId, kinds.put()), S_OK);
    TypeAttr attributes(kinds.get());
    ASSERT_EQ(attributes->cFuncs, 15);

    FuncDesc add(kinds.get(), 7);
    EXPECT_EQ(add->elemdescFunc.tdesc.vt, VT_I4);
    EXPECT_EQ(add->cParams, 2);
    Bstr help;
    ASSERT_EQ(kinds->GetDocumentation(1, nullptr, help.put(), nullptr, nullptr), S_OK);
    EXPECT_EQ(help.text(), "adds");

    FuncDesc repeat(kinds.get(), 9);
    ASSERT_EQ(repeat->cParams, 2);
    const PARAMDESC& times = repeat->lprgelemdescParam[1].paramdesc;
    EXPECT_EQ(times.wParamFlags, PARAMFLAG_FIN | PARAMFLAG_FOPT | PARAMFLAG_FHASDEFAULT);
    ASSERT_NE(times.pparamdescex, nullptr);
    EXPECT_EQ(times.pparamdescex->varDefaultValue.vt, VT_I4);
    EXPECT_EQ(times.pparamdescex->varDefaultValue.lVal, 3);

    FuncDesc pick(kinds.get(), 10);
    ASSERT_EQ(pick->cParams, 4);
    const VARIANT& name = pick->lprgelemdescParam[1].paramdesc.pparamdescex->varDefaultValue;
    ASSERT_EQ(name.vt, VT_BSTR);
    EXPECT_EQ(narrow(name.bstrVal), "both");
    EXPECT_EQ(pick->lprgelemdescParam[2].paramdesc.pparamdescex->varDefaultValue.lVal, -5);
    EXPECT_EQ(pick->lprgelemdescParam[3].paramdesc.pparamdescex->varDefaultValue.lVal, 100000000);
    // The enumeration parameter refers to the enumeration.
    ASSERT_EQ(pick->lprgelemdescParam[0].tdesc.vt, VT_USERDEFINED);
    Ref<ITypeInfo> side;
    ASSERT_EQ(kinds->GetRefTypeInfo(pick->lprgelemdescParam[0].tdesc.hreftype, side.put()), S_OK);
    EXPECT_EQ(gs::test::documentationName(side.get(), MEMBERID_NIL), "Side");

    FuncDesc note(kinds.get(), 14);
    EXPECT_EQ(note->elemdescFunc.tdesc.vt, VT_BOOL);
    EXPECT_EQ(note->cParamsOpt, 1);
    ASSERT_EQ(note->cParams, 2);
    ASSERT_EQ(note->lprgelemdescParam[1].tdesc.vt, VT_PTR);
    EXPECT_EQ(note->lprgelemdescParam[1].tdesc.lptdesc->vt, VT_VARIANT);

    FuncDesc count(kinds.get(), 11);
    EXPECT_EQ(count->invkind, INVOKE_PROPERTYGET);
    EXPECT_EQ(count->elemdescFunc.tdesc.vt, VT_UI4);
}

TEST_F(KindsLibrary, APureDispinterfaceListsOnlyItsOwnMembers) {
    Ref<ITypeInfo> events;
    ASSERT_EQ(library->GetTypeInfoOfGuid(kEventsId, events.put()), S_OK);
    TypeAttr attributes(events.get());
    EXPECT_EQ(attributes->typekind, TKIND_DISPATCH);
    EXPECT_EQ(attributes->wTypeFlags, TYPEFLAG_FDISPATCHABLE);
    EXPECT_EQ(attributes->cFuncs, 1);
    EXPECT_EQ(attributes->cVars, 1);
    EXPECT_EQ(attributes->cbSizeVft, 7 * sizeof(void*));

    FuncDesc changed(events.get(), 0);
    EXPECT_EQ(changed->funckind, FUNC_DISPATCH);
    EXPECT_EQ(changed->elemdescFunc.tdesc.vt, VT_VOID);
    VarDesc volume(events.get(), 0);
    EXPECT_EQ(volume->varkind, VAR_DISPATCH);
    EXPECT_EQ(volume->memid, 10);

    HREFTYPE base = 0;
    ASSERT_EQ(events->GetRefTypeOfImplType(0, &base), S_OK);
    Ref<ITypeInfo> dispatch;
    ASSERT_EQ(events->GetRefTypeInfo(base, dispatch.put()), S_OK);
    EXPECT_EQ(gs::test::documentationName(dispatch.get(), MEMBERID_NIL), "IDispatch");
    EXPECT_EQ(events->GetRefTypeOfImplType(static_cast<UINT>(-1), &base), TYPE_E_ELEMENTNOTFOUND);

    // IDispatch comes from the standard library the Kinds library imports.
    Ref<ITypeLib> standard;
    ASSERT_EQ(dispatch->GetContainingTypeLib(standard.put(), nullptr), S_OK);
    TLIBATTR* standardAttributes = nullptr;
    ASSERT_EQ(standard->GetLibAttr(&standardAttributes), S_OK);
    EXPECT_EQ(standardAttributes->wMajorVerNum, 2);
    EXPECT_TRUE(IsEqualGUID(standardAttributes->guid, kStandardLibraryId));
    standard->ReleaseTLibAttr(standardAttributes);
}

TEST_F(KindsLibrary, TheClassNamesItsSourceInterface) {
    Ref<ITypeInfo> coclass = type("Kinds");
    ASSERT_TRUE(coclass);
    INT flags[2] = {};
    ASSERT_EQ(coclass->GetImplTypeFlags(0, &flags[0]), S_OK);
    ASSERT_EQ(coclass->GetImplTypeFlags(1, &flags[1]), S_OK);
    EXPECT_EQ(flags[0], IMPLTYPEFLAG_FDEFAULT);
    EXPECT_EQ(flags[1], IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE);
    HREFTYPE source = 0;
    ASSERT_EQ(coclass->GetRefTypeOfImplType(1, &source), S_OK);
    Ref<ITypeInfo> events;
    ASSERT_EQ(coclass->GetRefTypeInfo(source, events.put()), S_OK);
    EXPECT_EQ(gs::test::documentationName(events.get(), MEMBERID_NIL), "DKindsEvents");
}

TEST_F(KindsLibrary, NamesAreFoundAcrossTheLibrary) {
    gs::test::OleString name = ole("Repeat");
    BOOL found = FALSE;
    ASSERT_EQ(library->IsName(name.data(), 0, &found), S_OK);
    EXPECT_TRUE(found);
#ifndef _WIN32
    // Wine compares case-sensitively here; Windows documents the comparison as case-insensitive,
    // with the buffer then taking the library's spelling.
    name = ole("REPEAT");
    ASSERT_EQ(library->IsName(name.data(), 0, &found), S_OK);
    EXPECT_TRUE(found);
    EXPECT_EQ(narrow(name.data(), name.size()), "Repeat");
#endif

    name = ole("nothingLikeThis");
    ASSERT_EQ(library->IsName(name.data(), 0, &found), S_OK);
    EXPECT_FALSE(found);

    name = ole("Repeat");
    ITypeInfo* infos[2] = {};
    MEMBERID members[2] = {};
    USHORT count = 2;
    ASSERT_EQ(library->FindName(name.data(), 0, infos, members, &count), S_OK);
    ASSERT_EQ(count, 1);
    EXPECT_EQ(members[0], 3);
    EXPECT_EQ(gs::test::documentationName(infos[0], MEMBERID_NIL), "IKinds");
    infos[0]->Release();
}

}  // namespace
