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

// "[loop]" on small loops of every counter shape: a "rep" on a defined count,
// the counter an affine function of the round; the same loop without the
// attribute is unrolled as before.
TEST(Sm3ConstantLoops, LoopAttributeGivesRep) {
    struct Shape {
        const char* header;
        float start, step;
        int rounds;
    };
    const Shape shapes[] = {
        {"for (int i = 0; i < 8; i++)", 0, 1, 8},
        {"for (int i = 3; i < 12; i += 2)", 3, 2, 5},
        {"for (int i = 10; i > 0; i--)", 10, -1, 10},
        {"for (float i = 0; i <= 6; i += 1.5)", 0, 1.5f, 5},
        {"for (int i = -4; 4 != i; ++i)", -4, 1, 8},
        {"for (int i = 1; i < 2; i++)", 1, 1, 1},
    };
    const Vec4 t = {0.5f, -1, 2, 0.25f}, w = {1, 0.5f, -2, 3};
    for (const Shape& shape : shapes) {
        const std::string body = std::string(" ") + shape.header +
                                 " { s = s * 0.5 + t * i + w; n += 1; }\n";
        const std::string pixel = "float4 w;\nfloat4 main(float4 t : TEXCOORD0) : COLOR {\n"
                                  "    float4 s = 0; float n = 0;\n    [loop]" +
                                  body + "    return s + n;\n}\n";
        Vec4 want = {0, 0, 0, 0};
        float i = shape.start;
        for (int r = 0; r < shape.rounds; ++r, i += shape.step)
            for (int c = 0; c < 4; ++c) want[c] = want[c] * 0.5f + t[c] * i + w[c];
        for (float& v : want) v += float(shape.rounds);
        for (const char* profile : {"ps_3_0", "ps_2_x"}) {
            const Compiled shader = CompileHlsl(pixel, profile);
            ASSERT_TRUE(shader.Ok()) << profile << " " << shape.header << "\n" << shader.messages;
            const std::string text = Disassembly(shader);
            EXPECT_TRUE(Has(text, "defi i0, " + std::to_string(shape.rounds) + ", 0, 0, 0")) << text;
            EXPECT_TRUE(Has(text, "rep i0")) << text;
            ExpectNear(PixelColor(shader, t, {{"w", {w[0], w[1], w[2], w[3]}}}), want,
                       std::string(profile) + " " + shape.header);
        }
        const std::string vertex = "float4 w;\nfloat4 main(float4 t : POSITION, out float4 o : COLOR0) : POSITION {\n"
                                   "    float4 s = 0; float n = 0;\n    [loop]" +
                                   body + "    o = s + n;\n    return t;\n}\n";
        for (const char* profile : {"vs_2_0", "vs_3_0"}) {
            const Compiled shader = CompileHlsl(vertex, profile);
            ASSERT_TRUE(shader.Ok()) << profile << " " << shape.header << "\n" << shader.messages;
            EXPECT_TRUE(Has(Disassembly(shader), "rep i0")) << Disassembly(shader);
            const ShaderRun run = RunVertex(shader, {{{kPosition, 0}, t}}, {{"w", {w[0], w[1], w[2], w[3]}}});
            ASSERT_TRUE(run.ok) << run.problem;
            ExpectNear(run.outputs.at({kColor, 0}), want, std::string(profile) + " " + shape.header);
        }
        // Without the attribute a loop that fits unrolled is unrolled.
        std::string plain = pixel;
        plain.replace(plain.find("[loop]"), 6, "");
        const Compiled unrolled = CompileHlsl(plain, "ps_3_0");
        ASSERT_TRUE(unrolled.Ok()) << unrolled.messages;
        EXPECT_FALSE(Has(Disassembly(unrolled), "rep")) << Disassembly(unrolled);
        ExpectNear(PixelColor(unrolled, t, {{"w", {w[0], w[1], w[2], w[3]}}}), want, std::string("unrolled ") + shape.header);
    }
}

// Loops longer than one "rep" (255 rounds) run as several in a row; one too
// long to unroll at all (over 1024 rounds) is a real loop without being asked.
TEST(Sm3ConstantLoops, LongLoopsRunAsSeveralReps) {
    for (int rounds : {600, 2000}) {
        const std::string source = "float4 main(float4 t : TEXCOORD0) : COLOR {\n"
                                   "    float4 s = t; float k = 0;\n"
                                   "    [loop] for (int i = 0; i < " + std::to_string(rounds) + "; i++) {"
                                   " s = s * 0.99 + 0.01; k += i; }\n"
                                   "    return float4(s.xy, k, i);\n}\n";
        const Vec4 t = {2, -1, 0, 0};
        float s[2] = {t[0], t[1]};
        float k = 0;
        for (int i = 0; i < rounds; ++i) {
            for (float& v : s) v = v * 0.99f + 0.01f;
            k += float(i);
        }
        for (const std::string& form : {source, std::string(source).replace(source.find("[loop]"), 6, "")}) {
            if (rounds < 1024 && form.find("[loop]") == std::string::npos) continue;
            const Compiled shader = CompileHlsl(form, "ps_3_0");
            ASSERT_TRUE(shader.Ok()) << rounds << "\n" << shader.messages;
            const std::string text = Disassembly(shader);
            // One register for the loops of 255 rounds, one for the rest.
            EXPECT_TRUE(Has(text, "defi i0, 255, 0, 0, 0")) << text;
            EXPECT_TRUE(Has(text, "defi i1, " + std::to_string(rounds % 255) + ", 0, 0, 0")) << text;
            EXPECT_FALSE(Has(text, "defi i2")) << text;
            size_t reps = 0;
            for (size_t at = 0; (at = text.find("rep i", at)) != std::string::npos; ++at) ++reps;
            EXPECT_EQ(reps, size_t(rounds / 255 + 1)) << text;
            const Vec4 got = PixelColor(shader, t);
            EXPECT_NEAR(got[0], s[0], 1e-3f);
            EXPECT_NEAR(got[1], s[1], 1e-3f);
            EXPECT_NEAR(got[2], k, 1e-6f * k);
            EXPECT_EQ(got[3], float(rounds)) << "the counter after the loop";
        }
    }
}

// "[unroll]" still unrolls, and so fails where the unrolled program does not
// fit; a body that moves its own counter is unrolled in spite of "[loop]";
// "[loop]" on a model without loops is a warning.
TEST(Sm3ConstantLoops, UnrollAndFallbacks) {
    const char* big = R"(
        float4 main(float4 t : TEXCOORD0) : COLOR {
            float4 a = t;
            [unroll] for (int i = 0; i < 200; i++) a = frac(a * 1.25 + a.wzyx * 0.5 + i);
            return a;
        })";
    const Compiled unrolled = CompileHlsl(big, "ps_3_0");
    EXPECT_NE(unrolled.hr, S_OK);
    EXPECT_TRUE(Has(unrolled.messages, "error X")) << unrolled.messages;
    EXPECT_FALSE(Has(unrolled.messages, "X3500")) << unrolled.messages;

    const char* moving = R"(
        float4 main(float4 t : TEXCOORD0) : COLOR {
            float4 s = 0;
            [loop] for (int i = 0; i < 10; i++) { s += t * i; if (i == 3) i += 2; }
            return s;
        })";
    const Compiled shader = CompileHlsl(moving, "ps_3_0");
    ASSERT_TRUE(shader.Ok()) << shader.messages;
    EXPECT_FALSE(Has(Disassembly(shader), "rep")) << Disassembly(shader);
    const Vec4 t = {1, 2, -1, 0.5f};
    const float sum = 0 + 1 + 2 + 3 + 6 + 7 + 8 + 9;
    ExpectNear(PixelColor(shader, t), {t[0] * sum, t[1] * sum, t[2] * sum, t[3] * sum}, "moving counter");

    const char* small = R"(
        float4 main(float4 t : TEXCOORD0) : COLOR {
            float4 s = 0;
            [loop] for (int i = 0; i < 3; i++) s += t;
            return s;
        })";
    // Constants indexed by the counter: aL in a vertex loop; a pixel shader
    // has no relative addressing, so its loop is unrolled.
    const std::vector<float> weights = {1, 2, 3, 4, -1, 0.5f, 2, 1, 0, 0, 1, 3, 2, 2, 2, 2};
    Vec4 weighted = {0, 0, 0, 0};
    for (int i = 0; i < 4; ++i)
        for (int c = 0; c < 4; ++c) weighted[c] += weights[size_t(i * 4 + c)] * t[c];
    const char* indexed = R"(
        float4 weights[4];
        float4 main(float4 t : POSITION, out float4 o : COLOR0) : POSITION {
            float4 sum = 0;
            [loop] for (int i = 0; i < 4; i++) sum += weights[i] * t;
            o = sum;
            return t;
        })";
    const Compiled vertex = CompileHlsl(indexed, "vs_3_0");
    ASSERT_TRUE(vertex.Ok()) << vertex.messages;
    EXPECT_TRUE(Has(Disassembly(vertex), "loop aL, i")) << Disassembly(vertex);
    const ShaderRun run = RunVertex(vertex, {{{kPosition, 0}, t}}, {{"weights", weights}});
    ASSERT_TRUE(run.ok) << run.problem;
    ExpectNear(run.outputs.at({kColor, 0}), weighted, "vertex weights");
    const char* pixelIndexed = R"(
        float4 weights[4];
        float4 main(float4 t : TEXCOORD0) : COLOR {
            float4 sum = 0;
            [loop] for (int i = 0; i < 4; i++) sum += weights[i] * t;
            return sum;
        })";
    const Compiled pixel = CompileHlsl(pixelIndexed, "ps_3_0");
    ASSERT_TRUE(pixel.Ok()) << pixelIndexed << "\n" << pixel.messages;
    EXPECT_FALSE(Has(Disassembly(pixel), "rep")) << Disassembly(pixel);
    ExpectNear(PixelColor(pixel, t, {{"weights", weights}}), weighted, "pixel weights");

    // More rounds than a loop of known count runs as "rep" loops.
    const Compiled endless = CompileHlsl(R"(
        float4 main(float4 t : TEXCOORD0) : COLOR {
            float4 s = 0;
            [loop] for (int i = 0; i < 100000; i++) s += t;
            return s;
        })", "ps_3_0");
    EXPECT_NE(endless.hr, S_OK);
    EXPECT_TRUE(Has(endless.messages, "(4): error X3515: [loop]: the loop runs more than 4080 times")) << endless.messages;

    const Compiled ps2 = CompileHlsl(small, "ps_2_0");
    ASSERT_TRUE(ps2.Ok()) << ps2.messages;
    EXPECT_TRUE(Has(ps2.messages, "warning X3513: [loop]: ps_2_0 has no loops; the loop is unrolled")) << ps2.messages;
    ExpectNear(PixelColor(ps2, t), {3 * t[0], 3 * t[1], 3 * t[2], 3 * t[3]}, "ps_2_0");
}

// A program that fits neither unrolled nor with its loops as real loops
// keeps the messages of its first form, those of the loop unrolled.
TEST(Sm3ConstantLoops, NeitherFormFitsKeepsTheFirstMessages) {
    const std::string source = R"(
        float4 main(float4 t : TEXCOORD0) : COLOR {
            float4 a = t;
            HINT for (int i = 0; i < 100; i++)
                [unroll] for (int j = 0; j < 300; j++) a = frac(a * 1.5 + a.yzwx * j);
            return a;
        })";
    auto with = [&](const char* hint) {
        std::string text = source;
        text.replace(text.find("HINT"), 4, hint);
        return CompileHlsl(text, "ps_2_x");
    };
    const Compiled plain = with(""), unrolled = with("[unroll]"), looped = with("[loop]");
    EXPECT_NE(plain.hr, S_OK);
    EXPECT_NE(looped.hr, S_OK);
    EXPECT_TRUE(Has(plain.messages, "error X")) << plain.messages;
    EXPECT_EQ(plain.messages, unrolled.messages);
    EXPECT_NE(plain.messages, looped.messages) << "the real loop fails for another reason";
}

// A loop whose unrolled rounds outgrow what the lowering builds (X3511 when
// unrolled) on the vertex models with loops: the second lowering makes it
// a real loop, four "rep" loops in a row.
TEST(Sm3ConstantLoops, LoopTooLongForTheLoweringRunsAsRep) {
    const char* source = R"(
        float4 main(float4 t : POSITION, out float4 o : COLOR0) : POSITION {
            float4 a = t, b = t.wzyx, c = t.yxwz;
            for (int i = 0; i < 900; i++) {
                a = a * 0.5 + b * 0.25 + i * 0.001;
                b = b * 0.5 + a.yzwx * 0.25;
                c = c * 0.5 + (a + b) * 0.125 - c.wzyx * 0.0625;
            }
            o = a + b + c;
            return t;
        })";
    const Vec4 t = {1, -2, 0.5f, 3};
    float a[4], b[4], c[4];
    for (int k = 0; k < 4; ++k) a[k] = t[k], b[k] = t[3 - k], c[k] = t[k ^ 1];
    for (int i = 0; i < 900; ++i) {
        float na[4], nb[4], nc[4];
        for (int k = 0; k < 4; ++k) na[k] = a[k] * 0.5f + b[k] * 0.25f + float(i) * 0.001f;
        for (int k = 0; k < 4; ++k) nb[k] = b[k] * 0.5f + na[(k + 1) % 4] * 0.25f;
        for (int k = 0; k < 4; ++k) nc[k] = c[k] * 0.5f + (na[k] + nb[k]) * 0.125f - c[3 - k] * 0.0625f;
        for (int k = 0; k < 4; ++k) a[k] = na[k], b[k] = nb[k], c[k] = nc[k];
    }
    const Vec4 want = {a[0] + b[0] + c[0], a[1] + b[1] + c[1], a[2] + b[2] + c[2], a[3] + b[3] + c[3]};
    for (const char* profile : {"vs_2_0", "vs_2_x"}) {
        const Compiled shader = CompileHlsl(source, profile);
        ASSERT_TRUE(shader.Ok()) << profile << "\n" << shader.messages;
        const std::string text = Disassembly(shader);
        EXPECT_TRUE(Has(text, "defi i1, 135, 0, 0, 0")) << text;
        const ShaderRun run = RunVertex(shader, {{{kPosition, 0}, t}});
        ASSERT_TRUE(run.ok) << run.problem;
        ExpectNear(run.outputs.at({kColor, 0}), want, profile);
    }
}

}  // namespace
