// Builders for small image files used by the texture tests: PNG and JPEG
// through the libraries, the simple formats by hand.
#pragma once

#include <jpeglib.h>
#include <png.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace testimg {

using Bytes = std::vector<uint8_t>;

struct PngOptions {
    int colorType = PNG_COLOR_TYPE_RGB;
    int bitDepth = 8;
    std::vector<png_color> palette;  // palette images
    std::vector<uint8_t> trnsAlpha;  // palette tRNS
    bool greyTrns = false;           // grey/RGB tRNS of sample value trnsValue
    uint16_t trnsValue = 0;
    double gamma = 0;                // gAMA chunk when above 0
    bool srgb = false;
    bool interlace = false;
};

inline void AppendBytes(png_structp png, png_bytep data, png_size_t n) {
    Bytes* out = static_cast<Bytes*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + n);
}
inline void FlushNothing(png_structp) {}

// `samples` holds height rows of packed samples as PNG stores them (16-bit
// samples big-endian, sub-byte samples packed high bits first).
inline Bytes MakePng(uint32_t width, uint32_t height, const PngOptions& o, const Bytes& samples) {
    Bytes out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return {};
    }
    png_set_write_fn(png, &out, AppendBytes, FlushNothing);
    png_set_IHDR(png, info, width, height, o.bitDepth, o.colorType,
                 o.interlace ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (!o.palette.empty()) png_set_PLTE(png, info, o.palette.data(), static_cast<int>(o.palette.size()));
    if (!o.trnsAlpha.empty())
        png_set_tRNS(png, info, o.trnsAlpha.data(), static_cast<int>(o.trnsAlpha.size()), nullptr);
    if (o.greyTrns) {
        png_color_16 c = {};
        c.gray = c.red = c.green = c.blue = o.trnsValue;
        png_set_tRNS(png, info, nullptr, 0, &c);
    }
    if (o.gamma > 0) png_set_gAMA(png, info, o.gamma);
    if (o.srgb) png_set_sRGB(png, info, 0);
    png_write_info(png, info);
    const size_t rowBytes = png_get_rowbytes(png, info);
    std::vector<png_bytep> rows(height);
    for (uint32_t y = 0; y < height; ++y) rows[y] = const_cast<uint8_t*>(samples.data()) + y * rowBytes;
    png_write_image(png, rows.data());
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return out;
}

// 8-bit RGB or grey JPEG (components 3 or 1) at the given quality.
inline Bytes MakeJpeg(uint32_t width, uint32_t height, int components, const Bytes& samples, int quality = 95) {
    jpeg_compress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = width;
    cinfo.image_height = height;
    cinfo.input_components = components;
    cinfo.in_color_space = components == 3 ? JCS_RGB : JCS_GRAYSCALE;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < height) {
        JSAMPROW row = const_cast<uint8_t*>(samples.data()) + cinfo.next_scanline * width * components;
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    Bytes out(buffer, buffer + size);
    free(buffer);
    return out;
}

inline void Put16(Bytes& b, size_t at, uint32_t v) {
    if (b.size() < at + 2) b.resize(at + 2);
    b[at] = v & 0xFF, b[at + 1] = (v >> 8) & 0xFF;
}
inline void Put32(Bytes& b, size_t at, uint32_t v) {
    if (b.size() < at + 4) b.resize(at + 4);
    for (int i = 0; i < 4; ++i) b[at + i] = (v >> (8 * i)) & 0xFF;
}
inline void Append(Bytes& b, const Bytes& more) { b.insert(b.end(), more.begin(), more.end()); }

// A BMP file: 14-byte file header, a 40-byte (or longer) info header, the
// palette (BGRX entries) and the pixel bytes as given.
struct BmpOptions {
    int32_t width = 1, height = 1;
    uint16_t bitCount = 24;
    uint32_t compression = 0;
    uint32_t headerSize = 40;
    std::vector<uint32_t> palette;  // 0x00RRGGBB
    uint32_t masks[4] = {0, 0, 0, 0};  // red, green, blue, alpha (headers of 56+ bytes)
    uint32_t colorsUsed = 0;
};

inline Bytes MakeBmp(const BmpOptions& o, const Bytes& pixels) {
    Bytes dib(o.headerSize, 0);
    Put32(dib, 0, o.headerSize);
    Put32(dib, 4, static_cast<uint32_t>(o.width));
    Put32(dib, 8, static_cast<uint32_t>(o.height));
    Put16(dib, 12, 1);
    Put16(dib, 14, o.bitCount);
    Put32(dib, 16, o.compression);
    Put32(dib, 32, o.colorsUsed);
    if (o.headerSize >= 52) {
        Put32(dib, 40, o.masks[0]);
        Put32(dib, 44, o.masks[1]);
        Put32(dib, 48, o.masks[2]);
    }
    if (o.headerSize >= 56) Put32(dib, 52, o.masks[3]);
    for (uint32_t c : o.palette) {
        const size_t at = dib.size();
        Put32(dib, at, c);
    }
    Bytes file(14, 0);
    file[0] = 'B', file[1] = 'M';
    Put32(file, 2, static_cast<uint32_t>(14 + dib.size() + pixels.size()));
    Put32(file, 10, static_cast<uint32_t>(14 + dib.size()));
    Append(file, dib);
    Append(file, pixels);
    return file;
}

// An 18-byte TGA header followed by the colour map and pixels as given.
inline Bytes MakeTga(uint8_t imageType, uint16_t width, uint16_t height, uint8_t pixelBits, uint8_t descriptor,
                     const Bytes& body, uint8_t mapType = 0, uint16_t mapFirst = 0, uint16_t mapLength = 0,
                     uint8_t mapBits = 0) {
    Bytes b(18, 0);
    b[1] = mapType;
    b[2] = imageType;
    Put16(b, 3, mapFirst);
    Put16(b, 5, mapLength);
    b[7] = mapBits;
    Put16(b, 12, width);
    Put16(b, 14, height);
    b[16] = pixelBits;
    b[17] = descriptor;
    Append(b, body);
    return b;
}

// A DDS header with the given pixel-format block, followed by the body.
struct DdsOptions {
    uint32_t width = 4, height = 4, depth = 0, mips = 0, flags = 0x1007, caps2 = 0;
    uint32_t pfFlags = 0x41, fourCC = 0, bits = 32;
    uint32_t masks[4] = {0xFF0000, 0xFF00, 0xFF, 0xFF000000};  // red, green, blue, alpha
    uint32_t pfSize = 32;
};

inline Bytes MakeDds(const DdsOptions& o, const Bytes& body) {
    Bytes b(128, 0);
    Put32(b, 0, 0x20534444);
    Put32(b, 4, 124);
    Put32(b, 8, o.flags);
    Put32(b, 12, o.height);
    Put32(b, 16, o.width);
    Put32(b, 24, o.depth);
    Put32(b, 28, o.mips);
    Put32(b, 76, o.pfSize);
    Put32(b, 80, o.pfFlags);
    Put32(b, 84, o.fourCC);
    Put32(b, 88, o.bits);
    for (int i = 0; i < 4; ++i) Put32(b, 92 + 4 * i, o.masks[i]);
    Put32(b, 108, 0x1000);
    Put32(b, 112, o.caps2);
    Append(b, body);
    return b;
}

inline Bytes FromString(const std::string& s) { return Bytes(s.begin(), s.end()); }

}  // namespace testimg
