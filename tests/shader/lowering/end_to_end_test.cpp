// End to end: HLSL lowered into the vertex shader generator, the bytecode
// run by the graphics device's shader program, and the results compared with
// the lowered program's own evaluation and with plain C++.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "gfx/shaders/shader_program.h"
#include "lowering_util.h"
#include "shader/backend/codegen/ps2_code_generator.h"
#include "shader/backend/codegen/vs_code_generator.h"
#include "shader/frontend/lowering/lowering.h"
#include "shader/frontend/lowering/semantic_names.h"
#include "shader/preprocess/preprocessor.h"

namespace {

struct Compiled {
    std::string log;
    std::unique_ptr<gfx::ShaderProgram> program;
};

// Lowers `source` into the generator for `version` and creates the device
// program from the bytecode it writes.
Compiled CompileShader(const std::string& source, uint32_t version) {
    Compiled c;
    Preprocessor pp;
    std::unique_ptr<hlsl::ProgramTree> tree;
    HRESULT hr = pp.OpenMemory(source.data(), source.size(), "e2e.hlsl", nullptr, nullptr);
    if (SUCCEEDED(hr)) hr = hlsl::ParseProgram(pp, 0, &tree);
    std::unique_ptr<codegen::CodeGenerator> generator;
    if ((version >> 16) == 0xFFFE) generator = std::make_unique<codegen::VsCodeGenerator>();
    else generator = std::make_unique<codegen::Ps2CodeGenerator>();
    IKLBuffer* code = nullptr;
    if (SUCCEEDED(hr)) hr = generator->Initialize(tree.get(), &pp.Log(), version, 0x04, "main");
    if (SUCCEEDED(hr)) hr = hlsl::LowerShader(*tree, "main", *generator);
    if (SUCCEEDED(hr)) hr = generator->Generate(&code);
    c.log = pp.Log().Text();
    if (SUCCEEDED(hr) && code) {
        const auto* tokens = static_cast<const DWORD*>(code->GetBufferPointer());
        const gfx::ShaderKind kind = (version >> 16) == 0xFFFE ? gfx::ShaderKind::Vertex : gfx::ShaderKind::Pixel;
        hr = gfx::ShaderProgram::Create(tokens, code->GetBufferSize() / 4, kind, &c.program);
        if (FAILED(hr)) c.log += "the device refused the bytecode\n";
    }
    if (code) code->Release();
    return c;
}
Compiled CompileVertexShader(const std::string& source) { return CompileShader(source, 0xFFFE0200); }

// Input register of a usage (isa usage code) and index, or -1.
int InputSlot(const gfx::ShaderProgram& p, uint8_t usage, uint8_t index) {
    for (const gfx::ShaderSemantic& s : p.Inputs())
        if (s.usage == usage && s.usageIndex == index) return s.slot;
    return -1;
}
int OutputSlot(const gfx::ShaderProgram& p, uint8_t usage, uint8_t index) {
    for (const gfx::ShaderSemantic& s : p.Outputs())
        if (s.usage == usage && s.usageIndex == index) return s.slot;
    return -1;
}

TEST(EndToEnd, VertexShaderMatchesTheLoweredProgram) {
    const char* src = R"(
        row_major float4x4 world : register(c0);
        float4 params : register(c4);
        float4 main(float4 p : POSITION, float2 uv : TEXCOORD0, out float4 colour : COLOR0) : POSITION {
            float4 q = mul(p, world);
            float s = 0;
            for (int i = 1; i <= 3; i++) s += sin(uv.x * i) / i;
            if (params.x > 0.5) q.xy += normalize(uv) * params.y;
            colour = float4(saturate(s), pow(abs(uv.y) + 1, params.z), lerp(p.z, p.w, 0.25), 1);
            return q;
        })";
    Compiled c = CompileVertexShader(src);
    ASSERT_TRUE(c.program) << c.log;
    const int position = InputSlot(*c.program, 0, 0), texcoord = InputSlot(*c.program, 5, 0);
    ASSERT_GE(position, 0);
    ASSERT_GE(texcoord, 0);

    gfx::ShaderConstants constants;
    const double world[16] = {2, 0, 0, 0, 0, 3, 0, 0, 0, 0, 1, 0, 0.5, -1, 0.25, 1};
    for (int r = 0; r < 4; ++r)
        for (int k = 0; k < 4; ++k) constants.f[r][k] = float(world[r * 4 + k]);
    const double params[4] = {1, 0.5, 2, 0};
    for (int k = 0; k < 4; ++k) constants.f[4][k] = float(params[k]);

    gfx::VertexBatch batch;
    batch.count = 3;
    const double points[3][4] = {{1, 2, 3, 1}, {-0.5, 0.25, 0, 1}, {4, -3, 2, 0.5}};
    const double uvs[3][2] = {{0.25, 0.75}, {-1.5, 0.125}, {2, -0.5}};
    for (int v = 0; v < 3; ++v) {
        for (int k = 0; k < 4; ++k) batch.input[position].v[k][v] = float(points[v][k]);
        for (int k = 0; k < 2; ++k) batch.input[texcoord].v[k][v] = float(uvs[v][k]);
    }
    gfx::VertexResults results;
    c.program->RunVertices(constants, nullptr, batch, &results);
    const int outPosition = c.program->PositionSlot(), outColour = OutputSlot(*c.program, 10, 0);
    ASSERT_GE(outPosition, 0);
    ASSERT_GE(outColour, 0);

    auto lowered = LowerSource(src);
    ASSERT_TRUE(lowered->Ok()) << lowered->log;
    for (int v = 0; v < 3; ++v) {
        Registers inputs{{"POSITION", {points[v][0], points[v][1], points[v][2], points[v][3]}},
                         {"TEXCOORD0", {uvs[v][0], uvs[v][1], 0, 0}}};
        Registers uniforms{{"world", std::vector<double>(world, world + 16)},
                           {"params", std::vector<double>(params, params + 4)}};
        Evaluation e = Evaluate(lowered->program, inputs, uniforms);
        ASSERT_TRUE(e.ok) << e.problem;
        for (int k = 0; k < 4; ++k) {
            EXPECT_NEAR(e.outputs["POSITION"][k], results.output[outPosition].v[k][v], 1e-4) << v << " " << k;
            EXPECT_NEAR(e.outputs["COLOR0"][k], results.output[outColour].v[k][v], 1e-4) << v << " " << k;
        }
        // And against plain C++ for the position.
        double q[4] = {0, 0, 0, 0};
        for (int k = 0; k < 4; ++k)
            for (int r = 0; r < 4; ++r) q[k] += points[v][r] * world[r * 4 + k];
        const double len = std::hypot(uvs[v][0], uvs[v][1]);
        q[0] += uvs[v][0] / len * params[1];
        q[1] += uvs[v][1] / len * params[1];
        for (int k = 0; k < 4; ++k) EXPECT_NEAR(q[k], results.output[outPosition].v[k][v], 1e-4) << v << " " << k;
    }
}

}  // namespace

namespace {

std::string ReadAsset(const char* name) {
    const std::string path = std::string(KILN_SOURCE_DIR) + "/assets/" + name;
    std::string text;
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
        char buffer[4096];
        for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;) text.append(buffer, n);
        std::fclose(f);
    }
    return text;
}

// The demo's vertex shaders run on the device agree with the evaluation of
// their lowered programs, output by output, for a few made-up vertices.
TEST(EndToEnd, DemoVertexShadersMatchTheLoweredPrograms) {
    for (const char* name : {"Simple.vhl", "Scroller.vhl", "Fire.vhl", "Fire2.vhl", "Fire3.vhl", "cube.vhl"}) {
        const std::string src = ReadAsset(name);
        ASSERT_FALSE(src.empty()) << name;
        auto lowered = LowerSource(src, "vs_main");
        ASSERT_TRUE(lowered->Ok()) << name << "\n" << lowered->log;
        // The device program, compiled from the same source.
        std::string renamed = src;
        for (size_t at; (at = renamed.find("vs_main")) != std::string::npos;) renamed.replace(at, 7, "main");
        Compiled c = CompileVertexShader(renamed);
        ASSERT_TRUE(c.program) << name << "\n" << c.log;

        // Uniforms: whatever the program reads, filled with made-up values
        // placed where the explicit register bindings put them.
        Registers uniforms;
        gfx::ShaderConstants constants;
        for (size_t pool = kStandardPoolCount; pool < lowered->program.pools.size(); ++pool) {
            const ArgumentPool& p = lowered->program.pools[pool];
            if (p.flags != 0x129 || p.binding.empty()) continue;
            const int first = std::atoi(p.binding.c_str() + 1);
            const auto* v = static_cast<const hlsl::VarDecl*>(p.declaration);
            std::vector<double>& values = uniforms[v->name];
            for (int r = 0; r < p.registerCount; ++r)
                for (int k = 0; k < 4; ++k) {
                    const double x = 0.1 * (r + 1) + 0.37 * k - 0.2 * (r == k);
                    values.push_back(x);
                    constants.f[first + r][k] = float(x);
                }
        }
        // Inputs: every semantic the program reads. The values keep the
        // shaders' frac() arguments away from whole numbers, where single and
        // double precision would round to opposite sides.
        Registers inputs;
        gfx::VertexBatch batch;
        batch.count = 2;
        for (const IrArgument& a : lowered->program.args) {
            const char* semantic = hlsl::SemanticOf(a.semanticNode);
            if (!semantic || lowered->program.pools[a.pool].flags != 0x29 || inputs.count(semantic)) continue;
            const hlsl::lowering::SemanticKey key = hlsl::lowering::ParseSemantic(semantic);
            const int slot = InputSlot(*c.program, uint8_t(key.usage), uint8_t(key.index));
            std::vector<double>& values = inputs[semantic];
            for (int k = 0; k < 4; ++k) values.push_back(0.31 + 0.47 * k - 0.1 * key.usage + 0.07 * key.index);
            if (slot < 0) continue;  // declared but not read by the device program
            for (int v = 0; v < batch.count; ++v)
                for (int k = 0; k < 4; ++k) batch.input[slot].v[k][v] = float(values[k] + v);
        }
        gfx::VertexResults results;
        c.program->RunVertices(constants, nullptr, batch, &results);
        for (int v = 0; v < batch.count; ++v) {
            Registers shifted = inputs;
            for (auto& [semantic, values] : shifted)
                for (double& x : values) x += v;
            Evaluation e = Evaluate(lowered->program, shifted, uniforms);
            ASSERT_TRUE(e.ok) << name << " " << e.problem;
            for (const auto& [semantic, values] : e.outputs) {
                const hlsl::lowering::SemanticKey key = hlsl::lowering::ParseSemantic(semantic.c_str());
                const int slot = key.usage == 0 ? c.program->PositionSlot()
                                                : OutputSlot(*c.program, uint8_t(key.usage), uint8_t(key.index));
                ASSERT_GE(slot, 0) << name << " " << semantic;
                for (size_t k = 0; k < values.size() && k < 4; ++k) {
                    if (std::isnan(values[k])) continue;  // a component the program does not write
                    EXPECT_NEAR(values[k], results.output[slot].v[k][v], 2e-3 * std::max(1.0, std::fabs(values[k])))
                        << name << " " << semantic << " vertex " << v << " component " << k;
                }
            }
        }
    }
}

}  // namespace

namespace {

// Looks up nothing: the colour is the two-dimensional coordinates with the
// sampler number added to u, as the evaluator's tex2D does (the demo's pixel
// shaders only use tex2D).
class EchoSampler : public gfx::TextureSampler {
public:
    void Sample(UINT sampler, const gfx::SampleLanes& lanes, float (*out)[4]) override {
        for (int l = 0; l < gfx::kLanes; ++l) {
            out[l][0] = lanes.coord[l][0] + float(sampler);
            out[l][1] = lanes.coord[l][1];
            out[l][2] = 0.0f;
            out[l][3] = 1.0f;
        }
    }
};

// The demo's pixel shaders on the device agree with their lowered programs.
TEST(EndToEnd, DemoPixelShadersMatchTheLoweredPrograms) {
    for (const char* name : {"Simple.phl", "Scroller.phl", "Fire.phl", "Fire2.phl", "Fire3.phl", "cube.phl"}) {
        std::string src = ReadAsset(name);
        ASSERT_FALSE(src.empty()) << name;
        for (size_t at; (at = src.find("ps_main")) != std::string::npos;) src.replace(at, 7, "main");
        auto lowered = LowerSource(src, "main", "ps_2_0");
        ASSERT_TRUE(lowered->Ok()) << name << "\n" << lowered->log;
        Compiled c = CompileShader(src, 0xFFFF0200);
        ASSERT_TRUE(c.program) << name << "\n" << c.log;

        Registers inputs;
        gfx::PixelBatch batch;
        batch.quads = 1;
        batch.coverage = 0xF;
        for (const IrArgument& a : lowered->program.args) {
            const char* semantic = hlsl::SemanticOf(a.semanticNode);
            if (!semantic || lowered->program.pools[a.pool].flags != 0x29 || inputs.count(semantic)) continue;
            const hlsl::lowering::SemanticKey key = hlsl::lowering::ParseSemantic(semantic);
            std::vector<double>& values = inputs[semantic];
            for (int k = 0; k < 4; ++k) values.push_back(0.21 + 0.17 * k + 0.05 * key.index - 0.01 * key.usage);
            const int slot = InputSlot(*c.program, uint8_t(key.usage), uint8_t(key.index));
            if (slot < 0) continue;
            for (int lane = 0; lane < 4; ++lane)
                for (int k = 0; k < 4; ++k) batch.input[slot].v[k][lane] = float(values[k] + 0.1 * lane);
        }
        EchoSampler sampler;
        gfx::PixelResults results;
        c.program->RunPixels(gfx::ShaderConstants(), &sampler, batch, &results);
        for (int lane = 0; lane < 4; ++lane) {
            Registers shifted = inputs;
            for (auto& [semantic, values] : shifted)
                for (double& x : values) x += 0.1 * lane;
            Evaluation e = Evaluate(lowered->program, shifted, {});
            ASSERT_TRUE(e.ok) << name << " " << e.problem;
            const std::vector<double>& colour = e.outputs.begin()->second;
            for (int k = 0; k < 4; ++k)
                EXPECT_NEAR(colour[k], results.color[0].v[k][lane], 2e-3 * std::max(1.0, std::fabs(colour[k])))
                    << name << " lane " << lane << " component " << k;
        }
    }
}

}  // namespace
