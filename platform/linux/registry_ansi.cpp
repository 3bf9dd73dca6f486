// The A entry points: names and string data pass through as bytes.
#include <string>

#include "platform/linux/registry.h"
#include "platform/linux/registry_handles.h"
#include "platform/linux/registry_operations.h"

using namespace gs::platform::registry;

namespace {

std::string_view nameOrDefault(LPCSTR name) {
    return name ? std::string_view(name) : std::string_view();
}

}  // namespace

extern "C" {

LSTATUS WINAPI RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD, REGSAM desired, PHKEY result) {
    if (!result) {
        return ERROR_INVALID_PARAMETER;
    }
    return openKey(key, subKey, desired, *result);
}

LSTATUS WINAPI RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD, LPSTR, DWORD, REGSAM desired,
                               const LPSECURITY_ATTRIBUTES, PHKEY result, LPDWORD disposition) {
    if (!result || !subKey) {
        return ERROR_INVALID_PARAMETER;
    }
    DWORD how = 0;
    const LSTATUS status = createKey(key, subKey, desired, *result, how);
    if (status == ERROR_SUCCESS && disposition) {
        *disposition = how;
    }
    return status;
}

LSTATUS WINAPI RegCloseKey(HKEY key) {
    return closeHandle(key);
}

LSTATUS WINAPI RegSetValueExA(HKEY key, LPCSTR valueName, DWORD, DWORD type, const BYTE* data,
                              DWORD size) {
    if (!data && size) {
        return ERROR_NOACCESS;
    }
    return setValue(key, nameOrDefault(valueName), type,
                    data ? std::vector<BYTE>(data, data + size) : std::vector<BYTE>());
}

LSTATUS WINAPI RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD, LPDWORD type, LPBYTE data,
                                LPDWORD size) {
    if (data && !size) {
        return ERROR_INVALID_PARAMETER;
    }
    Value value;
    if (const LSTATUS status = queryValue(key, nameOrDefault(valueName), value);
        status != ERROR_SUCCESS) {
        return status;
    }
    return copyValueData(value.data, value.type, type, data, size);
}

LSTATUS WINAPI RegDeleteValueA(HKEY key, LPCSTR valueName) {
    return deleteValue(key, nameOrDefault(valueName));
}

LSTATUS WINAPI RegDeleteKeyA(HKEY key, LPCSTR subKey) {
    return deleteKey(key, subKey);
}

LSTATUS WINAPI RegEnumKeyExA(HKEY key, DWORD index, LPSTR name, LPDWORD nameLength, LPDWORD,
                             LPSTR keyClass, LPDWORD classLength, PFILETIME lastWriteTime) {
    if (!name || !nameLength) {
        return ERROR_INVALID_PARAMETER;
    }
    std::string found;
    if (const LSTATUS status = enumerateKey(key, index, found); status != ERROR_SUCCESS) {
        return status;
    }
    if (const LSTATUS status = copyName(std::string_view(found), name, nameLength);
        status != ERROR_SUCCESS) {
        return status;
    }
    if (keyClass && classLength && *classLength) {
        keyClass[0] = '\0';
    }
    if (classLength) {
        *classLength = 0;
    }
    clearLastWriteTime(lastWriteTime);
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegEnumValueA(HKEY key, DWORD index, LPSTR valueName, LPDWORD valueNameLength,
                             LPDWORD, LPDWORD type, LPBYTE data, LPDWORD size) {
    if (!valueName || !valueNameLength || (data && !size)) {
        return ERROR_INVALID_PARAMETER;
    }
    Value value;
    if (const LSTATUS status = enumerateValue(key, index, value); status != ERROR_SUCCESS) {
        return status;
    }
    if (const LSTATUS status = copyName(std::string_view(value.name), valueName, valueNameLength);
        status != ERROR_SUCCESS) {
        return status;
    }
    return copyValueData(value.data, value.type, type, data, size);
}

LSTATUS WINAPI RegQueryInfoKeyA(HKEY key, LPSTR keyClass, LPDWORD classLength, LPDWORD,
                                LPDWORD subKeyCount, LPDWORD maxSubKeyLength,
                                LPDWORD maxClassLength, LPDWORD valueCount,
                                LPDWORD maxValueNameLength, LPDWORD maxValueLength,
                                LPDWORD securityDescriptorSize, PFILETIME lastWriteTime) {
    if (keyClass && !classLength) {
        return ERROR_INVALID_PARAMETER;
    }
    KeyInfo info;
    if (const LSTATUS status = queryKeyInfo(key, info); status != ERROR_SUCCESS) {
        return status;
    }
    if (keyClass && *classLength) {
        keyClass[0] = '\0';
    }
    const auto put = [](LPDWORD out, DWORD value) {
        if (out) {
            *out = value;
        }
    };
    put(classLength, 0);
    put(subKeyCount, info.subkeyCount);
    put(maxSubKeyLength, info.longestSubkeyName);
    put(maxClassLength, 0);
    put(valueCount, info.valueCount);
    put(maxValueNameLength, info.longestValueName);
    put(maxValueLength, info.largestValue);
    put(securityDescriptorSize, 0);
    clearLastWriteTime(lastWriteTime);
    return ERROR_SUCCESS;
}

}  // extern "C"
