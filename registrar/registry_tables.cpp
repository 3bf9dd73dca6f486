#include "registrar/registry_tables.h"

namespace gs::registrar {

namespace {

struct RootKeyEntry {
    LPCSTR name;
    HKEY key;
};

struct ValueTypeEntry {
    LPCSTR letter;
    DWORD type;
};

constexpr LPCSTR neverDeleteKeys[] = {
    "AppID",    "CLSID",     "Component Categories",
    "FileType", "Interface", "Hardware",
    "Mime",     "SAM",       "SECURITY",
    "SYSTEM",   "Software",  "TypeLib",
};

}  // namespace

HKEY rootKeyTable(LPCSTR name) {
    // Predefined keys are not constant expressions, so the table is built where it is used.
    const RootKeyEntry roots[] = {
        {"HKCR", HKEY_CLASSES_ROOT},
        {"HKCU", HKEY_CURRENT_USER},
        {"HKLM", HKEY_LOCAL_MACHINE},
        {"HKU", HKEY_USERS},
        {"HKPD", HKEY_PERFORMANCE_DATA},
        {"HKDD", HKEY_DYN_DATA},
        {"HKCC", HKEY_CURRENT_CONFIG},
        {"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
        {"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
        {"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
        {"HKEY_USERS", HKEY_USERS},
        {"HKEY_PERFORMANCE_DATA", HKEY_PERFORMANCE_DATA},
        {"HKEY_DYN_DATA", HKEY_DYN_DATA},
        {"HKEY_CURRENT_CONFIG", HKEY_CURRENT_CONFIG},
    };
    for (const RootKeyEntry& root : roots) {
        if (lstrcmpiA(name, root.name) == 0) {
            return root.key;
        }
    }
    return nullptr;
}

DWORD valueTypeTable(LPCSTR letter) {
    static const ValueTypeEntry valueTypes[] = {
        {"S", REG_SZ},
        {"M", REG_MULTI_SZ},
        {"D", REG_DWORD},
        {"B", REG_BINARY},
    };
    for (const ValueTypeEntry& entry : valueTypes) {
        if (lstrcmpiA(letter, entry.letter) == 0) {
            return entry.type;
        }
    }
    return REG_NONE;
}

bool canForceRemoveKey(LPCSTR name) {
    for (LPCSTR protectedName : neverDeleteKeys) {
        if (lstrcmpiA(name, protectedName) == 0) {
            return false;
        }
    }
    return true;
}

}  // namespace gs::registrar
