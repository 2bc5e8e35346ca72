// Colour write in SSE2 for the states the particle scenes use: no blending,
// or additive blending (SRCALPHA/ONE, ONE/ONE, SRCALPHA/INVSRCALPHA with the
// ADD operation) into a 32-bit colour target with every channel enabled.
// A quad's four pixels are one register per channel, lane order (x, y),
// (x+1, y), (x, y+1), (x+1, y+1). The arithmetic is that of the general
// write in pixel_stage.cpp, operation for operation, so the pixels are
// identical; the reference path keeps using the general write.
#include <cstring>

#include <emmintrin.h>

#include "gfx/device/pipeline.h"

namespace gfx {
namespace {

enum class BlendKind { None, SrcAlphaOne, OneOne, SrcAlphaInvSrcAlpha, Other };

BlendKind Classify(const DrawState& s) {
    if (!s.blend) return BlendKind::None;
    if (s.separateAlpha || s.blendOp != D3DBLENDOP_ADD) return BlendKind::Other;
    if (s.srcBlend == D3DBLEND_SRCALPHA && s.destBlend == D3DBLEND_ONE) return BlendKind::SrcAlphaOne;
    if (s.srcBlend == D3DBLEND_ONE && s.destBlend == D3DBLEND_ONE) return BlendKind::OneOne;
    if (s.srcBlend == D3DBLEND_SRCALPHA && s.destBlend == D3DBLEND_INVSRCALPHA) return BlendKind::SrcAlphaInvSrcAlpha;
    return BlendKind::Other;
}

// Clamps to [0, 1] with NaN read as 0, like the scalar Sat.
inline __m128 Sat(__m128 v) { return _mm_min_ps(_mm_max_ps(v, _mm_setzero_ps()), _mm_set1_ps(1.f)); }

inline __m128i ToByte(__m128 v) {
    return _mm_cvttps_epi32(_mm_add_ps(_mm_mul_ps(Sat(v), _mm_set1_ps(255.f)), _mm_set1_ps(0.5f)));
}

inline __m128 Channel(__m128i packed, int shift) {
    __m128i c = _mm_and_si128(_mm_srli_epi32(packed, shift), _mm_set1_epi32(0xFF));
    return _mm_mul_ps(_mm_cvtepi32_ps(c), _mm_set1_ps(1.f / 255.f));
}

template <BlendKind kBlend>
__m128i Combine(const LaneVec4& color, int lane, __m128i old, bool hasAlpha) {
    __m128 in[4];
    for (int c = 0; c < 4; ++c) in[c] = _mm_loadu_ps(color.v[c] + lane);
    __m128 r[4];
    if constexpr (kBlend == BlendKind::None) {
        for (int c = 0; c < 4; ++c) r[c] = in[c];
    } else {
        const int shifts[4] = {16, 8, 0, 24};
        __m128 s[4], d[4];
        for (int c = 0; c < 4; ++c) {
            s[c] = Sat(in[c]);
            d[c] = Channel(old, shifts[c]);
        }
        if (!hasAlpha) d[3] = _mm_set1_ps(1.f);
        const __m128 one = _mm_set1_ps(1.f);
        __m128 fs = kBlend == BlendKind::OneOne ? one : s[3];
        __m128 fd = kBlend == BlendKind::SrcAlphaInvSrcAlpha ? _mm_sub_ps(one, s[3]) : one;
        for (int c = 0; c < 4; ++c) r[c] = _mm_add_ps(_mm_mul_ps(s[c], fs), _mm_mul_ps(d[c], fd));
    }
    __m128i out = _mm_or_si128(_mm_or_si128(_mm_slli_epi32(ToByte(r[3]), 24), _mm_slli_epi32(ToByte(r[0]), 16)),
                               _mm_or_si128(_mm_slli_epi32(ToByte(r[1]), 8), ToByte(r[2])));
    if (!hasAlpha) out = _mm_or_si128(out, _mm_set1_epi32(int(0xFF000000u)));
    return out;
}

template <BlendKind kBlend>
void WriteQuads(const DrawState& state, const int* px, const int* py, const LaneVec4& color, uint32_t live) {
    ImageStore& target = *state.color;
    const bool hasAlpha = target.Format() == D3DFMT_A8R8G8B8;
    for (int q = 0; q < kQuads; ++q) {
        uint32_t quadLive = (live >> (4 * q)) & 0xF;
        if (!quadLive) continue;
        int lane = 4 * q, x = px[lane], y = py[lane];
        if (UINT(x) + 1 < target.width && UINT(y) + 1 < target.height) {
            // Whole quad inside the target: each row pair in one 8-byte move.
            BYTE* row0 = target.Row(UINT(y)) + size_t(x) * 4;
            BYTE* row1 = row0 + target.rowPitch;
            __m128i old = _mm_unpacklo_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(row0)),
                                             _mm_loadl_epi64(reinterpret_cast<const __m128i*>(row1)));
            __m128i out = Combine<kBlend>(color, lane, old, hasAlpha);
            if (quadLive == 0xF) {
                _mm_storel_epi64(reinterpret_cast<__m128i*>(row0), out);
                _mm_storel_epi64(reinterpret_cast<__m128i*>(row1), _mm_srli_si128(out, 8));
                continue;
            }
            alignas(16) uint32_t pixels[4];
            _mm_store_si128(reinterpret_cast<__m128i*>(pixels), out);
            for (int i = 0; i < 4; ++i) {
                if (quadLive >> i & 1) std::memcpy((i < 2 ? row0 : row1) + 4 * (i & 1), &pixels[i], 4);
            }
            continue;
        }
        alignas(16) uint32_t pixels[4] = {0, 0, 0, 0};
        for (int i = 0; i < 4; ++i) {
            if (quadLive >> i & 1) pixels[i] = reinterpret_cast<uint32_t*>(target.Row(UINT(py[lane + i])))[px[lane + i]];
        }
        __m128i old = _mm_load_si128(reinterpret_cast<const __m128i*>(pixels));
        _mm_store_si128(reinterpret_cast<__m128i*>(pixels), Combine<kBlend>(color, lane, old, hasAlpha));
        for (int i = 0; i < 4; ++i) {
            if (quadLive >> i & 1) reinterpret_cast<uint32_t*>(target.Row(UINT(py[lane + i])))[px[lane + i]] = pixels[i];
        }
    }
}

}  // namespace

bool WriteColorSse(const DrawState& state, const int* px, const int* py, const LaneVec4& color, uint32_t live) {
    D3DFORMAT format = state.color->Format();
    if (state.writeMask != 0xF || (format != D3DFMT_A8R8G8B8 && format != D3DFMT_X8R8G8B8)) return false;
    switch (Classify(state)) {
    case BlendKind::None: WriteQuads<BlendKind::None>(state, px, py, color, live); return true;
    case BlendKind::SrcAlphaOne: WriteQuads<BlendKind::SrcAlphaOne>(state, px, py, color, live); return true;
    case BlendKind::OneOne: WriteQuads<BlendKind::OneOne>(state, px, py, color, live); return true;
    case BlendKind::SrcAlphaInvSrcAlpha:
        WriteQuads<BlendKind::SrcAlphaInvSrcAlpha>(state, px, py, color, live);
        return true;
    case BlendKind::Other: break;
    }
    return false;
}

}  // namespace gfx
