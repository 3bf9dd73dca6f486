#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/win32.h"

namespace {

constexpr char resourceModulePath[] = GS_TEST_RESOURCE_MODULE;

std::string baseName(const std::string& path) {
    return path.substr(path.find_last_of('/') + 1);
}

class Modules : public ::testing::Test {
protected:
    void SetUp() override {
        module_ = LoadLibraryA(resourceModulePath);
        ASSERT_NE(module_, nullptr) << GetLastError();
    }
    void TearDown() override { EXPECT_TRUE(FreeLibrary(module_)); }

    HMODULE module_ = nullptr;
};

TEST_F(Modules, HandleIsTheMappedElfHeaderAndExportsAreFound) {
    EXPECT_EQ(std::memcmp(module_,
                          "\x7f"
                          "ELF",
                          4),
              0);
    using Answer = int (*)();
    auto answer = reinterpret_cast<Answer>(
        reinterpret_cast<void*>(GetProcAddress(module_, "gsTestResourceModuleAnswer")));
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(answer(), 42);

    SetLastError(0);
    EXPECT_EQ(GetProcAddress(module_, "noSuchExport"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
    EXPECT_EQ(GetProcAddress(module_, MAKEINTRESOURCEA(1)), nullptr) << "no ordinals";
}

TEST_F(Modules, LoadingAgainGivesTheSameHandle) {
    HMODULE again = LoadLibraryA(resourceModulePath);
    EXPECT_EQ(again, module_);
    EXPECT_TRUE(FreeLibrary(again));
    EXPECT_NE(GetModuleHandleA("ResourceModule.so"), nullptr) << "still loaded once";
}

TEST_F(Modules, FoundByBaseNameIgnoringCaseAndByWindowsName) {
    EXPECT_EQ(GetModuleHandleA("resourcemodule.SO"), module_);
    EXPECT_EQ(GetModuleHandleA("ResourceModule.dll"), module_);
    EXPECT_EQ(GetModuleHandleA("ResourceModule"), module_);
    EXPECT_EQ(GetModuleHandleA("/elsewhere/ResourceModule.so"), module_) << "the folder is ignored";

    SetLastError(0);
    EXPECT_EQ(GetModuleHandleA("NoSuchModule.dll"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));

    HMODULE program = GetModuleHandleA(nullptr);
    ASSERT_NE(program, nullptr);
    EXPECT_NE(program, module_);
}

TEST_F(Modules, ModuleLearnsItsOwnHandleFromAnAddressInside) {
    const void* inside =
        reinterpret_cast<const void*>(GetProcAddress(module_, "gsTestResourceModuleAnswer"));
    HMODULE found = reinterpret_cast<HMODULE>(0x1);
    ASSERT_TRUE(GetModuleHandleExA(
        GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
        static_cast<LPCSTR>(inside), &found));
    EXPECT_EQ(found, module_);

    ASSERT_TRUE(GetModuleHandleExA(
        GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
        reinterpret_cast<LPCSTR>(&baseName), &found));
    EXPECT_EQ(found, GetModuleHandleA(nullptr)) << "an address in the test program";

    found = reinterpret_cast<HMODULE>(0x1);
    EXPECT_FALSE(GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                                    reinterpret_cast<LPCSTR>(0x10), &found));
    EXPECT_EQ(found, nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    EXPECT_FALSE(GetModuleHandleExA(0, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST_F(Modules, CountedReferenceKeepsTheModuleLoaded) {
    HMODULE counted = nullptr;
    ASSERT_TRUE(GetModuleHandleExA(0, "ResourceModule.so", &counted));
    EXPECT_EQ(counted, module_);
    EXPECT_TRUE(FreeLibrary(module_));
    EXPECT_EQ(GetModuleHandleA("ResourceModule.so"), counted);
    module_ = counted;  // released by TearDown
}

TEST_F(Modules, FileNameFollowsTheWindowsTruncationRule) {
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(module_, path, MAX_PATH);
    ASSERT_GT(length, 0u);
    EXPECT_EQ(length, std::strlen(path));
    EXPECT_EQ(path[0], '/');
    EXPECT_EQ(baseName(path), "ResourceModule.so");

    char small[8];
    std::memset(small, 'x', sizeof small);
    SetLastError(0);
    EXPECT_EQ(GetModuleFileNameA(module_, small, sizeof small), sizeof small);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(std::string(small), std::string(path, 7)) << "cut and terminated";

    char exact[MAX_PATH];
    EXPECT_EQ(GetModuleFileNameA(module_, exact, length), length) << "no room for the NUL";
    EXPECT_EQ(exact[length - 1], '\0');
    EXPECT_EQ(GetModuleFileNameA(module_, exact, length + 1), length);

    EXPECT_GT(GetModuleFileNameA(nullptr, path, MAX_PATH), 0u);
    EXPECT_EQ(baseName(path), "platform_module_tests");
}

TEST(ModuleLoading, MissingAndNonModuleFilesAreRefused) {
    SetLastError(0);
    EXPECT_EQ(LoadLibraryA("/nonexistent/Nothing.so"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    EXPECT_EQ(LoadLibraryExA("/nonexistent/Nothing.so", nullptr, LOAD_LIBRARY_AS_DATAFILE),
              nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(LoadLibraryA("/proc/self/status"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BAD_EXE_FORMAT));
    EXPECT_EQ(LoadLibraryA(nullptr), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_FALSE(FreeLibrary(reinterpret_cast<HMODULE>(0x1000)));
}

}  // namespace
