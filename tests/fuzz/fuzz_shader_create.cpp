// Feeds arbitrary tokens to ShaderProgram::Create and runs whatever is
// accepted, as a vertex and as a pixel shader, with a sampler that answers
// with fixed colours, through the interpreter and the compiled code (which must
// agree bit for bit, NaNs aside, on the lanes that ran); a pixel shader also
// runs through a compiled pixel pipeline into a small target, whose pixels
// must be the interpreter's colours as the device writes them. The same
// tokens also go through the validator in pieces.
// Byte 0 picks the shader kind and the validator's piece size; the rest are
// the tokens.
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "gfx/shaders/pipeline_jit.h"
#include "gfx/shaders/shader_program.h"
#include "gfx/shaders/shader_validator.h"

namespace {

class FixedSampler : public gfx::TextureSampler {
public:
    void Sample(UINT, const gfx::SampleLanes& lanes, float (*out)[4]) override {
        for (int l = 0; l < gfx::kLanes; ++l) {
            if (!(lanes.laneMask >> l & 1)) continue;
            for (int k = 0; k < 4; ++k) out[l][k] = lanes.coord[l][k] * 0.5f + (lanes.lod ? lanes.lod[l] : 0.0f);
        }
    }
    gfx::BumpEnvironment Bump(UINT) const override {
        gfx::BumpEnvironment b;
        b.m[0][0] = b.m[1][1] = 0.5f;
        b.lscale = 1.0f;
        return b;
    }
};

// Same value, or NaN in both: NaN payloads may differ between the paths.
void ExpectSame(const float* a, const float* b, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        const bool same = std::memcmp(&a[i], &b[i], 4) == 0 || (a[i] != a[i] && b[i] != b[i]);
        if (!same) __builtin_trap();
    }
}

HRESULT IgnoreMessage(const char*, UINT, DWORD, DWORD, const char* text, void* context) {
    // Touch the text so a bad pointer would show.
    *static_cast<size_t*>(context) += text ? std::strlen(text) : 0;
    return S_OK;
}

void Validate(const std::vector<DWORD>& tokens, size_t count, size_t piece) {
    gfx::IDirect3DShaderValidator9* v = gfx::Direct3DShaderValidatorCreate9();
    size_t textBytes = 0;
    v->Begin(&IgnoreMessage, &textBytes, 1);
    for (size_t i = 0; i < count; i += piece) {
        const size_t n = count - i < piece ? count - i : piece;
        v->Instruction("fuzz", static_cast<UINT>(i), tokens.data() + i, static_cast<DWORD>(n));
    }
    v->End();
    v->Release();
}

// The device's colour write without blending: each channel clamped to
// [0, 1] (NaN as 0), scaled and rounded to a byte.
uint32_t ToByte(float v) {
    const float t = v > 0.f ? v : 0.f;
    return uint32_t((t < 1.f ? t : 1.f) * 255.f + 0.5f);
}

// Runs `program`'s pipeline (every input a varying, no depth, no blending)
// over one batch whose inputs are the planes' values, and checks the pixels
// against the interpreter's colours for the same inputs.
void CheckPipeline(const gfx::ShaderProgram& program, const gfx::ShaderConstants& constants,
                   gfx::TextureSampler* sampler) {
    gfx::jit::PipelineKey key;
    key.varyingCount = gfx::kMaxPixelInputs;
    for (int i = 0; i < gfx::kMaxPixelInputs; ++i) key.varyingTarget[i] = uint8_t(i);
    key.hasAlpha = 1;
    const gfx::jit::CompiledPipeline* pipeline = program.Pipeline(key, true);
    if (!pipeline) return;
    // Planes value = p0 + p1 * dx + p2 * dy with 1/w = 1, for pixels 0-3 of an 8 x 8 target.
    float triangle[8] = {0, 0, 0, 0, 0, 1, 0, 0};  // x0, y0, z[3], invW[3]
    float planes[gfx::kMaxPixelInputs][4][3];
    auto batch = std::make_unique<gfx::PixelBatch>();
    batch->quads = gfx::kQuads;
    batch->coverage = 0x6FF6;
    for (int i = 0; i < gfx::kMaxPixelInputs; ++i) {
        for (int c = 0; c < 4; ++c) {
            planes[i][c][0] = static_cast<float>(i - c) * 0.375f + 0.125f;
            planes[i][c][1] = static_cast<float>(c + 1) * 0.25f;
            planes[i][c][2] = -0.5f;
            for (int l = 0; l < gfx::kLanes; ++l) {
                const float dx = static_cast<float>(2 * ((l >> 2) & 1) + (l & 1));
                const float dy = static_cast<float>(2 * (l >> 3) + ((l >> 1) & 1));
                batch->input[i].v[c][l] = (planes[i][c][0] + planes[i][c][1] * dx + planes[i][c][2] * dy) * 1.f;
            }
        }
    }
    auto results = std::make_unique<gfx::PixelResults>();
    program.RunPixels(constants, sampler, *batch, results.get(), gfx::ExecPath::Reference);
    uint32_t target[8 * 8];
    for (uint32_t& p : target) p = 0x12345678u;
    gfx::jit::PipelineArgs args;
    args.inputs = &batch->input[0].v[0][0];
    args.triangle = triangle;
    args.planes = &planes[0][0][0];
    for (int q = 0; q < gfx::kQuads; ++q) {
        args.quadX[q] = 2 * (q & 1);
        args.quadY[q] = 2 * (q >> 1);
        args.rows[q] = reinterpret_cast<uint8_t*>(target + args.quadY[q] * 8 + args.quadX[q]);
        args.depthRows[q] = nullptr;
    }
    args.pitch = 8 * 4;
    args.depthPitch = 0;
    gfx::jit::PipelineTexture textures[gfx::kMaxSamplers];
    args.textures = textures;
    for (float& f : args.blendFactor) f = 1.f;
    args.alphaRef = 0;
    args.coverage = batch->coverage;
    const uint32_t live = program.RunPipeline(*pipeline, constants, sampler, 0xFFFF, &args);
    if (live != (batch->coverage & ~results->killed)) __builtin_trap();
    for (int l = 0; l < gfx::kLanes; ++l) {
        const int x = args.quadX[l >> 2] + (l & 1), y = args.quadY[l >> 2] + ((l >> 1) & 1);
        const gfx::LaneVec4& c = results->color[0];
        const uint32_t want = (live >> l & 1) ? (ToByte(c.v[3][l]) << 24) | (ToByte(c.v[0][l]) << 16) |
                                                    (ToByte(c.v[1][l]) << 8) | ToByte(c.v[2][l])
                                              : 0x12345678u;
        if (target[y * 8 + x] != want) __builtin_trap();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 5) return 0;
    const gfx::ShaderKind kind = (data[0] & 1) ? gfx::ShaderKind::Pixel : gfx::ShaderKind::Vertex;
    const size_t count = (size - 1) / 4;
    std::vector<DWORD> tokens(count);
    std::memcpy(tokens.data(), data + 1, count * 4);
    Validate(tokens, count, 1 + ((data[0] >> 2) & 7));
    std::unique_ptr<gfx::ShaderProgram> program;
    // Sometimes without a length, as a device caller without one would. Such a
    // caller promises an end token; end tokens past the longest element (a
    // comment of 0x7FFF tokens) keep the scan inside the buffer.
    const size_t limit = (data[0] & 2) ? SIZE_MAX : count;
    if (limit == SIZE_MAX) tokens.resize(count + 0x8001, 0x0000FFFF);
    if (gfx::ShaderProgram::Create(tokens.data(), limit, kind, &program) != D3D_OK) return 0;

    auto constants = std::make_unique<gfx::ShaderConstants>();
    for (int i = 0; i < gfx::ShaderConstants::kVertexFloatCount; ++i)
        for (int c = 0; c < 4; ++c) constants->f[i][c] = static_cast<float>((i * 7 + c) % 13) - 6.0f;
    for (int i = 0; i < gfx::ShaderConstants::kIntCount; ++i) {
        constants->i[i][0] = i * 3;
        constants->i[i][1] = i;
        constants->i[i][2] = 1 - i;
        constants->b[i] = i & 1;
    }
    FixedSampler sampler;
    if (kind == gfx::ShaderKind::Vertex) {
        auto batch = std::make_unique<gfx::VertexBatch>();
        batch->count = gfx::kLanes - 3;
        for (int i = 0; i < gfx::kMaxVertexInputs; ++i)
            for (int c = 0; c < 4; ++c)
                for (int l = 0; l < gfx::kLanes; ++l) batch->input[i].v[c][l] = static_cast<float>(l - i + c) * 0.25f;
        auto results = std::make_unique<gfx::VertexResults>();
        auto compiled = std::make_unique<gfx::VertexResults>();
        program->RunVertices(*constants, &sampler, *batch, results.get(), gfx::ExecPath::Reference);
        program->RunVertices(*constants, &sampler, *batch, results.get(), gfx::ExecPath::Simd);
        program->RunVertices(*constants, &sampler, *batch, compiled.get(), gfx::ExecPath::Compiled);
        for (int o = 0; o < gfx::kMaxVertexOutputs; ++o)
            for (int c = 0; c < 4; ++c) ExpectSame(results->output[o].v[c], compiled->output[o].v[c], batch->count);
    } else {
        auto batch = std::make_unique<gfx::PixelBatch>();
        batch->quads = gfx::kQuads;
        batch->coverage = 0x6FF6;
        for (int i = 0; i < gfx::kMaxPixelInputs; ++i)
            for (int c = 0; c < 4; ++c)
                for (int l = 0; l < gfx::kLanes; ++l) batch->input[i].v[c][l] = static_cast<float>(l * 3 - i + c) * 0.125f;
        auto results = std::make_unique<gfx::PixelResults>();
        auto compiled = std::make_unique<gfx::PixelResults>();
        program->RunPixels(*constants, &sampler, *batch, results.get(), gfx::ExecPath::Reference);
        program->RunPixels(*constants, &sampler, *batch, results.get(), gfx::ExecPath::Simd);
        program->RunPixels(*constants, &sampler, *batch, compiled.get(), gfx::ExecPath::Compiled);
        if (results->killed != compiled->killed) __builtin_trap();
        for (int o = 0; o < gfx::kMaxColorOutputs; ++o)
            for (int c = 0; c < 4; ++c) ExpectSame(results->color[o].v[c], compiled->color[o].v[c], gfx::kLanes);
        ExpectSame(results->depth, compiled->depth, gfx::kLanes);
        CheckPipeline(*program, *constants, &sampler);
    }
    return 0;
}
