// Halving by 2x2 (and 2x2x2) averaging. Common 8-, 16- and 32-bit formats of
// equal source and destination format take an integer path; everything else
// averages working values.
#include <emmintrin.h>

#include <cstring>

#include "math/klmath.h"
#include "texture/pixels/image_resampler.h"

namespace {

struct Field {
    uint8_t shift, bits;
};

struct IntegerLayout {
    D3DFORMAT format;
    uint8_t bytes;
    uint8_t count;
    Field fields[4];
    bool hasPadding;  // X bits that the plain routines write as 0
};

const IntegerLayout kIntegerLayouts[] = {
    {D3DFMT_A8R8G8B8, 4, 4, {{0, 8}, {8, 8}, {16, 8}, {24, 8}}, false},
    {D3DFMT_A8B8G8R8, 4, 4, {{0, 8}, {8, 8}, {16, 8}, {24, 8}}, false},
    {D3DFMT_X8R8G8B8, 4, 3, {{0, 8}, {8, 8}, {16, 8}}, true},
    {D3DFMT_X8B8G8R8, 4, 3, {{0, 8}, {8, 8}, {16, 8}}, true},
    {D3DFMT_R5G6B5, 2, 3, {{0, 5}, {5, 6}, {11, 5}}, false},
    {D3DFMT_X1R5G5B5, 2, 3, {{0, 5}, {5, 5}, {10, 5}}, true},
    {D3DFMT_A1R5G5B5, 2, 4, {{0, 5}, {5, 5}, {10, 5}, {15, 1}}, false},
    {D3DFMT_A4R4G4B4, 2, 4, {{0, 4}, {4, 4}, {8, 4}, {12, 4}}, false},
    {D3DFMT_R3G3B2, 1, 3, {{0, 2}, {2, 3}, {5, 3}}, false},
    {D3DFMT_A8, 1, 1, {{0, 8}}, false},
    {D3DFMT_L8, 1, 1, {{0, 8}}, false},
    {D3DFMT_A8R3G3B2, 2, 4, {{0, 2}, {2, 3}, {5, 3}, {8, 8}}, false},
    {D3DFMT_X4R4G4B4, 2, 3, {{0, 4}, {4, 4}, {8, 4}}, true},
    {D3DFMT_A8L8, 2, 2, {{0, 8}, {8, 8}}, false},
    {D3DFMT_A4L4, 1, 2, {{0, 4}, {4, 4}}, false},
};

// The byte-lane routine for 32-bit pixels, chosen once per process: it averages
// all four bytes, padding included. The field routine leaves padding at 0.
bool UseByteLanes() {
    static const bool mmx = MmxAvailable() != 0;
    return mmx;
}

inline uint32_t ReadPixel(const BYTE* p, uint32_t bytes) {
    uint32_t v = 0;
    std::memcpy(&v, p, bytes);
    return v;
}

void HalveRowByFields(const IntegerLayout& layout, const BYTE* row0, const BYTE* row1, BYTE* out, uint32_t width) {
    const uint32_t bytes = layout.bytes;
    for (uint32_t x = 0; x < width; ++x) {
        const uint32_t a = ReadPixel(row0 + 2 * x * bytes, bytes), b = ReadPixel(row0 + (2 * x + 1) * bytes, bytes);
        const uint32_t c = ReadPixel(row1 + 2 * x * bytes, bytes), d = ReadPixel(row1 + (2 * x + 1) * bytes, bytes);
        uint32_t v = 0;
        for (int i = 0; i < layout.count; ++i) {
            const Field& f = layout.fields[i];
            const uint32_t mask = (1u << f.bits) - 1;
            const uint32_t sum = ((a >> f.shift) & mask) + ((b >> f.shift) & mask) + ((c >> f.shift) & mask) +
                                 ((d >> f.shift) & mask) + 2;
            v |= (sum >> 2) << f.shift;
        }
        std::memcpy(out + x * bytes, &v, bytes);
    }
}

}  // namespace

void HalveRowByLanesPlain(const BYTE* row0, const BYTE* row1, BYTE* out, uint32_t width) {
    for (uint32_t x = 0; x < width; ++x)
        for (uint32_t lane = 0; lane < 4; ++lane) {
            const uint32_t i = 8 * x + lane;
            out[4 * x + lane] = static_cast<BYTE>((row0[i] + row0[i + 4] + row1[i] + row1[i + 4] + 2) >> 2);
        }
}

// The same sums four output pixels at a time: each byte is widened to 16 bits,
// the two rows are added, then the even and odd source pixels, so the
// rounding (sum + 2) >> 2 is exact.
void HalveRowByLanesSse2(const BYTE* row0, const BYTE* row1, BYTE* out, uint32_t width) {
    const __m128i zero = _mm_setzero_si128(), two = _mm_set1_epi16(2);
    uint32_t x = 0;
    for (; x + 4 <= width; x += 4) {
        const BYTE* p = row0 + 8 * x;
        const BYTE* q = row1 + 8 * x;
        const __m128i a0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i a1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16));
        const __m128i b0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q));
        const __m128i b1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q + 16));
        // Column sums of source pixels 0-1, 2-3, 4-5 and 6-7, as 16-bit lanes.
        const __m128i c01 = _mm_add_epi16(_mm_unpacklo_epi8(a0, zero), _mm_unpacklo_epi8(b0, zero));
        const __m128i c23 = _mm_add_epi16(_mm_unpackhi_epi8(a0, zero), _mm_unpackhi_epi8(b0, zero));
        const __m128i c45 = _mm_add_epi16(_mm_unpacklo_epi8(a1, zero), _mm_unpacklo_epi8(b1, zero));
        const __m128i c67 = _mm_add_epi16(_mm_unpackhi_epi8(a1, zero), _mm_unpackhi_epi8(b1, zero));
        // Even plus odd source pixel: output pixels 0-1 and 2-3.
        const __m128i s01 = _mm_add_epi16(_mm_unpacklo_epi64(c01, c23), _mm_unpackhi_epi64(c01, c23));
        const __m128i s23 = _mm_add_epi16(_mm_unpacklo_epi64(c45, c67), _mm_unpackhi_epi64(c45, c67));
        const __m128i r01 = _mm_srli_epi16(_mm_add_epi16(s01, two), 2);
        const __m128i r23 = _mm_srli_epi16(_mm_add_epi16(s23, two), 2);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4 * x), _mm_packus_epi16(r01, r23));
    }
    if (x < width) HalveRowByLanesPlain(row0 + 8 * x, row1 + 8 * x, out + 4 * x, width - x);
}

namespace {

// Integer path; E_FAIL when it does not apply.
HRESULT HalveByIntegers(ResampleJob& job) {
    PixelConverter &d = job.dst, &s = job.src;
    if ((job.filter & TexFilterDither) || d.format != s.format || s.width < 2 || s.height < 2 || d.srgb ||
        s.srgb || s.keyEnabled || !d.addressable)
        return E_FAIL;
    const IntegerLayout* layout = nullptr;
    for (const IntegerLayout& l : kIntegerLayouts)
        if (l.format == d.format) layout = &l;
    if (!layout) return E_FAIL;
    const bool lanes = layout->bytes == 4 && UseByteLanes() && d.width % 4 == 0;
    for (uint32_t y = 0; y < d.height; ++y) {
        const BYTE* row0 = s.pixels + static_cast<size_t>(2 * y) * s.rowPitch;
        const BYTE* row1 = row0 + s.rowPitch;
        BYTE* out = d.pixels + static_cast<size_t>(y) * d.rowPitch;
        if (lanes)
            HalveRowByLanesSse2(row0, row1, out, d.width);
        else
            HalveRowByFields(*layout, row0, row1, out, d.width);
    }
    return S_OK;
}

bool Halves(uint32_t dst, uint32_t src) { return dst == src / 2 || (dst == 1 && src == 1); }

void AddPair(KLCOLOR& acc, const KLCOLOR* row, uint32_t x, uint32_t srcWidth) {
    const KLCOLOR& p = row[2 * x];
    const KLCOLOR& q = srcWidth > 1 ? row[2 * x + 1] : row[2 * x];
    acc.r += p.r + q.r, acc.g += p.g + q.g, acc.b += p.b + q.b, acc.a += p.a + q.a;
}

// Averages 2x2 (or 2x2x2 when volume) blocks of working values.
HRESULT HalveByFloats(ResampleJob& job, bool volume) {
    PixelConverter &d = job.dst, &s = job.src;
    const uint32_t sliceCount = volume ? 2 : 1;
    std::vector<KLCOLOR> rows[4], out;
    for (auto& r : rows)
        if (!AllocateRow(r, s.width)) return E_OUTOFMEMORY;
    if (!AllocateRow(out, d.width)) return E_OUTOFMEMORY;
    const float scale = volume ? 0.125f : 0.25f;
    for (uint32_t z = 0; z < d.depth; ++z)
        for (uint32_t y = 0; y < d.height; ++y) {
            uint32_t n = 0;
            for (uint32_t dz = 0; dz < sliceCount; ++dz)
                for (uint32_t dy = 0; dy < 2; ++dy) {
                    const uint32_t sy = s.height > 1 ? 2 * y + dy : 0;
                    const uint32_t sz = volume && s.depth > 1 ? 2 * z + dz : z;
                    HRESULT hr = s.DecodeRow(sy, sz, rows[n++].data());
                    if (FAILED(hr)) return hr;
                }
            for (uint32_t x = 0; x < d.width; ++x) {
                KLCOLOR acc = {0, 0, 0, 0};
                for (uint32_t i = 0; i < n; ++i) AddPair(acc, rows[i].data(), x, s.width);
                out[x] = KLCOLOR{acc.r * scale, acc.g * scale, acc.b * scale, acc.a * scale};
            }
            HRESULT hr = d.EncodeRow(y, z, out.data());
            if (FAILED(hr)) return hr;
        }
    return S_OK;
}

}  // namespace

HRESULT BlitHalveBox(ResampleJob& job) {
    PixelConverter &d = job.dst, &s = job.src;
    if (TexFilterKind(job.filter) != TexFilterBox || d.depth != 1 || s.depth != 1 || !Halves(d.width, s.width) ||
        !Halves(d.height, s.height))
        return E_FAIL;
    if (SUCCEEDED(HalveByIntegers(job))) return S_OK;
    return HalveByFloats(job, false);
}

HRESULT BlitHalveBoxVolume(ResampleJob& job) {
    PixelConverter &d = job.dst, &s = job.src;
    if (TexFilterKind(job.filter) != TexFilterBox || !Halves(d.width, s.width) || !Halves(d.height, s.height) ||
        d.depth != s.depth / 2)
        return E_FAIL;
    return HalveByFloats(job, true);
}
