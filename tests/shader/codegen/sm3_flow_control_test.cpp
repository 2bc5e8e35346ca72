// Flow control of the models that have it (vs_2_0 and up, ps_2_x, the 3.0
// models): returns inside one arm of an "if". Each case compiles a shader and
// runs it on the device for inputs that take every path.
#include <gtest/gtest.h>

#include <string>

#include "codegen_harness.h"

namespace {

// A pixel shader's COLOR0 for one texture coordinate input.
Vec4 PixelResult(const Compiled& shader, const Vec4& t, bool* killed = nullptr) {
    const ShaderRun run = RunPixel(shader, {{{kTexcoord, 0}, t}});
    EXPECT_TRUE(run.ok) << run.problem;
    if (killed) *killed = run.killed;
    if (!run.ok || run.killed) return {};
    return run.outputs.at({kColor, 0});
}

// Returns inside one arm: the first return taken wins, the statements after a
// return taken do not change the result, out parameters and clip included.
TEST(Sm3FlowControl, ReturnInsideOneArm) {
    const char* source = R"(
        float4 pick(float4 t) {
            if (t.x > 1) return float4(1, 1, 1, 1);
            float4 r = t * 2;
            if (t.y > 1) { if (t.z > 1) return r + 10; r += 100; }
            return r;
        }
        float4 main(float4 t : TEXCOORD0) : COLOR {
            float4 a = pick(t);
            if (t.w < -5) return a + 1000;
            clip(t.w);
            return a;
        })";
    struct Case {
        Vec4 t;
        Vec4 want;
        bool killed;
    };
    const Case cases[] = {
        {{2, 0, 0, 0}, {1, 1, 1, 1}, false},
        {{0.5f, 2, 2, 1}, {11, 14, 14, 12}, false},
        {{0.5f, 2, 0, 1}, {101, 104, 100, 102}, false},
        {{0.5f, 0, 0, -6}, {1001, 1000, 1000, 988}, false},
        {{0.5f, 0, 0, -1}, {}, true},
    };
    for (const char* profile : {"ps_3_0", "ps_2_x"}) {
        const Compiled shader = CompileHlsl(source, profile);
        ASSERT_TRUE(shader.Ok()) << profile << "\n" << shader.messages;
        for (const Case& c : cases) {
            bool killed = false;
            const Vec4 got = PixelResult(shader, c.t, &killed);
            EXPECT_EQ(killed, c.killed) << profile << " t.x " << c.t[0] << " t.w " << c.t[3];
            if (c.killed || killed) continue;
            for (int k = 0; k < 4; ++k) EXPECT_FLOAT_EQ(got[k], c.want[k]) << profile << " t.x " << c.t[0] << " " << k;
        }
    }
    // The 2.0 pixel model has no flow control to express it.
    const Compiled ps2 = CompileHlsl(source, "ps_2_0");
    EXPECT_NE(ps2.messages.find("X3500: asymetric returns"), std::string::npos) << ps2.messages;
}

}  // namespace
