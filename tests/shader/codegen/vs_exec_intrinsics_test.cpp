// Every intrinsic a vertex shader can call, compiled for vs_1_1, vs_2_0 and
// vs_2_sw, run on the device over several vertices and compared with the
// C++ value. Tolerances follow the expansion: the polynomial sine, arcsine
// and arctangent are a few units of 1e-5 to 1e-4 off; everything else is
// float arithmetic.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "vs_exec_util.h"

namespace {

using vsexec::Dot;
using vsexec::kAny;
using vsexec::Map;
using vsexec::Map2;
using vsexec::Splat;

// p is signed, u lies inside (-1, 1), w is positive.
struct Inputs {
    Vec4 p, u, w;
};
const Inputs kVertices[] = {
    {{1.5f, -2.25f, 0.25f, 3.0f}, {0.5f, -0.25f, 0.875f, -0.9f}, {0.5f, 2.0f, 3.75f, 0.125f}},
    {{-0.75f, 0.5f, -3.25f, 1.25f}, {-0.6f, 0.3f, 0.07f, 0.75f}, {1.25f, 0.3f, 8.0f, 5.5f}},
    {{2.6f, -0.1f, 0.0f, -1.7f}, {0.95f, -0.8f, -0.4f, 0.2f}, {0.8f, 1.0f, 0.05f, 2.5f}},
    {{-4.0f, 3.3f, 0.9f, -0.4f}, {0.0f, 0.6f, -0.99f, 0.45f}, {4.0f, 0.7f, 1.5f, 9.0f}},
};

using Want = Vec4 (*)(const Vec4& p, const Vec4& u, const Vec4& w);

struct Case {
    const char* code;  // statements that set r from p, u and w
    Want want;
    float tolerance;
};

float Sign(float x) { return x > 0 ? 1.0f : x < 0 ? -1.0f : 0.0f; }
float Frac(float x) { return x - std::floor(x); }
float Saturate(float x) { return std::fmin(std::fmax(x, 0.0f), 1.0f); }
Vec4 Normalized3(const Vec4& v) {
    const float l = std::sqrt(Dot(v, v, 3));
    return {v[0] / l, v[1] / l, v[2] / l, 0};
}
Vec4 Scale(const Vec4& v, float s) { return {v[0] * s, v[1] * s, v[2] * s, v[3] * s}; }
Vec4 Sub(const Vec4& a, const Vec4& b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2], a[3] - b[3]}; }

Vec4 Refract(const Vec4& i, const Vec4& n, float eta) {
    const float d = Dot(n, i, 3);
    const float k = 1 - eta * eta * (1 - d * d);
    if (k < 0) return {0, 0, 0, 0};
    const Vec4 r = Sub(Scale(i, eta), Scale(n, eta * d + std::sqrt(k)));
    return {r[0], r[1], r[2], 0};
}

const Case kCases[] = {
    {"r = abs(p);", [](const Vec4& p, const Vec4&, const Vec4&) { return Map(p, std::fabs); }, 1e-6f},
    {"r = acos(u);", [](const Vec4&, const Vec4& u, const Vec4&) { return Map(u, std::acos); }, 1e-4f},
    {"r = asin(u);", [](const Vec4&, const Vec4& u, const Vec4&) { return Map(u, std::asin); }, 1e-4f},
    {"r = atan(p);", [](const Vec4& p, const Vec4&, const Vec4&) { return Map(p, std::atan); }, 5e-5f},
    {"r = atan2(p, u);", [](const Vec4& p, const Vec4& u, const Vec4&) { return Map2(p, u, std::atan2); }, 5e-5f},
    {"r = atan2(u, -w);", [](const Vec4&, const Vec4& u, const Vec4& w) { return Map2(u, Scale(w, -1), std::atan2); }, 5e-5f},
    {"r = ceil(p);", [](const Vec4& p, const Vec4&, const Vec4&) { return Map(p, std::ceil); }, 1e-6f},
    {"r = clamp(p, -w, w);",
     [](const Vec4& p, const Vec4&, const Vec4& w) {
         return Vec4{std::fmin(std::fmax(p[0], -w[0]), w[0]), std::fmin(std::fmax(p[1], -w[1]), w[1]),
                     std::fmin(std::fmax(p[2], -w[2]), w[2]), std::fmin(std::fmax(p[3], -w[3]), w[3])};
     },
     1e-6f},
    {"r = cos(p);", [](const Vec4& p, const Vec4&, const Vec4&) { return Map(p, std::cos); }, 2e-4f},
    {"r = sin(p);", [](const Vec4& p, const Vec4&, const Vec4&) { return Map(p, std::sin); }, 2e-4f},
    {"r = tan(u);", [](const Vec4&, const Vec4& u, const Vec4&) { return Map(u, std::tan); }, 5e-4f},
    {"float2 s, c; sincos(p.xy, s, c); r = float4(s, c);",
     [](const Vec4& p, const Vec4&, const Vec4&) {
         return Vec4{std::sin(p[0]), std::sin(p[1]), std::cos(p[0]), std::cos(p[1])};
     },
     2e-4f},
    {"r = cosh(u);", [](const Vec4&, const Vec4& u, const Vec4&) { return Map(u, std::cosh); }, 1e-5f},
    {"r = sinh(u);", [](const Vec4&, const Vec4& u, const Vec4&) { return Map(u, std::sinh); }, 1e-5f},
    {"r = tanh(p);", [](const Vec4& p, const Vec4&, const Vec4&) { return Map(p, std::tanh); }, 1e-5f},
    {"r = float4(cross(p.xyz, u.xyz), 0);",
     [](const Vec4& p, const Vec4& u, const Vec4&) {
         return Vec4{p[1] * u[2] - p[2] * u[1], p[2] * u[0] - p[0] * u[2], p[0] * u[1] - p[1] * u[0], 0};
     },
     1e-5f},
    {"r = degrees(p);", [](const Vec4& p, const Vec4&, const Vec4&) { return Scale(p, float(180 / M_PI)); }, 1e-5f},
    {"r = radians(p);", [](const Vec4& p, const Vec4&, const Vec4&) { return Scale(p, float(M_PI / 180)); }, 1e-5f},
    {"r = distance(p, u);",
     [](const Vec4& p, const Vec4& u, const Vec4&) {
         const Vec4 d = Sub(p, u);
         return Splat(std::sqrt(Dot(d, d)));
     },
     1e-5f},
    {"r = float4(dot(p, u), dot(p.xyz, w.xyz), dot(p.xy, u.zw), dot(p.x, w.y));",
     [](const Vec4& p, const Vec4& u, const Vec4& w) {
         return Vec4{Dot(p, u), Dot(p, w, 3), p[0] * u[2] + p[1] * u[3], p[0] * w[1]};
     },
     1e-5f},
    {"r = exp(u * 2);",
     [](const Vec4&, const Vec4& u, const Vec4&) { return Map(Scale(u, 2), std::exp); }, 1e-5f},
    {"r = exp2(p);", [](const Vec4& p, const Vec4&, const Vec4&) { return Map(p, std::exp2); }, 1e-5f},
    {"r = log(w);", [](const Vec4&, const Vec4&, const Vec4& w) { return Map(w, std::log); }, 1e-5f},
    {"r = log10(w);", [](const Vec4&, const Vec4&, const Vec4& w) { return Map(w, std::log10); }, 1e-5f},
    {"r = log2(w);", [](const Vec4&, const Vec4&, const Vec4& w) { return Map(w, std::log2); }, 1e-5f},
    {"r = pow(w, u * 2);",
     [](const Vec4&, const Vec4& u, const Vec4& w) { return Map2(w, Scale(u, 2), std::pow); }, 1e-5f},
    {"r = float4(faceforward(u.xyz, p.xyz, w.xyz), 0);",
     [](const Vec4& p, const Vec4& u, const Vec4& w) {
         const float s = -Sign(Dot(p, w, 3));
         return Vec4{u[0] * s, u[1] * s, u[2] * s, 0};
     },
     1e-6f},
    {"r = floor(p);", [](const Vec4& p, const Vec4&, const Vec4&) { return Map(p, std::floor); }, 1e-6f},
    {"r = fmod(p, w);", [](const Vec4& p, const Vec4&, const Vec4& w) { return Map2(p, w, std::fmod); }, 1e-5f},
    {"r = fmod(w, -u.yxwz);",
     [](const Vec4&, const Vec4& u, const Vec4& w) {
         return Vec4{std::fmod(w[0], -u[1]), std::fmod(w[1], -u[0]), std::fmod(w[2], -u[3]), std::fmod(w[3], -u[2])};
     },
     1e-4f},
    {"r = frac(p);", [](const Vec4& p, const Vec4&, const Vec4&) { return Map(p, Frac); }, 1e-6f},
    {"float2 e; float2 m = frexp(p.zw * 3, e); r = float4(m, e);",
     [](const Vec4& p, const Vec4&, const Vec4&) {
         int e0, e1;
         const float m0 = std::frexp(p[2] * 3, &e0), m1 = std::frexp(p[3] * 3, &e1);
         return Vec4{m0, m1, float(e0), float(e1)};
     },
     1e-5f},
    {"float2 e; r = float4(frexp(w.xy, e), e);",
     [](const Vec4&, const Vec4&, const Vec4& w) {
         int e0, e1;
         const float m0 = std::frexp(w[0], &e0), m1 = std::frexp(w[1], &e1);
         return Vec4{m0, m1, float(e0), float(e1)};
     },
     1e-5f},
    {"r = float4(isfinite(p.xy), isinf(p.z), isnan(p.w));",
     [](const Vec4&, const Vec4&, const Vec4&) { return Vec4{1, 1, 0, 0}; }, 0},
    {"r = ldexp(p, floor(u * 3));",
     [](const Vec4& p, const Vec4& u, const Vec4&) {
         return Vec4{std::ldexp(p[0], int(std::floor(u[0] * 3))), std::ldexp(p[1], int(std::floor(u[1] * 3))),
                     std::ldexp(p[2], int(std::floor(u[2] * 3))), std::ldexp(p[3], int(std::floor(u[3] * 3)))};
     },
     1e-5f},
    {"r = float4(length(p), length(p.xyz), length(u.xy), length(w.x));",
     [](const Vec4& p, const Vec4& u, const Vec4& w) {
         return Vec4{std::sqrt(Dot(p, p)), std::sqrt(Dot(p, p, 3)), std::sqrt(Dot(u, u, 2)), w[0]};
     },
     1e-5f},
    {"r = lerp(p, u, frac(w));",
     [](const Vec4& p, const Vec4& u, const Vec4& w) {
         Vec4 r;
         for (int i = 0; i < 4; ++i) r[i] = p[i] + (u[i] - p[i]) * Frac(w[i]);
         return r;
     },
     1e-5f},
    {"r = lit(u.y, u.z, w.z);",
     [](const Vec4&, const Vec4& u, const Vec4& w) {
         const float ndl = u[1], ndh = u[2], m = w[2];
         return Vec4{1, std::fmax(ndl, 0.0f), (ndl < 0 || ndh < 0) ? 0.0f : std::pow(ndh, m), 1};
     },
     1e-4f},
    {"r = max(p, u) + min(p, w);",
     [](const Vec4& p, const Vec4& u, const Vec4& w) {
         Vec4 r;
         for (int i = 0; i < 4; ++i) r[i] = std::fmax(p[i], u[i]) + std::fmin(p[i], w[i]);
         return r;
     },
     1e-6f},
    {"float2 whole; float2 part = modf(p.xy, whole); r = float4(part, whole);",
     [](const Vec4& p, const Vec4&, const Vec4&) {
         float i0, i1;
         const float f0 = std::modf(p[0], &i0), f1 = std::modf(p[1], &i1);
         return Vec4{f0, f1, i0, i1};
     },
     1e-6f},
    {"r = normalize(p);",
     [](const Vec4& p, const Vec4&, const Vec4&) { return Scale(p, 1 / std::sqrt(Dot(p, p))); }, 1e-5f},
    {"r = float4(reflect(p.xyz, normalize(u.xyz)), 0);",
     [](const Vec4& p, const Vec4& u, const Vec4&) {
         const Vec4 n = Normalized3(u);
         const Vec4 r = Sub(p, Scale(n, 2 * Dot(n, p, 3)));
         return Vec4{r[0], r[1], r[2], 0};
     },
     1e-5f},
    {"r = float4(refract(normalize(p.xyz), normalize(u.xyz), 0.7), 0);",
     [](const Vec4& p, const Vec4& u, const Vec4&) { return Refract(Normalized3(p), Normalized3(u), 0.7f); }, 1e-5f},
    {"r = float4(refract(normalize(p.xyz), normalize(u.xyz), 1.6), 0);",  // some total internal reflection
     [](const Vec4& p, const Vec4& u, const Vec4&) { return Refract(Normalized3(p), Normalized3(u), 1.6f); }, 1e-5f},
    {"r = round(p * 1.25);",
     [](const Vec4& p, const Vec4&, const Vec4&) {
         return Map(Scale(p, 1.25f), [](float x) { return std::floor(x + 0.5f); });
     },
     1e-6f},
    {"r = rsqrt(w);", [](const Vec4&, const Vec4&, const Vec4& w) { return Map(w, [](float x) { return 1 / std::sqrt(x); }); },
     1e-5f},
    {"r = sqrt(w);", [](const Vec4&, const Vec4&, const Vec4& w) { return Map(w, std::sqrt); }, 1e-5f},
    {"r = saturate(p);", [](const Vec4& p, const Vec4&, const Vec4&) { return Map(p, Saturate); }, 1e-6f},
    {"r = sign(p) + sign(u) * 4;",
     [](const Vec4& p, const Vec4& u, const Vec4&) {
         Vec4 r;
         for (int i = 0; i < 4; ++i) r[i] = Sign(p[i]) + Sign(u[i]) * 4;
         return r;
     },
     1e-6f},
    {"r = smoothstep(-w, w, p);",
     [](const Vec4& p, const Vec4&, const Vec4& w) {
         Vec4 r;
         for (int i = 0; i < 4; ++i) {
             const float t = Saturate((p[i] + w[i]) / (2 * w[i]));
             r[i] = t * t * (3 - 2 * t);
         }
         return r;
     },
     1e-5f},
    {"r = step(u, p);",
     [](const Vec4& p, const Vec4& u, const Vec4&) {
         return Map2(p, u, [](float x, float edge) { return x >= edge ? 1.0f : 0.0f; });
     },
     0},
    {"r = D3DCOLORtoUBYTE4(frac(w));",
     [](const Vec4&, const Vec4&, const Vec4& w) {
         const Vec4 f = Map(w, Frac);
         return Vec4{std::trunc(f[2] * 255.001953f), std::trunc(f[1] * 255.001953f), std::trunc(f[0] * 255.001953f),
                     std::trunc(f[3] * 255.001953f)};
     },
     1e-6f},
    {"r = float4(all(p), all(p.xyw), any(step(3, p)), any(step(4, p)));",
     [](const Vec4& p, const Vec4&, const Vec4&) {
         auto nz = [](float x) { return x != 0; };
         const bool all4 = nz(p[0]) && nz(p[1]) && nz(p[2]) && nz(p[3]);
         const bool all3 = nz(p[0]) && nz(p[1]) && nz(p[3]);
         bool any3 = false, any4 = false;
         for (float x : p) any3 |= x >= 3, any4 |= x >= 4;
         return Vec4{float(all4), float(all3), float(any3), float(any4)};
     },
     0},
    {"int4 i = p * 2; r = abs(i) * 8 + sign(i) + max(i, -1) * 100;",
     [](const Vec4& p, const Vec4&, const Vec4&) {
         Vec4 r;
         for (int c = 0; c < 4; ++c) {
             const int i = int(p[c] * 2);
             r[c] = float(std::abs(i) * 8 + (i > 0) - (i < 0) + std::max(i, -1) * 100);
         }
         return r;
     },
     0},
};

std::string Source(const char* code) {
    return std::string("float4 main(float4 p : POSITION, float4 u : NORMAL, float4 w : TEXCOORD0, "
                       "out float4 r : TEXCOORD0) : POSITION { ") +
           code + " return p; }";
}

TEST(VertexIntrinsics, EveryIntrinsicMatchesItsDefinition) {
    for (const Case& c : kCases) {
        vsexec::Check check;
        check.source = Source(c.code);
        check.what = c.code;
        check.tolerance = c.tolerance;
        for (const Inputs& in : kVertices)
            check.vertices.push_back({{{kPosition, 0}, in.p}, {{kNormal, 0}, in.u}, {{kTexcoord, 0}, in.w}});
        const Want want = c.want;
        check.want = [want](const vsexec::Vertex& v) -> vsexec::Outputs {
            const Vec4& p = v.at({kPosition, 0});
            return {{{kPosition, 0}, p}, {{kTexcoord, 0}, want(p, v.at({kNormal, 0}), v.at({kTexcoord, 0}))}};
        };
        vsexec::Run(check);
    }
}

// Infinities and not-a-number reach the classification intrinsics through
// the inputs.
TEST(VertexIntrinsics, ClassificationOfSpecialValues) {
    const float inf = std::numeric_limits<float>::infinity(), nan = std::numeric_limits<float>::quiet_NaN();
    vsexec::Check check;
    check.source = R"(
        float4 main(float4 p : POSITION, out float4 a : TEXCOORD0, out float4 b : TEXCOORD1,
                    out float4 c : TEXCOORD2) : POSITION {
            a = isfinite(p); b = isinf(p); c = isnan(p);
            return float4(0, 0, 0, 1);
        })";
    check.what = "isfinite/isinf/isnan";
    check.vertices = {{{{kPosition, 0}, {inf, -inf, nan, 2.5f}}}, {{{kPosition, 0}, {-3.0e38f, 0, 1e-30f, nan}}}};
    check.want = [](const vsexec::Vertex& v) -> vsexec::Outputs {
        Vec4 a, b, c;
        const Vec4& p = v.at({kPosition, 0});
        for (int i = 0; i < 4; ++i) {
            a[i] = std::isfinite(p[i]) ? 1.0f : 0.0f;
            b[i] = std::isinf(p[i]) ? 1.0f : 0.0f;
            c[i] = std::isnan(p[i]) ? 1.0f : 0.0f;
        }
        return {{{kTexcoord, 0}, a}, {{kTexcoord, 1}, b}, {{kTexcoord, 2}, c}};
    };
    vsexec::Run(check);
}

// Exponent and logarithm of half values may run at partial precision (ten
// bits or so); those of float values, even of a half input, may not.
TEST(VertexIntrinsics, HalfValuesUsePartialPrecisionFloatValuesDoNot) {
    const char* source = R"(
        float4 main(float4 p : POSITION, half4 w : TEXCOORD0, out half4 h : TEXCOORD0, out float4 f : TEXCOORD1)
            : POSITION {
            h = exp2(w) + log2(w);
            float4 v = w;
            f = exp2(v * 1.5) + log2(v * 1.5);
            return p;
        })";
    for (const char* profile : vsexec::kAllProfiles) {
        const Compiled shader = CompileHlsl(source, profile);
        ASSERT_TRUE(shader.Ok()) << profile << ": " << shader.messages;
        const std::vector<uint32_t> ops = vsexec::Opcodes(shader);
        for (uint32_t opcode : {14u, 15u, 78u, 79u})  // exp, log, expp, logp
            EXPECT_NE(std::find(ops.begin(), ops.end(), opcode), ops.end()) << profile << " lacks opcode " << opcode;
        for (const Inputs& in : kVertices) {
            const ShaderRun run = RunVertex(shader, {{{kPosition, 0}, in.p}, {{kTexcoord, 0}, in.w}});
            ASSERT_TRUE(run.ok) << run.problem;
            for (int i = 0; i < 4; ++i) {
                const float w = in.w[i];
                const float half = std::exp2(w) + std::log2(w), full = std::exp2(w * 1.5f) + std::log2(w * 1.5f);
                EXPECT_NEAR(run.outputs.at({kTexcoord, 0})[i], half, 2e-3f * std::max(1.0f, std::fabs(half)))
                    << profile << " half " << w;
                EXPECT_NEAR(run.outputs.at({kTexcoord, 1})[i], full, 1e-5f * std::max(1.0f, std::fabs(full)))
                    << profile << " float " << w;
            }
        }
    }
}

// The matrix intrinsics on matrices built from the inputs (so nothing folds).
TEST(VertexIntrinsics, TransposeAndDeterminant) {
    vsexec::Check check;
    check.source = R"(
        float4 main(float4 p : POSITION, float4 u : NORMAL, float4 w : TEXCOORD0,
                    out float4 t : TEXCOORD0, out float4 d : TEXCOORD1) : POSITION {
            float4x4 m = float4x4(p, u, w, p.yzwx * u);
            float3x3 m3 = (float3x3)m;
            float2x2 m2 = float2x2(p.xy, w.zw);
            t = transpose(m)[1] + transpose(m3)[2].xyzx;
            d = float4(determinant(m), determinant(m3), determinant(m2), determinant((float1x1)p.z));
            return p;
        })";
    check.what = "transpose/determinant";
    for (const Inputs& in : kVertices)
        check.vertices.push_back({{{kPosition, 0}, in.p}, {{kNormal, 0}, in.u}, {{kTexcoord, 0}, in.w}});
    check.want = [](const vsexec::Vertex& v) -> vsexec::Outputs {
        const Vec4 &p = v.at({kPosition, 0}), &u = v.at({kNormal, 0}), &w = v.at({kTexcoord, 0});
        const Vec4 last = {p[1] * u[0], p[2] * u[1], p[3] * u[2], p[0] * u[3]};
        const Vec4 m[4] = {p, u, w, last};
        auto det3 = [](float a, float b, float c, float d, float e, float f, float g, float h, float i) {
            return a * (e * i - f * h) - b * (d * i - f * g) + c * (d * h - e * g);
        };
        double det4 = 0;
        for (int j = 0; j < 4; ++j) {
            float minor[9];
            int k = 0;
            for (int r = 1; r < 4; ++r)
                for (int c = 0; c < 4; ++c)
                    if (c != j) minor[k++] = m[r][c];
            const float sub = det3(minor[0], minor[1], minor[2], minor[3], minor[4], minor[5], minor[6], minor[7], minor[8]);
            det4 += (j % 2 ? -1.0 : 1.0) * m[0][j] * sub;
        }
        const float d3 = det3(p[0], p[1], p[2], u[0], u[1], u[2], w[0], w[1], w[2]);
        const Vec4 t = {m[0][1] + m[0][2], m[1][1] + m[1][2], m[2][1] + m[2][2], m[3][1] + m[0][2]};
        return {{{kTexcoord, 0}, t}, {{kTexcoord, 1}, {float(det4), d3, p[0] * w[3] - p[1] * w[2], p[2]}}};
    };
    check.tolerance = 1e-4f;
    vsexec::Run(check);
}

}  // namespace
