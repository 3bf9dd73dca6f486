// The player and automation clients reach the plug-in through function tables: slot numbers and
// argument layouts bind, not names. These checks pin every method of IWMPEffects, IWMPEffects2 and
// IGlimmerstrand to its slot, on 32-bit and 64-bit builds alike.
#include <gtest/gtest.h>

#include <cstdint>
#include <type_traits>
#include <vector>

#include "plugin/glimmerstrand_interface.h"
#include "plugin/player_interfaces.h"
#include "tests/plugin/raw_slots.h"

using gs::plugin::TimedLevel;

// At compile time: an interface is one function-table pointer and nothing else, declares no
// virtual destructor (which would take table slots of its own), derives from one interface only,
// and each method has its COM signature and calling convention.
template <typename Interface, typename Base>
constexpr bool isComInterface =
    std::is_abstract_v<Interface> && sizeof(Interface) == sizeof(void*) &&
    !std::has_virtual_destructor_v<Interface> && std::is_base_of_v<Base, Interface>;
static_assert(isComInterface<IWMPEffects, IUnknown>);
static_assert(isComInterface<IWMPEffects2, IWMPEffects>);
static_assert(isComInterface<IGlimmerstrand, IDispatch>);

#define GS_ASSERT_METHOD(Interface, Method, ...)                                         \
    static_assert(std::is_same_v<decltype(&Interface::Method),                           \
                                 HRESULT (STDMETHODCALLTYPE Interface::*)(__VA_ARGS__)>, \
                  #Interface "::" #Method " does not have its COM signature")

GS_ASSERT_METHOD(IWMPEffects, Render, TimedLevel*, HDC, RECT*);
GS_ASSERT_METHOD(IWMPEffects, MediaInfo, LONG, LONG, BSTR);
GS_ASSERT_METHOD(IWMPEffects, GetCapabilities, DWORD*);
GS_ASSERT_METHOD(IWMPEffects, GetTitle, BSTR*);
GS_ASSERT_METHOD(IWMPEffects, GetPresetTitle, LONG, BSTR*);
GS_ASSERT_METHOD(IWMPEffects, GetPresetCount, LONG*);
GS_ASSERT_METHOD(IWMPEffects, SetCurrentPreset, LONG);
GS_ASSERT_METHOD(IWMPEffects, GetCurrentPreset, LONG*);
GS_ASSERT_METHOD(IWMPEffects, DisplayPropertyPage, HWND);
GS_ASSERT_METHOD(IWMPEffects, GoFullscreen, BOOL);
GS_ASSERT_METHOD(IWMPEffects, RenderFullScreen, TimedLevel*);
GS_ASSERT_METHOD(IWMPEffects2, SetCore, IWMPCore*);
GS_ASSERT_METHOD(IWMPEffects2, Create, HWND);
GS_ASSERT_METHOD(IWMPEffects2, Destroy);
GS_ASSERT_METHOD(IWMPEffects2, NotifyNewMedia, IWMPMedia*);
GS_ASSERT_METHOD(IWMPEffects2, OnWindowMessage, UINT, WPARAM, LPARAM, LRESULT*);
GS_ASSERT_METHOD(IWMPEffects2, RenderWindowed, TimedLevel*, BOOL);
GS_ASSERT_METHOD(IGlimmerstrand, get_foregroundColor, BSTR*);
GS_ASSERT_METHOD(IGlimmerstrand, put_foregroundColor, BSTR);

#undef GS_ASSERT_METHOD

namespace gs::plugin {
namespace {

// What a slot's method must answer, so that the answer proves the call reached a method and came
// back through its return path.
constexpr HRESULT kAnswer = 0x0000600D;

template <typename T>
std::uintptr_t word(T value) {
    if constexpr (std::is_pointer_v<T>) {
        return reinterpret_cast<std::uintptr_t>(value);
    } else {
        return static_cast<std::uintptr_t>(value);
    }
}

// Notes the method that ran and the arguments it received.
struct CallLog {
    template <typename... Arguments>
    HRESULT note(const char* name, Arguments... arguments) {
        method = name;
        received = {word(arguments)...};
        return kAnswer;
    }
    const char* method = nullptr;
    std::vector<std::uintptr_t> received;
};

class EffectsProbe final : public IWMPEffects2, public CallLog {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        return note("QueryInterface", &riid, object);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ULONG(note("AddRef")); }
    ULONG STDMETHODCALLTYPE Release() override { return ULONG(note("Release")); }
    HRESULT STDMETHODCALLTYPE Render(TimedLevel* levels, HDC dc, RECT* rc) override {
        return note("Render", levels, dc, rc);
    }
    HRESULT STDMETHODCALLTYPE MediaInfo(LONG channels, LONG rate, BSTR title) override {
        return note("MediaInfo", channels, rate, title);
    }
    HRESULT STDMETHODCALLTYPE GetCapabilities(DWORD* capabilities) override {
        return note("GetCapabilities", capabilities);
    }
    HRESULT STDMETHODCALLTYPE GetTitle(BSTR* title) override { return note("GetTitle", title); }
    HRESULT STDMETHODCALLTYPE GetPresetTitle(LONG preset, BSTR* title) override {
        return note("GetPresetTitle", preset, title);
    }
    HRESULT STDMETHODCALLTYPE GetPresetCount(LONG* count) override {
        return note("GetPresetCount", count);
    }
    HRESULT STDMETHODCALLTYPE SetCurrentPreset(LONG preset) override {
        return note("SetCurrentPreset", preset);
    }
    HRESULT STDMETHODCALLTYPE GetCurrentPreset(LONG* preset) override {
        return note("GetCurrentPreset", preset);
    }
    HRESULT STDMETHODCALLTYPE DisplayPropertyPage(HWND owner) override {
        return note("DisplayPropertyPage", owner);
    }
    HRESULT STDMETHODCALLTYPE GoFullscreen(BOOL fullScreen) override {
        return note("GoFullscreen", fullScreen);
    }
    HRESULT STDMETHODCALLTYPE RenderFullScreen(TimedLevel* levels) override {
        return note("RenderFullScreen", levels);
    }
    HRESULT STDMETHODCALLTYPE SetCore(IWMPCore* core) override { return note("SetCore", core); }
    HRESULT STDMETHODCALLTYPE Create(HWND parent) override { return note("Create", parent); }
    HRESULT STDMETHODCALLTYPE Destroy() override { return note("Destroy"); }
    HRESULT STDMETHODCALLTYPE NotifyNewMedia(IWMPMedia* media) override {
        return note("NotifyNewMedia", media);
    }
    HRESULT STDMETHODCALLTYPE OnWindowMessage(UINT message, WPARAM wParam, LPARAM lParam,
                                              LRESULT* result) override {
        return note("OnWindowMessage", message, wParam, lParam, result);
    }
    HRESULT STDMETHODCALLTYPE RenderWindowed(TimedLevel* levels, BOOL required) override {
        return note("RenderWindowed", levels, required);
    }
};

class GlimmerstrandProbe final : public IGlimmerstrand, public CallLog {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        return note("QueryInterface", &riid, object);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ULONG(note("AddRef")); }
    ULONG STDMETHODCALLTYPE Release() override { return ULONG(note("Release")); }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        return note("GetTypeInfoCount", count);
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override {
        return note("GetTypeInfo", index, locale, info);
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID locale,
                                            DISPID* dispids) override {
        return note("GetIDsOfNames", &riid, names, count, locale, dispids);
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID member, REFIID riid, LCID locale, WORD flags,
                                     DISPPARAMS* parameters, VARIANT* result, EXCEPINFO* exception,
                                     UINT* argumentError) override {
        return note("Invoke", member, &riid, locale, flags, parameters, result, exception,
                    argumentError);
    }
    HRESULT STDMETHODCALLTYPE get_foregroundColor(BSTR* value) override {
        return note("get_foregroundColor", value);
    }
    HRESULT STDMETHODCALLTYPE put_foregroundColor(BSTR value) override {
        return note("put_foregroundColor", value);
    }
};

// Calls slot `slot` of `object` with `arguments` and checks that `method` of the probe ran and
// received exactly those arguments.
template <typename... Arguments>
void expectSlot(CallLog& probe, void* object, std::size_t slot, const char* method,
                Arguments... arguments) {
    SCOPED_TRACE(::testing::Message() << "slot " << slot << ", " << method);
    probe.method = nullptr;
    probe.received.clear();
    EXPECT_EQ(testing::callSlot<HRESULT>(object, slot, arguments...), kAnswer);
    ASSERT_NE(probe.method, nullptr);
    EXPECT_STREQ(probe.method, method);
    EXPECT_EQ(probe.received, (std::vector<std::uintptr_t>{word(arguments)...}));
}

// Distinct values for every argument, so that a shifted or swapped argument shows.
template <typename Handle>
Handle fakeHandle(std::uintptr_t value) {
    return reinterpret_cast<Handle>(value);
}

TEST(InterfaceSlots, PlayerInterfaces) {
    EffectsProbe probe;
    void* object = static_cast<IWMPEffects2*>(&probe);
    TimedLevel levels = {};
    RECT rc = {};
    void* out = nullptr;
    const IID iid = kIIDWmpEffects2;
    BSTR text = fakeHandle<BSTR>(0x7100);
    BSTR title = nullptr;
    DWORD flags = 0;
    LONG number = 0;
    LRESULT result = 0;

    expectSlot(probe, object, 0, "QueryInterface", &iid, &out);
    expectSlot(probe, object, 1, "AddRef");
    expectSlot(probe, object, 2, "Release");
    expectSlot(probe, object, 3, "Render", &levels, fakeHandle<HDC>(0x7200), &rc);
    expectSlot(probe, object, 4, "MediaInfo", LONG{2}, LONG{-44100}, text);
    expectSlot(probe, object, 5, "GetCapabilities", &flags);
    expectSlot(probe, object, 6, "GetTitle", &title);
    expectSlot(probe, object, 7, "GetPresetTitle", LONG{-3}, &title);
    expectSlot(probe, object, 8, "GetPresetCount", &number);
    expectSlot(probe, object, 9, "SetCurrentPreset", LONG{0x12345678});
    expectSlot(probe, object, 10, "GetCurrentPreset", &number);
    expectSlot(probe, object, 11, "DisplayPropertyPage", fakeHandle<HWND>(0x7300));
    expectSlot(probe, object, 12, "GoFullscreen", BOOL{-1});
    expectSlot(probe, object, 13, "RenderFullScreen", &levels);
    expectSlot(probe, object, 14, "SetCore", fakeHandle<IWMPCore*>(0x7400));
    expectSlot(probe, object, 15, "Create", fakeHandle<HWND>(0x7500));
    expectSlot(probe, object, 16, "Destroy");
    expectSlot(probe, object, 17, "NotifyNewMedia", fakeHandle<IWMPMedia*>(0x7600));
    expectSlot(probe, object, 18, "OnWindowMessage", UINT{0x0113}, WPARAM{0xA1B2C3D4u}, LPARAM{-2},
               &result);
    expectSlot(probe, object, 19, "RenderWindowed", &levels, BOOL{TRUE});

    // IWMPEffects is the first part of the same table.
    void* first = static_cast<IWMPEffects*>(&probe);
    EXPECT_EQ(first, object);
}

TEST(InterfaceSlots, AutomationInterface) {
    GlimmerstrandProbe probe;
    void* object = static_cast<IGlimmerstrand*>(&probe);
    const IID iid = kIIDGlimmerstrand;
    void* out = nullptr;
    UINT count = 0;
    ITypeInfo* info = nullptr;
    LPOLESTR names[1] = {};
    DISPID dispid = 0;
    DISPPARAMS parameters = {};
    VARIANT result = {};
    EXCEPINFO exception = {};
    UINT argumentError = 0;
    BSTR colour = nullptr;

    expectSlot(probe, object, 0, "QueryInterface", &iid, &out);
    expectSlot(probe, object, 1, "AddRef");
    expectSlot(probe, object, 2, "Release");
    expectSlot(probe, object, 3, "GetTypeInfoCount", &count);
    expectSlot(probe, object, 4, "GetTypeInfo", UINT{1}, LCID{0x0411}, &info);
    expectSlot(probe, object, 5, "GetIDsOfNames", &iid, names, UINT{1}, LCID{0x0409}, &dispid);
    expectSlot(probe, object, 6, "Invoke", DISPID{-4}, &iid, LCID{0x0409}, WORD{0x0004},
               &parameters, &result, &exception, &argumentError);
    expectSlot(probe, object, 7, "get_foregroundColor", &colour);
    expectSlot(probe, object, 8, "put_foregroundColor", fakeHandle<BSTR>(0x7700));
}

}  // namespace
}  // namespace gs::plugin
