// Windows bitmaps: the file form (14-byte file header, then a DIB) and the bare
// DIB of bitmap resources. Uncompressed top-down data of 8 bits or more is used
// in place; everything else is decoded into an owned buffer.
#include <cstring>

#include "texture/decoders/source_image.h"
#include "texture/pixels/format_table.h"

namespace {

constexpr uint32_t kCoreHeaderSize = 12;
constexpr uint32_t kInfoHeaderSize = 40;
constexpr uint32_t kFileHeaderSize = 14;

enum Compression : uint32_t { BiRgb = 0, BiRle8 = 1, BiRle4 = 2, BiBitFields = 3 };

struct MaskFormat {
    uint32_t bits, blue, green, red, alpha;
    D3DFORMAT format;
};

// Exact mask sets that map to a stored format; any other set decodes to floats.
const MaskFormat kMaskFormats[] = {
    {16, 0x3, 0x1C, 0xE0, 0xFF00, D3DFMT_A8R3G3B2},
    {16, 0xF, 0xF0, 0xF00, 0xF000, D3DFMT_A4R4G4B4},
    {16, 0xF, 0xF0, 0xF00, 0, D3DFMT_X4R4G4B4},
    {16, 0x1F, 0x7E0, 0xF800, 0, D3DFMT_R5G6B5},
    {16, 0x1F, 0x3E0, 0x7C00, 0, D3DFMT_X1R5G5B5},
    {16, 0x1F, 0x3E0, 0x7C00, 0x8000, D3DFMT_A1R5G5B5},
    {16, 0xFF, 0xFF, 0xFF, 0xFF00, D3DFMT_A8L8},
    {16, 0xFFFF, 0xFFFF, 0xFFFF, 0, D3DFMT_L16},
    {24, 0xFF, 0xFF00, 0xFF0000, 0, D3DFMT_R8G8B8},
    {32, 0, 0xFFFF0000, 0xFFFF, 0, D3DFMT_G16R16},
    {32, 0xFF, 0xFF00, 0xFF0000, 0, D3DFMT_X8R8G8B8},
    {32, 0xFF, 0xFF00, 0xFF0000, 0xFF000000, D3DFMT_A8R8G8B8},
    {32, 0x3FF, 0xFFC00, 0x3FF00000, 0xC0000000, D3DFMT_A2R10G10B10},
    {32, 0xFF00, 0xFF0000, 0xFF000000, 0, D3DFMT_X8R8G8B8},  // stored one byte higher
    {32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000, D3DFMT_A8B8G8R8},
    {32, 0xFF0000, 0xFF00, 0xFF, 0, D3DFMT_X8B8G8R8},
    {32, 0x3FF00000, 0xFFC00, 0x3FF, 0xC0000000, D3DFMT_A2B10G10R10},
};

struct DibHeader {
    uint32_t headerSize = 0;
    uint32_t width = 0, height = 0;
    bool bottomUp = true;
    uint32_t planes = 0, bitCount = 0, compression = 0, colorsUsed = 0;
    uint32_t masks[4] = {};  // red, green, blue, alpha
    uint32_t entrySize = 4;
};

uint32_t TrailingZeros(uint32_t v) {
    uint32_t n = 0;
    while (n < 32 && !(v & (1u << n))) ++n;
    return n;
}

// Parses the information header; `maskBytes` receives the count of mask bytes
// that follow a 40-byte header carrying bit fields.
HRESULT ParseHeader(const BYTE* data, size_t size, DibHeader* h, uint32_t* maskBytes) {
    *maskBytes = 0;
    if (size < 4) return E_FAIL;
    h->headerSize = ReadLe32(data);
    if (h->headerSize > size) return E_FAIL;
    if (h->headerSize == kCoreHeaderSize) {
        h->width = ReadLe16(data + 4);
        h->height = ReadLe16(data + 6);
        h->planes = ReadLe16(data + 8);
        h->bitCount = ReadLe16(data + 10);
        h->entrySize = 3;
        return S_OK;
    }
    if (h->headerSize < kInfoHeaderSize) return E_FAIL;
    const int32_t w = static_cast<int32_t>(ReadLe32(data + 4));
    const int32_t ht = static_cast<int32_t>(ReadLe32(data + 8));
    if (w <= 0 || ht == 0 || ht == INT32_MIN) return E_FAIL;
    h->width = static_cast<uint32_t>(w);
    h->bottomUp = ht > 0;
    h->height = static_cast<uint32_t>(ht > 0 ? ht : -ht);
    h->planes = ReadLe16(data + 12);
    h->bitCount = ReadLe16(data + 14);
    h->compression = ReadLe32(data + 16);
    h->colorsUsed = ReadLe32(data + 32);
    if (h->compression == BiBitFields) {
        // The masks follow a 40-byte header and are part of longer headers;
        // either way they sit at offsets 40, 44, 48 (and 52 for alpha).
        if (h->headerSize < 52) {
            if (size < kInfoHeaderSize + 12) return E_FAIL;
            *maskBytes = 12;
        }
        h->masks[0] = ReadLe32(data + 40);
        h->masks[1] = ReadLe32(data + 44);
        h->masks[2] = ReadLe32(data + 48);
        h->masks[3] = h->headerSize >= 56 ? ReadLe32(data + 52) : 0;
    }
    return S_OK;
}

bool RowSize(uint32_t width, uint32_t bitCount, uint64_t* rowSize) {
    if (bitCount == 1)
        *rowSize = (uint64_t{width} + 7) / 8;
    else if (bitCount == 4)
        *rowSize = (uint64_t{width} + 1) / 2;
    else
        *rowSize = uint64_t{bitCount / 8} * width;
    return true;
}

uint64_t Pad4(uint64_t n) { return (n + 3) & ~uint64_t{3}; }

// Run-length decoding into one index per byte. A run that would pass the
// right edge of its row fails, as does end of data without the end code;
// the end code or a delta past the last row ends decoding.
HRESULT DecodeRle(const BYTE* src, size_t size, bool fourBit, BYTE* out, uint32_t width, uint32_t height,
                  size_t pitch, bool bottomUp) {
    size_t pos = 0;
    uint32_t x = 0, y = 0;  // y counts file rows
    auto fits = [&](uint32_t count) { return uint64_t{x} + count <= width; };
    auto put = [&](BYTE index) {
        const uint32_t row = bottomUp ? height - 1 - y : y;
        out[static_cast<size_t>(row) * pitch + x] = index;
        ++x;
    };
    while (y < height) {
        if (pos + 2 > size) return E_FAIL;
        const uint32_t count = src[pos], value = src[pos + 1];
        pos += 2;
        if (count > 0) {
            if (!fits(count)) return E_FAIL;
            for (uint32_t i = 0; i < count; ++i)
                put(static_cast<BYTE>(fourBit ? ((i & 1) ? (value & 0xF) : (value >> 4)) : value));
            continue;
        }
        if (value == 0) {  // end of line
            x = 0;
            ++y;
        } else if (value == 1) {  // end of bitmap
            return S_OK;
        } else if (value == 2) {  // delta
            if (pos + 2 > size) return E_FAIL;
            x += src[pos];
            y += src[pos + 1];
            pos += 2;
        } else {  // literal run, padded to an even byte count
            const uint32_t bytes = fourBit ? (value + 1) / 2 : value;
            if (pos + bytes > size || !fits(value)) return E_FAIL;
            for (uint32_t i = 0; i < value; ++i) {
                const BYTE b = src[pos + (fourBit ? i / 2 : i)];
                put(static_cast<BYTE>(fourBit ? ((i & 1) ? (b & 0xF) : (b >> 4)) : b));
            }
            pos += (bytes + 1) & ~1u;
        }
    }
    return S_OK;
}

HRESULT ReadDib(SourceImage* image, const BYTE* data, size_t size, uint64_t pixelOffsetHint) {
    DibHeader h;
    uint32_t maskBytes = 0;
    if (FAILED(ParseHeader(data, size, &h, &maskBytes))) return E_FAIL;
    if (h.width == 0 || h.height == 0) return E_FAIL;
    if (h.planes != 1) return E_FAIL;

    uint64_t colors = h.colorsUsed;
    if (colors == 0 && h.bitCount <= 8) colors = uint64_t{1} << h.bitCount;
    const uint64_t paletteOffset = uint64_t{h.headerSize} + maskBytes;
    uint64_t pixelOffset = paletteOffset + colors * h.entrySize;
    if (pixelOffset > size) return E_FAIL;
    // A file header that places the pixels further on (a gap after the palette) is honoured.
    if (pixelOffsetHint > pixelOffset && pixelOffsetHint <= size) pixelOffset = pixelOffsetHint;

    D3DFORMAT format = D3DFMT_UNKNOWN;
    bool floatForm = false, shiftedByte = false;
    if (h.compression < BiBitFields) {
        if (h.compression == BiRle8 && h.bitCount != 8) return E_FAIL;
        if (h.compression == BiRle4 && h.bitCount != 4) return E_FAIL;
        switch (h.bitCount) {
        case 1:
        case 4:
        case 8:
            format = D3DFMT_P8;
            break;
        case 16:
            format = D3DFMT_X1R5G5B5;
            break;
        case 24:
            format = D3DFMT_R8G8B8;
            break;
        case 32:
            format = D3DFMT_X8R8G8B8;
            break;
        default:
            return E_FAIL;
        }
    } else if (h.compression == BiBitFields) {
        if (h.bitCount != 16 && h.bitCount != 24 && h.bitCount != 32) return E_FAIL;
        for (const MaskFormat& m : kMaskFormats) {
            if (m.bits == h.bitCount && m.red == h.masks[0] && m.green == h.masks[1] && m.blue == h.masks[2] &&
                m.alpha == h.masks[3]) {
                format = m.format;
                shiftedByte = m.blue == 0xFF00;
                break;
            }
        }
        if (format == D3DFMT_UNKNOWN) {
            format = D3DFMT_A32B32G32R32F;
            floatForm = true;
        }
    } else {
        return E_FAIL;
    }

    uint64_t fileRow;
    RowSize(h.width, h.bitCount, &fileRow);
    const uint64_t paddedFileRow = Pad4(fileRow);
    const bool compressed = h.compression == BiRle8 || h.compression == BiRle4;
    // Every stored row lies in the file (the last one without its padding);
    // divided rather than multiplied, since a side may take 31 bits.
    if (!compressed && (fileRow > size - pixelOffset ||
                        uint64_t{h.height} - 1 > (size - pixelOffset - fileRow) / paddedFileRow))
        return E_FAIL;

    uint64_t outRow = fileRow;
    if (h.bitCount < 8) outRow = h.width;
    if (floatForm) outRow = uint64_t{16} * h.width;
    const uint64_t pitch = Pad4(outRow);
    size_t total;
    if (pitch > UINT32_MAX || !ImageBytes(pitch, h.height, &total)) return E_FAIL;

    image->format = format;
    image->width = h.width;
    image->height = h.height;
    image->depth = 1;
    image->rowPitch = static_cast<UINT>(pitch);
    image->slicePitch = 0;
    const BYTE* pixelData = data + pixelOffset;
    const size_t pixelBytes = size - pixelOffset;

    if (format == D3DFMT_P8 && image->loadPixels) {
        BYTE* palette = AllocateImageBytes(1024);
        if (!palette) return E_OUTOFMEMORY;
        std::memset(palette, 0xFF, 1024);
        const uint64_t count = colors < 256 ? colors : 256;
        for (uint64_t i = 0; i < count; ++i) {
            const BYTE* e = data + paletteOffset + i * h.entrySize;
            palette[4 * i + 0] = e[2];
            palette[4 * i + 1] = e[1];
            palette[4 * i + 2] = e[0];
            palette[4 * i + 3] = 0xFF;
        }
        image->palette = palette;
        image->ownsPalette = true;
    }

    // 32-bit plain data whose fourth byte is ever set carries alpha.
    if (h.compression == BiRgb && h.bitCount == 32) {
        for (uint32_t y = 0; y < h.height && format == D3DFMT_X8R8G8B8; ++y) {
            const BYTE* row = pixelData + y * paddedFileRow;
            for (uint32_t x = 0; x < h.width; ++x)
                if (row[4 * x + 3] != 0) {
                    format = D3DFMT_A8R8G8B8;
                    break;
                }
        }
        image->format = format;
    }
    if (!image->loadPixels) return S_OK;

    const bool copy = compressed || h.bottomUp || h.bitCount < 8 || floatForm || shiftedByte;
    if (!copy) {
        image->pixels = const_cast<BYTE*>(pixelData);
        image->ownsPixels = false;
        return S_OK;
    }
    BYTE* out = AllocateImageBytes(total);
    if (!out) return E_OUTOFMEMORY;
    std::memset(out, 0, total);
    image->pixels = out;
    image->ownsPixels = true;

    if (compressed)
        return DecodeRle(pixelData, pixelBytes, h.compression == BiRle4, out, h.width, h.height, pitch, h.bottomUp);

    uint32_t shifts[4], maxima[4];
    for (int c = 0; c < 4; ++c) {
        shifts[c] = TrailingZeros(h.masks[c]);
        maxima[c] = h.masks[c] ? h.masks[c] >> shifts[c] : 0;
    }
    // A colour channel without a mask is absent (0); a missing alpha mask means opaque.
    for (uint32_t y = 0; y < h.height; ++y) {
        const BYTE* src = pixelData + y * paddedFileRow;
        BYTE* dst = out + static_cast<size_t>(h.bottomUp ? h.height - 1 - y : y) * pitch;
        if (h.bitCount == 1) {
            for (uint32_t x = 0; x < h.width; ++x) dst[x] = (src[x / 8] >> (7 - (x % 8))) & 1;
        } else if (h.bitCount == 4) {
            for (uint32_t x = 0; x < h.width; ++x) dst[x] = (x & 1) ? (src[x / 2] & 0xF) : (src[x / 2] >> 4);
        } else if (floatForm) {
            float* f = reinterpret_cast<float*>(dst);
            const uint32_t bytes = h.bitCount / 8;
            for (uint32_t x = 0; x < h.width; ++x) {
                const BYTE* p = src + x * bytes;
                uint32_t v = p[0] | (p[1] << 8);
                if (bytes >= 3) v |= static_cast<uint32_t>(p[2]) << 16;
                if (bytes == 4) v |= static_cast<uint32_t>(p[3]) << 24;
                float ch[4];
                for (int c = 0; c < 4; ++c)
                    ch[c] = maxima[c] ? static_cast<float>((v >> shifts[c]) & maxima[c]) *
                                            (1.0f / static_cast<float>(maxima[c]))
                                      : (c < 3 ? 0.0f : 1.0f);
                std::memcpy(f + 4 * x, ch, sizeof(ch));
            }
        } else if (shiftedByte) {
            for (uint32_t x = 0; x < h.width; ++x) {
                const uint32_t v = ReadLe32(src + 4 * x) >> 8;
                std::memcpy(dst + 4 * x, &v, 4);
            }
        } else {
            std::memcpy(dst, src, fileRow);
        }
    }
    return S_OK;
}

}  // namespace

HRESULT ReadDibData(SourceImage* image, const BYTE* data, size_t size) { return ReadDib(image, data, size, 0); }

HRESULT ReadBmpFile(SourceImage* image, const BYTE* data, size_t size) {
    if (size < kFileHeaderSize || data[0] != 'B' || data[1] != 'M') return E_FAIL;
    if (size < ReadLe32(data + 2)) return E_FAIL;
    const uint32_t offBits = ReadLe32(data + 10);
    const uint64_t hint = offBits >= kFileHeaderSize ? offBits - kFileHeaderSize : 0;
    return ReadDib(image, data + kFileHeaderSize, size - kFileHeaderSize, hint);
}
