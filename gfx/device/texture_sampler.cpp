#include "gfx/device/texture_sampler.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include <emmintrin.h>
#include <immintrin.h>
#include <xmmintrin.h>

#include "gfx/device/device.h"

namespace gfx {
namespace {

// Maps texel index i onto 0..n-1 by the address mode; false for border.
inline bool Address(DWORD mode, int i, int n, int* out) {
    if (i >= 0 && i < n) {
        *out = i;
        return true;
    }
    switch (mode) {
    case D3DTADDRESS_WRAP: {
        int m = i % n;
        *out = m < 0 ? m + n : m;
        return true;
    }
    case D3DTADDRESS_MIRROR: {
        int period = 2 * n;
        int m = i % period;
        if (m < 0) m += period;
        *out = m < n ? m : period - 1 - m;
        return true;
    }
    case D3DTADDRESS_BORDER: return false;
    case D3DTADDRESS_MIRRORONCE: {
        int m = i < 0 ? -1 - i : i;
        *out = std::min(m, n - 1);
        return true;
    }
    default:  // clamp
        *out = std::clamp(i, 0, n - 1);
        return true;
    }
}

// Floor that stays within int range for absurd coordinates.
inline int FloorToInt(float v) {
    v = std::clamp(v, -1.0e9f, 1.0e9f);
    return int(std::floor(v));
}

inline void Texel(const SamplerBinding& b, const ImageStore& image, int x, int y, int z, float out[4]) {
    int ax, ay, az = 0;
    if (!Address(b.address[0], x, int(image.width), &ax) || !Address(b.address[1], y, int(image.height), &ay) ||
        (image.depth > 1 && !Address(b.address[2], z, int(image.depth), &az))) {
        std::memcpy(out, b.border, sizeof(float) * 4);
        return;
    }
    const FormatInfo& f = *image.info;
    if (f.format == D3DFMT_A8R8G8B8 || f.format == D3DFMT_X8R8G8B8) {
        const BYTE* p = image.Row(UINT(ay), UINT(az)) + size_t(ax) * 4;
        constexpr float k = 1.f / 255.f;
        out[0] = p[2] * k;
        out[1] = p[1] * k;
        out[2] = p[0] * k;
        out[3] = f.format == D3DFMT_A8R8G8B8 ? p[3] * k : 1.f;
        return;
    }
    f.decode(image.Row(0, UINT(az)), INT(image.rowPitch), UINT(ax), UINT(ay), out);
}

// Samples one level at normalised (u, v, w) with point or linear filtering.
void SampleLevel(const SamplerBinding& b, const ImageStore& image, bool linear, float u, float v, float w,
                 float out[4]) {
    float fu = u * float(image.width), fv = v * float(image.height), fw = w * float(image.depth);
    bool volume = image.depth > 1;
    if (!linear) {
        Texel(b, image, FloorToInt(fu), FloorToInt(fv), volume ? FloorToInt(fw) : 0, out);
        return;
    }
    fu -= 0.5f;
    fv -= 0.5f;
    int x0 = FloorToInt(fu), y0 = FloorToInt(fv);
    float ax = fu - float(x0), ay = fv - float(y0);
    int slices = 1;
    int z0 = 0;
    float az = 0.f;
    if (volume) {
        fw -= 0.5f;
        z0 = FloorToInt(fw);
        az = fw - float(z0);
        slices = 2;
    }
    float acc[4] = {0, 0, 0, 0};
    for (int s = 0; s < slices; ++s) {
        float wz = volume ? (s ? az : 1.f - az) : 1.f;
        float t[4][4];
        Texel(b, image, x0, y0, z0 + s, t[0]);
        Texel(b, image, x0 + 1, y0, z0 + s, t[1]);
        Texel(b, image, x0, y0 + 1, z0 + s, t[2]);
        Texel(b, image, x0 + 1, y0 + 1, z0 + s, t[3]);
        for (int c = 0; c < 4; ++c) {
            float top = t[0][c] + (t[1][c] - t[0][c]) * ax;
            float bottom = t[2][c] + (t[3][c] - t[2][c]) * ax;
            acc[c] += wz * (top + (bottom - top) * ay);
        }
    }
    std::memcpy(out, acc, sizeof(acc));
}

// Picks the cube face of direction (x, y, z) and the face coordinates.
UINT CubeFace(const float c[3], float* u, float* v, float* major) {
    float ax = std::fabs(c[0]), ay = std::fabs(c[1]), az = std::fabs(c[2]);
    UINT face;
    float sc, tc, ma;
    if (ax >= ay && ax >= az) {
        face = c[0] >= 0 ? 0 : 1;
        sc = c[0] >= 0 ? -c[2] : c[2];
        tc = -c[1];
        ma = ax;
    } else if (ay >= az) {
        face = c[1] >= 0 ? 2 : 3;
        sc = c[0];
        tc = c[1] >= 0 ? c[2] : -c[2];
        ma = ay;
    } else {
        face = c[2] >= 0 ? 4 : 5;
        sc = c[2] >= 0 ? c[0] : -c[0];
        tc = -c[1];
        ma = az;
    }
    if (ma == 0.f) ma = 1.f;
    *u = (sc / ma + 1.f) * 0.5f;
    *v = (tc / ma + 1.f) * 0.5f;
    *major = ma;
    return face;
}

// Level of detail from the screen derivatives of the coordinates.
float DerivativeLod(const BaseTextureImpl& t, const float ddx[4], const float ddy[4], float cubeMajor) {
    const ImageStore& top = t.image(0, 0);
    float w = float(top.width), h = float(top.height), d = float(top.depth);
    float sx, sy;
    if (t.kind() == D3DRTYPE_CUBETEXTURE) {
        // Directions change the face coordinates by about d/(2*major).
        float scale = w * 0.5f / cubeMajor;
        sx = (ddx[0] * ddx[0] + ddx[1] * ddx[1] + ddx[2] * ddx[2]) * scale * scale;
        sy = (ddy[0] * ddy[0] + ddy[1] * ddy[1] + ddy[2] * ddy[2]) * scale * scale;
    } else {
        sx = ddx[0] * w * ddx[0] * w + ddx[1] * h * ddx[1] * h;
        sy = ddy[0] * w * ddy[0] * w + ddy[1] * h * ddy[1] * h;
        if (t.kind() == D3DRTYPE_VOLUMETEXTURE) {
            sx += ddx[2] * d * ddx[2] * d;
            sy += ddy[2] * d * ddy[2] * d;
        }
    }
    float rho2 = std::max(sx, sy);
    if (!(rho2 > 1e-30f)) return -100.f;
    return 0.5f * std::log2(rho2);
}


// Fast path: a 2-D 32-bit colour level read where the level of detail cannot
// change the result (one level, same filter for magnification and
// minification). Works on the 16 lanes in structure-of-arrays form so that
// the arithmetic vectorises; gives the same values as SampleLevel.
// Texels inside the image take the format's alpha fill; the border colour
// does not.
inline uint32_t Fetch8888(const SamplerBinding& b, const ImageStore& image, uint32_t alphaFill, int x, int y) {
    int ax, ay;
    if (!Address(b.address[0], x, int(image.width), &ax) || !Address(b.address[1], y, int(image.height), &ay))
        return b.borderColor;
    uint32_t p;
    std::memcpy(&p, image.Row(UINT(ay)) + size_t(ax) * 4, 4);
    return p | alphaFill;
}

// The 2 x 2 footprint of a bilinear lookup at (x, y), in the order top-left,
// top-right, bottom-left, bottom-right: read straight from two rows when it
// lies inside the image, through the address modes otherwise.
inline void BilinearCorners8888(const SamplerBinding& b, const ImageStore& image, uint32_t alphaFill, int x, int y,
                                uint32_t corner[4]) {
    if (x >= 0 && y >= 0 && x + 1 < int(image.width) && y + 1 < int(image.height)) {
        const BYTE* row0 = image.Row(UINT(y)) + size_t(x) * 4;
        const BYTE* row1 = row0 + image.rowPitch;
        std::memcpy(&corner[0], row0, 4);
        std::memcpy(&corner[1], row0 + 4, 4);
        std::memcpy(&corner[2], row1, 4);
        std::memcpy(&corner[3], row1 + 4, 4);
        for (int q = 0; q < 4; ++q) corner[q] |= alphaFill;
        return;
    }
    corner[0] = Fetch8888(b, image, alphaFill, x, y);
    corner[1] = Fetch8888(b, image, alphaFill, x + 1, y);
    corner[2] = Fetch8888(b, image, alphaFill, x, y + 1);
    corner[3] = Fetch8888(b, image, alphaFill, x + 1, y + 1);
}

// Samples the 16 lanes at (u[l], v[l]); out[c][l] receives channel c.
void SampleFast8888(const SamplerBinding& b, const ImageStore& image, bool linear, const float* uIn,
                    const float* vIn, uint32_t laneMask, float (*out)[kLanes]) {
    // X8R8G8B8 reads alpha as 1; the border colour keeps its own alpha.
    uint32_t alphaFill = image.Format() == D3DFMT_A8R8G8B8 ? 0u : 0xFF000000u;
    float w = float(image.width), h = float(image.height);
    alignas(64) float fu[kLanes], fv[kLanes], ax[kLanes], ay[kLanes];
    alignas(64) int x0[kLanes], y0[kLanes];
    for (int l = 0; l < kLanes; ++l) {
        float u = uIn[l], v = vIn[l];
        u = u == u ? u : 0.f;  // NaN reads as 0
        v = v == v ? v : 0.f;
        fu[l] = std::clamp(linear ? u * w - 0.5f : u * w, -1.0e9f, 1.0e9f);
        fv[l] = std::clamp(linear ? v * h - 0.5f : v * h, -1.0e9f, 1.0e9f);
    }
    for (int l = 0; l < kLanes; ++l) {
        float fx = std::floor(fu[l]), fy = std::floor(fv[l]);
        x0[l] = int(fx);
        y0[l] = int(fy);
        ax[l] = fu[l] - fx;
        ay[l] = fv[l] - fy;
    }
    constexpr float k = 1.f / 255.f;
    const int shifts[4] = {16, 8, 0, 24};
    if (!linear) {
        alignas(64) uint32_t t[kLanes];
        for (int l = 0; l < kLanes; ++l) {
            t[l] = (laneMask >> l & 1) ? Fetch8888(b, image, alphaFill, x0[l], y0[l]) : 0u;
        }
        for (int c = 0; c < 4; ++c) {
            for (int l = 0; l < kLanes; ++l) out[c][l] = float((t[l] >> shifts[c]) & 0xFF) * k;
        }
        return;
    }
    alignas(64) uint32_t t[4][kLanes];
    for (int l = 0; l < kLanes; ++l) {
        uint32_t corner[4] = {0, 0, 0, 0};
        if (laneMask >> l & 1) BilinearCorners8888(b, image, alphaFill, x0[l], y0[l], corner);
        for (int q = 0; q < 4; ++q) t[q][l] = corner[q];
    }
    for (int c = 0; c < 4; ++c) {
        int sh = shifts[c];
        for (int l = 0; l < kLanes; ++l) {
            float c0 = float((t[0][l] >> sh) & 0xFF) * k, c1 = float((t[1][l] >> sh) & 0xFF) * k;
            float c2 = float((t[2][l] >> sh) & 0xFF) * k, c3 = float((t[3][l] >> sh) & 0xFF) * k;
            float top = c0 + (c1 - c0) * ax[l];
            float bottom = c2 + (c3 - c2) * ax[l];
            out[c][l] = top + (bottom - top) * ay[l];
        }
    }
}

// The same bilinear read as the linear branch of SampleFast8888 in SSE2,
// four lanes per register: identical operations in the same order, so
// identical results. Four lanes whose taps all lie inside the image read
// each row pair with one 8-byte load; others take the addressed reads.
void SampleLinear8888Sse(const SamplerBinding& b, const ImageStore& image, const float* uIn, const float* vIn,
                         uint32_t laneMask, float (*out)[kLanes]) {
    const uint32_t alphaFill = image.Format() == D3DFMT_A8R8G8B8 ? 0u : 0xFF000000u;
    const int width = int(image.width), height = int(image.height);
    const __m128 w = _mm_set1_ps(float(image.width)), h = _mm_set1_ps(float(image.height));
    const __m128 half = _mm_set1_ps(0.5f), lo = _mm_set1_ps(-1.0e9f), hi = _mm_set1_ps(1.0e9f);
    const __m128 one = _mm_set1_ps(1.f), k = _mm_set1_ps(1.f / 255.f);
    const __m128i zero = _mm_setzero_si128(), fill = _mm_set1_epi32(int(alphaFill));
    alignas(16) int x0[kLanes], y0[kLanes];
    alignas(16) float ax[kLanes], ay[kLanes];
    for (int l = 0; l < kLanes; l += 4) {
        __m128 u = _mm_loadu_ps(uIn + l), v = _mm_loadu_ps(vIn + l);
        u = _mm_and_ps(u, _mm_cmpeq_ps(u, u));  // NaN reads as 0
        v = _mm_and_ps(v, _mm_cmpeq_ps(v, v));
        __m128 fu = _mm_min_ps(_mm_max_ps(_mm_sub_ps(_mm_mul_ps(u, w), half), lo), hi);
        __m128 fv = _mm_min_ps(_mm_max_ps(_mm_sub_ps(_mm_mul_ps(v, h), half), lo), hi);
        // floor: truncate, then step down where truncation rounded up.
        __m128 tu = _mm_cvtepi32_ps(_mm_cvttps_epi32(fu)), tv = _mm_cvtepi32_ps(_mm_cvttps_epi32(fv));
        tu = _mm_sub_ps(tu, _mm_and_ps(_mm_cmpgt_ps(tu, fu), one));
        tv = _mm_sub_ps(tv, _mm_and_ps(_mm_cmpgt_ps(tv, fv), one));
        _mm_store_si128(reinterpret_cast<__m128i*>(x0 + l), _mm_cvttps_epi32(tu));
        _mm_store_si128(reinterpret_cast<__m128i*>(y0 + l), _mm_cvttps_epi32(tv));
        _mm_store_ps(ax + l, _mm_sub_ps(fu, tu));
        _mm_store_ps(ay + l, _mm_sub_ps(fv, tv));
    }
    // Channel `shift` of four packed texels as floats in [0, 1].
    auto channel = [&](__m128i texels, int shift) {
        __m128i c = _mm_and_si128(_mm_srli_epi32(texels, shift), _mm_set1_epi32(0xFF));
        return _mm_mul_ps(_mm_cvtepi32_ps(c), k);
    };
    const int shifts[4] = {16, 8, 0, 24};
    for (int g = 0; g < kLanes; g += 4) {
        // The four taps of four lanes: tap[0] (x, y), tap[1] (x+1, y),
        // tap[2] (x, y+1), tap[3] (x+1, y+1), lane j in element j.
        __m128i tap[4];
        __m128i xs = _mm_load_si128(reinterpret_cast<const __m128i*>(x0 + g));
        __m128i ys = _mm_load_si128(reinterpret_cast<const __m128i*>(y0 + g));
        __m128i outside = _mm_or_si128(
            _mm_or_si128(_mm_cmplt_epi32(xs, zero), _mm_cmplt_epi32(ys, zero)),
            _mm_or_si128(_mm_cmpgt_epi32(xs, _mm_set1_epi32(width - 2)), _mm_cmpgt_epi32(ys, _mm_set1_epi32(height - 2))));
        if (_mm_movemask_epi8(outside) == 0 && (laneMask >> g & 0xF) == 0xF) {
            __m128i rows[2][2];  // [row][lane pair]: taps (x, y), (x+1, y) of two lanes
            for (int pair = 0; pair < 2; ++pair) {
                const BYTE* p0 = image.Row(UINT(y0[g + 2 * pair])) + size_t(x0[g + 2 * pair]) * 4;
                const BYTE* p1 = image.Row(UINT(y0[g + 2 * pair + 1])) + size_t(x0[g + 2 * pair + 1]) * 4;
                for (int r = 0; r < 2; ++r) {
                    size_t down = r ? image.rowPitch : 0;
                    rows[r][pair] = _mm_unpacklo_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p0 + down)),
                                                       _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p1 + down)));
                }
            }
            for (int r = 0; r < 2; ++r) {
                __m128 a = _mm_castsi128_ps(rows[r][0]), b2 = _mm_castsi128_ps(rows[r][1]);
                tap[2 * r] = _mm_or_si128(_mm_castps_si128(_mm_shuffle_ps(a, b2, _MM_SHUFFLE(2, 0, 2, 0))), fill);
                tap[2 * r + 1] = _mm_or_si128(_mm_castps_si128(_mm_shuffle_ps(a, b2, _MM_SHUFFLE(3, 1, 3, 1))), fill);
            }
        } else {
            alignas(16) uint32_t t[4][4];
            for (int j = 0; j < 4; ++j) {
                uint32_t corner[4] = {0, 0, 0, 0};
                if (laneMask >> (g + j) & 1) BilinearCorners8888(b, image, alphaFill, x0[g + j], y0[g + j], corner);
                for (int q = 0; q < 4; ++q) t[q][j] = corner[q];
            }
            for (int q = 0; q < 4; ++q) tap[q] = _mm_load_si128(reinterpret_cast<const __m128i*>(t[q]));
        }
        __m128 fx = _mm_load_ps(ax + g), fy = _mm_load_ps(ay + g);
        for (int c = 0; c < 4; ++c) {
            __m128 c0 = channel(tap[0], shifts[c]), c1 = channel(tap[1], shifts[c]);
            __m128 c2 = channel(tap[2], shifts[c]), c3 = channel(tap[3], shifts[c]);
            __m128 top = _mm_add_ps(c0, _mm_mul_ps(_mm_sub_ps(c1, c0), fx));
            __m128 bottom = _mm_add_ps(c2, _mm_mul_ps(_mm_sub_ps(c3, c2), fx));
            _mm_storeu_ps(out[c] + g, _mm_add_ps(top, _mm_mul_ps(_mm_sub_ps(bottom, top), fy)));
        }
    }
}

// Channel `shift` of eight packed texels as floats in [0, 1] (k = 1/255).
__attribute__((target("avx2"))) inline __m256 Channel8(__m256i texels, int shift, __m256 k) {
    __m256i c = _mm256_and_si256(_mm256_srl_epi32(texels, _mm_cvtsi32_si128(shift)), _mm256_set1_epi32(0xFF));
    return _mm256_mul_ps(_mm256_cvtepi32_ps(c), k);
}

// The same bilinear read with eight lanes per register, for processors with
// AVX2 (chosen at run time): lane for lane the operations and their order are
// those of the SSE2 version, so the results are identical. Eight live lanes
// whose taps all lie inside the image gather their texels; others take the
// addressed reads.
__attribute__((target("avx2"))) void SampleLinear8888Avx2(const SamplerBinding& b, const ImageStore& image,
                                                          const float* uIn, const float* vIn, uint32_t laneMask,
                                                          float (*out)[kLanes]) {
    const uint32_t alphaFill = image.Format() == D3DFMT_A8R8G8B8 ? 0u : 0xFF000000u;
    const int width = int(image.width), height = int(image.height);
    const __m256 w = _mm256_set1_ps(float(image.width)), h = _mm256_set1_ps(float(image.height));
    const __m256 half = _mm256_set1_ps(0.5f), lo = _mm256_set1_ps(-1.0e9f), hi = _mm256_set1_ps(1.0e9f);
    const __m256 one = _mm256_set1_ps(1.f), k = _mm256_set1_ps(1.f / 255.f);
    const __m256i zero = _mm256_setzero_si256(), fill = _mm256_set1_epi32(int(alphaFill));
    alignas(32) int x0[kLanes], y0[kLanes];
    alignas(32) float ax[kLanes], ay[kLanes];
    for (int l = 0; l < kLanes; l += 8) {
        __m256 u = _mm256_loadu_ps(uIn + l), v = _mm256_loadu_ps(vIn + l);
        u = _mm256_and_ps(u, _mm256_cmp_ps(u, u, _CMP_EQ_OQ));  // NaN reads as 0
        v = _mm256_and_ps(v, _mm256_cmp_ps(v, v, _CMP_EQ_OQ));
        __m256 fu = _mm256_min_ps(_mm256_max_ps(_mm256_sub_ps(_mm256_mul_ps(u, w), half), lo), hi);
        __m256 fv = _mm256_min_ps(_mm256_max_ps(_mm256_sub_ps(_mm256_mul_ps(v, h), half), lo), hi);
        __m256 tu = _mm256_cvtepi32_ps(_mm256_cvttps_epi32(fu)), tv = _mm256_cvtepi32_ps(_mm256_cvttps_epi32(fv));
        tu = _mm256_sub_ps(tu, _mm256_and_ps(_mm256_cmp_ps(tu, fu, _CMP_GT_OQ), one));
        tv = _mm256_sub_ps(tv, _mm256_and_ps(_mm256_cmp_ps(tv, fv, _CMP_GT_OQ), one));
        _mm256_store_si256(reinterpret_cast<__m256i*>(x0 + l), _mm256_cvttps_epi32(tu));
        _mm256_store_si256(reinterpret_cast<__m256i*>(y0 + l), _mm256_cvttps_epi32(tv));
        _mm256_store_ps(ax + l, _mm256_sub_ps(fu, tu));
        _mm256_store_ps(ay + l, _mm256_sub_ps(fv, tv));
    }
    // Gathers address the image with 32-bit byte offsets.
    const bool gather = size_t(image.rowPitch) * image.height < (size_t(1) << 31) && width >= 2 && height >= 2;
    const int pitch = int(image.rowPitch);
    const int shifts[4] = {16, 8, 0, 24};
    for (int g = 0; g < kLanes; g += 8) {
        __m256i tap[4];  // (x, y), (x+1, y), (x, y+1), (x+1, y+1)
        __m256i xs = _mm256_load_si256(reinterpret_cast<const __m256i*>(x0 + g));
        __m256i ys = _mm256_load_si256(reinterpret_cast<const __m256i*>(y0 + g));
        __m256i outside = _mm256_or_si256(
            _mm256_or_si256(_mm256_cmpgt_epi32(zero, xs), _mm256_cmpgt_epi32(zero, ys)),
            _mm256_or_si256(_mm256_cmpgt_epi32(xs, _mm256_set1_epi32(width - 2)),
                            _mm256_cmpgt_epi32(ys, _mm256_set1_epi32(height - 2))));
        if (gather && _mm256_testz_si256(outside, outside) && (laneMask >> g & 0xFF) == 0xFF) {
            __m256i offsets = _mm256_add_epi32(_mm256_mullo_epi32(ys, _mm256_set1_epi32(pitch)), _mm256_slli_epi32(xs, 2));
            const BYTE* base = image.Row(0);
            const BYTE* corners[4] = {base, base + 4, base + pitch, base + pitch + 4};
            for (int q = 0; q < 4; ++q) {
                tap[q] = _mm256_or_si256(
                    _mm256_i32gather_epi32(reinterpret_cast<const int*>(corners[q]), offsets, 1), fill);
            }
        } else {
            alignas(32) uint32_t t[4][8];
            for (int j = 0; j < 8; ++j) {
                uint32_t corner[4] = {0, 0, 0, 0};
                if (laneMask >> (g + j) & 1) BilinearCorners8888(b, image, alphaFill, x0[g + j], y0[g + j], corner);
                for (int q = 0; q < 4; ++q) t[q][j] = corner[q];
            }
            for (int q = 0; q < 4; ++q) tap[q] = _mm256_load_si256(reinterpret_cast<const __m256i*>(t[q]));
        }
        __m256 fx = _mm256_load_ps(ax + g), fy = _mm256_load_ps(ay + g);
        for (int c = 0; c < 4; ++c) {
            __m256 c0 = Channel8(tap[0], shifts[c], k), c1 = Channel8(tap[1], shifts[c], k);
            __m256 c2 = Channel8(tap[2], shifts[c], k), c3 = Channel8(tap[3], shifts[c], k);
            __m256 top = _mm256_add_ps(c0, _mm256_mul_ps(_mm256_sub_ps(c1, c0), fx));
            __m256 bottom = _mm256_add_ps(c2, _mm256_mul_ps(_mm256_sub_ps(c3, c2), fx));
            _mm256_storeu_ps(out[c] + g, _mm256_add_ps(top, _mm256_mul_ps(_mm256_sub_ps(bottom, top), fy)));
        }
    }
}

bool HasAvx2() {
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
}

}  // namespace

void SampleOne(const SamplerBinding& b, const float coord[4], float lod, float out[4]) {
    const BaseTextureImpl* t = b.texture;
    if (!t) {
        out[0] = out[1] = out[2] = 0.f;
        out[3] = 1.f;
        return;
    }
    float u = coord[0], v = coord[1], w = coord[2];
    UINT face = 0;
    if (t->kind() == D3DRTYPE_CUBETEXTURE) {
        float major;
        face = CubeFace(coord, &u, &v, &major);
    }
    if (std::isnan(u)) u = 0.f;
    if (std::isnan(v)) v = 0.f;
    if (std::isnan(w)) w = 0.f;
    if (std::isnan(lod)) lod = 0.f;
    lod += b.lodBias;
    UINT last = t->levels() - 1;
    UINT first = std::min(b.firstLevel, last);
    bool magnify = lod <= 0.f;
    bool linear = (magnify ? b.magFilter : b.minFilter) >= D3DTEXF_LINEAR;
    if (magnify || b.mipFilter == D3DTEXF_NONE) {
        SampleLevel(b, t->image(face, first), linear, u, v, w, out);
        return;
    }
    if (b.mipFilter == D3DTEXF_POINT) {
        float nearest = std::floor(lod + 0.5f);
        UINT level = nearest >= float(last) ? last : std::max(first, UINT(std::max(nearest, 0.f)));
        SampleLevel(b, t->image(face, level), linear, u, v, w, out);
        return;
    }
    float base = std::floor(lod);
    float frac = lod - base;
    UINT l0 = base >= float(last) ? last : std::max(first, UINT(std::max(base, 0.f)));
    UINT l1 = std::min(last, std::max(first, l0 + 1));
    if (float(l0) > base) frac = 0.f;  // clamped up to the first allowed level
    float a[4], c[4];
    SampleLevel(b, t->image(face, l0), linear, u, v, w, a);
    if (l1 == l0 || frac == 0.f) {
        std::memcpy(out, a, sizeof(a));
        return;
    }
    SampleLevel(b, t->image(face, l1), linear, u, v, w, c);
    for (int k = 0; k < 4; ++k) out[k] = a[k] + (c[k] - a[k]) * frac;
}

void DeviceSampler::Bind(const DeviceImpl& device, UINT firstSlot, UINT count) {
    for (UINT i = 0; i < 16; ++i) bindings_[i] = SamplerBinding();
    for (UINT i = 0; i < count && i < 16; ++i) {
        SamplerBinding& b = bindings_[i];
        UINT slot = firstSlot + i;
        b.texture = device.texture(slot);
        const auto& s = device.sampler(slot);
        b.address[0] = s[D3DSAMP_ADDRESSU];
        b.address[1] = s[D3DSAMP_ADDRESSV];
        b.address[2] = s[D3DSAMP_ADDRESSW];
        D3DCOLOR border = s[D3DSAMP_BORDERCOLOR];
        constexpr float k = 1.f / 255.f;
        b.borderColor = border;
        b.border[0] = float((border >> 16) & 0xFF) * k;
        b.border[1] = float((border >> 8) & 0xFF) * k;
        b.border[2] = float(border & 0xFF) * k;
        b.border[3] = float(border >> 24) * k;
        b.magFilter = s[D3DSAMP_MAGFILTER];
        b.minFilter = s[D3DSAMP_MINFILTER];
        b.mipFilter = s[D3DSAMP_MIPFILTER];
        std::memcpy(&b.lodBias, &s[D3DSAMP_MIPMAPLODBIAS], 4);
        if (!std::isfinite(b.lodBias)) b.lodBias = 0.f;
        b.firstLevel = b.texture ? std::max<UINT>(s[D3DSAMP_MAXMIPLEVEL], b.texture->lod()) : 0;
        // A texture whose format cannot be sampled reads as unbound.
        if (b.texture && !b.texture->info()->decode) b.texture = nullptr;
    }
}

bool DeviceSampler::SampleFast(UINT sampler, const float* u, const float* v, uint32_t laneMask,
                               float (*out)[kLanes]) const {
    if (sampler >= 16 || !bindings_[sampler].texture) return false;
    const SamplerBinding& b = bindings_[sampler];
    const BaseTextureImpl& t = *b.texture;
    bool linear = b.magFilter >= D3DTEXF_LINEAR;
    bool lodFree = b.mipFilter == D3DTEXF_NONE && linear == (b.minFilter >= D3DTEXF_LINEAR);
    if (!lodFree || t.kind() != D3DRTYPE_TEXTURE ||
        (t.format() != D3DFMT_A8R8G8B8 && t.format() != D3DFMT_X8R8G8B8)) {
        return false;
    }
    const ImageStore& image = t.image(0, std::min(b.firstLevel, t.levels() - 1));
    if (simd_ && linear) {
        if (HasAvx2()) SampleLinear8888Avx2(b, image, u, v, laneMask, out);
        else SampleLinear8888Sse(b, image, u, v, laneMask, out);
    } else {
        SampleFast8888(b, image, linear, u, v, laneMask, out);
    }
    return true;
}

void DeviceSampler::InlineTexture(UINT sampler, jit::PipelineTexture* out) const {
    *out = {};
    if (!simd_ || sampler >= 16 || !bindings_[sampler].texture) return;
    const SamplerBinding& b = bindings_[sampler];
    const BaseTextureImpl& t = *b.texture;
    // The conditions of SampleFast's bilinear read, and of its gathers.
    const bool linear = b.magFilter >= D3DTEXF_LINEAR && b.minFilter >= D3DTEXF_LINEAR;
    if (!linear || b.mipFilter != D3DTEXF_NONE || t.kind() != D3DRTYPE_TEXTURE ||
        (t.format() != D3DFMT_A8R8G8B8 && t.format() != D3DFMT_X8R8G8B8)) {
        return;
    }
    const ImageStore& image = t.image(0, std::min(b.firstLevel, t.levels() - 1));
    if (size_t(image.rowPitch) * image.height >= (size_t(1) << 31) || image.width < 2 || image.height < 2) return;
    out->base = image.Row(0);
    out->pitch = int32_t(image.rowPitch);
    out->width = int32_t(image.width);
    out->height = int32_t(image.height);
    out->alphaFill = image.Format() == D3DFMT_A8R8G8B8 ? 0u : 0xFF000000u;
    out->usable = 1;
    const UINT sides[2] = {image.width, image.height};
    for (int axis = 0; axis < 2; ++axis) {
        if ((sides[axis] & (sides[axis] - 1)) == 0) out->wrapMask[axis] = int32_t(sides[axis] - 1);
        switch (b.address[axis]) {
        case D3DTADDRESS_WRAP: out->address[axis] = jit::kAddressWrap; break;
        case D3DTADDRESS_MIRROR: case D3DTADDRESS_BORDER: case D3DTADDRESS_MIRRORONCE: break;
        default: out->address[axis] = jit::kAddressClamp; break;  // as Address reads other values
        }
    }
}

void DeviceSampler::Sample(UINT sampler, const SampleLanes& lanes, float (*out)[4]) {
    const SamplerBinding& b = bindings_[sampler < 16 ? sampler : 0];
    if (sampler >= 16 || !b.texture) {
        for (int lane = 0; lane < kLanes; ++lane) {
            if (!(lanes.laneMask >> lane & 1)) continue;
            out[lane][0] = out[lane][1] = out[lane][2] = 0.f;
            out[lane][3] = 1.f;
        }
        return;
    }
    alignas(64) float u[kLanes], v[kLanes], soa[4][kLanes];
    for (int l = 0; l < kLanes; ++l) {
        u[l] = lanes.coord[l][0];
        v[l] = lanes.coord[l][1];
    }
    if (SampleFast(sampler, u, v, lanes.laneMask, soa)) {
        for (int l = 0; l < kLanes; ++l) {
            if (!(lanes.laneMask >> l & 1)) continue;
            for (int c = 0; c < 4; ++c) out[l][c] = soa[c][l];
        }
        return;
    }
    for (int lane = 0; lane < kLanes; ++lane) {
        if (!(lanes.laneMask >> lane & 1)) continue;
        float lod;
        if (lanes.mode == LodMode::Explicit) {
            lod = lanes.lod ? lanes.lod[lane] : 0.f;
        } else {
            float major = 1.f;
            if (b.texture->kind() == D3DRTYPE_CUBETEXTURE) {
                float u, v;
                CubeFace(lanes.coord[lane], &u, &v, &major);
            }
            lod = lanes.ddx && lanes.ddy ? DerivativeLod(*b.texture, lanes.ddx[lane], lanes.ddy[lane], major) : 0.f;
            if (lanes.mode == LodMode::Bias && lanes.lod) lod += lanes.lod[lane];
        }
        SampleOne(b, lanes.coord[lane], lod, out[lane]);
    }
}

}  // namespace gfx
