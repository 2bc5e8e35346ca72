// View and projection matrices (one plain form each). Every element is formed
// in extended precision and rounded to single precision when stored.
#include "math/klmath.h"

namespace {

using ext = long double;

// Clears out and stores the named elements of a projection.
struct Projection {
    ext _11 = 0, _22 = 0, _31 = 0, _32 = 0, _33 = 0, _34 = 0, _41 = 0, _42 = 0, _43 = 0, _44 = 0;
    KLMATRIX* Store(KLMATRIX* out) const {
        *out = {};
        out->_11 = float(_11);
        out->_22 = float(_22);
        out->_31 = float(_31);
        out->_32 = float(_32);
        out->_33 = float(_33);
        out->_34 = float(_34);
        out->_41 = float(_41);
        out->_42 = float(_42);
        out->_43 = float(_43);
        out->_44 = float(_44);
        return out;
    }
};

// cos / sin of half the field of view, each rounded to single precision.
ext YScale(float fovy) {
    float h = fovy * 0.5f;
    float cs = static_cast<float>(std::cos(static_cast<ext>(h)));
    float sn = static_cast<float>(std::sin(static_cast<ext>(h)));
    return static_cast<ext>(cs) / sn;
}

// Left-handed perspective depth terms: z' = Q (z - zn); right-handed: mirrored.
void Depth(Projection* p, bool leftHanded, float zn, float zf) {
    if (leftHanded) {
        ext q = ext(zf) / (ext(zf) - zn);
        p->_33 = q;
        p->_34 = 1;
        p->_43 = -q * zn;
    } else {
        ext q = ext(zf) / (ext(zn) - zf);
        p->_33 = q;
        p->_34 = -1;
        p->_43 = zn * q;
    }
}

void OrthoDepth(Projection* p, bool leftHanded, float zn, float zf) {
    if (leftHanded) {
        p->_33 = 1 / (ext(zf) - zn);
        p->_43 = -ext(zn) / (ext(zf) - zn);
    } else {
        p->_33 = 1 / (ext(zn) - zf);
        p->_43 = ext(zn) / (ext(zn) - zf);
    }
    p->_44 = 1;
}

KLMATRIX* Fov(KLMATRIX* out, bool lh, float fovy, float aspect, float zn, float zf) {
    Projection p;
    ext y = YScale(fovy);
    p._11 = y / aspect;
    p._22 = y;
    Depth(&p, lh, zn, zf);
    return p.Store(out);
}

KLMATRIX* WidthHeight(KLMATRIX* out, bool lh, float w, float h, float zn, float zf) {
    Projection p;
    p._11 = 2 * ext(zn) / w;
    p._22 = 2 * ext(zn) / h;
    Depth(&p, lh, zn, zf);
    return p.Store(out);
}

KLMATRIX* OffCenter(KLMATRIX* out, bool lh, float l, float r, float b, float t, float zn, float zf) {
    Projection p;
    p._11 = 2 * ext(zn) / (ext(r) - l);
    p._22 = 2 * ext(zn) / (ext(t) - b);
    ext sx = (ext(l) + r) / (ext(r) - l), sy = (ext(t) + b) / (ext(t) - b);
    p._31 = lh ? -sx : sx;
    p._32 = lh ? -sy : sy;
    Depth(&p, lh, zn, zf);
    return p.Store(out);
}

KLMATRIX* Ortho(KLMATRIX* out, bool lh, float w, float h, float zn, float zf) {
    Projection p;
    p._11 = 2 / ext(w);
    p._22 = 2 / ext(h);
    OrthoDepth(&p, lh, zn, zf);
    return p.Store(out);
}

KLMATRIX* OrthoOffCenter(KLMATRIX* out, bool lh, float l, float r, float b, float t, float zn, float zf) {
    Projection p;
    p._11 = 2 / (ext(r) - l);
    p._22 = 2 / (ext(t) - b);
    p._41 = -(ext(l) + r) / (ext(r) - l);
    p._42 = -(ext(t) + b) / (ext(t) - b);
    OrthoDepth(&p, lh, zn, zf);
    return p.Store(out);
}

// The view matrix whose rows are the camera axes; right-handed cameras look
// down -z, so their forward axis is reversed.
KLMATRIX* LookAt(KLMATRIX* out, bool lh, const KLVECTOR3* eye, const KLVECTOR3* at, const KLVECTOR3* up) {
    KLVECTOR3 forward, zaxis, xaxis, yaxis;
    if (lh)
        KLVec3Subtract(&forward, at, eye);
    else
        KLVec3Subtract(&forward, eye, at);
    KLVec3Normalize(&zaxis, &forward);
    KLVECTOR3 side;
    KLVec3Cross(&side, up, &zaxis);
    KLVec3Normalize(&xaxis, &side);
    KLVec3Cross(&yaxis, &zaxis, &xaxis);
    *out = {};
    out->_11 = xaxis.x;
    out->_21 = xaxis.y;
    out->_31 = xaxis.z;
    out->_12 = yaxis.x;
    out->_22 = yaxis.y;
    out->_32 = yaxis.z;
    out->_13 = zaxis.x;
    out->_23 = zaxis.y;
    out->_33 = zaxis.z;
    out->_41 = -KLVec3Dot(&xaxis, eye);
    out->_42 = -KLVec3Dot(&yaxis, eye);
    out->_43 = -KLVec3Dot(&zaxis, eye);
    out->_44 = 1.0f;
    return out;
}

}  // namespace

KLMATRIX* KLMatrixLookAtLH(KLMATRIX* out, const KLVECTOR3* eye, const KLVECTOR3* at, const KLVECTOR3* up) {
    return LookAt(out, true, eye, at, up);
}
KLMATRIX* KLMatrixLookAtRH(KLMATRIX* out, const KLVECTOR3* eye, const KLVECTOR3* at, const KLVECTOR3* up) {
    return LookAt(out, false, eye, at, up);
}
KLMATRIX* KLMatrixPerspectiveLH(KLMATRIX* out, float w, float h, float zn, float zf) {
    return WidthHeight(out, true, w, h, zn, zf);
}
KLMATRIX* KLMatrixPerspectiveRH(KLMATRIX* out, float w, float h, float zn, float zf) {
    return WidthHeight(out, false, w, h, zn, zf);
}
KLMATRIX* KLMatrixPerspectiveFovLH(KLMATRIX* out, float fovy, float aspect, float zn, float zf) {
    return Fov(out, true, fovy, aspect, zn, zf);
}
KLMATRIX* KLMatrixPerspectiveFovRH(KLMATRIX* out, float fovy, float aspect, float zn, float zf) {
    return Fov(out, false, fovy, aspect, zn, zf);
}
KLMATRIX* KLMatrixPerspectiveOffCenterLH(KLMATRIX* out, float l, float r, float b, float t, float zn, float zf) {
    return OffCenter(out, true, l, r, b, t, zn, zf);
}
KLMATRIX* KLMatrixPerspectiveOffCenterRH(KLMATRIX* out, float l, float r, float b, float t, float zn, float zf) {
    return OffCenter(out, false, l, r, b, t, zn, zf);
}
KLMATRIX* KLMatrixOrthoLH(KLMATRIX* out, float w, float h, float zn, float zf) {
    return Ortho(out, true, w, h, zn, zf);
}
KLMATRIX* KLMatrixOrthoRH(KLMATRIX* out, float w, float h, float zn, float zf) {
    return Ortho(out, false, w, h, zn, zf);
}
KLMATRIX* KLMatrixOrthoOffCenterLH(KLMATRIX* out, float l, float r, float b, float t, float zn, float zf) {
    return OrthoOffCenter(out, true, l, r, b, t, zn, zf);
}
KLMATRIX* KLMatrixOrthoOffCenterRH(KLMATRIX* out, float l, float r, float b, float t, float zn, float zf) {
    return OrthoOffCenter(out, false, l, r, b, t, zn, zf);
}
