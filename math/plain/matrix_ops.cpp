// Plain variants: matrix products, determinant, inverse and the matrix builders.
#include <cmath>

#include "math/plain/extended.h"
#include "math/plain/plain_ops.h"

namespace klmath::plain {
namespace {

// The 2 x 2 minors of the lower two rows and the resulting cofactor sums; the
// determinant and the inverse share them.
struct Cofactors {
    ext c[4][4];  // c[i][j]: cofactor of element (i, j)
    ext det;
};

Cofactors ComputeCofactors(const KLMATRIX& m) {
    auto e = [&](int r, int c) { return static_cast<ext>(m.m[r][c]); };
    Cofactors f;
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            int rows[3], cols[3];
            for (int r = 0, k = 0; r < 4; ++r)
                if (r != i) rows[k++] = r;
            for (int c = 0, k = 0; c < 4; ++c)
                if (c != j) cols[k++] = c;
            ext minor = e(rows[0], cols[0]) * (e(rows[1], cols[1]) * e(rows[2], cols[2]) -
                                               e(rows[1], cols[2]) * e(rows[2], cols[1])) -
                        e(rows[0], cols[1]) * (e(rows[1], cols[0]) * e(rows[2], cols[2]) -
                                               e(rows[1], cols[2]) * e(rows[2], cols[0])) +
                        e(rows[0], cols[2]) * (e(rows[1], cols[0]) * e(rows[2], cols[1]) -
                                               e(rows[1], cols[1]) * e(rows[2], cols[0]));
            f.c[i][j] = ((i + j) & 1) ? -minor : minor;
        }
    }
    f.det = e(0, 0) * f.c[0][0] + e(0, 1) * f.c[0][1] + e(0, 2) * f.c[0][2] + e(0, 3) * f.c[0][3];
    return f;
}

KLMATRIX Identity() {
    KLMATRIX m;
    KLMatrixIdentity(&m);
    return m;
}

// The rotation matrix of a quaternion (assumed unit length).
KLMATRIX QuaternionMatrix(const KLQUATERNION& q) {
    ext x = q.x, y = q.y, z = q.z, w = q.w;
    KLMATRIX m = Identity();
    m._11 = float(1 - 2 * (y * y + z * z));
    m._12 = float(2 * (x * y + z * w));
    m._13 = float(2 * (x * z - y * w));
    m._21 = float(2 * (x * y - z * w));
    m._22 = float(1 - 2 * (x * x + z * z));
    m._23 = float(2 * (y * z + x * w));
    m._31 = float(2 * (x * z + y * w));
    m._32 = float(2 * (y * z - x * w));
    m._33 = float(1 - 2 * (x * x + y * y));
    return m;
}

KLMATRIX TranslationMatrix(float x, float y, float z) {
    KLMATRIX m = Identity();
    m._41 = x;
    m._42 = y;
    m._43 = z;
    return m;
}

// A plane scaled so that its normal (a, b, c) has unit length.
KLPLANE UnitPlane(const KLPLANE* p) {
    KLPLANE n;
    PlaneNormalize(&n, p);
    return n;
}

}  // namespace

KLMATRIX* MatrixMultiply(KLMATRIX* out, const KLMATRIX* a, const KLMATRIX* b) {
    *out = MultiplyExt(*a, *b);
    return out;
}

KLMATRIX* MatrixMultiplyTranspose(KLMATRIX* out, const KLMATRIX* a, const KLMATRIX* b) {
    KLMATRIX p = MultiplyExt(*a, *b);
    return MatrixTranspose(out, &p);
}

float MatrixDeterminant(const KLMATRIX* m) { return static_cast<float>(ComputeCofactors(*m).det); }

KLMATRIX* MatrixInverse(KLMATRIX* out, float* determinant, const KLMATRIX* m) {
    Cofactors f = ComputeCofactors(*m);
    if (determinant) *determinant = static_cast<float>(f.det);
    if (f.det == 0 || !std::isfinite(f.det)) return nullptr;
    ext inv = 1.0L / f.det;
    KLMATRIX r;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) r.m[i][j] = static_cast<float>(f.c[j][i] * inv);
    *out = r;
    return out;
}

KLMATRIX* MatrixTranspose(KLMATRIX* out, const KLMATRIX* m) {
    KLMATRIX r;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) r.m[i][j] = m->m[j][i];
    *out = r;
    return out;
}

KLMATRIX* MatrixTranslation(KLMATRIX* out, float x, float y, float z) {
    *out = TranslationMatrix(x, y, z);
    return out;
}

KLMATRIX* MatrixScaling(KLMATRIX* out, float sx, float sy, float sz) {
    *out = Identity();
    out->_11 = sx;
    out->_22 = sy;
    out->_33 = sz;
    return out;
}

KLMATRIX* MatrixRotationX(KLMATRIX* out, float angle) {
    float c = std::cos(angle), s = std::sin(angle);
    *out = Identity();
    out->_22 = c;
    out->_23 = s;
    out->_32 = -s;
    out->_33 = c;
    return out;
}

KLMATRIX* MatrixRotationY(KLMATRIX* out, float angle) {
    float c = std::cos(angle), s = std::sin(angle);
    *out = Identity();
    out->_11 = c;
    out->_13 = -s;
    out->_31 = s;
    out->_33 = c;
    return out;
}

KLMATRIX* MatrixRotationZ(KLMATRIX* out, float angle) {
    float c = std::cos(angle), s = std::sin(angle);
    *out = Identity();
    out->_11 = c;
    out->_12 = s;
    out->_21 = -s;
    out->_22 = c;
    return out;
}

KLMATRIX* MatrixRotationAxis(KLMATRIX* out, const KLVECTOR3* axis, float angle) {
    KLVECTOR3 n;
    KLVec3Normalize(&n, axis);
    ext c = std::cos(static_cast<ext>(angle)), s = std::sin(static_cast<ext>(angle)), t = 1 - c;
    ext x = n.x, y = n.y, z = n.z;
    *out = Identity();
    out->_11 = float(t * x * x + c);
    out->_12 = float(t * x * y + s * z);
    out->_13 = float(t * x * z - s * y);
    out->_21 = float(t * x * y - s * z);
    out->_22 = float(t * y * y + c);
    out->_23 = float(t * y * z + s * x);
    out->_31 = float(t * x * z + s * y);
    out->_32 = float(t * y * z - s * x);
    out->_33 = float(t * z * z + c);
    return out;
}

KLMATRIX* MatrixRotationQuaternion(KLMATRIX* out, const KLQUATERNION* q) {
    *out = QuaternionMatrix(*q);
    return out;
}

KLMATRIX* MatrixRotationYawPitchRoll(KLMATRIX* out, float yaw, float pitch, float roll) {
    // Roll about z, then pitch about x, then yaw about y: Rz * Rx * Ry.
    ext cy = std::cos(static_cast<ext>(yaw)), sy = std::sin(static_cast<ext>(yaw));
    ext cp = std::cos(static_cast<ext>(pitch)), sp = std::sin(static_cast<ext>(pitch));
    ext cr = std::cos(static_cast<ext>(roll)), sr = std::sin(static_cast<ext>(roll));
    *out = Identity();
    out->_11 = float(cr * cy + sr * sp * sy);
    out->_12 = float(sr * cp);
    out->_13 = float(sr * sp * cy - cr * sy);
    out->_21 = float(cr * sp * sy - sr * cy);
    out->_22 = float(cr * cp);
    out->_23 = float(sr * sy + cr * sp * cy);
    out->_31 = float(cp * sy);
    out->_32 = float(-sp);
    out->_33 = float(cp * cy);
    return out;
}

KLMATRIX* MatrixShadow(KLMATRIX* out, const KLVECTOR4* light, const KLPLANE* plane) {
    KLPLANE p = UnitPlane(plane);
    ext P[4] = {p.a, p.b, p.c, p.d};
    ext L[4] = {light->x, light->y, light->z, light->w};
    ext d = P[0] * L[0] + P[1] * L[1] + P[2] * L[2] + P[3] * L[3];
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) out->m[r][c] = static_cast<float>((r == c ? d : 0) - P[r] * L[c]);
    return out;
}

KLMATRIX* MatrixReflect(KLMATRIX* out, const KLPLANE* plane) {
    KLPLANE p = UnitPlane(plane);
    ext P[4] = {p.a, p.b, p.c, p.d};
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 3; ++c) out->m[r][c] = static_cast<float>((r == c ? 1 : 0) - 2 * P[r] * P[c]);
        out->m[r][3] = r == 3 ? 1.0f : 0.0f;
    }
    return out;
}

KLMATRIX* MatrixTransformation(KLMATRIX* out, const KLVECTOR3* scalingCenter, const KLQUATERNION* scalingRotation,
                               const KLVECTOR3* scaling, const KLVECTOR3* rotationCenter,
                               const KLQUATERNION* rotation, const KLVECTOR3* translation) {
    // Sc^-1 * Sr^-1 * S * Sr * Sc * Rc^-1 * R * Rc * T, with absent parts identity.
    KLMATRIX m = Identity();
    KLVECTOR3 sc = scalingCenter ? *scalingCenter : KLVECTOR3{0, 0, 0};
    m = MultiplyExt(m, TranslationMatrix(-sc.x, -sc.y, -sc.z));
    if (scalingRotation) {
        KLMATRIX sr = QuaternionMatrix(*scalingRotation);
        m = MultiplyExt(m, *MatrixTranspose(&sr, &sr));
    }
    if (scaling) {
        KLMATRIX s;
        m = MultiplyExt(m, *MatrixScaling(&s, scaling->x, scaling->y, scaling->z));
    }
    if (scalingRotation) m = MultiplyExt(m, QuaternionMatrix(*scalingRotation));
    KLVECTOR3 rc = rotationCenter ? *rotationCenter : KLVECTOR3{0, 0, 0};
    m = MultiplyExt(m, TranslationMatrix(sc.x - rc.x, sc.y - rc.y, sc.z - rc.z));
    if (rotation) m = MultiplyExt(m, QuaternionMatrix(*rotation));
    KLVECTOR3 t = translation ? *translation : KLVECTOR3{0, 0, 0};
    m = MultiplyExt(m, TranslationMatrix(rc.x + t.x, rc.y + t.y, rc.z + t.z));
    *out = m;
    return out;
}

KLMATRIX* MatrixAffineTransformation(KLMATRIX* out, float scaling, const KLVECTOR3* rotationCenter,
                                     const KLQUATERNION* rotation, const KLVECTOR3* translation) {
    // S * Rc^-1 * R * Rc * T.
    KLMATRIX m;
    MatrixScaling(&m, scaling, scaling, scaling);
    KLVECTOR3 rc = rotationCenter ? *rotationCenter : KLVECTOR3{0, 0, 0};
    if (rotation) {
        m = MultiplyExt(m, TranslationMatrix(-rc.x, -rc.y, -rc.z));
        m = MultiplyExt(m, QuaternionMatrix(*rotation));
        m = MultiplyExt(m, TranslationMatrix(rc.x, rc.y, rc.z));
    }
    if (translation) m = MultiplyExt(m, TranslationMatrix(translation->x, translation->y, translation->z));
    *out = m;
    return out;
}

}  // namespace klmath::plain
