// The SIMD kernels, the compiled code and the per-lane reference agree bit for
// bit on random programs, and programs report their inputs, outputs and samplers.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "gfx/shaders/shader_jit.h"
#include "shader_test_util.h"

namespace gfx::test {
namespace {

bool SameBits(float a, float b) { return (std::isnan(a) && std::isnan(b)) || std::memcmp(&a, &b, 4) == 0; }

// 40 random arithmetic instructions over r0-r7, v0-v3 and c0-c3 with random
// masks, swizzles, modifiers and saturation; r0-r3 are the results.
std::vector<DWORD> RandomProgram(std::mt19937& rng, bool pixel) {
    static const DWORD kPixelOps[] = {OP_MOV, OP_ADD, OP_SUB, OP_MAD, OP_MUL, OP_RCP, OP_RSQ, OP_DP3, OP_DP4,
                                      OP_MIN, OP_MAX, OP_EXP, OP_LOG, OP_LRP, OP_FRC, OP_POW, OP_ABS, OP_NRM,
                                      OP_CMP, OP_DP2ADD, OP_DSX, OP_DSY, OP_SINCOS};
    static const DWORD kVertexOps[] = {OP_MOV, OP_ADD, OP_SUB, OP_MAD, OP_MUL, OP_RCP, OP_RSQ, OP_DP3, OP_DP4,
                                       OP_MIN, OP_MAX, OP_SLT, OP_SGE, OP_EXP, OP_LOG, OP_LIT, OP_DST, OP_LRP,
                                       OP_FRC, OP_POW, OP_CRS, OP_SGN, OP_ABS, OP_NRM, OP_SINCOS, OP_EXPP, OP_LOGP};
    auto pick = [&](int n) { return static_cast<DWORD>(std::uniform_int_distribution<int>(0, n - 1)(rng)); };
    const Profile profile = pixel ? Profile::PS_3_0 : Profile::VS_3_0;
    TokenBuilder b(pixel ? MakePixelVersion(3, 0) : MakeVertexVersion(3, 0));
    for (DWORD i = 0; i < 4; ++i) b.DclUsage(REG_INPUT, i, USAGE_TEXCOORD, i);
    if (!pixel)
        for (DWORD i = 0; i < 4; ++i) b.DclUsage(REG_OUTPUT, i, USAGE_TEXCOORD, i);
    for (DWORD i = 0; i < 8; ++i) b.Ins(OP_MOV, {Dst(REG_TEMP, i), Src(REG_INPUT, i % 4, pick(256))});
    for (int n = 0; n < 40; ++n) {
        const DWORD op = pixel ? kPixelOps[pick(sizeof kPixelOps / sizeof kPixelOps[0])]
                               : kVertexOps[pick(sizeof kVertexOps / sizeof kVertexOps[0])];
        const int sources = FindInstructionForToken(op, profile)->Form(profile) - 1;
        DWORD mask = 1 + pick(15);
        if (op == OP_SINCOS) mask = 1 + pick(3);
        if (op == OP_CRS) mask = 1 + pick(7);
        std::vector<DWORD> params = {Dst(REG_TEMP, pick(8), mask, pick(2) ? kResultSaturate : 0)};
        for (int s = 0; s < sources; ++s) {
            static const DWORD kMods[] = {SRCMOD_NONE, SRCMOD_NEG, SRCMOD_ABS, SRCMOD_ABSNEG};
            const DWORD type = pick(4) == 0 ? REG_CONST : pick(3) == 0 ? REG_INPUT : REG_TEMP;
            params.push_back(Src(type, pick(type == REG_TEMP ? 8 : 4), pick(256), kMods[pick(4)]));
        }
        b.Raw(MakeInstruction(op, static_cast<DWORD>(params.size())));
        for (DWORD p : params) b.Raw(p);
    }
    for (DWORD i = 0; i < 4; ++i) b.Ins(OP_MOV, {Dst(pixel ? REG_COLOROUT : REG_OUTPUT, i), Src(REG_TEMP, i)});
    return b.End();
}

TEST(ShaderPaths, SimdCompiledAndReferenceAgreeOnRandomPrograms) {
    std::mt19937 rng(1234);
    // Half the values come from a small set, so comparisons meet equal operands.
    std::uniform_real_distribution<float> real(-4.0f, 4.0f);
    static const float kSmall[] = {-2.0f, -1.0f, -0.5f, 0.0f, 0.5f, 1.0f, 2.0f};
    auto value = [&](std::mt19937& r) {
        return r() % 2 ? real(r) : kSmall[r() % (sizeof kSmall / sizeof kSmall[0])];
    };
    ShaderConstants k;
    for (int i = 0; i < 4; ++i)
        for (int c = 0; c < 4; ++c) k.f[i][c] = value(rng);
    int compared = 0;
    for (int trial = 0; trial < 60; ++trial) {
        const bool pixel = trial % 2 == 0;
        auto program = MustCreate(RandomProgram(rng, pixel), pixel ? ShaderKind::Pixel : ShaderKind::Vertex);
        ASSERT_NE(program, nullptr);
        ASSERT_EQ(program->WaitForCompiled(), jit::Enabled()) << "trial " << trial;
        PixelBatch batch;
        batch.quads = kQuads;
        batch.coverage = 0x7777;
        for (int i = 0; i < 4; ++i)
            for (int c = 0; c < 4; ++c)
                for (int l = 0; l < kLanes; ++l) batch.input[i].v[c][l] = value(rng);
        LaneVec4 reference[4], other[2][4];
        const ExecPath paths[3] = {ExecPath::Reference, ExecPath::Simd, ExecPath::Compiled};
        for (int p = 0; p < 3; ++p) {
            LaneVec4* out = p == 0 ? reference : other[p - 1];
            if (pixel) {
                PixelResults r;
                program->RunPixels(k, nullptr, batch, &r, paths[p]);
                std::memcpy(out, r.color, sizeof reference);
            } else {
                VertexBatch vb;
                vb.count = kLanes;
                std::memcpy(vb.input, batch.input, sizeof(LaneVec4) * 4);
                VertexResults r;
                program->RunVertices(k, nullptr, vb, &r, paths[p]);
                std::memcpy(out, r.output, sizeof reference);
            }
        }
        for (int p = 0; p < 2; ++p)
            for (int o = 0; o < 4; ++o)
                for (int c = 0; c < 4; ++c)
                    for (int l = 0; l < kLanes; ++l) {
                        ASSERT_TRUE(SameBits(other[p][o].v[c][l], reference[o].v[c][l]))
                            << (p == 0 ? "simd" : "compiled") << " trial " << trial << (pixel ? " oC" : " o") << o
                            << " comp " << c << " lane " << l << ": " << other[p][o].v[c][l] << " vs "
                            << reference[o].v[c][l];
                        ++compared;
                    }
    }
    EXPECT_EQ(compared, 2 * 60 * 4 * 4 * kLanes);
}

TEST(ShaderPaths, ProgramsReportTheirInterface) {
    {
        // vs_1_1 outputs are named by the registers written.
        TokenBuilder b(MakeVertexVersion(1, 1));
        b.DclUsage(REG_INPUT, 0, USAGE_POSITION).DclUsage(REG_INPUT, 3, USAGE_TEXCOORD, 2);
        b.Ins(OP_MOV, {Dst(REG_RASTOUT, kRastoutPosition), Src(REG_INPUT, 0)});
        b.Ins(OP_MOV, {Dst(REG_ATTROUT, 1), Src(REG_INPUT, 0)});
        b.Ins(OP_MOV, {Dst(REG_TEXCRDOUT, 5, kMaskX | kMaskY), Src(REG_INPUT, 3)});
        b.Ins(OP_MOV, {Dst(REG_RASTOUT, kRastoutFog, kMaskX), Src(REG_INPUT, 0)});
        auto p = MustCreate(b.End(), ShaderKind::Vertex);
        ASSERT_NE(p, nullptr);
        ASSERT_EQ(p->Inputs().size(), 2u);
        EXPECT_EQ(p->Inputs()[1].usage, USAGE_TEXCOORD);
        EXPECT_EQ(p->Inputs()[1].usageIndex, 2);
        EXPECT_EQ(p->Inputs()[1].slot, 3);
        ASSERT_EQ(p->Outputs().size(), 4u);
        EXPECT_EQ(p->Outputs()[0].usage, USAGE_POSITION);
        EXPECT_EQ(p->Outputs()[1].usage, USAGE_COLOR);
        EXPECT_EQ(p->Outputs()[1].usageIndex, 1);
        EXPECT_EQ(p->Outputs()[2].usage, USAGE_TEXCOORD);
        EXPECT_EQ(p->Outputs()[2].usageIndex, 5);
        EXPECT_EQ(p->Outputs()[2].mask, kMaskX | kMaskY);
        EXPECT_EQ(p->Outputs()[3].usage, USAGE_FOG);
        EXPECT_EQ(p->PositionSlot(), kSlotPosition);
    }
    {
        // vs_3_0 outputs and samplers come from their declarations.
        TokenBuilder b(MakeVertexVersion(3, 0));
        b.DclUsage(REG_OUTPUT, 4, USAGE_POSITION).DclUsage(REG_OUTPUT, 0, USAGE_COLOR, 1).DclSampler(2, TEXTURE_VOLUME);
        b.Ins(OP_MOV, {Dst(REG_OUTPUT, 4), Src(REG_CONST, 0)});
        auto p = MustCreate(b.End(), ShaderKind::Vertex);
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(p->PositionSlot(), 4);
        ASSERT_EQ(p->Outputs().size(), 2u);
        EXPECT_EQ(p->Outputs()[0].usage, USAGE_COLOR);
        ASSERT_EQ(p->Samplers().size(), 1u);
        EXPECT_EQ(p->Samplers()[0].sampler, 2);
        EXPECT_EQ(p->Samplers()[0].textureType, TEXTURE_VOLUME);
    }
    {
        // Version 3 packs semantics into one register by components; overlapping ones are refused.
        TokenBuilder b(MakeVertexVersion(3, 0));
        b.DclUsage(REG_OUTPUT, 1, USAGE_TEXCOORD, 1, kMaskZ | kMaskW).DclUsage(REG_OUTPUT, 1, USAGE_TEXCOORD, 0, kMaskX | kMaskY);
        b.Ins(OP_MOV, {Dst(REG_OUTPUT, 1), Src(REG_CONST, 0)});
        auto p = MustCreate(b.End(), ShaderKind::Vertex);
        ASSERT_NE(p, nullptr);
        ASSERT_EQ(p->Outputs().size(), 2u);
        EXPECT_EQ(p->Outputs()[0].usageIndex, 0);
        EXPECT_EQ(p->Outputs()[0].mask, kMaskX | kMaskY);
        EXPECT_EQ(p->Outputs()[1].slot, 1);
        EXPECT_EQ(p->Outputs()[1].mask, kMaskZ | kMaskW);
        TokenBuilder c(MakeVertexVersion(3, 0));
        c.DclUsage(REG_OUTPUT, 1, USAGE_TEXCOORD, 1, kMaskY | kMaskZ).DclUsage(REG_OUTPUT, 1, USAGE_TEXCOORD, 0, kMaskX | kMaskY);
        EXPECT_NE(RefusalReason(c.End(), ShaderKind::Vertex).find("declared twice"), std::string::npos);
    }
    {
        // ps_1_1: inputs are the colours and texture stages used; the output is COLOR0.
        TokenBuilder b(MakePixelVersion(1, 1));
        b.Ins(OP_TEX, {Dst(REG_TEXTURE, 1)});
        b.Ins(OP_MUL, {Dst(REG_TEMP, 0), Src(REG_TEXTURE, 1), Src(REG_INPUT, 1)});
        auto p = MustCreate(b.End(), ShaderKind::Pixel);
        ASSERT_NE(p, nullptr);
        ASSERT_EQ(p->Inputs().size(), 2u);
        EXPECT_EQ(p->Inputs()[0].usage, USAGE_COLOR);
        EXPECT_EQ(p->Inputs()[0].usageIndex, 1);
        EXPECT_EQ(p->Inputs()[1].usage, USAGE_TEXCOORD);
        EXPECT_EQ(p->Inputs()[1].slot, kPixelSlotTexcoord0 + 1);
        ASSERT_EQ(p->Outputs().size(), 1u);
        EXPECT_EQ(p->Outputs()[0].usage, USAGE_COLOR);
        ASSERT_EQ(p->Samplers().size(), 1u);
        EXPECT_EQ(p->Samplers()[0].sampler, 1);
    }
    {
        // ps_2_0 writing oC0 and oDepth.
        TokenBuilder b(MakePixelVersion(2, 0));
        b.Ins(OP_MOV, {Dst(REG_COLOROUT, 0), Src(REG_CONST, 0)});
        b.Ins(OP_MOV, {Dst(REG_DEPTHOUT, 0), Src(REG_CONST, 0)});
        auto p = MustCreate(b.End(), ShaderKind::Pixel);
        ASSERT_NE(p, nullptr);
        EXPECT_TRUE(p->DepthWritten());
        ASSERT_EQ(p->Outputs().size(), 2u);
        EXPECT_EQ(p->Outputs()[1].usage, USAGE_DEPTH);
    }
}

}  // namespace
}  // namespace gfx::test
