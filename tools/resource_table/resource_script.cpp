#include "tools/resource_table/resource_script.h"

#include <array>
#include <cctype>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>

namespace gs::tools::resource_table {
namespace {

namespace fs = std::filesystem;

// Symbols that resource scripts take from <winresrc.h>, which we do not read.
const std::pair<const char*, const char*> builtInDefinitions[] = {
    {"RC_INVOKED", "1"},
    {"LANG_NEUTRAL", "0x00"},
    {"LANG_ENGLISH", "0x09"},
    {"LANG_JAPANESE", "0x11"},
    {"SUBLANG_NEUTRAL", "0x00"},
    {"SUBLANG_DEFAULT", "0x01"},
    {"SUBLANG_SYS_DEFAULT", "0x02"},
    {"SUBLANG_ENGLISH_US", "0x01"},
    {"SUBLANG_JAPANESE_JAPAN", "0x01"},
    {"VS_VERSION_INFO", "1"},
    {"VS_FFI_FILEFLAGSMASK", "0x3F"},
    {"VS_FF_DEBUG", "0x1"},
    {"VOS_NT_WINDOWS32", "0x40004"},
    {"VOS__WINDOWS32", "0x4"},
    {"VFT_APP", "0x1"},
    {"VFT_DLL", "0x2"},
    {"VFT2_UNKNOWN", "0x0"},
};

struct SourceLine {
    std::string text;
    std::string file;
    int line;
};

[[noreturn]] void fail(const std::string& file, int line, const std::string& message) {
    throw ScriptError(file + ":" + std::to_string(line) + ": " + message);
}

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw ScriptError(path.string() + ": cannot be read");
    }
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Replaces comments by spaces, keeping line breaks and string literals.
std::string stripComments(const std::string& text) {
    std::string out = text;
    enum { code, string, lineComment, blockComment } state = code;
    for (std::size_t i = 0; i < out.size(); ++i) {
        const char c = out[i];
        const char next = i + 1 < out.size() ? out[i + 1] : 0;
        switch (state) {
            case code:
                if (c == '"') {
                    state = string;
                } else if (c == '/' && next == '/') {
                    state = lineComment;
                    out[i] = ' ';
                } else if (c == '/' && next == '*') {
                    state = blockComment;
                    out[i] = out[i + 1] = ' ';
                    ++i;
                }
                break;
            case string:
                if (c == '\\' && next != '\n') {
                    ++i;
                } else if (c == '"' || c == '\n') {
                    state = code;
                }
                break;
            case lineComment:
                if (c == '\n') {
                    state = code;
                } else {
                    out[i] = ' ';
                }
                break;
            case blockComment:
                if (c == '*' && next == '/') {
                    out[i] = out[i + 1] = ' ';
                    ++i;
                    state = code;
                } else if (c != '\n') {
                    out[i] = ' ';
                }
                break;
        }
    }
    return out;
}

std::string trim(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

bool isIdentifierStart(char c) {
    return std::isalpha(static_cast<unsigned char>(c)) || c == '_';
}

bool isIdentifierChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '.' || c == '/' ||
           c == '\\';
}

std::optional<long long> parseNumber(const std::string& text) {
    if (text.empty() || !std::isdigit(static_cast<unsigned char>(text[0]))) {
        return std::nullopt;
    }
    std::string digits = text;
    while (!digits.empty() && (digits.back() == 'L' || digits.back() == 'l' ||
                               digits.back() == 'U' || digits.back() == 'u')) {
        digits.pop_back();
    }
    std::size_t used = 0;
    long long value = 0;
    try {
        const bool hex =
            digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X');
        value = std::stoll(digits, &used, hex ? 16 : 10);
    } catch (const std::exception&) {
        return std::nullopt;
    }
    if (used != digits.size()) {
        return std::nullopt;
    }
    return value;
}

class Preprocessor {
public:
    explicit Preprocessor(const ScriptOptions& options) : options_(options) {
        for (const auto& [name, value] : builtInDefinitions) {
            definitions_[name] = value;
        }
        for (const auto& [name, value] : options.definitions) {
            definitions_[name] = value;
        }
    }

    void run(const fs::path& file, int depth, std::vector<SourceLine>& out) {
        if (depth > 16) {
            throw ScriptError(file.string() + ": includes nested too deeply");
        }
        filesRead_.push_back(file);
        std::istringstream lines(stripComments(readFile(file)));
        std::string text;
        int number = 0;
        const std::size_t conditionDepth = conditions_.size();
        while (std::getline(lines, text)) {
            ++number;
            const std::string line = trim(text);
            if (!line.empty() && line[0] == '#') {
                directive(file, number, line.substr(1), depth, out);
            } else if (active()) {
                out.push_back({text, file.string(), number});
            }
        }
        if (conditions_.size() != conditionDepth) {
            fail(file.string(), number, "#if without #endif");
        }
    }

    const std::map<std::string, std::string>& definitions() const { return definitions_; }
    std::vector<fs::path>& filesRead() { return filesRead_; }

private:
    struct Condition {
        bool parentActive;
        bool active;
        bool taken;  // some branch of this #if has been active
    };

    bool active() const { return conditions_.empty() || conditions_.back().active; }

    void directive(const fs::path& file, int line, const std::string& text, int depth,
                   std::vector<SourceLine>& out) {
        std::istringstream words(text);
        std::string keyword;
        words >> keyword;
        std::string rest;
        std::getline(words, rest);
        rest = trim(rest);
        const std::string where = file.string();
        if (keyword == "if" || keyword == "ifdef" || keyword == "ifndef") {
            bool value = false;
            if (keyword == "if") {
                value = evaluate(rest, where, line) != 0;
            } else {
                value = definitions_.count(rest) != 0;
                value = keyword == "ifdef" ? value : !value;
            }
            const bool parent = active();
            conditions_.push_back({parent, parent && value, value});
        } else if (keyword == "elif" || keyword == "else") {
            if (conditions_.empty()) {
                fail(where, line, "#" + keyword + " without #if");
            }
            Condition& condition = conditions_.back();
            const bool value =
                keyword == "else" || (!condition.taken && evaluate(rest, where, line) != 0);
            condition.active = condition.parentActive && !condition.taken && value;
            condition.taken = condition.taken || value;
        } else if (keyword == "endif") {
            if (conditions_.empty()) {
                fail(where, line, "#endif without #if");
            }
            conditions_.pop_back();
        } else if (!active()) {
            return;
        } else if (keyword == "define") {
            std::istringstream definition(rest);
            std::string name;
            definition >> name;
            if (name.empty() || name.find('(') != std::string::npos) {
                fail(where, line, "only object-like #define is supported");
            }
            std::string value;
            std::getline(definition, value);
            definitions_[name] = trim(value);
        } else if (keyword == "undef") {
            definitions_.erase(rest);
        } else if (keyword == "include") {
            if (rest.size() >= 2 && rest.front() == '"' && rest.back() == '"') {
                const std::string name = rest.substr(1, rest.size() - 2);
                run(locate(name, file.parent_path(), options_.includeDirectories, where, line),
                    depth + 1, out);
            }
            // System headers (<winresrc.h>) only provide the built-in symbols above.
        } else if (keyword == "pragma" || keyword == "error" || keyword == "line" ||
                   keyword.empty()) {
            if (keyword == "error") {
                fail(where, line, "#error " + rest);
            }
        } else {
            fail(where, line, "unsupported directive #" + keyword);
        }
    }

    // #if expressions: integers, symbols, defined(X), !, &&, ||, ==, !=, parentheses.
    long long evaluate(const std::string& text, const std::string& file, int line) {
        std::size_t position = 0;
        std::function<long long()> orExpression;
        auto skipBlanks = [&] {
            while (position < text.size() &&
                   std::isspace(static_cast<unsigned char>(text[position]))) {
                ++position;
            }
        };
        auto accept = [&](const char* token) {
            skipBlanks();
            const std::size_t length = std::char_traits<char>::length(token);
            if (text.compare(position, length, token) == 0) {
                position += length;
                return true;
            }
            return false;
        };
        auto word = [&] {
            skipBlanks();
            const std::size_t start = position;
            while (position < text.size() &&
                   (std::isalnum(static_cast<unsigned char>(text[position])) ||
                    text[position] == '_')) {
                ++position;
            }
            return text.substr(start, position - start);
        };
        std::function<long long()> primary = [&]() -> long long {
            if (accept("!")) {
                return primary() == 0;
            }
            if (accept("(")) {
                const long long value = orExpression();
                if (!accept(")")) {
                    fail(file, line, "missing ) in #if");
                }
                return value;
            }
            const std::string name = word();
            if (name.empty()) {
                fail(file, line, "cannot read #if expression \"" + text + "\"");
            }
            if (name == "defined") {
                const bool parenthesised = accept("(");
                const std::string symbol = word();
                if (parenthesised && !accept(")")) {
                    fail(file, line, "missing ) after defined");
                }
                return definitions_.count(symbol) != 0;
            }
            if (const auto number = parseNumber(name)) {
                return *number;
            }
            const auto found = definitions_.find(name);
            if (found == definitions_.end()) {
                return 0;
            }
            return parseNumber(trim(found->second)).value_or(0);
        };
        auto comparison = [&]() -> long long {
            long long value = primary();
            for (;;) {
                if (accept("==")) {
                    value = value == primary();
                } else if (accept("!=")) {
                    value = value != primary();
                } else {
                    return value;
                }
            }
        };
        auto andExpression = [&]() -> long long {
            long long value = comparison();
            while (accept("&&")) {
                value = comparison() != 0 && value != 0;
            }
            return value;
        };
        orExpression = [&]() -> long long {
            long long value = andExpression();
            while (accept("||")) {
                value = andExpression() != 0 || value != 0;
            }
            return value;
        };
        const long long value = orExpression();
        skipBlanks();
        if (position != text.size()) {
            fail(file, line, "cannot read #if expression \"" + text + "\"");
        }
        return value;
    }

    static fs::path locate(const std::string& name, const fs::path& scriptDirectory,
                           const std::vector<fs::path>& includeDirectories, const std::string& file,
                           int line) {
        std::string portable = name;
        for (char& c : portable) {
            if (c == '\\') {
                c = '/';
            }
        }
        const fs::path path(portable);
        if (path.is_absolute()) {
            return path;
        }
        if (fs::exists(scriptDirectory / path)) {
            return scriptDirectory / path;
        }
        for (const fs::path& directory : includeDirectories) {
            if (fs::exists(directory / path)) {
                return directory / path;
            }
        }
        fail(file, line, "cannot find \"" + name + "\"");
    }

    friend class Parser;

    const ScriptOptions& options_;
    std::map<std::string, std::string> definitions_;
    std::vector<Condition> conditions_;
    std::vector<fs::path> filesRead_;
};

enum class TokenKind { word, number, string, punctuation };

struct Token {
    TokenKind kind;
    std::string text;      // words and punctuation as written; strings as UTF-8 without quotes
    long long number = 0;  // for numbers
    std::string file;
    int line = 0;
};

void appendUtf8(std::string& out, unsigned codePoint) {
    if (codePoint < 0x80) {
        out.push_back(static_cast<char>(codePoint));
    } else if (codePoint < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (codePoint >> 6)));
        out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xE0 | (codePoint >> 12)));
        out.push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    }
}

class Tokenizer {
public:
    Tokenizer(const std::map<std::string, std::string>& definitions) : definitions_(definitions) {}

    std::vector<Token> run(const std::vector<SourceLine>& lines) {
        std::vector<Token> tokens;
        for (const SourceLine& line : lines) {
            scan(line.text, line.file, line.line, tokens, 0);
        }
        return tokens;
    }

private:
    void scan(const std::string& text, const std::string& file, int line,
              std::vector<Token>& tokens, int expansionDepth) {
        std::size_t i = 0;
        while (i < text.size()) {
            const char c = text[i];
            if (std::isspace(static_cast<unsigned char>(c))) {
                ++i;
            } else if (c == '"' || (c == 'L' && i + 1 < text.size() && text[i + 1] == '"')) {
                i += c == 'L' ? 1 : 0;
                tokens.push_back(
                    {TokenKind::string, readString(text, i, file, line), 0, file, line});
            } else if (std::isdigit(static_cast<unsigned char>(c))) {
                const std::size_t start = i;
                while (i < text.size() && std::isalnum(static_cast<unsigned char>(text[i]))) {
                    ++i;
                }
                const std::string digits = text.substr(start, i - start);
                const auto value = parseNumber(digits);
                if (!value) {
                    fail(file, line, "bad number " + digits);
                }
                tokens.push_back({TokenKind::number, digits, *value, file, line});
            } else if (isIdentifierStart(c)) {
                const std::size_t start = i;
                while (i < text.size() && isIdentifierChar(text[i])) {
                    ++i;
                }
                const std::string word = text.substr(start, i - start);
                const auto definition = definitions_.find(word);
                if (definition != definitions_.end()) {
                    if (expansionDepth > 16) {
                        fail(file, line, "definition of " + word + " refers to itself");
                    }
                    scan(definition->second, file, line, tokens, expansionDepth + 1);
                } else {
                    tokens.push_back({TokenKind::word, word, 0, file, line});
                }
            } else if (std::string_view("{},|+-()~&").find(c) != std::string_view::npos) {
                tokens.push_back({TokenKind::punctuation, std::string(1, c), 0, file, line});
                ++i;
            } else {
                fail(file, line, std::string("unexpected character '") + c + "'");
            }
        }
    }

    // Reads a string literal at text[i] == '"'; "" stands for one quote.
    static std::string readString(const std::string& text, std::size_t& i, const std::string& file,
                                  int line) {
        std::string out;
        ++i;
        for (;;) {
            if (i >= text.size()) {
                fail(file, line, "string not closed on its line");
            }
            const char c = text[i++];
            if (c == '"') {
                if (i < text.size() && text[i] == '"') {
                    out.push_back('"');
                    ++i;
                    continue;
                }
                return out;
            }
            if (c != '\\' || i >= text.size()) {
                out.push_back(c);
                continue;
            }
            const char e = text[i++];
            switch (e) {
                case 'n':
                    out.push_back('\n');
                    break;
                case 't':
                    out.push_back('\t');
                    break;
                case 'r':
                    out.push_back('\r');
                    break;
                case 'a':
                    out.push_back('\a');
                    break;
                case 'b':
                    out.push_back('\b');
                    break;
                case 'f':
                    out.push_back('\f');
                    break;
                case 'v':
                    out.push_back('\v');
                    break;
                case '\\':
                    out.push_back('\\');
                    break;
                case '"':
                    out.push_back('"');
                    break;
                case '\'':
                    out.push_back('\'');
                    break;
                case 'x':
                case 'X': {
                    unsigned value = 0;
                    int digits = 0;
                    while (digits < 4 && i < text.size() &&
                           std::isxdigit(static_cast<unsigned char>(text[i]))) {
                        value = value * 16 +
                                static_cast<unsigned>(std::stoi(text.substr(i, 1), nullptr, 16));
                        ++i;
                        ++digits;
                    }
                    if (digits == 0) {
                        fail(file, line, "\\x without digits");
                    }
                    appendUtf8(out, value);
                    break;
                }
                default:
                    if (e >= '0' && e <= '7') {
                        unsigned value = static_cast<unsigned>(e - '0');
                        for (int digits = 1;
                             digits < 3 && i < text.size() && text[i] >= '0' && text[i] <= '7';
                             ++digits) {
                            value = value * 8 + static_cast<unsigned>(text[i++] - '0');
                        }
                        appendUtf8(out, value);
                    } else {
                        out.push_back('\\');
                        out.push_back(e);
                    }
            }
        }
    }

    const std::map<std::string, std::string>& definitions_;
};

std::string upper(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return text;
}

// UTF-8 source text to UTF-16 code units; the tool reads scripts as UTF-8.
std::u16string toUtf16(const std::string& text, const Token& where) {
    std::u16string out;
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        unsigned codePoint = lead;
        std::size_t length = 1;
        if (lead >= 0xF0) {
            length = 4;
            codePoint = lead & 0x07u;
        } else if (lead >= 0xE0) {
            length = 3;
            codePoint = lead & 0x0Fu;
        } else if (lead >= 0xC0) {
            length = 2;
            codePoint = lead & 0x1Fu;
        } else if (lead >= 0x80) {
            fail(where.file, where.line, "string is not UTF-8");
        }
        if (i + length > text.size()) {
            fail(where.file, where.line, "string is not UTF-8");
        }
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) {
                fail(where.file, where.line, "string is not UTF-8");
            }
            codePoint = (codePoint << 6) | (next & 0x3Fu);
        }
        if (codePoint >= 0x10000) {
            codePoint -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (codePoint >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (codePoint & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(codePoint));
        }
        i += length;
    }
    return out;
}

class Parser {
public:
    Parser(std::vector<Token> tokens, Preprocessor& preprocessor, const ScriptOptions& options,
           const fs::path& script)
        : tokens_(std::move(tokens)),
          preprocessor_(preprocessor),
          options_(options),
          script_(script) {}

    std::vector<Resource> run() {
        while (!atEnd()) {
            const Token& first = next();
            if (isWord(first, "LANGUAGE")) {
                language_ = readLanguage();
            } else if (isWord(first, "STRINGTABLE")) {
                readStringTable();
            } else if (isWord(first, "VERSION") || isWord(first, "CHARACTERISTICS")) {
                expression();
            } else {
                readResource(first);
            }
        }
        std::vector<Resource> resources;
        for (const auto& [key, block] : stringBlocks_) {
            Resource resource;
            resource.type.id = 6;
            resource.name.id = static_cast<std::uint16_t>(key.second + 1);
            resource.language = key.first;
            for (const std::u16string& text : block.texts) {
                appendUnit(resource.bytes, static_cast<char16_t>(text.size()));
                for (char16_t unit : text) {
                    appendUnit(resource.bytes, unit);
                }
            }
            resources.push_back(std::move(resource));
        }
        for (Resource& resource : others_) {
            resources.push_back(std::move(resource));
        }
        return resources;
    }

private:
    struct StringBlock {
        std::array<std::u16string, 16> texts;
        std::array<bool, 16> present{};
    };

    static void appendUnit(std::vector<unsigned char>& bytes, char16_t unit) {
        bytes.push_back(static_cast<unsigned char>(unit & 0xFF));
        bytes.push_back(static_cast<unsigned char>(unit >> 8));
    }

    bool atEnd() const { return position_ >= tokens_.size(); }

    const Token& peek() const {
        if (atEnd()) {
            fail(script_.string(), lastLine(), "unexpected end of script");
        }
        return tokens_[position_];
    }

    const Token& next() {
        const Token& token = peek();
        ++position_;
        return token;
    }

    int lastLine() const { return tokens_.empty() ? 0 : tokens_.back().line; }

    static bool isWord(const Token& token, const char* word) {
        return token.kind == TokenKind::word && upper(token.text) == word;
    }

    static bool isPunctuation(const Token& token, char c) {
        return token.kind == TokenKind::punctuation && token.text[0] == c;
    }

    bool acceptPunctuation(char c) {
        if (!atEnd() && isPunctuation(peek(), c)) {
            ++position_;
            return true;
        }
        return false;
    }

    bool isBegin(const Token& token) const {
        return isWord(token, "BEGIN") || isPunctuation(token, '{');
    }
    bool isEnd(const Token& token) const {
        return isWord(token, "END") || isPunctuation(token, '}');
    }

    // Integer expressions: numbers with unary - and ~, binary + - | &, parentheses.
    long long expression() {
        long long value = unary();
        for (;;) {
            if (acceptPunctuation('+')) {
                value += unary();
            } else if (acceptPunctuation('-')) {
                value -= unary();
            } else if (acceptPunctuation('|')) {
                value |= unary();
            } else if (acceptPunctuation('&')) {
                value &= unary();
            } else {
                return value;
            }
        }
    }

    long long unary() {
        if (acceptPunctuation('-')) {
            return -unary();
        }
        if (acceptPunctuation('~')) {
            return ~unary();
        }
        if (acceptPunctuation('(')) {
            const long long value = expression();
            if (!acceptPunctuation(')')) {
                fail(peek().file, peek().line, "missing )");
            }
            return value;
        }
        const Token& token = next();
        if (token.kind != TokenKind::number) {
            fail(token.file, token.line, "expected a number, found \"" + token.text + "\"");
        }
        return token.number;
    }

    std::uint16_t readLanguage() {
        const Token& where = peek();
        const long long primary = expression();
        if (!acceptPunctuation(',')) {
            fail(where.file, where.line, "LANGUAGE needs a primary and a sub-language");
        }
        const long long sub = expression();
        if (primary < 0 || primary > 0x3FF || sub < 0 || sub > 0x3F) {
            fail(where.file, where.line, "language out of range");
        }
        return static_cast<std::uint16_t>((sub << 10) | primary);
    }

    // Memory flags, LANGUAGE, VERSION and CHARACTERISTICS between a resource's head and its body.
    std::uint16_t readOptions() {
        std::uint16_t language = language_;
        while (!atEnd()) {
            const Token& token = peek();
            if (isWord(token, "LANGUAGE")) {
                ++position_;
                language = readLanguage();
            } else if (isWord(token, "VERSION") || isWord(token, "CHARACTERISTICS")) {
                ++position_;
                expression();
            } else if (isWord(token, "DISCARDABLE") || isWord(token, "MOVEABLE") ||
                       isWord(token, "FIXED") || isWord(token, "PURE") || isWord(token, "IMPURE") ||
                       isWord(token, "PRELOAD") || isWord(token, "LOADONCALL") ||
                       isWord(token, "SHARED") || isWord(token, "NONSHARED")) {
                ++position_;
            } else {
                break;
            }
        }
        return language;
    }

    void readStringTable() {
        const std::uint16_t language = readOptions();
        const Token& open = next();
        if (!isBegin(open)) {
            fail(open.file, open.line, "STRINGTABLE needs BEGIN");
        }
        while (!isEnd(peek())) {
            const Token& where = peek();
            const long long id = expression();
            acceptPunctuation(',');
            if (id < 0 || id > 0xFFFF) {
                fail(where.file, where.line, "string id out of range");
            }
            std::string text;
            if (peek().kind != TokenKind::string) {
                fail(peek().file, peek().line, "expected the text of string " + std::to_string(id));
            }
            while (!atEnd() && peek().kind == TokenKind::string) {
                text += next().text;
            }
            const std::u16string units = toUtf16(text, where);
            if (units.size() > 0xFFFF) {
                fail(where.file, where.line, "string too long");
            }
            StringBlock& block = stringBlocks_[{language, static_cast<unsigned>(id >> 4)}];
            if (block.present[id & 15]) {
                fail(where.file, where.line, "string " + std::to_string(id) + " defined twice");
            }
            block.present[id & 15] = true;
            block.texts[id & 15] = units;
        }
        next();
    }

    Identifier identifierOf(const Token& token) {
        Identifier identifier;
        if (token.kind == TokenKind::number) {
            if (token.number < 0 || token.number > 0xFFFF) {
                fail(token.file, token.line, "id out of range");
            }
            identifier.id = static_cast<std::uint16_t>(token.number);
        } else if (token.kind == TokenKind::word || token.kind == TokenKind::string) {
            identifier.name = upper(token.text);
        } else {
            fail(token.file, token.line,
                 "expected a name or a number, found \"" + token.text + "\"");
        }
        return identifier;
    }

    void skipBlock() {
        int depth = 0;
        do {
            const Token& token = next();
            if (isBegin(token)) {
                ++depth;
            } else if (isEnd(token)) {
                --depth;
            }
        } while (depth > 0);
    }

    void readResource(const Token& nameToken) {
        const Identifier name = identifierOf(nameToken);
        const Token& typeToken = next();
        if (isWord(typeToken, "VERSIONINFO")) {
            // The fixed part runs up to the first BEGIN; the block is read over.
            while (!isBegin(peek())) {
                ++position_;
            }
            skipBlock();
            return;
        }
        static const char* const unsupported[] = {"ICON",     "BITMAP",  "CURSOR", "DIALOG",
                                                  "DIALOGEX", "MENU",    "MENUEX", "ACCELERATORS",
                                                  "FONT",     "TOOLBAR", "DLGINIT"};
        for (const char* word : unsupported) {
            if (isWord(typeToken, word)) {
                fail(typeToken.file, typeToken.line,
                     std::string(word) + " resources are not supported");
            }
        }
        Identifier type;
        if (isWord(typeToken, "RCDATA")) {
            type.id = 10;
        } else if (isWord(typeToken, "MESSAGETABLE")) {
            type.id = 11;
        } else if (isWord(typeToken, "HTML")) {
            type.id = 23;
        } else if (isWord(typeToken, "MANIFEST")) {
            type.id = 24;
        } else {
            type = identifierOf(typeToken);
        }
        Resource resource;
        resource.type = type;
        resource.name = name;
        resource.language = readOptions();
        const Token& body = next();
        if (isBegin(body)) {
            fail(body.file, body.line, "inline resource data is not supported; name a file");
        }
        if (body.kind != TokenKind::string && body.kind != TokenKind::word) {
            fail(body.file, body.line, "expected a file name");
        }
        const fs::path file = Preprocessor::locate(
            body.text, script_.parent_path(), options_.includeDirectories, body.file, body.line);
        preprocessor_.filesRead().push_back(file);
        const std::string bytes = readFile(file);
        resource.bytes.assign(bytes.begin(), bytes.end());
        for (const Resource& other : others_) {
            if (other.type == resource.type && other.name == resource.name &&
                other.language == resource.language) {
                fail(body.file, body.line, "resource defined twice");
            }
        }
        others_.push_back(std::move(resource));
    }

    std::vector<Token> tokens_;
    std::size_t position_ = 0;
    Preprocessor& preprocessor_;
    const ScriptOptions& options_;
    fs::path script_;
    // Without a LANGUAGE statement resources are US English, as the resource compiler makes them.
    std::uint16_t language_ = 0x0409;
    std::map<std::pair<std::uint16_t, unsigned>, StringBlock> stringBlocks_;
    std::vector<Resource> others_;
};

}  // namespace

CompiledScript compileResourceScript(const fs::path& script, const ScriptOptions& options) {
    Preprocessor preprocessor(options);
    std::vector<SourceLine> lines;
    preprocessor.run(script, 0, lines);
    Tokenizer tokenizer(preprocessor.definitions());
    Parser parser(tokenizer.run(lines), preprocessor, options, script);
    CompiledScript compiled;
    compiled.resources = parser.run();
    compiled.filesRead = preprocessor.filesRead();
    return compiled;
}

}  // namespace gs::tools::resource_table
