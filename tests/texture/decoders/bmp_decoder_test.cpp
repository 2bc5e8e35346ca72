// Bitmap decoding: formats, orientation, palettes, run lengths and lying headers.
#include <gtest/gtest.h>

#include "tests/texture/test_image_files.h"
#include "texture/decoders/source_image.h"

using namespace testimg;

namespace {

HRESULT Decode(SourceImage& img, const Bytes& file) { return ReadImageFile(&img, file.data(), file.size(), nullptr, true); }

TEST(BmpDecoder, TopDown24BitIsUsedInPlaceAndBottomUpIsReversed) {
    // 2x2, rows padded to 8 bytes: row A = blue, green; row B = red, white.
    const Bytes rowA = {255, 0, 0, 0, 255, 0, 0, 0}, rowB = {0, 0, 255, 255, 255, 255, 0, 0};
    Bytes pixels = rowA;
    Append(pixels, rowB);
    BmpOptions o;
    o.width = 2, o.height = -2;
    const Bytes topDown = MakeBmp(o, pixels);
    SourceImage a;
    ASSERT_EQ(Decode(a, topDown), S_OK);
    EXPECT_EQ(a.format, D3DFMT_R8G8B8);
    EXPECT_FALSE(a.ownsPixels);
    EXPECT_EQ(a.pixels, topDown.data() + 54);
    EXPECT_EQ(a.rowPitch, 8u);

    o.height = 2;
    const Bytes bottomUp = MakeBmp(o, pixels);
    SourceImage b;
    ASSERT_EQ(Decode(b, bottomUp), S_OK);
    EXPECT_TRUE(b.ownsPixels);
    EXPECT_EQ(0, memcmp(b.pixels, rowB.data(), 6));  // first file row is the last image row
    EXPECT_EQ(0, memcmp(b.pixels + 8, rowA.data(), 6));
    EXPECT_EQ(b.fileKind, ImageFileBmp);
}

TEST(BmpDecoder, ThirtyTwoBitFourthByteDecidesAlpha) {
    BmpOptions o;
    o.width = 2, o.height = 1, o.bitCount = 32;
    SourceImage opaque, alpha;
    ASSERT_EQ(Decode(opaque, MakeBmp(o, {1, 2, 3, 0, 4, 5, 6, 0})), S_OK);
    EXPECT_EQ(opaque.format, D3DFMT_X8R8G8B8);
    ASSERT_EQ(Decode(alpha, MakeBmp(o, {1, 2, 3, 0, 4, 5, 6, 9})), S_OK);
    EXPECT_EQ(alpha.format, D3DFMT_A8R8G8B8);
}

TEST(BmpDecoder, PalettedImagesExpandToOneIndexPerByte) {
    BmpOptions o;
    o.width = 9, o.height = 1, o.bitCount = 1;
    o.palette = {0x000000, 0x112233};
    SourceImage one;
    ASSERT_EQ(Decode(one, MakeBmp(o, {0xA5, 0x80, 0, 0})), S_OK);
    EXPECT_EQ(one.format, D3DFMT_P8);
    const uint8_t expected[9] = {1, 0, 1, 0, 0, 1, 0, 1, 1};
    EXPECT_EQ(0, memcmp(one.pixels, expected, 9));
    // Palette entries come out red, green, blue, alpha; unused ones opaque white.
    EXPECT_EQ(one.palette[4], 0x11);
    EXPECT_EQ(one.palette[5], 0x22);
    EXPECT_EQ(one.palette[6], 0x33);
    EXPECT_EQ(one.palette[7], 0xFF);
    EXPECT_EQ(one.palette[8 + 0], 0xFF);

    o.bitCount = 4, o.width = 3;
    o.palette.resize(16);
    SourceImage four;
    ASSERT_EQ(Decode(four, MakeBmp(o, {0x3C, 0x70, 0, 0})), S_OK);
    EXPECT_EQ(four.pixels[0], 3);
    EXPECT_EQ(four.pixels[1], 12);
    EXPECT_EQ(four.pixels[2], 7);
}

TEST(BmpDecoder, RunLengthRunsStayInsideTheImage) {
    BmpOptions o;
    o.width = 4, o.height = 2, o.bitCount = 8, o.compression = 1;
    o.palette.resize(256);
    // Row 0: a literal of 3 (9, 8, 7, padded), then a run of 1 x index 5
    // that ends at the right edge; row 1: a run of exactly the row's width.
    const Bytes rle = {0, 3, 9, 8, 7, 0, 1, 5, 0, 0, 4, 1, 0, 1};
    SourceImage img;
    ASSERT_EQ(Decode(img, MakeBmp(o, rle)), S_OK);
    const uint8_t* bottom = img.pixels + img.rowPitch;  // first file row is the bottom row
    EXPECT_EQ(bottom[0], 9);
    EXPECT_EQ(bottom[2], 7);
    EXPECT_EQ(bottom[3], 5);
    EXPECT_EQ(img.pixels[0], 1);
    EXPECT_EQ(img.pixels[3], 1);

    // A run that would write past the end of its row fails the load, as does
    // a stream that ends without its end code; a delta past the last row ends
    // decoding.
    const struct {
        const char* what;
        Bytes rle;
        HRESULT expected;
    } cases[] = {
        {"repeat run past the row", {3, 5, 2, 6, 0, 1}, ERR_INVALID_DATA},
        {"literal run past the row", {3, 5, 0, 3, 9, 8, 7, 0, 0, 1}, ERR_INVALID_DATA},
        {"4-bit literal past the row", {}, ERR_INVALID_DATA},
        {"run after a delta past the row", {0, 2, 3, 0, 2, 7, 0, 1}, ERR_INVALID_DATA},
        {"long run in a later row", {0, 0, 0x7F, 1, 0, 1}, ERR_INVALID_DATA},
        {"no end code", {3, 5}, ERR_INVALID_DATA},
        {"delta past the last row", {4, 5, 0, 2, 0, 5}, S_OK},
    };
    for (const auto& c : cases) {
        BmpOptions co = o;
        Bytes stream = c.rle;
        if (stream.empty()) {  // RLE4: 5 nibbles into a row of 4
            co.bitCount = 4, co.compression = 2;
            co.palette.resize(16);
            stream = {0, 5, 0x12, 0x34, 0x50, 0, 0, 1};
        }
        SourceImage bad;
        EXPECT_EQ(Decode(bad, MakeBmp(co, stream)), c.expected) << c.what;
    }
}

TEST(BmpDecoder, BitFieldsMapToFormatsOrFloats) {
    BmpOptions o;
    o.width = 1, o.height = 1, o.bitCount = 16, o.compression = 3, o.headerSize = 56;
    o.masks[0] = 0xF800, o.masks[1] = 0x7E0, o.masks[2] = 0x1F;
    SourceImage rgb565;
    ASSERT_EQ(Decode(rgb565, MakeBmp(o, {0x1F, 0xF8, 0, 0})), S_OK);
    EXPECT_EQ(rgb565.format, D3DFMT_R5G6B5);

    o.masks[0] = 0xF000, o.masks[1] = 0x0F00, o.masks[2] = 0x00F0, o.masks[3] = 0x000F;
    SourceImage odd;
    ASSERT_EQ(Decode(odd, MakeBmp(o, {0x8F, 0xF0, 0, 0})), S_OK);  // 0xF08F: r 15, g 0, b 8, a 15
    ASSERT_EQ(odd.format, D3DFMT_A32B32G32R32F);
    const float* f = reinterpret_cast<const float*>(odd.pixels);
    EXPECT_FLOAT_EQ(f[0], 1.0f);
    EXPECT_FLOAT_EQ(f[1], 0.0f);
    EXPECT_NEAR(f[2], 8.0f / 15.0f, 1e-6);
    EXPECT_FLOAT_EQ(f[3], 1.0f);

    // The common form: a 40-byte header followed by three masks.
    BmpOptions plain;
    plain.width = 1, plain.height = 1, plain.bitCount = 16, plain.compression = 3;
    plain.palette = {0xF800, 0x7E0, 0x1F};  // the masks sit where a palette would
    SourceImage common;
    ASSERT_EQ(Decode(common, MakeBmp(plain, {0x1F, 0xF8, 0, 0})), S_OK);
    EXPECT_EQ(common.format, D3DFMT_R5G6B5);
    EXPECT_EQ(ReadLe16(common.pixels), 0xF81F);
}

TEST(BmpDecoder, LyingHeadersAreRefused) {
    BmpOptions o;
    o.width = 4, o.height = 4;
    const Bytes good = MakeBmp(o, Bytes(48, 0));
    SourceImage ok;
    ASSERT_EQ(Decode(ok, good), S_OK);

    struct Case {
        const char* what;
        size_t at;
        uint32_t value;
    } cases[] = {
        {"file size beyond the file", 2, 0x7FFFFFFF},
        {"header size beyond the file", 14, 0x10000},
        {"pixels beyond the file", 14 + 8, 1000},
        {"absurd width", 14 + 4, 3000000},
        {"zero planes", 14 + 12, 0},
        {"palette count beyond the file", 14 + 32, 0x12345678},
        {"unknown bit count", 14 + 14, 30000},
        {"negative width", 14 + 4, 0xFFFFFF81},
    };
    for (const Case& c : cases) {
        Bytes bad = good;
        if (c.at == 14 + 12 || c.at == 14 + 14)
            Put16(bad, c.at, c.value);
        else
            Put32(bad, c.at, c.value);
        SourceImage img;
        EXPECT_EQ(Decode(img, bad), ERR_INVALID_DATA) << c.what;
    }
    for (size_t cut : {size_t{13}, size_t{20}, size_t{53}, size_t{60}}) {
        Bytes truncated(good.begin(), good.begin() + cut);
        Put32(truncated, 2, static_cast<uint32_t>(cut));
        SourceImage img;
        EXPECT_EQ(Decode(img, truncated), ERR_INVALID_DATA) << cut;
    }
}

TEST(BmpDecoder, BareDibFromResources) {
    BmpOptions o;
    o.width = 1, o.height = 1;
    const Bytes file = MakeBmp(o, {1, 2, 3, 0});
    const Bytes dib(file.begin() + 14, file.end());
    SourceImage img;
    ASSERT_EQ(Decode(img, dib), S_OK);
    EXPECT_EQ(img.fileKind, ImageFileDib);
    EXPECT_EQ(img.format, D3DFMT_R8G8B8);
}

}  // namespace
