// The public entry points: each fills a request from its source of bytes
// (named file, module resource, caller's memory) and runs the common routine.
#include "texture/decoders/source_image.h"
#include "texture/texture_request.h"

HRESULT FileBytes::OpenFile(LPCSTR name) {
    if (!name) return D3DERR_INVALIDCALL;
    // A missing or unreadable file is reported as unusable data.
    if (FAILED(file_.Open(name))) return ERR_INVALID_DATA;
    data_ = file_.data();
    if (file_.size() > UINT32_MAX) return ERR_INVALID_DATA;
    size_ = static_cast<UINT>(file_.size());
    return S_OK;
}

HRESULT FileBytes::OpenFile(LPCWSTR name) {
    if (!name) return D3DERR_INVALIDCALL;
    const std::string utf8 = platform::WideToUtf8(name);
    return OpenFile(utf8.c_str());
}

namespace {

template <typename Name>
HRESULT OpenResourceBytes(HMODULE module, Name name, const void** data, UINT* size) {
    HRSRC resource;
    if constexpr (sizeof(*name) == 1) {
        resource = FindResourceA(module, name, RT_BITMAP);
        if (!resource) resource = FindResourceA(module, name, RT_RCDATA);
    } else {
        resource = FindResourceW(module, name, RT_BITMAPW);
        if (!resource) resource = FindResourceW(module, name, RT_RCDATAW);
    }
    if (!resource) return ERR_INVALID_DATA;
    const DWORD bytes = SizeofResource(module, resource);
    if (bytes == 0) return ERR_INVALID_DATA;
    HGLOBAL loaded = LoadResource(module, resource);
    if (!loaded) return ERR_INVALID_DATA;
    const void* locked = LockResource(loaded);
    if (!locked) return ERR_INVALID_DATA;
    *data = locked;
    *size = bytes;
    return S_OK;
}

}  // namespace

HRESULT FileBytes::OpenResource(HMODULE module, LPCSTR name) {
    if (!name) return D3DERR_INVALIDCALL;
    return OpenResourceBytes(module, name, &data_, &size_);
}

HRESULT FileBytes::OpenResource(HMODULE module, LPCWSTR name) {
    if (!name) return D3DERR_INVALIDCALL;
    return OpenResourceBytes(module, name, &data_, &size_);
}

namespace {

struct Explicit {
    UINT width, height, depth, mipLevels;
    DWORD usage;
    D3DFORMAT format;
    D3DPOOL pool;
    DWORD filter, mipFilter;
    D3DCOLOR colorKey;
    ImageFileInfo* info;
    PALETTEENTRY* palette;
};

const Explicit kSimple = {kUseDefault, kUseDefault, kUseDefault, kUseDefault, 0, D3DFMT_UNKNOWN, D3DPOOL_MANAGED,
                          kUseDefault, kUseDefault, 0, nullptr, nullptr};

HRESULT Run(IDirect3DDevice9* device, const void* data, UINT size, const Explicit& e, D3DRESOURCETYPE type,
            IDirect3DBaseTexture9** out) {
    TextureRequest r;
    r.device = device;
    r.data = data;
    r.size = size;
    r.width = e.width;
    r.height = e.height;
    r.depth = type == D3DRTYPE_VOLUMETEXTURE ? e.depth : 1;
    r.mipLevels = e.mipLevels;
    r.usage = e.usage;
    r.format = e.format;
    r.pool = e.pool;
    r.filter = e.filter;
    r.mipFilter = e.mipFilter;
    r.colorKey = e.colorKey;
    r.info = e.info;
    r.palette = e.palette;
    r.resourceType = type;
    r.out = out;
    return CreateTextureFromRequest(r);
}

template <typename Out>
HRESULT RunInto(IDirect3DDevice9* device, const void* data, UINT size, const Explicit& e, D3DRESOURCETYPE type,
                Out** out) {
    if (!out) return D3DERR_INVALIDCALL;
    IDirect3DBaseTexture9* base = nullptr;
    HRESULT hr = Run(device, data, size, e, type, &base);
    if (SUCCEEDED(hr)) *out = static_cast<Out*>(base);
    return hr;
}

template <typename Name, typename Out>
HRESULT FromFile(IDirect3DDevice9* device, Name name, const Explicit& e, D3DRESOURCETYPE type, Out** out) {
    FileBytes bytes;
    HRESULT hr = bytes.OpenFile(name);
    if (FAILED(hr)) return hr;
    return RunInto(device, bytes.data(), bytes.size(), e, type, out);
}

template <typename Name, typename Out>
HRESULT FromResource(IDirect3DDevice9* device, HMODULE module, Name name, const Explicit& e, D3DRESOURCETYPE type,
                     Out** out) {
    FileBytes bytes;
    HRESULT hr = bytes.OpenResource(module, name);
    if (FAILED(hr)) return hr;
    return RunInto(device, bytes.data(), bytes.size(), e, type, out);
}

Explicit Make(UINT w, UINT h, UINT d, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool, DWORD filter,
              DWORD mipFilter, D3DCOLOR key, ImageFileInfo* info, PALETTEENTRY* palette) {
    return Explicit{w, h, d, levels, usage, format, pool, filter, mipFilter, key, info, palette};
}

HRESULT InfoFrom(const FileBytes& bytes, HRESULT opened, ImageFileInfo* info) {
    if (FAILED(opened)) return opened;
    return ImageInfoFromFileImage(bytes.data(), bytes.size(), info);
}

}  // namespace

#define KL_ARGS UINT width, UINT height, UINT mipLevels, DWORD usage, D3DFORMAT format, D3DPOOL pool, DWORD filter, \
                DWORD mipFilter, D3DCOLOR colorKey, ImageFileInfo *info, PALETTEENTRY *palette
#define KL_MAKE2D Make(width, height, 1, mipLevels, usage, format, pool, filter, mipFilter, colorKey, info, palette)

HRESULT KLCreateTextureFromFileA(IDirect3DDevice9* device, LPCSTR name, IDirect3DTexture9** out) {
    return FromFile(device, name, kSimple, D3DRTYPE_TEXTURE, out);
}

HRESULT TextureFromNamedFileA(IDirect3DDevice9* device, LPCSTR name, IDirect3DTexture9** out) {
    return FromFile(device, name, kSimple, D3DRTYPE_TEXTURE, out);
}
HRESULT TextureFromNamedFileW(IDirect3DDevice9* device, LPCWSTR name, IDirect3DTexture9** out) {
    return FromFile(device, name, kSimple, D3DRTYPE_TEXTURE, out);
}
HRESULT TextureFromNamedFileA(IDirect3DDevice9* device, LPCSTR name, KL_ARGS, IDirect3DTexture9** out) {
    return FromFile(device, name, KL_MAKE2D, D3DRTYPE_TEXTURE, out);
}
HRESULT TextureFromNamedFileW(IDirect3DDevice9* device, LPCWSTR name, KL_ARGS, IDirect3DTexture9** out) {
    return FromFile(device, name, KL_MAKE2D, D3DRTYPE_TEXTURE, out);
}

HRESULT TextureFromModuleResourceA(IDirect3DDevice9* device, HMODULE module, LPCSTR name, IDirect3DTexture9** out) {
    return FromResource(device, module, name, kSimple, D3DRTYPE_TEXTURE, out);
}
HRESULT TextureFromModuleResourceW(IDirect3DDevice9* device, HMODULE module, LPCWSTR name, IDirect3DTexture9** out) {
    return FromResource(device, module, name, kSimple, D3DRTYPE_TEXTURE, out);
}
HRESULT TextureFromModuleResourceA(IDirect3DDevice9* device, HMODULE module, LPCSTR name, KL_ARGS,
                                   IDirect3DTexture9** out) {
    return FromResource(device, module, name, KL_MAKE2D, D3DRTYPE_TEXTURE, out);
}
HRESULT TextureFromModuleResourceW(IDirect3DDevice9* device, HMODULE module, LPCWSTR name, KL_ARGS,
                                   IDirect3DTexture9** out) {
    return FromResource(device, module, name, KL_MAKE2D, D3DRTYPE_TEXTURE, out);
}

HRESULT TextureFromFileImage(IDirect3DDevice9* device, const void* data, UINT size, IDirect3DTexture9** out) {
    return RunInto(device, data, size, kSimple, D3DRTYPE_TEXTURE, out);
}
HRESULT TextureFromFileImage(IDirect3DDevice9* device, const void* data, UINT size, KL_ARGS, IDirect3DTexture9** out) {
    return RunInto(device, data, size, KL_MAKE2D, D3DRTYPE_TEXTURE, out);
}

#undef KL_ARGS
#undef KL_MAKE2D
#define KL_ARGS UINT size, UINT mipLevels, DWORD usage, D3DFORMAT format, D3DPOOL pool, DWORD filter, DWORD mipFilter, \
                D3DCOLOR colorKey, ImageFileInfo *info, PALETTEENTRY *palette
#define KL_MAKECUBE Make(size, size, 1, mipLevels, usage, format, pool, filter, mipFilter, colorKey, info, palette)

HRESULT CubeTextureFromNamedFileA(IDirect3DDevice9* device, LPCSTR name, IDirect3DCubeTexture9** out) {
    return FromFile(device, name, kSimple, D3DRTYPE_CUBETEXTURE, out);
}
HRESULT CubeTextureFromNamedFileW(IDirect3DDevice9* device, LPCWSTR name, IDirect3DCubeTexture9** out) {
    return FromFile(device, name, kSimple, D3DRTYPE_CUBETEXTURE, out);
}
HRESULT CubeTextureFromNamedFileA(IDirect3DDevice9* device, LPCSTR name, KL_ARGS, IDirect3DCubeTexture9** out) {
    return FromFile(device, name, KL_MAKECUBE, D3DRTYPE_CUBETEXTURE, out);
}
HRESULT CubeTextureFromNamedFileW(IDirect3DDevice9* device, LPCWSTR name, KL_ARGS, IDirect3DCubeTexture9** out) {
    return FromFile(device, name, KL_MAKECUBE, D3DRTYPE_CUBETEXTURE, out);
}
HRESULT CubeTextureFromModuleResourceA(IDirect3DDevice9* device, HMODULE module, LPCSTR name,
                                       IDirect3DCubeTexture9** out) {
    return FromResource(device, module, name, kSimple, D3DRTYPE_CUBETEXTURE, out);
}
HRESULT CubeTextureFromModuleResourceW(IDirect3DDevice9* device, HMODULE module, LPCWSTR name,
                                       IDirect3DCubeTexture9** out) {
    return FromResource(device, module, name, kSimple, D3DRTYPE_CUBETEXTURE, out);
}
HRESULT CubeTextureFromModuleResourceA(IDirect3DDevice9* device, HMODULE module, LPCSTR name, KL_ARGS,
                                       IDirect3DCubeTexture9** out) {
    return FromResource(device, module, name, KL_MAKECUBE, D3DRTYPE_CUBETEXTURE, out);
}
HRESULT CubeTextureFromModuleResourceW(IDirect3DDevice9* device, HMODULE module, LPCWSTR name, KL_ARGS,
                                       IDirect3DCubeTexture9** out) {
    return FromResource(device, module, name, KL_MAKECUBE, D3DRTYPE_CUBETEXTURE, out);
}
HRESULT CubeTextureFromFileImage(IDirect3DDevice9* device, const void* data, UINT size, IDirect3DCubeTexture9** out) {
    return RunInto(device, data, size, kSimple, D3DRTYPE_CUBETEXTURE, out);
}
HRESULT CubeTextureFromFileImage(IDirect3DDevice9* device, const void* data, UINT dataSize, KL_ARGS,
                                 IDirect3DCubeTexture9** out) {
    return RunInto(device, data, dataSize, KL_MAKECUBE, D3DRTYPE_CUBETEXTURE, out);
}

#undef KL_ARGS
#undef KL_MAKECUBE
#define KL_ARGS UINT width, UINT height, UINT depth, UINT mipLevels, DWORD usage, D3DFORMAT format, D3DPOOL pool, \
                DWORD filter, DWORD mipFilter, D3DCOLOR colorKey, ImageFileInfo *info, PALETTEENTRY *palette
#define KL_MAKE3D Make(width, height, depth, mipLevels, usage, format, pool, filter, mipFilter, colorKey, info, palette)

HRESULT VolumeTextureFromNamedFileA(IDirect3DDevice9* device, LPCSTR name, IDirect3DVolumeTexture9** out) {
    return FromFile(device, name, kSimple, D3DRTYPE_VOLUMETEXTURE, out);
}
HRESULT VolumeTextureFromNamedFileW(IDirect3DDevice9* device, LPCWSTR name, IDirect3DVolumeTexture9** out) {
    return FromFile(device, name, kSimple, D3DRTYPE_VOLUMETEXTURE, out);
}
HRESULT VolumeTextureFromNamedFileA(IDirect3DDevice9* device, LPCSTR name, KL_ARGS, IDirect3DVolumeTexture9** out) {
    return FromFile(device, name, KL_MAKE3D, D3DRTYPE_VOLUMETEXTURE, out);
}
HRESULT VolumeTextureFromNamedFileW(IDirect3DDevice9* device, LPCWSTR name, KL_ARGS, IDirect3DVolumeTexture9** out) {
    return FromFile(device, name, KL_MAKE3D, D3DRTYPE_VOLUMETEXTURE, out);
}
HRESULT VolumeTextureFromModuleResourceA(IDirect3DDevice9* device, HMODULE module, LPCSTR name,
                                         IDirect3DVolumeTexture9** out) {
    return FromResource(device, module, name, kSimple, D3DRTYPE_VOLUMETEXTURE, out);
}
HRESULT VolumeTextureFromModuleResourceW(IDirect3DDevice9* device, HMODULE module, LPCWSTR name,
                                         IDirect3DVolumeTexture9** out) {
    return FromResource(device, module, name, kSimple, D3DRTYPE_VOLUMETEXTURE, out);
}
HRESULT VolumeTextureFromModuleResourceA(IDirect3DDevice9* device, HMODULE module, LPCSTR name, KL_ARGS,
                                         IDirect3DVolumeTexture9** out) {
    return FromResource(device, module, name, KL_MAKE3D, D3DRTYPE_VOLUMETEXTURE, out);
}
HRESULT VolumeTextureFromModuleResourceW(IDirect3DDevice9* device, HMODULE module, LPCWSTR name, KL_ARGS,
                                         IDirect3DVolumeTexture9** out) {
    return FromResource(device, module, name, KL_MAKE3D, D3DRTYPE_VOLUMETEXTURE, out);
}
HRESULT VolumeTextureFromFileImage(IDirect3DDevice9* device, const void* data, UINT size,
                                   IDirect3DVolumeTexture9** out) {
    return RunInto(device, data, size, kSimple, D3DRTYPE_VOLUMETEXTURE, out);
}
HRESULT VolumeTextureFromFileImage(IDirect3DDevice9* device, const void* data, UINT size, KL_ARGS,
                                   IDirect3DVolumeTexture9** out) {
    return RunInto(device, data, size, KL_MAKE3D, D3DRTYPE_VOLUMETEXTURE, out);
}

#undef KL_ARGS
#undef KL_MAKE3D

HRESULT ImageInfoFromFileImage(const void* data, UINT size, ImageFileInfo* info) {
    if (!info) return S_OK;
    SourceImage image;
    return ReadImageFile(&image, data, size, info, false);
}

HRESULT ImageInfoFromNamedFileA(LPCSTR name, ImageFileInfo* info) {
    FileBytes bytes;
    return InfoFrom(bytes, bytes.OpenFile(name), info);
}
HRESULT ImageInfoFromNamedFileW(LPCWSTR name, ImageFileInfo* info) {
    FileBytes bytes;
    return InfoFrom(bytes, bytes.OpenFile(name), info);
}
HRESULT ImageInfoFromModuleResourceA(HMODULE module, LPCSTR name, ImageFileInfo* info) {
    FileBytes bytes;
    return InfoFrom(bytes, bytes.OpenResource(module, name), info);
}
HRESULT ImageInfoFromModuleResourceW(HMODULE module, LPCWSTR name, ImageFileInfo* info) {
    FileBytes bytes;
    return InfoFrom(bytes, bytes.OpenResource(module, name), info);
}
