// Registration across processes on one store: a registering or unregistering process killed at
// any of its writes leaves a store that loads and that another run completes; two plug-ins
// registering and unregistering at the same time never lose each other's keys.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <random>
#include <string>
#include <thread>

#include "tests/registrar/registrar_fixture.h"

namespace gs::registrar::test {
namespace {

using platform::registry::testing::WriteStage;

bool exitedCleanly(pid_t child) {
    int status = 0;
    return waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Whether the store file parses: a broken one fails every call with ERROR_REGISTRY_CORRUPT.
bool storeLoads() {
    HKEY key = nullptr;
    const LSTATUS status = RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_READ, &key);
    if (status == ERROR_SUCCESS) {
        RegCloseKey(key);
    }
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}

// Entries of `part` that `whole` lacks or holds with other contents.
std::vector<std::string> notIn(const Snapshot& part, const Snapshot& whole) {
    std::vector<std::string> missing;
    for (const auto& [path, contents] : part) {
        const auto found = whole.find(path);
        if (found == whole.end() || found->second != contents) {
            missing.push_back(path + " = " + contents);
        }
    }
    return missing;
}

// Entries of `expected` that the registry lacks or holds with other contents, each read by its
// path alone: enumerating keys while another process adds and removes some could skip one.
std::vector<std::string> missingFromRegistry(const Snapshot& expected) {
    std::vector<std::string> missing;
    for (const auto& [entry, contents] : expected) {
        const std::size_t rootEnd = entry.find('\\');
        const std::string rootName = entry.substr(0, rootEnd);
        const HKEY root = rootName == "HKCR"   ? HKEY_CLASSES_ROOT
                          : rootName == "HKLM" ? HKEY_LOCAL_MACHINE
                                               : HKEY_CURRENT_USER;
        const std::size_t valueAt = entry.find(" : ");
        const std::string path =
            rootEnd == std::string::npos ? "" : entry.substr(rootEnd + 1, valueAt - rootEnd - 1);
        std::string found;
        HKEY key = nullptr;
        if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS) {
            if (valueAt == std::string::npos) {
                found = "key";
            } else {
                const std::string name = entry.substr(valueAt + 3);
                BYTE data[1024];
                DWORD size = sizeof data;
                DWORD type = 0;
                if (RegQueryValueExA(key, name == "@" ? nullptr : name.c_str(), nullptr, &type,
                                     data, &size) == ERROR_SUCCESS) {
                    found = describeValue(type, data, size);
                }
            }
            RegCloseKey(key);
        }
        if (found != contents) {
            missing.push_back(entry + " = " + contents);
        }
    }
    return missing;
}

// The store, emptied, then brought to what `prepare` makes of it.
template <typename Prepare>
Snapshot emptyStoreThen(Prepare prepare) {
    recurseDeleteKey(HKEY_CLASSES_ROOT, "CLSID");
    recurseDeleteKey(HKEY_LOCAL_MACHINE, "SOFTWARE");
    prepare();
    return moduleSnapshot();
}

int stagesToSurvive;

void dieAfterStages(WriteStage) {
    if (stagesToSurvive-- == 0) {
        kill(getpid(), SIGKILL);
    }
}

class RegistrationProcesses : public RegistryTest {
protected:
    void SetUp() override {
        RegistryTest::SetUp();
        script_ = moduleScript();
        ASSERT_FALSE(script_.empty());
        registered_ = emptyStoreThen([&] { ASSERT_EQ(runScript(script_, true), S_OK); });
        unregistered_ = emptyStoreThen([&] {
            ASSERT_EQ(runScript(script_, true), S_OK);
            ASSERT_EQ(runScript(script_, false), S_OK);
        });
    }
    void TearDown() override {
        platform::registry::testing::onWriteStage(nullptr);
        RegistryTest::TearDown();
    }

    std::string script_;
    Snapshot registered_;
    Snapshot unregistered_;  // the keys marked NoRemove stay
};

TEST_F(RegistrationProcesses, KilledAtEveryWriteLeavesAStoreThatLoadsAndCompletes) {
    for (const bool registering : {true, false}) {
        SCOPED_TRACE(registering ? "registering" : "unregistering");
        const Snapshot& end = registering ? registered_ : unregistered_;
        int offsets = 0;
        for (int offset = 0; offset < 1000; ++offset, ++offsets) {
            // Registration starts where the player's own keys exist, unregistration where the
            // plug-in is registered.
            emptyStoreThen([&] {
                ASSERT_EQ(runScript(script_, true), S_OK);
                if (registering) {
                    ASSERT_EQ(runScript(script_, false), S_OK);
                }
            });
            const pid_t child = fork();
            if (child == 0) {
                stagesToSurvive = offset;
                platform::registry::testing::onWriteStage(dieAfterStages);
                _exit(runScript(script_, registering) == S_OK ? 0 : 1);
            }
            int status = 0;
            ASSERT_EQ(waitpid(child, &status, 0), child);
            if (WIFEXITED(status)) {
                ASSERT_EQ(WEXITSTATUS(status), 0) << "the run failed without being killed";
                break;  // it finished before reaching this offset: every write has been hit
            }
            ASSERT_TRUE(WIFSIGNALED(status));
            SCOPED_TRACE("killed at write stage " + std::to_string(offset));
            ASSERT_TRUE(storeLoads());
            // What the dead run left lies between where it started and where it was going.
            const Snapshot left = moduleSnapshot();
            EXPECT_EQ(notIn(left, registered_), std::vector<std::string>{});
            EXPECT_EQ(notIn(unregistered_, left), std::vector<std::string>{});
            // Running the script again finishes the job.
            EXPECT_EQ(runScript(script_, registering), S_OK);
            EXPECT_EQ(moduleSnapshot(), end);
        }
        // Each write passes five stages; the module's script makes about ten writes each way.
        EXPECT_GE(offsets, 40);
    }
}

TEST_F(RegistrationProcesses, KilledAtRandomMomentsLeavesAStoreThatLoads) {
    std::mt19937 random(7411);
    for (int run = 0; run < 12; ++run) {
        const pid_t child = fork();
        if (child == 0) {
            for (;;) {
                runScript(script_, true);
                runScript(script_, false);
            }
        }
        std::this_thread::sleep_for(
            std::chrono::microseconds(std::uniform_int_distribution<int>(0, 20000)(random)));
        kill(child, SIGKILL);
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(storeLoads()) << "run " << run;
        EXPECT_EQ(runScript(script_, true), S_OK);
        EXPECT_EQ(moduleSnapshot(), registered_);
    }
}

// The module's script for another plug-in: its own class id and its own entry among the
// player's visualizations, below the same shared keys.
std::string otherPluginScript(std::string script) {
    const std::string classId = "3CAE2904-060B-43DC-A5D9-C6ABB918707B";
    for (std::size_t at; (at = script.find(classId)) != std::string::npos;) {
        script.replace(at, classId.size(), "0D0E0A0D-BEEF-4000-8000-00000000B0B0");
    }
    const std::string entry = "ForceRemove Glimmerstrand";
    script.replace(script.find(entry), entry.size(), "ForceRemove OtherVisualizer");
    return script;
}

TEST_F(RegistrationProcesses, TwoPluginsRegisteringAtOnceLoseNoKey) {
    const std::string scripts[2] = {script_, otherPluginScript(script_)};
    // Each plug-in's own entries: what its registration adds to the shared keys.
    Snapshot own[2];
    for (int i = 0; i < 2; ++i) {
        const Snapshot alone =
            emptyStoreThen([&] { ASSERT_EQ(runScript(scripts[i], true), S_OK); });
        for (const auto& [path, contents] : alone) {
            if (unregistered_.count(path) == 0) {
                own[i][path] = contents;
            }
        }
        ASSERT_FALSE(own[i].empty());
    }
    emptyStoreThen([] {});

    constexpr int rounds = 25;
    int start[2];
    ASSERT_EQ(pipe(start), 0);
    pid_t children[2];
    for (int i = 0; i < 2; ++i) {
        children[i] = fork();
        if (children[i] == 0) {
            close(start[1]);
            char go;
            (void)!read(start[0], &go, 1);
            // Each round checks, while the other plug-in is busy, that its own keys are all
            // there after registering and all gone after unregistering. The last round leaves
            // the plug-in registered.
            for (int round = 0; round < rounds; ++round) {
                if (runScript(scripts[i], true) != S_OK || !missingFromRegistry(own[i]).empty()) {
                    _exit(1);
                }
                if (round + 1 == rounds) {
                    break;
                }
                if (runScript(scripts[i], false) != S_OK) {
                    _exit(2);
                }
                if (missingFromRegistry(own[i]).size() != own[i].size()) {
                    _exit(3);
                }
            }
            _exit(0);
        }
    }
    close(start[0]);
    ASSERT_EQ(write(start[1], "go", 2), 2);
    close(start[1]);
    for (pid_t child : children) {
        EXPECT_TRUE(exitedCleanly(child));
    }

    ASSERT_TRUE(storeLoads());
    const Snapshot both = moduleSnapshot();
    for (const Snapshot& entries : {unregistered_, own[0], own[1]}) {
        EXPECT_EQ(notIn(entries, both), std::vector<std::string>{});
    }
    EXPECT_EQ(both.size(), unregistered_.size() + own[0].size() + own[1].size());
}

}  // namespace
}  // namespace gs::registrar::test
