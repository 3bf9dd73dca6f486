#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "platform/win32.h"

namespace {

std::uint32_t storedByteCount(BSTR text) {
    std::uint32_t count;
    std::memcpy(&count, reinterpret_cast<const char*>(text) - sizeof(count), sizeof(count));
    return count;
}

TEST(Bstr, CarriesItsByteCountBeforeTheCharactersAndATerminatorAfter) {
    BSTR text = SysAllocString(OLESTR("colour"));
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(storedByteCount(text), 12u);
    EXPECT_EQ(SysStringLen(text), 6u);
    EXPECT_EQ(SysStringByteLen(text), 12u);
    EXPECT_EQ(text[6], 0);
    EXPECT_EQ(std::memcmp(text, OLESTR("colour"), 12), 0);
    SysFreeString(text);
}

TEST(Bstr, LengthIsStoredNotSearched) {
    const OLECHAR withNul[] = {u'a', 0, u'b'};
    BSTR text = SysAllocStringLen(withNul, 3);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(SysStringLen(text), 3u);
    EXPECT_EQ(text[2], u'b');
    EXPECT_EQ(text[3], 0);
    SysFreeString(text);

    BSTR uninitialised = SysAllocStringLen(nullptr, 5);
    ASSERT_NE(uninitialised, nullptr);
    EXPECT_EQ(SysStringLen(uninitialised), 5u);
    EXPECT_EQ(uninitialised[5], 0);
    SysFreeString(uninitialised);

    BSTR empty = SysAllocStringLen(OLESTR(""), 0);
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(SysStringLen(empty), 0u);
    EXPECT_EQ(empty[0], 0);
    SysFreeString(empty);
}

TEST(Bstr, ByteLengthsMayBeOddAndStayTerminated) {
    BSTR bytes = SysAllocStringByteLen("abc", 3);
    ASSERT_NE(bytes, nullptr);
    EXPECT_EQ(SysStringByteLen(bytes), 3u);
    EXPECT_EQ(SysStringLen(bytes), 1u);
    const auto* raw = reinterpret_cast<const char*>(bytes);
    EXPECT_EQ(std::memcmp(raw, "abc", 3), 0);
    EXPECT_EQ(raw[3], 0);
    EXPECT_EQ(raw[4], 0);  // the character after the last whole one is NUL too
    SysFreeString(bytes);
}

TEST(Bstr, NullMeansEmpty) {
    EXPECT_EQ(SysAllocString(nullptr), nullptr);
    EXPECT_EQ(SysStringLen(nullptr), 0u);
    EXPECT_EQ(SysStringByteLen(nullptr), 0u);
    SysFreeString(nullptr);
}

TEST(Bstr, ImpossibleLengthsFailInsteadOfWrapping) {
    EXPECT_EQ(SysAllocStringLen(nullptr, 0x80000000u), nullptr);
    EXPECT_EQ(SysAllocStringByteLen(nullptr, 0xFFFFFFFFu), nullptr);
}

TEST(Bstr, ReallocationMayCopyFromTheStringItReplaces) {
    BSTR text = SysAllocString(OLESTR("hello world"));
    ASSERT_TRUE(SysReAllocString(&text, text + 6));
    EXPECT_EQ(SysStringLen(text), 5u);
    EXPECT_EQ(std::memcmp(text, OLESTR("world"), 12), 0);

    ASSERT_TRUE(SysReAllocStringLen(&text, text + 1, 3));
    EXPECT_EQ(SysStringLen(text), 3u);
    EXPECT_EQ(std::memcmp(text, OLESTR("orl"), 8), 0);
    SysFreeString(text);
}

TEST(Bstr, FailedReallocationKeepsTheOldString) {
    BSTR text = SysAllocString(OLESTR("kept"));
    EXPECT_FALSE(SysReAllocStringLen(&text, nullptr, 0x80000000u));
    EXPECT_EQ(SysStringLen(text), 4u);
    EXPECT_EQ(std::memcmp(text, OLESTR("kept"), 10), 0);
    SysFreeString(text);
}

}  // namespace
