// Locks a surface (or volume) and describes the locked pixels as an ImageView.
// When a surface cannot be locked directly, a staging copy in system memory is
// locked instead and written back on unlock.
#pragma once

#include "gfx/d3d9.h"
#include "texture/pixels/image_view.h"

constexpr DWORD kAccessReadOnly = 0x1;
constexpr DWORD kAccessForceStaging = 0x10000;
// A whole-surface write may discard without checking the container.
constexpr DWORD kAccessDiscardWhole = 0x20000;

class SurfaceAccess {
public:
    SurfaceAccess() = default;
    ~SurfaceAccess() { Unlock(); }
    SurfaceAccess(const SurfaceAccess&) = delete;
    SurfaceAccess& operator=(const SurfaceAccess&) = delete;

    // Locks `rect` (null: the whole surface) and fills `view`. The view's key
    // and palette are the caller's.
    HRESULT Lock(ImageView* view, IDirect3DSurface9* surface, const PALETTEENTRY* palette, const RECT* rect,
                 DWORD colorKey, DWORD access);
    // Unlocks, writing a staging copy back. Safe to call when nothing is locked.
    HRESULT Unlock();

private:
    HRESULT LockThroughStaging(const D3DSURFACE_DESC& desc, const RECT& lockRect, bool wholeWrite,
                               D3DLOCKED_RECT* locked);
    void ReleaseAll();

    IDirect3DSurface9* surface_ = nullptr;
    IDirect3DTexture9* stagingTexture_ = nullptr;
    IDirect3DSurface9* staging_ = nullptr;
    IDirect3DDevice9* device_ = nullptr;
    bool readOnly_ = false;
};

// Locks a volume box (null: the whole volume); no staging fallback.
class VolumeAccess {
public:
    VolumeAccess() = default;
    ~VolumeAccess() { Unlock(); }
    VolumeAccess(const VolumeAccess&) = delete;
    VolumeAccess& operator=(const VolumeAccess&) = delete;

    HRESULT Lock(ImageView* view, IDirect3DVolume9* volume, const PALETTEENTRY* palette, const D3DBOX* box,
                 DWORD colorKey, DWORD access);
    HRESULT Unlock();

private:
    IDirect3DVolume9* volume_ = nullptr;
};

// Copies the rows of one whole surface into another of the same format and size.
HRESULT CopySurfaceRows(IDirect3DSurface9* dst, IDirect3DSurface9* src);
