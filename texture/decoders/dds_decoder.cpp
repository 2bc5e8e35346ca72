// DDS surfaces: textures, cube maps and volumes with their mip chains, in the
// formats of the classic header. Every node points into the file bytes.
#include "texture/decoders/dds_format.h"

#include <new>

#include "texture/decoders/source_image.h"
#include "texture/pixels/format_table.h"

namespace {

constexpr uint32_t kMagic = 0x20534444;  // "DDS "
constexpr size_t kHeaderEnd = 128;
constexpr uint32_t kDepthFlag = 0x800000;
constexpr uint32_t kCubeFaces = 0xFC00;
// A full mip chain of a 32-bit side has 32 levels; more cannot be meant.
constexpr uint32_t kMaxMipLevels = 32;

// Row pitch and slice size of one level; false when either exceeds 32 bits.
// The row is checked before the slice is formed, so neither product wraps.
bool LevelSize(D3DFORMAT format, uint32_t bits, uint32_t w, uint32_t h, uint64_t* rowPitch, uint64_t* slice) {
    uint64_t rows = h;
    if (const uint32_t block = BlockBytes(format)) {
        *rowPitch = uint64_t{block} * ((uint64_t{w} + 3) / 4);
        rows = (uint64_t{h} + 3) / 4;
    } else if (IsPairFormat(format)) {
        *rowPitch = 4 * ((uint64_t{w} + 1) / 2);
    } else {
        *rowPitch = uint64_t{w} * bits / 8;
    }
    if (*rowPitch > UINT32_MAX) return false;
    *slice = *rowPitch * rows;
    return *slice <= UINT32_MAX;
}

}  // namespace

HRESULT ReadDdsFile(SourceImage* image, const BYTE* data, size_t size) {
    if (size < 4 || ReadLe32(data) != kMagic || size < kHeaderEnd) return E_FAIL;
    const uint32_t flags = ReadLe32(data + 8);
    uint32_t height = ReadLe32(data + 12), width = ReadLe32(data + 16);
    const bool volume = (flags & kDepthFlag) != 0;
    uint32_t depth = volume ? ReadLe32(data + 24) : 1;
    uint32_t mips = ReadLe32(data + 28);
    if (height == 0) height = 1;
    if (width == 0) width = 1;
    if (depth == 0) depth = 1;
    if (mips == 0) mips = 1;
    // No side limit of its own: every level must lie in the file's bytes.
    if (mips > kMaxMipLevels) return E_FAIL;
    const uint32_t faceBits = ReadLe32(data + 112) & kCubeFaces;
    // A cube map has all six faces, and they are square.
    if (faceBits != 0 && (faceBits != kCubeFaces || width != height)) return E_FAIL;
    const uint32_t faces = faceBits ? 6 : 1;

    D3DFORMAT format;
    if (FAILED(DdsFormatFromPixelFormat(data + 76, &format))) return E_FAIL;
    const FormatTraits& traits = FormatTraitsOrDefault(format);

    size_t pos = kHeaderEnd;
    const BYTE* palette = nullptr;
    if (traits.cls == FormatClass::Palette) {
        if (size - pos < 1024) return E_FAIL;
        palette = data + pos;
        pos += 1024;
    }

    image->resourceType = volume ? D3DRTYPE_VOLUMETEXTURE : (faces == 6 ? D3DRTYPE_CUBETEXTURE : D3DRTYPE_TEXTURE);
    SourceImage* face = image;
    for (uint32_t f = 0; f < faces; ++f) {
        if (f > 0) {
            face->nextFace = new (std::nothrow) SourceImage;
            if (!face->nextFace) return E_OUTOFMEMORY;
            face = face->nextFace;
        }
        uint32_t w = width, h = height, d = depth;
        SourceImage* node = face;
        for (uint32_t level = 0; level < mips; ++level) {
            if (level > 0) {
                node->nextLevel = new (std::nothrow) SourceImage;
                if (!node->nextLevel) return E_OUTOFMEMORY;
                node = node->nextLevel;
            }
            uint64_t rowPitch, slice;
            if (!LevelSize(format, traits.bits, w, h, &rowPitch, &slice)) return E_FAIL;
            const uint64_t bytes = slice * d;
            if (bytes > size - pos) return E_FAIL;
            node->format = format;
            node->pixels = const_cast<BYTE*>(data + pos);
            node->palette = const_cast<BYTE*>(palette);
            node->width = w;
            node->height = h;
            node->depth = d;
            node->rowPitch = static_cast<UINT>(rowPitch);
            node->slicePitch = static_cast<UINT>(slice);
            node->resourceType = image->resourceType;
            node->fileKind = image->fileKind;
            pos += static_cast<size_t>(bytes);
            w = w > 1 ? w / 2 : 1;
            h = h > 1 ? h / 2 : 1;
            d = d > 1 ? d / 2 : 1;
        }
    }
    return S_OK;
}
