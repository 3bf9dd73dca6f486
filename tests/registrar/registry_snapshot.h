// A registry subtree as text, for comparing what a script run changed. Works on the Windows
// registry and on our store alike, through the registry calls only.
#pragma once

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "platform/win32.h"

namespace gs::registrar::test {

// "HKCU\A\B" for a key, "HKCU\A\B : name" for a value ("@" for the default value), each mapped
// to a readable form of its contents.
using Snapshot = std::map<std::string, std::string>;

inline std::string describeValue(DWORD type, const BYTE* data, DWORD size) {
    if (type == REG_SZ && size > 0 && data[size - 1] == 0) {
        return "sz '" + std::string(reinterpret_cast<const char*>(data), size - 1) + "'";
    }
    std::string text = type == REG_BINARY     ? "binary"
                       : type == REG_DWORD    ? "dword"
                       : type == REG_MULTI_SZ ? "multi_sz"
                       : type == REG_SZ       ? "sz"
                                              : "type " + std::to_string(type);
    for (DWORD i = 0; i < size; ++i) {
        char hex[4];
        std::snprintf(hex, sizeof hex, " %02x", data[i]);
        text += hex;
    }
    return text;
}

inline void addSubtree(Snapshot& snapshot, HKEY key, const std::string& path) {
    snapshot[path] = "key";
    // On the heap: the recursion may go as deep as the registry does.
    std::vector<char> name(16384);
    std::vector<BYTE> data(65536);
    for (DWORD i = 0;; ++i) {
        DWORD nameLength = static_cast<DWORD>(name.size());
        DWORD size = static_cast<DWORD>(data.size());
        DWORD type = 0;
        if (RegEnumValueA(key, i, name.data(), &nameLength, nullptr, &type, data.data(), &size) !=
            ERROR_SUCCESS) {
            break;
        }
        snapshot[path + " : " + (name[0] ? name.data() : "@")] =
            describeValue(type, data.data(), size);
    }
    std::vector<std::string> subkeys;
    for (DWORD i = 0;; ++i) {
        DWORD nameLength = static_cast<DWORD>(name.size());
        if (RegEnumKeyExA(key, i, name.data(), &nameLength, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS) {
            break;
        }
        subkeys.emplace_back(name.data());
    }
    for (const std::string& subkeyName : subkeys) {
        HKEY subkey = nullptr;
        if (RegOpenKeyExA(key, subkeyName.c_str(), 0, KEY_READ, &subkey) == ERROR_SUCCESS) {
            addSubtree(snapshot, subkey, path + "\\" + subkeyName);
            RegCloseKey(subkey);
        }
    }
}

// The subtree at `path` under `root`, named `rootName` in the snapshot; empty when it is missing.
inline Snapshot snapshotOf(HKEY root, const char* rootName, const std::string& path) {
    Snapshot snapshot;
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path.empty() ? nullptr : path.c_str(), 0, KEY_READ, &key) ==
        ERROR_SUCCESS) {
        addSubtree(snapshot, key, path.empty() ? rootName : std::string(rootName) + "\\" + path);
        if (key != root) {
            RegCloseKey(key);
        }
    }
    return snapshot;
}

// Entries of `after` that `before` lacks or holds differently, as "name = contents".
inline std::vector<std::string> changes(const Snapshot& before, const Snapshot& after) {
    std::vector<std::string> changed;
    for (const auto& [name, contents] : after) {
        const auto previous = before.find(name);
        if (previous == before.end() || previous->second != contents) {
            changed.push_back(name + " = " + contents);
        }
    }
    return changed;
}

}  // namespace gs::registrar::test
