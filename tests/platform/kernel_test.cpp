#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include "platform/linux/testing.h"
#include "platform/win32.h"

namespace {

TEST(LastError, IsKeptPerThread) {
    SetLastError(ERROR_ACCESS_DENIED);
    DWORD seenByOtherThread = 0xdeadbeef;
    std::thread other([&] {
        seenByOtherThread = GetLastError();
        SetLastError(ERROR_MOD_NOT_FOUND);
    });
    other.join();
    EXPECT_EQ(seenByOtherThread, static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

TEST(CriticalSection, OwnerMayEnterAgainAndOthersWaitUntilItLeavesAsOften) {
    CRITICAL_SECTION section;
    ASSERT_TRUE(InitializeCriticalSectionAndSpinCount(&section, 4000));
    EnterCriticalSection(&section);
    EXPECT_TRUE(TryEnterCriticalSection(&section));  // recursion, not a deadlock

    auto otherThreadCanEnter = [&] {
        BOOL entered = FALSE;
        std::thread other([&] {
            entered = TryEnterCriticalSection(&section);
            if (entered) {
                LeaveCriticalSection(&section);
            }
        });
        other.join();
        return entered != FALSE;
    };
    LeaveCriticalSection(&section);
    EXPECT_FALSE(otherThreadCanEnter()) << "still held once";
    LeaveCriticalSection(&section);
    EXPECT_TRUE(otherThreadCanEnter());
    DeleteCriticalSection(&section);
}

TEST(CriticalSection, SerialisesIncrementsAcrossThreads) {
    CRITICAL_SECTION section;
    InitializeCriticalSection(&section);
    long counter = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 10000; ++i) {
                EnterCriticalSection(&section);
                counter = counter + 1;
                LeaveCriticalSection(&section);
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(counter, 40000);
    DeleteCriticalSection(&section);
}

TEST(Interlocked, ReturnTheValuesWindowsReturns) {
    LONG volatile value = 5;
    EXPECT_EQ(InterlockedIncrement(&value), 6);
    EXPECT_EQ(InterlockedDecrement(&value), 5);
    EXPECT_EQ(InterlockedExchange(&value, 9), 5);
    EXPECT_EQ(InterlockedCompareExchange(&value, 1, 3), 9) << "no match: unchanged";
    EXPECT_EQ(value, 9);
    EXPECT_EQ(InterlockedCompareExchange(&value, 1, 9), 9);
    EXPECT_EQ(value, 1);

    int a = 0;
    int b = 0;
    PVOID volatile pointer = &a;
    EXPECT_EQ(InterlockedCompareExchangePointer(&pointer, &b, nullptr), &a);
    EXPECT_EQ(pointer, &a);
    EXPECT_EQ(InterlockedCompareExchangePointer(&pointer, &b, &a), &a);
    EXPECT_EQ(InterlockedExchangePointer(&pointer, nullptr), &b);
    EXPECT_EQ(pointer, nullptr);

    LONG volatile counter = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 10000; ++i) {
                InterlockedIncrement(&counter);
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(counter, 40000);
}

class VirtualClock : public ::testing::Test {
protected:
    void TearDown() override { gsTestReset(); }
};

TEST_F(VirtualClock, SleepAdvancesTimeInsteadOfWaitingAndIsRecorded) {
    gsTestUseVirtualClock(TRUE, 0xFFFFFFF0u);
    EXPECT_EQ(timeGetTime(), 0xFFFFFFF0u);
    const auto before = std::chrono::steady_clock::now();
    Sleep(25);
    Sleep(100000);
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(5));
    EXPECT_EQ(timeGetTime(), static_cast<DWORD>(0xFFFFFFF0u + 25 + 100000)) << "wraps at 2^32";
    EXPECT_EQ(GetTickCount(), timeGetTime());
    gsTestAdvanceClock(5);
    EXPECT_EQ(timeGetTime(), static_cast<DWORD>(0xFFFFFFF0u + 100030));
    ASSERT_EQ(gsTestSleepCount(), 2u);
    EXPECT_EQ(gsTestSleepDuration(0), 25u);
    EXPECT_EQ(gsTestSleepDuration(1), 100000u);
}

TEST_F(VirtualClock, HoursOfSleepsAreCountedAndOnlyTheLatestKept) {
    // A host renders on the virtual clock for as long as its input lasts, one Sleep a frame: the
    // record must not grow with it.
    gsTestUseVirtualClock(TRUE, 0);
    constexpr UINT kSleeps = 216000;  // an hour of frames at 60 a second
    const auto duration = [](UINT i) { return static_cast<DWORD>(i % 40 + 1); };
    DWORD total = 0;
    for (UINT i = 0; i < kSleeps; ++i) {
        Sleep(duration(i));
        total += duration(i);
    }
    EXPECT_EQ(timeGetTime(), total);
    EXPECT_EQ(gsTestSleepCount(), kSleeps);
    EXPECT_EQ(gsTestSleepDuration(kSleeps - 1), duration(kSleeps - 1));
    EXPECT_EQ(gsTestSleepDuration(kSleeps - 1024), duration(kSleeps - 1024));
    EXPECT_EQ(gsTestSleepDuration(kSleeps - 1025), 0u) << "older durations are forgotten";
    EXPECT_EQ(gsTestSleepDuration(0), 0u);
    EXPECT_EQ(gsTestSleepDuration(kSleeps), 0u) << "no sleep yet";

    gsTestClearSleeps();
    EXPECT_EQ(gsTestSleepCount(), 0u);
    EXPECT_EQ(gsTestSleepDuration(0), 0u);
    Sleep(7);
    EXPECT_EQ(gsTestSleepDuration(0), 7u);
}

TEST_F(VirtualClock, RealClockRunsInMillisecondsWhenOff) {
    gsTestUseVirtualClock(FALSE, 0);
    const DWORD start = timeGetTime();
    Sleep(20);
    const DWORD elapsed = timeGetTime() - start;
    EXPECT_GE(elapsed, 19u);
    EXPECT_LT(elapsed, 2000u);
    EXPECT_EQ(gsTestSleepCount(), 0u) << "only virtual sleeps are recorded";
}

TEST(SystemInfo, ReportsWindowsNt61AndTheUtf8AnsiCodePage) {
    OSVERSIONINFOA version;
    std::memset(&version, 0xCC, sizeof version);
    version.dwOSVersionInfoSize = sizeof version;
    ASSERT_TRUE(GetVersionExA(&version));
    EXPECT_EQ(version.dwPlatformId, static_cast<DWORD>(VER_PLATFORM_WIN32_NT));
    EXPECT_EQ(version.dwMajorVersion, 6u);
    EXPECT_EQ(version.dwMinorVersion, 1u);

    version.dwOSVersionInfoSize = sizeof version - 1;
    EXPECT_FALSE(GetVersionExA(&version));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));

    EXPECT_EQ(GetThreadLocale(), 0x0409u);
    EXPECT_EQ(GetACP(), 65001u);
    EXPECT_TRUE(DisableThreadLibraryCalls(nullptr));
}

TEST(SystemInfo, LocaleInfoFollowsTheWindowsLengthRules) {
    const LCID locale = GetThreadLocale();
    EXPECT_EQ(GetLocaleInfoA(locale, LOCALE_IDEFAULTANSICODEPAGE, nullptr, 0), 6);
    char text[7];
    ASSERT_EQ(GetLocaleInfoA(locale, LOCALE_IDEFAULTANSICODEPAGE, text, 7), 6);
    EXPECT_STREQ(text, "65001");

    char small[3] = {'x', 'x', 'x'};
    EXPECT_EQ(GetLocaleInfoA(locale, LOCALE_IDEFAULTANSICODEPAGE, small, 3), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));

    DWORD number = 0;
    EXPECT_EQ(GetLocaleInfoA(locale, LOCALE_IDEFAULTANSICODEPAGE | LOCALE_RETURN_NUMBER,
                             reinterpret_cast<LPSTR>(&number), sizeof number),
              4);
    EXPECT_EQ(number, 65001u);

    EXPECT_EQ(GetLocaleInfoA(locale, 0x7777, text, 7), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_FLAGS));
    EXPECT_EQ(GetLocaleInfoA(0x0411, LOCALE_IDEFAULTANSICODEPAGE, text, 7), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(TaskMemory, BlocksGrowAndKeepTheirContents) {
    auto* block = static_cast<char*>(CoTaskMemAlloc(4));
    ASSERT_NE(block, nullptr);
    std::memcpy(block, "abc", 4);
    block = static_cast<char*>(CoTaskMemRealloc(block, 4096));
    ASSERT_NE(block, nullptr);
    EXPECT_STREQ(block, "abc");
    CoTaskMemFree(block);
    CoTaskMemFree(nullptr);
    void* empty = CoTaskMemAlloc(0);
    EXPECT_NE(empty, nullptr);
    CoTaskMemFree(empty);
}

// Regions come zeroed and writable to their last byte; a large one starts on a huge-page boundary,
// so that every huge page of it can be one.
TEST(VirtualMemory, RegionsAreZeroedWholeAndReleasedOnce) {
    constexpr std::size_t kHuge = std::size_t{2} << 20;
    const SIZE_T heldBefore = gsTestVirtualBytes();
    for (const std::size_t size : {std::size_t{1}, std::size_t{5000}, kHuge, 3 * kHuge + 12345}) {
        auto* region = static_cast<unsigned char*>(
            VirtualAlloc(nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
        ASSERT_NE(region, nullptr) << size;
        EXPECT_GE(gsTestVirtualBytes() - heldBefore, size);
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(region) % (size >= kHuge ? kHuge : 4096), 0u)
            << size;
        EXPECT_EQ(region[0] | region[size / 2] | region[size - 1], 0) << size;
        std::memset(region, 0xA5, size);
        if (size > 4096) {
            EXPECT_FALSE(VirtualFree(region + 4096, 0, MEM_RELEASE)) << "not a region's base";
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_ADDRESS));
        }
        EXPECT_FALSE(VirtualFree(region, size, MEM_RELEASE)) << "released whole, with size 0";
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
        EXPECT_TRUE(VirtualFree(region, 0, MEM_RELEASE));
        EXPECT_EQ(gsTestVirtualBytes(), heldBefore);
        EXPECT_FALSE(VirtualFree(region, 0, MEM_RELEASE)) << "released once";
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_ADDRESS));
    }
    // Only regions committed at once, read-write, wherever the system puts them.
    struct Request {
        void* address;
        std::size_t size;
        DWORD type, protect;
    };
    int here = 0;
    for (const Request& r : {Request{nullptr, 0, MEM_COMMIT, PAGE_READWRITE},
                             Request{&here, 64, MEM_COMMIT, PAGE_READWRITE},
                             Request{nullptr, 64, MEM_RESERVE, PAGE_READWRITE},
                             Request{nullptr, 64, MEM_COMMIT, 0x02 /* read-only */}}) {
        SetLastError(0);
        EXPECT_EQ(VirtualAlloc(r.address, r.size, r.type, r.protect), nullptr)
            << r.size << " " << r.type << " " << r.protect;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    }
    // A size whose pages overflow the address space, rather than a short region.
    EXPECT_EQ(VirtualAlloc(nullptr, ~std::size_t{0}, MEM_COMMIT, PAGE_READWRITE), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
}

}  // namespace
