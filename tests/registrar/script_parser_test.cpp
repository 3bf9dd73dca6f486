// The script language on small scripts: tokens, replacements, prefixes, value types, and every
// way a script can fail.
#include <cstring>
#include <string>
#include <vector>

#include "tests/registrar/registrar_fixture.h"

namespace gs::registrar::test {
namespace {

using ::testing::ElementsAre;
using ::testing::UnorderedElementsAre;

// A script writing below the scratch key: `items` is the scratch key's block.
std::string scratchScript(const std::string& items) {
    return "HKCU\r\n{\r\n    NoRemove " + std::string(scratchKey) + "\r\n    {\r\n" + items +
           "\r\n    }\r\n}\r\n";
}

std::string value(const std::string& path, const std::string& name) {
    const std::string key = "HKCU\\" + std::string(scratchKey) + (path.empty() ? "" : "\\" + path);
    const Snapshot snapshot = scratchSnapshot();
    const auto found = snapshot.find(key + " : " + name);
    return found == snapshot.end() ? "(none)" : found->second;
}

bool exists(const std::string& path) {
    return scratchSnapshot().count("HKCU\\" + std::string(scratchKey) + "\\" + path) == 1;
}

using Script = RegistryTest;

TEST(Tokens, QuotedAndPlainTokensEndWhereTheLanguageSays) {
    Registrar registrar;
    ScriptParser parser(registrar);
    char text[] = "  plain\t'it''s' 'glued'next key=s ''''\r\n'unterminated";
    parser.setCursor(text);
    std::vector<std::string> tokens;
    TokenBuffer token;
    while (SUCCEEDED(parser.nextToken(token))) {
        tokens.emplace_back(token);
    }
    EXPECT_THAT(tokens, ElementsAre("plain", "it's", "glued", "next", "key=s", "'"));
    EXPECT_STREQ(token, "unterminated");  // what was read before the text ran out

    // 4094 bytes fit the 4096-byte buffer with its NUL; one more does not.
    std::string longest(4094, 'k');
    std::string tooLong = "'" + std::string(4095, 'q') + "'";
    parser.setCursor(longest.data());
    ASSERT_EQ(parser.nextToken(token), S_OK);
    EXPECT_EQ(std::strlen(token), 4094u);
    parser.setCursor(tooLong.data());
    EXPECT_EQ(parser.nextToken(token), DISP_E_EXCEPTION);
    EXPECT_LT(std::strlen(token), sizeof token);
    char blank[] = " \r\n\t";
    parser.setCursor(blank);
    EXPECT_EQ(parser.nextToken(token), DISP_E_EXCEPTION);
}

TEST(Preprocessing, ReplacesVariablesAndGrowsItsBuffer) {
    Registrar registrar;
    addModuleReplacements(registrar, u"C:\\It's\\Glimmerstrand.dll");
    const std::u16string big(3000, u'x');
    ASSERT_EQ(registrar.addReplacement(OLESTR("Big"), WideString(big.begin(), big.end()).c_str()),
              S_OK);
    ASSERT_EQ(registrar.addReplacement(OLESTR("module"), OLESTR("shadowed")), S_OK);
    EXPECT_EQ(registrar.addReplacement(nullptr, OLESTR("x")), E_INVALIDARG);
    ScriptParser parser(registrar);

    LPSTR result = nullptr;
    ASSERT_EQ(parser.preprocess("100%% '%MODULE%' [%APPID%] %Module_Raw%", &result), S_OK);
    EXPECT_STREQ(result, "100% 'C:\\It''s\\Glimmerstrand.dll' [] C:\\It''s\\Glimmerstrand.dll");
    CoTaskMemFree(result);
    // A short script starts with 1000 bytes; three replacements need several doublings.
    ASSERT_EQ(parser.preprocess("%Big%%BIG%%big%", &result), S_OK);
    EXPECT_EQ(std::string(result), std::string(9000, 'x'));
    CoTaskMemFree(result);

    const std::string longestName = "%" + std::string(31, 'v') + "%";
    const std::string tooLongName = "%" + std::string(32, 'v') + "%";
    EXPECT_EQ(parser.preprocess(longestName.c_str(), &result), DISP_E_EXCEPTION);  // not found
    EXPECT_EQ(parser.preprocess(tooLongName.c_str(), &result), E_FAIL);
    EXPECT_EQ(parser.preprocess("50% off", &result), DISP_E_EXCEPTION);
    EXPECT_EQ(result, nullptr);
}

TEST_F(Script, WritesEachValueType) {
    ASSERT_EQ(runScript(scratchScript("        val s = s 'text'\r\n"
                                      "        val d = d '4294967295'\r\n"
                                      "        val mixed = b 'aBcD'\r\n"
                                      "        val junk = b 'zz0f'\r\n"
                                      "        val empty = B ''\r\n"
                                      "        val m = m 'a\\0b\\0'\r\n"
                                      "        val none = M '\\0'\r\n"
                                      "        'Quoted Key' = S '%%'"),
                        true),
              S_OK);
    EXPECT_EQ(value("", "s"), "sz 'text'");
    EXPECT_EQ(value("", "d"), "dword ff ff ff ff");
    EXPECT_EQ(value("", "mixed"), "binary ab cd");
    EXPECT_EQ(value("", "junk"), "binary 00 0f");  // a non-hexadecimal character counts as 0
    EXPECT_EQ(value("", "empty"), "binary");
    EXPECT_EQ(value("", "m"), "multi_sz 61 00 62 00 00");
    EXPECT_EQ(value("", "none"), "multi_sz 00");
    EXPECT_EQ(value("Quoted Key", "@"), "sz '%'");
}

TEST_F(Script, PrefixesAndKeyItemsParseAsWritten) {
    createKey(HKEY_CURRENT_USER, std::string(scratchKey) + "\\clsid\\Kept");
    createKey(HKEY_CURRENT_USER, std::string(scratchKey) + "\\Gone\\Child");
    createKey(HKEY_CURRENT_USER, std::string(scratchKey) + "\\Rebuilt\\Old");
    ASSERT_EQ(runScript(scratchScript("        ForceRemove CLSID\r\n"
                                      "        {\r\n"
                                      "            val x = s 'y'\r\n"
                                      "        }\r\n"
                                      "        ForceRemove Rebuilt\r\n"
                                      "        Delete Gone = s 'ignored'\r\n"
                                      "        NoRemove ForceRemove Thing\r\n"
                                      "        Plain {0000-1111}\r\n"
                                      "        Key=s 'v'"),
                        true),
              S_OK);
    const Snapshot snapshot = scratchSnapshot();
    std::vector<std::string> keys;
    for (const auto& [name, contents] : snapshot) {
        if (contents == "key") {
            keys.push_back(name.substr(std::strlen("HKCU\\") + std::strlen(scratchKey)));
        }
    }
    // CLSID is protected from ForceRemove; Gone is deleted and not re-created; NoRemove before
    // ForceRemove makes two keys; a class id after a key without a block is a key of its own;
    // a name against its '=' is one token.
    EXPECT_THAT(keys,
                UnorderedElementsAre("", "\\clsid", "\\clsid\\Kept", "\\Rebuilt", "\\ForceRemove",
                                     "\\Thing", "\\Plain", "\\{0000-1111}", "\\Key=s", "\\v"));
    EXPECT_EQ(value("clsid", "x"), "sz 'y'");

    // Unregistering: Delete is an ordinary key item, and the class id again an item of its own.
    createKey(HKEY_CURRENT_USER, std::string(scratchKey) + "\\Gone");
    ASSERT_EQ(runScript(scratchScript("        NoRemove clsid\r\n"
                                      "        {\r\n"
                                      "            NoRemove Kept\r\n"
                                      "            val x = s 'y'\r\n"
                                      "        }\r\n"
                                      "        Delete Gone\r\n"
                                      "        Plain {0000-1111}\r\n"
                                      "        Key=s 'v'\r\n"
                                      "        NoRemove Rebuilt\r\n"
                                      "        NoRemove ForceRemove Thing"),
                        false),
              S_OK);
    keys.clear();
    for (const auto& [name, contents] : scratchSnapshot()) {
        if (contents == "key") {
            keys.push_back(name.substr(std::strlen("HKCU\\") + std::strlen(scratchKey)));
        }
    }
    EXPECT_THAT(keys,
                UnorderedElementsAre("", "\\clsid", "\\clsid\\Kept", "\\Rebuilt", "\\ForceRemove"));
    EXPECT_EQ(value("clsid", "x"), "(none)");
}

struct FailingItem {
    const char* what;
    std::string items;
    HRESULT registering;
    HRESULT unregistering;  // S_OK where unregistering does not look at what is wrong
};

class Failures : public RegistryTest {
protected:
    void SetUp() override {
        RegistryTest::SetUp();
        createKey(HKEY_CURRENT_USER, std::string(scratchKey) + "\\Kept");
        before_ = scratchSnapshot();
    }

    // Checks that a registration that failed kept the block before it, took back what the
    // failing block had written and did not reach the block after it.
    void expectFailingBlockTakenBack() {
        EXPECT_EQ(value("Earlier", "@"), "sz 'stays'");
        EXPECT_FALSE(exists("Later"));
        EXPECT_FALSE(exists("Partial"));
        EXPECT_EQ(value("", "direct"), "(none)");
        EXPECT_EQ(value("", "x"), "(none)");
        EXPECT_TRUE(exists("Kept"));
        ASSERT_EQ(runScript(earlierBlock, false), S_OK);
        EXPECT_EQ(scratchSnapshot(), before_);
    }

    const std::string earlierBlock = scratchScript("        Earlier = s 'stays'");
    const std::string laterBlock = scratchScript("        Later");
    // Written before the failing item, so there is something to take back.
    const std::string partialItems =
        "        Partial\r\n        {\r\n            val p = s 'p'\r\n        }\r\n"
        "        val direct = s 'd'\r\n";
    Snapshot before_;
};

TEST_F(Failures, AFailingItemFailsItsBlockWhichIsTakenBack) {
    const std::vector<FailingItem> failures = {
        {"value without '='", "val x s 'y'", DISP_E_EXCEPTION, DISP_E_EXCEPTION},
        {"backslash in a key name", "A\\B", DISP_E_EXCEPTION, DISP_E_EXCEPTION},
        {"backslash in a ForceRemove name", "ForceRemove A\\B", DISP_E_EXCEPTION, DISP_E_EXCEPTION},
        {"unknown type letter", "val x = q 'y'", DISP_E_EXCEPTION, S_OK},
        {"unterminated quote", "'open", DISP_E_EXCEPTION, DISP_E_EXCEPTION},
        {"token too long", "'" + std::string(4095, 'n') + "'", DISP_E_EXCEPTION, DISP_E_EXCEPTION},
        {"binary of odd length", "val x = b 'abc'", E_FAIL, S_OK},
        {"value name too long", "val " + std::string(260, 'v') + " = s 'x'", DISP_E_EXCEPTION,
         DISP_E_EXCEPTION},
        {"number that is none", "val x = d 'twelve'", DISP_E_EXCEPTION, S_OK},
        {"number too large", "val x = d '4294967296'", DISP_E_EXCEPTION, S_OK},
        {"strings without their final \\0", "val x = m 'a\\0b'", DISP_E_EXCEPTION, S_OK},
        {"strings without any \\0", "val x = m ''", DISP_E_EXCEPTION, S_OK},
        {"block after a value", "val x = s 'y'\r\n{\r\n}", DISP_E_EXCEPTION, DISP_E_EXCEPTION},
        {"block after Delete", "Delete Kept\r\n{\r\n}", DISP_E_EXCEPTION, DISP_E_EXCEPTION},
    };
    for (const FailingItem& failure : failures) {
        SCOPED_TRACE(failure.what);
        const std::string script = scratchScript(partialItems + "        " + failure.items);
        EXPECT_EQ(runScript(earlierBlock + script + laterBlock, true), failure.registering);
        const Snapshot registered = scratchSnapshot();
        EXPECT_EQ(runScript(script, false), failure.unregistering);
        EXPECT_EQ(scratchSnapshot(), registered);
        expectFailingBlockTakenBack();
    }
}

TEST_F(Failures, ARootBlockThatCannotBeReadStopsTheScript) {
    EXPECT_EQ(runScript(earlierBlock + "HKXX\r\n{\r\n}\r\n" + laterBlock, true), DISP_E_EXCEPTION);
    expectFailingBlockTakenBack();
    EXPECT_EQ(runScript(earlierBlock + "HKCU\r\n[\r\n}\r\n" + laterBlock, true), DISP_E_EXCEPTION);
    expectFailingBlockTakenBack();
    const std::string unfinished =
        "HKCU\r\n{\r\n    NoRemove " + std::string(scratchKey) + "\r\n    {\r\n" + partialItems;
    EXPECT_EQ(runScript(earlierBlock + unfinished, true), DISP_E_EXCEPTION);
    expectFailingBlockTakenBack();
    EXPECT_EQ(runScript(unfinished, false), DISP_E_EXCEPTION);
}

TEST_F(Failures, AVariableThatCannotBeReplacedStopsBeforeAnythingIsWritten) {
    const std::pair<const char*, HRESULT> variables[] = {
        {"'50%'", DISP_E_EXCEPTION},
        {"'%NOPE%'", DISP_E_EXCEPTION},
        {"'%NoSuchVariableWithAVeryLongNames%'", E_FAIL},  // a 32-byte name
    };
    for (const auto& [text, expected] : variables) {
        SCOPED_TRACE(text);
        const std::string script =
            earlierBlock + scratchScript(std::string("        val x = s ") + text) + laterBlock;
        EXPECT_EQ(runScript(script, true), expected);
        EXPECT_EQ(scratchSnapshot(), before_);
    }
}

TEST_F(Script, ABrokenBlockOfAMissingKeyEndsUnregistration) {
    createKey(HKEY_CURRENT_USER, std::string(scratchKey) + "\\Outer\\Inner");
    createKey(HKEY_CURRENT_USER, std::string(scratchKey) + "\\Outer\\Sibling");
    // Missing's block is read without being applied; its broken item must not let Sibling, which
    // the script names inside Missing, be taken for a subkey of Outer.
    const std::string script = scratchScript(
        "        NoRemove Outer\r\n"
        "        {\r\n"
        "            Missing\r\n"
        "            {\r\n"
        "                Bad\\Name\r\n"
        "                Sibling\r\n"
        "            }\r\n"
        "        }");
    const Snapshot before = scratchSnapshot();
    EXPECT_EQ(runScript(script, false), DISP_E_EXCEPTION);
    EXPECT_EQ(scratchSnapshot(), before);
}

TEST_F(Script, NestingDeeperThanTheRegistryIsRefused) {
    std::string deep = "HKCU\r\n{\r\n";
    for (int level = 0; level < maxBlockNesting + 10; ++level) {
        deep += "K\r\n{\r\n";
    }
    for (int level = 0; level <= maxBlockNesting + 10; ++level) {
        deep += "}\r\n";
    }
    EXPECT_EQ(runScript(deep, false), DISP_E_EXCEPTION);
    EXPECT_EQ(runScript(deep, true), DISP_E_EXCEPTION);
    // The undo meets the same limit, so keys up to it stay; nothing deeper was written.
    const Snapshot written = snapshotOf(HKEY_CURRENT_USER, "HKCU", "K");
    EXPECT_LE(written.size(), static_cast<std::size_t>(maxBlockNesting));
    recurseDeleteKey(HKEY_CURRENT_USER, "K");
}

TEST_F(Script, EmptyScriptsDoNothing) {
    EXPECT_EQ(runScript("", true), S_OK);
    EXPECT_EQ(runScript("", false), S_OK);
    EXPECT_EQ(runScript("HKCU\r\n{\r\n}\r\n  \r\n", true), S_OK);
}

}  // namespace
}  // namespace gs::registrar::test
