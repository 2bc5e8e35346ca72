// Building blocks of the SSE and SSE2 variants. Each variant is a template over
// an instruction policy: SseIsa uses only SSE instructions (shufps, movlps,
// movss), Sse2Isa moves and swizzles through the integer unit (pshufd, movq,
// movd), which needs no copy of the source register and keeps float loads off
// the shuffle port. Both compute in single precision in the same order.
#pragma once

#include <emmintrin.h>
#include <xmmintrin.h>

#include <cstring>

#include "math/klmath.h"

namespace klmath::simd {

struct SseIsa {
    template <int a, int b, int c, int d>
    static __m128 Shuffle(__m128 v) {
        return _mm_shuffle_ps(v, v, _MM_SHUFFLE(d, c, b, a));
    }
    static __m128 Load2(const void* p) {
        return _mm_loadl_pi(_mm_setzero_ps(), static_cast<const __m64*>(p));
    }
    static __m128 Load3(const void* p) {
        float z;
        std::memcpy(&z, static_cast<const BYTE*>(p) + 8, 4);
        return _mm_movelh_ps(Load2(p), _mm_set_ss(z));
    }
    static void Store2(void* p, __m128 v) { _mm_storel_pi(static_cast<__m64*>(p), v); }
    static void Store3(void* p, __m128 v) {
        Store2(p, v);
        float z = _mm_cvtss_f32(_mm_movehl_ps(v, v));
        std::memcpy(static_cast<BYTE*>(p) + 8, &z, 4);
    }
};

struct Sse2Isa {
    template <int a, int b, int c, int d>
    static __m128 Shuffle(__m128 v) {
        return _mm_castsi128_ps(_mm_shuffle_epi32(_mm_castps_si128(v), _MM_SHUFFLE(d, c, b, a)));
    }
    static __m128 Load2(const void* p) { return _mm_castsi128_ps(_mm_loadl_epi64(static_cast<const __m128i*>(p))); }
    static __m128 Load3(const void* p) {
        int z;
        std::memcpy(&z, static_cast<const BYTE*>(p) + 8, 4);
        __m128i xy = _mm_loadl_epi64(static_cast<const __m128i*>(p));
        return _mm_castsi128_ps(_mm_unpacklo_epi64(xy, _mm_cvtsi32_si128(z)));
    }
    static void Store2(void* p, __m128 v) { _mm_storel_epi64(static_cast<__m128i*>(p), _mm_castps_si128(v)); }
    static void Store3(void* p, __m128 v) {
        Store2(p, v);
        int z = _mm_cvtsi128_si32(_mm_shuffle_epi32(_mm_castps_si128(v), _MM_SHUFFLE(2, 2, 2, 2)));
        std::memcpy(static_cast<BYTE*>(p) + 8, &z, 4);
    }
};

template <class Isa, int i>
inline __m128 Splat(__m128 v) {
    return Isa::template Shuffle<i, i, i, i>(v);
}

// Loads and stores by element type; the unused lanes of a load are 0.
template <class Isa>
inline __m128 Load(const KLVECTOR2* v) {
    return Isa::Load2(v);
}
template <class Isa>
inline __m128 Load(const KLVECTOR3* v) {
    return Isa::Load3(v);
}
template <class Isa>
inline __m128 Load(const KLVECTOR4* v) {
    return _mm_loadu_ps(&v->x);
}
template <class Isa>
inline void Store(KLVECTOR2* out, __m128 v) {
    Isa::Store2(out, v);
}
template <class Isa>
inline void Store(KLVECTOR3* out, __m128 v) {
    Isa::Store3(out, v);
}
template <class Isa>
inline void Store(KLVECTOR4* out, __m128 v) {
    _mm_storeu_ps(&out->x, v);
}

// The four rows of a matrix.
struct Rows {
    __m128 r0, r1, r2, r3;
    explicit Rows(const KLMATRIX* m)
        : r0(_mm_loadu_ps(m->m[0])), r1(_mm_loadu_ps(m->m[1])), r2(_mm_loadu_ps(m->m[2])),
          r3(_mm_loadu_ps(m->m[3])) {}
    void StoreTo(KLMATRIX* out) const {
        _mm_storeu_ps(out->m[0], r0);
        _mm_storeu_ps(out->m[1], r1);
        _mm_storeu_ps(out->m[2], r2);
        _mm_storeu_ps(out->m[3], r3);
    }
};

// Row vector v times the matrix, with the given number of live components of
// v and, for points, an implied w of 1 (the fourth row added).
template <class Isa>
inline __m128 Transform4(__m128 v, const Rows& m) {
    __m128 r = _mm_mul_ps(Splat<Isa, 0>(v), m.r0);
    r = _mm_add_ps(r, _mm_mul_ps(Splat<Isa, 1>(v), m.r1));
    r = _mm_add_ps(r, _mm_mul_ps(Splat<Isa, 2>(v), m.r2));
    return _mm_add_ps(r, _mm_mul_ps(Splat<Isa, 3>(v), m.r3));
}
template <class Isa>
inline __m128 TransformPoint3(__m128 v, const Rows& m) {
    __m128 r = _mm_add_ps(_mm_mul_ps(Splat<Isa, 0>(v), m.r0), _mm_mul_ps(Splat<Isa, 1>(v), m.r1));
    return _mm_add_ps(_mm_add_ps(r, _mm_mul_ps(Splat<Isa, 2>(v), m.r2)), m.r3);
}
template <class Isa>
inline __m128 TransformNormal3(__m128 v, const Rows& m) {
    __m128 r = _mm_add_ps(_mm_mul_ps(Splat<Isa, 0>(v), m.r0), _mm_mul_ps(Splat<Isa, 1>(v), m.r1));
    return _mm_add_ps(r, _mm_mul_ps(Splat<Isa, 2>(v), m.r2));
}
template <class Isa>
inline __m128 TransformPoint2(__m128 v, const Rows& m) {
    __m128 r = _mm_add_ps(_mm_mul_ps(Splat<Isa, 0>(v), m.r0), _mm_mul_ps(Splat<Isa, 1>(v), m.r1));
    return _mm_add_ps(r, m.r3);
}
template <class Isa>
inline __m128 TransformNormal2(__m128 v, const Rows& m) {
    return _mm_add_ps(_mm_mul_ps(Splat<Isa, 0>(v), m.r0), _mm_mul_ps(Splat<Isa, 1>(v), m.r1));
}
// A point divided by its w.
template <class Isa>
inline __m128 Project(__m128 r) {
    return _mm_div_ps(r, Splat<Isa, 3>(r));
}

// Sum of all four lanes, in every lane.
template <class Isa>
inline __m128 HorizontalSum(__m128 v) {
    __m128 t = _mm_add_ps(v, Isa::template Shuffle<2, 3, 0, 1>(v));
    return _mm_add_ps(t, Isa::template Shuffle<1, 0, 3, 2>(t));
}

// Lane-wise sign flips: a lane whose mask is -0.0 is negated.
inline __m128 FlipSigns(__m128 v, __m128 mask) { return _mm_xor_ps(v, mask); }
inline __m128 SignMask(bool x, bool y, bool z, bool w) {
    return _mm_set_ps(w ? -0.0f : 0.0f, z ? -0.0f : 0.0f, y ? -0.0f : 0.0f, x ? -0.0f : 0.0f);
}

// Normalisation by the reciprocal square root estimate and one Newton step:
// 0.5 r0 (3 - L r0 r0). Squared lengths below 2^-46 give the zero vector.
inline __m128 NormalizeBy(__m128 v, __m128 lengthSq) {
    __m128 r0 = _mm_rsqrt_ps(lengthSq);
    __m128 nr = _mm_mul_ps(_mm_mul_ps(_mm_set1_ps(0.5f), r0),
                           _mm_sub_ps(_mm_set1_ps(3.0f), _mm_mul_ps(_mm_mul_ps(lengthSq, r0), r0)));
    __m128 keep = _mm_cmpge_ps(lengthSq, _mm_set1_ps(0x1p-46f));
    return _mm_and_ps(_mm_mul_ps(v, nr), keep);
}

// Squared length of the first three lanes, (x^2 + y^2) + z^2, in every lane.
template <class Isa>
inline __m128 LengthSq3(__m128 v) {
    __m128 sq = _mm_mul_ps(v, v);
    __m128 xy = _mm_add_ps(Splat<Isa, 0>(sq), Splat<Isa, 1>(sq));
    return _mm_add_ps(xy, Splat<Isa, 2>(sq));
}

}  // namespace klmath::simd
