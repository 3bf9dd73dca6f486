#include "platform/linux/registry_handles.h"

#include <cstdint>
#include <mutex>
#include <unordered_map>

#include "platform/linux/registry_testing.h"

namespace gs::platform::registry {

namespace {

// Handle values start far below the predefined roots and are never reused, so a stale handle is
// reported as invalid rather than reaching another key.
constexpr std::uintptr_t firstHandle = 0x1000;
constexpr std::uintptr_t handleStep = 4;

struct HandleTable {
    std::mutex mutex;
    std::uintptr_t next = firstHandle;
    std::unordered_map<std::uintptr_t, OpenKey> open;
};

HandleTable& table() {
    static HandleTable handles;
    return handles;
}

}  // namespace

LSTATUS resolveHandle(HKEY key, OpenKey& open) {
    if (const auto root = rootOfHandle(key)) {
        open = OpenKey{*root, {}, KEY_ALL_ACCESS};
        return ERROR_SUCCESS;
    }
    HandleTable& handles = table();
    std::lock_guard lock(handles.mutex);
    const auto found = handles.open.find(reinterpret_cast<std::uintptr_t>(key));
    if (found == handles.open.end()) {
        return ERROR_INVALID_HANDLE;
    }
    open = found->second;
    return ERROR_SUCCESS;
}

HKEY addHandle(OpenKey open) {
    HandleTable& handles = table();
    std::lock_guard lock(handles.mutex);
    const std::uintptr_t value = handles.next;
    handles.next += handleStep;
    handles.open.emplace(value, std::move(open));
    return reinterpret_cast<HKEY>(value);
}

LSTATUS closeHandle(HKEY key) {
    if (rootOfHandle(key) || key == HKEY_PERFORMANCE_DATA || key == HKEY_DYN_DATA) {
        return ERROR_SUCCESS;
    }
    HandleTable& handles = table();
    std::lock_guard lock(handles.mutex);
    return handles.open.erase(reinterpret_cast<std::uintptr_t>(key)) ? ERROR_SUCCESS
                                                                     : ERROR_INVALID_HANDLE;
}

namespace testing {

std::size_t openKeyCount() {
    HandleTable& handles = table();
    std::lock_guard lock(handles.mutex);
    return handles.open.size();
}

}  // namespace testing

}  // namespace gs::platform::registry
