// DXT block decoders and encoders: stored bytes of the characteristic blocks,
// decoding rules of both palette modes and of premultiplied alpha, and the
// agreement of the row encoders with the one-block encoders.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <vector>

#include "texture/pixels/dxt_blocks.h"

namespace {

using Block = std::array<KLCOLOR, 16>;
using Bytes = std::vector<BYTE>;

Block Uniform(float r, float g, float b, float a) {
    Block block;
    block.fill(KLCOLOR{r, g, b, a});
    return block;
}

Bytes Encode(BlockEncoder encode, const Block& in, size_t size) {
    Bytes out(size, 0xCD);
    encode(out.data(), in.data());
    return out;
}

uint16_t Word16(const Bytes& b, size_t at) { return static_cast<uint16_t>(b[at] | (b[at + 1] << 8)); }
uint32_t Word32(const Bytes& b, size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}
uint32_t AlphaIndex(const Bytes& b, int texel) {
    const size_t at = 2 + 3 * (texel / 8);
    const uint32_t bits = b[at] | (b[at + 1] << 8) | (b[at + 2] << 16);
    return (bits >> (3 * (texel % 8))) & 7;
}

TEST(DxtEncode, FullyTransparentColourBlockIsTheFixedPattern) {
    const Bytes pattern = {0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    Bytes out(8, 0);
    const Block clear = Uniform(0.7f, 0.2f, 0.4f, 0.3f);
    EncodeColorBlock(clear.data(), out.data(), true);
    EXPECT_EQ(out, pattern);
    // DXT1 diffuses the rounding of alpha first: 0.3 everywhere turns some
    // texels opaque, a block of alpha 0 stays fully transparent.
    EXPECT_NE(Encode(EncodeBlockDxt1, clear, 8), pattern);
    EXPECT_EQ(Encode(EncodeBlockDxt1, Uniform(0.7f, 0.2f, 0.4f, 0.0f), 8), pattern);
}

TEST(DxtEncode, UniformRepresentableColourIsOneEndpointAndDecodesBack) {
    // 5:6:5 values 20, 41, 7.
    const Block in = Uniform(20 / 31.0f, 41 / 63.0f, 7 / 31.0f, 1.0f);
    const uint16_t expected = (20 << 11) | (41 << 5) | 7;
    struct Case {
        BlockEncoder encode;
        BlockDecoder decode;
        size_t size, colorAt;
    };
    for (const Case& c : {Case{EncodeBlockDxt1, DecodeBlockDxt1, 8, 0}, Case{EncodeBlockDxt3, DecodeBlockDxt3, 16, 8},
                          Case{EncodeBlockDxt5, DecodeBlockDxt5, 16, 8}}) {
        const size_t colorAt = c.colorAt;
        const Bytes out = Encode(c.encode, in, c.size);
        EXPECT_EQ(Word16(out, colorAt), expected);
        EXPECT_EQ(Word16(out, colorAt + 2), expected);
        EXPECT_EQ(Word32(out, colorAt + 4), 0u);
        Block back;
        c.decode(back.data(), out.data());
        for (const KLCOLOR& t : back) {
            EXPECT_EQ(t.r, in[0].r);
            EXPECT_EQ(t.g, in[0].g);
            EXPECT_EQ(t.b, in[0].b);
            EXPECT_EQ(t.a, 1.0f);
        }
    }
}

TEST(DxtEncode, UniformColourBetweenTwoStepsIsDitheredAcrossTwoEndpoints) {
    const float red = 20.5f / 31.0f;
    const Bytes out = Encode(EncodeBlockDxt1, Uniform(red, 0.5f, 0.25f, 1.0f), 8);
    EXPECT_NE(Word16(out, 0), Word16(out, 2));
    Block back;
    DecodeBlockDxt1(back.data(), out.data());
    float sum = 0, lo = 1, hi = 0;
    for (const KLCOLOR& c : back) sum += c.r, lo = std::min(lo, c.r), hi = std::max(hi, c.r);
    EXPECT_LT(lo, red);
    EXPECT_GT(hi, red);
    EXPECT_NEAR(sum / 16, red, 0.5f / 31.0f);
}

TEST(DxtEncode, PartlyTransparentDxt1UsesThreeColourModeWithIndexThree) {
    Block in;
    for (int i = 0; i < 16; ++i)
        in[i] = (i % 3 == 0) ? KLCOLOR{0, 0, 0, 0} : KLCOLOR{i / 15.0f, 1.0f - i / 15.0f, 0.5f, 1.0f};
    const Bytes out = Encode(EncodeBlockDxt1, in, 8);
    EXPECT_LE(Word16(out, 0), Word16(out, 2));
    const uint32_t indices = Word32(out, 4);
    Block back;
    DecodeBlockDxt1(back.data(), out.data());
    for (int i = 0; i < 16; ++i) {
        const bool clear = i % 3 == 0;
        EXPECT_EQ(((indices >> (2 * i)) & 3) == 3, clear) << i;
        EXPECT_EQ(back[i].a, clear ? 0.0f : 1.0f) << i;
    }
}

TEST(DxtEncode, Dxt5AlphaBlocks) {
    // Opaque: a0 = a1 = 255 with zero indices.
    Bytes out = Encode(EncodeBlockDxt5, Uniform(0.3f, 0.6f, 0.9f, 1.0f), 16);
    EXPECT_EQ(out[0], 255);
    EXPECT_EQ(out[1], 255);
    for (int i = 2; i < 8; ++i) EXPECT_EQ(out[i], 0) << i;

    // An alpha of exactly 0 selects the 6-position mode; texel 0 takes the fixed 0.
    Block in = Uniform(0.5f, 0.5f, 0.5f, 0.6f);
    in[0].a = 0.0f;
    for (int i = 1; i < 16; ++i) in[i].a = 0.4f + i * 0.02f;
    out = Encode(EncodeBlockDxt5, in, 16);
    EXPECT_LE(out[0], out[1]);
    EXPECT_EQ(AlphaIndex(out, 0), 6u);
    Block back;
    DecodeBlockDxt5(back.data(), out.data());
    EXPECT_EQ(back[0].a, 0.0f);
    for (int i = 1; i < 16; ++i) EXPECT_NEAR(back[i].a, in[i].a, 0.06f) << i;
}

TEST(DxtEncode, Dxt5OneValueBetweenTheFixedEndsKeepsZeroAndOne) {
    // Refinement collapses to a single value, so the line has one point; the
    // texels at 0 and 1 must still reach the fixed entries.
    Block in = Uniform(0.5f, 0.5f, 0.5f, 0.5f);
    in[5].a = 1.0f;
    in[10].a = 0.0f;
    const Bytes out = Encode(EncodeBlockDxt5, in, 16);
    Block back;
    DecodeBlockDxt5(back.data(), out.data());
    EXPECT_EQ(back[5].a, 1.0f);
    EXPECT_EQ(back[10].a, 0.0f);
    EXPECT_NEAR(back[0].a, 0.5f, 1 / 255.0f);
}

TEST(DxtEncode, Dxt3HalfAlphaIsDiffusedIntoAlternatingNibbles) {
    const Bytes out = Encode(EncodeBlockDxt3, Uniform(0.2f, 0.2f, 0.2f, 0.5f), 16);
    const int expected[16] = {8, 7, 8, 7, 7, 8, 7, 8, 8, 7, 8, 7, 7, 8, 7, 8};
    for (int i = 0; i < 16; ++i) EXPECT_EQ((out[i / 2] >> (4 * (i & 1))) & 15, expected[i]) << i;
}

TEST(DxtDecode, ColourBlockModes) {
    // c0 = white > c1 = black: four colours at thirds.
    Bytes b = {0xFF, 0xFF, 0x00, 0x00, 0b11100100, 0, 0, 0};  // texels 0..3 take indices 0, 1, 2, 3
    Block out;
    DecodeBlockDxt1(out.data(), b.data());
    EXPECT_EQ(out[0].r, 1.0f);
    EXPECT_EQ(out[1].r, 0.0f);
    EXPECT_FLOAT_EQ(out[2].g, 2.0f / 3.0f);
    EXPECT_FLOAT_EQ(out[3].b, 1.0f / 3.0f);
    EXPECT_EQ(out[3].a, 1.0f);
    // c0 <= c1: midpoint and transparent black.
    b = {0x00, 0x00, 0x1F, 0x00, 0b11100100, 0, 0, 0};  // c1 = pure blue
    DecodeBlockDxt1(out.data(), b.data());
    EXPECT_EQ(out[1].b, 1.0f);
    EXPECT_EQ(out[2].b, 0.5f);
    EXPECT_EQ(out[2].a, 1.0f);
    EXPECT_EQ(out[3].b, 0.0f);
    EXPECT_EQ(out[3].a, 0.0f);
    // The same colour half in a format with its own alpha keeps four colours.
    Bytes dxt3(8, 0xFF);
    dxt3.insert(dxt3.end(), b.begin(), b.end());
    DecodeBlockDxt3(out.data(), dxt3.data());
    EXPECT_FLOAT_EQ(out[2].b, 1.0f / 3.0f);
    EXPECT_FLOAT_EQ(out[3].b, 2.0f / 3.0f);
    EXPECT_EQ(out[3].a, 1.0f);
}

TEST(DxtDecode, InterpolatedAlphaModes) {
    // a0 = 255 > a1 = 0: eight values; index 2 is 6/7. Texel 0 index 2, texel 1 index 7.
    Bytes b(16, 0);
    b[0] = 255, b[1] = 0, b[2] = 2 | (7 << 3);
    Block out;
    DecodeBlockDxt5(out.data(), b.data());
    EXPECT_FLOAT_EQ(out[0].a, 6.0f / 7.0f);
    EXPECT_FLOAT_EQ(out[1].a, 1.0f / 7.0f);
    // a0 = 0 <= a1 = 255: six values, index 6 is 0 and 7 is 1; texel 8 index 3.
    b[0] = 0, b[1] = 255, b[2] = 6 | (7 << 3), b[5] = 3;
    DecodeBlockDxt5(out.data(), b.data());
    EXPECT_EQ(out[0].a, 0.0f);
    EXPECT_EQ(out[1].a, 1.0f);
    EXPECT_FLOAT_EQ(out[8].a, 0.4f);
}

TEST(DxtDecode, PremultipliedFormatsDivideColourByAlpha) {
    // DXT2: c0 = c1 = 5:6:5 (8, 16, 4), alpha nibbles 0, 15, 8 (0.533), 3 (0.2).
    const uint16_t c = (8 << 11) | (16 << 5) | 4;
    Bytes b = {0xF0, 0x38, 0, 0, 0, 0, 0, 0, static_cast<BYTE>(c), static_cast<BYTE>(c >> 8),
               static_cast<BYTE>(c), static_cast<BYTE>(c >> 8), 0, 0, 0, 0};
    Block out;
    DecodeBlockDxt2(out.data(), b.data());
    const float r = 8 / 31.0f, g = 16 / 63.0f, bl = 4 / 31.0f, a2 = 8 / 15.0f, a3 = 3 / 15.0f;
    EXPECT_EQ(out[0].r, 0.0f);  // alpha 0: black
    EXPECT_EQ(out[0].a, 0.0f);
    EXPECT_EQ(out[1].r, r);  // alpha 1: unchanged
    EXPECT_FLOAT_EQ(out[2].r, r / a2);
    EXPECT_FLOAT_EQ(out[2].g, g / a2);
    EXPECT_FLOAT_EQ(out[2].b, bl / a2);
    EXPECT_EQ(out[3].r, 1.0f);  // r > alpha: saturates
    EXPECT_EQ(out[3].g, 1.0f);
    EXPECT_FLOAT_EQ(out[3].b, bl / a3);
    // DXT4 shares the rule through the interpolated alpha block.
    Bytes b4 = b;
    std::fill(b4.begin(), b4.begin() + 8, 0);
    b4[0] = b4[1] = 51;  // alpha 0.2 everywhere
    DecodeBlockDxt4(out.data(), b4.data());
    EXPECT_EQ(out[7].r, 1.0f);
    EXPECT_FLOAT_EQ(out[7].b, bl / 0.2f);
}

TEST(DxtRowEncoders, MatchTheBlockEncodersByteForByte) {
    // Rows mixing the cases the four-at-a-time colour path must treat like
    // the one-block path: noise, flat colours on and between 5:6:5 steps,
    // smooth ramps, transparent texels, and a row length that leaves blocks
    // over after the groups of four.
    uint32_t seed = 18;
    auto next = [&seed] {
        seed = seed * 1664525u + 1013904223u;
        return static_cast<float>(seed >> 8) / 16777216.0f;
    };
    const uint32_t count = 23;
    std::vector<KLCOLOR> texels(count * 16);
    for (uint32_t b = 0; b < count; ++b) {
        const float base = next(), slope = next() * 0.2f;
        for (uint32_t i = 0; i < 16; ++i) {
            KLCOLOR& c = texels[b * 16 + i];
            switch (b % 5) {
            case 0:
                c = KLCOLOR{next(), next(), next(), next()};
                break;
            case 1:
                c = KLCOLOR{20 / 31.0f, 41 / 63.0f, 7 / 31.0f, 1.0f};
                break;
            case 2:
                c = KLCOLOR{base, 20.5f / 63.0f, 0.3f, 0.8f};
                break;
            case 3:
                c = KLCOLOR{base * 0.5f + slope * (i & 3), base * 0.7f + slope * (i >> 2), 0.9f - slope * i / 4, 1.0f};
                break;
            default:
                c = KLCOLOR{next(), base, 1.0f - base, i % 7 == 0 ? 0.0f : 1.0f};
                break;
            }
        }
    }
    for (D3DFORMAT format : {D3DFMT_DXT1, D3DFMT_DXT2, D3DFMT_DXT3, D3DFMT_DXT4, D3DFMT_DXT5}) {
        BlockCodec codec;
        ASSERT_TRUE(FindBlockCodec(format, &codec));
        Bytes row(count * codec.bytes), single(count * codec.bytes);
        codec.encodeRow(row.data(), texels.data(), count);
        for (uint32_t b = 0; b < count; ++b) codec.encode(single.data() + b * codec.bytes, texels.data() + b * 16);
        for (uint32_t b = 0; b < count; ++b)
            EXPECT_TRUE(std::equal(row.begin() + b * codec.bytes, row.begin() + (b + 1) * codec.bytes,
                                   single.begin() + b * codec.bytes))
                << std::hex << format << std::dec << " block " << b;
    }
}

TEST(DxtEndpoints, ColourFitFindsTheEndsOfALine) {
    WeightedColor points[16];
    for (int i = 0; i < 16; ++i) {
        const float t = (i % 4) / 3.0f;  // exactly on the four palette positions
        points[i] = {kColorWeights.r * (0.2f + 0.6f * t), 0.1f + 0.8f * t, kColorWeights.b * (0.9f - 0.7f * t)};
    }
    WeightedColor low, high;
    RefineColorEndpoints(points, 4, &low, &high);
    // The diagonal choice reverses blue, which falls along the line.
    EXPECT_NEAR(low.g, 0.1f, 1e-4f);
    EXPECT_NEAR(high.g, 0.9f, 1e-4f);
    EXPECT_NEAR(low.b, kColorWeights.b * 0.9f, 1e-4f);
    EXPECT_NEAR(high.b, kColorWeights.b * 0.2f, 1e-4f);
}

}  // namespace
