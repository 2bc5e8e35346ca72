// ps_2_0 instruction patterns: each case compiles an expression, runs it on
// the device and compares the colour with C++, and checks the disassembly
// for the instruction the pattern must produce (and the ones it replaces).
// Every case also runs unoptimised (flag 0x08), which must give the same
// numbers without the patterns.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>

#include "codegen_harness.h"
#include "shader/bytecode/disassembler.h"

namespace {

const Vec4 kUv = {0.25f, 0.75f, 0.5f, 2.0f};
const Vec4 kUv1 = {-0.5f, 0.125f, 1.5f, 4.0f};
const Vec4 kColour = {0.2f, 0.4f, 0.6f, 0.8f};

// Instruction lines whose mnemonic starts with `name` (so "mad" counts
// "mad_sat" too).
int CountInstructions(const std::string& text, const std::string& name) {
    int count = 0;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        line.erase(0, line.find_first_not_of(' '));
        if (line.compare(0, name.size(), name) == 0 &&
            (line.size() == name.size() || line[name.size()] == ' ' || line[name.size()] == '_'))
            ++count;
        start = end + 1;
    }
    return count;
}

// The vector whose component k is f(k).
Vec4 Each(const std::function<float(int)>& f) { return {f(0), f(1), f(2), f(3)}; }
float Sat(float x) { return std::min(std::max(x, 0.0f), 1.0f); }

struct PatternCase {
    const char* expression;  // float4 over uv, uv1, colour
    Vec4 expected;
    const char* produces;               // mnemonic that must appear (optimised)
    std::vector<const char*> replaces;  // mnemonics that must not appear
};

TEST(Ps2Patterns, ResultsAndInstructions) {
    const Vec4 &u = kUv, &v = kUv1, &c = kColour;
    const PatternCase cases[] = {
        {"saturate(uv1 * 2)", Each([&](int k) { return Sat(2 * v[k]); }), "mul_sat", {"min", "max"}},
        {"clamp(uv1 + colour, 0, 1)", Each([&](int k) { return Sat(v[k] + c[k]); }), "add_sat", {"min", "max"}},
        {"max(min(uv1 * uv, 1), 0)", Each([&](int k) { return Sat(v[k] * u[k]); }), "mul_sat", {"min", "max"}},
        {"saturate(uv1 * uv + colour)", Each([&](int k) { return Sat(v[k] * u[k] + c[k]); }), "mad_sat",
         {"min", "max", "mul"}},
        {"abs(uv1 - uv)", Each([&](int k) { return std::fabs(v[k] - u[k]); }), "abs", {"max"}},
        {"uv1 >= 0 ? uv1 : -uv1", Each([&](int k) { return std::fabs(v[k]); }), "abs", {"cmp"}},
        {"uv < uv1 ? uv : uv1", Each([&](int k) { return std::min(u[k], v[k]); }), "min", {"add"}},
        {"uv >= uv1 ? uv : uv1", Each([&](int k) { return std::max(u[k], v[k]); }), "max", {"add"}},
        {"float4(dot(uv.xy, uv1.xy) + colour.z, uv.yzw)",
         Each([&](int k) { return k == 0 ? u[0] * v[0] + u[1] * v[1] + c[2] : u[k]; }), "dp2add", {}},
        {"colour - uv * uv1 * 2", Each([&](int k) { return c[k] - u[k] * v[k] * 2; }), "mad", {"add"}},
        {"(uv * uv1 + colour) * (uv * uv1 + uv1)",
         Each([&](int k) { return (u[k] * v[k] + c[k]) * (u[k] * v[k] + v[k]); }), "mad", {"add"}},
        {"saturate(uv * uv)", Each([&](int k) { return Sat(u[k] * u[k]); }), "mul_sat", {"min"}},
    };
    for (const PatternCase& pc : cases) {
        const std::string source = std::string("float4 main(float4 uv : TEXCOORD0, float4 uv1 : TEXCOORD1, "
                                               "float4 colour : COLOR0) : COLOR { return ") +
                                   pc.expression + "; }";
        for (DWORD flags : {0u, 0x08u}) {
            const Compiled shader = CompileHlsl(source, "ps_2_0", "main", flags);
            ASSERT_TRUE(shader.Ok()) << pc.expression << ": " << shader.messages;
            const ShaderRun run =
                RunPixel(shader, {{{kTexcoord, 0}, kUv}, {{kTexcoord, 1}, kUv1}, {{kColor, 0}, kColour}});
            ASSERT_TRUE(run.ok) << pc.expression << ": " << run.problem;
            const Vec4 got = run.outputs.at({kColor, 0});
            for (int k = 0; k < 4; ++k)
                EXPECT_NEAR(got[k], pc.expected[k], 1e-5f) << pc.expression << " flags " << flags << " component " << k;
            if (flags) continue;
            const std::string text = Disassembly(shader);
            EXPECT_GE(CountInstructions(text, pc.produces), 1) << pc.expression << "\n" << text;
            for (const char* gone : pc.replaces)
                EXPECT_EQ(CountInstructions(text, gone), 0) << pc.expression << " has " << gone << "\n" << text;
        }
    }
}

// Clamps that do not reach [0, 1], or whose input is read elsewhere too, stay
// min and max.
TEST(Ps2Patterns, ClampsThatAreNotSaturate) {
    struct Case {
        const char* expression;
        Vec4 expected;
    };
    const Case cases[] = {
        {"clamp(uv1, 0, 2)", Each([](int k) { return std::min(std::max(kUv1[k], 0.0f), 2.0f); })},
        {"clamp(uv1, -1, 1)", Each([](int k) { return std::min(std::max(kUv1[k], -1.0f), 1.0f); })},
        {"saturate(uv1 * 3) + uv1 * 3", Each([](int k) { return Sat(3 * kUv1[k]) + 3 * kUv1[k]; })},
    };
    for (const Case& c : cases) {
        const std::string source =
            std::string("float4 main(float4 uv1 : TEXCOORD1) : COLOR { return ") + c.expression + "; }";
        const Compiled shader = CompileHlsl(source, "ps_2_0");
        ASSERT_TRUE(shader.Ok()) << c.expression << ": " << shader.messages;
        const ShaderRun run = RunPixel(shader, {{{kTexcoord, 1}, kUv1}});
        ASSERT_TRUE(run.ok) << run.problem;
        for (int k = 0; k < 4; ++k)
            EXPECT_NEAR(run.outputs.at({kColor, 0})[k], c.expected[k], 1e-5f) << c.expression << " component " << k;
    }
}

// Differential: every expression gives the same colour with the patterns
// (optimised) and without them (flag 0x08), over inputs that cross the clamp
// bounds and the comparison edges.
TEST(Ps2Patterns, OptimisedAndUnoptimisedAgree) {
    const char* expressions[] = {
        "saturate(dot(uv.xy, uv1.xy)).xxxx",
        "saturate(max(uv, uv1) * 2 - 1)",
        "saturate(1 / uv)",
        "saturate(uv.x < uv1.x ? uv : uv1 * 3)",
        "saturate(exp2(uv1))",
        "saturate(frac(uv1 * 3) * 2)",
        "saturate(tex2D(s, uv.xy) * 2)",
        "saturate(uv.yzxw)",
        "saturate(-uv1)",
        "saturate(uv1) + saturate(uv1 * 2).yxwz",
        "min(max(uv1, 0), 1) * max(min(uv, 1), 0)",
        "abs(uv1) + abs(-uv1.wzyx) + max(uv, -uv)",
        "uv1 < uv ? uv1 : uv",
        "uv1 >= uv ? uv : uv1",
        "uv1 > 0 ? uv : -uv1",
        "uv1 <= 0 ? uv1 : uv",
        "float4(dot(uv.xy, uv1.zw) + uv.z, dot(uv1.xy, uv1.xy) - uv.w, dot(uv.yx, uv1.xy) + 1, 2)",
        "uv * uv1 - uv1 * colour + uv.wzyx * uv1.x",
        "-(uv * uv1) + colour * uv1 - colour",
        "lerp(uv, uv1, colour.x)",
        "clamp(uv1 * uv, 0.25, 1)",
        "saturate(uv1 * uv) + colour",
        "saturate(dot(uv1.xy, uv.xy)) + colour.x",
    };
    const Vec4 inputs[][3] = {
        {kUv, kUv1, kColour},
        {{0, 1, -1, 0.5f}, {1, -0.0f, 2, -3}, {-1, 0.5f, 0, 1}},
        {{3, -2, 0.125f, 1}, {0.5f, 0.5f, 1, 1}, {0.25f, -0.75f, 4, 0}},
    };
    for (const char* expression : expressions) {
        const std::string source = std::string("sampler s : register(s0);\n"
                                               "float4 main(float4 uv : TEXCOORD0, float4 uv1 : TEXCOORD1, "
                                               "float4 colour : COLOR0) : COLOR { return ") +
                                   expression + "; }";
        const Compiled optimised = CompileHlsl(source, "ps_2_0");
        const Compiled plain = CompileHlsl(source, "ps_2_0", "main", 0x08);
        ASSERT_TRUE(optimised.Ok() && plain.Ok()) << expression << "\n" << optimised.messages << plain.messages;
        for (const auto& in : inputs) {
            const std::map<Semantic, Vec4> values = {{{kTexcoord, 0}, in[0]}, {{kTexcoord, 1}, in[1]}, {{kColor, 0}, in[2]}};
            const ShaderRun a = RunPixel(optimised, values), b = RunPixel(plain, values);
            ASSERT_TRUE(a.ok && b.ok) << a.problem << b.problem;
            for (int k = 0; k < 4; ++k)
                EXPECT_NEAR(a.outputs.at({kColor, 0})[k], b.outputs.at({kColor, 0})[k], 1e-4f)
                    << expression << " component " << k << "\n" << Disassembly(optimised);
        }
        if (std::string(expression).compare(0, 8, "saturate") == 0) {
            EXPECT_EQ(CountInstructions(Disassembly(optimised), "min"), 0) << expression << "\n" << Disassembly(optimised);
        }
    }
}

// A long chain of folded reads (negations, comparisons, products) still
// leaves the temporaries the operand rules need: the registers a folded
// read keeps alive count as busy from the write that filled them. Short
// chains check that a saturated product is not fused into the add after it.
// The long chain is more than ps_2_0's 64 arithmetic slots: the validator
// refuses it for that, and its code runs as the software model.
TEST(Ps2Patterns, LongChainsFitTheTemporaries) {
    const Vec4 uv = {0.25f, -0.5f, 0.75f, 0.1f}, w = {0.5f, 0.25f, -0.25f, 0.3f};
    for (int steps : {1, 2, 12}) {
        std::string source = "float4 main(float4 uv : TEXCOORD0, float4 w : TEXCOORD1) : COLOR {\n float4 a = uv;\n";
        for (int i = 0; i < steps; ++i)
            source += " a = saturate(a * w + " + std::to_string(i) +
                      " * 0.01) + (a < w ? -a : abs(a - w)) - dot(a.xy, w.zw);\n";
        source += " return a; }";
        bool overBudget = false;
        const Compiled shader = CompileBeyondSlotBudget(source, "ps_2_0", "main", &overBudget);
        ASSERT_TRUE(shader.Ok()) << steps << " steps: " << shader.messages;
        EXPECT_EQ(overBudget, steps == 12) << shader.messages;
        Vec4 a = uv;
        for (int i = 0; i < steps; ++i) {
            const float d = a[0] * w[2] + a[1] * w[3];
            Vec4 next;
            for (int k = 0; k < 4; ++k)
                next[k] = Sat(a[k] * w[k] + float(i) * 0.01f) + (a[k] < w[k] ? -a[k] : std::fabs(a[k] - w[k])) - d;
            a = next;
        }
        const ShaderRun run = RunPixel(shader, {{{kTexcoord, 0}, uv}, {{kTexcoord, 1}, w}});
        ASSERT_TRUE(run.ok) << run.problem;
        for (int k = 0; k < 4; ++k) EXPECT_NEAR(run.outputs.at({kColor, 0})[k], a[k], 1e-3f) << steps << " steps, " << k;
    }
}

// Literal registers that only the replaced min and max read are not defined;
// the 0 and 1 of a comparison are, even when nothing else needs them.
TEST(Ps2Patterns, LiteralRegistersFollowWhatIsRead) {
    const Compiled saturated = CompileHlsl("float4 main(float4 uv : TEXCOORD0) : COLOR { return saturate(uv * uv); }",
                                           "ps_2_0");
    ASSERT_TRUE(saturated.Ok()) << saturated.messages;
    EXPECT_EQ(CountInstructions(Disassembly(saturated), "def"), 0) << Disassembly(saturated);

    const Compiled compared =
        CompileHlsl("float4 main(float4 uv : TEXCOORD0) : COLOR { return uv < uv.yxwz; }", "ps_2_0");
    ASSERT_TRUE(compared.Ok()) << compared.messages;
    const std::string text = Disassembly(compared);
    EXPECT_EQ(CountInstructions(text, "def"), 1) << text;
    EXPECT_NE(text.find("0, 1, 0, 0"), std::string::npos) << text;
    EXPECT_GE(CountInstructions(text, "cmp"), 1) << text;
    const ShaderRun run = RunPixel(compared, {{{kTexcoord, 0}, kUv}});
    ASSERT_TRUE(run.ok) << run.problem;
    const Vec4 want = {kUv[0] < kUv[1] ? 1.0f : 0.0f, kUv[1] < kUv[0] ? 1.0f : 0.0f, kUv[2] < kUv[3] ? 1.0f : 0.0f,
                       kUv[3] < kUv[2] ? 1.0f : 0.0f};
    for (int k = 0; k < 4; ++k) EXPECT_EQ(run.outputs.at({kColor, 0})[k], want[k]) << k;
}

}  // namespace
