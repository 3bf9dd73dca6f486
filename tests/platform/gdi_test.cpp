#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "platform/linux/host.h"
#include "platform/linux/testing.h"
#include "platform/win32.h"

namespace {

constexpr std::uint32_t guard = 0xDEADBEEF;

// Pixels of a surface inside a larger buffer: guard pixels around it, padding at each row's end.
struct GuardedImage {
    LONG width;
    LONG height;
    LONG pitchPixels;
    std::vector<std::uint32_t> buffer;

    GuardedImage(LONG w, LONG h, std::uint32_t seed)
        : width(w), height(h), pitchPixels(w + 3), buffer((h + 2) * (w + 3) + 8, guard) {
        for (LONG y = 0; y < h; ++y) {
            for (LONG x = 0; x < w; ++x) {
                at(x, y) = seed + static_cast<std::uint32_t>(y * 1000 + x);
            }
        }
    }
    std::uint32_t* first() { return buffer.data() + pitchPixels + 1; }
    std::uint32_t& at(LONG x, LONG y) { return first()[y * pitchPixels + x]; }
    HDC dc() { return gsCreateDCOverMemory(first(), width, height, pitchPixels * 4); }
};

struct Blit {
    int x, y, width, height, sourceX, sourceY;
};

// What BitBlt must do, pixel by pixel: each target pixel inside the rectangle whose source
// pixel exists takes that pixel.
void referenceBlit(GuardedImage& target, GuardedImage& source, const Blit& b) {
    for (LONG ty = 0; ty < target.height; ++ty) {
        for (LONG tx = 0; tx < target.width; ++tx) {
            const long long i = static_cast<long long>(tx) - b.x;
            const long long j = static_cast<long long>(ty) - b.y;
            const long long sx = b.sourceX + i;
            const long long sy = b.sourceY + j;
            if (i >= 0 && j >= 0 && i < b.width && j < b.height && sx >= 0 && sy >= 0 &&
                sx < source.width && sy < source.height) {
                target.at(tx, ty) = source.at(static_cast<LONG>(sx), static_cast<LONG>(sy));
            }
        }
    }
}

// BitBlt of b from source into target, which must then hold what referenceBlit gives.
void expectBlitOfReference(GuardedImage& target, GuardedImage& source, const Blit& b) {
    GuardedImage expected = target;
    referenceBlit(expected, source, b);
    HDC targetDC = target.dc();
    HDC sourceDC = source.dc();
    ASSERT_TRUE(
        BitBlt(targetDC, b.x, b.y, b.width, b.height, sourceDC, b.sourceX, b.sourceY, SRCCOPY));
    EXPECT_TRUE(target.buffer == expected.buffer)
        << b.x << "," << b.y << " " << b.width << "x" << b.height << " from " << b.sourceX << ","
        << b.sourceY;
    EXPECT_TRUE(DeleteDC(targetDC));
    EXPECT_TRUE(DeleteDC(sourceDC));
}

TEST(BitBlt, ClipsAgainstBothSurfacesAndTouchesNothingOutside) {
    std::vector<Blit> blits = {
        {0, 0, 16, 12, 0, 0},          {-3, -2, 10, 10, 0, 0},
        {5, 4, 100, 100, 0, 0},        {2, 2, 8, 8, -5, -6},
        {0, 0, 20, 20, 10, 7},         {-100, -100, 50, 50, -100, -100},
        {14, 10, 5, 5, 0, 0},          {0, 0, 0, 5, 0, 0},
        {0, 0, 5, -5, 0, 0},           {3, 3, 4, 4, 19, 1},
        {0x7ffffff0, 0, 100, 5, 0, 0}, {-0x7fffffff, 0, 0x7fffffff, 3, 0, 0},
    };
    std::mt19937 random(7);
    for (int i = 0; i < 200; ++i) {
        auto pick = [&](int low, int high) {
            return std::uniform_int_distribution<int>(low, high)(random);
        };
        blits.push_back(
            {pick(-20, 20), pick(-20, 20), pick(0, 30), pick(0, 30), pick(-20, 20), pick(-20, 20)});
    }
    for (const Blit& b : blits) {
        GuardedImage target(16, 12, 0x100000);
        GuardedImage source(11, 9, 0x200000);
        expectBlitOfReference(target, source, b);
    }
}

// Copies within one surface, whose rows run down through memory or (bottom-up) up through it. A
// bottom-up copy is, in memory, the top-down copy of the mirrored rectangles.
TEST(BitBlt, OverlappingCopiesWithinOneSurface) {
    for (const bool bottomUp : {false, true}) {
        for (const Blit& b : {Blit{2, 3, 8, 6, 0, 0}, Blit{0, 0, 8, 6, 2, 3},
                              Blit{1, 0, 10, 9, 0, 0}, Blit{0, 1, 10, 9, 0, 0}}) {
            GuardedImage image(12, 10, 0x300000);
            GuardedImage copyOfSource = image;
            GuardedImage expected = image;
            const LONG h = image.height;
            referenceBlit(expected, copyOfSource,
                          bottomUp ? Blit{b.x, h - b.y - b.height, b.width, b.height, b.sourceX,
                                          h - b.sourceY - b.height}
                                   : b);
            HDC dc = bottomUp ? gsCreateDCOverMemory(&image.at(0, h - 1), image.width, h,
                                                     -image.pitchPixels * 4)
                              : image.dc();
            ASSERT_TRUE(BitBlt(dc, b.x, b.y, b.width, b.height, dc, b.sourceX, b.sourceY, SRCCOPY));
            EXPECT_EQ(image.buffer, expected.buffer) << b.x << "," << b.y << " " << bottomUp;
            DeleteDC(dc);
        }
    }
}

// Copies larger than a processor's nearer caches take another way through memory: the same
// pixels, rows that begin anywhere within a 16-byte block and widths that end anywhere in one, and
// overlapping copies within one surface as before.
TEST(BitBlt, CopiesLargerThanTheCacheGiveTheSamePixels) {
    GuardedImage source(1101, 1100, 0x400000);
    for (const Blit& b : {Blit{1, 2, 1099, 1098, 0, 1}, Blit{-2, 0, 1103, 1100, 3, 0}}) {
        GuardedImage target(1102, 1100, 0x500000);
        expectBlitOfReference(target, source, b);
    }
    // A row down within one surface, top-down and bottom-up: in memory, a row on or back.
    for (const bool bottomUp : {false, true}) {
        GuardedImage image = source;
        GuardedImage expected = source;
        const LONG w = source.width, h = source.height;
        referenceBlit(expected, source,
                      bottomUp ? Blit{0, 0, w, h - 1, 0, 1} : Blit{0, 1, w, h - 1, 0, 0});
        HDC dc = bottomUp ? gsCreateDCOverMemory(&image.at(0, h - 1), w, h, -image.pitchPixels * 4)
                          : image.dc();
        ASSERT_TRUE(BitBlt(dc, 0, 1, w, h - 1, dc, 0, 0, SRCCOPY));
        EXPECT_TRUE(image.buffer == expected.buffer) << bottomUp;
        DeleteDC(dc);
    }
}

TEST(BitBlt, FillsAndRefusals) {
    GuardedImage image(4, 3, 0x400000);
    HDC dc = image.dc();
    ASSERT_TRUE(BitBlt(dc, -1, 1, 3, 5, nullptr, 0, 0, BLACKNESS));
    EXPECT_EQ(image.at(0, 1), 0u);
    EXPECT_EQ(image.at(1, 2), 0u);
    EXPECT_EQ(image.at(2, 1), 0x400000u + 1002);
    ASSERT_TRUE(BitBlt(dc, 3, 0, 9, 1, nullptr, 0, 0, WHITENESS));
    EXPECT_EQ(image.at(3, 0), 0x00FFFFFFu);
    EXPECT_EQ(GetPixel(dc, 3, 0), RGB(255, 255, 255));

    SetLastError(0);
    EXPECT_FALSE(BitBlt(dc, 0, 0, 1, 1, dc, 0, 0, 0x00EE0086 /* SRCPAINT */));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_FALSE(BitBlt(dc, 0, 0, 1, 1, reinterpret_cast<HDC>(0x1234), 0, 0, SRCCOPY));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_TRUE(DeleteDC(dc));
    EXPECT_FALSE(DeleteDC(dc)) << "a DC is deleted once";
    EXPECT_FALSE(BitBlt(dc, 0, 0, 1, 1, nullptr, 0, 0, BLACKNESS)) << "stale handle";
    EXPECT_EQ(image.buffer[0], guard);
}

TEST(MemoryDC, OverCallerMemoryWithBottomUpPitchAndBadArguments) {
    std::vector<std::uint32_t> bottomUp(4 * 3, 0);
    // Row 0 of the picture is the last row in memory.
    HDC dc = gsCreateDCOverMemory(bottomUp.data() + 8, 4, 3, -16);
    ASSERT_NE(dc, nullptr);
    GuardedImage source(4, 3, 0x500000);
    HDC sourceDC = source.dc();
    ASSERT_TRUE(BitBlt(dc, 0, 0, 4, 3, sourceDC, 0, 0, SRCCOPY));
    EXPECT_EQ(bottomUp[8], 0x500000u) << "picture row 0";
    EXPECT_EQ(bottomUp[0], 0x500000u + 2000) << "picture row 2";
    DeleteDC(dc);
    DeleteDC(sourceDC);
    EXPECT_EQ(bottomUp[8], 0x500000u) << "DeleteDC leaves the caller's memory alone";

    std::uint32_t pixel = 0;
    for (auto [bits, width, height, pitch] : {std::tuple{static_cast<void*>(nullptr), 1, 1, 4},
                                              std::tuple{static_cast<void*>(&pixel), 0, 1, 4},
                                              std::tuple{static_cast<void*>(&pixel), 1, -1, 4},
                                              std::tuple{static_cast<void*>(&pixel), 2, 1, 4},
                                              std::tuple{static_cast<void*>(&pixel), 2, 1, -4}}) {
        SetLastError(0);
        EXPECT_EQ(gsCreateDCOverMemory(bits, width, height, pitch), nullptr)
            << width << " " << pitch;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    }
}

BITMAPINFO dibInfo(LONG width, LONG height) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    return info;
}

TEST(DibSection, TopDownAndBottomUpRowsAndTheirMemory) {
    for (LONG height : {-3, 3}) {
        const BITMAPINFO info = dibInfo(2, height);
        void* bits = reinterpret_cast<void*>(0x1);
        HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        ASSERT_NE(bitmap, nullptr);
        ASSERT_NE(bits, nullptr);
        auto* pixels = static_cast<std::uint32_t*>(bits);
        EXPECT_EQ(pixels[0], 0u) << "zeroed";

        HDC dc = CreateCompatibleDC(nullptr);
        HGDIOBJ stock = SelectObject(dc, bitmap);
        ASSERT_NE(stock, nullptr);
        ASSERT_TRUE(BitBlt(dc, 0, 0, 2, 1, nullptr, 0, 0, WHITENESS));  // picture row 0
        const std::size_t memoryRowOfTop = height < 0 ? 0 : 2;
        EXPECT_EQ(pixels[memoryRowOfTop * 2], 0x00FFFFFFu) << height;
        EXPECT_EQ(GetPixel(dc, 1, 0), RGB(255, 255, 255));

        BITMAP description{};
        EXPECT_EQ(GetObjectA(bitmap, sizeof description, &description),
                  static_cast<int>(sizeof description));
        EXPECT_EQ(description.bmWidth, 2);
        EXPECT_EQ(description.bmHeight, 3);
        EXPECT_EQ(description.bmBitsPixel, 32);
        EXPECT_EQ(description.bmBits, bits);

        SetLastError(0);
        EXPECT_FALSE(DeleteObject(bitmap)) << "still selected";
        EXPECT_EQ(SelectObject(dc, stock), bitmap);
        EXPECT_TRUE(DeleteDC(dc));
        EXPECT_TRUE(DeleteObject(bitmap));
        EXPECT_FALSE(DeleteObject(bitmap));
    }
}

TEST(DibSection, UnsupportedFormatsAreRefused) {
    std::vector<BITMAPINFO> infos(5, dibInfo(4, 4));
    infos[0].bmiHeader.biBitCount = 24;
    infos[1].bmiHeader.biCompression = 3;  // BI_BITFIELDS
    infos[2].bmiHeader.biWidth = 0;
    infos[3].bmiHeader.biHeight = 0;
    infos[4].bmiHeader.biWidth = 0x7fffffff;
    for (const BITMAPINFO& info : infos) {
        void* bits = reinterpret_cast<void*>(0x1);
        EXPECT_EQ(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0), nullptr);
        EXPECT_EQ(bits, nullptr);
    }
    const BITMAPINFO good = dibInfo(4, 4);
    void* bits = nullptr;
    EXPECT_EQ(CreateDIBSection(nullptr, &good, DIB_PAL_COLORS, &bits, nullptr, 0), nullptr);
}

TEST(MemoryDC, ABitmapBelongsToOneDCAtATime) {
    HDC first = CreateCompatibleDC(nullptr);
    HDC second = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = CreateCompatibleBitmap(first, 8, 8);
    ASSERT_NE(bitmap, nullptr);
    HGDIOBJ stock = SelectObject(first, bitmap);
    ASSERT_NE(stock, nullptr);
    EXPECT_EQ(SelectObject(second, bitmap), nullptr);
    EXPECT_EQ(SelectObject(first, bitmap), bitmap) << "selecting again into its own DC is fine";
    EXPECT_TRUE(DeleteDC(first));
    EXPECT_NE(SelectObject(second, bitmap), nullptr) << "free again once its DC is gone";
    EXPECT_TRUE(DeleteObject(stock)) << "stock objects survive DeleteObject";
    EXPECT_NE(SelectObject(second, stock), nullptr);
    EXPECT_TRUE(DeleteObject(bitmap));
    EXPECT_TRUE(DeleteDC(second));
}

// The counts tests use to find handles nobody gave back follow every way of making and
// freeing a window, a DC or a bitmap.
TEST(DesktopObjectCounts, FollowCreationAndRelease) {
    auto counts = [] {
        GsDesktopObjectCounts now{};
        gsTestDesktopObjectCounts(&now);
        return now;
    };
    const GsDesktopObjectCounts before = counts();
    HWND window = gsCreateWindow(8, 8);
    HDC windowDc = GetDC(window);
    HDC memoryDc = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = CreateCompatibleBitmap(memoryDc, 4, 4);
    ASSERT_NE(bitmap, nullptr);
    const GsDesktopObjectCounts during = counts();
    EXPECT_EQ(during.windows, before.windows + 1);
    EXPECT_EQ(during.deviceContexts, before.deviceContexts + 2);
    EXPECT_EQ(during.bitmaps, before.bitmaps + 1) << "the stock bitmap is not counted";

    EXPECT_TRUE(DeleteObject(bitmap));
    EXPECT_TRUE(DeleteDC(memoryDc));
    EXPECT_TRUE(gsDestroyWindow(window));
    EXPECT_EQ(counts().deviceContexts, before.deviceContexts + 1)
        << "a window's DC outlives its window until it is released";
    EXPECT_EQ(ReleaseDC(window, windowDc), 1);
    const GsDesktopObjectCounts after = counts();
    EXPECT_EQ(after.windows, before.windows);
    EXPECT_EQ(after.deviceContexts, before.deviceContexts);
    EXPECT_EQ(after.bitmaps, before.bitmaps);
    gsTestDesktopObjectCounts(nullptr);  // ignored, not a crash
}

}  // namespace
