// Several processes on one store: concurrent writers lose nothing, and a writer killed at any
// point leaves a store that loads, holding either the version before or after its change.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <random>
#include <string>
#include <thread>

#include "tests/platform/registry_fixture.h"

namespace gs::platform::registry::test {
namespace {

using RegistryProcesses = ScratchRegistry;

bool exitedCleanly(pid_t child) {
    int status = 0;
    return waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::string keyPath(int writer, int item) {
    return "Writers\\W" + std::to_string(writer) + "\\Item" + std::to_string(item);
}

TEST_F(RegistryProcesses, ConcurrentWritersLoseNothing) {
    constexpr int writers = 2;
    constexpr int items = 30;
    int start[2];
    ASSERT_EQ(pipe(start), 0);
    pid_t children[writers];
    for (int writer = 0; writer < writers; ++writer) {
        children[writer] = fork();
        if (children[writer] == 0) {
            close(start[1]);
            char go;
            (void)!read(start[0], &go, 1);
            // Register every item, then unregister the odd ones, interleaved with the other writer.
            bool ok = true;
            for (int item = 0; item < items; ++item) {
                ok = ok && setString(HKEY_CLASSES_ROOT, keyPath(writer, item).c_str(), "v",
                                     std::to_string(item)) == ERROR_SUCCESS;
                if (item % 2 == 1) {
                    ok =
                        ok && RegDeleteValueA(HKEY_CLASSES_ROOT, "missing") == ERROR_FILE_NOT_FOUND;
                    HKEY key = nullptr;
                    ok = ok &&
                         RegOpenKeyExA(HKEY_CLASSES_ROOT, keyPath(writer, item).c_str(), 0,
                                       KEY_WRITE, &key) == ERROR_SUCCESS &&
                         RegDeleteValueA(key, "v") == ERROR_SUCCESS &&
                         RegCloseKey(key) == ERROR_SUCCESS &&
                         RegDeleteKeyA(HKEY_CLASSES_ROOT, keyPath(writer, item).c_str()) ==
                             ERROR_SUCCESS;
                }
            }
            _exit(ok ? 0 : 1);
        }
    }
    close(start[0]);
    ASSERT_EQ(write(start[1], "gogo", writers), writers);
    close(start[1]);
    for (pid_t child : children) {
        EXPECT_TRUE(exitedCleanly(child));
    }

    for (int writer = 0; writer < writers; ++writer) {
        for (int item = 0; item < items; ++item) {
            const auto value = stringValue(HKEY_CLASSES_ROOT, keyPath(writer, item).c_str(), "v");
            if (item % 2 == 0) {
                EXPECT_EQ(value, std::to_string(item)) << keyPath(writer, item);
            } else {
                EXPECT_FALSE(keyExists(HKEY_CLASSES_ROOT, keyPath(writer, item).c_str()))
                    << keyPath(writer, item);
            }
        }
    }
}

registry::testing::WriteStage fatalStage;

void dieAtFatalStage(registry::testing::WriteStage stage) {
    if (stage == fatalStage) {
        kill(getpid(), SIGKILL);
    }
}

TEST_F(RegistryProcesses, AWriterKilledAtAnyStageLeavesAWholeVersion) {
    using registry::testing::WriteStage;
    ASSERT_EQ(setString(HKEY_LOCAL_MACHINE, "Crash", "v", "before"), ERROR_SUCCESS);
    for (WriteStage stage : {WriteStage::Locked, WriteStage::HalfWritten, WriteStage::Written,
                             WriteStage::Synced, WriteStage::Renamed}) {
        SCOPED_TRACE(static_cast<int>(stage));
        const pid_t child = fork();
        if (child == 0) {
            fatalStage = stage;
            registry::testing::onWriteStage(dieAtFatalStage);
            setString(HKEY_LOCAL_MACHINE, "Crash", "v", "after");
            _exit(0);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status));
        EXPECT_EQ(stringValue(HKEY_LOCAL_MACHINE, "Crash", "v"),
                  stage == WriteStage::Renamed ? "after" : "before");
        // The dead writer's lock went with it.
        ASSERT_EQ(setString(HKEY_LOCAL_MACHINE, "Crash", "v", "before"), ERROR_SUCCESS);
    }
}

TEST_F(RegistryProcesses, AWriterKilledAtRandomMomentsLeavesAConsistentStore) {
    std::mt19937 random(20240611);
    for (int run = 0; run < 24; ++run) {
        const pid_t child = fork();
        if (child == 0) {
            for (int item = 0;; ++item) {
                setString(HKEY_CURRENT_USER, ("Run" + std::to_string(run)).c_str(),
                          ("v" + std::to_string(item)).c_str(), std::string(item * 40, 'x'));
            }
        }
        std::this_thread::sleep_for(
            std::chrono::microseconds(std::uniform_int_distribution<int>(0, 60000)(random)));
        kill(child, SIGKILL);
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);

        // The store loads, and the run's values are a prefix of what the writer set, in full.
        HKEY key = nullptr;
        const LSTATUS opened = RegOpenKeyExA(
            HKEY_CURRENT_USER, ("Run" + std::to_string(run)).c_str(), 0, KEY_READ, &key);
        ASSERT_TRUE(opened == ERROR_SUCCESS || opened == ERROR_FILE_NOT_FOUND) << opened;
        if (opened != ERROR_SUCCESS) {
            continue;
        }
        DWORD count = 0;
        ASSERT_EQ(RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                   &count, nullptr, nullptr, nullptr, nullptr),
                  ERROR_SUCCESS);
        RegCloseKey(key);
        const std::string path = "Run" + std::to_string(run);
        for (DWORD item = 0; item < count; ++item) {
            EXPECT_EQ(
                stringValue(HKEY_CURRENT_USER, path.c_str(), ("v" + std::to_string(item)).c_str()),
                std::string(item * 40, 'x'));
        }
    }
}

}  // namespace
}  // namespace gs::platform::registry::test
