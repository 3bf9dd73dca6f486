// What every module test starts from: the module freshly loaded, a scratch registry, the software
// adapter with a small display and no faults, message boxes and posted messages recorded, and a
// virtual clock. And what every test ends with: no reference left, DllCanUnloadNow answering
// S_OK, no Direct3D object alive, and the module unmapped once its handle is dropped.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/linux/testing.h"
#include "platform/win32.h"
#include "plugin/glimmerstrand_interface.h"
#include "plugin/player_interfaces.h"
#include "render/software/adapter.h"
#include "tests/module/loaded_module.h"

namespace gs::module::test {

// A message box the module showed, copied out of the platform's record.
struct ShownMessage {
    HWND owner;
    UINT style;
    std::string caption;
    std::string text;
};

std::vector<ShownMessage> shownMessages();

// A window message the module posted.
std::vector<GsPostedMessage> postedMessages();

// The display the software adapter reports in these tests: small, so frames are cheap.
constexpr UINT kDisplayWidth = 160;
constexpr UINT kDisplayHeight = 120;

class ModuleTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // The file the test loads; Glimmerstrand.so as built unless a test says otherwise.
    virtual std::string modulePath() const { return GS_MODULE_PATH; }
    // Runs once the scratch folder exists, before the module is loaded.
    virtual void beforeLoading() {}

    LoadedModule& module() { return *module_; }

    // A new plain visualizer through the class object, for riid; fails the test when refused.
    template <typename Interface>
    Interface* create(REFIID riid) {
        void* object = nullptr;
        IClassFactory* factory = module_->classFactory();
        EXPECT_NE(factory, nullptr);
        if (factory != nullptr) {
            EXPECT_EQ(factory->CreateInstance(nullptr, riid, &object), S_OK);
            factory->Release();
        }
        return static_cast<Interface*>(object);
    }
    IWMPEffects2* createVisualizer() { return create<IWMPEffects2>(plugin::kIIDWmpEffects2); }

    // Reloads the module: a fresh module state, as in a new process.
    void reloadModule();

    const std::filesystem::path& scratchFolder() const { return scratch_; }

private:
    std::unique_ptr<LoadedModule> module_;
    std::filesystem::path scratch_;
};

// One frame's levels: a spectrum rising from low to high bands and a sine-like waveform.
plugin::TimedLevel makeLevels(std::int32_t state);

}  // namespace gs::module::test
