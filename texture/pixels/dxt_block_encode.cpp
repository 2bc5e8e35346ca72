// Block encoders of the five DXT formats. Every quantisation inside a block
// diffuses its error forward to the texels not yet coded (7/16 right; 3/16,
// 5/16, 1/16 to the row below), so flat areas between two representable
// values come out as a pattern whose average is the wanted value.
#include <algorithm>
#include <utility>

#include "texture/pixels/dxt_vector.h"

namespace {

// Index of the palette entry stored for each position along the line.
const int kColorMap4[4] = {0, 2, 3, 1};
const int kColorMap3[3] = {0, 2, 1};
const int kAlphaMap8[8] = {0, 2, 3, 4, 5, 6, 7, 1};
const int kAlphaMap6[6] = {0, 2, 3, 4, 5, 1};

// n / steps for every n, as single-precision quotients: the stored values of
// 4-, 5-, 6- and 8-bit quantities.
struct StepValues {
    float of15[16], of31[32], of63[64], of255[256];
    StepValues() {
        for (int n = 0; n < 256; ++n) {
            if (n < 16) of15[n] = static_cast<float>(n) / 15.0f;
            if (n < 32) of31[n] = static_cast<float>(n) / 31.0f;
            if (n < 64) of63[n] = static_cast<float>(n) / 63.0f;
            of255[n] = static_cast<float>(n) / 255.0f;
        }
    }
};
const StepValues kSteps;

// Adds the error of texel i to the texels after it; errors leaving the block are dropped.
template <typename T>
inline void Diffuse(T* err, uint32_t i, const T& e) {
    const uint32_t x = i & 3, y = i >> 2;
    if (x < 3) err[i + 1] += e * (7.0f / 16.0f);
    if (y < 3) {
        if (x > 0) err[i + 3] += e * (3.0f / 16.0f);
        err[i + 4] += e * (5.0f / 16.0f);
        if (x < 3) err[i + 5] += e * (1.0f / 16.0f);
    }
}

const Vec4 kWeights = ToVec4(kColorWeights);

inline Vec4 Rgb(const KLCOLOR& c) { return Vec4::Rgb(c.r, c.g, c.b); }

// Integer part of v * steps + 0.5, held to 0..steps.
inline int Quantise(float v, int steps) {
    const int n = static_cast<int>(v * static_cast<float>(steps) + 0.5f);
    return n < 0 ? 0 : (n > steps ? steps : n);
}

inline float Clamp01(float v) { return v < 0.0f ? 0.0f : (v > 1.0f ? 1.0f : v); }

inline uint16_t Pack565(const WeightedColor& weighted) {
    const int r = Quantise(Clamp01(weighted.r * kColorUnweights.r), 31);
    const int g = Quantise(Clamp01(weighted.g * kColorUnweights.g), 63);
    const int b = Quantise(Clamp01(weighted.b * kColorUnweights.b), 31);
    return static_cast<uint16_t>((r << 11) | (g << 5) | b);
}

inline Vec4 Weighted565(uint16_t c) {
    return Vec4::Rgb(kSteps.of31[c >> 11], kSteps.of63[(c >> 5) & 63], kSteps.of31[c & 31]) * kWeights;
}

inline void Store16(BYTE* p, uint16_t v) { p[0] = static_cast<BYTE>(v), p[1] = static_cast<BYTE>(v >> 8); }
inline void Store32(BYTE* p, uint32_t v) {
    p[0] = static_cast<BYTE>(v), p[1] = static_cast<BYTE>(v >> 8), p[2] = static_cast<BYTE>(v >> 16),
    p[3] = static_cast<BYTE>(v >> 24);
}

void WriteColorBlock(BYTE* out, uint16_t c0, uint16_t c1, uint32_t indices) {
    Store16(out, c0);
    Store16(out + 2, c1);
    Store32(out + 4, indices);
}

// Quantises a copy of the block to 5:6:5 with error diffusion and returns it
// in the weighted space: the points the endpoint search fits. Per channel
// this is n = integer part of (v * steps + 0.5) held to 0..steps, stored as
// n / steps; the unused lane divides 0 by 1.
void QuantisedWeightedCopy(const KLCOLOR* in, Vec4* points) {
    const Vec4 steps = {_mm_set_ps(1.0f, 31.0f, 63.0f, 31.0f)};
    Vec4 err[kBlockTexels];
    for (Vec4& e : err) e = Vec4::Zero();
    for (uint32_t i = 0; i < kBlockTexels; ++i) {
        const Vec4 v = Rgb(in[i]) + err[i];
        const Vec4 f = Min(Max(v * steps + Vec4{_mm_set1_ps(0.5f)}, Vec4::Zero()), steps);
        const Vec4 q = Vec4{_mm_cvtepi32_ps(_mm_cvttps_epi32(f.v))} / steps;
        Diffuse(err, i, v - q);
        points[i] = q * kWeights;
    }
}

// Whether every texel has alpha exactly 1.
bool Opaque(const KLCOLOR* in) {
    bool opaque = true;
    for (uint32_t i = 0; i < kBlockTexels; ++i) opaque &= in[i].a == 1.0f;
    return opaque;
}

// Writes an alpha block's 3-bit indices, eight texels per 3 bytes.
void PackAlphaIndices(BYTE* out, const int* indices) {
    for (int half = 0; half < 2; ++half) {
        uint32_t bits = 0;
        for (int i = 0; i < 8; ++i) bits |= static_cast<uint32_t>(indices[8 * half + i]) << (3 * i);
        out[3 * half] = static_cast<BYTE>(bits);
        out[3 * half + 1] = static_cast<BYTE>(bits >> 8);
        out[3 * half + 2] = static_cast<BYTE>(bits >> 16);
    }
}

void EncodeExplicitAlpha(BYTE* out, const KLCOLOR* in) {
    float err[kBlockTexels] = {};
    for (int i = 0; i < 8; ++i) out[i] = 0;
    for (uint32_t i = 0; i < kBlockTexels; ++i) {
        const float v = in[i].a + err[i];
        const int n = Quantise(v, 15);
        out[i / 2] |= static_cast<BYTE>(n << (4 * (i & 1)));
        Diffuse(err, i, v - kSteps.of15[n]);
    }
}

// Stored index for alpha x on the line from a0 to a1 of the given mode.
int AlphaIndex(float x, float a0, float a1, bool six) {
    const int positions = six ? 6 : 8;
    const float last = static_cast<float>(positions - 1);
    float t;
    if (a0 != a1) {
        t = (x - a0) * last / (a1 - a0);
    } else if (six) {
        // A one-value line still leaves the fixed 0 and 1 to choose from: take
        // the limit of the ratio so values off the line reach them.
        t = x < a0 ? -1.0f : (x > a0 ? last : 0.0f);
    } else {
        t = 0.0f;
    }
    if (t <= 0.0f) return six && x <= a0 * 0.5f ? 6 : 0;
    if (t >= last) return six && x >= (a1 + 1.0f) * 0.5f ? 7 : 1;
    return (six ? kAlphaMap6 : kAlphaMap8)[static_cast<int>(t + 0.5f)];
}

void EncodeInterpolatedAlpha(BYTE* out, const KLCOLOR* in) {
    int indices[kBlockTexels] = {};
    if (Opaque(in)) {  // quantises to 1 everywhere without error: the opaque block below
        out[0] = out[1] = 255;
        PackAlphaIndices(out + 2, indices);
        return;
    }
    float quantised[kBlockTexels], err[kBlockTexels] = {};
    for (uint32_t i = 0; i < kBlockTexels; ++i) {
        const float v = in[i].a + err[i];
        quantised[i] = kSteps.of255[Quantise(v, 255)];
        Diffuse(err, i, v - quantised[i]);
    }
    float lowest = quantised[0], highest = quantised[0];
    for (uint32_t i = 1; i < kBlockTexels; ++i) {
        if (quantised[i] < lowest) lowest = quantised[i];
        if (quantised[i] > highest) highest = quantised[i];
    }
    if (lowest == 1.0f) {  // opaque
        out[0] = out[1] = 255;
        PackAlphaIndices(out + 2, indices);
        return;
    }
    const bool six = lowest == 0.0f || highest == 1.0f;
    float low, high;
    RefineAlphaEndpoints(quantised, six ? 6 : 8, &low, &high);
    const int l = static_cast<int>(low * 255.0f + 0.5f), h = static_cast<int>(high * 255.0f + 0.5f);
    if (!six && l == h) {
        out[0] = out[1] = static_cast<BYTE>(l);
        PackAlphaIndices(out + 2, indices);
        return;
    }
    const int s0 = six ? l : h, s1 = six ? h : l;
    out[0] = static_cast<BYTE>(s0);
    out[1] = static_cast<BYTE>(s1);
    const float a0 = kSteps.of255[s0], a1 = kSteps.of255[s1];
    float palette[8] = {a0, a1};
    if (six) {
        for (int k = 1; k <= 4; ++k) palette[k + 1] = (static_cast<float>(5 - k) * a0 + static_cast<float>(k) * a1) / 5.0f;
        palette[6] = 0.0f;
        palette[7] = 1.0f;
    } else {
        for (int k = 1; k <= 6; ++k) palette[k + 1] = (static_cast<float>(7 - k) * a0 + static_cast<float>(k) * a1) / 7.0f;
    }
    for (float& e : err) e = 0.0f;
    for (uint32_t i = 0; i < kBlockTexels; ++i) {
        const float x = in[i].a + err[i];
        indices[i] = AlphaIndex(x, a0, a1, six);
        Diffuse(err, i, x - palette[indices[i]]);
    }
    PackAlphaIndices(out + 2, indices);
}

// Colour times alpha, for the premultiplied formats.
void Premultiply(const KLCOLOR* in, KLCOLOR* out) {
    for (uint32_t i = 0; i < kBlockTexels; ++i)
        out[i] = KLCOLOR{in[i].r * in[i].a, in[i].g * in[i].a, in[i].b * in[i].a, in[i].a};
}

// Alpha made 0 or 1 with its rounding error diffused; returns the number of
// transparent texels.
uint32_t BinaryAlpha(const KLCOLOR* in, KLCOLOR* out) {
    if (Opaque(in)) {  // every step rounds 1 to 1 without error
        std::copy(in, in + kBlockTexels, out);
        return 0;
    }
    float err[kBlockTexels] = {};
    uint32_t clear = 0;
    for (uint32_t i = 0; i < kBlockTexels; ++i) {
        const float v = in[i].a + err[i];
        const int n = static_cast<int>(v + 0.5f) > 0 ? 1 : 0;
        out[i] = KLCOLOR{in[i].r, in[i].g, in[i].b, static_cast<float>(n)};
        clear += 1 - n;
        Diffuse(err, i, v - static_cast<float>(n));
    }
    return clear;
}

// Colour blocks of four colours waiting to be encoded four at a time; what
// is left when the row ends is encoded one by one.
class ColorBlockQueue {
public:
    ~ColorBlockQueue() {
        for (uint32_t k = 0; k < count_; ++k) EncodeColorBlock(texels_[k], out_[k], false);
    }
    void Add(const KLCOLOR* in, BYTE* out) {
        std::copy(in, in + kBlockTexels, texels_[count_]);
        out_[count_] = out;
        if (++count_ == 4) {
            const KLCOLOR* const in4[4] = {texels_[0], texels_[1], texels_[2], texels_[3]};
            EncodeColorBlocks4(in4, out_);
            count_ = 0;
        }
    }

private:
    KLCOLOR texels_[4][kBlockTexels];
    BYTE* out_[4] = {};
    uint32_t count_ = 0;
};

// Rows of the formats with a separate alpha half: alpha block by block,
// colour through the queue.
template <void (*EncodeAlpha)(BYTE*, const KLCOLOR*), bool premultiplied>
void EncodeAlphaBlockRow(BYTE* blocks, const KLCOLOR* in, uint32_t count) {
    ColorBlockQueue colors;
    KLCOLOR texels[kBlockTexels];
    for (uint32_t b = 0; b < count; ++b, blocks += 16, in += kBlockTexels) {
        const KLCOLOR* block = in;
        if (premultiplied) {
            Premultiply(in, texels);
            block = texels;
        }
        EncodeAlpha(blocks, block);
        colors.Add(block, blocks + 8);
    }
}

}  // namespace

void EncodeColorBlock(const KLCOLOR* in, BYTE* out, bool allowTransparent) {
    int positions = 4;
    if (allowTransparent) {
        uint32_t clear = 0;
        for (uint32_t i = 0; i < kBlockTexels; ++i) clear += in[i].a < 0.5f;
        if (clear == kBlockTexels) {
            WriteColorBlock(out, 0x0000, 0xFFFF, 0xFFFFFFFF);
            return;
        }
        if (clear > 0) positions = 3;
    }
    Vec4 points[kBlockTexels];
    QuantisedWeightedCopy(in, points);
    Vec4 low, high;
    RefineColorEndpoints(points, positions, &low, &high);
    const uint16_t a = Pack565(ToWeightedColor(low)), b = Pack565(ToWeightedColor(high));
    if (positions == 4 && a == b) {
        WriteColorBlock(out, a, a, 0);
        return;
    }
    // Four colours need c0 > c1, three (with transparency) c0 <= c1.
    uint16_t c0 = a, c1 = b;
    if ((positions == 4) == (c0 < c1)) std::swap(c0, c1);
    const Vec4 e0 = Weighted565(c0), e1 = Weighted565(c1);
    Vec4 line[4];
    line[0] = e0;
    if (positions == 4) {
        line[1] = e0 + (e1 - e0) * (1.0f / 3.0f);
        line[2] = e0 + (e1 - e0) * (2.0f / 3.0f);
        line[3] = e1;
    } else {
        line[1] = e0 + (e1 - e0) * 0.5f;
        line[2] = e1;
    }
    const float last = static_cast<float>(positions - 1);
    Vec4 dir = Vec4::Zero();
    if (a != b) {
        const Vec4 span = e1 - e0;
        dir = span * (last / Dot3(span, span));
    }
    const int* map = positions == 4 ? kColorMap4 : kColorMap3;
    Vec4 err[kBlockTexels];
    for (Vec4& e : err) e = Vec4::Zero();
    uint32_t indices = 0;
    for (uint32_t i = 0; i < kBlockTexels; ++i) {
        if (positions == 3 && in[i].a < 0.5f) {
            indices |= 3u << (2 * i);
            continue;
        }
        const Vec4 c = Rgb(in[i]) * kWeights + err[i];
        const float t = Dot3(c - e0, dir);
        int pos;
        if (t <= 0.0f)
            pos = 0;
        else if (t >= last)
            pos = positions - 1;
        else
            pos = static_cast<int>(t + 0.5f);
        indices |= static_cast<uint32_t>(map[pos]) << (2 * i);
        Diffuse(err, i, c - line[pos]);
    }
    WriteColorBlock(out, c0, c1, indices);
}

void EncodeBlockDxt1(BYTE* block, const KLCOLOR* in) {
    // Alpha becomes 0 or 1; the colour block's transparent entry carries it.
    KLCOLOR binary[kBlockTexels];
    BinaryAlpha(in, binary);
    EncodeColorBlock(binary, block, true);
}

void EncodeBlockDxt3(BYTE* block, const KLCOLOR* in) {
    EncodeExplicitAlpha(block, in);
    EncodeColorBlock(in, block + 8, false);
}

void EncodeBlockDxt5(BYTE* block, const KLCOLOR* in) {
    EncodeInterpolatedAlpha(block, in);
    EncodeColorBlock(in, block + 8, false);
}

void EncodeBlockDxt2(BYTE* block, const KLCOLOR* in) {
    KLCOLOR premultiplied[kBlockTexels];
    Premultiply(in, premultiplied);
    EncodeBlockDxt3(block, premultiplied);
}

void EncodeBlockDxt4(BYTE* block, const KLCOLOR* in) {
    KLCOLOR premultiplied[kBlockTexels];
    Premultiply(in, premultiplied);
    EncodeBlockDxt5(block, premultiplied);
}

void EncodeBlockRowDxt1(BYTE* blocks, const KLCOLOR* in, uint32_t count) {
    ColorBlockQueue colors;
    KLCOLOR binary[kBlockTexels];
    for (uint32_t b = 0; b < count; ++b, blocks += 8, in += kBlockTexels) {
        // Blocks with transparent texels take the three-colour mode one by one.
        if (BinaryAlpha(in, binary) > 0)
            EncodeColorBlock(binary, blocks, true);
        else
            colors.Add(binary, blocks);
    }
}

void EncodeBlockRowDxt2(BYTE* blocks, const KLCOLOR* in, uint32_t count) {
    EncodeAlphaBlockRow<EncodeExplicitAlpha, true>(blocks, in, count);
}
void EncodeBlockRowDxt3(BYTE* blocks, const KLCOLOR* in, uint32_t count) {
    EncodeAlphaBlockRow<EncodeExplicitAlpha, false>(blocks, in, count);
}
void EncodeBlockRowDxt4(BYTE* blocks, const KLCOLOR* in, uint32_t count) {
    EncodeAlphaBlockRow<EncodeInterpolatedAlpha, true>(blocks, in, count);
}
void EncodeBlockRowDxt5(BYTE* blocks, const KLCOLOR* in, uint32_t count) {
    EncodeAlphaBlockRow<EncodeInterpolatedAlpha, false>(blocks, in, count);
}
