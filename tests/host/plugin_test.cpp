#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "host/host_error.h"
#include "host/plugin_module.h"
#include "host/plugin_registry.h"
#include "host/plugin_selection.h"
#include "host/plugin_visualizer.h"
#include "plugin/player_interfaces.h"
#include "tests/host/test_media.h"

namespace gs::host {
namespace {

// Every registry call of this program goes to a scratch store, set before the first one.
const testing::ScratchFolder& scratchRegistry() {
    static const testing::ScratchFolder folder;
    return folder;
}
const bool kScratchRegistry = [] {
    setenv("GLIMMERSTRAND_REGISTRY", scratchRegistry().file("registry").c_str(), 1);
    return true;
}();

constexpr const char* kFakePlugin = GS_FAKE_PLUGIN_PATH;

LONG writeText(HKEY root, const std::string& path, const char* name, const std::string& value) {
    HKEY key = nullptr;
    LONG result =
        RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr);
    if (result == ERROR_SUCCESS) {
        result = RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                static_cast<DWORD>(value.size() + 1));
        RegCloseKey(key);
    }
    return result;
}

TEST(PluginRegistry, RegistrationRoundTripThroughTheModulesOwnExports) {
    ASSERT_TRUE(kScratchRegistry);
    PluginModule module(kFakePlugin);
    ASSERT_EQ(module.registerServer(), S_OK);

    std::vector<RegisteredPlugin> plugins = registeredPlugins();
    ASSERT_EQ(plugins.size(), 1u);
    EXPECT_EQ(plugins[0].key, "GlimmerstrandFake");
    EXPECT_TRUE(IsEqualCLSID(plugins[0].classId, plugin::kCLSIDGlimmerstrand));
    EXPECT_EQ(plugins[0].className, "Fake Glimmerstrand Class");
    EXPECT_TRUE(std::filesystem::equivalent(plugins[0].modulePath, kFakePlugin));
    EXPECT_EQ(plugins[0].problem, "");

    // The host then loads what the registry names, through the class factory alone.
    SelectedPlugin selected = selectPlugin("");
    EXPECT_TRUE(std::filesystem::equivalent(selected.module->path(), kFakePlugin));
    {
        ComPtr<IClassFactory> factory = selected.module->classFactory(selected.classId);
        ComPtr<IWMPEffects2> effects;
        ASSERT_EQ(factory->CreateInstance(nullptr, plugin::kIIDWmpEffects2, effects.put()), S_OK);
        EXPECT_FALSE(selected.module->canUnloadNow());
        LONG count = 0;
        EXPECT_EQ(effects->GetPresetCount(&count), S_OK);
        EXPECT_EQ(count, 2);
    }
    EXPECT_TRUE(selected.module->canUnloadNow());

    ASSERT_EQ(module.unregisterServer(), S_OK);
    EXPECT_TRUE(registeredPlugins().empty());
    EXPECT_THROW(selectPlugin(""), HostError);
}

TEST(PluginRegistry, ReportsEntriesThatCannotBeUsed) {
    const std::string effects = "SOFTWARE\\Microsoft\\MediaPlayer\\Objects\\Effects\\";
    ASSERT_EQ(
        writeText(HKEY_LOCAL_MACHINE, effects + "Broken\\Properties", "classid", "{nonsense}"),
        ERROR_SUCCESS);
    ASSERT_EQ(writeText(HKEY_LOCAL_MACHINE, effects + "Orphan\\Properties", "classid",
                        "{11111111-2222-3333-4444-555555555555}"),
              ERROR_SUCCESS);
    ASSERT_EQ(writeText(HKEY_LOCAL_MACHINE, effects + "Moved\\Properties", "classid",
                        "{11111111-2222-3333-4444-666666666666}"),
              ERROR_SUCCESS);
    ASSERT_EQ(writeText(HKEY_CLASSES_ROOT,
                        "CLSID\\{11111111-2222-3333-4444-666666666666}\\InprocServer32", nullptr,
                        "/nowhere/Moved.so"),
              ERROR_SUCCESS);
    std::map<std::string, std::string> problems;
    for (const RegisteredPlugin& entry : registeredPlugins()) {
        problems[entry.key] = entry.problem;
    }
    EXPECT_EQ(problems["Broken"], "malformed classid");
    EXPECT_EQ(problems["Orphan"], "class not registered");
    EXPECT_EQ(problems["Moved"], "module file missing");
    try {
        selectPlugin("");
        FAIL() << "selected an unusable entry";
    } catch (const HostError& error) {
        EXPECT_NE(std::string(error.what()).find("Moved: module file missing"), std::string::npos);
    }
    for (const char* key : {"Broken", "Orphan", "Moved"}) {
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, (effects + key + "\\Properties").c_str());
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, (effects + key).c_str());
    }
}

TEST(PluginModule, RefusesWhatIsNoPlugin) {
    testing::ScratchFolder folder;
    std::ofstream(folder.file("garbage.so")) << "not an ELF file";
    EXPECT_THROW(PluginModule(folder.file("missing.so")), HostError);
    EXPECT_THROW(PluginModule(folder.file("garbage.so")), HostError);
    try {
        PluginModule notPlugin(GS_PLATFORM_LIBRARY_PATH);
        FAIL() << "loaded a library without the exports";
    } catch (const HostError& error) {
        EXPECT_NE(std::string(error.what()).find("is not a plug-in module"), std::string::npos);
    }
    PluginModule module(kFakePlugin);
    const CLSID other = *parseClassId("{11111111-2222-3333-4444-555555555555}");
    EXPECT_THROW(module.classFactory(other), HostError);
}

TEST(PluginRegistry, ClassIdsParseAndPrint) {
    const auto id = parseClassId("{3cae2904-060b-43dc-a5d9-c6abb918707b}");
    ASSERT_TRUE(id);
    EXPECT_TRUE(IsEqualCLSID(*id, plugin::kCLSIDGlimmerstrand));
    EXPECT_EQ(formatClassId(*id), "{3CAE2904-060B-43DC-A5D9-C6ABB918707B}");
    for (const char* bad :
         {"", "3CAE2904-060B-43DC-A5D9-C6ABB918707B", "{3CAE2904-060B-43DC-A5D9-C6ABB918707}",
          "{3CAE2904+060B-43DC-A5D9-C6ABB918707B}", "{3CAE2904-060B-43DC-A5D9-C6ABB918707G}"}) {
        EXPECT_FALSE(parseClassId(bad)) << bad;
    }
}

}  // namespace
}  // namespace gs::host
