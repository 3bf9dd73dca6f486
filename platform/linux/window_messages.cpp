// Registered window messages and PostMessageA. Nothing here runs a message loop: posted messages
// are recorded, for tests and hosts to read (platform/linux/testing.h).
#include <mutex>
#include <string>
#include <vector>

#include "platform/linux/detail/desktop.h"
#include "platform/linux/detail/test_state.h"
#include "platform/linux/strings.h"
#include "platform/linux/testing.h"
#include "platform/linux/user.h"

namespace {

constexpr UINT firstRegisteredMessage = 0xC000;
constexpr UINT lastRegisteredMessage = 0xFFFF;

struct Messages {
    std::mutex mutex;
    std::vector<std::string> registeredNames;  // id = firstRegisteredMessage + index
    std::vector<GsPostedMessage> posted;
};

Messages& messages() {
    static Messages instance;
    return instance;
}

}  // namespace

namespace gs::platform::detail {

void resetPostedMessageLog() {
    Messages& all = messages();
    std::lock_guard lock(all.mutex);
    all.posted.clear();
}

}  // namespace gs::platform::detail

extern "C" {

UINT WINAPI RegisterWindowMessageA(LPCSTR name) {
    if (name == nullptr || name[0] == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    Messages& all = messages();
    std::lock_guard lock(all.mutex);
    for (std::size_t i = 0; i < all.registeredNames.size(); ++i) {
        if (lstrcmpiA(all.registeredNames[i].c_str(), name) == 0) {
            return firstRegisteredMessage + static_cast<UINT>(i);
        }
    }
    if (all.registeredNames.size() > lastRegisteredMessage - firstRegisteredMessage) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
    all.registeredNames.emplace_back(name);
    return firstRegisteredMessage + static_cast<UINT>(all.registeredNames.size() - 1);
}

BOOL WINAPI PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (window != nullptr && window != HWND_BROADCAST) {
        std::lock_guard lock(gs::platform::detail::desktopMutex());
        if (!gs::platform::detail::windowExistsLocked(window)) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return FALSE;
        }
    }
    Messages& all = messages();
    std::lock_guard lock(all.mutex);
    all.posted.push_back({window, message, wParam, lParam});
    return TRUE;
}

UINT gsTestPostedMessageCount() {
    Messages& all = messages();
    std::lock_guard lock(all.mutex);
    return static_cast<UINT>(all.posted.size());
}

BOOL gsTestPostedMessage(UINT index, GsPostedMessage* message) {
    Messages& all = messages();
    std::lock_guard lock(all.mutex);
    if (message == nullptr || index >= all.posted.size()) {
        return FALSE;
    }
    *message = all.posted[index];
    return TRUE;
}

void gsTestClearPostedMessages() {
    Messages& all = messages();
    std::lock_guard lock(all.mutex);
    all.posted.clear();
}

}  // extern "C"
