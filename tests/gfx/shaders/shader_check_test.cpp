// Malformed or out-of-version token streams are refused with
// D3DERR_INVALIDCALL, for the reason the checker gives.
#include <gtest/gtest.h>

#include <climits>

#include "shader_test_util.h"

namespace gfx::test {
namespace {

std::vector<DWORD> ValidVs20() {
    TokenBuilder b(MakeVertexVersion(2, 0));
    b.DclUsage(REG_INPUT, 0, USAGE_POSITION);
    b.Ins(OP_MOV, {Dst(REG_RASTOUT, kRastoutPosition), Src(REG_INPUT, 0)});
    return b.End();
}

TEST(ShaderCheck, AcceptsWellFormedShadersOfEveryVersion) {
    EXPECT_NE(MustCreate(ValidVs20(), ShaderKind::Vertex), nullptr);
    // A comment block (constant table style) is skipped whole, even when its
    // payload looks like instructions.
    TokenBuilder c(MakePixelVersion(2, 0));
    c.Comment({0x42415443, 0xFFFF, 0x80000000, 5});
    c.Def(0, 1, 1, 1, 1);
    c.Ins(OP_MOV, {Dst(REG_COLOROUT, 0), Src(REG_CONST, 0)});
    auto program = MustCreate(c.End(), ShaderKind::Pixel);
    ASSERT_NE(program, nullptr);
    EXPECT_EQ(program->Tokens().size(), c.End().size());
    // vs_1_1 and ps_1_x have no length fields.
    TokenBuilder v(MakeVertexVersion(1, 1));
    v.DclUsage(REG_INPUT, 0, USAGE_POSITION);
    v.Ins(OP_M4x4, {Dst(REG_RASTOUT, 0), Src(REG_INPUT, 0), Src(REG_CONST, 0)});
    EXPECT_NE(MustCreate(v.End(), ShaderKind::Vertex), nullptr);
    // ps_1_1 takes every ps_1_x source modifier but the ps_1_4 divides.
    TokenBuilder x(MakePixelVersion(1, 1));
    x.Ins(OP_MAD, {Dst(REG_TEMP, 0), Src(REG_INPUT, 0, kSwizzleIdentity, SRCMOD_X2NEG), Src(REG_INPUT, 1, kSwizzleIdentity, SRCMOD_COMP),
                   Src(REG_INPUT, 1, kSwizzleWWWW, SRCMOD_BIASNEG)});
    EXPECT_NE(MustCreate(x.End(), ShaderKind::Pixel), nullptr);
    // With no length known the scan stops at the end token.
    std::unique_ptr<ShaderProgram> p;
    std::vector<DWORD> tokens = ValidVs20();
    EXPECT_EQ(ShaderProgram::Create(tokens.data(), SIZE_MAX, ShaderKind::Vertex, &p), D3D_OK);
    EXPECT_EQ(p->Tokens().size(), tokens.size());
}

TEST(ShaderCheck, RefusesBrokenStructure) {
    const std::vector<DWORD> good = ValidVs20();
    struct Case {
        const char* name;
        std::vector<DWORD> tokens;
        ShaderKind kind;
        const char* reason;
    };
    std::vector<DWORD> truncated(good.begin(), good.end() - 2);
    std::vector<DWORD> noEnd(good.begin(), good.end() - 1);
    std::vector<DWORD> wrongLength = good;
    wrongLength[4] = MakeInstruction(OP_MOV, 3);
    std::vector<DWORD> badOpcode = good;
    badOpcode[4] = MakeInstruction(75, 2);
    std::vector<DWORD> oversizedComment = {MakeVertexVersion(2, 0), MakeComment(0x7FFF), 1, 2, kEndToken};
    std::vector<DWORD> paramAsInstruction = {MakeVertexVersion(2, 0), Dst(REG_TEMP, 0), kEndToken};
    const Case cases[] = {
        {"bad version", {0xFFFE0105, kEndToken}, ShaderKind::Vertex, "version"},
        {"pixel version for a vertex shader", {MakePixelVersion(2, 0), kEndToken}, ShaderKind::Vertex, "version"},
        {"truncated", truncated, ShaderKind::Vertex, "past the end"},
        {"missing end", noEnd, ShaderKind::Vertex, "no end token"},
        {"wrong length", wrongLength, ShaderKind::Vertex, "length field"},
        {"unknown opcode", badOpcode, ShaderKind::Vertex, "unknown opcode"},
        {"oversized comment", oversizedComment, ShaderKind::Vertex, "comment"},
        {"parameter token in place of an instruction", paramAsInstruction, ShaderKind::Vertex, "not a parameter"},
    };
    for (const Case& t : cases) {
        EXPECT_NE(RefusalReason(t.tokens, t.kind).find(t.reason), std::string::npos) << t.name;
    }
    std::unique_ptr<ShaderProgram> p;
    EXPECT_EQ(ShaderProgram::Create(nullptr, 4, ShaderKind::Vertex, &p), D3DERR_INVALIDCALL);
    EXPECT_EQ(ShaderProgram::Create(good.data(), good.size(), ShaderKind::Vertex, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(ShaderProgram::Create(good.data(), 0, ShaderKind::Vertex, &p), D3DERR_INVALIDCALL);
}

TEST(ShaderCheck, RefusesWhatTheVersionDoesNotHave) {
    struct Case {
        const char* name;
        DWORD version;
        std::vector<std::vector<DWORD>> body;  // instruction token first
        const char* reason;
    };
    const DWORD vs11 = MakeVertexVersion(1, 1), vs20 = MakeVertexVersion(2, 0), ps20 = MakePixelVersion(2, 0);
    const DWORD ps11 = MakePixelVersion(1, 1), ps14 = MakePixelVersion(1, 4), vs30 = MakeVertexVersion(3, 0);
    const Case cases[] = {
        {"lrp in vs_1_1", vs11, {{OP_LRP, Dst(REG_TEMP, 0), Src(REG_TEMP, 1), Src(REG_TEMP, 1), Src(REG_TEMP, 1)}}, "not available"},
        {"r12 in vs_2_0", vs20, {{MakeInstruction(OP_MOV, 2), Dst(REG_TEMP, 12), Src(REG_TEMP, 0)}}, "out of range"},
        {"c8 in ps_1_1", ps11, {{OP_MOV, Dst(REG_TEMP, 0), Src(REG_CONST, 8)}}, "out of range"},
        {"c256 in vs_2_0 (past its 256 constants)", vs20, {{MakeInstruction(OP_MOV, 2), Dst(REG_TEMP, 0), Src(REG_CONST, 256)}}, "register c256 is out of range for vs_2_0"},
        {"c96 in vs_1_1 (past its 96 constants)", vs11, {{OP_MOV, Dst(REG_TEMP, 0), Src(REG_CONST, 96)}}, "register c96 is out of range for vs_1_1"},
        {"c300 in vs_2_sw (device table)", MakeVertexVersion(2, 0xFF), {{MakeInstruction(OP_MOV, 2), Dst(REG_TEMP, 0), Src(REG_CONST, 300)}}, "constant tables"},
        {"oC0 in a vertex shader", vs20, {{MakeInstruction(OP_MOV, 2), Dst(REG_COLOROUT, 0), Src(REG_TEMP, 0)}}, "cannot write"},
        {"undeclared input", vs20, {{MakeInstruction(OP_MOV, 2), Dst(REG_TEMP, 0), Src(REG_INPUT, 3)}}, "without a declaration"},
        {"undeclared sampler", ps20, {{MakeInstruction(OP_TEX, 3), Dst(REG_TEMP, 0), Src(REG_TEMP, 0), Src(REG_SAMPLER, 0)}}, "without a declaration"},
        {"relative constant in ps_2_0", ps20, {{MakeInstruction(OP_MOV, 3), Dst(REG_TEMP, 0), MakeSource(REG_CONST, 0, kSwizzleIdentity, 0, true), MakeRelativeAddress(REG_ADDR, 0)}}, "relative addressing"},
        {"relative through a temporary", vs20, {{MakeInstruction(OP_MOV, 3), Dst(REG_TEMP, 0), MakeSource(REG_CONST, 0, kSwizzleIdentity, 0, true), MakeSource(REG_TEMP, 0, 0)}}, "relative address token"},
        {"abs modifier in vs_2_0", vs20, {{MakeInstruction(OP_MOV, 2), Dst(REG_TEMP, 0), Src(REG_TEMP, 1, kSwizzleIdentity, SRCMOD_ABS)}}, "source modifier"},
        {"shift outside ps_1_x", ps20, {{MakeInstruction(OP_MOV, 2), Dst(REG_TEMP, 0, kMaskAll, 0, 1), Src(REG_TEMP, 1)}}, "shift"},
        {"saturate in vs_2_0", vs20, {{MakeInstruction(OP_MOV, 2), Dst(REG_TEMP, 0, kMaskAll, kResultSaturate), Src(REG_TEMP, 1)}}, "result modifier"},
        {"empty write mask", vs20, {{MakeInstruction(OP_MOV, 2), Dst(REG_TEMP, 0, 0), Src(REG_TEMP, 1)}}, "write mask"},
        {"sincos writing z", vs20, {{MakeInstruction(OP_SINCOS, 4), Dst(REG_TEMP, 0, kMaskX | kMaskZ), Src(REG_TEMP, 1, kSwizzleXXXX), Src(REG_CONST, 0), Src(REG_CONST, 1)}}, "write mask"},
        {"crs writing w", vs20, {{MakeInstruction(OP_CRS, 3), Dst(REG_TEMP, 0), Src(REG_TEMP, 1), Src(REG_CONST, 0)}}, "write mask"},
        {"ps_1_1 write mask .xy", ps11, {{OP_MOV, Dst(REG_TEMP, 0, kMaskX | kMaskY), Src(REG_TEMP, 1)}}, "write mask"},
        {"ps_2_0 swizzle .yxzw", ps20, {{MakeInstruction(OP_MOV, 2), Dst(REG_TEMP, 0), Src(REG_TEMP, 1, Swz("yxzw"))}}, "swizzle"},
        {"co-issue in ps_2_0", ps20, {{MakeInstruction(OP_MOV, 2, false, true), Dst(REG_TEMP, 0), Src(REG_TEMP, 1)}}, "co-issue"},
        {"predication in vs_2_0", vs20, {{MakeInstruction(OP_MOV, 3, true), Dst(REG_TEMP, 0), Src(REG_PREDICATE, 0), Src(REG_TEMP, 1)}}, "predication"},
        {"dcl after an instruction", vs20, {{MakeInstruction(OP_MOV, 2), Dst(REG_TEMP, 0), Src(REG_TEMP, 1)}, {MakeInstruction(OP_DCL, 2), MakeDclUsage(0, 0), Dst(REG_INPUT, 0)}}, "declarations must come"},
        {"dcl twice", vs20, {{MakeInstruction(OP_DCL, 2), MakeDclUsage(0, 0), Dst(REG_INPUT, 0)}, {MakeInstruction(OP_DCL, 2), MakeDclUsage(3, 0), Dst(REG_INPUT, 0)}}, "declared twice"},
        {"sampler with no texture type", ps20, {{MakeInstruction(OP_DCL, 2), kParamBit, Dst(REG_SAMPLER, 0)}}, "texture type"},
        {"endif without if", vs20, {{MakeInstruction(OP_ENDIF, 0)}}, "without a matching"},
        {"break outside a loop", vs30, {{MakeInstruction(OP_BREAK, 0)}}, "without a matching"},
        {"unclosed rep", vs30, {{MakeInstruction(OP_REP, 1), Src(REG_CONSTINT, 0)}}, "not closed"},
        {"call of a missing label", vs30, {{MakeInstruction(OP_CALL, 1), Src(REG_LABEL, 3)}}, "called but not defined"},
        {"label inside the main program", vs30, {{MakeInstruction(OP_LABEL, 1), Src(REG_LABEL, 3)}}, "without a matching"},
        {"tex after arithmetic in ps_1_1", ps11, {{OP_MOV, Dst(REG_TEMP, 0), Src(REG_TEMP, 1)}, {OP_TEX, Dst(REG_TEXTURE, 0)}}, "after arithmetic"},
        {"texm3x2pad alone", ps11, {{OP_TEXM3x2PAD, Dst(REG_TEXTURE, 1), Src(REG_TEXTURE, 0)}}, "must follow"},
        {"texbem reading a later stage", ps11, {{OP_TEXBEM, Dst(REG_TEXTURE, 1), Src(REG_TEXTURE, 2)}}, "before stage"},
        {"two phases", ps14, {{0xFFFD}, {0xFFFD}}, "phase"},
        {"ps_1_4 arithmetic reading t0", ps14, {{OP_MOV, Dst(REG_TEMP, 0), Src(REG_TEXTURE, 0)}}, "cannot read"},
    };
    for (const Case& t : cases) {
        std::vector<DWORD> tokens = {t.version};
        for (const auto& ins : t.body) tokens.insert(tokens.end(), ins.begin(), ins.end());
        tokens.push_back(kEndToken);
        const ShaderKind kind = VersionKind(t.version) == kPixelVersionKind ? ShaderKind::Pixel : ShaderKind::Vertex;
        const std::string why = RefusalReason(tokens, kind);
        EXPECT_NE(why.find(t.reason), std::string::npos) << t.name << ": " << why;
    }
}

}  // namespace
}  // namespace gfx::test
