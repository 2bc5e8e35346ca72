// The common creation routine: decode, settle size, levels and format, create
// the texture, write every decoded level and generate the missing ones.
#include <algorithm>
#include <cstring>

#include "texture/decoders/source_image.h"
#include "texture/pixels/format_table.h"
#include "texture/texture_request.h"

namespace {

template <typename T>
void SafeRelease(T*& p) {
    if (p) p->Release();
    p = nullptr;
}

const BYTE kR3[8] = {0, 36, 73, 109, 146, 182, 219, 255};
const BYTE kR2[4] = {0, 85, 170, 255};

UINT ResolveSize(UINT requested, UINT image) {
    if (requested == kKeepSourceSize || image >= 0x80000000u) return image;
    if (requested == 0 || requested == kUseDefault) {
        UINT p = 1;
        while (p < image) p <<= 1;
        return p;
    }
    return requested;
}

bool IsGreyRamp(const PALETTEENTRY* p) {
    for (int i = 0; i < 256; ++i)
        if (p[i].peRed != i || p[i].peGreen != i || p[i].peBlue != i || p[i].peFlags != 255) return false;
    return true;
}

bool Is332Palette(const PALETTEENTRY* p) {
    for (int i = 0; i < 256; ++i)
        if (p[i].peRed != kR3[i >> 5] || p[i].peGreen != kR3[(i >> 2) & 7] || p[i].peBlue != kR2[i & 3] ||
            p[i].peFlags != 255)
            return false;
    return true;
}

// One texture of any of the three kinds, with uniform level access.
struct TextureLevels {
    D3DRESOURCETYPE type;
    IDirect3DBaseTexture9* base = nullptr;

    HRESULT Create(IDirect3DDevice9* device, UINT w, UINT h, UINT d, UINT levels, DWORD usage, D3DFORMAT format,
                   D3DPOOL pool) {
        switch (type) {
        case D3DRTYPE_VOLUMETEXTURE: {
            IDirect3DVolumeTexture9* t = nullptr;
            HRESULT hr = device->CreateVolumeTexture(w, h, d, levels, usage, format, pool, &t, nullptr);
            base = t;
            return hr;
        }
        case D3DRTYPE_CUBETEXTURE: {
            IDirect3DCubeTexture9* t = nullptr;
            HRESULT hr = device->CreateCubeTexture(w, levels, usage, format, pool, &t, nullptr);
            base = t;
            return hr;
        }
        default: {
            IDirect3DTexture9* t = nullptr;
            HRESULT hr = device->CreateTexture(w, h, levels, usage, format, pool, &t, nullptr);
            base = t;
            return hr;
        }
        }
    }

    HRESULT Write(UINT face, UINT level, const SourceImage& node, const PALETTEENTRY* dstPalette,
                  const PALETTEENTRY* srcPalette, DWORD filter, D3DCOLOR key) {
        HRESULT hr;
        if (type == D3DRTYPE_VOLUMETEXTURE) {
            IDirect3DVolume9* v = nullptr;
            hr = static_cast<IDirect3DVolumeTexture9*>(base)->GetVolumeLevel(level, &v);
            if (FAILED(hr)) return hr;
            const D3DBOX box = {node.box.left, node.box.top, node.box.right, node.box.bottom, node.box.front,
                                node.box.back};
            hr = WriteVolumeFromPixels(v, dstPalette, nullptr, node.pixels, node.format, node.rowPitch,
                                       node.slicePitch, srcPalette, &box, filter, key);
            v->Release();
            return hr;
        }
        IDirect3DSurface9* s = nullptr;
        if (type == D3DRTYPE_CUBETEXTURE)
            hr = static_cast<IDirect3DCubeTexture9*>(base)->GetCubeMapSurface(static_cast<D3DCUBEMAP_FACES>(face),
                                                                             level, &s);
        else
            hr = static_cast<IDirect3DTexture9*>(base)->GetSurfaceLevel(level, &s);
        if (FAILED(hr)) return hr;
        const RECT rect = {static_cast<LONG>(node.box.left), static_cast<LONG>(node.box.top),
                           static_cast<LONG>(node.box.right), static_cast<LONG>(node.box.bottom)};
        hr = WriteSurfaceFromPixels(s, dstPalette, nullptr, node.pixels, node.format, node.rowPitch, srcPalette, &rect,
                                    filter, key);
        s->Release();
        return hr;
    }
};

// Decodes the pixels whose reading was put off. When the top level stores
// exactly what the decoder makes (same format and size, nothing to key or
// convert, a filter word the copy would accept, and the lower levels come
// from the top level rather than from the image), the decoder writes into
// the locked level and *topDecoded is set.
HRESULT DecodeDeferred(SourceImage* image, const TextureRequest& r, TextureLevels& target, D3DRESOURCETYPE type,
                       D3DFORMAT format, DWORD filter, D3DCOLOR colorKey, bool chainFromTop, bool* topDecoded) {
    *topDecoded = false;
    IDirect3DTexture9* texture =
        type == D3DRTYPE_TEXTURE ? static_cast<IDirect3DTexture9*>(target.base) : nullptr;
    D3DSURFACE_DESC desc = {};
    D3DLOCKED_RECT locked = {};
    const bool direct = texture && chainFromTop && colorKey == 0 && format == image->format &&
                        IsValidTexFilter(filter) && !(filter & (TexFilterSrgbIn | TexFilterSrgbOut)) && SUCCEEDED(texture->GetLevelDesc(0, &desc)) &&
                        desc.Width == image->width && desc.Height == image->height &&
                        SUCCEEDED(texture->LockRect(0, &locked, nullptr, 0));
    if (!direct) return ReadImageFile(image, r.data, r.size, nullptr, true);
    const DecodeTarget decodeTarget = {static_cast<BYTE*>(locked.pBits), static_cast<UINT>(locked.Pitch), format,
                                       desc.Width, desc.Height};
    image->target = &decodeTarget;
    const HRESULT hr = ReadImageFile(image, r.data, r.size, nullptr, true);
    image->target = nullptr;
    texture->UnlockRect(0);
    *topDecoded = SUCCEEDED(hr) && image->pixels == decodeTarget.pixels;
    // The node must not point into the unlocked level.
    if (*topDecoded) image->pixels = nullptr;
    return hr;
}

}  // namespace

HRESULT CreateTextureFromRequest(const TextureRequest& r) {
    if (!r.device || !r.data || r.size == 0 || !r.out) return D3DERR_INVALIDCALL;
    SourceImage image;
    ImageFileInfo localInfo;
    ImageFileInfo* info = r.info ? r.info : &localInfo;
    // PNG files are read in two steps: the header now, the pixels once the
    // texture exists, so that they can be decoded straight into its top level.
    HRESULT hr = ReadImageFile(&image, r.data, r.size, info, false);
    const bool deferPixels = SUCCEEDED(hr) && info->ImageFileFormat == ImageFilePng && image.format != D3DFMT_P8;
    if (SUCCEEDED(hr) && !deferPixels) hr = ReadImageFile(&image, r.data, r.size, nullptr, true);
    if (FAILED(hr)) return hr;
    const D3DRESOURCETYPE type =
        r.resourceType == kUseDefault ? info->ResourceType : static_cast<D3DRESOURCETYPE>(r.resourceType);
    UINT srcLevels = 0, faces = 0;
    for (const SourceImage* n = &image; n; n = n->nextLevel) ++srcLevels;
    for (const SourceImage* f = &image; f; f = f->nextFace) ++faces;
    if (type == D3DRTYPE_CUBETEXTURE && faces != 6) return E_FAIL;

    // Size: cube textures use one edge; ordinary and cube textures have depth 1.
    UINT width = ResolveSize(r.width, image.width);
    UINT height = ResolveSize(type == D3DRTYPE_CUBETEXTURE ? r.width : r.height, image.height);
    UINT depth = type == D3DRTYPE_VOLUMETEXTURE ? ResolveSize(r.depth, image.depth) : 1;

    DWORD filter = r.filter == kUseDefault ? kDefaultLevelFilter : r.filter;
    DWORD mipFilter = r.mipFilter == kUseDefault ? static_cast<DWORD>(TexFilterBox) : r.mipFilter;
    if (type == D3DRTYPE_CUBETEXTURE) filter |= TexFilterMirror, mipFilter |= TexFilterMirror;
    const bool chainFromTop = (filter & 0xFF) == TexFilterNone || (mipFilter & 0xFF) == TexFilterPoint ||
                              (mipFilter & 0xFF) == TexFilterBox;

    // Working palette: the image's with the colour key made transparent black,
    // or opaque white without one.
    PALETTEENTRY palette[256];
    D3DCOLOR colorKey = r.colorKey;
    D3DFORMAT imageFormat = image.format;
    if (image.palette) {
        std::memcpy(palette, image.palette, sizeof(palette));
        if (colorKey != 0) {
            const DWORD key = (colorKey & 0xFF00FF00u) | ((colorKey >> 16) & 0xFF) | ((colorKey & 0xFF) << 16);
            for (PALETTEENTRY& e : palette) {
                DWORD v;
                std::memcpy(&v, &e, 4);
                if (v == key) std::memset(&e, 0, 4);
            }
            colorKey = 0;
        }
        if (r.format != D3DFMT_P8 && imageFormat == D3DFMT_P8) {
            if (IsGreyRamp(palette))
                imageFormat = D3DFMT_L8;
            else if (Is332Palette(palette))
                imageFormat = D3DFMT_R3G3B2;
            // Every decoded level shares the relabelled interpretation.
            for (SourceImage* f = &image; f; f = f->nextFace)
                for (SourceImage* n = f; n; n = n->nextLevel)
                    if (n->format == D3DFMT_P8) n->format = imageFormat;
        }
    } else {
        std::memset(palette, 0xFF, sizeof(palette));
    }

    D3DFORMAT format = r.format;
    if (format == D3DFMT_UNKNOWN) {
        format = imageFormat;
        if (colorKey != 0) {
            const FormatTraits* row = FindFormatTraits(format);
            if (row && row->alphaBits == 0 &&
                (row->cls == FormatClass::Rgb || row->cls == FormatClass::Palette ||
                 row->cls == FormatClass::Luminance)) {
                FormatTraits wanted = *row;
                wanted.format = D3DFMT_UNKNOWN;
                wanted.alphaBits = 1;
                const D3DFORMAT keyed = NearestDeviceFormat(nullptr, 0, type, wanted);
                if (keyed != D3DFMT_UNKNOWN) format = keyed;
            }
        }
        format = MapInternalFormat(format);
        if (r.pool != D3DPOOL_SCRATCH && format == D3DFMT_R8G8B8) format = D3DFMT_X8R8G8B8;
    }
    if (r.palette) {
        std::memcpy(r.palette, palette, sizeof(palette));
    }
    if (!(r.palette && image.palette)) {
        if (format == D3DFMT_A8P8) {
            format = D3DFMT_A8R8G8B8;
        } else if (format == D3DFMT_P8) {
            const bool alpha = std::any_of(palette, palette + 256, [](const PALETTEENTRY& e) { return e.peFlags != 255; });
            format = alpha ? D3DFMT_A8R8G8B8 : D3DFMT_X8R8G8B8;
        }
    }

    UINT levels = r.mipLevels;
    hr = FitTextureToDevice(r.device, &width, &height, &depth, &levels, r.usage, &format, r.pool, type);
    if (FAILED(hr)) return hr;

    TextureLevels texture{type};
    hr = texture.Create(r.device, width, height, depth, levels, r.usage & 0xFFE07FFF, format, r.pool);
    if (FAILED(hr)) return hr;
    TextureLevels staging{type};
    if (r.pool == D3DPOOL_DEFAULT && !(r.usage & D3DUSAGE_DYNAMIC)) {
        hr = staging.Create(r.device, width, height, depth, levels, 0, format, D3DPOOL_SYSTEMMEM);
        if (FAILED(hr)) {
            SafeRelease(texture.base);
            return hr;
        }
    }
    TextureLevels& target = staging.base ? staging : texture;
    // An automatically generated chain exposes fewer levels than it holds;
    // level 0 is written at least.
    const UINT textureLevels = std::max<UINT>(target.base->GetLevelCount(), 1);

    bool topDecoded = false;
    if (deferPixels) hr = DecodeDeferred(&image, r, target, type, format, filter, colorKey, chainFromTop, &topDecoded);
    const UINT textureFaces = type == D3DRTYPE_CUBETEXTURE ? 6 : 1;
    UINT face = 0;
    for (const SourceImage* top = &image; top && face < textureFaces && SUCCEEDED(hr); top = top->nextFace, ++face) {
        const SourceImage* node = top;
        for (UINT level = 0; level < textureLevels; ++level) {
            if (level > 0 || !topDecoded) hr = target.Write(face, level, *node, r.palette, palette, filter, colorKey);
            if (FAILED(hr)) break;
            if (level + 1 < srcLevels && node->nextLevel)
                node = node->nextLevel;
            else if (chainFromTop)
                break;
        }
    }
    if (SUCCEEDED(hr) && chainFromTop && srcLevels < textureLevels)
        hr = BuildMipChain(target.base, palette, srcLevels - 1, mipFilter);
    if (SUCCEEDED(hr) && (r.usage & D3DUSAGE_AUTOGENMIPMAP)) target.base->GenerateMipSubLevels();
    if (SUCCEEDED(hr) && staging.base) hr = r.device->UpdateTexture(staging.base, texture.base);
    SafeRelease(staging.base);
    if (FAILED(hr)) {
        SafeRelease(texture.base);
        return hr;
    }
    *r.out = texture.base;
    return S_OK;
}
