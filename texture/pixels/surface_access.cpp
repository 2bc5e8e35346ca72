// Surface and volume locking with the staging fallback.
#include "texture/pixels/surface_access.h"

#include <algorithm>
#include <cstring>

#include "texture/pixels/format_table.h"
#include "texture/runtime_mute.h"

namespace {

template <typename T>
void SafeRelease(T*& p) {
    if (p) p->Release();
    p = nullptr;
}

// Rows of storage: block formats store four pixel rows per row of blocks.
uint32_t StorageRows(D3DFORMAT format, uint32_t height) {
    return IsBlockFormat(format) ? (height + 3) / 4 : height;
}

bool ValidRect(const RECT& r, UINT width, UINT height) {
    return r.left >= 0 && r.top >= 0 && r.left <= r.right && r.top <= r.bottom &&
           static_cast<UINT>(r.right) <= width && static_cast<UINT>(r.bottom) <= height;
}

}  // namespace

HRESULT CopySurfaceRows(IDirect3DSurface9* dst, IDirect3DSurface9* src) {
    D3DSURFACE_DESC dd, sd;
    HRESULT hr = dst->GetDesc(&dd);
    if (FAILED(hr)) return hr;
    hr = src->GetDesc(&sd);
    if (FAILED(hr)) return hr;
    if (dd.Format != sd.Format) return E_FAIL;
    D3DLOCKED_RECT dl, sl;
    ScopedRuntimeMute mute;
    hr = src->LockRect(&sl, nullptr, D3DLOCK_NOSYSLOCK | D3DLOCK_READONLY);
    if (FAILED(hr)) return hr;
    hr = dst->LockRect(&dl, nullptr, D3DLOCK_NOSYSLOCK);
    if (FAILED(hr)) {
        src->UnlockRect();
        return hr;
    }
    const uint32_t rows = StorageRows(dd.Format, std::min(dd.Height, sd.Height));
    const size_t bytes = static_cast<size_t>(std::min(dl.Pitch, sl.Pitch));
    for (uint32_t y = 0; y < rows; ++y)
        std::memcpy(static_cast<BYTE*>(dl.pBits) + static_cast<size_t>(y) * dl.Pitch,
                    static_cast<const BYTE*>(sl.pBits) + static_cast<size_t>(y) * sl.Pitch, bytes);
    dst->UnlockRect();
    src->UnlockRect();
    return S_OK;
}

HRESULT SurfaceAccess::Lock(ImageView* view, IDirect3DSurface9* surface, const PALETTEENTRY* palette,
                            const RECT* rect, DWORD colorKey, DWORD access) {
    Unlock();
    if (!view || !surface) return D3DERR_INVALIDCALL;
    D3DSURFACE_DESC desc;
    HRESULT hr = surface->GetDesc(&desc);
    if (FAILED(hr)) return hr;
    RECT r = {0, 0, static_cast<LONG>(desc.Width), static_cast<LONG>(desc.Height)};
    if (rect) {
        if (!ValidRect(*rect, desc.Width, desc.Height)) return D3DERR_INVALIDCALL;
        r = *rect;
    }
    const bool readOnly = (access & kAccessReadOnly) != 0;
    const bool whole = r.left == 0 && r.top == 0 && static_cast<UINT>(r.right) == desc.Width &&
                       static_cast<UINT>(r.bottom) == desc.Height;
    const bool wholeWrite = !readOnly && whole;

    DWORD lockFlags = D3DLOCK_NOSYSLOCK | (readOnly ? D3DLOCK_READONLY : 0);
    if (wholeWrite && (desc.Usage & D3DUSAGE_DYNAMIC)) {
        bool discard = (access & kAccessDiscardWhole) != 0;
        if (!discard) {
            IDirect3DTexture9* container = nullptr;
            if (SUCCEEDED(surface->GetContainer(IID_IDirect3DTexture9, reinterpret_cast<void**>(&container))) &&
                container) {
                discard = container->GetLevelCount() == 1;
                container->Release();
            }
        }
        if (discard) lockFlags |= D3DLOCK_DISCARD;
    }

    // Block formats lock whole 4x4 blocks, pair formats whole pairs.
    RECT lockRect = r;
    if (IsBlockFormat(desc.Format)) {
        lockRect.left &= ~3, lockRect.top &= ~3;
        lockRect.right = std::min<LONG>((lockRect.right + 3) & ~3, static_cast<LONG>(desc.Width));
        lockRect.bottom = std::min<LONG>((lockRect.bottom + 3) & ~3, static_cast<LONG>(desc.Height));
    } else if (IsPairFormat(desc.Format)) {
        lockRect.left &= ~1;
        lockRect.right = std::min<LONG>((lockRect.right + 1) & ~1, static_cast<LONG>(desc.Width));
    }

    surface_ = surface;
    surface_->AddRef();
    readOnly_ = readOnly;
    D3DLOCKED_RECT locked = {};
    hr = E_FAIL;
    if (!(access & kAccessForceStaging)) {
        ScopedRuntimeMute mute;
        hr = surface->LockRect(&locked, whole ? nullptr : &lockRect, lockFlags);
    }
    if (FAILED(hr)) {
        hr = LockThroughStaging(desc, lockRect, wholeWrite, &locked);
        if (FAILED(hr)) {
            ReleaseAll();
            return hr;
        }
    }
    const uint32_t w = static_cast<uint32_t>(lockRect.right - lockRect.left);
    const uint32_t h = static_cast<uint32_t>(lockRect.bottom - lockRect.top);
    *view = ImageView{};
    view->pixels = static_cast<BYTE*>(locked.pBits);
    view->format = desc.Format;
    view->rowPitch = static_cast<uint32_t>(locked.Pitch);
    view->slicePitch = 0;
    view->extent = ImageBox{0, 0, w, h, 0, 1};
    view->region = ImageBox{static_cast<uint32_t>(r.left - lockRect.left), static_cast<uint32_t>(r.top - lockRect.top),
                            static_cast<uint32_t>(r.right - lockRect.left),
                            static_cast<uint32_t>(r.bottom - lockRect.top), 0, 1};
    view->colorKey = colorKey;
    view->palette = reinterpret_cast<const BYTE*>(palette);
    return S_OK;
}

HRESULT SurfaceAccess::LockThroughStaging(const D3DSURFACE_DESC& desc, const RECT& lockRect, bool wholeWrite,
                                          D3DLOCKED_RECT* locked) {
    HRESULT hr = surface_->GetDevice(&device_);
    if (FAILED(hr)) return hr;
    // Block formats need a staging size that is a multiple of 4: the surface
    // becomes level s of a larger texture.
    uint32_t s = 0;
    if (IsBlockFormat(desc.Format))
        while (s < 2 && (((desc.Width << s) & 3) || ((desc.Height << s) & 3))) ++s;
    const D3DPOOL pool = desc.Pool == D3DPOOL_SCRATCH ? D3DPOOL_SCRATCH : D3DPOOL_SYSTEMMEM;
    {
        ScopedRuntimeMute mute;
        hr = device_->CreateTexture(desc.Width << s, desc.Height << s, s + 1, 0, desc.Format, pool, &stagingTexture_,
                                    nullptr);
    }
    if (FAILED(hr)) return hr;
    hr = stagingTexture_->GetSurfaceLevel(s, &staging_);
    if (FAILED(hr)) return hr;
    if (!wholeWrite) {
        hr = CopySurfaceRows(staging_, surface_);
        if (FAILED(hr) && s == 0) {
            IDirect3DSurface9* target = nullptr;
            ScopedRuntimeMute mute;
            hr = device_->CreateRenderTarget(desc.Width, desc.Height, desc.Format, D3DMULTISAMPLE_NONE, 0, TRUE,
                                             &target, nullptr);
            if (SUCCEEDED(hr)) hr = device_->StretchRect(surface_, nullptr, target, nullptr, D3DTEXF_NONE);
            if (SUCCEEDED(hr)) hr = CopySurfaceRows(staging_, target);
            SafeRelease(target);
        }
        if (FAILED(hr)) return hr;
    }
    const bool whole = lockRect.left == 0 && lockRect.top == 0 && static_cast<UINT>(lockRect.right) == desc.Width &&
                       static_cast<UINT>(lockRect.bottom) == desc.Height;
    return staging_->LockRect(locked, whole ? nullptr : &lockRect,
                              D3DLOCK_NOSYSLOCK | (readOnly_ ? D3DLOCK_READONLY : 0));
}

HRESULT SurfaceAccess::Unlock() {
    if (!surface_) return S_OK;
    HRESULT hr = S_OK;
    if (staging_) {
        staging_->UnlockRect();
        if (!readOnly_) {
            {
                ScopedRuntimeMute mute;
                POINT origin = {0, 0};
                hr = device_->UpdateSurface(staging_, nullptr, surface_, &origin);
            }
            if (FAILED(hr)) hr = CopySurfaceRows(surface_, staging_);
        }
    } else {
        surface_->UnlockRect();
    }
    ReleaseAll();
    return hr;
}

void SurfaceAccess::ReleaseAll() {
    SafeRelease(staging_);
    SafeRelease(stagingTexture_);
    SafeRelease(device_);
    SafeRelease(surface_);
}

HRESULT VolumeAccess::Lock(ImageView* view, IDirect3DVolume9* volume, const PALETTEENTRY* palette,
                           const D3DBOX* box, DWORD colorKey, DWORD access) {
    Unlock();
    if (!view || !volume) return D3DERR_INVALIDCALL;
    D3DVOLUME_DESC desc;
    HRESULT hr = volume->GetDesc(&desc);
    if (FAILED(hr)) return hr;
    D3DBOX b = {0, 0, desc.Width, desc.Height, 0, desc.Depth};
    if (box) {
        if (box->Left > box->Right || box->Top > box->Bottom || box->Front > box->Back || box->Right > desc.Width ||
            box->Bottom > desc.Height || box->Back > desc.Depth)
            return D3DERR_INVALIDCALL;
        b = *box;
    }
    D3DBOX lockBox = b;
    if (IsBlockFormat(desc.Format)) {
        lockBox.Left &= ~3u, lockBox.Top &= ~3u;
        lockBox.Right = std::min((lockBox.Right + 3) & ~3u, desc.Width);
        lockBox.Bottom = std::min((lockBox.Bottom + 3) & ~3u, desc.Height);
    } else if (IsPairFormat(desc.Format)) {
        lockBox.Left &= ~1u;
        lockBox.Right = std::min((lockBox.Right + 1) & ~1u, desc.Width);
    }
    D3DLOCKED_BOX locked = {};
    {
        ScopedRuntimeMute mute;
        hr = volume->LockBox(&locked, &lockBox, D3DLOCK_NOSYSLOCK | ((access & kAccessReadOnly) ? D3DLOCK_READONLY : 0));
    }
    if (FAILED(hr)) return hr;
    volume_ = volume;
    volume_->AddRef();
    *view = ImageView{};
    view->pixels = static_cast<BYTE*>(locked.pBits);
    view->format = desc.Format;
    view->rowPitch = static_cast<uint32_t>(locked.RowPitch);
    view->slicePitch = static_cast<uint32_t>(locked.SlicePitch);
    view->extent = ImageBox{0, 0, lockBox.Right - lockBox.Left, lockBox.Bottom - lockBox.Top, 0,
                            lockBox.Back - lockBox.Front};
    view->region = ImageBox{b.Left - lockBox.Left, b.Top - lockBox.Top, b.Right - lockBox.Left,
                            b.Bottom - lockBox.Top, b.Front - lockBox.Front, b.Back - lockBox.Front};
    view->colorKey = colorKey;
    view->palette = reinterpret_cast<const BYTE*>(palette);
    return S_OK;
}

HRESULT VolumeAccess::Unlock() {
    if (!volume_) return S_OK;
    volume_->UnlockBox();
    volume_->Release();
    volume_ = nullptr;
    return S_OK;
}
