// Flow control: static and dynamic branches, loops with aL, rep, breaks,
// subroutines, predication, and the bounds that keep every program finite.
#include <gtest/gtest.h>

#include "gfx/shaders/shader_exec.h"
#include "shader_test_util.h"

namespace gfx::test {
namespace {

// Runs a vs_3_0 program whose result is o0 (dcl texcoord0) with v0 per lane.
std::vector<float> RunVs3(const std::vector<DWORD>& tokens, const ShaderConstants& k, const std::vector<float>& v0x,
                          ExecPath path = ExecPath::Simd) {
    auto program = MustCreate(tokens, ShaderKind::Vertex);
    if (!program) return {};
    VertexBatch batch;
    batch.count = static_cast<int>(v0x.size());
    for (size_t i = 0; i < v0x.size(); ++i) SetLane(&batch.input[0], static_cast<int>(i), v0x[i], 0, 0, 0);
    VertexResults r;
    program->RunVertices(k, nullptr, batch, &r, path);
    std::vector<float> out;
    for (size_t i = 0; i < v0x.size(); ++i) out.push_back(r.output[0].v[0][i]);
    return out;
}

TokenBuilder Vs3() {
    TokenBuilder b(MakeVertexVersion(3, 0));
    b.DclUsage(REG_INPUT, 0, USAGE_POSITION).DclUsage(REG_OUTPUT, 0, USAGE_TEXCOORD, 0);
    return b;
}

TEST(ShaderFlow, StaticIfElseFollowsBoolConstantsAndDefb) {
    for (int useDefb = 0; useDefb < 2; ++useDefb) {
        for (BOOL b0 : {FALSE, TRUE}) {
            TokenBuilder b = Vs3();
            if (useDefb) b.DefB(0, true);
            b.Def(0, 1, 0, 0, 0).Def(1, 2, 0, 0, 0);
            b.Ins(OP_IF, {Src(REG_CONSTBOOL, 0)});
            b.Ins(OP_MOV, {Dst(REG_OUTPUT, 0), Src(REG_CONST, 0)});
            b.Ins(OP_ELSE, {});
            b.Ins(OP_MOV, {Dst(REG_OUTPUT, 0), Src(REG_CONST, 1)});
            b.Ins(OP_ENDIF, {});
            ShaderConstants k;
            k.b[0] = b0;
            const float want = (useDefb || b0) ? 1.0f : 2.0f;
            EXPECT_EQ(RunVs3(b.End(), k, {0})[0], want) << "defb " << useDefb << " b0 " << b0;
        }
    }
}

TEST(ShaderFlow, DynamicBranchesDivergePerLane) {
    // if_lt v0.x, c0.x: r0 = 10 else r0 = 20; nested if_gt inside else.
    TokenBuilder b = Vs3();
    b.Def(0, 0, 10, 20, 30);
    b.Ins(WithComparison(OP_IFC, CMP_LT), {Src(REG_INPUT, 0, Swz("x")), Src(REG_CONST, 0, Swz("x"))});
    b.Ins(OP_MOV, {Dst(REG_TEMP, 0), Src(REG_CONST, 0, Swz("y"))});
    b.Ins(OP_ELSE, {});
    b.Ins(OP_MOV, {Dst(REG_TEMP, 0), Src(REG_CONST, 0, Swz("z"))});
    b.Ins(WithComparison(OP_IFC, CMP_GT), {Src(REG_INPUT, 0, Swz("x")), Src(REG_CONST, 0, Swz("y"))});
    b.Ins(OP_MOV, {Dst(REG_TEMP, 0), Src(REG_CONST, 0, Swz("w"))});
    b.Ins(OP_ENDIF, {});
    b.Ins(OP_ENDIF, {});
    b.Ins(OP_MOV, {Dst(REG_OUTPUT, 0), Src(REG_TEMP, 0)});
    const auto tokens = b.End();
    for (ExecPath path : {ExecPath::Simd, ExecPath::Reference, ExecPath::Compiled}) {
        EXPECT_EQ(RunVs3(tokens, {}, {-1, 5, 11, -3, 0}, path), (std::vector<float>{10, 20, 30, 10, 20}));
    }
}

TEST(ShaderFlow, LoopsRepeatWithLoopCounterAndBreak) {
    ShaderConstants k;
    for (int i = 0; i < 256; ++i) k.f[i][0] = static_cast<float>(i);
    // loop aL, i0 (count 4, start 2, step 3): r0 += c[aL] -> 2 + 5 + 8 + 11 = 26.
    TokenBuilder b = Vs3();
    b.DefI(0, 4, 2, 3, 0);
    b.Ins(OP_MOV, {Dst(REG_TEMP, 0), Src(REG_CONST, 0, Swz("x"), SRCMOD_NEG)});
    b.Ins(OP_ADD, {Dst(REG_TEMP, 0), Src(REG_TEMP, 0), Src(REG_CONST, 0)});  // r0 = 0
    b.Ins(OP_LOOP, {Src(REG_LOOP, 0), Src(REG_CONSTINT, 0)});
    b.Ins(OP_ADD, {Dst(REG_TEMP, 0), Src(REG_TEMP, 0), MakeSource(REG_CONST, 0, kSwizzleIdentity, 0, true), MakeRelativeAddress(REG_LOOP, 0)});
    b.Ins(OP_ENDLOOP, {});
    b.Ins(OP_MOV, {Dst(REG_OUTPUT, 0), Src(REG_TEMP, 0)});
    EXPECT_EQ(RunVs3(b.End(), k, {0})[0], 26.0f);

    // rep i1 (count from SetVertexShaderConstantI) with break_ge r0.x, v0.x: lanes
    // leave at different iterations.
    TokenBuilder c = Vs3();
    c.Def(200, 1, 0, 0, 0);
    c.Ins(OP_REP, {Src(REG_CONSTINT, 1)});
    c.Ins(WithComparison(OP_BREAKC, CMP_GE), {Src(REG_TEMP, 0, Swz("x")), Src(REG_INPUT, 0, Swz("x"))});
    c.Ins(OP_ADD, {Dst(REG_TEMP, 0), Src(REG_TEMP, 0), Src(REG_CONST, 200)});
    c.Ins(OP_ENDREP, {});
    c.Ins(OP_MOV, {Dst(REG_OUTPUT, 0), Src(REG_TEMP, 0)});
    ShaderConstants k2;
    k2.i[1][0] = 6;
    for (ExecPath path : {ExecPath::Simd, ExecPath::Reference, ExecPath::Compiled}) {
        EXPECT_EQ(RunVs3(c.End(), k2, {0, 2, 3.5f, 100}, path), (std::vector<float>{0, 2, 4, 6}));
    }
    // Counts are clamped to 255 iterations: 1000 requested still ends.
    k2.i[1][0] = 1000;
    EXPECT_EQ(RunVs3(c.End(), k2, {1e9f})[0], 255.0f);
}

TEST(ShaderFlow, SubroutinesCallReturnAndCallnz) {
    // call l1 (adds 1), callnz l2 b0 (adds 10), callnz l2 !b0, then ret; l1 calls l2 too.
    TokenBuilder b = Vs3();
    b.Def(0, 1, 10, 0, 0);
    b.Ins(OP_CALL, {Src(REG_LABEL, 1)});
    b.Ins(OP_CALLNZ, {Src(REG_LABEL, 2), Src(REG_CONSTBOOL, 0)});
    b.Ins(OP_CALLNZ, {Src(REG_LABEL, 2), Src(REG_CONSTBOOL, 0, kSwizzleIdentity, SRCMOD_NOT)});
    b.Ins(OP_MOV, {Dst(REG_OUTPUT, 0), Src(REG_TEMP, 0)});
    b.Ins(OP_RET, {});
    b.Ins(OP_LABEL, {Src(REG_LABEL, 1)});
    b.Ins(OP_ADD, {Dst(REG_TEMP, 0), Src(REG_TEMP, 0), Src(REG_CONST, 0, Swz("x"))});
    b.Ins(OP_CALL, {Src(REG_LABEL, 2)});
    b.Ins(OP_RET, {});
    b.Ins(OP_LABEL, {Src(REG_LABEL, 2)});
    b.Ins(OP_ADD, {Dst(REG_TEMP, 0), Src(REG_TEMP, 0), Src(REG_CONST, 0, Swz("y"))});
    b.Ins(OP_RET, {});
    ShaderConstants k;
    k.b[0] = TRUE;
    EXPECT_EQ(RunVs3(b.End(), k, {0})[0], 21.0f);

    // A subroutine that calls itself stops at the call depth limit.
    TokenBuilder r = Vs3();
    r.Def(0, 1, 0, 0, 0);
    r.Ins(OP_CALL, {Src(REG_LABEL, 0)});
    r.Ins(OP_MOV, {Dst(REG_OUTPUT, 0), Src(REG_TEMP, 0)});
    r.Ins(OP_RET, {});
    r.Ins(OP_LABEL, {Src(REG_LABEL, 0)});
    r.Ins(OP_ADD, {Dst(REG_TEMP, 0), Src(REG_TEMP, 0), Src(REG_CONST, 0)});
    r.Ins(OP_CALL, {Src(REG_LABEL, 0)});
    r.Ins(OP_RET, {});
    EXPECT_EQ(RunVs3(r.End(), {}, {0})[0], static_cast<float>(exec::kMaxCallDepth));
}

TEST(ShaderFlow, PredicationAndNestedLoopsStayBounded) {
    // setp_gt p0, v0, c0; (p0.x) mov r0, c1; (!p0.x) add r0, r0, c2.
    TokenBuilder b = Vs3();
    b.Def(0, 0, 0, 0, 0).Def(1, 5, 0, 0, 0).Def(2, -1, 0, 0, 0);
    b.Ins(WithComparison(OP_SETP, CMP_GT), {Dst(REG_PREDICATE, 0), Src(REG_INPUT, 0), Src(REG_CONST, 0)});
    b.Ins(OP_MOV, {Dst(REG_TEMP, 0), MakeSource(REG_PREDICATE, 0, kSwizzleXXXX), Src(REG_CONST, 1)}, true);
    b.Ins(OP_ADD, {Dst(REG_TEMP, 0), MakeSource(REG_PREDICATE, 0, kSwizzleXXXX, SRCMOD_NOT), Src(REG_TEMP, 0), Src(REG_CONST, 2)}, true);
    b.Ins(OP_MOV, {Dst(REG_OUTPUT, 0), Src(REG_TEMP, 0)});
    for (ExecPath path : {ExecPath::Simd, ExecPath::Reference, ExecPath::Compiled}) {
        EXPECT_EQ(RunVs3(b.End(), {}, {1, -1, 0}, path), (std::vector<float>{5, -1, -1}));
    }
    // Four nested 255-iteration loops would run for billions of steps; the
    // executed-instruction budget ends the loops and the program finishes.
    TokenBuilder n = Vs3();
    n.DefI(0, 255, 0, 1, 0).Def(0, 1, 0, 0, 0);
    for (int i = 0; i < 4; ++i) n.Ins(OP_REP, {Src(REG_CONSTINT, 0)});
    n.Ins(OP_ADD, {Dst(REG_TEMP, 0), Src(REG_TEMP, 0), Src(REG_CONST, 0)});
    for (int i = 0; i < 4; ++i) n.Ins(OP_ENDREP, {});
    n.Ins(OP_MOV, {Dst(REG_OUTPUT, 0), Src(REG_TEMP, 0)});
    const float sum = RunVs3(n.End(), {}, {0})[0];
    EXPECT_GT(sum, 1000.0f);
    EXPECT_LE(sum, static_cast<float>(exec::kMaxExecutedOps));
}

}  // namespace
}  // namespace gfx::test
