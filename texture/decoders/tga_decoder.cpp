// Truevision Targa: colour-mapped, true-colour and grey images, plain or
// run-length encoded. Plain top-left images are used in place.
#include <cstring>

#include "texture/decoders/source_image.h"

namespace {

constexpr size_t kHeaderSize = 18;

D3DFORMAT FormatForDepth(uint32_t bits) {
    switch (bits) {
    case 15:
        return D3DFMT_X1R5G5B5;
    case 16:
        return D3DFMT_A1R5G5B5;
    case 24:
        return D3DFMT_R8G8B8;
    case 32:
        return D3DFMT_A8R8G8B8;
    default:
        return D3DFMT_UNKNOWN;
    }
}

BYTE Widen5(uint32_t v) { return static_cast<BYTE>((v << 3) | (v >> 2)); }

HRESULT ReadPalette(SourceImage* image, const BYTE* map, uint32_t first, uint32_t length, uint32_t entryBits) {
    if (uint64_t{first} + length > 256) return E_FAIL;
    BYTE* palette = AllocateImageBytes(1024);
    if (!palette) return E_OUTOFMEMORY;
    std::memset(palette, 0xFF, 1024);
    image->palette = palette;
    image->ownsPalette = true;
    const uint32_t entryBytes = (entryBits + 7) / 8;
    bool allAlphaZero = true;
    for (uint32_t i = 0; i < length; ++i) {
        const BYTE* e = map + static_cast<size_t>(i) * entryBytes;
        BYTE* out = palette + 4 * (first + i);
        if (entryBits == 24 || entryBits == 32) {
            out[0] = e[2], out[1] = e[1], out[2] = e[0];
            out[3] = entryBits == 32 ? e[3] : 0xFF;
        } else {
            const uint32_t v = ReadLe16(e);
            out[0] = Widen5((v >> 10) & 0x1F), out[1] = Widen5((v >> 5) & 0x1F), out[2] = Widen5(v & 0x1F);
            out[3] = entryBits == 15 ? 0xFF : ((v & 0x8000) ? 0xFF : 0);
        }
        if (out[3] != 0) allAlphaZero = false;
    }
    if (allAlphaZero)
        for (uint32_t i = 0; i < length; ++i) palette[4 * (first + i) + 3] = 0xFF;
    return S_OK;
}

// Decodes pixels into out: run-length packets when rle is set; rows fill from
// the bottom for bottom-up images and from the right for right-to-left ones.
// A packet that runs past the end of a row carries on into the next row.
HRESULT DecodePixels(const BYTE* src, size_t size, bool rle, uint32_t bpp, uint32_t width, uint32_t height,
                     bool bottomUp, bool rightToLeft, BYTE* out) {
    const size_t total = static_cast<size_t>(width) * height;
    size_t pos = 0, n = 0;
    auto put = [&](const BYTE* pixel) {
        const size_t fileRow = n / width, fileCol = n % width;
        const size_t row = bottomUp ? height - 1 - fileRow : fileRow;
        const size_t col = rightToLeft ? width - 1 - fileCol : fileCol;
        std::memcpy(out + (row * width + col) * bpp, pixel, bpp);
        ++n;
    };
    while (n < total) {
        if (!rle) {
            if (pos + bpp > size) return E_FAIL;
            put(src + pos);
            pos += bpp;
            continue;
        }
        if (pos + 1 > size) return E_FAIL;
        const BYTE header = src[pos++];
        const size_t count = (header & 0x7Fu) + 1;
        if (header & 0x80) {
            if (pos + bpp > size) return E_FAIL;
            for (size_t i = 0; i < count && n < total; ++i) put(src + pos);
            pos += bpp;
        } else {
            for (size_t i = 0; i < count && n < total; ++i) {
                if (pos + bpp > size) return E_FAIL;
                put(src + pos);
                pos += bpp;
            }
        }
    }
    return S_OK;
}

}  // namespace

HRESULT ReadTgaFile(SourceImage* image, const BYTE* data, size_t size) {
    if (size <= 17) return E_FAIL;
    const uint32_t idLength = data[0], mapType = data[1], imageType = data[2];
    const uint32_t mapFirst = ReadLe16(data + 3), mapLength = ReadLe16(data + 5), mapBits = data[7];
    const uint32_t width = ReadLe16(data + 12), height = ReadLe16(data + 14);
    const uint32_t pixelBits = data[16], descriptor = data[17];
    if (mapType >= 2 || (imageType & 0xF4) != 0 || width == 0 || height == 0) return E_FAIL;
    // A descriptor that declares no attribute bits makes 16-bit colour
    // 15-bit: the top bit is then not alpha, and the image loads opaque as
    // X1R5G5B5. Many writers leave that bit clear in files without alpha, so
    // reading it as A1R5G5B5 would make such an image wholly transparent. This
    // is a deliberate choice over treating every 16-bit file as A1R5G5B5.
    const bool noAttributes = (descriptor & 0x0F) == 0;
    const uint32_t mapDepth = noAttributes && mapBits == 16 ? 15 : mapBits;
    const uint32_t pixelDepth = noAttributes && pixelBits == 16 ? 15 : pixelBits;

    D3DFORMAT mapFormat = D3DFMT_UNKNOWN;
    if (mapType == 1) {
        mapFormat = FormatForDepth(mapDepth);
        if (mapFormat == D3DFMT_UNKNOWN) return E_FAIL;
    }
    D3DFORMAT format = D3DFMT_UNKNOWN;
    uint32_t bpp = 0;
    switch (imageType & 3) {
    case 1:
        if (mapType != 1 || pixelBits != 8) return E_FAIL;
        format = D3DFMT_P8, bpp = 1;
        break;
    case 2:
        format = FormatForDepth(pixelDepth);
        bpp = (pixelBits + 7) / 8;
        break;
    case 3:
        if (pixelBits != 8) return E_FAIL;
        format = D3DFMT_L8, bpp = 1;
        break;
    default:
        return E_FAIL;
    }
    if (format == D3DFMT_UNKNOWN) return E_FAIL;

    const uint64_t mapBytes = mapType == 1 ? uint64_t{mapLength} * ((mapBits + 7) / 8) : 0;
    const uint64_t dataStart = kHeaderSize + idLength + mapBytes;
    if (dataStart > size) return E_FAIL;

    image->format = format;
    image->width = width;
    image->height = height;
    image->depth = 1;
    image->rowPitch = bpp * width;
    image->slicePitch = 0;
    if (!image->loadPixels) return S_OK;

    if (format == D3DFMT_P8) {
        HRESULT hr = ReadPalette(image, data + kHeaderSize + idLength, mapFirst, mapLength, mapDepth);
        if (FAILED(hr)) return hr;
    }

    const BYTE* src = data + dataStart;
    const size_t srcSize = size - static_cast<size_t>(dataStart);
    const bool rle = (imageType & 8) != 0;
    const bool bottomUp = (descriptor & 0x20) == 0;
    const bool rightToLeft = (descriptor & 0x10) != 0;
    size_t total;
    if (!ImageBytes(size_t{width} * height, bpp, &total)) return E_FAIL;
    if (!rle && !bottomUp && !rightToLeft) {
        if (total > srcSize) return E_FAIL;
        image->pixels = const_cast<BYTE*>(src);
    } else {
        // Runs can only repeat pixels, so a stream cannot describe more than
        // 128 pixels per byte; refusing larger claims bounds the allocation.
        if (rle ? total / bpp > srcSize * 128 : total > srcSize) return E_FAIL;
        BYTE* out = AllocateImageBytes(total);
        if (!out) return E_OUTOFMEMORY;
        image->pixels = out;
        image->ownsPixels = true;
        HRESULT hr = DecodePixels(src, srcSize, rle, bpp, width, height, bottomUp, rightToLeft, out);
        if (FAILED(hr)) return hr;
    }

    // Alpha that is zero everywhere carries no meaning.
    if (format == D3DFMT_A8R8G8B8 || format == D3DFMT_A1R5G5B5) {
        bool anyAlpha = false;
        for (size_t i = 0; i < size_t{width} * height && !anyAlpha; ++i) {
            const BYTE* p = image->pixels + i * bpp;
            anyAlpha = format == D3DFMT_A8R8G8B8 ? p[3] != 0 : (p[1] & 0x80) != 0;
        }
        if (!anyAlpha) image->format = format == D3DFMT_A8R8G8B8 ? D3DFMT_X8R8G8B8 : D3DFMT_X1R5G5B5;
    }
    return S_OK;
}
