// A compile that succeeds gives a program its profile can hold: a shader of
// exactly the model's instruction slots compiles, one slot more fails with
// the validator's message (X5037, naming the count and the limit), and
// constants beyond the model's register file fail the same way (X5014).
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "codegen_harness.h"
#include "gfx/shaders/shader_checker.h"
#include "shader/compiler.h"

namespace {

// n chained multiply-adds that nothing can fold: one slot each.
std::string Chain(bool pixel, int n) {
    std::string s = "float4 k;\n";
    s += pixel ? "float4 main(float4 t : TEXCOORD0) : COLOR {\n" : "float4 main(float4 t : TEXCOORD0) : POSITION {\n";
    s += "    float4 r = t;\n";
    for (int i = 0; i < n; ++i) s += "    r = r * t + k;\n";
    return s + "    return r;\n}\n";
}

unsigned Slots(const Compiled& shader) {
    gfx::SlotCount count;
    EXPECT_TRUE(gfx::CountInstructionSlots(shader.code.data(), shader.code.size(), &count));
    return count.arithmetic + count.texture;
}

TEST(SlotLimits, ACompileAtTheLimitSucceedsOneOverFails) {
    struct Case {
        const char* profile;
        bool pixel;
        unsigned limit;
        const char* over;  // the message for one slot more
    };
    for (const Case& c : {Case{"ps_2_0", true, 64, "65 arithmetic instruction slots exceed the 64 that ps_2_0 allows"},
                          Case{"vs_1_1", false, 128, "129 instruction slots exceed the 128 that vs_1_1 allows"},
                          Case{"vs_2_0", false, 256, "257 instruction slots exceed the 256 that vs_2_0 allows"}}) {
        SCOPED_TRACE(c.profile);
        // Find the chain that fills the budget exactly.
        int n = 1;
        Compiled shader = CompileHlsl(Chain(c.pixel, n), c.profile);
        ASSERT_TRUE(shader.Ok()) << shader.messages;
        n += int(c.limit - Slots(shader));
        shader = CompileHlsl(Chain(c.pixel, n), c.profile);
        ASSERT_TRUE(shader.Ok()) << shader.messages;
        EXPECT_EQ(Slots(shader), c.limit);
        const Compiled over = CompileHlsl(Chain(c.pixel, n + 1), c.profile);
        EXPECT_FALSE(over.Ok());
        EXPECT_TRUE(over.code.empty());
        EXPECT_NE(over.messages.find(std::string("error X5037: ") + c.over), std::string::npos) << over.messages;
        // The software profile of the same kind has no budget.
        EXPECT_TRUE(CompileHlsl(Chain(c.pixel, n + 1), c.pixel ? "ps_2_sw" : "vs_2_sw").Ok());
    }
}

// A radial blur of eleven lookups: gathering the coordinate arithmetic into
// vector instructions makes it too large for ps_2_0, so the compiler falls
// back to the form without gathering, which fits and computes the same.
const char* kRadialBlur = R"(
sampler2D tex : register(s0);
static const float samples[10] = {-0.08, -0.05, -0.03, -0.02, -0.01, 0.01, 0.02, 0.03, 0.05, 0.08};
float4 main(float2 uv : TEXCOORD0, uniform float sampleDist, uniform float sampleStrength) : COLOR {
    float2 dir = 0.5 - uv;
    float dist = sqrt(dir.x * dir.x + dir.y * dir.y);
    dir = normalize(dir);
    float4 color = tex2D(tex, uv);
    float4 sum = color;
    for (int i = 0; i < 10; i++) sum += tex2D(tex, uv + dir * samples[i] * sampleDist);
    sum /= 11;
    return lerp(color, sum, saturate(dist * sampleStrength));
})";

TEST(SlotLimits, AProgramTooLargeInItsFirstFormCompilesInTheSmallerOne) {
    // The first form: ps_2_0 code without the validator (which would refuse
    // its slots), run as the software model of its version.
    Compiled unbounded = CompileHlsl(kRadialBlur, "ps_2_0", "main", KLSHADER_SKIPVALIDATION);
    ASSERT_TRUE(unbounded.Ok()) << unbounded.messages;
    gfx::SlotCount first;
    ASSERT_TRUE(gfx::CountInstructionSlots(unbounded.code.data(), unbounded.code.size(), &first));
    EXPECT_GT(first.arithmetic, 64u) << "the first form fits; the test no longer shows the second";
    unbounded.code[0] |= 0xFF;

    const Compiled fitted = CompileHlsl(kRadialBlur, "ps_2_0");
    ASSERT_TRUE(fitted.Ok()) << fitted.messages;
    EXPECT_TRUE(fitted.messages.empty()) << "the first form's messages must not remain: " << fitted.messages;
    gfx::SlotCount second;
    ASSERT_TRUE(gfx::CountInstructionSlots(fitted.code.data(), fitted.code.size(), &second));
    EXPECT_LE(second.arithmetic, 64u);

    // Both forms compute the blur.
    const Vec4 uv = {0.3f, 0.6f, 0.0f, 0.0f};
    const Uniforms uniforms = {{"sampleDist", {1.5f, 0, 0, 0}}, {"sampleStrength", {0.8f, 0, 0, 0}}};
    const double dx = 0.5 - uv[0], dy = 0.5 - uv[1], dist = std::sqrt(dx * dx + dy * dy);
    const double samples[10] = {-0.08, -0.05, -0.03, -0.02, -0.01, 0.01, 0.02, 0.03, 0.05, 0.08};
    double sum[2] = {uv[0], 2.0 * uv[1]};
    for (double s : samples) {
        sum[0] += uv[0] + dx / dist * s * 1.5;
        sum[1] += 2.0 * (uv[1] + dy / dist * s * 1.5);
    }
    const double t = std::min(1.0, dist * 0.8);
    const double want[2] = {uv[0] + (sum[0] / 11 - uv[0]) * t, 2.0 * uv[1] + (sum[1] / 11 - 2.0 * uv[1]) * t};
    for (const Compiled* shader : {static_cast<const Compiled*>(&unbounded), &fitted}) {
        const ShaderRun run = RunPixel(*shader, {{{kTexcoord, 0}, uv}}, uniforms);
        ASSERT_TRUE(run.ok) << run.problem;
        const Vec4& got = run.outputs.at({kColor, 0});
        EXPECT_NEAR(got[0], want[0], 1e-4);
        EXPECT_NEAR(got[1], want[1], 1e-4);
        EXPECT_NEAR(got[3], 0.5, 1e-6);
    }
}

TEST(SlotLimits, ConstantsBeyondTheRegisterFileFailTheCompile) {
    const Compiled c40 = CompileHlsl("float4 c[40];\nfloat4 main(float4 t : TEXCOORD0) : COLOR { return c[39] * t + c[0]; }",
                                     "ps_2_0");
    EXPECT_FALSE(c40.Ok());
    EXPECT_NE(c40.messages.find("error X5014: register c39 is out of range for ps_2_0 ('c' is bound to c0 to c39)"),
              std::string::npos)
        << c40.messages;
    const char* c299 = "float4 k : register(c299);\nfloat4 main(float4 p : POSITION) : POSITION { return p * k; }";
    const Compiled vs20 = CompileHlsl(c299, "vs_2_0");
    EXPECT_FALSE(vs20.Ok());
    EXPECT_NE(vs20.messages.find("error X5014: register c299 is out of range for vs_2_0 ('k' is bound to c299)"),
              std::string::npos)
        << vs20.messages;
    EXPECT_TRUE(CompileHlsl(c299, "vs_2_sw").Ok());
    // At the last register of the file the compile succeeds.
    EXPECT_TRUE(CompileHlsl("float4 c[32];\nfloat4 main(float4 t : TEXCOORD0) : COLOR { return c[31] * t; }", "ps_2_0").Ok());
    EXPECT_TRUE(CompileHlsl("float4 k : register(c95);\nfloat4 main(float4 p : POSITION) : POSITION { return p * k; }",
                            "vs_1_1")
                    .Ok());
}

}  // namespace
