// Plain variants: projection to the screen and back, and the array forms.
#include "math/plain/extended.h"
#include "math/plain/plain_ops.h"

namespace klmath::plain {
namespace {

// world * view * projection, absent matrices counting as identity.
KLMATRIX Combined(const KLMATRIX* projection, const KLMATRIX* view, const KLMATRIX* world) {
    KLMATRIX m;
    KLMatrixIdentity(&m);
    if (world) m = *world;
    if (view) m = MultiplyExt(m, *view);
    if (projection) m = MultiplyExt(m, *projection);
    return m;
}

KLVECTOR3 ToScreen(KLVECTOR3 clip, const KLVIEWPORT9* vp) {
    if (!vp) return clip;
    ext w = vp->Width, h = vp->Height;
    return {float(vp->X + (1 + ext(clip.x)) * w * 0.5L), float(vp->Y + (1 - ext(clip.y)) * h * 0.5L),
            float(vp->MinZ + ext(clip.z) * (ext(vp->MaxZ) - vp->MinZ))};
}

KLVECTOR3 FromScreen(KLVECTOR3 s, const KLVIEWPORT9* vp) {
    if (!vp) return s;
    return {float(2 * (ext(s.x) - vp->X) / vp->Width - 1), float(1 - 2 * (ext(s.y) - vp->Y) / vp->Height),
            float((ext(s.z) - vp->MinZ) / (ext(vp->MaxZ) - vp->MinZ))};
}

template <typename Out, typename In, typename Op>
Out* ForEach(Out* out, UINT outStride, const In* v, UINT vStride, UINT n, Op op) {
    for (UINT i = 0; i < n; ++i) {
        In in = LoadAt<In>(v, vStride, i);
        Out r;
        op(&r, &in);
        StoreAt(out, outStride, i, r);
    }
    return out;
}

}  // namespace

KLVECTOR3* Vec3Project(KLVECTOR3* out, const KLVECTOR3* v, const KLVIEWPORT9* viewport, const KLMATRIX* projection,
                       const KLMATRIX* view, const KLMATRIX* world) {
    KLMATRIX m = Combined(projection, view, world);
    KLVECTOR3 clip;
    Vec3TransformCoord(&clip, v, &m);
    *out = ToScreen(clip, viewport);
    return out;
}

KLVECTOR3* Vec3Unproject(KLVECTOR3* out, const KLVECTOR3* v, const KLVIEWPORT9* viewport,
                         const KLMATRIX* projection, const KLMATRIX* view, const KLMATRIX* world) {
    KLMATRIX m = Combined(projection, view, world);
    if (!MatrixInverse(&m, nullptr, &m)) return nullptr;
    KLVECTOR3 clip = FromScreen(*v, viewport);
    return Vec3TransformCoord(out, &clip, &m);
}

KLVECTOR4* Vec2TransformArray(KLVECTOR4* out, UINT outStride, const KLVECTOR2* v, UINT vStride, const KLMATRIX* m,
                              UINT n) {
    return ForEach(out, outStride, v, vStride, n, [m](KLVECTOR4* o, const KLVECTOR2* i) { Vec2Transform(o, i, m); });
}
KLVECTOR2* Vec2TransformCoordArray(KLVECTOR2* out, UINT outStride, const KLVECTOR2* v, UINT vStride,
                                   const KLMATRIX* m, UINT n) {
    return ForEach(out, outStride, v, vStride, n,
                   [m](KLVECTOR2* o, const KLVECTOR2* i) { Vec2TransformCoord(o, i, m); });
}
KLVECTOR2* Vec2TransformNormalArray(KLVECTOR2* out, UINT outStride, const KLVECTOR2* v, UINT vStride,
                                    const KLMATRIX* m, UINT n) {
    return ForEach(out, outStride, v, vStride, n,
                   [m](KLVECTOR2* o, const KLVECTOR2* i) { Vec2TransformNormal(o, i, m); });
}
KLVECTOR4* Vec3TransformArray(KLVECTOR4* out, UINT outStride, const KLVECTOR3* v, UINT vStride, const KLMATRIX* m,
                              UINT n) {
    return ForEach(out, outStride, v, vStride, n, [m](KLVECTOR4* o, const KLVECTOR3* i) { Vec3Transform(o, i, m); });
}
KLVECTOR3* Vec3TransformCoordArray(KLVECTOR3* out, UINT outStride, const KLVECTOR3* v, UINT vStride,
                                   const KLMATRIX* m, UINT n) {
    return ForEach(out, outStride, v, vStride, n,
                   [m](KLVECTOR3* o, const KLVECTOR3* i) { Vec3TransformCoord(o, i, m); });
}
KLVECTOR3* Vec3TransformNormalArray(KLVECTOR3* out, UINT outStride, const KLVECTOR3* v, UINT vStride,
                                    const KLMATRIX* m, UINT n) {
    return ForEach(out, outStride, v, vStride, n,
                   [m](KLVECTOR3* o, const KLVECTOR3* i) { Vec3TransformNormal(o, i, m); });
}
KLVECTOR4* Vec4TransformArray(KLVECTOR4* out, UINT outStride, const KLVECTOR4* v, UINT vStride, const KLMATRIX* m,
                              UINT n) {
    return ForEach(out, outStride, v, vStride, n, [m](KLVECTOR4* o, const KLVECTOR4* i) { Vec4Transform(o, i, m); });
}
KLPLANE* PlaneTransformArray(KLPLANE* out, UINT outStride, const KLPLANE* v, UINT vStride, const KLMATRIX* m,
                             UINT n) {
    return ForEach(out, outStride, v, vStride, n, [m](KLPLANE* o, const KLPLANE* i) { PlaneTransform(o, i, m); });
}

KLVECTOR3* Vec3ProjectArray(KLVECTOR3* out, UINT outStride, const KLVECTOR3* v, UINT vStride,
                            const KLVIEWPORT9* viewport, const KLMATRIX* projection, const KLMATRIX* view,
                            const KLMATRIX* world, UINT n) {
    KLMATRIX m = Combined(projection, view, world);
    return ForEach(out, outStride, v, vStride, n, [&](KLVECTOR3* o, const KLVECTOR3* i) {
        KLVECTOR3 clip;
        Vec3TransformCoord(&clip, i, &m);
        *o = ToScreen(clip, viewport);
    });
}

KLVECTOR3* Vec3UnprojectArray(KLVECTOR3* out, UINT outStride, const KLVECTOR3* v, UINT vStride,
                              const KLVIEWPORT9* viewport, const KLMATRIX* projection, const KLMATRIX* view,
                              const KLMATRIX* world, UINT n) {
    KLMATRIX m = Combined(projection, view, world);
    if (!MatrixInverse(&m, nullptr, &m)) return nullptr;
    return ForEach(out, outStride, v, vStride, n, [&](KLVECTOR3* o, const KLVECTOR3* i) {
        KLVECTOR3 clip = FromScreen(*i, viewport);
        Vec3TransformCoord(o, &clip, &m);
    });
}

}  // namespace klmath::plain
