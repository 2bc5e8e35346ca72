// SSE and SSE2 variants: matrix products, determinant, inverse, shadow and
// reflection matrices.
#include "math/sse/sse_core.h"
#include "math/sse/sse_slots.h"

namespace klmath::simd {
namespace {

template <class Isa>
Rows Product(const KLMATRIX* a, const KLMATRIX* b) {
    Rows rb(b);
    Rows r(a);
    r.r0 = Transform4<Isa>(r.r0, rb);
    r.r1 = Transform4<Isa>(r.r1, rb);
    r.r2 = Transform4<Isa>(r.r2, rb);
    r.r3 = Transform4<Isa>(r.r3, rb);
    return r;
}

template <class Isa>
KLMATRIX* MatrixMultiply(KLMATRIX* out, const KLMATRIX* a, const KLMATRIX* b) {
    Product<Isa>(a, b).StoreTo(out);
    return out;
}

template <class Isa>
KLMATRIX* MatrixMultiplyTranspose(KLMATRIX* out, const KLMATRIX* a, const KLMATRIX* b) {
    Rows r = Product<Isa>(a, b);
    _MM_TRANSPOSE4_PS(r.r0, r.r1, r.r2, r.r3);
    r.StoreTo(out);
    return out;
}

// The 2 x 2 minors of the upper rows (c) and the lower rows (s):
//   s0 = m20 m31 - m21 m30, s1 = m20 m32 - m22 m30, s2 = m20 m33 - m23 m30,
//   s3 = m21 m32 - m22 m31, s4 = m21 m33 - m23 m31, s5 = m22 m33 - m23 m32,
// and c0..c5 likewise from rows 0 and 1. s03 holds s0..s3, s45 holds s4, s5
// (twice).
struct Minors {
    __m128 s03, s45, c03, c45;
};

template <class Isa>
__m128 Minors03(__m128 u, __m128 v) {
    using I = Isa;
    return _mm_sub_ps(_mm_mul_ps(I::template Shuffle<0, 0, 0, 1>(u), I::template Shuffle<1, 2, 3, 2>(v)),
                      _mm_mul_ps(I::template Shuffle<1, 2, 3, 2>(u), I::template Shuffle<0, 0, 0, 1>(v)));
}

template <class Isa>
__m128 Minors45(__m128 u, __m128 v) {
    using I = Isa;
    return _mm_sub_ps(_mm_mul_ps(I::template Shuffle<1, 2, 1, 2>(u), I::template Shuffle<3, 3, 3, 3>(v)),
                      _mm_mul_ps(I::template Shuffle<3, 3, 3, 3>(u), I::template Shuffle<1, 2, 1, 2>(v)));
}

template <class Isa>
Minors ComputeMinors(const Rows& m) {
    return {Minors03<Isa>(m.r2, m.r3), Minors45<Isa>(m.r2, m.r3), Minors03<Isa>(m.r0, m.r1),
            Minors45<Isa>(m.r0, m.r1)};
}

// det = c0 s5 - c1 s4 + c2 s3 + c3 s2 - c4 s1 + c5 s0.
template <class Isa>
float Determinant(const Minors& k) {
    __m128 s5432 = _mm_shuffle_ps(k.s45, k.s03, _MM_SHUFFLE(2, 3, 0, 1));
    __m128 t = FlipSigns(_mm_mul_ps(k.c03, s5432), SignMask(false, true, false, false));
    __m128 s10 = Isa::template Shuffle<1, 0, 1, 0>(k.s03);
    __m128 u = FlipSigns(_mm_mul_ps(k.c45, s10), SignMask(true, false, true, false));
    // u repeats its two products in the upper lanes; keep one copy.
    u = _mm_movelh_ps(u, _mm_setzero_ps());
    return _mm_cvtss_f32(HorizontalSum<Isa>(_mm_add_ps(t, u)));
}

template <class Isa>
float MatrixDeterminant(const KLMATRIX* m) {
    return Determinant<Isa>(ComputeMinors<Isa>(Rows(m)));
}

// The adjugate row by row from the minors. With the columns gathered as
// D = (m10, m00, m30, m20), A = (m11, m01, m31, m21), B = (.2), C = (.3) and
// Sk = (sk, sk, ck, ck), the rows of the adjugate are
//   row0 = +-(A S5 - B S4 + C S3), row1 = -+(D S5 - B S2 + C S1),
//   row2 = +-(D S4 - A S2 + C S0), row3 = -+(D S3 - A S1 + B S0),
// with lane signs alternating (+ - + -) or (- + - +).
template <class Isa>
KLMATRIX* MatrixInverse(KLMATRIX* out, float* determinant, const KLMATRIX* pm) {
    Rows m(pm);
    Minors k = ComputeMinors<Isa>(m);
    __m128 u = _mm_unpacklo_ps(m.r1, m.r0), v = _mm_unpackhi_ps(m.r1, m.r0);
    __m128 w = _mm_unpacklo_ps(m.r3, m.r2), z = _mm_unpackhi_ps(m.r3, m.r2);
    __m128 D = _mm_movelh_ps(u, w), A = _mm_movehl_ps(w, u), B = _mm_movelh_ps(v, z), C = _mm_movehl_ps(z, v);
    __m128 S0 = _mm_shuffle_ps(k.s03, k.c03, _MM_SHUFFLE(0, 0, 0, 0));
    __m128 S1 = _mm_shuffle_ps(k.s03, k.c03, _MM_SHUFFLE(1, 1, 1, 1));
    __m128 S2 = _mm_shuffle_ps(k.s03, k.c03, _MM_SHUFFLE(2, 2, 2, 2));
    __m128 S3 = _mm_shuffle_ps(k.s03, k.c03, _MM_SHUFFLE(3, 3, 3, 3));
    __m128 S4 = _mm_shuffle_ps(k.s45, k.c45, _MM_SHUFFLE(0, 0, 0, 0));
    __m128 S5 = _mm_shuffle_ps(k.s45, k.c45, _MM_SHUFFLE(1, 1, 1, 1));
    auto combine = [](__m128 x, __m128 sx, __m128 y, __m128 sy, __m128 z, __m128 sz) {
        return _mm_add_ps(_mm_sub_ps(_mm_mul_ps(x, sx), _mm_mul_ps(y, sy)), _mm_mul_ps(z, sz));
    };
    const __m128 even = SignMask(false, true, false, true), odd = SignMask(true, false, true, false);
    __m128 row0 = FlipSigns(combine(A, S5, B, S4, C, S3), even);
    __m128 row1 = FlipSigns(combine(D, S5, B, S2, C, S1), odd);
    __m128 row2 = FlipSigns(combine(D, S4, A, S2, C, S0), even);
    __m128 row3 = FlipSigns(combine(D, S3, A, S1, B, S0), odd);
    // det = first row of m times the first column of the adjugate.
    __m128 col0 = _mm_movelh_ps(_mm_unpacklo_ps(row0, row1), _mm_unpacklo_ps(row2, row3));
    __m128 det = HorizontalSum<Isa>(_mm_mul_ps(m.r0, col0));
    float d = _mm_cvtss_f32(det);
    if (determinant) *determinant = d;
    if (d == 0.0f || !std::isfinite(d)) return nullptr;
    __m128 inv = _mm_div_ps(_mm_set1_ps(1.0f), det);
    _mm_storeu_ps(out->m[0], _mm_mul_ps(row0, inv));
    _mm_storeu_ps(out->m[1], _mm_mul_ps(row1, inv));
    _mm_storeu_ps(out->m[2], _mm_mul_ps(row2, inv));
    _mm_storeu_ps(out->m[3], _mm_mul_ps(row3, inv));
    return out;
}

// The plane scaled to a unit normal; a degenerate plane becomes all zeros.
template <class Isa>
__m128 UnitPlane(const KLPLANE* p) {
    __m128 v = _mm_loadu_ps(&p->a);
    __m128 L = LengthSq3<Isa>(v);
    __m128 keep = _mm_cmpgt_ps(L, _mm_setzero_ps());
    return _mm_and_ps(_mm_div_ps(v, _mm_sqrt_ps(L)), keep);
}

template <class Isa>
KLMATRIX* MatrixShadow(KLMATRIX* out, const KLVECTOR4* light, const KLPLANE* plane) {
    __m128 p = UnitPlane<Isa>(plane);
    __m128 l = _mm_loadu_ps(&light->x);
    __m128 d = HorizontalSum<Isa>(_mm_mul_ps(p, l));
    // Row r: d on the diagonal minus p[r] times the light.
    const __m128 zero = _mm_setzero_ps();
    _mm_storeu_ps(out->m[0], _mm_sub_ps(_mm_move_ss(zero, d), _mm_mul_ps(Splat<Isa, 0>(p), l)));
    _mm_storeu_ps(out->m[1],
                  _mm_sub_ps(_mm_and_ps(d, _mm_castsi128_ps(_mm_set_epi32(0, 0, -1, 0))),
                             _mm_mul_ps(Splat<Isa, 1>(p), l)));
    _mm_storeu_ps(out->m[2],
                  _mm_sub_ps(_mm_and_ps(d, _mm_castsi128_ps(_mm_set_epi32(0, -1, 0, 0))),
                             _mm_mul_ps(Splat<Isa, 2>(p), l)));
    _mm_storeu_ps(out->m[3],
                  _mm_sub_ps(_mm_and_ps(d, _mm_castsi128_ps(_mm_set_epi32(-1, 0, 0, 0))),
                             _mm_mul_ps(Splat<Isa, 3>(p), l)));
    return out;
}

template <class Isa>
KLMATRIX* MatrixReflect(KLMATRIX* out, const KLPLANE* plane) {
    __m128 p = UnitPlane<Isa>(plane);
    // The normal with w = 0, doubled and negated: row r = e_r - 2 p[r] n.
    __m128 n2 = _mm_mul_ps(_mm_set1_ps(-2.0f), _mm_and_ps(p, _mm_castsi128_ps(_mm_set_epi32(0, -1, -1, -1))));
    _mm_storeu_ps(out->m[0], _mm_add_ps(_mm_set_ps(0, 0, 0, 1), _mm_mul_ps(Splat<Isa, 0>(p), n2)));
    _mm_storeu_ps(out->m[1], _mm_add_ps(_mm_set_ps(0, 0, 1, 0), _mm_mul_ps(Splat<Isa, 1>(p), n2)));
    _mm_storeu_ps(out->m[2], _mm_add_ps(_mm_set_ps(0, 1, 0, 0), _mm_mul_ps(Splat<Isa, 2>(p), n2)));
    _mm_storeu_ps(out->m[3], _mm_add_ps(_mm_set_ps(1, 0, 0, 0), _mm_mul_ps(Splat<Isa, 3>(p), n2)));
    return out;
}

using S = SseIsa;
using S2 = Sse2Isa;

}  // namespace

std::span<const SlotEntry> MatrixSlots(Family family) {
    static const SlotEntry sse[] = {
        Use<kSlotMatrixMultiply>(&MatrixMultiply<S>),
        Use<kSlotMatrixMultiplyTranspose>(&MatrixMultiplyTranspose<S>),
        Use<kSlotMatrixDeterminant>(&MatrixDeterminant<S>),
        Use<kSlotMatrixInverse>(&MatrixInverse<S>),
        Use<kSlotMatrixShadow>(&MatrixShadow<S>),
        Use<kSlotMatrixReflect>(&MatrixReflect<S>),
    };
    static const SlotEntry sse2[] = {
        Use<kSlotMatrixMultiply>(&MatrixMultiply<S2>),
        Use<kSlotMatrixMultiplyTranspose>(&MatrixMultiplyTranspose<S2>),
        Use<kSlotMatrixDeterminant>(&MatrixDeterminant<S2>),
        Use<kSlotMatrixInverse>(&MatrixInverse<S2>),
        Use<kSlotMatrixShadow>(&MatrixShadow<S2>),
        Use<kSlotMatrixReflect>(&MatrixReflect<S2>),
    };
    return family == Family::Sse ? std::span<const SlotEntry>(sse) : std::span<const SlotEntry>(sse2);
}

}  // namespace klmath::simd
