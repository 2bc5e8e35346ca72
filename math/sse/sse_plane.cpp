// SSE and SSE2 variants: planes from points, normalisation, line intersection.
#include "math/sse/sse_core.h"
#include "math/sse/sse_slots.h"

namespace klmath::simd {
namespace {

template <class Isa>
__m128 Cross(__m128 a, __m128 b) {
    using I = Isa;
    return _mm_sub_ps(_mm_mul_ps(I::template Shuffle<1, 2, 0, 3>(a), I::template Shuffle<2, 0, 1, 3>(b)),
                      _mm_mul_ps(I::template Shuffle<2, 0, 1, 3>(a), I::template Shuffle<1, 2, 0, 3>(b)));
}

// Through v1 with the unit normal of the triangle (v1, v2, v3).
template <class Isa>
KLPLANE* PlaneFromPoints(KLPLANE* out, const KLVECTOR3* v1, const KLVECTOR3* v2, const KLVECTOR3* v3) {
    __m128 p = Load<Isa>(v1);
    __m128 n = Cross<Isa>(_mm_sub_ps(Load<Isa>(v2), p), _mm_sub_ps(Load<Isa>(v3), p));
    n = NormalizeBy(n, LengthSq3<Isa>(n));
    __m128 d = FlipSigns(HorizontalSum<Isa>(_mm_mul_ps(n, p)), SignMask(true, true, true, true));
    // n has w = 0; put -n.p there.
    __m128 r = _mm_add_ps(n, _mm_and_ps(d, _mm_castsi128_ps(_mm_set_epi32(-1, 0, 0, 0))));
    _mm_storeu_ps(&out->a, r);
    return out;
}

template <class Isa>
KLPLANE* PlaneNormalize(KLPLANE* out, const KLPLANE* p) {
    __m128 v = _mm_loadu_ps(&p->a);
    __m128 L = LengthSq3<Isa>(v);
    __m128 keep = _mm_cmpgt_ps(L, _mm_setzero_ps());
    _mm_storeu_ps(&out->a, _mm_and_ps(_mm_div_ps(v, _mm_sqrt_ps(L)), keep));
    return out;
}

template <class Isa>
KLVECTOR3* PlaneIntersectLine(KLVECTOR3* out, const KLPLANE* p, const KLVECTOR3* v1, const KLVECTOR3* v2) {
    __m128 n = _mm_loadu_ps(&p->a);
    __m128 a = Load<Isa>(v1);
    __m128 dir = _mm_sub_ps(Load<Isa>(v2), a);
    // Lane 3 of a and dir is 0, so the dot products see only the normal.
    __m128 denom = HorizontalSum<Isa>(_mm_mul_ps(n, dir));
    if (_mm_cvtss_f32(denom) == 0.0f) return nullptr;
    __m128 dist = _mm_add_ps(HorizontalSum<Isa>(_mm_mul_ps(n, a)), Splat<Isa, 3>(n));
    __m128 t = _mm_div_ps(dist, denom);
    Store<Isa>(out, _mm_sub_ps(a, _mm_mul_ps(t, dir)));
    return out;
}

using S = SseIsa;
using S2 = Sse2Isa;

}  // namespace

std::span<const SlotEntry> PlaneSlots(Family family) {
    static const SlotEntry sse[] = {
        Use<kSlotPlaneFromPoints>(&PlaneFromPoints<S>),
        Use<kSlotPlaneNormalize>(&PlaneNormalize<S>),
        Use<kSlotPlaneIntersectLine>(&PlaneIntersectLine<S>),
    };
    static const SlotEntry sse2[] = {
        Use<kSlotPlaneFromPoints>(&PlaneFromPoints<S2>),
        Use<kSlotPlaneNormalize>(&PlaneNormalize<S2>),
        Use<kSlotPlaneIntersectLine>(&PlaneIntersectLine<S>),
    };
    return family == Family::Sse ? std::span<const SlotEntry>(sse) : std::span<const SlotEntry>(sse2);
}

}  // namespace klmath::simd
