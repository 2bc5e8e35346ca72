// The instruction-set tables and token helpers agree with the published token
// layout that other tools and stored bytecode rely on.
#include "gfx/shaders/shader_isa.h"

#include <gtest/gtest.h>

#include <cstring>

namespace gfx::isa {
namespace {

TEST(ShaderIsa, ParameterTokensRoundTripEveryRegisterType) {
    for (DWORD type = 0; type < kRegisterTypeCount; ++type) {
        const DWORD d = MakeDest(type, 0x5A5, kMaskX | kMaskW, kResultSaturate, -1);
        EXPECT_EQ(RegisterTypeOf(d), type);
        EXPECT_EQ(RegisterNumberOf(d), 0x5A5u);
        EXPECT_EQ(WriteMaskOf(d), kMaskX | kMaskW);
        EXPECT_EQ(ResultModifiersOf(d), kResultSaturate);
        EXPECT_EQ(ShiftOf(d), -1);
    }
    // Published encodings quoted in the bytecode format.
    EXPECT_EQ(MakeDest(REG_SAMPLER, 3), 0xA00F0803u);
    EXPECT_EQ(MakeDest(REG_ADDR, 0, kMaskX), 0xB0010000u);
    EXPECT_EQ(MakeRelativeAddress(REG_ADDR, 1), 0xB0550000u);
    EXPECT_EQ(MakeRelativeAddress(REG_ADDR, 3), 0xB0FF0000u);
    EXPECT_EQ(MakeDclSampler(TEXTURE_CUBE), 0x98000000u);
    EXPECT_EQ(MakeDclSampler(TEXTURE_VOLUME), 0xA0000000u);
    EXPECT_EQ(MakeInstruction(0x10042, 3), 0x03010042u);
    const DWORD s = MakeSource(REG_CONSTBOOL, 7, MakeSwizzle(3, 2, 1, 0), SRCMOD_ABSNEG, true);
    EXPECT_EQ(SwizzleOf(s), 0x1Bu);
    EXPECT_EQ(SourceModifierOf(s), SRCMOD_ABSNEG);
    EXPECT_TRUE(IsRelative(s));
    EXPECT_EQ(SwizzleComponent(0x1B, 0), 3u);
}

TEST(ShaderIsa, ConstantRegistersSplitIntoFourTypes) {
    EXPECT_EQ(ConstantRegisterType(2047), REG_CONST);
    EXPECT_EQ(ConstantRegisterType(2048), REG_CONST2);
    EXPECT_EQ(ConstantRegisterType(8191), REG_CONST4);
    EXPECT_EQ(ConstantIndex(REG_CONST3, 5), 4096u + 5);
    EXPECT_EQ(ConstantIndex(REG_CONST, 7), 7u);
}

TEST(ShaderIsa, InstructionLookupSelectsRowByProfile) {
    EXPECT_STREQ(FindInstructionForToken(OP_TEX, Profile::PS_1_1)->name, "tex");
    EXPECT_STREQ(FindInstructionForToken(OP_TEX, Profile::PS_1_4)->name, "texld");
    EXPECT_STREQ(FindInstructionForToken(0x10042, Profile::PS_2_0)->name, "texldp");
    EXPECT_STREQ(FindInstructionForToken(OP_TEXCOORD, Profile::PS_1_4)->name, "texcrd");
    EXPECT_STREQ(FindInstructionForToken(WithComparison(OP_IFC, CMP_LT), Profile::PS_3_0)->name, "if_c");
    EXPECT_EQ(FindInstructionForToken(75, Profile::PS_1_1), nullptr);
    EXPECT_EQ(FindInstruction("if_c"), nullptr);  // only reachable through suffixes
    const InstructionInfo* sincos = FindInstruction("sincos");
    ASSERT_NE(sincos, nullptr);
    EXPECT_EQ(sincos->Form(Profile::VS_2_0), 4);
    EXPECT_EQ(sincos->Form(Profile::PS_3_0), 2);
    EXPECT_FALSE(FindInstruction("lrp")->AvailableIn(Profile::VS_1_1));
    EXPECT_EQ(FindInstruction("defb")->Form(Profile::PS_2_0), kFormDefB);
}

TEST(ShaderIsa, OperandFormsCountParameters) {
    EXPECT_EQ(FormParameterCount(kFormDef), 1);
    EXPECT_EQ(FormLiteralTokens(kFormDef), 4);
    EXPECT_EQ(FormLiteralTokens(kFormDefB), 1);
    EXPECT_EQ(FormParameterCount(kFormSrc2), 2);
    EXPECT_FALSE(FormHasDestination(kFormSrc1));
    EXPECT_TRUE(FormHasDestination(1));
    EXPECT_FALSE(FormHasDestination(0));
}

TEST(ShaderIsa, RegisterTableLimitsAndNames) {
    EXPECT_EQ(FindRegister("c")->Limit(Profile::PS_1_1), 8);
    EXPECT_EQ(FindRegister("c")->Limit(Profile::PS_3_0), 224);
    EXPECT_TRUE(FindRegister("c")->AllowsRelative(Profile::VS_1_1));
    EXPECT_FALSE(FindRegister("c")->AllowsRelative(Profile::PS_2_0));
    EXPECT_TRUE(FindRegister("v")->AllowsRelative(Profile::PS_3_0));
    EXPECT_EQ(FindRegisterForToken(REG_ADDR, 0, Profile::VS_2_0)->name, std::string("a"));
    EXPECT_EQ(FindRegisterForToken(REG_TEXTURE, 0, Profile::PS_1_4)->name, std::string("t"));
    EXPECT_EQ(FindRegisterForToken(REG_OUTPUT, 0, Profile::VS_3_0)->name, std::string("o"));
    EXPECT_EQ(FindRegisterForToken(REG_RASTOUT, 3, Profile::VS_1_1), nullptr);
    EXPECT_EQ(FindRegisterForToken(REG_COLOROUT, 0, Profile::VS_2_0), nullptr);
    char name[16];
    FormatRegisterName(REG_RASTOUT, kRastoutFog, Profile::VS_1_1, name, sizeof name);
    EXPECT_STREQ(name, "oFog");
    FormatRegisterName(REG_CONST2, 1, Profile::VS_3_0, name, sizeof name);
    EXPECT_STREQ(name, "c2049");
    FormatRegisterName(REG_MISCTYPE, kMiscFace, Profile::PS_3_0, name, sizeof name);
    EXPECT_STREQ(name, "vFace");
}

TEST(ShaderIsa, ProfilesMapToVersionTokens) {
    Profile p;
    ASSERT_TRUE(ProfileFromVersionToken(0xFFFF0104, &p));
    EXPECT_EQ(p, Profile::PS_1_4);
    EXPECT_FALSE(ProfileFromVersionToken(0xFFFF0105, &p));
    EXPECT_FALSE(ProfileFromVersionToken(0xFFFE0100, &p));
    EXPECT_FALSE(HasLengthField(Profile::VS_1_1));
    EXPECT_FALSE(HasLengthField(Profile::PS_1_4));
    EXPECT_TRUE(HasLengthField(Profile::PS_2_0));
    EXPECT_STREQ(DeclUsageName(USAGE_TEXCOORD), "texcoord");
    EXPECT_EQ(DeclUsageName(14), nullptr);
}

}  // namespace
}  // namespace gfx::isa
