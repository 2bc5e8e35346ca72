// Dot products whose result only feeds a move into an output register write
// the output directly, so the matrix forms land on oPos and oTn with no mov.
// Each case also runs on the device and compares with values computed here.
#include <gtest/gtest.h>

#include <sstream>

#include "codegen_harness.h"
#include "shader/bytecode/disassembler.h"

namespace {

bool HasLine(const std::string& text, const std::string& prefix) {
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        const size_t start = line.find_first_not_of(' ');
        if (start != std::string::npos && line.compare(start, prefix.size(), prefix) == 0) return true;
    }
    return false;
}

// The matrix as its constant registers hold it: column_major storage puts
// column c of m in register c, so mul(v, m)[c] = dot(v, register c).
const std::vector<float> kMatrix = {0.5f, -1.0f, 2.0f,  0.25f, 3.0f,  1.5f, -0.5f, 1.0f,
                                    -2.0f, 0.75f, 1.0f, -1.5f, 0.125f, 2.5f, -3.0f, 4.0f};
const Vec4 kPoints[] = {{1.5f, -2.0f, 0.25f, 1.0f}, {-0.75f, 4.0f, 2.0f, 0.5f}, {3.0f, -9.0f, -1.5f, -2.5f}};

float Column(const Vec4& v, int c, int size) {
    float sum = 0;
    for (int r = 0; r < size; ++r) sum += v[size_t(r)] * kMatrix[size_t(c * 4 + r)];
    return sum;
}

void ExpectNear(const Vec4& got, const Vec4& want, int components, const std::string& what) {
    for (int i = 0; i < components; ++i) EXPECT_NEAR(got[size_t(i)], want[size_t(i)], 1e-4f) << what << " component " << i;
}

TEST(VertexOutputRetarget, PositionTransformWritesOposWithMatrixForm) {
    const char* source =
        "float4x4 m;\n"
        "struct O { float4 p : POSITION; };\n"
        "O main(float4 p : POSITION) { O o; o.p = mul(p, m); return o; }\n";
    for (const char* profile : {"vs_1_1", "vs_2_0"}) {
        SCOPED_TRACE(profile);
        const Compiled shader = CompileHlsl(source, profile);
        ASSERT_TRUE(shader.Ok()) << shader.messages;
        const std::string text = Disassembly(shader);
        EXPECT_TRUE(HasLine(text, "m4x4 oPos, v0, c0")) << text;
        EXPECT_FALSE(HasLine(text, "mov")) << text;
        for (const Vec4& p : kPoints) {
            const ShaderRun run = RunVertex(shader, {{{kPosition, 0}, p}}, {{"m", kMatrix}});
            ASSERT_TRUE(run.ok) << run.problem;
            const Vec4 want = {Column(p, 0, 4), Column(p, 1, 4), Column(p, 2, 4), Column(p, 3, 4)};
            ExpectNear(run.outputs.at({kPosition, 0}), want, 4, "oPos");
        }
    }
}

TEST(VertexOutputRetarget, NormalTransformWritesTexcoordWithM3x3) {
    const char* source =
        "float4x4 m;\n"
        "struct O { float4 p : POSITION; float3 n : TEXCOORD0; };\n"
        "O main(float4 p : POSITION, float3 n : NORMAL) {\n"
        "  O o; o.p = p; o.n = mul(n, (float3x3)m); return o; }\n";
    for (const char* profile : {"vs_1_1", "vs_2_0"}) {
        SCOPED_TRACE(profile);
        const Compiled shader = CompileHlsl(source, profile);
        ASSERT_TRUE(shader.Ok()) << shader.messages;
        const std::string text = Disassembly(shader);
        EXPECT_TRUE(HasLine(text, "m3x3 oT0.xyz, v1, c0")) << text;
        EXPECT_FALSE(HasLine(text, "dp3")) << text;
        for (const Vec4& n : kPoints) {
            const ShaderRun run = RunVertex(shader, {{{kPosition, 0}, kPoints[0]}, {{kNormal, 0}, n}}, {{"m", kMatrix}});
            ASSERT_TRUE(run.ok) << run.problem;
            const Vec4 want = {Column(n, 0, 3), Column(n, 1, 3), Column(n, 2, 3), 0};
            ExpectNear(run.outputs.at({kTexcoord, 0}), want, 3, "oT0");
            ExpectNear(run.outputs.at({kPosition, 0}), kPoints[0], 4, "oPos");
        }
    }
}

// The transformed value also feeds other outputs: each keeps the right value,
// so the copies stay. A lone dot product into the scalar fog output writes
// it directly.
TEST(VertexOutputRetarget, ResultReadElsewhereStaysCorrect) {
    const char* source =
        "float4x4 m; float4 v;\n"
        "struct O { float4 p : POSITION; float4 t : TEXCOORD0; float4 u : TEXCOORD1; float f : FOG; };\n"
        "O main(float4 p : POSITION) {\n"
        "  O o; float4 q = mul(p, m); o.p = q; o.t = q * 2 + p; o.u = q.wzyx;\n"
        "  o.f = dot(p, v); return o; }\n";
    const Vec4 v = {0.5f, -2.0f, 1.25f, 3.0f};
    for (const char* profile : {"vs_1_1", "vs_2_0"}) {
        SCOPED_TRACE(profile);
        const Compiled shader = CompileHlsl(source, profile);
        ASSERT_TRUE(shader.Ok()) << shader.messages;
        const std::string text = Disassembly(shader);
        EXPECT_TRUE(HasLine(text, "dp4 oFog, v0, c4")) << text;
        for (const Vec4& p : kPoints) {
            const ShaderRun run =
                RunVertex(shader, {{{kPosition, 0}, p}}, {{"m", kMatrix}, {"v", {v.begin(), v.end()}}});
            ASSERT_TRUE(run.ok) << run.problem;
            const float fog = p[0] * v[0] + p[1] * v[1] + p[2] * v[2] + p[3] * v[3];
            EXPECT_NEAR(run.outputs.at({kFog, 0})[0], fog, 1e-4f);
            const Vec4 q = {Column(p, 0, 4), Column(p, 1, 4), Column(p, 2, 4), Column(p, 3, 4)};
            ExpectNear(run.outputs.at({kPosition, 0}), q, 4, "oPos");
            ExpectNear(run.outputs.at({kTexcoord, 0}),
                       {q[0] * 2 + p[0], q[1] * 2 + p[1], q[2] * 2 + p[2], q[3] * 2 + p[3]}, 4, "oT0");
            ExpectNear(run.outputs.at({kTexcoord, 1}), {q[3], q[2], q[1], q[0]}, 4, "oT1");
        }
    }
}

}  // namespace
