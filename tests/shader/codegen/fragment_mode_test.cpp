// Vertex fragments: the program (version token with bit 31 cleared, no
// declarations or literal definitions, shared temporaries below the private
// ones), its "FINF" block compared byte for byte with the records it must
// hold, and the messages only fragments give.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "codegen_harness.h"
#include "gfx/shaders/shader_isa.h"
#include "shader/bytecode/bytecode_reader.h"
#include "shader/bytecode/comment_block_builder.h"
#include "shader/bytecode/constant_table_block.h"
#include "shader/bytecode/instruction_walker.h"
#include "shader/compile_options.h"

using namespace gfx::isa;

namespace {

Compiled CompileFragment(const std::string& source, const char* profile = "vs_2_0", DWORD flags = 0) {
    IKLBuffer* code = nullptr;
    IKLBuffer* errors = nullptr;
    CompileOptions options;
    options.fragment = true;
    const HRESULT hr = CompileShaderWithOptions(source.c_str(), UINT(source.size()), nullptr, nullptr, "main", profile,
                                                flags, options, &code, &errors, nullptr);
    return TakeCompileResult(hr, code, errors);
}

// The records of a fragment information block, read field by field.
struct FragmentRecord {
    std::string name;
    CtabConstantRecord record;
    CtabTypeRecord type;
    std::vector<float> values;
};

std::vector<FragmentRecord> ReadRecords(const Compiled& c, std::vector<uint32_t>* block) {
    const void* data = nullptr;
    uint32_t size = 0;
    std::vector<FragmentRecord> records;
    EXPECT_EQ(S_OK, FindCommentBlock(c.code.data(), c.code.size() * 4, kTagFragmentInfo, &data, &size));
    if (!data) return records;
    // The whole block, comment token and tag included.
    const uint32_t* tokens = static_cast<const uint32_t*>(data) - 2;
    block->assign(tokens, tokens + size / 4 + 2);
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    CtabHeader header;
    std::memcpy(&header, bytes, sizeof(header));
    EXPECT_EQ(20u, header.size);
    EXPECT_EQ(c.code[0], header.version);
    EXPECT_STREQ("Kiln Shader Compiler", reinterpret_cast<const char*>(bytes + header.creatorOffset));
    for (uint32_t i = 0; i < header.constantCount; ++i) {
        FragmentRecord r;
        std::memcpy(&r.record, bytes + header.constantsOffset + i * 20, 20);
        r.name = reinterpret_cast<const char*>(bytes + r.record.nameOffset);
        std::memcpy(&r.type, bytes + r.record.typeOffset, 16);
        if (r.record.defaultValueOffset) {
            r.values.resize(4);
            std::memcpy(r.values.data(), bytes + r.record.defaultValueOffset, 16);
        }
        records.push_back(r);
    }
    return records;
}

const FragmentRecord* Named(const std::vector<FragmentRecord>& records, const std::string& name) {
    for (const FragmentRecord& r : records)
        if (r.name == name) return &r;
    return nullptr;
}

struct Walked {
    uint32_t opcode;
    std::vector<uint32_t> params;
};

std::vector<Walked> Instructions(const Compiled& c) {
    std::vector<Walked> list;
    InstructionWalker walker(c.code.data(), c.code.size());
    WalkedInstruction w;
    while (walker.Next(&w) == WalkStatus::Ok)
        if (!w.comment) list.push_back({w.token & 0xFFFF, std::vector<uint32_t>(w.params, w.params + w.paramCount)});
    return list;
}

CtabType Float4() {
    CtabType t;
    t.parameterClass = ParameterClass::Vector;
    t.columns = 4;
    return t;
}

CtabConstant Expected(const char* name, uint16_t reg, uint16_t count, uint16_t reserved, CtabType type = Float4(),
                      std::vector<float> values = {}) {
    return CtabConstant{name, RegisterSet::Float4, reg, count, reserved, type, std::move(values)};
}

const char kFragment[] =
    "float4x4 WorldViewProj : register(c4);\n"
    "float4 Tint;\n"
    "float4 Fade : register(vs_2_0, c12);\n"
    "float4 Other : register(ps, c2);\n"
    "void main(float4 pos : POSITION, float4 col : COLOR0, out float4 oPos : POSITION,\n"
    "          out float4 mixed : r_Mixed)\n"
    "{\n"
    "    oPos = mul(pos, WorldViewProj);\n"
    "    mixed = col * Tint * Fade * Other + float4(0.5, 0.25, 2, 1);\n"
    "}\n";

TEST(FragmentMode, ProgramAndInformationBlock) {
    for (DWORD flags : {0x00u, 0x01u}) {
        SCOPED_TRACE(flags);
        const Compiled c = CompileFragment(kFragment, "vs_2_0", flags);
        ASSERT_TRUE(c.Ok()) << c.messages;
        EXPECT_EQ(0x7FFE0200u, c.code[0]);
        const void* data = nullptr;
        uint32_t size = 0;
        EXPECT_EQ(S_FALSE, FindCommentBlock(c.code.data(), c.code.size() * 4, kTagConstantTable, &data, &size));

        // Nothing declared or defined; the matrix still becomes m4x4 over its
        // constant rows; the shared temporary r0 is written, never read, and
        // no private temporary lands on it.
        bool matrix = false, sharedWritten = false;
        for (const Walked& w : Instructions(c)) {
            EXPECT_NE(uint32_t(OP_DCL), w.opcode);
            EXPECT_NE(uint32_t(OP_DEF), w.opcode);
            if (w.opcode == OP_M4x4) {
                matrix = true;
                EXPECT_EQ(uint32_t(REG_CONST), RegisterTypeOf(w.params[2]));
                EXPECT_EQ(4u, RegisterNumberOf(w.params[2]));
            }
            for (size_t k = 0; k < w.params.size(); ++k) {
                const bool temp0 = RegisterTypeOf(w.params[k]) == REG_TEMP && RegisterNumberOf(w.params[k]) == 0;
                if (k == 0) sharedWritten |= temp0;
                else EXPECT_FALSE(temp0) << "r0 read by opcode " << w.opcode;
            }
        }
        EXPECT_TRUE(matrix);
        EXPECT_TRUE(sharedWritten);

        std::vector<uint32_t> block;
        const std::vector<FragmentRecord> records = ReadRecords(c, &block);
        // The literal register and the inputs' registers are the generator's
        // choice; read them, then demand the whole block.
        const FragmentRecord* literal = nullptr;
        for (const FragmentRecord& r : records)
            if (r.name.rfind("c_$zz", 0) == 0) literal = &r;
        ASSERT_NE(nullptr, literal);
        EXPECT_EQ("c_$zz" + std::to_string(literal->record.registerIndex), literal->name);
        const FragmentRecord* position = Named(records, "v_position0");
        const FragmentRecord* color = Named(records, "v_color0");
        ASSERT_TRUE(position && color);
        EXPECT_NE(position->record.registerIndex, color->record.registerIndex);
        std::vector<float> values = literal->values;
        std::sort(values.begin(), values.end());
        EXPECT_EQ((std::vector<float>{0.25f, 0.5f, 1, 2}), values);

        CtabType matrixType;
        matrixType.parameterClass = ParameterClass::MatrixColumns;
        matrixType.rows = matrixType.columns = 4;
        std::vector<CtabConstant> constants = {
            Expected("Tint", 0, 1, 0),
            Expected("WorldViewProj", 4, 4, 4 * 4 + 2, matrixType),
            Expected("Fade", 12, 1, 12 * 4 + 2),
            Expected("Other", Named(records, "c_Other")->record.registerIndex, 1, 0),
        };
        constants[0].registerIndex = Named(records, "c_Tint")->record.registerIndex;
        std::vector<CtabConstant> extras = {
            Expected(literal->name.c_str(), literal->record.registerIndex, 1, 1, Float4(), literal->values)};
        for (const char* name : {"r_$Int1", "r_$Int10", "r_$Int11", "r_$Int2", "r_$Int3", "r_$Int4", "r_$Int5",
                                 "r_$Int6", "r_$Int7", "r_$Int8", "r_$Int9"})
            extras.push_back(Expected(name, uint16_t(std::atoi(name + 6)), 1, 0));
        extras.push_back(Expected("r_mixed", 0, 1, 0));
        extras.push_back(Expected("v_color0", color->record.registerIndex, 1, 0));
        extras.push_back(Expected("v_position0", position->record.registerIndex, 1, 0));
        if (flags & 0x01) {
            // Debug fragments also name the input variables.
            extras.insert(extras.begin() + 1, Expected("n_col", color->record.registerIndex, 1, 0));
            extras.insert(extras.begin() + 2, Expected("n_pos", position->record.registerIndex, 1, 0));
        }
        ConstantTableOptions options;
        options.tag = kTagFragmentInfo;
        options.version = 0x7FFE0200;
        options.fragmentNames = true;
        std::vector<uint32_t> expected;
        ASSERT_EQ(S_OK, BuildConstantTable(options, constants, extras, &expected));
        EXPECT_EQ(expected, block);
        // Constants without a binding keep clear of the bound ones.
        for (const FragmentRecord& r : records) {
            if (r.name != "c_Tint" && r.name != "c_Other") continue;
            EXPECT_TRUE(r.record.registerIndex < 4 || r.record.registerIndex > 7) << r.name;
            EXPECT_NE(12, r.record.registerIndex) << r.name;
        }
    }
}

TEST(FragmentMode, SharedTemporariesAreNumberedInOrderOfFirstUse) {
    const Compiled c = CompileFragment(
        "void main(float4 a : r_First, float4 b : R_Second, out float4 o : r_Out)\n"
        "{ o = b * b + a; }\n", "vs_1_1");
    ASSERT_TRUE(c.Ok()) << c.messages;
    EXPECT_EQ(0x7FFE0101u, c.code[0]);
    std::vector<uint32_t> block;
    const std::vector<FragmentRecord> records = ReadRecords(c, &block);
    ASSERT_TRUE(Named(records, "r_second") && Named(records, "r_first") && Named(records, "r_out"));
    EXPECT_EQ(0, Named(records, "r_second")->record.registerIndex);
    EXPECT_EQ(1, Named(records, "r_first")->record.registerIndex);
    EXPECT_EQ(2, Named(records, "r_out")->record.registerIndex);
    EXPECT_EQ(nullptr, Named(records, "r_$Int2"));
    EXPECT_NE(nullptr, Named(records, "r_$Int3"));
    EXPECT_NE(nullptr, Named(records, "r_$Int11"));
    // No inputs with a usage: no "v_" records.
    for (const FragmentRecord& r : records) EXPECT_NE(0u, r.name.rfind("v_", 0)) << r.name;
}

TEST(FragmentMode, Messages) {
    struct Case {
        const char* source;
        bool fragment;
        const char* message;  // without the file name
    };
    const Case cases[] = {
        {"void main(float4 p : POSITION, out float4x4 m : r_Big) { m = float4x4(p, p, p, p); }", true,
         "(1): error X4543: multi-register semantics are not allowed in fragments 'r_Big'\n"},
        {"void main(float4 p[2] : r_Pair, out float4 o : POSITION) { o = p[0] + p[1]; }", true,
         "(1): error X4543: multi-register semantics are not allowed in fragments 'r_Pair'\n"},
        {"float4 Far : register(c9000);\n"
         "float4 main(float4 p : POSITION) : POSITION { return p * Far; }", true,
         "(1): Constant variable 'Far' bound to register greater than 8191 (9000 requested)\n"},
        {"float4 Far : register(c9000);\n"
         "float4 main(float4 p : POSITION) : POSITION { return p * Far; }", false,
         "(2): error X4509: invalid register semantic 'c9000'\n"},
        {"void main(float4 p : POSITION, out float4 o : r_Out) { o = p; }", false,
         "(1): error X4502: invalid output semantic 'r_Out0'\n"},
        // A fragment need not write a whole position; a program must.
        {"float4 main(float4 p : POSITION) : POSITION { return p.xyzz; }", true, ""},
        {"float3 main(float4 p : POSITION) : POSITION { return p.xyz; }", false,
         "(1): error X4541: vertex shader must minimally write all four components of POSITION\n"},
    };
    for (const Case& c : cases) {
        const Compiled result = c.fragment ? CompileFragment(c.source) : CompileHlsl(c.source, "vs_2_0");
        EXPECT_EQ(c.message, MessagesWithoutFile(result.messages)) << c.source;
        EXPECT_EQ(*c.message == 0, result.Ok()) << c.source;
    }
    // Only vertex profiles write fragments.
    const Compiled pixel = CompileFragment("float4 main() : COLOR { return 1; }", "ps_2_0");
    EXPECT_EQ(D3DERR_INVALIDCALL, pixel.hr);
    EXPECT_EQ("", pixel.messages);
}

}  // namespace
