// MessageBoxA without a dialog: the text goes to standard error and into a record for tests.
#include <cstdio>
#include <deque>
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

struct MessageBoxLog {
    std::mutex mutex;
    std::deque<StoredMessageBox> boxes;  // a deque keeps earlier records in place as it grows
    bool silent = false;
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
    log.boxes.push_back(std::move(box));
    return firstButton(type);
}

UINT gsTestMessageBoxCount() {
    MessageBoxLog& log = messageBoxLog();
    std::lock_guard lock(log.mutex);
    return static_cast<UINT>(log.boxes.size());
}

BOOL gsTestMessageBox(UINT index, GsMessageBoxRecord* record) {
    MessageBoxLog& log = messageBoxLog();
    std::lock_guard lock(log.mutex);
    if (record == nullptr || index >= log.boxes.size()) {
        return FALSE;
    }
    const StoredMessageBox& box = log.boxes[index];
    *record = {box.owner, box.style, box.caption.c_str(), box.text.c_str()};
    return TRUE;
}

void gsTestClearMessageBoxes() {
    MessageBoxLog& log = messageBoxLog();
    std::lock_guard lock(log.mutex);
    log.boxes.clear();
}

void gsTestSilenceMessageBoxes(BOOL silence) {
    MessageBoxLog& log = messageBoxLog();
    std::lock_guard lock(log.mutex);
    log.silent = silence != FALSE;
}

}  // extern "C"
