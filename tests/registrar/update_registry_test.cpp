// updateRegistry and runResource on a real module file: the test program, which carries the
// module's script as resource "REGISTRY" 104.
#include <string>

#include "tests/registrar/registrar_fixture.h"

namespace gs::registrar::test {
namespace {

using UpdateRegistry = RegistryTest;

std::string ownFileName() {
    char name[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, name, MAX_PATH);
    return std::string(name, length);
}

TEST_F(UpdateRegistry, RegistersTheModuleUnderItsOwnFileName) {
    ASSERT_EQ(updateRegistry(GetModuleHandleA(nullptr), true), S_OK);
    const std::string inproc = std::string(classKey) + "\\InprocServer32";
    const Snapshot registered = snapshotOf(HKEY_CLASSES_ROOT, "HKCR", inproc);
    EXPECT_EQ(registered.at("HKCR\\" + inproc + " : @"), "sz '" + ownFileName() + "'");
    EXPECT_EQ(registered.at("HKCR\\" + inproc + " : ThreadingModel"), "sz 'Apartment'");

    ASSERT_EQ(updateRegistry(GetModuleHandleA(nullptr), false), S_OK);
    EXPECT_TRUE(snapshotOf(HKEY_CLASSES_ROOT, "HKCR", classKey).empty());
    EXPECT_TRUE(snapshotOf(HKEY_LOCAL_MACHINE, "HKLM", pluginKey).empty());
}

TEST_F(UpdateRegistry, AMissingModuleOrResourceGivesItsError) {
    Registrar registrar;
    const std::string self = ownFileName();
    const WideString path(self.begin(), self.end());
    EXPECT_THAT(registrar.runResource(OLESTR("C:\\no\\such\\module.dll"), 104, "REGISTRY", true),
                ::testing::AnyOf(HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND),
                                 HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)));
    EXPECT_EQ(registrar.runResource(path.c_str(), 105, "REGISTRY", true),
              HRESULT_FROM_WIN32(ERROR_RESOURCE_NAME_NOT_FOUND));
    EXPECT_EQ(registrar.registerResource(path.c_str(), 104, OLESTR("NOTYPE")),
              HRESULT_FROM_WIN32(ERROR_RESOURCE_TYPE_NOT_FOUND));
    // Without the replacements the script needs, the resource is found but cannot be run.
    EXPECT_EQ(registrar.unregisterResource(path.c_str(), 104, OLESTR("REGISTRY")),
              DISP_E_EXCEPTION);
}

}  // namespace
}  // namespace gs::registrar::test
