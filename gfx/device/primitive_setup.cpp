// Triangle setup: clipping in clip space (near and far planes, and a guard
// band far outside the viewport so that ordinary triangles are never cut),
// projection to the viewport, culling, and the fixed-point edge functions and
// interpolation planes the rasteriser evaluates.
//
// Rasterisation rules: pixel (x, y) is sampled at its integer coordinates
// (x, y) in viewport space; positions are snapped to 1/256 pixel; a pixel
// exactly on an edge belongs to the triangle only for top and left edges.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "gfx/device/pipeline.h"

namespace gfx {
namespace {

constexpr int kSubPixelBits = 8;
constexpr float kSubPixel = float(1 << kSubPixelBits);
// Guard band, as a multiple of the viewport half-extent.
constexpr float kGuardBand = 16.f;
// Largest screen coordinate accepted for pretransformed vertices.
constexpr float kMaxScreen = float(1 << 20);
constexpr int kMaxClipVertices = 3 + 6;

// Signed distances of a vertex to the six clip planes (inside when >= 0).
void PlaneDistances(const float p[4], float d[6]) {
    d[0] = p[2];                        // near: z >= 0
    d[1] = p[3] - p[2];                 // far: z <= w
    d[2] = p[0] + kGuardBand * p[3];    // left
    d[3] = kGuardBand * p[3] - p[0];    // right
    d[4] = p[1] + kGuardBand * p[3];    // bottom
    d[5] = kGuardBand * p[3] - p[1];    // top
}

void Lerp(const ClipVertex& a, const ClipVertex& b, float t, int attrCount, ClipVertex* out) {
    for (int c = 0; c < 4; ++c) out->pos[c] = a.pos[c] + (b.pos[c] - a.pos[c]) * t;
    for (int i = 0; i < attrCount; ++i) {
        for (int c = 0; c < 4; ++c) out->attr[i][c] = a.attr[i][c] + (b.attr[i][c] - a.attr[i][c]) * t;
    }
}

struct ScreenVertex {
    int64_t X, Y;  // 24.8 fixed point
    float z, invW;
    const ClipVertex* v;
};

bool Project(const DrawState& s, const ClipVertex& v, ScreenVertex* out) {
    float sx, sy, sz, invW;
    if (s.pretransformed) {
        sx = v.pos[0];
        sy = v.pos[1];
        sz = v.pos[2];
        invW = (v.pos[3] > 0.f && std::isfinite(v.pos[3])) ? v.pos[3] : 1.f;
    } else {
        if (!(v.pos[3] > 1e-20f)) return false;
        invW = 1.f / v.pos[3];
        const D3DVIEWPORT9& vp = s.viewport;
        sx = float(vp.X) + (1.f + v.pos[0] * invW) * float(vp.Width) * 0.5f;
        sy = float(vp.Y) + (1.f - v.pos[1] * invW) * float(vp.Height) * 0.5f;
        sz = vp.MinZ + v.pos[2] * invW * (vp.MaxZ - vp.MinZ);
    }
    if (!(std::fabs(sx) < kMaxScreen && std::fabs(sy) < kMaxScreen) || !std::isfinite(sz)) return false;
    out->X = std::llrint(double(sx) * kSubPixel);
    out->Y = std::llrint(double(sy) * kSubPixel);
    out->z = sz;
    out->invW = invW;
    out->v = &v;
    return true;
}

int64_t CeilDiv(int64_t a, int64_t b) { return a >= 0 ? (a + b - 1) / b : -((-a) / b); }
int64_t FloorDiv(int64_t a, int64_t b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }

void Plane(float f0, float f1, float f2, float e1x, float e1y, float e2x, float e2y, float invDet, float p[3]) {
    p[0] = f0;
    p[1] = ((f1 - f0) * e2y - (f2 - f0) * e1y) * invDet;
    p[2] = ((f2 - f0) * e1x - (f1 - f0) * e2x) * invDet;
}

void EmitTriangle(const DrawState& s, const ClipVertex& provoking, const ClipVertex& a, const ClipVertex& b,
                  const ClipVertex& c, std::vector<TriangleSetup>* out) {
    ScreenVertex v[3];
    if (!Project(s, a, &v[0]) || !Project(s, b, &v[1]) || !Project(s, c, &v[2])) return;
    int64_t area = (v[1].X - v[0].X) * (v[2].Y - v[0].Y) - (v[2].X - v[0].X) * (v[1].Y - v[0].Y);
    if (area == 0) return;
    // Clockwise on screen (positive area, y down) is the front face.
    bool back = area < 0;
    if ((s.cullMode == D3DCULL_CW && !back) || (s.cullMode == D3DCULL_CCW && back)) return;
    if (back) {
        std::swap(v[1], v[2]);
        area = -area;
    }
    TriangleSetup t;
    t.backFace = back;
    int64_t minX = std::min({v[0].X, v[1].X, v[2].X}), maxX = std::max({v[0].X, v[1].X, v[2].X});
    int64_t minY = std::min({v[0].Y, v[1].Y, v[2].Y}), maxY = std::max({v[0].Y, v[1].Y, v[2].Y});
    int64_t px0 = std::max<int64_t>(CeilDiv(minX, 1 << kSubPixelBits), s.clip.left);
    int64_t px1 = std::min<int64_t>(FloorDiv(maxX, 1 << kSubPixelBits), s.clip.right - 1);
    int64_t py0 = std::max<int64_t>(CeilDiv(minY, 1 << kSubPixelBits), s.clip.top);
    int64_t py1 = std::min<int64_t>(FloorDiv(maxY, 1 << kSubPixelBits), s.clip.bottom - 1);
    if (px0 > px1 || py0 > py1) return;
    t.minX = int(px0);
    t.maxX = int(px1);
    t.minY = int(py0);
    t.maxY = int(py1);
    for (int i = 0; i < 3; ++i) {
        const ScreenVertex& p = v[i];
        const ScreenVertex& q = v[(i + 1) % 3];
        int64_t dx = q.X - p.X, dy = q.Y - p.Y;
        bool topLeft = dy < 0 || (dy == 0 && dx > 0);
        t.edgeA[i] = -dy * (1 << kSubPixelBits);
        t.edgeB[i] = dx * (1 << kSubPixelBits);
        t.edgeC[i] = p.X * dy - p.Y * dx - (topLeft ? 0 : 1);
    }
    t.x0 = float(v[0].X) / kSubPixel;
    t.y0 = float(v[0].Y) / kSubPixel;
    float e1x = float(v[1].X - v[0].X) / kSubPixel, e1y = float(v[1].Y - v[0].Y) / kSubPixel;
    float e2x = float(v[2].X - v[0].X) / kSubPixel, e2y = float(v[2].Y - v[0].Y) / kSubPixel;
    float invDet = 1.f / (e1x * e2y - e2x * e1y);
    Plane(v[0].z, v[1].z, v[2].z, e1x, e1y, e2x, e2y, invDet, t.z);
    if (s.depthBias != 0.f || s.slopeBias != 0.f) {
        t.z[0] += s.depthBias + s.slopeBias * std::max(std::fabs(t.z[1]), std::fabs(t.z[2]));
    }
    Plane(v[0].invW, v[1].invW, v[2].invW, e1x, e1y, e2x, e2y, invDet, t.invW);
    for (int i = 0; i < s.varyings.count; ++i) {
        bool flat = s.flatShading && s.varyings.items[i].color;
        for (int c = 0; c < 4; ++c) {
            if (flat) {
                float k = provoking.attr[i][c];
                for (int j = 0; j < 3; ++j) t.attr[i][c][j] = k * t.invW[j];
            } else {
                Plane(v[0].v->attr[i][c] * v[0].invW, v[1].v->attr[i][c] * v[1].invW,
                      v[2].v->attr[i][c] * v[2].invW, e1x, e1y, e2x, e2y, invDet, t.attr[i][c]);
            }
        }
    }
    out->push_back(t);
}

}  // namespace

void SetupTriangles(const DrawState& state, const std::vector<ClipVertex>& vertices, const uint32_t* triangles,
                    size_t triangleCount, std::vector<TriangleSetup>* out) {
    out->clear();
    out->reserve(triangleCount);
    int attrCount = state.varyings.count;
    ClipVertex bufA[kMaxClipVertices], bufB[kMaxClipVertices];
    for (size_t t = 0; t < triangleCount; ++t) {
        const ClipVertex& a = vertices[triangles[3 * t]];
        const ClipVertex& b = vertices[triangles[3 * t + 1]];
        const ClipVertex& c = vertices[triangles[3 * t + 2]];
        if (state.pretransformed) {
            EmitTriangle(state, a, a, b, c, out);
            continue;
        }
        float d[3][6];
        PlaneDistances(a.pos, d[0]);
        PlaneDistances(b.pos, d[1]);
        PlaneDistances(c.pos, d[2]);
        int outsideAny = 0;
        bool rejected = false;
        for (int p = 0; p < 6; ++p) {
            int outside = (d[0][p] < 0) + (d[1][p] < 0) + (d[2][p] < 0);
            if (outside == 3) rejected = true;
            if (outside) outsideAny |= 1 << p;
        }
        // NaN positions fail every comparison above; drop them here.
        if (rejected || !std::isfinite(a.pos[3] + b.pos[3] + c.pos[3])) continue;
        if (!outsideAny) {
            EmitTriangle(state, a, a, b, c, out);
            continue;
        }
        // Sutherland-Hodgman against each plane that cuts the triangle.
        ClipVertex* in = bufA;
        ClipVertex* next = bufB;
        in[0] = a;
        in[1] = b;
        in[2] = c;
        int n = 3;
        for (int p = 0; p < 6 && n >= 3; ++p) {
            if (!(outsideAny >> p & 1)) continue;
            int m = 0;
            for (int i = 0; i < n; ++i) {
                const ClipVertex& cur = in[i];
                const ClipVertex& nxt = in[(i + 1) % n];
                float dc[6], dn[6];
                PlaneDistances(cur.pos, dc);
                PlaneDistances(nxt.pos, dn);
                if (dc[p] >= 0 && m < kMaxClipVertices) next[m++] = cur;
                if ((dc[p] >= 0) != (dn[p] >= 0) && m < kMaxClipVertices) {
                    Lerp(cur, nxt, dc[p] / (dc[p] - dn[p]), attrCount, &next[m++]);
                }
            }
            std::swap(in, next);
            n = m;
        }
        for (int i = 1; i + 1 < n; ++i) EmitTriangle(state, a, in[0], in[i], in[i + 1], out);
    }
}

}  // namespace gfx
