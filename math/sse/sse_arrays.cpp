// SSE and SSE2 variants: the array transforms and vertex blending. The matrix
// stays in registers for the whole array; elements are read and written
// unaligned at their byte strides.
#include "math/blend_args.h"
#include "math/sse/sse_core.h"
#include "math/sse/sse_slots.h"

namespace klmath::simd {
namespace {

inline const BYTE* At(const void* base, UINT stride, UINT i) {
    return static_cast<const BYTE*>(base) + static_cast<size_t>(stride) * i;
}
inline BYTE* At(void* base, UINT stride, UINT i) { return static_cast<BYTE*>(base) + static_cast<size_t>(stride) * i; }

// Loads one element of N floats at p; stores N floats.
template <class Isa, int N>
inline __m128 LoadN(const BYTE* p) {
    if constexpr (N == 2) return Isa::Load2(p);
    if constexpr (N == 3) return Isa::Load3(p);
    if constexpr (N == 4) return _mm_loadu_ps(reinterpret_cast<const float*>(p));
}
template <class Isa, int N>
inline void StoreN(BYTE* p, __m128 v) {
    if constexpr (N == 2) Isa::Store2(p, v);
    if constexpr (N == 3) Isa::Store3(p, v);
    if constexpr (N == 4) _mm_storeu_ps(reinterpret_cast<float*>(p), v);
}

enum class Kind { Point, Coord, Normal, Full };

// One loop for every array transform: In and Out are the element widths.
template <class Isa, int In, int Out, Kind K, class T>
T* TransformArray(T* out, UINT outStride, const void* v, UINT vStride, const KLMATRIX* pm, UINT n) {
    Rows m(pm);
    for (UINT i = 0; i < n; ++i) {
        __m128 x = LoadN<Isa, In>(At(v, vStride, i));
        __m128 r;
        if constexpr (K == Kind::Full) {
            r = Transform4<Isa>(x, m);
        } else if constexpr (K == Kind::Normal) {
            r = In == 2 ? TransformNormal2<Isa>(x, m) : TransformNormal3<Isa>(x, m);
        } else {
            r = In == 2 ? TransformPoint2<Isa>(x, m) : TransformPoint3<Isa>(x, m);
            if constexpr (K == Kind::Coord) r = Project<Isa>(r);
        }
        StoreN<Isa, Out>(At(out, outStride, i), r);
    }
    return out;
}

template <class Isa>
KLVECTOR4* Vec2TransformArray(KLVECTOR4* out, UINT os, const KLVECTOR2* v, UINT vs, const KLMATRIX* m, UINT n) {
    return TransformArray<Isa, 2, 4, Kind::Point>(out, os, v, vs, m, n);
}
template <class Isa>
KLVECTOR2* Vec2TransformCoordArray(KLVECTOR2* out, UINT os, const KLVECTOR2* v, UINT vs, const KLMATRIX* m,
                                   UINT n) {
    return TransformArray<Isa, 2, 2, Kind::Coord>(out, os, v, vs, m, n);
}
template <class Isa>
KLVECTOR2* Vec2TransformNormalArray(KLVECTOR2* out, UINT os, const KLVECTOR2* v, UINT vs, const KLMATRIX* m,
                                    UINT n) {
    return TransformArray<Isa, 2, 2, Kind::Normal>(out, os, v, vs, m, n);
}
template <class Isa>
KLVECTOR4* Vec3TransformArray(KLVECTOR4* out, UINT os, const KLVECTOR3* v, UINT vs, const KLMATRIX* m, UINT n) {
    return TransformArray<Isa, 3, 4, Kind::Point>(out, os, v, vs, m, n);
}
template <class Isa>
KLVECTOR3* Vec3TransformCoordArray(KLVECTOR3* out, UINT os, const KLVECTOR3* v, UINT vs, const KLMATRIX* m,
                                   UINT n) {
    return TransformArray<Isa, 3, 3, Kind::Coord>(out, os, v, vs, m, n);
}
template <class Isa>
KLVECTOR3* Vec3TransformNormalArray(KLVECTOR3* out, UINT os, const KLVECTOR3* v, UINT vs, const KLMATRIX* m,
                                    UINT n) {
    return TransformArray<Isa, 3, 3, Kind::Normal>(out, os, v, vs, m, n);
}
template <class Isa>
KLVECTOR4* Vec4TransformArray(KLVECTOR4* out, UINT os, const KLVECTOR4* v, UINT vs, const KLMATRIX* m, UINT n) {
    return TransformArray<Isa, 4, 4, Kind::Full>(out, os, v, vs, m, n);
}
template <class Isa>
KLPLANE* PlaneTransformArray(KLPLANE* out, UINT os, const KLPLANE* v, UINT vs, const KLMATRIX* m, UINT n) {
    return TransformArray<Isa, 4, 4, Kind::Full>(out, os, v, vs, m, n);
}

// Blends the point through weightsPerVertex + 1 palette matrices.
template <class Isa>
KLVECTOR3* Vec3BlendArray(KLVECTOR3* out, UINT outStride, const KLVECTOR3* v, UINT vStride, const float* weights,
                          UINT weightStride, UINT weightsPerVertex, const BYTE* indices, UINT indexStride,
                          const KLMATRIX* palette, UINT paletteSize, UINT n) {
    if (!BlendArgumentsValid(out, v, weights, weightsPerVertex, indices, indexStride, palette, paletteSize, n))
        return nullptr;
    for (UINT i = 0; i < n; ++i) {
        __m128 p = Isa::Load3(At(v, vStride, i));
        __m128 px = Splat<Isa, 0>(p), py = Splat<Isa, 1>(p), pz = Splat<Isa, 2>(p);
        const BYTE* w = weightsPerVertex ? reinterpret_cast<const BYTE*>(weights) + static_cast<size_t>(weightStride) * i
                                         : nullptr;
        __m128 rest = _mm_set1_ps(1.0f);
        __m128 sum = _mm_setzero_ps();
        for (UINT j = 0; j <= weightsPerVertex; ++j) {
            __m128 wj;
            if (j < weightsPerVertex) {
                float weight;
                std::memcpy(&weight, w + 4 * j, 4);
                wj = _mm_set1_ps(weight);
                rest = _mm_sub_ps(rest, wj);
            } else {
                wj = rest;
            }
            const KLMATRIX* m = &palette[indices ? indices[static_cast<size_t>(i) * indexStride + j] : j];
            __m128 t = _mm_add_ps(_mm_mul_ps(px, _mm_loadu_ps(m->m[0])), _mm_mul_ps(py, _mm_loadu_ps(m->m[1])));
            t = _mm_add_ps(_mm_add_ps(t, _mm_mul_ps(pz, _mm_loadu_ps(m->m[2]))), _mm_loadu_ps(m->m[3]));
            sum = _mm_add_ps(sum, _mm_mul_ps(wj, t));
        }
        Isa::Store3(At(out, outStride, i), sum);
    }
    return out;
}

using S = SseIsa;
using S2 = Sse2Isa;

}  // namespace

std::span<const SlotEntry> ArraySlots(Family family) {
    static const SlotEntry sse[] = {
        Use<kSlotVec2TransformArray>(&Vec2TransformArray<S>),
        Use<kSlotVec2TransformCoordArray>(&Vec2TransformCoordArray<S>),
        Use<kSlotVec2TransformNormalArray>(&Vec2TransformNormalArray<S>),
        Use<kSlotVec3TransformArray>(&Vec3TransformArray<S>),
        Use<kSlotVec3TransformCoordArray>(&Vec3TransformCoordArray<S>),
        Use<kSlotVec3TransformNormalArray>(&Vec3TransformNormalArray<S>),
        Use<kSlotVec4TransformArray>(&Vec4TransformArray<S>),
        Use<kSlotPlaneTransformArray>(&PlaneTransformArray<S>),
        Use<kSlotVec3BlendArray>(&Vec3BlendArray<S>),
    };
    static const SlotEntry sse2[] = {
        Use<kSlotVec2TransformArray>(&Vec2TransformArray<S2>),
        Use<kSlotVec2TransformCoordArray>(&Vec2TransformCoordArray<S2>),
        Use<kSlotVec2TransformNormalArray>(&Vec2TransformNormalArray<S2>),
        Use<kSlotVec3TransformArray>(&Vec3TransformArray<S2>),
        Use<kSlotVec3TransformCoordArray>(&Vec3TransformCoordArray<S2>),
        Use<kSlotVec3TransformNormalArray>(&Vec3TransformNormalArray<S2>),
        Use<kSlotVec4TransformArray>(&Vec4TransformArray<S2>),
        Use<kSlotPlaneTransformArray>(&PlaneTransformArray<S2>),
        Use<kSlotVec3BlendArray>(&Vec3BlendArray<S>),
    };
    return family == Family::Sse ? std::span<const SlotEntry>(sse) : std::span<const SlotEntry>(sse2);
}

}  // namespace klmath::simd
