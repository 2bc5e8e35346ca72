// The assembler's messages, one line per case with the lines it must report
// (file names cut off), and a run with many faults that must list them all.
#include <gtest/gtest.h>

#include <string>

#include "asm_test_support.h"
#include "gfx/exports.h"

namespace {

std::string Repeated(const std::string& text, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) out += text;
    return out;
}

struct MessageCase {
    const char* source;
    const char* messages;
};

const MessageCase kCases[] = {
    {"mov r0, r1\n", "(1): error X2001: shader version expected\n"},
    {"vs_4_0\nmov r0, r1\n", "(1): error X2002: unrecognized shader version\n"},
    {"0xFFFE0500\n", "(1): error X2002: unrecognized shader version\n"},
    {"vs_2_0\nmov r0.zx, c0\n", "(2): error X2003: invalid mask 'zx'\n"},
    {"vs_2_0\nmov r0.xx, c0\n", "(2): error X2003: invalid mask 'xx'\n"},
    {"vs_2_0\nmov r0, c0.xyzwx\n", "(2): error X2004: invalid swizzle 'xyzwx'\n"},
    {"vs_2_0\nmov r0, c0.xq\n", "(2): error X2004: invalid swizzle 'xq'\n"},
    {"ps_1_1\nmov r0, c8\n", "(2): error X2005: invalid register 'c8'\n"},
    {"ps_2_0\nmov r0, c[40]\n", "(2): error X2005: invalid register 'c[40]'\n"},
    {"ps_2_0\nmov r0, c[a0.x]\n", "(2): error X2005: invalid register 'c[...]'\n"},
    {"vs_2_0\nmov r0, q0\n", "(2): error X2005: invalid register 'q0'\n"},
    {"vs_2_0\nmov oPos0, v0\n", "(2): error X2005: invalid register 'oPos0'\n"},
    {"vs_2_0\nmov r0, v0_bias\n", "(2): error X2005: invalid register 'v0_bias'\n"},
    {"vs_1_1\nmov r0, c[a0.y]\n", "(2): error X2007: only a0.x is allowed as a relative address register in vs_1_1\n"},
    {"ps_3_0\nmov v[aL], r0\n",
     "(2): error X2008: relative addressing of destination parameters is not supported in this shader version\n"},
    {"vs_2_0\nmov r0, c[a0.x + a0.y]\n",
     "(2): error X2009: only one address register reference is allowed in a relative address expression\n"},
    {"ps_1_1\nmov r0, 2 - t0\n", "(2): error X2010: invalid complement expression\n"},
    {"ps_1_4\ntexld r0, -r1_dz\n", "(2): error X2011: negate and divide modifiers cannot be combined\n"},
    {"ps_1_1\nmov r0, 1 - t0_bias\n", "(2): error X2012: complement cannot be used with other modifiers\n"},
    {"vs_2_0\nsub r0, r1, !b0\n", "(2): error X2013: source modifiers incompatible with SUB instruction\n"},
    {"vs_2_0\nmov -r0, r1\n", "(2): error X2014: source modifiers are not allowed on destination parameters\n"},
    {"vs_2_0\nif -!b0\nendif\n", "(2): error X2018: not cannot be used with other modifiers\n"},
    {"vs_2_x\n(-p0) mov r0, r1\n", "(2): error X2019: source modifiers are not allowed on predicates\n"},
    {"vs_2_x\n(r0) mov r0, r1\n", "(2): error X2021: predicates are not supported in this shader version\n"},
    {"vs_1_1\nmov oFog.x, r0\n", "(2): error X2022: scalar registers cannot be masked\n"},
    {"vs_2_0\nif b0.x\nendif\n", "(2): error X2022: scalar registers cannot be swizzled\n"},
    {"vs_2_0\ntexkill r0\n",
     "(2): error X2000: syntax error : unexpected token 'texkill'\n"
     "(2): error X2023: 'texkill' is not a valid instruction in this shader version\n"},
    {"vs_2_0\nmov_x2 r0, r1\n",
     "(2): error X2000: syntax error : unexpected token 'mov_x2'\n"
     "(2): error X2024: invalid instruction modifiers 'x2'\n"},
    {"vs_2_0\nif_gt r0.x, c0.x\n",
     "(2): error X2000: syntax error : unexpected token 'if_gt'\n"
     "(2): error X2024: invalid instruction modifiers 'gt'\n"},
    {"vs_2_x\nsetp p0, r0, r1\n",
     "(2): error X2000: syntax error : unexpected token 'setp'\n"
     "(2): error X2024: invalid instruction modifiers 'setp'\n"},
    {"ps_2_0\nmov_sat_sat r0, r1\n",
     "(2): error X2000: syntax error : unexpected token 'mov_sat_sat'\n"
     "(2): error X2024: invalid instruction modifiers 'sat'\n"},
    {"vs_2_0\ndcl v0\n",
     "(2): error X2024: invalid instruction modifiers 'dcl'\n"},
    // "if_c" is reached only through a comparison suffix; written out, "c" is
    // no suffix of "if".
    {"vs_2_0\nif_c b0\n",
     "(2): error X2000: syntax error : unexpected token 'if_c'\n"
     "(2): error X2024: invalid instruction modifiers 'c'\n"},
    {"vs_2_0\nmovtoolongnameabcdef r0, r1\n",
     "(2): error X2000: syntax error : unexpected token 'movtoolongnameabcdef'\n"},
    {"ps_2_0\n+mov r0, r1\n", "(2): error X2027: instruction coissue is not supported in this shader version\n"},
    {"vs_2_0\n(p0) mov r0, r1\n",
     "(2): error X2028: instruction predication is not supported in this shader version\n"
     "(2): error X2005: invalid register 'p0'\n"},
    {"vs_2_0\nmov r0, 1 - r1\n", "(2): error X2029: complement is not supported in this shader version\n"},
    // Syntax errors of the line itself; the next line is still read.
    {"vs_2_0\nmov r0 c0\nmov r1, c1\n", "(2): error X2000: syntax error : unexpected token 'c0'\n"},
    {"vs_2_0\nmov r0, c0, c1\n", "(2): error X2000: syntax error : unexpected token ','\n"},
    {"vs_2_0\nmov r0\n", "(2): error X2000: syntax error : unexpected end of line\n"},
    {"vs_2_0\nmov r0,", "(2): error X2000: syntax error : unexpected end of file\n"},
    {"vs_2_0\nmov r0, c0 {\n", "(2): error X2000: syntax error : unexpected token '{'\n"},
    {"vs_2_0\nmov r0, 1.5\n", "(2): error X2000: syntax error : unexpected float '1.5'\n"},
    {"vs_2_0\ndefi i0, 1.5, 0, 0, 0\n", "(2): error X2000: syntax error : unexpected float constant\n"},
    {"vs_2_0\ndefb b0, maybe\n", "(2): error X2000: syntax error : unexpected token 'maybe'\n"},
};

TEST(AssemblerMessages, EachFaultGetsItsMessage) {
    for (const MessageCase& c : kCases) {
        const Assembled a = AssembleText(c.source, 0x4);
        EXPECT_EQ(a.hr, ERR_INVALID_DATA) << c.source;
        EXPECT_TRUE(a.code.empty()) << c.source;
        EXPECT_EQ(a.messages, c.messages) << c.source;
    }
}

TEST(AssemblerMessages, OneRunListsEveryFault) {
    const Assembled a = AssembleText(
        "vs_2_0\n"
        "mov r0.zx, c0\n"
        "mov r1, c0\n"
        "add r99, c0, c1\n"
        "frobnicate r0\n"
        "mov r2, c0.q\n",
        0x4);
    EXPECT_EQ(a.hr, ERR_INVALID_DATA);
    EXPECT_EQ(a.messages,
              "(2): error X2003: invalid mask 'zx'\n"
              "(4): error X2005: invalid register 'r99'\n"
              "(5): error X2000: syntax error : unexpected token 'frobnicate'\n"
              "(6): error X2004: invalid swizzle 'q'\n");
}

TEST(AssemblerMessages, ValidatorMessagesAreNumberedFrom5000) {
    KilnGfxRegisterExports();
    // ps_1_3 reads a constant only whole or with its alpha replicated.
    const char source[] = "ps_1_3\ndef c0, 1, 2, 3, 4\nmov r0.a, c0.g\nmov r0.rgb, c0\n";
    const Assembled checked = AssembleText(source);
    EXPECT_EQ(checked.hr, ERR_INVALID_DATA);
    EXPECT_EQ(checked.messages.rfind("(3): error X50", 0), 0u) << checked.messages;
    // The flag 0x4 leaves the validator out.
    const Assembled unchecked = AssembleText(source, 0x4);
    EXPECT_TRUE(unchecked.Ok()) << unchecked.messages;
}

TEST(AssemblerMessages, OversizedDebugInformationIsLeftOutWithAWarning) {
    // The source text travels in the debug block, whose comment holds at most
    // 32767 tokens.
    const std::string source = "vs_2_0\n; " + std::string(140000, 'x') + "\nmov oPos, v0\n";
    const Assembled a = AssembleText(source, 0x1 | 0x4);
    ASSERT_TRUE(a.Ok()) << a.messages;
    EXPECT_EQ(a.messages, "warning X2030: debug info exceeds maximum comment size; no debug info emitted\n");
    EXPECT_EQ(a.code, (std::vector<DWORD>{0xFFFE0200, 0x02000001, 0xC00F0000, 0x90E40000, 0x0000FFFF}));
}

TEST(AssemblerMessages, DeepOperandNestingIsAParserFailureNotACrash) {
    const std::string source = "vs_2_0\nmov r0, " + Repeated("- ", 2000) + "c0\nmov r1, c1\n";
    const Assembled a = AssembleText(source, 0x4);
    EXPECT_EQ(a.hr, ERR_INVALID_DATA);
    EXPECT_NE(a.messages.find("yacc stack overflow"), std::string::npos) << a.messages;
}

}  // namespace
