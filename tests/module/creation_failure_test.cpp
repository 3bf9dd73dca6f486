// A visualizer whose final construction fails: the user is told why, the creation fails, and the
// half-made object goes with everything it took, its module lock included.
#include "render/messages.h"
#include "tests/module/counting_outer.h"
#include "tests/module/module_fixture.h"

namespace gs::module::test {
namespace {

namespace software = render::software;

struct Failure {
    const char* name;
    void (*arrange)();
    const char* message;
};

// Test logs name the failure rather than dump the struct's bytes.
void PrintTo(const Failure& failure, std::ostream* out) {
    *out << failure.name;
}

const Failure kFailures[] = {
    {"PixelShader14",
     [] {
         software::AdapterSettings settings = software::adapterSettings();
         settings.pixelShaderVersion = render::pixelShaderVersion(1, 4);
         software::setAdapterSettings(settings);
     },
     render::messages::kPixelShaderUnsupported},
    {"NoDirect3D", [] { software::injectFault(software::Fault::CreateDirect3D, E_FAIL); },
     render::messages::kDirectXInitFailed},
    {"NoDisplayMode", [] { software::injectFault(software::Fault::GetAdapterDisplayMode, E_FAIL); },
     render::messages::kDisplayModeFailed},
    {"NoCaps", [] { software::injectFault(software::Fault::GetDeviceCaps, E_FAIL); },
     render::messages::kCapsFailed},
};

class CreationFailure : public ModuleTest,
                        public ::testing::WithParamInterface<std::tuple<Failure, bool>> {
protected:
    const Failure& failure() const { return std::get<0>(GetParam()); }
    bool aggregated() const { return std::get<1>(GetParam()); }
};

TEST_P(CreationFailure, ShowsWhyAndLeavesTheLockCountAsItWas) {
    failure().arrange();
    IClassFactory* factory = module().classFactory();  // one lock: the client's reference
    ASSERT_NE(factory, nullptr);
    CountingOuter outer;
    void* object = reinterpret_cast<void*>(0xdeadbeef);
    EXPECT_EQ(
        factory->CreateInstance(aggregated() ? &outer : nullptr,
                                aggregated() ? IID_IUnknown : plugin::kIIDWmpEffects2, &object),
        E_FAIL);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(outer.references, 1);
    EXPECT_EQ(software::liveObjects().total(), 0) << "the half-made object kept Direct3D";

    const std::vector<ShownMessage> messages = shownMessages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].owner, nullptr);
    EXPECT_EQ(messages[0].caption, render::messages::kCaption);
    EXPECT_EQ(messages[0].text, failure().message);
    EXPECT_EQ(messages[0].style, static_cast<UINT>(MB_ICONWARNING));

    EXPECT_EQ(module().canUnloadNow(), S_FALSE);
    factory->Release();  // exactly the client's lock remained: now none
    EXPECT_EQ(module().canUnloadNow(), S_OK);
}

INSTANTIATE_TEST_SUITE_P(, CreationFailure,
                         ::testing::Combine(::testing::ValuesIn(kFailures), ::testing::Bool()),
                         [](const ::testing::TestParamInfo<CreationFailure::ParamType>& param) {
                             return std::string(std::get<0>(param.param).name) +
                                    (std::get<1>(param.param) ? "Aggregated" : "Plain");
                         });

TEST_F(ModuleTest, PixelShader20AndLaterAreEnough) {
    for (DWORD version : {render::pixelShaderVersion(2, 0), render::pixelShaderVersion(3, 0)}) {
        software::AdapterSettings settings = software::adapterSettings();
        settings.pixelShaderVersion = version;
        software::setAdapterSettings(settings);
        IWMPEffects2* effects = createVisualizer();
        ASSERT_NE(effects, nullptr);
        EXPECT_EQ(effects->Release(), 0u);
    }
    EXPECT_TRUE(shownMessages().empty());
}

}  // namespace
}  // namespace gs::module::test
