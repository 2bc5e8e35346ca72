// Instruction tokens of single statements, written out as the published
// token values, one line per case: version forms, masks and swizzles, the
// sub/add rewrite, the vs_1_1 rules, length fields, control bits, modifiers,
// declarations, definitions and relative addressing.
#include <gtest/gtest.h>

#include <cstring>

#include "asm_test_support.h"
#include "shader/bytecode/bytecode_reader.h"
#include "shader/bytecode/comment_block_builder.h"
#include "shader/bytecode/debug_info_reader.h"
#include "shader/compiler.h"

namespace {

// The tokens between the version token and the end token.
std::vector<DWORD> Body(const Assembled& a) {
    std::vector<DWORD> t = InstructionTokens(a.code);
    if (t.size() < 2) return {};
    return std::vector<DWORD>(t.begin() + 1, t.end() - 1);
}

struct EncodingCase {
    const char* source;
    std::vector<DWORD> tokens;
};

const EncodingCase kCases[] = {
    // Masks, swizzles, replicated single letters.
    {"vs_2_0\nmov r0.xz, c0", {0x02000001, 0x80050000, 0xA0E40000}},
    {"vs_2_0\nmov r0.rgba, c0.x", {0x02000001, 0x800F0000, 0xA0000000}},
    {"vs_2_0\nmov r0, c0.wzy", {0x02000001, 0x800F0000, 0xA05B0000}},
    // sub becomes add with the second source's negation toggled.
    {"vs_2_0\nsub r0, r1, -c2", {0x03000002, 0x800F0000, 0x80E40001, 0xA0E40002}},
    {"vs_2_0\nsub r0, r1, c2", {0x03000002, 0x800F0000, 0x80E40001, 0xA1E40002}},
    {"vs_3_0\nsub r0, r1, r2_abs", {0x03000002, 0x800F0000, 0x80E40001, 0x8CE40002}},
    {"ps_1_1\nsub r0, t0, c0", {0x00000003, 0x800F0000, 0xB0E40000, 0xA0E40000}},
    // vs_1_1: no length field, unswizzled scalar sources read w, matrix masks.
    {"vs_1_1\nrcp r0, c1", {0x00000006, 0x800F0000, 0xA0FF0001}},
    {"vs_2_0\nrcp r0, c1", {0x02000006, 0x800F0000, 0xA0E40001}},
    {"vs_1_1\nm3x2 oT0, v0, c0", {0x00000018, 0xE0030000, 0x90E40000, 0xA0E40000}},
    {"vs_1_1\nm4x3 r0, v0, c0", {0x00000015, 0x80070000, 0x90E40000, 0xA0E40000}},
    {"vs_1_1\nmov r0, c[a0.x + 5]", {0x00000001, 0x800F0000, 0xA0E42005}},
    // Relative addresses carry an address token from 2.0 on.
    {"vs_2_0\nmov r0, c[a0.y + 5]", {0x03000001, 0x800F0000, 0xA0E42005, 0xB0550000}},
    {"vs_2_0\nmov r0, c7[a0.w]", {0x03000001, 0x800F0000, 0xA0E42007, 0xB0FF0000}},
    {"vs_3_0\nmov o[aL + 1], r0", {0x03000001, 0xE00F2001, 0xF0000800, 0x80E40000}},
    // Constants past c2047 (register type 12): only the software models have them.
    {"vs_3_sw\nmov r0, c4095", {0x02000001, 0x800F0000, 0xB0E40FFF}},
    // Control bits: texldp, texldb, comparisons, co-issue, predicates.
    {"ps_2_0\ntexldp r0, t0, s0", {0x03010042, 0x800F0000, 0xB0E40000, 0xA0E40800}},
    {"ps_2_0\ntexldb r0, t0, s0", {0x03020042, 0x800F0000, 0xB0E40000, 0xA0E40800}},
    {"vs_2_x\nif_gt r0.x, c0.x", {0x02010029, 0x80000000, 0xA0000000}},
    {"vs_2_x\nbreak_le r0.x, c0.y", {0x0206002D, 0x80000000, 0xA0550000}},
    {"vs_2_x\nsetp_ge p0, r0, c0", {0x0303005E, 0xB00F1000, 0x80E40000, 0xA0E40000}},
    {"vs_2_x\n(!p0.y) mov r0, r1", {0x13000001, 0x800F0000, 0xBD551000, 0x80E40001}},
    {"ps_1_1\n+mov r0.a, c0", {0x40000001, 0x80080000, 0xA0E40000}},
    {"ps_1_4\nphase", {0x0000FFFD}},
    // Result and source modifiers.
    {"ps_1_1\nadd_x2 r0, 1 - t0, c0_bias", {0x00000002, 0x810F0000, 0xB6E40000, 0xA2E40000}},
    {"ps_1_1\nmul_d2_sat r0, -t0_bx2, t1_x2", {0x00000005, 0x8F1F0000, 0xB5E40000, 0xB7E40001}},
    {"ps_1_4\ntexld r0, r1_dz", {0x00000042, 0x800F0000, 0x89E40001}},
    {"ps_2_0\nmov_sat_pp r0, r1", {0x02000001, 0x803F0000, 0x80E40001}},
    {"ps_3_0\ntexld_centroid r0, v0, s0", {0x03000042, 0x804F0000, 0x90E40000, 0xA0E40800}},
    {"vs_2_0\nif !b0", {0x01000028, 0xEDE40800}},
    // Declarations.
    {"vs_3_0\ndcl_texcoord3 o2.xy", {0x0200001F, 0x80030005, 0xE0030002}},
    {"vs_1_1\ndcl_position v0", {0x0000001F, 0x80000000, 0x900F0000}},
    {"ps_2_0\ndcl_cube s2", {0x0200001F, 0x98000000, 0xA00F0802}},
    {"ps_2_0\ndcl t0.xy", {0x0200001F, 0x80000000, 0xB0030000}},
    {"ps_3_0\ndcl_color1_centroid v1", {0x0200001F, 0x8001000A, 0x904F0001}},
    // Definitions: the length field is 0 before 2.0.
    {"ps_1_1\ndef c0, 1, 0, -0.5, 2", {0x00000051, 0xA00F0000, 0x3F800000, 0, 0xBF000000, 0x40000000}},
    {"ps_2_0\ndef c0, 1, 0, -0.5, 2", {0x05000051, 0xA00F0000, 0x3F800000, 0, 0xBF000000, 0x40000000}},
    {"vs_2_0\ndefi i1, -1, 2, 3, 4", {0x05000030, 0xF00F0001, 0xFFFFFFFF, 2, 3, 4}},
    {"vs_2_0\ndefb b3, true", {0x0200002F, 0xE00F0803, 1}},
    {"vs_2_0\ndefb b3, false", {0x0200002F, 0xE00F0803, 0}},
    // Flow control without operands and with labels.
    {"vs_2_0\nloop aL, i0", {0x0200001B, 0xF0E40800, 0xF0E40000}},
    {"vs_2_0\ncallnz l3, b1", {0x0200001A, 0xA0E41003, 0xE0E40801}},
    {"vs_2_0\nret", {0x0000001C}},
};

TEST(AssemblerEncoding, StatementsGiveThePublishedTokens) {
    for (const EncodingCase& c : kCases) {
        const Assembled a = AssembleText(std::string(c.source) + "\n", 0x4);
        ASSERT_TRUE(a.Ok()) << c.source << "\n" << a.messages;
        EXPECT_EQ(Body(a), c.tokens) << c.source;
    }
}

TEST(AssemblerEncoding, VersionFormsSelectTheSameColumn) {
    const char* const forms[] = {"vs_2_0", "vs.2.0", "0xFFFE0200", "; leading comment\n\nvs_2_0"};
    for (const char* form : forms) {
        const Assembled a = AssembleText(std::string(form) + "\nmov oPos, v0\n", 0x4);
        ASSERT_TRUE(a.Ok()) << form << "\n" << a.messages;
        EXPECT_EQ(a.code.front(), 0xFFFE0200u) << form;
        EXPECT_EQ(Body(a), (std::vector<DWORD>{0x02000001, 0xC00F0000, 0x90E40000})) << form;
    }
    const Assembled vs10 = AssembleText("vs_1_0\nmov oPos, v0\n", 0x4);
    ASSERT_TRUE(vs10.Ok());
    EXPECT_EQ(vs10.code.front(), 0xFFFE0101u);
    EXPECT_EQ(vs10.messages, "(1): warning X2015: vs_1_0 is no longer supported; using vs_1_1\n");
    const Assembled ps10 = AssembleText("ps.1.0\nmov r0, v0\n", 0x4);
    EXPECT_EQ(ps10.code.front(), 0xFFFF0101u);
    EXPECT_EQ(ps10.messages, "(1): warning X2015: ps_1_0 is no longer supported; using ps_1_1\n");
}

TEST(AssemblerEncoding, MacrosAndIncludesComeFromThePreprocessor) {
    const Assembled a = AssembleText("#define SRC c0.x\n#define OUT(n) r##n\nvs_2_0\nmov OUT(1), SRC // comment\n", 0x4);
    ASSERT_TRUE(a.Ok()) << a.messages;
    EXPECT_EQ(Body(a), (std::vector<DWORD>{0x02000001, 0x800F0001, 0xA0000000}));
}

TEST(AssemblerEncoding, DebugInformationNamesTheAssemblerAndEachLine) {
    const std::string source = "vs_2_0\ndcl_position v0\n\nmov oPos, v0\nmov oD0, c0\n";
    const Assembled a = AssembleText(source, 0x1 | 0x4);
    ASSERT_TRUE(a.Ok()) << a.messages;
    const void* data = nullptr;
    uint32_t size = 0;
    ASSERT_EQ(FindCommentBlock(a.code.data(), a.code.size() * 4, kTagDebugInfo, &data, &size), S_OK);
    DebugInfoView info;
    ASSERT_EQ(ReadDebugInfo(data, size, &info), S_OK);
    EXPECT_EQ(info.creator, "Kiln Shader Assembler");
    EXPECT_EQ(info.source, source);
    ASSERT_EQ(info.instructions.size(), 3u);
    EXPECT_EQ(info.instructions[0].line, 2);
    EXPECT_EQ(info.instructions[1].line, 4);
    EXPECT_EQ(info.instructions[2].line, 5);
    // Each record points at its instruction token in the finished program.
    EXPECT_EQ(a.code[info.instructions[1].byteOffset / 4], 0x02000001u);
    // Without the flag there is no block, and the instructions are the same.
    const Assembled plain = AssembleText(source, 0x4);
    EXPECT_EQ(FindCommentBlock(plain.code.data(), plain.code.size() * 4, kTagDebugInfo, &data, &size), S_FALSE);
    EXPECT_EQ(InstructionTokens(plain.code), InstructionTokens(a.code));
}

TEST(AssemblerEncoding, ArgumentsOutsideTheFlagsAreRefused) {
    IKLBuffer* code = nullptr;
    const char text[] = "vs_2_0\nmov oPos, v0\n";
    EXPECT_EQ(KLAssembleShader(text, sizeof(text) - 1, nullptr, nullptr, 0x2, &code, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(KLAssembleShader(text, sizeof(text) - 1, nullptr, nullptr, 0x8, &code, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(code, nullptr);
    EXPECT_EQ(KLAssembleShader(text, sizeof(text) - 1, nullptr, nullptr, 0, nullptr, nullptr), D3DERR_INVALIDCALL);
}

}  // namespace
