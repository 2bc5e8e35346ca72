// Block decoders of the five DXT formats. DXT2 and DXT4 hold colour
// premultiplied by alpha; they decode as DXT3 and DXT5 and then divide it out.
#include "texture/pixels/dxt_blocks.h"

namespace {

inline uint16_t Le16(const BYTE* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t Le32(const BYTE* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}

KLCOLOR Expand565(uint16_t c) {
    return KLCOLOR{static_cast<float>(c >> 11) / 31.0f, static_cast<float>((c >> 5) & 63) / 63.0f,
                   static_cast<float>(c & 31) / 31.0f, 1.0f};
}

KLCOLOR Lerp(const KLCOLOR& a, const KLCOLOR& b, float t) {
    return KLCOLOR{a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t, a.a + (b.a - a.a) * t};
}

// The colour half of every format. c0 > c1 selects four colours; otherwise
// three and transparent black. The formats with their own alpha always use
// four colours, as the files written for them and the device's sampler
// expect: their c0 <= c1 blocks are not meant as the transparent mode.
void DecodeColorBlock(KLCOLOR* out, const BYTE* block, bool fourColours) {
    const uint16_t c0 = Le16(block), c1 = Le16(block + 2);
    KLCOLOR palette[4];
    palette[0] = Expand565(c0);
    palette[1] = Expand565(c1);
    if (fourColours || c0 > c1) {
        palette[2] = Lerp(palette[0], palette[1], 1.0f / 3.0f);
        palette[3] = Lerp(palette[0], palette[1], 2.0f / 3.0f);
    } else {
        palette[2] = Lerp(palette[0], palette[1], 0.5f);
        palette[3] = KLCOLOR{0, 0, 0, 0};
    }
    const uint32_t indices = Le32(block + 4);
    for (uint32_t i = 0; i < kBlockTexels; ++i) out[i] = palette[(indices >> (2 * i)) & 3];
}

void DecodeExplicitAlpha(KLCOLOR* out, const BYTE* block) {
    for (uint32_t i = 0; i < kBlockTexels; ++i) {
        const uint32_t nibble = (block[i / 2] >> (4 * (i & 1))) & 15;
        out[i].a = static_cast<float>(nibble) / 15.0f;
    }
}

void DecodeInterpolatedAlpha(KLCOLOR* out, const BYTE* block) {
    const float a0 = static_cast<float>(block[0]) / 255.0f, a1 = static_cast<float>(block[1]) / 255.0f;
    float palette[8] = {a0, a1};
    if (block[0] > block[1]) {
        for (int k = 1; k <= 6; ++k) palette[k + 1] = (static_cast<float>(7 - k) * a0 + static_cast<float>(k) * a1) / 7.0f;
    } else {
        for (int k = 1; k <= 4; ++k) palette[k + 1] = (static_cast<float>(5 - k) * a0 + static_cast<float>(k) * a1) / 5.0f;
        palette[6] = 0.0f;
        palette[7] = 1.0f;
    }
    // Two groups of eight 3-bit indices, 24 bits each, texel 0 lowest.
    for (int half = 0; half < 2; ++half) {
        const BYTE* p = block + 2 + 3 * half;
        const uint32_t bits = p[0] | (p[1] << 8) | (p[2] << 16);
        for (int i = 0; i < 8; ++i) out[8 * half + i].a = palette[(bits >> (3 * i)) & 7];
    }
}

// Undoes premultiplication: colour over alpha, saturating at 1; black where
// alpha is 0.
void DividePremultiplied(KLCOLOR* texels) {
    for (uint32_t i = 0; i < kBlockTexels; ++i) {
        KLCOLOR& c = texels[i];
        if (c.a == 0.0f) {
            c.r = c.g = c.b = 0.0f;
        } else if (c.a < 1.0f) {
            c.r = c.r < c.a ? c.r / c.a : 1.0f;
            c.g = c.g < c.a ? c.g / c.a : 1.0f;
            c.b = c.b < c.a ? c.b / c.a : 1.0f;
        }
    }
}

}  // namespace

void DecodeBlockDxt1(KLCOLOR* out, const BYTE* block) { DecodeColorBlock(out, block, false); }

void DecodeBlockDxt3(KLCOLOR* out, const BYTE* block) {
    DecodeColorBlock(out, block + 8, true);
    DecodeExplicitAlpha(out, block);
}

void DecodeBlockDxt5(KLCOLOR* out, const BYTE* block) {
    DecodeColorBlock(out, block + 8, true);
    DecodeInterpolatedAlpha(out, block);
}

void DecodeBlockDxt2(KLCOLOR* out, const BYTE* block) {
    DecodeBlockDxt3(out, block);
    DividePremultiplied(out);
}

void DecodeBlockDxt4(KLCOLOR* out, const BYTE* block) {
    DecodeBlockDxt5(out, block);
    DividePremultiplied(out);
}

bool FindBlockCodec(D3DFORMAT format, BlockCodec* codec) {
    switch (format) {
    case D3DFMT_DXT1:
        *codec = {8, DecodeBlockDxt1, EncodeBlockDxt1, EncodeBlockRowDxt1};
        return true;
    case D3DFMT_DXT2:
        *codec = {16, DecodeBlockDxt2, EncodeBlockDxt2, EncodeBlockRowDxt2};
        return true;
    case D3DFMT_DXT3:
        *codec = {16, DecodeBlockDxt3, EncodeBlockDxt3, EncodeBlockRowDxt3};
        return true;
    case D3DFMT_DXT4:
        *codec = {16, DecodeBlockDxt4, EncodeBlockDxt4, EncodeBlockRowDxt4};
        return true;
    case D3DFMT_DXT5:
        *codec = {16, DecodeBlockDxt5, EncodeBlockDxt5, EncodeBlockRowDxt5};
        return true;
    default:
        return false;
    }
}
