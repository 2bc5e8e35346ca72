// Reflection lookups of ps_1_1 to ps_1_3: a cube lookup at the reflection of
// an eye vector about the normal three texture coordinate rows make from a
// sampled vector becomes texm3x3pad, texm3x3pad and texm3x3spec (eye in a
// constant) or texm3x3vspec (eye in the w of the rows). Each shader is run on
// the device: stage 0 holds a fixed texel, the cube texture echoes the
// direction it is sampled at.
#include <gtest/gtest.h>

#include <memory>

#include "codegen_harness.h"
#include "gfx/shaders/shader_checker.h"
#include "shader/bytecode/disassembler.h"

namespace {

const Vec4 kTexel0 = {0.6f, 0.8f, 0.3f, 0.7f};
const Vec4 kRows[4] = {
    {0.1f, 0.2f, 0.3f, 1.0f}, {0.9f, 0.1f, -0.2f, 0.25f}, {0.2f, 0.7f, 0.1f, -0.5f}, {-0.3f, 0.2f, 0.8f, 0.75f}};
const Vec4 kEye = {0.4f, -0.3f, 0.85f, 0.0f};

class StageTextures : public gfx::TextureSampler {
public:
    void Sample(UINT sampler, const gfx::SampleLanes& lanes, float (*out)[4]) override {
        for (int lane = 0; lane < gfx::kLanes; ++lane) {
            if (!(lanes.laneMask & (1u << lane))) continue;
            const float* c = lanes.coord[lane];
            const Vec4 t = sampler == 0 ? kTexel0 : Vec4{c[0], c[1], c[2], 1.0f};
            for (int k = 0; k < 4; ++k) out[lane][k] = t[k];
        }
    }
};

// Runs one quad with the rows as texture coordinates and the eye in c0.
bool RunQuad(const Compiled& shader, Vec4* colour, std::string* problem) {
    std::unique_ptr<gfx::ShaderProgram> program;
    if (FAILED(gfx::CheckShaderTokens(shader.code.data(), shader.code.size(), gfx::ShaderKind::Pixel, problem)) ||
        FAILED(gfx::ShaderProgram::Create(shader.code.data(), shader.code.size(), gfx::ShaderKind::Pixel, &program)))
        return false;
    auto constants = std::make_unique<gfx::ShaderConstants>();
    for (int c = 0; c < 4; ++c) constants->f[0][c] = kEye[c];
    auto batch = std::make_unique<gfx::PixelBatch>();
    batch->quads = 1;
    batch->coverage = 0xF;
    for (int t = 0; t < 4; ++t)
        for (int c = 0; c < 4; ++c)
            for (int lane = 0; lane < 4; ++lane) batch->input[gfx::kPixelSlotTexcoord0 + t].v[c][lane] = kRows[t][c];
    StageTextures textures;
    auto results = std::make_unique<gfx::PixelResults>();
    program->RunPixels(*constants, &textures, *batch, results.get());
    for (int c = 0; c < 4; ++c) (*colour)[c] = results->color[0].v[c][0];
    return true;
}

// 2 N (N.E) / (N.N) - E with N the rows times the _bx2 texel.
Vec4 Reflected(const Vec4& eye) {
    float n[3], e[3] = {eye[0], eye[1], eye[2]};
    for (int r = 0; r < 3; ++r) {
        n[r] = 0;
        for (int k = 0; k < 3; ++k) n[r] += kRows[r + 1][k] * (2 * kTexel0[k] - 1);
    }
    const float ne = n[0] * e[0] + n[1] * e[1] + n[2] * e[2], nn = n[0] * n[0] + n[1] * n[1] + n[2] * n[2];
    return {2 * n[0] * ne / nn - e[0], 2 * n[1] * ne / nn - e[1], 2 * n[2] * ne / nn - e[2], 1.0f};
}

struct Case {
    const char* what;
    const char* eye;     // the eye vector's expression
    const char* lookup;  // the lookup, with n the normal and e the eye
    const char* instruction;
    Vec4 want;
};

TEST(Ps1Reflection, ConstantAndCoordinateEyesRunOnTheDevice) {
    const Vec4 vertexEye = {kRows[1][3], kRows[2][3], kRows[3][3], 0};
    const Case cases[] = {
        {"constant eye, written out", "eye", "texCUBE(env, 2 * n * dot(n, e) / dot(n, n) - e)", "texm3x3spec t3, t0_bx2, c0",
         Reflected(kEye)},
        {"constant eye, reflect", "eye", "texCUBE(env, reflect(-e, normalize(n)))", "texm3x3spec t3, t0_bx2, c0",
         Reflected(kEye)},
        {"eye in the rows' w", "float3(t1.w, t2.w, t3.w)", "texCUBE(env, 2 * n * dot(n, e) / dot(n, n) - e)",
         "texm3x3vspec t3, t0_bx2", Reflected(vertexEye)},
    };
    for (const Case& c : cases) {
        const std::string source =
            std::string("sampler2D bumps : register(s0); samplerCUBE env : register(s3); float3 eye : register(c0);\n"
                        "float4 main(float4 t0 : TEXCOORD0, float4 t1 : TEXCOORD1, float4 t2 : TEXCOORD2, "
                        "float4 t3 : TEXCOORD3) : COLOR {\n"
                        "    float3 b = tex2D(bumps, t0.xy).xyz * 2 - 1;\n"
                        "    float3 n = float3(dot(t1.xyz, b), dot(t2.xyz, b), dot(t3.xyz, b));\n"
                        "    float3 e = ") +
            c.eye + ";\n    return " + c.lookup + ";\n}";
        for (const char* profile : {"ps_1_1", "ps_1_3"}) {
            const Compiled shader = CompileHlsl(source, profile);
            ASSERT_TRUE(shader.Ok()) << c.what << " " << profile << ": " << shader.messages << "\n" << source;
            const std::string text = Disassembly(shader);
            EXPECT_NE(text.find("texm3x3pad t1, t0_bx2"), std::string::npos) << c.what << "\n" << text;
            EXPECT_NE(text.find("texm3x3pad t2, t0_bx2"), std::string::npos) << c.what << "\n" << text;
            EXPECT_NE(text.find(c.instruction), std::string::npos) << c.what << "\n" << text;
            Vec4 colour{};
            std::string problem;
            ASSERT_TRUE(RunQuad(shader, &colour, &problem)) << c.what << " " << profile << ": " << problem << "\n" << text;
            for (int k = 0; k < 4; ++k)
                EXPECT_NEAR(colour[k], c.want[k], 2e-3f) << c.what << " " << profile << " component " << k;
        }
    }
}

// Without an explicit register the eye's constant is still bound and named
// in the constant table, beside another uniform the arithmetic reads.
TEST(Ps1Reflection, EyeConstantIsBoundByName) {
    const char* source = R"(
        sampler2D bumps; samplerCUBE env; float3 eye; float4 tint;
        float4 main(float4 t0 : TEXCOORD0, float4 t1 : TEXCOORD1, float4 t2 : TEXCOORD2,
                    float4 t3 : TEXCOORD3) : COLOR {
            float3 b = tex2D(bumps, t0.xy).xyz;
            float3 n = float3(dot(t1.xyz, b), dot(t2.xyz, b), dot(t3.xyz, b));
            return texCUBE(env, 2 * n * dot(n, eye) / dot(n, n) - eye) * tint;
        })";
    const Compiled shader = CompileHlsl(source, "ps_1_1");
    ASSERT_TRUE(shader.Ok()) << shader.messages;
    const Vec4 tint = {0.25f, 0.25f, 1.0f, 0.75f};
    std::map<Semantic, Vec4> inputs;
    for (UINT t = 0; t < 4; ++t) inputs[{kTexcoord, t}] = kRows[t];
    const ShaderRun run = RunPixel(shader, inputs, {{"eye", {kEye.begin(), kEye.end()}}, {"tint", {tint.begin(), tint.end()}}});
    ASSERT_TRUE(run.ok) << run.problem << "\n" << Disassembly(shader);
    // The harness's textures: sampler s at (u, v, w) gives (u + s, 2v, w + 0.25, 0.5).
    const Vec4 b = FakeTexel(0, kRows[0].data());
    float n[3], e[3] = {kEye[0], kEye[1], kEye[2]};
    for (int r = 0; r < 3; ++r) n[r] = kRows[r + 1][0] * b[0] + kRows[r + 1][1] * b[1] + kRows[r + 1][2] * b[2];
    const float ne = n[0] * e[0] + n[1] * e[1] + n[2] * e[2], nn = n[0] * n[0] + n[1] * n[1] + n[2] * n[2];
    float r[4];
    for (int k = 0; k < 3; ++k) r[k] = 2 * n[k] * ne / nn - e[k];
    r[3] = 1.0f;
    const Vec4 texel = FakeTexel(3, r);
    const Vec4& got = run.outputs.at({kColor, 0});
    for (int k = 0; k < 4; ++k) EXPECT_NEAR(got[k], texel[k] * tint[k], 2e-3f) << "component " << k;
}

}  // namespace
