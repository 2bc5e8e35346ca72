// DDS writer: the magic, the 124-byte header describing size, mip chain, cube
// faces or volume depth and the pixel format, an optional palette, then every
// face's levels in storage order.
#include <initializer_list>

#include "texture/decoders/dds_format.h"
#include "texture/decoders/image_writer.h"
#include "texture/pixels/format_table.h"

namespace {

constexpr uint32_t kMagic = 0x20534444;  // "DDS "
constexpr uint32_t kHeaderSize = 124;

// Header flags.
constexpr uint32_t kFlagsRequired = 0x1007;  // caps, height, width, pixel format
constexpr uint32_t kFlagMipCount = 0x20000;
constexpr uint32_t kFlagDepth = 0x800000;
// Pixel-format flags that decide the caps.
constexpr uint32_t kPfAlpha = 0x1 | 0x2;
constexpr uint32_t kPfPalette = 0x20;
// Caps and caps2.
constexpr uint32_t kCapsTexture = 0x1000;
constexpr uint32_t kCapsAlpha = 0x2;
constexpr uint32_t kCapsPalette = 0x100;
constexpr uint32_t kCapsMipChain = 0x400008;
constexpr uint32_t kCapsComplex = 0x8;
constexpr uint32_t kCaps2AllFaces = 0xFE00;
constexpr uint32_t kCaps2Volume = 0x200000;

uint32_t CountLevels(const SourceImage& image) {
    uint32_t n = 0;
    for (const SourceImage* node = &image; node; node = node->nextLevel) ++n;
    return n;
}

void WriteNode(ImageFileOutput& out, const SourceImage& node) {
    const uint32_t rowBytes = StorageRowBytes(node.format, node.box.Width());
    const uint32_t rows = StorageRowCount(node.format, node.box.Height());
    for (uint32_t z = 0; z < node.box.Depth(); ++z)
        for (uint32_t y = 0; y < rows; ++y) out.Write(NodeStorageRow(node, y, z), rowBytes);
}

}  // namespace

HRESULT WriteDds(ImageFileOutput& out, const SourceImage& image, const PALETTEENTRY* palette) {
    const DdsPixelFormat* pf = DdsPixelFormatOf(image.format);
    if (!pf) return E_FAIL;
    const uint32_t levels = CountLevels(image);
    const bool chain = levels > 1;
    const bool cube = image.resourceType == D3DRTYPE_CUBETEXTURE;
    const bool volume = image.resourceType == D3DRTYPE_VOLUMETEXTURE || image.resourceType == D3DRTYPE_VOLUME;

    uint32_t flags = kFlagsRequired;
    if (chain) flags |= kFlagMipCount;
    if (volume) flags |= kFlagDepth;
    uint32_t caps = kCapsTexture;
    if (pf->flags & kPfAlpha) caps |= kCapsAlpha;
    if (pf->flags & kPfPalette) caps |= kCapsPalette;
    if (chain) caps |= kCapsMipChain;
    if (cube) caps |= kCapsComplex;
    const uint32_t caps2 = cube ? kCaps2AllFaces : (volume ? kCaps2Volume : 0);

    out.Le32(kMagic);
    out.Le32(kHeaderSize);
    out.Le32(flags);
    out.Le32(image.box.Height());
    out.Le32(image.box.Width());
    out.Le32(0);  // pitch or linear size stays 0
    out.Le32(volume ? image.box.Depth() : 0);
    out.Le32(chain ? levels : 0);
    out.Zeros(11 * 4);
    for (uint32_t field : {pf->size, pf->flags, pf->fourCC, pf->bitCount, pf->redMask, pf->greenMask, pf->blueMask,
                           pf->alphaMask})
        out.Le32(field);
    out.Le32(caps);
    out.Le32(caps2);
    out.Zeros(3 * 4);  // caps3, caps4, reserved

    if (IsPaletteFormat(image.format)) {
        // Entries red, green, blue, flags, as the reader takes them.
        PALETTEENTRY entries[256] = {};
        if (palette)
            for (int i = 0; i < 256; ++i) entries[i] = palette[i];
        out.Write(entries, sizeof(entries));
    }
    for (const SourceImage* face = &image; face; face = face->nextFace)
        for (const SourceImage* node = face; node; node = node->nextLevel) WriteNode(out, *node);
    return out.ok() ? S_OK : ERR_INVALID_DATA;
}
