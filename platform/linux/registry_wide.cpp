// The W entry points. The store keeps the bytes the A calls give, taken to be UTF-8; the W calls
// convert names and the data of the string types (REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ) to and
// from UTF-16. Unpaired surrogates survive the round trip (encoded as three bytes each); bytes
// that are not UTF-8 read back as the characters U+0080 to U+00FF.
#include <cstring>
#include <optional>
#include <string>

#include "platform/linux/registry.h"
#include "platform/linux/registry_operations.h"

using namespace gs::platform::registry;

namespace {

std::string toUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xd800 && c < 0xdc00 && i + 1 < text.size() && text[i + 1] >= 0xdc00 &&
            text[i + 1] < 0xe000) {
            c = 0x10000 + ((c - 0xd800) << 10) + (text[i + 1] - 0xdc00);
            ++i;
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xc0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3f));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xe0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3f));
            out += static_cast<char>(0x80 | (c & 0x3f));
        } else {
            out += static_cast<char>(0xf0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3f));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3f));
            out += static_cast<char>(0x80 | (c & 0x3f));
        }
    }
    return out;
}

std::u16string toUtf16(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        std::size_t length = lead < 0x80                   ? 1
                             : lead >= 0xc2 && lead < 0xe0 ? 2
                             : lead >= 0xe0 && lead < 0xf0 ? 3
                             : lead >= 0xf0 && lead < 0xf5 ? 4
                                                           : 0;
        char32_t c = length == 1   ? lead
                     : length == 2 ? lead & 0x1f
                     : length == 3 ? lead & 0x0f
                                   : lead & 0x07;
        bool valid = length != 0 && i + length <= text.size();
        for (std::size_t k = 1; valid && k < length; ++k) {
            const auto trail = static_cast<unsigned char>(text[i + k]);
            valid = (trail & 0xc0) == 0x80;
            c = (c << 6) | (trail & 0x3f);
        }
        // Overlong forms and values past U+10FFFF are not UTF-8.
        valid =
            valid && !(length == 3 && c < 0x800) && !(length == 4 && (c < 0x10000 || c > 0x10ffff));
        if (!valid) {
            out += static_cast<char16_t>(lead);
            ++i;
            continue;
        }
        if (c >= 0x10000) {
            out += static_cast<char16_t>(0xd800 + ((c - 0x10000) >> 10));
            out += static_cast<char16_t>(0xdc00 + ((c - 0x10000) & 0x3ff));
        } else {
            out += static_cast<char16_t>(c);
        }
        i += length;
    }
    return out;
}

std::optional<std::string> nameFrom(LPCWSTR name) {
    if (!name) {
        return std::nullopt;
    }
    return toUtf8(std::u16string_view(name));
}

bool isStringType(DWORD type) {
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

}  // namespace

extern "C" {

LSTATUS WINAPI RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD, REGSAM desired, PHKEY result) {
    if (!result) {
        return ERROR_INVALID_PARAMETER;
    }
    const auto name = nameFrom(subKey);
    return openKey(key, name ? name->c_str() : nullptr, desired, *result);
}

LSTATUS WINAPI RegCreateKeyExW(HKEY key, LPCWSTR subKey, DWORD, LPWSTR, DWORD, REGSAM desired,
                               const LPSECURITY_ATTRIBUTES, PHKEY result, LPDWORD disposition) {
    if (!result || !subKey) {
        return ERROR_INVALID_PARAMETER;
    }
    DWORD how = 0;
    const LSTATUS status = createKey(key, nameFrom(subKey)->c_str(), desired, *result, how);
    if (status == ERROR_SUCCESS && disposition) {
        *disposition = how;
    }
    return status;
}

LSTATUS WINAPI RegSetValueExW(HKEY key, LPCWSTR valueName, DWORD, DWORD type, const BYTE* data,
                              DWORD size) {
    if (!data && size) {
        return ERROR_NOACCESS;
    }
    std::vector<BYTE> stored;
    if (data && isStringType(type)) {
        std::u16string units(size / sizeof(char16_t), u'\0');
        std::memcpy(units.data(), data, units.size() * sizeof(char16_t));
        const std::string text = toUtf8(units);
        stored.assign(text.begin(), text.end());
    } else if (data) {
        stored.assign(data, data + size);
    }
    return setValue(key, nameFrom(valueName).value_or(std::string()), type, std::move(stored));
}

LSTATUS WINAPI RegQueryValueExW(HKEY key, LPCWSTR valueName, LPDWORD, LPDWORD type, LPBYTE data,
                                LPDWORD size) {
    if (data && !size) {
        return ERROR_INVALID_PARAMETER;
    }
    Value value;
    if (const LSTATUS status = queryValue(key, nameFrom(valueName).value_or(std::string()), value);
        status != ERROR_SUCCESS) {
        return status;
    }
    if (isStringType(value.type)) {
        const std::u16string text = toUtf16(
            std::string_view(reinterpret_cast<const char*>(value.data.data()), value.data.size()));
        value.data.resize(text.size() * sizeof(char16_t));
        std::memcpy(value.data.data(), text.data(), value.data.size());
    }
    return copyValueData(value.data, value.type, type, data, size);
}

LSTATUS WINAPI RegDeleteValueW(HKEY key, LPCWSTR valueName) {
    return deleteValue(key, nameFrom(valueName).value_or(std::string()));
}

LSTATUS WINAPI RegDeleteKeyW(HKEY key, LPCWSTR subKey) {
    const auto name = nameFrom(subKey);
    return deleteKey(key, name ? name->c_str() : nullptr);
}

LSTATUS WINAPI RegEnumKeyExW(HKEY key, DWORD index, LPWSTR name, LPDWORD nameLength, LPDWORD,
                             LPWSTR keyClass, LPDWORD classLength, PFILETIME lastWriteTime) {
    if (!name || !nameLength) {
        return ERROR_INVALID_PARAMETER;
    }
    std::string found;
    if (const LSTATUS status = enumerateKey(key, index, found); status != ERROR_SUCCESS) {
        return status;
    }
    const std::u16string wide = toUtf16(found);
    if (const LSTATUS status = copyName(std::u16string_view(wide), name, nameLength);
        status != ERROR_SUCCESS) {
        return status;
    }
    if (keyClass && classLength && *classLength) {
        keyClass[0] = u'\0';
    }
    if (classLength) {
        *classLength = 0;
    }
    clearLastWriteTime(lastWriteTime);
    return ERROR_SUCCESS;
}

}  // extern "C"
