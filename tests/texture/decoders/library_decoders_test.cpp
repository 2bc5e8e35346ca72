// PNG and JPEG decoding through the libraries, on files made by the libraries.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>

#include "tests/texture/test_image_files.h"
#include "texture/decoders/source_image.h"
#include "texture/pixels/format_table.h"

using namespace testimg;

namespace {

HRESULT Decode(SourceImage& img, const Bytes& file) { return ReadImageFile(&img, file.data(), file.size(), nullptr, true); }

TEST(PngDecoder, ColourTypesLandOnTheirFormats) {
    struct Case {
        const char* what;
        int colorType, bitDepth;
        D3DFORMAT format;
        uint32_t rowPitch;
    } cases[] = {
        {"rgb", PNG_COLOR_TYPE_RGB, 8, D3DFMT_X8R8G8B8, 8},
        {"rgba", PNG_COLOR_TYPE_RGB_ALPHA, 8, D3DFMT_A8R8G8B8, 8},
        {"rgba16", PNG_COLOR_TYPE_RGB_ALPHA, 16, D3DFMT_A16B16G16R16, 16},
        {"rgb16", PNG_COLOR_TYPE_RGB, 16, FormatR16G16B16, 12},
        {"grey", PNG_COLOR_TYPE_GRAY, 8, D3DFMT_L8, 2},
        {"grey16", PNG_COLOR_TYPE_GRAY, 16, D3DFMT_L16, 4},
        {"grey-alpha", PNG_COLOR_TYPE_GRAY_ALPHA, 8, D3DFMT_A8L8, 4},
        {"grey-alpha16", PNG_COLOR_TYPE_GRAY_ALPHA, 16, FormatAL16, 8},
    };
    for (const Case& c : cases) {
        PngOptions o;
        o.colorType = c.colorType, o.bitDepth = c.bitDepth;
        const int channels = c.colorType == PNG_COLOR_TYPE_RGB ? 3 : c.colorType == PNG_COLOR_TYPE_RGB_ALPHA ? 4
                             : c.colorType == PNG_COLOR_TYPE_GRAY ? 1 : 2;
        Bytes samples(2 * 2 * channels * c.bitDepth / 8);
        for (size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<uint8_t>(i * 16 + 1);
        SourceImage img;
        ASSERT_EQ(Decode(img, MakePng(2, 2, o, samples)), S_OK) << c.what;
        EXPECT_EQ(img.fileKind, ImageFilePng) << c.what;
        EXPECT_EQ(img.format, c.format) << c.what;
        EXPECT_EQ(img.rowPitch, c.rowPitch) << c.what;
    }
}

TEST(PngDecoder, RgbArrivesBlueFirstWithOpaqueFiller) {
    PngOptions o;
    SourceImage img;
    ASSERT_EQ(Decode(img, MakePng(1, 1, o, {10, 20, 30})), S_OK);
    const uint8_t expected[4] = {30, 20, 10, 255};
    EXPECT_EQ(0, memcmp(img.pixels, expected, 4));

    // 16-bit RGBA keeps red first, samples little-endian.
    o.colorType = PNG_COLOR_TYPE_RGB_ALPHA, o.bitDepth = 16;
    SourceImage wide;
    ASSERT_EQ(Decode(wide, MakePng(1, 1, o, {0x12, 0x34, 0, 0, 0, 0, 0xFF, 0xFF})), S_OK);
    EXPECT_EQ(ReadLe16(wide.pixels), 0x1234);
    EXPECT_EQ(ReadLe16(wide.pixels + 6), 0xFFFF);
}

TEST(PngDecoder, TransparencyAndLowBitDepths) {
    PngOptions grey;
    grey.colorType = PNG_COLOR_TYPE_GRAY;
    grey.greyTrns = true, grey.trnsValue = 7;
    SourceImage keyed;
    ASSERT_EQ(Decode(keyed, MakePng(2, 1, grey, {7, 8})), S_OK);
    EXPECT_EQ(keyed.format, D3DFMT_A8L8);
    EXPECT_EQ(ReadLe16(keyed.pixels), 0x0007);
    EXPECT_EQ(ReadLe16(keyed.pixels + 2), 0xFF08);

    PngOptions two;
    two.colorType = PNG_COLOR_TYPE_GRAY, two.bitDepth = 2;
    SourceImage low;
    ASSERT_EQ(Decode(low, MakePng(4, 1, two, {0x1B})), S_OK);  // samples 0 1 2 3
    EXPECT_EQ(low.format, D3DFMT_L8);
    const uint8_t expected[4] = {0, 85, 170, 255};
    EXPECT_EQ(0, memcmp(low.pixels, expected, 4));
}

TEST(PngDecoder, PaletteEntriesAlphaAndGamma) {
    PngOptions o;
    o.colorType = PNG_COLOR_TYPE_PALETTE;
    o.palette = {{10, 20, 30}, {40, 50, 60}, {70, 80, 90}, {128, 128, 128}, {0, 0, 0}};
    o.trnsAlpha = {5, 6};
    SourceImage img;
    ASSERT_EQ(Decode(img, MakePng(2, 1, o, {0, 3})), S_OK);
    ASSERT_EQ(img.format, D3DFMT_P8);
    EXPECT_EQ(img.palette[3], 5);
    EXPECT_EQ(img.palette[7], 6);
    EXPECT_EQ(img.palette[4 * 2 + 3], 255);
    EXPECT_EQ(img.palette[4 * 4 + 3], 255);
    for (int i = 5 * 4; i < 1024; ++i) ASSERT_EQ(img.palette[i], 255) << i;

    o.trnsAlpha.clear();
    o.gamma = 1.0;  // linear file: mid-tones rise for a 2.2 display
    SourceImage linear;
    ASSERT_EQ(Decode(linear, MakePng(2, 1, o, {0, 3})), S_OK);
    EXPECT_EQ(linear.palette[4 * 3], 186);

    o.gamma = 0.45455;  // already display-referred: nearly unchanged
    SourceImage display;
    ASSERT_EQ(Decode(display, MakePng(2, 1, o, {0, 3})), S_OK);
    EXPECT_NEAR(display.palette[4 * 3], 128, 1);
}

// `file` with a gAMA chunk of gamma 1.0 put before its PLTE or first IDAT
// chunk, where gAMA belongs (the writing library refuses to pair a gAMA with
// an sRGB chunk itself).
Bytes WithLinearGamma(Bytes file) {
    const uint8_t plte[4] = {'P', 'L', 'T', 'E'}, idat[4] = {'I', 'D', 'A', 'T'};
    auto at = std::search(file.begin(), file.end(), plte, plte + 4);
    if (at == file.end()) at = std::search(file.begin(), file.end(), idat, idat + 4);
    if (at == file.end() || at - file.begin() < 4) return {};
    Bytes chunk = {0, 0, 0, 4, 'g', 'A', 'M', 'A', 0, 1, 0x86, 0xA0};  // 100000
    const uLong crc = crc32(crc32(0, nullptr, 0), chunk.data() + 4, 8);
    for (int shift : {24, 16, 8, 0}) chunk.push_back(uint8_t(crc >> shift));
    file.insert(at - 4, chunk.begin(), chunk.end());
    return file;
}

TEST(PngDecoder, SrgbChunkSuppressesGamma) {
    // A linear gAMA raises mid-tones, in palettes and in pixels alike; an
    // sRGB chunk next to it wins, and no gamma transform is made.
    PngOptions palette;
    palette.colorType = PNG_COLOR_TYPE_PALETTE;
    palette.palette = {{128, 128, 128}, {0, 0, 0}};
    PngOptions rgb;
    for (bool srgb : {false, true}) {
        palette.srgb = rgb.srgb = srgb;
        const uint8_t expected = srgb ? 128 : 186;
        SourceImage p, c;
        ASSERT_EQ(Decode(p, WithLinearGamma(MakePng(2, 1, palette, {0, 1}))), S_OK);
        EXPECT_EQ(p.palette[0], expected) << srgb;
        ASSERT_EQ(Decode(c, WithLinearGamma(MakePng(1, 1, rgb, {128, 128, 128}))), S_OK);
        ASSERT_EQ(c.format, D3DFMT_X8R8G8B8);
        EXPECT_EQ(c.pixels[0], expected) << srgb;  // blue of the first pixel
    }
}

TEST(PngDecoder, InterlacedMatchesPlain) {
    PngOptions o;
    Bytes samples(9 * 7 * 3);
    for (size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<uint8_t>(i * 7);
    SourceImage plain, interlaced;
    ASSERT_EQ(Decode(plain, MakePng(9, 7, o, samples)), S_OK);
    o.interlace = true;
    ASSERT_EQ(Decode(interlaced, MakePng(9, 7, o, samples)), S_OK);
    EXPECT_EQ(0, memcmp(plain.pixels, interlaced.pixels, plain.rowPitch * 7));
}

TEST(PngDecoder, TruncatedAndCorruptFilesFail) {
    PngOptions o;
    Bytes samples(16 * 16 * 3, 0x5A);
    const Bytes good = MakePng(16, 16, o, samples);
    for (size_t cut : {size_t{8}, size_t{20}, size_t{40}, good.size() - 13}) {
        SourceImage img;
        EXPECT_EQ(Decode(img, Bytes(good.begin(), good.begin() + cut)), ERR_INVALID_DATA) << cut;
    }
    Bytes corrupt = good;
    corrupt[good.size() / 2] ^= 0xFF;  // breaks the data chunk's checksum
    SourceImage img;
    EXPECT_EQ(Decode(img, corrupt), ERR_INVALID_DATA);
    // A header that claims a huge image without the data for it.
    Bytes huge = good;
    Put32(huge, 16, 0x00FFFF00);  // width, big-endian field made huge
    SourceImage big;
    EXPECT_EQ(Decode(big, huge), ERR_INVALID_DATA);
}

TEST(JpegDecoder, GreyAndColour) {
    Bytes grey(16 * 8, 100);
    SourceImage g;
    ASSERT_EQ(Decode(g, MakeJpeg(16, 8, 1, grey)), S_OK);
    EXPECT_EQ(g.fileKind, ImageFileJpg);
    EXPECT_EQ(g.format, D3DFMT_L8);
    EXPECT_EQ(g.rowPitch, 16u);
    EXPECT_NEAR(g.pixels[5], 100, 2);

    Bytes colour(8 * 8 * 3);
    for (size_t i = 0; i < colour.size(); i += 3) colour[i] = 200, colour[i + 1] = 40, colour[i + 2] = 90;
    SourceImage c;
    ASSERT_EQ(Decode(c, MakeJpeg(8, 8, 3, colour)), S_OK);
    EXPECT_EQ(c.format, D3DFMT_X8R8G8B8);
    EXPECT_EQ(c.rowPitch, 32u);
    const uint32_t p = ReadLe32(c.pixels + 4 * 9);
    EXPECT_NEAR((p >> 16) & 0xFF, 200, 4);
    EXPECT_NEAR((p >> 8) & 0xFF, 40, 4);
    EXPECT_NEAR(p & 0xFF, 90, 4);
    EXPECT_EQ(p >> 24, 0u);
}

TEST(JpegDecoder, TruncatedStreamsFailCleanly) {
    Bytes grey(64 * 64);
    for (size_t i = 0; i < grey.size(); ++i) grey[i] = static_cast<uint8_t>(i * 31);
    const Bytes good = MakeJpeg(64, 64, 1, grey);
    for (size_t cut : {size_t{2}, size_t{100}, good.size() / 2, good.size() - 2}) {
        SourceImage img;
        EXPECT_EQ(Decode(img, Bytes(good.begin(), good.begin() + cut)), ERR_INVALID_DATA) << cut;
    }
}

}  // namespace
