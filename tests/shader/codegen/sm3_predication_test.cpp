// Predication on the models with a predicate register: merges of the two arms
// of an "if" or of a "?:" on a computed comparison become one setp and
// predicated instructions where that takes fewer instructions than the
// arithmetic merge. Each case runs on the device for values on both sides of
// the comparison and on it, and counts the instructions against the form the
// same profile gets with predication turned off.
#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <sstream>
#include <string>

#include "codegen_harness.h"
#include "shader/backend/codegen/codegen_stage.h"
#include "shader/compile_pipeline.h"
#include "shader/frontend/lowering/lowering_stage.h"
#include "shader/frontend/parse_stage.h"
#include "shader/preprocess/preprocessor.h"
#include "shader/target.h"

namespace {

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// The same compile with the generator's predication turned off: the form the
// predicated one is measured against.
Compiled CompileWithoutPredication(const std::string& source, const char* profile) {
    Preprocessor preprocessor;
    if (FAILED(preprocessor.OpenMemory(source.c_str(), source.size(), "merges.hlsl", nullptr, nullptr))) return {};
    CompileJob job;
    if (FAILED(FindTargetByName(profile, kTargetCompile, &job.target))) return {};
    job.version = job.target.version;
    job.preprocessor = &preprocessor;
    job.entryPoint = "main";
    job.profile = profile;
    std::unique_ptr<codegen::CodeGenerator> generator = codegen::CreateCodeGenerator(job.version);
    if (!generator) return {};
    IKLBuffer* code = nullptr;
    HRESULT hr = ParseStage(job);
    if (SUCCEEDED(hr)) hr = LowerCompileJob(job, *generator);
    if (SUCCEEDED(hr)) {
        generator->predicateMerges = false;
        hr = generator->Generate(&code);
    }
    ReleaseProgramTree(job);
    Compiled result = TakeCompileResult(hr, code, nullptr);
    result.messages = preprocessor.Log().Text();
    return result;
}

struct Comparison {
    const char* op;
    bool (*holds)(float, float);
};
const Comparison kComparisons[] = {
    {"<", [](float x, float y) { return x < y; }},   {"<=", [](float x, float y) { return x <= y; }},
    {">", [](float x, float y) { return x > y; }},   {">=", [](float x, float y) { return x >= y; }},
    {"==", [](float x, float y) { return x == y; }}, {"!=", [](float x, float y) { return x != y; }},
};

// Three variables merge on one comparison of two computed values; the
// vertex models with predication set p0 once and move under it.
TEST(Sm3Predication, VertexMergesOnOneComparison) {
    const Vec4 k = {0.5f, -2, 3, 4};
    for (const Comparison& cmp : kComparisons) {
        const std::string source = std::string(R"(
            float4 k;
            void main(float4 p : POSITION, float4 q : TEXCOORD0, out float4 o0 : POSITION,
                      out float4 o1 : TEXCOORD0, out float4 o2 : TEXCOORD1) {
                float4 a = p * k;
                float4 b = q + k;
                float4 c = p;
                if (p.x + p.y )") + cmp.op + R"( q.x * q.y) { a = q * 2; b = p - 1; c = p * q; }
                o0 = a; o1 = b; o2 = c;
            })";
        for (const char* profile : {"vs_3_0", "vs_2_x"}) {
            const Compiled shader = CompileHlsl(source, profile);
            const Compiled plain = CompileWithoutPredication(source, profile);
            ASSERT_TRUE(shader.Ok() && plain.Ok()) << profile << " " << cmp.op << "\n" << shader.messages << plain.messages;
            EXPECT_FALSE(Has(Disassembly(plain), "setp")) << Disassembly(plain);
            const std::string text = Disassembly(shader);
            EXPECT_TRUE(Has(text, "setp_")) << profile << " " << cmp.op << "\n" << text;
            EXPECT_TRUE(Has(text, "(p0) ") || Has(text, "(!p0) ")) << text;
            EXPECT_LT(BodyInstructions(shader), BodyInstructions(plain)) << profile << " " << cmp.op << "\n"
                                                                 << text << "\n" << Disassembly(plain);
            // x = p.x + p.y against y = q.x * q.y: below, equal, above.
            const Vec4 qs[] = {{2, 3, 1, 1}, {2, 1.5f, 1, 1}, {-2, 3, 1, 1}, {0, 7, 1, 1}};
            const Vec4 p = {1, 2, -1, 5};
            for (const Vec4& q : qs) {
                const ShaderRun run = RunVertex(shader, {{{kPosition, 0}, p}, {{kTexcoord, 0}, q}}, {{"k", {k[0], k[1], k[2], k[3]}}});
                ASSERT_TRUE(run.ok) << run.problem;
                const bool taken = cmp.holds(p[0] + p[1], q[0] * q[1]);
                for (int c = 0; c < 4; ++c) {
                    const float a = taken ? q[c] * 2 : p[c] * k[c];
                    const float b = taken ? p[c] - 1 : q[c] + k[c];
                    const float d = taken ? p[c] * q[c] : p[c];
                    const std::string where = std::string(profile) + " " + cmp.op + " q.x " + std::to_string(q[0]) +
                                              " component " + std::to_string(c);
                    EXPECT_FLOAT_EQ(run.outputs.at({kPosition, 0})[c], a) << where;
                    EXPECT_FLOAT_EQ(run.outputs.at({kTexcoord, 0})[c], b) << where;
                    EXPECT_FLOAT_EQ(run.outputs.at({kTexcoord, 1})[c], d) << where;
                }
            }
        }
    }
}

// A "?:" on a comparison merges the same way.
TEST(Sm3Predication, VertexConditionalExpression) {
    const char* source = R"(
        float4 main(float4 p : POSITION, float4 q : TEXCOORD0) : POSITION {
            return p.z < q.w ? p * q + 1 : q - p;
        })";
    const Compiled plain = CompileWithoutPredication(source, "vs_3_0");
    const Compiled shader = CompileHlsl(source, "vs_3_0");
    ASSERT_TRUE(plain.Ok() && shader.Ok()) << plain.messages << shader.messages;
    EXPECT_TRUE(Has(Disassembly(shader), "setp_")) << Disassembly(shader);
    EXPECT_LT(BodyInstructions(shader), BodyInstructions(plain)) << Disassembly(shader) << Disassembly(plain);
    const Vec4 p = {1, -2, 3, 4};
    for (float w : {2.0f, 3.0f, 4.0f}) {
        const Vec4 q = {0.5f, 2, -1, w};
        const ShaderRun run = RunVertex(shader, {{{kPosition, 0}, p}, {{kTexcoord, 0}, q}});
        ASSERT_TRUE(run.ok) << run.problem;
        for (int c = 0; c < 4; ++c)
            EXPECT_FLOAT_EQ(run.outputs.at({kPosition, 0})[c], p[2] < w ? p[c] * q[c] + 1 : q[c] - p[c]) << w << " " << c;
    }
}

// Where the condition is read as a value too, its arithmetic stays, and a
// single merge then costs no more as arithmetic: no predication.
TEST(Sm3Predication, VertexKeepsArithmeticWhenNotFewer) {
    const char* source = R"(
        float4 main(float4 p : POSITION, float4 q : TEXCOORD0) : POSITION {
            float t = p.x < q.x;
            float4 r = t ? q * 3 : p;
            return r + t;
        })";
    const Compiled plain = CompileWithoutPredication(source, "vs_3_0");
    const Compiled shader = CompileHlsl(source, "vs_3_0");
    ASSERT_TRUE(plain.Ok() && shader.Ok()) << plain.messages << shader.messages;
    EXPECT_FALSE(Has(Disassembly(shader), "setp")) << Disassembly(shader);
    EXPECT_EQ(BodyInstructions(shader), BodyInstructions(plain)) << Disassembly(shader) << Disassembly(plain);
    const Vec4 p = {1, 2, 3, 4};
    for (float x : {0.0f, 1.0f, 2.0f}) {
        const Vec4 q = {x, 5, 6, 7};
        const ShaderRun run = RunVertex(shader, {{{kPosition, 0}, p}, {{kTexcoord, 0}, q}});
        ASSERT_TRUE(run.ok) << run.problem;
        const float t = p[0] < x ? 1.0f : 0.0f;
        for (int c = 0; c < 4; ++c)
            EXPECT_FLOAT_EQ(run.outputs.at({kPosition, 0})[c], (t != 0 ? q[c] * 3 : p[c]) + t) << x << " " << c;
    }
}

// Pixel models: a condition takes a difference and a cmp per merge without
// predication (and a chain of cmp instructions for an equality), one setp
// with it, and the values computed for one side only are computed into the
// merged register under the predicate. ps_2_b, which has no predicate
// register, keeps the cmp form.
TEST(Sm3Predication, PixelMerges) {
    for (const Comparison& cmp : kComparisons) {
        const std::string source = std::string(R"(
            float4 k;
            float4 main(float4 p : TEXCOORD0, float4 q : TEXCOORD1) : COLOR {
                float4 a = p * k;
                float4 b = q + k;
                if (p.x + p.y )") + cmp.op + R"( q.x * q.y) { a = q * 2; b = p - 1; }
                return a * b;
            })";
        const Compiled noPredicate = CompileHlsl(source, "ps_2_b");
        ASSERT_TRUE(noPredicate.Ok()) << noPredicate.messages;
        EXPECT_FALSE(Has(Disassembly(noPredicate), "setp")) << Disassembly(noPredicate);
        for (const char* profile : {"ps_3_0", "ps_2_a", "ps_2_x"}) {
            const Compiled shader = CompileHlsl(source, profile);
            const Compiled plain = CompileWithoutPredication(source, profile);
            ASSERT_TRUE(shader.Ok() && plain.Ok()) << profile << " " << cmp.op << "\n" << shader.messages << plain.messages;
            const std::string text = Disassembly(shader);
            EXPECT_TRUE(Has(text, "setp_")) << profile << " " << cmp.op << "\n" << text;
            EXPECT_TRUE(Has(text, "(p0) ") || Has(text, "(!p0) ")) << text;
            EXPECT_LT(BodyInstructions(shader), BodyInstructions(plain)) << profile << " " << cmp.op << "\n"
                                                                 << text << "\n" << Disassembly(plain);
            const Vec4 k = {0.5f, -2, 3, 4};
            const Vec4 p = {1, 2, -1, 0.25f};
            const Vec4 qs[] = {{2, 3, 1, 1}, {2, 1.5f, 1, 1}, {-2, 3, 1, 1}, {0, 7, 1, 1}};
            for (const Vec4& q : qs) {
                const ShaderRun run = RunPixel(shader, {{{kTexcoord, 0}, p}, {{kTexcoord, 1}, q}},
                                               {{"k", {k[0], k[1], k[2], k[3]}}});
                ASSERT_TRUE(run.ok) << run.problem;
                const bool taken = cmp.holds(p[0] + p[1], q[0] * q[1]);
                for (int c = 0; c < 4; ++c) {
                    const float a = taken ? q[c] * 2 : p[c] * k[c];
                    const float b = taken ? p[c] - 1 : q[c] + k[c];
                    EXPECT_FLOAT_EQ(run.outputs.at({kColor, 0})[c], a * b)
                        << profile << " " << cmp.op << " q.x " << q[0] << " component " << c;
                }
            }
        }
    }
}

// A sign test choosing between values that are there already is one cmp
// after the difference: predication (a setp and two moves) would not be
// fewer, so it is not used.
TEST(Sm3Predication, PixelKeepsCmpWhenNotFewer) {
    const char* source = R"(
        float4 main(float4 p : TEXCOORD0, float4 q : TEXCOORD1) : COLOR {
            return p.x < q.y ? p : q;
        })";
    for (const char* profile : {"ps_2_x", "ps_3_0"}) {
        const Compiled shader = CompileHlsl(source, profile);
        const Compiled plain = CompileWithoutPredication(source, profile);
        ASSERT_TRUE(shader.Ok() && plain.Ok()) << shader.messages << plain.messages;
        EXPECT_EQ(BodyInstructions(shader), BodyInstructions(plain)) << profile;
        EXPECT_FALSE(Has(Disassembly(shader), "setp")) << Disassembly(shader);
        EXPECT_TRUE(Has(Disassembly(shader), "cmp")) << Disassembly(shader);
        const Vec4 p = {1, 2, 3, 4};
        for (float y : {0.5f, 1.0f, 1.5f}) {
            const Vec4 q = {5, y, 6, 7};
            const ShaderRun run = RunPixel(shader, {{{kTexcoord, 0}, p}, {{kTexcoord, 1}, q}});
            ASSERT_TRUE(run.ok) << run.problem;
            for (int c = 0; c < 4; ++c) EXPECT_FLOAT_EQ(run.outputs.at({kColor, 0})[c], p[0] < y ? p[c] : q[c]);
        }
    }
}

// A comparison with a literal sets p0 from the literal's register; the merged
// values come out right at the literal and on both sides of it.
TEST(Sm3Predication, ComparisonWithLiteral) {
    const char* pixel = R"(
        float4 k;
        float4 main(float4 p : TEXCOORD0, float4 q : TEXCOORD1) : COLOR {
            float4 a = p * k, b = q + k;
            if (p.x != 0.5) { a = q * 2; b = p - 1; }
            return a * b;
        })";
    const char* vertex = R"(
        float4 k;
        void main(float4 p : POSITION, float4 q : TEXCOORD0, out float4 o0 : POSITION, out float4 o1 : TEXCOORD0) {
            float4 a = p * k, b = q + k;
            if (p.x != 0.5) { a = q * 2; b = p - 1; }
            o0 = a * b;
            o1 = a;
        })";
    const Vec4 k = {0.5f, -2, 3, 4};
    const Vec4 q = {3, -1, 0.5f, 2};
    for (const char* profile : {"ps_3_0", "vs_3_0"}) {
        const bool isPixel = profile[0] == 'p';
        const Compiled shader = CompileHlsl(isPixel ? pixel : vertex, profile);
        ASSERT_TRUE(shader.Ok()) << profile << "\n" << shader.messages;
        EXPECT_TRUE(Has(Disassembly(shader), "setp_")) << Disassembly(shader);
        for (float x : {0.25f, 0.5f, 0.75f}) {
            const Vec4 p = {x, 2, -1, 4};
            const Uniforms uniforms = {{"k", {k[0], k[1], k[2], k[3]}}};
            const ShaderRun run = isPixel ? RunPixel(shader, {{{kTexcoord, 0}, p}, {{kTexcoord, 1}, q}}, uniforms)
                                          : RunVertex(shader, {{{kPosition, 0}, p}, {{kTexcoord, 0}, q}}, uniforms);
            ASSERT_TRUE(run.ok) << run.problem;
            const Vec4 got = run.outputs.at(isPixel ? Semantic{kColor, 0} : Semantic{kPosition, 0});
            for (int c = 0; c < 4; ++c) {
                const bool taken = x != 0.5f;
                const float a = taken ? q[c] * 2 : p[c] * k[c];
                const float b = taken ? p[c] - 1 : q[c] + k[c];
                EXPECT_FLOAT_EQ(got[c], a * b) << profile << " x " << x << " component " << c;
            }
        }
    }
}

// Random merges: up to three variables take new values in one arm or the
// other of an "if", or through "?:", on a comparison of two computed values
// whose inputs are drawn from a few numbers, so that the values are often
// equal. Every program runs on the device for several inputs against the
// values computed here; where a program is predicated it takes fewer
// instructions than with predication turned off, elsewhere as many, and
// predication is met at all.
TEST(Sm3Predication, RandomMergesMatchTheValuesComputedHere) {
    using V = std::array<float, 4>;
    struct Term {
        const char* text;
        std::function<V(const V&, const V&, const V&)> value;
    };
    auto each = [](auto f) {
        return [f](const V& p, const V& q, const V& k) {
            V r;
            for (int c = 0; c < 4; ++c) r[c] = f(p, q, k, c);
            return r;
        };
    };
    const Term terms[] = {
        {"p * k", each([](const V& p, const V&, const V& k, int c) { return p[c] * k[c]; })},
        {"q + k", each([](const V&, const V& q, const V& k, int c) { return q[c] + k[c]; })},
        {"p - q", each([](const V& p, const V& q, const V&, int c) { return p[c] - q[c]; })},
        {"p * q", each([](const V& p, const V& q, const V&, int c) { return p[c] * q[c]; })},
        {"p.yzwx * 2", each([](const V& p, const V&, const V&, int c) { return p[(c + 1) % 4] * 2; })},
        {"q.wzyx - k", each([](const V&, const V& q, const V& k, int c) { return q[3 - c] - k[c]; })},
        {"p + 1", each([](const V& p, const V&, const V&, int c) { return p[c] + 1; })},
        {"k", each([](const V&, const V&, const V& k, int c) { return k[c]; })},
    };
    struct Scalar {
        const char* text;
        std::function<float(const V&, const V&)> value;
    };
    const Scalar scalars[] = {
        {"p.x", [](const V& p, const V&) { return p[0]; }},
        {"q.y", [](const V&, const V& q) { return q[1]; }},
        {"(p.z + q.w)", [](const V& p, const V& q) { return p[2] + q[3]; }},
        {"(p.y * q.x)", [](const V& p, const V& q) { return p[1] * q[0]; }},
        {"0.5", [](const V&, const V&) { return 0.5f; }},
    };
    const float numbers[] = {-1, -0.5f, 0, 0.5f, 1, 2};
    const V k = {0.5f, -2, 3, 1};
    std::mt19937 random(20261207);
    auto pick = [&](int n) { return int(random() % uint32_t(n)); };

    int predicated = 0;
    for (int program = 0; program < 24; ++program) {
        const Comparison& cmp = kComparisons[pick(6)];
        int sx = pick(5), sy = pick(5);
        if (sx == sy) sy = (sy + 1) % 5;
        const std::string condition = std::string(scalars[sx].text) + " " + cmp.op + " " + scalars[sy].text;
        int start[3], then[3], otherwise[3];
        int arm[3];  // 0 unchanged, 1 then only, 2 else only, 3 both, 4 "?:"
        std::string body;
        for (int v = 0; v < 3; ++v) {
            start[v] = pick(8);
            then[v] = pick(8);
            otherwise[v] = pick(8);
            arm[v] = pick(5);
            body += "    float4 v" + std::to_string(v) + " = " + terms[start[v]].text + ";\n";
        }
        std::string thenArm, elseArm;
        for (int v = 0; v < 3; ++v) {
            const std::string name = "v" + std::to_string(v);
            if (arm[v] == 1 || arm[v] == 3) thenArm += name + " = " + terms[then[v]].text + "; ";
            if (arm[v] == 2 || arm[v] == 3) elseArm += name + " = " + terms[otherwise[v]].text + "; ";
        }
        body += "    if (" + condition + ") { " + thenArm + "} else { " + elseArm + "}\n";
        for (int v = 0; v < 3; ++v)
            if (arm[v] == 4)
                body += "    v" + std::to_string(v) + " = " + condition + " ? " + terms[then[v]].text + " : " +
                        terms[otherwise[v]].text + ";\n";
        const std::string pixel = "float4 k;\nfloat4 main(float4 p : TEXCOORD0, float4 q : TEXCOORD1) : COLOR {\n" +
                                  body + "    return v0 * v1 + v2;\n}\n";
        const std::string vertex = "float4 k;\nfloat4 main(float4 p : POSITION, float4 q : TEXCOORD0) : POSITION {\n" +
                                   body + "    return v0 * v1 + v2;\n}\n";

        for (const char* profile : {"vs_3_0", "vs_2_x", "ps_3_0", "ps_2_x"}) {
            const bool isPixel = profile[0] == 'p';
            const Compiled shader = CompileHlsl(isPixel ? pixel : vertex, profile);
            ASSERT_TRUE(shader.Ok()) << profile << "\n" << shader.messages << pixel;
            const std::string text = Disassembly(shader);
            const Compiled plain = CompileWithoutPredication(isPixel ? pixel : vertex, profile);
            ASSERT_TRUE(plain.Ok()) << plain.messages;
            if (Has(text, "setp_")) {
                ++predicated;
                EXPECT_LT(BodyInstructions(shader), BodyInstructions(plain)) << profile << "\n" << pixel << text << Disassembly(plain);
            } else {
                EXPECT_EQ(BodyInstructions(shader), BodyInstructions(plain)) << profile << "\n" << pixel << text << Disassembly(plain);
            }
            for (int run = 0; run < 4; ++run) {
                V p, q;
                for (int c = 0; c < 4; ++c) {
                    p[c] = numbers[pick(6)];
                    q[c] = numbers[pick(6)];
                }
                const bool taken = cmp.holds(scalars[sx].value(p, q), scalars[sy].value(p, q));
                V values[3];
                for (int v = 0; v < 3; ++v) {
                    values[v] = terms[start[v]].value(p, q, k);
                    if ((arm[v] == 1 || arm[v] == 3 || arm[v] == 4) && taken) values[v] = terms[then[v]].value(p, q, k);
                    if ((arm[v] == 2 || arm[v] == 3 || arm[v] == 4) && !taken)
                        values[v] = terms[otherwise[v]].value(p, q, k);
                }
                const Uniforms uniforms = {{"k", {k[0], k[1], k[2], k[3]}}};
                const ShaderRun result = isPixel
                                             ? RunPixel(shader, {{{kTexcoord, 0}, p}, {{kTexcoord, 1}, q}}, uniforms)
                                             : RunVertex(shader, {{{kPosition, 0}, p}, {{kTexcoord, 0}, q}}, uniforms);
                ASSERT_TRUE(result.ok) << result.problem;
                const V got = result.outputs.at(isPixel ? Semantic{kColor, 0} : Semantic{kPosition, 0});
                for (int c = 0; c < 4; ++c)
                    EXPECT_FLOAT_EQ(got[c], values[0][c] * values[1][c] + values[2][c])
                        << profile << " component " << c << " taken " << taken << "\n" << (isPixel ? pixel : vertex) << text;
            }
        }
    }
    EXPECT_GT(predicated, 0);
}

}  // namespace
