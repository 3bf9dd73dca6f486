#include <gtest/gtest.h>

#include <cstdint>

#include "platform/win32.h"

namespace {

TEST(Com, HresultsKeepTheirWindowsValues) {
    static_assert(sizeof(HRESULT) == 4 && sizeof(LONG) == 4 && sizeof(DWORD) == 4);
    static_assert(sizeof(OLECHAR) == 2 && sizeof(BOOL) == 4 && sizeof(GUID) == 16);
    EXPECT_EQ(static_cast<std::uint32_t>(E_POINTER), 0x80004003u);
    EXPECT_EQ(static_cast<std::uint32_t>(HRESULT_FROM_WIN32(5)), 0x80070005u);
    EXPECT_EQ(HRESULT_FROM_WIN32(0), S_OK);
    EXPECT_TRUE(FAILED(E_FAIL));
    EXPECT_TRUE(SUCCEEDED(S_FALSE));
}

TEST(Com, WellKnownInterfaceIdentifiers) {
    EXPECT_EQ(IID_IDispatch.Data1, 0x00020400u);
    EXPECT_EQ(IID_IUnknown.Data4[7], 0x46);
    EXPECT_FALSE(IsEqualGUID(IID_IUnknown, IID_IClassFactory));
    EXPECT_TRUE(IsEqualGUID(IID_ITypeInfo2, IID_ITypeInfo2));
}

}  // namespace
