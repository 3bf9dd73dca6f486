#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/win32.h"

namespace {

std::u16string text(BSTR value) {
    return value ? std::u16string(reinterpret_cast<const char16_t*>(value), SysStringLen(value))
                 : std::u16string();
}

// Counts its references, and answers a value-property get with a fixed string.
class CountingObject : public IDispatch {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch)) {
            *object = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
    ULONG STDMETHODCALLTYPE Release() override { return --references; }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID member, REFIID, LCID, WORD flags, DISPPARAMS*,
                                     VARIANT* result, EXCEPINFO*, UINT*) override {
        if (member != DISPID_VALUE || (flags & DISPATCH_PROPERTYGET) == 0 || result == nullptr) {
            return DISP_E_MEMBERNOTFOUND;
        }
        V_VT(result) = VT_BSTR;
        V_BSTR(result) = SysAllocString(OLESTR("#00FF00"));
        return S_OK;
    }

    ULONG references = 1;
};

TEST(Variant, HasTheWindowsLayout) {
    EXPECT_EQ(sizeof(VARIANT), sizeof(void*) == 8 ? 24u : 16u);
    EXPECT_EQ(offsetof(VARIANT, lVal), 8u);
    EXPECT_EQ(sizeof(DECIMAL), 16u);
    VARIANT value;
    std::memset(&value, 0xCC, sizeof(value));
    VariantInit(&value);
    EXPECT_EQ(V_VT(&value), VT_EMPTY);
}

TEST(Variant, CopyDuplicatesStringsAndReferencesObjects) {
    VARIANT source;
    VariantInit(&source);
    V_VT(&source) = VT_BSTR;
    V_BSTR(&source) = SysAllocStringLen(OLESTR("a\0b"), 3);
    VARIANT copy;
    VariantInit(&copy);
    ASSERT_EQ(VariantCopy(&copy, &source), S_OK);
    EXPECT_NE(V_BSTR(&copy), V_BSTR(&source));
    EXPECT_EQ(text(V_BSTR(&copy)), std::u16string(u"a\0b", 3));

    CountingObject object;
    VariantClear(&source);
    V_VT(&source) = VT_DISPATCH;
    V_DISPATCH(&source) = &object;
    object.AddRef();
    ASSERT_EQ(VariantCopy(&copy, &source), S_OK);  // also frees the string copied above
    EXPECT_EQ(object.references, 3u);
    EXPECT_EQ(VariantClear(&copy), S_OK);
    EXPECT_EQ(VariantClear(&source), S_OK);
    EXPECT_EQ(V_VT(&source), VT_EMPTY);
    EXPECT_EQ(object.references, 1u);
}

TEST(Variant, CopyIndirectTakesTheReferencedValue) {
    BSTR referenced = SysAllocString(OLESTR("shared"));
    VARIANT byReference;
    VariantInit(&byReference);
    V_VT(&byReference) = VT_BSTR | VT_BYREF;
    V_BSTRREF(&byReference) = &referenced;
    VARIANT copy;
    VariantInit(&copy);
    ASSERT_EQ(VariantCopyInd(&copy, &byReference), S_OK);
    EXPECT_EQ(V_VT(&copy), VT_BSTR);
    EXPECT_NE(V_BSTR(&copy), referenced);
    EXPECT_EQ(text(V_BSTR(&copy)), u"shared");
    VariantClear(&copy);
    SysFreeString(referenced);
}

TEST(Variant, BadTypesAreRefusedAndLeftAlone) {
    VARIANT value;
    VariantInit(&value);
    V_VT(&value) = 0x7F;
    EXPECT_EQ(VariantClear(&value), DISP_E_BADVARTYPE);
    EXPECT_EQ(V_VT(&value), 0x7F);
    VARIANT copy;
    VariantInit(&copy);
    EXPECT_EQ(VariantCopy(&copy, &value), DISP_E_BADVARTYPE);
    V_VT(&value) = VT_I4;
    EXPECT_EQ(VariantChangeType(&copy, &value, 0, 0x7F), DISP_E_BADVARTYPE);
    EXPECT_EQ(VariantChangeType(&copy, &value, 0, VT_VARIANT), DISP_E_TYPEMISMATCH);
}

struct Conversion {
    VARTYPE from;
    LONG integer;            // used when `from` is an integer type
    const char16_t* string;  // used when `from` is VT_BSTR
    VARTYPE to;
    HRESULT expected;
    LONGLONG integerResult;
    const char16_t* stringResult;
};

class VariantConversion : public ::testing::TestWithParam<Conversion> {};

TEST_P(VariantConversion, ProducesTheWindowsResult) {
    const Conversion& c = GetParam();
    VARIANT source;
    VariantInit(&source);
    V_VT(&source) = c.from;
    if (c.from == VT_BSTR) {
        V_BSTR(&source) =
            c.string ? SysAllocString(reinterpret_cast<const OLECHAR*>(c.string)) : nullptr;
    } else if (c.from == VT_BOOL) {
        V_BOOL(&source) = static_cast<VARIANT_BOOL>(c.integer);
    } else if (c.from != VT_EMPTY && c.from != VT_NULL) {
        V_I4(&source) = c.integer;
    }
    VARIANT target;
    VariantInit(&target);
    V_VT(&target) = VT_I4;
    V_I4(&target) = 0x5EED;
    const HRESULT hr = VariantChangeType(&target, &source, 0, c.to);
    EXPECT_EQ(hr, c.expected);
    if (FAILED(hr)) {
        EXPECT_EQ(V_VT(&target), VT_I4) << "a failed conversion leaves the target untouched";
        EXPECT_EQ(V_I4(&target), 0x5EED);
    } else {
        ASSERT_EQ(V_VT(&target), c.to);
        if (c.to == VT_BSTR) {
            EXPECT_EQ(text(V_BSTR(&target)), std::u16string(c.stringResult));
        } else if (c.to == VT_UI4) {
            EXPECT_EQ(V_UI4(&target), static_cast<ULONG>(c.integerResult));
        } else if (c.to == VT_I4) {
            EXPECT_EQ(V_I4(&target), static_cast<LONG>(c.integerResult));
        } else if (c.to == VT_BOOL) {
            EXPECT_EQ(V_BOOL(&target), static_cast<VARIANT_BOOL>(c.integerResult));
        }
    }
    VariantClear(&target);
    VariantClear(&source);
}

INSTANTIATE_TEST_SUITE_P(
    Table, VariantConversion,
    ::testing::Values(Conversion{VT_I4, -42, nullptr, VT_BSTR, S_OK, 0, u"-42"},
                      Conversion{VT_UI4, -1, nullptr, VT_BSTR, S_OK, 0, u"4294967295"},
                      Conversion{VT_BOOL, -1, nullptr, VT_BSTR, S_OK, 0, u"-1"},
                      Conversion{VT_EMPTY, 0, nullptr, VT_BSTR, S_OK, 0, u""},
                      Conversion{VT_NULL, 0, nullptr, VT_BSTR, DISP_E_TYPEMISMATCH, 0, nullptr},
                      Conversion{VT_BSTR, 0, u" 42 ", VT_I4, S_OK, 42, nullptr},
                      Conversion{VT_BSTR, 0, u"-2147483648", VT_I4, S_OK, -2147483647LL - 1,
                                 nullptr},
                      Conversion{VT_BSTR, 0, u"2147483648", VT_I4, DISP_E_OVERFLOW, 0, nullptr},
                      Conversion{VT_BSTR, 0, u"#12ABEF", VT_I4, DISP_E_TYPEMISMATCH, 0, nullptr},
                      Conversion{VT_BSTR, 0, nullptr, VT_I4, DISP_E_TYPEMISMATCH, 0, nullptr},
                      Conversion{VT_BSTR, 0, u"4294967295", VT_UI4, S_OK, 4294967295LL, nullptr},
                      Conversion{VT_BSTR, 0, u"true", VT_BOOL, S_OK, VARIANT_TRUE, nullptr},
                      Conversion{VT_I4, -1, nullptr, VT_UI4, S_OK, 4294967295LL, nullptr},
                      Conversion{VT_UI4, -1, nullptr, VT_I4, S_OK, -1, nullptr},
                      Conversion{VT_I4, -1, nullptr, VT_UI2, DISP_E_OVERFLOW, 0, nullptr},
                      Conversion{VT_I4, 65536, nullptr, VT_I2, DISP_E_OVERFLOW, 0, nullptr},
                      Conversion{VT_I4, 7, nullptr, VT_BOOL, S_OK, VARIANT_TRUE, nullptr},
                      Conversion{VT_EMPTY, 0, nullptr, VT_UI4, S_OK, 0, nullptr}));

TEST(Variant, ConversionMayWriteOverItsSource) {
    VARIANT value;
    VariantInit(&value);
    V_VT(&value) = VT_BSTR;
    V_BSTR(&value) = SysAllocString(OLESTR("1234"));
    ASSERT_EQ(VariantChangeType(&value, &value, 0, VT_UI4), S_OK);
    EXPECT_EQ(V_VT(&value), VT_UI4);
    EXPECT_EQ(V_UI4(&value), 1234u);
    ASSERT_EQ(VariantChangeType(&value, &value, 0, VT_BSTR), S_OK);
    EXPECT_EQ(text(V_BSTR(&value)), u"1234");
    VariantClear(&value);
}

TEST(Variant, ConversionFollowsReferencesAndValueProperties) {
    LONG number = 99;
    VARIANT byReference;
    VariantInit(&byReference);
    V_VT(&byReference) = VT_I4 | VT_BYREF;
    V_I4REF(&byReference) = &number;
    VARIANT result;
    VariantInit(&result);
    ASSERT_EQ(VariantChangeType(&result, &byReference, 0, VT_BSTR), S_OK);
    EXPECT_EQ(text(V_BSTR(&result)), u"99");
    VariantClear(&result);

    CountingObject object;
    VARIANT dispatch;
    VariantInit(&dispatch);
    V_VT(&dispatch) = VT_DISPATCH;
    V_DISPATCH(&dispatch) = &object;
    ASSERT_EQ(VariantChangeType(&result, &dispatch, 0, VT_BSTR), S_OK);
    EXPECT_EQ(text(V_BSTR(&result)), u"#00FF00");
    VariantClear(&result);
    EXPECT_EQ(VariantChangeType(&result, &dispatch, VARIANT_NOVALUEPROP, VT_BSTR),
              DISP_E_TYPEMISMATCH);
    EXPECT_EQ(object.references, 1u);

    V_VT(&dispatch) = VT_UNKNOWN;
    EXPECT_EQ(VariantChangeType(&result, &dispatch, 0, VT_BSTR), DISP_E_TYPEMISMATCH);
}

TEST(Variant, BooleansAsWordsOnRequest) {
    VARIANT value;
    VariantInit(&value);
    V_VT(&value) = VT_BOOL;
    V_BOOL(&value) = VARIANT_TRUE;
    VARIANT result;
    VariantInit(&result);
    ASSERT_EQ(VariantChangeType(&result, &value, VARIANT_ALPHABOOL, VT_BSTR), S_OK);
    EXPECT_EQ(text(V_BSTR(&result)), u"True");
    VariantClear(&result);
}

struct UnsignedText {
    const char16_t* text;
    HRESULT expected;
    ULONG value;
};

class UnsignedFromText : public ::testing::TestWithParam<UnsignedText> {};

TEST_P(UnsignedFromText, ParsesAsWindowsDoes) {
    const UnsignedText& c = GetParam();
    ULONG value = 0xDEADBEEF;
    std::u16string input(c.text);  // some headers declare the text parameter writable
    EXPECT_EQ(VarUI4FromStr(reinterpret_cast<OLECHAR*>(input.data()), 0, 0, &value), c.expected);
    EXPECT_EQ(value, SUCCEEDED(c.expected) ? c.value : 0xDEADBEEF);
}

INSTANTIATE_TEST_SUITE_P(
    Table, UnsignedFromText,
    ::testing::Values(
        UnsignedText{u"0", S_OK, 0}, UnsignedText{u"104", S_OK, 104},
        UnsignedText{u"4294967295", S_OK, 4294967295u}, UnsignedText{u"  42  ", S_OK, 42},
        UnsignedText{u"\t7\r\n", S_OK, 7}, UnsignedText{u"+5", S_OK, 5},
        UnsignedText{u"-0", S_OK, 0}, UnsignedText{u"0004", S_OK, 4},
        UnsignedText{u"1,000", S_OK, 1000}, UnsignedText{u"1.5", S_OK, 2},
        UnsignedText{u"2.5", S_OK, 2}, UnsignedText{u"3.5", S_OK, 4},
        UnsignedText{u"2.51", S_OK, 3}, UnsignedText{u"1e3", S_OK, 1000},
        UnsignedText{u"&HFF", S_OK, 255}, UnsignedText{u"&O17", S_OK, 15},
        UnsignedText{u"-1", DISP_E_OVERFLOW, 0}, UnsignedText{u"4294967296", DISP_E_OVERFLOW, 0},
        UnsignedText{u"123456789012345678901234567890", DISP_E_OVERFLOW, 0},
        UnsignedText{u"", DISP_E_TYPEMISMATCH, 0}, UnsignedText{u"   ", DISP_E_TYPEMISMATCH, 0},
        UnsignedText{u"12a", DISP_E_TYPEMISMATCH, 0}, UnsignedText{u"a12", DISP_E_TYPEMISMATCH, 0},
        UnsignedText{u"1 2", DISP_E_TYPEMISMATCH, 0}, UnsignedText{u"-", DISP_E_TYPEMISMATCH, 0},
        UnsignedText{u"#FF", DISP_E_TYPEMISMATCH, 0}));

}  // namespace
