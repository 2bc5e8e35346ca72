// Rasteriser.
//
// Tiled path (the default):
//
//   1. Binning. The render target is cut into 32 x 32 pixel tiles (small
//      enough to balance the threads where particles crowd one region). Every
//      set-up triangle is appended, in draw order, to the list of each tile
//      its bounding box touches.
//   2. Tiles are handed to the worker threads; a tile is owned by one thread,
//      which walks its triangle list in order, so blending and depth see
//      triangles in submission order without locks.
//   3. Within a tile, a triangle's bounding box is walked in 16 x 16 blocks,
//      and each block in 4 x 4 sub-blocks. At each level the three edge
//      functions are evaluated at the corners: a square entirely outside one
//      edge is skipped, a square entirely inside all three needs no per-pixel
//      test.
//   4. A 4 x 4 sub-block is four 2x2 quads: one batch of 16 lanes for the
//      pixel stage. Lane 4q + i is pixel i of quad q; the coverage mask has a
//      bit per lane. Empty quads are dropped before shading, so the pixel
//      stage always sees whole quads (for derivatives) and a mask.
//
//   tile 32x32 -> block 16x16 -> sub-block 4x4 (batch) -> quad 2x2 (+ mask)
//
// SSE2 paths of the pixel stage, taken on the tiled path only: the early
// depth test of 32-bit depth buffers (pixel_stage.cpp), bilinear sampling of
// one-level A8R8G8B8/X8R8G8B8 textures (texture_sampler.cpp), the
// texture-modulate stage (fixed_function.cpp) and the colour write for opaque
// and additive states into 32-bit targets (color_write_sse.cpp). Each repeats
// the plain loop's operations in the same order, so pixels stay identical.
//
// With compiled shaders, a batch whose quads lie inside the target and whose
// draw has a compiled pixel pipeline (see ChoosePipeline) runs through that
// one native routine from depth test to colour write, with the same results.
//
// Scalar path (the reference): one thread, triangles in order, every 2x2
// quad of the bounding box tested pixel by pixel with the same edge
// functions and shaded one quad at a time. Both paths evaluate coverage and
// every interpolated value with the same arithmetic per pixel, so they give
// identical pixels; tests hold them to that.
#include <algorithm>
#include <memory>
#include <vector>

#include "gfx/device/pipeline.h"
#include "gfx/device/thread_pool.h"

namespace gfx {
namespace {

constexpr int kTileSize = 32;
constexpr int kBlockSize = 16;
constexpr int kSubBlockSize = 4;

inline int64_t EdgeAt(const TriangleSetup& t, int e, int x, int y) {
    return t.edgeC[e] + t.edgeA[e] * x + t.edgeB[e] * y;
}

enum class Cover { Outside, Partial, Inside };

// Classifies the square of `size` pixels at (x, y) against the three edges.
Cover Classify(const TriangleSetup& t, int x, int y, int size) {
    bool inside = true;
    int64_t span = size - 1;
    for (int e = 0; e < 3; ++e) {
        int64_t corner = EdgeAt(t, e, x, y);
        int64_t a = t.edgeA[e] * span, b = t.edgeB[e] * span;
        int64_t maxE = corner + std::max<int64_t>(0, a) + std::max<int64_t>(0, b);
        int64_t minE = corner + std::min<int64_t>(0, a) + std::min<int64_t>(0, b);
        if (maxE < 0) return Cover::Outside;
        if (minE < 0) inside = false;
    }
    return inside ? Cover::Inside : Cover::Partial;
}

inline bool PixelInside(const TriangleSetup& t, int x, int y) {
    return x >= t.minX && x <= t.maxX && y >= t.minY && y <= t.maxY && EdgeAt(t, 0, x, y) >= 0 &&
           EdgeAt(t, 1, x, y) >= 0 && EdgeAt(t, 2, x, y) >= 0;
}

// Pixel offsets of lane 4q + i within a 4 x 4 sub-block.
constexpr int kQuadOffsetX[4] = {0, 2, 0, 2};
constexpr int kQuadOffsetY[4] = {0, 0, 2, 2};
constexpr int kPixelOffsetX[4] = {0, 1, 0, 1};
constexpr int kPixelOffsetY[4] = {0, 0, 1, 1};

// Lane 4q + i of a sub-block: pixel offsets from its top-left corner.
constexpr int kLaneX[16] = {0, 1, 0, 1, 2, 3, 2, 3, 0, 1, 0, 1, 2, 3, 2, 3};
constexpr int kLaneY[16] = {0, 0, 1, 1, 0, 0, 1, 1, 2, 2, 3, 3, 2, 2, 3, 3};

// The pixels of the 4 x 4 sub-block at (x, y) inside `t`, a bit per lane:
// the same tests as PixelInside, without branches, so the loops vectorise.
uint32_t SubBlockCoverage(const TriangleSetup& t, int x, int y) {
    uint32_t outside = 0;
    for (int e = 0; e < 3; ++e) {
        const int64_t corner = EdgeAt(t, e, x, y), a = t.edgeA[e], b = t.edgeB[e];
        for (int l = 0; l < 16; ++l) {
            outside |= uint32_t(uint64_t(corner + a * kLaneX[l] + b * kLaneY[l]) >> 63) << l;
        }
    }
    for (int l = 0; l < 16; ++l) {
        const int px = x + kLaneX[l], py = y + kLaneY[l];
        outside |= uint32_t((px < t.minX) | (px > t.maxX) | (py < t.minY) | (py > t.maxY)) << l;
    }
    return ~outside & 0xFFFF;
}

// Shades the covered quads of the 4 x 4 sub-block at (x, y).
void ShadeSubBlock(const DrawState& state, const TriangleSetup& t, int x, int y, bool fullyInside,
                   PixelScratch& scratch) {
    int quadX[kQuads], quadY[kQuads];
    uint32_t coverage = 0;
    int quads = 0;
    bool inBox = x >= t.minX && x + kSubBlockSize - 1 <= t.maxX && y >= t.minY && y + kSubBlockSize - 1 <= t.maxY;
    const uint32_t pixels = fullyInside && inBox ? 0xFFFFu : SubBlockCoverage(t, x, y);
    for (int q = 0; q < 4; ++q) {
        uint32_t mask = (pixels >> (4 * q)) & 0xF;
        if (!mask) continue;
        quadX[quads] = x + kQuadOffsetX[q];
        quadY[quads] = y + kQuadOffsetY[q];
        coverage |= mask << (4 * quads);
        ++quads;
    }
    if (quads) ShadeQuads(state, t, quadX, quadY, quads, coverage, scratch);
}

// Covers the part of triangle `t` inside the tile at (tx, ty).
void RasterizeInTile(const DrawState& state, const TriangleSetup& t, int tx, int ty, PixelScratch& scratch) {
    int x0 = std::max(t.minX, tx), x1 = std::min(t.maxX, tx + kTileSize - 1);
    int y0 = std::max(t.minY, ty), y1 = std::min(t.maxY, ty + kTileSize - 1);
    // Align to the block grid of the tile.
    int bx0 = tx + ((x0 - tx) / kBlockSize) * kBlockSize;
    int by0 = ty + ((y0 - ty) / kBlockSize) * kBlockSize;
    for (int by = by0; by <= y1; by += kBlockSize) {
        for (int bx = bx0; bx <= x1; bx += kBlockSize) {
            Cover block = Classify(t, bx, by, kBlockSize);
            if (block == Cover::Outside) continue;
            int sx0 = bx + ((std::max(x0, bx) - bx) / kSubBlockSize) * kSubBlockSize;
            int sy0 = by + ((std::max(y0, by) - by) / kSubBlockSize) * kSubBlockSize;
            int sx1 = std::min(x1, bx + kBlockSize - 1), sy1 = std::min(y1, by + kBlockSize - 1);
            for (int sy = sy0; sy <= sy1; sy += kSubBlockSize) {
                for (int sx = sx0; sx <= sx1; sx += kSubBlockSize) {
                    Cover sub = block == Cover::Inside ? Cover::Inside : Classify(t, sx, sy, kSubBlockSize);
                    if (sub == Cover::Outside) continue;
                    ShadeSubBlock(state, t, sx, sy, sub == Cover::Inside, scratch);
                }
            }
        }
    }
}

struct ScratchDeleter {
    void operator()(PixelScratch* s) const { DeletePixelScratch(s); }
};
using ScratchPtr = std::unique_ptr<PixelScratch, ScratchDeleter>;

}  // namespace

void RasterizeTiled(const DrawState& state, const std::vector<TriangleSetup>& triangles, ThreadPool& pool) {
    if (triangles.empty()) return;
    // Tiles cover the clip rectangle, on a grid anchored at the target origin
    // so that quads always start on even pixels.
    int gx0 = (state.clip.left / kTileSize) * kTileSize;
    int gy0 = (state.clip.top / kTileSize) * kTileSize;
    int cols = (state.clip.right - gx0 + kTileSize - 1) / kTileSize;
    int rows = (state.clip.bottom - gy0 + kTileSize - 1) / kTileSize;
    if (cols <= 0 || rows <= 0) return;
    // Bins and scratch blocks are kept from one draw to the next on this
    // thread, so that a draw does not allocate them again. The workers reach
    // them through these references (a thread_local named inside the worker
    // lambda would be the worker's own).
    thread_local std::vector<std::vector<uint32_t>> keptBins;
    thread_local std::vector<ScratchPtr> keptScratch;
    std::vector<std::vector<uint32_t>>& bins = keptBins;
    std::vector<ScratchPtr>& scratch = keptScratch;
    const size_t binCount = size_t(cols) * rows;
    if (bins.size() < binCount) bins.resize(binCount);
    for (size_t b = 0; b < binCount; ++b) bins[b].clear();
    for (uint32_t i = 0; i < triangles.size(); ++i) {
        const TriangleSetup& t = triangles[i];
        int c0 = (t.minX - gx0) / kTileSize, c1 = (t.maxX - gx0) / kTileSize;
        int r0 = (t.minY - gy0) / kTileSize, r1 = (t.maxY - gy0) / kTileSize;
        for (int r = r0; r <= r1; ++r) {
            for (int c = c0; c <= c1; ++c) bins[size_t(r) * cols + c].push_back(i);
        }
    }
    std::vector<uint32_t> busy;
    for (uint32_t b = 0; b < binCount; ++b) {
        if (!bins[b].empty()) busy.push_back(b);
    }
    // Tiles with the most triangles go first, so that the last tiles handed
    // out are small ones and no thread is left with a long tail on its own.
    std::stable_sort(busy.begin(), busy.end(),
                     [&](uint32_t a, uint32_t b) { return bins[a].size() > bins[b].size(); });
    while (scratch.size() < pool.size()) scratch.emplace_back(NewPixelScratch());
    pool.ParallelFor(busy.size(), [&](size_t index, unsigned worker) {
        uint32_t b = busy[index];
        int tx = gx0 + int(b % cols) * kTileSize, ty = gy0 + int(b / cols) * kTileSize;
        for (uint32_t tri : bins[b]) RasterizeInTile(state, triangles[tri], tx, ty, *scratch[worker]);
    });
}

void RasterizeScalar(const DrawState& state, const std::vector<TriangleSetup>& triangles) {
    ScratchPtr scratch(NewPixelScratch());
    for (const TriangleSetup& t : triangles) {
        int qx0 = t.minX & ~1, qy0 = t.minY & ~1;
        for (int qy = qy0; qy <= t.maxY; qy += 2) {
            for (int qx = qx0; qx <= t.maxX; qx += 2) {
                uint32_t mask = 0;
                for (int i = 0; i < 4; ++i) {
                    if (PixelInside(t, qx + kPixelOffsetX[i], qy + kPixelOffsetY[i])) mask |= 1u << i;
                }
                if (mask) ShadeQuads(state, t, &qx, &qy, 1, mask, *scratch);
            }
        }
    }
}

}  // namespace gfx
