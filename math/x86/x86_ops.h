// The x86 variants (slots 0-7 and 34), usable on any x86 processor: single
// precision throughout, with the normalisation's scale factor taken from the
// segment table instead of a division and a square root.
#pragma once

#include "math/klmath.h"

namespace klmath::x86 {

KLVECTOR4* Vec2Transform(KLVECTOR4* out, const KLVECTOR2* v, const KLMATRIX* m);
KLVECTOR4* Vec3Transform(KLVECTOR4* out, const KLVECTOR3* v, const KLMATRIX* m);
// Also the plane transform: a plane is transformed like a 4-vector.
KLVECTOR4* Vec4Transform(KLVECTOR4* out, const KLVECTOR4* v, const KLMATRIX* m);
KLPLANE* PlaneTransform(KLPLANE* out, const KLPLANE* p, const KLMATRIX* m);
KLMATRIX* MatrixMultiply(KLMATRIX* out, const KLMATRIX* a, const KLMATRIX* b);
KLMATRIX* MatrixMultiplyTranspose(KLMATRIX* out, const KLMATRIX* a, const KLMATRIX* b);
KLVECTOR2* Vec2TransformNormal(KLVECTOR2* out, const KLVECTOR2* v, const KLMATRIX* m);
KLVECTOR3* Vec3TransformNormal(KLVECTOR3* out, const KLVECTOR3* v, const KLMATRIX* m);
KLVECTOR3* Vec3Normalize(KLVECTOR3* out, const KLVECTOR3* v);

}  // namespace klmath::x86
