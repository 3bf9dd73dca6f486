// FindResource and its companions over the modules' embedded resource tables.
#include "platform/linux/detail/modules.h"
#include "platform/linux/module.h"

using gs::platform::detail::ResourceId;
using gs::platform::detail::ResourceTable;
using gs::platform::resource_table::Entry;

namespace {

// The table that holds a resource handle: the given module's, or any module's for a null module.
std::optional<ResourceTable> tableHolding(HMODULE module, HRSRC resource) {
    if (resource == nullptr) {
        return std::nullopt;
    }
    if (module == nullptr) {
        return gs::platform::detail::resourceTableHolding(resource);
    }
    DWORD ignored = 0;
    std::optional<ResourceTable> table = gs::platform::detail::resourceTableOf(module, ignored);
    return table && table->holds(resource) ? table : std::nullopt;
}

}  // namespace

extern "C" {

HRSRC WINAPI FindResourceA(HMODULE module, LPCSTR name, LPCSTR type) {
    return FindResourceExA(module, type, name, LANG_NEUTRAL);
}

HRSRC WINAPI FindResourceExA(HMODULE module, LPCSTR type, LPCSTR name, WORD language) {
    if (type == nullptr || name == nullptr) {
        SetLastError(type == nullptr ? ERROR_RESOURCE_TYPE_NOT_FOUND
                                     : ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    DWORD error = ERROR_SUCCESS;
    const std::optional<ResourceTable> table = gs::platform::detail::resourceTableOf(module, error);
    if (!table) {
        SetLastError(error);
        return nullptr;
    }
    const Entry* entry =
        table->find(ResourceId::from(type), ResourceId::from(name), language, error);
    if (entry == nullptr) {
        SetLastError(error);
        return nullptr;
    }
    return reinterpret_cast<HRSRC>(const_cast<Entry*>(entry));
}

HGLOBAL WINAPI LoadResource(HMODULE module, HRSRC resource) {
    const std::optional<ResourceTable> table = tableHolding(module, resource);
    if (!table) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    const auto& entry = *reinterpret_cast<const Entry*>(resource);
    return const_cast<unsigned char*>(table->dataOf(entry));
}

LPVOID WINAPI LockResource(HGLOBAL resourceData) {
    return resourceData;
}

DWORD WINAPI SizeofResource(HMODULE module, HRSRC resource) {
    if (!tableHolding(module, resource)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    return reinterpret_cast<const Entry*>(resource)->dataSize;
}

BOOL WINAPI FreeResource(HGLOBAL) {
    // Resource data lives as long as its module; as on Windows, there is nothing to free.
    return FALSE;
}

}  // extern "C"
