// ps_1_1 to ps_1_3 dependent texture reads: each shape is compiled, run on
// the device with textures whose contents the test chooses (stage 0 holds a
// fixed texel, every other stage echoes the coordinates it is sampled at),
// and compared with the numbers worked out here; the shapes the models
// cannot match are reported with their messages.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "codegen_harness.h"
#include "gfx/shaders/shader_checker.h"
#include "shader/bytecode/disassembler.h"

namespace {

const Vec4 kTexel0 = {0.6f, 0.8f, 0.3f, 0.7f};  // stage 0's texture, everywhere
const Vec4 kT0 = {0.1f, 0.2f, 0.3f, 1.0f};
const Vec4 kT1 = {0.25f, 0.5f, 0.125f, 1.0f};
const Vec4 kT2 = {0.5f, 0.25f, 0.375f, 1.0f};
const Vec4 kT3 = {0.125f, 0.375f, 0.25f, 1.0f};
const Vec4 kColour = {0.5f, 1.0f, 0.25f, 1.0f};

class StageTextures : public gfx::TextureSampler {
public:
    gfx::BumpEnvironment bump;
    void Sample(UINT sampler, const gfx::SampleLanes& lanes, float (*out)[4]) override {
        for (int lane = 0; lane < gfx::kLanes; ++lane) {
            if (!(lanes.laneMask & (1u << lane))) continue;
            const float* c = lanes.coord[lane];
            const Vec4 t = sampler == 0 ? kTexel0 : Vec4{c[0], c[1], c[2], 1.0f};
            for (int k = 0; k < 4; ++k) out[lane][k] = t[k];
        }
    }
    gfx::BumpEnvironment Bump(UINT) const override { return bump; }
};

struct Result {
    bool ok = false;
    std::string problem;
    Vec4 colour{};
};

// `t1` replaces kT1 as the second texture coordinate when given.
Result RunStages(const Compiled& shader, const gfx::BumpEnvironment& bump = {}, const Vec4& t1 = kT1) {
    Result r;
    std::unique_ptr<gfx::ShaderProgram> program;
    std::string message;
    if (FAILED(gfx::CheckShaderTokens(shader.code.data(), shader.code.size(), gfx::ShaderKind::Pixel, &message)) ||
        FAILED(gfx::ShaderProgram::Create(shader.code.data(), shader.code.size(), gfx::ShaderKind::Pixel, &program))) {
        r.problem = "device refused the shader: " + message;
        return r;
    }
    auto constants = std::make_unique<gfx::ShaderConstants>();
    auto batch = std::make_unique<gfx::PixelBatch>();
    batch->quads = 1;
    batch->coverage = 0xF;
    const Vec4* coords[4] = {&kT0, &t1, &kT2, &kT3};
    for (int t = 0; t < 4; ++t)
        for (int c = 0; c < 4; ++c)
            for (int lane = 0; lane < 4; ++lane) batch->input[gfx::kPixelSlotTexcoord0 + t].v[c][lane] = (*coords[t])[c];
    for (int c = 0; c < 4; ++c)
        for (int lane = 0; lane < 4; ++lane) batch->input[0].v[c][lane] = kColour[c];
    StageTextures textures;
    textures.bump = bump;
    auto results = std::make_unique<gfx::PixelResults>();
    program->RunPixels(*constants, &textures, *batch, results.get());
    for (int c = 0; c < 4; ++c) r.colour[c] = results->color[0].v[c][0];
    r.ok = true;
    return r;
}

float Dot3(const Vec4& a, const Vec4& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

const char kParameters[] =
    "float4 t0 : TEXCOORD0, float3 t1 : TEXCOORD1, float3 t2 : TEXCOORD2, float3 t3 : TEXCOORD3, float4 c : COLOR0";

// "sampler2D s; statements" becomes a program whose entry takes the four
// texture coordinates and runs the statements.
std::string Program(const std::string& body) {
    const size_t split = std::min(body.find("float"), body.find("return"));
    return "sampler2D bumps; " + body.substr(0, split) + "\nfloat4 main(" + kParameters + ") : COLOR {" +
           body.substr(split) + " }";
}

struct Case {
    const char* what;
    std::vector<const char*> profiles;
    const char* body;  // sampler declarations, then the statements
    Vec4 want;
};

TEST(Ps1DependentReads, EveryShapeRunsOnTheDevice) {
    const Vec4 n = {2 * kTexel0[0] - 1, 2 * kTexel0[1] - 1, 2 * kTexel0[2] - 1, 0};
    const Vec4 plain = {kTexel0[0], kTexel0[1], kTexel0[2], 0};
    const Case cases[] = {
        {"texreg2ar", {"ps_1_1", "ps_1_2", "ps_1_3"},
         "sampler2D s; float4 a = tex2D(bumps, t0.xy); return tex2D(s, a.wx);",
         {kTexel0[3], kTexel0[0], 0, 1}},
        {"texreg2gb", {"ps_1_1", "ps_1_3"},
         "sampler2D s; float4 a = tex2D(bumps, t0.xy); return tex2D(s, a.yz);",
         {kTexel0[1], kTexel0[2], 0, 1}},
        {"texreg2rgb 2D", {"ps_1_2", "ps_1_3"},
         "sampler2D s; float4 a = tex2D(bumps, t0.xy); return tex2D(s, a.xy);",
         // texreg2rgb passes b along as well (a 2D texture ignores it).
         {kTexel0[0], kTexel0[1], kTexel0[2], 1}},
        {"texreg2rgb with _bx2", {"ps_1_3"},
         "sampler3D s; float4 a = tex2D(bumps, t0.xy); return tex3D(s, (a.xyz - 0.5) * 2);",
         {n[0], n[1], n[2], 1}},
        {"texreg2rgb 3D", {"ps_1_2"},
         "sampler3D s; float4 a = tex2D(bumps, t0.xy); return tex3D(s, a.xyz);",
         {kTexel0[0], kTexel0[1], kTexel0[2], 1}},
        {"texm3x2 with _bx2", {"ps_1_1", "ps_1_2", "ps_1_3"},
         "sampler2D s; float3 n = tex2D(bumps, t0.xy).xyz * 2 - 1; "
         "return tex2D(s, float2(dot(t1, n), dot(t2, n)));",
         {Dot3(kT1, n), Dot3(kT2, n), 0, 1}},
        {"texm3x2", {"ps_1_1"},
         "sampler2D s; float3 n = tex2D(bumps, t0.xy).xyz; return tex2D(s, float2(dot(n, t1), dot(t2, n)));",
         {Dot3(kT1, plain), Dot3(kT2, plain), 0, 1}},
        {"texm3x3tex", {"ps_1_1", "ps_1_3"},
         "samplerCUBE s; float3 n = tex2D(bumps, t0.xy).xyz * 2 - 1; "
         "return texCUBE(s, float3(dot(t1, n), dot(t2, n), dot(t3, n)));",
         {Dot3(kT1, n), Dot3(kT2, n), Dot3(kT3, n), 1}},
        {"texdp3tex", {"ps_1_2", "ps_1_3"},
         "sampler1D s; float3 n = tex2D(bumps, t0.xy).xyz; return tex1D(s, dot(t1, n));",
         {Dot3(kT1, plain), 0, 0, 1}},
    };
    for (const Case& c : cases) {
        const std::string program = Program(c.body);
        for (const char* profile : c.profiles) {
            const Compiled shader = CompileHlsl(program, profile);
            ASSERT_TRUE(shader.Ok()) << c.what << " " << profile << ": " << shader.messages << "\n" << program;
            const Result run = RunStages(shader);
            ASSERT_TRUE(run.ok) << c.what << " " << profile << ": " << run.problem;
            for (int k = 0; k < 4; ++k)
                EXPECT_NEAR(run.colour[k], c.want[k], 2e-3f) << c.what << " " << profile << " component " << k;
        }
    }
}

// Dot products of texture coordinates with a texture result that arithmetic
// reads: texdp3 and texm3x3 (ps_1_2, ps_1_3) compute them unclamped.
TEST(Ps1DependentReads, TextureCoordinateDotProductsInArithmetic) {
    const Vec4 n = {2 * kTexel0[0] - 1, 2 * kTexel0[1] - 1, 2 * kTexel0[2] - 1, 0};
    const Vec4 plain = {kTexel0[0], kTexel0[1], kTexel0[2], 0};
    const Vec4 big = {1.5f, -1.25f, 0.5f, 1.0f};  // outside 0 to 1: texcoord would clamp it
    struct Arithmetic {
        const char* body;
        Vec4 want;
    };
    const float d = Dot3(big, n);
    const Arithmetic cases[] = {
        {"float3 n = tex2D(bumps, t0.xy).xyz * 2 - 1; return dot(t1, n) * c;",
         {d * kColour[0], d * kColour[1], d * kColour[2], d * kColour[3]}},
        {"float3 n = tex2D(bumps, t0.xy).xyz; return float4(dot(t1, n), dot(t2, n), dot(t3, n), 1) * c;",
         {Dot3(big, plain) * kColour[0], Dot3(kT2, plain) * kColour[1], Dot3(kT3, plain) * kColour[2], kColour[3]}},
    };
    for (const Arithmetic& a : cases)
        for (const char* profile : {"ps_1_2", "ps_1_3"}) {
            const std::string program = Program(a.body);
            const Compiled shader = CompileHlsl(program, profile);
            ASSERT_TRUE(shader.Ok()) << profile << ": " << shader.messages << "\n" << program;
            EXPECT_EQ(shader.messages.find("X4707"), std::string::npos) << shader.messages;
            const Result run = RunStages(shader, {}, big);
            ASSERT_TRUE(run.ok) << run.problem;
            for (int k = 0; k < 4; ++k) EXPECT_NEAR(run.colour[k], a.want[k], 2e-3f) << program << " " << k;
        }
}

TEST(Ps1DependentReads, BumpOffsetTakesTheStageMatrix) {
    const char* source = R"(
        sampler2D bumps; sampler2D s; float2x2 bumpMatrix;
        float4 main(float2 t0 : TEXCOORD0, float2 t1 : TEXCOORD1) : COLOR {
            float4 b = tex2D(bumps, t0);
            return tex2D(s, t1 + mul(b.xy, bumpMatrix));
        })";
    gfx::BumpEnvironment bump;
    bump.m[0][0] = 0.5f;
    bump.m[0][1] = -0.25f;
    bump.m[1][0] = 0.125f;
    bump.m[1][1] = 0.75f;
    const float u = kT1[0] + bump.m[0][0] * kTexel0[0] + bump.m[1][0] * kTexel0[1];
    const float v = kT1[1] + bump.m[0][1] * kTexel0[0] + bump.m[1][1] * kTexel0[1];
    for (const char* profile : {"ps_1_1", "ps_1_3"}) {
        const Compiled shader = CompileHlsl(source, profile);
        ASSERT_TRUE(shader.Ok()) << profile << ": " << shader.messages;
        const Result run = RunStages(shader, bump);
        ASSERT_TRUE(run.ok) << run.problem;
        EXPECT_NEAR(run.colour[0], u, 2e-3f) << profile;
        EXPECT_NEAR(run.colour[1], v, 2e-3f) << profile;
    }
}

TEST(Ps1DependentReads, BumpLuminanceTakesTheStageSettings) {
    const char* source = R"(
        sampler2D bumps; sampler2D s; float2x2 bumpMatrix; float2 luminance;
        float4 main(float2 t0 : TEXCOORD0, float3 t1 : TEXCOORD1) : COLOR {
            float4 b = tex2D(bumps, t0);
            float4 c = tex2D(s, t1.xy + mul(b.xy, bumpMatrix));
            return float4(c.rgb * saturate(b.z * luminance.x + luminance.y), c.a);
        })";
    gfx::BumpEnvironment bump;
    bump.m[0][0] = 0.5f;
    bump.m[1][1] = -0.25f;
    const float u = kT1[0] + bump.m[0][0] * kTexel0[0], v = kT1[1] + bump.m[1][1] * kTexel0[1];
    // One setting inside the clamp, one above it.
    const float settings[2][2] = {{1.5f, -0.1f}, {2.0f, 0.75f}};
    for (const auto& setting : settings) {
        bump.lscale = setting[0];
        bump.loffset = setting[1];
        const float lum = std::clamp(kTexel0[2] * bump.lscale + bump.loffset, 0.0f, 1.0f);
        for (const char* profile : {"ps_1_1", "ps_1_3"}) {
            const Compiled shader = CompileHlsl(source, profile);
            ASSERT_TRUE(shader.Ok()) << profile << ": " << shader.messages;
            std::string text;
            DisassemblyError error;
            ASSERT_TRUE(SUCCEEDED(
                DisassembleShader(shader.code.data(), shader.code.size() * 4, DisassemblyOptions{false}, &text, &error)));
            EXPECT_NE(text.find("texbeml t1, t0"), std::string::npos) << text;
            const Result run = RunStages(shader, bump);
            ASSERT_TRUE(run.ok) << run.problem;
            const Vec4 want = {u * lum, v * lum, kT1[2] * lum, 1.0f};
            for (int k = 0; k < 4; ++k) EXPECT_NEAR(run.colour[k], want[k], 2e-3f) << profile << " component " << k;
        }
    }
}

struct Failure {
    const char* profile;
    const char* body;
    const char* message;
};

template <size_t N>
void ExpectFailures(const Failure (&failures)[N]) {
    for (const Failure& f : failures) {
        const std::string program = Program(f.body);
        const Compiled shader = CompileHlsl(program, f.profile);
        EXPECT_FALSE(shader.Ok()) << program;
        EXPECT_NE(MessagesWithoutFile(shader.messages).find(f.message), std::string::npos)
            << program << "\n" << shader.messages;
    }
}

TEST(Ps1DependentReads, ShapesTheModelsCannotMatch) {
    const Failure failures[] = {
        // Only texreg2rgb reads (r, g), and ps_1_1 lacks it.
        {"ps_1_1", "sampler2D s; float4 a = tex2D(bumps, t0.xy); return tex2D(s, a.xy);",
         "error X4536: expression can only be map to texreg2rgb, but this instruction is not supported on 1_1"},
        {"ps_1_2", "sampler2D s; float4 a = tex2D(bumps, t0.xy); return tex2D(s, a.wx * 2 - 1);",
         "error X4535: cannot match to texreg2ar or texreg2gb instruction because cannot have input modifiers"},
        {"ps_1_3", "sampler2D s; float4 a = tex2D(bumps, t0.xy); return tex2D(s, -a.xy);",
         "error X4535: cannot match to texreg2rgb instruction because can only have input modifier _bx2"},
        {"ps_1_1",
         "sampler2D s; sampler2D u; float4 a = tex2D(bumps, t0.xy); float4 b = tex2D(s, a.wx); "
         "return tex2D(u, b.wx);",
         "error X4534: cannot perform double dependent texture read in ps_1_x"},
        {"ps_1_3",
         "sampler2D s; float3 n = tex2D(bumps, t0.xy).xyz; return tex2D(s, float2(dot(t1, n), dot(t3, n)));",
         "error X4525: unable to match texm* because source inputs are not in appropriate texture coordinates. "
         "See ps_1_3 assembly reference for more information"},
        {"ps_1_1", "sampler2D s; float4 a = tex2D(bumps, t0.xy); return tex2D(s, a.xy * a.zw);",
         "error X4523: cannot map this dependent texture read to ps_1_1"},
        {"ps_1_2", "sampler2D s; return tex2D(s, c.xy);",
         "error X4513: cannot perform dependent texture read which in any way is based on color inputs"},
        // texdp3tex arrived with ps_1_2.
        {"ps_1_1", "sampler1D s; float3 n = tex2D(bumps, t0.xy).xyz; return tex1D(s, dot(t1, n));",
         "error X4523: cannot map this dependent texture read to ps_1_1"},
    };
    ExpectFailures(failures);
}

// ps_1_4 computes the coordinates in the first phase and looks them up
// after the phase marker.
TEST(Ps1DependentReads, SecondPhaseOfPs14) {
    struct Lookup {
        const char* body;
        float u, v;  // where the dependent lookup samples (the texture echoes it)
        Vec4 add;    // added to the lookup times the colour
    };
    const Lookup lookups[] = {
        {"sampler2D s; float4 a = tex2D(bumps, t0.xy); return tex2D(s, a.wx) * c + a;", kTexel0[3], kTexel0[0],
         kTexel0},
        {"sampler2D s; float4 a = tex2D(bumps, t0.xy); return tex2D(s, t1.xy * 0.5 + a.xy * 0.25) * c;",
         kT1[0] * 0.5f + kTexel0[0] * 0.25f, kT1[1] * 0.5f + kTexel0[1] * 0.25f, {0, 0, 0, 0}},
        {"sampler2D s : register(s2); return tex2D(s, t1.yx) * c;", kT1[1], kT1[0], {0, 0, 0, 0}},
        // Two samplers at one coordinate, which arithmetic reads as well
        // (texld r0, t1; texld r1, t1; texcrd into a third register).
        {"sampler2D s; return tex2D(s, t1.xy) * c + tex2D(bumps, t1.xy) * t1.x;", kT1[0],
         kT1[1], {kTexel0[0] * kT1[0], kTexel0[1] * kT1[0], kTexel0[2] * kT1[0], kTexel0[3] * kT1[0]}},
    };
    for (const Lookup& l : lookups) {
        const std::string program = Program(l.body);
        const Compiled shader = CompileHlsl(program, "ps_1_4");
        ASSERT_TRUE(shader.Ok()) << shader.messages << "\n" << program;
        const Result run = RunStages(shader);
        ASSERT_TRUE(run.ok) << run.problem << "\n" << program;
        EXPECT_NEAR(run.colour[0], l.u * kColour[0] + l.add[0], 2e-3f) << program;
        EXPECT_NEAR(run.colour[1], l.v * kColour[1] + l.add[1], 2e-3f) << program;
        EXPECT_NEAR(run.colour[3], kColour[3] + l.add[3], 2e-3f) << program;
    }
    const Failure failures[] = {
        {"ps_1_4",
         "sampler2D s; sampler2D u; float4 a = tex2D(bumps, t0.xy); float4 b = tex2D(s, a.wx); "
         "return tex2D(u, b.wx);",
         "error X4534: cannot perform double dependent texture read in ps_1_x"},
        {"ps_1_4", "sampler2D s; return tex2D(s, t1.xy * c.xy);",
         "error X4513: cannot perform dependent texture read which in any way is based on color inputs"},
        {"ps_1_4", "sampler2D s; return tex2D(s, t0.xy) + tex2D(s, t1.xy);",
         "error X4519: cannot perform texture lookup twice from a user bound or similar array access sampler in "
         "ps_1_4"},
        {"ps_1_4", "return t0.w * c;",
         "error X4512: accessing texture coordinate w-component not yet implemented in ps_1_4"},
    };
    ExpectFailures(failures);
}

}  // namespace
