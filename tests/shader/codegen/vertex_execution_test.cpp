// Vertex shaders compiled by our compiler and run on the device's shader
// programs; every output is compared with the value computed here in C++.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "codegen_harness.h"

namespace {

constexpr const char* kVertexProfiles[] = {"vs_1_1", "vs_2_0", "vs_2_sw", "vs_2_x", "vs_3_0"};

void ExpectNear(const Vec4& got, const Vec4& want, float tolerance, const std::string& what) {
    for (int c = 0; c < 4; ++c) {
        if (std::isnan(want[c])) continue;
        EXPECT_NEAR(got[c], want[c], tolerance * std::max(1.0f, std::fabs(want[c]))) << what << " component " << c;
    }
}

// Compiles for every vertex profile, runs one vertex and checks the outputs.
void CheckVertex(const std::string& source, const std::map<Semantic, Vec4>& inputs, const Uniforms& uniforms,
                 const std::map<Semantic, Vec4>& expected, float tolerance = 1e-4f) {
    for (const char* profile : kVertexProfiles) {
        const Compiled shader = CompileHlsl(source, profile);
        ASSERT_TRUE(shader.Ok()) << profile << ": " << shader.messages;
        const ShaderRun run = RunVertex(shader, inputs, uniforms);
        ASSERT_TRUE(run.ok) << profile << ": " << run.problem;
        for (const auto& [semantic, want] : expected) {
            auto it = run.outputs.find(semantic);
            ASSERT_NE(it, run.outputs.end()) << profile << " lacks output " << semantic.first << "/" << semantic.second;
            ExpectNear(it->second, want, tolerance, std::string(profile));
        }
    }
}

const float kAny = NAN;  // a component the shader does not write
const Vec4 kP = {1.5f, -2.0f, 0.25f, 3.0f};
const Vec4 kN = {0.5f, 4.0f, -1.0f, 2.0f};

TEST(VertexExecution, ArithmeticSwizzlesAndMasks) {
    const char* source = R"(
        float4 main(float4 p : POSITION, float4 n : NORMAL, out float4 t : TEXCOORD0) : POSITION {
            t.xy = p.yx * n.zw;
            t.z = p.w - n.x;
            t.w = p.x / n.y;
            float4 r = p.wzyx * 2 + n;
            r.yz -= p.xx;
            return r;
        })";
    const Vec4 t = {kP[1] * kN[2], kP[0] * kN[3], kP[3] - kN[0], kP[0] / kN[1]};
    Vec4 r = {kP[3] * 2 + kN[0], kP[2] * 2 + kN[1], kP[1] * 2 + kN[2], kP[0] * 2 + kN[3]};
    r[1] -= kP[0];
    r[2] -= kP[0];
    CheckVertex(source, {{{kPosition, 0}, kP}, {{kNormal, 0}, kN}}, {}, {{{kPosition, 0}, r}, {{kTexcoord, 0}, t}});
}

TEST(VertexExecution, Intrinsics) {
    const char* source = R"(
        float4 main(float4 p : POSITION, float4 n : NORMAL, out float4 a : TEXCOORD0, out float4 b : TEXCOORD1,
                    out float4 c : TEXCOORD2, out float4 d : TEXCOORD3) : POSITION {
            a = float4(normalize(n.xyz), length(p.xyz));
            b = float4(dot(p, n), dot(p.xy, n.xy), frac(p.x), exp2(p.z));
            c = float4(log2(p.w), sqrt(p.w), sqrt(p.z - 0.25), rsqrt(n.y));
            d = float4(min(p.x, n.x), max(p.y, n.y), abs(p.y), saturate(p.x));
            return float4(pow(p.w, 2.5), lerp(p.x, n.x, 0.25), step(p.x, n.x), floor(p.y - 0.5));
        })";
    const float nl = std::sqrt(kN[0] * kN[0] + kN[1] * kN[1] + kN[2] * kN[2]);
    const Vec4 a = {kN[0] / nl, kN[1] / nl, kN[2] / nl, std::sqrt(kP[0] * kP[0] + kP[1] * kP[1] + kP[2] * kP[2])};
    const Vec4 b = {kP[0] * kN[0] + kP[1] * kN[1] + kP[2] * kN[2] + kP[3] * kN[3], kP[0] * kN[0] + kP[1] * kN[1],
                    kP[0] - std::floor(kP[0]), std::exp2(kP[2])};
    const Vec4 c = {std::log2(kP[3]), std::sqrt(kP[3]), 0.0f, 1.0f / std::sqrt(kN[1])};
    const Vec4 d = {std::min(kP[0], kN[0]), std::max(kP[1], kN[1]), std::fabs(kP[1]), 1.0f};
    const Vec4 r = {std::pow(kP[3], 2.5f), kP[0] + (kN[0] - kP[0]) * 0.25f, kN[0] >= kP[0] ? 1.0f : 0.0f,
                    std::floor(kP[1] - 0.5f)};
    CheckVertex(source, {{{kPosition, 0}, kP}, {{kNormal, 0}, kN}}, {},
                {{{kPosition, 0}, r}, {{kTexcoord, 0}, a}, {{kTexcoord, 1}, b}, {{kTexcoord, 2}, c}, {{kTexcoord, 3}, d}},
                2e-3f);
}

TEST(VertexExecution, SquareRootsOfSwizzledAndNegatedValues) {
    const char* source = R"(
        float4 main(float4 p : POSITION) : POSITION {
            float4 v = abs(p);
            v.xy = sqrt(v.yx);
            return float4(v.xy, sqrt(-p.y) + v.z, -v.w);
        })";
    CheckVertex(source, {{{kPosition, 0}, kP}}, {},
                {{{kPosition, 0}, {std::sqrt(std::fabs(kP[1])), std::sqrt(std::fabs(kP[0])),
                                   std::sqrt(-kP[1]) + std::fabs(kP[2]), -std::fabs(kP[3])}}},
                1e-3f);
}

TEST(VertexExecution, TrigonometryWithinPolynomialPrecision) {
    const char* source = R"(
        float4 main(float4 p : POSITION) : POSITION { return float4(sin(p.x), cos(p.y), sin(p.z * 7), cos(p.w)); })";
    CheckVertex(source, {{{kPosition, 0}, kP}}, {},
                {{{kPosition, 0}, {std::sin(kP[0]), std::cos(kP[1]), std::sin(kP[2] * 7), std::cos(kP[3])}}}, 2e-3f);
}

// A 4x4 matrix with distinct entries, m[row][column].
float M(int row, int column) { return float(row * 4 + column + 1) * 0.125f - (column == 2 ? 1.0f : 0.0f); }

TEST(VertexExecution, MatricesInBothPackings) {
    // Row-major registers hold rows; column-major registers hold columns.
    std::vector<float> rows, columns;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) {
            rows.push_back(M(i, j));
            columns.push_back(M(j, i));
        }
    Vec4 pm{}, mp{};
    for (int j = 0; j < 4; ++j)
        for (int i = 0; i < 4; ++i) {
            pm[j] += kP[i] * M(i, j);
            mp[j] += M(j, i) * kP[i];
        }
    const char* source = R"(
        row_major float4x4 R;
        column_major float4x4 C;
        float4 main(float4 p : POSITION, out float4 a : TEXCOORD0, out float4 b : TEXCOORD1,
                    out float3 c : TEXCOORD2) : POSITION {
            a = mul(p, C);
            b = mul(R, p);
            c = mul(p.xyz, (float3x3)R);
            return mul(p, R);
        })";
    Vec4 c3{};
    for (int j = 0; j < 3; ++j)
        for (int i = 0; i < 3; ++i) c3[j] += kP[i] * M(i, j);
    CheckVertex(source, {{{kPosition, 0}, kP}}, {{"R", rows}, {"C", columns}},
                {{{kPosition, 0}, pm}, {{kTexcoord, 0}, pm}, {{kTexcoord, 1}, mp}, {{kTexcoord, 2}, {c3[0], c3[1], c3[2], kAny}}},
                1e-4f);
}

TEST(VertexExecution, StructuresArraysAndOutParameters) {
    const char* source = R"(
        struct In { float4 pos : POSITION; float3 normal : NORMAL; float2 uv : TEXCOORD0; };
        struct Out { float4 pos : POSITION; float4 colour : COLOR0; float2 uv : TEXCOORD0; float fog : FOG; };
        float4 table[3];
        void Split(float4 v, out float2 lo, out float2 hi) { lo = v.xy; hi = v.zw * 2; }
        Out main(In input) {
            Out o;
            float2 lo, hi;
            Split(input.pos, lo, hi);
            o.pos = float4(lo, hi) + table[2];
            o.colour = float4(input.normal, 1) * table[0].x;
            o.uv = input.uv.yx + table[1].zw;
            o.fog = input.pos.y;
            return o;
        })";
    const std::vector<float> table = {2, 0, 0, 0, 0, 0, 5, 6, 10, 20, 30, 40};
    const Vec4 uv = {0.75f, 0.125f, 0, 1};
    CheckVertex(source, {{{kPosition, 0}, kP}, {{kNormal, 0}, kN}, {{kTexcoord, 0}, uv}}, {{"table", table}},
                {{{kPosition, 0}, {kP[0] + 10, kP[1] + 20, kP[2] * 2 + 30, kP[3] * 2 + 40}},
                 {{kColor, 0}, {kN[0] * 2, kN[1] * 2, kN[2] * 2, 2}},
                 {{kTexcoord, 0}, {uv[1] + 5, uv[0] + 6, kAny, kAny}}});
}

TEST(VertexExecution, RelativeAddressingLoopsAndBranches) {
    const char* source = R"(
        float4 palette[4];
        float4 main(float4 p : POSITION, float4 i : BLENDINDICES, out float4 t : TEXCOORD0) : POSITION {
            float4 sum = 0;
            for (int k = 0; k < 3; ++k) sum += palette[k] * (k + 1);
            if (p.x > 1) t = palette[i.x] + palette[i.y];
            else t = -palette[i.x];
            return sum;
        })";
    std::vector<float> palette;
    for (int k = 0; k < 16; ++k) palette.push_back(float(k) * 0.5f);
    Vec4 sum{};
    for (int k = 0; k < 3; ++k)
        for (int c = 0; c < 4; ++c) sum[c] += palette[size_t(k * 4 + c)] * float(k + 1);
    Vec4 t{};
    for (int c = 0; c < 4; ++c) t[c] = palette[size_t(3 * 4 + c)] + palette[size_t(1 * 4 + c)];
    CheckVertex(source, {{{kPosition, 0}, kP}, {{2, 0}, {3, 1, 0, 0}}}, {{"palette", palette}},
                {{{kPosition, 0}, sum}, {{kTexcoord, 0}, t}});
    Vec4 q = kP;
    q[0] = 0.5f;
    for (int c = 0; c < 4; ++c) t[c] = -palette[size_t(2 * 4 + c)];
    CheckVertex(source, {{{kPosition, 0}, q}, {{2, 0}, {2, 1, 0, 0}}}, {{"palette", palette}},
                {{{kPosition, 0}, sum}, {{kTexcoord, 0}, t}});
}

TEST(VertexExecution, UniformsAtTheRegistersTheTableNames) {
    const char* source = R"(
        float4 fixedOne : register(c5);
        float4 other;
        float3x4 wide;  // column-major: register k holds column k
        float4 main(float4 p : POSITION) : POSITION { return fixedOne * p + other + wide[2]; })";
    const Compiled shader = CompileHlsl(source, "vs_2_0");
    ASSERT_TRUE(shader.Ok()) << shader.messages;
    ShaderRun run = RunVertex(shader, {{{kPosition, 0}, kP}},
                              {{"fixedOne", {1, 2, 3, 4}}, {"other", {10, 10, 10, 10}}, {"wide", {0, 0, 5, 0, 0, 0, 6, 0, 0, 0, 7, 0, 0, 0, 8, 0}}});
    ASSERT_TRUE(run.ok) << run.problem;
    ExpectNear(run.outputs[{kPosition, 0}], {kP[0] + 15, kP[1] * 2 + 16, kP[2] * 3 + 17, kP[3] * 4 + 18}, 1e-5f, "");
}

}  // namespace

namespace {

// Instruction opcodes of a compiled program, in order (declarations and
// definitions included, comments skipped).
std::vector<uint32_t> Opcodes(const Compiled& shader) {
    std::vector<uint32_t> ops;
    const bool lengths = (shader.code[0] & 0xFFFF) >= 0x0200;
    for (size_t k = 1; k < shader.code.size();) {
        const uint32_t t = shader.code[k];
        if ((t & 0xFFFF) == 0xFFFE) {
            k += 1 + ((t >> 16) & 0x7FFF);
            continue;
        }
        if (t == 0xFFFF) break;
        ops.push_back(t & 0xFFFF);
        size_t next = k + 1;
        if (lengths) next += (t >> 24) & 0xF;
        else if ((t & 0xFFFF) == 81) next += 5;
        else
            while (next < shader.code.size() && (shader.code[next] & 0x80000000u)) ++next;
        k = next;
    }
    return ops;
}

TEST(VertexPatterns, DotProductsOfOneMatrixBecomeOneMatrixInstruction) {
    struct Case {
        const char* source;
        uint32_t opcode;
    };
    const Case cases[] = {
        {"float4x4 m; float4 main(float4 p : POSITION) : POSITION { return mul(p, m); }", 20},  // m4x4
        {"float4x3 m; float4 main(float4 p : POSITION) : POSITION { return float4(mul(p, m), 1); }", 21},  // m4x3
        {"float3x3 m; float4 main(float4 p : POSITION) : POSITION { return float4(mul(p.xyz, m), 1); }", 23},  // m3x3
    };
    for (const Case& c : cases)
        for (const char* profile : {"vs_1_1", "vs_2_0"}) {
            const Compiled shader = CompileHlsl(c.source, profile);
            ASSERT_TRUE(shader.Ok()) << shader.messages;
            const std::vector<uint32_t> ops = Opcodes(shader);
            EXPECT_NE(std::find(ops.begin(), ops.end(), c.opcode), ops.end()) << c.source << " " << profile;
            EXPECT_EQ(std::find(ops.begin(), ops.end(), 9u), ops.end()) << "a dp4 is left: " << c.source;
        }
}

}  // namespace
