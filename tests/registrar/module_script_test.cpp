// The module's own registry script: what registering and unregistering it write and remove.
#include <string>
#include <vector>

#include "tests/registrar/registrar_fixture.h"

namespace gs::registrar::test {
namespace {

using ::testing::UnorderedElementsAre;
using ::testing::UnorderedElementsAreArray;

class ModuleScript : public RegistryTest {
protected:
    void SetUp() override {
        RegistryTest::SetUp();
        // A machine with the player installed has these already.
        createKey(HKEY_CLASSES_ROOT, "CLSID");
        createKey(HKEY_LOCAL_MACHINE, effectsKey);
        script_ = moduleScript();
    }

    std::string script_;
};

const std::vector<std::string> registeredEntries = {
    "HKCR\\CLSID\\{3CAE2904-060B-43DC-A5D9-C6ABB918707B} = key",
    "HKCR\\CLSID\\{3CAE2904-060B-43DC-A5D9-C6ABB918707B} : @ = sz 'Glimmerstrand Class'",
    "HKCR\\CLSID\\{3CAE2904-060B-43DC-A5D9-C6ABB918707B}\\InprocServer32 = key",
    "HKCR\\CLSID\\{3CAE2904-060B-43DC-A5D9-C6ABB918707B}\\InprocServer32 : @ = sz "
    "'C:\\Plugins\\Glimmerstrand.dll'",
    "HKCR\\CLSID\\{3CAE2904-060B-43DC-A5D9-C6ABB918707B}\\InprocServer32 : ThreadingModel = sz "
    "'Apartment'",
    "HKCR\\CLSID\\{3CAE2904-060B-43DC-A5D9-C6ABB918707B}\\TypeLib = key",
    "HKCR\\CLSID\\{3CAE2904-060B-43DC-A5D9-C6ABB918707B}\\TypeLib : @ = sz "
    "'{B6D29FEF-6A7B-462A-B6BA-E5C6AD27476E}'",
    "HKLM\\SOFTWARE\\Microsoft\\MediaPlayer\\Objects\\Effects\\Glimmerstrand = key",
    "HKLM\\SOFTWARE\\Microsoft\\MediaPlayer\\Objects\\Effects\\Glimmerstrand\\Properties = key",
    "HKLM\\SOFTWARE\\Microsoft\\MediaPlayer\\Objects\\Effects\\Glimmerstrand\\Properties : "
    "classid = sz '{3CAE2904-060B-43DC-A5D9-C6ABB918707B}'",
    "HKLM\\SOFTWARE\\Microsoft\\MediaPlayer\\Objects\\Effects\\Glimmerstrand\\Properties : name "
    "= sz 'res://Glimmerstrand.dll/RT_STRING/#101'",
    "HKLM\\SOFTWARE\\Microsoft\\MediaPlayer\\Objects\\Effects\\Glimmerstrand\\Properties : "
    "description = sz 'res://Glimmerstrand.dll/RT_STRING/#105'",
};

TEST_F(ModuleScript, IsCarriedByteForByteWithCrLfLineEnds) {
    ASSERT_FALSE(script_.empty());
#ifndef _WIN32
    std::ifstream source(GS_MODULE_SCRIPT_FILE, std::ios::binary);
    std::stringstream text;
    text << source.rdbuf();
    EXPECT_EQ(script_, text.str());
#endif
    EXPECT_EQ(script_.substr(0, 6), "HKCR\r\n");
    EXPECT_EQ(script_.substr(script_.size() - 3), "}\r\n");
    EXPECT_EQ(script_.find("\n\n"), std::string::npos);
    EXPECT_NE(script_.find("\r\n            InprocServer32 = s '%MODULE%'\r\n"), std::string::npos);
}

TEST_F(ModuleScript, RegisteringWritesTheSevenValuesAndNothingElse) {
    const Snapshot before = moduleSnapshot();
    ASSERT_EQ(runScript(script_, true), S_OK);
    const Snapshot registered = moduleSnapshot();
    EXPECT_THAT(changes(before, registered), UnorderedElementsAreArray(registeredEntries));
    EXPECT_TRUE(changes(registered, before).empty());  // nothing removed or changed

    // Registering again rebuilds the ForceRemove keys from scratch.
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, classKey, 0, KEY_WRITE, &key), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key, "stale", 0, REG_SZ, reinterpret_cast<const BYTE*>(""), 1),
              ERROR_SUCCESS);
    RegCloseKey(key);
    createKey(HKEY_LOCAL_MACHINE, std::string(pluginKey) + "\\Stale");
    ASSERT_EQ(runScript(script_, true), S_OK);
    EXPECT_EQ(moduleSnapshot(), registered);
}

TEST_F(ModuleScript, UnregisteringRemovesWhatItRegisteredAndKeepsTheSharedKeys) {
    const Snapshot before = moduleSnapshot();
    ASSERT_EQ(runScript(script_, true), S_OK);
    ASSERT_EQ(runScript(script_, false), S_OK);
    EXPECT_EQ(moduleSnapshot(), before);
    EXPECT_TRUE(snapshotOf(HKEY_LOCAL_MACHINE, "HKLM", effectsKey)
                    .count("HKLM\\SOFTWARE\\Microsoft\\MediaPlayer\\Objects\\Effects"));

    // A second unregistration finds nothing to do and succeeds.
    ASSERT_EQ(runScript(script_, false), S_OK);
    EXPECT_EQ(moduleSnapshot(), before);
}

TEST_F(ModuleScript, UnregisteringStopsAtAKeyThatGainedAForeignSubkey) {
    ASSERT_EQ(runScript(script_, true), S_OK);
    createKey(HKEY_CLASSES_ROOT, std::string(classKey) + "\\InprocServer32\\Foreign");
    const Snapshot registered = moduleSnapshot();

    EXPECT_EQ(runScript(script_, false), HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED));
    // Only ThreadingModel, read before the refused deletion, is gone; the HKLM block is untouched.
    const Snapshot after = moduleSnapshot();
    EXPECT_THAT(changes(after, registered),
                UnorderedElementsAre("HKCR\\CLSID\\{3CAE2904-060B-43DC-A5D9-C6ABB918707B}\\"
                                     "InprocServer32 : ThreadingModel = sz 'Apartment'"));
    EXPECT_TRUE(changes(registered, after).empty());
}

TEST_F(ModuleScript, AQuoteInTheModulePathIsRegisteredAsItIs) {
    const std::u16string path = u"C:\\Users\\O'Neil\\Plug-ins\\Glimmerstrand.dll";
    ASSERT_EQ(runScript(script_, true, path), S_OK);
    EXPECT_EQ(snapshotOf(HKEY_CLASSES_ROOT, "HKCR", std::string(classKey) + "\\InprocServer32")
                  ["HKCR\\CLSID\\{3CAE2904-060B-43DC-A5D9-C6ABB918707B}\\InprocServer32 : @"],
              "sz 'C:\\Users\\O'Neil\\Plug-ins\\Glimmerstrand.dll'");
    ASSERT_EQ(runScript(script_, false, path), S_OK);
    EXPECT_TRUE(snapshotOf(HKEY_CLASSES_ROOT, "HKCR", classKey).empty());
}

#ifndef _WIN32
TEST_F(ModuleScript, WithoutWriteAccessToTheMachineTheClassStaysAndThePluginEntryGoes) {
    const Snapshot before = moduleSnapshot();
    platform::registry::testing::denyWrites("HKLM");
    EXPECT_EQ(runScript(script_, true), HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED));
    std::vector<std::string> classEntries(registeredEntries.begin(), registeredEntries.begin() + 7);
    EXPECT_THAT(changes(before, moduleSnapshot()), UnorderedElementsAreArray(classEntries));
    platform::registry::testing::allowWrites();
    ASSERT_EQ(runScript(script_, false), S_OK);

    // Refused deeper down, the part of the HKLM block written before the refusal is taken back.
    platform::registry::testing::denyWrites(
        (std::string("HKLM\\") + pluginKey + "\\Properties").c_str());
    EXPECT_EQ(runScript(script_, true), HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED));
    EXPECT_THAT(changes(before, moduleSnapshot()), UnorderedElementsAreArray(classEntries));
}
#endif

}  // namespace
}  // namespace gs::registrar::test
