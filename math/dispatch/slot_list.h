// The 71 dispatched operations in slot order: X(slot, name, return type,
// (parameters), (arguments)). The public entry of each is KL<name>.
#pragma once

#include "math/klmath.h"

#define KL_VEC_ARRAY_PARAMS(OUT, IN) (OUT* out, UINT outStride, const IN* v, UINT vStride, const KLMATRIX* m, UINT n)
#define KL_VEC_ARRAY_ARGS (out, outStride, v, vStride, m, n)
#define KL_PROJECT_ARRAY_PARAMS                                                                          \
    (KLVECTOR3 * out, UINT outStride, const KLVECTOR3* v, UINT vStride, const KLVIEWPORT9* viewport, \
     const KLMATRIX* projection, const KLMATRIX* view, const KLMATRIX* world, UINT n)
#define KL_PROJECT_ARRAY_ARGS (out, outStride, v, vStride, viewport, projection, view, world, n)

#define KL_MATH_SLOTS(X)                                                                                           \
    X(0, Vec2Transform, KLVECTOR4*, (KLVECTOR4 * out, const KLVECTOR2* v, const KLMATRIX* m), (out, v, m))         \
    X(1, Vec3Transform, KLVECTOR4*, (KLVECTOR4 * out, const KLVECTOR3* v, const KLMATRIX* m), (out, v, m))         \
    X(2, Vec4Transform, KLVECTOR4*, (KLVECTOR4 * out, const KLVECTOR4* v, const KLMATRIX* m), (out, v, m))         \
    X(3, MatrixMultiply, KLMATRIX*, (KLMATRIX * out, const KLMATRIX* a, const KLMATRIX* b), (out, a, b))           \
    X(4, MatrixMultiplyTranspose, KLMATRIX*, (KLMATRIX * out, const KLMATRIX* a, const KLMATRIX* b), (out, a, b))  \
    X(5, Vec2TransformNormal, KLVECTOR2*, (KLVECTOR2 * out, const KLVECTOR2* v, const KLMATRIX* m), (out, v, m))   \
    X(6, Vec3TransformNormal, KLVECTOR3*, (KLVECTOR3 * out, const KLVECTOR3* v, const KLMATRIX* m), (out, v, m))   \
    X(7, Vec3Normalize, KLVECTOR3*, (KLVECTOR3 * out, const KLVECTOR3* v), (out, v))                               \
    X(8, Vec4Normalize, KLVECTOR4*, (KLVECTOR4 * out, const KLVECTOR4* v), (out, v))                               \
    X(9, Vec2TransformCoord, KLVECTOR2*, (KLVECTOR2 * out, const KLVECTOR2* v, const KLMATRIX* m), (out, v, m))    \
    X(10, Vec3TransformCoord, KLVECTOR3*, (KLVECTOR3 * out, const KLVECTOR3* v, const KLMATRIX* m), (out, v, m))   \
    X(11, MatrixDeterminant, float, (const KLMATRIX* m), (m))                                                      \
    X(12, PlaneFromPointNormal, KLPLANE*, (KLPLANE * out, const KLVECTOR3* point, const KLVECTOR3* normal),        \
      (out, point, normal))                                                                                        \
    X(13, PlaneFromPoints, KLPLANE*,                                                                               \
      (KLPLANE * out, const KLVECTOR3* v1, const KLVECTOR3* v2, const KLVECTOR3* v3), (out, v1, v2, v3))           \
    X(14, Vec3Project, KLVECTOR3*,                                                                                 \
      (KLVECTOR3 * out, const KLVECTOR3* v, const KLVIEWPORT9* viewport, const KLMATRIX* projection,               \
       const KLMATRIX* view, const KLMATRIX* world),                                                               \
      (out, v, viewport, projection, view, world))                                                                 \
    X(15, Vec3Unproject, KLVECTOR3*,                                                                               \
      (KLVECTOR3 * out, const KLVECTOR3* v, const KLVIEWPORT9* viewport, const KLMATRIX* projection,               \
       const KLMATRIX* view, const KLMATRIX* world),                                                               \
      (out, v, viewport, projection, view, world))                                                                 \
    X(16, Vec4Cross, KLVECTOR4*, (KLVECTOR4 * out, const KLVECTOR4* a, const KLVECTOR4* b, const KLVECTOR4* c),    \
      (out, a, b, c))                                                                                              \
    X(17, Vec2Hermite, KLVECTOR2*,                                                                                 \
      (KLVECTOR2 * out, const KLVECTOR2* v1, const KLVECTOR2* t1, const KLVECTOR2* v2, const KLVECTOR2* t2,        \
       float s),                                                                                                   \
      (out, v1, t1, v2, t2, s))                                                                                    \
    X(18, MatrixInverse, KLMATRIX*, (KLMATRIX * out, float* determinant, const KLMATRIX* m),                       \
      (out, determinant, m))                                                                                       \
    X(19, QuaternionMultiply, KLQUATERNION*,                                                                       \
      (KLQUATERNION * out, const KLQUATERNION* q1, const KLQUATERNION* q2), (out, q1, q2))                         \
    X(20, QuaternionNormalize, KLQUATERNION*, (KLQUATERNION * out, const KLQUATERNION* q), (out, q))               \
    X(21, PlaneNormalize, KLPLANE*, (KLPLANE * out, const KLPLANE* p), (out, p))                                   \
    X(22, PlaneIntersectLine, KLVECTOR3*,                                                                          \
      (KLVECTOR3 * out, const KLPLANE* p, const KLVECTOR3* v1, const KLVECTOR3* v2), (out, p, v1, v2))             \
    X(23, QuaternionToAxisAngle, void, (const KLQUATERNION* q, KLVECTOR3* axis, float* angle), (q, axis, angle))   \
    X(24, QuaternionRotationMatrix, KLQUATERNION*, (KLQUATERNION * out, const KLMATRIX* m), (out, m))              \
    X(25, QuaternionRotationYawPitchRoll, KLQUATERNION*, (KLQUATERNION * out, float yaw, float pitch, float roll), \
      (out, yaw, pitch, roll))                                                                                     \
    X(26, MatrixTranslation, KLMATRIX*, (KLMATRIX * out, float x, float y, float z), (out, x, y, z))               \
    X(27, MatrixShadow, KLMATRIX*, (KLMATRIX * out, const KLVECTOR4* light, const KLPLANE* plane),                 \
      (out, light, plane))                                                                                         \
    X(28, MatrixReflect, KLMATRIX*, (KLMATRIX * out, const KLPLANE* plane), (out, plane))                          \
    X(29, QuaternionRotationAxis, KLQUATERNION*, (KLQUATERNION * out, const KLVECTOR3* axis, float angle),         \
      (out, axis, angle))                                                                                          \
    X(30, MatrixRotationX, KLMATRIX*, (KLMATRIX * out, float angle), (out, angle))                                 \
    X(31, MatrixRotationY, KLMATRIX*, (KLMATRIX * out, float angle), (out, angle))                                 \
    X(32, MatrixRotationZ, KLMATRIX*, (KLMATRIX * out, float angle), (out, angle))                                 \
    X(33, MatrixScaling, KLMATRIX*, (KLMATRIX * out, float sx, float sy, float sz), (out, sx, sy, sz))             \
    X(34, PlaneTransform, KLPLANE*, (KLPLANE * out, const KLPLANE* p, const KLMATRIX* m), (out, p, m))             \
    X(35, QuaternionSlerp, KLQUATERNION*,                                                                          \
      (KLQUATERNION * out, const KLQUATERNION* q1, const KLQUATERNION* q2, float t), (out, q1, q2, t))             \
    X(36, QuaternionBaryCentric, KLQUATERNION*,                                                                    \
      (KLQUATERNION * out, const KLQUATERNION* q1, const KLQUATERNION* q2, const KLQUATERNION* q3, float f,        \
       float g),                                                                                                   \
      (out, q1, q2, q3, f, g))                                                                                     \
    X(37, MatrixTranspose, KLMATRIX*, (KLMATRIX * out, const KLMATRIX* m), (out, m))                               \
    X(38, MatrixRotationQuaternion, KLMATRIX*, (KLMATRIX * out, const KLQUATERNION* q), (out, q))                  \
    X(39, MatrixTransformation, KLMATRIX*,                                                                         \
      (KLMATRIX * out, const KLVECTOR3* scalingCenter, const KLQUATERNION* scalingRotation,                        \
       const KLVECTOR3* scaling, const KLVECTOR3* rotationCenter, const KLQUATERNION* rotation,                    \
       const KLVECTOR3* translation),                                                                              \
      (out, scalingCenter, scalingRotation, scaling, rotationCenter, rotation, translation))                       \
    X(40, MatrixRotationYawPitchRoll, KLMATRIX*, (KLMATRIX * out, float yaw, float pitch, float roll),             \
      (out, yaw, pitch, roll))                                                                                     \
    X(41, MatrixAffineTransformation, KLMATRIX*,                                                                   \
      (KLMATRIX * out, float scaling, const KLVECTOR3* rotationCenter, const KLQUATERNION* rotation,               \
       const KLVECTOR3* translation),                                                                              \
      (out, scaling, rotationCenter, rotation, translation))                                                       \
    X(42, MatrixRotationAxis, KLMATRIX*, (KLMATRIX * out, const KLVECTOR3* axis, float angle), (out, axis, angle)) \
    X(43, QuaternionSquad, KLQUATERNION*,                                                                          \
      (KLQUATERNION * out, const KLQUATERNION* q1, const KLQUATERNION* a, const KLQUATERNION* b,                   \
       const KLQUATERNION* c, float t),                                                                            \
      (out, q1, a, b, c, t))                                                                                       \
    X(44, QuaternionInverse, KLQUATERNION*, (KLQUATERNION * out, const KLQUATERNION* q), (out, q))                 \
    X(45, QuaternionSquadSetup, void,                                                                              \
      (KLQUATERNION * aOut, KLQUATERNION* bOut, KLQUATERNION* cOut, const KLQUATERNION* q0,                        \
       const KLQUATERNION* q1, const KLQUATERNION* q2, const KLQUATERNION* q3),                                    \
      (aOut, bOut, cOut, q0, q1, q2, q3))                                                                          \
    X(46, Vec2Normalize, KLVECTOR2*, (KLVECTOR2 * out, const KLVECTOR2* v), (out, v))                              \
    X(47, Vec2CatmullRom, KLVECTOR2*,                                                                              \
      (KLVECTOR2 * out, const KLVECTOR2* v0, const KLVECTOR2* v1, const KLVECTOR2* v2, const KLVECTOR2* v3,        \
       float s),                                                                                                   \
      (out, v0, v1, v2, v3, s))                                                                                    \
    X(48, Vec2BaryCentric, KLVECTOR2*,                                                                             \
      (KLVECTOR2 * out, const KLVECTOR2* v1, const KLVECTOR2* v2, const KLVECTOR2* v3, float f, float g),          \
      (out, v1, v2, v3, f, g))                                                                                     \
    X(49, Vec3Hermite, KLVECTOR3*,                                                                                 \
      (KLVECTOR3 * out, const KLVECTOR3* v1, const KLVECTOR3* t1, const KLVECTOR3* v2, const KLVECTOR3* t2,        \
       float s),                                                                                                   \
      (out, v1, t1, v2, t2, s))                                                                                    \
    X(50, Vec3CatmullRom, KLVECTOR3*,                                                                              \
      (KLVECTOR3 * out, const KLVECTOR3* v0, const KLVECTOR3* v1, const KLVECTOR3* v2, const KLVECTOR3* v3,        \
       float s),                                                                                                   \
      (out, v0, v1, v2, v3, s))                                                                                    \
    X(51, Vec3BaryCentric, KLVECTOR3*,                                                                             \
      (KLVECTOR3 * out, const KLVECTOR3* v1, const KLVECTOR3* v2, const KLVECTOR3* v3, float f, float g),          \
      (out, v1, v2, v3, f, g))                                                                                     \
    X(52, Vec4Hermite, KLVECTOR4*,                                                                                 \
      (KLVECTOR4 * out, const KLVECTOR4* v1, const KLVECTOR4* t1, const KLVECTOR4* v2, const KLVECTOR4* t2,        \
       float s),                                                                                                   \
      (out, v1, t1, v2, t2, s))                                                                                    \
    X(53, Vec4CatmullRom, KLVECTOR4*,                                                                              \
      (KLVECTOR4 * out, const KLVECTOR4* v0, const KLVECTOR4* v1, const KLVECTOR4* v2, const KLVECTOR4* v3,        \
       float s),                                                                                                   \
      (out, v0, v1, v2, v3, s))                                                                                    \
    X(54, Vec4BaryCentric, KLVECTOR4*,                                                                             \
      (KLVECTOR4 * out, const KLVECTOR4* v1, const KLVECTOR4* v2, const KLVECTOR4* v3, float f, float g),          \
      (out, v1, v2, v3, f, g))                                                                                     \
    X(55, QuaternionLn, KLQUATERNION*, (KLQUATERNION * out, const KLQUATERNION* q), (out, q))                      \
    X(56, QuaternionExp, KLQUATERNION*, (KLQUATERNION * out, const KLQUATERNION* q), (out, q))                     \
    X(57, Float32To16Array, KLFLOAT16*, (KLFLOAT16 * out, const float* in, UINT n), (out, in, n))                  \
    X(58, Float16To32Array, float*, (float* out, const KLFLOAT16* in, UINT n), (out, in, n))                       \
    X(59, Vec2TransformArray, KLVECTOR4*, KL_VEC_ARRAY_PARAMS(KLVECTOR4, KLVECTOR2), KL_VEC_ARRAY_ARGS)             \
    X(60, Vec2TransformCoordArray, KLVECTOR2*, KL_VEC_ARRAY_PARAMS(KLVECTOR2, KLVECTOR2), KL_VEC_ARRAY_ARGS)        \
    X(61, Vec2TransformNormalArray, KLVECTOR2*, KL_VEC_ARRAY_PARAMS(KLVECTOR2, KLVECTOR2), KL_VEC_ARRAY_ARGS)       \
    X(62, Vec3TransformArray, KLVECTOR4*, KL_VEC_ARRAY_PARAMS(KLVECTOR4, KLVECTOR3), KL_VEC_ARRAY_ARGS)             \
    X(63, Vec3TransformCoordArray, KLVECTOR3*, KL_VEC_ARRAY_PARAMS(KLVECTOR3, KLVECTOR3), KL_VEC_ARRAY_ARGS)        \
    X(64, Vec3TransformNormalArray, KLVECTOR3*, KL_VEC_ARRAY_PARAMS(KLVECTOR3, KLVECTOR3), KL_VEC_ARRAY_ARGS)       \
    X(65, Vec4TransformArray, KLVECTOR4*, KL_VEC_ARRAY_PARAMS(KLVECTOR4, KLVECTOR4), KL_VEC_ARRAY_ARGS)             \
    X(66, Vec3ProjectArray, KLVECTOR3*, KL_PROJECT_ARRAY_PARAMS, KL_PROJECT_ARRAY_ARGS)                            \
    X(67, Vec3UnprojectArray, KLVECTOR3*, KL_PROJECT_ARRAY_PARAMS, KL_PROJECT_ARRAY_ARGS)                          \
    X(68, PlaneTransformArray, KLPLANE*,                                                                           \
      (KLPLANE * out, UINT outStride, const KLPLANE* v, UINT vStride, const KLMATRIX* m, UINT n),                  \
      KL_VEC_ARRAY_ARGS)                                                                                           \
    X(69, Vec3BlendArray, KLVECTOR3*,                                                                              \
      (KLVECTOR3 * out, UINT outStride, const KLVECTOR3* v, UINT vStride, const float* weights,                    \
       UINT weightStride, UINT weightsPerVertex, const BYTE* indices, UINT indexStride, const KLMATRIX* palette,   \
       UINT paletteSize, UINT n),                                                                                  \
      (out, outStride, v, vStride, weights, weightStride, weightsPerVertex, indices, indexStride, palette,         \
       paletteSize, n))                                                                                            \
    X(70, TessellateNPatchTriangle, KLVECTOR3*,                                                                    \
      (KLVECTOR3 * outPositions, KLVECTOR3* outNormals, const KLVECTOR3* p, const KLVECTOR3* nrm, UINT segments),  \
      (outPositions, outNormals, p, nrm, segments))
