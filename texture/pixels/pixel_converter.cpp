// The converter frame: row addressing, colour key, sRGB curves, range
// conversion, dithering and linking of two converters.
#include "texture/pixels/pixel_converter.h"

#include <algorithm>
#include <cmath>

#include "texture/pixels/block_converter.h"
#include "texture/pixels/pixel_layouts.h"

const float kFlatDither[4][8] = {
    {0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f},
    {0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f},
    {0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f},
    {0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f},
};

#define KL_D(b) (((b) + 0.5f) / 16.0f)
// Ordered 4x4 threshold matrix, (B + 0.5) / 16.
const float kOrderedDither[4][8] = {
    {KL_D(15), KL_D(7), KL_D(13), KL_D(5), KL_D(15), KL_D(7), KL_D(13), KL_D(5)},
    {KL_D(3), KL_D(11), KL_D(1), KL_D(9), KL_D(3), KL_D(11), KL_D(1), KL_D(9)},
    {KL_D(12), KL_D(4), KL_D(14), KL_D(6), KL_D(12), KL_D(4), KL_D(14), KL_D(6)},
    {KL_D(0), KL_D(8), KL_D(2), KL_D(10), KL_D(0), KL_D(8), KL_D(2), KL_D(10)},
};
#undef KL_D

namespace {

struct SrgbTables {
    float decode[256];
    float encode[256];
    SrgbTables() {
        for (int i = 0; i < 255; ++i) {
            decode[i] = static_cast<float>(std::pow(i / 254.0, 1.1));
            encode[i] = static_cast<float>(std::pow(i / 254.0, 2.0 / 2.2));
        }
        decode[255] = 1.0f;
        encode[255] = 1.0f;
    }
};

const SrgbTables& Tables() {
    static const SrgbTables tables;
    return tables;
}

float Interpolate(const float* table, float u) {
    if (!(u > 0.0f)) return table[0];
    int i = static_cast<int>(std::min(u, 254.0f));
    return table[i] + (table[i + 1] - table[i]) * (u - static_cast<float>(i));
}

// Which channels a curve touches: colour for unit and float formats, the
// fourth channel for the others.
bool CurveOnColour(ValueRange range) { return range == RangeUnit || range == RangeFloat; }

void ApplyCurve(KLCOLOR* row, uint32_t count, ValueRange range, float (*curve)(float)) {
    if (CurveOnColour(range)) {
        for (uint32_t i = 0; i < count; ++i) {
            row[i].r = curve(row[i].r);
            row[i].g = curve(row[i].g);
            row[i].b = curve(row[i].b);
        }
    } else {
        for (uint32_t i = 0; i < count; ++i) row[i].a = curve(row[i].a);
    }
}

float Square(float x) { return x * x; }
float Root(float x) { return x > 0.0f ? std::sqrt(x) : 0.0f; }

inline float ToUnit(float v) { return (v + 1.0f) * 0.5f; }
inline float ToSigned(float v) { return 2.0f * v - 1.0f; }
inline float Clamp(float v, float lo, float hi) { return v < lo ? lo : (v > hi ? hi : v); }

}  // namespace

float SrgbToLinear(float x) { return Interpolate(Tables().decode, x * x * 254.0f); }

float LinearToSrgb(float x) {
    if (!(x > 0.0f)) return Tables().encode[0];
    return Interpolate(Tables().encode, x * TableRsqrt(x) * 254.0f);
}

void ConvertRange(KLCOLOR* row, uint32_t count, ValueRange to, ValueRange from) {
    if (to == from || to == RangeFloat || from == RangeNone) return;
    for (uint32_t i = 0; i < count; ++i) {
        KLCOLOR& c = row[i];
        switch (to) {
        case RangeUnit:
            if (from == RangeSignedXyz) {
                c.r = ToUnit(c.r), c.g = ToUnit(c.g), c.b = ToUnit(c.b);
            } else if (from == RangeSignedAll) {
                c.r = ToUnit(c.r), c.g = ToUnit(c.g), c.b = ToUnit(c.b), c.a = ToUnit(c.a);
            } else if (from == RangeFloat) {
                c.r = Clamp(c.r, 0, 1), c.g = Clamp(c.g, 0, 1), c.b = Clamp(c.b, 0, 1), c.a = Clamp(c.a, 0, 1);
            }
            break;
        case RangeSignedXyz:
            if (from == RangeUnit) {
                c.r = ToSigned(c.r), c.g = ToSigned(c.g), c.b = ToSigned(c.b);
            } else if (from == RangeSignedAll) {
                c.a = ToUnit(c.a);
            } else if (from == RangeFloat) {
                c.r = Clamp(c.r, -1, 1), c.g = Clamp(c.g, -1, 1), c.b = Clamp(c.b, -1, 1), c.a = Clamp(c.a, 0, 1);
            }
            break;
        case RangeSignedAll:
            if (from == RangeUnit) {
                c.r = ToSigned(c.r), c.g = ToSigned(c.g), c.b = ToSigned(c.b), c.a = ToSigned(c.a);
            } else if (from == RangeSignedXyz) {
                c.a = ToSigned(c.a);
            } else if (from == RangeFloat) {
                c.r = Clamp(c.r, -1, 1), c.g = Clamp(c.g, -1, 1), c.b = Clamp(c.b, -1, 1), c.a = Clamp(c.a, -1, 1);
            }
            break;
        default:
            break;
        }
    }
}

void ClampToRange(KLCOLOR* row, uint32_t count, ValueRange range) {
    float lo = 0.0f, alphaLo = 0.0f;
    switch (range) {
    case RangeUnit:
        break;
    case RangeSignedXyz:
        lo = -1.0f;
        break;
    case RangeSignedAll:
        lo = alphaLo = -1.0f;
        break;
    default:
        return;
    }
    for (uint32_t i = 0; i < count; ++i) {
        row[i].r = Clamp(row[i].r, lo, 1.0f);
        row[i].g = Clamp(row[i].g, lo, 1.0f);
        row[i].b = Clamp(row[i].b, lo, 1.0f);
        row[i].a = Clamp(row[i].a, alphaLo, 1.0f);
    }
}

HRESULT PixelConverter::DecodeRaw(uint32_t y, uint32_t z, KLCOLOR* out) {
    Load(RowPointer(y, z), width, out);
    return S_OK;
}

HRESULT PixelConverter::EncodeRaw(uint32_t y, uint32_t z, const KLCOLOR* in, const float* ditherRow) {
    Store(RowPointer(y, z), width, in, ditherRow);
    return S_OK;
}

HRESULT PixelConverter::DecodeRow(uint32_t y, uint32_t z, KLCOLOR* out) {
    HRESULT hr = DecodeRaw(y, z, out);
    if (FAILED(hr)) return hr;
    if (keyEnabled) {
        for (uint32_t i = 0; i < width; ++i) {
            const KLCOLOR& c = out[i];
            if (c.r == key.r && c.g == key.g && c.b == key.b && c.a == key.a) out[i] = KLCOLOR{0, 0, 0, 0};
        }
    }
    if (srgb) ApplyCurve(out, width, range, bothSrgb ? Square : SrgbToLinear);
    return S_OK;
}

HRESULT PixelConverter::EncodeRow(uint32_t y, uint32_t z, const KLCOLOR* in) {
    const KLCOLOR* row = in;
    if (sourceRange != RangeNone || srgb) {
        if (scratch.size() < width) return E_OUTOFMEMORY;
        std::copy(in, in + width, scratch.begin());
        ConvertRange(scratch.data(), width, range, sourceRange);
        if (srgb) ApplyCurve(scratch.data(), width, range, bothSrgb ? Root : LinearToSrgb);
        row = scratch.data();
    }
    return EncodeRaw(y, z, row, &ditherTable[y & 3][z & 3]);
}

void PixelConverter::PrepareColorKey() {
    if (!keyEnabled) return;
    KLCOLOR value = key;
    if (range != RangeUnit && range != RangeFloat) ConvertRange(&value, 1, range, RangeUnit);
    BYTE buffer[16] = {};
    Store(buffer, 1, &value, kFlatDither[0]);
    Load(buffer, 1, &value);
    key = value;
}

void InitPixelConverter(PixelConverter& c, const ImageView& view) {
    const FormatTraits& traits = FormatTraitsOrDefault(view.format);
    c.format = view.format;
    c.range = FormatValueRange(view.format);
    c.bytesPerPixel = (IsBlockFormat(view.format) || IsPairFormat(view.format)) ? 0 : traits.bits / 8;
    c.addressable = c.bytesPerPixel != 0;
    c.pixels = view.pixels;
    c.rowPitch = view.rowPitch;
    c.slicePitch = view.slicePitch;
    c.region = view.region;
    c.width = view.region.Width();
    c.height = view.region.Height();
    c.depth = view.region.Depth();
    if (c.addressable) {
        c.pixels += static_cast<size_t>(view.region.left) * c.bytesPerPixel +
                    static_cast<size_t>(view.region.top) * view.rowPitch +
                    static_cast<size_t>(view.region.front) * view.slicePitch;
        c.region = ImageBox{0, 0, c.width, c.height, 0, c.depth};
    }
    c.rowBytes = c.width * c.bytesPerPixel;
    c.srgb = view.srgb;
    if (c.range == RangeSignedAll || (c.range == RangeSignedXyz && view.format != D3DFMT_L6V5U5)) c.srgb = false;
    c.keyEnabled = view.colorKey != 0;
    const float k = 1.0f / 255.0f;
    c.key = KLCOLOR{static_cast<float>((view.colorKey >> 16) & 0xFF) * k,
                    static_cast<float>((view.colorKey >> 8) & 0xFF) * k,
                    static_cast<float>(view.colorKey & 0xFF) * k,
                    static_cast<float>(view.colorKey >> 24) * k};
    c.ditherTable = view.dither ? kOrderedDither : kFlatDither;
    for (int i = 0; i < 256; ++i) {
        if (view.palette) {
            const BYTE* e = view.palette + 4 * i;
            c.palette[i] = KLCOLOR{e[0] * k, e[1] * k, e[2] * k, e[3] * k};
        } else {
            c.palette[i] = KLCOLOR{1, 1, 1, 1};
        }
    }
}

std::unique_ptr<PixelConverter> CreatePixelConverter(const ImageView& view) {
    std::unique_ptr<PixelConverter> c =
        IsBlockFormat(view.format) ? MakeBlockConverter(view) : MakeLayoutConverter(view.format);
    if (!c) return nullptr;
    InitPixelConverter(*c, view);
    c->PrepareColorKey();
    return c;
}

HRESULT LinkConverters(PixelConverter& dst, PixelConverter& src) {
    if (src.range != dst.range && dst.range != RangeFloat) dst.sourceRange = src.range;
    if (dst.sourceRange != RangeNone || dst.srgb) {
        try {
            dst.scratch.resize(dst.width);
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
    }
    if (dst.srgb && src.srgb) {
        dst.bothSrgb = true;
        src.bothSrgb = true;
    }
    return S_OK;
}

HRESULT LinkConverterToFloatRows(PixelConverter& dst) {
    if (dst.range != RangeFloat) dst.sourceRange = RangeFloat;
    try {
        dst.scratch.resize(dst.width);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}
