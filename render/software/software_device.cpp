#include "render/software/software_device.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "render/software/adapter_state.h"
#include "render/software/colour_conversion.h"
#include "render/software/primitive_assembly.h"
#include "render/software/software_direct3d.h"
#include "render/software/software_pixel_shader.h"
#include "render/software/software_surface.h"
#include "render/software/software_texture.h"
#include "render/software/surface_blit.h"

namespace gs::render::software {
namespace {

constexpr DWORD kClearZBuffer = 0x2;
constexpr DWORD kClearStencil = 0x4;
// Bounds one DrawPrimitiveUP; far above what a frame draws, far below where sizes overflow.
constexpr std::uint64_t kMaxVerticesPerDraw = 1u << 24;
// The vertices of the draws held back for a banded run (a frame's 4096 points take about 100 KiB);
// a draw that does not fit runs at once, after those held.
constexpr std::size_t kHeldVertexBytes = std::size_t{512} << 10;

constexpr DWORD kBlendBothSrcAlpha = 12;
constexpr DWORD kBlendBothInvSrcAlpha = 13;

std::array<float, 4> unpackColour(Colour c) {
    return {channelRed(c), channelGreen(c), channelBlue(c), channelAlpha(c)};
}

Colour writeMaskOf(DWORD colorWriteEnable) {
    Colour mask = 0;
    if (colorWriteEnable & 1)
        mask |= 0x00FF0000u;
    if (colorWriteEnable & 2)
        mask |= 0x0000FF00u;
    if (colorWriteEnable & 4)
        mask |= 0x000000FFu;
    if (colorWriteEnable & 8)
        mask |= 0xFF000000u;
    return mask;
}

// D3DBLEND_BOTHSRCALPHA and BOTHINVSRCALPHA set both factors through the source factor.
void resolveBothFactors(DWORD* source, DWORD* destination) {
    if (*source == kBlendBothSrcAlpha) {
        *source = static_cast<DWORD>(Blend::SrcAlpha);
        *destination = static_cast<DWORD>(Blend::InvSrcAlpha);
    } else if (*source == kBlendBothInvSrcAlpha) {
        *source = static_cast<DWORD>(Blend::InvSrcAlpha);
        *destination = static_cast<DWORD>(Blend::SrcAlpha);
    }
}

}  // namespace

HRESULT SoftwareDevice::create(SoftwareDirect3D& direct3d, const PresentParameters& parameters,
                               const AdapterSettings& settings, SoftwareDevice** device) {
    *device = nullptr;
    std::unique_ptr<PixelPipeline> pipeline(new (std::nothrow) PixelPipeline);
    if (!pipeline) {
        return kErrOutOfVideoMemory;
    }
    auto* created =
        new (std::nothrow) SoftwareDevice(direct3d, parameters, settings, std::move(pipeline));
    if (created == nullptr) {
        return kErrOutOfVideoMemory;
    }
    created->backBuffer_ =
        BackBuffer::create(*created, parameters.BackBufferWidth, parameters.BackBufferHeight,
                           parameters.BackBufferFormat);
    if (created->backBuffer_ == nullptr ||
        !created->deferredFill_.reserve(parameters.BackBufferHeight)) {
        created->Release();
        return kErrOutOfVideoMemory;
    }
    if (created->drawsInBands()) {
        // Without the memory, draws run as they come: slower on a large target, but the same.
        created->heldDraws_.reserve(kHeldVertexBytes);
    }
    *device = created;
    return S_OK;
}

SoftwareDevice::SoftwareDevice(SoftwareDirect3D& direct3d, const PresentParameters& parameters,
                               const AdapterSettings& settings,
                               std::unique_ptr<PixelPipeline> pipeline)
    : direct3d_(direct3d),
      parameters_(parameters),
      settings_(settings),
      createdInEpoch_(lossEpoch()),
      pipeline_(std::move(pipeline)) {
    direct3d_.AddRef();
    countObject(ObjectKind::Device, +1);
}

SoftwareDevice::~SoftwareDevice() {
    dropHeldDraws();
    // Callers hold none of these any more (each would hold the device); dropping the device's own
    // holds frees them.
    for (SoftwareTexture*& texture : textures_) {
        if (texture != nullptr) {
            texture->releaseDeviceHold();
            texture = nullptr;
        }
    }
    if (pixelShader_ != nullptr) {
        pixelShader_->releaseDeviceHold();
    }
    if (backBuffer_ != nullptr) {
        backBuffer_->releaseDeviceHold();
    }
    countObject(ObjectKind::Device, -1);
    direct3d_.Release();
}

ULONG SoftwareDevice::AddRef() {
    return refs_.add();
}

ULONG SoftwareDevice::Release() {
    const ReferenceCount::Released released = refs_.release();
    if (released.last) {
        delete this;
    }
    return released.left;
}

bool SoftwareDevice::isLost() const {
    return lossEpoch() != createdInEpoch_;
}

SoftwareSurface* SoftwareDevice::ownSurface(Surface* surface) {
    if (surface == nullptr) {
        return nullptr;
    }
    auto* own = static_cast<SoftwareSurface*>(surface);
    return &own->device() == this ? own : nullptr;
}

bool SoftwareDevice::drawsInBands() const {
    const std::uint64_t bytes =
        std::uint64_t{parameters_.BackBufferWidth} * parameters_.BackBufferHeight * sizeof(Colour);
    return settings_.bandBytes > 0 && bytes > settings_.bandedTargetBytes;
}

void SoftwareDevice::runHeldDraws() {
    if (heldDraws_.empty()) {
        return;
    }
    if (isLost()) {
        dropHeldDraws();
        return;
    }
    const PixelBuffer& target = backBuffer_->surface().pixels();
    const std::size_t rowBytes = std::max<std::size_t>(target.pitch * sizeof(Colour), 1);
    // Bands of whole blocks of the pipeline's tile rows: the draws' pixels are then those of draws
    // run at once.
    constexpr std::size_t kBlock = PixelPipeline::kTileRowBlock;
    const std::size_t rows =
        std::clamp<std::size_t>(settings_.bandBytes / rowBytes / kBlock * kBlock, kBlock, 1u << 30);
    heldDraws_.run(*pipeline_, sampling_, deferredFill_, target, static_cast<int>(rows));
}

void SoftwareDevice::dropHeldDraws() {
    if (SoftwareSurface* destination = heldDraws_.copyDestination()) {
        // The copy never ran: the surface shows again what it showed before.
        spareStorage_ = destination->exchangeStorage(std::move(spareStorage_));
    }
    heldDraws_.drop();
}

void SoftwareDevice::finishDrawsOn(const SoftwareSurface& surface) {
    if (!heldDraws_.empty() &&
        (&surface == &backBuffer_->surface() || heldDraws_.samples(surface.firstPixel()) ||
         &surface == heldDraws_.copyDestination())) {
        runHeldDraws();
    }
}

bool SoftwareDevice::holdCopy(const SoftwareSurface& from, const RECT& fromRect,
                              SoftwareSurface& to, const RECT& toRect, bool linear) {
    const SurfaceDesc desc = to.desc();
    const bool whole = toRect.left == 0 && toRect.top == 0 &&
                       toRect.right == static_cast<LONG>(desc.Width) &&
                       toRect.bottom == static_cast<LONG>(desc.Height);
    const bool sameSize = fromRect.right - fromRect.left == toRect.right - toRect.left &&
                          fromRect.bottom - fromRect.top == toRect.bottom - toRect.top;
    // Each destination row from one source row (point sampling), every destination pixel written,
    // and a destination that may move to other memory.
    if (heldDraws_.empty() || heldDraws_.copyDestination() != nullptr ||
        &from != &backBuffer_->surface() || (linear && !sameSize) || !whole ||
        !to.canExchangeStorage()) {
        return false;
    }
    if (spareStorage_ == nullptr || spareStorage_->buffer().width != desc.Width ||
        spareStorage_->buffer().height != desc.Height ||
        spareStorage_->buffer().format != desc.Format) {
        // Made for the first copy, then swapped back and forth: later frames allocate nothing.
        spareStorage_ = PixelStorage::create(desc.Width, desc.Height, desc.Format);
        if (spareStorage_ == nullptr) {
            return false;
        }
    }
    spareStorage_ = to.exchangeStorage(std::move(spareStorage_));
    heldDraws_.addCopy({fromRect, &to, toRect});
    return true;
}

bool SoftwareDevice::samplesHeldCopy() const {
    const SoftwareSurface* destination = heldDraws_.copyDestination();
    if (destination == nullptr) {
        return false;
    }
    for (SoftwareTexture* texture : textures_) {
        if (texture != nullptr && &texture->level() == destination) {
            return true;
        }
    }
    return false;
}

HRESULT SoftwareDevice::TestCooperativeLevel() {
    return isLost() ? kErrDeviceLost : S_OK;
}

HRESULT SoftwareDevice::CreateTexture(UINT width, UINT height, UINT levels, DWORD usage,
                                      Format format, Pool pool, Texture** texture) {
    if (texture == nullptr) {
        return kErrInvalidCall;
    }
    *texture = nullptr;
    if (width == 0 || height == 0 || width > settings_.maxTextureSize ||
        height > settings_.maxTextureSize) {
        return kErrInvalidCall;
    }
    // One level only; 0 asks for the whole chain, which is one level just for a 1 x 1 texture.
    if (levels != 1 && !(levels == 0 && width == 1 && height == 1)) {
        return kErrInvalidCall;
    }
    if ((usage & ~kUsageRenderTarget) != 0 || !isSupportedFormat(format)) {
        return kErrInvalidCall;
    }
    if (pool != Pool::Default && pool != Pool::Managed && pool != Pool::SystemMem) {
        return kErrInvalidCall;
    }
    if ((usage & kUsageRenderTarget) && pool != Pool::Default) {
        return kErrInvalidCall;
    }
    SoftwareTexture* created = nullptr;
    const HRESULT hr = SoftwareTexture::create(*this, width, height, usage, format, pool, &created);
    *texture = created;
    return hr;
}

HRESULT SoftwareDevice::GetRenderTarget(DWORD index, Surface** surface) {
    if (surface == nullptr) {
        return kErrInvalidCall;
    }
    *surface = nullptr;
    if (index != 0) {
        return kErrInvalidCall;
    }
    SoftwareSurface& backBuffer = backBuffer_->surface();
    backBuffer.AddRef();
    *surface = &backBuffer;
    return S_OK;
}

HRESULT SoftwareDevice::Clear(DWORD rectCount, const RECT* rects, DWORD flags, Colour colour,
                              float /*z*/, DWORD /*stencil*/) {
    HRESULT injected;
    if (takeFault(Fault::Clear, &injected)) {
        return injected;
    }
    if (rectCount > 0 && rects == nullptr) {
        return kErrInvalidCall;
    }
    if ((flags & ~(kClearTarget | kClearZBuffer | kClearStencil)) != 0 ||
        (flags & (kClearZBuffer | kClearStencil)) != 0) {
        return kErrInvalidCall;  // there is no depth-stencil buffer to clear
    }
    if (isLost() || (flags & kClearTarget) == 0) {
        return S_OK;
    }
    runHeldDraws();
    if (rectCount == 0) {
        // The whole target: written as the next draw reaches its pixels, or when they are used.
        backBuffer_->surface().fillWhole(colour);
        return S_OK;
    }
    const PixelBuffer& target = backBuffer_->surface().pixels();
    RECT clipped;
    for (DWORD i = 0; i < rectCount; ++i) {
        if (clipRect(&rects[i], target, &clipped)) {
            fillRect(target, clipped, colour);
        }
    }
    return S_OK;
}

HRESULT SoftwareDevice::ColorFill(Surface* surface, const RECT* rect, Colour colour) {
    SoftwareSurface* target = ownSurface(surface);
    if (target == nullptr || target->pool() != Pool::Default || !target->isRenderTarget()) {
        return kErrInvalidCall;
    }
    finishDrawsOn(*target);
    RECT clipped;
    if (!isLost() && clipRect(rect, target->pixels(), &clipped)) {
        fillRect(target->pixels(), clipped, colour);
    }
    return S_OK;
}

HRESULT SoftwareDevice::StretchRect(Surface* source, const RECT* sourceRect, Surface* destination,
                                    const RECT* destinationRect, TextureFilter filter) {
    SoftwareSurface* from = ownSurface(source);
    SoftwareSurface* to = ownSurface(destination);
    if (from == nullptr || to == nullptr || from == to) {
        return kErrInvalidCall;
    }
    if (from->pool() != Pool::Default || to->pool() != Pool::Default || !from->isRenderTarget() ||
        !to->isRenderTarget()) {
        return kErrInvalidCall;
    }
    if (filter != TextureFilter::None && filter != TextureFilter::Point &&
        filter != TextureFilter::Linear) {
        return kErrInvalidCall;
    }
    const SurfaceDesc src = from->desc(), dst = to->desc();
    const RECT fromRect =
        sourceRect != nullptr ? *sourceRect : RECT{0, 0, LONG(src.Width), LONG(src.Height)};
    const RECT toRect = destinationRect != nullptr ? *destinationRect
                                                   : RECT{0, 0, LONG(dst.Width), LONG(dst.Height)};
    if (!rectInside(fromRect, src.Width, src.Height) ||
        !rectInside(toRect, dst.Width, dst.Height)) {
        return kErrInvalidCall;
    }
    const bool linear = filter == TextureFilter::Linear;
    if (isLost() || holdCopy(*from, fromRect, *to, toRect, linear)) {
        return S_OK;
    }
    finishDrawsOn(*from);
    finishDrawsOn(*to);
    stretchRect(from->pixels(), fromRect, to->pixels(), toRect, linear);
    return S_OK;
}

HRESULT SoftwareDevice::BeginScene() {
    HRESULT injected;
    if (takeFault(Fault::BeginScene, &injected)) {
        return injected;
    }
    if (inScene_) {
        return kErrInvalidCall;
    }
    inScene_ = true;
    return S_OK;
}

HRESULT SoftwareDevice::EndScene() {
    if (!inScene_) {
        return kErrInvalidCall;
    }
    runHeldDraws();
    inScene_ = false;
    return S_OK;
}

HRESULT SoftwareDevice::SetRenderState(RenderStateType state, DWORD value) {
    return states_.setRender(static_cast<DWORD>(state), value) ? S_OK : kErrInvalidCall;
}

HRESULT SoftwareDevice::GetRenderState(RenderStateType state, DWORD* value) {
    if (value == nullptr) {
        return kErrInvalidCall;
    }
    return states_.getRender(static_cast<DWORD>(state), value) ? S_OK : kErrInvalidCall;
}

HRESULT SoftwareDevice::SetTextureStageState(DWORD stage, TextureStageState state, DWORD value) {
    return states_.setStage(stage, static_cast<DWORD>(state), value) ? S_OK : kErrInvalidCall;
}

HRESULT SoftwareDevice::GetTextureStageState(DWORD stage, TextureStageState state, DWORD* value) {
    if (value == nullptr) {
        return kErrInvalidCall;
    }
    return states_.getStage(stage, static_cast<DWORD>(state), value) ? S_OK : kErrInvalidCall;
}

HRESULT SoftwareDevice::SetSamplerState(DWORD sampler, SamplerState state, DWORD value) {
    return states_.setSampler(sampler, static_cast<DWORD>(state), value) ? S_OK : kErrInvalidCall;
}

HRESULT SoftwareDevice::GetSamplerState(DWORD sampler, SamplerState state, DWORD* value) {
    if (value == nullptr) {
        return kErrInvalidCall;
    }
    return states_.getSampler(sampler, static_cast<DWORD>(state), value) ? S_OK : kErrInvalidCall;
}

HRESULT SoftwareDevice::SetTexture(DWORD stage, BaseTexture* texture) {
    if (stage >= kSamplerCount) {
        return kErrInvalidCall;
    }
    SoftwareTexture* bound = nullptr;
    if (texture != nullptr) {
        // Every BaseTexture this device hands out is one of its 2D textures.
        bound = static_cast<SoftwareTexture*>(static_cast<Texture*>(texture));
        if (&bound->device() != this || bound->pool() == Pool::SystemMem) {
            return kErrInvalidCall;
        }
        bound->addDeviceHold();
    }
    if (textures_[stage] != nullptr) {
        textures_[stage]->releaseDeviceHold();
    }
    textures_[stage] = bound;
    return S_OK;
}

HRESULT SoftwareDevice::GetTexture(DWORD stage, BaseTexture** texture) {
    if (texture == nullptr) {
        return kErrInvalidCall;
    }
    *texture = nullptr;
    if (stage >= kSamplerCount) {
        return kErrInvalidCall;
    }
    if (textures_[stage] != nullptr) {
        textures_[stage]->AddRef();
        *texture = textures_[stage];
    }
    return S_OK;
}

HRESULT SoftwareDevice::SetFVF(DWORD fvf) {
    fvf_ = fvf;
    return S_OK;
}

HRESULT SoftwareDevice::GetFVF(DWORD* fvf) {
    if (fvf == nullptr) {
        return kErrInvalidCall;
    }
    *fvf = fvf_;
    return S_OK;
}

DrawSetup SoftwareDevice::drawSetup(const VertexLayout& layout) {
    DrawSetup setup;
    setup.target = backBuffer_->surface().pixels();
    setup.layout = layout;
    setup.flatShading = states_.render(render_state::kShadeMode) == kShadeFlat;
    setup.program = pixelShader_ != nullptr ? &pixelShader_->program() : nullptr;
    setup.constants = constants_;

    for (DWORD s = 0; s < kSamplerCount; ++s) {
        SamplerSetup unit;
        unit.texture = textures_[s] != nullptr ? &textures_[s]->pixels() : nullptr;
        unit.addressU = states_.sampler(s, SamplerState::AddressU);
        unit.addressV = states_.sampler(s, SamplerState::AddressV);
        const auto linear = static_cast<DWORD>(TextureFilter::Linear);
        unit.magnifyLinear = states_.sampler(s, SamplerState::MagFilter) >= linear;
        unit.minifyLinear = states_.sampler(s, SamplerState::MinFilter) >= linear;
        unit.border = states_.sampler(s, SamplerState::BorderColor);
        sampling_.bind(s, unit);
    }
    setup.textures = &sampling_;

    TextureStageSetup& stage = setup.stage;
    stage.colourOp = states_.stage(0, TextureStageState::ColorOp);
    stage.colourArg1 = states_.stage(0, TextureStageState::ColorArg1);
    stage.colourArg2 = states_.stage(0, TextureStageState::ColorArg2);
    stage.alphaOp = states_.stage(0, TextureStageState::AlphaOp);
    stage.alphaArg1 = states_.stage(0, TextureStageState::AlphaArg1);
    stage.alphaArg2 = states_.stage(0, TextureStageState::AlphaArg2);
    const DWORD texCoordSet = states_.stage(0, kTexCoordIndex) & 0xFFFFu;
    stage.texCoordSet = texCoordSet < kMaxTexCoordSets ? static_cast<int>(texCoordSet) : 0;
    stage.textureFactor = unpackColour(states_.render(render_state::kTextureFactor));
    stage.addSpecular = states_.render(render_state::kSpecularEnable) != 0;

    BlendSetup& blend = setup.blend;
    blend.enabled = states_.render(RenderStateType::AlphaBlendEnable) != 0;
    blend.sourceColour = states_.render(RenderStateType::SrcBlend);
    blend.destinationColour = states_.render(RenderStateType::DestBlend);
    blend.operationColour = states_.render(RenderStateType::BlendOp);
    resolveBothFactors(&blend.sourceColour, &blend.destinationColour);
    if (states_.render(render_state::kSeparateAlphaBlendEnable) != 0) {
        blend.sourceAlpha = states_.render(render_state::kSrcBlendAlpha);
        blend.destinationAlpha = states_.render(render_state::kDestBlendAlpha);
        blend.operationAlpha = states_.render(render_state::kBlendOpAlpha);
        resolveBothFactors(&blend.sourceAlpha, &blend.destinationAlpha);
    } else {
        blend.sourceAlpha = blend.sourceColour;
        blend.destinationAlpha = blend.destinationColour;
        blend.operationAlpha = blend.operationColour;
    }
    blend.blendFactor = unpackColour(states_.render(render_state::kBlendFactor));
    blend.writeMask = writeMaskOf(states_.render(render_state::kColorWriteEnable));
    return setup;
}

PointRule SoftwareDevice::pointRule() const {
    PointRule points;
    points.size = states_.renderFloat(render_state::kPointSize);
    points.minimum = states_.renderFloat(render_state::kPointSizeMin);
    points.maximum =
        std::min(states_.renderFloat(render_state::kPointSizeMax), settings_.maxPointSize);
    return points;
}

Cull SoftwareDevice::cullMode() const {
    return static_cast<Cull>(states_.render(RenderStateType::CullMode));
}

void SoftwareDevice::holdDraw(PrimitiveType type, UINT primitiveCount, const void* vertices,
                              std::size_t vertexBytes, UINT stride, const VertexLayout& layout) {
    DrawBatch::Draw draw;
    // Only the batch's first draw can find a clear pending: a clear runs the batch first.
    draw.fill = backBuffer_->surface().takePendingFill();
    draw.setup = drawSetup(layout);
    for (DWORD s = 0; s < kSamplerCount; ++s) {
        draw.samplers[s] = sampling_.unit(s);
        draw.textures[s] = textures_[s];
    }
    draw.shader = pixelShader_;
    draw.constants = constants_;
    draw.type = type;
    draw.primitiveCount = primitiveCount;
    draw.vertices = static_cast<const unsigned char*>(vertices);
    draw.vertexBytes = vertexBytes;
    draw.stride = stride;
    draw.cull = cullMode();
    draw.points = pointRule();
    heldDraws_.add(draw);
}

HRESULT SoftwareDevice::DrawPrimitiveUP(PrimitiveType type, UINT primitiveCount,
                                        const void* vertices, UINT stride) {
    if (!inScene_ || vertices == nullptr) {
        return kErrInvalidCall;
    }
    VertexLayout layout;
    if (!VertexLayout::parse(fvf_, &layout) || stride < layout.size()) {
        return kErrInvalidCall;
    }
    if (type == PrimitiveType::LineList || type == PrimitiveType::LineStrip) {
        return E_NOTIMPL;  // lines are not drawn by this device
    }
    if (verticesFor(type, 1) == 0 || verticesFor(type, primitiveCount) > kMaxVerticesPerDraw) {
        return kErrInvalidCall;  // an unknown primitive type, or more than any draw may hold
    }
    if (primitiveCount == 0 || isLost()) {
        return S_OK;
    }
    if (drawsInBands()) {
        const std::size_t bytes = static_cast<std::size_t>(
            (verticesFor(type, primitiveCount) - 1) * stride + layout.size());
        // A draw that samples what a held copy writes waits for it: the batch runs first.
        if (!heldDraws_.fits(bytes) || samplesHeldCopy()) {
            runHeldDraws();
        }
        if (heldDraws_.fits(bytes)) {
            holdDraw(type, primitiveCount, vertices, bytes, stride, layout);
            return S_OK;
        }
    }
    // A clear still pending goes into the pixels as the draw reaches them, the rest after it.
    const std::optional<Colour> pendingFill = backBuffer_->surface().takePendingFill();
    const DrawSetup setup = drawSetup(layout);
    if (pendingFill) {
        deferredFill_.start(setup.target, *pendingFill);
    }
    pipeline_->beginDraw(setup, pendingFill ? &deferredFill_ : nullptr);
    assemblePrimitives(type, primitiveCount, static_cast<const unsigned char*>(vertices), stride,
                       layout, cullMode(), pointRule(), *pipeline_);
    if (pendingFill) {
        deferredFill_.finish();
    }
    return S_OK;
}

HRESULT SoftwareDevice::CreatePixelShader(const DWORD* function, PixelShader** shader) {
    if (shader == nullptr) {
        return kErrInvalidCall;
    }
    *shader = nullptr;
    if (function == nullptr) {
        return kErrInvalidCall;
    }
    SoftwarePixelShader* created = nullptr;
    const HRESULT hr = SoftwarePixelShader::create(*this, function, &created);
    *shader = created;
    return hr;
}

HRESULT SoftwareDevice::SetPixelShader(PixelShader* shader) {
    SoftwarePixelShader* bound = nullptr;
    if (shader != nullptr) {
        bound = static_cast<SoftwarePixelShader*>(shader);
        if (&bound->device() != this) {
            return kErrInvalidCall;
        }
        bound->addDeviceHold();
    }
    if (pixelShader_ != nullptr) {
        pixelShader_->releaseDeviceHold();
    }
    pixelShader_ = bound;
    return S_OK;
}

HRESULT SoftwareDevice::GetPixelShader(PixelShader** shader) {
    if (shader == nullptr) {
        return kErrInvalidCall;
    }
    *shader = nullptr;
    if (pixelShader_ != nullptr) {
        pixelShader_->AddRef();
        *shader = pixelShader_;
    }
    return S_OK;
}

HRESULT SoftwareDevice::SetPixelShaderConstantF(UINT startRegister, const float* data,
                                                UINT vector4fCount) {
    if (startRegister > kPixelShaderFloatConstants ||
        vector4fCount > kPixelShaderFloatConstants - startRegister ||
        (data == nullptr && vector4fCount > 0)) {
        return kErrInvalidCall;
    }
    if (vector4fCount > 0) {
        std::memcpy(constants_[startRegister], data, vector4fCount * 4 * sizeof(float));
    }
    return S_OK;
}

HRESULT SoftwareDevice::GetPixelShaderConstantF(UINT startRegister, float* data,
                                                UINT vector4fCount) {
    if (startRegister > kPixelShaderFloatConstants ||
        vector4fCount > kPixelShaderFloatConstants - startRegister ||
        (data == nullptr && vector4fCount > 0)) {
        return kErrInvalidCall;
    }
    if (vector4fCount > 0) {
        std::memcpy(data, constants_[startRegister], vector4fCount * 4 * sizeof(float));
    }
    return S_OK;
}

}  // namespace gs::render::software
