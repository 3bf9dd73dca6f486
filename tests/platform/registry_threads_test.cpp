// Threads of one process sharing the store: handles, snapshots and writes from several threads at
// once lose nothing and leave every handle closed.
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "tests/platform/registry_fixture.h"

namespace gs::platform::registry::test {
namespace {

using RegistryThreads = ScratchRegistry;

TEST_F(RegistryThreads, WritersAndReadersAtOnceLoseNothing) {
    registry::testing::syncWrites(false);
    const std::size_t openBefore = registry::testing::openKeyCount();
    constexpr int writers = 3;
    constexpr int items = 40;
    std::atomic<int> failures{0};
    std::atomic<bool> writing{true};
    std::vector<std::thread> threads;
    for (int writer = 0; writer < writers; ++writer) {
        threads.emplace_back([&, writer] {
            for (int item = 0; item < items; ++item) {
                const std::string path =
                    "Threads\\T" + std::to_string(writer) + "\\Item" + std::to_string(item);
                failures += setString(HKEY_CURRENT_USER, path.c_str(), "v", std::to_string(item)) !=
                            ERROR_SUCCESS;
                if (item % 3 == 2) {
                    failures += RegDeleteKeyA(HKEY_CURRENT_USER, path.c_str()) != ERROR_SUCCESS;
                }
            }
        });
    }
    // A reader walking the tree while it changes: every call either finds a key or reports it
    // missing, never anything else.
    std::thread reader([&] {
        while (writing.load()) {
            HKEY key = nullptr;
            const LSTATUS status = RegOpenKeyExA(HKEY_CURRENT_USER, "Threads", 0, KEY_READ, &key);
            if (status == ERROR_SUCCESS) {
                char name[64];
                for (DWORD i = 0;; ++i) {
                    DWORD length = sizeof name;
                    if (RegEnumKeyExA(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) !=
                        ERROR_SUCCESS) {
                        break;
                    }
                }
                RegCloseKey(key);
            } else {
                failures += status != ERROR_FILE_NOT_FOUND;
            }
        }
    });
    for (auto& thread : threads) {
        thread.join();
    }
    writing = false;
    reader.join();

    EXPECT_EQ(failures.load(), 0);
    for (int writer = 0; writer < writers; ++writer) {
        for (int item = 0; item < items; ++item) {
            const std::string path =
                "Threads\\T" + std::to_string(writer) + "\\Item" + std::to_string(item);
            if (item % 3 == 2) {
                EXPECT_FALSE(keyExists(HKEY_CURRENT_USER, path.c_str())) << path;
            } else {
                EXPECT_EQ(stringValue(HKEY_CURRENT_USER, path.c_str(), "v"), std::to_string(item))
                    << path;
            }
        }
    }
    EXPECT_EQ(registry::testing::openKeyCount(), openBefore);
    EXPECT_TRUE(registry::testing::storeFileMatchesSnapshot());
    registry::testing::syncWrites(true);
}

}  // namespace
}  // namespace gs::platform::registry::test
