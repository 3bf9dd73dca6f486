// Feeds arbitrary bytes to the effect framework as a compiled effect container, on the software
// device, and drives whatever loads the way the renderer does: technique, every pass, every
// parameter it can find by name, a quad drawn through each pass. Sanitizers catch reads outside
// the container; the checks below catch a refusal that still hands something out, device state
// that End does not restore, and device objects that outlive the effect.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fx/effect.h"
#include "render/device.h"
#include "render/software/adapter.h"

namespace {

using namespace gs::render;
namespace software = gs::render::software;

constexpr UINT kTargetSize = 16;

void check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "effect_fuzzer: %s\n", what);
        std::abort();
    }
}

struct QuadVertex {  // pre-transformed position and one texture coordinate (0x104)
    float x, y, z, rhw;
    float u, v;
};
constexpr DWORD kQuadFvf = 0x104;

Device* device = nullptr;
Texture* strips[2] = {};

// The renderer's states before its effect pass; End must bring them back.
struct DeviceStates {
    DWORD srcBlend;
    DWORD destBlend;
    DWORD cullMode;
    DWORD addressU;
    BaseTexture* stage0;
    PixelShader* shader;

    bool operator==(const DeviceStates&) const = default;
};

DeviceStates readStates() {
    DeviceStates states{};
    device->GetRenderState(RenderStateType::SrcBlend, &states.srcBlend);
    device->GetRenderState(RenderStateType::DestBlend, &states.destBlend);
    device->GetRenderState(RenderStateType::CullMode, &states.cullMode);
    device->GetSamplerState(0, SamplerState::AddressU, &states.addressU);
    device->GetTexture(0, &states.stage0);
    device->GetPixelShader(&states.shader);
    // Only the identities are compared; the references taken by the getters go back at once.
    if (states.stage0 != nullptr) {
        states.stage0->Release();
    }
    if (states.shader != nullptr) {
        states.shader->Release();
    }
    return states;
}

// Names the container may hold: the effect's own and every printable NUL-terminated run of the
// input, so that a mutated name is still found.
std::vector<std::string> candidateNames(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> names = {"effect",   "pos0",     "pos1",     "pos2",     "pos3",
                                      "texWidth", "Ltexture", "Rtexture", "Lsampler", "Rsampler"};
    std::string run;
    for (std::size_t i = 0; i < size && names.size() < 40; ++i) {
        if (data[i] >= 0x20 && data[i] < 0x7F) {
            run += static_cast<char>(data[i]);
        } else {
            if (data[i] == 0 && !run.empty() && run.size() < 64) {
                names.push_back(run);
            }
            run.clear();
        }
    }
    return names;
}

void drawQuad() {
    const float s = static_cast<float>(kTargetSize);
    const QuadVertex quad[4] = {
        {0, 0, 0, 1, 0, 0}, {s, 0, 0, 1, s, 0}, {s, s, 0, 1, s, s}, {0, s, 0, 1, 0, s}};
    device->SetFVF(kQuadFvf);
    device->DrawPrimitiveUP(PrimitiveType::TriangleFan, 2, quad, sizeof(QuadVertex));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    software::AdapterSettings settings = software::adapterSettings();
    settings.displayMode = {kTargetSize, kTargetSize, 60, Format::X8R8G8B8};
    software::setAdapterSettings(settings);
    Direct3D* direct3d = createDirect3D(kSdkVersion);
    check(direct3d != nullptr, "no Direct3D");
    PresentParameters parameters{};
    parameters.BackBufferWidth = kTargetSize;
    parameters.BackBufferHeight = kTargetSize;
    parameters.BackBufferFormat = Format::X8R8G8B8;
    parameters.BackBufferCount = 1;
    parameters.SwapEffect = kSwapEffectDiscard;
    parameters.hDeviceWindow = reinterpret_cast<HWND>(std::uintptr_t{0x1000});
    parameters.Windowed = TRUE;
    parameters.Flags = kPresentFlagLockableBackBuffer;
    check(SUCCEEDED(direct3d->CreateDevice(0, DeviceType::Hal, parameters.hDeviceWindow,
                                           kCreateSoftwareVertexProcessing, &parameters, &device)),
          "no device");
    direct3d->Release();
    for (Texture*& strip : strips) {
        check(SUCCEEDED(device->CreateTexture(64, 1, 1, kUsageRenderTarget, Format::X8R8G8B8,
                                              Pool::Default, &strip)),
              "no texture");
    }
    // The renderer's fixed states.
    device->SetRenderState(RenderStateType::AlphaBlendEnable, 1);
    device->SetRenderState(RenderStateType::SrcBlend, DWORD(Blend::SrcAlpha));
    device->SetRenderState(RenderStateType::DestBlend, DWORD(Blend::One));
    device->SetTexture(0, strips[0]);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The container in its own allocation, so that the sanitizer sees any read past its end.
    std::vector<std::uint8_t> container(data, data + size);
    const software::LiveObjects objectsBefore = software::liveObjects();

    gs::fx::Effect* effect = reinterpret_cast<gs::fx::Effect*>(std::uintptr_t{0xdead});
    gs::fx::Buffer* errors = reinterpret_cast<gs::fx::Buffer*>(std::uintptr_t{0xdead});
    const HRESULT hr = gs::fx::createEffect(device, container.data(),
                                            static_cast<UINT>(container.size()), &effect, &errors);
    check(errors == nullptr, "error text for a compiled effect");
    if (FAILED(hr)) {
        check(effect == nullptr, "a refused effect was handed out");
        check(software::liveObjects().total() == objectsBefore.total(),
              "a refused effect left device objects behind");
        return 0;
    }
    check(effect != nullptr, "an accepted effect is null");

    std::vector<gs::fx::Handle> parameters;
    gs::fx::Handle technique = nullptr;
    for (const std::string& name : candidateNames(data, size)) {
        if (technique == nullptr) {
            technique = effect->GetTechniqueByName(name.c_str());
        }
        if (gs::fx::Handle parameter = effect->GetParameterByName(nullptr, name.c_str())) {
            parameters.push_back(parameter);
        }
    }

    const DeviceStates before = readStates();
    effect->SetTechnique(technique);
    UINT passes = 0;
    if (SUCCEEDED(effect->Begin(&passes, 0))) {
        // One pass past the last, which must be refused.
        for (UINT pass = 0; pass <= passes && pass < 8; ++pass) {
            if (FAILED(effect->BeginPass(pass))) {
                continue;
            }
            const gs::fx::Vector4 position = {3.0f, 5.0f, 0.5f, 1.0f};
            for (std::size_t i = 0; i < parameters.size(); ++i) {
                effect->SetVector(parameters[i], &position);
                effect->SetFloat(parameters[i], 960.0f);
                effect->SetTexture(parameters[i], strips[i % 2]);
            }
            effect->CommitChanges();
            drawQuad();
            effect->EndPass();
        }
        effect->End();
        check(readStates() == before, "End did not restore the device state");
    }
    effect->Release();
    check(software::liveObjects().total() == objectsBefore.total(),
          "the effect left device objects behind");
    return 0;
}
