// Predication on the models with a predicate register: merges of the two arms
// of an "if" or of a "?:" on a computed comparison become one setp and
// predicated moves where that takes fewer instructions than the arithmetic
// merge. Each case runs on the device for values on both sides of the
// comparison and on it, and counts the instructions against the form the
// models without predication get for the same source (vs_2_0 and vs_2_x
// differ in nothing else these programs use).
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "codegen_harness.h"

namespace {

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// Instructions in the body of a program's disassembly (declarations and
// definitions take no slot).
int Instructions(const Compiled& shader) {
    std::istringstream lines(Disassembly(shader));
    int count = 0;
    bool body = false;
    for (std::string line; std::getline(lines, line);) {
        const size_t first = line.find_first_not_of(' ');
        if (first == std::string::npos || line.compare(first, 2, "//") == 0) continue;
        const std::string op = line.substr(first, line.find(' ', first) - first);
        if (op.rfind("vs_", 0) == 0 || op.rfind("ps_", 0) == 0) {
            body = true;
            continue;
        }
        if (body && op.rfind("dcl", 0) != 0 && op != "def") ++count;
    }
    return count;
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
        const Compiled plain = CompileHlsl(source, "vs_2_0");
        ASSERT_TRUE(plain.Ok()) << plain.messages;
        EXPECT_FALSE(Has(Disassembly(plain), "setp")) << Disassembly(plain);
        for (const char* profile : {"vs_3_0", "vs_2_x"}) {
            const Compiled shader = CompileHlsl(source, profile);
            ASSERT_TRUE(shader.Ok()) << profile << " " << cmp.op << "\n" << shader.messages;
            const std::string text = Disassembly(shader);
            EXPECT_TRUE(Has(text, "setp_")) << profile << " " << cmp.op << "\n" << text;
            EXPECT_TRUE(Has(text, "(p0) mov") || Has(text, "(!p0) mov")) << text;
            EXPECT_LT(Instructions(shader), Instructions(plain)) << profile << " " << cmp.op << "\n"
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
    const Compiled plain = CompileHlsl(source, "vs_2_0");
    const Compiled shader = CompileHlsl(source, "vs_3_0");
    ASSERT_TRUE(plain.Ok() && shader.Ok()) << plain.messages << shader.messages;
    EXPECT_TRUE(Has(Disassembly(shader), "setp_")) << Disassembly(shader);
    EXPECT_LT(Instructions(shader), Instructions(plain)) << Disassembly(shader) << Disassembly(plain);
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
    const Compiled plain = CompileHlsl(source, "vs_2_0");
    const Compiled shader = CompileHlsl(source, "vs_3_0");
    ASSERT_TRUE(plain.Ok() && shader.Ok()) << plain.messages << shader.messages;
    EXPECT_FALSE(Has(Disassembly(shader), "setp")) << Disassembly(shader);
    EXPECT_EQ(Instructions(shader), Instructions(plain)) << Disassembly(shader) << Disassembly(plain);
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

// Pixel models: an equality or inequality condition takes a chain of cmp
// instructions without predication and one setp with it; ps_2_b, which has no
// predicate register, keeps the chain. A plain sign test costs as much either
// way and stays a cmp.
TEST(Sm3Predication, PixelMergesOnEquality) {
    for (const Comparison& cmp : kComparisons) {
        const std::string source = std::string(R"(
            float4 k;
            float4 main(float4 p : TEXCOORD0, float4 q : TEXCOORD1) : COLOR {
                float4 a = p * k;
                float4 b = q + k;
                if (p.x + p.y )") + cmp.op + R"( q.x * q.y) { a = q * 2; b = p - 1; }
                return a * b;
            })";
        const bool signTest = std::string(cmp.op) != "==" && std::string(cmp.op) != "!=";
        const Compiled plain = CompileHlsl(source, "ps_2_b");
        ASSERT_TRUE(plain.Ok()) << plain.messages;
        EXPECT_FALSE(Has(Disassembly(plain), "setp")) << Disassembly(plain);
        for (const char* profile : {"ps_3_0", "ps_2_a", "ps_2_x"}) {
            const Compiled shader = CompileHlsl(source, profile);
            ASSERT_TRUE(shader.Ok()) << profile << " " << cmp.op << "\n" << shader.messages;
            const std::string text = Disassembly(shader);
            if (signTest) {
                EXPECT_FALSE(Has(text, "setp")) << profile << " " << cmp.op << "\n" << text;
                EXPECT_EQ(Instructions(shader), Instructions(plain)) << profile << " " << cmp.op << "\n" << text;
            } else {
                EXPECT_TRUE(Has(text, std::string("setp_") + (cmp.op[0] == '=' ? "eq" : "ne")) ||
                            Has(text, "setp_eq") || Has(text, "setp_ne"))
                    << profile << " " << cmp.op << "\n" << text;
                EXPECT_TRUE(Has(text, "(p0) mov") || Has(text, "(!p0) mov")) << text;
                EXPECT_LT(Instructions(shader), Instructions(plain)) << profile << " " << cmp.op << "\n"
                                                                     << text << "\n" << Disassembly(plain);
            }
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

}  // namespace
