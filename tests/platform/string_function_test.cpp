#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/win32.h"

namespace {

TEST(CharNextA, StepsWholeUtf8CharactersAndStopsAtTheNul) {
    const char text[] = "a\xC3\xA9\xE3\x83\x87\xF0\x9F\x98\x80\x80z";
    const char* p = text;
    std::vector<std::ptrdiff_t> steps;
    while (*p != 0) {
        const char* next = CharNextA(p);
        steps.push_back(next - p);
        p = next;
    }
    EXPECT_EQ(steps, (std::vector<std::ptrdiff_t>{1, 2, 3, 4, 1, 1})) << "stray 0x80: one byte";
    EXPECT_EQ(CharNextA(p), p);
    const char truncated[] = "\xE3\x83";
    EXPECT_EQ(CharNextA(truncated), truncated + 1) << "never steps over the NUL";
}

TEST(LstrFunctions, LengthsAndComparisons) {
    EXPECT_EQ(lstrlenA("Glimmerstrand"), 13);
    EXPECT_EQ(lstrlenA(nullptr), 0);
    EXPECT_EQ(lstrlenW(u"2-Wave"), 6);
    EXPECT_EQ(lstrlenW(nullptr), 0);

    EXPECT_EQ(lstrcmpiA("HKEY_CLASSES_ROOT", "hkey_classes_root"), 0);
    EXPECT_EQ(lstrcmpiA("Software", "SOFTWARE"), 0);
    EXPECT_LT(lstrcmpiA("abc", "ABD"), 0);
    EXPECT_GT(lstrcmpiA("abcd", "ABC"), 0);
    EXPECT_LT(lstrcmpiA(nullptr, "a"), 0);
    EXPECT_EQ(lstrcmpiA(nullptr, ""), 0);
    EXPECT_NE(lstrcmpA("abc", "ABC"), 0);
    EXPECT_EQ(lstrcmpA("abc", "abc"), 0);
}

TEST(LstrFunctions, CopyIsCutToTheBufferAndAlwaysTerminated) {
    char buffer[8];
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(lstrcpynA(buffer, "Glimmerstrand", 5), buffer);
    EXPECT_STREQ(buffer, "Glim");
    EXPECT_EQ(buffer[5], 'x') << "nothing written past the limit";

    lstrcpynA(buffer, "ab", 8);
    EXPECT_STREQ(buffer, "ab");
    std::memset(buffer, 'x', sizeof buffer);
    lstrcpynA(buffer, "ab", 1);
    EXPECT_EQ(buffer[0], '\0');
    lstrcpynA(buffer, "ab", 0);
    EXPECT_EQ(buffer[1], 'x');
}

TEST(Wsprintf, ColourTextOfTheAutomationProperty) {
    WCHAR text[8];
    EXPECT_EQ(wsprintfW(text, u"#%06X", 0x00FF8800u), 7);
    EXPECT_EQ(std::u16string(text), u"#FF8800");
    EXPECT_EQ(wsprintfW(text, u"#%06X", 0x1Au), 7);
    EXPECT_EQ(std::u16string(text), u"#00001A");
}

TEST(Wsprintf, SubsetOfConversions) {
    char text[64];
    EXPECT_EQ(wsprintfA(text, "%d|%i|%u", -42, 7, 4000000000u), 16);
    EXPECT_STREQ(text, "-42|7|4000000000");
    wsprintfA(text, "%5d|%-5d|%05d", -42, 42, -42);
    EXPECT_STREQ(text, "  -42|42   |-0042");
    wsprintfA(text, "%x|%X|%lx|%08x", 0xbeefu, 0xbeefu, 255u, 0xabcu);
    EXPECT_STREQ(text, "beef|BEEF|ff|00000abc");
    wsprintfA(text, "%s|%-4s|%4s|%.2s", "ab", "ab", "ab", "abc");
    EXPECT_STREQ(text, "ab|ab  |  ab|ab");
    wsprintfA(text, "%c%c|100%%|%q", 'o', 'k');
    EXPECT_STREQ(text, "ok|100%|q") << "an unknown conversion writes its character";

    WCHAR wide[32];
    EXPECT_EQ(wsprintfW(wide, u"%s=%d%c", u"pos", 3, u'!'), 6);
    EXPECT_EQ(std::u16string(wide), u"pos=3!");
}

TEST(Wsprintf, OutputStopsAt1024CharactersWithTheNul) {
    std::string longText(2000, 'a');
    std::string buffer(2000, 'x');
    EXPECT_EQ(wsprintfA(buffer.data(), "%s", longText.c_str()), 1023);
    EXPECT_EQ(buffer[1023], '\0');
    EXPECT_EQ(buffer[1024], 'x');
}

}  // namespace
