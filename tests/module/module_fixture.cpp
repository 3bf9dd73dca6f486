#include "tests/module/module_fixture.h"

#include <cstdlib>

#include "platform/linux/registry_testing.h"
#include "platform/linux/testing.h"
#include "render/software/adapter.h"

namespace gs::module::test {

namespace registry = platform::registry::testing;

std::vector<ShownMessage> shownMessages() {
    std::vector<ShownMessage> messages;
    for (UINT i = 0; i < gsTestMessageBoxCount(); ++i) {
        GsMessageBoxRecord record{};
        if (gsTestMessageBox(i, &record)) {
            messages.push_back({record.owner, record.style, record.caption ? record.caption : "",
                                record.text ? record.text : ""});
        }
    }
    return messages;
}

std::vector<GsPostedMessage> postedMessages() {
    std::vector<GsPostedMessage> messages;
    for (UINT i = 0; i < gsTestPostedMessageCount(); ++i) {
        GsPostedMessage message{};
        if (gsTestPostedMessage(i, &message)) {
            messages.push_back(message);
        }
    }
    return messages;
}

void ModuleTest::SetUp() {
    gsTestReset();
    gsTestSilenceMessageBoxes(TRUE);
    gsTestUseVirtualClock(TRUE, 5000);
    render::software::resetAdapter();
    render::software::AdapterSettings settings = render::software::adapterSettings();
    settings.displayMode = {kDisplayWidth, kDisplayHeight, 60, render::Format::X8R8G8B8};
    render::software::setAdapterSettings(settings);

    char pattern[] = "/tmp/gs-module-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    scratch_ = pattern;
    registry::useStore((scratch_ / "registry").c_str());
    beforeLoading();

    ASSERT_FALSE(isMapped(modulePath())) << "an earlier test left the module loaded";
    module_ = std::make_unique<LoadedModule>(modulePath());
    ASSERT_EQ(module_->error(), "");
}

void ModuleTest::TearDown() {
    if (module_ != nullptr && module_->error().empty()) {
        EXPECT_EQ(module_->canUnloadNow(), S_OK) << "a reference or a server lock was left";
        module_.reset();
        EXPECT_FALSE(isMapped(modulePath())) << "the module stayed mapped without a handle";
    }
    EXPECT_EQ(render::software::liveObjects().total(), 0) << "a Direct3D object was left";
    render::software::resetAdapter();
    registry::useStore(nullptr);
    registry::allowWrites();
    if (!scratch_.empty()) {
        std::filesystem::remove_all(scratch_);
    }
    gsTestReset();
}

void ModuleTest::reloadModule() {
    ASSERT_EQ(module_->canUnloadNow(), S_OK);
    module_.reset();
    ASSERT_FALSE(isMapped(modulePath()));
    module_ = std::make_unique<LoadedModule>(modulePath());
    ASSERT_EQ(module_->error(), "");
}

plugin::TimedLevel makeLevels(std::int32_t state) {
    plugin::TimedLevel levels{};
    for (int channel = 0; channel < plugin::kChannelCount; ++channel) {
        for (int i = 0; i < plugin::kSpectrumSize; ++i) {
            levels.frequency[channel][i] = static_cast<unsigned char>(255 - i / 4);
            levels.waveform[channel][i] =
                static_cast<unsigned char>(128 + ((i * 7 + channel * 40) % 96) - 48);
        }
    }
    levels.state = state;
    levels.timeStamp = 10'000'000;
    return levels;
}

}  // namespace gs::module::test
