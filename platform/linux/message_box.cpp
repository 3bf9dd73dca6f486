// MessageBoxA without a dialog: the text goes to standard error and into a record for tests.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <limits>
#include <mutex>
#include <string>

#include "platform/linux/detail/test_state.h"
#include "platform/linux/strings.h"
#include "platform/linux/testing.h"
#include "platform/linux/user.h"

namespace {

struct StoredMessageBox {
    HWND owner;
    UINT style;
    std::string caption;
    std::string text;
};

// How many of the latest message boxes the log keeps. A module that fails the same way on every
// frame shows a box on every frame; a host may run it so for hours.
constexpr std::size_t kKeptMessageBoxes = 64;

struct MessageBoxLog {
    std::mutex mutex;
    // The latest boxes, the last shown at the back. A deque keeps the others in place as it grows
    // and drops its first.
    std::deque<StoredMessageBox> boxes;
    std::uint64_t shown = 0;  // since the last clear
    bool silent = false;

    // Box `index` (counted from the last clear), or null where it was never shown or was dropped.
    const StoredMessageBox* box(UINT index) const {
        const std::uint64_t first = shown - boxes.size();
        return index >= first && index < shown ? &boxes[index - first] : nullptr;
    }
};

MessageBoxLog& messageBoxLog() {
    static MessageBoxLog log;
    return log;
}

// The module's messages are code-page-932 bytes; the terminal wants UTF-8.
std::string cp932ToUtf8(const std::string& bytes) {
    if (bytes.empty()) {
        return {};
    }
    const int length = static_cast<int>(bytes.size());
    const int wideLength = MultiByteToWideChar(932, 0, bytes.data(), length, nullptr, 0);
    if (wideLength <= 0) {
        return bytes;
    }
    std::u16string wide(static_cast<std::size_t>(wideLength), u'\0');
    MultiByteToWideChar(932, 0, bytes.data(), length, wide.data(), wideLength);
    const int utf8Length =
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideLength, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(utf8Length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideLength, utf8.data(), utf8Length, nullptr,
                        nullptr);
    return utf8;
}

// The button a user would most likely press: the first of the style.
int firstButton(UINT style) {
    switch (style & MB_TYPEMASK) {
        case MB_ABORTRETRYIGNORE:
            return IDABORT;
        case MB_YESNOCANCEL:
        case MB_YESNO:
            return IDYES;
        case MB_RETRYCANCEL:
            return IDRETRY;
        case MB_CANCELTRYCONTINUE:
            return IDCANCEL;
        default:
            return IDOK;
    }
}

}  // namespace

namespace gs::platform::detail {

void resetMessageBoxLog() {
    MessageBoxLog& log = messageBoxLog();
    std::lock_guard lock(log.mutex);
    log.boxes.clear();
    log.shown = 0;
    log.silent = false;
}

}  // namespace gs::platform::detail

extern "C" {

int WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
    // Windows shows "Error" when no caption is given.
    StoredMessageBox box{owner, type, caption != nullptr ? caption : "Error",
                         text != nullptr ? text : ""};
    MessageBoxLog& log = messageBoxLog();
    std::lock_guard lock(log.mutex);
    if (!log.silent) {
        std::fprintf(stderr, "%s: %s\n", cp932ToUtf8(box.caption).c_str(),
                     cp932ToUtf8(box.text).c_str());
    }
    if (log.boxes.size() == kKeptMessageBoxes) {
        log.boxes.pop_front();
    }
    log.boxes.push_back(std::move(box));
    ++log.shown;
    return firstButton(type);
}

UINT gsTestMessageBoxCount() {
    MessageBoxLog& log = messageBoxLog();
    std::lock_guard lock(log.mutex);
    return static_cast<UINT>(std::min<std::uint64_t>(log.shown, std::numeric_limits<UINT>::max()));
}

BOOL gsTestMessageBox(UINT index, GsMessageBoxRecord* record) {
    MessageBoxLog& log = messageBoxLog();
    std::lock_guard lock(log.mutex);
    const StoredMessageBox* box = log.box(index);
    if (record == nullptr || box == nullptr) {
        return FALSE;
    }
    *record = {box->owner, box->style, box->caption.c_str(), box->text.c_str()};
    return TRUE;
}

void gsTestClearMessageBoxes() {
    MessageBoxLog& log = messageBoxLog();
    std::lock_guard lock(log.mutex);
    log.boxes.clear();
    log.shown = 0;
}

void gsTestSilenceMessageBoxes(BOOL silence) {
    MessageBoxLog& log = messageBoxLog();
    std::lock_guard lock(log.mutex);
    log.silent = silence != FALSE;
}

}  // extern "C"
