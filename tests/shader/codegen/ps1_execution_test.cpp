// ps_1_1 to ps_1_4 shaders that fit the models: texture stages sampled with
// their own texture coordinates, arithmetic on colours, texture results and
// constants, literals clamped to -1 to 1.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

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

// Products by 2 and 4 (and 8 in ps_1_4), negated or not, are moves with the
// result shift, so the literal is never clamped; a factor the model cannot
// shift still is.
TEST(Ps1Execution, ScaledProductsUseTheResultShift) {
    const Vec4 c = {0.1f, 0.2f, 0.05f, 0.1f}, d = {0.01f, 0.05f, 0.02f, 0.015f};
    struct Case {
        const char* profile;
        const char* expression;
        Vec4 want;
        const char* shifts;  // in the disassembly; empty: the literal is clamped
    };
    const Case cases[] = {
        {"ps_1_1", "c * 2 + d * -4", {0.16f, 0.2f, 0.02f, 0.14f}, "mov_x2 mov_x4"},
        {"ps_1_3", "4 * c - d", {0.39f, 0.75f, 0.18f, 0.385f}, "mov_x4"},
        {"ps_1_4", "c * 8 + d * 2", {0.82f, 1.7f, 0.44f, 0.83f}, "mov_x8 mov_x2"},
        {"ps_1_1", "c * 8", {0.1f, 0.2f, 0.05f, 0.1f}, ""},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(std::string(k.profile) + ": " + k.expression);
        const Compiled shader = CompileHlsl(std::string("float4 main(float4 c : COLOR0, float4 d : COLOR1) : COLOR { return ") +
                                                k.expression + "; }",
                                            k.profile);
        ASSERT_TRUE(shader.Ok()) << shader.messages;
        const std::string text = Disassembly(shader);
        const std::string shifts = k.shifts;
        EXPECT_EQ(shader.messages.find("X4704") == std::string::npos, !shifts.empty()) << shader.messages;
        for (size_t at = 0; at < shifts.size();) {
            const size_t end = std::min(shifts.find(' ', at), shifts.size());
            EXPECT_NE(text.find(shifts.substr(at, end - at) + " "), std::string::npos) << text;
            at = end + 1;
        }
        const ShaderRun run = RunPixel(shader, {{{kColor, 0}, c}, {{kColor, 1}, d}});
        ASSERT_TRUE(run.ok) << run.problem;
        ExpectNear(run.outputs.at({kColor, 0}), k.want, text);
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

// The result lives in r0, so the final negation becomes a move from r0 to r0
// with the negate modifier: it must not be dropped as a copy onto itself.
TEST(Ps1Execution, NegatedResultOfTheLastInstruction) {
    const char* source = "float4 main(float4 a : COLOR0, float4 b : COLOR1) : COLOR { return -(a * b); }";
    const Vec4 b = {0.5f, 0.25f, 1.0f, 0.75f};
    Vec4 want;
    for (int c = 0; c < 4; ++c) want[c] = -kColour[c] * b[c];
    for (const char* profile : {"ps_1_1", "ps_1_3", "ps_1_4"}) {
        const Compiled shader = CompileHlsl(source, profile);
        ASSERT_TRUE(shader.Ok()) << profile << ": " << shader.messages;
        const ShaderRun run = RunPixel(shader, {{{kColor, 0}, kColour}, {{kColor, 1}, b}});
        ASSERT_TRUE(run.ok) << run.problem;
        ExpectNear(run.outputs.at({kColor, 0}), want, profile);
    }
}

// The y component of a - (0.5, 0, 0.5, 0.75) is a copy of a.y, whose write
// widens to .rgb over the x and z of the sum. Once the negation is folded
// into the reader, those components are read through a negated operand that
// has no writer of its own; the widening must still see them as live and
// refuse the program rather than overwrite them.
TEST(Ps1Execution, WidenedWriteMaskKeepsComponentsReadNegated) {
    const Vec4 b = {0.5f, 0.25f, 1.0f, 0.75f};
    const Vec4 k = {0.5f, 0.0f, 0.5f, 0.75f};
    const struct {
        const char* body;
        bool timesB;
    } cases[] = {{"return -(a - float4(0.5, 0.0, 0.5, 0.75));", false},
                 {"return -(a - float4(0.5, 0.0, 0.5, 0.75)) * b;", true}};
    for (const auto& c : cases) {
        const std::string source = std::string("float4 main(float4 a : COLOR0, float4 b : COLOR1) : COLOR { ") + c.body + " }";
        Vec4 want;
        for (int i = 0; i < 4; ++i) want[i] = -(kColour[i] - k[i]) * (c.timesB ? b[i] : 1.0f);
        for (const char* profile : {"ps_1_1", "ps_1_3", "ps_1_4"}) {
            const std::string what = std::string(profile) + ": " + c.body;
            const Compiled shader = CompileHlsl(source.c_str(), profile);
            if (!shader.Ok()) {
                EXPECT_NE(shader.messages.find("X4537"), std::string::npos) << what << "\n" << shader.messages;
                continue;
            }
            const ShaderRun run = RunPixel(shader, {{{kColor, 0}, kColour}, {{kColor, 1}, b}});
            ASSERT_TRUE(run.ok) << run.problem;
            ExpectNear(run.outputs.at({kColor, 0}), want, what);
        }
    }
}

}  // namespace
