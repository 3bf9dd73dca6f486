#include "platform/linux/registry_format.h"

#include <cstdint>
#include <optional>
#include <vector>

#include "platform/linux/registry.h"

namespace gs::platform::registry {

namespace {

constexpr std::string_view header = "Glimmerstrand registry 1";
constexpr char hexDigits[] = "0123456789abcdef";

int hexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

bool isControl(unsigned char c) {
    return c < 0x20 || c == 0x7f;
}

void appendHexByte(std::string& out, unsigned char byte) {
    out += hexDigits[byte >> 4];
    out += hexDigits[byte & 0xf];
}

// ---- writing ----

void appendKeyName(std::string& out, std::string_view name) {
    for (char c : name) {
        auto byte = static_cast<unsigned char>(c);
        if (isControl(byte) || c == '%') {
            out += '%';
            appendHexByte(out, byte);
        } else {
            out += c;
        }
    }
}

void appendQuoted(std::string& out, std::string_view text) {
    out += '"';
    for (char c : text) {
        auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (isControl(byte)) {
            out += "\\x";
            appendHexByte(out, byte);
        } else {
            out += c;
        }
    }
    out += '"';
}

void appendHexData(std::string& out, const std::vector<BYTE>& data) {
    for (BYTE byte : data) {
        appendHexByte(out, byte);
    }
}

std::string_view asText(const std::vector<BYTE>& data, std::size_t begin, std::size_t end) {
    return {reinterpret_cast<const char*>(data.data()) + begin, end - begin};
}

// Text with exactly one NUL, at its end.
bool isPlainString(const std::vector<BYTE>& data) {
    if (data.empty() || data.back() != 0) {
        return false;
    }
    for (std::size_t i = 0; i + 1 < data.size(); ++i) {
        if (data[i] == 0) {
            return false;
        }
    }
    return true;
}

// Non-empty strings, each with its NUL, then one more NUL.
bool isPlainStringList(const std::vector<BYTE>& data) {
    if (data.empty() || data.back() != 0) {
        return false;
    }
    const std::size_t body = data.size() - 1;
    if (body == 0) {
        return true;
    }
    if (data[0] == 0 || data[body - 1] != 0) {
        return false;
    }
    for (std::size_t i = 1; i < body; ++i) {
        if (data[i] == 0 && data[i - 1] == 0) {
            return false;
        }
    }
    return true;
}

void appendValueData(std::string& out, const Value& value) {
    const std::vector<BYTE>& data = value.data;
    if ((value.type == REG_SZ || value.type == REG_EXPAND_SZ) && isPlainString(data)) {
        out += value.type == REG_SZ ? "sz:" : "expand_sz:";
        appendQuoted(out, asText(data, 0, data.size() - 1));
    } else if (value.type == REG_MULTI_SZ && isPlainStringList(data)) {
        out += "multi_sz:";
        std::size_t begin = 0;
        while (begin + 1 < data.size()) {
            std::size_t end = begin;
            while (data[end] != 0) {
                ++end;
            }
            if (begin != 0) {
                out += ',';
            }
            appendQuoted(out, asText(data, begin, end));
            begin = end + 1;
        }
    } else if ((value.type == REG_DWORD && data.size() == 4) ||
               (value.type == REG_QWORD && data.size() == 8)) {
        out += value.type == REG_DWORD ? "dword:" : "qword:";
        for (std::size_t i = data.size(); i-- > 0;) {
            appendHexByte(out, data[i]);
        }
    } else if (value.type == REG_BINARY) {
        out += "binary:";
        appendHexData(out, data);
    } else {
        out += "hex(" + std::to_string(value.type) + "):";
        appendHexData(out, data);
    }
}

void appendKey(std::string& out, const Key& key, std::string& path, bool isRoot) {
    if (!isRoot || !key.values().empty()) {
        out += '\n';
        out += '[';
        out += path;
        out += "]\n";
        for (const Value& value : key.values()) {
            if (value.name.empty()) {
                out += '@';
            } else {
                appendQuoted(out, value.name);
            }
            out += '=';
            appendValueData(out, value);
            out += '\n';
        }
    }
    for (const auto& [name, subkey] : key.subkeys()) {
        const std::size_t length = path.size();
        path += '\\';
        appendKeyName(path, subkey->name());
        appendKey(out, *subkey, path, false);
        path.resize(length);
    }
}

// ---- reading ----

class LineParser {
public:
    explicit LineParser(std::string_view line) : rest_(line) {}

    bool atEnd() const { return rest_.empty(); }
    bool consume(std::string_view prefix) {
        if (rest_.substr(0, prefix.size()) != prefix) {
            return false;
        }
        rest_.remove_prefix(prefix.size());
        return true;
    }
    std::optional<std::string> quoted() {
        if (!consume("\"")) {
            return std::nullopt;
        }
        std::string text;
        while (!rest_.empty()) {
            const char c = rest_.front();
            rest_.remove_prefix(1);
            if (c == '"') {
                return text;
            }
            if (c != '\\') {
                text += c;
                continue;
            }
            if (!rest_.empty() && (rest_.front() == '"' || rest_.front() == '\\')) {
                text += rest_.front();
                rest_.remove_prefix(1);
            } else if (consume("x") && rest_.size() >= 2 && hexValue(rest_[0]) >= 0 &&
                       hexValue(rest_[1]) >= 0) {
                text += static_cast<char>(hexValue(rest_[0]) * 16 + hexValue(rest_[1]));
                rest_.remove_prefix(2);
            } else {
                return std::nullopt;
            }
        }
        return std::nullopt;
    }
    std::optional<std::vector<BYTE>> hexBytes() {
        if (rest_.size() % 2 != 0) {
            return std::nullopt;
        }
        std::vector<BYTE> bytes;
        bytes.reserve(rest_.size() / 2);
        for (std::size_t i = 0; i < rest_.size(); i += 2) {
            const int high = hexValue(rest_[i]);
            const int low = hexValue(rest_[i + 1]);
            if (high < 0 || low < 0) {
                return std::nullopt;
            }
            bytes.push_back(static_cast<BYTE>(high * 16 + low));
        }
        rest_ = {};
        return bytes;
    }
    std::optional<DWORD> decimal() {
        std::uint64_t number = 0;
        std::size_t digits = 0;
        while (digits < rest_.size() && rest_[digits] >= '0' && rest_[digits] <= '9') {
            number = number * 10 + static_cast<std::uint64_t>(rest_[digits] - '0');
            if (number > 0xffffffffu) {
                return std::nullopt;
            }
            ++digits;
        }
        if (digits == 0) {
            return std::nullopt;
        }
        rest_.remove_prefix(digits);
        return static_cast<DWORD>(number);
    }

private:
    std::string_view rest_;
};

std::optional<std::string> decodeKeyName(std::string_view text) {
    std::string name;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            name += text[i];
            continue;
        }
        if (i + 2 >= text.size()) {
            return std::nullopt;
        }
        const int high = hexValue(text[i + 1]);
        const int low = hexValue(text[i + 2]);
        if (high < 0 || low < 0) {
            return std::nullopt;
        }
        name += static_cast<char>(high * 16 + low);
        i += 2;
    }
    if (name.empty() || name.size() > maxKeyNameLength || name.find('\0') != std::string::npos) {
        return std::nullopt;
    }
    return name;
}

std::optional<std::vector<BYTE>> fixedWidthNumber(LineParser& parser, std::size_t bytes) {
    auto digits = parser.hexBytes();
    if (!digits || digits->size() != bytes) {
        return std::nullopt;
    }
    // Written most significant digit first, stored little-endian.
    return std::vector<BYTE>(digits->rbegin(), digits->rend());
}

std::optional<std::vector<BYTE>> terminatedText(LineParser& parser) {
    auto text = parser.quoted();
    if (!text || !parser.atEnd()) {
        return std::nullopt;
    }
    std::vector<BYTE> data(text->begin(), text->end());
    data.push_back(0);
    return data;
}

std::optional<std::vector<BYTE>> textList(LineParser& parser) {
    std::vector<BYTE> data;
    bool first = true;
    while (!parser.atEnd()) {
        if (!first && !parser.consume(",")) {
            return std::nullopt;
        }
        auto text = parser.quoted();
        if (!text) {
            return std::nullopt;
        }
        data.insert(data.end(), text->begin(), text->end());
        data.push_back(0);
        first = false;
    }
    data.push_back(0);
    return data;
}

bool parseValueData(LineParser& parser, Value& value) {
    std::optional<std::vector<BYTE>> data;
    if (parser.consume("sz:")) {
        value.type = REG_SZ;
        data = terminatedText(parser);
    } else if (parser.consume("expand_sz:")) {
        value.type = REG_EXPAND_SZ;
        data = terminatedText(parser);
    } else if (parser.consume("multi_sz:")) {
        value.type = REG_MULTI_SZ;
        data = textList(parser);
    } else if (parser.consume("dword:")) {
        value.type = REG_DWORD;
        data = fixedWidthNumber(parser, 4);
    } else if (parser.consume("qword:")) {
        value.type = REG_QWORD;
        data = fixedWidthNumber(parser, 8);
    } else if (parser.consume("binary:")) {
        value.type = REG_BINARY;
        data = parser.hexBytes();
    } else if (parser.consume("hex(")) {
        auto type = parser.decimal();
        if (!type || !parser.consume("):")) {
            return false;
        }
        value.type = *type;
        data = parser.hexBytes();
    }
    if (!data) {
        return false;
    }
    value.data = std::move(*data);
    return true;
}

class StoreParser {
public:
    StoreParser(Tree& tree, FormatError& error) : tree_(tree), error_(error) {}

    bool parse(std::string_view text) {
        std::size_t lineNumber = 0;
        while (!text.empty()) {
            const std::size_t end = text.find('\n');
            if (end == std::string_view::npos) {
                return fail(lineNumber + 1, "the last line does not end in a line feed");
            }
            const std::string_view line = text.substr(0, end);
            text.remove_prefix(end + 1);
            ++lineNumber;
            if (lineNumber == 1) {
                if (line != header) {
                    return fail(1, "the file does not start with \"" + std::string(header) + "\"");
                }
                continue;
            }
            if (line.empty() || line.front() == '#') {
                continue;
            }
            const bool parsed = line.front() == '[' ? parseKeyLine(line) : parseValueLine(line);
            if (!parsed) {
                return fail(lineNumber, error_.message);
            }
        }
        if (lineNumber == 0) {
            return fail(1, "the file is empty");
        }
        return true;
    }

private:
    bool fail(std::size_t line, std::string message) {
        error_.line = line;
        error_.message = std::move(message);
        return false;
    }
    bool reject(std::string message) {
        error_.message = std::move(message);
        return false;
    }

    bool parseKeyLine(std::string_view line) {
        if (line.size() < 2 || line.back() != ']') {
            return reject("a key line must end in ']'");
        }
        std::string_view path = line.substr(1, line.size() - 2);
        const std::size_t rootEnd = path.find('\\');
        const auto root = parseRootName(path.substr(0, rootEnd));
        if (!root) {
            return reject("unknown root key \"" + std::string(path.substr(0, rootEnd)) + "\"");
        }
        Key* key = &tree_.root(*root);
        path = rootEnd == std::string_view::npos ? std::string_view{} : path.substr(rootEnd);
        for (std::size_t depth = 1; !path.empty(); ++depth) {
            if (depth > maxKeyDepth) {
                return reject("a key more than " + std::to_string(maxKeyDepth) +
                              " levels below its root");
            }
            path.remove_prefix(1);  // the separator
            const std::size_t end = path.find('\\');
            const auto name = decodeKeyName(path.substr(0, end));
            if (!name) {
                return reject("malformed key name in \"" + std::string(line) + "\"");
            }
            key = &key->addSubkey(*name);
            path = end == std::string_view::npos ? std::string_view{} : path.substr(end);
        }
        current_ = key;
        return true;
    }

    bool parseValueLine(std::string_view line) {
        if (!current_) {
            return reject("a value line comes before any key line");
        }
        LineParser parser(line);
        Value value;
        if (!parser.consume("@")) {
            auto name = parser.quoted();
            if (!name || name->find('\0') != std::string::npos ||
                name->size() > maxValueNameLength) {
                return reject("malformed value name");
            }
            value.name = std::move(*name);
        }
        if (!parser.consume("=") || !parseValueData(parser, value) || !parser.atEnd()) {
            return reject("malformed value data");
        }
        current_->setValue(value.name, value.type, std::move(value.data));
        return true;
    }

    Tree& tree_;
    FormatError& error_;
    Key* current_ = nullptr;
};

}  // namespace

bool parseStore(std::string_view text, Tree& tree, FormatError& error) {
    tree = Tree{};
    if (StoreParser(tree, error).parse(text)) {
        return true;
    }
    tree = Tree{};
    return false;
}

std::string formatStore(const Tree& tree) {
    std::string out(header);
    out += '\n';
    for (std::size_t r = 0; r < rootCount; ++r) {
        const auto root = static_cast<Root>(r);
        std::string path(rootName(root));
        appendKey(out, tree.root(root), path, true);
    }
    return out;
}

}  // namespace gs::platform::registry
