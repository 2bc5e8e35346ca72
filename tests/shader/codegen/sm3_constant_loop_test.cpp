// Loops whose count is known when compiling, as real loops: "[loop]" asks for
// one, a loop whose unrolled program does not fit its model becomes one, and
// "[unroll]" or a program that fits unrolled stays as it was. Each case runs
// on the device against the value computed here.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "codegen_harness.h"

namespace {

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

Vec4 PixelColor(const Compiled& shader, const Vec4& t, const Uniforms& uniforms = {}) {
    const ShaderRun run = RunPixel(shader, {{{kTexcoord, 0}, t}}, uniforms);
    EXPECT_TRUE(run.ok) << run.problem;
    if (!run.ok || run.killed) return {};
    return run.outputs.at({kColor, 0});
}

void ExpectNear(const Vec4& got, const Vec4& want, const std::string& what) {
    for (int c = 0; c < 4; ++c)
        EXPECT_NEAR(got[c], want[c], 1e-4f * (1 + std::abs(want[c]))) << what << " component " << c;
}

// 200 rounds of a body too large to unroll into ps_3_0's slots: the first
// lowering does not fit, the second makes the loop a "rep" over a defined
// integer register and fits.
TEST(Sm3ConstantLoops, LoopTooLargeToUnrollRunsAsRep) {
    const char* source = R"(
        float4 main(float4 t : TEXCOORD0) : COLOR {
            float4 a = t, b = t.yzwx;
            for (int i = 0; i < 200; i++) {
                a = frac(a * 1.25 + b * 0.5 + i * 0.001);
                b = frac(b * 0.75 + a.wzyx * 0.25);
            }
            return a + b;
        })";
    const Vec4 t = {0.1f, 0.2f, 0.3f, 0.4f};
    auto frac = [](float x) { return x - std::floor(x); };
    float a[4], b[4];
    for (int c = 0; c < 4; ++c) a[c] = t[c], b[c] = t[(c + 1) % 4];
    for (int i = 0; i < 200; ++i) {
        for (int c = 0; c < 4; ++c) a[c] = frac(a[c] * 1.25f + b[c] * 0.5f + float(i) * 0.001f);
        const float w[4] = {a[3], a[2], a[1], a[0]};
        for (int c = 0; c < 4; ++c) b[c] = frac(b[c] * 0.75f + w[c] * 0.25f);
    }
    const Compiled shader = CompileHlsl(source, "ps_3_0");
    ASSERT_TRUE(shader.Ok()) << shader.messages;
    const std::string text = Disassembly(shader);
    EXPECT_TRUE(Has(text, "defi i0, 200, 0, 0, 0")) << text;
    EXPECT_TRUE(Has(text, "rep i0")) << text;
    const Vec4 got = PixelColor(shader, t);
    // frac amplifies rounding over 200 rounds; the tolerance stays far below
    // what a wrong round count or order gives.
    for (int c = 0; c < 4; ++c) EXPECT_NEAR(got[c], a[c] + b[c], 2e-2f) << c << "\n" << text;
    // ps_2_0 has no loops: still too large.
    const Compiled ps2 = CompileHlsl(source, "ps_2_0");
    EXPECT_NE(ps2.hr, S_OK);
}

}  // namespace
