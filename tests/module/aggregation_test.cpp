// The visualizer inside an outer object: a non-delegating IUnknown for the outer object, and
// interfaces whose IUnknown methods are the outer object's.
#include "tests/module/counting_outer.h"
#include "tests/module/module_fixture.h"
#include "tests/plugin/counting_unknown.h"

namespace gs::module::test {
namespace {

const IID kIIDUnknownToTheObject = {
    0x12345678, 0x1234, 0x1234, {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDE, 0xF0}};

class Aggregation : public ModuleTest {
protected:
    void SetUp() override {
        ModuleTest::SetUp();
        factory = module().classFactory();
        ASSERT_NE(factory, nullptr);
    }
    void TearDown() override {
        if (factory != nullptr) {
            factory->Release();
        }
        ModuleTest::TearDown();
    }

    IClassFactory* factory = nullptr;
};

TEST_F(Aggregation, InnerInterfacesForwardToTheOuterObject) {
    CountingOuter outer;
    ASSERT_EQ(factory->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&outer.inner)),
              S_OK);
    ASSERT_NE(outer.inner, nullptr);
    EXPECT_EQ(outer.references, 1) << "the inner object must not hold its outer object";

    // The non-delegating IUnknown answers itself and counts on its own.
    IUnknown* unknown = nullptr;
    ASSERT_EQ(outer.inner->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)), S_OK);
    EXPECT_EQ(unknown, outer.inner);
    EXPECT_EQ(outer.references, 1);
    EXPECT_EQ(unknown->Release(), 1u);

    // Interfaces obtained from it count into the outer object.
    IWMPEffects2* effects = nullptr;
    ASSERT_EQ(outer.QueryInterface(plugin::kIIDWmpEffects2, reinterpret_cast<void**>(&effects)),
              S_OK);
    EXPECT_EQ(outer.references, 2);
    EXPECT_EQ(effects->AddRef(), 3u);
    EXPECT_EQ(outer.references, 3);
    EXPECT_EQ(effects->Release(), 2u);

    // Their QueryInterface is the outer object's: IUnknown is the outer object itself.
    const int queriesBefore = outer.queries;
    IUnknown* identity = nullptr;
    ASSERT_EQ(effects->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)), S_OK);
    EXPECT_EQ(identity, static_cast<IUnknown*>(&outer));
    EXPECT_EQ(outer.queries, queriesBefore + 1);
    identity->Release();

    IGlimmerstrand* automation = nullptr;
    ASSERT_EQ(
        effects->QueryInterface(plugin::kIIDGlimmerstrand, reinterpret_cast<void**>(&automation)),
        S_OK);
    EXPECT_EQ(outer.queries, queriesBefore + 2);
    EXPECT_EQ(outer.references, 3);
    void* missing = reinterpret_cast<void*>(0xdeadbeef);
    EXPECT_EQ(automation->QueryInterface(kIIDUnknownToTheObject, &missing), E_NOINTERFACE);
    EXPECT_EQ(missing, nullptr);
    EXPECT_EQ(outer.references, 3);

    // The object behind them is one visualizer.
    EXPECT_EQ(effects->SetCurrentPreset(1), S_OK);
    LONG preset = -1;
    IWMPEffects* first = nullptr;
    ASSERT_EQ(automation->QueryInterface(plugin::kIIDWmpEffects, reinterpret_cast<void**>(&first)),
              S_OK);
    EXPECT_EQ(first->GetCurrentPreset(&preset), S_OK);
    EXPECT_EQ(preset, 1);
    BSTR colour = nullptr;
    EXPECT_EQ(automation->get_foregroundColor(&colour), S_OK);
    SysFreeString(colour);

    EXPECT_EQ(first->Release(), 3u);
    EXPECT_EQ(automation->Release(), 2u);
    EXPECT_EQ(effects->Release(), 1u);
    EXPECT_EQ(outer.references, 1);
    EXPECT_EQ(module().canUnloadNow(), S_FALSE) << "the aggregated object holds the module";
    EXPECT_EQ(outer.Release(), 0u);  // lets the inner object go
    EXPECT_EQ(outer.inner, nullptr);
    EXPECT_EQ(render::software::liveObjects().direct3d, 0);
}

TEST_F(Aggregation, OnlyIUnknownMayBeAskedForWithAnOuterObject) {
    CountingOuter outer;
    for (const IID* iid : {&plugin::kIIDWmpEffects2, &plugin::kIIDWmpEffects, &IID_IDispatch,
                           &plugin::kIIDGlimmerstrand}) {
        void* object = reinterpret_cast<void*>(0xdeadbeef);
        EXPECT_EQ(factory->CreateInstance(&outer, *iid, &object), CLASS_E_NOAGGREGATION);
        EXPECT_EQ(object, nullptr);
    }
    EXPECT_EQ(factory->CreateInstance(&outer, IID_IUnknown, nullptr), E_POINTER);
    EXPECT_EQ(outer.references, 1);
    EXPECT_EQ(outer.queries, 0);
    EXPECT_EQ(render::software::liveObjects().direct3d, 0);
}

TEST_F(Aggregation, DestroyingTheAggregateReleasesWhatTheVisualizerHeld) {
    CountingOuter outer;
    ASSERT_EQ(factory->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&outer.inner)),
              S_OK);
    gs::testing::CountingUnknown<IWMPCore> core;
    IWMPEffects2* effects = nullptr;
    ASSERT_EQ(outer.QueryInterface(plugin::kIIDWmpEffects2, reinterpret_cast<void**>(&effects)),
              S_OK);
    EXPECT_EQ(effects->SetCore(&core), S_OK);
    EXPECT_EQ(core.references, 2);
    effects->Release();
    EXPECT_EQ(outer.releaseInner(), 0u);
    EXPECT_EQ(core.references, 1);
    EXPECT_EQ(outer.references, 1);
}

}  // namespace
}  // namespace gs::module::test
