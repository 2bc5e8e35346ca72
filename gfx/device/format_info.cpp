#include "gfx/device/format_info.h"

#include <cstring>

namespace gfx {
namespace {

template <typename T>
T Load(const BYTE* base, INT pitch, UINT x, UINT y) {
    T v;
    std::memcpy(&v, base + size_t(y) * pitch + size_t(x) * sizeof(T), sizeof(T));
    return v;
}

float Unorm(uint32_t v, uint32_t bits) { return float(v) / float((1u << bits) - 1); }
// Signed normalised: the most negative code reads as -1 like its neighbour.
float Snorm(int32_t v, uint32_t bits) {
    float f = float(v) / float((1 << (bits - 1)) - 1);
    return f < -1.f ? -1.f : f;
}
int32_t SignExtend(uint32_t v, uint32_t bits) { return int32_t(v << (32 - bits)) >> (32 - bits); }

void Set(float out[4], float r, float g, float b, float a) {
    out[0] = r;
    out[1] = g;
    out[2] = b;
    out[3] = a;
}

// Packed layouts with channels at shifts; a width of 0 gives the default.
template <int RS, int RW, int GS, int GW, int BS, int BW, int AS, int AW, typename T>
void DecodePacked(const BYTE* base, INT pitch, UINT x, UINT y, float out[4]) {
    uint32_t v = Load<T>(base, pitch, x, y);
    auto ch = [v](int shift, int width, float def) {
        return width ? Unorm((v >> shift) & ((1u << width) - 1), width) : def;
    };
    Set(out, ch(RS, RW, 0.f), ch(GS, GW, 0.f), ch(BS, BW, 0.f), ch(AS, AW, 1.f));
}

void DecodeA8R8G8B8(const BYTE* base, INT pitch, UINT x, UINT y, float out[4]) {
    const BYTE* p = base + size_t(y) * pitch + size_t(x) * 4;
    Set(out, p[2] / 255.f, p[1] / 255.f, p[0] / 255.f, p[3] / 255.f);
}
void DecodeX8R8G8B8(const BYTE* base, INT pitch, UINT x, UINT y, float out[4]) {
    const BYTE* p = base + size_t(y) * pitch + size_t(x) * 4;
    Set(out, p[2] / 255.f, p[1] / 255.f, p[0] / 255.f, 1.f);
}
void DecodeA8(const BYTE* base, INT pitch, UINT x, UINT y, float out[4]) {
    Set(out, 0.f, 0.f, 0.f, Load<uint8_t>(base, pitch, x, y) / 255.f);
}
void DecodeL8(const BYTE* base, INT pitch, UINT x, UINT y, float out[4]) {
    float l = Load<uint8_t>(base, pitch, x, y) / 255.f;
    Set(out, l, l, l, 1.f);
}
void DecodeA8L8(const BYTE* base, INT pitch, UINT x, UINT y, float out[4]) {
    uint16_t v = Load<uint16_t>(base, pitch, x, y);
    float l = (v & 0xFF) / 255.f;
    Set(out, l, l, l, (v >> 8) / 255.f);
}
void DecodeA4L4(const BYTE* base, INT pitch, UINT x, UINT y, float out[4]) {
    uint8_t v = Load<uint8_t>(base, pitch, x, y);
    float l = (v & 0xF) / 15.f;
    Set(out, l, l, l, (v >> 4) / 15.f);
}
void DecodeL16(const BYTE* base, INT pitch, UINT x, UINT y, float out[4]) {
    float l = Load<uint16_t>(base, pitch, x, y) / 65535.f;
    Set(out, l, l, l, 1.f);
}
void DecodeG16R16(const BYTE* base, INT pitch, UINT x, UINT y, float out[4]) {
    uint32_t v = Load<uint32_t>(base, pitch, x, y);
    Set(out, (v & 0xFFFF) / 65535.f, (v >> 16) / 65535.f, 1.f, 1.f);
}
void DecodeA16B16G16R16(const BYTE* base, INT pitch, UINT x, UINT y, float out[4]) {
    uint64_t v = Load<uint64_t>(base, pitch, x, y);
    Set(out, (v & 0xFFFF) / 65535.f, ((v >> 16) & 0xFFFF) / 65535.f, ((v >> 32) & 0xFFFF) / 65535.f,
        (v >> 48) / 65535.f);
}
void DecodeV8U8(const BYTE* base, INT pitch, UINT x, UINT y, float out[4]) {
    uint16_t v = Load<uint16_t>(base, pitch, x, y);
    Set(out, Snorm(int8_t(v & 0xFF), 8), Snorm(int8_t(v >> 8), 8), 1.f, 1.f);
}
void DecodeQ8W8V8U8(const BYTE* base, INT pitch, UINT x, UINT y, float out[4]) {
    uint32_t v = Load<uint32_t>(base, pitch, x, y);
    Set(out, Snorm(int8_t(v), 8), Snorm(int8_t(v >> 8), 8), Snorm(int8_t(v >> 16), 8), Snorm(int8_t(v >> 24), 8));
}
void DecodeV16U16(const BYTE* base, INT pitch, UINT x, UINT y, float out[4]) {
    uint32_t v = Load<uint32_t>(base, pitch, x, y);
    Set(out, Snorm(int16_t(v), 16), Snorm(int16_t(v >> 16), 16), 1.f, 1.f);
}
void DecodeL6V5U5(const BYTE* base, INT pitch, UINT x, UINT y, float out[4]) {
    uint16_t v = Load<uint16_t>(base, pitch, x, y);
    Set(out, Snorm(SignExtend(v & 0x1F, 5), 5), Snorm(SignExtend((v >> 5) & 0x1F, 5), 5), 1.f,
        Unorm(v >> 10, 6));
}
void DecodeR16F(const BYTE* base, INT pitch, UINT x, UINT y, float out[4]) {
    Set(out, HalfToFloat(Load<uint16_t>(base, pitch, x, y)), 1.f, 1.f, 1.f);
}
void DecodeG16R16F(const BYTE* base, INT pitch, UINT x, UINT y, float out[4]) {
    uint32_t v = Load<uint32_t>(base, pitch, x, y);
    Set(out, HalfToFloat(uint16_t(v)), HalfToFloat(uint16_t(v >> 16)), 1.f, 1.f);
}
void DecodeA16B16G16R16F(const BYTE* base, INT pitch, UINT x, UINT y, float out[4]) {
    uint64_t v = Load<uint64_t>(base, pitch, x, y);
    Set(out, HalfToFloat(uint16_t(v)), HalfToFloat(uint16_t(v >> 16)), HalfToFloat(uint16_t(v >> 32)),
        HalfToFloat(uint16_t(v >> 48)));
}
void DecodeR32F(const BYTE* base, INT pitch, UINT x, UINT y, float out[4]) {
    Set(out, Load<float>(base, pitch, x, y), 1.f, 1.f, 1.f);
}
void DecodeG32R32F(const BYTE* base, INT pitch, UINT x, UINT y, float out[4]) {
    const BYTE* p = base + size_t(y) * pitch + size_t(x) * 8;
    float v[2];
    std::memcpy(v, p, 8);
    Set(out, v[0], v[1], 1.f, 1.f);
}
void DecodeA32B32G32R32F(const BYTE* base, INT pitch, UINT x, UINT y, float out[4]) {
    const BYTE* p = base + size_t(y) * pitch + size_t(x) * 16;
    std::memcpy(out, p, 16);
}

// ---- Block-compressed formats: 4x4 texels per block ----

void Rgb565(uint16_t c, float rgb[3]) {
    rgb[0] = Unorm(c >> 11, 5);
    rgb[1] = Unorm((c >> 5) & 0x3F, 6);
    rgb[2] = Unorm(c & 0x1F, 5);
}

// Colour of texel i (0-15) of a colour block; `fourColour` forces the
// four-colour mode used by the formats with separate alpha.
void BlockColour(const BYTE* block, int i, bool fourColour, float out[4]) {
    uint16_t c0 = uint16_t(block[0] | (block[1] << 8));
    uint16_t c1 = uint16_t(block[2] | (block[3] << 8));
    uint32_t bits = uint32_t(block[4]) | (uint32_t(block[5]) << 8) | (uint32_t(block[6]) << 16) |
                    (uint32_t(block[7]) << 24);
    uint32_t code = (bits >> (2 * i)) & 3;
    float a[3], b[3];
    Rgb565(c0, a);
    Rgb565(c1, b);
    out[3] = 1.f;
    bool four = fourColour || c0 > c1;
    for (int k = 0; k < 3; ++k) {
        switch (code) {
        case 0: out[k] = a[k]; break;
        case 1: out[k] = b[k]; break;
        case 2: out[k] = four ? (2 * a[k] + b[k]) / 3 : (a[k] + b[k]) / 2; break;
        default: out[k] = four ? (a[k] + 2 * b[k]) / 3 : 0.f; break;
        }
    }
    if (!four && code == 3) out[3] = 0.f;
}

const BYTE* BlockAt(const BYTE* base, INT pitch, UINT x, UINT y, UINT blockBytes) {
    return base + size_t(y / 4) * pitch + size_t(x / 4) * blockBytes;
}

void DecodeDxt1(const BYTE* base, INT pitch, UINT x, UINT y, float out[4]) {
    BlockColour(BlockAt(base, pitch, x, y, 8), int((y % 4) * 4 + x % 4), false, out);
}
void DecodeDxt3(const BYTE* base, INT pitch, UINT x, UINT y, float out[4]) {
    const BYTE* block = BlockAt(base, pitch, x, y, 16);
    int i = int((y % 4) * 4 + x % 4);
    BlockColour(block + 8, i, true, out);
    out[3] = ((block[i / 2] >> ((i % 2) * 4)) & 0xF) / 15.f;
}
void DecodeDxt5(const BYTE* base, INT pitch, UINT x, UINT y, float out[4]) {
    const BYTE* block = BlockAt(base, pitch, x, y, 16);
    int i = int((y % 4) * 4 + x % 4);
    BlockColour(block + 8, i, true, out);
    float a0 = block[0] / 255.f, a1 = block[1] / 255.f;
    uint64_t bits = 0;
    for (int k = 0; k < 6; ++k) bits |= uint64_t(block[2 + k]) << (8 * k);
    uint32_t code = uint32_t(bits >> (3 * i)) & 7;
    float alpha;
    if (code == 0) {
        alpha = a0;
    } else if (code == 1) {
        alpha = a1;
    } else if (block[0] > block[1]) {
        alpha = ((8 - code) * a0 + (code - 1) * a1) / 7;
    } else if (code < 6) {
        alpha = ((6 - code) * a0 + (code - 1) * a1) / 5;
    } else {
        alpha = code == 6 ? 0.f : 1.f;
    }
    out[3] = alpha;
}

constexpr uint32_t kTex = kUseTexture | kUseFilter | kUseLockable | kUseAutoMip;
constexpr uint32_t kRt = kTex | kUseRenderTarget | kUseBlend;
constexpr uint32_t kFloatTex = kUseTexture | kUseLockable | kUseVertexTexture;

const FormatInfo kFormats[] = {
    {D3DFMT_A8R8G8B8, 4, 1, kRt | kUseVertexTexture, DecodeA8R8G8B8, 0, 0},
    {D3DFMT_X8R8G8B8, 4, 1, kRt | kUseVertexTexture, DecodeX8R8G8B8, 0, 0},
    {D3DFMT_R5G6B5, 2, 1, kTex, DecodePacked<11, 5, 5, 6, 0, 5, 0, 0, uint16_t>, 0, 0},
    {D3DFMT_X1R5G5B5, 2, 1, kTex, DecodePacked<10, 5, 5, 5, 0, 5, 0, 0, uint16_t>, 0, 0},
    {D3DFMT_A1R5G5B5, 2, 1, kTex, DecodePacked<10, 5, 5, 5, 0, 5, 15, 1, uint16_t>, 0, 0},
    {D3DFMT_A4R4G4B4, 2, 1, kTex, DecodePacked<8, 4, 4, 4, 0, 4, 12, 4, uint16_t>, 0, 0},
    {D3DFMT_R3G3B2, 1, 1, kTex, DecodePacked<5, 3, 2, 3, 0, 2, 0, 0, uint8_t>, 0, 0},
    {D3DFMT_A8, 1, 1, kTex, DecodeA8, 0, 0},
    {D3DFMT_A8R3G3B2, 2, 1, kTex, DecodePacked<5, 3, 2, 3, 0, 2, 8, 8, uint16_t>, 0, 0},
    {D3DFMT_X4R4G4B4, 2, 1, kTex, DecodePacked<8, 4, 4, 4, 0, 4, 0, 0, uint16_t>, 0, 0},
    {D3DFMT_A2B10G10R10, 4, 1, kTex, DecodePacked<0, 10, 10, 10, 20, 10, 30, 2, uint32_t>, 0, 0},
    {D3DFMT_A8B8G8R8, 4, 1, kTex, DecodePacked<0, 8, 8, 8, 16, 8, 24, 8, uint32_t>, 0, 0},
    {D3DFMT_X8B8G8R8, 4, 1, kTex, DecodePacked<0, 8, 8, 8, 16, 8, 0, 0, uint32_t>, 0, 0},
    {D3DFMT_G16R16, 4, 1, kTex, DecodeG16R16, 0, 0},
    {D3DFMT_A2R10G10B10, 4, 1, kTex, DecodePacked<20, 10, 10, 10, 0, 10, 30, 2, uint32_t>, 0, 0},
    {D3DFMT_A16B16G16R16, 8, 1, kTex, DecodeA16B16G16R16, 0, 0},
    {D3DFMT_L8, 1, 1, kTex, DecodeL8, 0, 0},
    {D3DFMT_A8L8, 2, 1, kTex, DecodeA8L8, 0, 0},
    {D3DFMT_A4L4, 1, 1, kTex, DecodeA4L4, 0, 0},
    {D3DFMT_L16, 2, 1, kTex, DecodeL16, 0, 0},
    {D3DFMT_V8U8, 2, 1, kTex, DecodeV8U8, 0, 0},
    {D3DFMT_L6V5U5, 2, 1, kTex, DecodeL6V5U5, 0, 0},
    {D3DFMT_Q8W8V8U8, 4, 1, kTex, DecodeQ8W8V8U8, 0, 0},
    {D3DFMT_V16U16, 4, 1, kTex, DecodeV16U16, 0, 0},
    {D3DFMT_DXT1, 8, 4, kUseTexture | kUseFilter | kUseLockable, DecodeDxt1, 0, 0},
    {D3DFMT_DXT2, 16, 4, kUseTexture | kUseFilter | kUseLockable, DecodeDxt3, 0, 0},
    {D3DFMT_DXT3, 16, 4, kUseTexture | kUseFilter | kUseLockable, DecodeDxt3, 0, 0},
    {D3DFMT_DXT4, 16, 4, kUseTexture | kUseFilter | kUseLockable, DecodeDxt5, 0, 0},
    {D3DFMT_DXT5, 16, 4, kUseTexture | kUseFilter | kUseLockable, DecodeDxt5, 0, 0},
    {D3DFMT_R16F, 2, 1, kFloatTex | kUseFilter, DecodeR16F, 0, 0},
    {D3DFMT_G16R16F, 4, 1, kFloatTex | kUseFilter, DecodeG16R16F, 0, 0},
    {D3DFMT_A16B16G16R16F, 8, 1, kFloatTex | kUseFilter, DecodeA16B16G16R16F, 0, 0},
    {D3DFMT_R32F, 4, 1, kFloatTex, DecodeR32F, 0, 0},
    {D3DFMT_G32R32F, 8, 1, kFloatTex, DecodeG32R32F, 0, 0},
    {D3DFMT_A32B32G32R32F, 16, 1, kFloatTex, DecodeA32B32G32R32F, 0, 0},
    // Formats kept as plain storage (scratch resources): lockable, not sampled.
    {D3DFMT_R8G8B8, 3, 1, kUseLockable, nullptr, 0, 0},
    {D3DFMT_A8P8, 2, 1, kUseLockable, nullptr, 0, 0},
    {D3DFMT_P8, 1, 1, kUseLockable, nullptr, 0, 0},
    {D3DFMT_X8L8V8U8, 4, 1, kUseLockable, nullptr, 0, 0},
    {D3DFMT_A2W10V10U10, 4, 1, kUseLockable, nullptr, 0, 0},
    {D3DFMT_Q16W16V16U16, 8, 1, kUseLockable, nullptr, 0, 0},
    {D3DFMT_CxV8U8, 2, 1, kUseLockable, nullptr, 0, 0},
    {D3DFMT_UYVY, 2, 1, kUseLockable, nullptr, 0, 0},
    {D3DFMT_YUY2, 2, 1, kUseLockable, nullptr, 0, 0},
    {D3DFMT_R8G8_B8G8, 2, 1, kUseLockable, nullptr, 0, 0},
    {D3DFMT_G8R8_G8B8, 2, 1, kUseLockable, nullptr, 0, 0},
    {D3DFMT_D32F_LOCKABLE, 4, 1, kUseLockable, nullptr, 0, 0},
    {D3DFMT_D16_LOCKABLE, 2, 1, kUseDepthStencil | kUseLockable, nullptr, 16, 0},
    {D3DFMT_D32, 4, 1, kUseDepthStencil, nullptr, 32, 0},
    {D3DFMT_D24S8, 4, 1, kUseDepthStencil, nullptr, 24, 8},
    {D3DFMT_D24X8, 4, 1, kUseDepthStencil, nullptr, 24, 0},
    {D3DFMT_D16, 2, 1, kUseDepthStencil, nullptr, 16, 0},
};

}  // namespace

const FormatInfo* FindFormat(D3DFORMAT format) {
    for (const FormatInfo& info : kFormats) {
        if (info.format == format) return &info;
    }
    return nullptr;
}

UINT RowPitch(const FormatInfo& info, UINT width) {
    uint64_t blocks = (uint64_t(width) + info.blockSize - 1) / info.blockSize;
    uint64_t pitch = blocks * info.blockBytes;
    return pitch > 0x7FFFFFFF ? 0 : UINT(pitch);
}

UINT RowCount(const FormatInfo& info, UINT height) { return (height + info.blockSize - 1) / info.blockSize; }

float HalfToFloat(uint16_t h) {
    uint32_t sign = uint32_t(h >> 15) << 31;
    uint32_t exponent = (h >> 10) & 0x1F;
    uint32_t mantissa = h & 0x3FF;
    uint32_t bits;
    if (exponent == 0) {
        if (mantissa == 0) {
            bits = sign;
        } else {
            // Subnormal: normalise.
            int e = -1;
            do {
                ++e;
                mantissa <<= 1;
            } while ((mantissa & 0x400) == 0);
            bits = sign | (uint32_t(127 - 15 - e) << 23) | ((mantissa & 0x3FF) << 13);
        }
    } else if (exponent == 31) {
        bits = sign | 0x7F800000u | (mantissa << 13);
    } else {
        bits = sign | ((exponent + 127 - 15) << 23) | (mantissa << 13);
    }
    float f;
    std::memcpy(&f, &bits, 4);
    return f;
}

}  // namespace gfx
