// The lowering end to end on small shaders: statements, calls, structures,
// arrays, matrices, inputs, outputs and uniforms, checked by evaluating the
// intermediate program and comparing with plain C++.
#include <gtest/gtest.h>

#include <cmath>

#include "lowering_util.h"
#include "shader/backend/ir_passes.h"

namespace {

using Vec = std::vector<double>;

// Lowers and evaluates; fails the test with the log when either step fails.
Evaluation RunShader(const std::string& source, const Registers& inputs, const Registers& uniforms = {},
               const char* profile = "vs_2_0", std::unique_ptr<LoweredShader>* keep = nullptr) {
    auto s = LowerSource(source, "main", profile);
    EXPECT_TRUE(s->Ok()) << s->log;
    Evaluation e = Evaluate(s->program, inputs, uniforms);
    EXPECT_TRUE(e.ok) << e.problem;
    if (keep) *keep = std::move(s);
    return e;
}

void ExpectNear(const Vec& expected, const Vec& actual, double tolerance = 1e-6) {
    ASSERT_GE(actual.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) EXPECT_NEAR(expected[i], actual[i], tolerance) << "component " << i;
}

TEST(Lowering, NormalizeTimesTwo) {
    const Vec p = {1, 2, 2, 4};
    const double len = std::sqrt(1 + 4 + 4 + 16);
    auto e = RunShader("float4 main(float4 p : POSITION) : POSITION { return normalize(p) * 2; }", {{"POSITION", p}});
    ExpectNear({2 / len, 4 / len, 4 / len, 8 / len}, e.outputs["POSITION"]);
}

TEST(Lowering, CallsWithOutParametersAreExpandedInPlace) {
    const char* src = R"(
        void split(float4 v, out float2 a, inout float b) { a = v.xy; b = b + v.z * v.w; }
        float twice(float x) { return x * 2; }
        float4 main(float4 p : POSITION) : POSITION {
            float2 a; float b = 1;
            split(p, a, b);
            return float4(a, twice(b), twice(twice(p.x)));
        })";
    auto e = RunShader(src, {{"POSITION", {3, 4, 5, 6}}});
    ExpectNear({3, 4, 2 * (1 + 30), 12}, e.outputs["POSITION"]);
}

TEST(Lowering, IfArmsAreMergedPerComponent) {
    const char* src = R"(
        float4 k;
        float4 main(float4 p : POSITION) : POSITION {
            float4 r = p;
            float only = 7;
            if (k.x > 0) { r.x = 10; only = 8; } else { r.y = -1; }
            if (k.y) r.w = r.w * 3;
            return float4(r.x, r.y, only, r.w);
        })";
    auto taken = RunShader(src, {{"POSITION", {1, 2, 3, 4}}}, {{"k", {1, 1, 0, 0}}});
    ExpectNear({10, 2, 8, 12}, taken.outputs["POSITION"]);
    // A variable assigned only in the "then" arm keeps its old value.
    auto skipped = RunShader(src, {{"POSITION", {1, 2, 3, 4}}}, {{"k", {-1, 0, 0, 0}}});
    ExpectNear({1, -1, 7, 4}, skipped.outputs["POSITION"]);
}

TEST(Lowering, IfBothArmsReturnIsAccepted) {
    const char* src = R"(
        float4 k;
        float4 main(float4 p : POSITION) : POSITION {
            if (k.x < 0.5) return p; else return -p;
        })";
    ExpectNear({1, 2, 3, 4}, RunShader(src, {{"POSITION", {1, 2, 3, 4}}}, {{"k", {0}}}).outputs["POSITION"]);
    ExpectNear({-1, -2, -3, -4}, RunShader(src, {{"POSITION", {1, 2, 3, 4}}}, {{"k", {1}}}).outputs["POSITION"]);
}

TEST(Lowering, ConditionalOperatorAndPixelSelect) {
    const char* src = R"(
        float4 main(float4 c : COLOR0) : COLOR0 { return c > 0.5 ? c : 1 - c; })";
    std::unique_ptr<LoweredShader> ps;
    auto e = RunShader(src, {{"COLOR0", {0.25, 0.75, 0.5, 1}}}, {}, "ps_2_0", &ps);
    ExpectNear({0.75, 0.75, 0.5, 1}, e.outputs["COLOR0"]);
    // Pixel targets merge by a select when the factor is known 0 or 1.
    EXPECT_GT(ps->Count(kOpSelect), 0u);
}

TEST(Lowering, LoopsUnrollWhileTheConditionIsConstant) {
    const char* src = R"(
        float4 main(float4 p : POSITION) : POSITION {
            float4 s = 0;
            for (int i = 0; i < 4; i++) s += p * i;
            int j = 3;
            while (j > 0) { s.x += 1; j--; }
            do { s.y += 100; } while (false);
            return s;
        })";
    std::unique_ptr<LoweredShader> s;
    auto e = RunShader(src, {{"POSITION", {1, 2, 3, 4}}}, {}, "vs_2_0", &s);
    ExpectNear({6 + 3, 12 + 100, 18, 24}, e.outputs["POSITION"]);
}

TEST(Lowering, StructuresInAndOut) {
    const char* src = R"(
        struct In { float3 pos : POSITION; float2 uv : TEXCOORD1; };
        struct Out { float4 pos : POSITION; float2 uv : TEXCOORD0; float4 color : COLOR0; };
        Out main(In i) {
            Out o;
            o.pos = float4(i.pos, 1);
            o.uv = i.uv.yx;
            o.color = float4(i.uv, 0, 1);
            return o;
        })";
    auto e = RunShader(src, {{"POSITION", {1, 2, 3, 0}}, {"TEXCOORD1", {0.25, 0.5, 0, 0}}});
    ExpectNear({1, 2, 3, 1}, e.outputs["POSITION"]);
    ExpectNear({0.5, 0.25}, e.outputs["TEXCOORD0"]);
    ExpectNear({0.25, 0.5, 0, 1}, e.outputs["COLOR0"]);
}

TEST(Lowering, OutParametersOfTheEntryAreOutputs) {
    const char* src = R"(
        void main(float4 p : POSITION, out float4 o : POSITION, out float4 c : COLOR1) { o = p; c = p * p; })";
    auto e = RunShader(src, {{"POSITION", {1, 2, 3, 4}}});
    ExpectNear({1, 2, 3, 4}, e.outputs["POSITION"]);
    ExpectNear({1, 4, 9, 16}, e.outputs["COLOR1"]);
}

TEST(Lowering, ArraysWithConstantAndRunTimeIndices) {
    const char* src = R"(
        float4 table[3];
        float4 main(float4 p : POSITION) : POSITION {
            float local[4] = { 1, 2, 3, 4 };
            local[2] = local[1] + table[2].x;
            return float4(local[2], local[3], table[p.x].y, table[1].w);
        })";
    std::unique_ptr<LoweredShader> s;
    Registers uniforms{{"table", {0, 10, 0, 0, 0, 11, 0, 12, 5, 13, 0, 0}}};
    auto e = RunShader(src, {{"POSITION", {1, 0, 0, 0}}}, uniforms, "vs_2_0", &s);
    ExpectNear({7, 4, 11, 12}, e.outputs["POSITION"]);
    // The run-time index reads the uniform's own pool relatively.
    bool relative = false;
    for (const IrArgument& a : s->program.args) relative = relative || a.relative >= 0;
    EXPECT_TRUE(relative);
}

TEST(Lowering, MatricesInBothPackings) {
    // m = [[1 2 3 4] [5 6 7 8] [9 10 11 12] [13 14 15 16]] as rows.
    Vec rows, columns;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) rows.push_back(r * 4 + c + 1);
    for (int c = 0; c < 4; ++c)
        for (int r = 0; r < 4; ++r) columns.push_back(r * 4 + c + 1);
    const Vec v = {1, 0.5, 0.25, 2};
    Vec expected(4, 0);
    for (int c = 0; c < 4; ++c)
        for (int r = 0; r < 4; ++r) expected[c] += v[r] * rows[r * 4 + c];

    std::unique_ptr<LoweredShader> s;
    auto columnMajor = RunShader("float4x4 m; float4 main(float4 p : POSITION) : POSITION { return mul(p, m); }",
                           {{"POSITION", v}}, {{"m", columns}}, "vs_2_0", &s);
    ExpectNear(expected, columnMajor.outputs["POSITION"]);
    EXPECT_EQ(4u, s->Count(kOpDot));  // one dot product per column register

    auto rowMajor = RunShader("row_major float4x4 m; float4 main(float4 p : POSITION) : POSITION { return mul(p, m); }",
                        {{"POSITION", v}}, {{"m", rows}}, "vs_2_0", &s);
    ExpectNear(expected, rowMajor.outputs["POSITION"]);
    EXPECT_EQ(0u, s->Count(kOpDot));  // a sum of products over the row registers

    // Matrix times column vector, matrix times matrix, and element access.
    const char* src = R"(
        row_major float3x3 a; float3x3 b;
        float4 main(float4 p : POSITION) : POSITION {
            float3 x = mul(a, p.xyz);
            float3x3 ab = mul(a, b);
            return float4(x.x, ab[1][2], ab._33, a[2].y + b._12);
        })";
    // a = [[1 2 3] [4 5 6] [7 8 10]] (rows), b = [[2 0 1] [0 1 0] [1 0 3]] (column-major registers).
    auto e = RunShader(src, {{"POSITION", {1, 2, 3, 0}}},
                 {{"a", {1, 2, 3, 0, 4, 5, 6, 0, 7, 8, 10, 0}}, {"b", {2, 0, 1, 0, 0, 1, 0, 0, 1, 0, 3, 0}}});
    // (a b)[1][2] = 4*1 + 5*0 + 6*3 = 22; (a b)[2][2] = 7 + 0 + 30 = 37.
    ExpectNear({14, 22, 37, 8 + 0}, e.outputs["POSITION"]);
}

TEST(Lowering, UniformsAndSamplersGetTheirOwnPools) {
    const char* src = R"(
        float4 tint : register(c7);
        sampler2D tex : register(s2);
        float4 main(float2 uv : TEXCOORD0, uniform float scale) : COLOR0 { return tex2D(tex, uv) * tint * scale; })";
    std::unique_ptr<LoweredShader> s;
    auto e = RunShader(src, {{"TEXCOORD0", {0.25, 0.5, 0, 0}}},
                 {{"tint", {1, 2, 3, 4}}, {"$scale", {2, 0, 0, 0}}}, "ps_2_0", &s);
    // The sample returns (u + sampler register, v, 0, 1) in the evaluator.
    ExpectNear({0.25 * 2, 0.5 * 4, 0, 8}, e.outputs["COLOR0"]);
    bool tint = false, sampler = false, scale = false;
    for (size_t i = kStandardPoolCount; i < s->program.pools.size(); ++i) {
        const ArgumentPool& pool = s->program.pools[i];
        if (pool.flags == 0x129 && pool.binding == "c7") tint = true;
        if (pool.flags == 0x169 && pool.binding == "s2") sampler = true;
    }
    for (const IrArgument& a : s->program.args) scale = scale || (a.name && std::string(a.name) == "$scale");
    EXPECT_TRUE(tint);
    EXPECT_TRUE(sampler);
    EXPECT_TRUE(scale);
}

TEST(Lowering, SamplerParametersOfTheEntryAreUniform) {
    const char* src = "float4 main(sampler2D s, float2 uv : TEXCOORD0) : COLOR0 { return tex2D(s, uv); }";
    std::unique_ptr<LoweredShader> s;
    auto e = RunShader(src, {{"TEXCOORD0", {0.25, 0.5, 0, 0}}}, {}, "ps_2_0", &s);
    ExpectNear({0.25, 0.5, 0, 1}, e.outputs["COLOR0"]);
    bool named = false;
    for (const IrArgument& a : s->program.args)
        named = named || (a.name && std::string(a.name) == "$s" && s->program.pools[a.pool].flags == 0x169);
    EXPECT_TRUE(named);
}

TEST(Lowering, InputsWithOneSemanticShareOneRegister) {
    const char* src = R"(
        float4 main(float4 a : TEXCOORD0, float2 b : TEXCOORD0) : POSITION { return a + b.xyxy; })";
    std::unique_ptr<LoweredShader> s;
    auto e = RunShader(src, {{"TEXCOORD0", {1, 2, 3, 4}}}, {}, "vs_2_0", &s);
    ExpectNear({2, 4, 4, 6}, e.outputs["POSITION"]);
    size_t inputPools = 0;
    for (size_t i = kStandardPoolCount; i < s->program.pools.size(); ++i)
        inputPools += s->program.pools[i].flags == 0x29;
    EXPECT_EQ(1u, inputPools);
}

TEST(Lowering, ConversionsTruncateAndTestForZero) {
    const char* src = R"(
        float4 main(float4 p : POSITION) : POSITION {
            int4 i = (int4)p;
            bool b = p.w;
            return float4(i.xy, (float)b, 7 / (int)p.z);
        })";
    auto e = RunShader(src, {{"POSITION", {-1.5, 2.75, 2, 0}}});
    ExpectNear({-1, 2, 0, 3}, e.outputs["POSITION"]);
}

TEST(Lowering, StaticGlobalsAndLocalStatics) {
    const char* src = R"(
        static float4 offset = float4(1, 2, 3, 4);
        float counter() { static float n = 0; n += 1; return n; }
        float4 main(float4 p : POSITION) : POSITION { float a = counter(); float b = counter(); return p + offset * (a + b * 10); })";
    auto e = RunShader(src, {{"POSITION", {0, 0, 0, 0}}});
    ExpectNear({21, 42, 63, 84}, e.outputs["POSITION"]);
}

TEST(Lowering, ClipUnderAnIfIsMasked) {
    const char* src = R"(
        float4 k;
        float4 main(float4 c : COLOR0) : COLOR0 { if (k.x) clip(c.x - 0.5); return c; })";
    EXPECT_FALSE(RunShader(src, {{"COLOR0", {0, 0, 0, 0}}}, {{"k", {0}}}, "ps_2_0").killed);
    EXPECT_TRUE(RunShader(src, {{"COLOR0", {0, 0, 0, 0}}}, {{"k", {1}}}, "ps_2_0").killed);
    EXPECT_FALSE(RunShader(src, {{"COLOR0", {1, 0, 0, 0}}}, {{"k", {1}}}, "ps_2_0").killed);
}

TEST(Lowering, LoweredProgramsPassTheBackendPipeline) {
    const char* sources[] = {
        "float4 main(float4 p : POSITION) : POSITION { return normalize(p) * 2; }",
        "float4x4 m; float4 main(float4 p : POSITION) : POSITION { return mul(p, m); }",
        "float4 k; float4 main(float4 p : POSITION) : POSITION { float4 r = p; if (k.x) r = sin(p); return r; }",
        "float4 t[8]; float4 main(float4 p : POSITION) : POSITION { return t[p.x] + t[p.y + 1]; }",
    };
    for (const char* src : sources) {
        auto s = LowerSource(src);
        ASSERT_TRUE(s->Ok()) << s->log;
        s->program.physicalRegisters[kPoolTemps] = 12;
        EXPECT_EQ(S_OK, s->program.RunPipeline()) << src << "\n" << s->errors.Text();
    }
}

TEST(Lowering, ShaderAssetsOfTheDemoLower) {
    const char* files[][2] = {{"Simple.vhl", "vs_main"}, {"Simple.phl", "ps_main"}, {"Fire.vhl", "vs_main"},
                              {"Fire.phl", "ps_main"},   {"Fire2.vhl", "vs_main"},  {"Fire2.phl", "ps_main"},
                              {"Fire3.vhl", "vs_main"},  {"Fire3.phl", "ps_main"},  {"Scroller.vhl", "vs_main"},
                              {"Scroller.phl", "ps_main"}, {"cube.vhl", "vs_main"}, {"cube.phl", "ps_main"}};
    for (auto& f : files) {
        const std::string path = std::string(KILN_SOURCE_DIR) + "/assets/" + f[0];
        FILE* file = std::fopen(path.c_str(), "rb");
        ASSERT_TRUE(file) << path;
        std::string text;
        char buffer[4096];
        for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;) text.append(buffer, n);
        std::fclose(file);
        const bool pixel = std::string(f[0]).find(".phl") != std::string::npos;
        auto s = LowerSource(text, f[1], pixel ? "ps_2_0" : "vs_2_0");
        EXPECT_TRUE(s->Ok()) << f[0] << "\n" << s->log;
        s->program.physicalRegisters[kPoolTemps] = 12;
        EXPECT_EQ(S_OK, s->program.RunPipeline()) << f[0] << "\n" << s->errors.Text();
    }
}

}  // namespace
