// The 2_x and 3.0 profiles: the 3.0 register model (outputs in declared o
// registers, inputs in declared v registers) as the device reads it back,
// the register-file limits of the models, and effect techniques naming them.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "codegen_harness.h"

namespace {

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// Every output kind the fixed registers of vs_2_0 had, plus one (NORMAL)
// they had not: each comes back under its own semantic, fog and point size
// from the x of their registers.
TEST(Sm3Profiles, VertexOutputsAreDeclaredORegisters) {
    const char* source = R"(
        struct O { float4 p : POSITION; float2 t : TEXCOORD3; float4 c : COLOR1; float f : FOG;
                   float s : PSIZE; float3 n : NORMAL; };
        O main(float4 p : POSITION, float3 n : NORMAL) {
            O o;
            o.p = p * 2; o.t = n.yx; o.c = float4(n, p.w); o.f = p.x + 1; o.s = n.z * 3; o.n = -n;
            return o;
        })";
    const Compiled shader = CompileHlsl(source, "vs_3_0");
    ASSERT_TRUE(shader.Ok()) << shader.messages;
    const std::string text = Disassembly(shader);
    for (const char* fixed : {"oPos", "oT", "oD", "oFog", "oPts"}) EXPECT_FALSE(Has(text, fixed)) << fixed << "\n" << text;
    EXPECT_TRUE(Has(text, "dcl_texcoord3 o")) << text;
    EXPECT_TRUE(Has(text, "dcl_normal o")) << text;
    const Vec4 p = {1, -2, 3, 0.5f}, n = {0.25f, 0.5f, -1, 0};
    const ShaderRun run = RunVertex(shader, {{{kPosition, 0}, p}, {{kNormal, 0}, n}});
    ASSERT_TRUE(run.ok) << run.problem;
    const auto expect = [&](Semantic s, Vec4 want, int components) {
        auto it = run.outputs.find(s);
        ASSERT_NE(it, run.outputs.end()) << s.first << "/" << s.second;
        for (int c = 0; c < components; ++c) EXPECT_FLOAT_EQ(it->second[c], want[c]) << s.first << " component " << c;
    };
    expect({kPosition, 0}, {2, -4, 6, 1}, 4);
    expect({kTexcoord, 3}, {n[1], n[0], 0, 0}, 2);
    expect({kColor, 1}, {n[0], n[1], n[2], p[3]}, 4);
    expect({kFog, 0}, {p[0] + 1, 0, 0, 0}, 1);
    expect({kPsize, 0}, {n[2] * 3, 0, 0, 0}, 1);
    expect({kNormal, 0}, {-n[0], -n[1], -n[2], 0}, 3);
}

// ps_3_0 reads every input from a declared v register: usages ps_2_0 has no
// register for (NORMAL, FOG, a sixth texture coordinate) reach the program.
TEST(Sm3Profiles, PixelInputsAreDeclaredVRegisters) {
    const char* source = R"(
        sampler2D s : register(s2);
        float4 main(float3 n : NORMAL, float f : FOG, float4 t : TEXCOORD5, float4 c : COLOR1) : COLOR {
            return tex2D(s, t.xy) * c + float4(n, f);
        })";
    const Compiled shader = CompileHlsl(source, "ps_3_0");
    ASSERT_TRUE(shader.Ok()) << shader.messages;
    const std::string text = Disassembly(shader);
    EXPECT_TRUE(Has(text, "dcl_texcoord5 v")) << text;
    EXPECT_TRUE(Has(text, "dcl_normal v")) << text;
    EXPECT_FALSE(Has(text, " t5")) << text;
    const Vec4 n = {0.5f, -1, 2, 0}, f = {0.25f, 0, 0, 0}, t = {0.125f, 0.75f, 0, 0}, c = {1, 2, 3, 4};
    const ShaderRun run = RunPixel(shader, {{{kNormal, 0}, n}, {{kFog, 0}, f}, {{kTexcoord, 5}, t}, {{kColor, 1}, c}});
    ASSERT_TRUE(run.ok) << run.problem;
    const Vec4 texel = FakeTexel(2, t.data());
    const Vec4 want = {texel[0] * c[0] + n[0], texel[1] * c[1] + n[1], texel[2] * c[2] + n[2], texel[3] * c[3] + f[0]};
    for (int k = 0; k < 4; ++k) EXPECT_FLOAT_EQ(run.outputs.at({kColor, 0})[k], want[k]) << k;

    // The same source has no register for NORMAL before 3.0.
    const Compiled ps2 = CompileHlsl(source, "ps_2_x");
    EXPECT_EQ(ps2.hr, E_FAIL);
    EXPECT_TRUE(Has(ps2.messages, "error X4502: invalid input semantic 'NORMAL0'")) << ps2.messages;
}

// The models' register files: twelve o registers in vs_3_0, ten v
// registers in ps_3_0; a position reaches a 3.0 pixel shader only as VPOS;
// a 3.0 vertex shader still must write its position.
TEST(Sm3Profiles, RegisterFileLimitsAndRefusedSemantics) {
    std::string outputs = "struct O { float4 p : POSITION;";
    std::string body;
    for (int i = 0; i < 12; ++i) {
        outputs += " float4 t" + std::to_string(i) + " : TEXCOORD" + std::to_string(i) + ";";
        body += " o.t" + std::to_string(i) + " = p * " + std::to_string(i) + ";";
    }
    const std::string vs = outputs + " };\nO main(float4 p : POSITION) { O o; o.p = p;" + body + " return o; }";
    const Compiled thirteen = CompileHlsl(vs, "vs_3_0");
    EXPECT_EQ(thirteen.hr, E_FAIL);
    EXPECT_TRUE(Has(thirteen.messages, "error X4506: maximum output register index exceeded")) << thirteen.messages;

    std::string params, sum = "0";
    for (int i = 0; i < 11; ++i) {
        params += std::string(i ? ", " : "") + "float4 t" + std::to_string(i) + " : TEXCOORD" + std::to_string(i);
        sum += " + t" + std::to_string(i);
    }
    const Compiled eleven = CompileHlsl("float4 main(" + params + ") : COLOR { return " + sum + "; }", "ps_3_0");
    EXPECT_EQ(eleven.hr, E_FAIL);
    EXPECT_TRUE(Has(eleven.messages, "error X4506: maximum input register index exceeded")) << eleven.messages;

    const Compiled position = CompileHlsl("float4 main(float4 p : POSITION) : COLOR { return p; }", "ps_3_0");
    EXPECT_EQ(position.hr, E_FAIL);
    EXPECT_TRUE(Has(position.messages, "error X4502: invalid reference to input semantic 'POSITION0'"))
        << position.messages;

    const Compiled noPosition = CompileHlsl("float4 main(float4 p : POSITION) : TEXCOORD0 { return p; }", "vs_3_0");
    EXPECT_EQ(noPosition.hr, E_FAIL);
    EXPECT_TRUE(Has(noPosition.messages, "error X4541")) << noPosition.messages;
}

// Techniques name the new profiles in their compile statements; each
// shader of the pass compiles on its own for that profile.
TEST(Sm3Profiles, EffectTechniquesCompileForTheNewProfiles) {
    const char* source = R"(
        float4 vs(float4 p : POSITION) : POSITION { return p; }
        float4 ps(float4 c : COLOR0) : COLOR { return c * 2; }
        technique T {
            pass P0 { VertexShader = compile vs_3_0 vs(); PixelShader = compile ps_3_0 ps(); }
            pass P1 { VertexShader = compile vs_2_a vs(); PixelShader = compile ps_2_b ps(); }
        })";
    for (const auto& [entry, profile] : {std::pair{"vs", "vs_3_0"}, {"ps", "ps_3_0"}, {"vs", "vs_2_a"}, {"ps", "ps_2_b"}}) {
        const Compiled shader = CompileHlsl(source, profile, entry);
        EXPECT_TRUE(shader.Ok()) << profile << ": " << shader.messages;
        // The bytecode carries the model's version token; 2_a and 2_b are 2_x.
        ASSERT_FALSE(shader.code.empty());
        const DWORD minor = std::string(profile).find("_2_") != std::string::npos ? 0x0201 : 0x0300;
        EXPECT_EQ(shader.code[0] & 0xFFFF, minor) << profile;
    }
}

}  // namespace

namespace {

// VPOS and VFACE reach a ps_3_0 program from the device's own registers:
// the pixel's x and y, and a face value whose sign selects between two
// results. Before 3.0 neither exists.
TEST(Sm3Profiles, PixelPositionAndFace) {
    const char* source = R"(
        float4 main(float2 p : VPOS, float face : VFACE, float4 c : COLOR0) : COLOR {
            return float4(p * 0.5, face > 0 ? c.x : -c.y, p.x + c.w);
        })";
    const Compiled shader = CompileHlsl(source, "ps_3_0");
    ASSERT_TRUE(shader.Ok()) << shader.messages;
    const Vec4 c = {0.25f, 0.75f, 0, 2};
    for (float face : {1.0f, -1.0f}) {
        const ShaderRun run = RunPixel(shader, {{kVpos, {7.5f, 3.5f, 0, 0}}, {kVface, {face, 0, 0, 0}}, {{kColor, 0}, c}});
        ASSERT_TRUE(run.ok) << run.problem << "\n" << Disassembly(shader);
        const Vec4 want = {3.75f, 1.75f, face > 0 ? c[0] : -c[1], 7.5f + c[3]};
        for (int k = 0; k < 4; ++k) EXPECT_FLOAT_EQ(run.outputs.at({kColor, 0})[k], want[k]) << "face " << face << " " << k;
    }
    for (const char* profile : {"ps_2_0", "ps_2_x"}) {
        const Compiled old = CompileHlsl(source, profile);
        EXPECT_EQ(old.hr, E_FAIL) << profile;
        EXPECT_TRUE(Has(old.messages, "error X4502: invalid input semantic 'VPOS0'")) << old.messages;
    }
    const Compiled wide = CompileHlsl("float4 main(float4 p : VPOS) : COLOR { return p.zwxy; }", "ps_3_0");
    EXPECT_EQ(wide.hr, E_FAIL);
    EXPECT_TRUE(Has(wide.messages, "error X4502")) << wide.messages;
}

}  // namespace
