// The plug-in on the real platform: this program plays the part of the media player. It registers
// the DLL with regsvr32, creates the visualizer through COM by class id, makes the player's calls
// in the player's order, renders into a DIB section and into a real window, reaches the colour
// property by name through OLE Automation, plays session after session to see that nothing piles
// up, and unregisters again. Message boxes are caught by a CBT hook, so no dialog ever waits.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "plugin/glimmerstrand_interface.h"
#include "plugin/player_interfaces.h"

#include <psapi.h>
#include <shellapi.h>

namespace {

using gs::plugin::TimedLevel;

std::wstring gModulePath;  // Windows path of Glimmerstrand.dll, from the command line

// Every message box shown on this thread, dismissed as soon as it appears.
std::vector<std::wstring> gMessageBoxes;
HHOOK gHook = nullptr;

LRESULT CALLBACK dismissMessageBoxes(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_ACTIVATE) {
        HWND window = reinterpret_cast<HWND>(wParam);
        wchar_t className[32] = {};
        GetClassNameW(window, className, 32);
        if (std::wcscmp(className, L"#32770") == 0) {
            wchar_t text[512] = {};
            GetDlgItemTextW(window, 0xFFFF, text, 512);
            gMessageBoxes.emplace_back(text);
            PostMessageW(window, WM_COMMAND, IDOK, 0);
        }
    }
    return CallNextHookEx(gHook, code, wParam, lParam);
}

std::wstring readString(HKEY root, const wchar_t* key, const wchar_t* value) {
    wchar_t data[1024] = {};
    DWORD size = sizeof data - sizeof(wchar_t);
    DWORD type = 0;
    if (RegGetValueW(root, key, value, RRF_RT_ANY, &type, data, &size) != ERROR_SUCCESS) {
        return L"<missing>";
    }
    return type == REG_SZ ? std::wstring(data) : L"<not a string>";
}

bool keyExists(HKEY root, const wchar_t* key) {
    HKEY opened = nullptr;
    if (RegOpenKeyExW(root, key, 0, KEY_READ, &opened) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(opened);
    return true;
}

DWORD runRegsvr32(bool unregister) {
    std::wstring command = L"regsvr32.exe /s ";
    if (unregister) {
        command += L"/u ";
    }
    command += L"\"" + gModulePath + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    std::vector<wchar_t> line(command.begin(), command.end());
    line.push_back(0);
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        return GetLastError();
    }
    WaitForSingleObject(process.hProcess, 60000);
    DWORD exitCode = 1;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return exitCode;
}

constexpr wchar_t kClassKey[] = L"CLSID\\{3CAE2904-060B-43DC-A5D9-C6ABB918707B}";
constexpr wchar_t kEffectKey[] =
    L"SOFTWARE\\Microsoft\\MediaPlayer\\Objects\\Effects\\Glimmerstrand";

// A frame of levels the way a player fills it: a spectrum falling off with frequency, a sine
// waveform, playing.
void fillLevels(TimedLevel& levels, int frame) {
    for (int channel = 0; channel < 2; ++channel) {
        for (int i = 0; i < 1024; ++i) {
            levels.frequency[channel][i] = static_cast<unsigned char>((1023 - i) / 4);
            levels.waveform[channel][i] =
                static_cast<unsigned char>(128 + 100 * std::sin((i + 17 * frame) * 0.05));
        }
    }
    levels.state = gs::plugin::kPlaying;
    levels.timeStamp = frame * 250000LL;
}

// A top-down 32-bit DIB section selected into a memory DC.
struct DibTarget {
    DibTarget(int width, int height) : width(width), height(height) {
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        dc = CreateCompatibleDC(nullptr);
        bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, reinterpret_cast<void**>(&bits),
                                  nullptr, 0);
        previous = SelectObject(dc, bitmap);
        std::memset(bits, 0x55, static_cast<size_t>(width) * height * 4);
    }
    ~DibTarget() {
        SelectObject(dc, previous);
        DeleteObject(bitmap);
        DeleteDC(dc);
    }
    DWORD pixel(int x, int y) const { return bits[y * width + x] & 0x00FFFFFFu; }
    int width;
    int height;
    HDC dc = nullptr;
    HBITMAP bitmap = nullptr;
    HGDIOBJ previous = nullptr;
    DWORD* bits = nullptr;
};

class PlayerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        gHook = SetWindowsHookExW(WH_CBT, dismissMessageBoxes, nullptr, GetCurrentThreadId());
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
        ASSERT_EQ(runRegsvr32(false), 0u);
    }
    static void TearDownTestSuite() {
        CoUninitialize();
        UnhookWindowsHookEx(gHook);
    }

    IWMPEffects2* createVisualizer() {
        IWMPEffects2* effects = nullptr;
        EXPECT_EQ(CoCreateInstance(gs::plugin::kCLSIDGlimmerstrand, nullptr, CLSCTX_INPROC_SERVER,
                                   gs::plugin::kIIDWmpEffects2, reinterpret_cast<void**>(&effects)),
                  S_OK);
        return effects;
    }
};

TEST_F(PlayerTest, RegistrationWritesTheScriptsValues) {
    EXPECT_EQ(readString(HKEY_CLASSES_ROOT, kClassKey, nullptr), L"Glimmerstrand Class");
    const std::wstring server = std::wstring(kClassKey) + L"\\InprocServer32";
    EXPECT_EQ(lstrcmpiW(readString(HKEY_CLASSES_ROOT, server.c_str(), nullptr).c_str(),
                        gModulePath.c_str()),
              0);
    EXPECT_EQ(readString(HKEY_CLASSES_ROOT, server.c_str(), L"ThreadingModel"), L"Apartment");
    const std::wstring typeLib = std::wstring(kClassKey) + L"\\TypeLib";
    EXPECT_EQ(readString(HKEY_CLASSES_ROOT, typeLib.c_str(), nullptr),
              L"{B6D29FEF-6A7B-462A-B6BA-E5C6AD27476E}");
    const std::wstring properties = std::wstring(kEffectKey) + L"\\Properties";
    EXPECT_EQ(readString(HKEY_LOCAL_MACHINE, properties.c_str(), L"classid"),
              L"{3CAE2904-060B-43DC-A5D9-C6ABB918707B}");
    EXPECT_EQ(readString(HKEY_LOCAL_MACHINE, properties.c_str(), L"name"),
              L"res://Glimmerstrand.dll/RT_STRING/#101");
    EXPECT_EQ(readString(HKEY_LOCAL_MACHINE, properties.c_str(), L"description"),
              L"res://Glimmerstrand.dll/RT_STRING/#105");
}

TEST_F(PlayerTest, ThePlayersCallsInThePlayersOrder) {
    IWMPEffects2* effects = createVisualizer();
    ASSERT_NE(effects, nullptr);
    EXPECT_EQ(effects->SetCore(nullptr), S_OK);
    EXPECT_EQ(effects->MediaInfo(2, 44100, nullptr), S_OK);
    BSTR title = nullptr;
    ASSERT_EQ(effects->GetTitle(&title), S_OK);
    EXPECT_STREQ(title, L"Glimmerstrand");
    SysFreeString(title);
    LONG count = 0;
    EXPECT_EQ(effects->GetPresetCount(&count), S_OK);
    EXPECT_EQ(count, 2);
    for (LONG preset = 0; preset < count; ++preset) {
        BSTR presetTitle = nullptr;
        ASSERT_EQ(effects->GetPresetTitle(preset, &presetTitle), S_OK);
        EXPECT_STREQ(presetTitle, preset == 0 ? L"2-Wave" : L"4-Wave");
        SysFreeString(presetTitle);
    }
    DWORD capabilities = 0xdeadbeef;
    EXPECT_EQ(effects->GetCapabilities(&capabilities), S_OK);
    EXPECT_EQ(capabilities, 0u);

    // Frames into a DIB section, both presets.
    DibTarget target(320, 240);
    RECT rc = {0, 0, 320, 240};
    TimedLevel levels = {};
    for (LONG preset = 0; preset < 2; ++preset) {
        EXPECT_EQ(effects->SetCurrentPreset(preset), S_OK);
        for (int frame = 0; frame < 5; ++frame) {
            fillLevels(levels, frame);
            ASSERT_EQ(effects->Render(&levels, target.dc, &rc), S_OK);
        }
    }
    EXPECT_TRUE(gMessageBoxes.empty());
    // The whole rectangle was painted: nothing of the fill pattern is left.
    int untouched = 0;
    for (int y = 0; y < target.height; ++y) {
        for (int x = 0; x < target.width; ++x) {
            untouched += target.pixel(x, y) == 0x555555u;
        }
    }
    EXPECT_EQ(untouched, 0);
    EXPECT_EQ(effects->Release(), 0u);
}

TEST_F(PlayerTest, RenderWindowedDrawsIntoTheWindow) {
    HWND window = CreateWindowExW(0, L"STATIC", L"visualization", WS_POPUP | WS_VISIBLE, 0, 0, 200,
                                  150, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    IWMPEffects2* effects = createVisualizer();
    ASSERT_NE(effects, nullptr);
    TimedLevel levels = {};
    fillLevels(levels, 0);
    EXPECT_EQ(effects->RenderWindowed(&levels, FALSE), E_UNEXPECTED);
    EXPECT_EQ(effects->Create(window), S_OK);
    for (int frame = 0; frame < 3; ++frame) {
        fillLevels(levels, frame);
        EXPECT_EQ(effects->RenderWindowed(&levels, TRUE), S_OK);
    }
    EXPECT_EQ(effects->Destroy(), S_OK);
    EXPECT_EQ(effects->RenderWindowed(&levels, FALSE), E_UNEXPECTED);
    EXPECT_EQ(effects->Release(), 0u);
    DestroyWindow(window);
    EXPECT_TRUE(gMessageBoxes.empty());
}

// The type library is registered under its own locale, US English; clients asking in another locale
// (or the neutral one) are not given it, as LoadRegTypeLib applies no wider fallback.
constexpr LCID kEnglishUs = 0x0409;

TEST_F(PlayerTest, ColourByNameThroughAutomation) {
    // The module does not register its type library; automation clients find it once it is.
    ITypeLib* library = nullptr;
    ASSERT_EQ(LoadTypeLibEx(gModulePath.c_str(), REGKIND_REGISTER, &library), S_OK);
    library->Release();

    IDispatch* dispatch = nullptr;
    ASSERT_EQ(CoCreateInstance(gs::plugin::kCLSIDGlimmerstrand, nullptr, CLSCTX_INPROC_SERVER,
                               IID_IDispatch, reinterpret_cast<void**>(&dispatch)),
              S_OK);
    LPOLESTR name = const_cast<LPOLESTR>(L"foregroundColor");
    DISPID id = 0;
    ASSERT_EQ(dispatch->GetIDsOfNames(IID_NULL, &name, 1, kEnglishUs, &id), S_OK);
    EXPECT_EQ(id, 1);

    VARIANT argument;
    VariantInit(&argument);
    argument.vt = VT_BSTR;
    argument.bstrVal = SysAllocString(L"#12abEF");
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS put = {&argument, &named, 1, 1};
    EXPECT_EQ(dispatch->Invoke(1, IID_NULL, kEnglishUs, DISPATCH_PROPERTYPUT, &put, nullptr,
                               nullptr, nullptr),
              S_OK);
    VariantClear(&argument);

    VARIANT result;
    VariantInit(&result);
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    ASSERT_EQ(dispatch->Invoke(1, IID_NULL, kEnglishUs, DISPATCH_PROPERTYGET, &none, &result,
                               nullptr, nullptr),
              S_OK);
    ASSERT_EQ(result.vt, VT_BSTR);
    EXPECT_STREQ(result.bstrVal, L"#12ABEF");
    VariantClear(&result);
    EXPECT_EQ(dispatch->Release(), 0u);

    UnRegisterTypeLib(gs::plugin::kLibraryId, 1, 0, 0x0409, SYS_WIN64);
}

// What the process holds in memory. Under Wine this is the one count that tells: the private-bytes,
// handle and GDI-object counts read 0 there.
SIZE_T residentBytes() {
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    EXPECT_TRUE(GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters));
    return counters.WorkingSetSize;
}

// A player's session, again and again: the visualizer made, told about the media (stereo or mono),
// played in both presets into bitmaps of changing sizes and into a window, stopped, destroyed and
// released. Direct3D objects the module failed to give back would pile up from session to
// session: a device kept alive by one reference too many costs 5 to 30 MiB here, a surface left per
// frame 300 KiB. Once the first sessions have filled the caches, resident memory stays level.
TEST_F(PlayerTest, SessionAfterSessionLeavesNoMemoryBehind) {
    constexpr int kWarmSessions = 3;
    constexpr int kSessions = 12;
    constexpr SIZE_T kAllowedGrowth = SIZE_T{12} << 20;
    HWND window = CreateWindowExW(0, L"STATIC", L"visualization", WS_POPUP | WS_VISIBLE, 0, 0, 200,
                                  150, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    TimedLevel levels = {};
    int frame = 0;
    SIZE_T warm = 0;
    for (int session = 0; session < kSessions; ++session) {
        IWMPEffects2* effects = createVisualizer();
        ASSERT_NE(effects, nullptr);
        EXPECT_EQ(effects->SetCore(nullptr), S_OK);
        EXPECT_EQ(effects->MediaInfo(1 + session % 2, 44100, nullptr), S_OK);
        const int width = 320 - 16 * (session % 4), height = 240 - 8 * (session % 3);
        DibTarget target(width, height);
        const RECT rc = {0, 0, width, height};
        for (int k = 0; k < 30; ++k, ++frame) {
            if (k % 10 == 0) {
                EXPECT_EQ(effects->SetCurrentPreset((k / 10) % 2), S_OK);
            }
            fillLevels(levels, frame);
            if (k >= 25) {
                levels.state = gs::plugin::kStopped;
            }
            RECT copy = rc;
            ASSERT_EQ(effects->Render(&levels, target.dc, &copy), S_OK);
        }
        EXPECT_EQ(effects->Create(window), S_OK);
        for (int k = 0; k < 5; ++k, ++frame) {
            fillLevels(levels, frame);
            EXPECT_EQ(effects->RenderWindowed(&levels, TRUE), S_OK);
        }
        EXPECT_EQ(effects->Destroy(), S_OK);
        EXPECT_EQ(effects->Release(), 0u);
        if (session + 1 == kWarmSessions) {
            warm = residentBytes();
        }
    }
    const SIZE_T last = residentBytes();
    // SIZE_T is unsigned long on 32-bit Windows, unsigned long long on 64-bit.
    std::printf("resident after %d sessions: %llu KiB, after %d: %llu KiB\n", kWarmSessions,
                static_cast<unsigned long long>(warm >> 10), kSessions,
                static_cast<unsigned long long>(last >> 10));
    EXPECT_LE(last, warm + kAllowedGrowth);
    DestroyWindow(window);
    EXPECT_TRUE(gMessageBoxes.empty());
}

// Runs last (gtest keeps declaration order within a file): unregistration and unloading.
TEST_F(PlayerTest, UnregistrationRemovesWhatTheScriptLists) {
    ASSERT_EQ(runRegsvr32(true), 0u);
    EXPECT_FALSE(keyExists(HKEY_CLASSES_ROOT, kClassKey));
    EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, kEffectKey));
    EXPECT_TRUE(
        keyExists(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\MediaPlayer\\Objects\\Effects"));
    EXPECT_TRUE(keyExists(HKEY_CLASSES_ROOT, L"CLSID"));

    HMODULE module = GetModuleHandleW(L"Glimmerstrand.dll");
    ASSERT_NE(module, nullptr);
    auto canUnloadNow = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(
        reinterpret_cast<void*>(GetProcAddress(module, "DllCanUnloadNow")));
    ASSERT_NE(canUnloadNow, nullptr);
    EXPECT_EQ(canUnloadNow(), S_OK);
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    int wargc = 0;
    LPWSTR* wargv = CommandLineToArgvW(GetCommandLineW(), &wargc);
    if (wargc < 2) {
        std::fprintf(stderr, "usage: player_test <path of Glimmerstrand.dll>\n");
        return 2;
    }
    gModulePath = wargv[wargc - 1];
    LocalFree(wargv);
    for (wchar_t& c : gModulePath) {
        if (c == L'/') {
            c = L'\\';
        }
    }
    return RUN_ALL_TESTS();
}
