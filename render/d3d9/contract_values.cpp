// The adapters cast the contract's values to Direct3D's types unchanged. These checks hold the
// contract to that: each of its numbers is compared with the one in the system headers.
#include <d3d9.h>

#include "render/device.h"

namespace gs::render::d3d9 {
namespace {

template <class Contract>
constexpr DWORD value(Contract v) {
    return static_cast<DWORD>(v);
}

static_assert(kSdkVersion == D3D_SDK_VERSION && kDefaultAdapter == D3DADAPTER_DEFAULT);

static_assert(kErrWrongTextureFormat == D3DERR_WRONGTEXTUREFORMAT &&
              kErrOutOfVideoMemory == D3DERR_OUTOFVIDEOMEMORY &&
              kErrDeviceLost == D3DERR_DEVICELOST && kErrDeviceNotReset == D3DERR_DEVICENOTRESET &&
              kErrNotAvailable == D3DERR_NOTAVAILABLE && kErrInvalidCall == D3DERR_INVALIDCALL);

static_assert(value(DeviceType::Hal) == D3DDEVTYPE_HAL &&
              value(DeviceType::Ref) == D3DDEVTYPE_REF &&
              value(DeviceType::Software) == D3DDEVTYPE_SW);

static_assert(value(Format::Unknown) == D3DFMT_UNKNOWN &&
              value(Format::A8R8G8B8) == D3DFMT_A8R8G8B8 &&
              value(Format::X8R8G8B8) == D3DFMT_X8R8G8B8 && value(Format::D16) == D3DFMT_D16);

static_assert(value(Pool::Default) == D3DPOOL_DEFAULT && value(Pool::Managed) == D3DPOOL_MANAGED &&
              value(Pool::SystemMem) == D3DPOOL_SYSTEMMEM);

static_assert(kUsageRenderTarget == D3DUSAGE_RENDERTARGET &&
              kCreateSoftwareVertexProcessing == D3DCREATE_SOFTWARE_VERTEXPROCESSING &&
              kMultiSampleNone == D3DMULTISAMPLE_NONE &&
              kSwapEffectDiscard == D3DSWAPEFFECT_DISCARD &&
              kPresentFlagLockableBackBuffer == D3DPRESENTFLAG_LOCKABLE_BACKBUFFER &&
              kPresentIntervalDefault == D3DPRESENT_INTERVAL_DEFAULT);

static_assert(pixelShaderVersion(2, 0) == D3DPS_VERSION(2, 0) &&
              pixelShaderVersion(3, 0) == D3DPS_VERSION(3, 0));

static_assert(value(RenderStateType::ZEnable) == D3DRS_ZENABLE &&
              value(RenderStateType::SrcBlend) == D3DRS_SRCBLEND &&
              value(RenderStateType::DestBlend) == D3DRS_DESTBLEND &&
              value(RenderStateType::CullMode) == D3DRS_CULLMODE &&
              value(RenderStateType::AlphaBlendEnable) == D3DRS_ALPHABLENDENABLE &&
              value(RenderStateType::Lighting) == D3DRS_LIGHTING &&
              value(RenderStateType::BlendOp) == D3DRS_BLENDOP);

static_assert(value(Blend::Zero) == D3DBLEND_ZERO && value(Blend::One) == D3DBLEND_ONE &&
              value(Blend::SrcColor) == D3DBLEND_SRCCOLOR &&
              value(Blend::InvSrcColor) == D3DBLEND_INVSRCCOLOR &&
              value(Blend::SrcAlpha) == D3DBLEND_SRCALPHA &&
              value(Blend::InvSrcAlpha) == D3DBLEND_INVSRCALPHA &&
              value(Blend::DestAlpha) == D3DBLEND_DESTALPHA &&
              value(Blend::InvDestAlpha) == D3DBLEND_INVDESTALPHA &&
              value(Blend::DestColor) == D3DBLEND_DESTCOLOR &&
              value(Blend::InvDestColor) == D3DBLEND_INVDESTCOLOR);

static_assert(value(BlendOp::Add) == D3DBLENDOP_ADD &&
              value(BlendOp::Subtract) == D3DBLENDOP_SUBTRACT &&
              value(BlendOp::RevSubtract) == D3DBLENDOP_REVSUBTRACT &&
              value(BlendOp::Min) == D3DBLENDOP_MIN && value(BlendOp::Max) == D3DBLENDOP_MAX);

static_assert(value(Cull::None) == D3DCULL_NONE && value(Cull::Clockwise) == D3DCULL_CW &&
              value(Cull::CounterClockwise) == D3DCULL_CCW && kZBufferFalse == D3DZB_FALSE);

static_assert(value(TextureStageState::ColorOp) == D3DTSS_COLOROP &&
              value(TextureStageState::ColorArg1) == D3DTSS_COLORARG1 &&
              value(TextureStageState::ColorArg2) == D3DTSS_COLORARG2 &&
              value(TextureStageState::AlphaOp) == D3DTSS_ALPHAOP &&
              value(TextureStageState::AlphaArg1) == D3DTSS_ALPHAARG1 &&
              value(TextureStageState::AlphaArg2) == D3DTSS_ALPHAARG2);

static_assert(value(TextureOp::Disable) == D3DTOP_DISABLE &&
              value(TextureOp::SelectArg1) == D3DTOP_SELECTARG1 &&
              value(TextureOp::SelectArg2) == D3DTOP_SELECTARG2 &&
              value(TextureOp::Modulate) == D3DTOP_MODULATE);

static_assert(value(TextureArg::Diffuse) == D3DTA_DIFFUSE &&
              value(TextureArg::Current) == D3DTA_CURRENT &&
              value(TextureArg::Texture) == D3DTA_TEXTURE);

static_assert(value(SamplerState::AddressU) == D3DSAMP_ADDRESSU &&
              value(SamplerState::AddressV) == D3DSAMP_ADDRESSV &&
              value(SamplerState::AddressW) == D3DSAMP_ADDRESSW &&
              value(SamplerState::BorderColor) == D3DSAMP_BORDERCOLOR &&
              value(SamplerState::MagFilter) == D3DSAMP_MAGFILTER &&
              value(SamplerState::MinFilter) == D3DSAMP_MINFILTER &&
              value(SamplerState::MipFilter) == D3DSAMP_MIPFILTER);

static_assert(value(TextureAddress::Wrap) == D3DTADDRESS_WRAP &&
              value(TextureAddress::Mirror) == D3DTADDRESS_MIRROR &&
              value(TextureAddress::Clamp) == D3DTADDRESS_CLAMP &&
              value(TextureAddress::Border) == D3DTADDRESS_BORDER &&
              value(TextureAddress::MirrorOnce) == D3DTADDRESS_MIRRORONCE);

static_assert(value(TextureFilter::None) == D3DTEXF_NONE &&
              value(TextureFilter::Point) == D3DTEXF_POINT &&
              value(TextureFilter::Linear) == D3DTEXF_LINEAR);

static_assert(value(PrimitiveType::PointList) == D3DPT_POINTLIST &&
              value(PrimitiveType::LineList) == D3DPT_LINELIST &&
              value(PrimitiveType::LineStrip) == D3DPT_LINESTRIP &&
              value(PrimitiveType::TriangleList) == D3DPT_TRIANGLELIST &&
              value(PrimitiveType::TriangleStrip) == D3DPT_TRIANGLESTRIP &&
              value(PrimitiveType::TriangleFan) == D3DPT_TRIANGLEFAN);

static_assert(kFvfXyzRhw == D3DFVF_XYZRHW && kFvfPSize == D3DFVF_PSIZE &&
              kFvfDiffuse == D3DFVF_DIFFUSE && kFvfTex1 == D3DFVF_TEX1);

static_assert(kClearTarget == D3DCLEAR_TARGET);

}  // namespace
}  // namespace gs::render::d3d9
