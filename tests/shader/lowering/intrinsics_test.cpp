// Every intrinsic's expansion evaluated on a few inputs and compared with
// the function's mathematical definition.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>

#include "lowering_util.h"

namespace {

using Vec = std::vector<double>;
using Reference = std::function<Vec(const Vec&, const Vec&, const Vec&)>;

struct Case {
    const char* expression;  // over the uniforms float4 a, b, c
    Reference expected;
    double tolerance = 1e-5;
};

// A reference that applies f to each component.
Reference Each(double (*f)(double, double, double)) {
    return [f](const Vec& a, const Vec& b, const Vec& c) {
        Vec r;
        for (int i = 0; i < 4; ++i) r.push_back(f(a[i], b[i], c[i]));
        return r;
    };
}
// A reference whose scalar result is replicated into four components.
Reference Scalar(double (*f)(const Vec&, const Vec&, const Vec&)) {
    return [f](const Vec& a, const Vec& b, const Vec& c) { return Vec(4, f(a, b, c)); };
}

double Dot3(const Vec& x, const Vec& y) { return x[0] * y[0] + x[1] * y[1] + x[2] * y[2]; }
double Dot4(const Vec& x, const Vec& y) { return Dot3(x, y) + x[3] * y[3]; }

const Vec kA = {0.3, -1.7, 2.5, -0.25};
const Vec kB = {1.5, 0.4, -2.0, 3.0};
const Vec kC = {0.25, 0.75, 0.5, 1.0};

Vec Evaluated(const char* expression, const char* profile, std::string* log) {
    const std::string src = std::string("float4 a, b, c;\nfloat4 main() : ") +
                            (profile[0] == 'p' ? "COLOR0" : "POSITION") + " { return " + expression + "; }";
    auto s = LowerSource(src, "main", profile);
    *log = s->log;
    if (!s->Ok()) return {};
    Evaluation e = Evaluate(s->program, {}, {{"a", kA}, {"b", kB}, {"c", kC}});
    if (!e.ok) {
        *log += e.problem;
        return {};
    }
    return e.outputs.begin()->second;
}

void Check(const std::vector<Case>& cases, const char* profile) {
    for (const Case& c : cases) {
        std::string log;
        const Vec actual = Evaluated(c.expression, profile, &log);
        ASSERT_EQ(4u, actual.size()) << c.expression << " (" << profile << ")\n" << log;
        const Vec expected = c.expected(kA, kB, kC);
        for (int i = 0; i < 4; ++i)
            EXPECT_NEAR(expected[i], actual[i], c.tolerance * std::max(1.0, std::fabs(expected[i])))
                << c.expression << " component " << i << " (" << profile << ")";
    }
}

const std::vector<Case>& ComponentwiseCases() {
    static const std::vector<Case> cases = {
        {"abs(a)", Each([](double a, double, double) { return std::fabs(a); })},
        {"acos(a * 0.3)", Each([](double a, double, double) { return std::acos(a * 0.3); }), 1e-4},
        {"asin(c * 2 - 1)", Each([](double, double, double c) { return std::asin(c * 2 - 1); }), 1e-4},
        {"atan(a)", Each([](double a, double, double) { return std::atan(a); }), 1e-4},
        {"atan2(a, b)", Each([](double a, double b, double) { return std::atan2(a, b); }), 1e-4},
        {"atan2(b, a)", Each([](double a, double b, double) { return std::atan2(b, a); }), 1e-4},
        {"ceil(a)", Each([](double a, double, double) { return std::ceil(a); })},
        {"clamp(a, -1, c)", Each([](double a, double, double c) { return std::min(std::max(a, -1.0), c); })},
        {"cos(a * 3)", Each([](double a, double, double) { return std::cos(a * 3); }), 2e-3},
        {"sin(a * 3)", Each([](double a, double, double) { return std::sin(a * 3); }), 2e-3},
        {"tan(a)", Each([](double a, double, double) { return std::tan(a); }), 5e-3},
        {"cosh(a)", Each([](double a, double, double) { return std::cosh(a); })},
        {"sinh(a)", Each([](double a, double, double) { return std::sinh(a); })},
        {"tanh(a)", Each([](double a, double, double) { return std::tanh(a); })},
        {"degrees(a)", Each([](double a, double, double) { return a * 180 / M_PI; })},
        {"radians(b)", Each([](double, double b, double) { return b * M_PI / 180; })},
        {"exp(a)", Each([](double a, double, double) { return std::exp(a); })},
        {"exp2(a)", Each([](double a, double, double) { return std::exp2(a); })},
        {"log(c)", Each([](double, double, double c) { return std::log(c); })},
        {"log10(c * 40)", Each([](double, double, double c) { return std::log10(c * 40); })},
        {"log2(c)", Each([](double, double, double c) { return std::log2(c); })},
        {"floor(a)", Each([](double a, double, double) { return std::floor(a); })},
        {"frac(a)", Each([](double a, double, double) { return a - std::floor(a); })},
        {"fmod(a, b)", Each([](double a, double b, double) { return std::fmod(a, b); })},
        {"fmod(b * 3, a)", Each([](double a, double b, double) { return std::fmod(b * 3, a); })},
        {"ldexp(a, b)", Each([](double a, double b, double) { return std::ldexp(a, 0) * std::exp2(b); })},
        {"lerp(a, b, c)", Each([](double a, double b, double c) { return a + c * (b - a); })},
        {"max(a, b)", Each([](double a, double b, double) { return std::max(a, b); })},
        {"min(a, b)", Each([](double a, double b, double) { return std::min(a, b); })},
        {"pow(c, b)", Each([](double, double b, double c) { return std::pow(c, b); })},
        {"round(a)", Each([](double a, double, double) { return std::floor(a + 0.5); })},
        {"rsqrt(c)", Each([](double, double, double c) { return 1 / std::sqrt(c); })},
        {"saturate(a)", Each([](double a, double, double) { return std::min(std::max(a, 0.0), 1.0); })},
        {"sign(a)", Each([](double a, double, double) { return double((a > 0) - (a < 0)); })},
        {"smoothstep(-1, 2, a)",
         Each([](double a, double, double) {
             const double t = std::min(std::max((a + 1) / 3, 0.0), 1.0);
             return t * t * (3 - 2 * t);
         })},
        {"sqrt(c)", Each([](double, double, double c) { return std::sqrt(c); })},
        {"step(b, a)", Each([](double a, double b, double) { return a >= b ? 1.0 : 0.0; })},
        {"a % b", Each([](double a, double b, double) { return std::fmod(a, b); })},
        {"a / b", Each([](double a, double b, double) { return a / b; })},
        {"float4(a < b) + (a >= c) * 2 + (a == a) * 4 + (a != b) * 8",
         Each([](double a, double b, double c) { return (a < b) + (a >= c) * 2.0 + 4 + (a != b) * 8.0; })},
        {"(a > 0) && (b > 0) || !(c < 0.6)",
         Each([](double a, double b, double c) { return double(((a > 0) && (b > 0)) || !(c < 0.6)); })},
    };
    return cases;
}

const std::vector<Case>& VectorCases() {
    static const std::vector<Case> cases = {
        {"dot(a, b)", Scalar([](const Vec& a, const Vec& b, const Vec&) { return Dot4(a, b); })},
        {"length(a)", Scalar([](const Vec& a, const Vec&, const Vec&) { return std::sqrt(Dot4(a, a)); })},
        {"distance(a, b)",
         Scalar([](const Vec& a, const Vec& b, const Vec&) {
             Vec d(4);
             for (int i = 0; i < 4; ++i) d[i] = a[i] - b[i];
             return std::sqrt(Dot4(d, d));
         })},
        {"normalize(a)",
         [](const Vec& a, const Vec&, const Vec&) {
             const double l = std::sqrt(Dot4(a, a));
             return Vec{a[0] / l, a[1] / l, a[2] / l, a[3] / l};
         }},
        {"float4(cross(a.xyz, b.xyz), 0)",
         [](const Vec& a, const Vec& b, const Vec&) {
             return Vec{a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0], 0};
         }},
        {"reflect(a, b)",
         [](const Vec& a, const Vec& b, const Vec&) {
             const double d = Dot4(a, b);
             return Vec{a[0] - 2 * d * b[0], a[1] - 2 * d * b[1], a[2] - 2 * d * b[2], a[3] - 2 * d * b[3]};
         }},
        {"float4(refract(normalize(a.xyz), normalize(b.xyz), 0.5), 1)",
         [](const Vec& a0, const Vec& b0, const Vec&) {
             Vec i = a0, n = b0;
             const double li = std::sqrt(Dot3(i, i)), ln = std::sqrt(Dot3(n, n));
             for (int k = 0; k < 3; ++k) i[k] /= li, n[k] /= ln;
             const double eta = 0.5, d = Dot3(n, i), k = 1 - eta * eta * (1 - d * d);
             Vec r(4, 1);
             for (int j = 0; j < 3; ++j) r[j] = k < 0 ? 0 : eta * i[j] - (eta * d + std::sqrt(k)) * n[j];
             return r;
         }},
        {"faceforward(c, a, b)",
         [](const Vec& a, const Vec& b, const Vec& c) {
             const double d = Dot4(a, b), s = d < 0 ? 1 : -1;
             return Vec{c[0] * s, c[1] * s, c[2] * s, c[3] * s};
         }},
        {"determinant(float3x3(a.xyz, b.xyz, c.xyz))",
         Scalar([](const Vec& a, const Vec& b, const Vec& c) {
             return a[0] * (b[1] * c[2] - b[2] * c[1]) - a[1] * (b[0] * c[2] - b[2] * c[0]) +
                    a[2] * (b[0] * c[1] - b[1] * c[0]);
         })},
        {"determinant(float2x2(a.xy, b.zw))",
         Scalar([](const Vec& a, const Vec& b, const Vec&) { return a[0] * b[3] - a[1] * b[2]; })},
        {"determinant(float4x4(a, b, c, a.wzyx))",
         Scalar([](const Vec& a, const Vec& b, const Vec& c) {
             const Vec m[4] = {a, b, c, {a[3], a[2], a[1], a[0]}};
             // Gaussian elimination as an independent computation.
             double t[4][4], det = 1;
             for (int r = 0; r < 4; ++r)
                 for (int k = 0; k < 4; ++k) t[r][k] = m[r][k];
             for (int k = 0; k < 4; ++k) {
                 int pivot = k;
                 for (int r = k + 1; r < 4; ++r)
                     if (std::fabs(t[r][k]) > std::fabs(t[pivot][k])) pivot = r;
                 if (pivot != k) {
                     for (int j = 0; j < 4; ++j) std::swap(t[k][j], t[pivot][j]);
                     det = -det;
                 }
                 det *= t[k][k];
                 for (int r = k + 1; r < 4; ++r) {
                     const double f = t[r][k] / t[k][k];
                     for (int j = k; j < 4; ++j) t[r][j] -= f * t[k][j];
                 }
             }
             return det;
         })},
        {"transpose(float2x2(a.xy, b.xy))._m01_m10_m00_m11",
         [](const Vec& a, const Vec& b, const Vec&) { return Vec{b[0], a[1], a[0], b[1]}; }},
        {"float4(all(a), all(c), any(a - a), any(float2(0, b.x)))",
         [](const Vec&, const Vec&, const Vec&) { return Vec{1, 1, 0, 1}; }},
        {"lit(a.x, b.x, c.y)",
         [](const Vec& a, const Vec& b, const Vec& c) {
             return Vec{1, std::max(a[0], 0.0), (a[0] > 0 && b[0] > 0) ? std::pow(b[0], c[1]) : 0.0, 1};
         }},
        {"D3DCOLORtoUBYTE4(c)",
         [](const Vec&, const Vec&, const Vec& c) {
             return Vec{std::trunc(c[2] * 255.001953), std::trunc(c[1] * 255.001953), std::trunc(c[0] * 255.001953),
                        std::trunc(c[3] * 255.001953)};
         }},
        {"mul(a.x, b)", [](const Vec& a, const Vec& b, const Vec&) { return Vec{a[0] * b[0], a[0] * b[1], a[0] * b[2], a[0] * b[3]}; }},
        {"mul(a, b)", Scalar([](const Vec& a, const Vec& b, const Vec&) { return Dot4(a, b); })},
        {"float4(mul(a.xy, float2x3(b.xyz, c.xyz)), 0)",
         [](const Vec& a, const Vec& b, const Vec& c) {
             return Vec{a[0] * b[0] + a[1] * c[0], a[0] * b[1] + a[1] * c[1], a[0] * b[2] + a[1] * c[2], 0};
         }},
        {"float4(mul(float2x3(b.xyz, c.xyz), a.xyz), 0, 0)",
         [](const Vec& a, const Vec& b, const Vec& c) { return Vec{Dot3(b, a), Dot3(c, a), 0, 0}; }},
        {"mul(float2x2(a.xy, b.xy), float2x2(c.xy, a.zw))",
         [](const Vec& a, const Vec& b, const Vec& c) {
             // rows (a.x a.y)(b.x b.y) times rows (c.x c.y)(a.z a.w)
             return Vec{a[0] * c[0] + a[1] * a[2], a[0] * c[1] + a[1] * a[3], b[0] * c[0] + b[1] * a[2],
                        b[0] * c[1] + b[1] * a[3]};
         }},
    };
    return cases;
}

TEST(Intrinsics, ComponentwiseExpansionsInVertexShaders) { Check(ComponentwiseCases(), "vs_2_0"); }
TEST(Intrinsics, ComponentwiseExpansionsInPixelShaders) { Check(ComponentwiseCases(), "ps_2_0"); }
TEST(Intrinsics, ComponentwiseExpansionsWithoutNativeComparisons) { Check(ComponentwiseCases(), "ps_1_4"); }
TEST(Intrinsics, VectorAndMatrixExpansions) {
    Check(VectorCases(), "vs_2_0");
    Check(VectorCases(), "ps_2_0");
}

TEST(Intrinsics, OutParameterIntrinsics) {
    const char* src = R"(
        float4 a, b, c;
        struct Out { float4 f : TEXCOORD0; float4 w : TEXCOORD1; float4 m : TEXCOORD2; float4 e : TEXCOORD3;
                     float4 s : TEXCOORD4; float4 c : TEXCOORD5; };
        Out main() {
            Out o;
            o.f = modf(a, o.w);
            o.m = frexp(b * 3, o.e);
            sincos(a, o.s, o.c);
            return o;
        })";
    auto s = LowerSource(src);
    ASSERT_TRUE(s->Ok()) << s->log;
    Evaluation e = Evaluate(s->program, {}, {{"a", kA}, {"b", kB}, {"c", kC}});
    ASSERT_TRUE(e.ok) << e.problem;
    for (int i = 0; i < 4; ++i) {
        double whole;
        const double fraction = std::modf(kA[i], &whole);
        int exponent;
        const double mantissa = std::frexp(kB[i] * 3, &exponent);
        EXPECT_NEAR(fraction, e.outputs["TEXCOORD0"][i], 1e-9) << i;
        EXPECT_NEAR(whole, e.outputs["TEXCOORD1"][i], 1e-9) << i;
        EXPECT_NEAR(mantissa, e.outputs["TEXCOORD2"][i], 1e-9) << i;
        EXPECT_NEAR(exponent, e.outputs["TEXCOORD3"][i], 1e-9) << i;
        EXPECT_NEAR(std::sin(kA[i]), e.outputs["TEXCOORD4"][i], 2e-3) << i;
        EXPECT_NEAR(std::cos(kA[i]), e.outputs["TEXCOORD5"][i], 2e-3) << i;
    }
    // sincos computes sines and cosines in one expansion of eight
    // components, made of register-sized instructions.
    for (const IrInstruction& inst : s->program.instructions) EXPECT_LE(inst.count(), 4u);
}

TEST(Intrinsics, ClassificationOfSpecialValues) {
    const double inf = std::numeric_limits<double>::infinity(), nan = std::numeric_limits<double>::quiet_NaN();
    const char* src = R"(
        float4 a;
        float4 main() : POSITION { return isnan(a) + isinf(a) * 2 + isfinite(a) * 4; })";
    auto s = LowerSource(src);
    ASSERT_TRUE(s->Ok()) << s->log;
    Evaluation e = Evaluate(s->program, {}, {{"a", {1.5, inf, -inf, nan}}});
    ASSERT_TRUE(e.ok) << e.problem;
    const Vec expected = {4, 2, 2, 1};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(expected[i], e.outputs["POSITION"][i]) << i;
}

TEST(Intrinsics, TextureLookupsBecomeSampleOperations) {
    struct Lookup {
        const char* call;
        const char* samplerType;
        uint32_t code;
        uint32_t coordinates;
    };
    const Lookup lookups[] = {
        {"tex1D(s, uv.x)", "sampler1D", 0x40, 2},          {"tex1Dproj(s, uv)", "sampler1D", 0x42, 4},
        {"tex1Dbias(s, uv)", "sampler1D", 0x43, 4},        {"tex2D(s, uv.xy)", "sampler2D", 0x44, 2},
        {"tex2Dproj(s, uv)", "sampler2D", 0x46, 4},        {"tex2Dbias(s, uv)", "sampler2D", 0x47, 4},
        {"tex3D(s, uv.xyz)", "sampler3D", 0x48, 3},        {"tex3Dproj(s, uv)", "sampler3D", 0x4A, 4},
        {"tex3Dbias(s, uv)", "sampler3D", 0x4B, 4},        {"texCUBE(s, uv.xyz)", "samplerCUBE", 0x4C, 3},
        {"texCUBEproj(s, uv)", "samplerCUBE", 0x4E, 4},    {"texCUBEbias(s, uv)", "samplerCUBE", 0x4F, 4},
    };
    for (const Lookup& l : lookups) {
        const std::string src = std::string(l.samplerType) + " s[3];\nfloat4 main(float4 uv : TEXCOORD0) : COLOR0 { " +
                                "return " + std::string(l.call).replace(std::string(l.call).find("(s") + 1, 1, "s[2]") +
                                "; }";
        auto s = LowerSource(src, "main", "ps_2_0");
        ASSERT_TRUE(s->Ok()) << src << "\n" << s->log;
        ASSERT_EQ(1u, s->Count(l.code)) << l.call;
        for (const IrInstruction& inst : s->program.instructions) {
            if (inst.code() == l.code) {
                EXPECT_EQ(l.coordinates, inst.count()) << l.call;
            }
        }
        Evaluation e = Evaluate(s->program, {{"TEXCOORD0", {0.25, 0.5, 0.75, 2}}}, {});
        ASSERT_TRUE(e.ok) << e.problem;
        // The evaluator's lookup gives (u + sampler register, v, w, 1).
        const double v = l.code == 0x40 ? 0.25 : 0.5;
        EXPECT_EQ(0.25 + 2, e.outputs["COLOR0"][0]) << l.call;
        EXPECT_EQ(v, e.outputs["COLOR0"][1]) << l.call;
    }
}

}  // namespace
