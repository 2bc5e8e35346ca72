// Compiled pixel pipelines: the pixel path of a draw as one native routine.
//
// For one batch of kLanes lanes (kQuads quads of one triangle) a pipeline
// interpolates depth and 1/w, tests depth, interpolates the varyings from
// the triangle's planes, runs the pixel
// shader's ops (as the compiled shader does: the same native arithmetic, the
// same calls into the interpreter for the ops it leaves to it), reads
// bilinear one-level 32-bit textures inline with vector gathers, applies the
// alpha test, blends with the colour target, writes the pixels and their
// depth. Every step repeats the operations of the device's own path (pixel_stage.cpp,
// color_write_sse.cpp, texture_sampler.cpp) in the same order, so the pixels
// are identical to that path's.
//
// A pipeline is specialised for one program and the states in PipelineKey;
// the values that change from draw to draw (texture addresses and sizes, the
// blend factor, the alpha reference) are read from PipelineArgs. Programs and
// states outside what it covers (depth written by the shader, stencil, vPos
// or vFace, targets other than 32-bit colour, depth buffers other than 32-bit
// ones of up to 24 bits of depth) keep the device's path.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <type_traits>

#include "gfx/shaders/shader_jit.h"

namespace gfx::jit {

// The states a pipeline is compiled for; compared byte for byte.
struct PipelineKey {
    uint8_t varyingCount = 0;
    uint8_t varyingTarget[kMaxPixelInputs] = {};  // pixel input slot of varying i
    uint8_t hasAlpha = 0;   // the target stores alpha (A8R8G8B8), else reads it as opaque
    uint8_t alphaTest = 0;
    uint8_t alphaFunc = 0;  // D3DCMPFUNC
    uint8_t blend = 0;
    // Blend factors (D3DBLEND, "both" forms resolved) and operations
    // (D3DBLENDOP) for the colour channels and for alpha.
    uint8_t srcColor = 0, dstColor = 0, opColor = 0;
    uint8_t srcAlpha = 0, dstAlpha = 0, opAlpha = 0;
    uint8_t writeMask = 0xF;  // D3DCOLORWRITEENABLE bits
    // Per sampler, u and v: how the inline read addresses taps outside the
    // image (PipelineTexture::address).
    uint8_t address[kMaxSamplers][2] = {};
    // Depth, in a 32-bit buffer of at most 24 bits of depth: tested before
    // shading (depthTest, with zFunc) and written for the pixels drawn.
    uint8_t depthTest = 0, depthWrite = 0, zFunc = 0;
    uint8_t depthBits = 0, depthShift = 0;  // bits of depth, and their place above the stencil

    bool operator==(const PipelineKey& o) const { return std::memcmp(this, &o, sizeof *this) == 0; }
    bool operator<(const PipelineKey& o) const { return std::memcmp(this, &o, sizeof *this) < 0; }
};

static_assert(std::has_unique_object_representations_v<PipelineKey>, "keys compare as bytes");

// A texture the pipeline may read inline: one level of A8R8G8B8 or X8R8G8B8,
// filtered bilinearly, at most 2 GiB. Taps outside the image are addressed
// inline for wrapping (sides of a power of two) and clamping; for the other
// modes, lookups with such taps (and samplers that do not qualify) go through
// the sampler instead.
enum PipelineAddress : uint8_t { kAddressBySampler = 0, kAddressWrap = 1, kAddressClamp = 2 };
struct PipelineTexture {
    const uint8_t* base = nullptr;  // row 0
    int32_t pitch = 0;              // bytes per row
    int32_t width = 0, height = 0;
    int32_t wrapMask[2] = {-1, -1}; // side - 1 for sides that are powers of two, else -1
    uint32_t alphaFill = 0;         // 0xFF000000 for X8R8G8B8
    int32_t usable = 0;             // 0: always through the sampler
    uint8_t address[2] = {};        // PipelineAddress for u and v
};

// What one call reads. Lane 4q + i is pixel i of quad q, as in PixelBatch.
// Plain fields without initialisers: the caller fills every one for each
// batch, and clearing the block first would cost more than the call.
struct PipelineArgs {
    const float* constants;        // ShaderConstants::f
    CallContext* context;
    const float* inputs;           // PixelBatch::input, for inputs no varying fills
    int32_t quadX[kQuads], quadY[kQuads];  // each quad's top-left pixel
    const float* triangle;         // TriangleSetup from x0 on: x0, y0, z[3], invW[3]
    const float* planes;           // TriangleSetup::attr: [varying][component][3]
    uint8_t* rows[kQuads];         // each quad's top-left pixel in the colour target
    int64_t pitch;                 // bytes per target row
    uint8_t* depthRows[kQuads];    // each quad's top-left pixel in the depth buffer
    int64_t depthPitch;
    const PipelineTexture* textures;  // [kMaxSamplers]
    float blendFactor[4];
    uint32_t alphaRef;
    uint32_t coverage;             // lanes inside the primitive (and past the depth test)
};

// Returns the lanes written.
using PipelineFunction = uint32_t (*)(const PipelineArgs* args);

class CompiledPipeline {
public:
    CompiledPipeline(PipelineFunction entry, void* tracker, const CompileStats& stats);
    ~CompiledPipeline();
    CompiledPipeline(const CompiledPipeline&) = delete;
    CompiledPipeline& operator=(const CompiledPipeline&) = delete;
    uint32_t Run(const PipelineArgs& args) const { return entry_(&args); }
    const CompileStats& Stats() const { return stats_; }

private:
    PipelineFunction entry_;
    void* tracker_;
    CompileStats stats_;
};

// Whether a pipeline can be compiled for `program` (a compilable pixel
// program that reads neither vPos nor vFace and writes no depth).
bool PipelineCompilable(const exec::ExecProgram& program);

// Compiles the pipeline of `program` for `key`; null when it is not
// compilable or code generation failed. Thread-safe.
std::unique_ptr<CompiledPipeline> CompilePipeline(const exec::ExecProgram& program, const PipelineKey& key);

// Pipelines compiled so far in this process and the time it took.
CompileTotals PipelineTotals();

}  // namespace gfx::jit
