// Settles a texture's size, level count and format against the device.
#include <algorithm>

#include "texture/kltexture.h"
#include "texture/pixels/format_table.h"

namespace {

// Usage bits a texture request may carry: render target, depth stencil,
// software processing, dynamic, automatic mip generation, displacement map
// and the query bits.
constexpr DWORD kForbiddenUsage = 0xFFE039EC;

bool Given(const UINT* v) { return v && *v != kUseDefault; }

UINT RoundUpPow2(UINT v) {
    UINT p = 1;
    while (p < v && p < 0x80000000u) p <<= 1;
    return p;
}

UINT BitLength(UINT n) {
    UINT halvings = 0;
    while (n > 1) n >>= 1, ++halvings;
    return halvings;
}

}  // namespace

HRESULT FitTextureToDevice(IDirect3DDevice9* device, UINT* width, UINT* height, UINT* depth, UINT* mipLevels,
                           DWORD usage, D3DFORMAT* format, D3DPOOL pool, D3DRESOURCETYPE type) {
    if (!device) return D3DERR_INVALIDCALL;
    if (usage == kUseDefault) usage = 0;
    if (usage & kForbiddenUsage) return D3DERR_INVALIDCALL;
    if (pool > D3DPOOL_SCRATCH) return D3DERR_INVALIDCALL;
    const bool scratch = pool == D3DPOOL_SCRATCH;

    D3DFORMAT fmt = format ? *format : D3DFMT_UNKNOWN;
    if (!scratch) {
        fmt = NearestDeviceFormat(device, usage, type, FormatTraitsOrDefault(fmt));
        if (fmt == D3DFMT_UNKNOWN) return D3DERR_NOTAVAILABLE;
    } else if (fmt == D3DFMT_UNKNOWN) {
        fmt = D3DFMT_A8R8G8B8;
    }

    UINT w, h;
    if (Given(width)) {
        w = *width;
        h = Given(height) ? *height : w;
    } else if (Given(height)) {
        h = *height;
        w = h;
    } else {
        w = h = 256;
    }
    w = std::max<UINT>(w, 1), h = std::max<UINT>(h, 1);
    if (type == D3DRTYPE_CUBETEXTURE) w = h = std::max(w, h);
    UINT d = (depth && *depth != kUseDefault && *depth != 0) ? *depth : 1;

    UINT levels = mipLevels ? *mipLevels : kUseDefault;
    bool singleLevel = false;
    if (!scratch) {
        D3DCAPS9 caps = {};
        HRESULT hr = device->GetDeviceCaps(&caps);
        if (FAILED(hr)) return hr;
        const DWORD tc = caps.TextureCaps;
        if (type == D3DRTYPE_VOLUMETEXTURE) {
            if (caps.MaxVolumeExtent) w = std::min<UINT>(w, caps.MaxVolumeExtent);
            if (caps.MaxVolumeExtent) h = std::min<UINT>(h, caps.MaxVolumeExtent);
            if (caps.MaxVolumeExtent) d = std::min<UINT>(d, caps.MaxVolumeExtent);
        } else {
            if (caps.MaxTextureWidth) w = std::min<UINT>(w, caps.MaxTextureWidth);
            if (caps.MaxTextureHeight) h = std::min<UINT>(h, caps.MaxTextureHeight);
            if (type == D3DRTYPE_TEXTURE) {
                const uint64_t a = (tc & D3DPTEXTURECAPS_SQUAREONLY) ? 1 : caps.MaxTextureAspectRatio;
                if (a != 0) {
                    w = static_cast<UINT>(std::min<uint64_t>(w, uint64_t{h} * a));
                    h = static_cast<UINT>(std::min<uint64_t>(h, uint64_t{w} * a));
                }
            }
        }
        const DWORD pow2Cap = type == D3DRTYPE_VOLUMETEXTURE ? D3DPTEXTURECAPS_VOLUMEMAP_POW2
                              : type == D3DRTYPE_CUBETEXTURE ? D3DPTEXTURECAPS_CUBEMAP_POW2
                                                             : D3DPTEXTURECAPS_POW2;
        const bool conditional = (tc & D3DPTEXTURECAPS_NONPOW2CONDITIONAL) != 0;
        if ((tc & pow2Cap) && !(levels == 1 && conditional)) {
            w = RoundUpPow2(w), h = RoundUpPow2(h), d = RoundUpPow2(d);
        }
        const DWORD mipCap = type == D3DRTYPE_VOLUMETEXTURE ? D3DPTEXTURECAPS_MIPVOLUMEMAP
                             : type == D3DRTYPE_CUBETEXTURE ? D3DPTEXTURECAPS_MIPCUBEMAP
                                                            : D3DPTEXTURECAPS_MIPMAP;
        singleLevel = !(tc & mipCap) ||
                      (conditional && (!IsPowerOfTwo(w) || !IsPowerOfTwo(h) || !IsPowerOfTwo(d)));
    }
    if (IsBlockFormat(fmt)) w = (w + 3) & ~3u, h = (h + 3) & ~3u;

    if (singleLevel) {
        levels = 1;
    } else {
        UINT full = std::max(BitLength(w), BitLength(h));
        if (type == D3DRTYPE_VOLUMETEXTURE) full = std::max(full, BitLength(d));
        full += 1;
        levels = (levels != 0 && levels <= full) ? levels : full;
        if (levels != 1 && (usage & D3DUSAGE_AUTOGENMIPMAP)) levels = 0;
    }

    if (width) *width = w;
    if (height) *height = h;
    if (depth) *depth = d;
    if (mipLevels) *mipLevels = levels;
    if (format) *format = fmt;
    return S_OK;
}
