// Drives visualizers, loaded from Glimmerstrand.so through its exports, with arbitrary frames:
// any TimedLevel contents, any rectangle (empty, inverted, huge, offset, larger than the display),
// any preset value, stream changes, window changes, lost devices and failing device calls, on
// displays of any small size and refresh rate. Sanitizers catch what goes wrong inside; the checks
// below catch results a player cannot expect and objects or handles left behind.
//
// An input starts with the display (width, height, refresh rate) and the window (width, height,
// whether it is the foreground window) and continues with a sequence of operations, each an
// opcode byte followed by its operands.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "fuzz/byte_reader.h"
#include "platform/linux/host.h"
#include "platform/linux/registry_testing.h"
#include "platform/linux/testing.h"
#include "platform/win32.h"
#include "plugin/player_interfaces.h"
#include "render/software/adapter.h"
#include "tests/module/player_module.h"

namespace {

using gs::fuzz::ByteReader;
using gs::plugin::TimedLevel;
namespace software = gs::render::software;

constexpr int kMostOperations = 48;
constexpr LONG kLargestDisplay = 64;
constexpr LONG kLargestWindow = 96;

gs::test::PlayerModule* module = nullptr;

void check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "render_fuzzer: %s\n", what);
        std::abort();
    }
}

GsDesktopObjectCounts desktopObjects() {
    GsDesktopObjectCounts counts{};
    gsTestDesktopObjectCounts(&counts);
    return counts;
}

// Spectrum and waveform bytes: a pattern chosen by the input, or the input's own bytes.
void readLevels(ByteReader& in, TimedLevel& levels) {
    auto* bytes = reinterpret_cast<unsigned char*>(&levels.frequency);
    constexpr std::size_t count = sizeof levels.frequency + sizeof levels.waveform;
    const std::uint8_t mode = in.read<std::uint8_t>();
    switch (mode % 4) {
        case 0:
            break;  // as the previous frame left them
        case 1:
            std::memset(bytes, in.read<std::uint8_t>(), count);
            break;
        case 2: {
            // A short run repeated over all four arrays.
            unsigned char run[16];
            const std::size_t length = 1 + in.read<std::uint8_t>() % sizeof run;
            in.take(run, length);
            for (std::size_t i = 0; i < count; ++i) {
                bytes[i] = run[i % length];
            }
            break;
        }
        default:
            in.take(bytes, std::min<std::size_t>(count, 64u * (1 + mode / 4)));
            break;
    }
    levels.state = in.read<std::int32_t>();
    levels.timeStamp = in.read<std::int64_t>();
}

RECT readRectangle(ByteReader& in) {
    const std::uint8_t form = in.read<std::uint8_t>();
    if (form < 128) {
        // Near the window, where the picture is.
        auto coordinate = [&] { return static_cast<LONG>(in.read<std::int8_t>()) * 2; };
        const LONG left = coordinate();
        const LONG top = coordinate();
        return {left, top, coordinate(), coordinate()};
    }
    RECT rectangle;
    rectangle.left = in.read<std::int32_t>();
    rectangle.top = in.read<std::int32_t>();
    rectangle.right = in.read<std::int32_t>();
    rectangle.bottom = in.read<std::int32_t>();
    return rectangle;
}

void injectFault(ByteReader& in) {
    constexpr software::Fault kFaults[] = {software::Fault::CreateDevice,
                                           software::Fault::SurfaceGetDC, software::Fault::Clear,
                                           software::Fault::BeginScene};
    constexpr HRESULT kResults[] = {E_FAIL, gs::render::kErrDeviceLost,
                                    gs::render::kErrNotAvailable, E_OUTOFMEMORY};
    const std::uint8_t choice = in.read<std::uint8_t>();
    software::injectFault(kFaults[choice % 4], kResults[(choice / 4) % 4], 1 + (choice / 16) % 3);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Pacing sleeps on the virtual clock: no input waits in real time.
    gsTestUseVirtualClock(TRUE, 1000);
    gsTestSilenceMessageBoxes(TRUE);
    module = new gs::test::PlayerModule(GS_MODULE_PATH);
    check(module->loaded(), "the module does not load");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ByteReader in(data, size);
    software::resetAdapter();
    software::AdapterSettings settings = software::adapterSettings();
    settings.displayMode.Width = 1 + in.read<std::uint8_t>() % kLargestDisplay;
    settings.displayMode.Height = 1 + in.read<std::uint8_t>() % kLargestDisplay;
    settings.displayMode.RefreshRate = in.read<std::uint8_t>();
    software::setAdapterSettings(settings);
    gsTestClearMessageBoxes();
    gsTestClearSleeps();

    const software::LiveObjects objectsBefore = software::liveObjects();
    const GsDesktopObjectCounts desktopBefore = desktopObjects();
    const std::size_t keysBefore = gs::platform::registry::testing::openKeyCount();

    IWMPEffects2* effects = nullptr;
    check(module->createVisualizer(&effects) == S_OK, "no visualizer");
    HWND window = gsCreateWindow(1 + in.read<std::uint8_t>() % kLargestWindow,
                                 1 + in.read<std::uint8_t>() % kLargestWindow);
    check(window != nullptr, "no window");
    // Without Create the device attaches to the foreground window, if there is one.
    gsSetForegroundWindow((in.read<std::uint8_t>() & 1) ? window : nullptr);
    bool created = false;
    TimedLevel levels{};
    const DWORD refreshRate = settings.displayMode.RefreshRate;
    const DWORD interval = 1500u / (refreshRate != 0 ? refreshRate : 60u);

    for (int operation = 0; operation < kMostOperations && !in.empty(); ++operation) {
        switch (in.read<std::uint8_t>() % 8) {
            case 0:
            case 1: {
                readLevels(in, levels);
                const RECT rectangle = readRectangle(in);
                RECT passed = rectangle;
                HDC dc = GetDC(window);
                const HRESULT hr = effects->Render(&levels, dc, &passed);
                ReleaseDC(window, dc);
                check(hr == S_OK || hr == E_FAIL, "Render answered other than S_OK or E_FAIL");
                check(std::memcmp(&passed, &rectangle, sizeof rectangle) == 0,
                      "Render changed the caller's rectangle");
                break;
            }
            case 2: {
                readLevels(in, levels);
                const HRESULT hr = effects->RenderWindowed(&levels, FALSE);
                check(hr == (created ? S_OK : E_UNEXPECTED), "RenderWindowed answered wrongly");
                break;
            }
            case 3: {
                const LONG preset = in.read<std::int32_t>();
                const HRESULT expected = preset == 0 || preset == 1 ? S_OK : E_INVALIDARG;
                check(effects->SetCurrentPreset(preset) == expected, "SetCurrentPreset");
                break;
            }
            case 4: {
                const LONG channels = in.read<std::int32_t>();
                check(effects->MediaInfo(channels, in.read<std::int32_t>(), nullptr) == S_OK,
                      "MediaInfo");
                break;
            }
            case 5:
                created = !created;
                check((created ? effects->Create(window) : effects->Destroy()) == S_OK,
                      "Create or Destroy");
                break;
            case 6:
                check(gsResizeWindow(window, in.read<std::uint8_t>() % kLargestWindow,
                                     in.read<std::uint8_t>() % kLargestWindow),
                      "resize");
                break;
            default:
                if (in.read<std::uint8_t>() & 1) {
                    software::loseDevices();
                } else {
                    injectFault(in);
                }
                break;
        }
    }
    // No frame waits longer than one pacing interval.
    for (UINT i = 0; i < gsTestSleepCount(); ++i) {
        check(gsTestSleepDuration(i) <= interval, "a frame slept longer than the pacing interval");
    }

    check(effects->Release() == 0, "the visualizer kept a reference");
    software::resetAdapter();
    check(module->canUnloadNow() == S_OK, "a module lock was left");
    check(software::liveObjects().total() == objectsBefore.total(), "device objects were left");
    gsSetForegroundWindow(nullptr);
    check(gsDestroyWindow(window), "the window went away");
    const GsDesktopObjectCounts desktopAfter = desktopObjects();
    check(desktopAfter.windows == desktopBefore.windows &&
              desktopAfter.deviceContexts == desktopBefore.deviceContexts &&
              desktopAfter.bitmaps == desktopBefore.bitmaps,
          "windows, DCs or bitmaps were left");
    check(gs::platform::registry::testing::openKeyCount() == keysBefore, "registry keys were left");
    return 0;
}
