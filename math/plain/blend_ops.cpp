// Plain variants: vertex blending with a matrix palette and curved-triangle
// (N-patch) tessellation.
#include <cmath>

#include "math/blend_args.h"
#include "math/plain/extended.h"
#include "math/plain/plain_ops.h"

namespace klmath::plain {
namespace {

struct V3 {
    ext x, y, z;
};
V3 L(const KLVECTOR3& v) { return {v.x, v.y, v.z}; }
V3 operator+(V3 a, V3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
V3 operator-(V3 a, V3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
V3 operator*(ext k, V3 a) { return {k * a.x, k * a.y, k * a.z}; }
ext Dot(V3 a, V3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
KLVECTOR3 F(V3 a) { return {float(a.x), float(a.y), float(a.z)}; }

KLVECTOR3 Unit(V3 a) {
    KLVECTOR3 v = F(a), n;
    KLVec3Normalize(&n, &v);
    return n;
}

}  // namespace

KLVECTOR3* Vec3BlendArray(KLVECTOR3* out, UINT outStride, const KLVECTOR3* v, UINT vStride, const float* weights,
                          UINT weightStride, UINT weightsPerVertex, const BYTE* indices, UINT indexStride,
                          const KLMATRIX* palette, UINT paletteSize, UINT n) {
    if (!BlendArgumentsValid(out, v, weights, weightsPerVertex, indices, indexStride, palette, paletteSize, n))
        return nullptr;
    for (UINT i = 0; i < n; ++i) {
        KLVECTOR3 p = LoadAt<KLVECTOR3>(v, vStride, i);
        ext w[kMaxBlendWeights + 1];
        ext rest = 1;
        for (UINT j = 0; j < weightsPerVertex; ++j) {
            w[j] = LoadAtOffset<float>(weights, size_t(i) * weightStride + j * sizeof(float));
            rest -= w[j];
        }
        w[weightsPerVertex] = rest;
        V3 sum{0, 0, 0};
        for (UINT j = 0; j <= weightsPerVertex; ++j) {
            const KLMATRIX& m = palette[indices ? indices[static_cast<size_t>(i) * indexStride + j] : j];
            V3 t{p.x * ext(m._11) + p.y * ext(m._21) + p.z * ext(m._31) + m._41,
                 p.x * ext(m._12) + p.y * ext(m._22) + p.z * ext(m._32) + m._42,
                 p.x * ext(m._13) + p.y * ext(m._23) + p.z * ext(m._33) + m._43};
            sum = sum + w[j] * t;
        }
        StoreAt(out, outStride, i, F(sum));
    }
    return out;
}

KLVECTOR3* TessellateNPatchTriangle(KLVECTOR3* outPositions, KLVECTOR3* outNormals, const KLVECTOR3* p,
                                    const KLVECTOR3* nrm, UINT segments) {
    if (!NPatchArgumentsValid(outPositions, outNormals, p, nrm, segments)) return nullptr;
    V3 P[3] = {L(p[0]), L(p[1]), L(p[2])};
    V3 N[3] = {L(nrm[0]), L(nrm[1]), L(nrm[2])};
    // Edge control point near corner i on the edge towards corner j: the
    // third point of the edge, projected into the tangent plane at i.
    auto edge = [&](int i, int j) { return (1.0L / 3) * (2 * P[i] + P[j] - Dot(P[j] - P[i], N[i]) * N[i]); };
    V3 b210 = edge(0, 1), b120 = edge(1, 0), b021 = edge(1, 2), b012 = edge(2, 1), b102 = edge(2, 0),
       b201 = edge(0, 2);
    V3 e = (1.0L / 6) * (b210 + b120 + b021 + b012 + b102 + b201);
    V3 c = (1.0L / 3) * (P[0] + P[1] + P[2]);
    V3 b111 = e + 0.5L * (e - c);
    // Mid-edge normals, reflected across the plane perpendicular to the edge.
    auto midNormal = [&](int i, int j) {
        V3 d = P[j] - P[i];
        ext len2 = Dot(d, d);
        ext k = len2 > 0 ? 2 * Dot(d, N[i] + N[j]) / len2 : 0;
        return L(Unit(N[i] + N[j] - k * d));
    };
    V3 n110 = midNormal(0, 1), n011 = midNormal(1, 2), n101 = midNormal(2, 0);
    UINT k = 0;
    for (UINT row = 0; row <= segments; ++row) {
        for (UINT col = 0; col <= row; ++col, ++k) {
            ext u = ext(row - col) / segments, v = ext(col) / segments, w = 1 - u - v;
            V3 pos = (w * w * w) * P[0] + (u * u * u) * P[1] + (v * v * v) * P[2] + (3 * w * w * u) * b210 +
                     (3 * w * u * u) * b120 + (3 * w * w * v) * b201 + (3 * u * u * v) * b021 +
                     (3 * w * v * v) * b102 + (3 * u * v * v) * b012 + (6 * w * u * v) * b111;
            V3 nn = (w * w) * N[0] + (u * u) * N[1] + (v * v) * N[2] + (w * u) * n110 + (u * v) * n011 +
                    (w * v) * n101;
            outPositions[k] = F(pos);
            outNormals[k] = Unit(nn);
        }
    }
    return outPositions;
}

}  // namespace klmath::plain
