// The module's own object called by slot number, as a player built by another compiler calls it:
// each slot's answer is one only that method gives.
#include "tests/module/module_fixture.h"
#include "tests/plugin/raw_slots.h"

namespace gs::module::test {
namespace {

using gs::testing::callSlot;

TEST_F(ModuleTest, TheObjectAnswersByItsSlots) {
    IWMPEffects2* effects = createVisualizer();
    ASSERT_NE(effects, nullptr);
    void* object = effects;

    EXPECT_EQ(callSlot<ULONG>(object, 1), 2u);  // AddRef
    EXPECT_EQ(callSlot<ULONG>(object, 2), 1u);  // Release
    DWORD capabilities = 0xdeadbeef;
    EXPECT_EQ(callSlot<HRESULT>(object, 5, &capabilities), S_OK);  // GetCapabilities
    EXPECT_EQ(capabilities, 0u);
    LONG value = -1;
    EXPECT_EQ(callSlot<HRESULT>(object, 8, &value), S_OK);  // GetPresetCount
    EXPECT_EQ(value, 2);
    EXPECT_EQ(callSlot<HRESULT>(object, 9, LONG{1}), S_OK);          // SetCurrentPreset
    EXPECT_EQ(callSlot<HRESULT>(object, 9, LONG{2}), E_INVALIDARG);  // SetCurrentPreset
    EXPECT_EQ(callSlot<HRESULT>(object, 10, &value), S_OK);          // GetCurrentPreset
    EXPECT_EQ(value, 1);
    BSTR title = nullptr;
    EXPECT_EQ(callSlot<HRESULT>(object, 7, LONG{1}, &title), S_OK);  // GetPresetTitle
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(title)), u"4-Wave");
    SysFreeString(title);
    EXPECT_EQ(callSlot<HRESULT>(object, 11, HWND{}), E_NOTIMPL);  // DisplayPropertyPage
    LRESULT result = 7;
    EXPECT_EQ(callSlot<HRESULT>(object, 18, UINT{0x0100}, WPARAM{}, LPARAM{}, &result),
              S_FALSE);  // OnWindowMessage
    plugin::TimedLevel levels = makeLevels(plugin::kPlaying);
    EXPECT_EQ(callSlot<HRESULT>(object, 19, &levels, BOOL{TRUE}), E_UNEXPECTED);  // RenderWindowed

    IGlimmerstrand* automation = nullptr;
    const IID iid = plugin::kIIDGlimmerstrand;
    ASSERT_EQ(callSlot<HRESULT>(object, 0, &iid, &automation), S_OK);  // QueryInterface
    UINT count = 0;
    EXPECT_EQ(callSlot<HRESULT>(automation, 3, &count), S_OK);  // GetTypeInfoCount
    EXPECT_EQ(count, 1u);
    BSTR colour = SysAllocString(OLESTR("#0A0B0C"));
    EXPECT_EQ(callSlot<HRESULT>(automation, 8, colour), S_OK);  // put_foregroundColor
    SysFreeString(colour);
    colour = nullptr;
    EXPECT_EQ(callSlot<HRESULT>(automation, 7, &colour), S_OK);  // get_foregroundColor
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(colour)), u"#0A0B0C");
    SysFreeString(colour);
    EXPECT_EQ(callSlot<ULONG>(automation, 2), 1u);  // Release

    EXPECT_EQ(effects->Release(), 0u);
}

}  // namespace
}  // namespace gs::module::test
