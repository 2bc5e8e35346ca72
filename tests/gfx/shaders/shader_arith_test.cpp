// Each arithmetic instruction computes its published result, on both the SIMD
// and the reference path.
#include <gtest/gtest.h>

#include <cmath>

#include "shader_test_util.h"

namespace gfx::test {
namespace {

struct ArithCase {
    const char* name;
    DWORD opcode;
    Vec4 a, b, c;
    Vec4 expected;
    DWORD mask = kMaskAll;
};

// vs_2_0: dcl v0-v2; OP r0, v0, v1, v2; mov oT0, r0.
std::vector<DWORD> VsProgram(const ArithCase& t) {
    TokenBuilder b(MakeVertexVersion(2, 0));
    b.DclUsage(REG_INPUT, 0, USAGE_POSITION).DclUsage(REG_INPUT, 1, USAGE_TEXCOORD, 0).DclUsage(REG_INPUT, 2, USAGE_TEXCOORD, 1);
    const int sources = FindInstructionForToken(t.opcode, Profile::VS_2_0)->Form(Profile::VS_2_0) - 1;
    std::vector<DWORD> params = {Dst(REG_TEMP, 0, t.mask)};
    for (int i = 0; i < sources; ++i) params.push_back(Src(REG_INPUT, i));
    b.Raw(MakeInstruction(t.opcode, static_cast<DWORD>(params.size())));
    for (DWORD p : params) b.Raw(p);
    b.Ins(OP_MOV, {Dst(REG_TEXCRDOUT, 0), Src(REG_TEMP, 0)});
    return b.End();
}

Vec4 RunVs(const ShaderProgram& program, const Vec4& a, const Vec4& b, const Vec4& c, ExecPath path,
           int outputSlot = kSlotTexcoord0, const ShaderConstants* constants = nullptr) {
    VertexBatch batch;
    batch.count = kLanes;
    SetAll(&batch.input[0], a.x, a.y, a.z, a.w);
    SetAll(&batch.input[1], b.x, b.y, b.z, b.w);
    SetAll(&batch.input[2], c.x, c.y, c.z, c.w);
    ShaderConstants none;
    VertexResults results;
    program.RunVertices(constants ? *constants : none, nullptr, batch, &results, path);
    const Vec4 first = Lane(results.output[outputSlot], 0);
    const Vec4 last = Lane(results.output[outputSlot], kLanes - 1);
    EXPECT_EQ(std::memcmp(&first, &last, sizeof first), 0) << "lanes with equal inputs differ";
    return first;
}

void ExpectNear(const Vec4& got, const Vec4& want, const char* what) {
    const float g[4] = {got.x, got.y, got.z, got.w}, w[4] = {want.x, want.y, want.z, want.w};
    for (int k = 0; k < 4; ++k) {
        EXPECT_NEAR(g[k], w[k], 1e-5f * std::max(1.0f, std::fabs(w[k]))) << what << " component " << k;
    }
}

TEST(ShaderArith, VertexInstructionsComputePublishedResults) {
    const ArithCase cases[] = {
        {"mov", OP_MOV, {1, -2, 3, -4}, {}, {}, {1, -2, 3, -4}},
        {"add", OP_ADD, {1, 2, 3, 4}, {10, 20, 30, 40}, {}, {11, 22, 33, 44}},
        {"sub", OP_SUB, {1, 2, 3, 4}, {10, 20, 30, 40}, {}, {-9, -18, -27, -36}},
        {"mul", OP_MUL, {1, 2, 3, 4}, {10, 20, 30, 40}, {}, {10, 40, 90, 160}},
        {"mad", OP_MAD, {1, 2, 3, 4}, {2, 2, 2, 2}, {1, 1, 1, -8}, {3, 5, 7, 0}},
        {"dp3", OP_DP3, {1, 2, 3, 4}, {5, 6, 7, 8}, {}, {38, 38, 38, 38}},
        {"dp4", OP_DP4, {1, 2, 3, 4}, {5, 6, 7, 8}, {}, {70, 70, 70, 70}},
        {"min", OP_MIN, {1, 5, -3, 0}, {2, 4, -4, 0}, {}, {1, 4, -4, 0}},
        {"max", OP_MAX, {1, 5, -3, 0}, {2, 4, -4, 0}, {}, {2, 5, -3, 0}},
        {"slt", OP_SLT, {1, 5, -3, 0}, {2, 4, -4, 0}, {}, {1, 0, 0, 0}},
        {"sge", OP_SGE, {1, 5, -3, 0}, {2, 4, -4, 0}, {}, {0, 1, 1, 1}},
        {"rcp reads x", OP_RCP, {4, 2, 8, 16}, {}, {}, {0.25f, 0.25f, 0.25f, 0.25f}},
        {"rsq of a negative", OP_RSQ, {-16, 1, 1, 1}, {}, {}, {0.25f, 0.25f, 0.25f, 0.25f}},
        {"exp", OP_EXP, {3, 0, 0, 0}, {}, {}, {8, 8, 8, 8}},
        {"log of a negative", OP_LOG, {-8, 0, 0, 0}, {}, {}, {3, 3, 3, 3}},
        {"lit lit", OP_LIT, {0.5f, 0.25f, 9, 2}, {}, {}, {1, 0.5f, 0.0625f, 1}},
        {"lit facing away", OP_LIT, {-1, 0.5f, 9, 2}, {}, {}, {1, 0, 0, 1}},
        {"dst", OP_DST, {9, 2, 3, 9}, {9, 4, 9, 5}, {}, {1, 8, 3, 5}},
        {"lrp", OP_LRP, {0.25f, 0, 1, 0.5f}, {4, 4, 4, 4}, {0, 0, 0, 8}, {1, 0, 4, 6}},
        {"frc", OP_FRC, {1.25f, -1.25f, 0, 3.5f}, {}, {}, {0.25f, 0.75f, 0, 0.5f}},
        {"pow", OP_POW, {-2, 0, 0, 0}, {3, 0, 0, 0}, {}, {8, 8, 8, 8}},
        {"crs", OP_CRS, {1, 0, 0, 7}, {0, 1, 0, 7}, {}, {0, 0, 1, 0}, kMaskX | kMaskY | kMaskZ},
        {"sgn", OP_SGN, {-3, 0, 2, -0.5f}, {}, {}, {-1, 0, 1, -1}},
        {"abs", OP_ABS, {-3, 0, 2, -0.5f}, {}, {}, {3, 0, 2, 0.5f}},
        {"nrm", OP_NRM, {3, 0, 4, 2}, {}, {}, {0.6f, 0, 0.8f, 0.4f}},
        {"write mask keeps the rest", OP_ADD, {1, 1, 1, 1}, {1, 1, 1, 1}, {}, {2, 0, 2, 0}, kMaskX | kMaskZ},
    };
    for (const ArithCase& t : cases) {
        auto program = MustCreate(VsProgram(t), ShaderKind::Vertex);
        ASSERT_NE(program, nullptr) << t.name;
        ExpectNear(RunVs(*program, t.a, t.b, t.c, ExecPath::Simd), t.expected, t.name);
        ExpectNear(RunVs(*program, t.a, t.b, t.c, ExecPath::Reference), t.expected, t.name);
    }
}

TEST(ShaderArith, MatrixInstructionsUseConsecutiveRows) {
    // Rows in c4-c7; components outside the mask keep the vector's values.
    ShaderConstants k;
    const float rows[4][4] = {{1, 0, 0, 1}, {0, 2, 0, 0}, {0, 0, 3, 0}, {1, 1, 1, 1}};
    std::memcpy(k.f[4], rows, sizeof rows);
    struct MatrixCase {
        DWORD opcode;
        DWORD mask;
        Vec4 expected;
    } cases[] = {
        {OP_M4x4, kMaskAll, {3, 4, 9, 8}},
        {OP_M4x3, kMaskX | kMaskY | kMaskZ, {3, 4, 9, 2}},
        {OP_M3x4, kMaskAll, {1, 4, 9, 6}},
        {OP_M3x3, kMaskX | kMaskY | kMaskZ, {1, 4, 9, 2}},
        {OP_M3x2, kMaskX | kMaskY, {1, 4, 3, 2}},
    };
    for (const MatrixCase& t : cases) {
        TokenBuilder b(MakeVertexVersion(2, 0));
        b.DclUsage(REG_INPUT, 0, USAGE_POSITION);
        // The destination is also the vector source: every row must still read the old value.
        b.Ins(OP_MOV, {Dst(REG_TEMP, 0), Src(REG_INPUT, 0)});
        b.Ins(t.opcode, {Dst(REG_TEMP, 0, t.mask), Src(REG_TEMP, 0), Src(REG_CONST, 4)});
        b.Ins(OP_MOV, {Dst(REG_TEXCRDOUT, 0), Src(REG_TEMP, 0)});
        auto program = MustCreate(b.End(), ShaderKind::Vertex);
        ASSERT_NE(program, nullptr);
        for (ExecPath path : {ExecPath::Simd, ExecPath::Reference, ExecPath::Compiled}) {
            ExpectNear(RunVs(*program, {1, 2, 3, 2}, {}, {}, path, kSlotTexcoord0, &k), t.expected,
                       FindInstructionForToken(t.opcode, Profile::VS_2_0)->name);
        }
    }
}

TEST(ShaderArith, SincosAndVs11ScalarForms) {
    {
        TokenBuilder b(MakeVertexVersion(2, 0));
        b.DclUsage(REG_INPUT, 0, USAGE_POSITION);
        b.Ins(OP_SINCOS, {Dst(REG_TEMP, 0, kMaskX | kMaskY), Src(REG_INPUT, 0, kSwizzleXXXX), Src(REG_CONST, 0), Src(REG_CONST, 1)});
        b.Ins(OP_MOV, {Dst(REG_TEXCRDOUT, 0), Src(REG_TEMP, 0)});
        auto program = MustCreate(b.End(), ShaderKind::Vertex);
        ASSERT_NE(program, nullptr);
        ExpectNear(RunVs(*program, {1.0f, 0, 0, 0}, {}, {}, ExecPath::Simd), {std::cos(1.0f), std::sin(1.0f), 0, 0}, "sincos");
    }
    {
        // vs_1_1: rcp with no swizzle reads w; expp/logp give their four-part results.
        TokenBuilder b(MakeVertexVersion(1, 1));
        b.DclUsage(REG_INPUT, 0, USAGE_POSITION);
        b.Ins(OP_RCP, {Dst(REG_TEMP, 0, kMaskX), Src(REG_INPUT, 0)});
        b.Ins(OP_EXPP, {Dst(REG_TEXCRDOUT, 0), Src(REG_INPUT, 0, kSwizzleYYYY)});
        b.Ins(OP_LOGP, {Dst(REG_TEXCRDOUT, 1), Src(REG_INPUT, 0, kSwizzleZZZZ)});
        b.Ins(OP_MOV, {Dst(REG_TEXCRDOUT, 2), Src(REG_TEMP, 0)});
        auto program = MustCreate(b.End(), ShaderKind::Vertex);
        ASSERT_NE(program, nullptr);
        for (ExecPath path : {ExecPath::Simd, ExecPath::Reference, ExecPath::Compiled}) {
            ExpectNear(RunVs(*program, {8, 2.5f, 12, 4}, {}, {}, path, kSlotTexcoord0), {4, 0.5f, std::exp2(2.5f), 1}, "expp");
            ExpectNear(RunVs(*program, {8, 2.5f, 12, 4}, {}, {}, path, kSlotTexcoord0 + 1), {3, 1.5f, std::log2(12.0f), 1}, "logp");
            ExpectNear(RunVs(*program, {8, 2.5f, 12, 4}, {}, {}, path, kSlotTexcoord0 + 2), {0.25f, 0, 0, 0}, "rcp .w");
        }
    }
}

// ps_2_0: dcl v0, t0, t1; OP r0, v0, t0, t1; mov oC0, r0 — pixel-only instructions.
TEST(ShaderArith, PixelInstructionsComputePublishedResults) {
    const ArithCase cases[] = {
        {"cmp", OP_CMP, {0, -1, 2, -0.0f}, {1, 1, 1, 1}, {2, 2, 2, 2}, {1, 2, 1, 1}},
        {"dp2add", OP_DP2ADD, {1, 2, 9, 9}, {3, 4, 9, 9}, {0.5f, 9, 9, 9}, {11.5f, 11.5f, 11.5f, 11.5f}},
        {"lrp", OP_LRP, {0.5f, 0, 1, 0.25f}, {4, 4, 4, 4}, {2, 2, 2, 0}, {3, 2, 4, 1}},
    };
    for (const ArithCase& t : cases) {
        TokenBuilder b(MakePixelVersion(2, 0));
        b.DclInput(REG_INPUT, 0).DclInput(REG_TEXTURE, 0).DclInput(REG_TEXTURE, 1);
        const bool three = FindInstructionForToken(t.opcode, Profile::PS_2_0)->Form(Profile::PS_2_0) == 4;
        if (three) {
            b.Ins(t.opcode, {Dst(REG_TEMP, 0), Src(REG_INPUT, 0), Src(REG_TEXTURE, 0), Src(REG_TEXTURE, 1)});
        } else {
            b.Ins(t.opcode, {Dst(REG_TEMP, 0), Src(REG_INPUT, 0), Src(REG_TEXTURE, 0)});
        }
        b.Ins(OP_MOV, {Dst(REG_COLOROUT, 0), Src(REG_TEMP, 0)});
        auto program = MustCreate(b.End(), ShaderKind::Pixel);
        ASSERT_NE(program, nullptr) << t.name;
        for (ExecPath path : {ExecPath::Simd, ExecPath::Reference, ExecPath::Compiled}) {
            PixelBatch batch;
            batch.quads = kQuads;
            batch.coverage = 0xFFFF;
            SetAll(&batch.input[kPixelSlotColor0], t.a.x, t.a.y, t.a.z, t.a.w);
            SetAll(&batch.input[kPixelSlotTexcoord0], t.b.x, t.b.y, t.b.z, t.b.w);
            SetAll(&batch.input[kPixelSlotTexcoord0 + 1], t.c.x, t.c.y, t.c.z, t.c.w);
            PixelResults results;
            program->RunPixels(ShaderConstants(), nullptr, batch, &results, path);
            ExpectNear(Lane(results.color[0], 5), t.expected, t.name);
        }
    }
}

}  // namespace
}  // namespace gfx::test
