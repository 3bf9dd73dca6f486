// Running scripts against a registry for tests: a scratch store on Linux, the real (Wine)
// registry on Windows, where every test removes the keys it may have written.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/win32.h"
#include "registrar/registrar.h"
#include "registrar/script_parser.h"
#include "registrar/update_registry.h"
#include "tests/registrar/registry_snapshot.h"

#ifndef _WIN32
#include "platform/linux/registry_testing.h"
#endif

namespace gs::registrar::test {

inline constexpr char classKey[] = "CLSID\\{3CAE2904-060B-43DC-A5D9-C6ABB918707B}";
inline constexpr char effectsKey[] = "SOFTWARE\\Microsoft\\MediaPlayer\\Objects\\Effects";
inline constexpr char pluginKey[] =
    "SOFTWARE\\Microsoft\\MediaPlayer\\Objects\\Effects\\Glimmerstrand";
// Small scripts write below this key of HKEY_CURRENT_USER.
inline constexpr char scratchKey[] = "GsRegistrarTests";

// The module built with the module's registry script as its resource.
inline std::string scriptModulePath() {
#ifdef _WIN32
    char self[MAX_PATH];
    std::string path(self, GetModuleFileNameA(nullptr, self, MAX_PATH));
    path.erase(path.find_last_of("\\/") + 1);
    return path + GS_SCRIPT_MODULE;
#else
    return GS_SCRIPT_MODULE;
#endif
}

// The script as the module carries it.
inline std::string moduleScript() {
    const HMODULE module =
        LoadLibraryExA(scriptModulePath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!module) {
        return {};
    }
    std::string script;
    if (const HRSRC resource = FindResourceA(module, MAKEINTRESOURCEA(104), "REGISTRY")) {
        const auto* bytes = static_cast<const char*>(LockResource(LoadResource(module, resource)));
        script.assign(bytes, SizeofResource(module, resource));
    }
    FreeLibrary(module);
    return script;
}

// A registrar with the replacements updateRegistry gives, for a module file of the given name.
inline void addModuleReplacements(Registrar& registrar, const std::u16string& modulePath) {
    WideString quoted;
    for (char16_t c : modulePath) {
        quoted += static_cast<OLECHAR>(c);
        if (c == u'\'') {
            quoted += static_cast<OLECHAR>(c);
        }
    }
    ASSERT_EQ(addCommonReplacements(registrar), S_OK);
    ASSERT_EQ(registrar.addReplacement(OLESTR("Module"), quoted.c_str()), S_OK);
    ASSERT_EQ(registrar.addReplacement(OLESTR("Module_Raw"), quoted.c_str()), S_OK);
}

inline HRESULT runScript(const std::string& script, bool registering,
                         const std::u16string& modulePath = u"C:\\Plugins\\Glimmerstrand.dll") {
    Registrar registrar;
    addModuleReplacements(registrar, modulePath);
    return ScriptParser(registrar).registerBuffer(script.c_str(), registering);
}

inline Snapshot scratchSnapshot() {
    return snapshotOf(HKEY_CURRENT_USER, "HKCU", scratchKey);
}

// Everything the module script may touch: on Linux the whole scratch store, on Windows the
// subtrees the script names.
inline Snapshot moduleSnapshot() {
    Snapshot snapshot;
#ifdef _WIN32
    snapshot.merge(snapshotOf(HKEY_CLASSES_ROOT, "HKCR", classKey));
    snapshot.merge(snapshotOf(HKEY_LOCAL_MACHINE, "HKLM", "SOFTWARE\\Microsoft\\MediaPlayer"));
#else
    for (auto [root, name] : {std::pair{HKEY_CLASSES_ROOT, "HKCR"},
                              {HKEY_CURRENT_USER, "HKCU"},
                              {HKEY_LOCAL_MACHINE, "HKLM"},
                              {HKEY_USERS, "HKU"},
                              {HKEY_CURRENT_CONFIG, "HKCC"}}) {
        snapshot.merge(snapshotOf(root, name, ""));
    }
#endif
    return snapshot;
}

inline void createKey(HKEY root, const std::string& path) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(key);
}

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override {
#ifndef _WIN32
        // In memory where possible: the interpreter's tests write thousands of times.
        std::string pattern = std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : "/tmp";
        pattern += "/gs-registrar-XXXXXX";
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        folder_ = pattern;
        platform::registry::testing::useStore((folder_ / "registry").c_str());
        platform::registry::testing::syncWrites(false);  // thousands of writes; none need the disk
        openKeys_ = platform::registry::testing::openKeyCount();
#endif
        removeTestKeys();
    }
    void TearDown() override {
        removeTestKeys();
#ifndef _WIN32
        // Every key the interpreter opened, it closed, on every path.
        EXPECT_EQ(platform::registry::testing::openKeyCount(), openKeys_);
        EXPECT_TRUE(platform::registry::testing::storeFileMatchesSnapshot());
        platform::registry::testing::useStore(nullptr);
        platform::registry::testing::allowWrites();
        platform::registry::testing::syncWrites(true);
        std::filesystem::remove_all(folder_);
#endif
    }

private:
    static void removeTestKeys() {
        recurseDeleteKey(HKEY_CURRENT_USER, scratchKey);
        recurseDeleteKey(HKEY_CLASSES_ROOT, classKey);
        recurseDeleteKey(HKEY_LOCAL_MACHINE, pluginKey);
    }

    std::filesystem::path folder_;
    std::size_t openKeys_ = 0;
};

}  // namespace gs::registrar::test
