#include "registrar/script_parser.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "registrar/registrar.h"
#include "registrar/registry_tables.h"
#include "registrar/text_conversion.h"

// Helpers that hold token-sized buffers stay out of registerSubkeys, whose frame is repeated
// once per nesting level.
#define GS_OUT_OF_LINE __attribute__((noinline))

namespace gs::registrar {

namespace {

// One character further in ANSI text, never past its terminating NUL, even when a lead byte
// stands right before it.
LPCSTR stepCharacter(LPCSTR text) {
    if (*text == '\0') {
        return text;
    }
    LPCSTR next = CharNextA(text);
    if (next <= text) {
        return text + 1;
    }
    for (LPCSTR byte = text + 1; byte < next; ++byte) {
        if (*byte == '\0') {
            return byte;
        }
    }
    return next;
}

LPSTR stepCharacter(LPSTR text) {
    return const_cast<LPSTR>(stepCharacter(static_cast<LPCSTR>(text)));
}

bool isWhiteSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool isExactly(const TokenBuffer& token, char c) {
    return token[0] == c && token[1] == '\0';
}

bool isKeyword(const TokenBuffer& token, LPCSTR keyword) {
    return lstrcmpiA(token, keyword) == 0;
}

// Stepped character by character, so that a trail byte is never taken for a backslash.
bool containsBackslash(LPCSTR text) {
    for (LPCSTR c = text; *c != '\0'; c = stepCharacter(c)) {
        if (*c == '\\') {
            return true;
        }
    }
    return false;
}

class OpenedKey {
public:
    OpenedKey() = default;
    explicit OpenedKey(HKEY key) : key_(key) {}
    ~OpenedKey() { close(); }
    OpenedKey(const OpenedKey&) = delete;
    OpenedKey& operator=(const OpenedKey&) = delete;

    HKEY get() const { return key_; }
    explicit operator bool() const { return key_ != nullptr; }
    void reset(HKEY key) {
        close();
        key_ = key;
    }
    LONG close() {
        if (!key_) {
            return ERROR_SUCCESS;
        }
        const LONG status = RegCloseKey(key_);
        key_ = nullptr;
        return status;
    }

private:
    HKEY key_ = nullptr;
};

class NestingLevel {
public:
    explicit NestingLevel(int& nesting) : nesting_(nesting) { ++nesting_; }
    ~NestingLevel() { --nesting_; }
    NestingLevel(const NestingLevel&) = delete;
    NestingLevel& operator=(const NestingLevel&) = delete;

private:
    int& nesting_;
};

struct TaskMemoryRelease {
    void operator()(char* text) const { CoTaskMemFree(text); }
};
using TaskText = std::unique_ptr<char, TaskMemoryRelease>;

// The preprocessed text: starts at a capacity, doubles whenever an append would leave no room
// for the terminating NUL.
class GrowingText {
public:
    HRESULT reserve(std::size_t capacity) {
        text_.reset(static_cast<char*>(CoTaskMemAlloc(capacity)));
        capacity_ = capacity;
        return text_ ? S_OK : E_OUTOFMEMORY;
    }
    HRESULT append(LPCSTR bytes, std::size_t count) {
        if (count >= SIZE_MAX - size_) {
            return E_OUTOFMEMORY;
        }
        std::size_t capacity = capacity_;
        while (size_ + count + 1 > capacity) {
            if (capacity > SIZE_MAX / 2) {
                return E_OUTOFMEMORY;
            }
            capacity *= 2;
        }
        if (capacity != capacity_) {
            auto* grown = static_cast<char*>(CoTaskMemRealloc(text_.get(), capacity));
            if (!grown) {
                return E_OUTOFMEMORY;
            }
            text_.release();
            text_.reset(grown);
            capacity_ = capacity;
        }
        std::memcpy(text_.get() + size_, bytes, count);
        size_ += count;
        return S_OK;
    }
    LPSTR finish() {
        text_.get()[size_] = '\0';  // append always leaves room for it
        return text_.release();
    }

private:
    TaskText text_;
    std::size_t capacity_ = 0;
    std::size_t size_ = 0;
};

}  // namespace

HRESULT ScriptParser::preprocess(LPCSTR script, LPSTR* result) {
    *result = nullptr;
    const std::size_t length = std::strlen(script);
    std::size_t capacity = length < SIZE_MAX / 2 ? length * 2 : SIZE_MAX;
    if (capacity < 100) {
        capacity = 1000;
    }
    GrowingText text;
    HRESULT hr = text.reserve(capacity);
    LPCSTR c = script;
    while (SUCCEEDED(hr) && *c != '\0') {
        if (*c != '%') {
            LPCSTR next = stepCharacter(c);
            hr = text.append(c, static_cast<std::size_t>(next - c));
            c = next;
            continue;
        }
        if (c[1] == '%') {
            hr = text.append("%", 1);
            c += 2;
            continue;
        }
        LPCSTR const nameStart = c + 1;
        LPCSTR nameEnd = nameStart;
        while (*nameEnd != '\0' && *nameEnd != '%') {
            nameEnd = stepCharacter(nameEnd);
        }
        if (*nameEnd != '%') {
            return DISP_E_EXCEPTION;
        }
        const auto nameLength = static_cast<std::size_t>(nameEnd - nameStart);
        if (nameLength >= variableNameSize) {
            return E_FAIL;
        }
        char name[variableNameSize];
        std::memcpy(name, nameStart, nameLength);
        name[nameLength] = '\0';
        LPCOLESTR value = registrar_.replacements().find(name);
        if (!value) {
            return DISP_E_EXCEPTION;
        }
        std::string ansiValue;
        if (!toAnsi(value, ansiValue)) {
            return E_OUTOFMEMORY;
        }
        hr = text.append(ansiValue.data(), ansiValue.size());
        c = nameEnd + 1;
    }
    if (FAILED(hr)) {
        return hr;
    }
    *result = text.finish();
    return S_OK;
}

HRESULT ScriptParser::registerBuffer(LPCSTR script, bool registering) {
    LPSTR preprocessed = nullptr;
    HRESULT hr = preprocess(script, &preprocessed);
    if (FAILED(hr)) {
        return hr;
    }
    const TaskText owned(preprocessed);
    cursor_ = preprocessed;
    TokenBuffer token;
    while (*cursor_ != '\0') {
        if (FAILED(hr = nextToken(token))) {
            break;
        }
        const HKEY root = rootKeyTable(token);
        if (!root) {
            hr = DISP_E_EXCEPTION;
            break;
        }
        if (FAILED(hr = nextToken(token))) {
            break;
        }
        if (token[0] != '{') {
            hr = DISP_E_EXCEPTION;
            break;
        }
        if (registering) {
            LPSTR const blockStart = cursor_;
            hr = registerSubkeys(token, root, true, false);
            if (FAILED(hr)) {
                // Take back what this root block wrote; earlier blocks stay registered.
                cursor_ = blockStart;
                registerSubkeys(token, root, false, false);
                break;
            }
        } else if (FAILED(hr = registerSubkeys(token, root, false, false))) {
            break;
        }
        skipWhiteSpace();
    }
    cursor_ = nullptr;
    return hr;
}

HRESULT ScriptParser::registerSubkeys(TokenBuffer& token, HKEY parent, bool registering,
                                      bool recovering) {
    if (nesting_ >= maxBlockNesting) {
        return DISP_E_EXCEPTION;
    }
    const NestingLevel level(nesting_);
    OpenedKey key;  // the key of the latest key item of this block (register mode)
    HRESULT hr = nextToken(token);
    if (FAILED(hr)) {
        return hr;
    }
    while (!isExactly(token, '}')) {
        bool protect = false;
        const bool isDelete = isKeyword(token, "Delete");
        if (isDelete || isKeyword(token, "ForceRemove")) {
            if (FAILED(hr = nextToken(token))) {
                return hr;
            }
            // A deleted key has no key to hold a block: refuse before deleting anything, in
            // both modes, so that the undo of a refused registration stops at the same item.
            if (isDelete && blockFollows(false)) {
                return DISP_E_EXCEPTION;
            }
            if (registering) {
                if (containsBackslash(token)) {
                    return DISP_E_EXCEPTION;
                }
                if (canForceRemoveKey(token)) {
                    recurseDeleteKey(parent, token);
                }
                if (isDelete) {
                    if (FAILED(hr = nextToken(token)) || FAILED(hr = skipAssignment(token))) {
                        return hr;
                    }
                    continue;
                }
            }
        }
        if (isKeyword(token, "NoRemove")) {
            protect = true;
            if (FAILED(hr = nextToken(token))) {
                return hr;
            }
        }
        if (isKeyword(token, "Val")) {
            if (FAILED(hr = registerValueItem(token, parent, registering, recovering, protect))) {
                return hr;
            }
            continue;
        }
        if (containsBackslash(token)) {
            return DISP_E_EXCEPTION;
        }
        if (!registering) {
            if (FAILED(hr = unregisterKeyItem(token, parent, recovering, protect))) {
                return hr;
            }
            continue;
        }

        HKEY opened = nullptr;
        if (RegOpenKeyExA(parent, token, 0, KEY_READ | KEY_WRITE, &opened) != ERROR_SUCCESS &&
            RegOpenKeyExA(parent, token, 0, KEY_READ, &opened) != ERROR_SUCCESS) {
            const LONG status = RegCreateKeyExA(parent, token, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                                KEY_READ | KEY_WRITE, nullptr, &opened, nullptr);
            if (status != ERROR_SUCCESS) {
                return HRESULT_FROM_WIN32(status);
            }
        }
        key.reset(opened);
        if (FAILED(hr = nextToken(token))) {
            return hr;
        }
        if (token[0] == '=' && FAILED(hr = addValue(key.get(), nullptr, token))) {
            return hr;
        }
        if (isExactly(token, '{')) {
            if (FAILED(hr = registerSubkeys(token, key.get(), true, false)) ||
                FAILED(hr = nextToken(token))) {
                return hr;
            }
        }
    }
    return S_OK;
}

GS_OUT_OF_LINE HRESULT ScriptParser::registerValueItem(TokenBuffer& token, HKEY parent,
                                                       bool registering, bool recovering,
                                                       bool protect) {
    HRESULT hr = nextToken(token);
    if (FAILED(hr)) {
        return hr;
    }
    if (std::strlen(token) >= nameBufferSize) {
        return DISP_E_EXCEPTION;
    }
    char valueName[nameBufferSize];
    std::memcpy(valueName, token, std::strlen(token) + 1);
    if (FAILED(hr = nextToken(token))) {
        return hr;
    }
    if (token[0] != '=') {
        return DISP_E_EXCEPTION;
    }
    // A value has no key to hold a block.
    if (blockFollows(true)) {
        return DISP_E_EXCEPTION;
    }
    if (registering) {
        return addValue(parent, valueName, token);
    }
    if (!recovering && !protect) {
        HKEY writable = nullptr;
        LONG status = RegOpenKeyExA(parent, nullptr, 0, KEY_WRITE, &writable);
        if (status != ERROR_SUCCESS) {
            return HRESULT_FROM_WIN32(status);
        }
        status = RegDeleteValueA(writable, valueName);
        RegCloseKey(writable);
        if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) {
            return HRESULT_FROM_WIN32(status);
        }
    }
    return skipAssignment(token);
}

GS_OUT_OF_LINE HRESULT ScriptParser::unregisterKeyItem(TokenBuffer& token, HKEY parent,
                                                       bool recovering, bool protect) {
    HKEY opened = nullptr;
    const LONG openStatus =
        recovering ? ERROR_FILE_NOT_FOUND : RegOpenKeyExA(parent, token, 0, KEY_READ, &opened);
    OpenedKey key(openStatus == ERROR_SUCCESS ? opened : nullptr);
    // Deleting under a name cut to fit would reach another key.
    if (key && std::strlen(token) >= nameBufferSize) {
        return DISP_E_EXCEPTION;
    }
    char keyName[nameBufferSize];
    lstrcpynA(keyName, token, nameBufferSize);
    HRESULT hr = nextToken(token);
    if (FAILED(hr) || FAILED(hr = skipAssignment(token))) {
        return hr;
    }
    if (isExactly(token, '{')) {
        // A missing key's block is only read (recovering), never applied. Its failures are
        // syntax errors, which leave the text position inside the block, so they end the run.
        const bool blockRecovering = openStatus != ERROR_SUCCESS;
        if (FAILED(hr = registerSubkeys(token, key.get(), false, blockRecovering)) ||
            FAILED(hr = nextToken(token))) {
            return hr;
        }
    }
    if (openStatus == ERROR_FILE_NOT_FOUND) {
        return S_OK;
    }
    if (openStatus != ERROR_SUCCESS) {
        return recovering ? S_OK : HRESULT_FROM_WIN32(openStatus);
    }
    if (const LONG status = key.close(); status != ERROR_SUCCESS) {
        return HRESULT_FROM_WIN32(status);
    }
    if (!protect) {
        if (const LONG status = RegDeleteKeyA(parent, keyName); status != ERROR_SUCCESS) {
            return HRESULT_FROM_WIN32(status);
        }
    }
    return S_OK;
}

HRESULT ScriptParser::nextToken(TokenBuffer& token) {
    skipWhiteSpace();
    LPSTR out = token;
    LPSTR const end = token + tokenBufferSize;
    *out = '\0';
    if (*cursor_ == '\0') {
        return DISP_E_EXCEPTION;
    }
    // Whole characters only, and always room for the NUL: at most 4094 bytes for a token.
    const auto copyCharacter = [&] {
        LPSTR const next = stepCharacter(cursor_);
        const auto length = static_cast<std::size_t>(next - cursor_);
        if (out + 2 >= end || length >= static_cast<std::size_t>(end - out)) {
            return false;
        }
        std::memcpy(out, cursor_, length);
        out += length;
        cursor_ = next;
        return true;
    };
    bool complete = true;
    if (*cursor_ == '\'') {
        cursor_ = stepCharacter(cursor_);
        for (;;) {
            if (*cursor_ == '\0') {
                complete = false;  // unterminated quote
                break;
            }
            if (*cursor_ == '\'') {
                LPSTR const after = stepCharacter(cursor_);
                if (*after != '\'') {
                    cursor_ = after;
                    break;
                }
                cursor_ = after;  // of a doubled quote, the second is the character
            }
            if (!copyCharacter()) {
                complete = false;
                break;
            }
        }
    } else {
        while (complete && *cursor_ != '\0' && !isWhiteSpace(*cursor_)) {
            complete = copyCharacter();
        }
    }
    *out = '\0';
    return complete ? S_OK : DISP_E_EXCEPTION;
}

void ScriptParser::skipWhiteSpace() {
    while (isWhiteSpace(*cursor_)) {
        ++cursor_;
    }
}

GS_OUT_OF_LINE HRESULT ScriptParser::skipAssignment(TokenBuffer& token) {
    if (token[0] != '=') {
        return S_OK;
    }
    TokenBuffer value;
    HRESULT hr = nextToken(token);
    if (FAILED(hr) || FAILED(hr = nextToken(value))) {
        return hr;
    }
    return nextToken(token);
}

GS_OUT_OF_LINE bool ScriptParser::blockFollows(bool equalsRead) {
    LPSTR const saved = cursor_;
    TokenBuffer lookahead;
    bool readable = true;
    if (equalsRead) {
        lookahead[0] = '=';
        lookahead[1] = '\0';
    } else {
        readable = SUCCEEDED(nextToken(lookahead));
    }
    readable = readable && SUCCEEDED(skipAssignment(lookahead));
    cursor_ = saved;
    return readable && isExactly(lookahead, '{');
}

GS_OUT_OF_LINE HRESULT ScriptParser::addValue(HKEY key, LPCSTR valueName, TokenBuffer& token) {
    HRESULT hr = nextToken(token);
    if (FAILED(hr)) {
        return hr;
    }
    const DWORD type = valueTypeTable(token);
    if (type == REG_NONE) {
        return DISP_E_EXCEPTION;
    }
    skipWhiteSpace();
    if (FAILED(hr = nextToken(token)) || FAILED(hr = writeValue(key, valueName, type, token))) {
        return hr;
    }
    return nextToken(token);
}

HRESULT ScriptParser::writeValue(HKEY key, LPCSTR valueName, DWORD type, LPCSTR text) {
    const std::size_t length = std::strlen(text);
    LONG status = ERROR_SUCCESS;
    switch (type) {
        case REG_SZ:
            status = RegSetValueExA(key, valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                                    static_cast<DWORD>(length + 1));
            break;
        case REG_DWORD: {
            WideString wide;
            if (!toWide(text, wide)) {
                return E_OUTOFMEMORY;
            }
            ULONG number = 0;
            // Text that is no number has no value to write: refuse the item.
            if (FAILED(VarUI4FromStr(wide.data(), 0, 0, &number))) {
                return DISP_E_EXCEPTION;
            }
            const DWORD data = number;
            status = RegSetValueExA(key, valueName, 0, REG_DWORD,
                                    reinterpret_cast<const BYTE*>(&data), sizeof data);
            break;
        }
        case REG_BINARY: {
            if (length % 2 != 0) {
                return E_FAIL;
            }
            std::unique_ptr<BYTE[]> bytes(new (std::nothrow) BYTE[length / 2 + 1]());
            if (!bytes) {
                return E_FAIL;
            }
            for (std::size_t i = 0; i < length; ++i) {
                const char c = text[i];
                const BYTE nibble = c >= '0' && c <= '9'   ? static_cast<BYTE>(c - '0')
                                    : c >= 'A' && c <= 'F' ? static_cast<BYTE>(c - 'A' + 10)
                                    : c >= 'a' && c <= 'f' ? static_cast<BYTE>(c - 'a' + 10)
                                                           : BYTE{0};
                bytes[i / 2] |= static_cast<BYTE>(i % 2 == 0 ? nibble << 4 : nibble);
            }
            status = RegSetValueExA(key, valueName, 0, REG_BINARY, bytes.get(),
                                    static_cast<DWORD>(length / 2));
            break;
        }
        case REG_MULTI_SZ: {
            std::unique_ptr<char[]> strings(new (std::nothrow) char[length + 1]);
            if (!strings) {
                return E_OUTOFMEMORY;
            }
            std::size_t size = 0;
            for (LPCSTR c = text; *c != '\0';) {
                if (c[0] == '\\' && c[1] == '0') {
                    strings[size++] = '\0';
                    c += 2;
                    continue;
                }
                LPCSTR const next = stepCharacter(c);
                while (c < next) {
                    strings[size++] = *c++;
                }
            }
            // Without the final \0 the list has no terminating empty string, and the count below
            // would run past the buffer.
            if (size == 0 || strings[size - 1] != '\0') {
                return DISP_E_EXCEPTION;
            }
            strings[size] = '\0';
            std::size_t dataSize = 0;
            for (;;) {
                const std::size_t stringLength = std::strlen(strings.get() + dataSize);
                dataSize += stringLength + 1;
                if (stringLength == 0) {
                    break;
                }
            }
            status = RegSetValueExA(key, valueName, 0, REG_MULTI_SZ,
                                    reinterpret_cast<const BYTE*>(strings.get()),
                                    static_cast<DWORD>(dataSize));
            break;
        }
        default:
            return DISP_E_EXCEPTION;
    }
    return status == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(static_cast<DWORD>(status));
}

LONG recurseDeleteKey(HKEY parent, LPCSTR name) {
    HKEY opened = nullptr;
    LONG status = RegOpenKeyExA(parent, name, 0, KEY_READ | KEY_WRITE, &opened);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    OpenedKey key(opened);
    char subkey[subkeyNameSize];
    for (;;) {
        DWORD length = subkeyNameSize;
        if (RegEnumKeyExA(key.get(), 0, subkey, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS) {
            break;
        }
        if ((status = recurseDeleteKey(key.get(), subkey)) != ERROR_SUCCESS) {
            return status;
        }
    }
    key.close();
    return RegDeleteKeyA(parent, name);
}

}  // namespace gs::registrar
