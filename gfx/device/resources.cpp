#include "gfx/device/resources.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "gfx/device/device.h"
#include "gfx/exports.h"

namespace gfx {

HRESULT ImageStore::Allocate(const FormatInfo* format, UINT w, UINT h, UINT d) {
    info = format;
    width = w;
    height = h;
    depth = d;
    rowPitch = RowPitch(*format, w);
    uint64_t slice = uint64_t(rowPitch) * RowCount(*format, h);
    uint64_t total = slice * d;
    if (rowPitch == 0 || total == 0 || total > kMaxResourceBytes) return D3DERR_INVALIDCALL;
    slicePitch = UINT(slice);
    try {
        bytes.assign(size_t(total), 0);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return D3D_OK;
}

bool ValidRect(const ImageStore& image, const RECT* rect, RECT* out) {
    RECT r = {0, 0, LONG(image.width), LONG(image.height)};
    if (rect) r = *rect;
    if (r.left < 0 || r.top < 0 || r.left >= r.right || r.top >= r.bottom || r.right > LONG(image.width) ||
        r.bottom > LONG(image.height)) {
        return false;
    }
    UINT b = image.info->blockSize;
    if (b > 1) {
        // Compressed images are addressed by whole blocks; a rectangle may end
        // at the image edge even when that is not a block boundary.
        if (r.left % b || r.top % b) return false;
        if ((r.right % b && r.right != LONG(image.width)) || (r.bottom % b && r.bottom != LONG(image.height)))
            return false;
    }
    *out = r;
    return true;
}

void CopyImageRect(const ImageStore& src, const RECT& srcRect, ImageStore& dst, POINT dstPoint) {
    const FormatInfo& f = *src.info;
    UINT b = f.blockSize;
    UINT rows = (UINT(srcRect.bottom - srcRect.top) + b - 1) / b;
    size_t rowBytes = size_t((UINT(srcRect.right - srcRect.left) + b - 1) / b) * f.blockBytes;
    for (UINT z = 0; z < std::min(src.depth, dst.depth); ++z) {
        for (UINT r = 0; r < rows; ++r) {
            const BYTE* s = src.Row(UINT(srcRect.top) / b + r, z) + size_t(srcRect.left / LONG(b)) * f.blockBytes;
            BYTE* d = dst.Row(UINT(dstPoint.y) / b + r, z) + size_t(dstPoint.x / LONG(b)) * f.blockBytes;
            std::memmove(d, s, rowBytes);
        }
    }
}

// ---- DeviceChildLink ----

DeviceChildLink::DeviceChildLink(DeviceImpl* device) : device_(device) { device_->AddChild(); }
DeviceChildLink::~DeviceChildLink() { device_->ReleaseChild(); }
HRESULT DeviceChildLink::GetDevice(IDirect3DDevice9** out) const {
    if (!out) return D3DERR_INVALIDCALL;
    device_->AddRef();
    *out = device_;
    return D3D_OK;
}

// ---- Surfaces ----

SurfaceImpl::SurfaceImpl(DeviceImpl* device, DWORD usage, D3DPOOL pool, bool lockable)
    : link_(device), usage_(usage), pool_(pool), lockable_(lockable) {}

SurfaceImpl::SurfaceImpl(DeviceImpl* device, BaseTextureImpl* container, ImageStore* image, DWORD usage,
                         D3DPOOL pool, bool lockable)
    : link_(device), container_(container), image_(image), usage_(usage), pool_(pool), lockable_(lockable) {}

SurfaceImpl::~SurfaceImpl() = default;

HRESULT SurfaceImpl::Create(DeviceImpl* device, UINT width, UINT height, D3DFORMAT format, DWORD usage,
                            D3DPOOL pool, bool lockable, SurfaceImpl** out) {
    const FormatInfo* info = FindFormat(format);
    if (!out || !info || width == 0 || height == 0 || width > kMaxTextureSize || height > kMaxTextureSize)
        return D3DERR_INVALIDCALL;
    if ((usage & D3DUSAGE_RENDERTARGET) && !(info->uses & kUseRenderTarget)) return D3DERR_NOTAVAILABLE;
    if ((usage & D3DUSAGE_DEPTHSTENCIL) && !IsDepthFormat(*info)) return D3DERR_NOTAVAILABLE;
    if (!(usage & D3DUSAGE_DEPTHSTENCIL) && IsDepthFormat(*info)) return D3DERR_INVALIDCALL;
    auto* s = new (std::nothrow) SurfaceImpl(device, usage, pool, lockable && (info->uses & kUseLockable));
    if (!s) return E_OUTOFMEMORY;
    s->owned_ = std::make_unique<ImageStore>();
    s->image_ = s->owned_.get();
    HRESULT hr = s->owned_->Allocate(info, width, height, 1);
    if (FAILED(hr)) {
        s->Release();
        return hr;
    }
    *out = s;
    return D3D_OK;
}

HRESULT SurfaceImpl::QueryInterface(REFIID riid, void** object) {
    if (!object) return E_POINTER;
    if (IidIn(riid, {&IID_IUnknown, &IID_IDirect3DResource9, &IID_IDirect3DSurface9})) {
        AddRef();
        *object = static_cast<IDirect3DSurface9*>(this);
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG SurfaceImpl::AddRef() {
    if (container_) return container_->AsBase()->AddRef();
    return ++refs_;
}

ULONG SurfaceImpl::Release() {
    if (container_) return container_->AsBase()->Release();
    ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
}

HRESULT SurfaceImpl::GetContainer(REFIID riid, void** container) {
    if (!container) return D3DERR_INVALIDCALL;
    if (container_) return container_->AsBase()->QueryInterface(riid, container);
    return link_.device()->QueryInterface(riid, container);
}

HRESULT SurfaceImpl::GetDesc(D3DSURFACE_DESC* desc) {
    if (!desc) return D3DERR_INVALIDCALL;
    desc->Format = image_->Format();
    desc->Type = D3DRTYPE_SURFACE;
    desc->Usage = usage_;
    desc->Pool = pool_;
    desc->MultiSampleType = D3DMULTISAMPLE_NONE;
    desc->MultiSampleQuality = 0;
    desc->Width = image_->width;
    desc->Height = image_->height;
    return D3D_OK;
}

HRESULT SurfaceImpl::LockRect(D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) {
    (void)flags;
    RECT r;
    if (!locked) return D3DERR_INVALIDCALL;
    if (!lockable_ || locked_) {
        DebugMessage("LockRect: surface is %s", locked_ ? "already locked" : "not lockable");
        return D3DERR_INVALIDCALL;
    }
    if (!ValidRect(*image_, rect, &r)) {
        DebugMessage("LockRect: rectangle outside the surface or not block aligned");
        return D3DERR_INVALIDCALL;
    }
    UINT b = image_->info->blockSize;
    locked->Pitch = INT(image_->rowPitch);
    locked->pBits = image_->Row(UINT(r.top) / b) + size_t(UINT(r.left) / b) * image_->info->blockBytes;
    locked_ = true;
    return D3D_OK;
}

HRESULT SurfaceImpl::UnlockRect() {
    if (!locked_) return D3DERR_INVALIDCALL;
    locked_ = false;
    return D3D_OK;
}

SurfaceImpl* AsSurfaceImpl(IDirect3DSurface9* surface) { return static_cast<SurfaceImpl*>(surface); }

// ---- Volumes ----

VolumeImpl::VolumeImpl(DeviceImpl* device, BaseTextureImpl* container, ImageStore* image, DWORD usage, D3DPOOL pool)
    : link_(device), container_(container), image_(image), usage_(usage), pool_(pool) {}

HRESULT VolumeImpl::QueryInterface(REFIID riid, void** object) {
    if (!object) return E_POINTER;
    if (IidIn(riid, {&IID_IUnknown, &IID_IDirect3DVolume9})) {
        AddRef();
        *object = static_cast<IDirect3DVolume9*>(this);
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}
ULONG VolumeImpl::AddRef() { return container_->AsBase()->AddRef(); }
ULONG VolumeImpl::Release() { return container_->AsBase()->Release(); }
HRESULT VolumeImpl::GetContainer(REFIID riid, void** container) {
    if (!container) return D3DERR_INVALIDCALL;
    return container_->AsBase()->QueryInterface(riid, container);
}

HRESULT VolumeImpl::GetDesc(D3DVOLUME_DESC* desc) {
    if (!desc) return D3DERR_INVALIDCALL;
    desc->Format = image_->Format();
    desc->Type = D3DRTYPE_VOLUME;
    desc->Usage = usage_;
    desc->Pool = pool_;
    desc->Width = image_->width;
    desc->Height = image_->height;
    desc->Depth = image_->depth;
    return D3D_OK;
}

HRESULT VolumeImpl::LockBox(D3DLOCKED_BOX* locked, const D3DBOX* box, DWORD) {
    if (!locked || locked_) return D3DERR_INVALIDCALL;
    if (pool_ == D3DPOOL_DEFAULT && !(usage_ & D3DUSAGE_DYNAMIC)) return D3DERR_INVALIDCALL;
    D3DBOX b = {0, 0, image_->width, image_->height, 0, image_->depth};
    if (box) b = *box;
    UINT bs = image_->info->blockSize;
    if (b.Left >= b.Right || b.Top >= b.Bottom || b.Front >= b.Back || b.Right > image_->width ||
        b.Bottom > image_->height || b.Back > image_->depth || b.Left % bs || b.Top % bs) {
        return D3DERR_INVALIDCALL;
    }
    locked->RowPitch = INT(image_->rowPitch);
    locked->SlicePitch = INT(image_->slicePitch);
    locked->pBits = image_->Row(b.Top / bs, b.Front) + size_t(b.Left / bs) * image_->info->blockBytes;
    locked_ = true;
    return D3D_OK;
}

HRESULT VolumeImpl::UnlockBox() {
    if (!locked_) return D3DERR_INVALIDCALL;
    locked_ = false;
    return D3D_OK;
}

// ---- Textures ----

namespace {

UINT FullChain(UINT w, UINT h, UINT d) {
    UINT n = 1;
    while (w > 1 || h > 1 || d > 1) {
        w = std::max(1u, w / 2);
        h = std::max(1u, h / 2);
        d = std::max(1u, d / 2);
        ++n;
    }
    return n;
}

bool ValidPool(D3DPOOL pool) { return pool <= D3DPOOL_SCRATCH; }

}  // namespace

HRESULT ResolveTextureRequest(D3DRESOURCETYPE kind, UINT width, UINT height, UINT depth, UINT* levels, DWORD usage,
                              D3DFORMAT format, D3DPOOL pool) {
    const FormatInfo* info = FindFormat(format);
    if (!info || !ValidPool(pool)) return D3DERR_INVALIDCALL;
    if (width == 0 || height == 0 || depth == 0) return D3DERR_INVALIDCALL;
    UINT limit = kind == D3DRTYPE_VOLUMETEXTURE ? kMaxVolumeExtent : kMaxTextureSize;
    if (width > limit || height > limit || depth > limit) return D3DERR_INVALIDCALL;
    constexpr DWORD kAllowed = D3DUSAGE_RENDERTARGET | D3DUSAGE_DEPTHSTENCIL | D3DUSAGE_SOFTWAREPROCESSING |
                               D3DUSAGE_DYNAMIC | D3DUSAGE_AUTOGENMIPMAP | D3DUSAGE_DMAP;
    if (usage & ~kAllowed) return D3DERR_INVALIDCALL;
    if ((usage & (D3DUSAGE_RENDERTARGET | D3DUSAGE_DEPTHSTENCIL)) && pool != D3DPOOL_DEFAULT)
        return D3DERR_INVALIDCALL;
    if ((usage & D3DUSAGE_DYNAMIC) && pool == D3DPOOL_MANAGED) return D3DERR_INVALIDCALL;
    if (pool == D3DPOOL_SCRATCH) {
        if (!(info->uses & kUseLockable)) return D3DERR_NOTAVAILABLE;
    } else {
        if (!(info->uses & kUseTexture)) return D3DERR_NOTAVAILABLE;
        if ((usage & D3DUSAGE_RENDERTARGET) && !(info->uses & kUseRenderTarget)) return D3DERR_NOTAVAILABLE;
        if (usage & D3DUSAGE_DEPTHSTENCIL) return D3DERR_NOTAVAILABLE;
    }
    if (info->blockSize > 1 && kind == D3DRTYPE_VOLUMETEXTURE && pool != D3DPOOL_SCRATCH) return D3DERR_NOTAVAILABLE;
    UINT full = FullChain(width, height, depth);
    if (usage & D3DUSAGE_AUTOGENMIPMAP) {
        if (*levels > 1) return D3DERR_INVALIDCALL;
        *levels = 1;
    } else if (*levels == 0 || *levels > full) {
        if (*levels > full) return D3DERR_INVALIDCALL;
        *levels = full;
    }
    return D3D_OK;
}

HRESULT BaseTextureImpl::InitImages(D3DRESOURCETYPE kind, UINT faces, UINT width, UINT height, UINT depth,
                                    UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool) {
    kind_ = kind;
    faces_ = faces;
    levels_ = levels;
    usage_ = usage;
    pool_ = pool;
    const FormatInfo* info = FindFormat(format);
    uint64_t total = 0;
    try {
        images_.resize(size_t(faces) * levels);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    for (UINT f = 0; f < faces; ++f) {
        for (UINT l = 0; l < levels; ++l) {
            UINT w = std::max(1u, width >> l), h = std::max(1u, height >> l), d = std::max(1u, depth >> l);
            HRESULT hr = image(f, l).Allocate(info, w, h, d);
            if (FAILED(hr)) return hr;
            total += image(f, l).bytes.size();
            if (total > kMaxResourceBytes) return D3DERR_INVALIDCALL;
        }
    }
    return D3D_OK;
}

void BaseTextureImpl::BuildMips() {
    const FormatInfo& f = *info();
    if (!f.decode || f.blockSize != 1) return;
    // Average 2x2(x2) texels of the level above; encoders exist only for the
    // 32-bit colour formats, which are the ones render targets use.
    if (f.format != D3DFMT_A8R8G8B8 && f.format != D3DFMT_X8R8G8B8) return;
    for (UINT face = 0; face < faces_; ++face) {
        for (UINT l = 1; l < levels_; ++l) {
            const ImageStore& src = image(face, l - 1);
            ImageStore& dst = image(face, l);
            for (UINT z = 0; z < dst.depth; ++z) {
                for (UINT y = 0; y < dst.height; ++y) {
                    for (UINT x = 0; x < dst.width; ++x) {
                        UINT sum[4] = {0, 0, 0, 0};
                        UINT n = 0;
                        for (UINT dz = 0; dz < (src.depth > 1 ? 2u : 1u); ++dz) {
                            for (UINT dy = 0; dy < (src.height > 1 ? 2u : 1u); ++dy) {
                                for (UINT dx = 0; dx < (src.width > 1 ? 2u : 1u); ++dx) {
                                    const BYTE* p = src.Row(2 * y + dy, 2 * z + dz) + (2 * x + dx) * 4;
                                    for (int c = 0; c < 4; ++c) sum[c] += p[c];
                                    ++n;
                                }
                            }
                        }
                        BYTE* q = dst.Row(y, z) + x * 4;
                        for (int c = 0; c < 4; ++c) q[c] = BYTE((sum[c] + n / 2) / n);
                    }
                }
            }
        }
    }
}

template <class I>
DWORD TextureBase<I>::SetLOD(DWORD lod) {
    DWORD old = lod_;
    if (pool_ == D3DPOOL_MANAGED) lod_ = std::min<DWORD>(lod, levels_ - 1);
    return old;
}

template <class I>
HRESULT TextureBase<I>::SetAutoGenFilterType(D3DTEXTUREFILTERTYPE filter) {
    if (filter != D3DTEXF_POINT && filter != D3DTEXF_LINEAR) return D3DERR_INVALIDCALL;
    autoGenFilter_ = filter;
    return D3D_OK;
}

template class TextureBase<IDirect3DTexture9>;
template class TextureBase<IDirect3DCubeTexture9>;
template class TextureBase<IDirect3DVolumeTexture9>;

BaseTextureImpl* AsTextureImpl(IDirect3DBaseTexture9* texture) {
    if (!texture) return nullptr;
    switch (texture->GetType()) {
    case D3DRTYPE_TEXTURE: return static_cast<TextureImpl*>(static_cast<IDirect3DTexture9*>(texture));
    case D3DRTYPE_CUBETEXTURE: return static_cast<CubeTextureImpl*>(static_cast<IDirect3DCubeTexture9*>(texture));
    case D3DRTYPE_VOLUMETEXTURE:
        return static_cast<VolumeTextureImpl*>(static_cast<IDirect3DVolumeTexture9*>(texture));
    default: return nullptr;
    }
}

namespace {
// Levels of default-pool textures live where only the device reaches them,
// unless they are dynamic.
bool LevelsLockable(DWORD usage, D3DPOOL pool) {
    return pool != D3DPOOL_DEFAULT || (usage & D3DUSAGE_DYNAMIC);
}
}  // namespace

HRESULT TextureImpl::Create(DeviceImpl* device, UINT width, UINT height, UINT levels, DWORD usage,
                            D3DFORMAT format, D3DPOOL pool, TextureImpl** out) {
    if (!out) return D3DERR_INVALIDCALL;
    HRESULT hr = ResolveTextureRequest(D3DRTYPE_TEXTURE, width, height, 1, &levels, usage, format, pool);
    if (FAILED(hr)) return hr;
    auto* t = new (std::nothrow) TextureImpl(device);
    if (!t) return E_OUTOFMEMORY;
    hr = t->InitImages(D3DRTYPE_TEXTURE, 1, width, height, 1, levels, usage, format, pool);
    if (SUCCEEDED(hr)) {
        for (UINT l = 0; l < levels; ++l) {
            t->surfaces_.push_back(
                new SurfaceImpl(device, t, &t->image(0, l), usage, pool, LevelsLockable(usage, pool)));
        }
    }
    if (FAILED(hr)) {
        t->Release();
        return hr;
    }
    *out = t;
    return D3D_OK;
}

TextureImpl::~TextureImpl() {
    for (SurfaceImpl* s : surfaces_) delete s;
}

HRESULT TextureImpl::QueryInterface(REFIID riid, void** object) {
    if (!object) return E_POINTER;
    if (IidIn(riid, {&IID_IUnknown, &IID_IDirect3DResource9, &IID_IDirect3DBaseTexture9, &IID_IDirect3DTexture9})) {
        AddRef();
        *object = static_cast<IDirect3DTexture9*>(this);
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

HRESULT TextureImpl::GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) {
    if (level >= levels_) return D3DERR_INVALIDCALL;
    return surfaces_[level]->GetDesc(desc);
}

HRESULT TextureImpl::GetSurfaceLevel(UINT level, IDirect3DSurface9** surface) {
    if (!surface || level >= levels_) return D3DERR_INVALIDCALL;
    surfaces_[level]->AddRef();
    *surface = surfaces_[level];
    return D3D_OK;
}

HRESULT TextureImpl::LockRect(UINT level, D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) {
    if (level >= levels_) return D3DERR_INVALIDCALL;
    return surfaces_[level]->LockRect(locked, rect, flags);
}

HRESULT TextureImpl::UnlockRect(UINT level) {
    if (level >= levels_) return D3DERR_INVALIDCALL;
    return surfaces_[level]->UnlockRect();
}

HRESULT CubeTextureImpl::Create(DeviceImpl* device, UINT edge, UINT levels, DWORD usage, D3DFORMAT format,
                                D3DPOOL pool, CubeTextureImpl** out) {
    if (!out) return D3DERR_INVALIDCALL;
    HRESULT hr = ResolveTextureRequest(D3DRTYPE_CUBETEXTURE, edge, edge, 1, &levels, usage, format, pool);
    if (FAILED(hr)) return hr;
    auto* t = new (std::nothrow) CubeTextureImpl(device);
    if (!t) return E_OUTOFMEMORY;
    hr = t->InitImages(D3DRTYPE_CUBETEXTURE, 6, edge, edge, 1, levels, usage, format, pool);
    if (SUCCEEDED(hr)) {
        for (UINT f = 0; f < 6; ++f) {
            for (UINT l = 0; l < levels; ++l) {
                t->surfaces_.push_back(
                    new SurfaceImpl(device, t, &t->image(f, l), usage, pool, LevelsLockable(usage, pool)));
            }
        }
    }
    if (FAILED(hr)) {
        t->Release();
        return hr;
    }
    *out = t;
    return D3D_OK;
}

CubeTextureImpl::~CubeTextureImpl() {
    for (SurfaceImpl* s : surfaces_) delete s;
}

HRESULT CubeTextureImpl::QueryInterface(REFIID riid, void** object) {
    if (!object) return E_POINTER;
    if (IidIn(riid,
              {&IID_IUnknown, &IID_IDirect3DResource9, &IID_IDirect3DBaseTexture9, &IID_IDirect3DCubeTexture9})) {
        AddRef();
        *object = static_cast<IDirect3DCubeTexture9*>(this);
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

HRESULT CubeTextureImpl::GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) {
    if (level >= levels_) return D3DERR_INVALIDCALL;
    return surfaces_[level]->GetDesc(desc);
}

HRESULT CubeTextureImpl::GetCubeMapSurface(D3DCUBEMAP_FACES face, UINT level, IDirect3DSurface9** surface) {
    if (!surface || level >= levels_ || face > D3DCUBEMAP_FACE_NEGATIVE_Z) return D3DERR_INVALIDCALL;
    SurfaceImpl* s = surfaces_[size_t(face) * levels_ + level];
    s->AddRef();
    *surface = s;
    return D3D_OK;
}

HRESULT CubeTextureImpl::LockRect(D3DCUBEMAP_FACES face, UINT level, D3DLOCKED_RECT* locked, const RECT* rect,
                                  DWORD flags) {
    if (level >= levels_ || face > D3DCUBEMAP_FACE_NEGATIVE_Z) return D3DERR_INVALIDCALL;
    return surfaces_[size_t(face) * levels_ + level]->LockRect(locked, rect, flags);
}

HRESULT CubeTextureImpl::UnlockRect(D3DCUBEMAP_FACES face, UINT level) {
    if (level >= levels_ || face > D3DCUBEMAP_FACE_NEGATIVE_Z) return D3DERR_INVALIDCALL;
    return surfaces_[size_t(face) * levels_ + level]->UnlockRect();
}

HRESULT VolumeTextureImpl::Create(DeviceImpl* device, UINT width, UINT height, UINT depth, UINT levels,
                                  DWORD usage, D3DFORMAT format, D3DPOOL pool, VolumeTextureImpl** out) {
    if (!out) return D3DERR_INVALIDCALL;
    if (usage & D3DUSAGE_RENDERTARGET) return D3DERR_INVALIDCALL;
    HRESULT hr = ResolveTextureRequest(D3DRTYPE_VOLUMETEXTURE, width, height, depth, &levels, usage, format, pool);
    if (FAILED(hr)) return hr;
    auto* t = new (std::nothrow) VolumeTextureImpl(device);
    if (!t) return E_OUTOFMEMORY;
    hr = t->InitImages(D3DRTYPE_VOLUMETEXTURE, 1, width, height, depth, levels, usage, format, pool);
    if (SUCCEEDED(hr)) {
        for (UINT l = 0; l < levels; ++l) t->volumes_.push_back(new VolumeImpl(device, t, &t->image(0, l), usage, pool));
    }
    if (FAILED(hr)) {
        t->Release();
        return hr;
    }
    *out = t;
    return D3D_OK;
}

VolumeTextureImpl::~VolumeTextureImpl() {
    for (VolumeImpl* v : volumes_) delete v;
}

HRESULT VolumeTextureImpl::QueryInterface(REFIID riid, void** object) {
    if (!object) return E_POINTER;
    if (IidIn(riid, {&IID_IUnknown, &IID_IDirect3DResource9, &IID_IDirect3DBaseTexture9,
                     &IID_IDirect3DVolumeTexture9})) {
        AddRef();
        *object = static_cast<IDirect3DVolumeTexture9*>(this);
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

HRESULT VolumeTextureImpl::GetLevelDesc(UINT level, D3DVOLUME_DESC* desc) {
    if (level >= levels_) return D3DERR_INVALIDCALL;
    return volumes_[level]->GetDesc(desc);
}

HRESULT VolumeTextureImpl::GetVolumeLevel(UINT level, IDirect3DVolume9** volume) {
    if (!volume || level >= levels_) return D3DERR_INVALIDCALL;
    volumes_[level]->AddRef();
    *volume = volumes_[level];
    return D3D_OK;
}

HRESULT VolumeTextureImpl::LockBox(UINT level, D3DLOCKED_BOX* locked, const D3DBOX* box, DWORD flags) {
    if (level >= levels_) return D3DERR_INVALIDCALL;
    return volumes_[level]->LockBox(locked, box, flags);
}

HRESULT VolumeTextureImpl::UnlockBox(UINT level) {
    if (level >= levels_) return D3DERR_INVALIDCALL;
    return volumes_[level]->UnlockBox();
}

// ---- Buffers ----

template <class I, class D>
HRESULT BufferImpl<I, D>::QueryInterface(REFIID riid, void** object) {
    if (!object) return E_POINTER;
    const IID& own = desc_.Type == D3DRTYPE_VERTEXBUFFER ? IID_IDirect3DVertexBuffer9 : IID_IDirect3DIndexBuffer9;
    if (IidIn(riid, {&IID_IUnknown, &IID_IDirect3DResource9, &own})) {
        this->AddRef();
        *object = static_cast<I*>(this);
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

template <class I, class D>
HRESULT BufferImpl<I, D>::Lock(UINT offset, UINT size, void** data, DWORD) {
    if (!data) return D3DERR_INVALIDCALL;
    if (offset == 0 && size == 0) size = desc_.Size;
    if (offset > desc_.Size || size > desc_.Size - offset) {
        DebugMessage("Lock: range %u+%u outside a buffer of %u bytes", offset, size, desc_.Size);
        return D3DERR_INVALIDCALL;
    }
    *data = bytes_.data() + offset;
    ++lockDepth_;
    return D3D_OK;
}

template <class I, class D>
HRESULT BufferImpl<I, D>::Unlock() {
    if (lockDepth_ == 0) return D3DERR_INVALIDCALL;
    --lockDepth_;
    return D3D_OK;
}

template <class I, class D>
HRESULT BufferImpl<I, D>::GetDesc(D* desc) {
    if (!desc) return D3DERR_INVALIDCALL;
    *desc = desc_;
    return D3D_OK;
}

template class BufferImpl<IDirect3DVertexBuffer9, D3DVERTEXBUFFER_DESC>;
template class BufferImpl<IDirect3DIndexBuffer9, D3DINDEXBUFFER_DESC>;

}  // namespace gfx
