// Vertex shader fragments: named registers, the fragment version token, the
// "FINF" block that lists the names, and the messages of fragment mode.
#include <gtest/gtest.h>

#include <string>

#include "asm_test_support.h"
#include "shader/asm/assembler.h"
#include "shader/bytecode/bytecode_reader.h"
#include "shader/bytecode/constant_table_text.h"
#include "shader/preprocess/preprocessor.h"

namespace {

CtabConstant Variable(const char* name, RegisterSet set, uint16_t index, uint16_t count, ParameterType type,
                      uint16_t columns) {
    CtabConstant c;
    c.name = name;
    c.registerSet = set;
    c.registerIndex = index;
    c.registerCount = count;
    c.type.parameterClass = columns > 1 ? ParameterClass::Vector : ParameterClass::Scalar;
    c.type.parameterType = type;
    c.type.columns = columns;
    return c;
}

FragmentContext Context() {
    FragmentContext context;
    context.constants.push_back(Variable("world", RegisterSet::Float4, 10, 4, ParameterType::Float, 4));
    context.constants.push_back(Variable("tint", RegisterSet::Float4, 3, 1, ParameterType::Float, 4));
    context.constants.push_back(Variable("enabled", RegisterSet::Bool, 2, 1, ParameterType::Bool, 1));
    context.constants.push_back(Variable("count", RegisterSet::Int4, 1, 1, ParameterType::Int, 4));
    context.constants.push_back(Variable("scale", RegisterSet::Int4, 4, 1, ParameterType::Int, 1));
    context.constants.push_back(Variable("flags", RegisterSet::Bool, 5, 2, ParameterType::Bool, 1));
    return context;
}

Assembled AssembleFragmentText(const std::string& text) {
    Assembled result;
    Preprocessor pp;
    result.hr = pp.OpenMemory(text.data(), text.size(), nullptr, nullptr, nullptr);
    IKLBuffer* code = nullptr;
    const FragmentContext context = Context();
    if (SUCCEEDED(result.hr)) result.hr = AssembleFragment(pp, 0, context, &code);
    if (SUCCEEDED(result.hr) && pp.Log().ErrorCount()) result.hr = ERR_INVALID_DATA;
    if (code) {
        const DWORD* tokens = static_cast<const DWORD*>(code->GetBufferPointer());
        result.code.assign(tokens, tokens + code->GetBufferSize() / 4);
        code->Release();
    }
    for (const std::string& line : pp.Log().Messages()) result.messages += line.substr(line.find('('));
    return result;
}

TEST(AssemblerFragments, NamedRegistersAndTheFragmentInformation) {
    const Assembled a = AssembleFragmentText(
        "vs_2_0\n"
        "m4x4 r_position, v_position0, c_world\n"
        "mul r_light, v_texcoord1, c_tint\n"
        "if b_enabled\n"
        "  add r_light, r_light, c_world[2]\n"
        "endif\n"
        "mov oPos, r_position\n");
    ASSERT_TRUE(a.Ok()) << a.messages;
    EXPECT_EQ(a.code.front(), 0x7FFE0200u);
    EXPECT_EQ(InstructionTokens(a.code),
              (std::vector<DWORD>{0x7FFE0200,
                                  0x03000014, 0x800F0000, 0x90E40000, 0xA0E4000A,  // m4x4 r0, v0, c10
                                  0x03000005, 0x800F0001, 0x90E40001, 0xA0E40003,  // mul r1, v1, c3
                                  0x01000028, 0xE0E40802,                          // if b2
                                  0x03000002, 0x800F0001, 0x80E40001, 0xA0E4000C,  // add r1, r1, c12
                                  0x0000002B,                                      // endif
                                  0x02000001, 0xC00F0000, 0x80E40000, 0x0000FFFF}));
    const void* info = nullptr;
    uint32_t size = 0;
    ASSERT_EQ(FindCommentBlock(a.code.data(), a.code.size() * 4, kTagFragmentInfo, &info, &size), S_OK);
    std::string text, error;
    ASSERT_TRUE(FormatConstantTable(static_cast<const uint8_t*>(info), size, &text, &error, true)) << error;
    // Every name with its register, in name order.
    const char* const names[] = {"b_enabled", "c_tint", "c_world", "r_light", "r_position", "v_position0",
                                 "v_texcoord1"};
    size_t at = 0;
    for (const char* name : names) {
        const size_t found = text.find(name, at);
        EXPECT_NE(found, std::string::npos) << name << " missing or out of order in\n" << text;
        if (found != std::string::npos) at = found;
    }
}

TEST(AssemblerFragments, MessagesOfFragmentMode) {
    struct Case {
        const char* source;
        const char* messages;
    } const cases[] = {
        {"vs_3_0\nmov oPos, v0\n",
         "(1): error X2001: only vs_1_1, vs_2_0, vs_2_x, and vs_2_sw are supported for assembly fragments\n"},
        {"vs_2_0\nmov r0, v0\n", "(2): error X2005: temporary and constant registers are not allowed in assembly fragments\n"},
        {"vs_2_0\nmov r_a, c3\n", "(2): error X2005: temporary and constant registers are not allowed in assembly fragments\n"},
        {"vs_2_0\nmov r_a, v_bogus\n", "(2): error X2005: Invalid input register 'v_bogus' specified\n"},
        {"vs_2_0\nmov r_a, v_color0[a0.x]\n",
         "(2): error X2005: addressing operations are not allowed on input registers 'v_color0'\n"},
        {"vs_2_0\nmov r_a, r_b[a0.x]\n", "(2): error X2005: addressing operations not allowed on temporary registers 'r_b'\n"},
        {"vs_2_0\nmov r_a, x_b\n",
         "(2): error X2005: 'x_b' is not a valid register name.  Registers must start with v_, r_, c_, b_, or i_ "
         "depending on the register type.\n"},
        {"vs_2_0\nmov r_a, c_missing\n", "(2): error X2005: constant register 'c_missing' must be defined as a variable 'missing'\n"},
        {"vs_2_0\nmov r_a, c_world[4]\n",
         "(2): error X2005: constant register address out of bounds on constant 'c_world', size 4, offset 4\n"},
        {"vs_2_0\nmov r_a, r_\n", "(2): error X2005: invalid register, input, or constant name 'r_'\n"},
        {"vs_2_0\nif b_flags\nendif\n",
         "(2): error X2900: boolean constant register 'b_flags' must be defined as a variable of type bool only\n"},
        {"vs_2_0\nrep i_scale\nendrep\n",
         "(2): error X2901: integer constant register 'i_scale' must be defined as a variable of type int3 or int4 only\n"},
        {"vs_2_0\nm4x4 oPos, v_position0, r_m\n",
         "(2): error X2026: Matrices cannot be specified in temp registers with the fragment linker\n"},
        {"vs_2_0\nret\n", "(2): error X2025: call, callnz, label, and ret instructions are not allowed in assembly fragments\n"},
    };
    for (const Case& c : cases) {
        const Assembled a = AssembleFragmentText(c.source);
        EXPECT_EQ(a.hr, ERR_INVALID_DATA) << c.source;
        EXPECT_EQ(a.messages, c.messages) << c.source;
    }
    // rep with an int4 constant is fine.
    EXPECT_TRUE(AssembleFragmentText("vs_2_0\nrep i_count\nendrep\n").Ok());
}

}  // namespace
