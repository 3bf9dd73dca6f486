// The module's process-wide state under threads: the one class object, made on first demand, and
// the lock count that any thread may move and read. Objects themselves stay on the thread that
// made them, as the apartment model promises them. Run under ThreadSanitizer (linux-tsan).
#include <atomic>
#include <latch>
#include <thread>
#include <vector>

#include "tests/module/module_fixture.h"

namespace gs::module::test {
namespace {

using ModuleThreads = ModuleTest;

TEST_F(ModuleThreads, ThreadsAskingAtOnceGetOneClassObject) {
    constexpr int kRounds = 8;
    constexpr int kThreads = 12;
    for (int round = 0; round < kRounds; ++round) {
        if (round > 0) {
            reloadModule();  // an empty cache again
        }
        std::latch start(kThreads);
        std::vector<IClassFactory*> received(kThreads, nullptr);
        std::vector<std::thread> threads;
        for (int i = 0; i < kThreads; ++i) {
            threads.emplace_back([&, i] {
                start.arrive_and_wait();
                module().getClassObject(plugin::kCLSIDGlimmerstrand, IID_IClassFactory,
                                        reinterpret_cast<void**>(&received[i]));
            });
        }
        for (std::thread& thread : threads) {
            thread.join();
        }
        ASSERT_NE(received[0], nullptr);
        for (IClassFactory* factory : received) {
            EXPECT_EQ(factory, received[0]) << "round " << round;
        }
        EXPECT_EQ(module().canUnloadNow(), S_FALSE);
        ULONG last = 0;
        for (IClassFactory* factory : received) {
            last = factory != nullptr ? factory->Release() : 0;
        }
        EXPECT_EQ(last, 1u) << "only the module's own reference is left";
        EXPECT_EQ(module().canUnloadNow(), S_OK);
    }
}

TEST_F(ModuleThreads, ObjectsComeAndGoWhileUnloadingIsPolled) {
    IWMPEffects2* held = createVisualizer();  // keeps the module loaded throughout
    ASSERT_NE(held, nullptr);

    constexpr int kWorkers = 4;
    constexpr int kObjectsPerWorker = 25;
    std::atomic<int> workersLeft{kWorkers};
    std::atomic<int> failures{0};
    std::latch start(kWorkers + 1);

    std::thread poller([&] {
        start.arrive_and_wait();
        int polls = 0;
        while (workersLeft.load() > 0 || polls == 0) {
            if (module().canUnloadNow() != S_FALSE) {
                ++failures;
            }
            ++polls;
        }
    });
    std::vector<std::thread> workers;
    for (int w = 0; w < kWorkers; ++w) {
        workers.emplace_back([&] {
            start.arrive_and_wait();
            for (int n = 0; n < kObjectsPerWorker; ++n) {
                IClassFactory* factory = module().classFactory();
                if (factory == nullptr) {
                    ++failures;
                    continue;
                }
                factory->LockServer(TRUE);
                IWMPEffects2* effects = nullptr;
                if (factory->CreateInstance(nullptr, plugin::kIIDWmpEffects2,
                                            reinterpret_cast<void**>(&effects)) != S_OK) {
                    ++failures;
                } else {
                    LONG count = 0;
                    if (effects->GetPresetCount(&count) != S_OK || count != 2 ||
                        effects->Release() != 0) {
                        ++failures;
                    }
                }
                factory->LockServer(FALSE);
                factory->Release();
            }
            --workersLeft;
        });
    }
    for (std::thread& worker : workers) {
        worker.join();
    }
    poller.join();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(module().canUnloadNow(), S_FALSE);
    EXPECT_EQ(held->Release(), 0u);
    EXPECT_EQ(module().canUnloadNow(), S_OK);
}

}  // namespace
}  // namespace gs::module::test
