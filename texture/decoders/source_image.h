// The decoded form of an image file: a chain of nodes, one per mip level and
// per cube face, each describing pixels in one pixel format. Pixels either
// point into the file bytes or are owned by the node.
#pragma once

#include "gfx/d3d9.h"
#include "texture/image_file_info.h"
#include "texture/pixels/image_view.h"

// Memory that a decoder may write its pixels into directly, when its output
// has exactly this format and size: the node then points there and owns
// nothing, and the copy into a texture level is saved.
struct DecodeTarget {
    BYTE* pixels = nullptr;
    UINT pitch = 0;
    D3DFORMAT format = D3DFMT_UNKNOWN;
    UINT width = 0, height = 0;
};

struct SourceImage {
    SourceImage() = default;
    ~SourceImage();
    SourceImage(const SourceImage&) = delete;
    SourceImage& operator=(const SourceImage&) = delete;

    // Frees owned memory and the level and face chains; keeps loadPixels.
    void Reset();

    D3DFORMAT format = D3DFMT_UNKNOWN;
    BYTE* pixels = nullptr;
    BYTE* palette = nullptr;  // 256 entries red, green, blue, alpha
    UINT width = 0, height = 0, depth = 0;
    ImageBox box;
    UINT rowPitch = 0;
    UINT slicePitch = 0;
    bool ownsPixels = false;
    bool ownsPalette = false;
    bool loadPixels = true;
    // Kept by Reset, like loadPixels; only the PNG decoder honours it.
    const DecodeTarget* target = nullptr;
    D3DRESOURCETYPE resourceType = D3DRTYPE_TEXTURE;
    ImageFileKind fileKind = ImageFileBmp;
    SourceImage* nextLevel = nullptr;
    SourceImage* nextFace = nullptr;
};

// Owned buffers are allocated with these (malloc-based, null on failure) so
// that no exception escapes a decoder.
BYTE* AllocateImageBytes(size_t bytes);
void FreeImageBytes(BYTE* bytes);

// Checked size arithmetic: false when the product does not fit in size_t or
// exceeds the byte ceiling of one decoded image.
bool ImageBytes(size_t a, size_t b, size_t* out);
bool ImageBytes(size_t a, size_t b, size_t c, size_t* out);

// Ceiling of a single decoded buffer: 1 GiB. A 16384 x 16384 image of 4-byte
// pixels fits; anything a declared header could ask beyond that is refused
// before allocation. It is the only size limit: a side may be as long as the
// ceiling allows (a 70000 x 1 strip loads), and since every decoded row fits
// in it, a row pitch always fits 32 bits.
constexpr size_t kMaxImageBytes = size_t{1} << 30;

// Runs the decoders in trial order on the bytes of an image file.
// data null or size 0: D3DERR_INVALIDCALL; info null and !loadPixels: S_OK at
// once; no decoder accepts the bytes: ERR_INVALID_DATA.
HRESULT ReadImageFile(SourceImage* image, const void* data, size_t size, ImageFileInfo* info, bool loadPixels);

// The decoders; each returns S_OK, E_FAIL (not this kind, or malformed) or E_OUTOFMEMORY.
HRESULT ReadBmpFile(SourceImage* image, const BYTE* data, size_t size);
HRESULT ReadDibData(SourceImage* image, const BYTE* data, size_t size);
HRESULT ReadJpegFile(SourceImage* image, const BYTE* data, size_t size);
HRESULT ReadTgaFile(SourceImage* image, const BYTE* data, size_t size);
HRESULT ReadPngFile(SourceImage* image, const BYTE* data, size_t size);
HRESULT ReadDdsFile(SourceImage* image, const BYTE* data, size_t size);
HRESULT ReadPpmFile(SourceImage* image, const BYTE* data, size_t size);

// Maps the decoders' internal formats to real ones (AL16 to A8L8, R16G16B16 to R8G8B8).
D3DFORMAT MapInternalFormat(D3DFORMAT format);

// Little-endian field reads from file bytes.
inline uint16_t ReadLe16(const BYTE* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t ReadLe32(const BYTE* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}
