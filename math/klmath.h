// The vector math library: 2-, 3- and 4-component vectors, 4 x 4 matrices
// (row-major, row vectors on the left, translation in the fourth row),
// quaternions, planes, colours and 16-bit floats.
//
// 71 operations are dispatched: each public entry jumps through one slot of a
// process-wide table that is filled once, on the first call, with the variant
// that suits the processor (plain, x86, SSE, SSE2). The registry switches
// "DisablePSGP" and "DisableKLPSGP" hold the choice back; MathPathSelect makes
// or resets it explicitly. The other operations have one plain form.
#pragma once

#include <cmath>

#include "math/direct3d_switch.h"
#include "platform/cpu_features.h"
#include "platform/wintypes.h"

// ---------------------------------------------------------------------------
// Value types

struct KLVECTOR2 {
    float x, y;
};

struct KLVECTOR3 {
    float x, y, z;
};

struct KLVECTOR4 {
    float x, y, z, w;
};

struct KLQUATERNION {
    float x, y, z, w;
};

struct KLPLANE {
    float a, b, c, d;
};

struct KLCOLOR {
    float r, g, b, a;
};

struct KLMATRIX {
    union {
        struct {
            float _11, _12, _13, _14;
            float _21, _22, _23, _24;
            float _31, _32, _33, _34;
            float _41, _42, _43, _44;
        };
        float m[4][4];
    };
    float& operator()(UINT row, UINT col) { return m[row][col]; }
    float operator()(UINT row, UINT col) const { return m[row][col]; }
};

// 16-bit float: sign bit 15, exponent bits 10-14 (bias 15), mantissa bits 0-9.
// Exponent 31 is an ordinary exponent: no infinities or NaNs, largest 131008.
struct KLFLOAT16 {
    WORD value;
};

// A viewport in the layout the graphics device uses.
struct KLVIEWPORT9 {
    DWORD X, Y, Width, Height;
    float MinZ, MaxZ;
};

static_assert(sizeof(KLMATRIX) == 64 && sizeof(KLFLOAT16) == 2 && sizeof(KLVIEWPORT9) == 24);

// ---------------------------------------------------------------------------
// Processor dispatch

enum : int {
    PathUnselected = 0xFFFF,
    PathPlain = 0,
    Path3DNow = 1,
    PathSse2 = 2,
    PathSse = 3,
};

// Zero: puts the plain table back and marks the path unselected (no lazy
// entries remain). Non-zero: selects the path once. Returns the path.
int MathPathSelect(int select);
// The path chosen so far (PathUnselected before the first selection).
int MathPathCurrent();
// 1 when the processor has MMX and "DisableMMX" does not forbid it, else 0.
int MmxAvailable();
// For tests: forgets the MMX probe so the next MmxAvailable call probes again.
void MmxAvailableReset();
// Approximation of 1 / sqrt(x) for positive x by a 512-segment linear table.
float TableRsqrt(float x);

// ---------------------------------------------------------------------------
// Dispatched operations (slot order)

KLVECTOR4* KLVec2Transform(KLVECTOR4* out, const KLVECTOR2* v, const KLMATRIX* m);
KLVECTOR4* KLVec3Transform(KLVECTOR4* out, const KLVECTOR3* v, const KLMATRIX* m);
KLVECTOR4* KLVec4Transform(KLVECTOR4* out, const KLVECTOR4* v, const KLMATRIX* m);
KLMATRIX* KLMatrixMultiply(KLMATRIX* out, const KLMATRIX* a, const KLMATRIX* b);
// The transpose of a * b.
KLMATRIX* KLMatrixMultiplyTranspose(KLMATRIX* out, const KLMATRIX* a, const KLMATRIX* b);
KLVECTOR2* KLVec2TransformNormal(KLVECTOR2* out, const KLVECTOR2* v, const KLMATRIX* m);
KLVECTOR3* KLVec3TransformNormal(KLVECTOR3* out, const KLVECTOR3* v, const KLMATRIX* m);
KLVECTOR3* KLVec3Normalize(KLVECTOR3* out, const KLVECTOR3* v);
KLVECTOR4* KLVec4Normalize(KLVECTOR4* out, const KLVECTOR4* v);
KLVECTOR2* KLVec2TransformCoord(KLVECTOR2* out, const KLVECTOR2* v, const KLMATRIX* m);
KLVECTOR3* KLVec3TransformCoord(KLVECTOR3* out, const KLVECTOR3* v, const KLMATRIX* m);
float KLMatrixDeterminant(const KLMATRIX* m);
KLPLANE* KLPlaneFromPointNormal(KLPLANE* out, const KLVECTOR3* point, const KLVECTOR3* normal);
KLPLANE* KLPlaneFromPoints(KLPLANE* out, const KLVECTOR3* v1, const KLVECTOR3* v2, const KLVECTOR3* v3);
// Object space to screen: world, view, projection, then the viewport. Null
// matrices count as identity; a null viewport leaves the clip coordinates.
KLVECTOR3* KLVec3Project(KLVECTOR3* out, const KLVECTOR3* v, const KLVIEWPORT9* viewport,
                         const KLMATRIX* projection, const KLMATRIX* view, const KLMATRIX* world);
KLVECTOR3* KLVec3Unproject(KLVECTOR3* out, const KLVECTOR3* v, const KLVIEWPORT9* viewport,
                           const KLMATRIX* projection, const KLMATRIX* view, const KLMATRIX* world);
// The 4-vector orthogonal to a, b and c.
KLVECTOR4* KLVec4Cross(KLVECTOR4* out, const KLVECTOR4* a, const KLVECTOR4* b, const KLVECTOR4* c);
KLVECTOR2* KLVec2Hermite(KLVECTOR2* out, const KLVECTOR2* v1, const KLVECTOR2* t1, const KLVECTOR2* v2,
                         const KLVECTOR2* t2, float s);
// Returns null (out untouched) when m is singular. determinant may be null.
KLMATRIX* KLMatrixInverse(KLMATRIX* out, float* determinant, const KLMATRIX* m);
// The rotation q1 followed by q2 (q2 * q1).
KLQUATERNION* KLQuaternionMultiply(KLQUATERNION* out, const KLQUATERNION* q1, const KLQUATERNION* q2);
KLQUATERNION* KLQuaternionNormalize(KLQUATERNION* out, const KLQUATERNION* q);
KLPLANE* KLPlaneNormalize(KLPLANE* out, const KLPLANE* p);
// Returns null when the line is parallel to the plane.
KLVECTOR3* KLPlaneIntersectLine(KLVECTOR3* out, const KLPLANE* p, const KLVECTOR3* v1, const KLVECTOR3* v2);
void KLQuaternionToAxisAngle(const KLQUATERNION* q, KLVECTOR3* axis, float* angle);
KLQUATERNION* KLQuaternionRotationMatrix(KLQUATERNION* out, const KLMATRIX* m);
KLQUATERNION* KLQuaternionRotationYawPitchRoll(KLQUATERNION* out, float yaw, float pitch, float roll);
KLMATRIX* KLMatrixTranslation(KLMATRIX* out, float x, float y, float z);
// Flattens geometry onto plane as seen from light (w = 0: directional).
KLMATRIX* KLMatrixShadow(KLMATRIX* out, const KLVECTOR4* light, const KLPLANE* plane);
KLMATRIX* KLMatrixReflect(KLMATRIX* out, const KLPLANE* plane);
KLQUATERNION* KLQuaternionRotationAxis(KLQUATERNION* out, const KLVECTOR3* axis, float angle);
KLMATRIX* KLMatrixRotationX(KLMATRIX* out, float angle);
KLMATRIX* KLMatrixRotationY(KLMATRIX* out, float angle);
KLMATRIX* KLMatrixRotationZ(KLMATRIX* out, float angle);
KLMATRIX* KLMatrixScaling(KLMATRIX* out, float sx, float sy, float sz);
// m must be the inverse transpose of the point transform.
KLPLANE* KLPlaneTransform(KLPLANE* out, const KLPLANE* p, const KLMATRIX* m);
KLQUATERNION* KLQuaternionSlerp(KLQUATERNION* out, const KLQUATERNION* q1, const KLQUATERNION* q2, float t);
KLQUATERNION* KLQuaternionBaryCentric(KLQUATERNION* out, const KLQUATERNION* q1, const KLQUATERNION* q2,
                                      const KLQUATERNION* q3, float f, float g);
KLMATRIX* KLMatrixTranspose(KLMATRIX* out, const KLMATRIX* m);
KLMATRIX* KLMatrixRotationQuaternion(KLMATRIX* out, const KLQUATERNION* q);
// Scaling about scalingCenter along the axes rotated by scalingRotation, then
// rotation about rotationCenter, then translation. Any pointer may be null.
KLMATRIX* KLMatrixTransformation(KLMATRIX* out, const KLVECTOR3* scalingCenter, const KLQUATERNION* scalingRotation,
                                 const KLVECTOR3* scaling, const KLVECTOR3* rotationCenter,
                                 const KLQUATERNION* rotation, const KLVECTOR3* translation);
// Roll about z, then pitch about x, then yaw about y.
KLMATRIX* KLMatrixRotationYawPitchRoll(KLMATRIX* out, float yaw, float pitch, float roll);
KLMATRIX* KLMatrixAffineTransformation(KLMATRIX* out, float scaling, const KLVECTOR3* rotationCenter,
                                       const KLQUATERNION* rotation, const KLVECTOR3* translation);
KLMATRIX* KLMatrixRotationAxis(KLMATRIX* out, const KLVECTOR3* axis, float angle);
KLQUATERNION* KLQuaternionSquad(KLQUATERNION* out, const KLQUATERNION* q1, const KLQUATERNION* a,
                                const KLQUATERNION* b, const KLQUATERNION* c, float t);
KLQUATERNION* KLQuaternionInverse(KLQUATERNION* out, const KLQUATERNION* q);
// Control points a, b, c for KLQuaternionSquad between q1 and q2.
void KLQuaternionSquadSetup(KLQUATERNION* aOut, KLQUATERNION* bOut, KLQUATERNION* cOut, const KLQUATERNION* q0,
                            const KLQUATERNION* q1, const KLQUATERNION* q2, const KLQUATERNION* q3);
KLVECTOR2* KLVec2Normalize(KLVECTOR2* out, const KLVECTOR2* v);
KLVECTOR2* KLVec2CatmullRom(KLVECTOR2* out, const KLVECTOR2* v0, const KLVECTOR2* v1, const KLVECTOR2* v2,
                            const KLVECTOR2* v3, float s);
KLVECTOR2* KLVec2BaryCentric(KLVECTOR2* out, const KLVECTOR2* v1, const KLVECTOR2* v2, const KLVECTOR2* v3,
                             float f, float g);
KLVECTOR3* KLVec3Hermite(KLVECTOR3* out, const KLVECTOR3* v1, const KLVECTOR3* t1, const KLVECTOR3* v2,
                         const KLVECTOR3* t2, float s);
KLVECTOR3* KLVec3CatmullRom(KLVECTOR3* out, const KLVECTOR3* v0, const KLVECTOR3* v1, const KLVECTOR3* v2,
                            const KLVECTOR3* v3, float s);
KLVECTOR3* KLVec3BaryCentric(KLVECTOR3* out, const KLVECTOR3* v1, const KLVECTOR3* v2, const KLVECTOR3* v3,
                             float f, float g);
KLVECTOR4* KLVec4Hermite(KLVECTOR4* out, const KLVECTOR4* v1, const KLVECTOR4* t1, const KLVECTOR4* v2,
                         const KLVECTOR4* t2, float s);
KLVECTOR4* KLVec4CatmullRom(KLVECTOR4* out, const KLVECTOR4* v0, const KLVECTOR4* v1, const KLVECTOR4* v2,
                            const KLVECTOR4* v3, float s);
KLVECTOR4* KLVec4BaryCentric(KLVECTOR4* out, const KLVECTOR4* v1, const KLVECTOR4* v2, const KLVECTOR4* v3,
                             float f, float g);
// Logarithm and exponential of unit quaternions.
KLQUATERNION* KLQuaternionLn(KLQUATERNION* out, const KLQUATERNION* q);
KLQUATERNION* KLQuaternionExp(KLQUATERNION* out, const KLQUATERNION* q);
KLFLOAT16* KLFloat32To16Array(KLFLOAT16* out, const float* in, UINT n);
float* KLFloat16To32Array(float* out, const KLFLOAT16* in, UINT n);

// Array forms: strides are in bytes and may be any value (elements need not be
// aligned); n elements are read and written. They return out.
KLVECTOR4* KLVec2TransformArray(KLVECTOR4* out, UINT outStride, const KLVECTOR2* v, UINT vStride,
                                const KLMATRIX* m, UINT n);
KLVECTOR2* KLVec2TransformCoordArray(KLVECTOR2* out, UINT outStride, const KLVECTOR2* v, UINT vStride,
                                     const KLMATRIX* m, UINT n);
KLVECTOR2* KLVec2TransformNormalArray(KLVECTOR2* out, UINT outStride, const KLVECTOR2* v, UINT vStride,
                                      const KLMATRIX* m, UINT n);
KLVECTOR4* KLVec3TransformArray(KLVECTOR4* out, UINT outStride, const KLVECTOR3* v, UINT vStride,
                                const KLMATRIX* m, UINT n);
KLVECTOR3* KLVec3TransformCoordArray(KLVECTOR3* out, UINT outStride, const KLVECTOR3* v, UINT vStride,
                                     const KLMATRIX* m, UINT n);
KLVECTOR3* KLVec3TransformNormalArray(KLVECTOR3* out, UINT outStride, const KLVECTOR3* v, UINT vStride,
                                      const KLMATRIX* m, UINT n);
KLVECTOR4* KLVec4TransformArray(KLVECTOR4* out, UINT outStride, const KLVECTOR4* v, UINT vStride,
                                const KLMATRIX* m, UINT n);
KLVECTOR3* KLVec3ProjectArray(KLVECTOR3* out, UINT outStride, const KLVECTOR3* v, UINT vStride,
                              const KLVIEWPORT9* viewport, const KLMATRIX* projection, const KLMATRIX* view,
                              const KLMATRIX* world, UINT n);
KLVECTOR3* KLVec3UnprojectArray(KLVECTOR3* out, UINT outStride, const KLVECTOR3* v, UINT vStride,
                                const KLVIEWPORT9* viewport, const KLMATRIX* projection, const KLMATRIX* view,
                                const KLMATRIX* world, UINT n);
KLPLANE* KLPlaneTransformArray(KLPLANE* out, UINT outStride, const KLPLANE* p, UINT pStride, const KLMATRIX* m,
                               UINT n);

// Vertex blending with a matrix palette. Each vertex has `weightsPerVertex`
// explicit weights (0 to 3) and blends weightsPerVertex + 1 matrices, the last
// weight being 1 minus the others. With indices, each vertex has four palette
// indices (bytes) at indexStride; without, it uses matrices 0, 1, 2, 3. Returns
// null, writing nothing, when an index reaches paletteSize or
// weightsPerVertex > 3.
KLVECTOR3* KLVec3BlendArray(KLVECTOR3* out, UINT outStride, const KLVECTOR3* v, UINT vStride, const float* weights,
                            UINT weightStride, UINT weightsPerVertex, const BYTE* indices, UINT indexStride,
                            const KLMATRIX* palette, UINT paletteSize, UINT n);

// Curved-triangle (N-patch) tessellation of one triangle with corner positions
// p[3] and unit normals nrm[3]: the cubic Bezier triangle through the corners
// and the quadratic normal patch, evaluated at segments + 1 rows of points.
// Row r (0..segments) holds r + 1 points, from corner 0 towards the edge
// p1-p2; outPositions and outNormals receive KLNPatchPointCount(segments)
// entries each. Returns null when segments is 0 or above 256.
KLVECTOR3* KLTessellateNPatchTriangle(KLVECTOR3* outPositions, KLVECTOR3* outNormals, const KLVECTOR3* p,
                                      const KLVECTOR3* nrm, UINT segments);
inline constexpr UINT KLNPatchPointCount(UINT segments) { return (segments + 1) * (segments + 2) / 2; }

// ---------------------------------------------------------------------------
// Operations in one plain form

KLMATRIX* KLMatrixLookAtLH(KLMATRIX* out, const KLVECTOR3* eye, const KLVECTOR3* at, const KLVECTOR3* up);
KLMATRIX* KLMatrixLookAtRH(KLMATRIX* out, const KLVECTOR3* eye, const KLVECTOR3* at, const KLVECTOR3* up);
KLMATRIX* KLMatrixPerspectiveLH(KLMATRIX* out, float w, float h, float zn, float zf);
KLMATRIX* KLMatrixPerspectiveRH(KLMATRIX* out, float w, float h, float zn, float zf);
KLMATRIX* KLMatrixPerspectiveFovLH(KLMATRIX* out, float fovy, float aspect, float zn, float zf);
KLMATRIX* KLMatrixPerspectiveFovRH(KLMATRIX* out, float fovy, float aspect, float zn, float zf);
KLMATRIX* KLMatrixPerspectiveOffCenterLH(KLMATRIX* out, float l, float r, float b, float t, float zn, float zf);
KLMATRIX* KLMatrixPerspectiveOffCenterRH(KLMATRIX* out, float l, float r, float b, float t, float zn, float zf);
KLMATRIX* KLMatrixOrthoLH(KLMATRIX* out, float w, float h, float zn, float zf);
KLMATRIX* KLMatrixOrthoRH(KLMATRIX* out, float w, float h, float zn, float zf);
KLMATRIX* KLMatrixOrthoOffCenterLH(KLMATRIX* out, float l, float r, float b, float t, float zn, float zf);
KLMATRIX* KLMatrixOrthoOffCenterRH(KLMATRIX* out, float l, float r, float b, float t, float zn, float zf);
// Interpolates between the grey of c (luminance 0.2125 r + 0.7154 g + 0.0721 b)
// and c; alpha is kept.
KLCOLOR* KLColorAdjustSaturation(KLCOLOR* out, const KLCOLOR* c, float s);
// Interpolates between 50% grey and c; alpha is kept.
KLCOLOR* KLColorAdjustContrast(KLCOLOR* out, const KLCOLOR* c, float s);
// Fresnel reflectance for unpolarised light: cosine of the incidence angle and
// the ratio of refraction indices.
float KLFresnelTerm(float cosTheta, float refractionIndex);
// Gradient noise in [-1, 1], 0 at integer lattice points.
float KLPerlinNoise3(const KLVECTOR3* v);

// ---------------------------------------------------------------------------
// Small inline operations

inline float KLVec2Length(const KLVECTOR2* v) { return std::sqrt(v->x * v->x + v->y * v->y); }
inline float KLVec2LengthSq(const KLVECTOR2* v) { return v->x * v->x + v->y * v->y; }
inline float KLVec2Dot(const KLVECTOR2* a, const KLVECTOR2* b) { return a->x * b->x + a->y * b->y; }
// z of the 3D cross product of (a, 0) and (b, 0).
inline float KLVec2CCW(const KLVECTOR2* a, const KLVECTOR2* b) { return a->x * b->y - a->y * b->x; }
inline KLVECTOR2* KLVec2Add(KLVECTOR2* out, const KLVECTOR2* a, const KLVECTOR2* b) {
    *out = {a->x + b->x, a->y + b->y};
    return out;
}
inline KLVECTOR2* KLVec2Subtract(KLVECTOR2* out, const KLVECTOR2* a, const KLVECTOR2* b) {
    *out = {a->x - b->x, a->y - b->y};
    return out;
}
inline KLVECTOR2* KLVec2Minimize(KLVECTOR2* out, const KLVECTOR2* a, const KLVECTOR2* b) {
    *out = {a->x < b->x ? a->x : b->x, a->y < b->y ? a->y : b->y};
    return out;
}
inline KLVECTOR2* KLVec2Maximize(KLVECTOR2* out, const KLVECTOR2* a, const KLVECTOR2* b) {
    *out = {a->x > b->x ? a->x : b->x, a->y > b->y ? a->y : b->y};
    return out;
}
inline KLVECTOR2* KLVec2Scale(KLVECTOR2* out, const KLVECTOR2* v, float s) {
    *out = {v->x * s, v->y * s};
    return out;
}
inline KLVECTOR2* KLVec2Lerp(KLVECTOR2* out, const KLVECTOR2* a, const KLVECTOR2* b, float s) {
    *out = {a->x + s * (b->x - a->x), a->y + s * (b->y - a->y)};
    return out;
}

inline float KLVec3Length(const KLVECTOR3* v) { return std::sqrt(v->x * v->x + v->y * v->y + v->z * v->z); }
inline float KLVec3LengthSq(const KLVECTOR3* v) { return v->x * v->x + v->y * v->y + v->z * v->z; }
inline float KLVec3Dot(const KLVECTOR3* a, const KLVECTOR3* b) { return a->x * b->x + a->y * b->y + a->z * b->z; }
inline KLVECTOR3* KLVec3Cross(KLVECTOR3* out, const KLVECTOR3* a, const KLVECTOR3* b) {
    *out = {a->y * b->z - a->z * b->y, a->z * b->x - a->x * b->z, a->x * b->y - a->y * b->x};
    return out;
}
inline KLVECTOR3* KLVec3Add(KLVECTOR3* out, const KLVECTOR3* a, const KLVECTOR3* b) {
    *out = {a->x + b->x, a->y + b->y, a->z + b->z};
    return out;
}
inline KLVECTOR3* KLVec3Subtract(KLVECTOR3* out, const KLVECTOR3* a, const KLVECTOR3* b) {
    *out = {a->x - b->x, a->y - b->y, a->z - b->z};
    return out;
}
inline KLVECTOR3* KLVec3Minimize(KLVECTOR3* out, const KLVECTOR3* a, const KLVECTOR3* b) {
    *out = {a->x < b->x ? a->x : b->x, a->y < b->y ? a->y : b->y, a->z < b->z ? a->z : b->z};
    return out;
}
inline KLVECTOR3* KLVec3Maximize(KLVECTOR3* out, const KLVECTOR3* a, const KLVECTOR3* b) {
    *out = {a->x > b->x ? a->x : b->x, a->y > b->y ? a->y : b->y, a->z > b->z ? a->z : b->z};
    return out;
}
inline KLVECTOR3* KLVec3Scale(KLVECTOR3* out, const KLVECTOR3* v, float s) {
    *out = {v->x * s, v->y * s, v->z * s};
    return out;
}
inline KLVECTOR3* KLVec3Lerp(KLVECTOR3* out, const KLVECTOR3* a, const KLVECTOR3* b, float s) {
    *out = {a->x + s * (b->x - a->x), a->y + s * (b->y - a->y), a->z + s * (b->z - a->z)};
    return out;
}

inline float KLVec4Length(const KLVECTOR4* v) {
    return std::sqrt(v->x * v->x + v->y * v->y + v->z * v->z + v->w * v->w);
}
inline float KLVec4LengthSq(const KLVECTOR4* v) { return v->x * v->x + v->y * v->y + v->z * v->z + v->w * v->w; }
inline float KLVec4Dot(const KLVECTOR4* a, const KLVECTOR4* b) {
    return a->x * b->x + a->y * b->y + a->z * b->z + a->w * b->w;
}
inline KLVECTOR4* KLVec4Add(KLVECTOR4* out, const KLVECTOR4* a, const KLVECTOR4* b) {
    *out = {a->x + b->x, a->y + b->y, a->z + b->z, a->w + b->w};
    return out;
}
inline KLVECTOR4* KLVec4Subtract(KLVECTOR4* out, const KLVECTOR4* a, const KLVECTOR4* b) {
    *out = {a->x - b->x, a->y - b->y, a->z - b->z, a->w - b->w};
    return out;
}
inline KLVECTOR4* KLVec4Minimize(KLVECTOR4* out, const KLVECTOR4* a, const KLVECTOR4* b) {
    *out = {a->x < b->x ? a->x : b->x, a->y < b->y ? a->y : b->y, a->z < b->z ? a->z : b->z,
            a->w < b->w ? a->w : b->w};
    return out;
}
inline KLVECTOR4* KLVec4Maximize(KLVECTOR4* out, const KLVECTOR4* a, const KLVECTOR4* b) {
    *out = {a->x > b->x ? a->x : b->x, a->y > b->y ? a->y : b->y, a->z > b->z ? a->z : b->z,
            a->w > b->w ? a->w : b->w};
    return out;
}
inline KLVECTOR4* KLVec4Scale(KLVECTOR4* out, const KLVECTOR4* v, float s) {
    *out = {v->x * s, v->y * s, v->z * s, v->w * s};
    return out;
}
inline KLVECTOR4* KLVec4Lerp(KLVECTOR4* out, const KLVECTOR4* a, const KLVECTOR4* b, float s) {
    *out = {a->x + s * (b->x - a->x), a->y + s * (b->y - a->y), a->z + s * (b->z - a->z), a->w + s * (b->w - a->w)};
    return out;
}

inline KLMATRIX* KLMatrixIdentity(KLMATRIX* out) {
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) out->m[r][c] = r == c ? 1.0f : 0.0f;
    return out;
}
inline bool KLMatrixIsIdentity(const KLMATRIX* m) {
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            if (m->m[r][c] != (r == c ? 1.0f : 0.0f)) return false;
    return true;
}

inline float KLQuaternionLength(const KLQUATERNION* q) {
    return std::sqrt(q->x * q->x + q->y * q->y + q->z * q->z + q->w * q->w);
}
inline float KLQuaternionLengthSq(const KLQUATERNION* q) {
    return q->x * q->x + q->y * q->y + q->z * q->z + q->w * q->w;
}
inline float KLQuaternionDot(const KLQUATERNION* a, const KLQUATERNION* b) {
    return a->x * b->x + a->y * b->y + a->z * b->z + a->w * b->w;
}
inline KLQUATERNION* KLQuaternionIdentity(KLQUATERNION* out) {
    *out = {0.0f, 0.0f, 0.0f, 1.0f};
    return out;
}
inline bool KLQuaternionIsIdentity(const KLQUATERNION* q) {
    return q->x == 0.0f && q->y == 0.0f && q->z == 0.0f && q->w == 1.0f;
}
inline KLQUATERNION* KLQuaternionConjugate(KLQUATERNION* out, const KLQUATERNION* q) {
    *out = {-q->x, -q->y, -q->z, q->w};
    return out;
}

inline float KLPlaneDot(const KLPLANE* p, const KLVECTOR4* v) {
    return p->a * v->x + p->b * v->y + p->c * v->z + p->d * v->w;
}
inline float KLPlaneDotCoord(const KLPLANE* p, const KLVECTOR3* v) {
    return p->a * v->x + p->b * v->y + p->c * v->z + p->d;
}
inline float KLPlaneDotNormal(const KLPLANE* p, const KLVECTOR3* v) {
    return p->a * v->x + p->b * v->y + p->c * v->z;
}
inline KLPLANE* KLPlaneScale(KLPLANE* out, const KLPLANE* p, float s) {
    *out = {p->a * s, p->b * s, p->c * s, p->d * s};
    return out;
}

inline KLCOLOR* KLColorNegative(KLCOLOR* out, const KLCOLOR* c) {
    *out = {1.0f - c->r, 1.0f - c->g, 1.0f - c->b, c->a};
    return out;
}
inline KLCOLOR* KLColorAdd(KLCOLOR* out, const KLCOLOR* a, const KLCOLOR* b) {
    *out = {a->r + b->r, a->g + b->g, a->b + b->b, a->a + b->a};
    return out;
}
inline KLCOLOR* KLColorSubtract(KLCOLOR* out, const KLCOLOR* a, const KLCOLOR* b) {
    *out = {a->r - b->r, a->g - b->g, a->b - b->b, a->a - b->a};
    return out;
}
inline KLCOLOR* KLColorScale(KLCOLOR* out, const KLCOLOR* c, float s) {
    *out = {c->r * s, c->g * s, c->b * s, c->a * s};
    return out;
}
inline KLCOLOR* KLColorModulate(KLCOLOR* out, const KLCOLOR* a, const KLCOLOR* b) {
    *out = {a->r * b->r, a->g * b->g, a->b * b->b, a->a * b->a};
    return out;
}
inline KLCOLOR* KLColorLerp(KLCOLOR* out, const KLCOLOR* a, const KLCOLOR* b, float s) {
    *out = {a->r + s * (b->r - a->r), a->g + s * (b->g - a->g), a->b + s * (b->b - a->b), a->a + s * (b->a - a->a)};
    return out;
}
