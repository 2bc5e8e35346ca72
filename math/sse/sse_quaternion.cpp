// SSE and SSE2 variants: quaternion product, normalisation, inverse and the
// conversions from matrices and Euler angles.
#include <cmath>

#include "math/sse/sse_core.h"
#include "math/sse/sse_slots.h"

namespace klmath::simd {
namespace {

inline __m128 LoadQ(const KLQUATERNION* q) { return _mm_loadu_ps(&q->x); }
inline KLQUATERNION* StoreQ(KLQUATERNION* out, __m128 v) {
    _mm_storeu_ps(&out->x, v);
    return out;
}

// out = q2 * q1 (q1's rotation first):
//   a.w b + (a.xyz, -a.x) b.www x + (a.yzx, -a.y) b.zxy y - a.zxy z b.yzx z
// with a = q2 and b = q1.
template <class Isa>
KLQUATERNION* QuaternionMultiply(KLQUATERNION* out, const KLQUATERNION* q1, const KLQUATERNION* q2) {
    using I = Isa;
    __m128 b = LoadQ(q1), a = LoadQ(q2);
    __m128 r = _mm_mul_ps(Splat<Isa, 3>(a), b);
    __m128 t2 = _mm_mul_ps(I::template Shuffle<0, 1, 2, 0>(a), I::template Shuffle<3, 3, 3, 0>(b));
    __m128 t3 = _mm_mul_ps(I::template Shuffle<1, 2, 0, 1>(a), I::template Shuffle<2, 0, 1, 1>(b));
    __m128 t4 = _mm_mul_ps(I::template Shuffle<2, 0, 1, 2>(a), I::template Shuffle<1, 2, 0, 2>(b));
    r = _mm_add_ps(r, FlipSigns(_mm_add_ps(t2, t3), SignMask(false, false, false, true)));
    return StoreQ(out, _mm_sub_ps(r, t4));
}

template <class Isa>
KLQUATERNION* QuaternionNormalize(KLQUATERNION* out, const KLQUATERNION* q) {
    __m128 v = LoadQ(q);
    return StoreQ(out, NormalizeBy(v, HorizontalSum<Isa>(_mm_mul_ps(v, v))));
}

// The conjugate over the squared length; a zero quaternion stays zero.
template <class Isa>
KLQUATERNION* QuaternionInverse(KLQUATERNION* out, const KLQUATERNION* q) {
    __m128 v = LoadQ(q);
    __m128 n = HorizontalSum<Isa>(_mm_mul_ps(v, v));
    __m128 keep = _mm_cmpneq_ps(n, _mm_setzero_ps());
    __m128 r = _mm_div_ps(FlipSigns(v, SignMask(true, true, true, false)), n);
    return StoreQ(out, _mm_and_ps(r, keep));
}

// The branch is chosen as in the plain variant (largest diagonal combination);
// its four quotients are formed in one vector division.
template <class Isa>
KLQUATERNION* QuaternionRotationMatrix(KLQUATERNION* out, const KLMATRIX* m) {
    float m11 = m->_11, m22 = m->_22, m33 = m->_33;
    float trace = m11 + m22 + m33;
    __m128 num, root;
    if (trace > 0) {
        root = _mm_set1_ps(trace + 1);
        num = _mm_sub_ps(_mm_set_ps(0, m->_12, m->_31, m->_23), _mm_set_ps(0, m->_21, m->_13, m->_32));
    } else if (m11 >= m22 && m11 >= m33) {
        root = _mm_set1_ps(1 + m11 - m22 - m33);
        num = _mm_add_ps(_mm_set_ps(m->_23, m->_13, m->_12, 0), _mm_set_ps(-m->_32, m->_31, m->_21, 0));
    } else if (m22 >= m33) {
        root = _mm_set1_ps(1 + m22 - m11 - m33);
        num = _mm_add_ps(_mm_set_ps(m->_31, m->_23, 0, m->_12), _mm_set_ps(-m->_13, m->_32, 0, m->_21));
    } else {
        root = _mm_set1_ps(1 + m33 - m11 - m22);
        num = _mm_add_ps(_mm_set_ps(m->_12, 0, m->_23, m->_13), _mm_set_ps(-m->_21, 0, m->_32, m->_31));
    }
    // s = 2 sqrt(root); the diagonal lane is s / 4, the others num / s.
    __m128 s = _mm_mul_ps(_mm_set1_ps(2.0f), _mm_sqrt_ps(root));
    __m128 q = _mm_div_ps(num, s);
    __m128 diag = _mm_mul_ps(s, _mm_set1_ps(0.25f));
    __m128 mask;
    if (trace > 0)
        mask = _mm_castsi128_ps(_mm_set_epi32(-1, 0, 0, 0));
    else if (m11 >= m22 && m11 >= m33)
        mask = _mm_castsi128_ps(_mm_set_epi32(0, 0, 0, -1));
    else if (m22 >= m33)
        mask = _mm_castsi128_ps(_mm_set_epi32(0, 0, -1, 0));
    else
        mask = _mm_castsi128_ps(_mm_set_epi32(0, -1, 0, 0));
    return StoreQ(out, _mm_or_ps(_mm_and_ps(mask, diag), _mm_andnot_ps(mask, q)));
}

// Products of the half-angle sines and cosines, the two halves of each
// component gathered in two vectors.
template <class Isa>
KLQUATERNION* QuaternionRotationYawPitchRoll(KLQUATERNION* out, float yaw, float pitch, float roll) {
    float cy = std::cos(yaw * 0.5f), sy = std::sin(yaw * 0.5f);
    float cp = std::cos(pitch * 0.5f), sp = std::sin(pitch * 0.5f);
    float cr = std::cos(roll * 0.5f), sr = std::sin(roll * 0.5f);
    __m128 a = _mm_mul_ps(_mm_mul_ps(_mm_set_ps(cy, cy, sy, cy), _mm_set_ps(cp, cp, cp, sp)),
                          _mm_set_ps(cr, sr, cr, cr));
    __m128 b = _mm_mul_ps(_mm_mul_ps(_mm_set_ps(sy, sy, cy, sy), _mm_set_ps(sp, sp, sp, cp)),
                          _mm_set_ps(sr, cr, sr, sr));
    return StoreQ(out, _mm_add_ps(a, FlipSigns(b, SignMask(false, true, true, false))));
}

using S = SseIsa;
using S2 = Sse2Isa;

}  // namespace

std::span<const SlotEntry> QuaternionSlots(Family family) {
    static const SlotEntry sse[] = {
        Use<kSlotQuaternionMultiply>(&QuaternionMultiply<S>),
        Use<kSlotQuaternionNormalize>(&QuaternionNormalize<S>),
        Use<kSlotQuaternionRotationMatrix>(&QuaternionRotationMatrix<S>),
        Use<kSlotQuaternionRotationYawPitchRoll>(&QuaternionRotationYawPitchRoll<S>),
        Use<kSlotQuaternionInverse>(&QuaternionInverse<S>),
    };
    // SSE2 keeps the plain quaternion inverse.
    static const SlotEntry sse2[] = {
        Use<kSlotQuaternionMultiply>(&QuaternionMultiply<S>),
        Use<kSlotQuaternionNormalize>(&QuaternionNormalize<S>),
        Use<kSlotQuaternionRotationMatrix>(&QuaternionRotationMatrix<S2>),
        Use<kSlotQuaternionRotationYawPitchRoll>(&QuaternionRotationYawPitchRoll<S2>),
    };
    return family == Family::Sse ? std::span<const SlotEntry>(sse) : std::span<const SlotEntry>(sse2);
}

}  // namespace klmath::simd
