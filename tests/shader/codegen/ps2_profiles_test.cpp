// ps_2_a and ps_2_b share the 2_x version token but not their instruction
// sets: ps_2_a has the derivative and gradient instructions and reads any
// swizzle, ps_2_b has neither. The compile follows the profile's own row.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "codegen_harness.h"

namespace {

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }


TEST(Ps2Profiles, DerivativesAndGradientsOnPs2aOnly) {
    const struct {
        const char* call;
        const char* instruction;
    } cases[] = {
        {"ddx(t)", "dsx"},
        {"ddy(t)", "dsy"},
        {"fwidth(t)", "dsx"},
        {"tex2Dgrad(s, t.xy, t.zw, t.wz)", "texldd"},
    };
    for (const auto& c : cases) {
        const std::string source =
            std::string("sampler2D s;\nfloat4 main(float4 t : TEXCOORD0) : COLOR {\n    return ") + c.call + ";\n}\n";
        const Compiled a = CompileHlsl(source, "ps_2_a");
        ASSERT_TRUE(a.Ok()) << c.call << "\n" << a.messages;
        EXPECT_TRUE(Has(Disassembly(a), c.instruction)) << c.call << "\n" << Disassembly(a);

        const Compiled b = CompileHlsl(source, "ps_2_b");
        EXPECT_EQ(b.hr, E_FAIL) << c.call;
        const std::string name = std::string(c.call).substr(0, std::string(c.call).find('('));
        EXPECT_TRUE(Has(MessagesWithoutFile(b.messages),
                        "(3): error X4532: '" + name + "' is not supported on ps_2_b; it needs ps_2_x or ps_3_0"))
            << c.call << "\n"
            << b.messages;
    }
}

TEST(Ps2Profiles, Ps2aReadsAnySwizzleAndPs2bBuildsItWithMoves) {
    const char* source = R"(
        float4 k;
        float4 main(float4 t : TEXCOORD0, float4 c : COLOR0) : COLOR {
            return t.wzxy * c.yxwz + k.zxyw * t.xwzy - c.wxyz;
        })";
    const Vec4 t = {0.5f, -1.25f, 2, 0.75f}, c = {0.25f, 3, -0.5f, 1.5f}, k = {-2, 0.125f, 1, 4};
    const Vec4 want = {t[3] * c[1] + k[2] * t[0] - c[3], t[2] * c[0] + k[0] * t[3] - c[0],
                       t[0] * c[3] + k[1] * t[2] - c[1], t[1] * c[2] + k[3] * t[1] - c[2]};
    int slots[2] = {};
    const char* profiles[2] = {"ps_2_a", "ps_2_b"};
    for (int p = 0; p < 2; ++p) {
        const Compiled shader = CompileHlsl(source, profiles[p]);
        ASSERT_TRUE(shader.Ok()) << profiles[p] << ": " << shader.messages;
        slots[p] = BodyInstructions(shader);
        const ShaderRun run =
            RunPixel(shader, {{{kTexcoord, 0}, t}, {{kColor, 0}, c}}, {{"k", {k[0], k[1], k[2], k[3]}}});
        ASSERT_TRUE(run.ok) << profiles[p] << ": " << run.problem;
        for (int i = 0; i < 4; ++i) EXPECT_NEAR(run.outputs.at({kColor, 0})[i], want[i], 1e-5) << profiles[p];
    }
    EXPECT_LT(slots[0], slots[1]);
    // ps_2_b reads none of the swizzles ps_2_0 lacks (.zxyw it has).
    const std::string b = Disassembly(CompileHlsl(source, "ps_2_b"));
    for (const char* swizzle : {".wzxy", ".yxwz", ".xwzy", ".wxyz"})
        EXPECT_FALSE(Has(b, swizzle)) << swizzle << "\n" << b;
}

// A loop to a uniform count runs as a loop of the device on ps_2_a; ps_2_b
// has no flow control and cannot unroll it.
TEST(Ps2Profiles, LoopsToAUniformCountOnPs2aOnly) {
    const char* source = R"(
        int n;
        float4 main(float4 t : TEXCOORD0) : COLOR {
            float4 r = 0;
            for (int i = 0; i < n; i++) r += t;
            return r;
        })";
    const Compiled a = CompileHlsl(source, "ps_2_a");
    ASSERT_TRUE(a.Ok()) << a.messages;
    EXPECT_TRUE(Has(Disassembly(a), "rep")) << Disassembly(a);
    const Compiled b = CompileHlsl(source, "ps_2_b");
    EXPECT_EQ(b.hr, E_NOTIMPL);
    EXPECT_TRUE(Has(MessagesWithoutFile(b.messages),
                    "(5): error X3500: general for/do/while statements are not yet implemented"))
        << b.messages;
}

}  // namespace
