// The module under a file name of its own choosing: it still serves its class, but the renderer
// looks for its effect through the module named Glimmerstrand, finds none, and every attempt to
// make the device fails with the device-creation message.
#include "platform/linux/host.h"
#include "render/messages.h"
#include "tests/module/module_fixture.h"

namespace gs::module::test {
namespace {

class RenamedModule : public ModuleTest {
protected:
    std::string modulePath() const override { return (scratchFolder() / "Visualizer.so").string(); }
    void beforeLoading() override {
        // Were Glimmerstrand.so itself loaded, the renamed copy would find the effect through it.
        ASSERT_FALSE(isMapped(GS_MODULE_PATH));
        std::filesystem::copy_file(GS_MODULE_PATH, modulePath());
    }
};

TEST_F(RenamedModule, EveryDeviceCreationFailsWithItsMessage) {
    IWMPEffects2* effects = createVisualizer();
    ASSERT_NE(effects, nullptr);
    BSTR title = nullptr;
    ASSERT_EQ(effects->GetTitle(&title), S_OK) << "strings come from the module's own handle";
    SysFreeString(title);

    HWND window = gsCreateWindow(64, 48);
    ASSERT_EQ(effects->Create(window), S_OK);
    HDC dc = GetDC(window);
    RECT rc = {0, 0, 64, 48};
    plugin::TimedLevel levels = makeLevels(plugin::kPlaying);
    for (UINT attempt = 1; attempt <= 3; ++attempt) {
        EXPECT_EQ(effects->Render(&levels, dc, &rc), E_FAIL);
        const std::vector<ShownMessage> messages = shownMessages();
        ASSERT_EQ(messages.size(), attempt);
        EXPECT_EQ(messages.back().text, render::messages::kDeviceCreationFailed);
        EXPECT_EQ(messages.back().caption, render::messages::kCaption);
        EXPECT_EQ(messages.back().style, static_cast<UINT>(MB_ICONWARNING));
        EXPECT_EQ(messages.back().owner, nullptr);
    }
    ReleaseDC(window, dc);
    EXPECT_EQ(effects->Release(), 0u);
    gsDestroyWindow(window);
}

}  // namespace
}  // namespace gs::module::test
