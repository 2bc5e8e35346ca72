// Swizzles in the 2_x and 3.0 pixel models: any swizzle is read directly,
// where ps_2_0 (which reads only a few) builds the others with moves. The
// programs give the same numbers and the later models take fewer slots.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "codegen_harness.h"

namespace {


TEST(Sm3Swizzles, LaterModelsReadAnySwizzleDirectly) {
    const struct {
        const char* expression;
        Vec4 (*want)(const Vec4& t, const Vec4& c, const Vec4& k);
    } cases[] = {
        {"t.wzxy * c.yxwz + k.zxyw * t.xwzy - c.wxyz",
         [](const Vec4& t, const Vec4& c, const Vec4& k) {
             return Vec4{t[3] * c[1] + k[2] * t[0] - c[3], t[2] * c[0] + k[0] * t[3] - c[0],
                         t[0] * c[3] + k[1] * t[2] - c[1], t[1] * c[2] + k[3] * t[1] - c[2]};
         }},
        {"float4(dot(t.zxy, c.yzx), t.yy * k.wz, c.x)",
         [](const Vec4& t, const Vec4& c, const Vec4& k) {
             return Vec4{t[2] * c[1] + t[0] * c[2] + t[1] * c[0], t[1] * k[3], t[1] * k[2], c[0]};
         }},
    };
    const Vec4 t = {0.5f, -1.25f, 2, 0.75f}, c = {0.25f, 3, -0.5f, 1.5f}, k = {-2, 0.125f, 1, 4};
    for (const auto& test : cases) {
        const std::string source =
            std::string("float4 k;\nfloat4 main(float4 t : TEXCOORD0, float4 c : COLOR0) : COLOR {\n") + "    return " +
            test.expression + ";\n}\n";
        int slots[3] = {};
        const char* profiles[3] = {"ps_2_0", "ps_2_x", "ps_3_0"};
        for (int p = 0; p < 3; ++p) {
            const Compiled shader = CompileHlsl(source, profiles[p]);
            ASSERT_TRUE(shader.Ok()) << profiles[p] << ": " << shader.messages;
            slots[p] = BodyInstructions(shader);
            const ShaderRun run =
                RunPixel(shader, {{{kTexcoord, 0}, t}, {{kColor, 0}, c}}, {{"k", {k[0], k[1], k[2], k[3]}}});
            ASSERT_TRUE(run.ok) << run.problem;
            const Vec4 want = test.want(t, c, k);
            for (int i = 0; i < 4; ++i)
                EXPECT_FLOAT_EQ(run.outputs.at({kColor, 0})[i], want[i])
                    << profiles[p] << " " << test.expression << " " << i;
        }
        // The moves that build ps_2_0's swizzles are gone.
        EXPECT_LT(slots[1], slots[0]) << test.expression;
        EXPECT_LT(slots[2], slots[0]) << test.expression;
    }
}

}  // namespace
