// Flow control of the models that have it: returns inside one arm of an "if"
// (2_x and 3.0), loops whose count is a uniform integer (vs_2_0 and up, ps_2_x,
// 3.0). Each case compiles a shader and runs it on the device for inputs that
// take every path.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "codegen_harness.h"
#include "shader/bytecode/constant_table.h"

namespace {

// A pixel shader's COLOR0 for one texture coordinate input.
Vec4 PixelResult(const Compiled& shader, const Vec4& t, bool* killed = nullptr) {
    const ShaderRun run = RunPixel(shader, {{{kTexcoord, 0}, t}});
    EXPECT_TRUE(run.ok) << run.problem;
    if (killed) *killed = run.killed;
    if (!run.ok || run.killed) return {};
    return run.outputs.at({kColor, 0});
}

// Returns inside one arm: the first return taken wins, the statements after a
// return taken do not change the result, out parameters and clip included.
TEST(Sm3FlowControl, ReturnInsideOneArm) {
    const char* source = R"(
        float4 pick(float4 t) {
            if (t.x > 1) return float4(1, 1, 1, 1);
            float4 r = t * 2;
            if (t.y > 1) { if (t.z > 1) return r + 10; r += 100; }
            return r;
        }
        float4 main(float4 t : TEXCOORD0) : COLOR {
            float4 a = pick(t);
            if (t.w < -5) return a + 1000;
            clip(t.w);
            return a;
        })";
    struct Case {
        Vec4 t;
        Vec4 want;
        bool killed;
    };
    const Case cases[] = {
        {{2, 0, 0, 0}, {1, 1, 1, 1}, false},
        {{0.5f, 2, 2, 1}, {11, 14, 14, 12}, false},
        {{0.5f, 2, 0, 1}, {101, 104, 100, 102}, false},
        {{0.5f, 0, 0, -6}, {1001, 1000, 1000, 988}, false},
        {{0.5f, 0, 0, -1}, {}, true},
    };
    for (const char* profile : {"ps_3_0", "ps_2_x"}) {
        const Compiled shader = CompileHlsl(source, profile);
        ASSERT_TRUE(shader.Ok()) << profile << "\n" << shader.messages;
        for (const Case& c : cases) {
            bool killed = false;
            const Vec4 got = PixelResult(shader, c.t, &killed);
            EXPECT_EQ(killed, c.killed) << profile << " t.x " << c.t[0] << " t.w " << c.t[3];
            if (c.killed || killed) continue;
            for (int k = 0; k < 4; ++k) EXPECT_FLOAT_EQ(got[k], c.want[k]) << profile << " t.x " << c.t[0] << " " << k;
        }
    }
    // The 2.0 models do not express it.
    for (const char* profile : {"ps_2_0", "vs_2_0"}) {
        const Compiled refused = CompileHlsl(source, profile);
        EXPECT_NE(refused.messages.find("X3500: asymetric returns"), std::string::npos) << refused.messages;
    }
}

}  // namespace

namespace {

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// Loops whose count is a uniform integer run as "rep" on every model that has
// it, for counts of 0, 1, a few and the most a round counter takes (255).
TEST(Sm3FlowControl, UniformCountLoopsRepeat) {
    const char* pixel = R"(
        int count;
        float4 step;
        float4 main(float4 t : TEXCOORD0) : COLOR {
            float4 sum = t;
            float k = 0.5;
            for (int i = 0; i < count; i++) {
                sum = sum * 0.5 + step * i;
                k += 1;
            }
            return sum + k;
        })";
    auto expected = [](int count, const Vec4& t, const Vec4& step) {
        Vec4 sum = t;
        float k = 0.5f;
        for (int i = 0; i < count; ++i) {
            for (int c = 0; c < 4; ++c) sum[c] = sum[c] * 0.5f + step[c] * float(i);
            k += 1;
        }
        for (float& v : sum) v += k;
        return sum;
    };
    const Vec4 t = {1, -2, 3, 0.25f}, step = {0.125f, 1, -0.5f, 2};
    for (const char* profile : {"ps_3_0", "ps_2_x"}) {
        const Compiled shader = CompileHlsl(pixel, profile);
        ASSERT_TRUE(shader.Ok()) << profile << "\n" << shader.messages;
        const std::string text = Disassembly(shader);
        EXPECT_TRUE(Has(text, "rep i0")) << text;
        for (int count : {0, 1, 3, 17, 255}) {
            const ShaderRun run = RunPixel(shader, {{{kTexcoord, 0}, t}},
                                           {{"count", {float(count)}}, {"step", {step[0], step[1], step[2], step[3]}}});
            ASSERT_TRUE(run.ok) << run.problem;
            const Vec4 want = expected(count, t, step);
            for (int c = 0; c < 4; ++c)
                EXPECT_NEAR(run.outputs.at({kColor, 0})[c], want[c], 1e-3f * (1 + std::abs(want[c])))
                    << profile << " count " << count << " component " << c;
        }
    }
    // ps_2_0 has no loops: the count must be known when compiling.
    const Compiled ps2 = CompileHlsl(pixel, "ps_2_0");
    EXPECT_NE(ps2.hr, S_OK);
}

}  // namespace

namespace {

// The values of one round feed the next in every shape: a swap (a parallel
// assignment at the loop end), a nested loop, a branch and a function call in
// the body, and texture lookups whose coordinates change every round.
TEST(Sm3FlowControl, LoopsCarryValuesBetweenRounds) {
    const char* source = R"(
        int outer;
        int inner;
        sampler2D s : register(s1);
        float twice(float x) { return x + x; }
        float4 main(float4 t : TEXCOORD0) : COLOR {
            float a = t.x, b = t.y, c = 0, d = 0;
            float2 uv = t.zw;
            for (int i = 0; i < outer; i++) {
                float x = a;
                a = b;
                b = x;
                for (int j = 0; j < inner; ++j) c += twice(j) + i;
                if (a > b) d += 1; else d -= 0.5;
                uv = tex2D(s, uv).xy * 0.5;
            }
            return float4(a * 10 + b, c, d, uv.x + uv.y);
        })";
    auto expected = [](int outer, int inner, const Vec4& t) {
        float a = t[0], b = t[1], c = 0, d = 0;
        float uv[4] = {t[2], t[3], 0, 0};
        for (int i = 0; i < outer; ++i) {
            std::swap(a, b);
            for (int j = 0; j < inner; ++j) c += 2.0f * float(j) + float(i);
            if (a > b) d += 1;
            else d -= 0.5f;
            const Vec4 texel = FakeTexel(1, uv);
            uv[0] = texel[0] * 0.5f;
            uv[1] = texel[1] * 0.5f;
        }
        return Vec4{a * 10 + b, c, d, uv[0] + uv[1]};
    };
    const Vec4 t = {1, 2, 0.25f, 0.75f};
    for (const char* profile : {"ps_3_0", "ps_2_x"}) {
        const Compiled shader = CompileHlsl(source, profile);
        ASSERT_TRUE(shader.Ok()) << profile << "\n" << shader.messages;
        for (auto [outer, inner] : {std::pair{0, 3}, {1, 0}, {2, 3}, {5, 4}, {7, 1}}) {
            const ShaderRun run =
                RunPixel(shader, {{{kTexcoord, 0}, t}}, {{"outer", {float(outer)}}, {"inner", {float(inner)}}});
            ASSERT_TRUE(run.ok) << run.problem;
            const Vec4 want = expected(outer, inner, t);
            for (int c = 0; c < 4; ++c)
                EXPECT_NEAR(run.outputs.at({kColor, 0})[c], want[c], 1e-4f * (1 + std::abs(want[c])))
                    << profile << " " << outer << "x" << inner << " component " << c << "\n" << Disassembly(shader);
        }
    }
}

// Vertex shaders of every model from vs_2_0 on: the count from a uniform,
// the counter read as a number in the body.
TEST(Sm3FlowControl, VertexLoopsRepeat) {
    const char* source = R"(
        int count;
        float4 main(float4 p : POSITION, out float4 c : COLOR0) : POSITION {
            float4 acc = 0;
            for (int i = 0; i < count; i++) acc += p * (i + 1);
            c = acc;
            return p;
        })";
    const Vec4 p = {1, -1, 0.5f, 2};
    for (const char* profile : {"vs_2_0", "vs_2_x", "vs_3_0"}) {
        const Compiled shader = CompileHlsl(source, profile);
        ASSERT_TRUE(shader.Ok()) << profile << "\n" << shader.messages;
        for (int count : {0, 1, 4, 100}) {
            const ShaderRun run = RunVertex(shader, {{{kPosition, 0}, p}}, {{"count", {float(count)}}});
            ASSERT_TRUE(run.ok) << run.problem;
            const float factor = float(count * (count + 1) / 2);
            for (int c = 0; c < 4; ++c)
                EXPECT_FLOAT_EQ(run.outputs.at({kColor, 0})[c], p[c] * factor) << profile << " count " << count;
        }
    }
}

}  // namespace

namespace {

// An "if" on a boolean uniform read only as such conditions is a real branch
// on a b register; one also read as a value keeps its float register and
// merges its arms.
TEST(Sm3FlowControl, BranchesOnBooleanUniforms) {
    const char* source = R"(
        bool useTexture;
        bool small;
        sampler2D s : register(s0);
        float4 tint;
        float4 main(float4 t : TEXCOORD0) : COLOR {
            float4 c = t;
            float k = 2;
            if (useTexture) {
                c = tex2D(s, t.xy) * tint;
                k = 3;
            } else {
                c = c.wzyx * tint + 1;
            }
            if (small) k += 1;
            return c * k + small;
        })";
    const Vec4 t = {0.25f, 0.5f, 2, -1}, tint = {1, 2, 3, 4};
    for (const char* profile : {"ps_3_0", "ps_2_x"}) {
        const Compiled shader = CompileHlsl(source, profile);
        ASSERT_TRUE(shader.Ok()) << profile << "\n" << shader.messages;
        const std::string text = Disassembly(shader);
        EXPECT_TRUE(Has(text, "if b")) << text;
        EXPECT_FALSE(Has(text, "if b1")) << "small is read as a value too\n" << text;
        for (bool useTexture : {false, true})
            for (bool small : {false, true}) {
                const ShaderRun run = RunPixel(shader, {{{kTexcoord, 0}, t}},
                                               {{"useTexture", {useTexture ? 1.0f : 0.0f}},
                                                {"small", {small ? 1.0f : 0.0f}},
                                                {"tint", {tint[0], tint[1], tint[2], tint[3]}}});
                ASSERT_TRUE(run.ok) << run.problem;
                Vec4 c;
                float k = useTexture ? 3.0f : 2.0f;
                const Vec4 texel = FakeTexel(0, t.data());
                for (int i = 0; i < 4; ++i) c[i] = useTexture ? texel[i] * tint[i] : t[3 - i] * tint[i] + 1;
                if (small) k += 1;
                for (int i = 0; i < 4; ++i)
                    EXPECT_FLOAT_EQ(run.outputs.at({kColor, 0})[i], c[i] * k + (small ? 1.0f : 0.0f))
                        << profile << " useTexture " << useTexture << " small " << small << " component " << i;
            }
    }
}

}  // namespace

namespace {

// Vertex lighting over a uniform number of lights: arrays indexed by the loop
// counter through a0, loaded again in every round.
TEST(Sm3FlowControl, VertexArraysIndexedByTheCounter) {
    const char* source = R"(
        int numLights;
        float4 lightDir[8];
        float4 lightColor[8];
        float4 main(float4 p : POSITION, float3 n : NORMAL, out float4 c : COLOR0) : POSITION {
            c = 0;
            for (int i = 0; i < numLights; i++) c += lightColor[i] * max(0, dot(n, lightDir[i].xyz));
            return p;
        })";
    std::vector<float> dirs, colors;
    for (int i = 0; i < 8; ++i) {
        const float d[4] = {0.25f * float(i % 3), 1 - 0.125f * float(i), 0.5f, 0};
        const float k[4] = {float(i + 1), 0.5f * float(i), 1, float(8 - i)};
        dirs.insert(dirs.end(), d, d + 4);
        colors.insert(colors.end(), k, k + 4);
    }
    const Vec4 n = {0.5f, 1, -0.25f, 0};
    for (const char* profile : {"vs_2_0", "vs_3_0"}) {
        const Compiled shader = CompileHlsl(source, profile);
        ASSERT_TRUE(shader.Ok()) << profile << "\n" << shader.messages;
        for (int lights : {0, 2, 5, 8}) {
            const ShaderRun run = RunVertex(shader, {{{kPosition, 0}, {1, 2, 3, 1}}, {{kNormal, 0}, n}},
                                            {{"numLights", {float(lights)}}, {"lightDir", dirs}, {"lightColor", colors}});
            ASSERT_TRUE(run.ok) << run.problem;
            Vec4 want = {0, 0, 0, 0};
            for (int i = 0; i < lights; ++i) {
                const float lambert =
                    std::max(0.0f, n[0] * dirs[4 * i] + n[1] * dirs[4 * i + 1] + n[2] * dirs[4 * i + 2]);
                for (int c = 0; c < 4; ++c) want[c] += colors[4 * i + c] * lambert;
            }
            for (int c = 0; c < 4; ++c)
                EXPECT_NEAR(run.outputs.at({kColor, 0})[c], want[c], 1e-4f * (1 + std::abs(want[c])))
                    << profile << " lights " << lights << " component " << c;
        }
    }
}

}  // namespace

namespace {

// An "if" on a comparison whose arms hold a lookup or enough work branches
// with if_comp: on uniforms and literals in pixel shaders, on any values in
// vertex shaders; the 2.0 models still merge.
TEST(Sm3FlowControl, BranchesOnComparisons) {
    const char* pixel = R"(
        float mode;
        float4 k;
        sampler2D s;
        float4 main(float4 t : TEXCOORD0) : COLOR {
            float4 c = t;
            if (mode > 1.5) c = tex2D(s, t.xy) * k;
            else if (mode < 0) c = t.wzyx;
            return c;
        })";
    const Vec4 t = {0.25f, 0.5f, 2, -1}, k = {1, 2, 3, 4};
    for (const char* profile : {"ps_3_0", "ps_2_x"}) {
        const Compiled shader = CompileHlsl(pixel, profile);
        ASSERT_TRUE(shader.Ok()) << profile << "\n" << shader.messages;
        EXPECT_TRUE(Has(Disassembly(shader), "if_gt")) << Disassembly(shader);
        for (float mode : {2.0f, 1.5f, -1.0f}) {
            const ShaderRun run =
                RunPixel(shader, {{{kTexcoord, 0}, t}}, {{"mode", {mode}}, {"k", {k[0], k[1], k[2], k[3]}}});
            ASSERT_TRUE(run.ok) << run.problem;
            const Vec4 texel = FakeTexel(0, t.data());
            for (int c = 0; c < 4; ++c) {
                const float want = mode > 1.5f ? texel[c] * k[c] : mode < 0 ? t[3 - c] : t[c];
                EXPECT_FLOAT_EQ(run.outputs.at({kColor, 0})[c], want) << profile << " mode " << mode << " " << c;
            }
        }
    }
    const char* vertex = R"(
        float4x4 m;
        float4 main(float4 p : POSITION, out float4 c : COLOR0) : POSITION {
            c = p;
            if (p.x < p.y) c = mul(mul(p, m), m) + mul(p.wzyx, m);
            return p;
        })";
    const std::vector<float> m = {1, 2, 0, 0, 0, 1, 0, 0, 0, 0, 2, 0, 1, 0, 0, 1};
    for (const char* profile : {"vs_3_0", "vs_2_x", "vs_2_0"}) {
        const Compiled shader = CompileHlsl(vertex, profile);
        ASSERT_TRUE(shader.Ok()) << profile << "\n" << shader.messages;
        EXPECT_EQ(Has(Disassembly(shader), "if_lt"), std::string(profile) != "vs_2_0") << Disassembly(shader);
        for (const Vec4& p : {Vec4{1, 2, 3, 1}, Vec4{2, 1, -1, 0.5f}}) {
            const ShaderRun run = RunVertex(shader, {{{kPosition, 0}, p}}, {{"m", m}});
            ASSERT_TRUE(run.ok) << run.problem;
            auto mul = [&](const Vec4& v) {
                Vec4 r = {0, 0, 0, 0};
                for (int col = 0; col < 4; ++col)
                    for (int row = 0; row < 4; ++row) r[col] += v[row] * m[col * 4 + row];  // a register per column
                return r;
            };
            Vec4 want = p;
            if (p[0] < p[1]) {
                const Vec4 twice = mul(mul(p)), flipped = mul(Vec4{p[3], p[2], p[1], p[0]});
                for (int c = 0; c < 4; ++c) want[c] = twice[c] + flipped[c];
            }
            for (int c = 0; c < 4; ++c) EXPECT_FLOAT_EQ(run.outputs.at({kColor, 0})[c], want[c]) << profile << " " << c;
        }
    }
}

}  // namespace

namespace {

// Integer and boolean registers are listed in the constant table with their
// register sets, at the registers the source binds them to or else from 0.
TEST(Sm3FlowControl, IntegerAndBooleanRegistersInTheConstantTable) {
    const char* source = R"(
        int count : register(i5);
        int other;
        bool flag : register(b3);
        float4 main(float4 t : TEXCOORD0) : COLOR {
            float4 c = t;
            for (int i = 0; i < count; i++) c = c * 0.5 + 1;
            for (int j = 0; j < other; j++) c.x += 2;
            if (flag) c += 2;
            return c;
        })";
    const Compiled shader = CompileHlsl(source, "ps_3_0");
    ASSERT_TRUE(shader.Ok()) << shader.messages;
    const std::string text = Disassembly(shader);
    for (const char* part : {"rep i5", "rep i0", "if b3"}) EXPECT_TRUE(Has(text, part)) << part << "\n" << text;
    IKLConstantTable* table = nullptr;
    ASSERT_EQ(ExtractConstantTable(shader.code.data(), shader.code.size() * 4, &table), S_OK);
    struct Record {
        const char* name;
        UINT set, index;
    };
    for (const Record& r : {Record{"count", 1, 5}, Record{"other", 1, 0}, Record{"flag", 0, 3}}) {
        KLCONSTANT_DESC desc{};
        UINT n = 1;
        KLHANDLE handle = table->ConstantByName(nullptr, r.name);
        ASSERT_TRUE(handle) << r.name;
        ASSERT_EQ(table->DescribeConstant(handle, &desc, &n), S_OK);
        EXPECT_EQ(desc.RegisterSet, r.set) << r.name;
        EXPECT_EQ(desc.RegisterIndex, r.index) << r.name;
        EXPECT_EQ(desc.RegisterCount, 1u) << r.name;
    }
    table->Release();
    const Vec4 t = {1, 2, 3, 4};
    for (int count : {0, 2})
        for (int other : {0, 3})
            for (bool flag : {false, true}) {
                const ShaderRun run = RunPixel(shader, {{{kTexcoord, 0}, t}},
                                               {{"count", {float(count)}}, {"other", {float(other)}}, {"flag", {flag ? 1.0f : 0.0f}}});
                ASSERT_TRUE(run.ok) << run.problem;
                for (int c = 0; c < 4; ++c) {
                    float want = t[c];
                    for (int i = 0; i < count; ++i) want = want * 0.5f + 1;
                    if (c == 0) want += 2.0f * float(other);
                    if (flag) want += 2;
                    EXPECT_FLOAT_EQ(run.outputs.at({kColor, 0})[c], want) << count << " " << other << " " << flag;
                }
            }
}

}  // namespace

namespace {

// A loop whose bound is computed in the program (2_x and 3.0): rep as often
// as the model allows, break_ge where the counter reaches the bound; the
// bound may differ from pixel to pixel. A return before the loop, as a light
// shaft filter has it.
TEST(Sm3FlowControl, LoopsToAComputedBound) {
    const char* source = R"(
        float scale;
        float4 main(float4 t : TEXCOORD0) : COLOR {
            int n = t.x * scale;
            if (n <= 0) return float4(-1, -1, -1, -1);
            float4 sum = 0;
            float decay = 1;
            for (int i = 0; i < n; i++) {
                sum += t * decay + i;
                decay *= 0.5;
            }
            return sum;
        })";
    for (const char* profile : {"ps_3_0", "ps_2_x"}) {
        const Compiled shader = CompileHlsl(source, profile);
        ASSERT_TRUE(shader.Ok()) << profile << "\n" << shader.messages;
        EXPECT_TRUE(Has(Disassembly(shader), "break_ge")) << Disassembly(shader);
        for (float x : {0.0f, 0.3f, 1.0f, 2.5f, 25.0f}) {
            const Vec4 t = {x, 0.5f, -1, 2};
            const ShaderRun run = RunPixel(shader, {{{kTexcoord, 0}, t}}, {{"scale", {4}}});
            ASSERT_TRUE(run.ok) << run.problem;
            const int n = int(x * 4);
            Vec4 want = {-1, -1, -1, -1};
            if (n > 0) {
                want = {0, 0, 0, 0};
                float decay = 1;
                for (int i = 0; i < n; ++i) {
                    for (int c = 0; c < 4; ++c) want[c] += t[c] * decay + float(i);
                    decay *= 0.5f;
                }
            }
            for (int c = 0; c < 4; ++c)
                EXPECT_NEAR(run.outputs.at({kColor, 0})[c], want[c], 1e-3f * (1 + std::abs(want[c])))
                    << profile << " x " << x << " component " << c;
        }
    }
}

}  // namespace
