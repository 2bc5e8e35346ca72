// Writing surfaces and volumes from memory or from other surfaces, and mip
// chain generation.
#pragma once

#include "gfx/d3d9.h"

// Marker for "use the default" in filter and level arguments.
constexpr DWORD kTexDefault = 0xFFFFFFFF;

HRESULT WriteSurfaceFromPixels(IDirect3DSurface9* dst, const PALETTEENTRY* dstPalette, const RECT* dstRect,
                               const void* srcPixels, D3DFORMAT srcFormat, UINT srcPitch,
                               const PALETTEENTRY* srcPalette, const RECT* srcRect, DWORD filter, D3DCOLOR colorKey);

HRESULT WriteVolumeFromPixels(IDirect3DVolume9* dst, const PALETTEENTRY* dstPalette, const D3DBOX* dstBox,
                              const void* srcPixels, D3DFORMAT srcFormat, UINT srcRowPitch, UINT srcSlicePitch,
                              const PALETTEENTRY* srcPalette, const D3DBOX* srcBox, DWORD filter, D3DCOLOR colorKey);

HRESULT CopySurfaceToSurface(IDirect3DSurface9* dst, const PALETTEENTRY* dstPalette, const RECT* dstRect,
                             IDirect3DSurface9* src, const PALETTEENTRY* srcPalette, const RECT* srcRect,
                             DWORD filter, D3DCOLOR colorKey);

HRESULT CopyVolumeToVolume(IDirect3DVolume9* dst, const PALETTEENTRY* dstPalette, const D3DBOX* dstBox,
                           IDirect3DVolume9* src, const PALETTEENTRY* srcPalette, const D3DBOX* srcBox, DWORD filter,
                           D3DCOLOR colorKey);

// Fills the levels below srcLevel from it (kTexDefault: level 0) with the mip
// filter (kTexDefault: Box for power-of-two sizes, else Triangle + Dither).
HRESULT BuildMipChain(IDirect3DBaseTexture9* texture, const PALETTEENTRY* palette, DWORD srcLevel, DWORD mipFilter);
