// The four-colour colour encoder run on four blocks at once, one block per
// vector lane. Error diffusion makes each block a chain of dependent steps,
// texel after texel; four independent chains side by side keep the processor
// busy where one leaves it waiting. Every lane performs the single-precision
// operations of EncodeColorBlock in the same order, so each block comes out
// byte for byte as EncodeColorBlock (in, out, false) writes it; the tests
// compare the two.
#include <emmintrin.h>

#include "texture/pixels/dxt_blocks.h"

namespace {

// Red, green and blue of four blocks, one block per lane.
struct Rgb4 {
    __m128 r, g, b;
};

inline __m128 Set(float v) { return _mm_set1_ps(v); }
inline Rgb4 Add(const Rgb4& a, const Rgb4& b) {
    return {_mm_add_ps(a.r, b.r), _mm_add_ps(a.g, b.g), _mm_add_ps(a.b, b.b)};
}
inline Rgb4 Sub(const Rgb4& a, const Rgb4& b) {
    return {_mm_sub_ps(a.r, b.r), _mm_sub_ps(a.g, b.g), _mm_sub_ps(a.b, b.b)};
}
inline Rgb4 Scale(const Rgb4& a, __m128 s) { return {_mm_mul_ps(a.r, s), _mm_mul_ps(a.g, s), _mm_mul_ps(a.b, s)}; }
inline __m128 Dot(const Rgb4& a, const Rgb4& b) {
    return _mm_add_ps(_mm_add_ps(_mm_mul_ps(a.r, b.r), _mm_mul_ps(a.g, b.g)), _mm_mul_ps(a.b, b.b));
}
inline __m128 Select(__m128 mask, __m128 yes, __m128 no) {
    return _mm_or_ps(_mm_and_ps(mask, yes), _mm_andnot_ps(mask, no));
}
inline __m128i Select(__m128i mask, __m128i yes, __m128i no) {
    return _mm_or_si128(_mm_and_si128(mask, yes), _mm_andnot_si128(mask, no));
}
inline Rgb4 Select(__m128 mask, const Rgb4& yes, const Rgb4& no) {
    return {Select(mask, yes.r, no.r), Select(mask, yes.g, no.g), Select(mask, yes.b, no.b)};
}
inline __m128 Truncated(__m128 v) { return _mm_cvtepi32_ps(_mm_cvttps_epi32(v)); }

// Texel i of the four blocks.
inline Rgb4 Load(const KLCOLOR* const* in, uint32_t i) {
    __m128 c0 = _mm_loadu_ps(&in[0][i].r), c1 = _mm_loadu_ps(&in[1][i].r);
    __m128 c2 = _mm_loadu_ps(&in[2][i].r), c3 = _mm_loadu_ps(&in[3][i].r);
    _MM_TRANSPOSE4_PS(c0, c1, c2, c3);
    return {c0, c1, c2};
}

template <typename T>
inline void Diffuse(T* err, uint32_t i, const T& e) {
    const uint32_t x = i & 3, y = i >> 2;
    if (x < 3) err[i + 1] = Add(err[i + 1], Scale(e, Set(7.0f / 16.0f)));
    if (y < 3) {
        if (x > 0) err[i + 3] = Add(err[i + 3], Scale(e, Set(3.0f / 16.0f)));
        err[i + 4] = Add(err[i + 4], Scale(e, Set(5.0f / 16.0f)));
        if (x < 3) err[i + 5] = Add(err[i + 5], Scale(e, Set(1.0f / 16.0f)));
    }
}

const Rgb4 kWeights = {Set(kColorWeights.r), Set(kColorWeights.g), Set(kColorWeights.b)};
inline Rgb4 Weighted(const Rgb4& c) {
    return {_mm_mul_ps(c.r, kWeights.r), _mm_mul_ps(c.g, kWeights.g), _mm_mul_ps(c.b, kWeights.b)};
}

// n = integer part of (v * steps + 0.5) held to 0..steps, as n / steps.
inline __m128 QuantiseStep(__m128 v, float steps) {
    const __m128 s = Set(steps);
    const __m128 f = _mm_min_ps(_mm_max_ps(_mm_add_ps(_mm_mul_ps(v, s), Set(0.5f)), _mm_setzero_ps()), s);
    return _mm_div_ps(Truncated(f), s);
}

// Also returns the texels themselves, lane per block, for the index pass.
void QuantisedWeightedCopy(const KLCOLOR* const* in, Rgb4* texels, Rgb4* points) {
    Rgb4 err[kBlockTexels];
    for (Rgb4& e : err) e = {_mm_setzero_ps(), _mm_setzero_ps(), _mm_setzero_ps()};
    for (uint32_t i = 0; i < kBlockTexels; ++i) {
        texels[i] = Load(in, i);
        const Rgb4 v = Add(texels[i], err[i]);
        const Rgb4 q = {QuantiseStep(v.r, 31.0f), QuantiseStep(v.g, 63.0f), QuantiseStep(v.b, 31.0f)};
        Diffuse(err, i, Sub(v, q));
        points[i] = Weighted(q);
    }
}

const float kLow4[4] = {1.0f, 2.0f / 3.0f, 1.0f / 3.0f, 0.0f};
const float kHigh4[4] = {0.0f, 1.0f / 3.0f, 2.0f / 3.0f, 1.0f};

void RefineEndpoints(const Rgb4* points, Rgb4* lowOut, Rgb4* highOut) {
    Rgb4 low = kWeights, high = {_mm_setzero_ps(), _mm_setzero_ps(), _mm_setzero_ps()};
    for (uint32_t i = 0; i < kBlockTexels; ++i) {
        low = {_mm_min_ps(low.r, points[i].r), _mm_min_ps(low.g, points[i].g), _mm_min_ps(low.b, points[i].b)};
        high = {_mm_max_ps(high.r, points[i].r), _mm_max_ps(high.g, points[i].g), _mm_max_ps(high.b, points[i].b)};
    }
    const Rgb4 extent = Sub(high, low);
    const __m128 extent2 = Dot(extent, extent);
    const __m128 flat = _mm_cmplt_ps(extent2, Set(1.17549435e-38f));

    // Diagonal with the largest spread, the first on ties.
    const Rgb4 mid = Scale(Add(low, high), Set(0.5f));
    const Rgb4 scale = {_mm_div_ps(extent.r, extent2), _mm_div_ps(extent.g, extent2), _mm_div_ps(extent.b, extent2)};
    __m128 sums[4] = {_mm_setzero_ps(), _mm_setzero_ps(), _mm_setzero_ps(), _mm_setzero_ps()};
    for (uint32_t i = 0; i < kBlockTexels; ++i) {
        const Rgb4 p = Sub(points[i], mid);
        const __m128 ux = _mm_mul_ps(p.r, scale.r), uy = _mm_mul_ps(p.g, scale.g), uz = _mm_mul_ps(p.b, scale.b);
        const __m128 plus = _mm_add_ps(ux, uy), minus = _mm_sub_ps(ux, uy);
        const __m128 d[4] = {_mm_add_ps(plus, uz), _mm_sub_ps(plus, uz), _mm_add_ps(minus, uz), _mm_sub_ps(minus, uz)};
        for (int k = 0; k < 4; ++k) sums[k] = _mm_add_ps(sums[k], _mm_mul_ps(d[k], d[k]));
    }
    __m128 best = sums[0];
    __m128i choice = _mm_setzero_si128();
    for (int k = 1; k < 4; ++k) {
        const __m128 better = _mm_cmpgt_ps(sums[k], best);
        best = Select(better, sums[k], best);
        choice = Select(_mm_castps_si128(better), _mm_set1_epi32(k), choice);
    }
    // Choices 1 and 3 reverse blue, 2 and 3 green; flat blocks keep their corners.
    auto reverses = [&](int bit) {
        const __m128i set = _mm_cmpeq_epi32(_mm_and_si128(choice, _mm_set1_epi32(bit)), _mm_set1_epi32(bit));
        return _mm_andnot_ps(flat, _mm_castsi128_ps(set));
    };
    const __m128 swapBlue = reverses(1), swapGreen = reverses(2);
    const __m128 lowB = low.b, lowG = low.g;
    low.b = Select(swapBlue, high.b, low.b), high.b = Select(swapBlue, lowB, high.b);
    low.g = Select(swapGreen, high.g, low.g), high.g = Select(swapGreen, lowG, high.g);

    __m128 active = _mm_andnot_ps(flat, _mm_cmpge_ps(extent2, Set(1.0f / 4096.0f)));
    for (int round = 0; round < 8 && _mm_movemask_ps(active); ++round) {
        Rgb4 palette[4];
        for (int k = 0; k < 4; ++k) palette[k] = Add(Scale(low, Set(kLow4[k])), Scale(high, Set(kHigh4[k])));
        const Rgb4 span = Sub(high, low);
        const __m128 length2 = Dot(span, span);
        active = _mm_andnot_ps(_mm_cmplt_ps(length2, Set(1.0f / 4096.0f)), active);
        if (!_mm_movemask_ps(active)) break;
        const Rgb4 dir = Scale(span, _mm_div_ps(Set(3.0f), length2));
        Rgb4 gLow = {_mm_setzero_ps(), _mm_setzero_ps(), _mm_setzero_ps()}, gHigh = gLow;
        __m128 hLow = _mm_setzero_ps(), hHigh = _mm_setzero_ps();
        for (uint32_t i = 0; i < kBlockTexels; ++i) {
            const __m128 t = Dot(Sub(points[i], low), dir);
            const __m128i k = _mm_cvttps_epi32(_mm_add_ps(t, Set(0.5f)));
            const __m128 top = _mm_cmpge_ps(t, Set(3.0f));
            // Positions 1 and 2 from the rounded t; 0 for anything below 1; 3 at the top.
            const __m128 is1 = _mm_andnot_ps(top, _mm_castsi128_ps(_mm_cmpeq_epi32(k, _mm_set1_epi32(1))));
            const __m128 is2 = _mm_andnot_ps(top, _mm_castsi128_ps(_mm_cmpeq_epi32(k, _mm_set1_epi32(2))));
            const __m128 is3 = _mm_or_ps(top, _mm_castsi128_ps(_mm_cmpeq_epi32(k, _mm_set1_epi32(3))));
            Rgb4 p = palette[0];
            __m128 wl = Set(kLow4[0]), wh = Set(kHigh4[0]);
            p = Select(is1, palette[1], p), wl = Select(is1, Set(kLow4[1]), wl), wh = Select(is1, Set(kHigh4[1]), wh);
            p = Select(is2, palette[2], p), wl = Select(is2, Set(kLow4[2]), wl), wh = Select(is2, Set(kHigh4[2]), wh);
            p = Select(is3, palette[3], p), wl = Select(is3, Set(kLow4[3]), wl), wh = Select(is3, Set(kHigh4[3]), wh);
            const Rgb4 r = Sub(p, points[i]);
            gLow = Add(gLow, Scale(r, wl));
            gHigh = Add(gHigh, Scale(r, wh));
            hLow = _mm_add_ps(hLow, _mm_mul_ps(wl, wl));
            hHigh = _mm_add_ps(hHigh, _mm_mul_ps(wh, wh));
        }
        const __m128 moveLow = _mm_and_ps(active, _mm_cmpgt_ps(hLow, _mm_setzero_ps()));
        const __m128 moveHigh = _mm_and_ps(active, _mm_cmpgt_ps(hHigh, _mm_setzero_ps()));
        const Rgb4 stepLow = {_mm_div_ps(gLow.r, hLow), _mm_div_ps(gLow.g, hLow), _mm_div_ps(gLow.b, hLow)};
        const Rgb4 stepHigh = {_mm_div_ps(gHigh.r, hHigh), _mm_div_ps(gHigh.g, hHigh), _mm_div_ps(gHigh.b, hHigh)};
        low = Select(moveLow, Sub(low, stepLow), low);
        high = Select(moveHigh, Sub(high, stepHigh), high);
        // Converged when every gradient component squared is below 2^-10
        // (2^-16 for the sums scaled by 1/8, as in the one-block search).
        const __m128 limit = Set(1.0f / 1024.0f);
        __m128 settled = _mm_and_ps(_mm_cmplt_ps(_mm_mul_ps(gLow.r, gLow.r), limit),
                                    _mm_cmplt_ps(_mm_mul_ps(gLow.g, gLow.g), limit));
        settled = _mm_and_ps(settled, _mm_cmplt_ps(_mm_mul_ps(gLow.b, gLow.b), limit));
        settled = _mm_and_ps(settled, _mm_cmplt_ps(_mm_mul_ps(gHigh.r, gHigh.r), limit));
        settled = _mm_and_ps(settled, _mm_cmplt_ps(_mm_mul_ps(gHigh.g, gHigh.g), limit));
        settled = _mm_and_ps(settled, _mm_cmplt_ps(_mm_mul_ps(gHigh.b, gHigh.b), limit));
        active = _mm_andnot_ps(settled, active);
    }
    *lowOut = low, *highOut = high;
}

// Weighted endpoint to 5:6:5: each channel back to plain colour, clamped to
// 0..1, n = integer part of (v * steps + 0.5).
__m128i Pack565(const Rgb4& weighted) {
    auto channel = [](__m128 w, float unweight, float steps) {
        const __m128 v = _mm_min_ps(_mm_max_ps(_mm_mul_ps(w, Set(unweight)), _mm_setzero_ps()), Set(1.0f));
        return _mm_cvttps_epi32(_mm_add_ps(_mm_mul_ps(v, Set(steps)), Set(0.5f)));
    };
    const __m128i r = channel(weighted.r, kColorUnweights.r, 31.0f);
    const __m128i g = channel(weighted.g, kColorUnweights.g, 63.0f);
    const __m128i b = channel(weighted.b, kColorUnweights.b, 31.0f);
    return _mm_or_si128(_mm_or_si128(_mm_slli_epi32(r, 11), _mm_slli_epi32(g, 5)), b);
}

Rgb4 Weighted565(__m128i c) {
    const __m128 r = _mm_cvtepi32_ps(_mm_srli_epi32(c, 11));
    const __m128 g = _mm_cvtepi32_ps(_mm_and_si128(_mm_srli_epi32(c, 5), _mm_set1_epi32(63)));
    const __m128 b = _mm_cvtepi32_ps(_mm_and_si128(c, _mm_set1_epi32(31)));
    return Weighted({_mm_div_ps(r, Set(31.0f)), _mm_div_ps(g, Set(63.0f)), _mm_div_ps(b, Set(31.0f))});
}

}  // namespace

void EncodeColorBlocks4(const KLCOLOR* const* in, BYTE* const* out) {
    Rgb4 texels[kBlockTexels], points[kBlockTexels];
    QuantisedWeightedCopy(in, texels, points);
    Rgb4 low, high;
    RefineEndpoints(points, &low, &high);
    const __m128i a = Pack565(low), b = Pack565(high);
    const __m128i same = _mm_cmpeq_epi32(a, b);
    // c0 the larger endpoint, c1 the other.
    const __m128i aLarger = _mm_cmpgt_epi32(a, b);
    const __m128i c0 = Select(aLarger, a, b), c1 = Select(aLarger, b, a);
    const Rgb4 e0 = Weighted565(c0), e1 = Weighted565(c1);
    const Rgb4 span = Sub(e1, e0);
    const Rgb4 line[4] = {e0, Add(e0, Scale(span, Set(1.0f / 3.0f))), Add(e0, Scale(span, Set(2.0f / 3.0f))), e1};
    const Rgb4 dir = Scale(span, _mm_andnot_ps(_mm_castsi128_ps(same), _mm_div_ps(Set(3.0f), Dot(span, span))));

    Rgb4 err[kBlockTexels];
    for (Rgb4& e : err) e = {_mm_setzero_ps(), _mm_setzero_ps(), _mm_setzero_ps()};
    __m128i indices = _mm_setzero_si128();
    for (uint32_t i = 0; i < kBlockTexels; ++i) {
        const Rgb4 c = Add(Weighted(texels[i]), err[i]);
        const __m128 t = Dot(Sub(c, e0), dir);
        const __m128i rounded = _mm_cvttps_epi32(_mm_add_ps(t, Set(0.5f)));
        const __m128 bottom = _mm_cmple_ps(t, _mm_setzero_ps());
        const __m128 top = _mm_andnot_ps(bottom, _mm_cmpge_ps(t, Set(3.0f)));
        const __m128 middle = _mm_andnot_ps(_mm_or_ps(bottom, top), _mm_castsi128_ps(_mm_set1_epi32(-1)));
        const __m128 at1 = _mm_and_ps(middle, _mm_castsi128_ps(_mm_cmpeq_epi32(rounded, _mm_set1_epi32(1))));
        const __m128 at2 = _mm_and_ps(middle, _mm_castsi128_ps(_mm_cmpeq_epi32(rounded, _mm_set1_epi32(2))));
        const __m128 at3 = _mm_or_ps(top, _mm_and_ps(middle, _mm_castsi128_ps(_mm_cmpeq_epi32(rounded, _mm_set1_epi32(3)))));
        // Line positions 0..3 are stored as indices 0, 2, 3, 1.
        __m128i stored = _mm_and_si128(_mm_castps_si128(at1), _mm_set1_epi32(2));
        stored = _mm_or_si128(stored, _mm_and_si128(_mm_castps_si128(at2), _mm_set1_epi32(3)));
        stored = _mm_or_si128(stored, _mm_and_si128(_mm_castps_si128(at3), _mm_set1_epi32(1)));
        indices = _mm_or_si128(indices, _mm_sll_epi32(stored, _mm_cvtsi32_si128(static_cast<int>(2 * i))));
        Rgb4 chosen = Select(at1, line[1], line[0]);
        chosen = Select(at2, line[2], chosen);
        chosen = Select(at3, line[3], chosen);
        Diffuse(err, i, Sub(c, chosen));
    }
    alignas(16) uint32_t first[4], second[4], bits[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(first), Select(same, a, c0));
    _mm_store_si128(reinterpret_cast<__m128i*>(second), Select(same, a, c1));
    _mm_store_si128(reinterpret_cast<__m128i*>(bits), _mm_andnot_si128(same, indices));
    for (int lane = 0; lane < 4; ++lane) {
        BYTE* o = out[lane];
        o[0] = static_cast<BYTE>(first[lane]), o[1] = static_cast<BYTE>(first[lane] >> 8);
        o[2] = static_cast<BYTE>(second[lane]), o[3] = static_cast<BYTE>(second[lane] >> 8);
        for (int k = 0; k < 4; ++k) o[4 + k] = static_cast<BYTE>(bits[lane] >> (8 * k));
    }
}
