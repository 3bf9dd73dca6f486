// The Direct3D 9 device contract the renderer and the effect framework draw through.
//
// A narrow C++ rendering of the part of IDirect3D9 / IDirect3DDevice9 that the plug-in uses. Two
// backends implement it: d3d9/ over the real Direct3D 9 (Windows builds) and software/ (our own
// canvas, every other build). Numeric values of states, formats and codes are Direct3D 9's own, so
// the real backend passes them through unchanged. Code above this header never learns which backend
// it draws on.
//
// Objects are reference counted like COM objects: every pointer handed out carries one reference
// that the receiver releases; a surface taken with GetSurfaceLevel holds its own reference besides
// the texture's.
#pragma once

#include "platform/win32.h"

namespace gs::render {

using Colour = DWORD;  // 0xAARRGGBB

constexpr UINT kSdkVersion = 32;
constexpr UINT kDefaultAdapter = 0;

// Result codes (D3DERR_*).
constexpr HRESULT kErrWrongTextureFormat = static_cast<HRESULT>(0x88760818u);
constexpr HRESULT kErrOutOfVideoMemory = static_cast<HRESULT>(0x8876017Cu);
constexpr HRESULT kErrDeviceLost = static_cast<HRESULT>(0x88760868u);
constexpr HRESULT kErrDeviceNotReset = static_cast<HRESULT>(0x88760869u);
constexpr HRESULT kErrNotAvailable = static_cast<HRESULT>(0x8876086Au);
constexpr HRESULT kErrInvalidCall = static_cast<HRESULT>(0x8876086Cu);

enum class DeviceType : DWORD { Hal = 1, Ref = 2, Software = 3 };

enum class Format : DWORD { Unknown = 0, A8R8G8B8 = 21, X8R8G8B8 = 22, D16 = 80 };

enum class Pool : DWORD { Default = 0, Managed = 1, SystemMem = 2 };

constexpr DWORD kUsageRenderTarget = 0x1;

// Behaviour flags of CreateDevice.
constexpr DWORD kCreateSoftwareVertexProcessing = 0x20;

// Present parameters and their values (D3DPRESENT_PARAMETERS).
constexpr DWORD kMultiSampleNone = 0;
constexpr DWORD kSwapEffectDiscard = 1;
constexpr DWORD kPresentFlagLockableBackBuffer = 0x1;
constexpr UINT kPresentIntervalDefault = 0;

// Pixel shader version tokens (D3DPS_VERSION).
constexpr DWORD pixelShaderVersion(DWORD major, DWORD minor) {
    return 0xFFFF0000u | (major << 8) | minor;
}

struct DisplayMode {
    UINT Width;
    UINT Height;
    UINT RefreshRate;  // hertz; real drivers may report 0
    render::Format Format;
};

struct PresentParameters {
    UINT BackBufferWidth;
    UINT BackBufferHeight;
    render::Format BackBufferFormat;
    UINT BackBufferCount;
    DWORD MultiSampleType;
    DWORD MultiSampleQuality;
    DWORD SwapEffect;
    HWND hDeviceWindow;
    BOOL Windowed;
    BOOL EnableAutoDepthStencil;
    render::Format AutoDepthStencilFormat;
    DWORD Flags;
    UINT FullScreen_RefreshRateInHz;
    UINT PresentationInterval;
};

// The capabilities the plug-in examines (a subset of D3DCAPS9).
struct Caps {
    DWORD PixelShaderVersion;
    float MaxPointSize;
    DWORD MaxTextureWidth;
    DWORD MaxTextureHeight;
};

struct SurfaceDesc {
    render::Format Format;
    DWORD Usage;
    render::Pool Pool;
    UINT Width;
    UINT Height;
};

// Render states (D3DRENDERSTATETYPE) and their values. (RenderState names the visualizer's
// Direct3D state, render_state.h.)
enum class RenderStateType : DWORD {
    ZEnable = 7,
    SrcBlend = 19,
    DestBlend = 20,
    CullMode = 22,
    AlphaBlendEnable = 27,
    Lighting = 137,
    BlendOp = 171,
};
enum class Blend : DWORD {
    Zero = 1,
    One = 2,
    SrcColor = 3,
    InvSrcColor = 4,
    SrcAlpha = 5,
    InvSrcAlpha = 6,
    DestAlpha = 7,
    InvDestAlpha = 8,
    DestColor = 9,
    InvDestColor = 10,
};
enum class BlendOp : DWORD { Add = 1, Subtract = 2, RevSubtract = 3, Min = 4, Max = 5 };
enum class Cull : DWORD { None = 1, Clockwise = 2, CounterClockwise = 3 };
constexpr DWORD kZBufferFalse = 0;

// Texture stage states (D3DTEXTURESTAGESTATETYPE) and their values.
enum class TextureStageState : DWORD {
    ColorOp = 1,
    ColorArg1 = 2,
    ColorArg2 = 3,
    AlphaOp = 4,
    AlphaArg1 = 5,
    AlphaArg2 = 6,
};
enum class TextureOp : DWORD { Disable = 1, SelectArg1 = 2, SelectArg2 = 3, Modulate = 4 };
enum class TextureArg : DWORD { Diffuse = 0, Current = 1, Texture = 2 };

// Sampler states (D3DSAMPLERSTATETYPE) and their values.
enum class SamplerState : DWORD {
    AddressU = 1,
    AddressV = 2,
    AddressW = 3,
    BorderColor = 4,
    MagFilter = 5,
    MinFilter = 6,
    MipFilter = 7,
};
enum class TextureAddress : DWORD { Wrap = 1, Mirror = 2, Clamp = 3, Border = 4, MirrorOnce = 5 };
enum class TextureFilter : DWORD { None = 0, Point = 1, Linear = 2 };

enum class PrimitiveType : DWORD {
    PointList = 1,
    LineList = 2,
    LineStrip = 3,
    TriangleList = 4,
    TriangleStrip = 5,
    TriangleFan = 6,
};

// Flexible vertex format bits (D3DFVF_*).
constexpr DWORD kFvfXyzRhw = 0x004;
constexpr DWORD kFvfPSize = 0x020;
constexpr DWORD kFvfDiffuse = 0x040;
constexpr DWORD kFvfTex1 = 0x100;

// Clear flags (D3DCLEAR_*).
constexpr DWORD kClearTarget = 0x1;

// Number of sampler units and float constant registers a pixel shader 2.0 device offers.
constexpr DWORD kSamplerCount = 16;
constexpr UINT kPixelShaderFloatConstants = 32;

class Unknown {
public:
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;

protected:
    ~Unknown() = default;
};

class Surface : public Unknown {
public:
    virtual HRESULT GetDesc(SurfaceDesc* desc) = 0;
    // A GDI device context showing the surface's pixels; given back with ReleaseDC.
    virtual HRESULT GetDC(HDC* dc) = 0;
    virtual HRESULT ReleaseDC(HDC dc) = 0;

protected:
    ~Surface() = default;
};

class BaseTexture : public Unknown {
protected:
    ~BaseTexture() = default;
};

class Texture : public BaseTexture {
public:
    virtual HRESULT GetLevelDesc(UINT level, SurfaceDesc* desc) = 0;
    virtual HRESULT GetSurfaceLevel(UINT level, Surface** surface) = 0;

protected:
    ~Texture() = default;
};

class PixelShader : public Unknown {
protected:
    ~PixelShader() = default;
};

class Device : public Unknown {
public:
    virtual HRESULT TestCooperativeLevel() = 0;

    virtual HRESULT CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, Format format,
                                  Pool pool, Texture** texture) = 0;
    virtual HRESULT GetRenderTarget(DWORD index, Surface** surface) = 0;

    virtual HRESULT Clear(DWORD rectCount, const RECT* rects, DWORD flags, Colour colour, float z,
                          DWORD stencil) = 0;
    // rect null: the whole surface.
    virtual HRESULT ColorFill(Surface* surface, const RECT* rect, Colour colour) = 0;
    // Rectangles null: whole surfaces. The source rectangle is scaled to the destination's.
    virtual HRESULT StretchRect(Surface* source, const RECT* sourceRect, Surface* destination,
                                const RECT* destinationRect, TextureFilter filter) = 0;

    virtual HRESULT BeginScene() = 0;
    virtual HRESULT EndScene() = 0;

    virtual HRESULT SetRenderState(RenderStateType state, DWORD value) = 0;
    virtual HRESULT GetRenderState(RenderStateType state, DWORD* value) = 0;
    virtual HRESULT SetTextureStageState(DWORD stage, TextureStageState state, DWORD value) = 0;
    virtual HRESULT GetTextureStageState(DWORD stage, TextureStageState state, DWORD* value) = 0;
    virtual HRESULT SetSamplerState(DWORD sampler, SamplerState state, DWORD value) = 0;
    virtual HRESULT GetSamplerState(DWORD sampler, SamplerState state, DWORD* value) = 0;
    virtual HRESULT SetTexture(DWORD stage, BaseTexture* texture) = 0;
    // Hands out a reference (null when nothing is bound).
    virtual HRESULT GetTexture(DWORD stage, BaseTexture** texture) = 0;

    virtual HRESULT SetFVF(DWORD fvf) = 0;
    virtual HRESULT GetFVF(DWORD* fvf) = 0;
    virtual HRESULT DrawPrimitiveUP(PrimitiveType type, UINT primitiveCount, const void* vertices,
                                    UINT stride) = 0;

    // Shader-model-2.0 token stream (version token 0xFFFF0200 ... end token 0x0000FFFF). Malformed
    // bytecode is refused with kErrInvalidCall.
    virtual HRESULT CreatePixelShader(const DWORD* function, PixelShader** shader) = 0;
    virtual HRESULT SetPixelShader(PixelShader* shader) = 0;
    virtual HRESULT GetPixelShader(PixelShader** shader) = 0;
    virtual HRESULT SetPixelShaderConstantF(UINT startRegister, const float* data,
                                            UINT vector4fCount) = 0;
    virtual HRESULT GetPixelShaderConstantF(UINT startRegister, float* data,
                                            UINT vector4fCount) = 0;

protected:
    ~Device() = default;
};

class Direct3D : public Unknown {
public:
    virtual HRESULT GetAdapterDisplayMode(UINT adapter, DisplayMode* mode) = 0;
    virtual HRESULT GetDeviceCaps(UINT adapter, DeviceType type, Caps* caps) = 0;
    virtual HRESULT CreateDevice(UINT adapter, DeviceType type, HWND focusWindow,
                                 DWORD behaviourFlags, PresentParameters* parameters,
                                 Device** device) = 0;

protected:
    ~Direct3D() = default;
};

// Direct3DCreate9 of the backend this build links: the real Direct3D 9 on Windows, the software
// device elsewhere. Null when Direct3D cannot be created.
Direct3D* createDirect3D(UINT sdkVersion);

}  // namespace gs::render
