// PNG through libpng, from memory. Samples arrive in the byte order of the
// target formats (blue first, 16-bit little-endian); 8-bit RGB gets a filler
// byte so it lands as a 32-bit format.
#include <png.h>

#include <cmath>
#include <csetjmp>
#include <cstring>
#include <new>

#include "texture/decoders/source_image.h"
#include "texture/pixels/format_table.h"

namespace {

struct MemorySource {
    const BYTE* data;
    size_t left;
};

void ReadFromMemory(png_structp png, png_bytep out, png_size_t n) {
    MemorySource* src = static_cast<MemorySource*>(png_get_io_ptr(png));
    if (src->left < n) png_error(png, "read error");
    std::memcpy(out, src->data, n);
    src->data += n;
    src->left -= n;
}

void OnError(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void OnWarning(png_structp, png_const_charp) {}

uint32_t ChannelsOf(D3DFORMAT format) {
    switch (static_cast<uint32_t>(format)) {
    case D3DFMT_R8G8B8:
    case FormatR16G16B16:
        return 3;
    case D3DFMT_A8R8G8B8:
    case D3DFMT_X8R8G8B8:
    case D3DFMT_A16B16G16R16:
        return 4;
    case D3DFMT_A8L8:
    case FormatAL16:
        return 2;
    default:
        return 1;
    }
}

// Everything that must survive a jump back from libpng lives here, outside
// the frame that calls setjmp.
struct PngState {
    png_structp png = nullptr;
    png_infop info = nullptr;
    png_bytep* rows = nullptr;
    ~PngState() {
        png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
        delete[] rows;
    }
};

// The palette with gamma applied when the file asked for it; entries past
// the file's count are opaque white.
HRESULT BuildPalette(SourceImage* image, png_structp png, png_infop info, double exponent) {
    BYTE table[256];
    for (int i = 0; i < 256; ++i)
        table[i] = exponent > 0 ? static_cast<BYTE>(static_cast<int>(255.0 * std::pow(i * (1.0 / 255.0), exponent) + 0.5))
                                : static_cast<BYTE>(i);
    BYTE* palette = AllocateImageBytes(1024);
    if (!palette) return E_OUTOFMEMORY;
    std::memset(palette, 0xFF, 1024);
    image->palette = palette;
    image->ownsPalette = true;
    png_colorp entries = nullptr;
    int count = 0;
    if (png_get_valid(png, info, PNG_INFO_PLTE)) png_get_PLTE(png, info, &entries, &count);
    png_bytep alpha = nullptr;
    int alphaCount = 0;
    if (png_get_valid(png, info, PNG_INFO_tRNS)) png_get_tRNS(png, info, &alpha, &alphaCount, nullptr);
    for (int i = 0; i < count && i < 256; ++i) {
        palette[4 * i + 0] = table[entries[i].red];
        palette[4 * i + 1] = table[entries[i].green];
        palette[4 * i + 2] = table[entries[i].blue];
        palette[4 * i + 3] = (alpha && i < alphaCount) ? alpha[i] : 0xFF;
    }
    return S_OK;
}

HRESULT Decode(PngState& s, SourceImage* image, MemorySource* source) {
    if (setjmp(png_jmpbuf(s.png))) return E_FAIL;
    png_set_read_fn(s.png, source, ReadFromMemory);
    png_read_info(s.png, s.info);
    png_uint_32 width = 0, height = 0;
    int bitDepth = 0, colorType = 0;
    png_get_IHDR(s.png, s.info, &width, &height, &bitDepth, &colorType, nullptr, nullptr, nullptr);
    if (width == 0 || height == 0) return E_FAIL;

    D3DFORMAT format;
    switch (colorType) {
    case PNG_COLOR_TYPE_GRAY:
        format = D3DFMT_L8;
        break;
    case PNG_COLOR_TYPE_RGB:
        format = D3DFMT_R8G8B8;
        break;
    case PNG_COLOR_TYPE_PALETTE:
        format = D3DFMT_P8;
        break;
    case PNG_COLOR_TYPE_GRAY_ALPHA:
        format = D3DFMT_A8L8;
        break;
    case PNG_COLOR_TYPE_RGB_ALPHA:
        format = D3DFMT_A8R8G8B8;
        break;
    default:
        return E_FAIL;
    }
    if (bitDepth == 16) {
        png_set_swap(s.png);
        if (format == D3DFMT_R8G8B8)
            format = FormatR16G16B16;
        else if (format == D3DFMT_A8R8G8B8)
            format = D3DFMT_A16B16G16R16;
        else if (format == D3DFMT_L8)
            format = D3DFMT_L16;
        else if (format == D3DFMT_A8L8)
            format = FormatAL16;
        else
            return E_FAIL;
    }
    if (bitDepth < 8) {
        png_set_packing(s.png);
        if (colorType == PNG_COLOR_TYPE_GRAY) png_set_expand_gray_1_2_4_to_8(s.png);
    }

    // Files that declare sRGB are taken as they are; otherwise a gAMA chunk is
    // corrected for a display gamma of 2.2. Palette images correct their
    // palette instead of their samples.
    double paletteExponent = 0;
    int intent = 0;
    double fileGamma = 0;
    if (png_get_sRGB(s.png, s.info, &intent)) {
        png_set_sRGB(s.png, s.info, intent);
    } else if (png_get_gAMA(s.png, s.info, &fileGamma) && fileGamma > 1e-6) {
        if (format == D3DFMT_P8)
            paletteExponent = 1.0 / (2.2 * fileGamma);
        else
            png_set_gamma(s.png, 2.2, fileGamma);
    }

    if (format != D3DFMT_P8 && png_get_valid(s.png, s.info, PNG_INFO_tRNS)) {
        png_set_tRNS_to_alpha(s.png);
        if (format == D3DFMT_R8G8B8)
            format = D3DFMT_A8R8G8B8;
        else if (format == D3DFMT_L8)
            format = D3DFMT_A8L8;
        else if (format == D3DFMT_L16)
            format = FormatAL16;
        else if (format == FormatR16G16B16)
            format = D3DFMT_A16B16G16R16;
    }
    if (format == D3DFMT_R8G8B8 || format == D3DFMT_A8R8G8B8 || format == FormatR16G16B16) png_set_bgr(s.png);
    if (format == D3DFMT_R8G8B8) {
        png_set_filler(s.png, 0xFF, PNG_FILLER_AFTER);
        format = D3DFMT_X8R8G8B8;
    }
    png_set_interlace_handling(s.png);
    png_read_update_info(s.png, s.info);
    if (png_get_channels(s.png, s.info) != ChannelsOf(format)) return E_FAIL;

    const size_t rowBytes = png_get_rowbytes(s.png, s.info);
    size_t total;
    if (rowBytes > UINT32_MAX || !ImageBytes(rowBytes, height, &total)) return E_FAIL;
    // Deflate expands at most 1032:1 and the transforms above at most 16-fold
    // (1-bit grey with transparency to 16-bit grey and alpha); a larger claim
    // cannot be backed by the bytes and is refused before allocating.
    if (total / 1032 / 32 > source->left) return E_FAIL;
    image->format = format;
    image->width = width;
    image->height = height;
    image->depth = 1;
    image->rowPitch = static_cast<UINT>(rowBytes);
    image->slicePitch = 0;
    if (!image->loadPixels) return S_OK;

    const DecodeTarget* target = image->target;
    const bool inPlace = target && target->pixels && target->format == format && format != D3DFMT_P8 &&
                         target->width == width && target->height == height && rowBytes <= target->pitch;
    const size_t pitch = inPlace ? target->pitch : rowBytes;
    BYTE* pixels = inPlace ? target->pixels : AllocateImageBytes(total);
    if (!pixels) return E_OUTOFMEMORY;
    image->pixels = pixels;
    image->ownsPixels = !inPlace;
    image->rowPitch = static_cast<UINT>(pitch);
    s.rows = new (std::nothrow) png_bytep[height];
    if (!s.rows) return E_OUTOFMEMORY;
    for (png_uint_32 y = 0; y < height; ++y) s.rows[y] = pixels + y * pitch;
    png_read_image(s.png, s.rows);
    if (format == D3DFMT_P8) return BuildPalette(image, s.png, s.info, paletteExponent);
    return S_OK;
}

}  // namespace

HRESULT ReadPngFile(SourceImage* image, const BYTE* data, size_t size) {
    if (png_sig_cmp(data, 0, size < 8 ? size : 8) != 0) return E_FAIL;
    PngState state;
    state.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, OnError, OnWarning);
    if (!state.png) return E_OUTOFMEMORY;
    state.info = png_create_info_struct(state.png);
    if (!state.info) return E_OUTOFMEMORY;
    MemorySource source = {data, size};
    return Decode(state, image, &source);
}
