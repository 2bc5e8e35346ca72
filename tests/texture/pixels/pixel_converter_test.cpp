// Pixel converters: every stored format survives a decode/encode round trip,
// and the quantisation, dithering, range and curve rules hold at their edges.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "texture/pixels/pixel_converter.h"

namespace {

// A one-row view over caller bytes.
ImageView RowView(D3DFORMAT format, void* pixels, uint32_t width, uint32_t pitch) {
    ImageView v;
    v.pixels = static_cast<BYTE*>(pixels);
    v.format = format;
    v.rowPitch = pitch;
    v.extent = v.region = ImageBox{0, 0, width, 1, 0, 1};
    return v;
}

struct RoundTrip {
    D3DFORMAT format;
    uint32_t bytes;
    uint64_t meaningful;  // bits that carry data (X bits are written as 0)
    bool isSigned;        // channels whose negative codes move one step toward zero
};

// Every uncompressed format with a converter, with the bits a round trip keeps.
const RoundTrip kFormats[] = {
    {D3DFMT_R8G8B8, 3, 0xFFFFFF, false},
    {D3DFMT_A8R8G8B8, 4, 0xFFFFFFFF, false},
    {D3DFMT_X8R8G8B8, 4, 0x00FFFFFF, false},
    {D3DFMT_R5G6B5, 2, 0xFFFF, false},
    {D3DFMT_X1R5G5B5, 2, 0x7FFF, false},
    {D3DFMT_A1R5G5B5, 2, 0xFFFF, false},
    {D3DFMT_A4R4G4B4, 2, 0xFFFF, false},
    {D3DFMT_R3G3B2, 1, 0xFF, false},
    {D3DFMT_A8, 1, 0xFF, false},
    {D3DFMT_A8R3G3B2, 2, 0xFFFF, false},
    {D3DFMT_X4R4G4B4, 2, 0x0FFF, false},
    {D3DFMT_A2B10G10R10, 4, 0xFFFFFFFF, false},
    {D3DFMT_A8B8G8R8, 4, 0xFFFFFFFF, false},
    {D3DFMT_X8B8G8R8, 4, 0x00FFFFFF, false},
    {D3DFMT_G16R16, 4, 0xFFFFFFFF, false},
    {D3DFMT_A2R10G10B10, 4, 0xFFFFFFFF, false},
    {D3DFMT_A16B16G16R16, 8, ~uint64_t{0}, false},
    {D3DFMT_L8, 1, 0xFF, false},
    {D3DFMT_A8L8, 2, 0xFFFF, false},
    {D3DFMT_A4L4, 1, 0xFF, false},
    {D3DFMT_L16, 2, 0xFFFF, false},
    {D3DFMT_D16_LOCKABLE, 2, 0xFFFF, false},
    {D3DFMT_V8U8, 2, 0xFFFF, true},
    {D3DFMT_L6V5U5, 2, 0xFFFF, true},
    {D3DFMT_X8L8V8U8, 4, 0x00FFFFFF, true},
    {D3DFMT_Q8W8V8U8, 4, 0xFFFFFFFF, true},
    {D3DFMT_V16U16, 4, 0xFFFFFFFF, true},
    {D3DFMT_A2W10V10U10, 4, 0xFFFFFFFF, true},
    {D3DFMT_Q16W16V16U16, 8, ~uint64_t{0}, true},
    {D3DFMT_CxV8U8, 2, 0xFFFF, true},
    {FormatAL16, 4, 0xFFFFFFFF, false},
    {FormatR16G16B16, 6, 0xFFFFFFFFFFFF, false},
};

// Signed fields of a format as (shift, bits), for the expected round-trip value.
std::vector<std::pair<int, int>> SignedFields(D3DFORMAT f) {
    switch (f) {
    case D3DFMT_V8U8:
    case D3DFMT_CxV8U8:
        return {{0, 8}, {8, 8}};
    case D3DFMT_L6V5U5:
        return {{0, 5}, {5, 5}};
    case D3DFMT_X8L8V8U8:
        return {{0, 8}, {8, 8}};
    case D3DFMT_Q8W8V8U8:
        return {{0, 8}, {8, 8}, {16, 8}, {24, 8}};
    case D3DFMT_V16U16:
        return {{0, 16}, {16, 16}};
    case D3DFMT_A2W10V10U10:
        return {{0, 10}, {10, 10}, {20, 10}};
    case D3DFMT_Q16W16V16U16:
        return {{0, 16}, {16, 16}, {32, 16}, {48, 16}};
    default:
        return {};
    }
}

// Stored value after decode and encode without dither: unsigned fields come
// back unchanged; negative signed fields step one toward zero (the most
// negative code reads as the next one up first).
uint64_t ExpectedRoundTrip(const RoundTrip& f, uint64_t w) {
    w &= f.meaningful;
    for (auto [shift, bits] : SignedFields(f.format)) {
        const uint64_t mask = (uint64_t{1} << bits) - 1;
        int64_t v = static_cast<int64_t>((w >> shift) & mask);
        if (v >= (int64_t{1} << (bits - 1))) v -= int64_t{1} << bits;
        if (v == -(int64_t{1} << (bits - 1))) v += 1;
        if (v < 0) v += 1;
        w = (w & ~(mask << shift)) | ((static_cast<uint64_t>(v) & mask) << shift);
    }
    return w;
}

TEST(PixelConverter, EveryFormatRoundTripsItsStoredValues) {
    for (const RoundTrip& f : kFormats) {
        constexpr uint32_t kWidth = 257;
        std::vector<uint8_t> in(kWidth * f.bytes), out(kWidth * f.bytes, 0);
        uint64_t seed = 0x9E3779B97F4A7C15ull ^ f.format;
        for (uint32_t i = 0; i < kWidth; ++i) {
            seed = seed * 6364136223846793005ull + 1442695040888963407ull;
            // Cover the extremes too: all-zero and all-one words first.
            const uint64_t w = i == 0 ? 0 : i == 1 ? ~uint64_t{0} : seed;
            memcpy(in.data() + i * f.bytes, &w, f.bytes);
        }
        ImageView src = RowView(f.format, in.data(), kWidth, kWidth * f.bytes);
        ImageView dst = RowView(f.format, out.data(), kWidth, kWidth * f.bytes);
        auto decoder = CreatePixelConverter(src);
        auto encoder = CreatePixelConverter(dst);
        ASSERT_TRUE(decoder && encoder) << f.format;
        ASSERT_EQ(LinkConverters(*encoder, *decoder), S_OK);
        std::vector<KLCOLOR> row(kWidth);
        ASSERT_EQ(decoder->DecodeRow(0, 0, row.data()), S_OK);
        ASSERT_EQ(encoder->EncodeRow(0, 0, row.data()), S_OK);
        for (uint32_t i = 0; i < kWidth; ++i) {
            uint64_t a = 0, b = 0;
            memcpy(&a, in.data() + i * f.bytes, f.bytes);
            memcpy(&b, out.data() + i * f.bytes, f.bytes);
            ASSERT_EQ(b, ExpectedRoundTrip(f, a)) << "format " << f.format << " pixel " << i;
        }
    }
}

TEST(PixelConverter, PaletteFloatAndPairFormatsRoundTrip) {
    // P8 against a palette of distinct entries.
    uint8_t palette[1024];
    for (int i = 0; i < 256; ++i) palette[4 * i] = i, palette[4 * i + 1] = 255 - i, palette[4 * i + 2] = i / 2, palette[4 * i + 3] = 255;
    std::vector<uint8_t> in(256), out(256);
    for (int i = 0; i < 256; ++i) in[i] = static_cast<uint8_t>(i * 7);
    ImageView s = RowView(D3DFMT_P8, in.data(), 256, 256), d = RowView(D3DFMT_P8, out.data(), 256, 256);
    s.palette = d.palette = palette;
    auto dec = CreatePixelConverter(s), enc = CreatePixelConverter(d);
    std::vector<KLCOLOR> row(256);
    ASSERT_EQ(dec->DecodeRow(0, 0, row.data()), S_OK);
    ASSERT_EQ(enc->EncodeRow(0, 0, row.data()), S_OK);
    EXPECT_EQ(in, out);

    // Floats and halves keep exactly representable values.
    const float values[4] = {0.25f, -3.5f, 1024.0f, 1.0f};
    for (D3DFORMAT f : {D3DFMT_A32B32G32R32F, D3DFMT_A16B16G16R16F}) {
        uint8_t buf[16] = {};
        ImageView v = RowView(f, buf, 1, 16);
        auto c = CreatePixelConverter(v);
        KLCOLOR in1 = {values[0], values[1], values[2], values[3]}, back;
        ASSERT_EQ(c->EncodeRow(0, 0, &in1), S_OK);
        ASSERT_EQ(c->DecodeRow(0, 0, &back), S_OK);
        EXPECT_EQ(back.r, in1.r);
        EXPECT_EQ(back.g, in1.g);
        EXPECT_EQ(back.b, in1.b);
    }
    // R8G8_B8G8 keeps each pixel's green and the pair's red and blue.
    uint8_t pair[4] = {10, 20, 30, 40}, copy[4] = {};
    ImageView ps = RowView(D3DFMT_R8G8_B8G8, pair, 2, 4), pd = RowView(D3DFMT_R8G8_B8G8, copy, 2, 4);
    auto pdec = CreatePixelConverter(ps), penc = CreatePixelConverter(pd);
    KLCOLOR two[2];
    ASSERT_EQ(pdec->DecodeRow(0, 0, two), S_OK);
    EXPECT_NEAR(two[0].r, 20 / 255.0f, 1e-6);
    EXPECT_NEAR(two[1].g, 30 / 255.0f, 1e-6);
    ASSERT_EQ(penc->EncodeRow(0, 0, two), S_OK);
    EXPECT_EQ(0, memcmp(pair, copy, 4));
    // YUY2 is lossy but close: grey stays grey.
    uint8_t yuv[4] = {126, 128, 126, 128}, yuvOut[4] = {};
    ImageView ys = RowView(D3DFMT_YUY2, yuv, 2, 4), yd = RowView(D3DFMT_YUY2, yuvOut, 2, 4);
    auto ydec = CreatePixelConverter(ys), yenc = CreatePixelConverter(yd);
    ASSERT_EQ(ydec->DecodeRow(0, 0, two), S_OK);
    EXPECT_NEAR(two[0].r, two[0].g, 1e-5);
    ASSERT_EQ(yenc->EncodeRow(0, 0, two), S_OK);
    for (int i = 0; i < 4; ++i) EXPECT_NEAR(yuvOut[i], yuv[i], 1) << i;
}

uint8_t EncodeOne(D3DFORMAT format, KLCOLOR c, bool dither, uint32_t x = 0) {
    uint8_t buf[8] = {};
    ImageView v = RowView(format, buf, x + 1, 8);
    v.dither = dither;
    auto conv = CreatePixelConverter(v);
    std::vector<KLCOLOR> row(x + 1, c);
    EXPECT_EQ(conv->EncodeRow(0, 0, row.data()), S_OK);
    return buf[x * (format == D3DFMT_V8U8 ? 2 : 1)];
}

TEST(PixelConverter, QuantisationEdges) {
    for (uint32_t x = 0; x < 4; ++x) {
        EXPECT_EQ(EncodeOne(D3DFMT_L8, {1, 1, 1, 1}, true, x), 255) << x;
        EXPECT_EQ(EncodeOne(D3DFMT_L8, {0, 0, 0, 1}, true, x), 0) << x;
    }
    EXPECT_EQ(EncodeOne(D3DFMT_A8, {0, 0, 0, 0.5f}, false), 128);
    EXPECT_EQ(EncodeOne(D3DFMT_L8, {0, 1, 0, 1}, false), 182);
    EXPECT_EQ(static_cast<int8_t>(EncodeOne(D3DFMT_V8U8, {-1, 0, 0, 1}, false)), -126);

    // Ordered dithering spreads a value between two codes by position.
    int low = 0, high = 0;
    for (uint32_t x = 0; x < 4; ++x) {
        const uint8_t v = EncodeOne(D3DFMT_A8, {0, 0, 0, 100.5f / 255}, true, x);
        (v == 100 ? low : high) += 1;
        EXPECT_TRUE(v == 100 || v == 101);
    }
    EXPECT_EQ(low, 2);
    EXPECT_EQ(high, 2);
}

TEST(PixelConverter, SignedDecodingIsSymmetric) {
    uint8_t v[4] = {0x80, 0x81, 0x7F, 0x00};  // U = -128, V = -127; U = 127, V = 0
    ImageView view = RowView(D3DFMT_V8U8, v, 2, 4);
    auto c = CreatePixelConverter(view);
    KLCOLOR out[2];
    ASSERT_EQ(c->DecodeRow(0, 0, out), S_OK);
    EXPECT_FLOAT_EQ(out[0].r, -1.0f);
    EXPECT_FLOAT_EQ(out[0].g, -1.0f);
    EXPECT_FLOAT_EQ(out[1].r, 1.0f);
    EXPECT_FLOAT_EQ(out[0].b, 1.0f);
}

TEST(PixelConverter, RangeConversionBetweenSignedAndUnsigned) {
    uint8_t bump[2] = {0x7F, 0x81};  // U = 1.0, V = -1.0
    uint32_t argb = 0;
    ImageView s = RowView(D3DFMT_V8U8, bump, 1, 2), d = RowView(D3DFMT_A8R8G8B8, &argb, 1, 4);
    auto dec = CreatePixelConverter(s), enc = CreatePixelConverter(d);
    ASSERT_EQ(LinkConverters(*enc, *dec), S_OK);
    KLCOLOR c;
    ASSERT_EQ(dec->DecodeRow(0, 0, &c), S_OK);
    ASSERT_EQ(enc->EncodeRow(0, 0, &c), S_OK);
    EXPECT_EQ(argb, 0xFFFF00FFu);  // red (v+1)/2 = 1, green 0, blue 1 -> 1, alpha kept
}

TEST(PixelConverter, ColourKeyMatchesAfterQuantisation) {
    // 0xFF00FF00 in R5G6B5 survives as exact green; the key is passed through the format first.
    uint16_t pixels[2] = {0x07E0, 0x001F};
    ImageView v = RowView(D3DFMT_R5G6B5, pixels, 2, 4);
    v.colorKey = 0xFF00FF00;
    auto c = CreatePixelConverter(v);
    KLCOLOR out[2];
    ASSERT_EQ(c->DecodeRow(0, 0, out), S_OK);
    EXPECT_EQ(out[0].a, 0.0f);
    EXPECT_EQ(out[0].g, 0.0f);
    EXPECT_EQ(out[1].b, 1.0f);
    EXPECT_EQ(out[1].a, 1.0f);
}

TEST(PixelConverter, SrgbCurvesAndSharedSrgb) {
    for (int i = 0; i <= 254; i += 17) {
        const float x = std::sqrt(i / 254.0f);  // u = x*x*254 lands on table point i
        EXPECT_NEAR(SrgbToLinear(x), std::pow(i / 254.0, 1.1), 1e-5) << i;
    }
    for (float x : {0.0f, 0.02f, 0.2f, 0.5f, 0.9f, 1.0f}) {
        EXPECT_NEAR(LinearToSrgb(SrgbToLinear(x)), x, 5e-3) << x;
        EXPECT_NEAR(SrgbToLinear(x), std::pow(x, 2.2), 5e-3) << x;
    }
    // Two sRGB sides give a plain square / square-root round trip.
    uint8_t a = 100, b = 0;
    ImageView s = RowView(D3DFMT_L8, &a, 1, 1), d = RowView(D3DFMT_L8, &b, 1, 1);
    s.srgb = d.srgb = true;
    auto dec = CreatePixelConverter(s), enc = CreatePixelConverter(d);
    ASSERT_EQ(LinkConverters(*enc, *dec), S_OK);
    KLCOLOR c;
    ASSERT_EQ(dec->DecodeRow(0, 0, &c), S_OK);
    EXPECT_NEAR(c.r, (100 / 255.0f) * (100 / 255.0f), 1e-6);
    ASSERT_EQ(enc->EncodeRow(0, 0, &c), S_OK);
    EXPECT_EQ(b, 100);
}

TEST(PixelConverter, UnsupportedFormatsHaveNoConverter) {
    uint8_t buf[16] = {};
    for (D3DFORMAT f : {D3DFMT_D24S8, D3DFMT_D32, D3DFMT_UNKNOWN, static_cast<D3DFORMAT>(12345)}) {
        ImageView v = RowView(f, buf, 1, 16);
        EXPECT_EQ(CreatePixelConverter(v), nullptr) << f;
    }
}

}  // namespace
