// The vertex target forms: each case compiles a small shader, checks that
// the disassembly holds (or lacks) the instruction the pattern makes, and
// runs the shader on the device over several vertices, comparing every
// output with the value computed here in C++.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <sstream>

#include "codegen_harness.h"
#include "shader/bytecode/disassembler.h"

namespace {

using Outputs = std::map<Semantic, Vec4>;
using Reference = std::function<Outputs(const Vec4& p, const Vec4& n)>;

// p.y stays negative so that sqrt(-p.y) is defined.
const Vec4 kPositions[] = {{1.5f, -2.0f, 0.25f, 3.0f}, {-0.75f, -0.5f, 2.0f, 0.125f}, {3.0f, -9.0f, -1.5f, -2.5f}};
const Vec4 kNormals[] = {{0.5f, 4.0f, -1.0f, 2.0f}, {-2.0f, 0.25f, 3.0f, -0.5f}, {1.0f, -1.0f, 0.5f, 0.75f}};

// The instruction lines of the disassembly, each split into its words.
std::vector<std::vector<std::string>> Instructions(const Compiled& shader) {
    std::string text;
    DisassemblyError error;
    DisassemblyOptions options;
    options.constantTable = false;
    std::vector<std::vector<std::string>> lines;
    if (FAILED(DisassembleShader(shader.code.data(), shader.code.size() * 4, options, &text, &error))) return lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        std::istringstream words(line);
        std::vector<std::string> parts;
        for (std::string w; words >> w;) parts.push_back(w);
        if (!parts.empty() && parts[0].rfind("//", 0) != 0) lines.push_back(parts);
    }
    return lines;
}

int Count(const std::vector<std::vector<std::string>>& lines, const std::string& mnemonic) {
    return int(std::count_if(lines.begin(), lines.end(), [&](const auto& l) { return l[0] == mnemonic; }));
}

std::string Text(const std::vector<std::vector<std::string>>& lines) {
    std::string text;
    for (const auto& l : lines) {
        for (const std::string& w : l) text += w + " ";
        text += "\n";
    }
    return text;
}

// What one profile's code must show: `count` instructions `mnemonic`
// (-1: at least one), and none of `absent`.
struct Shape {
    const char* profile;
    const char* mnemonic;
    int count;
    std::vector<const char*> absent;
};

void CheckPattern(const char* source, const std::vector<Shape>& shapes, const Reference& reference,
                  float tolerance = 1e-4f) {
    for (const Shape& shape : shapes) {
        const Compiled shader = CompileHlsl(source, shape.profile);
        ASSERT_TRUE(shader.Ok()) << shape.profile << ": " << shader.messages;
        const auto lines = Instructions(shader);
        const int count = Count(lines, shape.mnemonic);
        if (shape.count < 0) EXPECT_GE(count, 1) << shape.profile << " lacks " << shape.mnemonic << "\n" << Text(lines);
        else EXPECT_EQ(count, shape.count) << shape.profile << " " << shape.mnemonic << "\n" << Text(lines);
        for (const char* absent : shape.absent)
            EXPECT_EQ(Count(lines, absent), 0) << shape.profile << " still has " << absent << "\n" << Text(lines);
        for (size_t v = 0; v < std::size(kPositions); ++v) {
            const ShaderRun run = RunVertex(shader, {{{kPosition, 0}, kPositions[v]}, {{kNormal, 0}, kNormals[v]}});
            ASSERT_TRUE(run.ok) << shape.profile << ": " << run.problem;
            for (const auto& [semantic, want] : reference(kPositions[v], kNormals[v])) {
                auto it = run.outputs.find(semantic);
                ASSERT_NE(it, run.outputs.end()) << shape.profile << " lacks output " << semantic.second;
                for (int c = 0; c < 4; ++c)
                    EXPECT_NEAR(it->second[c], want[c], tolerance * std::max(1.0f, std::fabs(want[c])))
                        << shape.profile << " vertex " << v << " output " << semantic.first << "/" << semantic.second
                        << " component " << c;
            }
        }
    }
}

Semantic T(int index) { return {kTexcoord, index}; }

TEST(VertexTargetForms, DistanceVectorFromMovesAndAMultiply) {
    const char* source = R"(
        float4 main(float4 p : POSITION, float4 n : NORMAL, out float4 a : TEXCOORD0, out float4 b : TEXCOORD1) : POSITION {
            a = float4(1, p.y * n.y, p.z, n.w);
            b = float4(1, n.x * p.w, n.z, p.y);
            return p;
        })";
    CheckPattern(source, {{"vs_1_1", "dst", 2, {}}, {"vs_2_0", "dst", 2, {}}, {"vs_2_sw", "dst", 2, {}}},
                 [](const Vec4& p, const Vec4& n) {
                     return Outputs{{T(0), {1, p[1] * n[1], p[2], n[3]}}, {T(1), {1, n[0] * p[3], n[2], p[1]}}};
                 });
}

TEST(VertexTargetForms, ReciprocalOfASquareRootIsOneReciprocalSquareRoot) {
    const char* source = R"(
        float4 main(float4 p : POSITION, float4 n : NORMAL, out float4 a : TEXCOORD0) : POSITION {
            a = float4(rsqrt(p.x * p.x + 1), 1 / sqrt(-p.y), rsqrt(n.z * n.z + 0.5), 1 / sqrt(abs(n.w)));
            return p;
        })";
    auto reference = [](const Vec4& p, const Vec4& n) {
        return Outputs{{T(0),
                        {1 / std::sqrt(p[0] * p[0] + 1), 1 / std::sqrt(-p[1]), 1 / std::sqrt(n[2] * n[2] + 0.5f),
                         1 / std::sqrt(std::fabs(n[3]))}}};
    };
    CheckPattern(source, {{"vs_1_1", "rsq", -1, {"rcp"}}, {"vs_2_0", "rsq", -1, {"rcp"}}}, reference, 1e-3f);
    // The square root of a negation reads its source with the negate modifier.
    const Compiled shader = CompileHlsl(source, "vs_2_0");
    bool negated = false;
    for (const auto& line : Instructions(shader))
        negated |= line[0] == "rsq" && line.size() == 3 && line[2].rfind("-v0", 0) == 0;
    EXPECT_TRUE(negated);
}

TEST(VertexTargetForms, MaximumOfAValueAndItsNegationIsAbsoluteValue) {
    const char* source = R"(
        float4 main(float4 p : POSITION, float4 n : NORMAL, out float4 a : TEXCOORD0) : POSITION {
            a = float4(abs(n.xy), max(-p.z, p.z), abs(p.w * n.w));
            return p;
        })";
    auto reference = [](const Vec4& p, const Vec4& n) {
        return Outputs{{T(0), {std::fabs(n[0]), std::fabs(n[1]), std::fabs(p[2]), std::fabs(p[3] * n[3])}}};
    };
    CheckPattern(source, {{"vs_1_1", "max", -1, {"abs"}}, {"vs_2_0", "abs", -1, {"max"}}, {"vs_2_sw", "abs", -1, {"max"}}},
                 reference);
}

TEST(VertexTargetForms, NormalizeIsOneInstructionFromVs2) {
    // The second result lands at y, z, w: computed at x, y, z and moved.
    const char* source = R"(
        float4 main(float4 p : POSITION, float4 n : NORMAL, out float4 a : TEXCOORD0, out float4 b : TEXCOORD1) : POSITION {
            a = float4(normalize(n.xyz), p.w);
            b.x = n.w;
            b.yzw = normalize(p.zxy);
            return p;
        })";
    auto reference = [](const Vec4& p, const Vec4& n) {
        const float ln = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
        const float lp = std::sqrt(p[0] * p[0] + p[1] * p[1] + p[2] * p[2]);
        return Outputs{{T(0), {n[0] / ln, n[1] / ln, n[2] / ln, p[3]}}, {T(1), {n[3], p[2] / lp, p[0] / lp, p[1] / lp}}};
    };
    CheckPattern(source,
                 {{"vs_1_1", "dp3", 2, {"nrm"}}, {"vs_2_0", "nrm", 2, {"dp3", "rsq"}}, {"vs_2_sw", "nrm", 2, {"dp3", "rsq"}}},
                 reference, 1e-3f);
}

TEST(VertexTargetForms, LerpInEitherOperandOrderIsLinearInterpolation) {
    const char* source = R"(
        float4 main(float4 p : POSITION, float4 n : NORMAL, out float4 a : TEXCOORD0, out float4 b : TEXCOORD1,
                    out float4 c : TEXCOORD2) : POSITION {
            float4 q = p * 0.5;
            a = lerp(p, n, n.w);
            b = (n - q) * p.x + q;
            c = q + p.z * (n - q);
            return p;
        })";
    auto reference = [](const Vec4& p, const Vec4& n) {
        Vec4 a, b, c;
        for (int i = 0; i < 4; ++i) {
            const float q = p[i] * 0.5f;
            a[i] = p[i] + (n[i] - p[i]) * n[3];
            b[i] = (n[i] - q) * p[0] + q;
            c[i] = q + p[2] * (n[i] - q);
        }
        return Outputs{{T(0), a}, {T(1), b}, {T(2), c}};
    };
    CheckPattern(source, {{"vs_1_1", "mad", -1, {"lrp"}}, {"vs_2_0", "lrp", 3, {"mad"}}, {"vs_2_sw", "lrp", 3, {"mad"}}},
                 reference);
}

TEST(VertexTargetForms, ScalarResultsAreComputedOnceIntoEveryComponent) {
    const char* source = R"(
        float4 main(float4 p : POSITION, float4 n : NORMAL, out float4 a : TEXCOORD0, out float4 b : TEXCOORD1) : POSITION {
            float r = 1 / p.x;
            a = float4(r, r, r, n.w);
            b = exp2(n.y).xxxx;
            return p;
        })";
    auto reference = [](const Vec4& p, const Vec4& n) {
        const float r = 1 / p[0], e = std::exp2(n[1]);
        return Outputs{{T(0), {r, r, r, n[3]}}, {T(1), {e, e, e, e}}};
    };
    for (const char* profile : {"vs_1_1", "vs_2_0"})
        CheckPattern(source, {{profile, "rcp", 1, {}}, {profile, "exp", 1, {}}}, reference, 1e-3f);
    // Neither result is copied by a move: each scalar instruction writes
    // all its components.
    const auto lines = Instructions(CompileHlsl(source, "vs_2_0"));
    for (const auto& line : lines)
        if (line[0] == "rcp") {
            EXPECT_NE(line[1].find(".xyz"), std::string::npos) << Text(lines);
        }
}

TEST(VertexTargetForms, LowPrecisionExponentsAndLogarithms) {
    // half values carry the lowest precision class: expp and logp.
    const char* source = R"(
        float4 main(float4 p : POSITION, float4 n : NORMAL, out float4 a : TEXCOORD0, out float4 b : TEXCOORD1) : POSITION {
            half4 h = n;
            a = float4(exp2(h.x), log2(abs(h.y) + 1), exp2(h.z), log2(abs(h.w) + 2));
            b = float4(exp2(p.x), log2(abs(p.y)), frac(p.z), frac(p.w));
            return p;
        })";
    auto reference = [](const Vec4& p, const Vec4& n) {
        auto frac = [](float x) { return x - std::floor(x); };
        return Outputs{{T(0), {std::exp2(n[0]), std::log2(std::fabs(n[1]) + 1), std::exp2(n[2]), std::log2(std::fabs(n[3]) + 2)}},
                       {T(1), {std::exp2(p[0]), std::log2(std::fabs(p[1])), frac(p[2]), frac(p[3])}}};
    };
    CheckPattern(source,
                 {{"vs_1_1", "expp", -1, {}}, {"vs_1_1", "logp", -1, {}}, {"vs_2_0", "expp", 2, {}},
                  {"vs_2_0", "logp", 2, {}}, {"vs_2_0", "exp", 1, {}}, {"vs_2_0", "log", 1, {}}},
                 reference, 1e-3f);
}

TEST(VertexTargetForms, FractionInVs11) {
    // x and y together are one frc; y alone is expp's fraction; z and w go
    // through a scratch register.
    const char* source = R"(
        float4 main(float4 p : POSITION, float4 n : NORMAL, out float4 a : TEXCOORD0, out float4 b : TEXCOORD1) : POSITION {
            float4 t = frac(p * 1.75 + n);
            a = t;
            b = float4(0, frac(n.x * 3), 0, 1);
            return p;
        })";
    auto reference = [](const Vec4& p, const Vec4& n) {
        auto frac = [](float x) { return x - std::floor(x); };
        Vec4 a;
        for (int i = 0; i < 4; ++i) a[i] = frac(p[i] * 1.75f + n[i]);
        return Outputs{{T(0), a}, {T(1), {0, frac(n[0] * 3), 0, 1}}};
    };
    CheckPattern(source, {{"vs_1_1", "expp", -1, {}}, {"vs_2_0", "frc", -1, {"expp"}}}, reference, 1e-4f);
}

}  // namespace

namespace {

TEST(VertexTargetForms, NoneWithoutOptimisation) {
    // Compile flag 0x08 skips the patterns: the plain instructions remain.
    const char* source = R"(
        float4 main(float4 p : POSITION, float4 n : NORMAL, out float4 a : TEXCOORD0) : POSITION {
            a = float4(normalize(n.xyz), rsqrt(abs(p.w) + 1));
            return lerp(p, n, p.x);
        })";
    const Compiled shader = CompileHlsl(source, "vs_2_0", "main", 0x08);
    ASSERT_TRUE(shader.Ok()) << shader.messages;
    const auto lines = Instructions(shader);
    for (const char* form : {"nrm", "lrp", "abs"}) EXPECT_EQ(Count(lines, form), 0) << form << "\n" << Text(lines);
    EXPECT_GE(Count(lines, "rcp"), 1) << Text(lines);
}

}  // namespace
