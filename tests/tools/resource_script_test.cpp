#include <gtest/gtest.h>

#include <unistd.h>

#include <fstream>
#include <string>

#include "tools/resource_table/resource_script.h"
#include "tools/resource_table/table_writer.h"

namespace {

namespace fs = std::filesystem;
using namespace gs::tools::resource_table;

class ResourceScript : public ::testing::Test {
protected:
    void SetUp() override {
        // Test cases run as parallel processes: each has a folder of its own.
        directory_ =
            fs::path(::testing::TempDir()) / ("resource_script_test-" + std::to_string(getpid()));
        fs::remove_all(directory_);
        fs::create_directories(directory_ / "include");
    }
    void TearDown() override { fs::remove_all(directory_); }

    void write(const fs::path& name, const std::string& text) {
        std::ofstream(directory_ / name, std::ios::binary) << text;
    }

    CompiledScript compile(const std::string& script, ScriptOptions options = {}) {
        write("script.rc", script);
        return compileResourceScript(directory_ / "script.rc", options);
    }

    std::string errorOf(const std::string& script) {
        try {
            compile(script);
        } catch (const ScriptError& error) {
            return error.what();
        }
        return "no error";
    }

    fs::path directory_;
};

std::u16string entryOf(const Resource& block, int index) {
    std::size_t at = 0;
    auto unit = [&](std::size_t i) {
        return static_cast<char16_t>(block.bytes[2 * i] | (block.bytes[2 * i + 1] << 8));
    };
    for (int skip = 0; skip < index; ++skip) {
        at += 1 + unit(at);
    }
    std::u16string text;
    for (std::size_t i = 0; i < unit(at); ++i) {
        text.push_back(unit(at + 1 + i));
    }
    return text;
}

TEST_F(ResourceScript, StringTablesBecomeBlocksOfSixteenPerLanguage) {
    const CompiledScript compiled = compile(R"(
        LANGUAGE 9, 1
        STRINGTABLE
        BEGIN
            100, "Glimmerstrand"   // a comma after the id is allowed
            105 "Desc" "ription"
            16 "second block"
        END
        STRINGTABLE LANGUAGE 0x11, 1 { 100 L"日本" }
    )");
    ASSERT_EQ(compiled.resources.size(), 3u);
    const Resource& block2 = compiled.resources[0];
    EXPECT_EQ(block2.type.id, 6);
    EXPECT_EQ(block2.name.id, 2) << "ids 16..31";
    EXPECT_EQ(block2.language, 0x0409);
    EXPECT_EQ(entryOf(block2, 0), u"second block");
    EXPECT_EQ(block2.bytes.size(), (16u + 12) * 2);

    const Resource& block7 = compiled.resources[1];
    EXPECT_EQ(block7.name.id, 7);
    EXPECT_EQ(entryOf(block7, 4), u"Glimmerstrand");
    EXPECT_EQ(entryOf(block7, 9), u"Description");
    EXPECT_EQ(entryOf(block7, 8), u"");

    const Resource& japanese = compiled.resources[2];
    EXPECT_EQ(japanese.language, 0x0411);
    EXPECT_EQ(entryOf(japanese, 4), u"日本");
}

TEST_F(ResourceScript, FileResourcesAreFoundBesideTheScriptThenInIncludeFolders) {
    write("beside.bin", "abc");
    write("include/generated.bin", "xyz");
    ScriptOptions options;
    options.includeDirectories.push_back(directory_ / "include");
    const CompiledScript compiled = compile(R"(
        104 REGISTRY "beside.bin"
        EFFECT.OBJ OBJ "generated.bin"
        "name" 10 beside.bin
    )",
                                            options);
    ASSERT_EQ(compiled.resources.size(), 3u);
    EXPECT_EQ(compiled.resources[0].name.id, 104);
    EXPECT_EQ(compiled.resources[0].type.name, "REGISTRY");
    EXPECT_EQ(std::string(compiled.resources[1].bytes.begin(), compiled.resources[1].bytes.end()),
              "xyz");
    EXPECT_EQ(compiled.resources[1].name.name, "EFFECT.OBJ");
    EXPECT_EQ(compiled.resources[2].name.name, "NAME");
    EXPECT_EQ(compiled.resources[2].type.id, 10);
    EXPECT_EQ(compiled.filesRead.size(), 4u) << "the script and three resource files";
}

TEST_F(ResourceScript, PreprocessorDefinitionsConditionsAndIncludes) {
    write("include/ids.h", "#define IDS_TITLE 101\n#define HAVE_TITLE\n");
    ScriptOptions options;
    options.includeDirectories.push_back(directory_ / "include");
    options.definitions.emplace_back("FROM_COMMAND_LINE", "1");
    const CompiledScript compiled = compile(R"(
        #include "ids.h"
        #include <winresrc.h>
        #pragma code_page(65001)
        LANGUAGE LANG_ENGLISH, SUBLANG_ENGLISH_US
        STRINGTABLE
        BEGIN
        #if defined(HAVE_TITLE) && FROM_COMMAND_LINE
            IDS_TITLE "title"
        #elif 1
            IDS_TITLE "wrong branch"
        #else
            IDS_TITLE "wrong branch"
        #endif
        #ifndef HAVE_TITLE
            200 "left out"
        #endif
        END
        /* a VERSIONINFO block is read over:
           nothing reads it on Linux */
        VS_VERSION_INFO VERSIONINFO FILEVERSION 1,0,0,1 FILEOS VOS_NT_WINDOWS32
        BEGIN
            BLOCK "StringFileInfo" BEGIN BLOCK "040904b0" BEGIN VALUE "A", "B" END END
        END
    )",
                                            options);
    ASSERT_EQ(compiled.resources.size(), 1u);
    EXPECT_EQ(entryOf(compiled.resources[0], 5), u"title");
}

TEST_F(ResourceScript, MistakesAreReportedWithTheirLine) {
    struct Case {
        const char* script;
        const char* message;
    };
    const Case cases[] = {
        {"STRINGTABLE\nBEGIN\n 1 \"a\"\n 1 \"b\"\nEND\n", ":4: string 1 defined twice"},
        {"STRINGTABLE\nBEGIN\n 70000 \"a\"\nEND\n", ":3: string id out of range"},
        {"\n1 RCDATA \"missing.bin\"\n", ":2: cannot find \"missing.bin\""},
        {"1 ICON \"x.ico\"\n", ":1: ICON resources are not supported"},
        {"1 RCDATA BEGIN 1, 2 END\n", ":1: inline resource data is not supported"},
        {"#if 1\nSTRINGTABLE { 1 \"a\" }\n", "#if without #endif"},
        {"STRINGTABLE\nBEGIN\n 1 \"open\nEND\n", ":3: string not closed"},
        {"#define F(x) x\n", ":1: only object-like #define"},
        {"STRINGTABLE\nBEGIN\n 1 \"a\"\n", "unexpected end of script"},
    };
    for (const Case& c : cases) {
        EXPECT_NE(errorOf(c.script).find(c.message), std::string::npos)
            << c.script << " gave " << errorOf(c.script);
    }
}

TEST(TableWriter, DescriptorLaysOutEntriesNamesAndAlignedData) {
    std::vector<Resource> resources(2);
    resources[0].type.id = 6;
    resources[0].name.id = 7;
    resources[0].language = 0x409;
    resources[0].bytes = {1, 2, 3};
    resources[1].type.name = "OBJ";
    resources[1].name.name = "EFFECT.OBJ";
    resources[1].bytes = {9};
    const std::vector<unsigned char> table = buildTableDescriptor(resources);
    auto word = [&](std::size_t offset) {
        return static_cast<std::uint32_t>(table[offset] | (table[offset + 1] << 8) |
                                          (table[offset + 2] << 16) | (table[offset + 3] << 24));
    };
    EXPECT_EQ(word(0), 0x54525347u);
    EXPECT_EQ(word(8), 2u);
    EXPECT_EQ(word(16), 6u);
    EXPECT_EQ(word(20), 7u);
    EXPECT_EQ(word(24), 0x409u);
    const std::uint32_t typeName = word(36);
    ASSERT_TRUE(typeName & 0x80000000u);
    EXPECT_STREQ(reinterpret_cast<const char*>(table.data() + (typeName & 0x7fffffffu)), "OBJ");
    for (std::size_t entry : {16u, 36u}) {
        EXPECT_EQ(word(entry + 12) % 4, 0u) << "data aligned";
        EXPECT_LE(word(entry + 12) + word(entry + 16), table.size());
    }
    EXPECT_EQ(table[word(48)], 9);
    EXPECT_EQ(table.size() % 4, 0u);
}

}  // namespace
