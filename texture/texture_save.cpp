// Saving surfaces, volumes and textures to image files: lock every level the
// file kind takes, describe the locked pixels as a SourceImage chain and hand
// it to the writers.
#include <memory>
#include <new>
#include <vector>

#include "platform/files.h"
#include "texture/decoders/image_writer.h"
#include "texture/kltexture.h"
#include "texture/pixels/surface_access.h"

namespace {

// The locks behind a node chain; they stay held until the file is written,
// since unconverted nodes point into the locked memory.
class LockedChain {
public:
    HRESULT AddSurface(SourceImage* node, IDirect3DSurface9* surface, const PALETTEENTRY* palette, const RECT* rect,
                       D3DRESOURCETYPE type) {
        surfaces_.push_back(std::make_unique<SurfaceAccess>());
        ImageView view;
        const HRESULT hr = surfaces_.back()->Lock(&view, surface, palette, rect, 0, kAccessReadOnly);
        if (FAILED(hr)) return hr;
        return Describe(node, view, palette, type);
    }

    HRESULT AddVolume(SourceImage* node, IDirect3DVolume9* volume, const PALETTEENTRY* palette, const D3DBOX* box,
                      D3DRESOURCETYPE type) {
        volumes_.push_back(std::make_unique<VolumeAccess>());
        ImageView view;
        const HRESULT hr = volumes_.back()->Lock(&view, volume, palette, box, 0, kAccessReadOnly);
        if (FAILED(hr)) return hr;
        return Describe(node, view, palette, type);
    }

    SourceImage image;

private:
    static HRESULT Describe(SourceImage* node, const ImageView& view, const PALETTEENTRY* palette,
                            D3DRESOURCETYPE type) {
        if (view.region.Width() == 0 || view.region.Height() == 0 || view.region.Depth() == 0)
            return D3DERR_INVALIDCALL;
        node->format = view.format;
        node->pixels = view.pixels;
        node->ownsPixels = false;
        node->palette = reinterpret_cast<BYTE*>(const_cast<PALETTEENTRY*>(palette));
        node->ownsPalette = false;
        node->width = view.region.Width();
        node->height = view.region.Height();
        node->depth = view.region.Depth();
        node->box = view.region;
        node->rowPitch = view.rowPitch;
        node->slicePitch = view.slicePitch;
        node->resourceType = type;
        return S_OK;
    }

    std::vector<std::unique_ptr<SurfaceAccess>> surfaces_;
    std::vector<std::unique_ptr<VolumeAccess>> volumes_;
};

// The node after `node` in a chain, made on demand.
SourceImage* Next(SourceImage** link) {
    if (!*link) *link = new (std::nothrow) SourceImage;
    return *link;
}

// A device that is no longer operational makes a save from the default pool
// fail: what was read may be stale.
HRESULT CheckDeviceAfterSave(IDirect3DResource9* resource, D3DPOOL pool, HRESULT hr) {
    if (FAILED(hr) || pool != D3DPOOL_DEFAULT) return hr;
    IDirect3DDevice9* device = nullptr;
    if (SUCCEEDED(resource->GetDevice(&device)) && device) {
        if (device->TestCooperativeLevel() != D3D_OK) hr = D3DERR_DEVICELOST;
        device->Release();
    }
    return hr;
}

HRESULT SaveSurface(LPCSTR name, ImageFileKind kind, IDirect3DSurface9* surface, const PALETTEENTRY* palette,
                    const RECT* rect) {
    if (!name || !surface) return D3DERR_INVALIDCALL;
    if (!WritableFormats(kind)) return D3DERR_INVALIDCALL;
    D3DSURFACE_DESC desc;
    HRESULT hr = surface->GetDesc(&desc);
    if (FAILED(hr)) return hr;
    LockedChain chain;
    hr = chain.AddSurface(&chain.image, surface, palette, rect, D3DRTYPE_TEXTURE);
    if (SUCCEEDED(hr)) hr = WriteImageChainToFile(name, kind, &chain.image, palette);
    return CheckDeviceAfterSave(surface, desc.Pool, hr);
}

HRESULT SaveVolume(LPCSTR name, ImageFileKind kind, IDirect3DVolume9* volume, const PALETTEENTRY* palette,
                   const D3DBOX* box) {
    if (!name || !volume) return D3DERR_INVALIDCALL;
    if (!WritableFormats(kind)) return D3DERR_INVALIDCALL;
    LockedChain chain;
    HRESULT hr = chain.AddVolume(&chain.image, volume, palette, box, D3DRTYPE_VOLUMETEXTURE);
    if (SUCCEEDED(hr)) hr = WriteImageChainToFile(name, kind, &chain.image, palette);
    return hr;
}

HRESULT DescribeTexture(LockedChain& chain, IDirect3DBaseTexture9* texture, ImageFileKind kind,
                        const PALETTEENTRY* palette, D3DPOOL* pool) {
    const D3DRESOURCETYPE type = texture->GetType();
    const UINT levels = kind == ImageFileDds ? texture->GetLevelCount() : 1;
    if (levels == 0) return D3DERR_INVALIDCALL;
    *pool = D3DPOOL_SCRATCH;
    HRESULT hr = S_OK;
    switch (type) {
    case D3DRTYPE_TEXTURE:
    case D3DRTYPE_CUBETEXTURE: {
        const UINT faces = type == D3DRTYPE_CUBETEXTURE && kind == ImageFileDds ? 6 : 1;
        SourceImage* face = &chain.image;
        for (UINT f = 0; f < faces && SUCCEEDED(hr); ++f) {
            if (f > 0 && !(face = Next(&face->nextFace))) return E_OUTOFMEMORY;
            SourceImage* node = face;
            for (UINT level = 0; level < levels && SUCCEEDED(hr); ++level) {
                if (level > 0 && !(node = Next(&node->nextLevel))) return E_OUTOFMEMORY;
                IDirect3DSurface9* surface = nullptr;
                hr = type == D3DRTYPE_CUBETEXTURE
                         ? static_cast<IDirect3DCubeTexture9*>(texture)->GetCubeMapSurface(
                               static_cast<D3DCUBEMAP_FACES>(f), level, &surface)
                         : static_cast<IDirect3DTexture9*>(texture)->GetSurfaceLevel(level, &surface);
                if (FAILED(hr)) return hr;
                D3DSURFACE_DESC desc;
                if (SUCCEEDED(hr = surface->GetDesc(&desc))) *pool = desc.Pool;
                if (SUCCEEDED(hr)) hr = chain.AddSurface(node, surface, palette, nullptr, type);
                surface->Release();
            }
        }
        return hr;
    }
    case D3DRTYPE_VOLUMETEXTURE: {
        SourceImage* node = &chain.image;
        for (UINT level = 0; level < levels && SUCCEEDED(hr); ++level) {
            if (level > 0 && !(node = Next(&node->nextLevel))) return E_OUTOFMEMORY;
            IDirect3DVolume9* volume = nullptr;
            hr = static_cast<IDirect3DVolumeTexture9*>(texture)->GetVolumeLevel(level, &volume);
            if (FAILED(hr)) return hr;
            hr = chain.AddVolume(node, volume, palette, nullptr, type);
            volume->Release();
        }
        return hr;
    }
    default:
        return D3DERR_INVALIDCALL;
    }
}

HRESULT SaveTexture(LPCSTR name, ImageFileKind kind, IDirect3DBaseTexture9* texture, const PALETTEENTRY* palette) {
    if (!name || !texture) return D3DERR_INVALIDCALL;
    if (!WritableFormats(kind)) return D3DERR_INVALIDCALL;
    LockedChain chain;
    D3DPOOL pool = D3DPOOL_SCRATCH;
    HRESULT hr = DescribeTexture(chain, texture, kind, palette, &pool);
    if (SUCCEEDED(hr)) hr = WriteImageChainToFile(name, kind, &chain.image, palette);
    return CheckDeviceAfterSave(texture, pool, hr);
}

// Runs a save and turns memory exhaustion inside it into its result.
template <typename Save>
HRESULT Guarded(Save save) {
    try {
        return save();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

}  // namespace

HRESULT SaveSurfaceToNamedFileA(LPCSTR name, ImageFileKind kind, IDirect3DSurface9* surface,
                                const PALETTEENTRY* palette, const RECT* rect) {
    return Guarded([&] { return SaveSurface(name, kind, surface, palette, rect); });
}

HRESULT SaveSurfaceToNamedFileW(LPCWSTR name, ImageFileKind kind, IDirect3DSurface9* surface,
                                const PALETTEENTRY* palette, const RECT* rect) {
    if (!name) return D3DERR_INVALIDCALL;
    return Guarded([&] { return SaveSurface(platform::WideToUtf8(name).c_str(), kind, surface, palette, rect); });
}

HRESULT SaveVolumeToNamedFileA(LPCSTR name, ImageFileKind kind, IDirect3DVolume9* volume, const PALETTEENTRY* palette,
                               const D3DBOX* box) {
    return Guarded([&] { return SaveVolume(name, kind, volume, palette, box); });
}

HRESULT SaveVolumeToNamedFileW(LPCWSTR name, ImageFileKind kind, IDirect3DVolume9* volume, const PALETTEENTRY* palette,
                               const D3DBOX* box) {
    if (!name) return D3DERR_INVALIDCALL;
    return Guarded([&] { return SaveVolume(platform::WideToUtf8(name).c_str(), kind, volume, palette, box); });
}

HRESULT SaveTextureToNamedFileA(LPCSTR name, ImageFileKind kind, IDirect3DBaseTexture9* texture,
                                const PALETTEENTRY* palette) {
    return Guarded([&] { return SaveTexture(name, kind, texture, palette); });
}

HRESULT SaveTextureToNamedFileW(LPCWSTR name, ImageFileKind kind, IDirect3DBaseTexture9* texture,
                                const PALETTEENTRY* palette) {
    if (!name) return D3DERR_INVALIDCALL;
    return Guarded([&] { return SaveTexture(platform::WideToUtf8(name).c_str(), kind, texture, palette); });
}
