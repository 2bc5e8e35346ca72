// Argument checks shared by every variant of vertex blending and N-patch
// tessellation, so that all of them refuse the same calls before writing.
#pragma once

#include "math/klmath.h"

namespace klmath {

constexpr UINT kMaxBlendWeights = 3;
// Tessellation beyond this many segments per edge is refused: the output would
// exceed 33 000 points per triangle, far past any use for curved triangles.
constexpr UINT kMaxNPatchSegments = 256;

inline bool BlendArgumentsValid(const KLVECTOR3* out, const KLVECTOR3* v, const float* weights,
                                UINT weightsPerVertex, const BYTE* indices, UINT indexStride,
                                const KLMATRIX* palette, UINT paletteSize, UINT n) {
    if (n == 0) return out != nullptr;
    if (!out || !v || !palette || weightsPerVertex > kMaxBlendWeights) return false;
    if (weightsPerVertex > 0 && !weights) return false;
    UINT matrices = weightsPerVertex + 1;
    if (!indices) return matrices <= paletteSize;
    for (UINT i = 0; i < n; ++i)
        for (UINT j = 0; j < matrices; ++j)
            if (indices[static_cast<size_t>(i) * indexStride + j] >= paletteSize) return false;
    return true;
}

inline bool NPatchArgumentsValid(const KLVECTOR3* outPositions, const KLVECTOR3* outNormals, const KLVECTOR3* p,
                                 const KLVECTOR3* nrm, UINT segments) {
    return outPositions && outNormals && p && nrm && segments > 0 && segments <= kMaxNPatchSegments;
}

}  // namespace klmath
