// Internal records shared by the stages of one draw: the state snapshot, the
// transformed vertices, the set-up triangles, and the stage entry points.
//
//   draw.cpp             snapshot the device state, run the stages
//   vertex_stage.cpp     fetch vertices through the declaration, run the
//                        vertex shader or the fixed-function transform
//   primitive_setup.cpp  assemble triangles, clip, cull, project, set up
//                        edge functions and interpolation planes
//   rasterizer.cpp       bin triangles into tiles and cover them in quads
//                        (threaded), or the plain scalar reference scan
//   pixel_stage.cpp      interpolate, shade, test, blend and write quads,
//                        or hand them to the draw's compiled pipeline
//                        (gfx/shaders/pipeline_jit.h)
#pragma once

#include <cstdint>
#include <vector>

#include "gfx/device/resources.h"
#include "gfx/device_options.h"
#include "gfx/shaders/pipeline_jit.h"
#include "gfx/shaders/shader_program.h"

namespace gfx {

class DeviceImpl;
class ThreadPool;

// One value handed from the vertex stage to the pixel stage.
struct Varying {
    int source = -1;      // vertex output slot, -1 when nothing writes it
    int target = 0;       // pixel input slot
    bool color = false;   // a colour: flat shading applies
    float fallback[4] = {0, 0, 0, 0};  // value when nothing writes it
};

struct VaryingLayout {
    int count = 0;
    Varying items[kMaxPixelInputs];
};

// A vertex after the vertex stage: clip-space position (screen position and
// 1/w when pretransformed) and the varyings in layout order.
struct ClipVertex {
    float pos[4];
    float attr[kMaxPixelInputs][4];
};

// The fixed-function texture stages, resolved for one draw.
struct StageSetup {
    DWORD colorOp, colorArg[3], alphaOp, alphaArg[3], resultArg;
    UINT texcoordSlot;  // pixel input slot of the stage's coordinates
    bool hasTexture;
    DWORD constant;
};
struct FixedFunctionSetup {
    int stageCount = 0;
    StageSetup stages[8];
    D3DCOLOR textureFactor = 0xFFFFFFFF;
    bool specular = false;
};

class DeviceSampler;

// Everything the raster and pixel stages read, fixed for one draw.
struct DrawState {
    ImageStore* color = nullptr;
    ImageStore* depth = nullptr;
    RECT clip{};  // pixels that may be written: [left, right) x [top, bottom)
    D3DVIEWPORT9 viewport{};
    bool pretransformed = false;
    DWORD cullMode = D3DCULL_CCW;
    bool flatShading = false;
    float depthBias = 0.f, slopeBias = 0.f;

    bool zEnable = false, zWrite = false;
    DWORD zFunc = D3DCMP_LESSEQUAL;
    bool stencil = false, twoSidedStencil = false;
    DWORD stencilFunc[2], stencilFail[2], stencilZFail[2], stencilPass[2];  // [front, back]
    DWORD stencilRef = 0, stencilMask = ~0u, stencilWriteMask = ~0u;

    bool alphaTest = false;
    DWORD alphaFunc = D3DCMP_ALWAYS;
    float alphaRef = 0.f;

    bool blend = false, separateAlpha = false;
    DWORD srcBlend = D3DBLEND_ONE, destBlend = D3DBLEND_ZERO, blendOp = D3DBLENDOP_ADD;
    DWORD srcBlendAlpha = D3DBLEND_ONE, destBlendAlpha = D3DBLEND_ZERO, blendOpAlpha = D3DBLENDOP_ADD;
    float blendFactor[4] = {1, 1, 1, 1};
    DWORD writeMask = 0xF;

    const ShaderProgram* pixelShader = nullptr;
    const ShaderConstants* psConstants = nullptr;
    DeviceSampler* sampler = nullptr;
    ExecPath execPath = ExecPath::Simd;
    FixedFunctionSetup fixed;
    VaryingLayout varyings;
    bool earlyDepth = true;
    // The compiled pixel pipeline for the shader and these states, when one
    // is ready (see ChoosePipeline), and the textures it may read inline.
    const jit::CompiledPipeline* pipeline = nullptr;
    jit::PipelineTexture textures[kMaxSamplers];
};

// A triangle ready for rasterisation. Edge i is inside where
// edgeC[i] + edgeA[i] * x + edgeB[i] * y >= 0 at pixel (x, y) (the top-left
// rule is folded into edgeC). Planes give value = p[0] + p[1] * dx + p[2] * dy
// with dx, dy measured from (x0, y0).
struct TriangleSetup {
    int64_t edgeA[3], edgeB[3], edgeC[3];
    int minX, minY, maxX, maxY;  // inclusive pixel bounds, within the clip rect
    float x0, y0;
    float z[3];
    float invW[3];
    float attr[kMaxPixelInputs][4][3];  // attribute / w planes
    bool backFace;
};

// Vertex stage: transforms `count` vertices numbered from `first` (after the
// base vertex is applied) into `out`. Fails on bad bindings.
struct VertexSource {
    const BYTE* streamData[16] = {};  // start of each stream's vertices (offset applied)
    size_t streamBytes[16] = {};      // bytes available from there
    UINT stride[16] = {};
};
HRESULT RunVertexStage(DeviceImpl& device, const VertexSource& source, const VaryingLayout& layout, int64_t first,
                       UINT count, std::vector<ClipVertex>* out);
// The path a draw runs `program` on: compiled when the options allow and the
// code is ready (or waited for), else the SIMD interpreter.
ExecPath ShaderPath(const DeviceOptions& options, const ShaderProgram* program);
// Chooses the varyings linking the vertex stage outputs to the pixel inputs.
VaryingLayout LinkVaryings(DeviceImpl& device);

// Primitive setup: triangles given as vertex index triples into `vertices`.
void SetupTriangles(const DrawState& state, const std::vector<ClipVertex>& vertices, const uint32_t* triangles,
                    size_t triangleCount, std::vector<TriangleSetup>* out);

// Rasterisation of set-up triangles, in order, into the draw's targets.
void RasterizeTiled(const DrawState& state, const std::vector<TriangleSetup>& triangles, ThreadPool& pool);
void RasterizeScalar(const DrawState& state, const std::vector<TriangleSetup>& triangles);

// Pixel stage: shades up to kQuads quads of one triangle. quadX/quadY are the
// top-left pixels of the quads; coverage has bit 4q+i for pixel i of quad q.
struct PixelScratch;
PixelScratch* NewPixelScratch();
void DeletePixelScratch(PixelScratch* scratch);
void ShadeQuads(const DrawState& state, const TriangleSetup& tri, const int* quadX, const int* quadY, int quads,
                uint32_t coverage, PixelScratch& scratch);

// Sets state->pipeline when the draw's states are ones a compiled pipeline
// covers (a pixel shader, no stencil, depth tested before shading, a 32-bit
// colour target) and the pipeline for them is ready; starts its compile
// otherwise (waiting for it when `wait`). Reads state->textures.
void ChoosePipeline(DrawState* state, bool wait);

// The colour write of ShadeQuads in SSE2 for the common states (see
// color_write_sse.cpp); px/py give each lane's pixel. False, having written
// nothing, when the state does not qualify.
bool WriteColorSse(const DrawState& state, const int* px, const int* py, const LaneVec4& color, uint32_t live);

}  // namespace gfx
