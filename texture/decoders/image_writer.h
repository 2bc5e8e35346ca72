// Writing a chain of SourceImage nodes to an image file: the file kinds that
// can be written, the conversion of every node to a format the kind holds,
// and one writer per kind.
#pragma once

#include <cstdio>

#include "texture/decoders/source_image.h"

// An output file that remembers the first failed write, so that writers can
// put their fields one after another and test once at the end.
class ImageFileOutput {
public:
    explicit ImageFileOutput(std::FILE* file) : file_(file) {}
    void Write(const void* bytes, size_t count);
    void Zeros(size_t count);
    void Le16(uint32_t value);
    void Le32(uint32_t value);
    bool ok() const { return ok_; }

private:
    std::FILE* file_;
    bool ok_ = true;
};

// The writable formats of a file kind as a zero-terminated list, or null when
// the kind is not written (Tga, Png, Ppm).
const D3DFORMAT* WritableFormats(ImageFileKind kind);

// Converts every node of the chain (levels and faces) whose format is not
// `format` into owned pixels of that format, with ordered dithering.
HRESULT ConvertImageChain(SourceImage* image, D3DFORMAT format);

// Steps after the source is described: choose the nearest format of the kind,
// convert, create the file and run the writer. The palette (256 entries red,
// green, blue, flags) is the caller's, or null. A writer that fails removes
// the file it created, so that no half-written image is left behind.
HRESULT WriteImageChainToFile(const char* path, ImageFileKind kind, SourceImage* image, const PALETTEENTRY* palette);

// The writers proper; each returns S_OK, E_FAIL (a format without a layout, a
// compressor failure) or ERR_INVALID_DATA when the file cannot be written.
HRESULT WriteBitmap(ImageFileOutput& out, const SourceImage& node, const PALETTEENTRY* palette, bool fileHeader);
HRESULT WriteJpeg(std::FILE* file, const SourceImage& node);
HRESULT WriteDds(ImageFileOutput& out, const SourceImage& image, const PALETTEENTRY* palette);

// Start of storage row `row` of slice `slice` within the node's box: a row of
// pixels, or a row of 4x4 blocks for block formats.
const BYTE* NodeStorageRow(const SourceImage& node, uint32_t row, uint32_t slice);
// Bytes of one storage row of `width` pixels: whole blocks, whole pixel pairs
// or whole pixels; 0 for a format without a size.
uint32_t StorageRowBytes(D3DFORMAT format, uint32_t width);
// Storage rows of `height` pixel rows (a row of blocks covers four).
uint32_t StorageRowCount(D3DFORMAT format, uint32_t height);
