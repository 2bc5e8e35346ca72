// Texture lookups: what the sampler is asked (coordinates, derivatives from
// the quad, bias, level, projection) and the ps_1_x texture addressing.
#include <gtest/gtest.h>

#include "shader_test_util.h"

namespace gfx::test {
namespace {

struct PixelRun {
    PixelResults results;
    EchoSampler sampler;
};

// ps_3_0 programs read their v0 from slot 0.
constexpr int kV0 = 0;

// Quad lanes get t0 = base + (x, y) * step for the pixel at (x, y) in the quad.
void RunPixels(const std::vector<DWORD>& tokens, const Vec4& t0, const Vec4& step, PixelRun* run,
               const Vec4& t1 = {}, int slot = kPixelSlotTexcoord0) {
    auto program = MustCreate(tokens, ShaderKind::Pixel);
    ASSERT_NE(program, nullptr);
    PixelBatch batch;
    batch.quads = kQuads;
    batch.coverage = 0xFFFF;
    for (int l = 0; l < kLanes; ++l) {
        const float x = static_cast<float>(l & 1), y = static_cast<float>((l >> 1) & 1);
        SetLane(&batch.input[slot], l, t0.x + x * step.x, t0.y + y * step.y, t0.z + x * step.z, t0.w + y * step.w);
        SetLane(&batch.input[slot + 1], l, t1.x, t1.y, t1.z, t1.w);
    }
    program->RunPixels(ShaderConstants(), &run->sampler, batch, &run->results);
}

TEST(ShaderTexture, Ps2LookupsPassCoordinatesDerivativesAndLod) {
    auto build = [](DWORD texOp) {
        TokenBuilder b(MakePixelVersion(3, 0));
        b.DclUsage(REG_INPUT, 0, USAGE_TEXCOORD, 0).DclSampler(3);
        b.Ins(texOp, {Dst(REG_TEMP, 0), Src(REG_INPUT, 0), Src(REG_SAMPLER, 3)});
        b.Ins(OP_MOV, {Dst(REG_COLOROUT, 0), Src(REG_TEMP, 0)});
        return b.End();
    };
    PixelRun plain;
    RunPixels(build(OP_TEX), {0.5f, 0.25f, 1, 2}, {0.125f, 0.0625f, 0, 0}, &plain, {}, kV0);
    EXPECT_EQ(plain.sampler.lastSampler, 3u);
    EXPECT_EQ(plain.sampler.lastMode, LodMode::Derivatives);
    EXPECT_FLOAT_EQ(plain.sampler.ddx[6][0], 0.125f);   // lane 6 = (0, 1) in quad 1
    EXPECT_FLOAT_EQ(plain.sampler.ddy[6][1], 0.0625f);
    EXPECT_FLOAT_EQ(plain.sampler.ddx[6][1], 0.0f);
    EXPECT_FLOAT_EQ(plain.results.color[0].v[0][3], 0.625f);  // lane 3 = (1, 1)

    PixelRun projected;
    RunPixels(build(MakeInstruction(OP_TEX | kTexControlProject << 16)), {1, 2, 3, 4}, {0, 0, 0, 0}, &projected, {}, kV0);
    EXPECT_FLOAT_EQ(projected.results.color[0].v[0][0], 0.25f);
    EXPECT_FLOAT_EQ(projected.results.color[0].v[2][0], 0.75f);

    PixelRun biased;
    RunPixels(build(OP_TEX | kTexControlBias << 16), {1, 2, 3, -1.5f}, {0, 0, 0, 0}, &biased, {}, kV0);
    EXPECT_EQ(biased.sampler.lastMode, LodMode::Bias);
    EXPECT_FLOAT_EQ(biased.results.color[0].v[3][0], -1.5f);

    PixelRun level;
    RunPixels(build(OP_TEXLDL), {1, 2, 3, 2.0f}, {1, 1, 1, 1}, &level, {}, kV0);
    EXPECT_EQ(level.sampler.lastMode, LodMode::Explicit);
    EXPECT_FLOAT_EQ(level.sampler.ddx[0][0], -99.0f);  // no derivatives handed over
}

TEST(ShaderTexture, DerivativeInstructionsAndGradientLookups) {
    TokenBuilder b(MakePixelVersion(3, 0));
    b.DclUsage(REG_INPUT, 0, USAGE_TEXCOORD, 0).DclSampler(0);
    b.Ins(OP_DSX, {Dst(REG_TEMP, 0), Src(REG_INPUT, 0)});
    b.Ins(OP_DSY, {Dst(REG_TEMP, 1), Src(REG_INPUT, 0)});
    b.Ins(OP_MOV, {Dst(REG_COLOROUT, 0), Src(REG_TEMP, 0)});
    b.Ins(OP_MOV, {Dst(REG_COLOROUT, 1), Src(REG_TEMP, 1)});
    b.Ins(OP_TEXLDD, {Dst(REG_COLOROUT, 2), Src(REG_INPUT, 0), Src(REG_SAMPLER, 0), Src(REG_TEMP, 1), Src(REG_TEMP, 0)});
    PixelRun run;
    RunPixels(b.End(), {0, 0, 0, 0}, {2, 3, 4, 5}, &run, {}, kV0);
    for (int l = 0; l < kLanes; ++l) {
        EXPECT_EQ(Lane(run.results.color[0], l).x, 2.0f);
        EXPECT_EQ(Lane(run.results.color[0], l).z, 4.0f);
        EXPECT_EQ(Lane(run.results.color[0], l).y, 0.0f);
        EXPECT_EQ(Lane(run.results.color[1], l).y, 3.0f);
        EXPECT_EQ(Lane(run.results.color[1], l).w, 5.0f);
    }
    // texldd hands the explicit gradients (here swapped) to the sampler.
    EXPECT_EQ(run.sampler.ddx[0][1], 3.0f);
    EXPECT_EQ(run.sampler.ddy[0][0], 2.0f);
}

TEST(ShaderTexture, TexkillKillsLanesWithNegativeComponents) {
    TokenBuilder b(MakePixelVersion(2, 0));
    b.DclInput(REG_TEXTURE, 0);
    b.Ins(OP_TEXKILL, {Dst(REG_TEXTURE, 0)});
    b.Ins(OP_MOV, {Dst(REG_COLOROUT, 0), Src(REG_TEXTURE, 0)});
    PixelRun run;
    // x goes negative for x = 1 pixels, w for y = 1 pixels: only lane (0, 0) of each quad survives.
    RunPixels(b.End(), {0.5f, 0, 0, 0.5f}, {-1, 0, 0, -1}, &run);
    EXPECT_EQ(run.results.killed, 0xEEEEu);
    // ps_1_x tests only x, y, z.
    TokenBuilder c(MakePixelVersion(1, 1));
    c.Ins(OP_TEXKILL, {Dst(REG_TEXTURE, 0)});
    c.Ins(OP_MOV, {Dst(REG_TEMP, 0), Src(REG_INPUT, 0)});
    PixelRun run1;
    RunPixels(c.End(), {0.5f, 0, 0, 0.5f}, {-1, 0, 0, -1}, &run1);
    EXPECT_EQ(run1.results.killed, 0xAAAAu);
}

TEST(ShaderTexture, Ps1TextureAddressingInstructions) {
    {
        // tex t0; texbem t1, t0 with a bump matrix.
        TokenBuilder b(MakePixelVersion(1, 1));
        b.Ins(OP_TEX, {Dst(REG_TEXTURE, 0)});
        b.Ins(OP_TEXBEM, {Dst(REG_TEXTURE, 1), Src(REG_TEXTURE, 0)});
        b.Ins(OP_MOV, {Dst(REG_TEMP, 0), Src(REG_TEXTURE, 1)});
        PixelRun run;
        run.sampler.bump.m[0][0] = 0.5f;   // du scales into u
        run.sampler.bump.m[1][1] = 0.25f;  // dv scales into v
        RunPixels(b.End(), {0.2f, 0.4f, 0.6f, 0.8f}, {0, 0, 0, 0}, &run, {0.1f, 0.1f, 0, 0});
        const Vec4 r = Lane(run.results.color[0], 0);
        // t1 = sample(tc1 + M * t0.xy) = (0.1 + 0.5 * 0.2, 0.1 + 0.25 * 0.4).
        EXPECT_FLOAT_EQ(r.x, 0.2f);
        EXPECT_FLOAT_EQ(r.y, 0.2f);
        EXPECT_EQ(run.sampler.lastSampler, 1u);
        EXPECT_EQ(run.sampler.calls, 2);
    }
    {
        // texreg2ar t1, t0 samples at (t0.a, t0.r); the co-issued alpha move reads t0.
        TokenBuilder b(MakePixelVersion(1, 1));
        b.Ins(OP_TEX, {Dst(REG_TEXTURE, 0)});
        b.Ins(OP_TEXREG2AR, {Dst(REG_TEXTURE, 1), Src(REG_TEXTURE, 0)});
        b.Ins(OP_MOV, {Dst(REG_TEMP, 0, kMaskX | kMaskY | kMaskZ), Src(REG_TEXTURE, 1)});
        b.Ins(OP_MOV, {Dst(REG_TEMP, 0, kMaskW), Src(REG_TEXTURE, 0)}, false, true);
        PixelRun run;
        RunPixels(b.End(), {0.2f, 0.4f, 0.6f, 0.8f}, {0, 0, 0, 0}, &run);
        const Vec4 r = Lane(run.results.color[0], 0);
        EXPECT_FLOAT_EQ(r.x, 0.8f);
        EXPECT_FLOAT_EQ(r.y, 0.2f);
        EXPECT_FLOAT_EQ(r.w, 0.8f);
    }
    {
        // A co-issued pair reads the registers as they were before either wrote.
        TokenBuilder b(MakePixelVersion(1, 1));
        b.Ins(OP_MOV, {Dst(REG_TEMP, 0, kMaskX | kMaskY | kMaskZ), Src(REG_INPUT, 0, kSwizzleWWWW)});
        b.Ins(OP_MOV, {Dst(REG_TEMP, 0, kMaskW), Src(REG_INPUT, 0, kSwizzleZZZZ)}, false, true);
        b.Ins(OP_ADD, {Dst(REG_TEMP, 0, kMaskX | kMaskY | kMaskZ), Src(REG_TEMP, 0, kSwizzleWWWW), Src(REG_TEMP, 0)});
        b.Ins(OP_MOV, {Dst(REG_TEMP, 0, kMaskW), Src(REG_TEMP, 0, kSwizzleZZZZ)}, false, true);
        auto program = MustCreate(b.End(), ShaderKind::Pixel);
        ASSERT_NE(program, nullptr);
        PixelBatch batch;
        batch.quads = 1;
        SetAll(&batch.input[kPixelSlotColor0], 0, 0, 0.25f, 0.5f);
        PixelResults results;
        program->RunPixels(ShaderConstants(), nullptr, batch, &results);
        // r0 = (0.5, 0.5, 0.5, 0.25); then rgb = 0.25 + 0.5 and a = old b = 0.5.
        EXPECT_FLOAT_EQ(results.color[0].v[0][0], 0.75f);
        EXPECT_FLOAT_EQ(results.color[0].v[3][0], 0.5f);
    }
    {
        // texm3x2pad t1, t0; texm3x2tex t2, t0: samples stage 2 at (tc1 . t0, tc2 . t0).
        TokenBuilder b(MakePixelVersion(1, 1));
        b.Ins(OP_TEXCOORD, {Dst(REG_TEXTURE, 0)});
        b.Ins(OP_TEXM3x2PAD, {Dst(REG_TEXTURE, 1), Src(REG_TEXTURE, 0)});
        b.Ins(OP_TEXM3x2TEX, {Dst(REG_TEXTURE, 2), Src(REG_TEXTURE, 0)});
        b.Ins(OP_MOV, {Dst(REG_TEMP, 0), Src(REG_TEXTURE, 2)});
        auto program = MustCreate(b.End(), ShaderKind::Pixel);
        ASSERT_NE(program, nullptr);
        PixelBatch batch;
        batch.quads = 1;
        SetAll(&batch.input[kPixelSlotTexcoord0], 0.5f, 0.25f, 1.5f, 0);   // texcoord clamps z to 1
        SetAll(&batch.input[kPixelSlotTexcoord0 + 1], 0.2f, 0.4f, 0.1f, 0);
        SetAll(&batch.input[kPixelSlotTexcoord0 + 2], 0, 0.8f, 0, 0);
        EchoSampler sampler;
        PixelResults results;
        program->RunPixels(ShaderConstants(), &sampler, batch, &results);
        EXPECT_EQ(sampler.lastSampler, 2u);
        EXPECT_FLOAT_EQ(results.color[0].v[0][0], 0.3f);
        EXPECT_FLOAT_EQ(results.color[0].v[1][0], 0.2f);
    }
}

TEST(ShaderTexture, Ps14PhasesReadComputedCoordinates) {
    // texcrd r0, t0; phase; texld r1, r0 (dependent read of a computed coordinate); cnd.
    TokenBuilder b(MakePixelVersion(1, 4));
    b.Def(0, 0.5f, 0.5f, 0.5f, 0.5f);
    b.Ins(OP_TEXCOORD, {Dst(REG_TEMP, 0, kMaskX | kMaskY | kMaskZ), Src(REG_TEXTURE, 0)});
    b.Ins(OP_ADD, {Dst(REG_TEMP, 0, kMaskX | kMaskY | kMaskZ), Src(REG_TEMP, 0), Src(REG_CONST, 0)});
    b.Raw(MakeInstruction(OP_PHASE));
    b.Ins(OP_TEX, {Dst(REG_TEMP, 1), Src(REG_TEMP, 0)});
    b.Ins(OP_CND, {Dst(REG_TEMP, 0), Src(REG_TEMP, 1), Src(REG_CONST, 0), Src(REG_TEMP, 1, kSwizzleIdentity, SRCMOD_NEG)});
    PixelRun run;
    RunPixels(b.End(), {0.25f, -0.25f, 0.5f, 0}, {0, 0, 0, 0}, &run);
    EXPECT_EQ(run.sampler.lastSampler, 1u);
    const Vec4 r = Lane(run.results.color[0], 0);
    // r1 = (0.75, 0.25, 1, 1): components above 0.5 take c0, the rest -r1.
    EXPECT_FLOAT_EQ(r.x, 0.5f);
    EXPECT_FLOAT_EQ(r.y, -0.25f);
    EXPECT_FLOAT_EQ(r.z, 0.5f);
}

}  // namespace
}  // namespace gfx::test

namespace gfx::test {
namespace {

// ps_1_x dot-product and bump instructions against values worked out by hand.
// t0 = texcoord t0 = (0.5, 0.25, 0.125, 1); the other stages' coordinates:
const Vec4 kTc[4] = {{0.5f, 0.25f, 0.125f, 0}, {0.4f, 0.4f, 0.8f, 0.1f}, {0.2f, 0.8f, 0, 0.2f}, {0.8f, 0.8f, 0.8f, 0.3f}};
// Their dot products with t0.rgb.
constexpr float kD1 = 0.4f, kD2 = 0.3f, kD3 = 0.7f;

struct Ps1Case {
    const char* name;
    DWORD version;
    std::vector<std::vector<DWORD>> body;  // after "texcoord t0"; the result is copied from `result`
    DWORD result;                          // texture register holding the result
    Vec4 expected;
    float depth = -1;                      // expected oDepth when >= 0
};

TEST(ShaderTexture, Ps1DotProductFamily) {
    const float ne = kD1 * 0.1f + kD2 * 0.2f + kD3 * 0.3f, nn = kD1 * kD1 + kD2 * kD2 + kD3 * kD3;
    const Vec4 reflected = {2 * kD1 * ne / nn - 0.1f, 2 * kD2 * ne / nn - 0.2f, 2 * kD3 * ne / nn - 0.3f, 0};
    const DWORD ps11 = MakePixelVersion(1, 1), ps12 = MakePixelVersion(1, 2), ps13 = MakePixelVersion(1, 3);
    const Ps1Case cases[] = {
        {"texdp3tex", ps12, {{OP_TEXDP3TEX, Dst(REG_TEXTURE, 1), Src(REG_TEXTURE, 0)}}, 1, {kD1, 0, 0, 0}},
        {"texdp3", ps12, {{OP_TEXDP3, Dst(REG_TEXTURE, 1), Src(REG_TEXTURE, 0)}}, 1, {kD1, kD1, kD1, kD1}},
        {"texm3x3", ps12,
         {{OP_TEXM3x3PAD, Dst(REG_TEXTURE, 1), Src(REG_TEXTURE, 0)}, {OP_TEXM3x3PAD, Dst(REG_TEXTURE, 2), Src(REG_TEXTURE, 0)},
          {OP_TEXM3x3, Dst(REG_TEXTURE, 3), Src(REG_TEXTURE, 0)}},
         3, {kD1, kD2, kD3, 1}},
        {"texm3x3tex", ps11,
         {{OP_TEXM3x3PAD, Dst(REG_TEXTURE, 1), Src(REG_TEXTURE, 0)}, {OP_TEXM3x3PAD, Dst(REG_TEXTURE, 2), Src(REG_TEXTURE, 0)},
          {OP_TEXM3x3TEX, Dst(REG_TEXTURE, 3), Src(REG_TEXTURE, 0)}},
         3, {kD1, kD2, kD3, 0}},
        {"texm3x3vspec", ps11,
         {{OP_TEXM3x3PAD, Dst(REG_TEXTURE, 1), Src(REG_TEXTURE, 0)}, {OP_TEXM3x3PAD, Dst(REG_TEXTURE, 2), Src(REG_TEXTURE, 0)},
          {OP_TEXM3x3VSPEC, Dst(REG_TEXTURE, 3), Src(REG_TEXTURE, 0)}},
         3, reflected},
        {"texm3x2depth", ps13,
         {{OP_TEXM3x2PAD, Dst(REG_TEXTURE, 2), Src(REG_TEXTURE, 0)}, {OP_TEXM3x2DEPTH, Dst(REG_TEXTURE, 3), Src(REG_TEXTURE, 0)}},
         0, {0.5f, 0.25f, 0.125f, 1}, kD2 / kD3},
        {"texbeml", ps11, {{OP_TEXBEML, Dst(REG_TEXTURE, 1), Src(REG_TEXTURE, 0)}}, 1,
         {(0.4f + 0.5f * 0.5f) * 0.625f, (0.4f + 0.5f * 0.25f) * 0.625f, 0.8f * 0.625f, 0.1f}},
    };
    for (const Ps1Case& t : cases) {
        TokenBuilder b(t.version);
        b.Ins(OP_TEXCOORD, {Dst(REG_TEXTURE, 0)});
        for (const auto& ins : t.body) {
            b.Raw(ins[0]);
            for (size_t i = 1; i < ins.size(); ++i) b.Raw(ins[i]);
        }
        b.Ins(OP_MOV, {Dst(REG_TEMP, 0), Src(REG_TEXTURE, t.result)});
        auto program = MustCreate(b.End(), ShaderKind::Pixel);
        ASSERT_NE(program, nullptr) << t.name;
        PixelBatch batch;
        batch.quads = 1;
        for (int s = 0; s < 4; ++s) SetAll(&batch.input[kPixelSlotTexcoord0 + s], kTc[s].x, kTc[s].y, kTc[s].z, kTc[s].w);
        EchoSampler sampler;
        sampler.bump.m[0][0] = sampler.bump.m[1][1] = 0.5f;
        sampler.bump.lscale = 0.5f;  // luminance = 0.125 * 0.5 + 0.5625
        sampler.bump.loffset = 0.5625f;
        for (ExecPath path : {ExecPath::Simd, ExecPath::Reference, ExecPath::Compiled}) {
            PixelResults results;
            program->RunPixels(ShaderConstants(), &sampler, batch, &results, path);
            const Vec4 r = Lane(results.color[0], 1);
            EXPECT_NEAR(r.x, t.expected.x, 1e-5f) << t.name;
            EXPECT_NEAR(r.y, t.expected.y, 1e-5f) << t.name;
            EXPECT_NEAR(r.z, t.expected.z, 1e-5f) << t.name;
            EXPECT_NEAR(r.w, t.expected.w, 1e-5f) << t.name;
            if (t.depth >= 0) {
                EXPECT_TRUE(program->DepthWritten());
                EXPECT_NEAR(results.depth[1], t.depth, 1e-5f) << t.name;
            }
        }
    }
}

TEST(ShaderTexture, Ps14BemAndTexdepth) {
    TokenBuilder b(MakePixelVersion(1, 4));
    b.Def(0, 0.25f, 0.5f, 0, 0);
    b.Ins(OP_TEXCOORD, {Dst(REG_TEMP, 0, kMaskX | kMaskY | kMaskZ), Src(REG_TEXTURE, 0)});
    b.Ins(OP_TEXCOORD, {Dst(REG_TEMP, 1, kMaskX | kMaskY | kMaskZ), Src(REG_TEXTURE, 1)});
    b.Ins(OP_BEM, {Dst(REG_TEMP, 2, kMaskX | kMaskY), Src(REG_TEMP, 0), Src(REG_TEMP, 1)});
    b.Ins(OP_MOV, {Dst(REG_TEMP, 5), Src(REG_CONST, 0)});
    b.Raw(MakeInstruction(OP_PHASE));
    b.Ins(OP_TEXDEPTH, {Dst(REG_TEMP, 5)});
    b.Ins(OP_MOV, {Dst(REG_TEMP, 0), Src(REG_TEMP, 2)});
    auto program = MustCreate(b.End(), ShaderKind::Pixel);
    ASSERT_NE(program, nullptr);
    PixelBatch batch;
    batch.quads = 1;
    SetAll(&batch.input[kPixelSlotTexcoord0], 0.1f, 0.2f, 0, 0);
    SetAll(&batch.input[kPixelSlotTexcoord0 + 1], 0.5f, 0.25f, 0, 0);
    EchoSampler sampler;
    sampler.bump.m[0][0] = 0.5f;
    sampler.bump.m[1][0] = 1.0f;
    sampler.bump.m[0][1] = 2.0f;
    PixelResults results;
    program->RunPixels(ShaderConstants(), &sampler, batch, &results);
    // r2.x = 0.1 + 0.5 * 0.5 + 1 * 0.25, r2.y = 0.2 + 2 * 0.5 + 0 * 0.25
    EXPECT_FLOAT_EQ(results.color[0].v[0][0], 0.6f);
    EXPECT_FLOAT_EQ(results.color[0].v[1][0], 1.2f);
    EXPECT_FLOAT_EQ(results.depth[0], 0.5f);
    EXPECT_TRUE(program->DepthWritten());
}

}  // namespace
}  // namespace gfx::test
