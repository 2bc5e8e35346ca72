// ps_1_x rules beyond the texture stages: replicated scalars on the models
// that only replicate alpha, clip as texkill, and the messages for what the
// models cannot express.
#include <gtest/gtest.h>

#include <algorithm>

#include "codegen_harness.h"

namespace {

void ExpectNear(const Vec4& got, const Vec4& want, const std::string& what) {
    for (int c = 0; c < 4; ++c) EXPECT_NEAR(got[c], want[c], 2e-3f) << what << " component " << c;
}

// Three one-dimensional ramps looked up at scalar coordinates, then a sum of
// colours scaled by the scalar results.
TEST(Ps1ModelRules, ScalarLookupResultsScaleColours) {
    const char* source = R"(
        void main_fp(float diffuseIn : TEXCOORD0, float specularIn : TEXCOORD1, float edge : TEXCOORD2,
                     out float4 colour : COLOR, uniform float4 diffuse, uniform float4 specular,
                     uniform sampler1D diffuseRamp, uniform sampler1D specularRamp, uniform sampler1D edgeRamp) {
            diffuseIn = tex1D(diffuseRamp, diffuseIn).x;
            specularIn = tex1D(specularRamp, specularIn).x;
            edge = tex1D(edgeRamp, edge).x;
            colour = edge * ((diffuse * diffuseIn) + (specular * specularIn));
        })";
    const Vec4 t0 = {0.25f, 0, 0, 0}, t1 = {-0.5f, 0, 0, 0}, t2 = {-1.375f, 0, 0, 0};
    const Vec4 diffuse = {0.5f, 0.25f, 1.0f, 0.75f}, specular = {0.125f, 0.5f, 0.25f, 1.0f};
    // The harness's texture at stage s and coordinate u returns u + s in x.
    const float d = t0[0] + 0, s = t1[0] + 1, e = t2[0] + 2;
    Vec4 want;
    for (int c = 0; c < 4; ++c) want[c] = e * (diffuse[c] * d + specular[c] * s);
    for (const char* profile : {"ps_1_1", "ps_1_2", "ps_1_3", "ps_1_4"}) {
        const Compiled shader = CompileHlsl(source, profile, "main_fp");
        ASSERT_TRUE(shader.Ok()) << profile << ": " << shader.messages;
        const ShaderRun run = RunPixel(shader, {{{kTexcoord, 0}, t0}, {{kTexcoord, 1}, t1}, {{kTexcoord, 2}, t2}},
                                       {{"$diffuse", {diffuse.begin(), diffuse.end()}},
                                        {"$specular", {specular.begin(), specular.end()}}});
        ASSERT_TRUE(run.ok) << profile << ": " << run.problem;
        ExpectNear(run.outputs.at({kColor, 0}), want, profile);
    }
}

TEST(Ps1ModelRules, ReplicatedComponentsOfEveryKind) {
    // A uniform scalar (x), a colour's y and z, and alpha.
    const char* source = R"(
        float k; float4 m;
        float4 main(float4 c : COLOR0) : COLOR { return c * k + c.y * m + c.z * c.w; })";
    const Vec4 c = {0.25f, 0.5f, 0.75f, 0.5f}, m = {0.5f, -0.25f, 0.125f, 0.25f};
    const float k = 0.5f;
    Vec4 want;
    for (int i = 0; i < 4; ++i) want[i] = c[i] * k + c[1] * m[i] + c[2] * c[3];
    for (const char* profile : {"ps_1_1", "ps_1_4"}) {
        const Compiled shader = CompileHlsl(source, profile);
        ASSERT_TRUE(shader.Ok()) << profile << ": " << shader.messages;
        const ShaderRun run = RunPixel(shader, {{{kColor, 0}, c}}, {{"k", {k, 0, 0, 0}}, {"m", {m.begin(), m.end()}}});
        ASSERT_TRUE(run.ok) << profile << ": " << run.problem;
        ExpectNear(run.outputs.at({kColor, 0}), want, profile);
    }
}

TEST(Ps1ModelRules, SaturateIsTheResultModifier) {
    const char* source = R"(
        float4 main(float4 c : COLOR0, float4 d : COLOR1) : COLOR { return saturate(c + c - d) * d; })";
    // Within -1 to 1 everywhere, the range of the ps_1_1 registers.
    const Vec4 c = {0.375f, 0.25f, 0.125f, 0.5f}, d = {0.25f, 0.75f, 0.5f, 0.5f};
    Vec4 want;
    for (int i = 0; i < 4; ++i) want[i] = std::clamp(c[i] + c[i] - d[i], 0.0f, 1.0f) * d[i];
    for (const char* profile : {"ps_1_1", "ps_1_4"}) {
        const Compiled shader = CompileHlsl(source, profile);
        ASSERT_TRUE(shader.Ok()) << profile << ": " << shader.messages;
        const ShaderRun run = RunPixel(shader, {{{kColor, 0}, c}, {{kColor, 1}, d}});
        ASSERT_TRUE(run.ok) << profile << ": " << run.problem;
        ExpectNear(run.outputs.at({kColor, 0}), want, profile);
    }
}

TEST(Ps1ModelRules, SignedScaleIsASourceModifier) {
    // x * 2 - 1 and (x - 0.5) * 2 read x with _bx2: the literal 2, which
    // the models would clamp, never appears.
    const char* source = R"(
        sampler2D s;
        float4 main(float4 t : TEXCOORD0, float4 c : COLOR0) : COLOR {
            float4 n = tex2D(s, t);
            return dot(n.xyz * 2 - 1, (c.xyz - 0.5) * 2);
        })";
    const Vec4 t = {0.25f, 0.3f, 0.25f, 0.0f}, c = {0.75f, 0.25f, 0.5f, 1.0f};
    const Vec4 n = FakeTexel(0, t.data());
    float d = 0;
    for (int i = 0; i < 3; ++i) d += (2 * n[i] - 1) * (2 * c[i] - 1);
    for (const char* profile : {"ps_1_1", "ps_1_4"}) {
        const Compiled shader = CompileHlsl(source, profile);
        ASSERT_TRUE(shader.Ok()) << profile << ": " << shader.messages;
        EXPECT_EQ(shader.messages.find("X4704"), std::string::npos) << shader.messages;
        const ShaderRun run = RunPixel(shader, {{{kTexcoord, 0}, t}, {{kColor, 0}, c}});
        ASSERT_TRUE(run.ok) << profile << ": " << run.problem;
        ExpectNear(run.outputs.at({kColor, 0}), {d, d, d, d}, profile);
    }
}

TEST(Ps1ModelRules, ClipOfATextureCoordinateKillsThePixel) {
    const char* source = R"(
        float4 main(float3 t : TEXCOORD1, float4 c : COLOR0) : COLOR { clip(t); return c; })";
    for (const char* profile : {"ps_1_1", "ps_1_3", "ps_1_4"}) {
        const Compiled shader = CompileHlsl(source, profile);
        ASSERT_TRUE(shader.Ok()) << profile << ": " << shader.messages;
        const Vec4 colour = {0.25f, 0.5f, 0.75f, 1.0f};
        const ShaderRun kept = RunPixel(shader, {{{kTexcoord, 1}, {0.5f, 0.0f, 0.25f, -1.0f}}, {{kColor, 0}, colour}});
        ASSERT_TRUE(kept.ok) << kept.problem;
        EXPECT_FALSE(kept.killed) << profile << ": w is not tested";
        ExpectNear(kept.outputs.at({kColor, 0}), colour, profile);
        const ShaderRun killed = RunPixel(shader, {{{kTexcoord, 1}, {0.5f, -0.125f, 0.25f, 1.0f}}, {{kColor, 0}, colour}});
        ASSERT_TRUE(killed.ok) << killed.problem;
        EXPECT_TRUE(killed.killed) << profile;
    }
}

TEST(Ps1ModelRules, Messages) {
    struct Case {
        const char* profile;
        const char* source;
        const char* message;
    };
    const Case cases[] = {
        {"ps_1_1", "float4 main(float4 t : TEXCOORD0, float4 c : COLOR0) : COLOR { clip(t); return c; }",
         "error X4544: Clip must be from a 3 vector in ps_1_1"},
        {"ps_1_3", "float4 main(float4 c : COLOR0) : COLOR { clip(c.xyz); return c; }",
         "error X4513: texture loads or clips cannot be from inputs not marked TEXCOORD"},
        {"ps_1_2", "float4 main(float3 t : TEXCOORD0, float4 c : COLOR0) : COLOR { clip(t.zyx); return c; }",
         "error X4544: cannot clip from a swizzled vector"},
        {"ps_1_4", "float4 main(float4 c : COLOR0) : COLOR { return c.yzxw; }", "error X4533: cannot map swizzle to ps_1_4"},
        // Only single components replicate before ps_1_4.
        {"ps_1_1", "float4 main(float4 c : COLOR0) : COLOR { return float4(c.zzz, c.w) * c.w; }",
         "error X4532: cannot map expression to pixel shader instruction set"},
        {"ps_1_1", "float4 main(float4 c : COLOR0) : COLOR { return c.yzxw; }",
         "error X4532: cannot map expression to pixel shader instruction set"},
        // .zw widens to all four components and would overwrite the live x, y.
        {"ps_1_3",
         "float4 main(float4 c : COLOR0, float4 d : COLOR1) : COLOR { float4 r; r.xy = c.xy * d.xy; "
         "r.zw = c.zw + d.zw; return r; }",
         "error X4537: unable to emmulate write masks for ps_1_3 shader model"},
        // Eight values live at once; the models have six registers at most.
        {"ps_1_4",
         "float4 a, b, d, e; float4 main(float4 c : COLOR0, float4 f : COLOR1) : COLOR { "
         "float4 x = c * a; float4 y = f * b; float4 z = c * d; float4 w = f * e; float4 p = x * y; "
         "float4 q = z * w; return (x + y) * (z + w) + p * q + x * w + y * z; }",
         "error X4521: program too complex: out of temporary registers"},
        {"ps_1_2", "float4 main(float4 t : TEXCOORD0) : COLOR { return t.w; }",
         "error X4512: cannot access texture coordinate w-component in ps_1_2"},
    };
    for (const Case& c : cases) {
        const Compiled shader = CompileHlsl(c.source, c.profile);
        EXPECT_FALSE(shader.Ok()) << c.source;
        EXPECT_NE(MessagesWithoutFile(shader.messages).find(c.message), std::string::npos)
            << c.source << "\n" << shader.messages;
    }
}

}  // namespace
