// Self-registration through the exports: the registry entries, the announcement to running
// players after every attempt, and what a failure reports.
#include <optional>

#include "platform/linux/host.h"
#include "platform/linux/registry_testing.h"
#include "tests/module/module_fixture.h"

namespace gs::module::test {
namespace {

constexpr char kServerKey[] = "CLSID\\{3CAE2904-060B-43DC-A5D9-C6ABB918707B}\\InprocServer32";
constexpr char kPluginKey[] =
    "SOFTWARE\\Microsoft\\MediaPlayer\\Objects\\Effects\\Glimmerstrand\\Properties";

std::optional<std::string> stringValue(HKEY root, const char* path, const char* name) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    char data[1024];
    DWORD size = sizeof data;
    DWORD type = 0;
    const LSTATUS status =
        RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS || type != REG_SZ || size == 0) {
        return std::nullopt;
    }
    return std::string(data, size - 1);
}

bool keyExists(HKEY root, const char* path) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(key);
    return true;
}

class Registration : public ModuleTest {
protected:
    // Exactly one "WMPlayer_PluginAddRemove" to every top-level window since the last check.
    void expectOneAnnouncement(int line) {
        SCOPED_TRACE(::testing::Message() << "announcement checked at line " << line);
        const std::vector<GsPostedMessage> posted = postedMessages();
        ASSERT_EQ(posted.size(), 1u);
        const UINT message = RegisterWindowMessageA("WMPlayer_PluginAddRemove");
        EXPECT_NE(message, 0u);
        EXPECT_EQ(posted[0].window, HWND_BROADCAST);
        EXPECT_EQ(posted[0].message, message);
        EXPECT_EQ(posted[0].wParam, 0u);
        EXPECT_EQ(posted[0].lParam, 0);
        gsTestClearPostedMessages();
    }
};

TEST_F(Registration, EachAttemptIsAnnouncedAndItsResultReported) {
    EXPECT_EQ(module().registerServer(), S_OK);
    expectOneAnnouncement(__LINE__);
    EXPECT_EQ(stringValue(HKEY_CLASSES_ROOT, kServerKey, nullptr), module().path());
    EXPECT_EQ(stringValue(HKEY_CLASSES_ROOT, kServerKey, "ThreadingModel"), "Apartment");
    EXPECT_EQ(stringValue(HKEY_LOCAL_MACHINE, kPluginKey, "classid"),
              "{3CAE2904-060B-43DC-A5D9-C6ABB918707B}");

    // A user without write access to HKLM: the failure comes back unchanged, the entry stays,
    // and players are still told to look again.
    platform::registry::testing::denyWrites("HKLM");
    EXPECT_EQ(module().unregisterServer(), HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED));
    expectOneAnnouncement(__LINE__);
    EXPECT_TRUE(keyExists(HKEY_LOCAL_MACHINE, kPluginKey));

    platform::registry::testing::allowWrites();
    EXPECT_EQ(module().unregisterServer(), S_OK);
    expectOneAnnouncement(__LINE__);
    EXPECT_FALSE(keyExists(HKEY_CLASSES_ROOT, kServerKey));
    EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, kPluginKey));

    platform::registry::testing::denyWrites("HKLM");
    EXPECT_EQ(module().registerServer(), HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED));
    expectOneAnnouncement(__LINE__);
    EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, kPluginKey));
}

TEST_F(Registration, AnObjectOutlivesItsUnregistration) {
    IWMPEffects2* effects = createVisualizer();
    ASSERT_NE(effects, nullptr);
    ASSERT_EQ(module().registerServer(), S_OK);
    ASSERT_EQ(module().unregisterServer(), S_OK);
    EXPECT_FALSE(keyExists(HKEY_CLASSES_ROOT, kServerKey));
    EXPECT_EQ(module().canUnloadNow(), S_FALSE);

    BSTR title = nullptr;
    ASSERT_EQ(effects->GetTitle(&title), S_OK);
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(title)), u"Glimmerstrand");
    SysFreeString(title);
    HWND window = gsCreateWindow(64, 48);
    ASSERT_EQ(effects->Create(window), S_OK);
    const plugin::TimedLevel levels = makeLevels(plugin::kPlaying);
    EXPECT_EQ(effects->RenderWindowed(const_cast<plugin::TimedLevel*>(&levels), TRUE), S_OK);
    EXPECT_TRUE(shownMessages().empty());
    EXPECT_EQ(render::software::liveObjects().devices, 1);

    EXPECT_EQ(effects->Release(), 0u);
    EXPECT_EQ(module().canUnloadNow(), S_OK);
    gsDestroyWindow(window);
}

}  // namespace
}  // namespace gs::module::test
