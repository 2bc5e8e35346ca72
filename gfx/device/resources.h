// Resources of the device: images (surfaces and volumes, alone or as levels
// of textures), textures of the three kinds, and vertex and index buffers.
#pragma once

#include <memory>
#include <vector>

#include "gfx/device/format_info.h"
#include "gfx/device/ref_counted.h"

namespace gfx {

// Largest texture, surface and volume extents the device accepts.
constexpr UINT kMaxTextureSize = 8192;
constexpr UINT kMaxVolumeExtent = 512;
// Largest single resource, in bytes.
constexpr uint64_t kMaxResourceBytes = uint64_t(1) << 30;

// The pixels of one image: a 2-D surface or a 3-D volume level.
struct ImageStore {
    const FormatInfo* info = nullptr;
    UINT width = 0, height = 0, depth = 1;
    UINT rowPitch = 0, slicePitch = 0;
    std::vector<BYTE> bytes;

    HRESULT Allocate(const FormatInfo* format, UINT w, UINT h, UINT d);
    BYTE* Row(UINT y, UINT z = 0) { return bytes.data() + size_t(z) * slicePitch + size_t(y) * rowPitch; }
    const BYTE* Row(UINT y, UINT z = 0) const {
        return bytes.data() + size_t(z) * slicePitch + size_t(y) * rowPitch;
    }
    D3DFORMAT Format() const { return info->format; }
};

// Child objects keep their device alive through its internal count.
class DeviceChildLink {
public:
    explicit DeviceChildLink(DeviceImpl* device);
    ~DeviceChildLink();
    DeviceChildLink(const DeviceChildLink&) = delete;
    DeviceChildLink& operator=(const DeviceChildLink&) = delete;
    DeviceImpl* device() const { return device_; }
    HRESULT GetDevice(IDirect3DDevice9** out) const;

private:
    DeviceImpl* device_;
};

class BaseTextureImpl;

// A surface: owns its image (render targets, depth buffers, plain surfaces)
// or is one level of a texture, whose reference count it shares.
class SurfaceImpl final : public IDirect3DSurface9 {
public:
    // Stand-alone surface with its own count and image.
    static HRESULT Create(DeviceImpl* device, UINT width, UINT height, D3DFORMAT format, DWORD usage, D3DPOOL pool,
                          bool lockable, SurfaceImpl** out);
    // Level of a texture: `image` is owned by the container.
    SurfaceImpl(DeviceImpl* device, BaseTextureImpl* container, ImageStore* image, DWORD usage, D3DPOOL pool,
                bool lockable);

    HRESULT QueryInterface(REFIID riid, void** object) override;
    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT GetDevice(IDirect3DDevice9** device) override { return link_.GetDevice(device); }
    DWORD SetPriority(DWORD) override { return 0; }
    DWORD GetPriority() override { return 0; }
    void PreLoad() override {}
    D3DRESOURCETYPE GetType() override { return D3DRTYPE_SURFACE; }
    HRESULT GetContainer(REFIID riid, void** container) override;
    HRESULT GetDesc(D3DSURFACE_DESC* desc) override;
    HRESULT LockRect(D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) override;
    HRESULT UnlockRect() override;

    ImageStore& image() { return *image_; }
    bool locked() const { return locked_; }
    D3DPOOL pool() const { return pool_; }
    DWORD usage() const { return usage_; }

private:
    friend class TextureImpl;  // texture levels are deleted with their container
    friend class CubeTextureImpl;
    ~SurfaceImpl() override;
    SurfaceImpl(DeviceImpl* device, DWORD usage, D3DPOOL pool, bool lockable);

    DeviceChildLink link_;
    BaseTextureImpl* container_ = nullptr;
    std::atomic<ULONG> refs_{1};
    std::unique_ptr<ImageStore> owned_;
    ImageStore* image_ = nullptr;
    DWORD usage_;
    D3DPOOL pool_;
    bool lockable_;
    bool locked_ = false;
};

class VolumeImpl final : public IDirect3DVolume9 {
public:
    VolumeImpl(DeviceImpl* device, BaseTextureImpl* container, ImageStore* image, DWORD usage, D3DPOOL pool);
    HRESULT QueryInterface(REFIID riid, void** object) override;
    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT GetDevice(IDirect3DDevice9** device) override { return link_.GetDevice(device); }
    HRESULT GetContainer(REFIID riid, void** container) override;
    HRESULT GetDesc(D3DVOLUME_DESC* desc) override;
    HRESULT LockBox(D3DLOCKED_BOX* locked, const D3DBOX* box, DWORD flags) override;
    HRESULT UnlockBox() override;
    ImageStore& image() { return *image_; }

private:
    DeviceChildLink link_;
    BaseTextureImpl* container_;
    ImageStore* image_;
    DWORD usage_;
    D3DPOOL pool_;
    bool locked_ = false;
};

// What all three texture kinds share: levels of images per face, in face
// order then level order, and the level-of-detail settings.
class BaseTextureImpl {
public:
    virtual ~BaseTextureImpl() = default;
    virtual IDirect3DBaseTexture9* AsBase() = 0;
    D3DRESOURCETYPE kind() const { return kind_; }
    UINT levels() const { return levels_; }
    UINT faces() const { return faces_; }
    D3DFORMAT format() const { return images_[0].Format(); }
    const FormatInfo* info() const { return images_[0].info; }
    ImageStore& image(UINT face, UINT level) { return images_[size_t(face) * levels_ + level]; }
    const ImageStore& image(UINT face, UINT level) const { return images_[size_t(face) * levels_ + level]; }
    DWORD lod() const { return lod_; }
    D3DPOOL pool() const { return pool_; }
    DWORD usage() const { return usage_; }
    // Rebuilds levels below 0 of every face with a 2x2(x2) average.
    void BuildMips();

protected:
    HRESULT InitImages(D3DRESOURCETYPE kind, UINT faces, UINT width, UINT height, UINT depth, UINT levels,
                       DWORD usage, D3DFORMAT format, D3DPOOL pool);
    D3DRESOURCETYPE kind_ = D3DRTYPE_TEXTURE;
    UINT levels_ = 0;
    UINT faces_ = 1;
    DWORD usage_ = 0;
    D3DPOOL pool_ = D3DPOOL_DEFAULT;
    DWORD lod_ = 0;
    D3DTEXTUREFILTERTYPE autoGenFilter_ = D3DTEXF_LINEAR;
    std::vector<ImageStore> images_;
};

// Validates a creation request and resolves the level count (0 = full chain).
HRESULT ResolveTextureRequest(D3DRESOURCETYPE kind, UINT width, UINT height, UINT depth, UINT* levels, DWORD usage,
                              D3DFORMAT format, D3DPOOL pool);
// Finds the texture object behind an interface pointer made by this device.
BaseTextureImpl* AsTextureImpl(IDirect3DBaseTexture9* texture);
SurfaceImpl* AsSurfaceImpl(IDirect3DSurface9* surface);

// Common template of the three texture interfaces.
template <class Interface>
class TextureBase : public RefCounted<Interface>, public BaseTextureImpl {
public:
    explicit TextureBase(DeviceImpl* device) : link_(device) {}
    IDirect3DBaseTexture9* AsBase() override { return this; }
    HRESULT GetDevice(IDirect3DDevice9** device) override { return link_.GetDevice(device); }
    DWORD SetPriority(DWORD) override { return 0; }
    DWORD GetPriority() override { return 0; }
    void PreLoad() override {}
    D3DRESOURCETYPE GetType() override { return kind_; }
    DWORD SetLOD(DWORD lod) override;
    DWORD GetLOD() override { return lod_; }
    DWORD GetLevelCount() override { return levels_; }
    HRESULT SetAutoGenFilterType(D3DTEXTUREFILTERTYPE filter) override;
    D3DTEXTUREFILTERTYPE GetAutoGenFilterType() override { return autoGenFilter_; }
    void GenerateMipSubLevels() override { BuildMips(); }

protected:
    DeviceChildLink link_;
};

class TextureImpl final : public TextureBase<IDirect3DTexture9> {
public:
    static HRESULT Create(DeviceImpl* device, UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format,
                          D3DPOOL pool, TextureImpl** out);
    HRESULT QueryInterface(REFIID riid, void** object) override;
    HRESULT GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) override;
    HRESULT GetSurfaceLevel(UINT level, IDirect3DSurface9** surface) override;
    HRESULT LockRect(UINT level, D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) override;
    HRESULT UnlockRect(UINT level) override;
    HRESULT AddDirtyRect(const RECT*) override { return D3D_OK; }

private:
    using TextureBase::TextureBase;
    ~TextureImpl() override;
    std::vector<SurfaceImpl*> surfaces_;
};

class CubeTextureImpl final : public TextureBase<IDirect3DCubeTexture9> {
public:
    static HRESULT Create(DeviceImpl* device, UINT edge, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                          CubeTextureImpl** out);
    HRESULT QueryInterface(REFIID riid, void** object) override;
    HRESULT GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) override;
    HRESULT GetCubeMapSurface(D3DCUBEMAP_FACES face, UINT level, IDirect3DSurface9** surface) override;
    HRESULT LockRect(D3DCUBEMAP_FACES face, UINT level, D3DLOCKED_RECT* locked, const RECT* rect,
                     DWORD flags) override;
    HRESULT UnlockRect(D3DCUBEMAP_FACES face, UINT level) override;
    HRESULT AddDirtyRect(D3DCUBEMAP_FACES, const RECT*) override { return D3D_OK; }

private:
    using TextureBase::TextureBase;
    ~CubeTextureImpl() override;
    std::vector<SurfaceImpl*> surfaces_;
};

class VolumeTextureImpl final : public TextureBase<IDirect3DVolumeTexture9> {
public:
    static HRESULT Create(DeviceImpl* device, UINT width, UINT height, UINT depth, UINT levels, DWORD usage,
                          D3DFORMAT format, D3DPOOL pool, VolumeTextureImpl** out);
    HRESULT QueryInterface(REFIID riid, void** object) override;
    HRESULT GetLevelDesc(UINT level, D3DVOLUME_DESC* desc) override;
    HRESULT GetVolumeLevel(UINT level, IDirect3DVolume9** volume) override;
    HRESULT LockBox(UINT level, D3DLOCKED_BOX* locked, const D3DBOX* box, DWORD flags) override;
    HRESULT UnlockBox(UINT level) override;
    HRESULT AddDirtyBox(const D3DBOX*) override { return D3D_OK; }

private:
    using TextureBase::TextureBase;
    ~VolumeTextureImpl() override;
    std::vector<VolumeImpl*> volumes_;
};

// Vertex and index buffers: plain bytes.
template <class Interface, class Desc>
class BufferImpl final : public RefCounted<Interface> {
public:
    BufferImpl(DeviceImpl* device, const Desc& desc) : link_(device), desc_(desc), bytes_(desc.Size) {}
    HRESULT QueryInterface(REFIID riid, void** object) override;
    HRESULT GetDevice(IDirect3DDevice9** device) override { return link_.GetDevice(device); }
    DWORD SetPriority(DWORD) override { return 0; }
    DWORD GetPriority() override { return 0; }
    void PreLoad() override {}
    D3DRESOURCETYPE GetType() override { return desc_.Type; }
    HRESULT Lock(UINT offset, UINT size, void** data, DWORD flags) override;
    HRESULT Unlock() override;
    HRESULT GetDesc(Desc* desc) override;
    const std::vector<BYTE>& bytes() const { return bytes_; }
    const Desc& desc() const { return desc_; }

private:
    ~BufferImpl() override = default;
    DeviceChildLink link_;
    Desc desc_;
    std::vector<BYTE> bytes_;
    int lockDepth_ = 0;
};

using VertexBufferImpl = BufferImpl<IDirect3DVertexBuffer9, D3DVERTEXBUFFER_DESC>;
using IndexBufferImpl = BufferImpl<IDirect3DIndexBuffer9, D3DINDEXBUFFER_DESC>;

// Copies a rectangle between two images of the same format (block aligned
// for compressed formats). Rectangles must already be validated.
void CopyImageRect(const ImageStore& src, const RECT& srcRect, ImageStore& dst, POINT dstPoint);

// Checks `rect` (null = whole) against the image and block alignment.
bool ValidRect(const ImageStore& image, const RECT* rect, RECT* out);

}  // namespace gfx
