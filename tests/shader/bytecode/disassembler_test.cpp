#include <gtest/gtest.h>

#include "shader/bytecode/constant_table_block.h"
#include "shader/bytecode/disassembler.h"
#include "tests/gfx/shaders/token_builder.h"

using namespace gfx::isa;
using gfx::test::Dst;
using gfx::test::Src;
using gfx::test::Swz;
using gfx::test::TokenBuilder;

namespace {

std::string Disasm(const std::vector<DWORD>& tokens, bool ctab = true) {
    std::string text;
    DisassemblyError error;
    DisassemblyOptions options;
    options.constantTable = ctab;
    const DWORD none = 0;
    HRESULT hr = DisassembleShader(tokens.empty() ? &none : tokens.data(), tokens.size() * 4, options, &text, &error);
    if (FAILED(hr)) return "error: " + error.message + " at token " + std::to_string(error.token);
    return text;
}

constexpr DWORD kRel = kRelativeBit;

TEST(Disassembler, VertexShader11) {
    TokenBuilder b(MakeVertexVersion(1, 1));
    b.DclUsage(REG_INPUT, 0, USAGE_POSITION).DclUsage(REG_INPUT, 3, USAGE_TEXCOORD, 2);
    b.Def(4, 1.0f, 0.5f, -2.0f, 0.0f);
    b.Ins(OP_M4x4, {Dst(REG_RASTOUT, kRastoutPosition), Src(REG_INPUT, 0), Src(REG_CONST, 0)});
    b.Ins(OP_MOV, {Dst(REG_TEMP, 1), Src(REG_CONST, 5) | kRel});
    b.Ins(OP_RCP, {Dst(REG_TEMP, 0, kMaskW), Src(REG_TEMP, 1, kSwizzleWWWW)});
    b.Ins(OP_EXPP, {Dst(REG_TEMP, 0, kMaskY), Src(REG_INPUT, 3, Swz("x"))});
    b.Ins(OP_MOV, {Dst(REG_RASTOUT, kRastoutFog, kMaskX), Src(REG_TEMP, 0, Swz("y"))});
    b.Ins(OP_MOV, {Dst(REG_ATTROUT, 1, kMaskX | kMaskZ), Src(REG_CONST, 4, Swz("wzyx"), SRCMOD_NEG)});
    b.Ins(OP_MOV, {Dst(REG_TEXCRDOUT, 7), Src(REG_CONST, 2048)});
    EXPECT_EQ("    vs_1_1\n"
              "    dcl_position v0\n"
              "    dcl_texcoord2 v3\n"
              "    def c4, 1, 0.5, -2, 0\n"
              "    m4x4 oPos, v0, c0\n"
              "    mov r1, c5[a0.x]\n"
              "    rcp r0.w, r1.w\n"
              "    expp r0.y, v3.x\n"
              "    mov oFog, r0.y\n"
              "    mov oD1.xz, -c4.wzyx\n"
              "    mov oT7, c0\n",
              Disasm(b.End()));
}

TEST(Disassembler, VertexShader20FlowAndRelativeTokens) {
    TokenBuilder b(MakeVertexVersion(2, 0));
    b.DefI(0, 3, 0, 1, 0).DefB(1, true);
    b.Ins(OP_MOVA, {Dst(REG_ADDR, 0, kMaskX), Src(REG_TEMP, 0, Swz("x"))});
    b.Ins(OP_MOV, {Dst(REG_TEMP, 0), Src(REG_CONST, 2) | kRel, MakeRelativeAddress(REG_ADDR, 1)});
    b.Ins(OP_IF, {Src(REG_CONSTBOOL, 1)});
    b.Ins(OP_LOOP, {Src(REG_LOOP, 0), Src(REG_CONSTINT, 0)});
    b.Ins(OP_ADD, {Dst(REG_TEMP, 1), Src(REG_TEMP, 1), Src(REG_CONST, 10) | kRel, MakeRelativeAddress(REG_LOOP, 0)});
    b.Ins(OP_ENDLOOP, {});
    b.Ins(OP_ELSE, {}).Ins(OP_ENDIF, {});
    b.Ins(OP_SINCOS, {Dst(REG_TEMP, 2, kMaskX | kMaskY), Src(REG_TEMP, 0, Swz("x")), Src(REG_CONST, 0),
                      Src(REG_CONST, 1)});
    b.Ins(OP_CALL, {Src(REG_LABEL, 0)}).Ins(OP_RET, {}).Ins(OP_LABEL, {Src(REG_LABEL, 0)}).Ins(OP_RET, {});
    EXPECT_EQ("    vs_2_0\n"
              "    defi i0, 3, 0, 1, 0\n"
              "    defb b1, true\n"
              "    mova a0.x, r0.x\n"
              "    mov r0, c2[a0.y]\n"
              "    if b1\n"
              "    loop aL, i0\n"
              "    add r1, r1, c10[aL]\n"
              "    endloop\n"
              "    else\n"
              "    endif\n"
              "    sincos r2.xy, r0.x, c0, c1\n"
              "    call l0\n"
              "    ret\n"
              "    label l0\n"
              "    ret\n",
              Disasm(b.End()));
}

TEST(Disassembler, PredicationComparisonsAndVersion3Declarations) {
    TokenBuilder b(MakeVertexVersion(3, 0));
    b.DclUsage(REG_OUTPUT, 0, USAGE_POSITION).DclUsage(REG_OUTPUT, 1, USAGE_TEXCOORD, 1, kMaskX | kMaskY);
    b.DclSampler(0, TEXTURE_VOLUME);
    b.Ins(WithComparison(OP_SETP, CMP_GT), {Dst(REG_PREDICATE, 0), Src(REG_TEMP, 0), Src(REG_TEMP, 1)});
    b.Ins(OP_ADD, {Dst(REG_TEMP, 0), Src(REG_PREDICATE, 0, Swz("x"), SRCMOD_NOT), Src(REG_TEMP, 0), Src(REG_TEMP, 1)},
          true);
    b.Ins(WithComparison(OP_IFC, CMP_LE), {Src(REG_TEMP, 0, Swz("x")), Src(REG_TEMP, 1, Swz("y"))});
    b.Ins(OP_ENDIF, {});
    b.Ins(OP_TEXLDL, {Dst(REG_TEMP, 3), Src(REG_TEMP, 0), Src(REG_SAMPLER, 0)});
    b.Ins(OP_MOV, {Dst(REG_OUTPUT, 0, kMaskAll, kResultSaturate), Src(REG_TEMP, 3, kSwizzleIdentity, SRCMOD_ABS)});
    EXPECT_EQ("    vs_3_0\n"
              "    dcl_position o0\n"
              "    dcl_texcoord1 o1.xy\n"
              "    dcl_volume s0\n"
              "    setp_gt p0, r0, r1\n"
              "    (!p0.x) add r0, r0, r1\n"
              "    if_le r0.x, r1.y\n"
              "    endif\n"
              "    texldl r3, r0, s0\n"
              "    mov_sat o0, r3_abs\n",
              Disasm(b.End()));
}

TEST(Disassembler, PixelShader11ModifiersAndCoissue) {
    TokenBuilder b(MakePixelVersion(1, 1));
    b.Def(0, 0.25f, 0, 0, 1);
    b.Ins(OP_TEX, {Dst(REG_TEXTURE, 0)});
    b.Ins(OP_TEXCOORD, {Dst(REG_TEXTURE, 1)});
    b.Ins(OP_MUL, {Dst(REG_TEMP, 0, kMaskAll, 0, 1), Src(REG_TEXTURE, 0), Src(REG_INPUT, 0)});
    b.Ins(OP_DP3, {Dst(REG_TEMP, 1, kMaskX | kMaskY | kMaskZ, kResultSaturate), Src(REG_TEXTURE, 0, kSwizzleIdentity, SRCMOD_SIGN),
                   Src(REG_INPUT, 0, kSwizzleIdentity, SRCMOD_SIGNNEG)});
    b.Ins(OP_MOV, {Dst(REG_TEMP, 0, kMaskW, 0, -1), Src(REG_TEXTURE, 1, kSwizzleWWWW, SRCMOD_BIAS)}, false, true);
    b.Ins(OP_CND, {Dst(REG_TEMP, 0), Src(REG_TEMP, 0, kSwizzleWWWW), Src(REG_TEXTURE, 0),
                   Src(REG_INPUT, 1, kSwizzleIdentity, SRCMOD_COMP)});
    b.Ins(OP_TEXKILL, {Dst(REG_TEXTURE, 1)});
    EXPECT_EQ("    ps_1_1\n"
              "    def c0, 0.25, 0, 0, 1\n"
              "    tex t0\n"
              "    texcoord t1\n"
              "    mul_x2 r0, t0, v0\n"
              "    dp3_sat r1.xyz, t0_bx2, -v0_bx2\n"
              "    +mov_d2 r0.w, t1_bias.w\n"
              "    cnd r0, r0.w, t0, 1 - v1\n"
              "    texkill t1\n",
              Disasm(b.End()));
}

TEST(Disassembler, PixelShader14Phases) {
    TokenBuilder b(MakePixelVersion(1, 4));
    b.Ins(OP_TEXCOORD, {Dst(REG_TEMP, 1, kMaskX | kMaskY | kMaskZ), Src(REG_TEXTURE, 1)});
    b.Ins(OP_TEX, {Dst(REG_TEMP, 0), Src(REG_TEXTURE, 0, kSwizzleIdentity, SRCMOD_DZ)});
    b.Raw(OP_PHASE);
    b.Ins(OP_TEX, {Dst(REG_TEMP, 2), Src(REG_TEMP, 0)});
    b.Ins(OP_BEM, {Dst(REG_TEMP, 3, kMaskX | kMaskY), Src(REG_TEMP, 0), Src(REG_TEMP, 1)});
    EXPECT_EQ("    ps_1_4\n"
              "    texcrd r1.xyz, t1\n"
              "    texld r0, t0_dz\n"
              "    phase\n"
              "    texld r2, r0\n"
              "    bem r3.xy, r0, r1\n",
              Disasm(b.End()));
}

TEST(Disassembler, PixelShader20DeclarationsAndSampling) {
    TokenBuilder b(MakePixelVersion(2, 0));
    b.Def(3, 1, 0, 0, 0);
    b.DclInput(REG_TEXTURE, 0, kMaskX | kMaskY).DclInput(REG_INPUT, 0);
    b.DclSampler(0).DclSampler(1, TEXTURE_CUBE);
    b.Ins(OP_TEX, {Dst(REG_TEMP, 0), Src(REG_TEXTURE, 0), Src(REG_SAMPLER, 0)});
    b.Ins(MakeInstruction(OP_TEX) | (kTexControlProject << 16), {Dst(REG_TEMP, 1), Src(REG_TEXTURE, 0), Src(REG_SAMPLER, 1)});
    b.Ins(OP_TEX | (kTexControlBias << 16), {Dst(REG_TEMP, 1, kMaskAll, kResultPartialPrecision), Src(REG_TEXTURE, 0), Src(REG_SAMPLER, 1)});
    b.Ins(OP_MAD, {Dst(REG_TEMP, 0, kMaskAll, kResultSaturate | kResultPartialPrecision), Src(REG_TEMP, 0),
                   Src(REG_CONST, 0), Src(REG_TEMP, 1, Swz("yzxw"), SRCMOD_NEG)});
    b.Ins(OP_DP2ADD, {Dst(REG_TEMP, 2, kMaskX), Src(REG_TEMP, 0), Src(REG_CONST, 1), Src(REG_CONST, 3, Swz("x"))});
    b.Ins(OP_MOV, {Dst(REG_DEPTHOUT, 0, kMaskX), Src(REG_TEMP, 2, Swz("x"))});
    b.Ins(OP_MOV, {Dst(REG_COLOROUT, 0), Src(REG_TEMP, 0)});
    EXPECT_EQ("    ps_2_0\n"
              "    def c3, 1, 0, 0, 0\n"
              "    dcl t0.xy\n"
              "    dcl v0\n"
              "    dcl_2d s0\n"
              "    dcl_cube s1\n"
              "    texld r0, t0, s0\n"
              "    texldp r1, t0, s1\n"
              "    texldb_pp r1, t0, s1\n"
              "    mad_sat_pp r0, r0, c0, -r1.yzxw\n"
              "    dp2add r2.x, r0, c1, c3.x\n"
              "    mov oDepth, r2.x\n"
              "    mov oC0, r0\n",
              Disasm(b.End()));
}

TEST(Disassembler, PixelShader30AndSoftwareProfiles) {
    TokenBuilder b(MakePixelVersion(3, 0));
    b.DclUsage(REG_INPUT, 0, USAGE_TEXCOORD, 0, kMaskX | kMaskY);
    b.Ins(OP_DCL, {MakeDclUsage(USAGE_COLOR, 1), Dst(REG_INPUT, 1, kMaskAll, kResultCentroid)});
    b.Ins(OP_DCL, {kParamBit, Dst(REG_MISCTYPE, kMiscPosition, kMaskX | kMaskY)});
    b.Ins(OP_DCL, {kParamBit, Dst(REG_MISCTYPE, kMiscFace)});
    b.Ins(OP_DSX, {Dst(REG_TEMP, 0), Src(REG_INPUT, 0)});
    b.Ins(OP_BREAKP, {Src(REG_PREDICATE, 0, Swz("x"))});
    b.Ins(OP_MOV, {Dst(REG_COLOROUT, 0), Src(REG_MISCTYPE, kMiscFace)});
    EXPECT_EQ("    ps_3_0\n"
              "    dcl_texcoord v0.xy\n"
              "    dcl_color1_centroid v1\n"
              "    dcl vPos.xy\n"
              "    dcl vFace\n"
              "    dsx r0, v0\n"
              "    breakp p0.x\n"
              "    mov oC0, vFace\n",
              Disasm(b.End()));

    for (DWORD version : {0xFFFE02FFu, 0xFFFE0201u, 0xFFFF0201u, 0xFFFF03FFu, 0xFFFF0102u, 0xFFFF0103u}) {
        TokenBuilder s(version);
        s.Ins(OP_NOP, {});
        const std::string text = Disasm(s.End());
        EXPECT_EQ(0u, text.find("    " + std::string(version == 0xFFFE02FF ? "vs_2_sw" : version == 0xFFFE0201 ? "vs_2_x"
                                                       : version == 0xFFFF0201 ? "ps_2_x" : version == 0xFFFF03FF ? "ps_3_sw"
                                                       : version == 0xFFFF0102 ? "ps_1_2" : "ps_1_3")))
            << text;
    }
}

TEST(Disassembler, ConstantTableHeader) {
    CtabType matrix;
    matrix.parameterClass = ParameterClass::MatrixColumns;
    matrix.rows = matrix.columns = 4;
    CtabType sampler;
    sampler.parameterClass = ParameterClass::Object;
    sampler.parameterType = ParameterType::Sampler2D;
    CtabType light;
    light.parameterClass = ParameterClass::Struct;
    light.elements = 2;
    CtabType color;
    color.parameterClass = ParameterClass::Vector;
    color.columns = 3;
    light.members = {{"color", color}, {"range", CtabType{}}};
    std::vector<uint32_t> block;
    ASSERT_EQ(S_OK, BuildConstantTable({.version = 0xFFFE0200},
                                       {{"WorldViewProj", RegisterSet::Float4, 0, 4, 0, matrix, {}},
                                        {"tex", RegisterSet::Sampler, 0, 1, 0, sampler, {}},
                                        {"lights", RegisterSet::Float4, 4, 4, 0, light, {}}},
                                       {}, &block));
    TokenBuilder b(MakeVertexVersion(2, 0));
    for (uint32_t t : block) b.Raw(t);
    b.Ins(OP_MOV, {Dst(REG_RASTOUT, 0), Src(REG_CONST, 0)});
    EXPECT_EQ("//\n"
              "// Generated by Kiln Shader Compiler\n"
              "//\n"
              "// Parameters:\n"
              "//\n"
              "//   float4x4 WorldViewProj;\n"
              "//\n"
              "//   struct\n"
              "//   {\n"
              "//       float3 color;\n"
              "//       float range;\n"
              "//   } lights[2];\n"
              "//\n"
              "//   sampler2D tex;\n"
              "//\n"
              "//\n"
              "// Registers:\n"
              "//\n"
              "//   Name          Reg   Size\n"
              "//   ------------- ----- ----\n"
              "//   WorldViewProj c0       4\n"
              "//   lights        c4       4\n"
              "//   tex           s0       1\n"
              "//\n"
              "\n"
              "    vs_2_0\n"
              "    mov oPos, c0\n",
              Disasm(b.End()));
    EXPECT_EQ("    vs_2_0\n    mov oPos, c0\n", Disasm(b.End(), false));
}

TEST(Disassembler, MalformedInputNamesTheToken) {
    struct Case {
        std::vector<DWORD> tokens;
        const char* expected;
    };
    const DWORD vs20 = MakeVertexVersion(2, 0), ps20 = MakePixelVersion(2, 0);
    const Case cases[] = {
        {{}, "error: no version token at token 0"},
        {{0x12340200, kEndToken}, "error: unknown version token 0x12340200 at token 0"},
        {{vs20, MakeInstruction(OP_MOV, 2), Dst(REG_TEMP, 0)}, "error: instruction runs past the end of the data at token 1"},
        {{vs20, MakeInstruction(OP_NOP)}, "error: end token missing at token 2"},
        {{vs20, MakeInstruction(200), kEndToken}, "error: unknown opcode 200 at token 1"},
        {{vs20, MakeInstruction(OP_TEXKILL, 1), Dst(REG_TEMP, 0), kEndToken},
         "error: 'texkill' is not an instruction of vs_2_0 at token 1"},
        {{vs20, MakeInstruction(OP_MOV, 1), Dst(REG_TEMP, 0), kEndToken}, "error: source parameter missing at token 3"},
        {{vs20, MakeInstruction(OP_MOV, 3), Dst(REG_TEMP, 0), Src(REG_TEMP, 1), Src(REG_TEMP, 2), kEndToken},
         "error: unexpected parameter tokens after 'mov' at token 4"},
        {{vs20, MakeInstruction(OP_MOV, 2), Dst(REG_TEMP, 0), Src(REG_CONST, 0) | kRelativeBit, kEndToken},
         "error: relative address token missing at token 4"},
        {{ps20, MakeInstruction(OP_MOV, 2), Dst(REG_RASTOUT, 0), Src(REG_TEMP, 0), kEndToken},
         "error: register type 4 is not available in ps_2_0 at token 2"},
        {{vs20, Dst(REG_TEMP, 0), kEndToken}, "error: parameter token where an instruction was expected at token 1"},
        {{vs20, kEndToken, 0}, "error: tokens after the end token at token 2"},
        {{vs20, MakeComment(3), kTagConstantTable, 0, 0, kEndToken},
         "error: constant table: record at offset 0 lies outside the table at token 1"},
        {{vs20, MakeInstruction(OP_DCL, 2), MakeDclUsage(20, 0), Dst(REG_INPUT, 0), kEndToken},
         "error: unknown declaration usage 20 at token 2"},
    };
    for (const Case& c : cases) EXPECT_EQ(c.expected, Disasm(c.tokens));

    std::string text;
    DisassemblyError error;
    const DWORD odd[2] = {vs20, kEndToken};
    EXPECT_EQ(ERR_INVALID_DATA, DisassembleShader(odd, 7, {}, &text, &error));
}

TEST(Disassembler, HostileConstantTableOffsetsAreRejected) {
    // A structure whose member points back at the structure itself.
    std::vector<DWORD> table(20, 0);
    uint8_t* bytes = reinterpret_cast<uint8_t*>(table.data());
    const uint32_t header[5] = {20, 0, 0xFFFE0200, 1, 20};
    std::memcpy(bytes, header, 20);
    const uint32_t record[5] = {64, 2, 0, 40 /* type */, 0};
    std::memcpy(bytes + 20, record, 20);
    const uint16_t type[8] = {5, 0, 1, 1, 1, 1, 56, 0};
    std::memcpy(bytes + 40, type, 16);
    const uint32_t member[2] = {64, 40};
    std::memcpy(bytes + 56, member, 8);
    std::memcpy(bytes + 64, "s", 2);
    TokenBuilder b(MakeVertexVersion(2, 0));
    b.Raw(MakeComment(21)).Raw(kTagConstantTable);
    for (DWORD t : table) b.Raw(t);
    EXPECT_EQ("error: constant table: type descriptions nest too deeply at token 1", Disasm(b.End()));
}

}  // namespace
