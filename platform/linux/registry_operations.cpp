#include "platform/linux/registry_operations.h"

#include <cstring>
#include <iterator>

#include "platform/linux/registry_access.h"
#include "platform/linux/registry_handles.h"
#include "platform/linux/registry_store.h"

namespace gs::platform::registry {

namespace {

constexpr REGSAM genericRead = 0x80000000u;
constexpr REGSAM genericWrite = 0x40000000u;
constexpr REGSAM genericExecute = 0x20000000u;
constexpr REGSAM genericAll = 0x10000000u;
constexpr REGSAM maximumAllowed = 0x02000000u;
constexpr REGSAM writeRights =
    KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_CREATE_LINK | DELETE | WRITE_DAC | WRITE_OWNER;

REGSAM grantedRights(REGSAM desired, bool writeDenied) {
    REGSAM rights = desired & ~(genericRead | genericWrite | genericExecute | genericAll |
                                maximumAllowed | KEY_WOW64_32KEY | KEY_WOW64_64KEY);
    if (desired & genericRead) {
        rights |= KEY_READ;
    }
    if (desired & genericWrite) {
        rights |= KEY_WRITE;
    }
    if (desired & genericExecute) {
        rights |= KEY_EXECUTE;
    }
    if (desired & (genericAll | maximumAllowed)) {
        rights |= (desired & maximumAllowed) && writeDenied ? KEY_READ : KEY_ALL_ACCESS;
    }
    return rights;
}

// Appends the names of a sub-key argument to `path`. Repeated and trailing separators are
// ignored; a leading one is refused, as Windows refuses it.
LSTATUS appendSubKey(const char* subKey, std::vector<std::string>& path, bool& nameTooLong) {
    nameTooLong = false;
    if (!subKey || !*subKey) {
        return ERROR_SUCCESS;
    }
    if (*subKey == '\\') {
        return ERROR_BAD_PATHNAME;
    }
    std::string_view rest(subKey);
    while (!rest.empty()) {
        const std::size_t end = std::min(rest.find('\\'), rest.size());
        if (end > 0) {
            nameTooLong = nameTooLong || end > maxKeyNameLength;
            path.emplace_back(rest.substr(0, end));
        }
        rest.remove_prefix(std::min(end + 1, rest.size()));
    }
    return ERROR_SUCCESS;
}

// The key behind an open handle in the current tree, or why there is none.
template <typename TreeType, typename KeyType>
LSTATUS keyOf(TreeType& tree, const OpenKey& open, KeyType*& key) {
    key = tree.find(open.root, open.path);
    return key ? ERROR_SUCCESS : ERROR_KEY_DELETED;
}

LSTATUS resolveWithRight(HKEY handle, REGSAM right, OpenKey& open) {
    if (const LSTATUS status = resolveHandle(handle, open); status != ERROR_SUCCESS) {
        return status;
    }
    return (open.access & right) == right ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}

// Reads the key behind a handle opened with `right`: `read(const Key&)` runs under the store's
// read lock and its status is the call's.
template <typename Read>
LSTATUS readOpenKey(HKEY handle, REGSAM right, Read&& read) {
    OpenKey open;
    if (const LSTATUS status = resolveWithRight(handle, right, open); status != ERROR_SUCCESS) {
        return status;
    }
    return Store::instance().read([&](const Tree& tree) -> LSTATUS {
        const Key* key = nullptr;
        if (const LSTATUS status = keyOf(tree, open, key); status != ERROR_SUCCESS) {
            return status;
        }
        return read(*key);
    });
}

}  // namespace

LSTATUS openKey(HKEY parent, const char* subKey, REGSAM desired, HKEY& result) {
    result = nullptr;
    OpenKey open;
    if (const LSTATUS status = resolveHandle(parent, open); status != ERROR_SUCCESS) {
        return status;
    }
    const std::size_t parentDepth = open.path.size();
    bool nameTooLong = false;  // such a key cannot exist, so the lookup fails by itself
    if (const LSTATUS status = appendSubKey(subKey, open.path, nameTooLong);
        status != ERROR_SUCCESS) {
        return status;
    }
    const LSTATUS status = Store::instance().read([&](const Tree& tree) -> LSTATUS {
        const Key* key = tree.find(open.root, open.path);
        if (key) {
            return ERROR_SUCCESS;
        }
        std::vector<std::string> parentPath(open.path.begin(),
                                            open.path.begin() + static_cast<long>(parentDepth));
        return tree.find(open.root, parentPath) ? ERROR_FILE_NOT_FOUND : ERROR_KEY_DELETED;
    });
    if (status != ERROR_SUCCESS) {
        return status;
    }
    const bool writeDenied = isWriteDenied(open.root, open.path);
    open.access = grantedRights(desired, writeDenied);
    if ((open.access & writeRights) && writeDenied) {
        return ERROR_ACCESS_DENIED;
    }
    result = addHandle(std::move(open));
    return ERROR_SUCCESS;
}

LSTATUS createKey(HKEY parent, const char* subKey, REGSAM desired, HKEY& result,
                  DWORD& disposition) {
    result = nullptr;
    OpenKey open;
    if (const LSTATUS status = resolveHandle(parent, open); status != ERROR_SUCCESS) {
        return status;
    }
    const std::size_t parentDepth = open.path.size();
    bool nameTooLong = false;
    if (const LSTATUS status = appendSubKey(subKey, open.path, nameTooLong);
        status != ERROR_SUCCESS) {
        return status;
    }
    const bool writeDenied = isWriteDenied(open.root, open.path);
    open.access = grantedRights(desired, writeDenied);
    const LSTATUS status = Store::instance().write([&](Tree& tree, bool& changed) -> LSTATUS {
        Key* key = &tree.root(open.root);
        std::size_t depth = 0;
        for (; depth < open.path.size(); ++depth) {
            Key* subkey = key->findSubkey(open.path[depth]);
            if (!subkey) {
                break;
            }
            key = subkey;
        }
        if (depth < parentDepth) {
            return ERROR_KEY_DELETED;
        }
        if (depth == open.path.size()) {
            disposition = REG_OPENED_EXISTING_KEY;
            return (open.access & writeRights) && writeDenied ? ERROR_ACCESS_DENIED : ERROR_SUCCESS;
        }
        if (writeDenied) {
            return ERROR_ACCESS_DENIED;
        }
        if (nameTooLong) {
            return ERROR_FILENAME_EXCED_RANGE;
        }
        if (open.path.size() > maxKeyDepth) {
            return ERROR_INVALID_PARAMETER;
        }
        for (; depth < open.path.size(); ++depth) {
            key = &key->addSubkey(open.path[depth]);
        }
        disposition = REG_CREATED_NEW_KEY;
        changed = true;
        return ERROR_SUCCESS;
    });
    if (status != ERROR_SUCCESS) {
        return status;
    }
    result = addHandle(std::move(open));
    return ERROR_SUCCESS;
}

LSTATUS deleteKey(HKEY parent, const char* subKey) {
    if (!subKey) {
        return ERROR_INVALID_PARAMETER;
    }
    OpenKey open;
    if (const LSTATUS status = resolveHandle(parent, open); status != ERROR_SUCCESS) {
        return status;
    }
    const std::size_t parentDepth = open.path.size();
    bool nameTooLong = false;
    if (const LSTATUS status = appendSubKey(subKey, open.path, nameTooLong);
        status != ERROR_SUCCESS) {
        return status;
    }
    if (open.path.empty()) {
        return ERROR_ACCESS_DENIED;  // a root cannot be deleted
    }
    const bool writeDenied = isWriteDenied(open.root, open.path);
    return Store::instance().write([&](Tree& tree, bool& changed) -> LSTATUS {
        std::vector<std::string> parentPath(open.path.begin(), open.path.end() - 1);
        Key* container = tree.find(open.root, parentPath);
        Key* key = container ? container->findSubkey(open.path.back()) : nullptr;
        if (!key) {
            const std::vector<std::string> handlePath(
                open.path.begin(), open.path.begin() + static_cast<long>(parentDepth));
            return tree.find(open.root, handlePath) ? ERROR_FILE_NOT_FOUND : ERROR_KEY_DELETED;
        }
        if (writeDenied || !key->subkeys().empty()) {
            return ERROR_ACCESS_DENIED;
        }
        container->removeSubkey(open.path.back());
        changed = true;
        return ERROR_SUCCESS;
    });
}

LSTATUS setValue(HKEY handle, std::string_view name, DWORD type, std::vector<BYTE> data) {
    OpenKey open;
    if (const LSTATUS status = resolveWithRight(handle, KEY_SET_VALUE, open);
        status != ERROR_SUCCESS) {
        return status;
    }
    if (name.size() > maxValueNameLength) {
        return ERROR_INVALID_PARAMETER;
    }
    if (isWriteDenied(open.root, open.path)) {
        return ERROR_ACCESS_DENIED;
    }
    return Store::instance().write([&](Tree& tree, bool& changed) -> LSTATUS {
        Key* key = nullptr;
        if (const LSTATUS status = keyOf(tree, open, key); status != ERROR_SUCCESS) {
            return status;
        }
        const Value* existing = key->findValue(name);
        if (existing && existing->type == type && existing->data == data) {
            return ERROR_SUCCESS;
        }
        key->setValue(name, type, std::move(data));
        changed = true;
        return ERROR_SUCCESS;
    });
}

LSTATUS queryValue(HKEY handle, std::string_view name, Value& value) {
    return readOpenKey(handle, KEY_QUERY_VALUE, [&](const Key& key) -> LSTATUS {
        const Value* found = key.findValue(name);
        if (!found) {
            return ERROR_FILE_NOT_FOUND;
        }
        value = *found;
        return ERROR_SUCCESS;
    });
}

LSTATUS deleteValue(HKEY handle, std::string_view name) {
    OpenKey open;
    if (const LSTATUS status = resolveWithRight(handle, KEY_SET_VALUE, open);
        status != ERROR_SUCCESS) {
        return status;
    }
    if (isWriteDenied(open.root, open.path)) {
        return ERROR_ACCESS_DENIED;
    }
    return Store::instance().write([&](Tree& tree, bool& changed) -> LSTATUS {
        Key* key = nullptr;
        if (const LSTATUS status = keyOf(tree, open, key); status != ERROR_SUCCESS) {
            return status;
        }
        if (!key->removeValue(name)) {
            return ERROR_FILE_NOT_FOUND;
        }
        changed = true;
        return ERROR_SUCCESS;
    });
}

LSTATUS enumerateKey(HKEY handle, DWORD index, std::string& name) {
    return readOpenKey(handle, KEY_ENUMERATE_SUB_KEYS, [&](const Key& key) -> LSTATUS {
        if (index >= key.subkeys().size()) {
            return ERROR_NO_MORE_ITEMS;
        }
        name = std::next(key.subkeys().begin(), static_cast<long>(index))->second->name();
        return ERROR_SUCCESS;
    });
}

LSTATUS enumerateValue(HKEY handle, DWORD index, Value& value) {
    return readOpenKey(handle, KEY_QUERY_VALUE, [&](const Key& key) -> LSTATUS {
        if (index >= key.values().size()) {
            return ERROR_NO_MORE_ITEMS;
        }
        value = key.values()[index];
        return ERROR_SUCCESS;
    });
}

LSTATUS queryKeyInfo(HKEY handle, KeyInfo& info) {
    return readOpenKey(handle, KEY_QUERY_VALUE, [&](const Key& key) -> LSTATUS {
        info = KeyInfo{};
        info.subkeyCount = static_cast<DWORD>(key.subkeys().size());
        for (const auto& entry : key.subkeys()) {
            info.longestSubkeyName =
                std::max(info.longestSubkeyName, static_cast<DWORD>(entry.second->name().size()));
        }
        info.valueCount = static_cast<DWORD>(key.values().size());
        for (const Value& value : key.values()) {
            info.longestValueName =
                std::max(info.longestValueName, static_cast<DWORD>(value.name.size()));
            info.largestValue = std::max(info.largestValue, static_cast<DWORD>(value.data.size()));
        }
        return ERROR_SUCCESS;
    });
}

LSTATUS copyValueData(const std::vector<BYTE>& data, DWORD type, LPDWORD typeOut, LPBYTE buffer,
                      LPDWORD size) {
    if (buffer && !size) {
        return ERROR_INVALID_PARAMETER;
    }
    if (typeOut) {
        *typeOut = type;
    }
    if (!size) {
        return ERROR_SUCCESS;
    }
    const DWORD needed = static_cast<DWORD>(data.size());
    if (buffer && *size < needed) {
        *size = needed;
        return ERROR_MORE_DATA;
    }
    if (buffer && needed) {
        std::memcpy(buffer, data.data(), needed);
    }
    *size = needed;
    return ERROR_SUCCESS;
}

void clearLastWriteTime(PFILETIME time) {
    if (time) {
        *time = FILETIME{0, 0};
    }
}

}  // namespace gs::platform::registry
