// The frame shared by the image writers: format lists per file kind, the
// conversion of a node chain, storage addressing and the output file.
#include <cstring>

#include "texture/decoders/dds_format.h"
#include "texture/decoders/image_writer.h"
#include "texture/pixels/format_table.h"
#include "texture/pixels/image_resampler.h"

namespace {

const D3DFORMAT kBitmapFormats[] = {
    D3DFMT_P8,          D3DFMT_L8,          D3DFMT_R3G3B2,      D3DFMT_R8G8B8,   D3DFMT_X1R5G5B5,
    D3DFMT_X8R8G8B8,    D3DFMT_A8R8G8B8,    D3DFMT_R5G6B5,      D3DFMT_X4R4G4B4, D3DFMT_A1R5G5B5,
    D3DFMT_A4R4G4B4,    D3DFMT_L16,         D3DFMT_A8L8,        D3DFMT_A8R3G3B2, D3DFMT_X8B8G8R8,
    D3DFMT_A8B8G8R8,    D3DFMT_A2B10G10R10, D3DFMT_A2R10G10B10, D3DFMT_G16R16,   D3DFMT_UNKNOWN,
};

const D3DFORMAT kJpegFormats[] = {D3DFMT_X8R8G8B8, D3DFMT_UNKNOWN};

// Bytes of one whole level (all slices) in tightly packed storage; false when
// the size is beyond what one image may hold.
bool LevelBytes(D3DFORMAT format, uint32_t width, uint32_t height, uint32_t depth, uint32_t* rowPitch,
                uint32_t* slicePitch, size_t* total) {
    const uint32_t row = StorageRowBytes(format, width);
    size_t slice;
    if (row == 0 || !ImageBytes(row, StorageRowCount(format, height), &slice) || !ImageBytes(slice, depth, total) ||
        slice > UINT32_MAX)
        return false;
    *rowPitch = row;
    *slicePitch = static_cast<uint32_t>(slice);
    return true;
}

HRESULT ConvertNode(SourceImage* node, D3DFORMAT format) {
    if (node->format == format) return S_OK;
    uint32_t rowPitch, slicePitch;
    size_t total;
    if (!LevelBytes(format, node->box.Width(), node->box.Height(), node->box.Depth(), &rowPitch, &slicePitch, &total))
        return E_OUTOFMEMORY;
    BYTE* pixels = AllocateImageBytes(total);
    if (!pixels) return E_OUTOFMEMORY;
    std::memset(pixels, 0, total);

    ImageView src;
    src.pixels = node->pixels;
    src.format = node->format;
    src.rowPitch = node->rowPitch;
    src.slicePitch = node->slicePitch;
    src.extent = src.region = node->box;
    src.palette = node->palette;
    ImageView dst;
    dst.pixels = pixels;
    dst.format = format;
    dst.rowPitch = rowPitch;
    dst.slicePitch = slicePitch;
    dst.extent = dst.region = ImageBox{0, 0, node->box.Width(), node->box.Height(), 0, node->box.Depth()};
    ImageResampler resampler;
    const HRESULT hr = resampler.Run(dst, src, TexFilterNone | TexFilterDither);
    if (FAILED(hr)) {
        FreeImageBytes(pixels);
        return hr;
    }
    if (node->ownsPixels) FreeImageBytes(node->pixels);
    node->pixels = pixels;
    node->ownsPixels = true;
    node->format = format;
    node->rowPitch = rowPitch;
    node->slicePitch = slicePitch;
    node->box = dst.region;
    return S_OK;
}

}  // namespace

void ImageFileOutput::Write(const void* bytes, size_t count) {
    if (ok_ && count > 0 && std::fwrite(bytes, 1, count, file_) != count) ok_ = false;
}

void ImageFileOutput::Zeros(size_t count) {
    static const BYTE kZeros[64] = {};
    while (count > 0) {
        const size_t n = count < sizeof(kZeros) ? count : sizeof(kZeros);
        Write(kZeros, n);
        count -= n;
    }
}

void ImageFileOutput::Le16(uint32_t value) {
    const BYTE bytes[2] = {static_cast<BYTE>(value), static_cast<BYTE>(value >> 8)};
    Write(bytes, 2);
}

void ImageFileOutput::Le32(uint32_t value) {
    const BYTE bytes[4] = {static_cast<BYTE>(value), static_cast<BYTE>(value >> 8), static_cast<BYTE>(value >> 16),
                           static_cast<BYTE>(value >> 24)};
    Write(bytes, 4);
}

const D3DFORMAT* WritableFormats(ImageFileKind kind) {
    switch (kind) {
    case ImageFileBmp:
    case ImageFileDib:
        return kBitmapFormats;
    case ImageFileJpg:
        return kJpegFormats;
    case ImageFileDds:
        return DdsFormatList();
    default:
        return nullptr;
    }
}

uint32_t StorageRowBytes(D3DFORMAT format, uint32_t width) {
    if (const uint32_t block = BlockBytes(format)) return (width + 3) / 4 * block;
    if (IsPairFormat(format)) return (width + 1) / 2 * 4;
    const FormatTraits* traits = FindFormatTraits(format);
    return traits ? width * (traits->bits / 8) : 0;
}

uint32_t StorageRowCount(D3DFORMAT format, uint32_t height) {
    return IsBlockFormat(format) ? (height + 3) / 4 : height;
}

const BYTE* NodeStorageRow(const SourceImage& node, uint32_t row, uint32_t slice) {
    // The box starts inside the first block or pair for those formats: the
    // locks that describe such nodes align them, so the offset rounds down.
    size_t x;
    uint32_t top = node.box.top;
    if (const uint32_t block = BlockBytes(node.format)) {
        x = size_t{node.box.left / 4} * block;
        top /= 4;
    } else if (IsPairFormat(node.format)) {
        x = size_t{node.box.left / 2} * 4;
    } else {
        x = size_t{node.box.left} * (FormatTraitsOrDefault(node.format).bits / 8);
    }
    return node.pixels + x + size_t{top + row} * node.rowPitch + size_t{node.box.front + slice} * node.slicePitch;
}

HRESULT ConvertImageChain(SourceImage* image, D3DFORMAT format) {
    for (SourceImage* face = image; face; face = face->nextFace)
        for (SourceImage* node = face; node; node = node->nextLevel) {
            const HRESULT hr = ConvertNode(node, format);
            if (FAILED(hr)) return hr;
        }
    return S_OK;
}

HRESULT WriteImageChainToFile(const char* path, ImageFileKind kind, SourceImage* image, const PALETTEENTRY* palette) {
    if (!path || !image) return D3DERR_INVALIDCALL;
    const D3DFORMAT* list = WritableFormats(kind);
    if (!list) return D3DERR_INVALIDCALL;
    const FormatTraits* wanted = FindFormatTraits(image->format);
    if (!wanted) return D3DERR_INVALIDCALL;
    const D3DFORMAT format = NearestFormatInList(list, palette != nullptr, *wanted);
    if (format == D3DFMT_UNKNOWN) return D3DERR_INVALIDCALL;
    HRESULT hr = ConvertImageChain(image, format);
    if (FAILED(hr)) return hr;

    std::FILE* file = std::fopen(path, "wb");
    if (!file) return ERR_INVALID_DATA;
    ImageFileOutput out(file);
    switch (kind) {
    case ImageFileJpg:
        hr = WriteJpeg(file, *image);
        break;
    case ImageFileDds:
        hr = WriteDds(out, *image, palette);
        break;
    default:
        hr = WriteBitmap(out, *image, palette, kind == ImageFileBmp);
        break;
    }
    if (SUCCEEDED(hr) && !out.ok()) hr = ERR_INVALID_DATA;
    if (std::fclose(file) != 0 && SUCCEEDED(hr)) hr = ERR_INVALID_DATA;
    if (FAILED(hr)) std::remove(path);
    return hr;
}
