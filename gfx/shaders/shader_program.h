// A checked, translated vertex or pixel shader and the interface the device
// uses to run it.
//
// ShaderProgram::Create checks a token stream against the rules of its shader
// version and refuses anything malformed with D3DERR_INVALIDCALL. What it
// accepts is translated once into a list of pre-decoded operations (resolved
// register offsets, swizzle tables, jump targets), so running a shader never
// looks at tokens again.
//
// Execution works on lanes laid out structure-of-arrays: every register
// component holds kLanes floats. Vertex shaders run up to kLanes vertices per
// call. Pixel shaders run up to kQuads 2x2 quads per call; lane 4*q + i is
// pixel i of quad q in the order (x, y), (x+1, y), (x, y+1), (x+1, y+1), so
// derivatives (dsx, dsy and the implicit ones of texture lookups) come from
// the neighbours inside each quad. Lanes outside the coverage mask still run
// (as helper lanes) but their results are not meant to be stored.
//
// Every program ends: loop and rep counts are clamped to 255, calls nest at
// most 16 deep (deeper calls are skipped), and past 65536 executed
// instructions in one call loops stop repeating and calls are skipped.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "gfx/shaders/shader_isa.h"
#include "platform/wintypes.h"

namespace gfx {

enum class ShaderKind : uint8_t { Vertex, Pixel };

// Lanes per call: 16 = four quads of 2x2 pixels, or 16 vertices.
constexpr int kLanes = 16;
constexpr int kQuads = kLanes / 4;

// Register slots the device exchanges with a program.
constexpr int kMaxVertexInputs = 16;   // v0-v15
constexpr int kMaxVertexOutputs = 16;  // see kSlotPosition...
constexpr int kMaxPixelInputs = 10;    // see PixelInputSlot
constexpr int kMaxColorOutputs = 4;    // oC0-oC3
constexpr int kMaxSamplers = 16;

// Output slots of vertex shaders before 3.0 (fixed), and of vs_3_0 (slot = oN).
constexpr int kSlotPosition = 0;    // oPos
constexpr int kSlotColor0 = 1;      // oD0, oD1 at 2
constexpr int kSlotTexcoord0 = 3;   // oT0-oT7 at 3-10
constexpr int kSlotFog = 11;        // oFog (x)
constexpr int kSlotPointSize = 12;  // oPts (x)
// Input slots of pixel shaders before 3.0: v0, v1 at 0, 1; t0-t7 at 2-9.
// In ps_3_0 the slot is the vN register number.
constexpr int kPixelSlotColor0 = 0;
constexpr int kPixelSlotTexcoord0 = 2;

// Register values the device keeps per shader stage (set through
// Set*ShaderConstantF/I/B). A program's def, defi and defb override them.
struct ShaderConstants {
    static constexpr int kVertexFloatCount = 256;
    static constexpr int kPixelFloatCount = 224;
    static constexpr int kIntCount = 16;
    static constexpr int kBoolCount = 16;
    float f[kVertexFloatCount][4] = {};  // pixel shaders use the first 224
    int32_t i[kIntCount][4] = {};
    BOOL b[kBoolCount] = {};
};

// One input or output of a program, named by its declaration usage. In
// version 3 several semantics may share a slot, each with its own components.
struct ShaderSemantic {
    uint8_t usage = 0;       // isa::DeclUsage
    uint8_t usageIndex = 0;
    uint8_t slot = 0;        // input/output slot in the arrays handed to Run*
    uint8_t mask = 0;        // components declared or written (isa::kMaskX...)
};

struct ShaderSamplerUse {
    uint8_t sampler = 0;      // sN
    uint8_t textureType = 0;  // isa::SamplerTextureType; TEXTURE_2D when undeclared (ps_1_x)
};

// How the level of detail of a lookup is chosen.
enum class LodMode : uint8_t {
    Derivatives,  // from ddx/ddy (texld, texldp, ps_1_x lookups, texldd)
    Bias,         // from ddx/ddy plus lod[lane] (texldb)
    Explicit,     // lod[lane] alone, no derivatives (texldl)
};

// The lanes of one texture lookup. Coordinates have had the projective divide
// applied already (texldp, ps_1_4 _dz/_dw). Every value comes from the shader
// and may be any float: NaN, infinite or huge.
struct SampleLanes {
    const float (*coord)[4] = nullptr;  // [kLanes] u, v, w, q
    const float (*ddx)[4] = nullptr;    // [kLanes], null in Explicit mode
    const float (*ddy)[4] = nullptr;
    const float* lod = nullptr;         // [kLanes], bias or level; null in Derivatives mode
    LodMode mode = LodMode::Derivatives;
    uint32_t laneMask = 0;              // lanes whose colour is used
};

// Bump-mapping state of a texture stage (texbem, texbeml, bem):
// u' = u + m[0][0] * du + m[1][0] * dv, v' = v + m[0][1] * du + m[1][1] * dv;
// texbeml scales the colour by saturate(lscale * b + loffset).
struct BumpEnvironment {
    float m[2][2] = {};
    float lscale = 0.0f;
    float loffset = 0.0f;
};

// Texture access for shaders, implemented by the device on its textures and
// sampler states. `sampler` is the shader's sN (in ps_1_x the texture stage);
// for vertex shaders the device maps it onto its vertex texture samplers.
class TextureSampler {
public:
    virtual ~TextureSampler() = default;
    // Writes out[lane] for every lane of lanes.laneMask (other lanes may be
    // left untouched). An unbound sampler returns (0, 0, 0, 1).
    virtual void Sample(UINT sampler, const SampleLanes& lanes, float (*out)[4]) = 0;
    // The stage's bump-mapping matrix and luminance terms (default all zero).
    virtual BumpEnvironment Bump(UINT stage) const {
        (void)stage;
        return {};
    }
    // Optional shortcut for lookups whose result cannot depend on the level
    // of detail (the sampler decides: e.g. one mip level and one filter):
    // u and v per lane in, out[channel][lane] for the lanes of laneMask.
    // Returns false, writing nothing, when the sampler state does not
    // qualify; Sample is used then.
    virtual bool SampleFast(UINT sampler, const float* u, const float* v, uint32_t laneMask,
                            float (*out)[kLanes]) const {
        (void)sampler, (void)u, (void)v, (void)laneMask, (void)out;
        return false;
    }
};

// SoA register block: value[component][lane].
struct LaneVec4 {
    alignas(64) float v[4][kLanes];
};

struct VertexBatch {
    int count = 0;                              // vertices, 1..kLanes
    LaneVec4 input[kMaxVertexInputs];           // by input register vN
};
struct VertexResults {
    LaneVec4 output[kMaxVertexOutputs];         // by output slot
};

struct PixelBatch {
    int quads = 0;                     // 1..kQuads
    uint32_t coverage = 0;             // bit per lane: pixel inside the primitive
    LaneVec4 input[kMaxPixelInputs];   // by input slot
    LaneVec4 position;                 // vPos: pixel x, y (ps_3_0)
    alignas(64) float face[kLanes] = {};  // vFace: > 0 front, < 0 back (ps_3_0)
};
struct PixelResults {
    LaneVec4 color[kMaxColorOutputs];  // oC0-oC3 (ps_1_x: r0 at the end)
    alignas(64) float depth[kLanes] = {};  // oDepth where DepthWritten()
    uint32_t killed = 0;               // lanes discarded by texkill
    // Outputs known to hold zero in every lane (bit i: color[i], bit 4:
    // depth), so RunPixels need not clear them again for a program that does
    // not write them. Anyone else writing color[1-3] or depth clears the bit
    // (color[0] is always rewritten).
    uint32_t zeroed = 0;
};

// Which implementation runs a shader: the interpreter with its SIMD kernels,
// the interpreter's plain per-lane reference (kept so the paths can be
// compared), or the compiled native code (waiting for a compile under way;
// the SIMD interpreter when the program has no code).
enum class ExecPath : uint8_t { Simd, Reference, Compiled };

namespace exec {
struct ExecState;
}
namespace jit {
struct CompileStats;
struct PipelineKey;
struct PipelineArgs;
class CompiledPipeline;
}

class ShaderProgram {
public:
    // Checks and translates `tokens` (at most `maxTokens` of them are read;
    // pass SIZE_MAX when the length is unknown: the scan then stops at a hard
    // cap). The version token must match `kind`. Returns D3D_OK and the program,
    // D3DERR_INVALIDCALL for a null argument or malformed bytecode, or
    // E_OUTOFMEMORY.
    static HRESULT Create(const DWORD* tokens, size_t maxTokens, ShaderKind kind,
                          std::unique_ptr<ShaderProgram>* out);

    ~ShaderProgram();
    ShaderProgram(const ShaderProgram&) = delete;
    ShaderProgram& operator=(const ShaderProgram&) = delete;

    ShaderKind Kind() const;
    DWORD Version() const;                           // the version token
    isa::Profile Profile() const;
    // The function tokens, version to end token inclusive (for GetFunction).
    const std::vector<DWORD>& Tokens() const;

    // vs: inputs from dcl (slot = vN); ps < 3.0: v0/v1 as COLOR0/1, tN as
    // TEXCOORDN; ps_3_0: from dcl (slot = vN).
    const std::vector<ShaderSemantic>& Inputs() const;
    // vs < 3.0: written outputs as POSITION0, COLOR0/1, TEXCOORDn, FOG0, PSIZE0;
    // vs_3_0: from dcl. ps: COLORn for each oCn written (slot n; ps_1_x:
    // COLOR0), and DEPTH0 (slot kMaxColorOutputs) when oDepth is written.
    const std::vector<ShaderSemantic>& Outputs() const;
    const std::vector<ShaderSamplerUse>& Samplers() const;
    // vs: the output slot holding POSITION0, or -1.
    int PositionSlot() const;
    bool DepthWritten() const;
    bool UsesTexkill() const;

    // Native code is compiled in the background from Create on (unless
    // KILN_JIT=0 or the program has flow control). CompiledReady says whether
    // it is there now; WaitForCompiled waits for the compile to end and says
    // whether it gave code.
    bool CompiledReady() const;
    bool WaitForCompiled() const;
    // Statistics of the compiled code, or null when there is none (yet).
    const jit::CompileStats* CompileStatistics() const;

    // The pixel pipeline of this program compiled for `key` (see
    // pipeline_jit.h). The first request starts its compile in the background;
    // null until it is ready, or when there is none (no code generator, a
    // program it does not cover, or too many keys). `wait` waits for the compile.
    const jit::CompiledPipeline* Pipeline(const jit::PipelineKey& key, bool wait) const;
    // Runs one of this program's pipelines over a batch: `lanes` as in
    // RunPixels; the constants and context of *args are filled here.
    // Returns the lanes written.
    uint32_t RunPipeline(const jit::CompiledPipeline& pipeline, const ShaderConstants& constants,
                         TextureSampler* sampler, uint32_t lanes, jit::PipelineArgs* args) const;

    // Runs the vertex shader over batch.count vertices.
    void RunVertices(const ShaderConstants& constants, TextureSampler* sampler, const VertexBatch& batch,
                     VertexResults* results, ExecPath path = ExecPath::Simd) const;
    // Runs the pixel shader over batch.quads quads.
    void RunPixels(const ShaderConstants& constants, TextureSampler* sampler, const PixelBatch& batch,
                   PixelResults* results, ExecPath path = ExecPath::Simd) const;

    struct Impl;

private:
    explicit ShaderProgram(std::unique_ptr<Impl> impl);
    uint32_t Execute(const ShaderConstants& constants, TextureSampler* sampler, exec::ExecState* state,
                     const LaneVec4* inputs, int inputCount, uint32_t lanes, ExecPath path) const;
    std::unique_ptr<Impl> impl_;
};

// Checks `tokens` as Create does and, when they are refused, says why in
// *message (the validator's text for the first rejected element).
HRESULT CheckShaderTokens(const DWORD* tokens, size_t maxTokens, ShaderKind kind, std::string* message);

}  // namespace gfx
