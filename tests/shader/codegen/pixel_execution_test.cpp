// Pixel shaders compiled by our compiler and run on the device's shader
// programs with a stand-in texture (FakeTexel), compared with C++.
#include <gtest/gtest.h>

#include <cmath>

#include "codegen_harness.h"

namespace {

const float kAny = NAN;
const Vec4 kUv = {0.25f, 0.75f, 0.5f, 2.0f};
const Vec4 kUv1 = {-0.5f, 0.125f, 1.5f, 4.0f};
const Vec4 kColour = {0.2f, 0.4f, 0.6f, 0.8f};

// Every hardware pixel model the compiler writes from ps_2_0 up: 3.0 reads
// its inputs from declared v registers instead of t registers.
constexpr const char* kPixelProfiles[] = {"ps_2_0", "ps_2_x", "ps_3_0"};

void ExpectNear(const Vec4& got, const Vec4& want, const std::string& what) {
    for (int c = 0; c < 4; ++c) {
        if (std::isnan(want[c])) continue;
        EXPECT_NEAR(got[c], want[c], 1e-3f * std::max(1.0f, std::fabs(want[c]))) << what << " component " << c;
    }
}

ShaderRun CompileAndRun(const std::string& source, const char* profile, const Uniforms& uniforms = {},
                        DWORD flags = 0) {
    const Compiled shader = CompileHlsl(source, profile, "main", flags);
    EXPECT_TRUE(shader.Ok()) << profile << ": " << shader.messages;
    if (!shader.Ok()) return {};
    ShaderRun run = RunPixel(shader, {{{kTexcoord, 0}, kUv}, {{kTexcoord, 1}, kUv1}, {{kColor, 0}, kColour}}, uniforms);
    EXPECT_TRUE(run.ok) << profile << ": " << run.problem;
    return run;
}

Vec4 Tex(UINT sampler, Vec4 c) { return FakeTexel(sampler, c.data()); }

TEST(PixelExecution, ArithmeticAndSwizzles) {
    const char* source = R"(
        float4 tint;
        float4 main(float4 uv : TEXCOORD0, float4 colour : COLOR0) : COLOR {
            float4 r = colour.yxwz * tint + uv.x;
            r.xy = r.yx * uv.zw - colour.w;
            r.z = max(r.z, uv.y) / 2;
            return r;
        })";
    const Vec4 tint = {2, 3, -1, 0.5f};
    Vec4 r{};
    const Vec4 sw = {kColour[1], kColour[0], kColour[3], kColour[2]};
    for (int c = 0; c < 4; ++c) r[c] = sw[c] * tint[c] + kUv[0];
    const float x = r[1] * kUv[2] - kColour[3], y = r[0] * kUv[3] - kColour[3];
    r[0] = x;
    r[1] = y;
    r[2] = std::max(r[2], kUv[1]) / 2;
    for (const char* profile : {"ps_2_0", "ps_2_sw", "ps_2_x", "ps_3_0", "ps_3_sw"}) {
        const ShaderRun run = CompileAndRun(source, profile, {{"tint", {tint.begin(), tint.end()}}});
        ExpectNear(run.outputs.at({kColor, 0}), r, profile);
    }
}

TEST(PixelExecution, EveryTextureLookup) {
    struct Case {
        const char* call;
        Vec4 expected;
    };
    const Vec4 projected = {kUv[0] / kUv[3], kUv[1] / kUv[3], kUv[2] / kUv[3], 1};
    const Case cases[] = {
        {"tex1D(s1, uv.y)", Tex(1, {kUv[1], kUv[1], 0, 0})},
        {"tex2D(s1, uv.xy)", Tex(1, kUv)},
        {"tex2D(s1, uv.yx)", Tex(1, {kUv[1], kUv[0], 0, 0})},
        {"tex2Dproj(s1, uv)", Tex(1, projected)},
        {"tex2Dbias(s1, uv)", Tex(1, kUv)},
        {"tex3D(v3, uv.xyz)", Tex(2, kUv)},
        {"texCUBE(c4, uv.xyz)", Tex(3, kUv)},
        {"tex2D(s1, uv.xy * 2)", Tex(1, {kUv[0] * 2, kUv[1] * 2, 0, 0})},
    };
    for (const Case& c : cases) {
        const std::string source = std::string(R"(
            sampler s1 : register(s1); sampler3D v3 : register(s2); samplerCUBE c4 : register(s3);
            float4 main(float4 uv : TEXCOORD0) : COLOR { return )") + c.call + "; }";
        for (const char* profile : kPixelProfiles) {
            const Compiled shader = CompileHlsl(source, profile);
            ASSERT_TRUE(shader.Ok()) << c.call << " " << profile << ": " << shader.messages;
            const ShaderRun run = RunPixel(shader, {{{kTexcoord, 0}, kUv}});
            ASSERT_TRUE(run.ok) << profile << ": " << run.problem;
            // Only x and y of a 2D lookup's coordinates reach the texture.
            Vec4 want = c.expected;
            if (std::string(c.call).find("3D") == std::string::npos &&
                std::string(c.call).find("CUBE") == std::string::npos)
                want[2] = kAny;
            ExpectNear(run.outputs.at({kColor, 0}), want, std::string(c.call) + " " + profile);
        }
    }
}

// The projected and biased forms of every dimension, and a one-dimensional
// lookup from a coordinate already in x: the texture sees (u, u).
TEST(PixelExecution, ProjectedAndBiasedLookupsOfEveryDimension) {
    struct Case {
        const char* call;
        Vec4 expected;
        bool planar;  // only x and y reach the texture
    };
    const float w = kUv[3];
    const Vec4 projected = {kUv[0] / w, kUv[1] / w, kUv[2] / w, 1};
    const Case cases[] = {
        {"tex1D(s1, uv.x)", Tex(1, {kUv[0], kUv[0], 0, 0}), true},
        {"tex1Dproj(s1, uv)", Tex(1, {projected[0], projected[0], 0, 0}), true},
        {"tex1Dbias(s1, uv)", Tex(1, {kUv[0], kUv[0], 0, 0}), true},
        {"tex2Dproj(s1, uv.wzyx)", Tex(1, {kUv[3] / kUv[0], kUv[2] / kUv[0], 0, 0}), true},
        {"tex3Dproj(v3, uv)", Tex(2, projected), false},
        {"tex3Dbias(v3, uv)", Tex(2, kUv), false},
        {"texCUBEproj(c4, uv)", Tex(3, projected), false},
        {"texCUBEbias(c4, uv)", Tex(3, kUv), false},
    };
    for (const Case& c : cases) {
        const std::string source = std::string(R"(
            sampler s1 : register(s1); sampler3D v3 : register(s2); samplerCUBE c4 : register(s3);
            float4 main(float4 uv : TEXCOORD0) : COLOR { return )") + c.call + "; }";
        for (const char* profile : kPixelProfiles)
            for (DWORD flags : {0u, 0x08u}) {
                const Compiled shader = CompileHlsl(source, profile, "main", flags);
                ASSERT_TRUE(shader.Ok()) << c.call << " " << profile << ": " << shader.messages;
                const ShaderRun run = RunPixel(shader, {{{kTexcoord, 0}, kUv}});
                ASSERT_TRUE(run.ok) << profile << ": " << run.problem;
                Vec4 want = c.expected;
                if (c.planar) want[2] = kAny;
                ExpectNear(run.outputs.at({kColor, 0}), want,
                           std::string(c.call) + " " + profile + " flags " + std::to_string(flags));
            }
    }
}

TEST(PixelExecution, FourColourOutputs) {
    const char* source = R"(
        struct Out { float4 c0 : COLOR0; float4 c1 : COLOR1; float4 c2 : COLOR2; float4 c3 : COLOR3; };
        sampler s : register(s0);
        Out main(float4 uv : TEXCOORD0, float4 colour : COLOR0) {
            Out o;
            o.c0 = colour;
            o.c1 = tex2D(s, uv.xy);
            o.c2 = saturate(uv * 2 - 1);
            o.c3 = float4(uv.xy, colour.zw) * 0.5;
            return o;
        })";
    for (const char* profile : kPixelProfiles) {
        const ShaderRun run = CompileAndRun(source, profile);
        ASSERT_TRUE(run.ok);
        const std::string p = std::string(profile) + " ";
        ExpectNear(run.outputs.at({kColor, 0}), kColour, p + "COLOR0");
        const Vec4 texel = Tex(0, kUv);
        ExpectNear(run.outputs.at({kColor, 1}), {texel[0], texel[1], kAny, texel[3]}, p + "COLOR1");
        Vec4 c2;
        for (int k = 0; k < 4; ++k) c2[k] = std::min(std::max(kUv[k] * 2 - 1, 0.0f), 1.0f);
        ExpectNear(run.outputs.at({kColor, 2}), c2, p + "COLOR2");
        ExpectNear(run.outputs.at({kColor, 3}), {kUv[0] * 0.5f, kUv[1] * 0.5f, kColour[2] * 0.5f, kColour[3] * 0.5f},
                   p + "COLOR3");
    }
}

TEST(PixelExecution, ClipDiscardsOnlyNegativeComponents) {
    const char* source = R"(
        float4 main(float4 uv : TEXCOORD0, float4 off : TEXCOORD1) : COLOR {
            clip(uv.xy + off.xx);
            return uv;
        })";
    for (const char* profile : kPixelProfiles) {
        const Compiled shader = CompileHlsl(source, profile);
        ASSERT_TRUE(shader.Ok()) << profile << ": " << shader.messages;
        const ShaderRun kept = RunPixel(shader, {{{kTexcoord, 0}, kUv}, {{kTexcoord, 1}, {0.1f, 0, 0, 0}}});
        ASSERT_TRUE(kept.ok) << profile << ": " << kept.problem;
        EXPECT_FALSE(kept.killed) << profile;
        const ShaderRun killed = RunPixel(shader, {{{kTexcoord, 0}, kUv}, {{kTexcoord, 1}, {-0.5f, 0, 0, 0}}});
        ASSERT_TRUE(killed.ok) << profile << ": " << killed.problem;
        EXPECT_TRUE(killed.killed) << profile;
    }
}

TEST(PixelExecution, SeveralColoursAndDepth) {
    const char* source = R"(
        struct Out { float4 c0 : COLOR0; float4 c1 : COLOR1; float depth : DEPTH; };
        Out main(float4 uv : TEXCOORD0, float4 colour : COLOR0) {
            Out o;
            o.c0 = colour * 2;
            o.c1 = uv.wzyx;
            o.depth = uv.x * 0.5;
            return o;
        })";
    for (const char* profile : kPixelProfiles) {
        const ShaderRun run = CompileAndRun(source, profile);
        ASSERT_TRUE(run.ok);
        const std::string p = std::string(profile) + " ";
        ExpectNear(run.outputs.at({kColor, 0}), {kColour[0] * 2, kColour[1] * 2, kColour[2] * 2, kColour[3] * 2},
                   p + "COLOR0");
        ExpectNear(run.outputs.at({kColor, 1}), {kUv[3], kUv[2], kUv[1], kUv[0]}, p + "COLOR1");
        ExpectNear(run.outputs.at({12, 0}), {kUv[0] * 0.5f, kAny, kAny, kAny}, p + "DEPTH");
    }
}

TEST(PixelExecution, ComparisonsSelectionAndPartialPrecision) {
    const char* source = R"(
        float4 main(float4 uv : TEXCOORD0, half4 colour : COLOR0) : COLOR {
            half4 h = colour * 0.5h;
            float4 r;
            r.x = uv.x < uv.y ? h.x : 7;
            r.y = uv.z >= 0.5 ? 1 : 0;
            r.z = min(uv.w, h.w) + (uv.x == 0.25);
            r.w = abs(uv.x - 1);
            return r;
        })";
    const Vec4 want = {kColour[0] * 0.5f, 1, std::min(kUv[3], kColour[3] * 0.5f) + 1, 0.75f};
    for (const char* profile : kPixelProfiles)
        for (DWORD flags : {0u, 0x08u}) {
            const ShaderRun run = CompileAndRun(source, profile, {}, flags);
            ASSERT_TRUE(run.ok);
            ExpectNear(run.outputs.at({kColor, 0}), want, std::string(profile) + " flags " + std::to_string(flags));
        }
}

}  // namespace
