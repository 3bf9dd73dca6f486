#include "host/plugin_registry.h"

#include <cctype>
#include <cstdio>
#include <filesystem>

namespace gs::host {

namespace {

constexpr const char* kEffectsKey = "SOFTWARE\\Microsoft\\MediaPlayer\\Objects\\Effects";

class RegistryKey {
public:
    RegistryKey(HKEY parent, const std::string& path) {
        if (RegOpenKeyExA(parent, path.c_str(), 0, KEY_READ, &key_) != ERROR_SUCCESS) {
            key_ = nullptr;
        }
    }
    ~RegistryKey() {
        if (key_ != nullptr) {
            RegCloseKey(key_);
        }
    }
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;

    explicit operator bool() const { return key_ != nullptr; }
    HKEY get() const { return key_; }

    // A REG_SZ value (null name: the default value); nothing when missing or of another type.
    std::optional<std::string> text(const char* name) const {
        DWORD type = 0;
        DWORD size = 0;
        if (RegQueryValueExA(key_, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
            type != REG_SZ) {
            return std::nullopt;
        }
        std::string value(size, '\0');
        if (RegQueryValueExA(key_, name, nullptr, &type, reinterpret_cast<BYTE*>(value.data()),
                             &size) != ERROR_SUCCESS) {
            return std::nullopt;
        }
        value.resize(std::min<std::size_t>(size, value.size()));
        while (!value.empty() && value.back() == '\0') {
            value.pop_back();
        }
        return value;
    }

private:
    HKEY key_ = nullptr;
};

int hexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

}  // namespace

std::optional<CLSID> parseClassId(const std::string& text) {
    // {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}: 38 characters, dashes at fixed places.
    if (text.size() != 38 || text.front() != '{' || text.back() != '}') {
        return std::nullopt;
    }
    unsigned char bytes[16];
    std::size_t at = 1;
    for (int i = 0; i < 16; ++i) {
        if (at == 9 || at == 14 || at == 19 || at == 24) {
            if (text[at] != '-') {
                return std::nullopt;
            }
            ++at;
        }
        const int high = hexDigit(text[at]);
        const int low = hexDigit(text[at + 1]);
        if (high < 0 || low < 0) {
            return std::nullopt;
        }
        bytes[i] = static_cast<unsigned char>(high << 4 | low);
        at += 2;
    }
    CLSID id{};
    id.Data1 = static_cast<DWORD>(bytes[0]) << 24 | static_cast<DWORD>(bytes[1]) << 16 |
               static_cast<DWORD>(bytes[2]) << 8 | bytes[3];
    id.Data2 = static_cast<WORD>(bytes[4] << 8 | bytes[5]);
    id.Data3 = static_cast<WORD>(bytes[6] << 8 | bytes[7]);
    std::copy(bytes + 8, bytes + 16, id.Data4);
    return id;
}

std::string formatClassId(const CLSID& id) {
    char text[40];
    std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned>(id.Data1), id.Data2, id.Data3, id.Data4[0], id.Data4[1],
                  id.Data4[2], id.Data4[3], id.Data4[4], id.Data4[5], id.Data4[6], id.Data4[7]);
    return text;
}

std::vector<RegisteredPlugin> registeredPlugins() {
    std::vector<RegisteredPlugin> plugins;
    RegistryKey effects(HKEY_LOCAL_MACHINE, kEffectsKey);
    if (!effects) {
        return plugins;
    }
    for (DWORD index = 0;; ++index) {
        char name[256];
        DWORD length = sizeof name;
        if (RegEnumKeyExA(effects.get(), index, name, &length, nullptr, nullptr, nullptr,
                          nullptr) != ERROR_SUCCESS) {
            break;
        }
        RegisteredPlugin plugin;
        plugin.key = name;
        RegistryKey properties(effects.get(), plugin.key + "\\Properties");
        plugin.classText = properties ? properties.text("classid").value_or("") : "";
        const std::optional<CLSID> classId = parseClassId(plugin.classText);
        if (!classId) {
            plugin.problem = plugin.classText.empty() ? "no classid value" : "malformed classid";
            plugins.push_back(std::move(plugin));
            continue;
        }
        plugin.classId = *classId;
        const std::string classKey = "CLSID\\" + formatClassId(*classId);
        RegistryKey classEntry(HKEY_CLASSES_ROOT, classKey);
        RegistryKey server(HKEY_CLASSES_ROOT, classKey + "\\InprocServer32");
        plugin.className = classEntry ? classEntry.text(nullptr).value_or("") : "";
        plugin.modulePath = server ? server.text(nullptr).value_or("") : "";
        std::error_code error;
        if (!classEntry) {
            plugin.problem = "class not registered";
        } else if (plugin.modulePath.empty()) {
            plugin.problem = "no InprocServer32 module";
        } else if (!std::filesystem::exists(plugin.modulePath, error)) {
            plugin.problem = "module file missing";
        }
        plugins.push_back(std::move(plugin));
    }
    return plugins;
}

}  // namespace gs::host
