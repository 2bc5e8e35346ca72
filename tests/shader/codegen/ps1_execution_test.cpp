// ps_1_1 to ps_1_4 shaders that fit the models: texture stages sampled with
// their own texture coordinates, arithmetic on colours, texture results and
// constants, literals clamped to -1 to 1.
#include <gtest/gtest.h>

#include <cmath>

#include "codegen_harness.h"

namespace {

const Vec4 kUv0 = {0.25f, 0.75f, 0.5f, 1.0f};
const Vec4 kUv1 = {0.125f, 0.5f, 0.25f, 1.0f};
const Vec4 kColour = {0.2f, 0.4f, 0.6f, 0.8f};

void ExpectNear(const Vec4& got, const Vec4& want, const std::string& what) {
    for (int c = 0; c < 4; ++c) EXPECT_NEAR(got[c], want[c], 2e-3f) << what << " component " << c;
}

TEST(Ps1Execution, TextureStagesAndArithmetic) {
    const char* source = R"(
        sampler2D base : register(s0);
        sampler2D detail : register(s1);
        float4 tint;
        float4 main(float2 uv0 : TEXCOORD0, float2 uv1 : TEXCOORD1, float4 colour : COLOR0) : COLOR {
            float4 a = tex2D(base, uv0);
            float4 b = tex2D(detail, uv1);
            return a * colour + b * tint * 0.5;
        })";
    const Vec4 tint = {0.5f, 0.25f, 1.0f, 0.75f};
    const Vec4 a = FakeTexel(0, kUv0.data()), b = FakeTexel(1, kUv1.data());
    Vec4 want{};
    for (int c = 0; c < 4; ++c) want[c] = a[c] * kColour[c] + b[c] * tint[c] * 0.5f;
    for (const char* profile : {"ps_1_1", "ps_1_2", "ps_1_3", "ps_1_4"}) {
        const Compiled shader = CompileHlsl(source, profile);
        ASSERT_TRUE(shader.Ok()) << profile << ": " << shader.messages;
        const ShaderRun run =
            RunPixel(shader, {{{kTexcoord, 0}, kUv0}, {{kTexcoord, 1}, kUv1}, {{kColor, 0}, kColour}},
                     {{"tint", {tint.begin(), tint.end()}}});
        ASSERT_TRUE(run.ok) << profile << ": " << run.problem;
        ExpectNear(run.outputs.at({kColor, 0}), want, profile);
    }
}

TEST(Ps1Execution, LiteralsOutsideTheRangeAreClamped) {
    const char* source = R"(
        float4 main(float4 colour : COLOR0) : COLOR { return colour * float4(2.0, 0.5, -3.0, 1.0); })";
    for (const char* profile : {"ps_1_1", "ps_1_4"}) {
        const Compiled shader = CompileHlsl(source, profile);
        ASSERT_TRUE(shader.Ok()) << profile << ": " << shader.messages;
        EXPECT_NE(shader.messages.find("X4704"), std::string::npos);
        const ShaderRun run = RunPixel(shader, {{{kColor, 0}, kColour}});
        ASSERT_TRUE(run.ok) << run.problem;
        ExpectNear(run.outputs.at({kColor, 0}), {kColour[0], kColour[1] * 0.5f, -kColour[2], kColour[3]}, profile);
    }
}

TEST(Ps1Execution, TextureCoordinatesReadByArithmetic) {
    const char* source = R"(
        float4 main(float4 uv : TEXCOORD0, float4 colour : COLOR0) : COLOR { return float4(uv.xyz, 1) * colour; })";
    for (const char* profile : {"ps_1_1", "ps_1_3", "ps_1_4"}) {
        const Compiled shader = CompileHlsl(source, profile);
        ASSERT_TRUE(shader.Ok()) << profile << ": " << shader.messages;
        EXPECT_NE(shader.messages.find("warning X4707"), std::string::npos) << shader.messages;
        const ShaderRun run = RunPixel(shader, {{{kTexcoord, 0}, kUv0}, {{kColor, 0}, kColour}});
        ASSERT_TRUE(run.ok) << profile << ": " << run.problem;
        ExpectNear(run.outputs.at({kColor, 0}),
                   {kUv0[0] * kColour[0], kUv0[1] * kColour[1], kUv0[2] * kColour[2], kColour[3]}, profile);
    }
}

TEST(Ps1Execution, WhatTheModelsCannotDoIsReported) {
    struct Case {
        const char* profile;
        const char* source;
        const char* number;
    };
    const Case cases[] = {
        // A dependent read: the coordinates are computed.
        {"ps_1_1", "sampler s; float4 main(float2 t : TEXCOORD0) : COLOR { return tex2D(s, t * 0.5); }", "X4523"},
        // Two samplers on one texture coordinate.
        {"ps_1_3",
         "sampler a; sampler b; float4 main(float2 t : TEXCOORD0) : COLOR { return tex2D(a, t) + tex2D(b, t); }",
         "X4516"},
        // A sampler bound to another stage than its coordinate.
        {"ps_1_1", "sampler s : register(s2); float4 main(float2 t : TEXCOORD0) : COLOR { return tex2D(s, t); }",
         "X4515"},
        {"ps_1_4", "float4 main(float4 c : COLOR0) : COLOR { return 1 / c; }", "X4532"},
    };
    for (const Case& c : cases) {
        const Compiled shader = CompileHlsl(c.source, c.profile);
        EXPECT_FALSE(shader.Ok()) << c.source;
        EXPECT_NE(shader.messages.find(c.number), std::string::npos) << c.source << "\n" << shader.messages;
    }
}

}  // namespace
