// The registry calls against a scratch store: Windows semantics, persistence, refused access and
// an unreadable store.
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/platform/registry_fixture.h"

namespace gs::platform::registry::test {
namespace {

using Registry = ScratchRegistry;

TEST_F(Registry, CreatesOpensAndComparesNamesWithoutCase) {
    HKEY key = nullptr;
    DWORD disposition = 0;
    ASSERT_EQ(
        RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Vendor\\Tool", 0, nullptr,
                        REG_OPTION_NON_VOLATILE, KEY_READ | KEY_WRITE, nullptr, &key, &disposition),
        ERROR_SUCCESS);
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
    ASSERT_EQ(setString(HKEY_CURRENT_USER, "software\\VENDOR\\tool", "Name", "first"),
              ERROR_SUCCESS);
    ASSERT_EQ(setString(HKEY_CURRENT_USER, "SOFTWARE\\vendor\\TOOL", "name", "second"),
              ERROR_SUCCESS);
    EXPECT_EQ(stringValue(HKEY_CURRENT_USER, "Software\\Vendor\\Tool", "NAME"), "second");

    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Vendor", 0, nullptr, 0, KEY_READ,
                              nullptr, &key, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
    char name[8];
    DWORD length = sizeof name;
    ASSERT_EQ(RegEnumKeyExA(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_STREQ(name, "Tool");  // the case it was created with
    EXPECT_EQ(length, 4u);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);

    EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, "Software\\Vendor"));  // roots are separate
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "\\Software", 0, KEY_READ, &key),
              ERROR_BAD_PATHNAME);
    EXPECT_TRUE(keyExists(HKEY_CURRENT_USER, "Software\\\\Vendor\\"));
}

TEST_F(Registry, EnumeratesKeysInNameOrderAndValuesInSettingOrder) {
    for (const char* name : {"beta", "Alpha", "gamma"}) {
        ASSERT_EQ(
            setString(HKEY_CLASSES_ROOT, (std::string("Order\\") + name).c_str(), nullptr, name),
            ERROR_SUCCESS);
    }
    for (const char* name : {"z", "a", "m"}) {
        ASSERT_EQ(setString(HKEY_CLASSES_ROOT, "Order", name, name), ERROR_SUCCESS);
    }
    ASSERT_EQ(setString(HKEY_CLASSES_ROOT, "Order", "A", "again"), ERROR_SUCCESS);

    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, "Order", 0, KEY_READ, &key), ERROR_SUCCESS);
    std::vector<std::string> keys;
    char name[32];
    for (DWORD i = 0;; ++i) {
        DWORD length = sizeof name;
        const LSTATUS status =
            RegEnumKeyExA(key, i, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS) {
            break;
        }
        ASSERT_EQ(status, ERROR_SUCCESS);
        keys.push_back(name);
    }
    EXPECT_EQ(keys, (std::vector<std::string>{"Alpha", "beta", "gamma"}));

    std::vector<std::string> values;
    for (DWORD i = 0;; ++i) {
        DWORD length = sizeof name;
        BYTE data[16];
        DWORD size = sizeof data;
        const LSTATUS status = RegEnumValueA(key, i, name, &length, nullptr, nullptr, data, &size);
        if (status == ERROR_NO_MORE_ITEMS) {
            break;
        }
        ASSERT_EQ(status, ERROR_SUCCESS);
        values.push_back(std::string(name) + "=" + reinterpret_cast<char*>(data));
    }
    EXPECT_EQ(values, (std::vector<std::string>{"z=z", "a=again", "m=m"}));

    DWORD subkeys = 0, longestKey = 0, count = 0, longestName = 0, largest = 0;
    ASSERT_EQ(RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subkeys, &longestKey, nullptr,
                               &count, &longestName, &largest, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(subkeys, 3u);
    EXPECT_EQ(longestKey, 5u);
    EXPECT_EQ(count, 3u);
    EXPECT_EQ(longestName, 1u);
    EXPECT_EQ(largest, 6u);
    RegCloseKey(key);
}

TEST_F(Registry, ReportsSizesAndShortBuffersTheWindowsWay) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Sizes", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &key, nullptr),
              ERROR_SUCCESS);
    const BYTE blob[] = {1, 2, 3, 4, 5};
    ASSERT_EQ(RegSetValueExA(key, "blob", 0, REG_BINARY, blob, sizeof blob), ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExA(key, "bad", 0, REG_BINARY, nullptr, 3), ERROR_NOACCESS);

    DWORD type = 0;
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExA(key, "blob", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
    EXPECT_EQ(size, 5u);
    BYTE data[8] = {};
    size = 2;
    EXPECT_EQ(RegQueryValueExA(key, "blob", nullptr, nullptr, data, &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, 5u);
    EXPECT_EQ(data[0], 0);  // nothing copied
    size = sizeof data;
    EXPECT_EQ(RegQueryValueExA(key, "blob", nullptr, nullptr, data, &size), ERROR_SUCCESS);
    EXPECT_EQ(std::memcmp(data, blob, sizeof blob), 0);
    EXPECT_EQ(RegQueryValueExA(key, "missing", nullptr, nullptr, data, &size),
              ERROR_FILE_NOT_FOUND);

    ASSERT_EQ(
        RegCreateKeyExA(key, "A-rather-long-name", 0, nullptr, 0, KEY_READ, nullptr, &key, nullptr),
        ERROR_SUCCESS);
    RegCloseKey(key);
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Sizes", 0, KEY_READ, &key), ERROR_SUCCESS);
    char name[4] = "xyz";
    DWORD length = sizeof name;
    EXPECT_EQ(RegEnumKeyExA(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr),
              ERROR_MORE_DATA);
    RegCloseKey(key);

    std::string deepest = "Deep";
    for (std::size_t level = 1; level < 512; ++level) {
        deepest += "\\k";
    }
    EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, deepest.c_str(), 0, nullptr, 0, KEY_READ, nullptr,
                              &key, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, (deepest + "\\k").c_str(), 0, nullptr, 0,
                              KEY_READ, nullptr, &key, nullptr),
              ERROR_INVALID_PARAMETER);  // a registry is 512 levels deep at most

    const std::string tooLong(256, 'k');
    EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, tooLong.c_str(), 0, nullptr, 0, KEY_READ, nullptr,
                              &key, nullptr),
              ERROR_FILENAME_EXCED_RANGE);
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, tooLong.c_str(), 0, KEY_READ, &key),
              ERROR_FILE_NOT_FOUND);
}

TEST_F(Registry, DeletesOnlyLeafKeysAndHonoursHandleRights) {
    ASSERT_EQ(setString(HKEY_CLASSES_ROOT, "Tree\\Leaf", "v", "x"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyA(HKEY_CLASSES_ROOT, "Tree"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteKeyA(HKEY_CLASSES_ROOT, "Tree\\Missing"), ERROR_FILE_NOT_FOUND);

    HKEY readOnly = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, "Tree\\Leaf", 0, KEY_READ, &readOnly),
              ERROR_SUCCESS);
    const BYTE one[] = {1};
    EXPECT_EQ(RegSetValueExA(readOnly, "w", 0, REG_BINARY, one, 1), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteValueA(readOnly, "v"), ERROR_ACCESS_DENIED);

    HKEY writeOnly = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, "Tree\\Leaf", 0, KEY_SET_VALUE, &writeOnly),
              ERROR_SUCCESS);
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExA(writeOnly, "v", nullptr, nullptr, nullptr, &size),
              ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteValueA(writeOnly, "v"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValueA(writeOnly, "v"), ERROR_FILE_NOT_FOUND);

    // The key goes while handles to it are open; they stay handles but reach nothing.
    EXPECT_EQ(RegDeleteKeyA(HKEY_CLASSES_ROOT, "tree\\leaf"), ERROR_SUCCESS);
    EXPECT_EQ(RegQueryValueExA(readOnly, "v", nullptr, nullptr, nullptr, &size), ERROR_KEY_DELETED);
    EXPECT_EQ(RegSetValueExA(writeOnly, "w", 0, REG_BINARY, one, 1), ERROR_KEY_DELETED);
    HKEY child = nullptr;
    EXPECT_EQ(RegOpenKeyExA(readOnly, "x", 0, KEY_READ, &child), ERROR_KEY_DELETED);
    EXPECT_EQ(RegCloseKey(readOnly), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(writeOnly), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyA(HKEY_CLASSES_ROOT, "Tree"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyA(HKEY_CLASSES_ROOT, ""), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegOpenKeyExA(HKEY_DYN_DATA, nullptr, 0, KEY_READ, &child), ERROR_INVALID_HANDLE);
}

TEST_F(Registry, WideCallsConvertNamesAndStringDataThroughUtf8) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, u"Typ\u00e9Lib\\{1}", 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const char16_t text[] = u"\u65e5\u672c \U0001F3B5";
    ASSERT_EQ(RegSetValueExW(key, u"N\u00e4me", 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                             sizeof text),
              ERROR_SUCCESS);
    RegCloseKey(key);

    // The A side sees UTF-8 bytes.
    EXPECT_EQ(stringValue(HKEY_CLASSES_ROOT, "Typ\xc3\xa9Lib\\{1}", "N\xc3\xa4me"),
              "\xe6\x97\xa5\xe6\x9c\xac \xf0\x9f\x8e\xb5");

    ASSERT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, u"typ\u00e9lib\\{1}", 0, KEY_READ, &key),
              ERROR_SUCCESS);
    DWORD size = 0;
    ASSERT_EQ(RegQueryValueExW(key, u"n\u00e4me", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, sizeof text);
    char16_t back[16] = {};
    ASSERT_EQ(
        RegQueryValueExW(key, u"n\u00e4me", nullptr, nullptr, reinterpret_cast<BYTE*>(back), &size),
        ERROR_SUCCESS);
    EXPECT_EQ(std::u16string(back), std::u16string(text));
    RegCloseKey(key);

    ASSERT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, u"Typ\u00e9Lib", 0, KEY_READ, &key), ERROR_SUCCESS);
    char16_t name[8];
    DWORD length = 8;
    ASSERT_EQ(RegEnumKeyExW(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(std::u16string(name), u"{1}");
    RegCloseKey(key);
    EXPECT_EQ(RegDeleteKeyW(HKEY_CLASSES_ROOT, u"Typ\u00e9Lib\\{1}"), ERROR_SUCCESS);
}

TEST_F(Registry, DeniedSubtreesCanBeReadButNotWritten) {
    ASSERT_EQ(setString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Existing", "v", "x"), ERROR_SUCCESS);
    registry::testing::denyWrites("HKLM\\software");

    HKEY key = nullptr;
    EXPECT_EQ(
        RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Existing", 0, KEY_READ | KEY_WRITE, &key),
        ERROR_ACCESS_DENIED);
    EXPECT_EQ(key, nullptr);
    EXPECT_EQ(stringValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Existing", "v"), "x");
    EXPECT_EQ(setString(HKEY_LOCAL_MACHINE, "SOFTWARE\\New", "v", "x"), ERROR_ACCESS_DENIED);
    EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\New"));
    EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Existing"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegSetValueExA(HKEY_LOCAL_MACHINE, "rootValue", 0, REG_BINARY, nullptr, 0),
              ERROR_SUCCESS);  // outside the denied subtree
    HKEY open = nullptr;
    ASSERT_EQ(
        RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, 0x02000000 /* MAXIMUM_ALLOWED */, &open),
        ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValueA(open, "v"), ERROR_ACCESS_DENIED);
    RegCloseKey(open);

    registry::testing::allowWrites();
    setenv("GLIMMERSTRAND_REGISTRY_DENY", "HKEY_CURRENT_USER;bogus", 1);
    EXPECT_EQ(setString(HKEY_CURRENT_USER, "x", "v", "x"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(setString(HKEY_LOCAL_MACHINE, "SOFTWARE\\New", "v", "x"), ERROR_SUCCESS);
    unsetenv("GLIMMERSTRAND_REGISTRY_DENY");
}

TEST_F(Registry, PersistsEveryValueByteForByte) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_CONFIG, "Odd \"names\"\\100%\\[x]", 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    struct Sample {
        const char* name;
        DWORD type;
        std::string data;
    };
    const std::vector<Sample> samples = {
        {"", REG_SZ, std::string("default\0", 8)},
        {"no terminator", REG_SZ, "abc"},
        {"inner\0nul", REG_EXPAND_SZ, std::string("a\0b\0", 4)},
        {"list", REG_MULTI_SZ, std::string("one\0two\0\0", 9)},
        {"list with a gap", REG_MULTI_SZ, std::string("one\0\0two\0\0", 10)},
        {"dword", REG_DWORD, std::string("\x2a\0\0\x80", 4)},
        {"short dword", REG_DWORD, "\x01\x02"},
        {"qword", REG_QWORD, std::string("\1\2\3\4\5\6\7\x88", 8)},
        {"empty", REG_BINARY, ""},
        {"control\n\t\\\"chars\x7f", 0x12345, "\r\n\xff"},
    };
    for (const Sample& sample : samples) {
        ASSERT_EQ(RegSetValueExA(key, sample.name, 0, sample.type,
                                 reinterpret_cast<const BYTE*>(sample.data.data()),
                                 static_cast<DWORD>(sample.data.size())),
                  ERROR_SUCCESS);
    }
    RegCloseKey(key);
    EXPECT_TRUE(registry::testing::storeFileMatchesSnapshot());
    const std::string written = storeText();
    EXPECT_NE(written.find("\"list\"=multi_sz:\"one\",\"two\"\n"), std::string::npos) << written;
    EXPECT_NE(written.find("\"dword\"=dword:8000002a\n"), std::string::npos) << written;

    // Another process reads a copy of the file afresh.
    const std::filesystem::path copy = storeFile().string() + ".copy";
    std::filesystem::copy_file(storeFile(), copy);
    const pid_t child = fork();
    if (child == 0) {
        registry::testing::useStore(copy.c_str());
        bool same = RegOpenKeyExA(HKEY_CURRENT_CONFIG, "odd \"NAMES\"\\100%\\[X]", 0, KEY_READ,
                                  &key) == ERROR_SUCCESS;
        for (DWORD i = 0; same && i < samples.size(); ++i) {
            char name[64];
            DWORD length = sizeof name;
            char data[64];
            DWORD size = sizeof data;
            DWORD type = 0;
            same = RegEnumValueA(key, i, name, &length, nullptr, &type,
                                 reinterpret_cast<BYTE*>(data), &size) == ERROR_SUCCESS &&
                   std::string(name) == samples[i].name && type == samples[i].type &&
                   std::string(data, size) == samples[i].data;
        }
        _exit(same ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << written;
}

TEST_F(Registry, NoticesChangesMadeByOtherProcessesAndKeepsHandles) {
    ASSERT_EQ(setString(HKEY_CURRENT_USER, "Shared", "v", "mine"), ERROR_SUCCESS);
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Shared", 0, KEY_READ, &key), ERROR_SUCCESS);

    const pid_t child = fork();
    if (child == 0) {
        _exit(setString(HKEY_CURRENT_USER, "Shared", "v", "theirs") == ERROR_SUCCESS ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

    char data[16];
    DWORD size = sizeof data;
    ASSERT_EQ(RegQueryValueExA(key, "v", nullptr, nullptr, reinterpret_cast<BYTE*>(data), &size),
              ERROR_SUCCESS);
    EXPECT_STREQ(data, "theirs");

    const pid_t deleter = fork();
    if (deleter == 0) {
        _exit(RegDeleteKeyA(HKEY_CURRENT_USER, "Shared") == ERROR_SUCCESS ? 0 : 1);
    }
    ASSERT_EQ(waitpid(deleter, &status, 0), deleter);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(RegQueryValueExA(key, "v", nullptr, nullptr, nullptr, &size), ERROR_KEY_DELETED);
    RegCloseKey(key);

    // A change made in place, as an editor would, is noticed as well.
    writeStoreText("Glimmerstrand registry 1\n[HKCU\\Edited]\n@=sz:\"by hand\"\n");
    EXPECT_EQ(stringValue(HKEY_CURRENT_USER, "edited", ""), "by hand");
}

TEST_F(Registry, AnUnreadableStoreFailsEveryCallAndIsNeverOverwritten) {
    const std::string damaged = "Glimmerstrand registry 1\n[HKLM\\A]\n\"v\"=sz:\"unterminated\n";
    writeStoreText(damaged);
    HKEY key = nullptr;
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "A", 0, KEY_READ, &key), ERROR_REGISTRY_CORRUPT);
    EXPECT_EQ(setString(HKEY_LOCAL_MACHINE, "B", "v", "x"), ERROR_REGISTRY_CORRUPT);
    EXPECT_EQ(RegDeleteValueA(HKEY_LOCAL_MACHINE, "v"), ERROR_REGISTRY_CORRUPT);
    const std::string complaint = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(complaint.find(storeFile().string()), std::string::npos);
    EXPECT_NE(complaint.find("line 3"), std::string::npos) << complaint;
    EXPECT_EQ(storeText(), damaged);

    writeStoreText("not a registry\n");
    EXPECT_EQ(setString(HKEY_LOCAL_MACHINE, "B", "v", "x"), ERROR_REGISTRY_CORRUPT);
    std::filesystem::remove(storeFile());
    EXPECT_EQ(setString(HKEY_LOCAL_MACHINE, "B", "v", "x"), ERROR_SUCCESS);

    // A store that exists but may not be read is an error too, never an empty registry.
    if (geteuid() != 0) {
        std::filesystem::remove(storeFile());
        writeStoreText("Glimmerstrand registry 1\n");
        std::filesystem::permissions(storeFile(), std::filesystem::perms::none);
        EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "B", 0, KEY_READ, &key), ERROR_ACCESS_DENIED);
        std::filesystem::permissions(storeFile(), std::filesystem::perms::owner_all);
    }
}

TEST(RegistryLocation, FollowsTheEnvironment) {
    const char* saved = std::getenv("GLIMMERSTRAND_REGISTRY");
    const std::string previous = saved ? saved : "";
    char pattern[] = "/tmp/gs-registry-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::filesystem::path folder = pattern;

    unsetenv("GLIMMERSTRAND_REGISTRY");
    setenv("XDG_CONFIG_HOME", folder.c_str(), 1);
    ASSERT_EQ(setString(HKEY_CURRENT_USER, "Here", "v", "x"), ERROR_SUCCESS);
    EXPECT_TRUE(std::filesystem::exists(folder / "glimmerstrand" / "registry"));

    setenv("GLIMMERSTRAND_REGISTRY", (folder / "elsewhere" / "store").c_str(), 1);
    EXPECT_FALSE(keyExists(HKEY_CURRENT_USER, "Here"));
    ASSERT_EQ(setString(HKEY_CURRENT_USER, "There", "v", "x"), ERROR_SUCCESS);
    EXPECT_TRUE(std::filesystem::exists(folder / "elsewhere" / "store"));

    if (saved) {
        setenv("GLIMMERSTRAND_REGISTRY", previous.c_str(), 1);
    } else {
        unsetenv("GLIMMERSTRAND_REGISTRY");
    }
    unsetenv("XDG_CONFIG_HOME");
    std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace gs::platform::registry::test
