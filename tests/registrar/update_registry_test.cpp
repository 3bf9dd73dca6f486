// updateRegistry and runResource on a real module file: a module built with the module's
// registry script as its resource "REGISTRY" 104.
#include <chrono>
#include <filesystem>
#include <string>

#include "tests/registrar/registrar_fixture.h"

namespace gs::registrar::test {
namespace {

namespace fs = std::filesystem;

std::string fileNameOf(HMODULE module) {
    char name[1024];
    return std::string(name, GetModuleFileNameA(module, name, sizeof name));
}

std::string registeredServer() {
    const std::string inproc = std::string(classKey) + "\\InprocServer32";
    const Snapshot snapshot = snapshotOf(HKEY_CLASSES_ROOT, "HKCR", inproc);
    const auto found = snapshot.find("HKCR\\" + inproc + " : @");
    return found == snapshot.end() ? "(none)" : found->second;
}

class UpdateRegistry : public RegistryTest {
protected:
    void TearDown() override {
        if (copy_) {
            FreeLibrary(copy_);
        }
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
        RegistryTest::TearDown();
    }

    // Loads a copy of the script module from `relativeFolder` of a scratch folder.
    HMODULE loadCopyIn(const std::string& relativeFolder) {
        const auto unique = std::chrono::steady_clock::now().time_since_epoch().count();
        folder_ = fs::temp_directory_path() / ("gs-registrar-module-" + std::to_string(unique));
        const fs::path target = folder_ / relativeFolder;
        const fs::path file = target / fs::path(scriptModulePath()).filename();
        std::error_code error;  // Windows may refuse paths this long
        fs::create_directories(target, error);
        if (!error) {
            fs::copy_file(scriptModulePath(), file, error);
        }
        copy_ = error ? nullptr : LoadLibraryA(file.string().c_str());
        return copy_;
    }

private:
    fs::path folder_;
    HMODULE copy_ = nullptr;
};

TEST_F(UpdateRegistry, RegistersTheModuleUnderItsOwnFileName) {
    const HMODULE module = LoadLibraryA(scriptModulePath().c_str());
    ASSERT_NE(module, nullptr);
    ASSERT_EQ(updateRegistry(module, true), S_OK);
    EXPECT_EQ(registeredServer(), "sz '" + fileNameOf(module) + "'");
    EXPECT_EQ(snapshotOf(HKEY_LOCAL_MACHINE, "HKLM", pluginKey).size(),
              5u);  // two keys, three values

    ASSERT_EQ(updateRegistry(module, false), S_OK);
    EXPECT_TRUE(snapshotOf(HKEY_CLASSES_ROOT, "HKCR", classKey).empty());
    EXPECT_TRUE(snapshotOf(HKEY_LOCAL_MACHINE, "HKLM", pluginKey).empty());
    FreeLibrary(module);
}

TEST_F(UpdateRegistry, AQuoteInTheModulesPathIsKept) {
    const HMODULE module = loadCopyIn("O'Neil's plug-ins");
    ASSERT_NE(module, nullptr);
    ASSERT_NE(fileNameOf(module).find("O'Neil's"), std::string::npos);
    ASSERT_EQ(updateRegistry(module, true), S_OK);
    EXPECT_EQ(registeredServer(), "sz '" + fileNameOf(module) + "'");
    ASSERT_EQ(updateRegistry(module, false), S_OK);
    EXPECT_EQ(registeredServer(), "(none)");
}

TEST_F(UpdateRegistry, AModuleFileNameThatDoesNotFitIsRefused) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows loads no module from a path longer than MAX_PATH";
#endif
    const HMODULE module = loadCopyIn(std::string(120, 'a') + "/" + std::string(120, 'b'));
    if (!module) {
        GTEST_SKIP() << "this system loads no module from a path that long";
    }
    ASSERT_GE(fileNameOf(module).size(), static_cast<std::size_t>(MAX_PATH));
    EXPECT_EQ(updateRegistry(module, true), HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(registeredServer(), "(none)");
}

TEST_F(UpdateRegistry, AMissingModuleOrResourceGivesItsError) {
    Registrar registrar;
    const std::string module = scriptModulePath();
    const WideString path(module.begin(), module.end());
    EXPECT_THAT(registrar.runResource(OLESTR("/no/such/module.dll"), 104, "REGISTRY", true),
                ::testing::AnyOf(HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND),
                                 HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND),
                                 HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND)));
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
