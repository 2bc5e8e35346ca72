// The Direct3D object: one adapter (the processor), its display mode, its
// capabilities and the format checks, and device creation.
#pragma once

#include "gfx/device/ref_counted.h"

namespace gfx {

// The 800 x 600 display mode the adapter reports, and its format.
constexpr UINT kDisplayWidth = 800;
constexpr UINT kDisplayHeight = 600;
constexpr D3DFORMAT kDisplayFormat = D3DFMT_X8R8G8B8;

// The capabilities of the software device.
D3DCAPS9 DeviceCaps();

class Direct3D9Impl final : public RefCounted<IDirect3D9> {
public:
    Direct3D9Impl() = default;
    HRESULT QueryInterface(REFIID riid, void** object) override;
    UINT GetAdapterCount() override { return 1; }
    UINT GetAdapterModeCount(UINT adapter, D3DFORMAT format) override;
    HRESULT EnumAdapterModes(UINT adapter, D3DFORMAT format, UINT mode, D3DDISPLAYMODE* out) override;
    HRESULT GetAdapterDisplayMode(UINT adapter, D3DDISPLAYMODE* mode) override;
    HRESULT CheckDeviceType(UINT adapter, D3DDEVTYPE type, D3DFORMAT displayFormat, D3DFORMAT backBufferFormat,
                            BOOL windowed) override;
    HRESULT CheckDeviceFormat(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapterFormat, DWORD usage,
                              D3DRESOURCETYPE resourceType, D3DFORMAT checkFormat) override;
    HRESULT CheckDeviceMultiSampleType(UINT adapter, D3DDEVTYPE type, D3DFORMAT surfaceFormat, BOOL windowed,
                                       D3DMULTISAMPLE_TYPE multiSample, DWORD* qualityLevels) override;
    HRESULT CheckDepthStencilMatch(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapterFormat,
                                   D3DFORMAT renderTargetFormat, D3DFORMAT depthStencilFormat) override;
    HRESULT GetDeviceCaps(UINT adapter, D3DDEVTYPE type, D3DCAPS9* caps) override;
    HRESULT CreateDevice(UINT adapter, D3DDEVTYPE type, HWND focusWindow, DWORD behaviorFlags,
                         D3DPRESENT_PARAMETERS* params, IDirect3DDevice9** device) override;

private:
    ~Direct3D9Impl() override = default;
};

}  // namespace gfx
