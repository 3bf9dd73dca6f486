// A scratch registry store per test, and small helpers to read and write it.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>

#include "platform/linux/registry_testing.h"
#include "platform/win32.h"

namespace gs::platform::registry::test {

class ScratchRegistry : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/gs-registry-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder_ = pattern;
        store_ = folder_ / "registry";
        registry::testing::useStore(store_.c_str());
    }
    void TearDown() override {
        registry::testing::useStore(nullptr);
        registry::testing::allowWrites();
        registry::testing::onWriteStage(nullptr);
        std::filesystem::remove_all(folder_);
    }

    const std::filesystem::path& storeFile() const { return store_; }

    std::string storeText() const {
        std::ifstream in(store_, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    void writeStoreText(const std::string& text) const {
        std::ofstream(store_, std::ios::binary) << text;
    }

private:
    std::filesystem::path folder_;
    std::filesystem::path store_;
};

inline bool keyExists(HKEY root, const char* path) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(key);
    return true;
}

// The string data of a value (without its NUL), or nothing when it cannot be read.
inline std::optional<std::string> stringValue(HKEY root, const char* path, const char* name) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    char data[4096];
    DWORD size = sizeof data;
    DWORD type = 0;
    const LSTATUS status =
        RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS || size == 0) {
        return std::nullopt;
    }
    return std::string(data, size - 1);
}

inline LSTATUS setString(HKEY root, const char* path, const char* name, const std::string& text) {
    HKEY key = nullptr;
    LSTATUS status = RegCreateKeyExA(root, path, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    status = RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                            static_cast<DWORD>(text.size() + 1));
    RegCloseKey(key);
    return status;
}

}  // namespace gs::platform::registry::test
