// Mip-map generation: every level below the source level is filtered either
// from the level just written (point and box filters) or straight from the
// source level (the others).
#include "texture/pixels/format_table.h"
#include "texture/pixels/image_view.h"
#include "texture/pixels/surface_loader.h"

namespace {

template <typename T>
void SafeRelease(T*& p) {
    if (p) p->Release();
    p = nullptr;
}

// Level access for the three texture kinds, surfaces and volumes alike.
struct LevelSource {
    IDirect3DTexture9* texture = nullptr;
    IDirect3DCubeTexture9* cube = nullptr;
    IDirect3DVolumeTexture9* volume = nullptr;

    HRESULT Copy(UINT face, UINT dstLevel, UINT srcLevel, const PALETTEENTRY* palette, DWORD filter) {
        HRESULT hr;
        if (volume) {
            IDirect3DVolume9 *d = nullptr, *s = nullptr;
            hr = volume->GetVolumeLevel(dstLevel, &d);
            if (SUCCEEDED(hr)) hr = volume->GetVolumeLevel(srcLevel, &s);
            if (SUCCEEDED(hr)) hr = CopyVolumeToVolume(d, palette, nullptr, s, palette, nullptr, filter, 0);
            SafeRelease(d);
            SafeRelease(s);
            return hr;
        }
        IDirect3DSurface9 *d = nullptr, *s = nullptr;
        if (cube) {
            hr = cube->GetCubeMapSurface(static_cast<D3DCUBEMAP_FACES>(face), dstLevel, &d);
            if (SUCCEEDED(hr)) hr = cube->GetCubeMapSurface(static_cast<D3DCUBEMAP_FACES>(face), srcLevel, &s);
        } else {
            hr = texture->GetSurfaceLevel(dstLevel, &d);
            if (SUCCEEDED(hr)) hr = texture->GetSurfaceLevel(srcLevel, &s);
        }
        if (SUCCEEDED(hr)) hr = CopySurfaceToSurface(d, palette, nullptr, s, palette, nullptr, filter, 0);
        SafeRelease(d);
        SafeRelease(s);
        return hr;
    }
};

}  // namespace

HRESULT BuildMipChain(IDirect3DBaseTexture9* texture, const PALETTEENTRY* palette, DWORD srcLevel, DWORD mipFilter) {
    if (!texture) return D3DERR_INVALIDCALL;
    LevelSource levels;
    const D3DRESOURCETYPE type = texture->GetType();
    UINT width = 0, height = 0, depth = 1;
    switch (type) {
    case D3DRTYPE_TEXTURE: {
        levels.texture = static_cast<IDirect3DTexture9*>(texture);
        D3DSURFACE_DESC d;
        HRESULT hr = levels.texture->GetLevelDesc(0, &d);
        if (FAILED(hr)) return hr;
        width = d.Width, height = d.Height;
        break;
    }
    case D3DRTYPE_CUBETEXTURE: {
        levels.cube = static_cast<IDirect3DCubeTexture9*>(texture);
        D3DSURFACE_DESC d;
        HRESULT hr = levels.cube->GetLevelDesc(0, &d);
        if (FAILED(hr)) return hr;
        width = d.Width, height = d.Height;
        break;
    }
    case D3DRTYPE_VOLUMETEXTURE: {
        levels.volume = static_cast<IDirect3DVolumeTexture9*>(texture);
        D3DVOLUME_DESC d;
        HRESULT hr = levels.volume->GetLevelDesc(0, &d);
        if (FAILED(hr)) return hr;
        width = d.Width, height = d.Height, depth = d.Depth;
        break;
    }
    default:
        return D3DERR_INVALIDCALL;
    }
    if (mipFilter == kTexDefault)
        mipFilter = IsPowerOfTwo(width) && IsPowerOfTwo(height) && IsPowerOfTwo(depth) ? TexFilterBox
                                                                                        : kDefaultLevelFilter;
    if (!IsValidTexFilter(mipFilter)) return D3DERR_INVALIDCALL;
    if (type == D3DRTYPE_CUBETEXTURE) mipFilter |= TexFilterMirror;
    // Every level is read and written in the same colour space.
    if (mipFilter & TexFilterSrgbOut)
        mipFilter |= TexFilterSrgbIn;
    else
        mipFilter &= ~(TexFilterSrgbIn | TexFilterSrgbOut);
    if (srcLevel == kTexDefault) srcLevel = 0;
    const UINT count = texture->GetLevelCount();
    if (srcLevel >= count) return D3DERR_INVALIDCALL;
    const uint32_t kind = TexFilterKind(mipFilter);
    const bool chained = kind == TexFilterPoint || kind == TexFilterBox;
    const UINT faces = type == D3DRTYPE_CUBETEXTURE ? 6 : 1;
    for (UINT face = 0; face < faces; ++face) {
        UINT source = srcLevel;
        for (UINT level = srcLevel + 1; level < count; ++level) {
            HRESULT hr = levels.Copy(face, level, source, palette, mipFilter);
            if (FAILED(hr)) return hr;
            if (chained) source = level;
        }
    }
    return S_OK;
}
