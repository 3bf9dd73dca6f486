#include <gtest/gtest.h>

#include <unistd.h>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "platform/linux/resource_table_format.h"
#include "platform/win32.h"

namespace {

constexpr char resourceModulePath[] = GS_TEST_RESOURCE_MODULE;
constexpr char plainModulePath[] = GS_TEST_PLAIN_MODULE;

std::vector<unsigned char> bytesOf(HMODULE module, HRSRC resource) {
    HGLOBAL loaded = LoadResource(module, resource);
    const auto* data = static_cast<const unsigned char*>(LockResource(loaded));
    const DWORD size = SizeofResource(module, resource);
    return data == nullptr ? std::vector<unsigned char>{}
                           : std::vector<unsigned char>(data, data + size);
}

std::vector<unsigned char> fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The string of that number from a module's string table, read the way the module reads it.
std::u16string stringResource(HMODULE module, UINT number, WORD language = 0) {
    HRSRC block = FindResourceExA(module, RT_STRING, MAKEINTRESOURCEA((number >> 4) + 1), language);
    if (block == nullptr) {
        return u"<no block>";
    }
    const std::vector<unsigned char> bytes = bytesOf(module, block);
    std::vector<char16_t> units(bytes.size() / 2);
    std::memcpy(units.data(), bytes.data(), units.size() * 2);
    std::size_t at = 0;
    for (UINT skip = number & 15; skip > 0; --skip) {
        if (at >= units.size()) {
            return u"<past end>";
        }
        at += 1 + units[at];
    }
    if (at >= units.size() || at + 1 + units[at] > units.size()) {
        return u"<past end>";
    }
    return std::u16string(units.data() + at + 1, units[at]);
}

// The same resources, whether the module is mapped by the loader or only read as a file.
class Resources : public ::testing::TestWithParam<DWORD> {
protected:
    void SetUp() override {
        module_ = LoadLibraryExA(resourceModulePath, nullptr, GetParam());
        ASSERT_NE(module_, nullptr) << GetLastError();
    }
    void TearDown() override { EXPECT_TRUE(FreeLibrary(module_)); }

    HMODULE module_ = nullptr;
};

TEST_P(Resources, StringTableBlocksHoldSixteenCountedStrings) {
    EXPECT_EQ(stringResource(module_, 101), u"Glimmerstrand");
    EXPECT_EQ(stringResource(module_, 102), u"2-Wave");
    EXPECT_EQ(stringResource(module_, 105), u"Description of Glimmerstrand plugin");
    EXPECT_EQ(stringResource(module_, 104), u"") << "entries without text are empty";
    EXPECT_EQ(stringResource(module_, 96), u"");
    EXPECT_EQ(stringResource(module_, 1), u"first");
    EXPECT_EQ(stringResource(module_, 15), u"last of block 1");
    EXPECT_EQ(stringResource(module_, 4000), u"quote \" and tab\t");
    EXPECT_EQ(stringResource(module_, 200), u"<no block>");

    HRSRC block7 = FindResourceA(module_, MAKEINTRESOURCEA(7), RT_STRING);
    ASSERT_NE(block7, nullptr);
    // 16 counts, "Glimmerstrand" twice (13), "2-Wave" and "4-Wave" (6), the description (35).
    EXPECT_EQ(SizeofResource(module_, block7), (16u + 13 + 13 + 6 + 6 + 35) * 2);
}

TEST_P(Resources, LanguagesOfOneBlock) {
    EXPECT_EQ(stringResource(module_, 102, MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT)),
              u"２ウェーブ");
    EXPECT_EQ(stringResource(module_, 102, 0x0409), u"2-Wave");
    EXPECT_EQ(stringResource(module_, 102), u"2-Wave") << "neutral prefers US English";

    SetLastError(0);
    EXPECT_EQ(FindResourceExA(module_, RT_STRING, MAKEINTRESOURCEA(7), 0x0407), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_LANG_NOT_FOUND));
}

TEST_P(Resources, FileResourcesByIntegerAndStringNamesAndTypes) {
    const std::vector<unsigned char> effect = {1, 2, 3, 4, 5, 0xff, 0, 7, 9};
    EXPECT_EQ(bytesOf(module_, FindResourceA(module_, "EFFECT.OBJ", "OBJ")), effect);
    EXPECT_EQ(bytesOf(module_, FindResourceA(module_, "effect.obj", "Obj")), effect);
    EXPECT_EQ(bytesOf(module_, FindResourceA(module_, "Lower Case", "mixed")), effect);
    EXPECT_EQ(bytesOf(module_, FindResourceA(module_, "#301", RT_RCDATA)), effect);
    EXPECT_EQ(bytesOf(module_, FindResourceA(module_, MAKEINTRESOURCEA(301), "#10")), effect);

    const std::string script = "HKCR\n{\n\tNoRemove CLSID\n}\n";
    HRSRC registry = FindResourceA(module_, MAKEINTRESOURCEA(104), "REGISTRY");
    ASSERT_NE(registry, nullptr);
    const auto bytes = bytesOf(module_, registry);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), script);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(LoadResource(module_, registry)) % 4, 0u);

    const auto typelib = bytesOf(module_, FindResourceA(module_, MAKEINTRESOURCEA(1), "TYPELIB"));
    EXPECT_EQ(std::string(typelib.begin(), typelib.end()), "MSFT generated at build time");

    HRSRC empty = FindResourceA(module_, MAKEINTRESOURCEA(300), RT_RCDATA);
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(SizeofResource(module_, empty), 0u);
    EXPECT_FALSE(FreeResource(LoadResource(module_, empty)));
}

TEST_P(Resources, MissingResourcesSayWhatIsMissing) {
    SetLastError(0);
    EXPECT_EQ(FindResourceA(module_, "EFFECT.OBJ", "NOTYPE"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_TYPE_NOT_FOUND));
    EXPECT_EQ(FindResourceA(module_, MAKEINTRESOURCEA(105), "REGISTRY"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
    EXPECT_EQ(FindResourceA(module_, "#abc", "REGISTRY"), nullptr);
    EXPECT_EQ(FindResourceA(module_, MAKEINTRESOURCEA(999), RT_RCDATA), nullptr)
        << "left out by #ifdef";
}

TEST_P(Resources, ForeignResourceHandlesAreRefused) {
    HRSRC registry = FindResourceA(module_, MAKEINTRESOURCEA(104), "REGISTRY");
    ASSERT_NE(registry, nullptr);
    const auto shifted = reinterpret_cast<HRSRC>(reinterpret_cast<char*>(registry) + 4);
    EXPECT_EQ(LoadResource(module_, shifted), nullptr);
    EXPECT_EQ(SizeofResource(module_, shifted), 0u);
    int local = 0;
    EXPECT_EQ(LoadResource(nullptr, reinterpret_cast<HRSRC>(&local)), nullptr);
    EXPECT_EQ(LoadResource(module_, nullptr), nullptr);
    EXPECT_NE(LoadResource(nullptr, registry), nullptr) << "any module's handle, for null";
}

INSTANTIATE_TEST_SUITE_P(LoadedAndDataFile, Resources,
                         ::testing::Values(DWORD{0}, DWORD{LOAD_LIBRARY_AS_DATAFILE}),
                         [](const auto& instance) {
                             return instance.param == 0 ? std::string("Loaded")
                                                        : std::string("DataFile");
                         });

TEST(ResourceModules, DataFileHandlesServeResourcesOnly) {
    HMODULE data = LoadLibraryExA(resourceModulePath, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(data) & 1, 1u);
    EXPECT_EQ(GetModuleHandleA("ResourceModule.so"), nullptr) << "never mapped by the loader";
    EXPECT_EQ(GetProcAddress(data, "gsTestResourceModuleAnswer"), nullptr);
    char path[MAX_PATH];
    EXPECT_EQ(GetModuleFileNameA(data, path, MAX_PATH), 0u);
    EXPECT_TRUE(FreeLibrary(data));
    EXPECT_FALSE(FreeLibrary(data)) << "freed once";
    EXPECT_EQ(FindResourceA(data, "EFFECT.OBJ", "OBJ"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
}

TEST(ResourceModules, ModulesWithoutResources) {
    for (DWORD flags : {DWORD{0}, DWORD{LOAD_LIBRARY_AS_DATAFILE}}) {
        HMODULE plain = LoadLibraryExA(plainModulePath, nullptr, flags);
        ASSERT_NE(plain, nullptr);
        SetLastError(0);
        EXPECT_EQ(FindResourceA(plain, MAKEINTRESOURCEA(7), RT_STRING), nullptr);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_DATA_NOT_FOUND));
        EXPECT_TRUE(FreeLibrary(plain));
    }
    EXPECT_EQ(FindResourceA(nullptr, MAKEINTRESOURCEA(7), RT_STRING), nullptr)
        << "the test program has none";
}

TEST(ResourceModules, TheProductStringTableIsBlockSevenInUsEnglish) {
    HMODULE module = LoadLibraryExA(GS_TEST_PRODUCT_RESOURCES, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module, nullptr);
    ASSERT_NE(FindResourceExA(module, RT_STRING, MAKEINTRESOURCEA(7), 0x0409), nullptr);
    EXPECT_EQ(stringResource(module, 100, 0x0409), u"Glimmerstrand");
    EXPECT_EQ(stringResource(module, 101, 0x0409), u"Glimmerstrand");
    EXPECT_EQ(stringResource(module, 102, 0x0409), u"2-Wave");
    EXPECT_EQ(stringResource(module, 103, 0x0409), u"4-Wave");
    EXPECT_EQ(stringResource(module, 105, 0x0409), u"Description of Glimmerstrand plugin");
    EXPECT_EQ(stringResource(module, 96), u"");
    EXPECT_EQ(stringResource(module, 104), u"");
    EXPECT_EQ(stringResource(module, 200), u"<no block>");
    EXPECT_EQ(FindResourceA(module, MAKEINTRESOURCEA(1), RT_VERSION), nullptr)
        << "version information is for Windows only";
    EXPECT_TRUE(FreeLibrary(module));
}

// Damaged copies of the module, read as data files: each is refused or served safely.
class DamagedFiles : public ::testing::Test {
protected:
    void SetUp() override {
        original_ = fileBytes(resourceModulePath);
        ASSERT_GT(original_.size(), 1024u);
        // Test cases may run in parallel processes: each writes its own file.
        path_ = ::testing::TempDir() + "damaged_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name() + "_" +
                std::to_string(getpid()) + ".so";
    }
    void TearDown() override { std::remove(path_.c_str()); }

    // Loads the bytes as a data file. When they are accepted, every resource must still be read
    // within the file: a string-table walk and the effect bytes.
    bool loads(const std::vector<unsigned char>& bytes) {
        {
            std::ofstream out(path_, std::ios::binary | std::ios::trunc);
            out.write(reinterpret_cast<const char*>(bytes.data()),
                      static_cast<std::streamsize>(bytes.size()));
        }
        HMODULE module = LoadLibraryExA(path_.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        if (module == nullptr) {
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BAD_EXE_FORMAT));
            return false;
        }
        stringResource(module, 102);
        bytesOf(module, FindResourceA(module, "EFFECT.OBJ", "OBJ"));
        FreeLibrary(module);
        return true;
    }

    std::size_t noteOffset() const {
        const std::string name = gs::platform::resource_table::noteName;
        const auto found =
            std::search(original_.begin(), original_.end(), name.begin(), name.end());
        return static_cast<std::size_t>(found - original_.begin()) - 12;
    }

    std::vector<unsigned char> original_;
    std::string path_;
};

TEST_F(DamagedFiles, TruncatedCopiesAreRefusedUntilTheTableIsWhole) {
    const std::size_t tableEnd = noteOffset() + 200;
    for (std::size_t length = 0; length < tableEnd; length += length < 128 ? 1 : 7) {
        std::vector<unsigned char> truncated(original_.begin(),
                                             original_.begin() + static_cast<long>(length));
        EXPECT_FALSE(loads(truncated)) << length;
    }
    EXPECT_TRUE(loads(original_));
}

TEST_F(DamagedFiles, CorruptHeadersAndTablesAreRefused) {
    auto patched = [&](std::size_t offset, std::uint32_t value) {
        std::vector<unsigned char> bytes = original_;
        std::memcpy(bytes.data() + offset, &value, sizeof value);
        return bytes;
    };
    const std::size_t note = noteOffset();
    const std::size_t descriptor = note + 12 + 16;
    EXPECT_FALSE(loads(patched(0, 0x464c457eu))) << "magic";
    EXPECT_FALSE(loads(patched(0x20, 0xfffffff0u))) << "program headers beyond the file";
    EXPECT_FALSE(loads(patched(0x38, 0xffffu | (0x38u << 16)))) << "program header count";
    EXPECT_FALSE(loads(patched(note + 4, 0x7ffffff0u))) << "note size";
    EXPECT_FALSE(loads(patched(descriptor + 8, 0x10000000u))) << "entry count";
    EXPECT_FALSE(loads(patched(descriptor + 16 + 12, 0xfffffff0u))) << "data offset";
    EXPECT_FALSE(loads(patched(descriptor + 16 + 16, 0xfffffff0u))) << "data size";
    EXPECT_FALSE(loads(patched(descriptor + 16 + 20, 0x80fffff0u))) << "name offset";
}

TEST_F(DamagedFiles, RandomByteFlipsNeverCrash) {
    std::mt19937 random(1234);
    const std::size_t note = noteOffset();
    for (int round = 0; round < 300; ++round) {
        std::vector<unsigned char> bytes = original_;
        for (int flips = 0; flips < 4; ++flips) {
            // Half the flips land in the headers and the table, where they matter.
            const std::size_t at =
                round % 2 ? random() % 64 + (flips % 2 ? note : 0) : note + random() % 256;
            bytes[at] ^= static_cast<unsigned char>(1u << (random() % 8));
        }
        loads(bytes);
    }
}

}  // namespace
