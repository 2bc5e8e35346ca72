// Shapes that once gave wrong results on the vertex profiles, each reduced to
// a small shader and run on the device for vs_1_1, vs_2_0 and vs_2_sw: a dot
// product read again through a folded negation, abs() of a vector assembled
// from partly negated parts, and ?: that must pick one side exactly.
#include <gtest/gtest.h>

#include <cmath>

#include "vs_exec_util.h"

namespace {

using vsexec::kAny;

const Vec4 kA[] = {{1, 2, 3, 4}, {0.5f, 0.7f, -1, 0}, {-2, 0.25f, 1.5f, -3}};
const Vec4 kB[] = {{0.5f, 0.25f, 1, 0}, {1, 1e8f, 0, 0.75f}, {-0.5f, 3, 2, -1}};

std::vector<vsexec::Vertex> AbVertices() {
    std::vector<vsexec::Vertex> v;
    for (size_t i = 0; i < std::size(kA); ++i) v.push_back({{{kTexcoord, 0}, kA[i]}, {{kTexcoord, 1}, kB[i]}});
    return v;
}

const Vec4& A(const vsexec::Vertex& v) { return v.at({kTexcoord, 0}); }
const Vec4& B(const vsexec::Vertex& v) { return v.at({kTexcoord, 1}); }

// A dot product whose result goes straight into an output while another
// reader still needs it in its register, through a folded negation.
TEST(VertexWrongCode, DotProductReadAgainThroughANegation) {
    vsexec::Check check;
    check.what = "dot read negated";
    check.source = R"(
        struct VSOut { float4 pos : POSITION; float t0 : TEXCOORD0; float t1 : TEXCOORD1; float t2 : TEXCOORD2;
                       float2 t3 : TEXCOORD3; };
        VSOut main(float4 a : TEXCOORD0, float4 b : TEXCOORD1) {
            VSOut o; o.pos = a; float d = dot(a, b); o.t0 = d; o.t1 = -d; o.t2 = 1.0 - d;
            o.t3 = float2(dot(a.xyz, b.zyx), 1.0 - dot(a.xyz, b.zyx));
            return o;
        })";
    check.vertices = AbVertices();
    check.tolerance = 1e-6f;
    check.want = [](const vsexec::Vertex& v) -> vsexec::Outputs {
        const Vec4 &a = A(v), &b = B(v);
        const float d = vsexec::Dot(a, b), e = a[0] * b[2] + a[1] * b[1] + a[2] * b[0];
        return {{{kTexcoord, 0}, {d, kAny, kAny, kAny}},
                {{kTexcoord, 1}, {-d, kAny, kAny, kAny}},
                {{kTexcoord, 2}, {1 - d, kAny, kAny, kAny}},
                {{kTexcoord, 3}, {e, 1 - e, kAny, kAny}}};
    };
    vsexec::Run(check);
}

TEST(VertexWrongCode, MatrixProductSubtractedAndReused) {
    vsexec::Check check;
    check.what = "a - mul(a, m) reused";
    check.source = R"(
        float4x4 m;
        struct VSOut { float4 pos : POSITION; float4 t0 : TEXCOORD0; float4 t1 : TEXCOORD1; };
        VSOut main(float4 a : TEXCOORD0) {
            VSOut o; o.pos = a; float4 d = a - mul(a, m); o.t0 = d; o.t1 = d * d.wzyx; return o;
        })";
    const float m[16] = {1, 2, 0, 0.5f, 0, 1, -1, 0, 0.25f, 0, 2, 1, -1, 0.5f, 0, 1};
    check.uniforms["m"] = vsexec::MatrixRegisters(std::vector<float>(m, m + 16), 4, 4, false);
    check.vertices = AbVertices();
    check.want = [&m](const vsexec::Vertex& v) -> vsexec::Outputs {
        const Vec4& a = A(v);
        Vec4 d, e;
        for (int c = 0; c < 4; ++c) {
            float s = 0;
            for (int r = 0; r < 4; ++r) s += a[r] * m[r * 4 + c];
            d[c] = a[c] - s;
        }
        for (int c = 0; c < 4; ++c) e[c] = d[c] * d[3 - c];
        return {{{kTexcoord, 0}, d}, {{kTexcoord, 1}, e}};
    };
    vsexec::Run(check);
}

// abs() of a vector whose parts come from different registers, some negated
// (by the source, by constant folding, by a cross product with a constant).
TEST(VertexWrongCode, AbsoluteValueOfPartlyNegatedParts) {
    vsexec::Check check;
    check.what = "abs of parts";
    check.source = R"(
        struct VSOut { float4 pos : POSITION; float2 t0 : TEXCOORD0; float4 t1 : TEXCOORD1; float3 t2 : TEXCOORD2; };
        VSOut main(float4 a : TEXCOORD0, float4 b : TEXCOORD1) {
            VSOut o; o.pos = a; o.t0 = abs(float2(a.x, -b.y));
            o.t1 = abs(saturate(float4((float3)-1.64, 0.5)) - abs(a));
            o.t2 = abs(cross(float3(0.5, -2, 1), a.xyz));
            return o;
        })";
    check.vertices = AbVertices();
    check.tolerance = 1e-6f;
    check.want = [](const vsexec::Vertex& v) -> vsexec::Outputs {
        const Vec4 &a = A(v), &b = B(v);
        const float k[3] = {0.5f, -2, 1};
        Vec4 t1;
        for (int c = 0; c < 4; ++c) t1[c] = std::fabs((c == 3 ? 0.5f : 0.0f) - std::fabs(a[c]));
        const Vec4 t2 = {std::fabs(k[1] * a[2] - k[2] * a[1]), std::fabs(k[2] * a[0] - k[0] * a[2]),
                         std::fabs(k[0] * a[1] - k[1] * a[0]), kAny};
        return {{{kTexcoord, 0}, {std::fabs(a[0]), std::fabs(b[1]), kAny, kAny}},
                {{kTexcoord, 1}, t1},
                {{kTexcoord, 2}, t2}};
    };
    vsexec::Run(check);
}

// ?: and the merge of if arms pick one side exactly, so a following floor,
// step or == sees the chosen value itself, even next to a large other side.
TEST(VertexWrongCode, SelectionsAreExact) {
    vsexec::Check check;
    check.what = "exact select";
    check.source = R"(
        struct VSOut { float4 pos : POSITION; float4 t0 : TEXCOORD0; float4 t1 : TEXCOORD1; };
        VSOut main(float4 a : TEXCOORD0, float4 b : TEXCOORD1) {
            VSOut o; o.pos = a;
            float p = (a.x > 0.0) ? a.y : a.z;
            float q = (a.x > 0.0) ? b.x : b.y;
            float r = a.w;
            if (a.x > 0.0) r = b.x; else r = b.y;
            o.t0 = float4(p, q, r, floor(q));
            o.t1 = float4(p == a.y || p == a.z, step(1.0, q), q == b.x || q == b.y, 0);
            return o;
        })";
    check.vertices = AbVertices();
    check.tolerance = 0;
    check.want = [](const vsexec::Vertex& v) -> vsexec::Outputs {
        const Vec4 &a = A(v), &b = B(v);
        const float p = a[0] > 0 ? a[1] : a[2], q = a[0] > 0 ? b[0] : b[1];
        return {{{kTexcoord, 0}, {p, q, q, std::floor(q)}}, {{kTexcoord, 1}, {1, q >= 1 ? 1.0f : 0.0f, 1, 0}}};
    };
    vsexec::Run(check);
}

}  // namespace
