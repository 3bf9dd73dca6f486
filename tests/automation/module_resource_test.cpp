// Type libraries carried as a module's "TYPELIB" resources: "path" takes resource 1,
// "path\N" resource N.
#include <gtest/gtest.h>

#include "tests/automation/kinds_library.h"
#include "tests/automation/type_library_support.h"

namespace {

using gs::test::ole;
using gs::test::OleString;
using gs::test::Ref;

constexpr GUID kLibraryId = {
    0xB6D29FEF, 0x6A7B, 0x462A, {0xB6, 0xBA, 0xE5, 0xC6, 0xAD, 0x27, 0x47, 0x6E}};

GUID libraryId(ITypeLib* library) {
    TLIBATTR* attributes = nullptr;
    EXPECT_EQ(library->GetLibAttr(&attributes), S_OK);
    const GUID id = attributes->guid;
    library->ReleaseTLibAttr(attributes);
    return id;
}

TEST(ModuleResources, TheFirstLibraryIsTheDefault) {
    const OleString module = gs::test::platformPath(GS_TYPELIB_MODULE_PATH);
    Ref<ITypeLib> library;
    ASSERT_EQ(LoadTypeLibEx(module.c_str(), REGKIND_NONE, library.put()), S_OK);
    EXPECT_TRUE(IsEqualGUID(libraryId(library.get()), kLibraryId));
    EXPECT_EQ(library->GetTypeInfoCount(), 2u);
}

TEST(ModuleResources, ABackslashAndANumberChooseTheResource) {
    const OleString module = gs::test::platformPath(GS_TYPELIB_MODULE_PATH);
    Ref<ITypeLib> first;
    ASSERT_EQ(LoadTypeLibEx((module + ole("\\1")).c_str(), REGKIND_NONE, first.put()), S_OK);
    EXPECT_TRUE(IsEqualGUID(libraryId(first.get()), kLibraryId));
    Ref<ITypeLib> second;
    ASSERT_EQ(LoadTypeLibEx((module + ole("\\2")).c_str(), REGKIND_NONE, second.put()), S_OK);
    EXPECT_TRUE(IsEqualGUID(libraryId(second.get()), gs::test::kinds::kLibraryId));

    Ref<ITypeLib> missing;
    EXPECT_TRUE(FAILED(LoadTypeLibEx((module + ole("\\3")).c_str(), REGKIND_NONE, missing.put())));
    EXPECT_EQ(missing.get(), nullptr);
}

TEST(ModuleResources, MissingFilesAreRefused) {
    const OleString nowhere = gs::test::platformPath("/nonexistent/Glimmerstrand.tlb");
    ITypeLib* library = reinterpret_cast<ITypeLib*>(1);
    EXPECT_EQ(LoadTypeLibEx(nowhere.c_str(), REGKIND_NONE, &library), TYPE_E_CANTLOADLIBRARY);
    EXPECT_EQ(library, nullptr);
    EXPECT_EQ(LoadTypeLibEx(nullptr, REGKIND_NONE, &library), E_INVALIDARG);
}

}  // namespace
