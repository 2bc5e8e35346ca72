// Compiled shader code against the interpreter's reference where the two
// meet: programs that mix ops the code generator writes itself with ops it
// hands back to the interpreter (relative addressing, predication,
// transcendental functions, derivatives, texkill, general lookups), over
// partial batches, and the programs it leaves alone.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "gfx/shaders/shader_jit.h"
#include "shader_test_util.h"

namespace gfx::test {
namespace {

bool SameBits(float a, float b) { return (std::isnan(a) && std::isnan(b)) || std::memcmp(&a, &b, 4) == 0; }

DWORD Pick(std::mt19937& rng, int n) { return static_cast<DWORD>(std::uniform_int_distribution<int>(0, n - 1)(rng)); }

// vs_3_0: a0 and p0 set up front, then 30 instructions drawn from relative
// constant reads, setp, predicated writes, saturated and masked arithmetic
// and exp/log; r0-r3 are the results.
std::vector<DWORD> MixedVertexProgram(std::mt19937& rng) {
    TokenBuilder b(MakeVertexVersion(3, 0));
    for (DWORD i = 0; i < 4; ++i) b.DclUsage(REG_INPUT, i, USAGE_TEXCOORD, i).DclUsage(REG_OUTPUT, i, USAGE_TEXCOORD, i);
    for (DWORD i = 0; i < 6; ++i) b.Ins(OP_MOV, {Dst(REG_TEMP, i), Src(REG_INPUT, i % 4, Pick(rng, 256))});
    b.Ins(OP_MOVA, {Dst(REG_ADDR, 0, kMaskX), Src(REG_TEMP, 4, kSwizzleXXXX)});
    b.Ins(WithComparison(OP_SETP, CMP_GT), {Dst(REG_PREDICATE, 0), Src(REG_TEMP, 1), Src(REG_TEMP, 2)});
    static const DWORD kArith[] = {OP_ADD, OP_MUL, OP_MAD, OP_MIN, OP_MAX, OP_DP3, OP_FRC, OP_RCP, OP_SGE, OP_NRM};
    static const DWORD kCmp[] = {CMP_GT, CMP_EQ, CMP_GE, CMP_LT, CMP_NE, CMP_LE};
    auto temp = [&](DWORD modifier = 0) { return Src(REG_TEMP, Pick(rng, 6), Pick(rng, 256), modifier); };
    for (int n = 0; n < 30; ++n) {
        const DWORD dst = Dst(REG_TEMP, Pick(rng, 6), 1 + Pick(rng, 15), Pick(rng, 2) ? kResultSaturate : 0);
        switch (Pick(rng, 6)) {
            case 0:
                b.Ins(OP_MOVA, {Dst(REG_ADDR, 0, kMaskX), Src(REG_TEMP, Pick(rng, 6), kSwizzleYYYY)});
                break;
            case 1:  // c[a0.x + n]: beyond the table on either side reads as zero
                b.Ins(OP_ADD, {dst, temp(), MakeSource(REG_CONST, Pick(rng, 8), Pick(rng, 256), 0, true),
                               MakeRelativeAddress(REG_ADDR, 0)});
                break;
            case 2:
                b.Ins(WithComparison(OP_SETP, kCmp[Pick(rng, 6)]), {Dst(REG_PREDICATE, 0, 1 + Pick(rng, 15)), temp(), temp()});
                break;
            case 3:
                b.Ins(OP_MUL, {dst, MakeSource(REG_PREDICATE, 0, Pick(rng, 256), Pick(rng, 2) ? SRCMOD_NOT : 0), temp(),
                               temp(SRCMOD_NEG)},
                      true);
                break;
            case 4: {
                const DWORD op = kArith[Pick(rng, 10)];
                const int sources = FindInstructionForToken(op, Profile::VS_3_0)->Form(Profile::VS_3_0) - 1;
                std::vector<DWORD> params = {op == OP_NRM ? Dst(REG_TEMP, Pick(rng, 6), kMaskX | kMaskY | kMaskZ) : dst};
                for (int s = 0; s < sources; ++s) params.push_back(temp(Pick(rng, 3) == 0 ? SRCMOD_ABS : 0));
                b.Raw(MakeInstruction(op, static_cast<DWORD>(params.size())));
                for (DWORD p : params) b.Raw(p);
                break;
            }
            default:
                b.Ins(Pick(rng, 2) ? OP_EXP : OP_LOG, {dst, Src(REG_TEMP, Pick(rng, 6), kSwizzleZZZZ)});
                break;
        }
    }
    for (DWORD i = 0; i < 4; ++i) b.Ins(OP_MOV, {Dst(REG_OUTPUT, i), Src(REG_TEMP, i)});
    return b.End();
}

TEST(ShaderJit, MixedNativeAndInterpretedVertexOpsMatchTheReference) {
    std::mt19937 rng(2024);
    std::uniform_real_distribution<float> real(-3.0f, 3.0f);
    ShaderConstants k;
    for (int i = 0; i < 16; ++i)
        for (int c = 0; c < 4; ++c) k.f[i][c] = real(rng);
    int native = 0, interpreted = 0;
    for (int trial = 0; trial < 30; ++trial) {
        auto program = MustCreate(MixedVertexProgram(rng), ShaderKind::Vertex);
        ASSERT_NE(program, nullptr);
        ASSERT_EQ(program->WaitForCompiled(), jit::Enabled()) << "trial " << trial;
        if (const jit::CompileStats* stats = program->CompileStatistics()) {
            native += stats->nativeOps;
            interpreted += stats->interpretedOps;
        }
        VertexBatch batch;
        batch.count = 11;  // lanes 11-15 do not run
        for (int i = 0; i < 4; ++i)
            for (int c = 0; c < 4; ++c)
                for (int l = 0; l < kLanes; ++l) batch.input[i].v[c][l] = rng() % 3 == 0 ? float(int(rng() % 5) - 2) : real(rng);
        VertexResults reference, compiled;
        program->RunVertices(k, nullptr, batch, &reference, ExecPath::Reference);
        program->RunVertices(k, nullptr, batch, &compiled, ExecPath::Compiled);
        for (int o = 0; o < 4; ++o)
            for (int c = 0; c < 4; ++c)
                for (int l = 0; l < batch.count; ++l)
                    ASSERT_TRUE(SameBits(compiled.output[o].v[c][l], reference.output[o].v[c][l]))
                        << "trial " << trial << " o" << o << " comp " << c << " lane " << l << ": "
                        << compiled.output[o].v[c][l] << " vs " << reference.output[o].v[c][l];
    }
    if (jit::Enabled()) {
        EXPECT_GT(native, 0);
        EXPECT_GT(interpreted, 0);
    }
}

TEST(ShaderJit, DerivativesTexkillAndGeneralLookupsOverPartialQuads) {
    // The echo sampler refuses the shortcut, so the compiled lookup falls back
    // to the interpreter's general path with derivatives from each quad.
    TokenBuilder b(MakePixelVersion(3, 0));
    b.DclUsage(REG_INPUT, 0, USAGE_TEXCOORD, 0).DclSampler(0);
    b.Ins(OP_TEX, {Dst(REG_TEMP, 0), Src(REG_INPUT, 0), Src(REG_SAMPLER, 0)});
    b.Ins(OP_DSX, {Dst(REG_TEMP, 1), Src(REG_INPUT, 0, Swz("yxwz"))});
    b.Ins(OP_MAD, {Dst(REG_TEMP, 2), Src(REG_TEMP, 0), Src(REG_CONST, 0), Src(REG_TEMP, 1, kSwizzleIdentity, SRCMOD_NEG)});
    b.Ins(OP_TEXKILL, {Dst(REG_TEMP, 2)});
    b.Ins(OP_MOV, {Dst(REG_COLOROUT, 0, kMaskAll, kResultSaturate), Src(REG_TEMP, 2)});
    b.Ins(OP_MUL, {Dst(REG_COLOROUT, 1), Src(REG_TEMP, 1), Src(REG_TEMP, 0, Swz("wzyx"))});
    auto program = MustCreate(b.End(), ShaderKind::Pixel);
    ASSERT_NE(program, nullptr);
    ASSERT_EQ(program->WaitForCompiled(), jit::Enabled());
    if (const jit::CompileStats* stats = program->CompileStatistics()) {
        EXPECT_EQ(stats->nativeOps, 4);       // the lookup (tries the shortcut first), mad, mov_sat, mul
        EXPECT_EQ(stats->interpretedOps, 2);  // dsx, texkill
    }
    std::mt19937 rng(5);
    std::uniform_real_distribution<float> real(-1.0f, 2.0f);
    ShaderConstants k;
    for (int c = 0; c < 4; ++c) k.f[0][c] = real(rng);
    for (int quads = 1; quads <= kQuads; ++quads) {
        PixelBatch batch;
        batch.quads = quads;
        batch.coverage = quads == kQuads ? 0xFFFF : (1u << (4 * quads)) - 1;
        for (int c = 0; c < 4; ++c)
            for (int l = 0; l < kLanes; ++l) batch.input[kPixelSlotTexcoord0].v[c][l] = real(rng);
        EchoSampler s1, s2;
        PixelResults reference, compiled;
        program->RunPixels(k, &s1, batch, &reference, ExecPath::Reference);
        program->RunPixels(k, &s2, batch, &compiled, ExecPath::Compiled);
        EXPECT_EQ(compiled.killed, reference.killed) << quads << " quads";
        for (int o = 0; o < 2; ++o)
            for (int c = 0; c < 4; ++c)
                for (int l = 0; l < 4 * quads; ++l)
                    EXPECT_TRUE(SameBits(compiled.color[o].v[c][l], reference.color[o].v[c][l]))
                        << quads << " quads, oC" << o << " comp " << c << " lane " << l;
    }
}

TEST(ShaderJit, ProgramsWithFlowControlStayInterpreted) {
    TokenBuilder b(MakeVertexVersion(3, 0));
    b.DclUsage(REG_INPUT, 0, USAGE_POSITION).DclUsage(REG_OUTPUT, 0, USAGE_TEXCOORD, 0);
    b.DefI(0, 3, 0, 1, 0);
    b.Ins(OP_MOV, {Dst(REG_TEMP, 0), Src(REG_INPUT, 0)});
    b.Ins(OP_REP, {Src(REG_CONSTINT, 0)});
    b.Ins(OP_ADD, {Dst(REG_TEMP, 0), Src(REG_TEMP, 0), Src(REG_TEMP, 0)});
    b.Ins(OP_ENDREP, {});
    b.Ins(OP_MOV, {Dst(REG_OUTPUT, 0), Src(REG_TEMP, 0)});
    auto program = MustCreate(b.End(), ShaderKind::Vertex);
    ASSERT_NE(program, nullptr);
    EXPECT_FALSE(program->WaitForCompiled());
    EXPECT_EQ(program->CompileStatistics(), nullptr);
    // The compiled path runs it in the interpreter: 1.5 doubled three times.
    VertexBatch batch;
    batch.count = 1;
    SetLane(&batch.input[0], 0, 1.5f, 0, 0, 0);
    VertexResults r;
    program->RunVertices(ShaderConstants(), nullptr, batch, &r, ExecPath::Compiled);
    EXPECT_EQ(r.output[0].v[0][0], 12.0f);
}

}  // namespace
}  // namespace gfx::test
