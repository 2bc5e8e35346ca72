// SSE and SSE2 variants: single vector transforms, normalisation, the 4D cross
// product and the splines.
#include "math/sse/sse_core.h"
#include "math/sse/sse_slots.h"

namespace klmath::simd {
namespace {

template <class Isa>
KLVECTOR4* Vec2Transform(KLVECTOR4* out, const KLVECTOR2* v, const KLMATRIX* m) {
    Store<Isa>(out, TransformPoint2<Isa>(Load<Isa>(v), Rows(m)));
    return out;
}

template <class Isa>
KLVECTOR4* Vec3Transform(KLVECTOR4* out, const KLVECTOR3* v, const KLMATRIX* m) {
    Store<Isa>(out, TransformPoint3<Isa>(Load<Isa>(v), Rows(m)));
    return out;
}

template <class Isa>
KLVECTOR4* Vec4Transform(KLVECTOR4* out, const KLVECTOR4* v, const KLMATRIX* m) {
    Store<Isa>(out, Transform4<Isa>(Load<Isa>(v), Rows(m)));
    return out;
}

// A plane is transformed like a 4-vector.
template <class Isa>
KLPLANE* PlaneTransform(KLPLANE* out, const KLPLANE* p, const KLMATRIX* m) {
    return reinterpret_cast<KLPLANE*>(
        Vec4Transform<Isa>(reinterpret_cast<KLVECTOR4*>(out), reinterpret_cast<const KLVECTOR4*>(p), m));
}

template <class Isa>
KLVECTOR2* Vec2TransformNormal(KLVECTOR2* out, const KLVECTOR2* v, const KLMATRIX* m) {
    Store<Isa>(out, TransformNormal2<Isa>(Load<Isa>(v), Rows(m)));
    return out;
}

template <class Isa>
KLVECTOR3* Vec3TransformNormal(KLVECTOR3* out, const KLVECTOR3* v, const KLMATRIX* m) {
    Store<Isa>(out, TransformNormal3<Isa>(Load<Isa>(v), Rows(m)));
    return out;
}

template <class Isa>
KLVECTOR2* Vec2TransformCoord(KLVECTOR2* out, const KLVECTOR2* v, const KLMATRIX* m) {
    Store<Isa>(out, Project<Isa>(TransformPoint2<Isa>(Load<Isa>(v), Rows(m))));
    return out;
}

template <class Isa>
KLVECTOR3* Vec3TransformCoord(KLVECTOR3* out, const KLVECTOR3* v, const KLMATRIX* m) {
    Store<Isa>(out, Project<Isa>(TransformPoint3<Isa>(Load<Isa>(v), Rows(m))));
    return out;
}

template <class Isa>
KLVECTOR3* Vec3Normalize(KLVECTOR3* out, const KLVECTOR3* v) {
    __m128 x = Load<Isa>(v);
    Store<Isa>(out, NormalizeBy(x, LengthSq3<Isa>(x)));
    return out;
}

template <class Isa>
KLVECTOR4* Vec4Normalize(KLVECTOR4* out, const KLVECTOR4* v) {
    __m128 x = Load<Isa>(v);
    Store<Isa>(out, NormalizeBy(x, HorizontalSum<Isa>(_mm_mul_ps(x, x))));
    return out;
}

// Expansion along a of the 2 x 2 minors of b and c; see the scalar form in the
// plain variant. Lanes: x = +a.y M1 - a.z M2 + a.w M3, and so on with signs
// alternating across the lanes.
template <class Isa>
KLVECTOR4* Vec4Cross(KLVECTOR4* out, const KLVECTOR4* pa, const KLVECTOR4* pb, const KLVECTOR4* pc) {
    using I = Isa;
    __m128 a = Load<Isa>(pa), b = Load<Isa>(pb), c = Load<Isa>(pc);
    __m128 m1 = _mm_sub_ps(_mm_mul_ps(I::template Shuffle<2, 2, 1, 1>(b), I::template Shuffle<3, 3, 3, 2>(c)),
                           _mm_mul_ps(I::template Shuffle<3, 3, 3, 2>(b), I::template Shuffle<2, 2, 1, 1>(c)));
    __m128 m2 = _mm_sub_ps(_mm_mul_ps(I::template Shuffle<1, 0, 0, 0>(b), I::template Shuffle<3, 3, 3, 2>(c)),
                           _mm_mul_ps(I::template Shuffle<3, 3, 3, 2>(b), I::template Shuffle<1, 0, 0, 0>(c)));
    __m128 m3 = _mm_sub_ps(_mm_mul_ps(I::template Shuffle<1, 0, 0, 0>(b), I::template Shuffle<2, 2, 1, 1>(c)),
                           _mm_mul_ps(I::template Shuffle<2, 2, 1, 1>(b), I::template Shuffle<1, 0, 0, 0>(c)));
    __m128 r = _mm_mul_ps(I::template Shuffle<1, 0, 0, 0>(a), m1);
    r = _mm_sub_ps(r, _mm_mul_ps(I::template Shuffle<2, 2, 1, 1>(a), m2));
    r = _mm_add_ps(r, _mm_mul_ps(I::template Shuffle<3, 3, 3, 2>(a), m3));
    Store<Isa>(out, FlipSigns(r, SignMask(false, true, false, true)));
    return out;
}

// h1 v1 + h2 t1 + h3 v2 + h4 t2 with the cubic Hermite basis.
template <class Isa, class V>
V* Hermite(V* out, const V* v1, const V* t1, const V* v2, const V* t2, float s) {
    float s2 = s * s, s3 = s2 * s;
    __m128 r = _mm_mul_ps(_mm_set1_ps(2 * s3 - 3 * s2 + 1), Load<Isa>(v1));
    r = _mm_add_ps(r, _mm_mul_ps(_mm_set1_ps(s3 - 2 * s2 + s), Load<Isa>(t1)));
    r = _mm_add_ps(r, _mm_mul_ps(_mm_set1_ps(3 * s2 - 2 * s3), Load<Isa>(v2)));
    r = _mm_add_ps(r, _mm_mul_ps(_mm_set1_ps(s3 - s2), Load<Isa>(t2)));
    Store<Isa>(out, r);
    return out;
}

// The Catmull-Rom spline as weights of its four control points.
template <class Isa, class V>
V* CatmullRom(V* out, const V* v0, const V* v1, const V* v2, const V* v3, float s) {
    float s2 = s * s, s3 = s2 * s;
    __m128 r = _mm_mul_ps(_mm_set1_ps(0.5f * (2 * s2 - s3 - s)), Load<Isa>(v0));
    r = _mm_add_ps(r, _mm_mul_ps(_mm_set1_ps(0.5f * (3 * s3 - 5 * s2 + 2)), Load<Isa>(v1)));
    r = _mm_add_ps(r, _mm_mul_ps(_mm_set1_ps(0.5f * (4 * s2 - 3 * s3 + s)), Load<Isa>(v2)));
    r = _mm_add_ps(r, _mm_mul_ps(_mm_set1_ps(0.5f * (s3 - s2)), Load<Isa>(v3)));
    Store<Isa>(out, r);
    return out;
}

template <class Isa, class V>
V* BaryCentric(V* out, const V* v1, const V* v2, const V* v3, float f, float g) {
    __m128 a = Load<Isa>(v1);
    __m128 r = _mm_add_ps(a, _mm_mul_ps(_mm_set1_ps(f), _mm_sub_ps(Load<Isa>(v2), a)));
    r = _mm_add_ps(r, _mm_mul_ps(_mm_set1_ps(g), _mm_sub_ps(Load<Isa>(v3), a)));
    Store<Isa>(out, r);
    return out;
}

using S = SseIsa;
using S2 = Sse2Isa;

}  // namespace

std::span<const SlotEntry> VectorSlots(Family family) {
    static const SlotEntry sse[] = {
        Use<kSlotVec2Transform>(&Vec2Transform<S>),
        Use<kSlotVec3Transform>(&Vec3Transform<S>),
        Use<kSlotVec4Transform>(&Vec4Transform<S>),
        Use<kSlotVec2TransformNormal>(&Vec2TransformNormal<S>),
        Use<kSlotVec3TransformNormal>(&Vec3TransformNormal<S>),
        Use<kSlotVec3Normalize>(&Vec3Normalize<S>),
        Use<kSlotVec4Normalize>(&Vec4Normalize<S>),
        Use<kSlotVec2TransformCoord>(&Vec2TransformCoord<S>),
        Use<kSlotVec3TransformCoord>(&Vec3TransformCoord<S>),
        Use<kSlotVec4Cross>(&Vec4Cross<S>),
        Use<kSlotVec2Hermite>(&Hermite<S, KLVECTOR2>),
        Use<kSlotPlaneTransform>(&PlaneTransform<S>),
        Use<kSlotVec2CatmullRom>(&CatmullRom<S, KLVECTOR2>),
        Use<kSlotVec2BaryCentric>(&BaryCentric<S, KLVECTOR2>),
        Use<kSlotVec3Hermite>(&Hermite<S, KLVECTOR3>),
        Use<kSlotVec3CatmullRom>(&CatmullRom<S, KLVECTOR3>),
        Use<kSlotVec3BaryCentric>(&BaryCentric<S, KLVECTOR3>),
        Use<kSlotVec4Hermite>(&Hermite<S, KLVECTOR4>),
        Use<kSlotVec4CatmullRom>(&CatmullRom<S, KLVECTOR4>),
        Use<kSlotVec4BaryCentric>(&BaryCentric<S, KLVECTOR4>),
    };
    // SSE2 has its own transforms, normalisation and cross product; the
    // rest are shared with SSE.
    static const SlotEntry sse2[] = {
        Use<kSlotVec2Transform>(&Vec2Transform<S>),
        Use<kSlotVec3Transform>(&Vec3Transform<S2>),
        Use<kSlotVec4Transform>(&Vec4Transform<S2>),
        Use<kSlotVec2TransformNormal>(&Vec2TransformNormal<S>),
        Use<kSlotVec3TransformNormal>(&Vec3TransformNormal<S2>),
        Use<kSlotVec3Normalize>(&Vec3Normalize<S2>),
        Use<kSlotVec4Normalize>(&Vec4Normalize<S>),
        Use<kSlotVec2TransformCoord>(&Vec2TransformCoord<S>),
        Use<kSlotVec3TransformCoord>(&Vec3TransformCoord<S2>),
        Use<kSlotVec4Cross>(&Vec4Cross<S2>),
        Use<kSlotVec2Hermite>(&Hermite<S, KLVECTOR2>),
        Use<kSlotPlaneTransform>(&PlaneTransform<S2>),
        Use<kSlotVec2CatmullRom>(&CatmullRom<S, KLVECTOR2>),
        Use<kSlotVec2BaryCentric>(&BaryCentric<S, KLVECTOR2>),
        Use<kSlotVec3Hermite>(&Hermite<S, KLVECTOR3>),
        Use<kSlotVec3CatmullRom>(&CatmullRom<S, KLVECTOR3>),
        Use<kSlotVec3BaryCentric>(&BaryCentric<S, KLVECTOR3>),
        Use<kSlotVec4Hermite>(&Hermite<S, KLVECTOR4>),
        Use<kSlotVec4CatmullRom>(&CatmullRom<S, KLVECTOR4>),
        Use<kSlotVec4BaryCentric>(&BaryCentric<S, KLVECTOR4>),
    };
    return family == Family::Sse ? std::span<const SlotEntry>(sse) : std::span<const SlotEntry>(sse2);
}

}  // namespace klmath::simd
