#include "math/x86/x86_ops.h"

#include <cstring>

namespace klmath::x86 {
namespace {

// Row vector (x, y, z, w) times m in single precision.
inline void Row(float x, float y, float z, float w, const KLMATRIX* m, float r[4]) {
    for (int c = 0; c < 4; ++c) r[c] = x * m->m[0][c] + y * m->m[1][c] + z * m->m[2][c] + w * m->m[3][c];
}

KLMATRIX Product(const KLMATRIX* a, const KLMATRIX* b) {
    KLMATRIX r;
    for (int i = 0; i < 4; ++i) Row(a->m[i][0], a->m[i][1], a->m[i][2], a->m[i][3], b, r.m[i]);
    return r;
}

}  // namespace

KLVECTOR4* Vec2Transform(KLVECTOR4* out, const KLVECTOR2* v, const KLMATRIX* m) {
    float r[4];
    Row(v->x, v->y, 0.0f, 1.0f, m, r);
    std::memcpy(out, r, sizeof(r));
    return out;
}

KLVECTOR4* Vec3Transform(KLVECTOR4* out, const KLVECTOR3* v, const KLMATRIX* m) {
    float r[4];
    Row(v->x, v->y, v->z, 1.0f, m, r);
    std::memcpy(out, r, sizeof(r));
    return out;
}

KLVECTOR4* Vec4Transform(KLVECTOR4* out, const KLVECTOR4* v, const KLMATRIX* m) {
    float r[4];
    Row(v->x, v->y, v->z, v->w, m, r);
    std::memcpy(out, r, sizeof(r));
    return out;
}

KLPLANE* PlaneTransform(KLPLANE* out, const KLPLANE* p, const KLMATRIX* m) {
    float r[4];
    Row(p->a, p->b, p->c, p->d, m, r);
    std::memcpy(out, r, sizeof(r));
    return out;
}

KLMATRIX* MatrixMultiply(KLMATRIX* out, const KLMATRIX* a, const KLMATRIX* b) {
    *out = Product(a, b);
    return out;
}

KLMATRIX* MatrixMultiplyTranspose(KLMATRIX* out, const KLMATRIX* a, const KLMATRIX* b) {
    KLMATRIX p = Product(a, b);
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) out->m[i][j] = p.m[j][i];
    return out;
}

KLVECTOR2* Vec2TransformNormal(KLVECTOR2* out, const KLVECTOR2* v, const KLMATRIX* m) {
    float r[4];
    Row(v->x, v->y, 0.0f, 0.0f, m, r);
    *out = {r[0], r[1]};
    return out;
}

KLVECTOR3* Vec3TransformNormal(KLVECTOR3* out, const KLVECTOR3* v, const KLMATRIX* m) {
    float r[4];
    Row(v->x, v->y, v->z, 0.0f, m, r);
    *out = {r[0], r[1], r[2]};
    return out;
}

KLVECTOR3* Vec3Normalize(KLVECTOR3* out, const KLVECTOR3* v) {
    float L = (v->x * v->x + v->y * v->y) + v->z * v->z;
    if (L == 0.0f) {
        *out = {0.0f, 0.0f, 0.0f};
        return out;
    }
    float d = L - 1.0f;
    if (d <= 1e-5f && d >= -1e-5f) {
        if (out != v) *out = *v;
        return out;
    }
    float k = TableRsqrt(L);
    *out = {v->x * k, v->y * k, v->z * k};
    return out;
}

}  // namespace klmath::x86
