// The registry's operations on byte strings, shared by the A and W entry points, which only check
// their arguments, convert text and fill the caller's buffers.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/linux/registry.h"
#include "platform/linux/registry_tree.h"

namespace gs::platform::registry {

// A sub-key argument: null or empty names the key itself.
LSTATUS openKey(HKEY parent, const char* subKey, REGSAM desired, HKEY& result);
LSTATUS createKey(HKEY parent, const char* subKey, REGSAM desired, HKEY& result,
                  DWORD& disposition);
LSTATUS deleteKey(HKEY parent, const char* subKey);

LSTATUS setValue(HKEY key, std::string_view name, DWORD type, std::vector<BYTE> data);
LSTATUS queryValue(HKEY key, std::string_view name, Value& value);
LSTATUS deleteValue(HKEY key, std::string_view name);

LSTATUS enumerateKey(HKEY key, DWORD index, std::string& name);
LSTATUS enumerateValue(HKEY key, DWORD index, Value& value);

struct KeyInfo {
    DWORD subkeyCount = 0;
    DWORD longestSubkeyName = 0;  // characters, without the NUL
    DWORD valueCount = 0;
    DWORD longestValueName = 0;  // characters, without the NUL
    DWORD largestValue = 0;      // bytes
};
LSTATUS queryKeyInfo(HKEY key, KeyInfo& info);

// Copies a value's data into a caller's buffer with the Windows rules: no buffer asks for the size,
// a short buffer gives ERROR_MORE_DATA and the size needed.
LSTATUS copyValueData(const std::vector<BYTE>& data, DWORD type, LPDWORD typeOut, LPBYTE buffer,
                      LPDWORD size);

// Copies a name with its NUL into a buffer of `*length` characters; `*length` becomes the name's
// length without the NUL. A short buffer gives ERROR_MORE_DATA.
template <typename Char>
LSTATUS copyName(std::basic_string_view<Char> name, Char* buffer, LPDWORD length) {
    if (!buffer || !length) {
        return ERROR_INVALID_PARAMETER;
    }
    if (name.size() + 1 > *length) {
        return ERROR_MORE_DATA;
    }
    name.copy(buffer, name.size());
    buffer[name.size()] = Char{};
    *length = static_cast<DWORD>(name.size());
    return ERROR_SUCCESS;
}

void clearLastWriteTime(PFILETIME time);

}  // namespace gs::platform::registry
