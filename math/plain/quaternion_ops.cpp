// Plain variants: quaternion products, conversions and interpolation.
#include <algorithm>
#include <cmath>

#include "math/plain/extended.h"
#include "math/plain/plain_ops.h"

namespace klmath::plain {
namespace {

struct Q {
    ext x, y, z, w;
};

Q Load(const KLQUATERNION* q) { return {q->x, q->y, q->z, q->w}; }
KLQUATERNION* Store(KLQUATERNION* out, const Q& q) {
    *out = {float(q.x), float(q.y), float(q.z), float(q.w)};
    return out;
}

// The Hamilton product a * b (b's rotation first, then a's).
Q Product(const Q& a, const Q& b) {
    return {a.w * b.x + a.x * b.w + a.y * b.z - a.z * b.y, a.w * b.y - a.x * b.z + a.y * b.w + a.z * b.x,
            a.w * b.z + a.x * b.y - a.y * b.x + a.z * b.w, a.w * b.w - a.x * b.x - a.y * b.y - a.z * b.z};
}

ext DotQ(const Q& a, const Q& b) { return a.x * b.x + a.y * b.y + a.z * b.z + a.w * b.w; }

Q Slerp(const Q& a, const Q& b, ext t) {
    ext d = DotQ(a, b);
    ext sign = 1;
    if (d < 0) {
        d = -d;
        sign = -1;
    }
    ext s0 = 1 - t, s1 = t;
    // Nearly parallel quaternions fall back to linear interpolation, where
    // sin(theta) would lose all precision.
    if (1 - d > 1e-6L) {
        ext theta = std::acos(std::min<ext>(d, 1));
        ext sinTheta = std::sin(theta);
        s0 = std::sin((1 - t) * theta) / sinTheta;
        s1 = std::sin(t * theta) / sinTheta;
    }
    s1 *= sign;
    return {s0 * a.x + s1 * b.x, s0 * a.y + s1 * b.y, s0 * a.z + s1 * b.z, s0 * a.w + s1 * b.w};
}

Q Ln(const Q& q) {
    ext w = std::clamp<ext>(q.w, -1, 1);
    ext theta = std::acos(w);
    ext s = std::sin(theta);
    ext k = (s != 0 && std::fabs(q.w) < 1) ? theta / s : 1;
    return {q.x * k, q.y * k, q.z * k, 0};
}

Q Exp(const Q& q) {
    ext theta = std::sqrt(q.x * q.x + q.y * q.y + q.z * q.z);
    ext k = theta != 0 ? std::sin(theta) / theta : 1;
    return {q.x * k, q.y * k, q.z * k, std::cos(theta)};
}

Q Inverse(const Q& q) {
    ext n = DotQ(q, q);
    if (n == 0) return {0, 0, 0, 0};
    return {-q.x / n, -q.y / n, -q.z / n, q.w / n};
}

Q Negate(const Q& q) { return {-q.x, -q.y, -q.z, -q.w}; }

// Of q and -q, the one nearer to ref.
Q Nearer(const Q& q, const Q& ref) {
    ext plus = (q.x + ref.x) * (q.x + ref.x) + (q.y + ref.y) * (q.y + ref.y) + (q.z + ref.z) * (q.z + ref.z) +
               (q.w + ref.w) * (q.w + ref.w);
    ext minus = (q.x - ref.x) * (q.x - ref.x) + (q.y - ref.y) * (q.y - ref.y) + (q.z - ref.z) * (q.z - ref.z) +
                (q.w - ref.w) * (q.w - ref.w);
    return plus < minus ? Negate(q) : q;
}

// The squad control point at q between its neighbours prev and next.
Q ControlPoint(const Q& prev, const Q& q, const Q& next) {
    Q inv = Inverse(q);
    Q a = Ln(Product(inv, next)), b = Ln(Product(inv, prev));
    Q e = Exp({-0.25L * (a.x + b.x), -0.25L * (a.y + b.y), -0.25L * (a.z + b.z), 0});
    return Product(q, e);
}

}  // namespace

KLQUATERNION* QuaternionMultiply(KLQUATERNION* out, const KLQUATERNION* q1, const KLQUATERNION* q2) {
    return Store(out, Product(Load(q2), Load(q1)));
}

KLQUATERNION* QuaternionNormalize(KLQUATERNION* out, const KLQUATERNION* q) {
    return reinterpret_cast<KLQUATERNION*>(
        Vec4Normalize(reinterpret_cast<KLVECTOR4*>(out), reinterpret_cast<const KLVECTOR4*>(q)));
}

void QuaternionToAxisAngle(const KLQUATERNION* q, KLVECTOR3* axis, float* angle) {
    if (axis) *axis = {q->x, q->y, q->z};
    if (angle) *angle = static_cast<float>(2 * std::acos(std::clamp<ext>(q->w, -1, 1)));
}

KLQUATERNION* QuaternionRotationMatrix(KLQUATERNION* out, const KLMATRIX* m) {
    ext m11 = m->_11, m12 = m->_12, m13 = m->_13, m21 = m->_21, m22 = m->_22, m23 = m->_23;
    ext m31 = m->_31, m32 = m->_32, m33 = m->_33;
    ext trace = m11 + m22 + m33;
    Q q;
    // Take the root of the largest of the four diagonal combinations, so the
    // divisor is never small.
    if (trace > 0) {
        ext s = std::sqrt(trace + 1) * 2;
        q = {(m23 - m32) / s, (m31 - m13) / s, (m12 - m21) / s, s / 4};
    } else if (m11 >= m22 && m11 >= m33) {
        ext s = std::sqrt(1 + m11 - m22 - m33) * 2;
        q = {s / 4, (m12 + m21) / s, (m13 + m31) / s, (m23 - m32) / s};
    } else if (m22 >= m33) {
        ext s = std::sqrt(1 + m22 - m11 - m33) * 2;
        q = {(m12 + m21) / s, s / 4, (m23 + m32) / s, (m31 - m13) / s};
    } else {
        ext s = std::sqrt(1 + m33 - m11 - m22) * 2;
        q = {(m13 + m31) / s, (m23 + m32) / s, s / 4, (m12 - m21) / s};
    }
    return Store(out, q);
}

KLQUATERNION* QuaternionRotationYawPitchRoll(KLQUATERNION* out, float yaw, float pitch, float roll) {
    ext cy = std::cos(yaw * 0.5L), sy = std::sin(yaw * 0.5L);
    ext cp = std::cos(pitch * 0.5L), sp = std::sin(pitch * 0.5L);
    ext cr = std::cos(roll * 0.5L), sr = std::sin(roll * 0.5L);
    return Store(out, {cy * sp * cr + sy * cp * sr, sy * cp * cr - cy * sp * sr, cy * cp * sr - sy * sp * cr,
                       cy * cp * cr + sy * sp * sr});
}

KLQUATERNION* QuaternionRotationAxis(KLQUATERNION* out, const KLVECTOR3* axis, float angle) {
    KLVECTOR3 n;
    KLVec3Normalize(&n, axis);
    ext s = std::sin(angle * 0.5L), c = std::cos(angle * 0.5L);
    return Store(out, {n.x * s, n.y * s, n.z * s, c});
}

KLQUATERNION* QuaternionSlerp(KLQUATERNION* out, const KLQUATERNION* q1, const KLQUATERNION* q2, float t) {
    return Store(out, Slerp(Load(q1), Load(q2), t));
}

KLQUATERNION* QuaternionBaryCentric(KLQUATERNION* out, const KLQUATERNION* q1, const KLQUATERNION* q2,
                                    const KLQUATERNION* q3, float f, float g) {
    ext s = static_cast<ext>(f) + g;
    if (s == 0) {
        *out = *q1;
        return out;
    }
    Q a = Slerp(Load(q1), Load(q2), s), b = Slerp(Load(q1), Load(q3), s);
    return Store(out, Slerp(a, b, g / s));
}

KLQUATERNION* QuaternionSquad(KLQUATERNION* out, const KLQUATERNION* q1, const KLQUATERNION* a,
                              const KLQUATERNION* b, const KLQUATERNION* c, float t) {
    ext T = t;
    Q outer = Slerp(Load(q1), Load(c), T), inner = Slerp(Load(a), Load(b), T);
    return Store(out, Slerp(outer, inner, 2 * T * (1 - T)));
}

KLQUATERNION* QuaternionInverse(KLQUATERNION* out, const KLQUATERNION* q) { return Store(out, Inverse(Load(q))); }

void QuaternionSquadSetup(KLQUATERNION* aOut, KLQUATERNION* bOut, KLQUATERNION* cOut, const KLQUATERNION* q0,
                          const KLQUATERNION* q1, const KLQUATERNION* q2, const KLQUATERNION* q3) {
    Q p1 = Load(q1);
    Q p0 = Nearer(Load(q0), p1);
    Q p2 = Nearer(Load(q2), p1);
    Q p3 = Nearer(Load(q3), p2);
    Q a = ControlPoint(p0, p1, p2), b = ControlPoint(p1, p2, p3);
    Store(aOut, a);
    Store(bOut, b);
    Store(cOut, p2);
}

KLQUATERNION* QuaternionLn(KLQUATERNION* out, const KLQUATERNION* q) { return Store(out, Ln(Load(q))); }
KLQUATERNION* QuaternionExp(KLQUATERNION* out, const KLQUATERNION* q) { return Store(out, Exp(Load(q))); }

}  // namespace klmath::plain
