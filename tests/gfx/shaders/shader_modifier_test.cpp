// Source and destination modifiers, swizzles, masks, constants and relative
// addressing.
#include <gtest/gtest.h>

#include "shader_test_util.h"

namespace gfx::test {
namespace {

Vec4 RunPs(const std::vector<DWORD>& tokens, const Vec4& v0, const Vec4& t0, const ShaderConstants& k = {},
           ExecPath path = ExecPath::Simd) {
    auto program = MustCreate(tokens, ShaderKind::Pixel);
    if (!program) return {-999, -999, -999, -999};
    PixelBatch batch;
    batch.quads = 1;
    batch.coverage = 0xF;
    SetAll(&batch.input[kPixelSlotColor0], v0.x, v0.y, v0.z, v0.w);
    SetAll(&batch.input[kPixelSlotTexcoord0], t0.x, t0.y, t0.z, t0.w);
    PixelResults results;
    program->RunPixels(k, nullptr, batch, &results, path);
    return Lane(results.color[0], 0);
}

void Expect(const Vec4& got, const Vec4& want, const std::string& what) {
    EXPECT_FLOAT_EQ(got.x, want.x) << what;
    EXPECT_FLOAT_EQ(got.y, want.y) << what;
    EXPECT_FLOAT_EQ(got.z, want.z) << what;
    EXPECT_FLOAT_EQ(got.w, want.w) << what;
}

TEST(ShaderModifiers, Ps1xSourceModifiersShiftsAndRanges) {
    // ps_1_4: mov r0, v0<mod> (with shift/saturate) over a colour input.
    struct Case {
        const char* name;
        DWORD mod;
        int shift;
        DWORD resultMods;
        Vec4 v0;
        Vec4 expected;
    } cases[] = {
        {"negate", SRCMOD_NEG, 0, 0, {0.25f, 0.5f, 0, 1}, {-0.25f, -0.5f, 0, -1}},
        {"bias", SRCMOD_BIAS, 0, 0, {0.25f, 0.5f, 0, 1}, {-0.25f, 0, -0.5f, 0.5f}},
        {"bias negate", SRCMOD_BIASNEG, 0, 0, {0.25f, 0.5f, 0, 1}, {0.25f, 0, 0.5f, -0.5f}},
        {"bx2", SRCMOD_SIGN, 0, 0, {0.25f, 0.5f, 0, 1}, {-0.5f, 0, -1, 1}},
        {"bx2 negate", SRCMOD_SIGNNEG, 0, 0, {0.25f, 0.5f, 0, 1}, {0.5f, 0, 1, -1}},
        {"complement", SRCMOD_COMP, 0, 0, {0.25f, 0.5f, 0, 1}, {0.75f, 0.5f, 1, 0}},
        {"x2", SRCMOD_X2, 0, 0, {0.25f, 0.5f, 0, 1}, {0.5f, 1, 0, 2}},
        {"x2 negate", SRCMOD_X2NEG, 0, 0, {0.25f, 0.5f, 0, 1}, {-0.5f, -1, 0, -2}},
        {"_x4 shift", SRCMOD_NONE, 2, 0, {0.25f, 0.5f, 0, 1}, {1, 2, 0, 4}},
        {"_x8 clamps to the ps_1_4 range", SRCMOD_NONE, 3, 0, {0.25f, 0.5f, 0, 1.5f}, {2, 4, 0, 8}},
        {"_d2 shift", SRCMOD_NONE, -1, 0, {0.25f, 0.5f, 0, 1}, {0.125f, 0.25f, 0, 0.5f}},
        {"_x4_sat", SRCMOD_NONE, 2, kResultSaturate, {0.125f, 0.5f, 0, 1}, {0.5f, 1, 0, 1}},
        {"_sat after bx2", SRCMOD_SIGN, 0, kResultSaturate, {0.25f, 0.75f, 0, 1}, {0, 0.5f, 0, 1}},
    };
    for (const Case& t : cases) {
        TokenBuilder b(MakePixelVersion(1, 4));
        b.Ins(OP_MOV, {Dst(REG_TEMP, 0, kMaskAll, t.resultMods, t.shift), Src(REG_INPUT, 0, kSwizzleIdentity, t.mod)});
        Expect(RunPs(b.End(), t.v0, {}), t.expected, t.name);
    }
    // ps_1_1: results and constants live in [-1, 1].
    TokenBuilder b(MakePixelVersion(1, 1));
    b.Def(0, 3.0f, -3.0f, 0.5f, 0.25f);
    b.Ins(OP_ADD, {Dst(REG_TEMP, 0, kMaskAll, 0, 1), Src(REG_CONST, 0), Src(REG_INPUT, 0)});
    Expect(RunPs(b.End(), {0.5f, 0.5f, 0, 0}, {}), {1, -1, 1, 0.5f}, "ps_1_1 range");
}

TEST(ShaderModifiers, SwizzlesMasksAndVersion3Modifiers) {
    // ps_2_0 allowed swizzles, and a partial write mask on top of earlier data.
    TokenBuilder b(MakePixelVersion(2, 0));
    b.DclInput(REG_INPUT, 0).DclInput(REG_TEXTURE, 0);
    b.Ins(OP_MOV, {Dst(REG_TEMP, 0), Src(REG_TEXTURE, 0, Swz("wzyx"))});
    b.Ins(OP_ADD, {Dst(REG_TEMP, 0, kMaskY | kMaskW), Src(REG_TEMP, 0, Swz("yzxw")), Src(REG_INPUT, 0, Swz("z"), SRCMOD_NEG)});
    b.Ins(OP_MOV, {Dst(REG_COLOROUT, 0), Src(REG_TEMP, 0)});
    // t0 = (1,2,3,4) -> r0 = (4,3,2,1); r0.yw = r0.zxyw.yw - v0.z = (2-10, 1-10)
    Expect(RunPs(b.End(), {0, 0, 10, 0}, {1, 2, 3, 4}), {4, -8, 2, -9}, "swizzle and mask");

    TokenBuilder c(MakePixelVersion(3, 0));
    c.DclUsage(REG_INPUT, 0, USAGE_COLOR);
    c.Ins(OP_ADD, {Dst(REG_COLOROUT, 0, kMaskAll, kResultSaturate), Src(REG_INPUT, 0, kSwizzleIdentity, SRCMOD_ABSNEG),
                   Src(REG_INPUT, 0, kSwizzleIdentity, SRCMOD_ABS)});
    c.Ins(OP_MOV, {Dst(REG_COLOROUT, 1), Src(REG_INPUT, 0, kSwizzleIdentity, SRCMOD_ABS)});
    auto program = MustCreate(c.End(), ShaderKind::Pixel);
    ASSERT_NE(program, nullptr);
    PixelBatch batch;
    batch.quads = 1;
    SetAll(&batch.input[0], -2, 3, -0.5f, 0);
    PixelResults results;
    program->RunPixels(ShaderConstants(), nullptr, batch, &results);
    Expect(Lane(results.color[0], 2), {0, 0, 0, 0}, "abs and -abs cancel");
    Expect(Lane(results.color[1], 2), {2, 3, 0.5f, 0}, "abs");
}

TEST(ShaderModifiers, DefOverridesSetConstantsOnlyForItsRegisters) {
    ShaderConstants k;
    k.f[3][0] = 7;
    k.f[4][0] = 11;
    TokenBuilder b(MakeVertexVersion(2, 0));
    b.Def(3, 1, 2, 3, 4);
    b.Ins(OP_ADD, {Dst(REG_TEXCRDOUT, 0), Src(REG_CONST, 3), Src(REG_CONST, 4)});
    auto program = MustCreate(b.End(), ShaderKind::Vertex);
    ASSERT_NE(program, nullptr);
    VertexBatch batch;
    batch.count = 1;
    VertexResults r;
    program->RunVertices(k, nullptr, batch, &r);
    Expect(Lane(r.output[kSlotTexcoord0], 0), {12, 2, 3, 4}, "def c3 + c4");
}

TEST(ShaderModifiers, RelativeAddressingPerVertex) {
    ShaderConstants k;
    for (int i = 0; i < 256; ++i) k.f[i][0] = static_cast<float>(i);
    // vs_1_1: mov a0.x, v0.x truncates toward minus infinity; c[a0.x + 10].
    TokenBuilder b(MakeVertexVersion(1, 1));
    b.DclUsage(REG_INPUT, 0, USAGE_POSITION);
    b.Ins(OP_MOV, {Dst(REG_ADDR, 0, kMaskX), Src(REG_INPUT, 0)});
    b.Raw(MakeInstruction(OP_MOV)).Raw(Dst(REG_TEXCRDOUT, 0)).Raw(MakeSource(REG_CONST, 10, kSwizzleIdentity, 0, true));
    auto v11 = MustCreate(b.End(), ShaderKind::Vertex);
    // vs_2_0: mova rounds to nearest; c[a0.y + 10] with a relative address token.
    TokenBuilder c(MakeVertexVersion(2, 0));
    c.DclUsage(REG_INPUT, 0, USAGE_POSITION);
    c.Ins(OP_MOVA, {Dst(REG_ADDR, 0, kMaskY), Src(REG_INPUT, 0, Swz("x"))});
    c.Ins(OP_MOV, {Dst(REG_TEXCRDOUT, 0), MakeSource(REG_CONST, 10, kSwizzleIdentity, 0, true), MakeRelativeAddress(REG_ADDR, 1)});
    auto v20 = MustCreate(c.End(), ShaderKind::Vertex);
    ASSERT_TRUE(v11 && v20);
    const float inputs[] = {2.7f, -1.5f, 3.2f, -20.0f, 300.0f};
    const float want11[] = {12, 8, 13, 0, 0};   // beyond the table reads zero
    const float want20[] = {13, 9, 13, 0, 0};
    VertexBatch batch;
    batch.count = 5;
    for (int i = 0; i < 5; ++i) SetLane(&batch.input[0], i, inputs[i], 0, 0, 0);
    for (ExecPath path : {ExecPath::Simd, ExecPath::Reference, ExecPath::Compiled}) {
        VertexResults r11, r20;
        v11->RunVertices(k, nullptr, batch, &r11, path);
        v20->RunVertices(k, nullptr, batch, &r20, path);
        for (int i = 0; i < 5; ++i) {
            EXPECT_EQ(r11.output[kSlotTexcoord0].v[0][i], want11[i]) << "vs_1_1 lane " << i;
            EXPECT_EQ(r20.output[kSlotTexcoord0].v[0][i], want20[i]) << "vs_2_0 lane " << i;
        }
    }
}

}  // namespace
}  // namespace gfx::test
