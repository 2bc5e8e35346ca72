// The target patterns must not change what a vertex shader computes: every
// shader here (and every vertex entry of the shared corpus, when present)
// is compiled with optimisation and patterns and with compile flag 0x08
// (neither), both are run on the device with the same inputs and constants,
// and their outputs must agree.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "codegen_harness.h"
#include "shader/bytecode/constant_table.h"
#include "shader/compiler.h"

namespace {

constexpr DWORD kSkipOptimization = 0x08;

// A value for every input semantic a shader may declare, varied per vertex.
std::map<Semantic, Vec4> AllInputs(int vertex) {
    std::map<Semantic, Vec4> inputs;
    for (int usage = 0; usage <= 13; ++usage)
        for (int index = 0; index < 16; ++index) {
            Vec4 v;
            for (int c = 0; c < 4; ++c)
                v[c] = std::sin(float(usage * 7 + index * 3 + c + vertex * 11) * 0.9f) * (1.0f + float(c));
            inputs[{usage, index}] = v;
        }
    return inputs;
}

// Values for every constant the table of `shader` names.
Uniforms AllUniforms(const Compiled& shader) {
    Uniforms uniforms;
    IKLConstantTable* table = nullptr;
    if (FAILED(ExtractConstantTable(shader.code.data(), shader.code.size() * 4, &table))) return uniforms;
    KLCONSTANTTABLE_DESC desc{};
    table->DescribeTable(&desc);
    for (UINT i = 0; i < desc.Constants; ++i) {
        KLCONSTANT_DESC c{};
        UINT count = 1;
        if (FAILED(table->DescribeConstant(table->ConstantAt(nullptr, i), &c, &count)) || !c.Name) continue;
        std::vector<float>& values = uniforms[c.Name];
        for (UINT k = 0; k < c.RegisterCount * 4; ++k) values.push_back(std::cos(float(i * 13 + k) * 0.7f) * 2.0f);
    }
    table->Release();
    return uniforms;
}

// Compiles `source` both ways for `profile` and compares three vertices.
void CompareWithUnoptimised(const std::string& source, const char* entry, const char* profile, const std::string& what,
                            bool mustCompile) {
    const Compiled optimised = CompileHlsl(source, profile, entry);
    // Corpus compile failures are the corpus test's business.
    if (!mustCompile && !optimised.Ok()) return;
    ASSERT_TRUE(optimised.Ok()) << what << ": " << optimised.messages;
    // Unoptimised code of a large shader may not fit the registers: nothing
    // to compare with then.
    const Compiled plain = CompileHlsl(source, profile, entry, kSkipOptimization);
    if (!plain.Ok()) return;
    for (int vertex = 0; vertex < 3; ++vertex) {
        const ShaderRun a = RunVertex(optimised, AllInputs(vertex), AllUniforms(optimised));
        const ShaderRun b = RunVertex(plain, AllInputs(vertex), AllUniforms(plain));
        ASSERT_TRUE(a.ok && b.ok) << what << ": " << a.problem << b.problem;
        ASSERT_EQ(a.outputs.size(), b.outputs.size()) << what;
        for (const auto& [semantic, want] : b.outputs) {
            const Vec4& got = a.outputs.at(semantic);
            for (int c = 0; c < 4; ++c) {
                if (std::isnan(want[c]) || std::isinf(want[c])) continue;
                EXPECT_NEAR(got[c], want[c], 2e-3f * std::max(1.0f, std::fabs(want[c])))
                    << what << " vertex " << vertex << " output " << semantic.first << "/" << semantic.second
                    << " component " << c;
            }
        }
    }
}

const char* const kShaders[] = {
    // A product read by an add and, through a negation folded into another
    // reader, by that reader too: the multiply must stay.
    R"(float4 main(float4 p : POSITION, float4 u : NORMAL) : POSITION { return (p > u) ? p : u * 3; })",
    // Patterns whose operands share registers with their results.
    R"(float4 main(float4 p : POSITION, float4 n : NORMAL, out float4 a : TEXCOORD0) : POSITION {
           float4 t = p.wzyx * n;
           t.xyz = normalize(t.zxy);
           t.w = rsqrt(abs(t.w) + 1);
           a = lerp(t, t.yzwx, t.x);
           return float4(1, t.y * p.y, t.z, p.w);
       })",
    R"(float4 main(float4 p : POSITION, float4 n : NORMAL, out float4 a : TEXCOORD0, out float b : FOG) : POSITION {
           float4 t = frac(p.yxwz * 3.5);
           t = frac(t.yxzw + n);
           a = float4(exp2(t.x), log2(abs(t.y) + 0.5), 1 / t.z, dot(t, n));
           b = 1 / sqrt(abs(n.x) + t.w);
           return max(t, -t) + max(-n, n);
       })",
    R"(float4x4 m; float3 light; float4 tint;
       float4 main(float4 p : POSITION, float3 n : NORMAL, out float4 c : COLOR0, out float3 t : TEXCOORD0) : POSITION {
           float3 w = normalize(mul(n, (float3x3)m));
           float3 l = normalize(light - p.xyz);
           float d = max(dot(w, l), 0);
           c = lerp(tint, float4(d, d, d, 1), saturate(d));
           t = reflect(-l, w);
           return mul(p, m);
       })",
    R"(float4 main(float4 p : POSITION, float4 n : NORMAL, out float4 a : TEXCOORD0, out float4 b : TEXCOORD1) : POSITION {
           half4 h = p * n;
           a = float4(exp2(h.x), log2(abs(h.y) + 1), exp2(h.zw));
           float r = 1 / (abs(p.x) + 1);
           b = float4(r, r, length(n.xyz), r);
           return float4(p.xyz * r, 1);
       })",
};

TEST(VertexPatternDifferential, SameOutputsAsWithoutPatterns) {
    for (const char* profile : {"vs_1_1", "vs_2_0", "vs_2_sw"})
        for (size_t i = 0; i < std::size(kShaders); ++i)
            CompareWithUnoptimised(kShaders[i], "main", profile, std::string(profile) + " shader " + std::to_string(i),
                                   true);
}

// Random shaders built from the expressions the patterns look for, with
// random operands and swizzles, so that the packed registers overlap in
// many ways.
class ShaderGenerator {
public:
    explicit ShaderGenerator(uint32_t seed) : state_(seed * 2654435761u + 1) {}

    std::string Build(int statements) {
        std::string body = "    float4 t0 = p;\n    float4 t1 = u;\n";
        for (int k = 2; k < statements + 2; ++k) {
            body += "    float4 t" + std::to_string(k) + " = " + Expression(k) + ";\n";
        }
        const int last = statements + 1;
        return "float4 main(float4 p : POSITION, float4 u : NORMAL, out float4 a : TEXCOORD0, out float4 b : TEXCOORD1)"
               " : POSITION {\n" +
               body + "    a = " + Var(last + 1) + ";\n    b = " + Var(last + 1) + ";\n    return t" +
               std::to_string(last) + ";\n}\n";
    }

private:
    uint32_t Next(uint32_t n) {
        state_ = state_ * 1664525u + 1013904223u;
        return (state_ >> 8) % n;
    }
    std::string Var(int count) { return "t" + std::to_string(Next(uint32_t(count))); }
    std::string Swizzle(int width) {
        std::string s = ".";
        for (int i = 0; i < width; ++i) s += "xyzw"[Next(4)];
        return s;
    }
    std::string Expression(int count) {
        const std::string a = Var(count), b = Var(count), c = Var(count);
        switch (Next(14)) {
            case 0: return "float4(normalize(" + a + Swizzle(3) + "), " + b + ".x)";
            case 1: return "lerp(" + a + ", " + b + ", " + c + Swizzle(1) + ")";
            case 2: return a + " + (" + b + " - " + a + ") * " + c + Swizzle(1);
            case 3: return "rsqrt(abs(" + a + Swizzle(4) + ") + 0.5)";
            case 4: return "1 / sqrt(abs(" + a + ") + 1)";
            case 5: return "max(" + a + Swizzle(4) + ", -" + a + Swizzle(4) + ")";
            case 6: return "float4(1, " + a + ".y * " + b + ".y, " + a + ".z, " + b + ".w)";
            case 7: return "frac(" + a + Swizzle(4) + " * 1.3)";
            case 8: return "exp2(clamp(" + a + ", -4, 4))";
            case 9: return "log2(abs(" + a + Swizzle(4) + ") + 1)";
            case 10: return "dot(" + a + ", " + b + ").xxxx * 0.25";
            case 11: return "(half4)" + a + " * " + b + Swizzle(4) + " * 0.5";
            case 12: return "exp2((half4)clamp(" + a + ", -3, 3))";
            default: return a + " * " + b + Swizzle(4) + " * 0.5 + " + c;
        }
    }
    uint32_t state_;
};

TEST(VertexPatternDifferential, RandomShadersOfPatternExpressions) {
    for (uint32_t seed = 1; seed <= 30; ++seed) {
        const std::string source = ShaderGenerator(seed).Build(8);
        for (const char* profile : {"vs_1_1", "vs_2_0", "vs_2_sw"})
            CompareWithUnoptimised(source, "main", profile, std::string(profile) + " seed " + std::to_string(seed) + "\n" + source,
                                   true);
    }
}

TEST(VertexPatternDifferential, CorpusVertexShaders) {
    const std::string root = "/work/shared/corpus/hlsl";
    std::ifstream manifest(root + "/MANIFEST.tsv");
    if (!manifest) GTEST_SKIP() << "no corpus";
    std::string line;
    std::getline(manifest, line);
    int compared = 0;
    while (std::getline(manifest, line)) {
        std::vector<std::string> f;
        std::stringstream fields(line);
        for (std::string s; std::getline(fields, s, '\t');) f.push_back(s);
        if (f.size() < 7 || f[5] != "vs") continue;
        std::ifstream file(root + "/" + f[0]);
        if (!file) continue;
        const std::string source((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        std::stringstream entries(f[6]);
        for (std::string e; entries >> e;) {
            const size_t colon = e.find(':');
            if (colon == std::string::npos) continue;
            const std::string entry = e.substr(0, colon), profile = e.substr(colon + 1);
            if (profile != "vs_1_1" && profile != "vs_2_0") continue;
            CompareWithUnoptimised(source, entry.c_str(), profile.c_str(), f[0] + " " + entry, false);
            ++compared;
        }
    }
    std::printf("compared %d corpus vertex entries\n", compared);
}

}  // namespace
