// Surface and volume loaders: lock the destination, describe the source, run
// the resampler.
#include "texture/pixels/surface_loader.h"

#include <cstring>

#include "texture/pixels/image_resampler.h"
#include "texture/pixels/surface_access.h"
#include "texture/runtime_mute.h"

namespace {

DWORD ResolveFilter(DWORD filter) { return filter == kTexDefault ? kDefaultLevelFilter : filter; }

bool SamePalettes(const PALETTEENTRY* a, const PALETTEENTRY* b) {
    if (a == b) return true;
    if (!a || !b) return false;
    return std::memcmp(a, b, 256 * sizeof(PALETTEENTRY)) == 0;
}

RECT WholeRect(const D3DSURFACE_DESC& d) { return RECT{0, 0, static_cast<LONG>(d.Width), static_cast<LONG>(d.Height)}; }

}  // namespace

HRESULT WriteSurfaceFromPixels(IDirect3DSurface9* dst, const PALETTEENTRY* dstPalette, const RECT* dstRect,
                               const void* srcPixels, D3DFORMAT srcFormat, UINT srcPitch,
                               const PALETTEENTRY* srcPalette, const RECT* srcRect, DWORD filter, D3DCOLOR colorKey) {
    if (!dst || !srcPixels || !srcRect) return D3DERR_INVALIDCALL;
    if (srcRect->left < 0 || srcRect->top < 0 || srcRect->right < srcRect->left || srcRect->bottom < srcRect->top)
        return D3DERR_INVALIDCALL;
    filter = ResolveFilter(filter);
    if (!IsValidTexFilter(filter)) return D3DERR_INVALIDCALL;
    SurfaceAccess access;
    ImageView dstView;
    HRESULT hr = access.Lock(&dstView, dst, dstPalette, dstRect, 0, 0);
    if (FAILED(hr)) return hr;
    ImageView srcView;
    srcView.pixels = static_cast<BYTE*>(const_cast<void*>(srcPixels));
    srcView.format = srcFormat;
    srcView.rowPitch = srcPitch;
    srcView.slicePitch = 0;
    srcView.extent = ImageBox{static_cast<uint32_t>(srcRect->left), static_cast<uint32_t>(srcRect->top),
                              static_cast<uint32_t>(srcRect->right), static_cast<uint32_t>(srcRect->bottom), 0, 1};
    srcView.region = srcView.extent;
    srcView.colorKey = colorKey;
    srcView.palette = reinterpret_cast<const BYTE*>(srcPalette);
    ImageResampler resampler;
    hr = resampler.Run(dstView, srcView, filter);
    const HRESULT unlock = access.Unlock();
    if (FAILED(hr)) return hr;
    return FAILED(unlock) ? unlock : S_OK;
}

HRESULT WriteVolumeFromPixels(IDirect3DVolume9* dst, const PALETTEENTRY* dstPalette, const D3DBOX* dstBox,
                              const void* srcPixels, D3DFORMAT srcFormat, UINT srcRowPitch, UINT srcSlicePitch,
                              const PALETTEENTRY* srcPalette, const D3DBOX* srcBox, DWORD filter, D3DCOLOR colorKey) {
    if (!dst || !srcPixels || !srcBox) return D3DERR_INVALIDCALL;
    if (srcBox->Right < srcBox->Left || srcBox->Bottom < srcBox->Top || srcBox->Back < srcBox->Front)
        return D3DERR_INVALIDCALL;
    filter = ResolveFilter(filter);
    if (!IsValidTexFilter(filter)) return D3DERR_INVALIDCALL;
    VolumeAccess access;
    ImageView dstView;
    HRESULT hr = access.Lock(&dstView, dst, dstPalette, dstBox, 0, 0);
    if (FAILED(hr)) return hr;
    ImageView srcView;
    srcView.pixels = static_cast<BYTE*>(const_cast<void*>(srcPixels));
    srcView.format = srcFormat;
    srcView.rowPitch = srcRowPitch;
    srcView.slicePitch = srcSlicePitch;
    srcView.extent = ImageBox{srcBox->Left, srcBox->Top, srcBox->Right, srcBox->Bottom, srcBox->Front, srcBox->Back};
    srcView.region = srcView.extent;
    srcView.colorKey = colorKey;
    srcView.palette = reinterpret_cast<const BYTE*>(srcPalette);
    ImageResampler resampler;
    hr = resampler.Run(dstView, srcView, filter);
    access.Unlock();
    return FAILED(hr) ? hr : S_OK;
}

HRESULT CopySurfaceToSurface(IDirect3DSurface9* dst, const PALETTEENTRY* dstPalette, const RECT* dstRect,
                             IDirect3DSurface9* src, const PALETTEENTRY* srcPalette, const RECT* srcRect,
                             DWORD filter, D3DCOLOR colorKey) {
    if (!dst || !src) return D3DERR_INVALIDCALL;
    filter = ResolveFilter(filter);
    if (!IsValidTexFilter(filter)) return D3DERR_INVALIDCALL;
    D3DSURFACE_DESC dd, sd;
    HRESULT hr = dst->GetDesc(&dd);
    if (FAILED(hr)) return hr;
    hr = src->GetDesc(&sd);
    if (FAILED(hr)) return hr;
    const RECT dr = dstRect ? *dstRect : WholeRect(dd);
    const RECT sr = srcRect ? *srcRect : WholeRect(sd);

    // The device copies directly between pools it can reach.
    if (TexFilterKind(filter) != TexFilterBox && colorKey == 0 && SamePalettes(dstPalette, srcPalette) &&
        dr.right - dr.left == sr.right - sr.left && dr.bottom - dr.top == sr.bottom - sr.top &&
        dd.Pool == D3DPOOL_DEFAULT && (sd.Pool == D3DPOOL_SYSTEMMEM || sd.Pool == D3DPOOL_DEFAULT)) {
        IDirect3DDevice9* device = nullptr;
        if (SUCCEEDED(dst->GetDevice(&device)) && device) {
            ScopedRuntimeMute mute;
            const POINT corner = {dr.left, dr.top};
            hr = sd.Pool == D3DPOOL_SYSTEMMEM ? device->UpdateSurface(src, &sr, dst, &corner)
                                              : device->StretchRect(src, &sr, dst, &dr, D3DTEXF_NONE);
            device->Release();
            if (SUCCEEDED(hr)) return S_OK;
        }
    }

    SurfaceAccess access;
    ImageView srcView;
    hr = access.Lock(&srcView, src, srcPalette, srcRect, colorKey, kAccessReadOnly | (src == dst ? kAccessForceStaging : 0));
    if (FAILED(hr)) return hr;
    const RECT region = {static_cast<LONG>(srcView.region.left), static_cast<LONG>(srcView.region.top),
                         static_cast<LONG>(srcView.region.right), static_cast<LONG>(srcView.region.bottom)};
    hr = WriteSurfaceFromPixels(dst, dstPalette, dstRect, srcView.pixels, srcView.format, srcView.rowPitch, srcPalette,
                                &region, filter, colorKey);
    access.Unlock();
    if (sd.Pool == D3DPOOL_DEFAULT && dd.Pool != D3DPOOL_DEFAULT) {
        IDirect3DDevice9* device = nullptr;
        if (SUCCEEDED(src->GetDevice(&device)) && device) {
            if (device->TestCooperativeLevel() != D3D_OK) hr = D3DERR_DEVICELOST;
            device->Release();
        }
    }
    return hr;
}

HRESULT CopyVolumeToVolume(IDirect3DVolume9* dst, const PALETTEENTRY* dstPalette, const D3DBOX* dstBox,
                           IDirect3DVolume9* src, const PALETTEENTRY* srcPalette, const D3DBOX* srcBox, DWORD filter,
                           D3DCOLOR colorKey) {
    if (!dst || !src) return D3DERR_INVALIDCALL;
    VolumeAccess access;
    ImageView srcView;
    HRESULT hr = access.Lock(&srcView, src, srcPalette, srcBox, colorKey, kAccessReadOnly);
    if (FAILED(hr)) return hr;
    const ImageBox& r = srcView.region;
    const D3DBOX region = {r.left, r.top, r.right, r.bottom, r.front, r.back};
    return WriteVolumeFromPixels(dst, dstPalette, dstBox, srcView.pixels, srcView.format, srcView.rowPitch,
                                 srcView.slicePitch, srcPalette, &region, filter, colorKey);
}
