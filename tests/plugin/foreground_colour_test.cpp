#include "plugin/foreground_colour.h"

#include <gtest/gtest.h>

#include <string>

namespace gs::plugin {
namespace {

// A BSTR that frees itself.
struct OwnedBstr {
    explicit OwnedBstr(const OLECHAR* text) : value(SysAllocString(text)) {}
    OwnedBstr(const OLECHAR* text, UINT length) : value(SysAllocStringLen(text, length)) {}
    OwnedBstr(const OwnedBstr&) = delete;
    OwnedBstr& operator=(const OwnedBstr&) = delete;
    ~OwnedBstr() { SysFreeString(value); }
    BSTR value;
};

std::u16string text(BSTR b) {
    return b == nullptr ? std::u16string() : std::u16string(reinterpret_cast<const char16_t*>(b));
}

TEST(ForegroundColour, FormatsUpperCaseRgb) {
    struct Case {
        COLORREF colour;
        const char16_t* expected;
    };
    const Case cases[] = {
        {kDefaultForegroundColour, u"#FF0000"},
        {0x00EFAB12, u"#12ABEF"},
        {0, u"#000000"},
        {0x00FFFFFF, u"#FFFFFF"},
        {0xAB010203, u"#030201"},  // the top byte is dropped
    };
    for (const Case& c : cases) {
        OwnedBstr formatted(nullptr);
        formatted.value = formatForegroundColour(c.colour);
        ASSERT_NE(formatted.value, nullptr);
        EXPECT_EQ(SysStringLen(formatted.value), 7u);
        EXPECT_EQ(text(formatted.value), c.expected);
    }
}

TEST(ForegroundColour, ParsesAndRefuses) {
    constexpr COLORREF kBefore = 0x00C0FFEE;
    struct Case {
        const OLECHAR* input;
        UINT length;  // 0: up to the first NUL
        HRESULT result;
        COLORREF colour;  // after the call
    };
    const Case cases[] = {
        {OLESTR("#12abEF"), 0, S_OK, 0x00EFAB12},
        {OLESTR("X12ABEF"), 0, S_OK, 0x00EFAB12},  // the mark is not examined
        {OLESTR("#000000"), 0, S_OK, 0},
        {OLESTR("#FFFFFF"), 0, S_OK, 0x00FFFFFF},
        {OLESTR(""), 0, E_INVALIDARG, kBefore},
        {OLESTR("#12ABE"), 0, E_INVALIDARG, kBefore},
        {OLESTR("#12ABEF0"), 0, E_INVALIDARG, kBefore},
        {OLESTR("#12ABEG"), 0, E_INVALIDARG, kBefore},
        {OLESTR("# 2ABEF"), 0, E_INVALIDARG, kBefore},
        {OLESTR("#12ABEF\0zz"), 10, S_OK, 0x00EFAB12},  // counted to the first NUL
        {OLESTR("#12\0ABEF"), 8, E_INVALIDARG, kBefore},
    };
    for (const Case& c : cases) {
        OwnedBstr input = c.length != 0 ? OwnedBstr(c.input, c.length) : OwnedBstr(c.input);
        COLORREF colour = kBefore;
        EXPECT_EQ(parseForegroundColour(input.value, colour), c.result)
            << std::string(text(input.value).begin(), text(input.value).end());
        EXPECT_EQ(colour, c.colour);
    }
    COLORREF colour = kBefore;
    EXPECT_EQ(parseForegroundColour(nullptr, colour), E_POINTER);
    EXPECT_EQ(colour, kBefore);
}

}  // namespace
}  // namespace gs::plugin
