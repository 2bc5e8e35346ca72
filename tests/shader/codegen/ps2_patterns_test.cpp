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

std::string Disassembly(const Compiled& shader) {
    std::string text;
    DisassemblyError error;
    if (FAILED(DisassembleShader(shader.code.data(), shader.code.size() * 4, DisassemblyOptions{false}, &text, &error)))
        return "disassembly failed: " + error.message;
    return text;
}

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
