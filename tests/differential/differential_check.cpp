// The differential check on the real platform: replays a session recorded on Linux through
// Glimmerstrand.dll and real Direct3D 9 (Wine's, in CI) and compares every frame with the frame
// the software device drew for it. The module is driven only through its exports and the
// player's interfaces; its clock is steered by redirecting its imports of timeGetTime and Sleep,
// so the starting hue and the frame times are those of the recording and pacing costs no time.
//
//   differential_check <module> <stem>               compare <stem>.frames with this platform's
//   differential_check --timing <module> <stem>...   time Render over each sequence
//
// A stem is a Windows path without the extension; GS_DIFFERENTIAL_DIR (a Linux folder) replaces
// the folder the build names. Frames drawn here go to <name>.wine.frames in the working folder
// when the check fails or GS_DIFFERENTIAL_KEEP is set.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/differential/frame_comparison.h"
#include "tests/differential/frame_sequence.h"
#include "tests/differential/import_patch.h"
#include "tests/differential/sequence_player.h"

namespace gs::differential {
namespace {

// Per channel, in 8-bit steps. Both devices store round-to-nearest 8-bit values, but they round
// at different stages (texture filter weights, blend products), and the feedback layer carries
// a frame's rounding into the next ones at 178/255.
constexpr int kTolerance = 6;
constexpr double kRequiredAgreement = 0.99;
constexpr std::size_t kRequiredFrames = 60;

std::string gModulePath;
std::string gStem;

// The module's clock while a sequence plays.
DWORD gClock = 0;
DWORD WINAPI clockTime() {
    return gClock;
}
VOID WINAPI clockSleep(DWORD milliseconds) {
    gClock += milliseconds;
}
void setClock(DWORD milliseconds) {
    gClock = milliseconds;
}

// Message boxes are dismissed as soon as they appear and counted.
int gMessageBoxes = 0;
HHOOK gHook = nullptr;
LRESULT CALLBACK dismissMessageBoxes(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_ACTIVATE) {
        HWND window = reinterpret_cast<HWND>(wParam);
        wchar_t className[32] = {};
        GetClassNameW(window, className, 32);
        if (std::wcscmp(className, L"#32770") == 0) {
            ++gMessageBoxes;
            PostMessageW(window, WM_COMMAND, IDOK, 0);
        }
    }
    return CallNextHookEx(gHook, code, wParam, lParam);
}

std::string baseName(const std::string& path) {
    const std::size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A stem from the command line, moved to GS_DIFFERENTIAL_DIR when that is set.
std::string locate(const std::string& stem) {
    const char* folder = std::getenv("GS_DIFFERENTIAL_DIR");
    if (folder == nullptr || *folder == '\0') {
        return stem;
    }
    std::string path = folder[0] == '/' ? std::string("Z:") + folder : std::string(folder);
    return path + "\\" + baseName(stem);
}

bool fileExists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The module loaded from its file, on the steerable clock, and its class object.
class LoadedModule {
public:
    bool load(const std::string& path, std::string& error) {
        module_ = LoadLibraryA(path.c_str());
        if (module_ == nullptr) {
            error = "cannot load " + path;
            return false;
        }
        if (!redirectImport(module_, "winmm.dll", "timeGetTime",
                            reinterpret_cast<void*>(&clockTime)) ||
            !redirectImport(module_, "kernel32.dll", "Sleep",
                            reinterpret_cast<void*>(&clockSleep))) {
            error = "the module does not import timeGetTime and Sleep as expected";
            return false;
        }
        using GetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
        auto getClassObject = reinterpret_cast<GetClassObject>(
            reinterpret_cast<void*>(GetProcAddress(module_, "DllGetClassObject")));
        if (getClassObject == nullptr ||
            FAILED(getClassObject(plugin::kCLSIDGlimmerstrand, IID_IClassFactory,
                                  reinterpret_cast<void**>(&factory_)))) {
            error = "the module serves no class object for the visualizer";
            return false;
        }
        return true;
    }
    ~LoadedModule() {
        if (factory_ != nullptr) {
            factory_->Release();
        }
        if (module_ != nullptr) {
            FreeLibrary(module_);
        }
    }
    IClassFactory* factory() const { return factory_; }

private:
    HMODULE module_ = nullptr;
    IClassFactory* factory_ = nullptr;
};

class Window {
public:
    Window(int width, int height)
        : handle_(CreateWindowExW(0, L"STATIC", L"differential", WS_POPUP | WS_VISIBLE, 0, 0, width,
                                  height, nullptr, nullptr, nullptr, nullptr)) {}
    ~Window() {
        if (handle_ != nullptr) {
            DestroyWindow(handle_);
        }
    }
    HWND handle() const { return handle_; }

private:
    HWND handle_;
};

bool displayMatches(const FrameSequence& sequence, std::string& error) {
    DEVMODEW mode = {};
    mode.dmSize = sizeof mode;
    if (!EnumDisplaySettingsW(nullptr, ENUM_CURRENT_SETTINGS, &mode)) {
        error = "cannot read the display mode";
        return false;
    }
    if (mode.dmPelsWidth != sequence.displayWidth || mode.dmPelsHeight != sequence.displayHeight) {
        error = "the display is " + std::to_string(mode.dmPelsWidth) + "x" +
                std::to_string(mode.dmPelsHeight) + ", the recording was made on " +
                std::to_string(sequence.displayWidth) + "x" +
                std::to_string(sequence.displayHeight);
        return false;
    }
    return true;
}

void printAgreement(const char* label, const FrameAgreement& agreement) {
    std::printf("%s: %.3f%% of pixels within %d, largest difference %d; by largest difference:",
                label, 100.0 * agreement.agreement(), kTolerance, agreement.largestDifference);
    for (int bucket = 0; bucket < FrameAgreement::kBuckets; ++bucket) {
        std::printf(" %d+:%zu", FrameAgreement::bucketFloor(bucket), agreement.histogram[bucket]);
    }
    std::printf("\n");
}

class DifferentialCheck : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        gHook = SetWindowsHookExW(WH_CBT, dismissMessageBoxes, nullptr, GetCurrentThreadId());
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    }
    static void TearDownTestSuite() {
        CoUninitialize();
        UnhookWindowsHookEx(gHook);
    }
};

TEST_F(DifferentialCheck, FramesAgreeWithTheSoftwareDevice) {
    const std::string stem = locate(gStem);
    if (!fileExists(stem + ".sequence") || !fileExists(stem + ".frames")) {
        GTEST_SKIP() << "no recording at " << stem
                     << ".sequence/.frames: the Linux tests make it (ctest --preset linux), "
                        "or set GS_DIFFERENTIAL_DIR to the folder that holds it";
    }
    FrameSequence sequence;
    FrameImages expected;
    std::string error;
    ASSERT_TRUE(readSequence(stem + ".sequence", sequence, error)) << error;
    ASSERT_TRUE(readImages(stem + ".frames", expected, error)) << error;
    ASSERT_EQ(expected.width, sequence.width);
    ASSERT_EQ(expected.height, sequence.height);
    ASSERT_EQ(expected.frameCount(), sequence.frames.size());
    ASSERT_TRUE(displayMatches(sequence, error)) << error;

    LoadedModule module;
    ASSERT_TRUE(module.load(gModulePath, error)) << error;
    Window window(sequence.width, sequence.height);
    ASSERT_NE(window.handle(), nullptr);

    FrameImages drawn;
    drawn.width = sequence.width;
    drawn.height = sequence.height;
    drawn.pixels.resize(expected.pixels.size());
    FrameAgreement total;
    bool allAgree = true;
    {
        std::unique_ptr<SequencePlayer> player =
            SequencePlayer::start(module.factory(), sequence, window.handle(), setClock, error);
        ASSERT_NE(player, nullptr) << error;
        for (std::size_t i = 0; i < sequence.frames.size(); ++i) {
            ASSERT_EQ(player->render(i), S_OK) << "frame " << i;
            std::uint32_t* frame = drawn.pixels.data() + i * drawn.pixelsPerFrame();
            player->copyPixels(frame);
            const FrameAgreement agreement =
                compareFrames(frame, expected.frame(i), drawn.pixelsPerFrame(), kTolerance);
            total.add(agreement);
            const std::string label = "frame " + std::to_string(i);
            printAgreement(label.c_str(), agreement);
            EXPECT_GE(agreement.agreement(), kRequiredAgreement) << label;
            allAgree = allAgree && agreement.agreement() >= kRequiredAgreement;
        }
    }
    printAgreement(baseName(stem).c_str(), total);
    EXPECT_GE(sequence.frames.size(), kRequiredFrames) << "too short a recording to tell";
    EXPECT_EQ(gMessageBoxes, 0);

    if (!allAgree || std::getenv("GS_DIFFERENTIAL_KEEP") != nullptr) {
        const std::string kept = baseName(stem) + ".wine.frames";
        EXPECT_TRUE(writeImages(kept, drawn, error)) << error;
        std::printf("frames drawn here: %s\n", kept.c_str());
    }
}

// Time per Render over each sequence, the first frame (which makes the device) left out.
int timeSequences(const std::vector<std::string>& stems) {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    LoadedModule module;
    std::string error;
    if (!module.load(gModulePath, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    for (const std::string& given : stems) {
        const std::string stem = locate(given);
        FrameSequence sequence;
        if (!readSequence(stem + ".sequence", sequence, error)) {
            std::fprintf(stderr, "%s\n", error.c_str());
            return 1;
        }
        if (!displayMatches(sequence, error)) {
            std::fprintf(stderr, "%s\n", error.c_str());
            return 1;
        }
        Window window(sequence.width, sequence.height);
        std::unique_ptr<SequencePlayer> player =
            SequencePlayer::start(module.factory(), sequence, window.handle(), setClock, error);
        if (!player || sequence.frames.size() < 2) {
            std::fprintf(stderr, "%s: %s\n", baseName(stem).c_str(),
                         player ? "too few frames" : error.c_str());
            return 1;
        }
        std::vector<double> milliseconds;
        for (std::size_t i = 0; i < sequence.frames.size(); ++i) {
            const auto start = std::chrono::steady_clock::now();
            const HRESULT result = player->render(i);
            const std::chrono::duration<double, std::milli> took =
                std::chrono::steady_clock::now() - start;
            if (result != S_OK) {
                std::fprintf(stderr, "%s: frame %zu failed\n", baseName(stem).c_str(), i);
                return 1;
            }
            if (i > 0) {
                milliseconds.push_back(took.count());
            }
        }
        double sum = 0.0;
        for (double value : milliseconds) {
            sum += value;
        }
        std::sort(milliseconds.begin(), milliseconds.end());
        std::printf("timing %s frames=%zu mean_ms=%.3f median_ms=%.3f\n", baseName(stem).c_str(),
                    milliseconds.size(), sum / static_cast<double>(milliseconds.size()),
                    milliseconds[milliseconds.size() / 2]);
    }
    CoUninitialize();
    return 0;
}

std::string windowsPath(std::string path) {
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

}  // namespace
}  // namespace gs::differential

int main(int argc, char** argv) {
    using namespace gs::differential;
    ::testing::InitGoogleTest(&argc, argv);
    std::vector<std::string> arguments(argv + 1, argv + argc);
    if (arguments.size() >= 3 && arguments[0] == "--timing") {
        gModulePath = windowsPath(arguments[1]);
        std::vector<std::string> stems;
        for (std::size_t i = 2; i < arguments.size(); ++i) {
            stems.push_back(windowsPath(arguments[i]));
        }
        return timeSequences(stems);
    }
    if (arguments.size() != 2) {
        std::fprintf(stderr,
                     "usage: differential_check <module> <stem>\n"
                     "       differential_check --timing <module> <stem>...\n");
        return 2;
    }
    gModulePath = windowsPath(arguments[0]);
    gStem = windowsPath(arguments[1]);
    return RUN_ALL_TESTS();
}
