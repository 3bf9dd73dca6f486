// The visualization object as the player sees it: only through its interface pointers.
#include <gtest/gtest.h>

#include <string>

#include "counting_unknown.h"
#include "module/module_instance.h"
#include "module/server_module.h"
#include "module/visualizer_lifetime.h"
#include "platform/linux/host.h"
#include "platform/linux/testing.h"
#include "plugin/glimmerstrand_interface.h"
#include "plugin/player_interfaces.h"
#include "plugin/string_table.h"
#include "render/messages.h"
#include "render/software/adapter.h"

namespace gs::plugin {
namespace {

std::u16string text(BSTR b) {
    return b == nullptr ? u"<null>" : std::u16string(reinterpret_cast<const char16_t*>(b));
}

class VisualizerObjectTest : public ::testing::Test {
protected:
    void SetUp() override {
        gsTestReset();
        gsTestSilenceMessageBoxes(TRUE);
        gsTestUseVirtualClock(TRUE, 5000);
        render::software::resetAdapter();
        render::software::AdapterSettings settings = render::software::adapterSettings();
        settings.displayMode = {160, 120, 60, render::Format::X8R8G8B8};
        render::software::setAdapterSettings(settings);
        // This program carries the module's resources: the string table among them.
        module::moduleInstance = GetModuleHandleA(nullptr);
        ASSERT_EQ(
            module::createVisualizer(nullptr, kIIDWmpEffects2, reinterpret_cast<void**>(&effects)),
            S_OK);
    }

    void TearDown() override {
        if (effects != nullptr) {
            EXPECT_EQ(effects->Release(), 0u) << "a reference was left";
        }
        EXPECT_EQ(render::software::liveObjects().total(), 0);
        EXPECT_EQ(module::serverModule.lockCount, 0);
        render::software::resetAdapter();
        gsTestReset();
    }

    IGlimmerstrand* automation() {
        IGlimmerstrand* object = nullptr;
        EXPECT_EQ(effects->QueryInterface(kIIDGlimmerstrand, reinterpret_cast<void**>(&object)),
                  S_OK);
        return object;
    }

    IWMPEffects2* effects = nullptr;
};

TEST_F(VisualizerObjectTest, ANewObjectsAnswers) {
    LONG value = -1;
    EXPECT_EQ(effects->GetCurrentPreset(&value), S_OK);
    EXPECT_EQ(value, 0);
    EXPECT_EQ(effects->GetPresetCount(&value), S_OK);
    EXPECT_EQ(value, 2);
    DWORD capabilities = 0xdeadbeef;
    EXPECT_EQ(effects->GetCapabilities(&capabilities), S_OK);
    EXPECT_EQ(capabilities, 0u);

    BSTR title = nullptr;
    ASSERT_EQ(effects->GetTitle(&title), S_OK);
    EXPECT_EQ(text(title), u"Glimmerstrand");
    EXPECT_EQ(SysStringLen(title), 13u);
    SysFreeString(title);
    const char16_t* presetTitles[] = {u"2-Wave", u"4-Wave"};
    for (LONG preset = 0; preset < 2; ++preset) {
        BSTR presetTitle = nullptr;
        ASSERT_EQ(effects->GetPresetTitle(preset, &presetTitle), S_OK);
        EXPECT_EQ(text(presetTitle), presetTitles[preset]);
        EXPECT_EQ(SysStringLen(presetTitle), 6u);  // exactly the counted length
        SysFreeString(presetTitle);
    }

    IGlimmerstrand* object = automation();
    BSTR colour = nullptr;
    EXPECT_EQ(object->get_foregroundColor(&colour), S_OK);
    EXPECT_EQ(text(colour), u"#FF0000");
    SysFreeString(colour);
    UINT count = 0;
    EXPECT_EQ(object->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 1u);
    object->Release();
}

TEST_F(VisualizerObjectTest, NullOutPointersComeFirst) {
    EXPECT_EQ(effects->GetCapabilities(nullptr), E_POINTER);
    EXPECT_EQ(effects->GetTitle(nullptr), E_POINTER);
    EXPECT_EQ(effects->GetPresetTitle(0, nullptr), E_POINTER);
    EXPECT_EQ(effects->GetPresetTitle(5, nullptr), E_POINTER);  // before the index test
    EXPECT_EQ(effects->GetPresetCount(nullptr), E_POINTER);
    EXPECT_EQ(effects->GetCurrentPreset(nullptr), E_POINTER);
    EXPECT_EQ(effects->QueryInterface(kIIDWmpEffects, nullptr), E_POINTER);
    IGlimmerstrand* object = automation();
    EXPECT_EQ(object->GetTypeInfoCount(nullptr), E_POINTER);
    EXPECT_EQ(object->get_foregroundColor(nullptr), E_POINTER);
    EXPECT_EQ(object->put_foregroundColor(nullptr), E_POINTER);
    object->Release();
}

TEST_F(VisualizerObjectTest, PresetBounds) {
    EXPECT_EQ(effects->SetCurrentPreset(1), S_OK);
    LONG preset = -1;
    EXPECT_EQ(effects->GetCurrentPreset(&preset), S_OK);
    EXPECT_EQ(preset, 1);
    for (LONG bad : {2, -1, 0x7FFFFFFF}) {
        EXPECT_EQ(effects->SetCurrentPreset(bad), E_INVALIDARG);
        BSTR title = reinterpret_cast<BSTR>(0x1234);
        EXPECT_EQ(effects->GetPresetTitle(bad, &title), E_INVALIDARG);
        EXPECT_EQ(title, reinterpret_cast<BSTR>(0x1234));
    }
    EXPECT_EQ(effects->GetCurrentPreset(&preset), S_OK);
    EXPECT_EQ(preset, 1);
}

TEST_F(VisualizerObjectTest, InterfaceIdentity) {
    IUnknown* unknown = nullptr;
    IUnknown* dispatch = nullptr;
    IUnknown* glimmerstrand = nullptr;
    IUnknown* effects1 = nullptr;
    IUnknown* effects2 = nullptr;
    ASSERT_EQ(effects->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)), S_OK);
    ASSERT_EQ(effects->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch)), S_OK);
    ASSERT_EQ(effects->QueryInterface(kIIDGlimmerstrand, reinterpret_cast<void**>(&glimmerstrand)),
              S_OK);
    ASSERT_EQ(effects->QueryInterface(kIIDWmpEffects, reinterpret_cast<void**>(&effects1)), S_OK);
    ASSERT_EQ(glimmerstrand->QueryInterface(kIIDWmpEffects2, reinterpret_cast<void**>(&effects2)),
              S_OK);
    EXPECT_EQ(unknown, dispatch);
    EXPECT_EQ(unknown, glimmerstrand);
    EXPECT_EQ(effects1, effects2);
    EXPECT_EQ(effects1, static_cast<IUnknown*>(effects));
    EXPECT_NE(unknown, effects1);

    const IID other = {0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};
    for (const IID* iid : {&other, &IID_IClassFactory, &IID_ITypeInfo}) {
        void* object = reinterpret_cast<void*>(0x1234);
        EXPECT_EQ(effects->QueryInterface(*iid, &object), E_NOINTERFACE);
        EXPECT_EQ(object, nullptr);
    }
    for (IUnknown* pointer : {unknown, dispatch, glimmerstrand, effects1, effects2}) {
        pointer->Release();
    }
    // Both pointers count into one object.
    EXPECT_EQ(effects->AddRef(), 2u);
    EXPECT_EQ(effects->Release(), 1u);
}

TEST_F(VisualizerObjectTest, CoreReferencesAreGivenBack) {
    testing::CountingUnknown<IWMPCore> core;
    EXPECT_EQ(effects->SetCore(&core), S_OK);
    EXPECT_EQ(core.references, 2);
    EXPECT_EQ(effects->SetCore(&core), S_OK);  // replaces: one reference still
    EXPECT_EQ(core.references, 2);
    EXPECT_EQ(effects->SetCore(nullptr), S_OK);
    EXPECT_EQ(core.references, 1);
    EXPECT_EQ(effects->SetCore(&core), S_OK);
    EXPECT_EQ(effects->Release(), 0u);  // destroyed while holding the core
    effects = nullptr;
    EXPECT_EQ(core.references, 1);
}

TEST_F(VisualizerObjectTest, SmallMethods) {
    EXPECT_EQ(effects->DisplayPropertyPage(nullptr), E_NOTIMPL);
    EXPECT_EQ(effects->GoFullscreen(TRUE), E_NOTIMPL);
    EXPECT_EQ(effects->RenderFullScreen(nullptr), E_NOTIMPL);
    EXPECT_EQ(effects->NotifyNewMedia(nullptr), S_OK);
    EXPECT_EQ(effects->MediaInfo(1, 22050, nullptr), S_OK);
    LRESULT result = static_cast<LRESULT>(0xdeadbeef);
    for (UINT message : {0x0001u, 0x000Fu, 0x0100u, 0xC123u}) {
        EXPECT_EQ(effects->OnWindowMessage(message, 1, 2, &result), S_FALSE);
    }
    EXPECT_EQ(result, static_cast<LRESULT>(0xdeadbeef));
    EXPECT_EQ(effects->OnWindowMessage(0x0100u, 0, 0, nullptr), S_FALSE);
}

TEST_F(VisualizerObjectTest, RenderWindowedNeedsAWindow) {
    TimedLevel levels = {};
    levels.state = kPlaying;
    EXPECT_EQ(effects->RenderWindowed(&levels, TRUE), E_UNEXPECTED);
    HWND window = gsCreateWindow(120, 80);
    EXPECT_EQ(effects->Create(window), S_OK);
    // This program is not Glimmerstrand.so: the object finds no effect, so Render fails and
    // says so, yet RenderWindowed reports success.
    EXPECT_EQ(effects->RenderWindowed(&levels, FALSE), S_OK);
    EXPECT_EQ(gsTestMessageBoxCount(), 1u);
    GsMessageBoxRecord record;
    ASSERT_TRUE(gsTestMessageBox(0, &record));
    EXPECT_STREQ(record.text, render::messages::kDeviceCreationFailed);
    EXPECT_EQ(effects->Destroy(), S_OK);
    EXPECT_EQ(effects->RenderWindowed(&levels, FALSE), E_UNEXPECTED);
    EXPECT_EQ(gsTestMessageBoxCount(), 1u);
    gsDestroyWindow(window);
    // A window that went away: GetDC fails.
    EXPECT_EQ(effects->Create(window), S_OK);
    EXPECT_EQ(effects->RenderWindowed(&levels, FALSE), E_FAIL);
}

TEST_F(VisualizerObjectTest, ColourPropertyThroughTheInterface) {
    IGlimmerstrand* object = automation();
    BSTR value = SysAllocString(OLESTR("#12abEF"));
    EXPECT_EQ(object->put_foregroundColor(value), S_OK);
    SysFreeString(value);
    value = SysAllocString(OLESTR("#12ABEG"));
    EXPECT_EQ(object->put_foregroundColor(value), E_INVALIDARG);
    SysFreeString(value);
    BSTR colour = nullptr;
    EXPECT_EQ(object->get_foregroundColor(&colour), S_OK);
    EXPECT_EQ(text(colour), u"#12ABEF");
    SysFreeString(colour);
    object->Release();
}

TEST(StringTable, FindsOnlyStringsWithText) {
    module::moduleInstance = GetModuleHandleA(nullptr);
    CountedString found = {};
    for (UINT missing : {96u, 104u, 106u, 111u, 200u, 0u, 0xFFFFu}) {
        EXPECT_FALSE(findStringResource(missing, found)) << missing;
    }
    ASSERT_TRUE(findStringResource(105, found));
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(found.text), found.count),
              u"Description of Glimmerstrand plugin");
    BSTR target = SysAllocString(OLESTR("previous"));
    EXPECT_TRUE(loadStringResource(102, target));
    EXPECT_EQ(text(target), u"2-Wave");
    EXPECT_FALSE(loadStringResource(104, target));  // frees what it held, leaves null
    EXPECT_EQ(target, nullptr);
}

}  // namespace
}  // namespace gs::plugin
