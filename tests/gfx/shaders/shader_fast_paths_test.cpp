// The interpreter's shortcuts: the register file reused between calls on one
// thread (only what a program may read before writing is cleared), outputs
// copied back only when written, and the structure-of-arrays sampler entry.
#include <gtest/gtest.h>

#include "gfx/shaders/shader_jit.h"
#include "shader_test_util.h"

namespace gfx::test {
namespace {

PixelBatch FullBatch(float t0x, float t0y) {
    PixelBatch batch;
    batch.quads = kQuads;
    batch.coverage = 0xFFFF;
    for (int l = 0; l < kLanes; ++l) {
        SetLane(&batch.input[kPixelSlotColor0], l, 0.5f, 0.25f, 1.0f, 0.75f);
        SetLane(&batch.input[kPixelSlotTexcoord0], l, t0x + l * 0.125f, t0y - l * 0.0625f, 0, 1);
    }
    return batch;
}

// Leaves r0-r3, oC0-oC3 and oDepth full of non-zero values on this thread.
void Dirty() {
    TokenBuilder b(MakePixelVersion(3, 0));
    b.Def(0, 7, 8, 9, 10);
    for (DWORD r = 0; r < 4; ++r) b.Ins(OP_MOV, {Dst(REG_TEMP, r), Src(REG_CONST, 0)});
    for (DWORD o = 0; o < 4; ++o) b.Ins(OP_MOV, {Dst(REG_COLOROUT, o), Src(REG_CONST, 0)});
    b.Ins(OP_MOV, {Dst(REG_DEPTHOUT, 0, kMaskX), Src(REG_CONST, 0)});
    auto program = MustCreate(b.End(), ShaderKind::Pixel);
    ASSERT_NE(program, nullptr);
    PixelResults results;
    program->RunPixels(ShaderConstants(), nullptr, FullBatch(0, 0), &results);
    ASSERT_EQ(results.color[3].v[2][5], 9.0f);
}

TEST(ShaderFastPaths, RegistersReadBeforeWrittenStartAtZeroOnEveryCall) {
    // r1 accumulates onto itself, oC0 is written partly, r2 partly and then
    // read whole, and oC1-oC3 and oDepth are never written.
    TokenBuilder b(MakePixelVersion(3, 0));
    b.DclUsage(REG_INPUT, 0, USAGE_COLOR, 0);
    b.Def(0, 1, 2, 3, 4);
    b.Ins(OP_ADD, {Dst(REG_TEMP, 1), Src(REG_TEMP, 1), Src(REG_CONST, 0)});
    b.Ins(OP_MOV, {Dst(REG_TEMP, 2, kMaskX | kMaskY), Src(REG_INPUT, 0)});
    b.Ins(OP_ADD, {Dst(REG_TEMP, 1), Src(REG_TEMP, 1), Src(REG_TEMP, 2)});
    b.Ins(OP_MOV, {Dst(REG_COLOROUT, 0, kMaskX | kMaskW), Src(REG_TEMP, 1)});
    auto program = MustCreate(b.End(), ShaderKind::Pixel);
    ASSERT_NE(program, nullptr);
    for (ExecPath path : {ExecPath::Simd, ExecPath::Reference, ExecPath::Compiled}) {
        for (int round = 0; round < 2; ++round) {
            Dirty();
            PixelResults results;
            program->RunPixels(ShaderConstants(), nullptr, FullBatch(0, 0), &results, path);
            for (int l = 0; l < kLanes; ++l) {
                const Vec4 c = Lane(results.color[0], l);
                EXPECT_EQ(c.x, 1.5f) << l;  // 0 + 1 + v0.x
                EXPECT_EQ(c.y, 0.0f) << l;  // not written
                EXPECT_EQ(c.z, 0.0f) << l;
                EXPECT_EQ(c.w, 4.0f) << l;  // 0 + 4 + r2.w (0)
                for (int o = 1; o < kMaxColorOutputs; ++o) EXPECT_EQ(Lane(results.color[o], l).z, 0.0f);
                EXPECT_EQ(results.depth[l], 0.0f);
            }
        }
    }
}

TEST(ShaderFastPaths, UnwrittenOutputsReadZeroWhenResultsAreReused) {
    auto build = [](bool all) {
        TokenBuilder b(MakePixelVersion(3, 0));
        b.Def(0, 3, 4, 5, 6);
        b.Ins(OP_MOV, {Dst(REG_COLOROUT, 0), Src(REG_CONST, 0)});
        if (all) {
            b.Ins(OP_MOV, {Dst(REG_COLOROUT, 2), Src(REG_CONST, 0)});
            b.Ins(OP_MOV, {Dst(REG_DEPTHOUT, 0, kMaskX), Src(REG_CONST, 0, Swz("yyyy"))});
        }
        return b.End();
    };
    auto many = MustCreate(build(true), ShaderKind::Pixel);
    auto one = MustCreate(build(false), ShaderKind::Pixel);
    ASSERT_NE(many, nullptr);
    ASSERT_NE(one, nullptr);
    PixelResults results;
    for (int round = 0; round < 2; ++round) {
        many->RunPixels(ShaderConstants(), nullptr, FullBatch(0, 0), &results);
        EXPECT_EQ(results.color[2].v[1][7], 4.0f);
        EXPECT_EQ(results.depth[7], 4.0f);
        one->RunPixels(ShaderConstants(), nullptr, FullBatch(0, 0), &results);
        one->RunPixels(ShaderConstants(), nullptr, FullBatch(0, 0), &results);
        for (int l = 0; l < kLanes; ++l) {
            EXPECT_EQ(results.color[0].v[2][l], 5.0f);
            EXPECT_EQ(results.color[2].v[1][l], 0.0f);
            EXPECT_EQ(results.depth[l], 0.0f);
        }
    }
    // A caller writing an output itself drops the bit, and the next run clears it.
    results.color[3].v[0][0] = 9.0f;
    results.zeroed &= ~(1u << 3);
    one->RunPixels(ShaderConstants(), nullptr, FullBatch(0, 0), &results);
    EXPECT_EQ(results.color[3].v[0][0], 0.0f);
}

TEST(ShaderFastPaths, WrittenBeforeReadRegistersSurviveDirtyState) {
    // Every register is written whole before it is read: nothing from the
    // previous program on this thread may show through, in any lane.
    TokenBuilder b(MakePixelVersion(2, 0));
    b.DclInput(REG_TEXTURE, 0);
    b.Def(0, 2, 2, 2, 2);
    b.Ins(OP_MUL, {Dst(REG_TEMP, 0), Src(REG_TEXTURE, 0), Src(REG_CONST, 0)});
    b.Ins(OP_MOV, {Dst(REG_COLOROUT, 0), Src(REG_TEMP, 0)});
    auto program = MustCreate(b.End(), ShaderKind::Pixel);
    ASSERT_NE(program, nullptr);
    Dirty();
    PixelResults results;
    program->RunPixels(ShaderConstants(), nullptr, FullBatch(1, 2), &results);
    for (int l = 0; l < kLanes; ++l) {
        EXPECT_EQ(results.color[0].v[0][l], 2 * (1 + l * 0.125f));
        EXPECT_EQ(results.color[0].v[3][l], 2.0f);
        EXPECT_EQ(results.color[1].v[0][l], 0.0f);
    }
}

TEST(ShaderFastPaths, InPlaceResultsMatchTheReference) {
    // Whole, unmodified writes onto a register the same op reads are
    // computed in place on the SIMD path; the reference writes through a copy.
    TokenBuilder b(MakePixelVersion(3, 0));
    b.DclUsage(REG_INPUT, 0, USAGE_COLOR, 0).DclUsage(REG_INPUT, 2, USAGE_TEXCOORD, 0);
    b.Def(0, 0.5f, -1.5f, 2.0f, 0.25f);
    b.Ins(OP_MOV, {Dst(REG_TEMP, 0), Src(REG_INPUT, 0)});
    b.Ins(OP_MOV, {Dst(REG_TEMP, 1), Src(REG_INPUT, 2)});
    b.Ins(OP_MAD, {Dst(REG_TEMP, 0), Src(REG_TEMP, 0), Src(REG_TEMP, 1), Src(REG_TEMP, 0)});
    b.Ins(OP_LRP, {Dst(REG_TEMP, 1), Src(REG_CONST, 0), Src(REG_TEMP, 1), Src(REG_TEMP, 0)});
    b.Ins(OP_CMP, {Dst(REG_TEMP, 0), Src(REG_TEMP, 1), Src(REG_TEMP, 0), Src(REG_TEMP, 1, Swz("wzyx"))});
    b.Ins(OP_MOV, {Dst(REG_TEMP, 0), Src(REG_TEMP, 0)});
    b.Ins(OP_SUB, {Dst(REG_TEMP, 1), Src(REG_TEMP, 1), Src(REG_TEMP, 0, Swz("yzxw"))});
    b.Ins(OP_MAX, {Dst(REG_COLOROUT, 0), Src(REG_TEMP, 0), Src(REG_TEMP, 1)});
    b.Ins(OP_MIN, {Dst(REG_COLOROUT, 1), Src(REG_TEMP, 1), Src(REG_TEMP, 0)});
    auto program = MustCreate(b.End(), ShaderKind::Pixel);
    ASSERT_NE(program, nullptr);
    for (int quads : {kQuads, 2}) {
        PixelBatch batch = FullBatch(-1.0f, 0.5f);
        batch.quads = quads;
        for (int l = 0; l < kLanes; ++l) SetLane(&batch.input[0], l, l * 0.25f - 2, 1.5f - l * 0.5f, 0.125f * l, -l);
        PixelResults simd, reference;
        program->RunPixels(ShaderConstants(), nullptr, batch, &simd, ExecPath::Simd);
        program->RunPixels(ShaderConstants(), nullptr, batch, &reference, ExecPath::Reference);
        for (int o = 0; o < 2; ++o)
            for (int l = 0; l < quads * 4; ++l)
                for (int k = 0; k < 4; ++k)
                    EXPECT_EQ(simd.color[o].v[k][l], reference.color[o].v[k][l]) << quads << "," << o << "," << l;
    }
}

// Sample and SampleFast give the same procedural colour; SampleFast can be
// switched off to stand for a sampler state that needs the level of detail.
class SoaSampler : public TextureSampler {
public:
    static void Colour(float u, float v, float out[4]) {
        out[0] = u * 0.5f;
        out[1] = v + 1.0f;
        out[2] = u * v;
        out[3] = 0.25f;
    }
    void Sample(UINT, const SampleLanes& lanes, float (*out)[4]) override {
        ++slowCalls;
        for (int l = 0; l < kLanes; ++l)
            if (lanes.laneMask >> l & 1) Colour(lanes.coord[l][0], lanes.coord[l][1], out[l]);
    }
    bool SampleFast(UINT sampler, const float* u, const float* v, uint32_t laneMask,
                    float (*out)[kLanes]) const override {
        if (!fast || sampler != 1) return false;
        ++fastCalls;
        for (int l = 0; l < kLanes; ++l) {
            if (!(laneMask >> l & 1)) continue;
            float c[4];
            Colour(u[l], v[l], c);
            for (int k = 0; k < 4; ++k) out[k][l] = c[k];
        }
        return true;
    }
    bool fast = true;
    int slowCalls = 0;
    mutable int fastCalls = 0;
};

TEST(ShaderFastPaths, SoaSamplerEntryMatchesPerLaneSampling) {
    // A projected lookup with a swizzled result, over two of four quads.
    TokenBuilder b(MakePixelVersion(2, 0));
    b.DclInput(REG_TEXTURE, 0).DclSampler(1);
    b.Ins(OP_TEX | kTexControlProject << 16, {Dst(REG_TEMP, 0), Src(REG_TEXTURE, 0), Src(REG_SAMPLER, 1)});
    b.Ins(OP_MOV, {Dst(REG_COLOROUT, 0), Src(REG_TEMP, 0, Swz("wzyx"))});
    auto program = MustCreate(b.End(), ShaderKind::Pixel);
    ASSERT_NE(program, nullptr);
    PixelBatch batch = FullBatch(0.5f, 0.75f);
    batch.quads = 2;
    for (int l = 0; l < kLanes; ++l) batch.input[kPixelSlotTexcoord0].v[3][l] = 2.0f;

    SoaSampler fast, slow;
    slow.fast = false;
    PixelResults viaFast, viaSlow, reference;
    program->RunPixels(ShaderConstants(), &fast, batch, &viaFast, ExecPath::Simd);
    program->RunPixels(ShaderConstants(), &slow, batch, &viaSlow, ExecPath::Simd);
    program->RunPixels(ShaderConstants(), &fast, batch, &reference, ExecPath::Reference);
    EXPECT_EQ(fast.fastCalls, 1);
    EXPECT_EQ(fast.slowCalls, 1);  // the reference path keeps per-lane sampling
    EXPECT_EQ(slow.slowCalls, 1);
    for (int l = 0; l < 8; ++l) {
        float expect[4];
        SoaSampler::Colour((0.5f + l * 0.125f) / 2, (0.75f - l * 0.0625f) / 2, expect);
        for (int k = 0; k < 4; ++k) {
            EXPECT_EQ(viaFast.color[0].v[k][l], expect[3 - k]) << l << "," << k;
            EXPECT_EQ(viaFast.color[0].v[k][l], viaSlow.color[0].v[k][l]);
            EXPECT_EQ(viaFast.color[0].v[k][l], reference.color[0].v[k][l]);
        }
    }
    // Lanes outside the batch read the unbound colour, as with Sample.
    EXPECT_EQ(viaFast.color[0].v[0][12], 1.0f);
    EXPECT_EQ(viaFast.color[0].v[3][12], 0.0f);

    // Compiled code takes the same shortcut, and the interpreter's op when the
    // sampler refuses it; every lane matches the interpreter's.
    ASSERT_EQ(program->WaitForCompiled(), jit::Enabled());
    SoaSampler compiledFast, compiledSlow;
    compiledSlow.fast = false;
    PixelResults fastCode, slowCode;
    program->RunPixels(ShaderConstants(), &compiledFast, batch, &fastCode, ExecPath::Compiled);
    program->RunPixels(ShaderConstants(), &compiledSlow, batch, &slowCode, ExecPath::Compiled);
    EXPECT_EQ(compiledFast.fastCalls, 1);
    EXPECT_EQ(compiledFast.slowCalls, 0);
    EXPECT_EQ(compiledSlow.slowCalls, 1);
    for (int k = 0; k < 4; ++k)
        for (int l = 0; l < kLanes; ++l) {
            EXPECT_EQ(fastCode.color[0].v[k][l], viaFast.color[0].v[k][l]) << l << "," << k;
            EXPECT_EQ(slowCode.color[0].v[k][l], viaSlow.color[0].v[k][l]) << l << "," << k;
        }
}

}  // namespace
}  // namespace gfx::test
