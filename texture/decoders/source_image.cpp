// SourceImage ownership and the checked size helpers shared by the decoders.
#include "texture/decoders/source_image.h"

#include <cstdlib>

#include "texture/pixels/format_table.h"

SourceImage::~SourceImage() { Reset(); }

void SourceImage::Reset() {
    if (ownsPixels) FreeImageBytes(pixels);
    if (ownsPalette) FreeImageBytes(palette);
    pixels = nullptr;
    palette = nullptr;
    ownsPixels = ownsPalette = false;
    delete nextLevel;
    delete nextFace;
    nextLevel = nullptr;
    nextFace = nullptr;
}

BYTE* AllocateImageBytes(size_t bytes) {
    if (bytes > kMaxImageBytes) return nullptr;
    return static_cast<BYTE*>(std::malloc(bytes ? bytes : 1));
}

void FreeImageBytes(BYTE* bytes) { std::free(bytes); }

bool ImageBytes(size_t a, size_t b, size_t* out) {
    if (a != 0 && b > kMaxImageBytes / a) return false;
    *out = a * b;
    return true;
}

bool ImageBytes(size_t a, size_t b, size_t c, size_t* out) {
    size_t ab;
    return ImageBytes(a, b, &ab) && ImageBytes(ab, c, out);
}

D3DFORMAT MapInternalFormat(D3DFORMAT format) {
    if (format == FormatAL16) return D3DFMT_A8L8;
    if (format == FormatR16G16B16) return D3DFMT_R8G8B8;
    return format;
}
