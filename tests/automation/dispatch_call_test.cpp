// DispCallFunc: calls described by variant types, to free functions and to vtable slots.
#include <gtest/gtest.h>

#include <cstring>

#include "tests/automation/type_library_support.h"

namespace {

using gs::test::narrow;
using gs::test::ole;

LONG STDMETHODCALLTYPE combine(SHORT small, BYTE byte, ULONG large, BSTR text, VARIANT_BOOL flag) {
    return small * 1000000 + byte * 1000 + static_cast<LONG>(large % 1000) +
           static_cast<LONG>(SysStringLen(text)) * 10 + (flag == VARIANT_TRUE ? 1 : 0);
}

// Pure virtual methods only, as interfaces are: slot 0 is Ignore, slot 1 is Scale.
struct ICalculator {
    virtual HRESULT STDMETHODCALLTYPE Ignore() = 0;
    virtual HRESULT STDMETHODCALLTYPE Scale(LONG value, LONG* out) = 0;
};

class Calculator : public ICalculator {
public:
    HRESULT STDMETHODCALLTYPE Ignore() override { return E_UNEXPECTED; }
    HRESULT STDMETHODCALLTYPE Scale(LONG value, LONG* out) override {
        *out = value * factor;
        return value < 0 ? E_INVALIDARG : S_FALSE;
    }
    LONG factor = 3;
};

VARIANT value(VARTYPE type, LONGLONG bits) {
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = type;
    v.llVal = bits;
    return v;
}

TEST(DispCallFunc, WidensEachArgumentAsItsTypeSays) {
    BSTR text = SysAllocString(ole("four").c_str());
    VARIANT arguments[] = {value(VT_I2, 0), value(VT_UI1, 255), value(VT_UI4, 0), value(VT_BSTR, 0),
                           value(VT_BOOL, 0)};
    V_I2(&arguments[0]) = -2;
    V_UI4(&arguments[2]) = 4000000123u;
    V_BSTR(&arguments[3]) = text;
    V_BOOL(&arguments[4]) = VARIANT_TRUE;
    VARTYPE types[] = {VT_I2, VT_UI1, VT_UI4, VT_BSTR, VT_BOOL};
    VARIANTARG* pointers[] = {&arguments[0], &arguments[1], &arguments[2], &arguments[3],
                              &arguments[4]};
    VARIANT result;
    VariantInit(&result);
    ASSERT_EQ(DispCallFunc(nullptr, reinterpret_cast<ULONG_PTR>(&combine), CC_STDCALL, VT_I4, 5,
                           types, pointers, &result),
              S_OK);
    ASSERT_EQ(V_VT(&result), VT_I4);
    EXPECT_EQ(V_I4(&result), -2000000 + 255000 + 123 + 40 + 1);
    SysFreeString(text);
}

TEST(DispCallFunc, CallsTheVtableSlotWithTheObjectFirst) {
    Calculator calculator;
    LONG out = 0;
    VARIANT arguments[] = {value(VT_I4, 14), value(VT_BYREF | VT_I4, 0)};
    V_I4REF(&arguments[1]) = &out;
    VARTYPE types[] = {VT_I4, VT_BYREF | VT_I4};
    VARIANTARG* pointers[] = {&arguments[0], &arguments[1]};
    VARIANT result;
    VariantInit(&result);
    ICalculator* object = &calculator;
    ASSERT_EQ(
        DispCallFunc(object, 1 * sizeof(void*), CC_STDCALL, VT_ERROR, 2, types, pointers, &result),
        S_OK);
    EXPECT_EQ(out, 42);
    EXPECT_EQ(V_VT(&result), VT_ERROR);
    EXPECT_EQ(V_ERROR(&result), S_FALSE);

    // A failure of the callee is its result, not DispCallFunc's.
    V_I4(&arguments[0]) = -1;
    ASSERT_EQ(
        DispCallFunc(object, 1 * sizeof(void*), CC_STDCALL, VT_ERROR, 2, types, pointers, &result),
        S_OK);
    EXPECT_EQ(V_ERROR(&result), E_INVALIDARG);
}

#ifndef _WIN32
TEST(DispCallFunc, RefusesValuesThatDoNotTravelInIntegerRegisters) {
    // Wine passes these; this platform refuses them rather than pass them wrongly.
    VARIANT real = value(VT_R8, 0);
    VARTYPE types[] = {VT_R8};
    VARIANTARG* pointers[] = {&real};
    VARIANT result;
    EXPECT_EQ(DispCallFunc(nullptr, reinterpret_cast<ULONG_PTR>(&combine), CC_STDCALL, VT_I4, 1,
                           types, pointers, &result),
              DISP_E_BADVARTYPE);
    EXPECT_EQ(DispCallFunc(nullptr, reinterpret_cast<ULONG_PTR>(&combine), CC_STDCALL, VT_R8, 0,
                           types, pointers, &result),
              DISP_E_BADVARTYPE);
}
#endif

}  // namespace
