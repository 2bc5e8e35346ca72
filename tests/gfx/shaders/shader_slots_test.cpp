// Instruction slot budgets: a program that takes exactly its model's slots is
// accepted, one slot more is refused by the device and the validator with
// the count and the limit; macro instructions take their full cost; the
// constant register files of each model hold.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "gfx/shaders/shader_check_messages.h"
#include "gfx/shaders/shader_checker.h"
#include "gfx/shaders/shader_slots.h"
#include "gfx/shaders/shader_validator.h"
#include "shader_test_util.h"

namespace gfx::test {
namespace {

struct Model {
    Profile profile;
    int major, minor;  // version (0xFF: software)
};

bool IsPixel(Profile p) { return IsPixelProfile(p); }
ShaderKind KindOf(Profile p) { return IsPixel(p) ? ShaderKind::Pixel : ShaderKind::Vertex; }

// The profile's version token with its declarations: an input v0 / t0 (a
// texture coordinate) and, for pixel models with samplers, s0.
TokenBuilder Start(Profile p) {
    TokenBuilder b(GetProfileInfo(p).versionToken);
    const int major = ProfileMajor(p);
    if (!IsPixel(p)) {
        b.DclUsage(REG_INPUT, 0, USAGE_TEXCOORD);
    } else if (major == 3) {
        b.DclUsage(REG_INPUT, 0, USAGE_TEXCOORD);
        b.DclSampler(0);
    } else if (major == 2) {
        b.DclInput(REG_TEXTURE, 0);
        b.DclSampler(0);
    }
    return b;
}

// n one-slot arithmetic instructions.
void Moves(TokenBuilder* b, int n) {
    for (int i = 0; i < n; ++i) b->Ins(OP_MOV, {Dst(REG_TEMP, 0), Src(REG_CONST, 0)});
}

// n one-slot texture instructions of the model.
void Samples(TokenBuilder* b, Profile p, int n) {
    for (int i = 0; i < n; ++i) {
        if (p == Profile::PS_1_4) b->Ins(OP_TEX, {Dst(REG_TEMP, DWORD(i % 6)), Src(REG_TEXTURE, 0)});
        else if (IsPs1x(p)) b->Ins(OP_TEX, {Dst(REG_TEXTURE, DWORD(i))});
        else if (ProfileMajor(p) == 3) b->Ins(OP_TEX, {Dst(REG_TEMP, 1), Src(REG_INPUT, 0), Src(REG_SAMPLER, 0)});
        else b->Ins(OP_TEX, {Dst(REG_TEMP, 1), Src(REG_TEXTURE, 0), Src(REG_SAMPLER, 0)});
    }
}

std::string Refusal(const std::vector<DWORD>& tokens, Profile p) { return RefusalReason(tokens, KindOf(p)); }

TEST(ShaderSlots, EachModelTakesExactlyItsBudget) {
    struct Budget {
        Profile profile;
        int arithmetic;  // at the limit: accepted; one more: refused
        int texture;     // texture instructions beside them (ps_1_x: their own budget)
        const char* over;
    };
    const Budget kBudgets[] = {
        {Profile::VS_1_1, 128, 0, "129 instruction slots exceed the 128 that vs_1_1 allows"},
        {Profile::VS_2_0, 256, 0, "257 instruction slots exceed the 256 that vs_2_0 allows"},
        {Profile::VS_2_X, 256, 0, "257 instruction slots exceed the 256 that vs_2_x allows"},
        {Profile::VS_3_0, 512, 0, "513 instruction slots exceed the 512 that vs_3_0 allows"},
        {Profile::PS_1_1, 8, 4, "9 arithmetic instruction slots exceed the 8 that ps_1_1 allows"},
        {Profile::PS_1_3, 8, 4, "9 arithmetic instruction slots exceed the 8 that ps_1_3 allows"},
        {Profile::PS_1_4, 8, 6, "9 arithmetic instruction slots exceed the 8 that ps_1_4 allows"},
        {Profile::PS_2_0, 64, 32, "65 arithmetic instruction slots exceed the 64 that ps_2_0 allows"},
        {Profile::PS_2_X, 90, 6, "97 instruction slots exceed the 96 that ps_2_x allows"},
        {Profile::PS_3_0, 500, 12, "513 instruction slots exceed the 512 that ps_3_0 allows"},
    };
    for (const Budget& budget : kBudgets) {
        SCOPED_TRACE(GetProfileInfo(budget.profile).name);
        auto program = [&](int extra) {
            TokenBuilder b = Start(budget.profile);
            Samples(&b, budget.profile, budget.texture);
            Moves(&b, budget.arithmetic + extra);
            return b.End();
        };
        EXPECT_NE(MustCreate(program(0), KindOf(budget.profile)), nullptr);
        EXPECT_EQ(Refusal(program(1), budget.profile), budget.over);
    }
    // The software models have no budget.
    for (Profile p : {Profile::VS_2_SW, Profile::VS_3_SW, Profile::PS_2_SW, Profile::PS_3_SW}) {
        TokenBuilder b = Start(p);
        Moves(&b, 5000);
        EXPECT_NE(MustCreate(b.End(), KindOf(p)), nullptr) << GetProfileInfo(p).name;
    }
}

TEST(ShaderSlots, TextureBudgetsOfThePixelModels) {
    // ps_2_0: 32 texture slots beside 64 arithmetic ones.
    TokenBuilder at = Start(Profile::PS_2_0);
    Samples(&at, Profile::PS_2_0, 32);
    Moves(&at, 1);
    EXPECT_NE(MustCreate(at.End(), ShaderKind::Pixel), nullptr);
    TokenBuilder over = Start(Profile::PS_2_0);
    Samples(&over, Profile::PS_2_0, 33);
    EXPECT_EQ(Refusal(over.End(), Profile::PS_2_0), "33 texture instruction slots exceed the 32 that ps_2_0 allows");
    // texkill counts as a texture instruction.
    TokenBuilder kill = Start(Profile::PS_2_0);
    Samples(&kill, Profile::PS_2_0, 32);
    kill.Ins(OP_TEXKILL, {Dst(REG_TEXTURE, 0)});
    EXPECT_EQ(Refusal(kill.End(), Profile::PS_2_0), "33 texture instruction slots exceed the 32 that ps_2_0 allows");
    // ps_1_4: seven texture instructions in one phase are one too many.
    TokenBuilder ps14 = Start(Profile::PS_1_4);
    Samples(&ps14, Profile::PS_1_4, 7);
    EXPECT_EQ(Refusal(ps14.End(), Profile::PS_1_4), "7 texture instruction slots exceed the 6 that ps_1_4 allows");
}

TEST(ShaderSlots, Ps14CountsEachPhaseApart) {
    TokenBuilder both = Start(Profile::PS_1_4);
    Samples(&both, Profile::PS_1_4, 6);
    Moves(&both, 8);
    both.Ins(OP_PHASE, {});
    Samples(&both, Profile::PS_1_4, 6);
    Moves(&both, 8);
    EXPECT_NE(MustCreate(both.End(), ShaderKind::Pixel), nullptr);
    TokenBuilder first = Start(Profile::PS_1_4);
    Moves(&first, 9);
    first.Ins(OP_PHASE, {});
    Moves(&first, 1);
    EXPECT_EQ(Refusal(first.End(), Profile::PS_1_4),
              "9 arithmetic instruction slots exceed the 8 that ps_1_4 allows in the first phase");
    TokenBuilder second = Start(Profile::PS_1_4);
    Moves(&second, 8);
    second.Ins(OP_PHASE, {});
    Moves(&second, 9);
    EXPECT_EQ(Refusal(second.End(), Profile::PS_1_4),
              "9 arithmetic instruction slots exceed the 8 that ps_1_4 allows in the second phase");
}

TEST(ShaderSlots, CoissuedPairsShareOneSlot) {
    TokenBuilder b = Start(Profile::PS_1_1);
    for (int i = 0; i < 8; ++i) {
        b.Ins(OP_MOV, {Dst(REG_TEMP, 0, kMaskX | kMaskY | kMaskZ), Src(REG_CONST, 0)});
        b.Ins(OP_MOV, {Dst(REG_TEMP, 0, kMaskW), Src(REG_CONST, 1)}, false, true);
    }
    EXPECT_NE(MustCreate(b.End(), ShaderKind::Pixel), nullptr);
}

// Each macro instruction takes its cost: `count` of them and enough moves to
// reach the budget are accepted, one move more is refused.
TEST(ShaderSlots, MacroInstructionsTakeSeveralSlots) {
    struct Macro {
        Profile profile;
        const char* name;
        int cost;
        std::function<void(TokenBuilder*)> emit;
    };
    const DWORD c0 = Src(REG_CONST, 0), c1 = Src(REG_CONST, 1), c2 = Src(REG_CONST, 2);
    const DWORD c0x = Src(REG_CONST, 0, kSwizzleXXXX), v0 = Src(REG_INPUT, 0), t0 = Src(REG_TEXTURE, 0);
    const DWORD r0 = Dst(REG_TEMP, 0), r0x = Dst(REG_TEMP, 0, kMaskX), r0xy = Dst(REG_TEMP, 0, kMaskX | kMaskY);
    const DWORD r0xyz = Dst(REG_TEMP, 0, kMaskX | kMaskY | kMaskZ);
    const Macro kMacros[] = {
        {Profile::VS_1_1, "exp", 10, [&](TokenBuilder* b) { b->Ins(OP_EXP, {r0, c0x}); }},
        {Profile::VS_1_1, "log", 10, [&](TokenBuilder* b) { b->Ins(OP_LOG, {r0, c0x}); }},
        {Profile::VS_1_1, "frc", 3, [&](TokenBuilder* b) { b->Ins(OP_FRC, {r0xy, c0}); }},
        {Profile::VS_1_1, "lit", 3, [&](TokenBuilder* b) { b->Ins(OP_LIT, {r0, c0}); }},
        {Profile::VS_1_1, "m4x4", 4, [&](TokenBuilder* b) { b->Ins(OP_M4x4, {r0, v0, c0}); }},
        {Profile::VS_1_1, "m4x3", 3, [&](TokenBuilder* b) { b->Ins(OP_M4x3, {r0xyz, v0, c0}); }},
        {Profile::VS_1_1, "m3x4", 4, [&](TokenBuilder* b) { b->Ins(OP_M3x4, {r0, v0, c0}); }},
        {Profile::VS_1_1, "m3x3", 3, [&](TokenBuilder* b) { b->Ins(OP_M3x3, {r0xyz, v0, c0}); }},
        {Profile::VS_1_1, "m3x2", 2, [&](TokenBuilder* b) { b->Ins(OP_M3x2, {r0xy, v0, c0}); }},
        {Profile::VS_2_0, "exp", 1, [&](TokenBuilder* b) { b->Ins(OP_EXP, {r0, c0x}); }},
        {Profile::VS_2_0, "frc", 1, [&](TokenBuilder* b) { b->Ins(OP_FRC, {r0, c0}); }},
        {Profile::VS_2_0, "nrm", 3, [&](TokenBuilder* b) { b->Ins(OP_NRM, {r0, c0}); }},
        {Profile::VS_2_0, "pow", 3, [&](TokenBuilder* b) { b->Ins(OP_POW, {r0, c0x, Src(REG_CONST, 1, kSwizzleXXXX)}); }},
        {Profile::VS_2_0, "crs", 2, [&](TokenBuilder* b) { b->Ins(OP_CRS, {r0xyz, c0, c1}); }},
        {Profile::VS_2_0, "lrp", 2, [&](TokenBuilder* b) { b->Ins(OP_LRP, {r0, c0, c1, c2}); }},
        {Profile::VS_2_0, "sgn", 3, [&](TokenBuilder* b) { b->Ins(OP_SGN, {r0, c0, Src(REG_TEMP, 1), Src(REG_TEMP, 2)}); }},
        {Profile::VS_2_0, "sincos", 8, [&](TokenBuilder* b) { b->Ins(OP_SINCOS, {r0xy, c0x, c1, c2}); }},
        {Profile::PS_2_0, "dp2add", 2, [&](TokenBuilder* b) { b->Ins(OP_DP2ADD, {r0x, t0, c0, Src(REG_CONST, 1, kSwizzleXXXX)}); }},
        {Profile::PS_2_0, "sincos", 8, [&](TokenBuilder* b) { b->Ins(OP_SINCOS, {r0xy, c0x, c1, c2}); }},
        {Profile::PS_2_0, "m4x4", 4, [&](TokenBuilder* b) { b->Ins(OP_M4x4, {r0, t0, c0}); }},
        {Profile::PS_2_0, "lrp", 2, [&](TokenBuilder* b) { b->Ins(OP_LRP, {r0, c0, c1, c2}); }},
    };
    for (const Macro& m : kMacros) {
        SCOPED_TRACE(std::string(GetProfileInfo(m.profile).name) + " " + m.name);
        const SlotLimits& limits = GetSlotLimits(m.profile);
        const int budget = limits.total != kUnlimitedSlots ? limits.total : limits.arithmetic;
        const int count = budget / m.cost;
        auto program = [&](int extra) {
            TokenBuilder b = Start(m.profile);
            for (int i = 0; i < count; ++i) m.emit(&b);
            Moves(&b, budget - count * m.cost + extra);
            return b.End();
        };
        EXPECT_NE(MustCreate(program(0), KindOf(m.profile)), nullptr);
        EXPECT_NE(Refusal(program(1), m.profile).find(std::to_string(budget + 1) + " "), std::string::npos);
        EXPECT_EQ(InstructionSlots(*FindInstruction(m.name), m.profile).Total(), m.cost);
    }
    // Declarations and definitions take no slot.
    for (const char* free : {"dcl", "def", "defi", "defb", "label", "phase"})
        EXPECT_EQ(InstructionSlots(*FindInstruction(free), Profile::PS_2_0).Total(), 0) << free;
}

TEST(ShaderSlots, ConstantRegistersOfEachModel) {
    struct Case {
        Profile profile;
        DWORD last;  // the last constant register of the model
    };
    for (const Case& c : {Case{Profile::VS_1_1, 95}, Case{Profile::VS_2_0, 255}, Case{Profile::VS_3_0, 255},
                          Case{Profile::PS_1_1, 7}, Case{Profile::PS_2_0, 31}, Case{Profile::PS_3_0, 223}}) {
        SCOPED_TRACE(GetProfileInfo(c.profile).name);
        auto program = [&](DWORD reg) {
            TokenBuilder b = Start(c.profile);
            b.Ins(OP_MOV, {Dst(REG_TEMP, 0), Src(ConstantRegisterType(reg), reg & 0x7FF)});
            return b.End();
        };
        EXPECT_NE(MustCreate(program(c.last), KindOf(c.profile)), nullptr);
        EXPECT_EQ(Refusal(program(c.last + 1), c.profile),
                  "register c" + std::to_string(c.last + 1) + " is out of range for " + GetProfileInfo(c.profile).name);
    }
    // The software vertex model addresses all 8192 (the checker's view; the
    // device holds fewer).
    TokenBuilder sw = Start(Profile::VS_2_SW);
    sw.Ins(OP_MOV, {Dst(REG_TEMP, 0), Src(ConstantRegisterType(4000), 4000 & 0x7FF)});
    std::string why;
    CheckError error;
    ShaderChecker checker;
    const std::vector<DWORD> tokens = sw.End();
    ASSERT_TRUE(checker.Begin(tokens[0], 0, &error));
    ShaderChecker::Element kind;
    size_t consumed = 0;
    for (size_t pos = 1; pos < tokens.size() && !checker.Ended(); pos += consumed)
        ASSERT_TRUE(checker.Next(tokens.data() + pos, tokens.size() - pos, pos, &kind, &consumed, nullptr, &error))
            << error.text;
}

TEST(ShaderSlots, TheValidatorReportsTheCountAtTheEnd) {
    IDirect3DShaderValidator9* v = Direct3DShaderValidatorCreate9();
    std::vector<std::pair<DWORD, std::string>> messages;
    auto collect = [](const char*, UINT, DWORD, DWORD code, const char* text, void* context) -> HRESULT {
        static_cast<std::vector<std::pair<DWORD, std::string>>*>(context)->push_back({code, text});
        return S_OK;
    };
    ASSERT_EQ(v->Begin(collect, &messages, 1), S_OK);
    TokenBuilder b = Start(Profile::PS_2_0);
    Moves(&b, 70);
    const std::vector<DWORD> tokens = b.End();
    // Every instruction passes on its own; the count is known at the end.
    EXPECT_EQ(v->Instruction("a.phl", 1, tokens.data(), DWORD(tokens.size())), S_OK);
    EXPECT_EQ(v->End(), E_FAIL);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].first, DWORD(kCheckSlots));
    EXPECT_EQ(messages[0].second, "70 arithmetic instruction slots exceed the 64 that ps_2_0 allows");
    v->Release();
    // The count itself, as the disassembly listing shows it.
    SlotCount count;
    ASSERT_TRUE(CountInstructionSlots(tokens.data(), tokens.size(), &count));
    EXPECT_EQ(count.arithmetic, 70u);
    EXPECT_EQ(count.texture, 0u);
    EXPECT_EQ(count.profile, Profile::PS_2_0);
}

}  // namespace
}  // namespace gfx::test
