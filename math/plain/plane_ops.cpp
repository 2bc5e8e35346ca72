// Plain variants: planes from points, normalisation, intersection, transform.
#include <cmath>

#include "math/plain/extended.h"
#include "math/plain/plain_ops.h"

namespace klmath::plain {

KLPLANE* PlaneFromPointNormal(KLPLANE* out, const KLVECTOR3* point, const KLVECTOR3* normal) {
    ext d = -Dot3(point->x, point->y, point->z, normal->x, normal->y, normal->z);
    *out = {normal->x, normal->y, normal->z, float(d)};
    return out;
}

KLPLANE* PlaneFromPoints(KLPLANE* out, const KLVECTOR3* v1, const KLVECTOR3* v2, const KLVECTOR3* v3) {
    ext ax = ext(v2->x) - v1->x, ay = ext(v2->y) - v1->y, az = ext(v2->z) - v1->z;
    ext bx = ext(v3->x) - v1->x, by = ext(v3->y) - v1->y, bz = ext(v3->z) - v1->z;
    KLVECTOR3 cross = {float(ay * bz - az * by), float(az * bx - ax * bz), float(ax * by - ay * bx)};
    KLVECTOR3 n;
    KLVec3Normalize(&n, &cross);
    return PlaneFromPointNormal(out, v1, &n);
}

KLPLANE* PlaneNormalize(KLPLANE* out, const KLPLANE* p) {
    ext L = Dot3(p->a, p->b, p->c, p->a, p->b, p->c);
    if (!(L > 0)) {
        *out = {0, 0, 0, 0};
        return out;
    }
    ext k = 1 / std::sqrt(L);
    *out = {float(p->a * k), float(p->b * k), float(p->c * k), float(p->d * k)};
    return out;
}

KLVECTOR3* PlaneIntersectLine(KLVECTOR3* out, const KLPLANE* p, const KLVECTOR3* v1, const KLVECTOR3* v2) {
    ext dx = ext(v2->x) - v1->x, dy = ext(v2->y) - v1->y, dz = ext(v2->z) - v1->z;
    ext denom = Dot3(p->a, p->b, p->c, dx, dy, dz);
    if (denom == 0) return nullptr;
    ext t = -(Dot3(p->a, p->b, p->c, v1->x, v1->y, v1->z) + p->d) / denom;
    *out = {float(v1->x + t * dx), float(v1->y + t * dy), float(v1->z + t * dz)};
    return out;
}

KLPLANE* PlaneTransform(KLPLANE* out, const KLPLANE* p, const KLMATRIX* m) {
    ext a = p->a, b = p->b, c = p->c, d = p->d;
    float r[4];
    for (int i = 0; i < 4; ++i) r[i] = float(a * m->m[0][i] + b * m->m[1][i] + c * m->m[2][i] + d * m->m[3][i]);
    *out = {r[0], r[1], r[2], r[3]};
    return out;
}

}  // namespace klmath::plain
