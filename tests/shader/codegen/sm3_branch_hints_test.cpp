// The "[branch]" and "[flatten]" hints of an "if": "[branch]" makes a real
// branch on a computed condition where the model has one (a warning and the
// merged arms elsewhere), "[flatten]" merges the arms even where the lowering
// would branch. Each case runs on the device for values on both sides of the
// condition.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "codegen_harness.h"

namespace {

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

const char* kPixelBranch = R"(
    sampler2D s;
    float4 main(float4 t : TEXCOORD0) : COLOR {
        float4 r = t;
        [branch] if (t.x > t.y) r = r * 2 + 1; else r = tex2Dlod(s, t) - 1;
        [branch] if (t.z) r += 3;
        return r;
    })";

// The else arm looks up at a level (ps_3_0) or swizzles (the others).
Vec4 PixelBranchWant(const Vec4& t, bool lookup) {
    Vec4 r = t;
    if (t[0] > t[1]) {
        for (float& v : r) v = v * 2 + 1;
    } else {
        const Vec4 texel = FakeTexel(0, t.data());
        for (int c = 0; c < 4; ++c) r[c] = (lookup ? texel[c] : t[3 - c]) - 1;
    }
    if (t[2] != 0)
        for (float& v : r) v += 3;
    return r;
}

// A computed comparison and a computed value as conditions: if_gt and if_ne
// on the models with branches, the right values on both sides.
TEST(Sm3BranchHints, BranchOnComputedConditions) {
    const Vec4 inputs[] = {{0.75f, 0.25f, 1, 0.5f}, {0.25f, 0.75f, 0, 0.5f}, {0.5f, 0.5f, -2, 1}};
    for (const char* profile : {"ps_3_0", "ps_2_x", "ps_2_0"}) {
        const bool branches = std::string(profile) != "ps_2_0";
        std::string source = kPixelBranch;
        // Only ps_3_0 looks up at a level.
        const bool lookup = std::string(profile) == "ps_3_0";
        if (!lookup) source.replace(source.find("tex2Dlod(s, t)"), 14, "t.wzyx");
        const Compiled shader = CompileHlsl(source, profile);
        ASSERT_TRUE(shader.Ok()) << profile << "\n" << shader.messages;
        const std::string text = Disassembly(shader);
        EXPECT_EQ(Has(text, "if_gt"), branches) << text;
        EXPECT_EQ(Has(text, "if_ne"), branches) << text;
        EXPECT_EQ(Has(shader.messages, "warning X3513: [branch]: the if cannot be a branch on ps_2_0"), !branches)
            << shader.messages;
        for (const Vec4& t : inputs) {
            const ShaderRun run = RunPixel(shader, {{{kTexcoord, 0}, t}});
            ASSERT_TRUE(run.ok) << run.problem;
            const Vec4 want = PixelBranchWant(t, lookup);
            for (int c = 0; c < 4; ++c)
                EXPECT_FLOAT_EQ(run.outputs.at({kColor, 0})[c], want[c]) << profile << " t.x " << t[0] << " " << c;
        }
    }
}

// Vertex shaders: a small arm that the lowering would merge branches when
// asked; vs_2_0 has no branches on computed values and warns.
TEST(Sm3BranchHints, VertexBranchOnComputedComparison) {
    const char* source = R"(
        float4 main(float4 p : POSITION, out float4 c : COLOR0) : POSITION {
            c = p;
            [branch] if (p.x <= p.y) c = p.wzyx + 1;
            return p;
        })";
    for (const char* profile : {"vs_3_0", "vs_2_x", "vs_2_0"}) {
        const bool branches = std::string(profile) != "vs_2_0";
        const Compiled shader = CompileHlsl(source, profile);
        ASSERT_TRUE(shader.Ok()) << profile << "\n" << shader.messages;
        EXPECT_EQ(Has(Disassembly(shader), "if_le"), branches) << Disassembly(shader);
        EXPECT_EQ(Has(shader.messages, "warning X3513"), !branches) << shader.messages;
        for (const Vec4& p : {Vec4{1, 2, 3, 4}, Vec4{2, 1, 3, 4}, Vec4{1, 1, 0, -1}}) {
            const ShaderRun run = RunVertex(shader, {{{kPosition, 0}, p}});
            ASSERT_TRUE(run.ok) << run.problem;
            for (int k = 0; k < 4; ++k)
                EXPECT_FLOAT_EQ(run.outputs.at({kColor, 0})[k], p[0] <= p[1] ? p[3 - k] + 1 : p[k])
                    << profile << " p.x " << p[0] << " " << k;
        }
    }
}

// The warning comes once per statement, however often a loop unrolls it.
TEST(Sm3BranchHints, MergedBranchWarnsOnce) {
    const Compiled shader = CompileHlsl(R"(
        float4 main(float4 p : POSITION, out float4 c : COLOR0) : POSITION {
            c = p;
            for (int i = 0; i < 4; i++) {
                [branch] if (p.x < i) c += 1;
            }
            return p;
        })", "vs_2_0");
    ASSERT_TRUE(shader.Ok()) << shader.messages;
    size_t count = 0;
    for (size_t at = 0; (at = shader.messages.find("X3513", at)) != std::string::npos; ++at) ++count;
    EXPECT_EQ(count, 1u) << shader.messages;
    for (float x : {-1.0f, 1.5f, 5.0f}) {
        const ShaderRun run = RunVertex(shader, {{{kPosition, 0}, Vec4{x, 0, 0, 1}}});
        ASSERT_TRUE(run.ok) << run.problem;
        float want = x;
        for (int i = 0; i < 4; ++i)
            if (x < float(i)) want += 1;
        EXPECT_FLOAT_EQ(run.outputs.at({kColor, 0})[0], want) << x;
    }
}

// "[flatten]" on a boolean uniform and on a comparison of uniforms with a
// lookup in the arm: no branch, the arms merged, the right values.
TEST(Sm3BranchHints, FlattenMerges) {
    const char* source = R"(
        bool useTexture;
        float mode;
        sampler2D s;
        float4 main(float4 t : TEXCOORD0) : COLOR {
            float4 c = t;
            [flatten] if (useTexture) c = tex2D(s, t.xy);
            [flatten] if (mode > 1.5) c = c * 2;
            return c;
        })";
    std::string plain = source;
    for (size_t at; (at = plain.find("[flatten]")) != std::string::npos;) plain.erase(at, 9);
    const Vec4 t = {0.25f, 0.5f, 2, -1};
    for (const char* profile : {"ps_3_0", "ps_2_x"}) {
        const Compiled flat = CompileHlsl(source, profile);
        ASSERT_TRUE(flat.Ok()) << profile << "\n" << flat.messages;
        EXPECT_FALSE(Has(Disassembly(flat), "if")) << Disassembly(flat);
        // The same program without the hints branches.
        const Compiled branching = CompileHlsl(plain, profile);
        ASSERT_TRUE(branching.Ok()) << branching.messages;
        EXPECT_TRUE(Has(Disassembly(branching), "if b0")) << Disassembly(branching);
        for (bool useTexture : {false, true})
            for (float mode : {1.0f, 2.0f}) {
                const Uniforms uniforms = {{"useTexture", {useTexture ? 1.0f : 0.0f}}, {"mode", {mode}}};
                const ShaderRun run = RunPixel(flat, {{{kTexcoord, 0}, t}}, uniforms);
                ASSERT_TRUE(run.ok) << run.problem;
                const Vec4 texel = FakeTexel(0, t.data());
                for (int c = 0; c < 4; ++c) {
                    const float want = (useTexture ? texel[c] : t[c]) * (mode > 1.5f ? 2 : 1);
                    EXPECT_FLOAT_EQ(run.outputs.at({kColor, 0})[c], want)
                        << profile << " useTexture " << useTexture << " mode " << mode << " " << c;
                }
            }
    }
}

// Lookups and derivatives that take their level from neighbouring pixels
// cannot sit in a branch on a value that differs per pixel: an error at the
// operation. Lookups with an explicit level or gradients may, and so may any
// lookup in a branch on uniforms or in merged arms.
TEST(Sm3BranchHints, GradientOperationsInPerPixelBranches) {
    auto program = [](const char* condition, const char* arm, const char* hint) {
        return std::string("sampler2D s;\nfloat limit;\nfloat4 main(float4 t : TEXCOORD0) : COLOR {\n"
                           "    float4 c = t;\n    ") +
               hint + " if (" + condition + ") {\n        c = " + arm + ";\n    }\n    return c;\n}\n";
    };
    for (const char* arm : {"tex2D(s, t.xy)", "tex2Dproj(s, t)", "tex2Dbias(s, t)", "ddx(t) + t"}) {
        const Compiled refused = CompileHlsl(program("t.x > 0.5", arm, "[branch]"), "ps_3_0");
        EXPECT_NE(refused.hr, S_OK) << arm;
        EXPECT_TRUE(Has(refused.messages, "(6): error X3514: gradient-based operations must be moved out of flow control"))
            << arm << "\n" << refused.messages;
        for (const char* hint : {"[flatten]", ""}) {
            const Compiled merged = CompileHlsl(program("t.x > 0.5", arm, hint), "ps_3_0");
            EXPECT_TRUE(merged.Ok()) << arm << " " << hint << "\n" << merged.messages;
        }
        // Uniforms, and values computed from them alone, are the same in
        // every pixel.
        for (const char* condition : {"limit > 0.5", "limit * limit > 0.5 * limit + 1"}) {
            const Compiled uniform = CompileHlsl(program(condition, arm, "[branch]"), "ps_3_0");
            ASSERT_TRUE(uniform.Ok()) << arm << "\n" << uniform.messages;
            EXPECT_TRUE(Has(Disassembly(uniform), "if_gt")) << Disassembly(uniform);
            if (std::string(arm) != "tex2D(s, t.xy)") continue;
            const Vec4 t = {0.25f, 0.75f, 0.5f, 1};
            for (float limit : {0.0f, 2.0f}) {
                const ShaderRun run = RunPixel(uniform, {{{kTexcoord, 0}, t}}, {{"limit", {limit}}});
                ASSERT_TRUE(run.ok) << run.problem;
                const Vec4 texel = FakeTexel(0, t.data());
                for (int c = 0; c < 4; ++c)
                    EXPECT_FLOAT_EQ(run.outputs.at({kColor, 0})[c], limit > 1 ? texel[c] : t[c]) << condition << limit;
            }
        }
        const Compiled mixed = CompileHlsl(program("limit * t.x > 0.5", arm, "[branch]"), "ps_3_0");
        EXPECT_TRUE(Has(mixed.messages, "error X3514")) << arm << "\n" << mixed.messages;
    }
    for (const char* arm : {"tex2Dlod(s, t)", "tex2Dgrad(s, t.xy, t.zw, t.wz)"}) {
        const Compiled shader = CompileHlsl(program("t.x > 0.5", arm, "[branch]"), "ps_3_0");
        ASSERT_TRUE(shader.Ok()) << arm << "\n" << shader.messages;
        EXPECT_TRUE(Has(Disassembly(shader), "if_gt")) << Disassembly(shader);
        for (float x : {0.25f, 0.75f}) {
            const Vec4 t = {x, 0.5f, 0, 0};
            const ShaderRun run = RunPixel(shader, {{{kTexcoord, 0}, t}});
            ASSERT_TRUE(run.ok) << run.problem;
            const Vec4 texel = FakeTexel(0, t.data());
            for (int c = 0; c < 4; ++c) EXPECT_FLOAT_EQ(run.outputs.at({kColor, 0})[c], x > 0.5f ? texel[c] : t[c]);
        }
    }
    // Vertex shaders have no gradients to lose.
    const Compiled vertex = CompileHlsl(R"(
        sampler2D s;
        float4 main(float4 p : POSITION, out float4 c : COLOR0) : POSITION {
            c = p;
            [branch] if (p.x > 0.5) c = tex2Dlod(s, p);
            return p;
        })", "vs_3_0");
    EXPECT_TRUE(vertex.Ok()) << vertex.messages;
}

}  // namespace
