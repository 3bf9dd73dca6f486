// Registered type libraries: LoadRegTypeLib before and after RegisterTypeLib, the version and
// locale fallbacks, what the registry holds, and UnRegisterTypeLib taking it all away again.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#ifndef _WIN32
#include <cstdlib>
#include <filesystem>

#include "platform/linux/registry_testing.h"
#endif
#include "tests/automation/kinds_library.h"
#include "tests/automation/type_library_support.h"

namespace {

using gs::test::Bstr;
using gs::test::narrow;
using gs::test::ole;
using gs::test::OleString;
using gs::test::Ref;

constexpr GUID kLibraryId = {
    0xB6D29FEF, 0x6A7B, 0x462A, {0xB6, 0xBA, 0xE5, 0xC6, 0xAD, 0x27, 0x47, 0x6E}};
constexpr IID kInterfaceId = {
    0x5F6BB6B1, 0x92BA, 0x4C69, {0x9D, 0xA7, 0x7E, 0x4A, 0xA5, 0x79, 0x14, 0x03}};
constexpr SYSKIND kSysKind = sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32;

std::optional<std::string> classesValue(const char* path) {
    HKEY key = nullptr;
    const OleString wide = ole(path);
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, wide.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    OLECHAR value[512] = {};
    DWORD size = sizeof(value) - sizeof(OLECHAR);
    DWORD type = 0;
    const LONG status =
        RegQueryValueExW(key, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS || type != REG_SZ) {
        return std::nullopt;
    }
    std::size_t length = 0;
    while (value[length] != 0) {
        ++length;
    }
    return narrow(value, length);
}

class Registration : public ::testing::Test {
protected:
    void SetUp() override {
#ifndef _WIN32
        char pattern[] = "/tmp/gs-typelib-registry-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder_ = pattern;
        gs::platform::registry::testing::useStore((folder_ / "registry").c_str());
#endif
        // A library left registered by an earlier run would hide what these tests look for.
        UnRegisterTypeLib(kLibraryId, 1, 0, 0x409, kSysKind);
        UnRegisterTypeLib(gs::test::kinds::kLibraryId, 2, 3, 0, kSysKind);
    }
    void TearDown() override {
        UnRegisterTypeLib(kLibraryId, 1, 0, 0x409, kSysKind);
        UnRegisterTypeLib(gs::test::kinds::kLibraryId, 2, 3, 0, kSysKind);
#ifndef _WIN32
        gs::platform::registry::testing::useStore(nullptr);
        std::filesystem::remove_all(folder_);
#endif
    }

    static HRESULT loadRegistered(const GUID& id, WORD major, WORD minor, LCID locale) {
        ITypeLib* library = reinterpret_cast<ITypeLib*>(1);
        const HRESULT hr = LoadRegTypeLib(id, major, minor, locale, &library);
        if (SUCCEEDED(hr)) {
            library->Release();
        } else {
            EXPECT_EQ(library, nullptr);
        }
        return hr;
    }

#ifndef _WIN32
    std::filesystem::path folder_;
#endif
};

TEST_F(Registration, TheLibraryIsFoundOnlyWhileRegistered) {
    EXPECT_EQ(loadRegistered(kLibraryId, 1, 0, 0x409), TYPE_E_LIBNOTREGISTERED);
    Bstr path;
    EXPECT_EQ(QueryPathOfRegTypeLib(kLibraryId, 1, 0, 0x409, path.put()), TYPE_E_LIBNOTREGISTERED);

    Ref<ITypeLib> library = gs::test::loadTypeLibrary();
    // Some headers declare the path writable.
    OleString file = gs::test::typeLibraryPath();
    ASSERT_EQ(RegisterTypeLib(library.get(), file.data(), nullptr), S_OK);

    EXPECT_EQ(loadRegistered(kLibraryId, 1, 0, 0x409), S_OK);
    ASSERT_EQ(QueryPathOfRegTypeLib(kLibraryId, 1, 0, 0x409, path.put()), S_OK);
    EXPECT_EQ(path.text(), narrow(file.data(), file.size()));
    EXPECT_EQ(loadRegistered(kLibraryId, 1, 1, 0x409), TYPE_E_LIBNOTREGISTERED) << "too old";
    EXPECT_EQ(loadRegistered(kLibraryId, 2, 0, 0x409), TYPE_E_LIBNOTREGISTERED);

    ASSERT_EQ(UnRegisterTypeLib(kLibraryId, 1, 0, 0x409, kSysKind), S_OK);
    EXPECT_EQ(loadRegistered(kLibraryId, 1, 0, 0x409), TYPE_E_LIBNOTREGISTERED);
}

TEST_F(Registration, TheRegistryHoldsTheLibraryAndItsInterfaces) {
    Ref<ITypeLib> library = gs::test::loadTypeLibrary();
    OleString file = gs::test::typeLibraryPath();
    ASSERT_EQ(RegisterTypeLib(library.get(), file.data(), nullptr), S_OK);

    const std::string libraryKey = "TypeLib\\{B6D29FEF-6A7B-462A-B6BA-E5C6AD27476E}\\1.0";
    EXPECT_EQ(classesValue(libraryKey.c_str()), "Glimmerstrand 1.0 Type Library");
    // The flags as the loaded library reports them: it was read from a file.
    EXPECT_EQ(classesValue((libraryKey + "\\FLAGS").c_str()), "8");
    EXPECT_EQ(
        classesValue((libraryKey + (sizeof(void*) == 8 ? "\\409\\win64" : "\\409\\win32")).c_str()),
        narrow(file.data(), file.size()));
    const std::string interfaceKey = "Interface\\{5F6BB6B1-92BA-4C69-9DA7-7E4AA5791403}";
    EXPECT_EQ(classesValue(interfaceKey.c_str()), "IGlimmerstrand");
    EXPECT_EQ(classesValue((interfaceKey + "\\TypeLib").c_str()),
              "{B6D29FEF-6A7B-462A-B6BA-E5C6AD27476E}");
    EXPECT_EQ(classesValue((interfaceKey + "\\ProxyStubClsid32").c_str()),
              "{00020424-0000-0000-C000-000000000046}");

    ASSERT_EQ(UnRegisterTypeLib(kLibraryId, 1, 0, 0x409, kSysKind), S_OK);
    EXPECT_FALSE(classesValue(libraryKey.c_str()));
    EXPECT_FALSE(classesValue(interfaceKey.c_str()));
}

TEST_F(Registration, LaterMinorVersionsAndTheNeutralLocaleAreFallbacks) {
    // Kinds is version 2.3 with locale 0.
    Ref<ITypeLib> kinds = gs::test::kinds::loadKindsLibrary();
    OleString file = gs::test::kinds::kindsLibraryPath();
    ASSERT_EQ(RegisterTypeLib(kinds.get(), file.data(), nullptr), S_OK);

    const GUID& id = gs::test::kinds::kLibraryId;
    EXPECT_EQ(loadRegistered(id, 2, 3, 0), S_OK);
    EXPECT_EQ(loadRegistered(id, 2, 0, 0), S_OK) << "2.3 serves a request for 2.0";
    EXPECT_EQ(loadRegistered(id, 2, 4, 0), TYPE_E_LIBNOTREGISTERED);
    EXPECT_EQ(loadRegistered(id, 1, 0, 0), TYPE_E_LIBNOTREGISTERED);
    EXPECT_EQ(loadRegistered(id, 2, 3, 0x0807), S_OK) << "Swiss German falls back to neutral";

    // A library registered for one language serves that language only.
    Ref<ITypeLib> glimmerstrand = gs::test::loadTypeLibrary();
    OleString path = gs::test::typeLibraryPath();
    ASSERT_EQ(RegisterTypeLib(glimmerstrand.get(), path.data(), nullptr), S_OK);
    EXPECT_EQ(loadRegistered(kLibraryId, 1, 0, 0x0409), S_OK);
    EXPECT_EQ(loadRegistered(kLibraryId, 1, 0, 0), TYPE_E_LIBNOTREGISTERED);
}

TEST_F(Registration, LoadingCanRegister) {
    OleString file = gs::test::typeLibraryPath();
    Ref<ITypeLib> library;
    ASSERT_EQ(LoadTypeLibEx(file.c_str(), REGKIND_REGISTER, library.put()), S_OK);
    EXPECT_EQ(loadRegistered(kLibraryId, 1, 0, 0x409), S_OK);
    Ref<ITypeInfo> info;
    ASSERT_EQ(library->GetTypeInfoOfGuid(kInterfaceId, info.put()), S_OK);
}

TEST(StandardLibrary, IsAvailableWithoutRegistration) {
    ITypeLib* library = nullptr;
    ASSERT_EQ(LoadRegTypeLib(gs::test::kinds::kStandardLibraryId, 2, 0, 0, &library), S_OK);
    Ref<ITypeInfo> dispatch;
    ASSERT_EQ(library->GetTypeInfoOfGuid(IID_IDispatch, dispatch.put()), S_OK);
    gs::test::TypeAttr attributes(dispatch.get());
    EXPECT_EQ(attributes->typekind, TKIND_INTERFACE);
    EXPECT_EQ(attributes->cFuncs, 4);
    EXPECT_EQ(attributes->cbSizeVft, 7 * sizeof(void*));
    gs::test::FuncDesc invoke(dispatch.get(), 3);
    EXPECT_EQ(invoke->memid, 0x60010003);
    EXPECT_EQ(invoke->cParams, 8);
    EXPECT_EQ(invoke->wFuncFlags, FUNCFLAG_FRESTRICTED);
    library->Release();
}

}  // namespace
