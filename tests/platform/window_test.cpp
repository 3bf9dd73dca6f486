#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/linux/host.h"
#include "platform/linux/testing.h"
#include "platform/win32.h"

namespace {

std::vector<DWORD> pixelsOf(HWND window) {
    RECT client{};
    EXPECT_TRUE(GetClientRect(window, &client));
    std::vector<DWORD> pixels(static_cast<std::size_t>(client.right * client.bottom));
    EXPECT_TRUE(gsReadWindowPixels(window, pixels.data(), client.right * 4));
    return pixels;
}

class Windows : public ::testing::Test {
protected:
    void TearDown() override {
        for (HWND window : windows_) {
            gsDestroyWindow(window);
        }
        gsTestReset();
    }
    HWND create(LONG width, LONG height) {
        HWND window = gsCreateWindow(width, height);
        windows_.push_back(window);
        return window;
    }
    std::vector<HWND> windows_;
};

TEST_F(Windows, TheModuleSeesHostWindowsThroughWin32Calls) {
    HWND window = create(64, 48);
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(IsWindow(window));
    RECT client{-1, -1, -1, -1};
    ASSERT_TRUE(GetClientRect(window, &client));
    EXPECT_EQ(client.left, 0);
    EXPECT_EQ(client.top, 0);
    EXPECT_EQ(client.right, 64);
    EXPECT_EQ(client.bottom, 48);

    EXPECT_EQ(GetForegroundWindow(), nullptr) << "none until a host sets one";
    EXPECT_TRUE(gsSetForegroundWindow(window));
    EXPECT_EQ(GetForegroundWindow(), window);
    EXPECT_TRUE(gsDestroyWindow(window));
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(GetForegroundWindow(), nullptr);
    EXPECT_FALSE(GetClientRect(window, &client));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
    EXPECT_FALSE(gsSetForegroundWindow(window));
    EXPECT_EQ(gsCreateWindow(-1, 10), nullptr);
}

TEST_F(Windows, DrawingThroughAWindowDCReachesTheWindowPixels) {
    HWND window = create(4, 3);
    HDC dc = GetDC(window);
    ASSERT_NE(dc, nullptr);
    std::vector<std::uint32_t> picture(4 * 3);
    for (std::size_t i = 0; i < picture.size(); ++i) {
        picture[i] = 0xFF000000u | static_cast<std::uint32_t>(i * 0x010203);
    }
    HDC source = gsCreateDCOverMemory(picture.data(), 4, 3, 16);
    ASSERT_TRUE(BitBlt(dc, 1, 1, 4, 3, source, 0, 0, SRCCOPY));
    const std::vector<DWORD> pixels = pixelsOf(window);
    EXPECT_EQ(pixels[0], 0u);
    EXPECT_EQ(pixels[1 * 4 + 1], picture[0] & 0x00FFFFFFu) << "read back without alpha";
    EXPECT_EQ(pixels[2 * 4 + 3], picture[1 * 4 + 2] & 0x00FFFFFFu);
    EXPECT_EQ(ReleaseDC(window, dc), 1);
    EXPECT_EQ(ReleaseDC(window, dc), 0) << "released once";
    DeleteDC(source);
}

TEST_F(Windows, DCsFollowResizesAndOutliveTheirWindowSafely) {
    HWND window = create(2, 2);
    HDC dc = GetDC(window);
    ASSERT_TRUE(BitBlt(dc, 0, 0, 2, 2, nullptr, 0, 0, WHITENESS));
    ASSERT_TRUE(gsResizeWindow(window, 3, 1));
    ASSERT_TRUE(BitBlt(dc, 2, 0, 1, 1, nullptr, 0, 0, WHITENESS)) << "the new column";
    EXPECT_EQ(pixelsOf(window), (std::vector<DWORD>{0xFFFFFF, 0xFFFFFF, 0xFFFFFF}));
    ASSERT_TRUE(gsResizeWindow(window, 4, 2));
    EXPECT_EQ(pixelsOf(window), (std::vector<DWORD>{0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0, 0, 0, 0, 0}));
    // Through an empty client area and back: nothing is kept.
    ASSERT_TRUE(gsResizeWindow(window, 0, 2));
    ASSERT_TRUE(gsResizeWindow(window, 4, 2));
    EXPECT_EQ(pixelsOf(window), std::vector<DWORD>(8, 0));

    HDC other = GetDC(window);
    EXPECT_EQ(ReleaseDC(create(1, 1), other), 0) << "a DC goes back to its own window";
    EXPECT_FALSE(DeleteDC(other)) << "window DCs go back with ReleaseDC";
    EXPECT_EQ(ReleaseDC(window, other), 1);

    ASSERT_TRUE(gsDestroyWindow(window));
    EXPECT_TRUE(BitBlt(dc, 0, 0, 4, 2, nullptr, 0, 0, BLACKNESS)) << "draws nothing";
    EXPECT_EQ(GetPixel(dc, 0, 0), CLR_INVALID);
    EXPECT_EQ(ReleaseDC(window, dc), 1);
    EXPECT_EQ(GetDC(window), nullptr);
    EXPECT_EQ(GetDC(nullptr), nullptr) << "there is no screen";
}

TEST_F(Windows, MessageBoxesAreRecordedAndShownInUtf8) {
    // "デバイスの作成に失敗しました。" in code page 932.
    const char text[] =
        "\x83\x66\x83\x6f\x83\x43\x83\x58\x82\xcc\x8d\xec\x90\xac\x82\xc9\x8e\xb8\x94\x73\x82\xb5"
        "\x82\xdc\x82\xb5\x82\xbd\x81\x42";
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(MessageBoxA(nullptr, text, "ERROR", MB_ICONWARNING), IDOK);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "ERROR: デバイスの作成に失敗しました。\n");

    gsTestSilenceMessageBoxes(TRUE);
    EXPECT_EQ(MessageBoxA(nullptr, "effect error text", "ERROR", MB_OK), IDOK);
    EXPECT_EQ(MessageBoxA(nullptr, nullptr, nullptr, MB_YESNO), IDYES);
    ASSERT_EQ(gsTestMessageBoxCount(), 3u);
    GsMessageBoxRecord record{};
    ASSERT_TRUE(gsTestMessageBox(0, &record));
    EXPECT_EQ(record.owner, nullptr);
    EXPECT_EQ(record.style, MB_ICONWARNING);
    EXPECT_STREQ(record.caption, "ERROR");
    EXPECT_STREQ(record.text, text) << "the caller's bytes, unconverted";
    ASSERT_TRUE(gsTestMessageBox(2, &record));
    EXPECT_STREQ(record.caption, "Error");
    EXPECT_STREQ(record.text, "");
    EXPECT_FALSE(gsTestMessageBox(3, &record));
    gsTestClearMessageBoxes();
    EXPECT_EQ(gsTestMessageBoxCount(), 0u);
}

TEST_F(Windows, AModuleFailingOnEveryFrameKeepsTheMessageBoxLogBounded) {
    gsTestSilenceMessageBoxes(TRUE);
    constexpr UINT kBoxes = 100000;
    for (UINT i = 0; i < kBoxes; ++i) {
        MessageBoxA(nullptr, std::to_string(i).c_str(), "ERROR", MB_ICONWARNING);
    }
    EXPECT_EQ(gsTestMessageBoxCount(), kBoxes);
    GsMessageBoxRecord record{};
    ASSERT_TRUE(gsTestMessageBox(kBoxes - 1, &record));
    EXPECT_STREQ(record.text, std::to_string(kBoxes - 1).c_str());
    ASSERT_TRUE(gsTestMessageBox(kBoxes - 64, &record));
    EXPECT_STREQ(record.text, std::to_string(kBoxes - 64).c_str());
    EXPECT_FALSE(gsTestMessageBox(kBoxes - 65, &record)) << "older boxes are dropped";
    EXPECT_FALSE(gsTestMessageBox(0, &record));
    EXPECT_FALSE(gsTestMessageBox(kBoxes, &record));

    gsTestClearMessageBoxes();
    MessageBoxA(nullptr, "again", "ERROR", MB_OK);
    ASSERT_TRUE(gsTestMessageBox(0, &record));
    EXPECT_STREQ(record.text, "again");
}

TEST_F(Windows, RegisteredMessagesAndPosts) {
    const UINT message = RegisterWindowMessageA("WMPlayer_PluginAddRemove");
    EXPECT_GE(message, 0xC000u);
    EXPECT_EQ(RegisterWindowMessageA("wmplayer_pluginaddremove"), message);
    const UINT other = RegisterWindowMessageA("Glimmerstrand_Other");
    EXPECT_NE(other, message);
    EXPECT_GE(other, 0xC000u);
    EXPECT_EQ(RegisterWindowMessageA(""), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));

    HWND window = create(1, 1);
    EXPECT_TRUE(PostMessageA(HWND_BROADCAST, message, 0, 0));
    EXPECT_TRUE(PostMessageA(window, WM_USER + 1, 2, 3));
    SetLastError(0);
    EXPECT_FALSE(PostMessageA(reinterpret_cast<HWND>(0x1234), WM_USER, 0, 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));

    ASSERT_EQ(gsTestPostedMessageCount(), 2u);
    GsPostedMessage posted{};
    ASSERT_TRUE(gsTestPostedMessage(0, &posted));
    EXPECT_EQ(posted.window, HWND_BROADCAST);
    EXPECT_EQ(posted.message, message);
    EXPECT_EQ(posted.wParam, 0u);
    ASSERT_TRUE(gsTestPostedMessage(1, &posted));
    EXPECT_EQ(posted.window, window);
    EXPECT_EQ(posted.lParam, 3);
    gsTestReset();
    EXPECT_EQ(gsTestPostedMessageCount(), 0u);
}

}  // namespace
