#include "gfx/device/direct3d.h"

#include <cstring>

#include "gfx/device/device.h"
#include "gfx/device/format_info.h"
#include "gfx/device/resources.h"
#include "gfx/exports.h"

IDirect3D9* Direct3DCreate9(UINT sdkVersion) {
    KilnGfxRegisterExports();
    // The debug-runtime bit (0x80000000) may accompany the version.
    UINT version = sdkVersion & 0x7FFFFFFF;
    if (version != D3D_SDK_VERSION && version != D3D_SDK_VERSION + 1) return nullptr;
    return new (std::nothrow) gfx::Direct3D9Impl();
}

namespace gfx {
namespace {

bool ValidAdapter(UINT adapter, D3DDEVTYPE type) {
    return adapter == D3DADAPTER_DEFAULT && (type == D3DDEVTYPE_HAL || type == D3DDEVTYPE_REF || type == D3DDEVTYPE_SW);
}

bool IsDisplayFormat(D3DFORMAT f) { return f == D3DFMT_X8R8G8B8; }
bool IsBackBufferFormat(D3DFORMAT f) { return f == D3DFMT_X8R8G8B8 || f == D3DFMT_A8R8G8B8; }

}  // namespace

D3DCAPS9 DeviceCaps() {
    D3DCAPS9 c;
    std::memset(&c, 0, sizeof(c));
    c.DeviceType = D3DDEVTYPE_HAL;
    c.AdapterOrdinal = 0;
    c.Caps2 = D3DCAPS2_DYNAMICTEXTURES | D3DCAPS2_CANMANAGERESOURCE;
    c.Caps3 = D3DCAPS3_COPY_TO_VIDMEM | D3DCAPS3_COPY_TO_SYSTEMMEM;
    c.PresentationIntervals = D3DPRESENT_INTERVAL_IMMEDIATE | D3DPRESENT_INTERVAL_ONE;
    c.DevCaps = D3DDEVCAPS_EXECUTESYSTEMMEMORY | D3DDEVCAPS_TLVERTEXSYSTEMMEMORY | D3DDEVCAPS_TEXTURESYSTEMMEMORY |
                D3DDEVCAPS_DRAWPRIMTLVERTEX | D3DDEVCAPS_CANRENDERAFTERFLIP | D3DDEVCAPS_DRAWPRIMITIVES2 |
                D3DDEVCAPS_DRAWPRIMITIVES2EX | D3DDEVCAPS_HWTRANSFORMANDLIGHT | D3DDEVCAPS_HWRASTERIZATION;
    c.PrimitiveMiscCaps = D3DPMISCCAPS_MASKZ | D3DPMISCCAPS_CULLNONE | D3DPMISCCAPS_CULLCW | D3DPMISCCAPS_CULLCCW |
                          D3DPMISCCAPS_COLORWRITEENABLE | D3DPMISCCAPS_CLIPTLVERTS | D3DPMISCCAPS_BLENDOP |
                          D3DPMISCCAPS_SEPARATEALPHABLEND;
    c.RasterCaps = D3DPRASTERCAPS_ZTEST | D3DPRASTERCAPS_MIPMAPLODBIAS | D3DPRASTERCAPS_COLORPERSPECTIVE |
                   D3DPRASTERCAPS_SCISSORTEST;
    c.ZCmpCaps = c.AlphaCmpCaps = 0xFF;  // all eight comparisons
    c.SrcBlendCaps = c.DestBlendCaps = 0x3FFF;  // all fourteen factors
    c.ShadeCaps = D3DPSHADECAPS_COLORGOURAUDRGB | D3DPSHADECAPS_ALPHAGOURAUDBLEND;
    c.TextureCaps = D3DPTEXTURECAPS_PERSPECTIVE | D3DPTEXTURECAPS_ALPHA | D3DPTEXTURECAPS_PROJECTED |
                    D3DPTEXTURECAPS_CUBEMAP | D3DPTEXTURECAPS_VOLUMEMAP | D3DPTEXTURECAPS_MIPMAP |
                    D3DPTEXTURECAPS_MIPVOLUMEMAP | D3DPTEXTURECAPS_MIPCUBEMAP;
    c.TextureFilterCaps = c.CubeTextureFilterCaps = c.VolumeTextureFilterCaps =
        D3DPTFILTERCAPS_MINFPOINT | D3DPTFILTERCAPS_MINFLINEAR | D3DPTFILTERCAPS_MIPFPOINT |
        D3DPTFILTERCAPS_MIPFLINEAR | D3DPTFILTERCAPS_MAGFPOINT | D3DPTFILTERCAPS_MAGFLINEAR;
    c.VertexTextureFilterCaps = D3DPTFILTERCAPS_MINFPOINT | D3DPTFILTERCAPS_MAGFPOINT;
    c.TextureAddressCaps = c.VolumeTextureAddressCaps =
        D3DPTADDRESSCAPS_WRAP | D3DPTADDRESSCAPS_MIRROR | D3DPTADDRESSCAPS_CLAMP | D3DPTADDRESSCAPS_BORDER |
        D3DPTADDRESSCAPS_INDEPENDENTUV | D3DPTADDRESSCAPS_MIRRORONCE;
    c.MaxTextureWidth = c.MaxTextureHeight = kMaxTextureSize;
    c.MaxVolumeExtent = kMaxVolumeExtent;
    c.MaxTextureRepeat = 8192;
    c.MaxTextureAspectRatio = kMaxTextureSize;
    c.MaxAnisotropy = 1;
    c.MaxVertexW = 1e10f;
    c.GuardBandLeft = c.GuardBandTop = -16384.f;
    c.GuardBandRight = c.GuardBandBottom = 16384.f;
    c.StencilCaps = 0xFF;
    c.FVFCaps = 8;  // texture coordinate sets
    c.TextureOpCaps = D3DTEXOPCAPS_DISABLE | D3DTEXOPCAPS_SELECTARG1 | D3DTEXOPCAPS_SELECTARG2 |
                      D3DTEXOPCAPS_MODULATE | D3DTEXOPCAPS_MODULATE2X | D3DTEXOPCAPS_MODULATE4X | D3DTEXOPCAPS_ADD |
                      D3DTEXOPCAPS_ADDSIGNED | D3DTEXOPCAPS_ADDSIGNED2X | D3DTEXOPCAPS_SUBTRACT |
                      D3DTEXOPCAPS_ADDSMOOTH | D3DTEXOPCAPS_BLENDDIFFUSEALPHA | D3DTEXOPCAPS_BLENDTEXTUREALPHA |
                      D3DTEXOPCAPS_BLENDFACTORALPHA | D3DTEXOPCAPS_BLENDCURRENTALPHA | D3DTEXOPCAPS_DOTPRODUCT3 |
                      D3DTEXOPCAPS_MULTIPLYADD | D3DTEXOPCAPS_LERP;
    c.MaxTextureBlendStages = 8;
    c.MaxSimultaneousTextures = 8;
    c.VertexProcessingCaps = 0;  // no lights, no texture coordinate generation
    c.MaxActiveLights = 0;
    c.MaxUserClipPlanes = 0;
    c.MaxPointSize = 1.f;
    c.MaxPrimitiveCount = 0x00FFFFFF;
    c.MaxVertexIndex = 0x00FFFFFF;
    c.MaxStreams = 16;
    c.MaxStreamStride = 1024;
    c.VertexShaderVersion = D3DVS_VERSION(3, 0);
    c.MaxVertexShaderConst = 256;
    c.PixelShaderVersion = D3DPS_VERSION(3, 0);
    c.PixelShader1xMaxValue = 8.f;
    c.MasterAdapterOrdinal = 0;
    c.AdapterOrdinalInGroup = 0;
    c.NumberOfAdaptersInGroup = 1;
    c.DeclTypes = D3DDTCAPS_UBYTE4 | D3DDTCAPS_UBYTE4N | D3DDTCAPS_SHORT2N | D3DDTCAPS_SHORT4N |
                  D3DDTCAPS_USHORT2N | D3DDTCAPS_USHORT4N | D3DDTCAPS_UDEC3 | D3DDTCAPS_DEC3N |
                  D3DDTCAPS_FLOAT16_2 | D3DDTCAPS_FLOAT16_4;
    c.NumSimultaneousRTs = 1;
    c.StretchRectFilterCaps = D3DPTFILTERCAPS_MINFPOINT | D3DPTFILTERCAPS_MAGFPOINT;
    c.VS20Caps = {1, 24, 32, 4};
    c.PS20Caps = {0x1F, 24, 32, 4, 512};
    c.MaxVShaderInstructionsExecuted = 65535;
    c.MaxPShaderInstructionsExecuted = 65535;
    c.MaxVertexShader30InstructionSlots = 512;
    c.MaxPixelShader30InstructionSlots = 512;
    return c;
}

HRESULT Direct3D9Impl::QueryInterface(REFIID riid, void** object) {
    if (!object) return E_POINTER;
    if (IidIn(riid, {&IID_IUnknown, &IID_IDirect3D9})) {
        AddRef();
        *object = static_cast<IDirect3D9*>(this);
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

UINT Direct3D9Impl::GetAdapterModeCount(UINT adapter, D3DFORMAT format) {
    return adapter == D3DADAPTER_DEFAULT && IsDisplayFormat(format) ? 1 : 0;
}

HRESULT Direct3D9Impl::EnumAdapterModes(UINT adapter, D3DFORMAT format, UINT mode, D3DDISPLAYMODE* out) {
    if (!out || mode >= GetAdapterModeCount(adapter, format)) return D3DERR_INVALIDCALL;
    return GetAdapterDisplayMode(adapter, out);
}

HRESULT Direct3D9Impl::GetAdapterDisplayMode(UINT adapter, D3DDISPLAYMODE* mode) {
    if (!mode || adapter != D3DADAPTER_DEFAULT) return D3DERR_INVALIDCALL;
    *mode = {kDisplayWidth, kDisplayHeight, 60, kDisplayFormat};
    return D3D_OK;
}

HRESULT Direct3D9Impl::CheckDeviceType(UINT adapter, D3DDEVTYPE type, D3DFORMAT displayFormat,
                                       D3DFORMAT backBufferFormat, BOOL) {
    if (!ValidAdapter(adapter, type)) return D3DERR_INVALIDCALL;
    if (!IsDisplayFormat(displayFormat)) return D3DERR_NOTAVAILABLE;
    if (backBufferFormat != D3DFMT_UNKNOWN && !IsBackBufferFormat(backBufferFormat)) return D3DERR_NOTAVAILABLE;
    return D3D_OK;
}

HRESULT Direct3D9Impl::CheckDeviceFormat(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapterFormat, DWORD usage,
                                         D3DRESOURCETYPE resourceType, D3DFORMAT checkFormat) {
    if (!ValidAdapter(adapter, type)) return D3DERR_INVALIDCALL;
    if (!IsDisplayFormat(adapterFormat)) return D3DERR_NOTAVAILABLE;
    const FormatInfo* info = FindFormat(checkFormat);
    if (!info) return D3DERR_NOTAVAILABLE;
    uint32_t need = 0;
    switch (resourceType) {
    case D3DRTYPE_TEXTURE:
    case D3DRTYPE_CUBETEXTURE: need |= kUseTexture; break;
    case D3DRTYPE_VOLUMETEXTURE:
        if (info->blockSize > 1) return D3DERR_NOTAVAILABLE;
        need |= kUseTexture;
        break;
    case D3DRTYPE_SURFACE:
        if (!(usage & (D3DUSAGE_RENDERTARGET | D3DUSAGE_DEPTHSTENCIL))) need |= kUseLockable;
        break;
    case D3DRTYPE_VOLUME: need |= kUseTexture; break;
    default: return D3DERR_NOTAVAILABLE;
    }
    if (usage & D3DUSAGE_RENDERTARGET) need |= kUseRenderTarget;
    if (usage & D3DUSAGE_DEPTHSTENCIL) {
        if (resourceType != D3DRTYPE_SURFACE) return D3DERR_NOTAVAILABLE;
        need = kUseDepthStencil;
    }
    if (usage & D3DUSAGE_AUTOGENMIPMAP) return D3DERR_NOTAVAILABLE;
    if (usage & D3DUSAGE_QUERY_FILTER) need |= kUseFilter;
    if (usage & D3DUSAGE_QUERY_POSTPIXELSHADER_BLENDING) need |= kUseBlend;
    if (usage & D3DUSAGE_QUERY_VERTEXTEXTURE) need |= kUseVertexTexture;
    if (usage & (D3DUSAGE_QUERY_SRGBREAD | D3DUSAGE_QUERY_SRGBWRITE | D3DUSAGE_QUERY_LEGACYBUMPMAP | D3DUSAGE_DMAP))
        return D3DERR_NOTAVAILABLE;
    return (info->uses & need) == need ? D3D_OK : D3DERR_NOTAVAILABLE;
}

HRESULT Direct3D9Impl::CheckDeviceMultiSampleType(UINT adapter, D3DDEVTYPE type, D3DFORMAT, BOOL,
                                                  D3DMULTISAMPLE_TYPE multiSample, DWORD* qualityLevels) {
    if (!ValidAdapter(adapter, type)) return D3DERR_INVALIDCALL;
    if (multiSample != D3DMULTISAMPLE_NONE) return D3DERR_NOTAVAILABLE;
    if (qualityLevels) *qualityLevels = 1;
    return D3D_OK;
}

HRESULT Direct3D9Impl::CheckDepthStencilMatch(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapterFormat,
                                              D3DFORMAT renderTargetFormat, D3DFORMAT depthStencilFormat) {
    if (!ValidAdapter(adapter, type)) return D3DERR_INVALIDCALL;
    if (!IsDisplayFormat(adapterFormat)) return D3DERR_NOTAVAILABLE;
    const FormatInfo* rt = FindFormat(renderTargetFormat);
    const FormatInfo* ds = FindFormat(depthStencilFormat);
    if (!rt || !(rt->uses & kUseRenderTarget) || !ds || !IsDepthFormat(*ds)) return D3DERR_NOTAVAILABLE;
    return D3D_OK;
}

HRESULT Direct3D9Impl::GetDeviceCaps(UINT adapter, D3DDEVTYPE type, D3DCAPS9* caps) {
    if (!caps || !ValidAdapter(adapter, type)) return D3DERR_INVALIDCALL;
    *caps = DeviceCaps();
    caps->DeviceType = type;
    return D3D_OK;
}

HRESULT Direct3D9Impl::CreateDevice(UINT adapter, D3DDEVTYPE type, HWND focusWindow, DWORD behaviorFlags,
                                    D3DPRESENT_PARAMETERS* params, IDirect3DDevice9** device) {
    if (!params || !device || !ValidAdapter(adapter, type)) return D3DERR_INVALIDCALL;
    constexpr DWORD kProcessing = D3DCREATE_SOFTWARE_VERTEXPROCESSING | D3DCREATE_HARDWARE_VERTEXPROCESSING |
                                  D3DCREATE_MIXED_VERTEXPROCESSING;
    DWORD processing = behaviorFlags & kProcessing;
    if (processing != D3DCREATE_SOFTWARE_VERTEXPROCESSING && processing != D3DCREATE_HARDWARE_VERTEXPROCESSING &&
        processing != D3DCREATE_MIXED_VERTEXPROCESSING) {
        DebugMessage("CreateDevice: exactly one vertex processing flag is needed");
        return D3DERR_INVALIDCALL;
    }
    D3DDEVICE_CREATION_PARAMETERS creation = {adapter, type, focusWindow, behaviorFlags};
    DeviceImpl* impl = nullptr;
    HRESULT hr = DeviceImpl::Create(this, creation, params, &impl);
    if (FAILED(hr)) return hr;
    *device = impl;
    return D3D_OK;
}

}  // namespace gfx
