#include <gtest/gtest.h>

#include <string>

#include "platform/win32.h"

namespace {

// "デバイスの作成に失敗しました。" as the module carries it, in code page 932.
constexpr char deviceCreationFailed932[] =
    "\x83\x66\x83\x6f\x83\x43\x83\x58\x82\xcc\x8d\xec\x90\xac\x82\xc9\x8e\xb8\x94\x73\x82\xb5"
    "\x82\xdc\x82\xb5\x82\xbd\x81\x42";
constexpr char16_t deviceCreationFailed[] = u"デバイスの作成に失敗しました。";
// "ビデオカードがPixelShader2.0に対応していません。": single and double bytes mixed.
constexpr char noPixelShader932[] =
    "\x83\x72\x83\x66\x83\x49\x83\x4a\x81\x5b\x83\x68\x82\xaa"
    "PixelShader2.0"
    "\x82\xc9\x91\xce\x89\x9e\x82\xb5\x82\xc4\x82\xa2\x82\xdc\x82\xb9\x82\xf1\x81\x42";
constexpr char16_t noPixelShader[] = u"ビデオカードがPixelShader2.0に対応していません。";

std::u16string toWide(UINT codePage, const std::string& bytes, DWORD flags = 0) {
    const int length = MultiByteToWideChar(codePage, flags, bytes.data(),
                                           static_cast<int>(bytes.size()), nullptr, 0);
    std::u16string wide(static_cast<std::size_t>(length), u'\0');
    if (length > 0) {
        EXPECT_EQ(MultiByteToWideChar(codePage, flags, bytes.data(), static_cast<int>(bytes.size()),
                                      wide.data(), length),
                  length);
    }
    return wide;
}

std::string toBytes(UINT codePage, const std::u16string& wide, DWORD flags = 0) {
    const int length = WideCharToMultiByte(
        codePage, flags, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(length), '\0');
    if (length > 0) {
        EXPECT_EQ(WideCharToMultiByte(codePage, flags, wide.data(), static_cast<int>(wide.size()),
                                      bytes.data(), length, nullptr, nullptr),
                  length);
    }
    return bytes;
}

TEST(CodePage932, ModuleMessagesRoundTrip) {
    for (const auto& [bytes, text] :
         {std::pair{std::string(deviceCreationFailed932), std::u16string(deviceCreationFailed)},
          std::pair{std::string(noPixelShader932), std::u16string(noPixelShader)}}) {
        EXPECT_EQ(toWide(932, bytes), text);
        EXPECT_EQ(toBytes(932, text), bytes);
    }
    EXPECT_EQ(toWide(932, deviceCreationFailed932).size(), 15u) << "two bytes per character";
}

TEST(CodePage932, UnmappableTextUsesTheDefaultCharacterAndSaysSo) {
    const std::u16string wide = u"a\u00E9\U0001F600b";  // é and an emoji have no CP932 form
    BOOL usedDefault = FALSE;
    char bytes[16] = {};
    const int length = WideCharToMultiByte(932, 0, wide.data(), static_cast<int>(wide.size()),
                                           bytes, sizeof bytes, nullptr, &usedDefault);
    EXPECT_EQ(std::string(bytes, static_cast<std::size_t>(length)), "a???b");
    EXPECT_TRUE(usedDefault);

    usedDefault = TRUE;
    EXPECT_EQ(WideCharToMultiByte(932, 0, u"ab", 2, bytes, sizeof bytes, "*", &usedDefault), 2);
    EXPECT_FALSE(usedDefault) << "reset when nothing was replaced";
    EXPECT_EQ(WideCharToMultiByte(932, 0, u"\u00E9", 1, bytes, sizeof bytes, "*", nullptr), 1);
    EXPECT_EQ(bytes[0], '*');
}

TEST(CodePage932, MalformedBytes) {
    // A lead byte at the end of the input and a lead byte followed by a byte that cannot trail.
    EXPECT_EQ(toWide(932, "a\x83"), u"a\u30FB");
    EXPECT_EQ(toWide(932, std::string("\x83\x0a", 2)), u"\u30FB\n") << "the newline survives";
    // 0x85 is a lead byte with nothing assigned behind it: one character, both bytes.
    EXPECT_EQ(toWide(932, "\x85\x40z"), u"\u30FBz");
    // Single bytes that Windows maps to private-use characters, both ways.
    EXPECT_EQ(toWide(932, "\x80\xA0\xFD"), u"\u0080\uF8F0\uF8F1");
    EXPECT_EQ(toBytes(932, u"\uF8F0"), "\xA0");
    EXPECT_EQ(MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, "a\x83", 2, nullptr, 0), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));
}

TEST(Utf8, AnsiCodePagesAreUtf8) {
    const std::string bytes = "gr\xC3\xBC\xC3\x9F \xF0\x9F\x98\x80";
    const std::u16string wide = u"grüß \U0001F600";
    for (UINT codePage : {CP_ACP, CP_THREAD_ACP, CP_UTF8}) {
        EXPECT_EQ(toWide(codePage, bytes), wide);
        EXPECT_EQ(toBytes(codePage, wide), bytes);
    }
}

TEST(Utf8, AnsiCodePagesTakeTheFlagsOfAnAnsiCodePage) {
    // What callers pass for an ANSI code page on Windows keeps working though it is UTF-8 here;
    // explicit CP_UTF8 keeps its own stricter rules (see BadArgumentsAndFlags).
    WCHAR wide[8];
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, "abc", 3, wide, 8), 3);
    const char16_t loneSurrogate[] = {u'x', 0xDC00};
    char narrow[8];
    BOOL usedDefault = FALSE;
    EXPECT_EQ(WideCharToMultiByte(CP_THREAD_ACP, WC_NO_BEST_FIT_CHARS, loneSurrogate, 2, narrow, 8,
                                  "?", &usedDefault),
              4);
    EXPECT_TRUE(usedDefault);
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, u"ok", 2, narrow, 8, nullptr, &usedDefault), 2);
    EXPECT_FALSE(usedDefault);
}

TEST(Utf8, MalformedInputIsReplacedOrRefused) {
    // Overlong form, a surrogate, a truncated sequence at the end: one U+FFFD per maximal subpart.
    EXPECT_EQ(toWide(CP_UTF8, "\xC0\xAF"), u"\uFFFD\uFFFD");
    EXPECT_EQ(toWide(CP_UTF8, "\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");
    EXPECT_EQ(toWide(CP_UTF8, "a\xE2\x82"), u"a\uFFFD");
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, "a\xE2\x82", 3, nullptr, 0), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));

    const char16_t loneSurrogate[] = {u'x', 0xD800, u'y'};
    EXPECT_EQ(toBytes(CP_UTF8, std::u16string(loneSurrogate, 3)), "x\xEF\xBF\xBDy");
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, loneSurrogate, 3, nullptr, 0,
                                  nullptr, nullptr),
              0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));
}

TEST(ConversionLengths, MinusOneCountsTheNulAndZeroAsksForTheSize) {
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", -1, nullptr, 0), 4);
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", 3, nullptr, 0), 3);
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, u"abc", -1, nullptr, 0, nullptr, nullptr), 4);

    WCHAR wide[4] = {u'x', u'x', u'x', u'x'};
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", -1, wide, 4), 4);
    EXPECT_EQ(std::u16string(wide), u"abc");
    char narrow[4];
    EXPECT_EQ(WideCharToMultiByte(932, 0, deviceCreationFailed, -1, narrow, 4, nullptr, nullptr),
              0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", -1, wide, 3), 0)
        << "no room for the NUL that -1 counts";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
}

TEST(ConversionLengths, BadArgumentsAndFlags) {
    WCHAR wide[8];
    struct Case {
        UINT codePage;
        DWORD flags;
        const char* source;
        int sourceLength;
        LPWSTR target;
        int targetLength;
        DWORD error;
    };
    const Case cases[] = {
        {CP_UTF8, 0, nullptr, 3, wide, 8, ERROR_INVALID_PARAMETER},
        {CP_UTF8, 0, "abc", 0, wide, 8, ERROR_INVALID_PARAMETER},
        {CP_UTF8, 0, "abc", -2, wide, 8, ERROR_INVALID_PARAMETER},
        {CP_UTF8, 0, "abc", 3, nullptr, 8, ERROR_INVALID_PARAMETER},
        {CP_UTF8, 0, "abc", 3, wide, -1, ERROR_INVALID_PARAMETER},
        {1252, 0, "abc", 3, wide, 8, ERROR_INVALID_PARAMETER},
        {CP_UTF8, MB_PRECOMPOSED, "abc", 3, wide, 8, ERROR_INVALID_FLAGS},
        {932, MB_PRECOMPOSED | MB_COMPOSITE, "abc", 3, wide, 8, ERROR_INVALID_FLAGS},
    };
    for (const Case& c : cases) {
        SetLastError(0);
        EXPECT_EQ(MultiByteToWideChar(c.codePage, c.flags, c.source, c.sourceLength, c.target,
                                      c.targetLength),
                  0);
        EXPECT_EQ(GetLastError(), c.error) << c.codePage << " " << c.flags;
    }
    EXPECT_EQ(MultiByteToWideChar(932, MB_PRECOMPOSED, "abc", 3, wide, 8), 3);

    BOOL used = FALSE;
    char narrow[8];
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"a", 1, narrow, 8, nullptr, &used), 0)
        << "UTF-8 has no default character";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(WideCharToMultiByte(932, WC_ERR_INVALID_CHARS, u"a", 1, narrow, 8, nullptr, nullptr),
              0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_FLAGS));

    char overlapping[16] = "abc";
    EXPECT_EQ(
        MultiByteToWideChar(CP_UTF8, 0, overlapping, 3, reinterpret_cast<LPWSTR>(overlapping), 4),
        0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

}  // namespace
