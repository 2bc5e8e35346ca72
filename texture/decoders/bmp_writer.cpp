// Bitmap (BMP and DIB) writer: a 40-byte information header for the formats that
// plain bitmaps describe, a 52- or 56-byte header with bit-field masks for the
// others, and a 256-entry palette for the 8-bit formats. Rows are written
// bottom-up, each padded to 4 bytes, and the file is padded to 4 bytes.
#include "texture/decoders/image_writer.h"
#include "texture/pixels/format_table.h"

namespace {

enum class PaletteKind { None, Image, Grey, R3G3B2 };

struct BitmapLayout {
    D3DFORMAT format;
    uint32_t headerSize;
    uint32_t compression;
    uint32_t bits;
    uint32_t masks[4];  // red, green, blue, alpha
    PaletteKind palette;
};

const BitmapLayout kLayouts[] = {
    {D3DFMT_R8G8B8, 40, 0, 24, {}, PaletteKind::None},
    {D3DFMT_A8R8G8B8, 40, 0, 32, {}, PaletteKind::None},
    {D3DFMT_X8R8G8B8, 40, 0, 32, {}, PaletteKind::None},
    {D3DFMT_X1R5G5B5, 40, 0, 16, {}, PaletteKind::None},
    {D3DFMT_R5G6B5, 52, 3, 16, {0xF800, 0x07E0, 0x001F, 0}, PaletteKind::None},
    {D3DFMT_A1R5G5B5, 56, 3, 16, {0x7C00, 0x03E0, 0x001F, 0x8000}, PaletteKind::None},
    {D3DFMT_A4R4G4B4, 56, 3, 16, {0x0F00, 0x00F0, 0x000F, 0xF000}, PaletteKind::None},
    {D3DFMT_X4R4G4B4, 52, 3, 16, {0x0F00, 0x00F0, 0x000F, 0}, PaletteKind::None},
    {D3DFMT_A8R3G3B2, 56, 3, 16, {0xE0, 0x1C, 0x03, 0xFF00}, PaletteKind::None},
    {D3DFMT_A8L8, 56, 3, 16, {0xFF, 0xFF, 0xFF, 0xFF00}, PaletteKind::None},
    {D3DFMT_L16, 52, 3, 16, {0xFFFF, 0xFFFF, 0xFFFF, 0}, PaletteKind::None},
    {D3DFMT_A2B10G10R10, 56, 3, 32, {0x3FF, 0xFFC00, 0x3FF00000, 0xC0000000}, PaletteKind::None},
    {D3DFMT_A2R10G10B10, 56, 3, 32, {0x3FF00000, 0xFFC00, 0x3FF, 0xC0000000}, PaletteKind::None},
    {D3DFMT_A8B8G8R8, 56, 3, 32, {0xFF, 0xFF00, 0xFF0000, 0xFF000000}, PaletteKind::None},
    {D3DFMT_X8B8G8R8, 52, 3, 32, {0xFF, 0xFF00, 0xFF0000, 0}, PaletteKind::None},
    {D3DFMT_G16R16, 52, 3, 32, {0xFFFF, 0xFFFF0000, 0, 0}, PaletteKind::None},
    {D3DFMT_R3G3B2, 40, 0, 8, {}, PaletteKind::R3G3B2},
    {D3DFMT_P8, 40, 0, 8, {}, PaletteKind::Image},
    {D3DFMT_L8, 40, 0, 8, {}, PaletteKind::Grey},
};

constexpr uint32_t kFileHeaderSize = 14;
constexpr uint32_t kPaletteSize = 1024;
constexpr uint32_t kPixelsPerMetre = 2834;  // 72 dots per inch

const BitmapLayout* FindLayout(D3DFORMAT format) {
    for (const BitmapLayout& layout : kLayouts)
        if (layout.format == format) return &layout;
    return nullptr;
}

uint32_t Pad4(uint64_t n) { return static_cast<uint32_t>((n + 3) & ~uint64_t{3}); }

// Palette entries blue, green, red, 0 as bitmaps store them.
void WritePalette(ImageFileOutput& out, PaletteKind kind, const PALETTEENTRY* image) {
    static const BYTE kR3[8] = {0, 36, 73, 109, 146, 182, 219, 255};
    static const BYTE kR2[4] = {0, 85, 170, 255};
    BYTE entries[kPaletteSize] = {};
    for (uint32_t i = 0; i < 256; ++i) {
        BYTE* e = entries + 4 * i;
        switch (kind) {
        case PaletteKind::Image:
            if (image) e[0] = image[i].peBlue, e[1] = image[i].peGreen, e[2] = image[i].peRed;
            break;
        case PaletteKind::Grey:
            e[0] = e[1] = e[2] = static_cast<BYTE>(i);
            break;
        case PaletteKind::R3G3B2:
            e[0] = kR2[i & 3], e[1] = kR3[(i >> 2) & 7], e[2] = kR3[i >> 5];
            break;
        case PaletteKind::None:
            break;
        }
    }
    out.Write(entries, sizeof(entries));
}

}  // namespace

HRESULT WriteBitmap(ImageFileOutput& out, const SourceImage& node, const PALETTEENTRY* palette, bool fileHeader) {
    const BitmapLayout* layout = FindLayout(node.format);
    if (!layout) return E_FAIL;
    const uint32_t width = node.box.Width(), height = node.box.Height();
    const uint32_t rowBytes = width * (layout->bits / 8);
    const uint32_t paddedRow = Pad4(rowBytes);
    const uint32_t paletteBytes = layout->palette == PaletteKind::None ? 0 : kPaletteSize;
    const uint32_t pixelOffset = (fileHeader ? kFileHeaderSize : 0) + layout->headerSize + paletteBytes;
    const uint64_t unpadded = uint64_t{pixelOffset} + uint64_t{paddedRow} * height;
    if (unpadded > UINT32_MAX - 3) return E_FAIL;
    const uint32_t fileSize = Pad4(unpadded);

    if (fileHeader) {
        out.Write("BM", 2);
        out.Le32(fileSize);
        out.Le16(0);
        out.Le16(0);
        out.Le32(pixelOffset);
    }
    out.Le32(layout->headerSize);
    out.Le32(width);
    out.Le32(height);  // positive: rows run bottom-up
    out.Le16(1);
    out.Le16(layout->bits);
    out.Le32(layout->compression);
    out.Le32(0);
    out.Le32(kPixelsPerMetre);
    out.Le32(kPixelsPerMetre);
    out.Le32(0);
    out.Le32(0);
    for (uint32_t offset = 40, i = 0; offset < layout->headerSize; offset += 4, ++i) out.Le32(layout->masks[i]);
    if (paletteBytes) WritePalette(out, layout->palette, palette);

    for (uint32_t y = height; y-- > 0;) {
        out.Write(NodeStorageRow(node, y, 0), rowBytes);
        out.Zeros(paddedRow - rowBytes);
    }
    out.Zeros(fileSize - unpadded);
    return out.ok() ? S_OK : ERR_INVALID_DATA;
}
