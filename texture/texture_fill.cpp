// Procedural fill: every level of a texture, cube texture or volume texture
// is filled by calling the caller's colour function once per texel with the
// texel's centre and size at that level's own resolution, and encoding the
// rows through the level format's converter.
#include <memory>
#include <vector>

#include "texture/kltexture.h"
#include "texture/pixels/image_resampler.h"
#include "texture/pixels/pixel_converter.h"
#include "texture/pixels/surface_access.h"

namespace {

// Centre and size of texel (k, j) on a cube face of edge s; the centre lies
// on the cube of edge 2 around the origin.
struct CubeTexel {
    KLVECTOR3 centre, size;
};

CubeTexel CubeFaceTexel(UINT face, float e, UINT k, UINT j) {
    const float a = e * static_cast<float>(2 * k + 1), b = e * static_cast<float>(2 * j + 1);
    const float t = 2.0f * e;
    switch (face) {
    case 0: return {{1, 1 - b, 1 - a}, {0, t, t}};
    case 1: return {{-1, 1 - b, a - 1}, {0, t, t}};
    case 2: return {{a - 1, 1, b - 1}, {t, 0, t}};
    case 3: return {{a - 1, -1, 1 - b}, {t, 0, t}};
    case 4: return {{a - 1, 1 - b, 1}, {t, t, 0}};
    default: return {{1 - a, 1 - b, -1}, {t, t, 0}};
    }
}

KLCOLOR ToColor(const KLVECTOR4& v) { return KLCOLOR{v.x, v.y, v.z, v.w}; }

// Encodes the rows that `texel(k, j, l, out)` produces into a locked view.
template <typename TexelFn>
HRESULT FillView(const ImageView& view, std::vector<KLCOLOR>& row, TexelFn texel) {
    std::unique_ptr<PixelConverter> converter = CreatePixelConverter(view);
    if (!converter) return D3DERR_INVALIDCALL;
    HRESULT hr = LinkConverterToFloatRows(*converter);
    if (FAILED(hr)) return hr;
    if (row.size() < converter->width) return E_OUTOFMEMORY;
    for (UINT l = 0; l < converter->depth; ++l)
        for (UINT j = 0; j < converter->height; ++j) {
            for (UINT k = 0; k < converter->width; ++k) row[k] = texel(k, j, l);
            hr = converter->EncodeRow(j, l, row.data());
            if (FAILED(hr)) return hr;
        }
    return S_OK;
}

template <typename TexelFn>
HRESULT FillSurface(IDirect3DSurface9* surface, UINT level, std::vector<KLCOLOR>& row, TexelFn texel) {
    SurfaceAccess access;
    ImageView view;
    HRESULT hr = access.Lock(&view, surface, nullptr, nullptr, 0, level == 0 ? kAccessDiscardWhole : 0);
    if (FAILED(hr)) return hr;
    hr = FillView(view, row, texel);
    const HRESULT unlock = access.Unlock();
    return FAILED(hr) ? hr : unlock;
}

}  // namespace

HRESULT FillTexture(IDirect3DTexture9* texture, KLFill2D function, LPVOID data) {
    if (!texture || !function) return D3DERR_INVALIDCALL;
    std::vector<KLCOLOR> row;
    const UINT levels = texture->GetLevelCount();
    for (UINT level = 0; level < levels; ++level) {
        D3DSURFACE_DESC desc;
        HRESULT hr = texture->GetLevelDesc(level, &desc);
        if (FAILED(hr)) return hr;
        if (level == 0 && !AllocateRow(row, desc.Width)) return E_OUTOFMEMORY;
        IDirect3DSurface9* surface = nullptr;
        hr = texture->GetSurfaceLevel(level, &surface);
        if (FAILED(hr)) return hr;
        const KLVECTOR2 size = {1.0f / static_cast<float>(desc.Width), 1.0f / static_cast<float>(desc.Height)};
        hr = FillSurface(surface, level, row, [&](UINT k, UINT j, UINT) {
            const KLVECTOR2 centre = {(static_cast<float>(k) + 0.5f) * size.x, (static_cast<float>(j) + 0.5f) * size.y};
            KLVECTOR4 colour = {0, 0, 0, 0};
            function(&colour, &centre, &size, data);
            return ToColor(colour);
        });
        surface->Release();
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

HRESULT FillCubeTexture(IDirect3DCubeTexture9* texture, KLFill3D function, LPVOID data) {
    if (!texture || !function) return D3DERR_INVALIDCALL;
    std::vector<KLCOLOR> row;
    const UINT levels = texture->GetLevelCount();
    for (UINT level = 0; level < levels; ++level) {
        D3DSURFACE_DESC desc;
        HRESULT hr = texture->GetLevelDesc(level, &desc);
        if (FAILED(hr)) return hr;
        if (level == 0 && !AllocateRow(row, desc.Width)) return E_OUTOFMEMORY;
        const float e = 1.0f / static_cast<float>(desc.Width);
        for (UINT face = 0; face < 6; ++face) {
            IDirect3DSurface9* surface = nullptr;
            hr = texture->GetCubeMapSurface(static_cast<D3DCUBEMAP_FACES>(face), level, &surface);
            if (FAILED(hr)) return hr;
            hr = FillSurface(surface, level, row, [&](UINT k, UINT j, UINT) {
                const CubeTexel t = CubeFaceTexel(face, e, k, j);
                KLVECTOR4 colour = {0, 0, 0, 0};
                function(&colour, &t.centre, &t.size, data);
                return ToColor(colour);
            });
            surface->Release();
            if (FAILED(hr)) return hr;
        }
    }
    return S_OK;
}

HRESULT FillVolumeTexture(IDirect3DVolumeTexture9* texture, KLFill3D function, LPVOID data) {
    if (!texture || !function) return D3DERR_INVALIDCALL;
    std::vector<KLCOLOR> row;
    const UINT levels = texture->GetLevelCount();
    for (UINT level = 0; level < levels; ++level) {
        D3DVOLUME_DESC desc;
        HRESULT hr = texture->GetLevelDesc(level, &desc);
        if (FAILED(hr)) return hr;
        if (level == 0 && !AllocateRow(row, desc.Width)) return E_OUTOFMEMORY;
        IDirect3DVolume9* volume = nullptr;
        hr = texture->GetVolumeLevel(level, &volume);
        if (FAILED(hr)) return hr;
        const KLVECTOR3 size = {1.0f / static_cast<float>(desc.Width), 1.0f / static_cast<float>(desc.Height),
                                1.0f / static_cast<float>(desc.Depth)};
        VolumeAccess access;
        ImageView view;
        hr = access.Lock(&view, volume, nullptr, nullptr, 0, level == 0 ? kAccessDiscardWhole : 0);
        if (SUCCEEDED(hr)) {
            hr = FillView(view, row, [&](UINT k, UINT j, UINT l) {
                const KLVECTOR3 centre = {(static_cast<float>(k) + 0.5f) * size.x,
                                          (static_cast<float>(j) + 0.5f) * size.y,
                                          (static_cast<float>(l) + 0.5f) * size.z};
                KLVECTOR4 colour = {0, 0, 0, 0};
                function(&colour, &centre, &size, data);
                return ToColor(colour);
            });
            access.Unlock();
        }
        volume->Release();
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}
