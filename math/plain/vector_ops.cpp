// Plain variants: vector transforms, normalisation, 4D cross product, splines.
#include <cmath>

#include "math/plain/extended.h"
#include "math/plain/plain_ops.h"

namespace klmath::plain {
namespace {

// (x, y, z, w) times m, in extended precision.
void TransformRow(ext x, ext y, ext z, ext w, const KLMATRIX* m, ext out[4]) {
    for (int c = 0; c < 4; ++c) out[c] = x * m->m[0][c] + y * m->m[1][c] + z * m->m[2][c] + w * m->m[3][c];
}

template <typename V, int N>
V* NormalizeN(V* out, const V* v) {
    const float* in = reinterpret_cast<const float*>(v);
    ext sum = 0;
    for (int i = 0; i < N; ++i) sum += static_cast<ext>(in[i]) * in[i];
    float L = static_cast<float>(sum);
    float r[N];
    switch (ClassifyLengthSq(L)) {
        case NormCase::Zero:
            for (int i = 0; i < N; ++i) r[i] = 0.0f;
            break;
        case NormCase::Copy:
            if (out != v) *out = *v;
            return out;
        case NormCase::Scale: {
            ext scale = 1.0L / std::sqrt(static_cast<ext>(L));
            for (int i = 0; i < N; ++i) r[i] = static_cast<float>(in[i] * scale);
            break;
        }
    }
    std::memcpy(out, r, sizeof(r));
    return out;
}

// Component-wise spline helpers over N floats.
template <typename V, int N>
V* HermiteN(V* out, const V* v1, const V* t1, const V* v2, const V* t2, float s) {
    ext S = s, s2 = S * S, s3 = s2 * S;
    ext h1 = 2 * s3 - 3 * s2 + 1, h2 = s3 - 2 * s2 + S, h3 = -2 * s3 + 3 * s2, h4 = s3 - s2;
    const float *a = &v1->x, *b = &t1->x, *c = &v2->x, *d = &t2->x;
    float r[N];
    for (int i = 0; i < N; ++i) r[i] = static_cast<float>(h1 * a[i] + h2 * b[i] + h3 * c[i] + h4 * d[i]);
    std::memcpy(out, r, sizeof(r));
    return out;
}

template <typename V, int N>
V* CatmullRomN(V* out, const V* v0, const V* v1, const V* v2, const V* v3, float s) {
    ext S = s, s2 = S * S, s3 = s2 * S;
    const float *p0 = &v0->x, *p1 = &v1->x, *p2 = &v2->x, *p3 = &v3->x;
    float r[N];
    for (int i = 0; i < N; ++i) {
        ext a = p0[i], b = p1[i], c = p2[i], d = p3[i];
        r[i] = static_cast<float>(0.5L * (2 * b + (c - a) * S + (2 * a - 5 * b + 4 * c - d) * s2 +
                                          (3 * b - a - 3 * c + d) * s3));
    }
    std::memcpy(out, r, sizeof(r));
    return out;
}

template <typename V, int N>
V* BaryCentricN(V* out, const V* v1, const V* v2, const V* v3, float f, float g) {
    const float *a = &v1->x, *b = &v2->x, *c = &v3->x;
    float r[N];
    for (int i = 0; i < N; ++i)
        r[i] = static_cast<float>(a[i] + static_cast<ext>(f) * (static_cast<ext>(b[i]) - a[i]) +
                                  static_cast<ext>(g) * (static_cast<ext>(c[i]) - a[i]));
    std::memcpy(out, r, sizeof(r));
    return out;
}

}  // namespace

KLVECTOR4* Vec2Transform(KLVECTOR4* out, const KLVECTOR2* v, const KLMATRIX* m) {
    ext r[4];
    TransformRow(v->x, v->y, 0, 1, m, r);
    *out = {float(r[0]), float(r[1]), float(r[2]), float(r[3])};
    return out;
}

KLVECTOR4* Vec3Transform(KLVECTOR4* out, const KLVECTOR3* v, const KLMATRIX* m) {
    ext r[4];
    TransformRow(v->x, v->y, v->z, 1, m, r);
    *out = {float(r[0]), float(r[1]), float(r[2]), float(r[3])};
    return out;
}

KLVECTOR4* Vec4Transform(KLVECTOR4* out, const KLVECTOR4* v, const KLMATRIX* m) {
    ext r[4];
    TransformRow(v->x, v->y, v->z, v->w, m, r);
    *out = {float(r[0]), float(r[1]), float(r[2]), float(r[3])};
    return out;
}

KLVECTOR2* Vec2TransformNormal(KLVECTOR2* out, const KLVECTOR2* v, const KLMATRIX* m) {
    ext r[4];
    TransformRow(v->x, v->y, 0, 0, m, r);
    *out = {float(r[0]), float(r[1])};
    return out;
}

KLVECTOR3* Vec3TransformNormal(KLVECTOR3* out, const KLVECTOR3* v, const KLMATRIX* m) {
    ext r[4];
    TransformRow(v->x, v->y, v->z, 0, m, r);
    *out = {float(r[0]), float(r[1]), float(r[2])};
    return out;
}

KLVECTOR2* Vec2TransformCoord(KLVECTOR2* out, const KLVECTOR2* v, const KLMATRIX* m) {
    ext r[4];
    TransformRow(v->x, v->y, 0, 1, m, r);
    *out = {float(r[0] / r[3]), float(r[1] / r[3])};
    return out;
}

KLVECTOR3* Vec3TransformCoord(KLVECTOR3* out, const KLVECTOR3* v, const KLMATRIX* m) {
    ext r[4];
    TransformRow(v->x, v->y, v->z, 1, m, r);
    *out = {float(r[0] / r[3]), float(r[1] / r[3]), float(r[2] / r[3])};
    return out;
}

KLVECTOR3* Vec3Normalize(KLVECTOR3* out, const KLVECTOR3* v) { return NormalizeN<KLVECTOR3, 3>(out, v); }
KLVECTOR4* Vec4Normalize(KLVECTOR4* out, const KLVECTOR4* v) { return NormalizeN<KLVECTOR4, 4>(out, v); }
KLVECTOR2* Vec2Normalize(KLVECTOR2* out, const KLVECTOR2* v) { return NormalizeN<KLVECTOR2, 2>(out, v); }

KLVECTOR4* Vec4Cross(KLVECTOR4* out, const KLVECTOR4* a, const KLVECTOR4* b, const KLVECTOR4* c) {
    // Cofactors of the 2 x 2 minors of b and c, then expansion along a.
    ext bx = b->x, by = b->y, bz = b->z, bw = b->w, cx = c->x, cy = c->y, cz = c->z, cw = c->w;
    ext xy = bx * cy - by * cx, xz = bx * cz - bz * cx, xw = bx * cw - bw * cx;
    ext yz = by * cz - bz * cy, yw = by * cw - bw * cy, zw = bz * cw - bw * cz;
    ext ax = a->x, ay = a->y, az = a->z, aw = a->w;
    *out = {float(ay * zw - az * yw + aw * yz), float(-ax * zw + az * xw - aw * xz),
            float(ax * yw - ay * xw + aw * xy), float(-ax * yz + ay * xz - az * xy)};
    return out;
}

KLVECTOR2* Vec2Hermite(KLVECTOR2* out, const KLVECTOR2* v1, const KLVECTOR2* t1, const KLVECTOR2* v2,
                       const KLVECTOR2* t2, float s) {
    return HermiteN<KLVECTOR2, 2>(out, v1, t1, v2, t2, s);
}
KLVECTOR3* Vec3Hermite(KLVECTOR3* out, const KLVECTOR3* v1, const KLVECTOR3* t1, const KLVECTOR3* v2,
                       const KLVECTOR3* t2, float s) {
    return HermiteN<KLVECTOR3, 3>(out, v1, t1, v2, t2, s);
}
KLVECTOR4* Vec4Hermite(KLVECTOR4* out, const KLVECTOR4* v1, const KLVECTOR4* t1, const KLVECTOR4* v2,
                       const KLVECTOR4* t2, float s) {
    return HermiteN<KLVECTOR4, 4>(out, v1, t1, v2, t2, s);
}
KLVECTOR2* Vec2CatmullRom(KLVECTOR2* out, const KLVECTOR2* v0, const KLVECTOR2* v1, const KLVECTOR2* v2,
                          const KLVECTOR2* v3, float s) {
    return CatmullRomN<KLVECTOR2, 2>(out, v0, v1, v2, v3, s);
}
KLVECTOR3* Vec3CatmullRom(KLVECTOR3* out, const KLVECTOR3* v0, const KLVECTOR3* v1, const KLVECTOR3* v2,
                          const KLVECTOR3* v3, float s) {
    return CatmullRomN<KLVECTOR3, 3>(out, v0, v1, v2, v3, s);
}
KLVECTOR4* Vec4CatmullRom(KLVECTOR4* out, const KLVECTOR4* v0, const KLVECTOR4* v1, const KLVECTOR4* v2,
                          const KLVECTOR4* v3, float s) {
    return CatmullRomN<KLVECTOR4, 4>(out, v0, v1, v2, v3, s);
}
KLVECTOR2* Vec2BaryCentric(KLVECTOR2* out, const KLVECTOR2* v1, const KLVECTOR2* v2, const KLVECTOR2* v3, float f,
                           float g) {
    return BaryCentricN<KLVECTOR2, 2>(out, v1, v2, v3, f, g);
}
KLVECTOR3* Vec3BaryCentric(KLVECTOR3* out, const KLVECTOR3* v1, const KLVECTOR3* v2, const KLVECTOR3* v3, float f,
                           float g) {
    return BaryCentricN<KLVECTOR3, 3>(out, v1, v2, v3, f, g);
}
KLVECTOR4* Vec4BaryCentric(KLVECTOR4* out, const KLVECTOR4* v1, const KLVECTOR4* v2, const KLVECTOR4* v3, float f,
                           float g) {
    return BaryCentricN<KLVECTOR4, 4>(out, v1, v2, v3, f, g);
}

}  // namespace klmath::plain
