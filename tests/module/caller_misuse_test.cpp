// Callers that break the rules or call in an unusual order: each gets a clear answer, and nothing
// is damaged for the calls that follow.
#include <vector>

#include "platform/linux/host.h"
#include "tests/module/module_fixture.h"

namespace gs::module::test {
namespace {

std::vector<DWORD> windowPixels(HWND window, LONG width, LONG height) {
    std::vector<DWORD> pixels(static_cast<std::size_t>(width * height));
    EXPECT_TRUE(gsReadWindowPixels(window, pixels.data(), width * 4));
    return pixels;
}

bool allBlack(const std::vector<DWORD>& pixels) {
    for (DWORD pixel : pixels) {
        if ((pixel & 0x00FFFFFFu) != 0) {
            return false;
        }
    }
    return true;
}

class CallerMisuse : public ModuleTest {
protected:
    void SetUp() override {
        ModuleTest::SetUp();
        window = gsCreateWindow(kWidth, kHeight);
        ASSERT_NE(window, nullptr);
    }
    void TearDown() override {
        gsDestroyWindow(window);
        ModuleTest::TearDown();
    }

    static constexpr LONG kWidth = 64;
    static constexpr LONG kHeight = 48;
    HWND window = nullptr;
    plugin::TimedLevel levels = makeLevels(plugin::kPlaying);
};

TEST_F(CallerMisuse, CallsAfterDestroyStillAnswer) {
    IWMPEffects2* effects = createVisualizer();
    ASSERT_NE(effects, nullptr);
    ASSERT_EQ(effects->Create(window), S_OK);
    EXPECT_EQ(effects->RenderWindowed(&levels, TRUE), S_OK);
    EXPECT_EQ(render::software::liveObjects().devices, 1);

    EXPECT_EQ(effects->Destroy(), S_OK);
    EXPECT_EQ(effects->Destroy(), S_OK);
    EXPECT_EQ(effects->RenderWindowed(&levels, TRUE), E_UNEXPECTED);
    // The device outlives the window's handover; the host may still draw with its own DC.
    EXPECT_EQ(render::software::liveObjects().devices, 1);
    HDC dc = GetDC(window);
    RECT rc = {0, 0, kWidth, kHeight};
    EXPECT_EQ(effects->Render(&levels, dc, &rc), S_OK);
    ReleaseDC(window, dc);
    EXPECT_EQ(effects->SetCurrentPreset(1), S_OK);
    LONG preset = -1;
    EXPECT_EQ(effects->GetCurrentPreset(&preset), S_OK);
    EXPECT_EQ(preset, 1);

    EXPECT_EQ(effects->Create(window), S_OK);
    EXPECT_EQ(effects->RenderWindowed(&levels, TRUE), S_OK);
    EXPECT_TRUE(shownMessages().empty());
    EXPECT_FALSE(allBlack(windowPixels(window, kWidth, kHeight)));
    EXPECT_EQ(effects->Release(), 0u);
}

TEST_F(CallerMisuse, RenderBeforeCreateWaitsForAWindow) {
    IWMPEffects2* effects = createVisualizer();
    ASSERT_NE(effects, nullptr);
    gsSetForegroundWindow(nullptr);
    HDC dc = GetDC(window);
    RECT rc = {0, 0, kWidth, kHeight};
    for (int frame = 0; frame < 2; ++frame) {
        EXPECT_EQ(effects->Render(&levels, dc, &rc), S_OK);
        EXPECT_EQ(render::software::liveObjects().devices, 0);
    }
    EXPECT_TRUE(shownMessages().empty());
    EXPECT_TRUE(allBlack(windowPixels(window, kWidth, kHeight)));

    // Once there is a foreground window the next frame makes the device and draws.
    gsSetForegroundWindow(window);
    EXPECT_EQ(effects->Render(&levels, dc, &rc), S_OK);
    EXPECT_EQ(render::software::liveObjects().devices, 1);
    EXPECT_FALSE(allBlack(windowPixels(window, kWidth, kHeight)));
    ReleaseDC(window, dc);
    EXPECT_TRUE(shownMessages().empty());
    EXPECT_EQ(effects->Release(), 0u);
}

TEST_F(CallerMisuse, MissingLevelsOrRectangleAreRefused) {
    IWMPEffects2* effects = createVisualizer();
    ASSERT_NE(effects, nullptr);
    ASSERT_EQ(effects->Create(window), S_OK);
    HDC dc = GetDC(window);
    RECT rc = {0, 0, kWidth, kHeight};
    EXPECT_EQ(effects->Render(nullptr, dc, &rc), E_POINTER);
    EXPECT_EQ(effects->Render(&levels, dc, nullptr), E_POINTER);
    EXPECT_TRUE(allBlack(windowPixels(window, kWidth, kHeight)));
    // RenderWindowed reports its own success whatever Render answered.
    EXPECT_EQ(effects->RenderWindowed(nullptr, TRUE), S_OK);
    EXPECT_TRUE(allBlack(windowPixels(window, kWidth, kHeight)));

    // Nothing was damaged: the next good frame draws.
    EXPECT_EQ(effects->Render(&levels, dc, &rc), S_OK);
    EXPECT_FALSE(allBlack(windowPixels(window, kWidth, kHeight)));
    ReleaseDC(window, dc);
    EXPECT_TRUE(shownMessages().empty());
    EXPECT_EQ(effects->Release(), 0u);
}

// A play state the player never sends counts as not playing: the same picture as a stopped player
// gives, and not the picture that playing the same levels gives.
TEST_F(CallerMisuse, AnUnknownPlayStateIsNotPlaying) {
    const std::int32_t states[] = {plugin::kStopped, 7, -1, plugin::kPlaying};
    IWMPEffects2* objects[std::size(states)] = {};
    HWND windows[std::size(states)] = {};
    // Made at one moment, so all start from the same hue.
    for (std::size_t i = 0; i < std::size(states); ++i) {
        objects[i] = createVisualizer();
        ASSERT_NE(objects[i], nullptr);
        windows[i] = gsCreateWindow(kWidth, kHeight);
        ASSERT_EQ(objects[i]->Create(windows[i]), S_OK);
    }
    std::vector<DWORD> pictures[std::size(states)];
    for (std::size_t i = 0; i < std::size(states); ++i) {
        plugin::TimedLevel frame = makeLevels(states[i]);
        for (int n = 0; n < 3; ++n) {
            EXPECT_EQ(objects[i]->RenderWindowed(&frame, TRUE), S_OK);
        }
        pictures[i] = windowPixels(windows[i], kWidth, kHeight);
    }
    EXPECT_EQ(pictures[1], pictures[0]) << "state 7";
    EXPECT_EQ(pictures[2], pictures[0]) << "state -1";
    EXPECT_NE(pictures[3], pictures[0]) << "playing";
    for (std::size_t i = 0; i < std::size(states); ++i) {
        EXPECT_EQ(objects[i]->Release(), 0u);
        gsDestroyWindow(windows[i]);
    }
    EXPECT_TRUE(shownMessages().empty());
}

// A core that, when the visualizer lets go of it, reaches back into the visualizer, as a player
// tearing down its own side might. The visualizer is being destroyed at that moment: the traffic
// must not destroy it a second time.
class ReenteringCore final : public IWMPCore {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** object) override {
        if (object != nullptr) {
            *object = nullptr;
        }
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++references); }
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG count = --references;
        if (count == 1 && visualizer != nullptr) {
            IWMPEffects2* object = visualizer;
            visualizer = nullptr;
            object->AddRef();
            IUnknown* unknown = nullptr;
            if (SUCCEEDED(
                    object->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)))) {
                unknown->Release();
            }
            object->Release();
            reentered = true;
        }
        return static_cast<ULONG>(count);
    }

    IWMPEffects2* visualizer = nullptr;  // not counted
    LONG references = 1;
    bool reentered = false;
};

TEST_F(CallerMisuse, ReferenceTrafficDuringDestructionDestroysOnce) {
    IWMPEffects2* effects = createVisualizer();
    ASSERT_NE(effects, nullptr);
    ReenteringCore core;
    ASSERT_EQ(effects->SetCore(&core), S_OK);
    core.visualizer = effects;
    EXPECT_EQ(effects->Release(), 0u);
    EXPECT_TRUE(core.reentered);
    EXPECT_EQ(core.references, 1);
    // A second destruction would have given the module lock back twice.
    EXPECT_EQ(module().canUnloadNow(), S_OK);
}

// Releasing the class object once too often must not take the module's own reference: the class
// object stays cached and usable, and the module's shut-down still frees it once.
TEST_F(CallerMisuse, AnOverReleasedClassObjectStaysUsable) {
    IClassFactory* factory = module().classFactory();
    ASSERT_NE(factory, nullptr);
    EXPECT_EQ(factory->Release(), 1u);
    EXPECT_EQ(module().canUnloadNow(), S_OK);
    EXPECT_EQ(factory->Release(), 1u);  // one too many
    EXPECT_EQ(module().canUnloadNow(), S_OK);

    IClassFactory* again = module().classFactory();
    ASSERT_EQ(again, factory);
    EXPECT_EQ(module().canUnloadNow(), S_FALSE);
    IUnknown* object = nullptr;
    EXPECT_EQ(again->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(&object)),
              S_OK);
    EXPECT_EQ(again->Release(), 1u);
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(object->Release(), 0u);
}

}  // namespace
}  // namespace gs::module::test
