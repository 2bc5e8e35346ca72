// ps_2_0 target forms: reciprocal square roots, normalising, linear
// interpolation and scalar results written replicated. Each case runs on the
// device and is compared with C++, optimised (where the disassembly must show
// the form) and unoptimised (flag 0x08, without it).
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <regex>

#include "codegen_harness.h"
#include "shader/bytecode/disassembler.h"

namespace {

const Vec4 kUv = {0.25f, 0.75f, 0.5f, 2.0f};
const Vec4 kUv1 = {-0.5f, 0.125f, 1.5f, 4.0f};
const Vec4 kColour = {0.2f, 0.4f, 0.6f, 0.8f};

// Instruction lines whose mnemonic is `name`, with or without modifiers
// ("lrp" counts "lrp_sat").
int CountInstructions(const std::string& text, const std::string& name) {
    const std::regex line("^\\s*" + name + "(_\\w+)?\\s", std::regex::multiline);
    return int(std::distance(std::sregex_iterator(text.begin(), text.end(), line), std::sregex_iterator()));
}

Vec4 Each(const std::function<float(int)>& f) { return {f(0), f(1), f(2), f(3)}; }
float Sat(float x) { return std::min(std::max(x, 0.0f), 1.0f); }

struct FormCase {
    const char* body;  // statements over uv, uv1, colour ending in a return
    Vec4 expected;
    std::vector<std::pair<const char*, int>> counts;  // mnemonic -> instructions wanted when optimised
};

// Compiles the case for ps_2_0 with and without optimisation, runs both and
// returns the optimised disassembly.
std::string CheckCase(const FormCase& c) {
    const std::string source =
        std::string("float4 main(float4 uv : TEXCOORD0, float4 uv1 : TEXCOORD1, float4 colour : COLOR0) : COLOR {\n") +
        c.body + "\n}";
    std::string optimised;
    for (DWORD flags : {0u, 0x08u}) {
        const Compiled shader = CompileHlsl(source, "ps_2_0", "main", flags);
        EXPECT_TRUE(shader.Ok()) << c.body << ": " << shader.messages;
        if (!shader.Ok()) return {};
        const ShaderRun run =
            RunPixel(shader, {{{kTexcoord, 0}, kUv}, {{kTexcoord, 1}, kUv1}, {{kColor, 0}, kColour}});
        EXPECT_TRUE(run.ok) << c.body << ": " << run.problem;
        if (!run.ok) return {};
        const Vec4 got = run.outputs.at({kColor, 0});
        for (int k = 0; k < 4; ++k)
            EXPECT_NEAR(got[k], c.expected[k], 1e-3f * std::max(1.0f, std::fabs(c.expected[k])))
                << c.body << " flags " << flags << " component " << k << "\n"
                << Disassembly(shader);
        if (flags == 0) optimised = Disassembly(shader);
    }
    for (const auto& [name, count] : c.counts)
        EXPECT_EQ(CountInstructions(optimised, name), count) << name << " in\n" << c.body << "\n" << optimised;
    return optimised;
}

float Length3(const Vec4& v) { return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]); }

TEST(Ps2TargetForms, NormaliseAndReciprocalSquareRoot) {
    const float len = Length3(kUv1);
    const FormCase cases[] = {
        {"return float4(normalize(uv1.xyz), colour.w);",
         {kUv1[0] / len, kUv1[1] / len, kUv1[2] / len, kColour[3]},
         {{"nrm", 1}, {"dp3", 0}, {"rsq", 0}}},
        // Written into other positions: through a scratch register.
        {"return float4(colour.x, normalize(uv1.xyz).zxy);",
         {kColour[0], kUv1[2] / len, kUv1[0] / len, kUv1[1] / len},
         {{"nrm", 1}, {"dp3", 0}}},
        {"return rsqrt(uv);", Each([](int k) { return 1 / std::sqrt(kUv[k]); }), {{"rsq", 4}, {"rcp", 0}}},
        {"return 1 / sqrt(uv.wzyx);", Each([](int k) { return 1 / std::sqrt(kUv[3 - k]); }),
         {{"rsq", 4}, {"rcp", 0}, {"mul", 0}}},
        // The reciprocal square root of a negation reads it through the modifier.
        {"return float4(1 / sqrt(-uv1.x), uv.yzw);", {1 / std::sqrt(-kUv1[0]), kUv[1], kUv[2], kUv[3]},
         {{"rsq", 1}, {"rcp", 0}}},
    };
    for (const FormCase& c : cases) CheckCase(c);
}

// A matrix built from row vectors keeps its rows, not its columns, in
// registers: a vector times it is a sum of scaled rows, and it times a
// vector is one dot product per row.
TEST(Ps2TargetForms, MatricesBuiltFromRows) {
    const float w[4] = {0.5f, -1.0f, 2.0f, 0.25f};
    const Vec4 rows[4] = {kUv, kUv1, kColour, {kUv[3], kUv[2], kUv[1], 0}};
    const FormCase cases[] = {
        {"return float4(mul(float4(0.5, -1, 2, 0.25), float4x3(uv.xyz, uv1.xyz, colour.xyz, uv.wzy)), 1);",
         Each([&](int k) { return k == 3 ? 1.0f : w[0] * rows[0][k] + w[1] * rows[1][k] + w[2] * rows[2][k] + w[3] * rows[3][k]; }),
         {{"dp4", 0}, {"dp3", 0}, {"mad", 3}}},
        {"return float4(mul(float3x3(uv.xyz, uv1.xyz, colour.xyz), uv.wzy), 1);",
         Each([&](int k) { return k == 3 ? 1.0f : rows[k][0] * kUv[3] + rows[k][1] * kUv[2] + rows[k][2] * kUv[1]; }),
         {{"dp3", 3}, {"mad", 0}}},
    };
    for (const FormCase& c : cases) CheckCase(c);
}

TEST(Ps2TargetForms, LinearInterpolationInBothOperandOrders) {
    const Vec4 lerp = Each([](int k) { return kUv[k] + kColour[0] * (kUv1[k] - kUv[k]); });
    const FormCase cases[] = {
        {"return lerp(uv, uv1, colour.x);", lerp, {{"lrp", 1}, {"mad", 0}}},
        {"return colour.x * (uv1 - uv) + uv;", lerp, {{"lrp", 1}, {"mad", 0}}},
        {"return (uv1 - uv) * colour.x + uv;", lerp, {{"lrp", 1}, {"mad", 0}}},
        {"return lerp(uv, uv1, colour);", Each([](int k) { return kUv[k] + kColour[k] * (kUv1[k] - kUv[k]); }),
         {{"lrp", 1}}},
    };
    for (const FormCase& c : cases) CheckCase(c);
}

// A clamp on the result of a form is kept on that form; a clamp on a value a
// form would swallow keeps the form from being made.
TEST(Ps2TargetForms, ClampsSurviveTheForms) {
    const FormCase cases[] = {
        {"return saturate(lerp(uv, uv1, uv.w));", Each([](int k) { return Sat(kUv[k] + kUv[3] * (kUv1[k] - kUv[k])); }),
         {{"lrp", 1}}},
        {"return saturate(uv1 - uv) * colour.x + uv;",
         Each([](int k) { return Sat(kUv1[k] - kUv[k]) * kColour[0] + kUv[k]; }), {{"lrp", 0}}},
        {"return float4(uv1.xyz * rsqrt(saturate(dot(uv1.xyz, uv1.xyz))), 1);", {kUv1[0], kUv1[1], kUv1[2], 1},
         {{"nrm", 0}}},
        {"return 1 / saturate(sqrt(uv1.w));", Each([](int) { return 1.0f; }), {{"rsq", 1}}},
    };
    for (const FormCase& c : cases) {
        const std::string text = CheckCase(c);
        if (std::string(c.body).find("saturate(lerp") != std::string::npos) {
            EXPECT_EQ(CountInstructions(text, "lrp_sat"), 1) << text;
        }
    }
}

// A scalar result wanted in several components is computed once, straight
// into them, instead of computed into one and copied.
TEST(Ps2TargetForms, ScalarResultsAreWrittenReplicated) {
    const FormCase cases[] = {
        {"float4 r; r.xyz = 1 / uv.w; r.w = colour.w; return r * colour;",
         {kColour[0] / kUv[3], kColour[1] / kUv[3], kColour[2] / kUv[3], kColour[3] * kColour[3]},
         {{"rcp", 1}}},
        {"float4 r; r.yzw = rsqrt(uv.y); r.x = colour.x; return r + colour;",
         Each([](int k) { return (k == 0 ? kColour[0] : 1 / std::sqrt(kUv[1])) + kColour[k]; }),
         {{"rsq", 1}}},
    };
    for (const FormCase& c : cases) {
        const std::string text = CheckCase(c);
        // The scalar instruction writes several components under one mask.
        EXPECT_TRUE(std::regex_search(text, std::regex("(rcp|rsq)\\w* r\\d+\\.[xyzw]{2,}"))) << c.body << "\n" << text;
    }
}

}  // namespace
