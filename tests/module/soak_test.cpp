// Hours inside a player, compressed: one visualizer driven for a hundred thousand frames with
// everything a player may change between frames, on the platform's virtual clock so that the
// pacing costs no real time. Afterwards every reference, device object, registry key handle,
// window, DC and bitmap must be given back, and the resident size must not have grown.
//
// GS_SOAK_FRAMES sets the number of frames (100000), GS_SOAK_SEED the random seed.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>

#include "platform/linux/host.h"
#include "platform/linux/registry_testing.h"
#include "platform/linux/testing.h"
#include "platform/win32.h"
#include "plugin/glimmerstrand_interface.h"
#include "plugin/player_interfaces.h"
#include "render/software/adapter.h"
#include "tests/module/player_module.h"
#include "tests/plugin/counting_unknown.h"

namespace {

using gs::plugin::TimedLevel;
namespace software = gs::render::software;

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kAddressSanitizer = true;
#else
constexpr bool kAddressSanitizer = false;
#endif
#else
constexpr bool kAddressSanitizer = false;
#endif

// Small, so that the software device's share of a frame stays small; the frame's work does not
// depend on the size otherwise.
constexpr LONG kDisplayWidth = 80;
constexpr LONG kDisplayHeight = 60;
constexpr long kResidentTolerance = 1 << 20;
constexpr int kResidentBaselineFrame = 1000;

long environmentNumber(const char* name, long fallback) {
    const char* text = std::getenv(name);
    return text != nullptr && *text != '\0' ? std::strtol(text, nullptr, 10) : fallback;
}

long residentBytes() {
    long pages = 0;
    long resident = 0;
    if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2) {
            resident = 0;
        }
        std::fclose(statm);
    }
    return resident * sysconf(_SC_PAGESIZE);
}

GsDesktopObjectCounts desktopObjects() {
    GsDesktopObjectCounts counts{};
    gsTestDesktopObjectCounts(&counts);
    return counts;
}

BSTR randomText(std::mt19937& random, int longest) {
    const int length = std::uniform_int_distribution<int>(0, longest)(random);
    BSTR text = SysAllocStringLen(nullptr, static_cast<UINT>(length));
    std::uniform_int_distribution<int> unit(0, 0x7F);
    for (int i = 0; i < length; ++i) {
        text[i] = static_cast<OLECHAR>(unit(random));
    }
    return text;
}

// The rectangles a player may hand over, well-behaved or not.
RECT randomRectangle(std::mt19937& random) {
    std::uniform_int_distribution<LONG> near(-2 * kDisplayWidth, 2 * kDisplayWidth);
    switch (std::uniform_int_distribution<int>(0, 7)(random)) {
        case 0:
            return {0, 0, 0, 0};
        case 1:
            return {30, 20, 10, 5};  // inverted
        case 2:
            return {LONG(0x80000000u), LONG(0x80000000u), 0x7FFFFFFF, 0x7FFFFFFF};
        case 3:
            return {-40, -30, kDisplayWidth - 40, kDisplayHeight - 30};  // offset, partly outside
        case 4:
            return {0, 0, 4 * kDisplayWidth, 3 * kDisplayHeight};  // larger than the display
        case 5: {
            const LONG left = near(random);
            const LONG top = near(random);
            return {left, top, near(random), near(random)};
        }
        default:
            return {0, 0, kDisplayWidth, kDisplayHeight};
    }
}

class Soak : public ::testing::Test {
protected:
    void SetUp() override {
        gsTestReset();
        gsTestSilenceMessageBoxes(TRUE);
        gsTestUseVirtualClock(TRUE, 1000);
        software::resetAdapter();
        software::AdapterSettings settings = software::adapterSettings();
        settings.displayMode = {kDisplayWidth, kDisplayHeight, 60, gs::render::Format::X8R8G8B8};
        software::setAdapterSettings(settings);

        char folder[] = "/tmp/gs-soak-XXXXXX";
        ASSERT_NE(mkdtemp(folder), nullptr);
        folder_ = folder;
        gs::platform::registry::testing::useStore((folder_ / "registry").c_str());
        gs::platform::registry::testing::syncWrites(false);
        // Automation clients find the type library through the registry.
        const std::string modulePath = GS_MODULE_PATH;
        const std::u16string widePath(modulePath.begin(), modulePath.end());
        ITypeLib* library = nullptr;
        ASSERT_EQ(LoadTypeLibEx(widePath.c_str(), REGKIND_REGISTER, &library), S_OK);
        library->Release();
    }

    void TearDown() override {
        software::resetAdapter();
        gsTestReset();
        gs::platform::registry::testing::useStore(nullptr);
        std::filesystem::remove_all(folder_);
    }

    std::filesystem::path folder_;
};

TEST_F(Soak, AHundredThousandFramesGiveEverythingBack) {
    const long frames = environmentNumber("GS_SOAK_FRAMES", 100000);
    std::mt19937 random(
        static_cast<std::mt19937::result_type>(environmentNumber("GS_SOAK_SEED", 20240611)));
    auto chance = [&random](int oneIn) {
        return std::uniform_int_distribution<int>(0, oneIn - 1)(random) == 0;
    };

    const std::size_t keysBefore = gs::platform::registry::testing::openKeyCount();
    const GsDesktopObjectCounts desktopBefore = desktopObjects();
    const software::LiveObjects devicesBefore = software::liveObjects();

    gs::test::PlayerModule module(GS_MODULE_PATH);
    ASSERT_TRUE(module.loaded());
    IWMPEffects2* effects = nullptr;
    ASSERT_EQ(module.createVisualizer(&effects), S_OK);
    gs::testing::CountingUnknown<IWMPCore> core;
    HWND window = gsCreateWindow(kDisplayWidth, kDisplayHeight);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(effects->SetCore(&core), S_OK);
    EXPECT_EQ(effects->Create(window), S_OK);
    bool created = true;

    TimedLevel levels{};
    RECT rectangle = {0, 0, kDisplayWidth, kDisplayHeight};
    long nextLoss = 300;
    long losses = 0;
    long failures = 0;
    long residentAtBaseline = 0;
    std::uniform_int_distribution<unsigned> word;

    for (long frame = 0; frame < frames; ++frame) {
        if (frame == kResidentBaselineFrame) {
            residentAtBaseline = residentBytes();
        }
        for (auto* channels : {&levels.frequency, &levels.waveform}) {
            for (auto& channel : *channels) {
                for (int i = 0; i < gs::plugin::kSpectrumSize; i += 4) {
                    const unsigned bytes = word(random);
                    std::memcpy(&channel[i], &bytes, 4);
                }
            }
        }
        const int state = std::uniform_int_distribution<int>(0, 19)(random);
        levels.state = state == 0   ? gs::plugin::kStopped
                       : state == 1 ? gs::plugin::kPaused
                                    : gs::plugin::kPlaying;
        levels.timeStamp = frame * 166667LL;

        if (frame == nextLoss) {
            software::loseDevices();
            ++losses;
            nextLoss += std::uniform_int_distribution<long>(200, 500)(random);
        }
        if (chance(50)) {
            const LONG preset = std::uniform_int_distribution<LONG>(-1, 2)(random);
            const HRESULT expected = preset == 0 || preset == 1 ? S_OK : E_INVALIDARG;
            failures += effects->SetCurrentPreset(preset) != expected;
        }
        if (chance(200)) {
            BSTR title = randomText(random, 40);
            failures += effects->MediaInfo(std::uniform_int_distribution<LONG>(0, 8)(random),
                                           std::uniform_int_distribution<LONG>(0, 192000)(random),
                                           title) != S_OK;
            SysFreeString(title);
        }
        if (chance(100)) {
            rectangle = randomRectangle(random);
        }
        if (chance(1000)) {
            created = !created;
            failures += (created ? effects->Create(window) : effects->Destroy()) != S_OK;
        }
        if (chance(1000)) {
            failures += effects->SetCore(chance(2) ? nullptr : &core) != S_OK;
        }
        if (chance(300)) {
            BSTR title = nullptr;
            failures += effects->GetPresetTitle(chance(2) ? 0 : 1, &title) != S_OK;
            SysFreeString(title);
        }
        if (chance(500)) {
            IGlimmerstrand* automation = nullptr;
            failures += effects->QueryInterface(gs::plugin::kIIDGlimmerstrand,
                                                reinterpret_cast<void**>(&automation)) != S_OK;
            if (automation != nullptr) {
                BSTR colour = randomText(random, 8);
                automation->put_foregroundColor(colour);
                SysFreeString(colour);
                OLECHAR name[] = u"foregroundColor";
                LPOLESTR names[] = {name};
                DISPID dispid = 0;
                failures += automation->GetIDsOfNames(GUID_NULL, names, 1, 0x0409, &dispid) != S_OK;
                DISPPARAMS none = {nullptr, nullptr, 0, 0};
                VARIANT result;
                VariantInit(&result);
                failures += automation->Invoke(dispid, GUID_NULL, 0x0409, DISPATCH_PROPERTYGET,
                                               &none, &result, nullptr, nullptr) != S_OK;
                VariantClear(&result);
                automation->Release();
            }
        }

        if (chance(10)) {
            const HRESULT expected = created ? S_OK : E_UNEXPECTED;
            failures += effects->RenderWindowed(&levels, FALSE) != expected;
        } else {
            HDC dc = GetDC(window);
            failures += effects->Render(&levels, dc, &rectangle) != S_OK;
            ReleaseDC(window, dc);
        }
    }
    const long residentAtEnd = residentBytes();

    EXPECT_EQ(failures, 0) << "calls that answered other than a player may expect";
    EXPECT_EQ(gsTestMessageBoxCount(), 0u) << "a failure the user was told about";
    EXPECT_GE(losses, frames / 500);
    EXPECT_EQ(effects->Destroy(), S_OK);
    EXPECT_EQ(effects->Release(), 0u);
    EXPECT_EQ(core.references, 1) << "the player core's references";
    EXPECT_EQ(module.canUnloadNow(), S_OK) << "a module lock was left";
    EXPECT_EQ(software::liveObjects().total(), devicesBefore.total()) << "device objects";
    EXPECT_EQ(gs::platform::registry::testing::openKeyCount(), keysBefore) << "registry keys";
    EXPECT_TRUE(gsDestroyWindow(window));
    const GsDesktopObjectCounts desktopAfter = desktopObjects();
    EXPECT_EQ(desktopAfter.windows, desktopBefore.windows);
    EXPECT_EQ(desktopAfter.deviceContexts, desktopBefore.deviceContexts);
    EXPECT_EQ(desktopAfter.bitmaps, desktopBefore.bitmaps);

    std::printf(
        "soak: %ld frames, %ld device losses, resident %ld KiB after %d frames, %ld KiB "
        "at the end\n",
        frames, losses, residentAtBaseline / 1024, kResidentBaselineFrame, residentAtEnd / 1024);
    // Under AddressSanitizer freed memory waits in quarantine, so resident size says nothing.
    if (!kAddressSanitizer && frames > kResidentBaselineFrame) {
        EXPECT_LE(residentAtEnd - residentAtBaseline, kResidentTolerance);
    }
}

}  // namespace
