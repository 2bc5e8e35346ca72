// Layout converters. Most formats are a handful of bit fields in a little-endian
// word of 1 to 8 bytes and are driven by one table; palettes, floats and the
// two-pixel formats have their own classes.
#include "texture/pixels/pixel_layouts.h"

#include <cmath>
#include <cstring>

namespace {

enum Target : uint8_t { ToR, ToG, ToB, ToA, ToL };

struct Channel {
    uint8_t shift;
    uint8_t bits;
    uint8_t target;
    bool isSigned;
};

struct PackedLayout {
    D3DFORMAT format;
    uint8_t bytes;
    uint8_t count;
    Channel ch[4];
    float missingColour;  // value of absent red, green, blue (alpha defaults to 1)
    bool derivedBlue;     // blue = sqrt(1 - u^2 - v^2)
};

constexpr Channel U(uint8_t shift, uint8_t bits, Target t) { return {shift, bits, static_cast<uint8_t>(t), false}; }
constexpr Channel S(uint8_t shift, uint8_t bits, Target t) { return {shift, bits, static_cast<uint8_t>(t), true}; }

const PackedLayout kPacked[] = {
    {D3DFMT_R8G8B8, 3, 3, {U(0, 8, ToB), U(8, 8, ToG), U(16, 8, ToR)}, 1, false},
    {D3DFMT_A8R8G8B8, 4, 4, {U(0, 8, ToB), U(8, 8, ToG), U(16, 8, ToR), U(24, 8, ToA)}, 1, false},
    {D3DFMT_X8R8G8B8, 4, 3, {U(0, 8, ToB), U(8, 8, ToG), U(16, 8, ToR)}, 1, false},
    {D3DFMT_R5G6B5, 2, 3, {U(0, 5, ToB), U(5, 6, ToG), U(11, 5, ToR)}, 1, false},
    {D3DFMT_X1R5G5B5, 2, 3, {U(0, 5, ToB), U(5, 5, ToG), U(10, 5, ToR)}, 1, false},
    {D3DFMT_A1R5G5B5, 2, 4, {U(0, 5, ToB), U(5, 5, ToG), U(10, 5, ToR), U(15, 1, ToA)}, 1, false},
    {D3DFMT_A4R4G4B4, 2, 4, {U(0, 4, ToB), U(4, 4, ToG), U(8, 4, ToR), U(12, 4, ToA)}, 1, false},
    {D3DFMT_X4R4G4B4, 2, 3, {U(0, 4, ToB), U(4, 4, ToG), U(8, 4, ToR)}, 1, false},
    {D3DFMT_R3G3B2, 1, 3, {U(0, 2, ToB), U(2, 3, ToG), U(5, 3, ToR)}, 1, false},
    {D3DFMT_A8, 1, 1, {U(0, 8, ToA)}, 0, false},
    {D3DFMT_A8R3G3B2, 2, 4, {U(0, 2, ToB), U(2, 3, ToG), U(5, 3, ToR), U(8, 8, ToA)}, 1, false},
    {D3DFMT_A2R10G10B10, 4, 4, {U(0, 10, ToB), U(10, 10, ToG), U(20, 10, ToR), U(30, 2, ToA)}, 1, false},
    {D3DFMT_A8B8G8R8, 4, 4, {U(0, 8, ToR), U(8, 8, ToG), U(16, 8, ToB), U(24, 8, ToA)}, 1, false},
    {D3DFMT_X8B8G8R8, 4, 3, {U(0, 8, ToR), U(8, 8, ToG), U(16, 8, ToB)}, 1, false},
    {D3DFMT_A2B10G10R10, 4, 4, {U(0, 10, ToR), U(10, 10, ToG), U(20, 10, ToB), U(30, 2, ToA)}, 1, false},
    {D3DFMT_A16B16G16R16, 8, 4, {U(0, 16, ToR), U(16, 16, ToG), U(32, 16, ToB), U(48, 16, ToA)}, 1, false},
    {D3DFMT_G16R16, 4, 2, {U(0, 16, ToR), U(16, 16, ToG)}, 1, false},
    {D3DFMT_L8, 1, 1, {U(0, 8, ToL)}, 1, false},
    {D3DFMT_L16, 2, 1, {U(0, 16, ToL)}, 1, false},
    {D3DFMT_D16_LOCKABLE, 2, 1, {U(0, 16, ToL)}, 1, false},
    {D3DFMT_A8L8, 2, 2, {U(0, 8, ToL), U(8, 8, ToA)}, 1, false},
    {D3DFMT_A4L4, 1, 2, {U(0, 4, ToL), U(4, 4, ToA)}, 1, false},
    {FormatAL16, 4, 2, {U(0, 16, ToL), U(16, 16, ToA)}, 1, false},
    {FormatR16G16B16, 6, 3, {U(0, 16, ToB), U(16, 16, ToG), U(32, 16, ToR)}, 1, false},
    {D3DFMT_V8U8, 2, 2, {S(0, 8, ToR), S(8, 8, ToG)}, 1, false},
    {D3DFMT_CxV8U8, 2, 2, {S(0, 8, ToR), S(8, 8, ToG)}, 1, true},
    {D3DFMT_L6V5U5, 2, 3, {S(0, 5, ToR), S(5, 5, ToG), U(10, 6, ToA)}, 1, false},
    {D3DFMT_X8L8V8U8, 4, 3, {S(0, 8, ToR), S(8, 8, ToG), U(16, 8, ToA)}, 1, false},
    {D3DFMT_Q8W8V8U8, 4, 4, {S(0, 8, ToR), S(8, 8, ToG), S(16, 8, ToB), S(24, 8, ToA)}, 1, false},
    {D3DFMT_V16U16, 4, 2, {S(0, 16, ToR), S(16, 16, ToG)}, 1, false},
    {D3DFMT_A2W10V10U10, 4, 4, {S(0, 10, ToR), S(10, 10, ToG), S(20, 10, ToB), U(30, 2, ToA)}, 1, false},
    {D3DFMT_Q16W16V16U16, 8, 4, {S(0, 16, ToR), S(16, 16, ToG), S(32, 16, ToB), S(48, 16, ToA)}, 1, false},
};

inline uint64_t ReadWord(const BYTE* p, uint32_t bytes) {
    uint64_t w = 0;
    std::memcpy(&w, p, bytes);
    return w;
}

inline void WriteWord(BYTE* p, uint32_t bytes, uint64_t w) { std::memcpy(p, &w, bytes); }

inline float& Slot(KLCOLOR& c, uint8_t target) {
    switch (target) {
    case ToR:
        return c.r;
    case ToG:
        return c.g;
    case ToB:
        return c.b;
    default:
        return c.a;
    }
}

inline float Luminance(const KLCOLOR& c) { return 0.2125f * c.r + 0.7154f * c.g + 0.0721f * c.b; }

// Quantises v into an n-bit field: integer part of v * M + d, held inside the
// field's range so that stray values can never spill into a neighbour.
inline uint64_t Quantise(float v, float d, uint32_t bits, bool isSigned) {
    if (isSigned) {
        const int64_t m = (int64_t{1} << (bits - 1)) - 1;
        float f = v * static_cast<float>(m) + d;
        if (!(f > static_cast<float>(-m - 1))) f = static_cast<float>(-m - 1);
        if (f > static_cast<float>(m)) f = static_cast<float>(m);
        const int64_t q = static_cast<int64_t>(f);
        return static_cast<uint64_t>(q) & ((uint64_t{1} << bits) - 1);
    }
    const uint64_t m = (uint64_t{1} << bits) - 1;
    float f = v * static_cast<float>(m) + d;
    if (!(f > 0.0f)) return 0;
    if (f >= static_cast<float>(m)) return m;
    const uint64_t q = static_cast<uint64_t>(f);
    return q > m ? m : q;
}

class PackedConverter : public PixelConverter {
public:
    explicit PackedConverter(const PackedLayout& layout) : layout_(layout) {
        for (int i = 0; i < layout_.count; ++i) {
            const Channel& ch = layout_.ch[i];
            if (ch.isSigned) {
                scale_[i] = 1.0f / static_cast<float>((1u << (ch.bits - 1)) - 1);
            } else {
                scale_[i] = 1.0f / static_cast<float>((uint64_t{1} << ch.bits) - 1);
            }
        }
    }

protected:
    void Load(const BYTE* p, uint32_t count, KLCOLOR* out) override {
        const uint32_t bytes = layout_.bytes;
        const float m = layout_.missingColour;
        for (uint32_t x = 0; x < count; ++x, p += bytes) {
            const uint64_t w = ReadWord(p, bytes);
            KLCOLOR c = {m, m, m, 1.0f};
            for (int i = 0; i < layout_.count; ++i) {
                const Channel& ch = layout_.ch[i];
                const uint64_t raw = (w >> ch.shift) & ((uint64_t{1} << ch.bits) - 1);
                float v;
                if (ch.isSigned) {
                    int64_t s = static_cast<int64_t>(raw);
                    const int64_t half = int64_t{1} << (ch.bits - 1);
                    if (s >= half) s -= 2 * half;
                    if (s == -half) s = -half + 1;  // symmetric range
                    v = static_cast<float>(s) / static_cast<float>(half - 1);
                } else {
                    v = static_cast<float>(raw) * scale_[i];
                }
                if (ch.target == ToL)
                    c.r = c.g = c.b = v;
                else
                    Slot(c, ch.target) = v;
            }
            if (layout_.derivedBlue) {
                const float t = 1.0f - c.r * c.r - c.g * c.g;
                c.b = t > 0.0f ? std::sqrt(t) : 0.0f;
            }
            out[x] = c;
        }
    }

    void Store(BYTE* p, uint32_t count, const KLCOLOR* in, const float* ditherRow) override {
        const uint32_t bytes = layout_.bytes;
        for (uint32_t x = 0; x < count; ++x, p += bytes) {
            const float d = ditherRow[x & 3];
            KLCOLOR c = in[x];
            uint64_t w = 0;
            for (int i = 0; i < layout_.count; ++i) {
                const Channel& ch = layout_.ch[i];
                const float v = ch.target == ToL ? Luminance(c) : Slot(c, ch.target);
                w |= Quantise(v, d, ch.bits, ch.isSigned) << ch.shift;
            }
            WriteWord(p, bytes, w);
        }
    }

private:
    PackedLayout layout_;
    float scale_[4] = {};
};

// D3DFMT_P8 (one index byte) and D3DFMT_A8P8 (index, then alpha).
class PaletteConverter : public PixelConverter {
public:
    explicit PaletteConverter(bool withAlpha) : withAlpha_(withAlpha) {}

protected:
    void Load(const BYTE* p, uint32_t count, KLCOLOR* out) override {
        for (uint32_t x = 0; x < count; ++x) {
            if (withAlpha_) {
                out[x] = palette[p[2 * x]];
                out[x].a = static_cast<float>(p[2 * x + 1]) * (1.0f / 255.0f);
            } else {
                out[x] = palette[p[x]];
            }
        }
    }

    void Store(BYTE* p, uint32_t count, const KLCOLOR* in, const float* ditherRow) override {
        for (uint32_t x = 0; x < count; ++x) {
            const KLCOLOR& c = in[x];
            int best = 0;
            float bestDist = INFINITY;
            for (int i = 0; i < 256; ++i) {
                const KLCOLOR& e = palette[i];
                const float dr = e.r - c.r, dg = e.g - c.g, db = e.b - c.b;
                float dist = dr * dr + dg * dg + db * db;
                if (!withAlpha_) dist += (e.a - c.a) * (e.a - c.a);
                if (dist < bestDist) bestDist = dist, best = i;
            }
            if (withAlpha_) {
                p[2 * x] = static_cast<BYTE>(best);
                p[2 * x + 1] = static_cast<BYTE>(Quantise(c.a, ditherRow[x & 3], 8, false));
            } else {
                p[x] = static_cast<BYTE>(best);
            }
        }
    }

private:
    bool withAlpha_;
};

// 16- and 32-bit float channels stored as they are; missing channels read 1.0.
class FloatConverter : public PixelConverter {
public:
    FloatConverter(uint32_t channels, bool half) : channels_(channels), half_(half) {}

protected:
    void Load(const BYTE* p, uint32_t count, KLCOLOR* out) override {
        const uint32_t size = half_ ? 2 : 4;
        for (uint32_t x = 0; x < count; ++x) {
            float v[4] = {1.0f, 1.0f, 1.0f, 1.0f};
            for (uint32_t i = 0; i < channels_; ++i, p += size) {
                if (half_) {
                    KLFLOAT16 h;
                    std::memcpy(&h, p, 2);
                    KLFloat16To32Array(&v[i], &h, 1);
                } else {
                    std::memcpy(&v[i], p, 4);
                }
            }
            out[x] = KLCOLOR{v[0], v[1], v[2], v[3]};
        }
    }

    void Store(BYTE* p, uint32_t count, const KLCOLOR* in, const float*) override {
        const uint32_t size = half_ ? 2 : 4;
        for (uint32_t x = 0; x < count; ++x) {
            const float v[4] = {in[x].r, in[x].g, in[x].b, in[x].a};
            for (uint32_t i = 0; i < channels_; ++i, p += size) {
                if (half_) {
                    KLFLOAT16 h;
                    KLFloat32To16Array(&h, &v[i], 1);
                    std::memcpy(p, &h, 2);
                } else {
                    std::memcpy(p, &v[i], 4);
                }
            }
        }
    }

private:
    uint32_t channels_;
    bool half_;
};

// Two pixels share one 32-bit word: YUY2 and UYVY (luma per pixel, shared
// chroma) and the RGBG / GRGB formats (green per pixel, shared red and blue).
// Rows are addressed from the even pixel at or left of the region's left edge.
class PairConverter : public PixelConverter {
public:
    explicit PairConverter(D3DFORMAT format) : format_(format) {}

protected:
    // Byte positions in the pair word of: first pixel's own value, second
    // pixel's own value, shared value one, shared value two.
    void Roles(int* own0, int* own1, int* s0, int* s1) const {
        switch (format_) {
        case D3DFMT_YUY2:  // Y0 U Y1 V
            *own0 = 0, *own1 = 2, *s0 = 1, *s1 = 3;
            break;
        case D3DFMT_UYVY:  // U Y0 V Y1
            *own0 = 1, *own1 = 3, *s0 = 0, *s1 = 2;
            break;
        case D3DFMT_R8G8_B8G8:  // G0 R G1 B
            *own0 = 0, *own1 = 2, *s0 = 1, *s1 = 3;
            break;
        default:  // G8R8_G8B8: R G0 B G1
            *own0 = 1, *own1 = 3, *s0 = 0, *s1 = 2;
            break;
        }
    }
    bool IsYuv() const { return format_ == D3DFMT_YUY2 || format_ == D3DFMT_UYVY; }

    void Load(const BYTE* p, uint32_t count, KLCOLOR* out) override {
        int o0, o1, s0, s1;
        Roles(&o0, &o1, &s0, &s1);
        for (uint32_t x = 0; x < count; ++x) {
            const BYTE* pair = p + 4 * (x / 2);
            const int own = (x & 1) ? pair[o1] : pair[o0];
            if (IsYuv()) {
                const float y = (own - 16) * 0.00456621f;
                const float u = static_cast<float>(pair[s0] - 128), v = static_cast<float>(pair[s1] - 128);
                out[x] = KLCOLOR{Clamp01(y + v * 0.00625893f), Clamp01(y - u * 0.00153632f - v * 0.00318811f),
                                 Clamp01(y + u * 0.00791071f), 1.0f};
            } else {
                const float k = 1.0f / 255.0f;
                out[x] = KLCOLOR{pair[s0] * k, own * k, pair[s1] * k, 1.0f};
            }
        }
    }

    void Store(BYTE* p, uint32_t count, const KLCOLOR* in, const float*) override {
        int o0, o1, s0, s1;
        Roles(&o0, &o1, &s0, &s1);
        for (uint32_t x = 0; x < count; x += 2) {
            BYTE* pair = p + 4 * (x / 2);
            const KLCOLOR& a = in[x];
            const KLCOLOR& b = x + 1 < count ? in[x + 1] : in[x];
            if (IsYuv()) {
                pair[o0] = Byte(Luma(a) + 16);
                if (x + 1 < count) pair[o1] = Byte(Luma(b) + 16);
                pair[s0] = Byte(Trunc(112 * a.b - 74.203f * a.g - 37.797f * a.r + 0.5f) + 128);
                pair[s1] = Byte(Trunc(112 * a.r - 93.786f * a.g - 18.214f * a.b + 0.5f) + 128);
            } else {
                pair[o0] = Byte(Trunc(a.g * 255 + 0.5f));
                if (x + 1 < count) pair[o1] = Byte(Trunc(b.g * 255 + 0.5f));
                pair[s0] = Byte(Trunc(a.r * 255 + 0.5f));
                pair[s1] = Byte(Trunc(a.b * 255 + 0.5f));
            }
        }
    }

    // Rows span the region widened to even bounds; the region's own pixels are
    // taken from or merged into that span.
    HRESULT DecodeRaw(uint32_t y, uint32_t z, KLCOLOR* out) override {
        const uint32_t left = region.left & ~1u, right = (region.right + 1) & ~1u;
        if (!Span(right - left)) return E_OUTOFMEMORY;
        Load(PairRow(y, z, left), right - left, span_.data());
        std::memcpy(out, span_.data() + (region.left - left), sizeof(KLCOLOR) * width);
        return S_OK;
    }

    HRESULT EncodeRaw(uint32_t y, uint32_t z, const KLCOLOR* in, const float* ditherRow) override {
        const uint32_t left = region.left & ~1u, right = (region.right + 1) & ~1u;
        if (!Span(right - left)) return E_OUTOFMEMORY;
        BYTE* row = PairRow(y, z, left);
        if (left != region.left || right != region.right) Load(row, right - left, span_.data());
        std::memcpy(span_.data() + (region.left - left), in, sizeof(KLCOLOR) * width);
        Store(row, right - left, span_.data(), ditherRow);
        return S_OK;
    }

private:
    static float Clamp01(float v) { return v < 0.0f ? 0.0f : (v > 1.0f ? 1.0f : v); }
    static int Trunc(float v) { return static_cast<int>(v); }
    static BYTE Byte(int v) { return static_cast<BYTE>(v < 0 ? 0 : (v > 255 ? 255 : v)); }
    static int Luma(const KLCOLOR& c) { return Trunc(65.481f * c.r + 128.553f * c.g + 24.966f * c.b + 0.5f); }
    BYTE* PairRow(uint32_t y, uint32_t z, uint32_t left) const {
        return pixels + static_cast<size_t>(region.top + y) * rowPitch +
               static_cast<size_t>(region.front + z) * slicePitch + static_cast<size_t>(left) * 2;
    }
    bool Span(uint32_t n) {
        try {
            if (span_.size() < n) span_.resize(n);
        } catch (const std::bad_alloc&) {
            return false;
        }
        return true;
    }

    D3DFORMAT format_;
    std::vector<KLCOLOR> span_;
};

}  // namespace

std::unique_ptr<PixelConverter> MakeLayoutConverter(D3DFORMAT format) {
    for (const PackedLayout& layout : kPacked)
        if (layout.format == format) return std::make_unique<PackedConverter>(layout);
    switch (format) {
    case D3DFMT_P8:
        return std::make_unique<PaletteConverter>(false);
    case D3DFMT_A8P8:
        return std::make_unique<PaletteConverter>(true);
    case D3DFMT_R16F:
        return std::make_unique<FloatConverter>(1, true);
    case D3DFMT_G16R16F:
        return std::make_unique<FloatConverter>(2, true);
    case D3DFMT_A16B16G16R16F:
        return std::make_unique<FloatConverter>(4, true);
    case D3DFMT_R32F:
    case D3DFMT_D32F_LOCKABLE:
        return std::make_unique<FloatConverter>(1, false);
    case D3DFMT_G32R32F:
        return std::make_unique<FloatConverter>(2, false);
    case D3DFMT_A32B32G32R32F:
        return std::make_unique<FloatConverter>(4, false);
    case D3DFMT_YUY2:
    case D3DFMT_UYVY:
    case D3DFMT_R8G8_B8G8:
    case D3DFMT_G8R8_G8B8:
        return std::make_unique<PairConverter>(format);
    default:
        // Block formats (DXT1..DXT5) have their own converter; the depth
        // formats other than the two lockable ones have none.
        return nullptr;
    }
}
