// The vertex of every effect, the quad record built from four of them, and
// their vertex declaration.
#pragma once

#include "gfx/d3d9.h"
#include "math/klmath.h"

// 56 bytes: centre of the quad, corner offset, corner colour, texture
// coordinates, the quad's motion vector and its animation times.
class cVertex {
public:
    cVertex() {}
    // Note the argument order differs from the field order.
    cVertex(const KLVECTOR3& position, const KLVECTOR3& offset, const KLVECTOR3& velocity, D3DCOLOR color, float tu,
            float tv, float timeOffset, float lifeTime)
        : position(position), offset(offset), color(color), tu(tu), tv(tv), velocity(velocity),
          timeOffset(timeOffset), lifeTime(lifeTime) {}

    KLVECTOR3 position;  // POSITION
    KLVECTOR3 offset;    // TEXCOORD0
    D3DCOLOR color;      // COLOR0
    float tu, tv;        // TEXCOORD1
    KLVECTOR3 velocity;  // TEXCOORD2
    float timeOffset, lifeTime;  // TEXCOORD3
};
static_assert(sizeof(cVertex) == 56, "cVertex is the 56-byte layout of the vertex declaration");

struct sPolygon {
    sPolygon() {}
    KLVECTOR3 position;
    KLVECTOR3 velocity;
    cVertex vertices[4];
};

// The declaration of cVertex, stream 0.
extern const D3DVERTEXELEMENT9 VertexFVF[7];

// Colour and texture coordinates of the four corners of every quad: the
// corner colours carry alpha 0.
struct QuadCorner {
    D3DCOLOR color;
    float tu, tv;
};
extern const QuadCorner kQuadCorners[4];

// Every quad draws triangles (0, 1, 2) and (1, 3, 2) of its four vertices.
extern const WORD kQuadIndices[6];
